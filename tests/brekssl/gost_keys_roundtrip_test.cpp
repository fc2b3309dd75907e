// Keys made through the key methods: every parameter set of every key
// type, through PEM, DER and PKCS#8 in the LEGACY and MASKED forms, and
// back to the same key; signatures across the round trips.
#include <gtest/gtest.h>
#include <openssl/pem.h>

#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "engines/gost/gost_keypair.h"
#include "engines/gost/gost_pkey_nids.h"
#include "gost_keys_test_util.h"
#include "test_util.h"

using namespace gost_keys_test;

namespace {

struct KeyCase {
  const char* name;
  int (*nid)();
  const char* paramset;
};

const KeyCase kCases[] = {
    {"2001_A", gost_nid_key_2001, "A"},
    {"2001_B", gost_nid_key_2001, "B"},
    {"2001_C", gost_nid_key_2001, "C"},
    {"2001_XA", gost_nid_key_2001, "XA"},
    {"2001_XB", gost_nid_key_2001, "XB"},
    {"2001_test", gost_nid_key_2001, "0"},
    {"256_A", gost_nid_key_2012_256, "A"},
    {"256_tc26A", gost_nid_key_2012_256, "id-tc26-gost-3410-2012-256-paramSetA"},
    {"256_tc26B", gost_nid_key_2012_256, "id-tc26-gost-3410-2012-256-paramSetB"},
    {"256_tc26C", gost_nid_key_2012_256, "id-tc26-gost-3410-2012-256-paramSetC"},
    {"256_tc26D", gost_nid_key_2012_256, "1.2.643.7.1.2.1.1.4"},
    {"512_test", gost_nid_key_2012_512, "0"},
    {"512_A", gost_nid_key_2012_512, "A"},
    {"512_B", gost_nid_key_2012_512, "B"},
    {"512_C", gost_nid_key_2012_512, "id-tc26-gost-3410-2012-512-paramSetC"},
};

void PrintTo(const KeyCase& c, std::ostream* os) { *os << c.name; }

class GostKeysRoundTrip : public ::testing::TestWithParam<KeyCase> {
 protected:
  void SetUp() override { ASSERT_TRUE(setup()); }
};

bool is_test_set(const KeyCase& c) { return strcmp(c.paramset, "0") == 0; }

void expect_same_key(EVP_PKEY* a, EVP_PKEY* b) {
  ASSERT_NE(b, nullptr);
  const VK_GOST2012_KEYPAIR* ka = gost_keypair_of(a);
  const VK_GOST2012_KEYPAIR* kb = gost_keypair_of(b);
  ASSERT_NE(ka, nullptr);
  ASSERT_NE(kb, nullptr);
  EXPECT_EQ(ka->key_nid, kb->key_nid);
  EXPECT_EQ(ka->param_nid, kb->param_nid);
  EXPECT_EQ(ka->priv_key_len, kb->priv_key_len);
  EXPECT_EQ(0, memcmp(ka->priv_key, kb->priv_key, ka->priv_key_len));
  EXPECT_EQ(0, memcmp(ka->pub_key, kb->pub_key, ka->pub_key_len));
  EXPECT_EQ(0, memcmp(ka->key_id, kb->key_id, sizeof(ka->key_id)));
  EXPECT_EQ(kb->priv_present, 1u);
  EXPECT_EQ(EVP_PKEY_eq(a, b), 1);
}

// The privateKey OCTET STRING content of a PKCS#8 DER.
std::vector<unsigned char> private_octets(const std::vector<unsigned char>& der) {
  const unsigned char* p = der.data();
  std::unique_ptr<PKCS8_PRIV_KEY_INFO, orvel::Free<PKCS8_PRIV_KEY_INFO, PKCS8_PRIV_KEY_INFO_free>>
      p8(d2i_PKCS8_PRIV_KEY_INFO(nullptr, &p, static_cast<long>(der.size())));
  const unsigned char* v = nullptr;
  int len = 0;
  if (!p8 || !PKCS8_pkey_get0(nullptr, &v, &len, nullptr, p8.get())) return {};
  return std::vector<unsigned char>(v, v + len);
}

TEST_P(GostKeysRoundTrip, LegacyAndMaskedPkcs8PemDerAndSignatures) {
  const KeyCase& c = GetParam();
  orvel::EvpPkeyPtr key = generate(c.nid(), c.paramset);
  ASSERT_TRUE(key) << c.name;
  const VK_GOST2012_KEYPAIR* kp = gost_keypair_of(key.get());
  ASSERT_NE(kp, nullptr);
  const size_t n = kp->priv_key_len;
  EXPECT_EQ(static_cast<size_t>(EVP_PKEY_get_size(key.get())), 2 * n);

  // LEGACY: an OCTET STRING of d inside the privateKey.
  set_pk_format(0);
  std::vector<unsigned char> legacy = pkcs8_der(key.get());
  ASSERT_FALSE(legacy.empty());
  std::vector<unsigned char> inner = private_octets(legacy);
  ASSERT_EQ(inner.size(), n + 2);
  EXPECT_EQ(inner[0], 0x04);
  EXPECT_EQ(inner[1], n);
  EXPECT_EQ(0, memcmp(inner.data() + 2, kp->priv_key, n));
  expect_same_key(key.get(), from_pkcs8_der(legacy).get());

  // MASKED: 2n bytes, not d itself, read back to the same key; the test
  // sets cannot be written masked.
  set_pk_format(1);
  if (is_test_set(c)) {
    StderrCapture cap;
    EXPECT_TRUE(pkcs8_der(key.get()).empty());
    EXPECT_NE(cap.text().find("priv_encode_gost2012: unknown param NID = "), std::string::npos);
  } else {
    std::vector<unsigned char> masked = pkcs8_der(key.get());
    ASSERT_FALSE(masked.empty());
    std::vector<unsigned char> m = private_octets(masked);
    ASSERT_EQ(m.size(), 2 * n);
    EXPECT_NE(0, memcmp(m.data(), kp->priv_key, n));
    expect_same_key(key.get(), from_pkcs8_der(masked).get());
    // A second masking draws a new mask.
    EXPECT_NE(masked, pkcs8_der(key.get()));
  }
  set_pk_format(0);

  // PEM private key and public key.
  orvel::BioPtr bio(BIO_new(BIO_s_mem()));
  ASSERT_EQ(PEM_write_bio_PrivateKey(bio.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr),
            1);
  orvel::EvpPkeyPtr pem_key(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr));
  expect_same_key(key.get(), pem_key.get());

