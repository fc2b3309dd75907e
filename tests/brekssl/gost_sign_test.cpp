// Signing and verification through the key methods: signature and digest
// sizes, caller's buffers, and signatures checked by nettle both ways.
#include <gmp.h>
#include <gtest/gtest.h>
#include <nettle/ecc-curve.h>
#include <nettle/ecc.h>
#include <nettle/gostdsa.h>
#include <openssl/rand.h>

#include <random>
#include <string>
#include <vector>

#include "engines/gost/gost_keypair.h"
#include "engines/gost/gost_pkey_nids.h"
#include "gost_keys_test_util.h"

using namespace gost_keys_test;

namespace {

class GostSign : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(setup()); }
};

std::vector<unsigned char> random_bytes(size_t n) {
  std::vector<unsigned char> v(n);
  RAND_bytes(v.data(), static_cast<int>(n));
  return v;
}

int pkey_sign(EVP_PKEY* key, unsigned char* sig, size_t* siglen,
              const std::vector<unsigned char>& tbs) {
  orvel::EvpPkeyCtxPtr ctx(EVP_PKEY_CTX_new(key, nullptr));
  if (!ctx || EVP_PKEY_sign_init(ctx.get()) <= 0) return -100;
  return EVP_PKEY_sign(ctx.get(), sig, siglen, tbs.data(), tbs.size());
}

int pkey_verify(EVP_PKEY* key, const std::vector<unsigned char>& sig,
                const std::vector<unsigned char>& tbs) {
  orvel::EvpPkeyCtxPtr ctx(EVP_PKEY_CTX_new(key, nullptr));
  if (!ctx || EVP_PKEY_verify_init(ctx.get()) <= 0) return -100;
  return EVP_PKEY_verify(ctx.get(), sig.data(), sig.size(), tbs.data(), tbs.size());
}

std::vector<unsigned char> sign_digest(EVP_PKEY* key, const std::vector<unsigned char>& dgst) {
  std::vector<unsigned char> sig(128);
  size_t len = sig.size();
  if (pkey_sign(key, sig.data(), &len, dgst) != 1) return {};
  sig.resize(len);
  return sig;
}

TEST_F(GostSign, SizeQueryAndCallersBuffer) {
  struct {
    int (*nid)();
    const char* set;
    size_t size;
  } const kTypes[] = {{gost_nid_key_2001, "A", 64},
                      {gost_nid_key_2012_256, "B", 64},
                      {gost_nid_key_2012_512, "A", 128}};
  for (const auto& t : kTypes) {
    orvel::EvpPkeyPtr key = generate(t.nid(), t.set);
    ASSERT_TRUE(key);
    std::vector<unsigned char> dgst = random_bytes(t.size / 2);
    size_t len = 0;
    EXPECT_EQ(pkey_sign(key.get(), nullptr, &len, dgst), 1);
    EXPECT_EQ(len, t.size);
    // One byte short: refused, nothing written past the buffer.
    std::vector<unsigned char> sig(t.size + 1, 0xA5);
    len = t.size - 1;
    EXPECT_LE(pkey_sign(key.get(), sig.data(), &len, dgst), 0);
    EXPECT_EQ(sig[t.size - 1], 0xA5);
    EXPECT_EQ(sig[t.size], 0xA5);
    len = t.size;
    EXPECT_EQ(pkey_sign(key.get(), sig.data(), &len, dgst), 1);
    EXPECT_EQ(len, t.size);
    EXPECT_EQ(sig[t.size], 0xA5);
    sig.resize(t.size);
    EXPECT_EQ(pkey_verify(key.get(), sig, dgst), 1);
  }
}

TEST_F(GostSign, DigestSizesAgainstKeySizes) {
  orvel::EvpPkeyPtr k256 = generate(gost_nid_key_2012_256(), "A");
  orvel::EvpPkeyPtr k512 = generate(gost_nid_key_2012_512(), "A");
  ASSERT_TRUE(k256 && k512);
  std::vector<unsigned char> d32 = random_bytes(32), d48 = random_bytes(48), d64 = random_bytes(64);
  std::vector<unsigned char> s256 = sign_digest(k256.get(), d32);
  std::vector<unsigned char> s512 = sign_digest(k512.get(), d64);
  ASSERT_EQ(s256.size(), 64u);
  ASSERT_EQ(s512.size(), 128u);
  StderrCapture cap;
  // 48 bytes fits no key; a 32-byte digest with a 512-bit key would make
  // the core read 64 bytes.
  EXPECT_TRUE(sign_digest(k256.get(), d48).empty());
  EXPECT_TRUE(sign_digest(k512.get(), d48).empty());
  EXPECT_TRUE(sign_digest(k512.get(), d32).empty());
  EXPECT_NE(pkey_verify(k256.get(), s256, d48), 1);
  EXPECT_NE(pkey_verify(k512.get(), s512, d48), 1);
  std::vector<unsigned char> d32_of_64(d64.begin(), d64.begin() + 32);
  EXPECT_NE(pkey_verify(k512.get(), s512, d32_of_64), 1);
  // A 64-byte digest with a 256-bit key: its first 32 bytes are signed.
  std::vector<unsigned char> s_long = sign_digest(k256.get(), d64);
  ASSERT_EQ(s_long.size(), 64u);
  EXPECT_EQ(pkey_verify(k256.get(), s_long, d64), 1);
  EXPECT_EQ(pkey_verify(k256.get(), s_long, d32_of_64), 1);
  EXPECT_EQ(cap.text(), "");
}

