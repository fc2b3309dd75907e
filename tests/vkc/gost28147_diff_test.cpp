// GOST 28147-89 on random data against libgcrypt and GnuTLS: ECB, CFB with
// and without key meshing, counter mode and MAC, through the streaming
// context with random chunkings.
#include <gcrypt.h>
#include <gnutls/crypto.h>
#include <gnutls/gnutls.h>
#include <gtest/gtest.h>

#include <cstring>

#include "gost28147.h"
#include "gost28147_sbox.h"
#include "gost28147_test_util.h"

using namespace gost_test;

namespace {

void gcrypt_init() {
  static bool done = [] {
    gcry_check_version(nullptr);
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
    return true;
  }();
  (void)done;
}

Bytes gcrypt_cipher(int algo, int mode, const char* oid, const Bytes& key, const Bytes& iv,
                    const Bytes& in, bool encrypt) {
  gcrypt_init();
  gcry_cipher_hd_t h;
  Bytes out(in.size());
  EXPECT_EQ(gcry_cipher_open(&h, algo, mode, 0), 0u);
  EXPECT_EQ(gcry_cipher_setkey(h, key.data(), key.size()), 0u);
  EXPECT_EQ(gcry_cipher_ctl(h, GCRYCTL_SET_SBOX, const_cast<char*>(oid), 0), 0u);
  if (!iv.empty()) {
    EXPECT_EQ(gcry_cipher_setiv(h, iv.data(), iv.size()), 0u);
  }
  if (encrypt)
    EXPECT_EQ(gcry_cipher_encrypt(h, out.data(), out.size(), in.data(), in.size()), 0u);
  else
    EXPECT_EQ(gcry_cipher_decrypt(h, out.data(), out.size(), in.data(), in.size()), 0u);
  gcry_cipher_close(h);
  return out;
}

Bytes gcrypt_mac(const char* oid, const Bytes& key, const Bytes& iv, const Bytes& msg) {
  gcrypt_init();
  gcry_mac_hd_t h;
  EXPECT_EQ(gcry_mac_open(&h, GCRY_MAC_GOST28147_IMIT, 0, nullptr), 0u);
  EXPECT_EQ(gcry_mac_setkey(h, key.data(), key.size()), 0u);
  EXPECT_EQ(gcry_mac_ctl(h, GCRYCTL_SET_SBOX, const_cast<char*>(oid), 0), 0u);
  if (!iv.empty()) {
    EXPECT_EQ(gcry_mac_setiv(h, iv.data(), iv.size()), 0u);
  }
  EXPECT_EQ(gcry_mac_write(h, msg.data(), msg.size()), 0u);
  Bytes out(4);
  size_t n = out.size();
  EXPECT_EQ(gcry_mac_read(h, out.data(), &n), 0u);
  gcry_mac_close(h);
  return out;
}

Bytes gnutls_cipher(gnutls_cipher_algorithm_t algo, const Bytes& key, const Bytes& iv,
                    const Bytes& in, bool encrypt) {
  gnutls_cipher_hd_t h;
  gnutls_datum_t k = {const_cast<uint8_t*>(key.data()), static_cast<unsigned>(key.size())};
  gnutls_datum_t v = {const_cast<uint8_t*>(iv.data()), static_cast<unsigned>(iv.size())};
  Bytes out(in.size());
  EXPECT_EQ(gnutls_cipher_init(&h, algo, &k, &v), 0);
  if (encrypt)
    EXPECT_EQ(gnutls_cipher_encrypt2(h, in.data(), in.size(), out.data(), out.size()), 0);
  else
    EXPECT_EQ(gnutls_cipher_decrypt2(h, in.data(), in.size(), out.data(), out.size()), 0);
  gnutls_cipher_deinit(h);
  return out;
}

Bytes gnutls_mac_z(const Bytes& key, const Bytes& msg) {
  Bytes out(4);
  EXPECT_EQ(gnutls_hmac_fast(GNUTLS_MAC_GOST28147_TC26Z_IMIT, key.data(), key.size(), msg.data(),
                             msg.size(), out.data()),
            0);
  return out;
}

// Our context over msg in random pieces.
Bytes ours(std::mt19937& rng, const Gost28147ExpandedSbox* s, uint32_t mode, uint32_t mesh,
           uint8_t enc, const Bytes& key, const Bytes& iv, const Bytes& msg) {
  Gost28147Context ctx;
  EXPECT_EQ(GOST28147_89_Init(&ctx, enc, s, mode, 0, mesh, 0, iv.empty() ? nullptr : iv.data(),
                              key.data()),
            0);
  Bytes out(msg.size() + 8);
  size_t pos = 0, opos = 0;
  while (pos < msg.size()) {
    size_t c = std::min<size_t>(msg.size() - pos, 1 + rng() % (rng() % 2 ? 1500 : 13));
    GostBuffer bi = {static_cast<uint32_t>(c), const_cast<uint8_t*>(msg.data() + pos)};
    GostBuffer bo = {static_cast<uint32_t>(out.size() - opos), out.data() + opos};
    EXPECT_EQ(GOST28147_89_Update(&ctx, &bi, &bo), 0);
    pos += c;
    opos += mode == GOST28147_MODE_IMITO ? 0 : bo.length;
  }
  int32_t rc = GOST28147_89_Final(&ctx);
  if (mode == GOST28147_MODE_IMITO) {
    EXPECT_EQ(rc, 0);
    return Bytes(reinterpret_cast<uint8_t*>(ctx.mac), reinterpret_cast<uint8_t*>(ctx.mac) + 4);
  }
  EXPECT_TRUE(rc == 0);
  out.resize(opos);
  return out;
}

}  // namespace

