// Magma: published blocks, the calling contract, random blocks against
// libgcrypt's GOST 28147-89 with the param-Z S-box (byte order converted)
// and against GnuTLS, and the byte/word conversions.
#include "magma.h"

#include <gcrypt.h>
#include <gnutls/crypto.h>
#include <gnutls/gnutls.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "byte_word_conv.h"
#include "kuznyechik_magma_vectors.h"

namespace {

using namespace kuzmag_test;

// Key words K1..K8 from the 32 key bytes, each read most significant first.
void key_words(const uint8_t* key, uint32_t* k) {
  for (int i = 0; i < 8; ++i) {
    k[i] = (uint32_t{key[4 * i]} << 24) | (uint32_t{key[4 * i + 1]} << 16) |
           (uint32_t{key[4 * i + 2]} << 8) | key[4 * i + 3];
  }
}

TEST(Magma, PublishedExample) {
  const Block v = read_vectors().at("magma-example");
  const Bytes key = hex(v.at("key"));
  uint32_t k[8];
  key_words(key.data(), k);
  for (int i = 0; i < 8; ++i) {
    char want[9];
    snprintf(want, sizeof(want), "%08x", k[i]);
    EXPECT_EQ(want, v.at("k" + std::to_string(i + 1)));
  }
  const Bytes pt = hex(v.at("pt"));
  uint8_t ct[8], back[8];
  ASSERT_EQ(Encrypt_M(pt.data(), ct, k), 0);
  EXPECT_EQ(to_hex(ct, 8), v.at("ct"));
  ASSERT_EQ(Decrypt_M(ct, back, k), 0);
  EXPECT_EQ(to_hex(back, 8), v.at("pt"));
}

TEST(Magma, Gost3413EcbExample) {
  const Block v = read_vectors().at("gost3413-magma-ecb");
  const Bytes key = hex(v.at("key")), pt = hex(v.at("pt")), ct = hex(v.at("ct"));
  uint32_t k[8];
  key_words(key.data(), k);
  ASSERT_EQ(pt.size(), 32u);
  for (size_t off = 0; off < pt.size(); off += 8) {
    uint8_t out[8];
    ASSERT_EQ(Encrypt_M(pt.data() + off, out, k), 0);
    EXPECT_EQ(memcmp(out, ct.data() + off, 8), 0) << off;
    ASSERT_EQ(Decrypt_M(ct.data() + off, out, k), 0);
    EXPECT_EQ(memcmp(out, pt.data() + off, 8), 0) << off;
  }
}

TEST(Magma, InPlaceAndNullArguments) {
  uint32_t k[8] = {0xffeeddcc, 0xbbaa9988, 0x77665544, 0x33221100,
                   0xf0f1f2f3, 0xf4f5f6f7, 0xf8f9fafb, 0xfcfdfeff};
  uint8_t buf[9] = {0, 0xfe, 0xdc, 0xba, 0x98, 0x76, 0x54, 0x32, 0x10};
  ASSERT_EQ(Encrypt_M(buf + 1, buf + 1, k), 0);
  EXPECT_EQ(to_hex(buf + 1, 8), "4ee901e5c2d8ca3d");
  ASSERT_EQ(Decrypt_M(buf + 1, buf + 1, k), 0);
  EXPECT_EQ(to_hex(buf + 1, 8), "fedcba9876543210");

  uint8_t out[8];
  memset(out, 0xab, sizeof(out));
  EXPECT_EQ(Encrypt_M(nullptr, out, k), -1);
  EXPECT_EQ(Encrypt_M(buf, out, nullptr), -1);
  EXPECT_EQ(Encrypt_M(buf, nullptr, k), -1);
  EXPECT_EQ(Decrypt_M(nullptr, out, k), -1);
  EXPECT_EQ(Decrypt_M(buf, out, nullptr), -1);
  EXPECT_EQ(Decrypt_M(buf, nullptr, k), -1);
  for (uint8_t b : out) ASSERT_EQ(b, 0xab);
}

// libgcrypt's GOST 28147-89 with param-Z equals Magma after reversing the
// block and the bytes of each key word.
class MagmaGcrypt : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(gcry_check_version(nullptr), nullptr);
    ASSERT_EQ(gcry_cipher_open(&h_, GCRY_CIPHER_GOST28147, GCRY_CIPHER_MODE_ECB, 0), 0u);
    const char oid[] = "1.2.643.7.1.2.5.1.1";
    ASSERT_EQ(gcry_cipher_ctl(h_, GCRYCTL_SET_SBOX, const_cast<char*>(oid), strlen(oid)), 0u);
  }
  void TearDown() override { gcry_cipher_close(h_); }

  Bytes encrypt(const uint8_t* key, const uint8_t* block) {
    uint8_t k[32];
    for (int i = 0; i < 32; ++i) k[i] = key[4 * (i / 4) + 3 - i % 4];
    EXPECT_EQ(gcry_cipher_setkey(h_, k, 32), 0u);
    Bytes b(block, block + 8);
    std::reverse(b.begin(), b.end());
    EXPECT_EQ(gcry_cipher_encrypt(h_, b.data(), 8, nullptr, 0), 0u);
    std::reverse(b.begin(), b.end());
    return b;
  }

  gcry_cipher_hd_t h_ = nullptr;
};

