// Helpers of the Kuznyechik and Magma toolkit-object tests: the ten cipher
// objects as a table, the known answers of the modes, EVP runs with chunked
// input, and the modes composed by their formulas over the block functions
// of GnuTLS (Kuznyechik) and libgcrypt (Magma).
#ifndef ORVEL_KUZMAGMA_TEST_UTIL_H
#define ORVEL_KUZMAGMA_TEST_UTIL_H

#include <gcrypt.h>
#include <gnutls/crypto.h>
#include <gnutls/gnutls.h>
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "engines/gost/gost_kuzmagma_ciphers.h"
#include "gost_engine_test_util.h"

namespace kuzmagma_test {

using gost_engine_test::Bytes;
using gost_engine_test::hex;
using gost_engine_test::random_bytes;
using gost_engine_test::to_hex;

enum class Mode { kEcb = 1, kCbc = 2, kCfb = 3, kOfb = 4, kCtr = 5 };

struct CipherCase {
  const char* name;  // toolkit short name
  const EVP_CIPHER* (*object)();
  size_t n;  // block size of the cipher
  Mode mode;
  const char* kat;     // block of gost3413_modes_kat.txt
  const char* family;  // "kuznechik" / "magma"
};

inline std::vector<CipherCase> all_ciphers() {
  return {
      {"kuznechik-ecb", vkc_kuznechik_ecb, 16, Mode::kEcb, "gost3413-kuznyechik-ecb", "kuznechik"},
      {"kuznechik-cbc", vkc_kuznechik_cbc, 16, Mode::kCbc, "gost3413-kuznyechik-cbc", "kuznechik"},
      {"kuznechik-ctr", vkc_kuznechik_ctr, 16, Mode::kCtr, "gost3413-kuznyechik-ctr", "kuznechik"},
      {"kuznechik-ofb", vkc_kuznechik_ofb, 16, Mode::kOfb, "gost3413-kuznyechik-ofb", "kuznechik"},
      {"kuznechik-cfb", vkc_kuznechik_cfb, 16, Mode::kCfb, "gost3413-kuznyechik-cfb", "kuznechik"},
      {"magma-ecb", vkc_magma_ecb, 8, Mode::kEcb, "gost3413-magma-ecb", "magma"},
      {"magma-cbc", vkc_magma_cbc, 8, Mode::kCbc, "gost3413-magma-cbc", "magma"},
      {"magma-ctr", vkc_magma_ctr, 8, Mode::kCtr, "gost3413-magma-ctr", "magma"},
      {"magma-ofb", vkc_magma_ofb, 8, Mode::kOfb, "gost3413-magma-ofb", "magma"},
      {"magma-cfb", vkc_magma_cfb, 8, Mode::kCfb, "gost3413-magma-cfb", "magma"},
  };
}

inline void PrintTo(const CipherCase& c, std::ostream* os) { *os << c.name; }

inline std::string case_name(const testing::TestParamInfo<CipherCase>& info) {
  std::string s = info.param.name;
  std::replace(s.begin(), s.end(), '-', '_');
  return s;
}

inline bool whole_blocks(const CipherCase& c) {
  return c.mode == Mode::kEcb || c.mode == Mode::kCbc;
}

inline size_t default_iv_len(const CipherCase& c) {
  if (c.mode == Mode::kEcb) return 0;
  return c.mode == Mode::kCtr ? c.n / 2 : c.n;
}

using Block = std::map<std::string, std::string>;

// Blocks of a known-answer file of tests/data/vkc by name.
inline std::map<std::string, Block> read_kat(const std::string& file) {
  std::ifstream in(orvel_test::data_dir() + "/vkc/" + file);
  EXPECT_TRUE(in.good()) << file;
  std::map<std::string, Block> out;
  std::string line, current;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      current = line.substr(1, line.find(']') - 1);
      continue;
    }
    const size_t eq = line.find(" = ");
    if (eq != std::string::npos && !current.empty())
      out[current][line.substr(0, eq)] = line.substr(eq + 3);
  }
  return out;
}

// Chunk sizes for feeding input: 0 means one call.
struct Feed {
  std::vector<size_t> chunks;
  bool in_place = false;
};

// A context of the cipher with an optional IV-length override, then keyed.
inline orvel::EvpCipherCtxPtr keyed_ctx(const EVP_CIPHER* cipher, const Bytes& key, const Bytes& iv,
                                        bool encrypt, int iv_override = 0) {
  orvel::EvpCipherCtxPtr ctx(EVP_CIPHER_CTX_new());
  EXPECT_EQ(EVP_CipherInit_ex(ctx.get(), cipher, nullptr, nullptr, nullptr, encrypt ? 1 : 0), 1);
  if (iv_override != 0) {
    EXPECT_EQ(EVP_CIPHER_CTX_ctrl(ctx.get(), kKuzMagmaCtrlSetIvLength, iv_override, nullptr), 1);
  }
  EXPECT_EQ(EVP_CipherInit_ex(ctx.get(), nullptr, nullptr, key.data(),
                              iv.empty() ? nullptr : iv.data(), encrypt ? 1 : 0),
            1);
  return ctx;
}

