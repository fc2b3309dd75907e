// The classic PKCS#12 MAC against files the openssl command line made (AES
// bags with SHA-256 and SHA-512 MACs, legacy RC2/3DES bags with a SHA-1 MAC),
// the PKCS#12 key derivation against the toolkit's, the MAC set-up, and
// damaged or unusual files.
#include "pkcs12/pkcs12_mac.h"

#include <gtest/gtest.h>
#include <openssl/err.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

#include <algorithm>
#include <random>

#include "objects/ssf_objects.h"
#include "pkcs12/pkcs12_authsafe.h"
#include "pkcs12/pkcs12_kdf.h"
#include "pkcs12_test_util.h"
#include "test_util.h"

using namespace p12_test;

namespace {

Bytes gen_mac(PKCS12* p12, const char* pass, int passlen) {
  unsigned char mac[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  if (SSF_PKCS12_gen_mac(p12, pass, passlen, mac, &len) != 1) return {};
  return Bytes(mac, mac + len);
}

TEST(Pkcs12Mac, ClassicMacOfOpensslFiles) {
  for (const char* name : {"aes_sha256.p12", "aes_sha512.p12", "legacy_sha1.p12"}) {
    SCOPED_TRACE(name);
    orvel::Pkcs12Ptr p12 = load_p12(name);
    ASSERT_TRUE(p12);
    EXPECT_EQ(gen_mac(p12.get(), kPass, -1), stored_mac(p12.get()));
    EXPECT_EQ(SSF_PKCS12_verify_mac(p12.get(), kPass, -1), 1);
    EXPECT_EQ(SSF_PKCS12_verify_mac(p12.get(), kPass, static_cast<int>(sizeof(kPass) - 1)), 1);
    EXPECT_EQ(SSF_PKCS12_verify_mac(p12.get(), "Pässwort-2", -1), 0);
    // Only the first characters of the password.
    EXPECT_EQ(SSF_PKCS12_verify_mac(p12.get(), kPass, 4), 0);
    EXPECT_EQ(SSF_PKCS12_verify_mac(p12.get(), nullptr, 0), 0);
  }
}

TEST(Pkcs12Mac, EmptyPasswordIsNotNoPassword) {
  orvel::Pkcs12Ptr p12 = load_p12("empty_pass.p12");
  ASSERT_TRUE(p12);
  EXPECT_EQ(SSF_PKCS12_verify_mac(p12.get(), "", 0), 1);
  EXPECT_EQ(SSF_PKCS12_verify_mac(p12.get(), nullptr, 0), 0);
  // The toolkit agrees.
  EXPECT_EQ(PKCS12_verify_mac(p12.get(), "", 0), 1);
  EXPECT_EQ(PKCS12_verify_mac(p12.get(), nullptr, 0), 0);
  ERR_clear_error();
}

TEST(Pkcs12Mac, FileWithoutMac) {
  orvel::Pkcs12Ptr p12 = load_p12("no_mac.p12");
  ASSERT_TRUE(p12);
  ERR_clear_error();
  EXPECT_EQ(SSF_PKCS12_verify_mac(p12.get(), kPass, -1), 0);
  EXPECT_TRUE(error_queue_has(ERR_LIB_PKCS12, PKCS12_R_MAC_ABSENT));
  EXPECT_TRUE(gen_mac(p12.get(), kPass, -1).empty());
  EXPECT_EQ(SSF_PKCS12_verify_mac(nullptr, kPass, -1), 0);
  ERR_clear_error();
}

TEST(Pkcs12Mac, KeyDerivationAgreesWithTheToolkit) {
  std::mt19937 rng(12);
  const EVP_MD* mds[] = {EVP_sha1(), EVP_sha256(), EVP_sha384(), EVP_sha512(), EVP_md5()};
  for (const EVP_MD* md : mds) {
    for (int round = 0; round < 12; ++round) {
      SCOPED_TRACE(std::string(EVP_MD_get0_name(md)) + " round " + std::to_string(round));
      // Password lengths around the block sizes, including none.
      Bytes pass(rng() % 140), salt(rng() % 70);
      for (auto& b : pass) b = static_cast<unsigned char>(rng());
      for (auto& b : salt) b = static_cast<unsigned char>(rng());
      int iter = 1 + static_cast<int>(rng() % 40);
      unsigned char id = static_cast<unsigned char>(1 + rng() % 3);
      size_t n = 1 + rng() % 150;
      Bytes ours(n), theirs(n);
      ASSERT_TRUE(ssf_pkcs12_kdf(md, pass.data(), pass.size(), salt.data(), salt.size(), id, iter,
                                 ours.data(), n));
      ASSERT_EQ(
          PKCS12_key_gen_uni(pass.empty() ? nullptr : pass.data(), static_cast<int>(pass.size()),
                             salt.data(), static_cast<int>(salt.size()), id, iter,
                             static_cast<int>(n), theirs.data(), md),
          1);
      EXPECT_EQ(ours, theirs);
    }
  }
}

TEST(Pkcs12Mac, NonUtf8PasswordIsTakenByteByByte) {
  // Latin-1 "Pässwort-1": not UTF-8, so every byte becomes one character, as
  // the toolkit's utf8 key generation does.
  orvel::Pkcs12Ptr p12 = load_p12("aes_sha256.p12");
  ASSERT_TRUE(p12);
  const char latin1[] = "P\xe4sswort-1";
  ASSERT_EQ(SSF_PKCS12_setup_mac(p12.get(), 3, nullptr, 8, EVP_sha256()), 1);
  Bytes ours = gen_mac(p12.get(), latin1, -1);
  ASSERT_EQ(ours.size(), 32u);
  unsigned char key[32];
  ASSERT_EQ(PKCS12_key_gen_utf8(latin1, -1, stored_salt(p12.get()).data(), 8, PKCS12_MAC_ID, 3, 32,
                                key, EVP_sha256()),
            1);
  unsigned char mac[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  Bytes data = authsafe_content(p12.get());
  ASSERT_NE(HMAC(EVP_sha256(), key, 32, data.data(), data.size(), mac, &len), nullptr);
  EXPECT_EQ(ours, Bytes(mac, mac + len));
}

TEST(Pkcs12Mac, SetupStoresSaltIterationAndDigest) {
  orvel::Pkcs12Ptr p12 = load_p12("aes_sha256.p12");
  ASSERT_TRUE(p12);
  // Salt length 0: 32 random bytes; iteration count 1: none stored.
  ASSERT_EQ(SSF_PKCS12_setup_mac(p12.get(), 1, nullptr, 0, EVP_sha256()), 1);
  Bytes salt1 = stored_salt(p12.get());
  EXPECT_EQ(salt1.size(), 32u);
  const ASN1_INTEGER* iter = nullptr;
  const X509_ALGOR* alg = nullptr;
  PKCS12_get0_mac(nullptr, &alg, nullptr, &iter, p12.get());
  EXPECT_EQ(iter, nullptr);
  const ASN1_OBJECT* obj = nullptr;
  int ptype = -1;
  X509_ALGOR_get0(&obj, &ptype, nullptr, alg);
  EXPECT_EQ(OBJ_obj2nid(obj), NID_sha256);
  EXPECT_EQ(ptype, V_ASN1_NULL);
  ASSERT_EQ(SSF_PKCS12_setup_mac(p12.get(), 1, nullptr, 0, EVP_sha256()), 1);
  EXPECT_NE(stored_salt(p12.get()), salt1);

  const unsigned char given[5] = {1, 2, 3, 4, 5};
  ASSERT_EQ(SSF_PKCS12_setup_mac(p12.get(), 2048, given, 5, EVP_sha1()), 1);
  EXPECT_EQ(stored_salt(p12.get()), Bytes(given, given + 5));
  EXPECT_EQ(stored_iter(p12.get()), 2048);

  EXPECT_EQ(SSF_PKCS12_setup_mac(p12.get(), 1, nullptr, -1, EVP_sha1()), 0);
  EXPECT_EQ(SSF_PKCS12_setup_mac(p12.get(), 1, nullptr, 8, nullptr), 0);
  ERR_clear_error();
}

TEST(Pkcs12Mac, SetMacIsReadByTheToolkitAndOpenssl) {
  orvel::Pkcs12Ptr p12 = load_p12("aes_sha256.p12");
  ASSERT_TRUE(p12);
  ASSERT_EQ(SSF_PKCS12_set_mac(p12.get(), "neues Passwort", -1, nullptr, 0, 1000, EVP_sha512()), 1);
  EXPECT_EQ(PKCS12_verify_mac(p12.get(), "neues Passwort", -1), 1);
  EXPECT_EQ(SSF_PKCS12_verify_mac(p12.get(), "neues Passwort", -1), 1);
  EXPECT_EQ(stored_mac(p12.get()).size(), 64u);

  // A null digest means SHA-1.
  ASSERT_EQ(SSF_PKCS12_set_mac(p12.get(), kPass, -1, nullptr, 8, 1, nullptr), 1);
  const X509_ALGOR* alg = nullptr;
  PKCS12_get0_mac(nullptr, &alg, nullptr, nullptr, p12.get());
  const ASN1_OBJECT* obj = nullptr;
  X509_ALGOR_get0(&obj, nullptr, nullptr, alg);
  EXPECT_EQ(OBJ_obj2nid(obj), NID_sha1);
  EXPECT_EQ(PKCS12_verify_mac(p12.get(), kPass, -1), 1);

  // The openssl command line checks the MAC of the written file.
  orvel_test::TempDir dir;
  Bytes der = p12_to_der(p12.get());
  orvel_test::write_file(dir.file("out.p12"), std::string(der.begin(), der.end()));
  std::string out;
  EXPECT_EQ(orvel_test::run_command("openssl pkcs12 -in " + dir.file("out.p12") +
                                        " -info -noout -passin 'pass:" + kPass + "'",
                                    &out),
            0)
      << out;
  EXPECT_NE(out.find("MAC: sha1"), std::string::npos) << out;
}

TEST(Pkcs12Mac, Sha1MacIsNeverRetriedWithTheGostScheme) {
  orvel::Pkcs12Ptr p12 = load_p12("legacy_sha1.p12");
  ASSERT_TRUE(p12);
  unsigned char mac[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  ASSERT_EQ(SSF_PKCS12_gen_mac_tc26_v1(p12.get(), kPass, -1, mac, &len), 1);
  store_mac(p12.get(), Bytes(mac, mac + len));
  EXPECT_EQ(SSF_PKCS12_verify_mac(p12.get(), kPass, -1), 0);
}

TEST(Pkcs12Mac, AuthSafeThatIsNotDataIsRefused) {
  // PFX { 3, ContentInfo { signedData, SignedData { 1, {}, { data }, {} } } }.
  orvel::Pkcs12Ptr p12 =
      p12_from_der(orvel_test::from_hex("3028020103302306092a864886f70d010702a0163014020101310030"
                                        "0b06092a864886f70d0107013100"));
  ASSERT_TRUE(p12);
  ASSERT_EQ(SSF_PKCS12_setup_mac(p12.get(), 1, nullptr, 8, EVP_sha256()), 1);
  ERR_clear_error();
  EXPECT_TRUE(gen_mac(p12.get(), "x", -1).empty());
  EXPECT_TRUE(error_queue_has(ERR_LIB_PKCS12, PKCS12_R_CONTENT_TYPE_NOT_DATA));
  EXPECT_EQ(SSF_PKCS12_verify_mac(p12.get(), "x", -1), 0);
  EXPECT_EQ(SSF_PKCS12_set_mac(p12.get(), "x", -1, nullptr, 0, 1, EVP_sha256()), 0);
  ERR_clear_error();
}

TEST(Pkcs12Mac, UnknownDigestAndBadIterationCount) {
  orvel::Pkcs12Ptr p12 = load_p12("aes_sha256.p12");
  ASSERT_TRUE(p12);
  Bytes der = p12_to_der(p12.get());
  // The MAC's digest identifier 2.16.840.1.101.3.4.2.1 (SHA-256) made into
  // .2.99, unknown to every digest table.
  const Bytes sha256_oid = {0x06, 0x09, 0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x01};
  auto at = std::search(der.begin(), der.end(), sha256_oid.begin(), sha256_oid.end());
  ASSERT_NE(at, der.end());
  Bytes unknown = der;
  unknown[static_cast<size_t>(at - der.begin()) + 10] = 99;
  orvel::Pkcs12Ptr bad = p12_from_der(unknown);
  ASSERT_TRUE(bad);
  ERR_clear_error();
  EXPECT_EQ(SSF_PKCS12_verify_mac(bad.get(), kPass, -1), 0);
  EXPECT_TRUE(error_queue_has(ERR_LIB_PKCS12, PKCS12_R_UNKNOWN_DIGEST_ALGORITHM));

  // Iteration count 2048 (02 02 08 00 at the end) made negative.
  Bytes negative = der;
  ASSERT_EQ(negative[negative.size() - 2], 0x08);
  negative[negative.size() - 2] = 0x88;
  orvel::Pkcs12Ptr neg = p12_from_der(negative);
  ASSERT_TRUE(neg);
  EXPECT_EQ(SSF_PKCS12_verify_mac(neg.get(), kPass, -1), 0);
  EXPECT_TRUE(error_queue_has(ERR_LIB_PKCS12, PKCS12_R_DECODE_ERROR));
}

}  // namespace
