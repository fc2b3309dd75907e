// The signing-certificate attributes in real signatures: OpenSSL's CMS
// verification with -cades requires a signing-certificate attribute and checks
// it against the signer certificate and its chain.
#include <gtest/gtest.h>
#include <openssl/pem.h>

#include <string>

#include "pkcs7/ess_attributes.h"
#include "pkcs7/ess_types.h"
#include "test_pki.h"
#include "test_util.h"

using orvel_test::Bytes;

namespace {

const char kContent[] = "content signed with a CAdES signing-certificate attribute\n";
const char kSigCertV2Oid[] = "1.2.840.113549.1.9.16.2.47";

std::string pem_of(const X509* cert) {
  orvel::BioPtr bio(BIO_new(BIO_s_mem()));
  PEM_write_bio_X509(bio.get(), cert);
  char* p = nullptr;
  long n = BIO_get_mem_data(bio.get(), &p);
  return std::string(p, static_cast<size_t>(n));
}

int count_attributes(const STACK_OF(X509_ATTRIBUTE) * attrs, const char* oid) {
  orvel::Asn1ObjectPtr obj(OBJ_txt2obj(oid, 1));
  int n = 0;
  for (int i = 0; i < sk_X509_ATTRIBUTE_num(attrs); ++i)
    if (OBJ_cmp(X509_ATTRIBUTE_get0_object(sk_X509_ATTRIBUTE_value(attrs, i)), obj.get()) == 0)
      ++n;
  return n;
}

class EssAttributes : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    ca_key = orvel_test::make_rsa_key();
    ca = orvel_test::make_cert(ca_key.get(), "Attribute CA", 10);
    key = orvel_test::make_rsa_key();
    cert = orvel_test::make_cert(key.get(), "Attribute signer", 0x4321, ca.get(), ca_key.get(),
                                 false);
    orvel_test::write_file(dir.file("ca.pem"), pem_of(ca.get()));
    orvel_test::write_file(dir.file("data.bin"), kContent);
  }

  // A detached signature by cert; add() puts attributes on the signer info
  // before the signature is computed.
  template <typename F>
  Bytes sign(F add) {
    const int flags = PKCS7_PARTIAL | PKCS7_BINARY | PKCS7_DETACHED;
    orvel::Pkcs7Ptr p7(PKCS7_sign(nullptr, nullptr, nullptr, nullptr, flags));
    if (!p7) return {};
    PKCS7_SIGNER_INFO* si = PKCS7_sign_add_signer(p7.get(), cert.get(), key.get(), EVP_sha256(),
                                                  flags);
    if (si == nullptr || !add(si)) return {};
    orvel::BioPtr data(BIO_new_mem_buf(kContent, sizeof kContent - 1));
    if (!PKCS7_final(p7.get(), data.get(), flags)) return {};
    return orvel_test::to_der(p7.get(), i2d_PKCS7);
  }

  int cms_verify(const Bytes& der, std::string* out) {
    std::string sig(der.begin(), der.end());
    orvel_test::write_file(dir.file("sig.der"), sig);
    return orvel_test::run_command("openssl cms -verify -cades -inform DER -binary -in " +
                                       dir.file("sig.der") + " -content " + dir.file("data.bin") +
                                       " -CAfile " + dir.file("ca.pem") + " -out " +
                                       dir.file("out.bin"),
                                   out);
  }

  orvel_test::TempDir dir;
  orvel::EvpPkeyPtr ca_key, key;
  orvel::X509Ptr ca, cert;
};

}  // namespace

TEST_P(EssAttributes, OpenSslAcceptsSigningCertificateV2) {
  const EVP_MD* md = EVP_get_digestbyname(GetParam());
  ASSERT_NE(md, nullptr);
  Bytes der = sign([&](PKCS7_SIGNER_INFO* si) {
    return PKCS7_add_otherSigCert_attribute(si, cert.get(), md) == 1 &&
           PKCS7_add_ESSSigningCertV2_attribute(si, cert.get(), md) == 1;
  });
  ASSERT_FALSE(der.empty());
  std::string out;
  EXPECT_EQ(cms_verify(der, &out), 0) << out;
  EXPECT_EQ(orvel_test::read_file(dir.file("out.bin")), kContent);
}

TEST_P(EssAttributes, OpenSslRefusesAttributeOfAnotherCertificate) {
  // Same subject, issuer and serial as the signer, another key: only the
  // certificate digest tells them apart.
  orvel::EvpPkeyPtr twin_key = orvel_test::make_rsa_key();
  orvel::X509Ptr twin = orvel_test::make_cert(twin_key.get(), "Attribute signer", 0x4321, ca.get(),
                                              ca_key.get(), false);
  const EVP_MD* md = EVP_get_digestbyname(GetParam());
  ASSERT_NE(md, nullptr);
  Bytes der = sign([&](PKCS7_SIGNER_INFO* si) {
    return PKCS7_add_ESSSigningCertV2_attribute(si, twin.get(), md) == 1;
  });
  ASSERT_FALSE(der.empty());
  std::string out;
  EXPECT_NE(cms_verify(der, &out), 0) << out;
  EXPECT_NE(out.find("ESS routines"), std::string::npos) << out;
}

