// Reading GOST public and private keys from outside input: the forms the
// key methods accept (INTEGER private keys with lost leading zeros, masked
// values, agreement identifiers) and the ones they refuse.
#include <gmp.h>
#include <gtest/gtest.h>
#include <openssl/bn.h>
#include <openssl/objects.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engines/gost/gost_keypair.h"
#include "engines/gost/gost_keypair_ops.h"
#include "engines/gost/gost_pkey_nids.h"
#include "gost3410.h"
#include "gost_keys_test_util.h"

using namespace gost_keys_test;
using Bytes = std::vector<unsigned char>;

namespace {

class GostKeysDecode : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(setup()); }
};

Bytes oid_der(const char* dotted) {
  orvel::Asn1ObjectPtr obj(OBJ_txt2obj(dotted, 1));
  unsigned char* der = nullptr;
  int len = i2d_ASN1_OBJECT(obj.get(), &der);
  Bytes out(der, der + len);
  OPENSSL_free(der);
  return out;
}

Bytes tlv(unsigned char tag, const Bytes& content) {
  Bytes out{tag};
  size_t n = content.size();
  if (n < 128) {
    out.push_back(static_cast<unsigned char>(n));
  } else if (n < 256) {
    out.push_back(0x81);
    out.push_back(static_cast<unsigned char>(n));
  } else {
    out.push_back(0x82);
    out.push_back(static_cast<unsigned char>(n >> 8));
    out.push_back(static_cast<unsigned char>(n));
  }
  out.insert(out.end(), content.begin(), content.end());
  return out;
}

Bytes cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// SEQUENCE { key parameter set [, digest parameter set] }.
Bytes key_params(const char* paramset, const char* digest) {
  return tlv(0x30,
             digest != nullptr ? cat({oid_der(paramset), oid_der(digest)}) : oid_der(paramset));
}

Bytes algorithm(const char* alg, const Bytes& params) {
  return tlv(0x30, cat({oid_der(alg), params}));
}

Bytes pkcs8(const char* alg, const Bytes& params, const Bytes& private_content) {
  return tlv(0x30,
             cat({Bytes{0x02, 0x01, 0x00}, algorithm(alg, params), tlv(0x04, private_content)}));
}

Bytes spki(const char* alg, const Bytes& params, const Bytes& key_bits) {
  Bytes bits{0x00};
  bits.insert(bits.end(), key_bits.begin(), key_bits.end());
  return tlv(0x30, cat({algorithm(alg, params), tlv(0x03, bits)}));
}

constexpr const char* kAlg256 = "1.2.643.7.1.1.1.1";
constexpr const char* kAlg512 = "1.2.643.7.1.1.1.2";
constexpr const char* kAgree256 = "1.2.643.7.1.1.6.1";
constexpr const char* kSetCpA = "1.2.643.2.2.35.1";
constexpr const char* kSet512A = "1.2.643.7.1.2.1.2.1";
constexpr const char* kMd256 = "1.2.643.7.1.1.2.2";
constexpr const char* kMd512 = "1.2.643.7.1.1.2.3";

const VK_GOST2012_KEYPAIR* kp(const orvel::EvpPkeyPtr& key) {
  return key ? gost_keypair_of(key.get()) : nullptr;
}

Bytes priv_le(const orvel::EvpPkeyPtr& key) {
  const VK_GOST2012_KEYPAIR* k = kp(key);
  return Bytes(k->priv_key, k->priv_key + k->priv_key_len);
}

Bytes pub_le(const orvel::EvpPkeyPtr& key) {
  const VK_GOST2012_KEYPAIR* k = kp(key);
  return Bytes(k->pub_key, k->pub_key + k->pub_key_len);
}

// d as a DER INTEGER.
Bytes integer_of(const Bytes& d_le) {
  orvel::BigNumPtr bn(BN_lebin2bn(d_le.data(), static_cast<int>(d_le.size()), nullptr));
  orvel::Asn1IntegerPtr num(BN_to_ASN1_INTEGER(bn.get(), nullptr));
  unsigned char* der = nullptr;
  int len = i2d_ASN1_INTEGER(num.get(), &der);
  Bytes out(der, der + len);
  OPENSSL_free(der);
  return out;
}

