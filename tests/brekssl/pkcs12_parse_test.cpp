// Reading PKCS#12 files with the system's own MAC check and bag extraction,
// compared with the toolkit's PKCS12_parse on files from the openssl command
// line (AES and legacy RC2/3DES bags), and on damaged input.
#include "pkcs12/pkcs12_parse.h"

#include <gtest/gtest.h>
#include <openssl/err.h>
#include <openssl/pem.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "objects/ssf_objects.h"
#include "pkcs12/pkcs12_mac.h"
#include "pkcs12_test_util.h"
#include "test_util.h"

using namespace p12_test;

namespace {

orvel::EvpPkeyPtr read_key(const std::string& name) {
  std::string pem = orvel_test::read_file(fixture(name));
  orvel::BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  return orvel::EvpPkeyPtr(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr));
}

orvel::X509Ptr read_cert(const std::string& name) {
  std::string pem = orvel_test::read_file(fixture(name));
  orvel::BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  return orvel::X509Ptr(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
}

struct Parsed {
  int rc = 0;
  orvel::EvpPkeyPtr key;
  orvel::X509Ptr cert;
  orvel::X509StackPtr ca;
};

Parsed parse(PKCS12* p12, const char* pass, bool stock = false) {
  Parsed r;
  EVP_PKEY* key = nullptr;
  X509* cert = nullptr;
  STACK_OF(X509)* ca = nullptr;
  r.rc = stock ? PKCS12_parse(p12, pass, &key, &cert, &ca)
               : SSF_PKCS12_parse(p12, pass, &key, &cert, &ca);
  r.key.reset(key);
  r.cert.reset(cert);
  r.ca.reset(ca);
  return r;
}

TEST(Pkcs12Parse, OpensslFilesGiveKeyCertificateAndCa) {
  load_legacy_provider();
  orvel::EvpPkeyPtr user_key = read_key("user.key");
  orvel::X509Ptr user = read_cert("user.pem"), ca = read_cert("ca.pem");
  ASSERT_TRUE(user_key && user && ca);
  for (const char* name : {"aes_sha256.p12", "legacy_sha1.p12"}) {
    SCOPED_TRACE(name);
    orvel::Pkcs12Ptr p12 = load_p12(name);
    ASSERT_TRUE(p12);
    Parsed ours = parse(p12.get(), kPass);
    ASSERT_EQ(ours.rc, 1);
    ASSERT_TRUE(ours.key && ours.cert && ours.ca);
    EXPECT_EQ(EVP_PKEY_eq(ours.key.get(), user_key.get()), 1);
    EXPECT_EQ(X509_cmp(ours.cert.get(), user.get()), 0);
    ASSERT_EQ(sk_X509_num(ours.ca.get()), 1);
    EXPECT_EQ(X509_cmp(sk_X509_value(ours.ca.get(), 0), ca.get()), 0);
    int alias_len = 0;
    const unsigned char* alias = X509_alias_get0(ours.cert.get(), &alias_len);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(alias), static_cast<size_t>(alias_len)),
              "user");
    int kid_len = 0;
    EXPECT_NE(X509_keyid_get0(ours.cert.get(), &kid_len), nullptr);

    // The toolkit reads the same.
    Parsed stock = parse(p12.get(), kPass, true);
    ASSERT_EQ(stock.rc, 1);
    EXPECT_EQ(EVP_PKEY_eq(stock.key.get(), ours.key.get()), 1);
    EXPECT_EQ(X509_cmp(stock.cert.get(), ours.cert.get()), 0);
    EXPECT_EQ(sk_X509_num(stock.ca.get()), sk_X509_num(ours.ca.get()));
  }
}

TEST(Pkcs12Parse, EmptyPasswordFileOpensWithNullOrEmpty) {
  orvel::Pkcs12Ptr p12 = load_p12("empty_pass.p12");
  ASSERT_TRUE(p12);
  for (const char* pass : {static_cast<const char*>(nullptr), ""}) {
    Parsed r = parse(p12.get(), pass);
    EXPECT_EQ(r.rc, 1);
    EXPECT_TRUE(r.key);
    EXPECT_TRUE(r.cert);
    EXPECT_FALSE(r.ca);  // no other certificate, no list made
  }
}

