// The verification pieces on their own: the signing-certificate check, the
// enhanced-signature test, the signer list and the certValues lookup.
#include <gtest/gtest.h>
#include <openssl/err.h>

#include "keys_test_env.h"
#include "pkcs7_verify.h"
#include "test_pki.h"
#include "verify_ess.h"
#include "verify_signatures.h"

namespace orvel_test {
namespace {

using SignerInfoPtr =
    std::unique_ptr<PKCS7_SIGNER_INFO, orvel::Free<PKCS7_SIGNER_INFO, PKCS7_SIGNER_INFO_free>>;

class VerifyParts : public ::testing::Test {
 protected:
  void SetUp() override {
    a_ = root_.issue(cert_options("CN=Part A,O=Orvel Test,C=RU"));
    b_ = root_.issue(cert_options("CN=Part B,O=Orvel Test,C=RU"));
  }
  SignerInfoPtr signer_info(const pki::Issued& who) {
    SignerInfoPtr si(PKCS7_SIGNER_INFO_new());
    EXPECT_EQ(PKCS7_SIGNER_INFO_set(si.get(), who.cert.get(), who.key.get(), EVP_sha256()), 1);
    return si;
  }
  // Adds a signed SEQUENCE attribute with the given DER.
  static void add_sequence(PKCS7_SIGNER_INFO* si, int nid, const Bytes& der, bool signed_attr) {
    ASN1_STRING* s = ASN1_STRING_new();
    ASN1_STRING_set(s, der.data(), static_cast<int>(der.size()));
    if (signed_attr)
      PKCS7_add_signed_attribute(si, nid, V_ASN1_SEQUENCE, s);
    else
      PKCS7_add_attribute(si, nid, V_ASN1_SEQUENCE, s);
  }