TEST_F(GostKeysDecode, IntegerFormKeepsLeadingZeroBytes) {
  for (const char* alg : {kAlg256, kAlg512}) {
    SCOPED_TRACE(alg);
    bool big = alg == kAlg512;
    Bytes params = big ? key_params(kSet512A, kMd512) : key_params(kSetCpA, kMd256);
    orvel::EvpPkeyPtr gen = generate(big ? gost_nid_key_2012_512() : gost_nid_key_2012_256(), "A");
    ASSERT_TRUE(gen);
    Bytes d = priv_le(gen);
    // Two zero bytes at the top: DER writes the number two bytes shorter.
    d[d.size() - 1] = 0;
    d[d.size() - 2] = 0;
    Bytes as_integer = integer_of(d);
    ASSERT_LT(as_integer.size(), d.size() + 2);
    orvel::EvpPkeyPtr from_int = from_pkcs8_der(pkcs8(alg, params, as_integer));
    ASSERT_TRUE(from_int);
    EXPECT_EQ(priv_le(from_int), d);
    // The same d in the LEGACY form gives the same public value.
    orvel::EvpPkeyPtr from_octet = from_pkcs8_der(pkcs8(alg, params, tlv(0x04, d)));
    ASSERT_TRUE(from_octet);
    EXPECT_EQ(pub_le(from_int), pub_le(from_octet));
    // And it signs.
    std::vector<unsigned char> sig = digest_sign(from_int.get(), "integer form");
    EXPECT_EQ(digest_verify(from_octet.get(), "integer form", sig), 1);
    // GnuTLS leaves the zero top bytes out of the OCTET STRING as well.
    orvel::EvpPkeyPtr from_short =
        from_pkcs8_der(pkcs8(alg, params, tlv(0x04, Bytes(d.begin(), d.end() - 2))));
    ASSERT_TRUE(from_short);
    EXPECT_EQ(priv_le(from_short), d);
    EXPECT_EQ(pub_le(from_short), pub_le(from_octet));
  }
}

TEST_F(GostKeysDecode, PrivateValuesThatDoNotFitRefused) {
  Bytes params = key_params(kSetCpA, kMd256);
  orvel::EvpPkeyPtr gen = generate(gost_nid_key_2012_256(), "A");
  ASSERT_TRUE(gen);
  Bytes d = priv_le(gen);
  Bytes too_big(33, 0x11);
  Bytes negative{0x02, 0x01, 0x80};
  Bytes truncated = tlv(0x04, d);
  truncated.pop_back();
  const Bytes kBad[] = {
      tlv(0x04, cat({d, Bytes{0}})),             // 33-byte OCTET STRING
      integer_of(too_big),                       // 33-byte number
      negative,                                  // negative INTEGER
      tlv(0x05, d),                              // another tag
      cat({tlv(0x04, d), Bytes{0x00}}),          // trailing byte
      truncated,
      Bytes{},                  // empty
      tlv(0x04, Bytes(32, 0)),  // d = 0
  };
  for (size_t i = 0; i < sizeof(kBad) / sizeof(kBad[0]); i++) {
    SCOPED_TRACE(i);
    StderrCapture cap;
    EXPECT_FALSE(from_pkcs8_der(pkcs8(kAlg256, params, kBad[i])));
    EXPECT_NE(cap.text().find("priv_decode_gost2012: create_private_key failed\n"),
              std::string::npos);
  }
}