TEST(Pkcs12Parse, WrongPasswordLeavesOutputsAlone) {
  orvel::Pkcs12Ptr p12 = load_p12("aes_sha256.p12");
  ASSERT_TRUE(p12);
  orvel::X509StackPtr ca(sk_X509_new_null());
  orvel::X509Ptr mine = read_cert("ca.pem");
  ASSERT_TRUE(sk_X509_push(ca.get(), mine.get()));
  mine.release();
  EVP_PKEY* key = reinterpret_cast<EVP_PKEY*>(1);
  X509* cert = reinterpret_cast<X509*>(1);
  STACK_OF(X509)* list = ca.get();
  ERR_clear_error();
  EXPECT_EQ(SSF_PKCS12_parse(p12.get(), "falsch", &key, &cert, &list), 0);
  EXPECT_EQ(key, nullptr);
  EXPECT_EQ(cert, nullptr);
  EXPECT_EQ(list, ca.get());
  EXPECT_EQ(sk_X509_num(ca.get()), 1);
  EXPECT_TRUE(error_queue_has(ERR_LIB_PKCS12, PKCS12_R_MAC_VERIFY_FAILURE));
}

TEST(Pkcs12Parse, CaCertificatesAreAppended) {
  orvel::Pkcs12Ptr p12 = load_p12("aes_sha256.p12");
  ASSERT_TRUE(p12);
  orvel::X509StackPtr ca(sk_X509_new_null());
  orvel::X509Ptr mine = read_cert("user.pem");
  ASSERT_TRUE(sk_X509_push(ca.get(), mine.get()));
  mine.release();
  STACK_OF(X509)* list = ca.get();
  EVP_PKEY* key = nullptr;
  X509* cert = nullptr;
  ASSERT_EQ(SSF_PKCS12_parse(p12.get(), kPass, &key, &cert, &list), 1);
  orvel::EvpPkeyPtr key_owner(key);
  orvel::X509Ptr cert_owner(cert);
  EXPECT_EQ(sk_X509_num(ca.get()), 2);
}

TEST(Pkcs12Parse, WithoutKeyEveryCertificateGoesToCa) {
  orvel::Pkcs12Ptr p12 = load_p12("aes_sha256.p12");
  ASSERT_TRUE(p12);
  X509* cert = nullptr;
  STACK_OF(X509)* ca = nullptr;
  ASSERT_EQ(SSF_PKCS12_parse(p12.get(), kPass, nullptr, &cert, &ca), 1);
  orvel::X509StackPtr ca_owner(ca);
  EXPECT_EQ(cert, nullptr);
  EXPECT_EQ(sk_X509_num(ca), 2);
  // Nothing wanted at all: only the check.
  EXPECT_EQ(SSF_PKCS12_parse(p12.get(), kPass, nullptr, nullptr, nullptr), 1);
}

TEST(Pkcs12Parse, FileWithoutMacIsRefused) {
  orvel::Pkcs12Ptr p12 = load_p12("no_mac.p12");
  ASSERT_TRUE(p12);
  ERR_clear_error();
  Parsed r = parse(p12.get(), kPass);
  EXPECT_EQ(r.rc, 0);
  EXPECT_FALSE(r.key);
  EXPECT_TRUE(error_queue_has(ERR_LIB_PKCS12, PKCS12_R_MAC_VERIFY_FAILURE));
  EXPECT_EQ(SSF_PKCS12_parse(nullptr, kPass, nullptr, nullptr, nullptr), 0);
  ERR_clear_error();
}

// An iteration count above the limit is refused before any derivation, so
// the four derivations of the worst case (no password and the empty one,
// each in both schemes of a GOST MAC) never start: without the limit this
// test runs for hours. The refusal names the count and the limit.
class Pkcs12IterationLimit : public ::testing::TestWithParam<long> {};

