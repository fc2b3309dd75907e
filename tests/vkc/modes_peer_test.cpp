// The modes against independent implementations: GnuTLS's CTR-ACPKM (plain
// CTR within its first section) and OMAC for both ciphers; libgcrypt's
// GOST 28147-89 with the param-Z S-box in its own ECB, CBC, CFB and OFB
// modes for Magma (blocks byte-reversed); and every configuration composed
// by the standard's formulas over the block functions of those libraries.
#include <gcrypt.h>
#include <gnutls/crypto.h>
#include <gnutls/gnutls.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "modes_configs.h"
#include "vkc_kat_file.h"

namespace {

using namespace vkc_modes_test;
using vkc_kat::random_bytes;

// ---- block functions of the peers -------------------------------------------

// Magma key words as GOST 28147-89 takes them: each 4-byte group reversed.
Bytes magma_key_for_gcrypt(const Bytes& key) {
  Bytes k(32);
  for (int i = 0; i < 32; ++i) k[i] = key[4 * (i / 4) + 3 - i % 4];
  return k;
}

struct GcryptGost {
  explicit GcryptGost(int mode) {
    EXPECT_NE(gcry_check_version(nullptr), nullptr);
    EXPECT_EQ(gcry_cipher_open(&h, GCRY_CIPHER_GOST28147, mode, 0), 0u);
    const char oid[] = "1.2.643.7.1.2.5.1.1";
    EXPECT_EQ(gcry_cipher_ctl(h, GCRYCTL_SET_SBOX, const_cast<char*>(oid), strlen(oid)), 0u);
  }
  ~GcryptGost() { gcry_cipher_close(h); }
  GcryptGost(const GcryptGost&) = delete;
  GcryptGost& operator=(const GcryptGost&) = delete;
  gcry_cipher_hd_t h = nullptr;
};

void reverse_blocks(Bytes& b, size_t n) {
  for (size_t off = 0; off + n <= b.size(); off += n)
    std::reverse(b.begin() + off, b.begin() + off + n);
}

Bytes magma_block(const Bytes& key, const Bytes& in) {
  GcryptGost g(GCRY_CIPHER_MODE_ECB);
  const Bytes k = magma_key_for_gcrypt(key);
  EXPECT_EQ(gcry_cipher_setkey(g.h, k.data(), 32), 0u);
  Bytes b = in;
  std::reverse(b.begin(), b.end());
  EXPECT_EQ(gcry_cipher_encrypt(g.h, b.data(), 8, nullptr, 0), 0u);
  std::reverse(b.begin(), b.end());
  return b;
}

// E(x) for Kuznyechik: the first keystream block of GnuTLS's CTR-ACPKM
// started at the counter block x.
Bytes kuznyechik_block(const Bytes& key, const Bytes& in) {
  gnutls_datum_t k{const_cast<uint8_t*>(key.data()), 32};
  gnutls_datum_t iv{const_cast<uint8_t*>(in.data()), 16};
  gnutls_cipher_hd_t h;
  EXPECT_EQ(gnutls_cipher_init(&h, GNUTLS_CIPHER_KUZNYECHIK_CTR_ACPKM, &k, &iv), 0);
  Bytes out(16, 0);
  EXPECT_EQ(gnutls_cipher_encrypt(h, out.data(), out.size()), 0);
  gnutls_cipher_deinit(h);
  return out;
}

Bytes peer_block(const Cipher& c, const Bytes& key, const Bytes& in) {
  return c.n == 16 ? kuznyechik_block(key, in) : magma_block(key, in);
}

// ---- the modes by the standard's formulas over a peer's block function ----

Bytes msb(const Bytes& r, size_t k) { return Bytes(r.begin(), r.begin() + k); }
Bytes shift_in(const Bytes& r, const Bytes& tail) {
  Bytes out(r.begin() + tail.size(), r.end());
  out.insert(out.end(), tail.begin(), tail.end());
  return out;
}

Bytes reference_encrypt(const Config& c, const Bytes& key, const Bytes& iv, const Bytes& pt) {
  const size_t n = c.cipher->n;
  auto E = [&](const Bytes& x) { return peer_block(*c.cipher, key, x); };
  Bytes out, r = iv;
  if (c.mode == Mode::kCtr) {
    r.resize(n, 0);
  }
  const size_t seg = c.whole_blocks() ? n : c.s;
  for (size_t off = 0; off < pt.size(); off += seg) {
    const size_t len = std::min(seg, pt.size() - off);
    Bytes p(pt.begin() + off, pt.begin() + off + len), o(len);
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
        const Bytes y = E(msb(r, n));
        for (size_t i = 0; i < len; ++i) o[i] = p[i] ^ y[i];
        r = shift_in(r, y);
        break;
      }
      case Mode::kCfb: {
        const Bytes y = E(msb(r, n));
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

class ModePeer : public ::testing::TestWithParam<Config> {};

TEST_P(ModePeer, EqualsTheStandardOverPeerBlockFunction) {
  const Config& c = GetParam();
  std::mt19937 rng(static_cast<uint32_t>(std::hash<std::string>{}(c.name())));
  for (int round = 0; round < 4; ++round) {
    const Bytes key = random_bytes(rng, 32), iv = random_bytes(rng, c.iv_len());
    size_t len = 1 + rng() % 100;
    if (c.whole_blocks()) len = (len + c.cipher->n - 1) / c.cipher->n * c.cipher->n;
    const Bytes pt = random_bytes(rng, len);
    VkcModeContext ctx;
    ASSERT_EQ(c.init(&ctx, 1, key.data(), iv.empty() ? nullptr : iv.data()), 0);
    Bytes ct(len);
    ASSERT_EQ(c.update()(&ctx, pt.data(), ct.data(), len), 0);
    ASSERT_EQ(ct, reference_encrypt(c, key, iv, pt)) << round;
  }
}

INSTANTIATE_TEST_SUITE_P(All, ModePeer, ::testing::ValuesIn(all_configs()), config_name);

// ---- the peers' own modes ---------------------------------------------------

TEST(ModesGnutls, CtrEqualsFirstSectionOfCtrAcpkm) {
  std::mt19937 rng(8645);
  for (const Cipher* c : {&kKuznyechik, &kMagma}) {
    for (int round = 0; round < 40; ++round) {
      const Bytes key = random_bytes(rng, 32), iv = random_bytes(rng, c->n / 2);
      const size_t len = 1 + rng() % 1000;
      const Bytes pt = random_bytes(rng, len);
      Bytes want = pt;
      gnutls_datum_t k{const_cast<uint8_t*>(key.data()), 32};
      gnutls_datum_t v{const_cast<uint8_t*>(iv.data()), static_cast<unsigned>(iv.size())};
      gnutls_cipher_hd_t h;
      ASSERT_EQ(
          gnutls_cipher_init(
              &h, c->n == 16 ? GNUTLS_CIPHER_KUZNYECHIK_CTR_ACPKM : GNUTLS_CIPHER_MAGMA_CTR_ACPKM,
              &k, &v),
          0);
      ASSERT_EQ(gnutls_cipher_encrypt(h, want.data(), want.size()), 0);
      gnutls_cipher_deinit(h);

      VkcModeContext ctx;
      ASSERT_EQ(c->ctr_init(&ctx, 1, key.data(), c->n, iv.data()), 0);
      Bytes got(len);
      ASSERT_EQ(c->ctr(&ctx, pt.data(), got.data(), len), 0);
      ASSERT_EQ(got, want) << c->name << " " << round;
    }
  }
}

TEST(ModesGnutls, MacEqualsOmac) {
  std::mt19937 rng(3413);
  for (const Cipher* c : {&kKuznyechik, &kMagma}) {
    for (int round = 0; round < 60; ++round) {
      const Bytes key = random_bytes(rng, 32);
      const Bytes msg = random_bytes(
          rng, round < 3 * static_cast<int>(c->n) ? static_cast<size_t>(round) : rng() % 500);
      Bytes want(c->n), got(c->n);
      ASSERT_EQ(gnutls_hmac_fast(c->n == 16 ? GNUTLS_MAC_KUZNYECHIK_OMAC : GNUTLS_MAC_MAGMA_OMAC,
                                 key.data(), 32, msg.data(), msg.size(), want.data()),
                0);
      ASSERT_EQ(c->mac(key.data(), c->n, msg.data(), msg.size(), got.data()), 0);
      ASSERT_EQ(got, want) << c->name << " " << msg.size();
    }
  }
}

// libgcrypt's GOST 28147-89 modes keep one n-byte register: m = n.
TEST(ModesLibgcrypt, MagmaEcbCbcCfbOfb) {
  std::mt19937 rng(2015);
  const std::pair<Mode, int> modes[] = {{Mode::kEcb, GCRY_CIPHER_MODE_ECB},
                                        {Mode::kCbc, GCRY_CIPHER_MODE_CBC},
                                        {Mode::kCfb, GCRY_CIPHER_MODE_CFB},
                                        {Mode::kOfb, GCRY_CIPHER_MODE_OFB}};
  for (auto [mode, gmode] : modes) {
    const Config c{&kMagma, mode, 8, 8};
    for (int round = 0; round < 30; ++round) {
      const Bytes key = random_bytes(rng, 32), iv = random_bytes(rng, 8);
      const Bytes pt = random_bytes(rng, 8 * (1 + rng() % 40));
      GcryptGost g(gmode);
      const Bytes k = magma_key_for_gcrypt(key);
      ASSERT_EQ(gcry_cipher_setkey(g.h, k.data(), 32), 0u);
      if (mode != Mode::kEcb) {
        Bytes riv = iv;
        std::reverse(riv.begin(), riv.end());
        ASSERT_EQ(gcry_cipher_setiv(g.h, riv.data(), 8), 0u);
      }
      Bytes want = pt;
      reverse_blocks(want, 8);
      ASSERT_EQ(gcry_cipher_encrypt(g.h, want.data(), want.size(), nullptr, 0), 0u);
      reverse_blocks(want, 8);

      VkcModeContext ctx;
      ASSERT_EQ(c.init(&ctx, 1, key.data(), iv.data()), 0);
      Bytes got(pt.size());
      ASSERT_EQ(c.update()(&ctx, pt.data(), got.data(), pt.size()), 0);
      ASSERT_EQ(got, want) << c.name() << " " << round;
      ASSERT_EQ(c.init(&ctx, 0, key.data(), iv.data()), 0);
      ASSERT_EQ(c.update()(&ctx, want.data(), got.data(), want.size()), 0);
      ASSERT_EQ(got, pt) << c.name() << " " << round;
    }
  }
}

}  // namespace
