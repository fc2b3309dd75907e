// signedData made in the test process with the toolkit, for the cases the
// library and the command line do not make: a chosen signing time, a
// signing-certificate attribute naming another certificate, added unsigned
// attributes, damaged signature values.
#ifndef ORVEL_TESTS_VERIFY_SIGNATURES_H
#define ORVEL_TESTS_VERIFY_SIGNATURES_H

#include <optional>
#include <string>

#include "ossl_ptr.h"
#include "pkcs7/ess_attributes.h"
#include "sign_test_pki.h"

namespace orvel_test {

struct P7Options {
  const EVP_MD* md = EVP_sha256();
  bool detached = false;
  bool certs = true;
  std::optional<long> signing_time;  // offset from now; otherwise the toolkit's (now)
  X509* ess_cert = nullptr;          // a signingCertificateV2 naming this certificate
};

inline std::string p7_der(PKCS7* p7) {
  unsigned char* der = nullptr;
  const int n = i2d_PKCS7(p7, &der);
  std::string s(reinterpret_cast<char*>(der), n > 0 ? static_cast<size_t>(n) : 0);
  OPENSSL_free(der);
  return s;
}

inline std::string sign_p7(X509* cert, EVP_PKEY* key, const std::string& content,
                           const P7Options& o = {}) {
  orvel::Pkcs7Ptr p7(PKCS7_new());
  EXPECT_TRUE(PKCS7_set_type(p7.get(), NID_pkcs7_signed));
  EXPECT_TRUE(PKCS7_content_new(p7.get(), NID_pkcs7_data));
  PKCS7_SIGNER_INFO* si = PKCS7_add_signature(p7.get(), cert, key, o.md);
  EXPECT_NE(si, nullptr);
  if (o.certs) PKCS7_add_certificate(p7.get(), cert);
  PKCS7_add_signed_attribute(si, NID_pkcs9_contentType, V_ASN1_OBJECT, OBJ_nid2obj(NID_pkcs7_data));
  if (o.signing_time) {
    ASN1_UTCTIME* t = ASN1_UTCTIME_adj(nullptr, time(nullptr), 0, *o.signing_time);
    PKCS7_add_signed_attribute(si, NID_pkcs9_signingTime, V_ASN1_UTCTIME, t);
  }
  if (o.ess_cert) {
    EXPECT_EQ(PKCS7_add_ESSSigningCertV2_attribute(si, o.ess_cert, o.md), 1);
  }
  if (o.detached) PKCS7_set_detached(p7.get(), 1);
  orvel::BioPtr bio(PKCS7_dataInit(p7.get(), nullptr));
  BIO_write(bio.get(), content.data(), static_cast<int>(content.size()));
  EXPECT_EQ(PKCS7_dataFinal(p7.get(), bio.get()), 1);
  return p7_der(p7.get());
}

inline P7Options at_time(long offset) {
  P7Options o;
  o.signing_time = offset;
  return o;
}

inline P7Options naming(X509* ess_cert) {
  P7Options o;
  o.ess_cert = ess_cert;
  return o;
}

// A certificate of the subject valid between the two offsets from now.
inline pki::CertOptions cert_options(const std::string& subject, long not_before = -pki::kDay,
                                     long not_after = 365 * pki::kDay) {
  pki::CertOptions o;
  o.subject = subject;
  o.not_before = not_before;
  o.not_after = not_after;
  return o;
}

// Applies f to the first SignerInfo of a signedData and encodes it again.
template <typename F>
std::string edit_signer(const std::string& der, F f) {
  auto p7 = parse_p7(der);
  EXPECT_TRUE(p7);
  if (!p7) return {};
  f(p7.get(), sk_PKCS7_SIGNER_INFO_value(PKCS7_get_signer_info(p7.get()), 0));
  return p7_der(p7.get());
}

}  // namespace orvel_test

#endif