TEST_P(Pkcs12IterationLimit, CountAboveTheLimitIsRefusedBeforeAnyDerivation) {
  const long count = GetParam();
  const std::string expected =
      "MAC iteration count " + std::to_string(count) + " is above the limit of 10000000";
  for (const EVP_MD* md : {EVP_sha256(), standin_streebog(256)}) {
    SCOPED_TRACE(EVP_MD_get0_name(md));
    orvel::Pkcs12Ptr p12 = load_p12("aes_sha256.p12");
    ASSERT_TRUE(p12);
    ASSERT_EQ(SSF_PKCS12_setup_mac(p12.get(), static_cast<int>(count), nullptr, 8, md), 1);
    ERR_clear_error();
    EXPECT_EQ(SSF_PKCS12_parse(p12.get(), nullptr, nullptr, nullptr, nullptr), 0);
    int named = 0;
    const char* data = nullptr;
    int flags = 0;
    while (ERR_get_error_all(nullptr, nullptr, nullptr, &data, &flags) != 0)
      if ((flags & ERR_TXT_STRING) != 0 && expected == data) ++named;
    EXPECT_EQ(named, 1);
    EXPECT_EQ(SSF_PKCS12_verify_mac(p12.get(), kPass, -1), 0);
    ERR_clear_error();
  }
}

INSTANTIATE_TEST_SUITE_P(AboveTheLimit, Pkcs12IterationLimit,
                         ::testing::Values(10000001L, 2147483647L));

void free_p7_stack(STACK_OF(PKCS7) * s) { sk_PKCS7_pop_free(s, PKCS7_free); }

// The same limit holds for the encryption of the bags, whose count the MAC
// does not bound: the encrypted safe of certificates here asks for 2^31 - 1
// PBKDF2 iterations, or an scrypt cost of 2^32 within the toolkit's memory
// cap, under a MAC that holds, and is refused before its key derivation
// (without the limit this test runs for hours).
TEST(Pkcs12Parse, BagIterationCountAboveTheLimitIsRefused) {
  using Pbe2Ptr = std::unique_ptr<PBE2PARAM, orvel::Free<PBE2PARAM, PBE2PARAM_free>>;
  using KdfPtr = std::unique_ptr<PBKDF2PARAM, orvel::Free<PBKDF2PARAM, PBKDF2PARAM_free>>;
  auto pbkdf2_count = [](X509_ALGOR* alg) {
    Pbe2Ptr pbe2(static_cast<PBE2PARAM*>(
        ASN1_TYPE_unpack_sequence(ASN1_ITEM_rptr(PBE2PARAM), alg->parameter)));
    ASSERT_TRUE(pbe2);
    KdfPtr kdf(static_cast<PBKDF2PARAM*>(
        ASN1_TYPE_unpack_sequence(ASN1_ITEM_rptr(PBKDF2PARAM), pbe2->keyfunc->parameter)));
    ASSERT_TRUE(kdf);
    ASSERT_EQ(ASN1_INTEGER_set(kdf->iter, 2147483647L), 1);
    ASSERT_NE(
        ASN1_TYPE_pack_sequence(ASN1_ITEM_rptr(PBKDF2PARAM), kdf.get(), &pbe2->keyfunc->parameter),
        nullptr);
    ASSERT_NE(ASN1_TYPE_pack_sequence(ASN1_ITEM_rptr(PBE2PARAM), pbe2.get(), &alg->parameter),
              nullptr);
  };
  auto scrypt_cost = [](X509_ALGOR* alg) {
    // N = 2^15, r = 1, p = 2^17: 20 MiB, within the toolkit's 32 MiB cap.
    X509_ALGOR* scrypt =
        PKCS5_pbe2_set_scrypt(EVP_aes_256_cbc(), nullptr, 16, nullptr, 1 << 15, 1, 1 << 17);
    ASSERT_NE(scrypt, nullptr);
    ASSERT_EQ(X509_ALGOR_set0(alg, OBJ_nid2obj(NID_pbes2), V_ASN1_SEQUENCE,
                              scrypt->parameter->value.sequence),
              1);
    scrypt->parameter->value.sequence = nullptr;
    X509_ALGOR_free(scrypt);
  };
  const std::vector<std::pair<std::function<void(X509_ALGOR*)>, std::string>> cases = {
      {pbkdf2_count, "PBE iteration count 2147483647 is above the limit of 10000000"},
      {scrypt_cost, "PBE scrypt cost N*r*p = 32768*1*131072 is above the limit of 8388608"},
  };
  for (const auto& [edit, expected] : cases) {
    orvel::Pkcs12Ptr p12 = load_p12("aes_sha256.p12");
    ASSERT_TRUE(p12);
    std::unique_ptr<STACK_OF(PKCS7), orvel::Free<STACK_OF(PKCS7), free_p7_stack>> safes(
        PKCS12_unpack_authsafes(p12.get()));
    ASSERT_TRUE(safes);
    int changed = 0;
    for (int i = 0; i < sk_PKCS7_num(safes.get()); ++i) {
      PKCS7* p7 = sk_PKCS7_value(safes.get(), i);
      if (OBJ_obj2nid(p7->type) != NID_pkcs7_encrypted) continue;
      edit(p7->d.encrypted->enc_data->algorithm);
      ++changed;
    }
    ASSERT_EQ(changed, 1);
    ASSERT_EQ(PKCS12_pack_authsafes(p12.get(), safes.get()), 1);
    ASSERT_EQ(SSF_PKCS12_set_mac(p12.get(), kPass, -1, nullptr, 8, 1, EVP_sha256()), 1);
    ERR_clear_error();
    Parsed r = parse(p12.get(), kPass);
    EXPECT_EQ(r.rc, 0);
    bool named = false;
    const char* data = nullptr;
    int flags = 0;
    while (ERR_get_error_all(nullptr, nullptr, nullptr, &data, &flags) != 0)
      if ((flags & ERR_TXT_STRING) != 0 && expected == data) named = true;
    EXPECT_TRUE(named) << expected;
  }
}

