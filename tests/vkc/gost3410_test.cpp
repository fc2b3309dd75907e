// GOST R 34.10 signatures: the worked examples of the standard, the byte
// forms, the edge cases of signing and verification and the random source.
#include "gost3410.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "ec_test_util.h"
#include "test_util.h"
#include "vkc_log.h"

using ec_test::hex_to_num;
using ec_test::num_to_hex;
using orvel_test::from_hex;
using orvel_test::to_hex;

namespace {

std::vector<unsigned char> reversed(std::vector<unsigned char> v) {
  std::reverse(v.begin(), v.end());
  return v;
}

// Random source replaying fixed bytes, then failing or repeating zeros.
std::vector<unsigned char> g_rnd_bytes;
size_t g_rnd_pos = 0;
int g_rnd_calls = 0;
int replay_rnd(unsigned char* buf, uint32_t len) {
  g_rnd_calls++;
  for (uint32_t i = 0; i < len; i++)
    buf[i] = g_rnd_pos < g_rnd_bytes.size() ? g_rnd_bytes[g_rnd_pos++] : 0;
  return 0;
}
int failing_rnd(unsigned char*, uint32_t) { return 1; }
int zero_rnd(unsigned char* buf, uint32_t len) {
  g_rnd_calls++;
  memset(buf, 0, len);
  return 0;
}
int real_rnd(unsigned char* buf, uint32_t len) {
  static std::mt19937_64 rng(42);
  for (uint32_t i = 0; i < len; i++) buf[i] = static_cast<unsigned char>(rng());
  return 0;
}

}  // namespace

TEST(Gost3410Example, Sign256ThroughByteForms) {
  const ec_test::Block& v = ec_test::vectors().at("sig.gost3410-2012-256-example");
  const GOSTR3410_2012_256_PAR* par = nullptr;
  ASSERT_EQ(GOSTR3410_2012_256_FindParByDottedOid("1.2.643.2.2.35.0", &par), 0);
  DIGIT_T d[9], e[9], k[9];
  GostPoint Q;
  GostSignature sig;
  // Private key little-endian (default form), digest as the hash bytes.
  ASSERT_EQ(GOSTR3410_2012_256_LoadPrivateKeyValue(reversed(from_hex(v.at("d"))).data(), d), 0);
  ASSERT_EQ(GOSTR3410_2012_256_LoadDigestValue(from_hex(v.at("e_lsb_first")).data(), e), 0);
  EXPECT_EQ(num_to_hex(e, 9, 32), v.at("e"));
  hex_to_num(v.at("k"), k, 9);
  ASSERT_EQ(GOSTR3410_2012_256_GeneratePublicKey(par, d, &Q), 0);
  unsigned char pub[64];
  ASSERT_EQ(GOSTR3410_2012_256_UnloadPublicKeyValueXYBE(&Q, pub), 0);
  EXPECT_EQ(to_hex(pub, 64), v.at("Qx") + v.at("Qy"));
  ASSERT_EQ(GOSTR3410_2012_256_SignWithGivenRandom(par, e, k, d, &sig), 0);
  unsigned char out[64];
  ASSERT_EQ(GOSTR3410_2012_256_UnloadSignatureValue(&sig, out), 0);
  EXPECT_EQ(to_hex(out, 64), v.at("sig_s_r"));
  ASSERT_EQ(GOSTR3410_2012_256_UnloadSignatureValueRSBE(&sig, out), 0);
  EXPECT_EQ(to_hex(out, 64), v.at("r") + v.at("s"));
  // Verification through the loaded forms.
  GostSignature sig2;
  GostPoint Q2;
  ASSERT_EQ(GOSTR3410_2012_256_LoadSignatureValue(from_hex(v.at("sig_s_r")).data(), &sig2), 0);
  ASSERT_EQ(GOSTR3410_2012_256_LoadPublicKeyValueXYBE(pub, &Q2), 0);
  EXPECT_EQ(GOSTR3410_2012_256_CheckPublicKey(par, &Q2), 0);
  EXPECT_EQ(GOSTR3410_2012_256_Verify(par, e, &Q2, &sig2), 0);
  EXPECT_EQ(GOSTR3410_2001_Verify(par, e, &Q2, &sig2), 0);
  // Sign with a random source that yields k gives the same signature.
  g_rnd_bytes = reversed(from_hex("00000000" + v.at("k")));
  g_rnd_pos = 0;
  GostSignature sig3;
  ASSERT_EQ(GOSTR3410_2012_256_Sign(par, e, replay_rnd, d, &sig3), 0);
  EXPECT_EQ(memcmp(&sig3, &sig, sizeof sig), 0);
}