TEST_F(EssAttributes, OpenSslRequiresTheAttribute) {
  // Without the attribute the same verification fails: the check above is real.
  Bytes der = sign([](PKCS7_SIGNER_INFO*) { return true; });
  ASSERT_FALSE(der.empty());
  std::string out;
  EXPECT_NE(cms_verify(der, &out), 0) << out;
  EXPECT_NE(out.find("missing signing certificate attribute"), std::string::npos) << out;
}

INSTANTIATE_TEST_SUITE_P(Digests, EssAttributes, ::testing::Values("SHA256", "SHA384", "SHA512"));

TEST(EssAttributeShape, SigningCertificateV2IsAppended) {
  orvel::EvpPkeyPtr key = orvel_test::make_rsa_key();
  orvel::X509Ptr cert = orvel_test::make_cert(key.get(), "Shape", 5);
  PKCS7_SIGNER_INFO* si = PKCS7_SIGNER_INFO_new();
  ASSERT_NE(si, nullptr);
  ASSERT_EQ(si->auth_attr, nullptr);
  EXPECT_EQ(PKCS7_add_ESSSigningCertV2_attribute(nullptr, cert.get(), EVP_sha256()), 0);
  EXPECT_EQ(PKCS7_add_ESSSigningCertV2_attribute(si, nullptr, EVP_sha256()), 0);
  EXPECT_EQ(PKCS7_add_ESSSigningCertV2_attribute(si, cert.get(), EVP_md_null()), 0);
  EXPECT_EQ(si->auth_attr, nullptr);

  // The list is created on first use.
  ASSERT_EQ(PKCS7_add_ESSSigningCertV2_attribute(si, cert.get(), EVP_sha256()), 1);
  ASSERT_NE(si->auth_attr, nullptr);
  EXPECT_EQ(count_attributes(si->auth_attr, kSigCertV2Oid), 1);

  // One value: an ANY of type SEQUENCE holding an ESSCERTIDV2.
  X509_ATTRIBUTE* attr = sk_X509_ATTRIBUTE_value(si->auth_attr, 0);
  ASSERT_EQ(X509_ATTRIBUTE_count(attr), 1);
  ASN1_TYPE* any = X509_ATTRIBUTE_get0_type(attr, 0);
  ASSERT_EQ(any->type, V_ASN1_SEQUENCE);
  const unsigned char* p = any->value.sequence->data;
  orvel::EssCertIdV2Ptr v(d2i_ESSCERTIDV2(nullptr, &p, any->value.sequence->length));
  ASSERT_TRUE(v);
  orvel::EssCertIdV2Ptr expected(PKCS7_make_SigCertV2_attribute(cert.get(), EVP_sha256()));
  EXPECT_EQ(orvel_test::to_der(v.get(), i2d_ESSCERTIDV2),
            orvel_test::to_der(expected.get(), i2d_ESSCERTIDV2));

  // A second call appends a second attribute of the same type.
  ASSERT_EQ(PKCS7_add_ESSSigningCertV2_attribute(si, cert.get(), EVP_sha512()), 1);
  EXPECT_EQ(count_attributes(si->auth_attr, kSigCertV2Oid), 2);
  EXPECT_EQ(sk_X509_ATTRIBUTE_num(si->auth_attr), 2);
  PKCS7_SIGNER_INFO_free(si);
}

TEST(EssAttributeShape, OtherSigCertIsReplacedInPlace) {
  orvel::EvpPkeyPtr key = orvel_test::make_rsa_key();
  orvel::X509Ptr cert = orvel_test::make_cert(key.get(), "Shape", 6);
  orvel::X509Ptr other = orvel_test::make_cert(key.get(), "Other", 7);
  PKCS7_SIGNER_INFO* si = PKCS7_SIGNER_INFO_new();
  ASSERT_NE(si, nullptr);
  EXPECT_EQ(PKCS7_add_otherSigCert_attribute(nullptr, cert.get(), EVP_sha256()), 0);
  EXPECT_EQ(PKCS7_add_otherSigCert_attribute(si, cert.get(), nullptr), 0);
  ASSERT_EQ(PKCS7_add_otherSigCert_attribute(si, other.get(), EVP_sha256()), 1);
  ASSERT_EQ(PKCS7_add_ESSSigningCertV2_attribute(si, cert.get(), EVP_sha256()), 1);
  ASSERT_EQ(PKCS7_add_otherSigCert_attribute(si, cert.get(), EVP_sha256()), 1);
  EXPECT_EQ(sk_X509_ATTRIBUTE_num(si->auth_attr), 2);

  ASN1_TYPE* any = PKCS7_get_signed_attribute(si, NID_id_smime_aa_ets_otherSigCert);
  ASSERT_NE(any, nullptr);
  ASSERT_EQ(any->type, V_ASN1_SEQUENCE);
  const unsigned char* p = any->value.sequence->data;
  orvel::OtherSigCertPtr v(d2i_OTHERSIGCERT(nullptr, &p, any->value.sequence->length));
  ASSERT_TRUE(v);
  orvel::OtherSigCertPtr expected(PKCS7_make_otherSigCert_attribute(cert.get(), EVP_sha256()));
  EXPECT_EQ(orvel_test::to_der(v.get(), i2d_OTHERSIGCERT),
            orvel_test::to_der(expected.get(), i2d_OTHERSIGCERT));
  PKCS7_SIGNER_INFO_free(si);
}