  StartedLibrary lib_;
  pki::Authority root_ = pki::Authority::root();
  pki::Issued a_, b_;
};

TEST_F(VerifyParts, SigningCertificateV2) {
  // With hashAlgorithm (SHA-512) and issuerSerial.
  auto si = signer_info(a_);
  ASSERT_EQ(PKCS7_add_ESSSigningCertV2_attribute(si.get(), a_.cert.get(), EVP_sha512()), 1);
  EXPECT_EQ(ess_signing_cert_present(si.get()), 1);
  EXPECT_EQ(check_ess_signing_cert(si.get(), a_.cert.get()), 1);
  EXPECT_EQ(check_ess_signing_cert(si.get(), b_.cert.get()), 0);
  EXPECT_TRUE(
      lib_.logged("check_ess_signing_cert() 12 : digest of certificate and digest in "
                  "CERTIDV2 don't match"));

  // SHA-256 left out, no issuerSerial: SEQUENCE { SEQUENCE { SEQUENCE { OCTET STRING } } }.
  unsigned char md[32];
  unsigned n = 0;
  X509_digest(a_.cert.get(), EVP_sha256(), md, &n);
  const Bytes id = tlv(0x30, tlv(0x04, Bytes(md, md + n)));
  auto bare = signer_info(a_);
  add_sequence(bare.get(), NID_id_smime_aa_signingCertificateV2, tlv(0x30, tlv(0x30, id)), true);
  EXPECT_EQ(check_ess_signing_cert(bare.get(), a_.cert.get()), 1);
  EXPECT_EQ(check_ess_signing_cert(bare.get(), b_.cert.get()), 0);

  // The right digest with the issuer and serial number of another certificate.
  orvel::EssCertIdV2Ptr v2(PKCS7_make_SigCertV2_attribute(a_.cert.get(), EVP_sha256()));
  ASSERT_TRUE(v2);
  CERTIDV2* first = sk_CERTIDV2_value(v2->Certs, 0);
  ASN1_INTEGER_free(first->issuerSerial->serial);
  first->issuerSerial->serial = ASN1_INTEGER_dup(X509_get0_serialNumber(b_.cert.get()));
  auto wrong = signer_info(a_);
  add_sequence(wrong.get(), NID_id_smime_aa_signingCertificateV2,
               to_der<ESSCERTIDV2>(v2.get(), i2d_ESSCERTIDV2), true);
  EXPECT_EQ(check_ess_signing_cert(wrong.get(), a_.cert.get()), 0);
  EXPECT_TRUE(
      lib_.logged("check_ess_signing_cert() 13 : issuer and serial number in certificate "
                  "and in CERTIDV2 don't match"));
}

TEST_F(VerifyParts, SigningCertificateRefusals) {
  auto none = signer_info(a_);
  EXPECT_EQ(ess_signing_cert_present(none.get()), 0);
  EXPECT_EQ(check_ess_signing_cert(none.get(), a_.cert.get()), 0);
  EXPECT_TRUE(
      lib_.logged("check_ess_signing_cert() 2 : neither OtherSigningCertificate nor "
                  "SigningCertificateV2 attribute found"));
  const struct {
    Bytes der;
    const char* line;
  } cases[] = {
      {tlv(0x30, tlv(0x02, {1})), "check_ess_signing_cert() 7 : d2i_ESSCERTIDV2() failed"},
      {tlv(0x30, tlv(0x30, {})),
       "check_ess_signing_cert() 8 : SigningCertificateV2 attribute is "
       "empty"},
      {tlv(0x30, tlv(0x30, tlv(0x30, cat({tlv(0x30, tlv(0x06, {0x2a, 0x03})), tlv(0x04, {1})})))),
       "check_ess_signing_cert() 10 : EVP_get_digestbyobj() failed"},
  };
  for (const auto& c : cases) {
    auto si = signer_info(a_);
    add_sequence(si.get(), NID_id_smime_aa_signingCertificateV2, c.der, true);
    EXPECT_EQ(check_ess_signing_cert(si.get(), a_.cert.get()), 0) << c.line;
    EXPECT_TRUE(lib_.logged(c.line)) << c.line;
  }
  // An attribute value that is not a SEQUENCE.
  auto odd = signer_info(a_);
  PKCS7_add_signed_attribute(odd.get(), NID_id_smime_aa_signingCertificateV2, V_ASN1_NULL, nullptr);
  EXPECT_EQ(check_ess_signing_cert(odd.get(), a_.cert.get()), 0);
}

TEST_F(VerifyParts, OtherSigningCertificate) {
  auto si = signer_info(a_);
  ASSERT_EQ(PKCS7_add_otherSigCert_attribute(si.get(), a_.cert.get(), EVP_sha256()), 1);
  EXPECT_EQ(ess_signing_cert_present(si.get()), 0);  // only signingCertificateV2 counts
  EXPECT_EQ(check_ess_signing_cert(si.get(), a_.cert.get()), 1);
  EXPECT_EQ(check_ess_signing_cert(si.get(), b_.cert.get()), 0);
  EXPECT_TRUE(
      lib_.logged("check_ess_signing_cert() 6 : OTHERCERTID in OtherSigningCertificate "
                  "attribute and signer's certificate don't match"));
  // Both attributes: each must match.
  ASSERT_EQ(PKCS7_add_ESSSigningCertV2_attribute(si.get(), b_.cert.get(), EVP_sha256()), 1);
  EXPECT_EQ(check_ess_signing_cert(si.get(), a_.cert.get()), 0);
  EXPECT_EQ(check_ess_signing_cert(si.get(), b_.cert.get()), 0);
}

TEST_F(VerifyParts, EnhancedNeedsEveryAttribute) {
  auto si = signer_info(a_);
  const Bytes empty = tlv(0x30, {});
  for (int nid : {NID_id_smime_aa_ets_RevocationRefs, NID_id_smime_aa_ets_revocationValues,
                  NID_id_smime_aa_ets_CertificateRefs, NID_id_smime_aa_ets_certValues})
    add_sequence(si.get(), nid, empty, false);
  EXPECT_EQ(ssf_signature_is_enhanced(si.get(), 1), 0);  // no signing-certificate attribute
  ASSERT_EQ(PKCS7_add_ESSSigningCertV2_attribute(si.get(), a_.cert.get(), EVP_sha256()), 1);
  EXPECT_EQ(ssf_signature_is_enhanced(si.get(), 1), 1);
  EXPECT_EQ(ssf_signature_is_enhanced(si.get(), 0), 0);
  add_sequence(si.get(), NID_id_smime_aa_timeStampToken, empty, false);
  EXPECT_EQ(ssf_signature_is_enhanced(si.get(), 0), 0);
  add_sequence(si.get(), NID_id_smime_aa_ets_escTimeStamp, empty, false);
  EXPECT_EQ(ssf_signature_is_enhanced(si.get(), 0), 1);
}

TEST_F(VerifyParts, CertValuesLookup) {
  EXPECT_EQ(ssf_GetSubjectCertificateFromAttrs(nullptr), nullptr);
  EXPECT_TRUE(lib_.logged("ssf_GetSubjectCertificateFromAttrs() 0 : bag args"));
  auto si = signer_info(a_);
  EXPECT_EQ(ssf_GetSubjectCertificateFromAttrs(si.get()), nullptr);
  EXPECT_TRUE(
      lib_.logged("ssf_GetSubjectCertificateFromAttrs() 1 : attribute "
                  "'id_smime_aa_ets_certValues' not found"));
  add_sequence(si.get(), NID_id_smime_aa_ets_certValues, tlv(0x30, tlv(0x02, {1})), false);
  EXPECT_EQ(ssf_GetSubjectCertificateFromAttrs(si.get()), nullptr);
  EXPECT_TRUE(lib_.logged("ssf_GetSubjectCertificateFromAttrs() 2 : ASN1_seq_unpack() failed"));
  auto other = signer_info(a_);
  add_sequence(other.get(), NID_id_smime_aa_ets_certValues, tlv(0x30, der_of_cert(b_.cert.get())),
               false);
  EXPECT_EQ(ssf_GetSubjectCertificateFromAttrs(other.get()), nullptr);
  EXPECT_TRUE(
      lib_.logged("ssf_GetSubjectCertificateFromAttrs() 3 : signer's certificate not found"));
  auto good = signer_info(a_);
  add_sequence(good.get(), NID_id_smime_aa_ets_certValues,
               tlv(0x30, cat({der_of_cert(b_.cert.get()), der_of_cert(a_.cert.get())})), false);
  orvel::X509Ptr found(ssf_GetSubjectCertificateFromAttrs(good.get()));
  ASSERT_TRUE(found);
  EXPECT_EQ(X509_cmp(found.get(), a_.cert.get()), 0);
}

TEST_F(VerifyParts, SignerListHasOneSlotPerSignerInfo) {
  // Two SignerInfos, the message carrying only B's certificate.
  orvel::Pkcs7Ptr p7(PKCS7_new());
  PKCS7_set_type(p7.get(), NID_pkcs7_signed);
  PKCS7_content_new(p7.get(), NID_pkcs7_data);
  ASSERT_TRUE(PKCS7_add_signature(p7.get(), a_.cert.get(), a_.key.get(), EVP_sha256()));
  ASSERT_TRUE(PKCS7_add_signature(p7.get(), b_.cert.get(), b_.key.get(), EVP_sha256()));
  PKCS7_add_certificate(p7.get(), b_.cert.get());
  orvel::X509RefStackPtr list(SSF_PKCS7_get0_signers(p7.get(), nullptr, 0));
  ASSERT_TRUE(list);
  ASSERT_EQ(sk_X509_num(list.get()), 2);
  EXPECT_EQ(sk_X509_value(list.get(), 0), nullptr);
  EXPECT_EQ(X509_cmp(sk_X509_value(list.get(), 1), b_.cert.get()), 0);
  // Given certificates first; PKCS7_NOINTERN leaves the message's out.
  orvel::X509StackPtr given(sk_X509_new_null());
  X509_up_ref(a_.cert.get());
  sk_X509_push(given.get(), a_.cert.get());
  list.reset(SSF_PKCS7_get0_signers(p7.get(), given.get(), PKCS7_NOINTERN));
  ASSERT_TRUE(list);
  EXPECT_EQ(sk_X509_value(list.get(), 0), a_.cert.get());
  EXPECT_EQ(sk_X509_value(list.get(), 1), nullptr);
  // Refusals with their reasons.
  ERR_clear_error();
  EXPECT_EQ(SSF_PKCS7_get0_signers(nullptr, nullptr, 0), nullptr);
  EXPECT_EQ(ERR_GET_REASON(ERR_get_error()), PKCS7_R_INVALID_NULL_POINTER);
  orvel::Pkcs7Ptr data(PKCS7_new());
  PKCS7_set_type(data.get(), NID_pkcs7_data);
  EXPECT_EQ(SSF_PKCS7_get0_signers(data.get(), nullptr, 0), nullptr);
  EXPECT_EQ(ERR_GET_REASON(ERR_get_error()), PKCS7_R_WRONG_CONTENT_TYPE);
  orvel::Pkcs7Ptr unsigned_p7(PKCS7_new());
  PKCS7_set_type(unsigned_p7.get(), NID_pkcs7_signed);
  EXPECT_EQ(SSF_PKCS7_get0_signers(unsigned_p7.get(), nullptr, 0), nullptr);
  EXPECT_EQ(ERR_GET_REASON(ERR_get_error()), PKCS7_R_NO_SIGNERS);
}

}  // namespace
}  // namespace orvel_test