TEST(Gost3410Example, Sign512ThroughByteForms) {
  const ec_test::Block& v = ec_test::vectors().at("sig.gost3410-2012-512-example");
  const GOSTR3410_2012_512_PAR* par = GOSTR3410_2012_512_GetPar(0);
  ASSERT_NE(par, nullptr);
  DIGIT_T d[17], e[17], k[17];
  GostPoint512 Q;
  GostSignature512 sig;
  ASSERT_EQ(GOSTR3410_2012_512_LoadPrivateKeyValueBE(from_hex(v.at("d")).data(), d), 0);
  ASSERT_EQ(GOSTR3410_2012_512_LoadDigestValueLE(from_hex(v.at("e_lsb_first")).data(), e), 0);
  EXPECT_EQ(num_to_hex(e, 17, 64), v.at("e"));
  hex_to_num(v.at("k"), k, 17);
  ASSERT_EQ(GOSTR3410_2012_512_GeneratePublicKey(par, d, &Q), 0);
  unsigned char pub[128];
  ASSERT_EQ(GOSTR3410_2012_512_UnloadPublicKeyValue(&Q, pub), 0);
  EXPECT_EQ(to_hex(pub, 64), to_hex(reversed(from_hex(v.at("Qx"))).data(), 64));
  ASSERT_EQ(GOSTR3410_2012_512_SignWithGivenRandom(par, e, k, d, &sig), 0);
  unsigned char out[128];
  ASSERT_EQ(GOSTR3410_2012_512_UnloadSignatureValueSRBE(&sig, out), 0);
  EXPECT_EQ(to_hex(out, 128), v.at("sig_s_r"));
  GostPoint512 Q2;
  GostSignature512 sig2;
  ASSERT_EQ(GOSTR3410_2012_512_LoadPublicKeyValue(pub, &Q2), 0);
  ASSERT_EQ(
      GOSTR3410_2012_512_LoadSignatureValueRSBE(from_hex(v.at("r") + v.at("s")).data(), &sig2), 0);
  EXPECT_EQ(GOSTR3410_2012_512_Verify(par, e, &Q2, &sig2), 0);
  g_rnd_bytes = reversed(from_hex("00000000" + v.at("k")));
  g_rnd_pos = 0;
  GostSignature512 sig3;
  ASSERT_EQ(GOSTR3410_2012_512_Sign(par, e, replay_rnd, d, &sig3), 0);
  EXPECT_EQ(memcmp(&sig3, &sig, sizeof sig), 0);
}

TEST(Gost3410Forms, SignatureAndKeyByteOrders) {
  GostSignature sig = {};
  sig.r[0] = 1;
  sig.s[0] = 2;
  unsigned char out[64];
  ASSERT_EQ(GOSTR3410_2012_256_UnloadSignatureValue(&sig, out), 0);
  EXPECT_EQ(out[31], 2);
  EXPECT_EQ(out[63], 1);
  ASSERT_EQ(GOSTR3410_2001_UnloadSignatureValue(&sig, out), 0);
  EXPECT_EQ(out[31], 2);
  ASSERT_EQ(GOSTR3410_2012_256_UnloadSignatureValueRSBE(&sig, out), 0);
  EXPECT_EQ(out[31], 1);
  EXPECT_EQ(out[63], 2);
  unsigned char key[32] = {1};
  DIGIT_T d[9];
  ASSERT_EQ(GOSTR3410_2012_256_LoadPrivateKeyValue(key, d), 0);
  EXPECT_EQ(mpShortCmp(d, 1, 9), 0);
  ASSERT_EQ(GOSTR3410_2012_256_LoadPrivateKeyValueBE(key, d), 0);
  EXPECT_EQ(mpBitLength(d, 9), 249u);
  EXPECT_EQ(d[7], 0x01000000u);
  unsigned char back[32];
  ASSERT_EQ(GOSTR3410_2001_UnloadPrivateKeyValue(d, back), 0);
  EXPECT_EQ(back[31], 1);
  // Null arguments.
  EXPECT_EQ(GOSTR3410_2012_256_LoadPrivateKeyValue(nullptr, d), -2);
  EXPECT_EQ(GOSTR3410_2012_512_UnloadSignatureValue(nullptr, out), -2);
  EXPECT_EQ(GOSTR3410_2012_512_LoadPublicKeyValueXYBE(key, nullptr), -2);
}

