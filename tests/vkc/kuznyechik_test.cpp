// Kuznyechik: the published key schedule and blocks, the calling contract,
// and random blocks against GnuTLS (whose CTR-ACPKM keystream starts with
// E(IV) before any re-keying).
#include <gnutls/crypto.h>
#include <gnutls/gnutls.h>
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "kuznyechik_magma_vectors.h"
#include "kuznyechik_optimized.h"
#include "kuznyechik_tables.h"

namespace {

using namespace kuzmag_test;

TEST(Kuznyechik, PublishedRoundKeysAndBlock) {
  const Block v = read_vectors().at("kuznyechik-example");
  const Bytes key = hex(v.at("key"));
  uint8_t rk[160];
  ASSERT_EQ(ExpandEncryptKey_K(key.data(), rk), 0);
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(to_hex(rk + 16 * i, 16), v.at("k" + std::to_string(i + 1))) << "K" << i + 1;
  }
  const Bytes pt = hex(v.at("pt"));
  uint8_t ct[16];
  ASSERT_EQ(Encrypt_K(pt.data(), ct, rk), 0);
  EXPECT_EQ(to_hex(ct, 16), v.at("ct"));

  uint8_t drk[160];
  ASSERT_EQ(ExpandDecryptKey_K(key.data(), drk), 0);
  // The first and last keys are kept; the others are L^-1 of the encryption keys.
  EXPECT_EQ(memcmp(drk, rk, 16), 0);
  EXPECT_EQ(memcmp(drk + 144, rk + 144, 16), 0);
  EXPECT_NE(memcmp(drk + 16, rk + 16, 128), 0);
  uint8_t back[16];
  ASSERT_EQ(Decrypt_K(ct, back, drk), 0);
  EXPECT_EQ(to_hex(back, 16), v.at("pt"));
}

TEST(Kuznyechik, DecryptionKeysAreInverseLinearImages) {
  uint8_t key[32];
  for (int i = 0; i < 32; ++i) key[i] = static_cast<uint8_t>(i * 37 + 5);
  uint8_t rk[160], drk[160];
  ASSERT_EQ(ExpandEncryptKey_K(key, rk), 0);
  ASSERT_EQ(ExpandDecryptKey_K(key, drk), 0);
  for (int i = 1; i <= 8; ++i) {
    vkc::kuznyechik::Block k{};
    memcpy(k.data(), drk + 16 * i, 16);
    k = vkc::kuznyechik::transform_l(k);
    EXPECT_EQ(memcmp(k.data(), rk + 16 * i, 16), 0) << "K" << i + 1;
  }
}

TEST(Kuznyechik, IterationConstants) {
  const Block v = read_vectors().at("kuznyechik-iteration-constants");
  for (int i = 0; i < 8; ++i) {
    uint8_t c[16];
    memcpy(c, &vkc::kuznyechik::roundConstLeft[i], 8);
    memcpy(c + 8, &vkc::kuznyechik::roundConstRight[i], 8);
    EXPECT_EQ(to_hex(c, 16), v.at("c" + std::to_string(i + 1)));
  }
}

TEST(Kuznyechik, Gost3413EcbExample) {
  const Block v = read_vectors().at("gost3413-kuznyechik-ecb");
  const Bytes key = hex(v.at("key")), pt = hex(v.at("pt")), ct = hex(v.at("ct"));
  uint8_t rk[160], drk[160];
  ASSERT_EQ(ExpandEncryptKey_K(key.data(), rk), 0);
  ASSERT_EQ(ExpandDecryptKey_K(key.data(), drk), 0);
  ASSERT_EQ(pt.size(), 64u);
  for (size_t off = 0; off < pt.size(); off += 16) {
    uint8_t out[16];
    ASSERT_EQ(Encrypt_K(pt.data() + off, out, rk), 0);
    EXPECT_EQ(memcmp(out, ct.data() + off, 16), 0) << off;
    ASSERT_EQ(Decrypt_K(ct.data() + off, out, drk), 0);
    EXPECT_EQ(memcmp(out, pt.data() + off, 16), 0) << off;
  }
}

TEST(Kuznyechik, InPlaceAndUnaligned) {
  std::mt19937 rng(34122015);
  alignas(16) uint8_t buf[64 + 1];
  uint8_t key[32];
  for (auto& b : key) b = static_cast<uint8_t>(rng());
  uint8_t rk[160], drk[160];
  ASSERT_EQ(ExpandEncryptKey_K(key, rk), 0);
  ASSERT_EQ(ExpandDecryptKey_K(key, drk), 0);
  for (auto& b : buf) b = static_cast<uint8_t>(rng());
  uint8_t* block = buf + 1;  // odd address
  uint8_t separate[16], copy[16];
  memcpy(copy, block, 16);
  ASSERT_EQ(Encrypt_K(block, separate, rk), 0);
  ASSERT_EQ(Encrypt_K(block, block, rk), 0);
  EXPECT_EQ(memcmp(block, separate, 16), 0);
  ASSERT_EQ(Decrypt_K(block, block, drk), 0);
  EXPECT_EQ(memcmp(block, copy, 16), 0);
}