TEST_F(MagmaGcrypt, PublishedRelation) {
  const Block v = read_vectors().at("magma-vs-gost28147-tc26-z");
  const Bytes key = hex(v.at("key_magma")), pt = hex(v.at("pt_magma"));
  EXPECT_EQ(to_hex(encrypt(key.data(), pt.data()).data(), 8), v.at("ct_magma"));
}

TEST_F(MagmaGcrypt, RandomBlocks) {
  std::mt19937 rng(8891);
  for (int round = 0; round < 3000; ++round) {
    uint8_t key[32], pt[8], ct[8], back[8];
    for (auto& b : key) b = static_cast<uint8_t>(rng());
    for (auto& b : pt) b = static_cast<uint8_t>(rng());
    uint32_t k[8];
    key_words(key, k);
    ASSERT_EQ(Encrypt_M(pt, ct, k), 0);
    ASSERT_EQ(Bytes(ct, ct + 8), encrypt(key, pt)) << "round " << round;
    ASSERT_EQ(Decrypt_M(ct, back, k), 0);
    ASSERT_EQ(memcmp(back, pt, 8), 0) << "round " << round;
  }
}

// GnuTLS: the first keystream block of Magma CTR-ACPKM is E(IV).
TEST(Magma, RandomBlocksAgainstGnutls) {
  std::mt19937 rng(3412);
  for (int round = 0; round < 2000; ++round) {
    uint8_t key[32], pt[8], ct[8];
    for (auto& b : key) b = static_cast<uint8_t>(rng());
    for (auto& b : pt) b = static_cast<uint8_t>(rng());
    uint32_t k[8];
    key_words(key, k);
    ASSERT_EQ(Encrypt_M(pt, ct, k), 0);
    gnutls_datum_t kd{key, 32};
    gnutls_datum_t iv{pt, 8};
    gnutls_cipher_hd_t h;
    ASSERT_EQ(gnutls_cipher_init(&h, GNUTLS_CIPHER_MAGMA_CTR_ACPKM, &kd, &iv), 0);
    uint8_t stream[8] = {0};
    ASSERT_EQ(gnutls_cipher_encrypt(h, stream, 8), 0);
    gnutls_cipher_deinit(h);
    ASSERT_EQ(memcmp(stream, ct, 8), 0) << "round " << round;
  }
}

TEST(ByteWordConv, LittleEndianBothWays) {
  const uint8_t in[8] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};
  EXPECT_EQ(Uint8ToUint32(in), 0x04030201u);
  EXPECT_EQ(Uint8ToUint64(in), 0x0807060504030201ull);
  uint8_t out[8] = {0};
  Uint32ToUint8(0x04030201u, out);
  EXPECT_EQ(memcmp(out, in, 4), 0);
  Uint64ToUint8(0x0807060504030201ull, out);
  EXPECT_EQ(memcmp(out, in, 8), 0);
  Uint32ToUint8(0xffffffffu, out);
  EXPECT_EQ(Uint8ToUint32(out), 0xffffffffu);
}

}  // namespace