TEST_F(GostKeysDecode, MaskedFormsAndAgreementIdentifier) {
  // 04 40 and 64 bytes: masked for a 256-bit key, d itself for a 512-bit one.
  orvel::EvpPkeyPtr g256 = generate(gost_nid_key_2012_256(), "A");
  orvel::EvpPkeyPtr g512 = generate(gost_nid_key_2012_512(), "A");
  ASSERT_TRUE(g256 && g512);
  set_pk_format(1);
  Bytes masked_p8 = pkcs8_der(g256.get());
  set_pk_format(0);
  ASSERT_FALSE(masked_p8.empty());
  // The raw 64 masked bytes are the last 64 bytes of that PKCS#8.
  Bytes masked(masked_p8.end() - 64, masked_p8.end());
  orvel::EvpPkeyPtr inner256 =
      from_pkcs8_der(pkcs8(kAlg256, key_params(kSetCpA, kMd256), tlv(0x04, masked)));
  ASSERT_TRUE(inner256);
  EXPECT_EQ(priv_le(inner256), priv_le(g256));
  Bytes d512 = priv_le(g512);
  orvel::EvpPkeyPtr plain512 =
      from_pkcs8_der(pkcs8(kAlg512, key_params(kSet512A, kMd512), tlv(0x04, d512)));
  ASSERT_TRUE(plain512);
  EXPECT_EQ(priv_le(plain512), d512);
  EXPECT_EQ(pub_le(plain512), pub_le(g512));

  // The agreement identifier is read as a 256-bit signing key.
  orvel::EvpPkeyPtr agreed =
      from_pkcs8_der(pkcs8(kAgree256, key_params(kSetCpA, kMd256), tlv(0x04, priv_le(g256))));
  ASSERT_TRUE(agreed);
  EXPECT_EQ(EVP_PKEY_get_base_id(agreed.get()), gost_nid_key_2012_256());
  EXPECT_EQ(pub_le(agreed), pub_le(g256));

  // Without the digest parameter set (RFC 9215).
  orvel::EvpPkeyPtr no_digest =
      from_pkcs8_der(pkcs8(kAlg512, key_params(kSet512A, nullptr), tlv(0x04, d512)));
  ASSERT_TRUE(no_digest);
  EXPECT_EQ(pub_le(no_digest), pub_le(g512));
}

// The masked-key arithmetic against GMP, on both sizes: unmasking any
// halves (reduced or not) gives a * m mod q; masking gives halves below q
// whose product is d mod q.
TEST_F(GostKeysDecode, MaskedValuesAgainstGmp) {
  struct Size {
    int key_nid;
    int param_nid;
    const DIGIT_T* q;
    uint32_t digits;
  };
  const GOSTR3410_2012_256_PAR* p256 = nullptr;
  const GOSTR3410_2012_512_PAR* p512 = nullptr;
  ASSERT_EQ(GOSTR3410_2012_256_FindParByDottedOid(kSetCpA, &p256), 0);
  ASSERT_EQ(GOSTR3410_2012_512_FindParByDottedOid(kSet512A, &p512), 0);
  const Size sizes[] = {
      {gost_nid_key_2012_256(), NID_id_GostR3410_2001_CryptoPro_A_ParamSet, p256->q, 9},
      {gost_nid_key_2012_512(), ssf_nid_id_tc26_gost_3410_2012_512_paramSetA(), p512->q, 17}};
  std::mt19937 rng(31);
  for (const Size& sz : sizes) {
    VK_GOST2012_KEYPAIR key{};
    ASSERT_EQ(fill_GOST2012_params(&key, sz.key_nid, sz.param_nid), 1);
    const size_t n = key.priv_key_len;
    mpz_t q, a, m, d, t;
    mpz_inits(q, a, m, d, t, nullptr);
    mpz_import(q, sz.digits, -1, sizeof(DIGIT_T), 0, 0, sz.q);
    for (int round = 0; round < 40; round++) {
      SCOPED_TRACE(round);
      Bytes masked(2 * n);
      for (auto& b : masked) b = static_cast<unsigned char>(rng());
      // Halves at or above q, and all ones.
      if (round % 4 == 1) std::fill(masked.begin(), masked.begin() + n, 0xff);
      if (round % 4 == 2) std::fill(masked.begin() + n, masked.end(), 0xff);
      ASSERT_EQ(gost_unmask_private_key(&key, masked.data()), 1);
      mpz_import(a, n, -1, 1, 0, 0, masked.data());
      mpz_import(m, n, -1, 1, 0, 0, masked.data() + n);
      mpz_mul(t, a, m);
      mpz_mod(t, t, q);
      mpz_import(d, n, -1, 1, 0, 0, key.priv_key);
      EXPECT_EQ(mpz_cmp(d, t), 0);

      // Masking a private value (here not reduced either).
      for (size_t i = 0; i < n; i++) key.priv_key[i] = static_cast<unsigned char>(rng());
      if (round % 4 == 3) std::fill(key.priv_key, key.priv_key + n, 0xff);
      Bytes out(2 * n);
      ASSERT_EQ(gost_mask_private_key(&key, out.data()), 1);
      mpz_import(a, n, -1, 1, 0, 0, out.data());
      mpz_import(m, n, -1, 1, 0, 0, out.data() + n);
      EXPECT_LT(mpz_cmp(a, q), 0);
      EXPECT_LT(mpz_cmp(m, q), 0);
      EXPECT_NE(mpz_sgn(m), 0);
      mpz_mul(t, a, m);
      mpz_mod(t, t, q);
      mpz_import(d, n, -1, 1, 0, 0, key.priv_key);
      mpz_mod(d, d, q);
      EXPECT_EQ(mpz_cmp(d, t), 0);
    }
    mpz_clears(q, a, m, d, t, nullptr);
  }
}

