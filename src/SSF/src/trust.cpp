#include "trust.h"

#include <openssl/err.h>
#include <openssl/x509_vfy.h>

#include "crl_check.h"
#include "frame.h"
#include "log.h"
#include "ossl_ptr.h"
#include "settings.h"
#include "x509_name.h"

namespace {

constexpr char kFunc[] = "GetCertificateTrustedStatus";

int trusted_status(X509* cert, STACK_OF(X509) * pab_certs, time_t at) {
  orvel::X509StorePtr store(X509_STORE_new());
  if (!store) {
    log_err("%s() : X509_STORE_new() failed", kFunc);
    return SSF_UNKNOWN_SIGNER;
  }
  for (int i = 0; i < sk_X509_num(pab_certs); ++i) {
    X509* ca = sk_X509_value(pab_certs, i);
    if (ca == nullptr) continue;
    char name[kNameBufSize];
    print_X509_NAME(name, sizeof name, X509_get_subject_name(ca));
    dbg("%s() : cert [ %d ] : '%s'", kFunc, i, name);
    // A certificate that is already in the store is refused; that is harmless.
    X509_STORE_add_cert(store.get(), ca);
  }
  ERR_clear_error();
  orvel::X509StoreCtxPtr ctx(X509_STORE_CTX_new());
  if (!ctx) {
    log_err("%s() : X509_STORE_CTX_new() failed: %s", kFunc, toolkit_error_text());
    return SSF_UNKNOWN_SIGNER;
  }
  if (!X509_STORE_CTX_init(ctx.get(), store.get(), cert, nullptr)) {
    log_err("%s() : X509_STORE_CTX_init() failed: %s", kFunc, toolkit_error_text());
    return SSF_UNKNOWN_SIGNER;
  }
  if (at != static_cast<time_t>(-1)) X509_STORE_CTX_set_time(ctx.get(), 0, at);
  if (X509_verify_cert(ctx.get()) <= 0) {
    const int err = X509_STORE_CTX_get_error(ctx.get());
    log_err("%s() : certificate is invalid: %s (%d)", kFunc, X509_verify_cert_error_string(err),
            err);
    return err == X509_V_ERR_CERT_HAS_EXPIRED || err == X509_V_ERR_CRL_NOT_YET_VALID
               ? SSF_CERT_EXPIRED
               : SSF_UNKNOWN_SIGNER;
  }
  if (!check_crl) return SSF_SIGNATURE_VALID;
  const int revocation = check_for_revocation(cert, ctx.get(), proto_list, nullptr, nullptr);
  if (revocation < 0) {
    log_err("%s() : check_for_revocation() failed: %s", kFunc, toolkit_error_text());
    return SSF_UNKNOWN_SIGNER;
  }
  if (revocation == 0) {
    log_err("%s() : certificate has been revoked", kFunc);
    return SSF_UNKNOWN_SIGNER;
  }
  log_write("%s() : certificate has not been revoked", kFunc);
  return SSF_SIGNATURE_VALID;
}

}  // namespace

int GetCertificateTrustedStatus(X509* cert, STACK_OF(X509) * pab_certs, time_t at) {
  dbg("%s() start, signer = %#x, pab_certs = %#x", kFunc, low32(cert), low32(pab_certs));
  const int rc = cert != nullptr ? trusted_status(cert, pab_certs, at) : SSF_UNKNOWN_SIGNER;
  dbg("%s() end, retcode = %d", kFunc, rc);
  return rc;
}