TEST(Gost3410Sign, EdgeCasesAndFailureCodes) {
  const GOSTR3410_2012_256_PAR* par = GOSTR3410_2012_256_GetDefaultPar();
  DIGIT_T d[9], e[9];
  GostPoint Q;
  GostSignature sig;
  ASSERT_EQ(GOSTR3410_2012_256_GenerateKeyPair(par, real_rnd, d, &Q), 0);
  // A digest that is a multiple of q signs and verifies as the digest 1.
  mpSetEqual(e, par->q, 9);
  ASSERT_EQ(GOSTR3410_2012_256_Sign(par, e, real_rnd, d, &sig), 0);
  DIGIT_T one[9] = {1};
  EXPECT_EQ(GOSTR3410_2012_256_Verify(par, one, &Q, &sig), 0);
  EXPECT_EQ(GOSTR3410_2012_256_Verify(par, e, &Q, &sig), 0);
  // r or s zero or not below q.
  GostSignature bad = sig;
  mpSetZero(bad.r, 9);
  EXPECT_EQ(GOSTR3410_2012_256_Verify(par, e, &Q, &bad), -1);
  bad = sig;
  mpSetZero(bad.s, 9);
  EXPECT_EQ(GOSTR3410_2012_256_Verify(par, e, &Q, &bad), -1);
  bad = sig;
  mpSetEqual(bad.r, par->q, 9);
  EXPECT_EQ(GOSTR3410_2012_256_Verify(par, e, &Q, &bad), -1);
  bad = sig;
  mpSetEqual(bad.s, par->q, 9);
  EXPECT_EQ(GOSTR3410_2012_256_Verify(par, e, &Q, &bad), -1);
  // Failing and degenerate random sources.
  EXPECT_EQ(GOSTR3410_2012_256_Sign(par, e, failing_rnd, d, &sig), -3);
  EXPECT_EQ(GOSTR3410_2012_256_GenerateKeyPair(par, failing_rnd, d, &Q), -2);
  DIGIT_T d5[17], e5[17] = {5};
  GostPoint512 Q5;
  GostSignature512 sig5;
  const GOSTR3410_2012_512_PAR* par5 = GOSTR3410_2012_512_GetDefaultPar();
  EXPECT_EQ(GOSTR3410_2012_512_GenerateKeyPair(par5, failing_rnd, d5, &Q5), -3);
  EXPECT_EQ(GOSTR3410_2012_512_Sign(par5, e5, failing_rnd, d5, &sig5), -3);
  g_rnd_calls = 0;
  EXPECT_EQ(GOSTR3410_2012_256_Sign(par, e, zero_rnd, d, &sig), -3);
  EXPECT_EQ(g_rnd_calls, 64);
  g_rnd_calls = 0;
  EXPECT_EQ(GOSTR3410_2012_256_GenerateKeyPair(par, zero_rnd, d, &Q), -2);
  EXPECT_EQ(GOSTR3410_2012_512_GenerateKeyPair(par5, zero_rnd, d5, &Q5), -3);
  // A nonce of zero (or q) gives no signature.
  DIGIT_T k[9] = {};
  EXPECT_EQ(GOSTR3410_2012_256_SignWithGivenRandom(par, e, k, d, &sig), -1);
  EXPECT_EQ(GOSTR3410_2012_256_SignWithGivenRandom(par, e, par->q, d, &sig), -1);
  // Public keys: d = 0 is refused, a point off the curve fails the check.
  DIGIT_T zero[9] = {};
  EXPECT_EQ(GOSTR3410_2012_256_GeneratePublicKey(par, zero, &Q), -1);
  GostPoint off = par->bp;
  off.y[0] ^= 1;
  EXPECT_EQ(GOSTR3410_2012_256_CheckPublicKey(par, &off), -1);
  // Null arguments.
  EXPECT_EQ(GOSTR3410_2012_256_Sign(par, e, nullptr, d, &sig), -2);
  EXPECT_EQ(GOSTR3410_2012_256_SignWithGivenRandom(nullptr, e, k, d, &sig), -2);
  EXPECT_EQ(GOSTR3410_2012_256_Verify(par, nullptr, &Q, &sig), -2);
  EXPECT_EQ(GOSTR3410_2012_256_CheckPublicKey(par, nullptr), -2);
  EXPECT_EQ(GOSTR3410_2012_256_GeneratePublicKey(nullptr, d, &Q), -2);
  EXPECT_EQ(GOSTR3410_2001_GenerateKeyPair(par, real_rnd, nullptr, &Q), -2);
  EXPECT_EQ(GOSTR3410_2012_512_Verify(par5, e5, nullptr, &sig5), -2);
  EXPECT_EQ(Getbig_RND(nullptr, d, par->q, 9), -2);
  EXPECT_EQ(Getbig_RND(failing_rnd, d, par->q, 9), -1);
}