TEST(Gost28147Diff, EcbEverySetAgainstLibgcrypt) {
  std::mt19937 rng(147);
  for (const auto& set : sbox_sets()) {
    SCOPED_TRACE(set.oid);
    for (int r = 0; r < 12; ++r) {
      Bytes key = random_bytes(rng, 32);
      Bytes msg = random_bytes(rng, 8 * (1 + rng() % 700));
      Bytes ct = ours(rng, &TZ_28147_89[set.row], GOST28147_MODE_ECB, 0, 1, key, {}, msg);
      ASSERT_EQ(ct, gcrypt_cipher(GCRY_CIPHER_GOST28147, GCRY_CIPHER_MODE_ECB, set.oid, key, {},
                                  msg, true));
      ASSERT_EQ(ours(rng, &TZ_28147_89[set.row], GOST28147_MODE_ECB, 0, 0, key, {}, ct), msg);
    }
  }
}

TEST(Gost28147Diff, CfbEverySetWithAndWithoutMeshing) {
  std::mt19937 rng(2891);
  const std::map<int, gnutls_cipher_algorithm_t> gnutls_cfb = {
      {1, GNUTLS_CIPHER_GOST28147_CPA_CFB}, {2, GNUTLS_CIPHER_GOST28147_CPB_CFB},
      {3, GNUTLS_CIPHER_GOST28147_CPC_CFB}, {4, GNUTLS_CIPHER_GOST28147_CPD_CFB},
      {5, GNUTLS_CIPHER_GOST28147_TC26Z_CFB}};
  for (const auto& set : sbox_sets()) {
    SCOPED_TRACE(set.oid);
    for (int r = 0; r < 8; ++r) {
      Bytes key = random_bytes(rng, 32), iv = random_bytes(rng, 8);
      Bytes msg = random_bytes(rng, 4096 + rng() % 4000);
      const Gost28147ExpandedSbox* s = &TZ_28147_89[set.row];
      for (uint32_t mesh : {0u, 1u}) {
        if (mesh && !set.meshing) continue;
        int algo = mesh ? GCRY_CIPHER_GOST28147_MESH : GCRY_CIPHER_GOST28147;
        Bytes ct = ours(rng, s, GOST28147_MODE_CFB, mesh, 1, key, iv, msg);
        ASSERT_EQ(ct, gcrypt_cipher(algo, GCRY_CIPHER_MODE_CFB, set.oid, key, iv, msg, true))
            << "mesh " << mesh;
        ASSERT_EQ(ours(rng, s, GOST28147_MODE_CFB, mesh, 0, key, iv, ct), msg);
        if (mesh) {
          ASSERT_EQ(ct, gnutls_cipher(gnutls_cfb.at(set.row), key, iv, msg, true));
          ASSERT_EQ(gnutls_cipher(gnutls_cfb.at(set.row), key, iv, ct, false), msg);
        }
      }
    }
  }
}

TEST(Gost28147Diff, CounterModeAgainstGnutls) {
  std::mt19937 rng(5830);
  for (int r = 0; r < 40; ++r) {
    Bytes key = random_bytes(rng, 32), iv = random_bytes(rng, 8);
    Bytes msg = random_bytes(rng, r < 20 ? 1 + rng() % 64 : 4096 + rng() % 5000);
    Bytes ct = ours(rng, &TZ_28147_89[5], GOST28147_MODE_CNT, 1, 1, key, iv, msg);
    ASSERT_EQ(ct, gnutls_cipher(GNUTLS_CIPHER_GOST28147_TC26Z_CNT, key, iv, msg, true)) << msg.size();
    ASSERT_EQ(ours(rng, &TZ_28147_89[5], GOST28147_MODE_CNT, 1, 0, key, iv, ct), msg);
  }
}

// The peers agree with us above 8 bytes; libgcrypt never meshes in its MAC,
// so it is compared up to 1,024 bytes, GnuTLS beyond.
TEST(Gost28147Diff, MacAgainstLibgcryptAndGnutls) {
  std::mt19937 rng(28147);
  for (const auto& set : sbox_sets()) {
    SCOPED_TRACE(set.oid);
    const Gost28147ExpandedSbox* s = &TZ_28147_89[set.row];
    for (int r = 0; r < 60; ++r) {
      Bytes key = random_bytes(rng, 32), iv = random_bytes(rng, 8);
      Bytes msg = random_bytes(rng, 9 + rng() % 1016);
      ASSERT_EQ(ours(rng, s, GOST28147_MODE_IMITO, set.meshing, 1, key, {}, msg),
                gcrypt_mac(set.oid, key, {}, msg)) << msg.size();
      ASSERT_EQ(ours(rng, s, GOST28147_MODE_IMITO, set.meshing, 1, key, iv, msg),
                gcrypt_mac(set.oid, key, iv, msg)) << msg.size();
    }
  }
  for (int r = 0; r < 60; ++r) {
    Bytes key = random_bytes(rng, 32);
    Bytes msg = random_bytes(rng, 9 + rng() % 5000);
    ASSERT_EQ(ours(rng, &TZ_28147_89[5], GOST28147_MODE_IMITO, 1, 1, key, {}, msg),
              gnutls_mac_z(key, msg)) << msg.size();
  }
}
