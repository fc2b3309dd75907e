// Stand-ins for the enhancement code that the time-stamp client calls, until
// that code lands (this file then goes away). The revocation-material steps
// refuse rather than pass unchecked; the small tests are real.
#include <openssl/x509v3.h>

#include "codes.h"
#include "log.h"
#include "ossl_ptr.h"
#include "verify_enh_hooks.h"

int verify_signature_timestamp_rev_status(PKCS7_SIGNER_INFO*, STACK_OF(X509) *, X509_STORE*,
                                          const time_t*) {
  log_err("%s() : revocation check of time stamps is not available in this build",
          "verify_signature_timestamp_rev_status");
  return SSF_RC_TSP_BAD_RESPONSE;
}

int verify_archive_timestamp_rev_status(PKCS7_SIGNER_INFO*, const ASN1_GENERALIZEDTIME*) {
  log_err("%s() : revocation check of time stamps is not available in this build",
          "verify_archive_timestamp_rev_status");
  return SSF_RC_NO_ARCHIVE_TIMESTAMP;
}

int add_revValues_attribute(PKCS7_SIGNER_INFO*, X509*, X509_STORE*, const EVP_MD*,
                            const ASN1_GENERALIZEDTIME*, STACK_OF(X509) *) {
  log_err("%s() : revocation values are not available in this build", "add_revValues_attribute");
  return SSF_RC_TSP_BAD_RESPONSE;
}

int add_certValues_attribute(PKCS7_SIGNER_INFO*, const EVP_MD*, STACK_OF(X509) *, X509_STORE*,
                             STACK_OF(X509) * *) {
  log_err("%s() : certificate values are not available in this build",
          "add_certValues_attribute");
  return -1;
}

int check_certs_validity(STACK_OF(X509) * certs, time_t at) {
  if (certs == nullptr) return 0;
  for (int i = 0; i < sk_X509_num(certs); ++i) {
    X509* c = sk_X509_value(certs, i);
    if (X509_cmp_time(X509_get0_notBefore(c), &at) > 0 ||
        X509_cmp_time(X509_get0_notAfter(c), &at) < 0)
      return 0;
  }
  return 1;
}

int find_certificate_in_trusted_root(X509* cert, X509_STORE* store, STACK_OF(X509) * certs) {
  if (cert == nullptr || store == nullptr) return 0;
  orvel::X509StoreCtxPtr ctx(X509_STORE_CTX_new());
  if (!ctx || !X509_STORE_CTX_init(ctx.get(), store, nullptr, nullptr)) return 0;
  X509_OBJECT* obj =
      X509_STORE_CTX_get_obj_by_subject(ctx.get(), X509_LU_X509, X509_get_issuer_name(cert));
  if (obj == nullptr) return 0;
  X509_OBJECT_free(obj);
  if (certs == nullptr) return 1;
  for (int i = 0; i < sk_X509_num(certs); ++i)
    if (X509_cmp(sk_X509_value(certs, i), cert) == 0) return 1;
  return 0;
}

CRL_VALIDATED_ID* make_crl_id(X509_CRL*, const EVP_MD*) { return nullptr; }