TEST(Gost3410Sign, GetbigRndReadsLittleEndianAndReduces) {
  const GOSTR3410_2012_256_PAR* par = GOSTR3410_2012_256_GetPar(1);
  // q + 5 as 36 little-endian bytes gives 5.
  DIGIT_T v[9], out[9];
  mpShortAdd(v, par->q, 5, 9);
  g_rnd_bytes.assign(36, 0);
  for (int i = 0; i < 36; i++)
    g_rnd_bytes[i] = static_cast<unsigned char>(v[i / 4] >> (8 * (i % 4)));
  g_rnd_pos = 0;
  ASSERT_EQ(Getbig_RND(replay_rnd, out, par->q, 9), 0);
  EXPECT_EQ(mpShortCmp(out, 5, 9), 0);
  // A number with the top bit set is taken by its absolute value: -7 gives 7.
  g_rnd_bytes.assign(36, 0xFF);
  g_rnd_bytes[0] = 0xF9;
  g_rnd_pos = 0;
  ASSERT_EQ(Getbig_RND(replay_rnd, out, par->q, 9), 0);
  EXPECT_EQ(mpShortCmp(out, 7, 9), 0);
}

// Every bit flip of r, s or the digest fails verification, on every curve.
TEST(Gost3410Sign, BitFlipsFailOnEveryCurve) {
  for (uint32_t row = 0; row < GOST256_PAR_COUNT; row++) {
    const GOSTR3410_2012_256_PAR* par = GOSTR3410_2012_256_GetPar(row);
    DIGIT_T d[9], e[9] = {0x12345678, 0x9abcdef0, 3, 4, 5, 6, 7, 8, 0};
    GostPoint Q;
    GostSignature sig;
    ASSERT_EQ(GOSTR3410_2012_256_GenerateKeyPair(par, real_rnd, d, &Q), 0);
    ASSERT_EQ(GOSTR3410_2012_256_Sign(par, e, real_rnd, d, &sig), 0);
    ASSERT_EQ(GOSTR3410_2012_256_Verify(par, e, &Q, &sig), 0) << row;
    for (uint32_t bit = 0; bit < 256; bit++) {
      GostSignature b = sig;
      b.r[bit / 32] ^= 1u << (bit % 32);
      EXPECT_EQ(GOSTR3410_2012_256_Verify(par, e, &Q, &b), -1) << row << " r " << bit;
      b = sig;
      b.s[bit / 32] ^= 1u << (bit % 32);
      EXPECT_EQ(GOSTR3410_2012_256_Verify(par, e, &Q, &b), -1) << row << " s " << bit;
      DIGIT_T e2[9];
      mpSetEqual(e2, e, 9);
      e2[bit / 32] ^= 1u << (bit % 32);
      EXPECT_EQ(GOSTR3410_2012_256_Verify(par, e2, &Q, &sig), -1) << row << " e " << bit;
    }
  }
  for (uint32_t row = 0; row < GOST512_PAR_COUNT; row++) {
    const GOSTR3410_2012_512_PAR* par = GOSTR3410_2012_512_GetPar(row);
    DIGIT_T d[17],
        e[17] = {0x12345678, 0x9abcdef0, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 0};
    GostPoint512 Q;
    GostSignature512 sig;
    ASSERT_EQ(GOSTR3410_2012_512_GenerateKeyPair(par, real_rnd, d, &Q), 0);
    ASSERT_EQ(GOSTR3410_2012_512_Sign(par, e, real_rnd, d, &sig), 0);
    ASSERT_EQ(GOSTR3410_2012_512_Verify(par, e, &Q, &sig), 0) << row;
    for (uint32_t bit = 0; bit < 512; bit++) {
      GostSignature512 b = sig;
      b.r[bit / 32] ^= 1u << (bit % 32);
      EXPECT_EQ(GOSTR3410_2012_512_Verify(par, e, &Q, &b), -1) << row << " r " << bit;
      b = sig;
      b.s[bit / 32] ^= 1u << (bit % 32);
      EXPECT_EQ(GOSTR3410_2012_512_Verify(par, e, &Q, &b), -1) << row << " s " << bit;
      DIGIT_T e2[17];
      mpSetEqual(e2, e, 17);
      e2[bit / 32] ^= 1u << (bit % 32);
      EXPECT_EQ(GOSTR3410_2012_512_Verify(par, e2, &Q, &sig), -1) << row << " e " << bit;
    }
  }
}