TEST(Pkcs12Parse, DamagedContentUnderAValidMac) {
  // The authSafe content is no SEQUENCE OF ContentInfo, but the MAC over it
  // is right: the bag extraction must fail cleanly.
  orvel::Pkcs12Ptr p12 =
      p12_from_der(orvel_test::from_hex("3019020103301406092a864886f70d010701a0070405300302012a"));
  ASSERT_TRUE(p12);
  ASSERT_EQ(SSF_PKCS12_set_mac(p12.get(), "x", -1, nullptr, 0, 1, EVP_sha256()), 1);
  ERR_clear_error();
  Parsed r = parse(p12.get(), "x");
  EXPECT_EQ(r.rc, 0);
  EXPECT_TRUE(error_queue_has(ERR_LIB_PKCS12, PKCS12_R_PARSE_ERROR));

  // A flipped byte inside the encrypted bags breaks the MAC.
  orvel::Pkcs12Ptr good = load_p12("aes_sha256.p12");
  Bytes der = p12_to_der(good.get());
  der[der.size() / 2] ^= 0x01;
  orvel::Pkcs12Ptr flipped = p12_from_der(der);
  if (flipped) {
    EXPECT_EQ(parse(flipped.get(), kPass).rc, 0);
  }
  ERR_clear_error();
}

TEST(Pkcs12Parse, GostFileWithoutGostCipherFailsCleanly) {
  // The MAC opens with the stand-in digest; the GOST 28147-89 bags cannot
  // be decrypted before the "gost" engine exists.
  ASSERT_NE(standin_streebog(256), nullptr);
  orvel::Pkcs12Ptr p12 = load_p12("gost_streebog256.p12");
  ASSERT_TRUE(p12);
  if (EVP_get_cipherbyname("gost89") != nullptr) GTEST_SKIP() << "GOST ciphers present";
  Parsed r = parse(p12.get(), kGostPass);
  EXPECT_EQ(r.rc, 0);
  EXPECT_FALSE(r.key);
  EXPECT_FALSE(r.cert);
  ERR_clear_error();
}

}  // namespace