TEST(Kuznyechik, NullArgumentsWriteNothing) {
  uint8_t key[32] = {1};
  uint8_t rk[160];
  uint8_t out[16];
  memset(rk, 0xcc, sizeof(rk));
  memset(out, 0xdd, sizeof(out));
  EXPECT_EQ(ExpandEncryptKey_K(nullptr, rk), -1);
  EXPECT_EQ(ExpandDecryptKey_K(nullptr, rk), -1);
  EXPECT_EQ(ExpandEncryptKey_K(key, nullptr), -1);
  EXPECT_EQ(ExpandDecryptKey_K(key, nullptr), -1);
  for (uint8_t b : rk) ASSERT_EQ(b, 0xcc);
  ASSERT_EQ(ExpandEncryptKey_K(key, rk), 0);
  EXPECT_EQ(Encrypt_K(nullptr, out, rk), -1);
  EXPECT_EQ(Encrypt_K(key, out, nullptr), -1);
  EXPECT_EQ(Encrypt_K(key, nullptr, rk), -1);
  EXPECT_EQ(Decrypt_K(nullptr, out, rk), -1);
  EXPECT_EQ(Decrypt_K(key, out, nullptr), -1);
  EXPECT_EQ(Decrypt_K(key, nullptr, rk), -1);
  for (uint8_t b : out) ASSERT_EQ(b, 0xdd);
}

// E(IV) from GnuTLS: the first keystream block of CTR-ACPKM, read by
// encrypting zeros.
Bytes gnutls_block(const uint8_t* key, const uint8_t* block) {
  gnutls_datum_t k{const_cast<uint8_t*>(key), 32};
  gnutls_datum_t iv{const_cast<uint8_t*>(block), 16};
  gnutls_cipher_hd_t h;
  EXPECT_EQ(gnutls_cipher_init(&h, GNUTLS_CIPHER_KUZNYECHIK_CTR_ACPKM, &k, &iv), 0);
  Bytes out(16, 0);
  EXPECT_EQ(gnutls_cipher_encrypt(h, out.data(), out.size()), 0);
  gnutls_cipher_deinit(h);
  return out;
}

TEST(Kuznyechik, RandomBlocksAgainstGnutls) {
  std::mt19937 rng(7801);
  for (int round = 0; round < 2000; ++round) {
    uint8_t key[32], pt[16];
    for (auto& b : key) b = static_cast<uint8_t>(rng());
    for (auto& b : pt) b = static_cast<uint8_t>(rng());
    uint8_t rk[160], drk[160], ct[16], back[16];
    ASSERT_EQ(ExpandEncryptKey_K(key, rk), 0);
    ASSERT_EQ(ExpandDecryptKey_K(key, drk), 0);
    ASSERT_EQ(Encrypt_K(pt, ct, rk), 0);
    ASSERT_EQ(Bytes(ct, ct + 16), gnutls_block(key, pt)) << "round " << round;
    ASSERT_EQ(Decrypt_K(ct, back, drk), 0);
    ASSERT_EQ(memcmp(back, pt, 16), 0) << "round " << round;
  }
}

// A longer keystream: blocks E(IV), E(IV + 1), ... under one key.
TEST(Kuznyechik, CounterBlocksAgainstGnutlsKeystream) {
  std::mt19937 rng(8645);
  uint8_t key[32], iv[16];
  for (auto& b : key) b = static_cast<uint8_t>(rng());
  for (auto& b : iv) b = static_cast<uint8_t>(rng());
  iv[8] = 0;  // keep the counter's low half far from a carry into the high half
  const size_t blocks = 32;
  gnutls_datum_t k{key, 32};
  gnutls_datum_t v{iv, 16};
  gnutls_cipher_hd_t h;
  ASSERT_EQ(gnutls_cipher_init(&h, GNUTLS_CIPHER_KUZNYECHIK_CTR_ACPKM, &k, &v), 0);
  Bytes stream(16 * blocks, 0);
  ASSERT_EQ(gnutls_cipher_encrypt(h, stream.data(), stream.size()), 0);
  gnutls_cipher_deinit(h);
  uint8_t rk[160];
  ASSERT_EQ(ExpandEncryptKey_K(key, rk), 0);
  uint8_t ctr[16];
  memcpy(ctr, iv, 16);
  for (size_t i = 0; i < blocks; ++i) {
    uint8_t out[16];
    ASSERT_EQ(Encrypt_K(ctr, out, rk), 0);
    ASSERT_EQ(memcmp(out, stream.data() + 16 * i, 16), 0) << "block " << i;
    for (int j = 15; j >= 0 && ++ctr[j] == 0; --j) {
    }
  }
}

}  // namespace