  std::vector<unsigned char> spki = spki_der(key.get());
  ASSERT_FALSE(spki.empty());
  orvel::EvpPkeyPtr pub = from_spki_der(spki);
  ASSERT_TRUE(pub);
  EXPECT_EQ(EVP_PKEY_eq(key.get(), pub.get()), 1);
  EXPECT_EQ(EVP_PKEY_get_base_id(pub.get()), c.nid());
  EXPECT_EQ(spki_der(pub.get()), spki);

  // Signed with the original, checked with the decoded public key, and the
  // other way round.
  const std::string msg = "message to sign";
  std::vector<unsigned char> sig = digest_sign(key.get(), msg);
  ASSERT_EQ(sig.size(), 2 * n);
  EXPECT_EQ(digest_verify(pub.get(), msg, sig), 1);
  EXPECT_EQ(digest_verify(pub.get(), msg + ".", sig), 0);
  std::vector<unsigned char> sig2 = digest_sign(pem_key.get(), msg);
  EXPECT_NE(sig, sig2);
  EXPECT_EQ(digest_verify(key.get(), msg, sig2), 1);
}

INSTANTIATE_TEST_SUITE_P(AllSets, GostKeysRoundTrip, ::testing::ValuesIn(kCases),
                         [](const auto& tp) { return std::string(tp.param.name); });

}  // namespace