TEST_F(GostSign, SignatureOfAnotherLengthRefused) {
  orvel::EvpPkeyPtr k256 = generate(gost_nid_key_2012_256(), "A");
  orvel::EvpPkeyPtr k512 = generate(gost_nid_key_2012_512(), "B");
  ASSERT_TRUE(k256 && k512);
  std::vector<unsigned char> d32 = random_bytes(32), d64 = random_bytes(64);
  std::vector<unsigned char> s256 = sign_digest(k256.get(), d32);
  std::vector<unsigned char> s512 = sign_digest(k512.get(), d64);
  ASSERT_EQ(pkey_verify(k256.get(), s256, d32), 1);
  ASSERT_EQ(pkey_verify(k512.get(), s512, d64), 1);
  StderrCapture cap;
  std::vector<unsigned char> shorter(s256.begin(), s256.end() - 1);
  EXPECT_NE(pkey_verify(k256.get(), shorter, d32), 1);
  std::vector<unsigned char> longer = s256;
  longer.push_back(0);
  EXPECT_NE(pkey_verify(k256.get(), longer, d32), 1);
  // The 512-bit signature's first half is not a 256-bit signature.
  std::vector<unsigned char> head(s512.begin(), s512.begin() + 64);
  EXPECT_NE(pkey_verify(k512.get(), head, d64), 1);
  std::vector<unsigned char> empty;
  EXPECT_NE(pkey_verify(k256.get(), empty, d32), 1);
  // Flipped bits in s, r and the digest.
  for (size_t bit : {0u, 255u, 256u, 511u}) {
    std::vector<unsigned char> bad = s256;
    bad[bit / 8] ^= static_cast<unsigned char>(1u << (bit % 8));
    EXPECT_EQ(pkey_verify(k256.get(), bad, d32), 0) << bit;
  }
  std::vector<unsigned char> bad_digest = d64;
  bad_digest[63] ^= 0x80;
  EXPECT_EQ(pkey_verify(k512.get(), s512, bad_digest), 0);
}

// ---- nettle ----

struct Mpz {
  mpz_t z;
  Mpz() { mpz_init(z); }
  ~Mpz() { mpz_clear(z); }
};

void nettle_random(void*, size_t len, uint8_t* dst) { RAND_bytes(dst, static_cast<int>(len)); }

void nettle_both_ways(EVP_PKEY* key, const ecc_curve* curve) {
  const VK_GOST2012_KEYPAIR* kp = gost_keypair_of(key);
  ASSERT_NE(kp, nullptr);
  const size_t n = kp->priv_key_len;
  Mpz x, y, d;
  // The key object holds x, y and d least significant byte first.
  mpz_import(x.z, n, -1, 1, 0, 0, kp->pub_key);
  mpz_import(y.z, n, -1, 1, 0, 0, kp->pub_key + n);
  mpz_import(d.z, n, -1, 1, 0, 0, kp->priv_key);
  ecc_point pub;
  ecc_scalar priv;
  ecc_point_init(&pub, curve);
  ecc_scalar_init(&priv, curve);
  ASSERT_EQ(ecc_point_set(&pub, x.z, y.z), 1);
  ASSERT_EQ(ecc_scalar_set(&priv, d.z), 1);
  dsa_signature ns;
  dsa_signature_init(&ns);
  for (int round = 0; round < 8; round++) {
    std::vector<unsigned char> dgst = random_bytes(n);
    // Ours, s then r big-endian, checked by nettle (which reads the digest
    // least significant byte first, as the key methods do).
    std::vector<unsigned char> sig = sign_digest(key, dgst);
    ASSERT_EQ(sig.size(), 2 * n);
    mpz_import(ns.s, n, 1, 1, 0, 0, sig.data());
    mpz_import(ns.r, n, 1, 1, 0, 0, sig.data() + n);
    EXPECT_EQ(gostdsa_verify(&pub, n, dgst.data(), &ns), 1);
    // nettle's, checked here.
    gostdsa_sign(&priv, nullptr, nettle_random, n, dgst.data(), &ns);
    std::vector<unsigned char> theirs(2 * n, 0);
    size_t count = 0;
    mpz_export(theirs.data() + n - (mpz_sizeinbase(ns.s, 256)), &count, 1, 1, 0, 0, ns.s);
    mpz_export(theirs.data() + 2 * n - (mpz_sizeinbase(ns.r, 256)), &count, 1, 1, 0, 0, ns.r);
    EXPECT_EQ(pkey_verify(key, theirs, dgst), 1);
    theirs[2 * n - 1] ^= 1;
    EXPECT_EQ(pkey_verify(key, theirs, dgst), 0);
  }
  dsa_signature_clear(&ns);
  ecc_scalar_clear(&priv);
  ecc_point_clear(&pub);
}

TEST_F(GostSign, SignaturesCheckWithNettleBothWays) {
  struct {
    int (*nid)();
    const char* set;
    const ecc_curve* curve;
  } const kCases[] = {
      {gost_nid_key_2012_256, "A", nettle_get_gost_gc256b()},
      {gost_nid_key_2012_256, "XA", nettle_get_gost_gc256b()},
      {gost_nid_key_2012_256, "id-tc26-gost-3410-2012-256-paramSetB", nettle_get_gost_gc256b()},
      {gost_nid_key_2001, "A", nettle_get_gost_gc256b()},
      {gost_nid_key_2012_512, "A", nettle_get_gost_gc512a()}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.set);
    orvel::EvpPkeyPtr key = generate(c.nid(), c.set);
    ASSERT_TRUE(key);
    nettle_both_ways(key.get(), c.curve);
  }
}

}  // namespace
