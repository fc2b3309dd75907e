// Helpers of the "gost" engine tests: loading, random data, the crypto
// core's streaming context as the reference, libgcrypt set-up.
#ifndef ORVEL_GOST_ENGINE_TEST_UTIL_H
#define ORVEL_GOST_ENGINE_TEST_UTIL_H

#include <gcrypt.h>
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "gost28147.h"
#include "objects/engine_loader.h"
#include "ossl_ptr.h"
#include "test_util.h"

namespace gost_engine_test {

using Bytes = std::vector<uint8_t>;

inline void load_engines() { ssf_load_builtin_engines(); }

inline void gcrypt_init() {
  static bool done = [] {
    gcry_check_version(nullptr);
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
    return true;
  }();
  (void)done;
}

inline Bytes random_bytes(std::mt19937& rng, size_t n) {
  Bytes b(n);
  for (auto& x : b) x = static_cast<uint8_t>(rng());
  return b;
}

inline Bytes hex(const std::string& s) { return orvel_test::from_hex(s); }
inline std::string to_hex(const Bytes& b) { return orvel_test::to_hex(b.data(), b.size()); }

// The crypto core over the whole message in one call.
inline Bytes core_cipher(const Gost28147ParamSet* ps, uint32_t mode, const Bytes& key,
                         const Bytes* iv, const Bytes& in, bool encrypt) {
  Gost28147Context ctx;
  EXPECT_EQ(GOST28147_89_Init(&ctx, encrypt ? 1 : 0, ps->sbox, mode, 0, ps->key_meshing, 0,
                              iv != nullptr ? iv->data() : nullptr, key.data()),
            0);
  Bytes out(in.size());
  if (in.empty()) return out;
  GostBuffer bi = {static_cast<uint32_t>(in.size()), const_cast<uint8_t*>(in.data())};
  GostBuffer bo = {static_cast<uint32_t>(out.size()), out.data()};
  EXPECT_EQ(GOST28147_89_Update(&ctx, &bi, &bo), 0);
  EXPECT_EQ(bo.length, in.size());
  return out;
}

inline const Gost28147ParamSet* core_set(const char* name) {
  Gost28147ParamSet* ps = nullptr;
  EXPECT_EQ(GOST28147_89_FindParByOidName(name, &ps), 0) << name;
  return ps;
}

// An EVP cipher run with the input fed in the given chunk sizes (cycled).
inline Bytes evp_cipher(const EVP_CIPHER* cipher, const Bytes& key, const Bytes& iv,
                        const Bytes& in, bool encrypt, const std::vector<size_t>& chunks = {},
                        int param_nid = 0) {
  orvel::EvpCipherCtxPtr ctx(EVP_CIPHER_CTX_new());
  EXPECT_EQ(EVP_CipherInit_ex(ctx.get(), cipher, nullptr, nullptr, nullptr, encrypt ? 1 : 0), 1);
  if (param_nid != 0) {
    EXPECT_GT(EVP_CIPHER_CTX_ctrl(ctx.get(), 0x1001, param_nid, nullptr), 0);
  }
  EXPECT_EQ(EVP_CipherInit_ex(ctx.get(), nullptr, nullptr, key.data(),
                              iv.empty() ? nullptr : iv.data(), encrypt ? 1 : 0),
            1);
  Bytes out(in.size() + 16);
  size_t pos = 0, done = 0, k = 0;
  while (pos < in.size()) {
    size_t n =
        chunks.empty() ? in.size() - pos : std::min(chunks[k++ % chunks.size()], in.size() - pos);
    int outl = 0;
    EXPECT_EQ(
        EVP_CipherUpdate(ctx.get(), out.data() + done, &outl, in.data() + pos, static_cast<int>(n)),
        1);
    pos += n;
    done += static_cast<size_t>(outl);
  }
  int outl = 0;
  EXPECT_EQ(EVP_CipherFinal_ex(ctx.get(), out.data() + done, &outl), 1);
  done += static_cast<size_t>(outl);
  out.resize(done);
  return out;
}

inline std::vector<size_t> random_chunks(std::mt19937& rng) {
  std::vector<size_t> c(7);
  for (auto& x : c) x = rng() % 37;  // 0 included: empty updates
  c[0] = 1 + rng() % 36;
  return c;
}

}  // namespace gost_engine_test

#endif