// Feeds the input through a keyed context and finishes it.
inline Bytes run_ctx(EVP_CIPHER_CTX* ctx, const Bytes& in, const Feed& feed = {}) {
  Bytes buf = in;
  buf.resize(in.size() + 32);
  Bytes out(in.size() + 32);
  unsigned char* dst = feed.in_place ? buf.data() : out.data();
  size_t pos = 0, done = 0, k = 0;
  while (pos < in.size()) {
    size_t n = feed.chunks.empty()
                   ? in.size() - pos
                   : std::min(feed.chunks[k++ % feed.chunks.size()], in.size() - pos);
    int outl = 0;
    // In place: the output never runs ahead of the input.
    const unsigned char* src = feed.in_place ? buf.data() + pos : in.data() + pos;
    EXPECT_EQ(EVP_CipherUpdate(ctx, dst + done, &outl, src, static_cast<int>(n)), 1);
    pos += n;
    done += static_cast<size_t>(outl);
  }
  int outl = 0;
  EXPECT_EQ(EVP_CipherFinal_ex(ctx, dst + done, &outl), 1);
  done += static_cast<size_t>(outl);
  return Bytes(dst, dst + done);
}

inline Bytes evp_run(const EVP_CIPHER* cipher, const Bytes& key, const Bytes& iv, const Bytes& in,
                     bool encrypt, const Feed& feed = {}, int iv_override = 0) {
  orvel::EvpCipherCtxPtr ctx = keyed_ctx(cipher, key, iv, encrypt, iv_override);
  return run_ctx(ctx.get(), in, feed);
}

// ---- peers' block functions ---------------------------------------------------

// Magma key words as GOST 28147-89 takes them: each 4-byte group reversed.
inline Bytes magma_block(const Bytes& key, const Bytes& in) {
  gost_engine_test::gcrypt_init();
  Bytes k(32);
  for (int i = 0; i < 32; ++i) k[i] = key[4 * (i / 4) + 3 - i % 4];
  gcry_cipher_hd_t h = nullptr;
  EXPECT_EQ(gcry_cipher_open(&h, GCRY_CIPHER_GOST28147, GCRY_CIPHER_MODE_ECB, 0), 0u);
  const char oid[] = "1.2.643.7.1.2.5.1.1";
  EXPECT_EQ(gcry_cipher_ctl(h, GCRYCTL_SET_SBOX, const_cast<char*>(oid), strlen(oid)), 0u);
  EXPECT_EQ(gcry_cipher_setkey(h, k.data(), 32), 0u);
  Bytes b(in.rbegin(), in.rend());
  EXPECT_EQ(gcry_cipher_encrypt(h, b.data(), 8, nullptr, 0), 0u);
  gcry_cipher_close(h);
  std::reverse(b.begin(), b.end());
  return b;
}

// E(x) for Kuznyechik: the first keystream block of GnuTLS's CTR-ACPKM
// started at the counter block x.
inline Bytes kuznyechik_block(const Bytes& key, const Bytes& in) {
  gnutls_datum_t k{const_cast<uint8_t*>(key.data()), 32};
  gnutls_datum_t iv{const_cast<uint8_t*>(in.data()), 16};
  gnutls_cipher_hd_t h;
  EXPECT_EQ(gnutls_cipher_init(&h, GNUTLS_CIPHER_KUZNYECHIK_CTR_ACPKM, &k, &iv), 0);
  Bytes out(16, 0);
  EXPECT_EQ(gnutls_cipher_encrypt(h, out.data(), out.size()), 0);
  gnutls_cipher_deinit(h);
  return out;
}

// The mode's encryption by its formulas over the peer's block function,
// with a register of iv.size() bytes and segments of a whole block.
inline Bytes reference_encrypt(const CipherCase& c, const Bytes& key, const Bytes& iv,
                               const Bytes& pt) {
  const size_t n = c.n;
  auto E = [&](const Bytes& x) { return n == 16 ? kuznyechik_block(key, x) : magma_block(key, x); };
  auto shift_in = [](const Bytes& r, const Bytes& tail) {
    Bytes out(r.begin() + static_cast<long>(tail.size()), r.end());
    out.insert(out.end(), tail.begin(), tail.end());
    return out;
  };
  Bytes out, r = iv;
  if (c.mode == Mode::kCtr) r.resize(n, 0);
  for (size_t off = 0; off < pt.size(); off += n) {
    const size_t len = std::min(n, pt.size() - off);
    Bytes p(pt.begin() + static_cast<long>(off), pt.begin() + static_cast<long>(off + len));
    Bytes o(len);
    const Bytes head(r.begin(), r.begin() + static_cast<long>(std::min(n, r.size())));
    switch (c.mode) {
      case Mode::kEcb:
        o = E(p);
        break;
      case Mode::kCbc: {
        Bytes x(n);
        for (size_t i = 0; i < n; ++i) x[i] = p[i] ^ r[i];
        o = E(x);
        r = shift_in(r, o);
        break;
      }
      case Mode::kOfb: {
        const Bytes y = E(head);
        for (size_t i = 0; i < len; ++i) o[i] = p[i] ^ y[i];
        r = shift_in(r, y);
        break;
      }
      case Mode::kCfb: {
        const Bytes y = E(head);
        for (size_t i = 0; i < len; ++i) o[i] = p[i] ^ y[i];
        r = shift_in(r, o);
        break;
      }
      case Mode::kCtr: {
        const Bytes y = E(r);
        for (size_t i = 0; i < len; ++i) o[i] = p[i] ^ y[i];
        for (size_t i = n; i-- > 0;) {
          if (++r[i] != 0) break;
        }
        break;
      }
    }
    out.insert(out.end(), o.begin(), o.end());
  }
  return out;
}

}  // namespace kuzmagma_test

#endif