TEST_F(GostKeysDecode, PublicKeysOfAnotherLengthOrFormRefused) {
  orvel::EvpPkeyPtr g256 = generate(gost_nid_key_2012_256(), "A");
  ASSERT_TRUE(g256);
  Bytes pub = pub_le(g256);
  Bytes params = key_params(kSetCpA, kMd256);
  orvel::EvpPkeyPtr good = from_spki_der(spki(kAlg256, params, tlv(0x04, pub)));
  ASSERT_TRUE(good);
  EXPECT_EQ(EVP_PKEY_eq(good.get(), g256.get()), 1);
  EXPECT_TRUE(from_spki_der(spki(kAlg256, key_params(kSetCpA, nullptr), tlv(0x04, pub))));

  Bytes big(200, 0x42);
  Bytes pub128 = cat({pub, pub});
  const Bytes kBad[] = {
      spki(kAlg256, params, tlv(0x04, Bytes(pub.begin(), pub.end() - 1))),  // 63 bytes
      spki(kAlg256, params, tlv(0x04, cat({pub, Bytes{1}}))),               // 65 bytes
      spki(kAlg256, params, tlv(0x04, pub128)),                             // 128 bytes
      spki(kAlg256, params, tlv(0x04, big)),                                // 200 bytes
      spki(kAlg512, key_params(kSet512A, kMd512), tlv(0x04, pub)),          // 64 for 512
      spki(kAlg256, params, pub),                                           // no OCTET STRING
      spki(kAlg256, oid_der(kSetCpA), tlv(0x04, pub)),  // parameters not a SEQUENCE
      spki(kAlg256, key_params("1.2.643.7.1.2.1.2.1", kMd256), tlv(0x04, pub)),  // 512-bit set
  };
  for (size_t i = 0; i < sizeof(kBad) / sizeof(kBad[0]); i++) {
    SCOPED_TRACE(i);
    StderrCapture cap;
    EXPECT_FALSE(from_spki_der(kBad[i]));
  }
  StderrCapture cap;
  EXPECT_FALSE(from_spki_der(spki(kAlg256, params, tlv(0x04, big))));
  EXPECT_NE(cap.text().find("pub_decode_gost2012: d2i_ASN1_OCTET_STRING failure\n"),
            std::string::npos);
}

}  // namespace

namespace {

// Truncated and damaged encodings are refused or read, never more.
TEST_F(GostKeysDecode, TruncatedAndDamagedEncodings) {
  std::vector<Bytes> inputs;
  for (int format : {0, 1}) {
    for (int (*nid)() : {gost_nid_key_2012_256, gost_nid_key_2012_512}) {
      orvel::EvpPkeyPtr key = generate(nid(), "A");
      ASSERT_TRUE(key);
      set_pk_format(format);
      inputs.push_back(pkcs8_der(key.get()));
      inputs.push_back(spki_der(key.get()));
    }
  }
  set_pk_format(0);
  std::mt19937 rng(20261209);
  StderrCapture cap;
  for (size_t k = 0; k < inputs.size(); k++) {
    const Bytes& in = inputs[k];
    ASSERT_FALSE(in.empty());
    bool is_p8 = k % 2 == 0;
    auto parse = [&](const Bytes& b) {
      if (is_p8) return static_cast<bool>(from_pkcs8_der(b));
      return static_cast<bool>(from_spki_der(b));
    };
    ASSERT_TRUE(parse(in));
    for (size_t len = 0; len < in.size(); len++)
      EXPECT_FALSE(parse(Bytes(in.begin(), in.begin() + static_cast<long>(len)))) << len;
    for (int round = 0; round < 60; round++) {
      Bytes damaged = in;
      size_t pos = rng() % damaged.size();
      damaged[pos] = static_cast<unsigned char>(rng());
      parse(damaged);
    }
  }
}

}  // namespace