// The diagnostic lines of the signature functions, byte for byte.
TEST(Gost3410Log, DiagnosticLines) {
  orvel_test::TempDir dir;
  const std::string path = dir.file("vkc.log");
  ASSERT_EQ(vkc_set_log_file(path.c_str()), 0);
  const GOSTR3410_2012_256_PAR* par = GOSTR3410_2012_256_GetDefaultPar();
  const GOSTR3410_2012_512_PAR* par5 = GOSTR3410_2012_512_GetDefaultPar();
  DIGIT_T d[9] = {5}, e[9] = {7};
  DIGIT_T d5[17] = {5};
  GostPoint Q, off = par->bp;
  GostPoint512 Q5;
  GostSignature sig = {};
  off.y[0] ^= 1;
  EXPECT_EQ(GOSTR3410_2012_256_CheckPublicKey(par, &off), -1);
  EXPECT_EQ(GOSTR3410_2012_256_CheckPublicKey(nullptr, &off), -2);
  EXPECT_EQ(GOSTR3410_2012_256_GeneratePublicKey(par, nullptr, &Q), -2);
  EXPECT_EQ(GOSTR3410_2012_256_GenerateKeyPair(par, failing_rnd, d, &Q), -2);
  EXPECT_EQ(GOSTR3410_2012_512_GenerateKeyPair(par5, failing_rnd, d5, &Q5), -3);
  EXPECT_EQ(GOSTR3410_2012_256_Sign(par, e, failing_rnd, d, &sig), -3);
  EXPECT_EQ(GOSTR3410_2012_256_Verify(par, e, &par->bp, &sig), -1);
  EXPECT_EQ(Getbig_RND(failing_rnd, d, par->q, 9), -1);
  EXPECT_EQ(GOSTR3410_2012_512_UnloadDigestValueBE(nullptr, nullptr), -2);
  vkc_set_log_file(nullptr);
  EXPECT_EQ(orvel_test::read_file(path),
            "Invalid public key\n"
            "ecCheckPuKey: bad params\n"
            "ecGeneratePublicKey: bad params\n"
            "Random generator failed\n"
            "ecSign: Getbig_RND failed: -2\n"
            "GOSTR3410_2012_512_GenerateKeyPair: Getbig_RND failed\n"
            "GOSTR3410_2012_256_Sign: Getbig_RND failed\n"
            "GOSTR3410_2012_256_Verify: Signature verification failed\n"
            "RND_FUNC failed\n"
            "GOSTR3410_2012_512_UnloadDigestValueBE: bad params\n");
}
