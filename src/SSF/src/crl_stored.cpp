#include "crl_stored.h"

#include <algorithm>
#include <iterator>

#include "crl_delta.h"
#include "crl_verify.h"
#include "log.h"
#include "ossl_ptr.h"

std::vector<IssuerCrl> issuer_crls(X509* x509, X509* issuer, STACK_OF(X509_CRL) * crls,
                                   const char* func, const char* unsigned_step,
                                   const char* outside_step) {
  std::vector<IssuerCrl> out;
  const std::vector<std::string> sought_at = crl_sought_at(x509, issuer);
  for (int i = 0; i < sk_X509_CRL_num(crls); ++i) {
    X509_CRL* crl = sk_X509_CRL_value(crls, i);
    if (crl == nullptr || !crl_same_issuer(crl, x509)) continue;
    const bool signed_by_issuer = issuer == nullptr || crl_signed_by(crl, issuer);
    const CrlScope scope =
        signed_by_issuer ? crl_scope_for(crl, x509, sought_at) : CrlScope::kOutside;
    if (scope != CrlScope::kOutside) {
      out.push_back({crl, scope});
      continue;
    }
    log_err(signed_by_issuer
                ? "%s() %s : CRL issued by '%s' does not cover certificate '%s', ignored"
                : "%s() %s : CRL issued by '%s' is not signed by the issuer of certificate '%s', "
                  "ignored",
            func, signed_by_issuer ? outside_step : unsigned_step,
            crl_name_text(X509_CRL_get_issuer(crl)).c_str(),
            crl_name_text(X509_get_subject_name(x509)).c_str());
  }
  return out;
}

std::string crl_refusal(X509_CRL* crl, CrlScope scope, const std::vector<X509_CRL*>& deltas) {
  if (scope != CrlScope::kWhole) return "covers the certificate for some revocation reasons only";
  const std::string oid = crl_unprocessed_critical(crl);
  if (!oid.empty()) return "has the critical extension " + oid + ", which is not processed";
  if (names_delta_crl(crl) && std::none_of(deltas.begin(), deltas.end(),
                                           [crl](X509_CRL* d) { return delta_follows(d, crl); }))
    return "names a delta crl, and no valid delta crl that follows it is at hand";
  return std::string();
}

int check_revoked_crl(X509* x509, STACK_OF(X509_CRL) * crls, X509_STORE* store, time_t at,
                      X509* issuer) {
  static const char kFunc[] = "check_revoked_crl";
  dbg("%s() begin: cert = 0x%p, crls = 0x%p", kFunc, static_cast<void*>(x509),
      static_cast<void*>(crls));
  int rc = [&]() -> int {
    if (x509 == nullptr || crls == nullptr) {
      log_err("%s() 1 : bad_args", kFunc);
      return 0;
    }
    const std::vector<IssuerCrl> scoped = issuer_crls(x509, issuer, crls, kFunc, "2.1", "2.2");
    std::vector<X509_CRL*> relevant;
    for (const IssuerCrl& c : scoped) relevant.push_back(c.crl);
    if (std::all_of(relevant.begin(), relevant.end(), is_delta_crl)) {
      log_err("%s() 2 : no relevant CRL found", kFunc);
      return 0;
    }
    orvel::X509StoreCtxPtr ctx(X509_STORE_CTX_new());
    if (!ctx || !X509_STORE_CTX_init(ctx.get(), store, x509, nullptr)) {
      log_err("%s() 3 : X509_STORE_CTX_init() failed", kFunc);
      return 0;
    }
    const ASN1_INTEGER* serial = X509_get0_serialNumber(x509);
    std::vector<X509_CRL*> deltas;
    std::copy_if(relevant.begin(), relevant.end(), std::back_inserter(deltas), is_delta_crl);
    for (X509_CRL* crl : relevant) {
      if ((issuer ? verify_crl_by_issuer(crl, issuer, at) : verify_crl(crl, ctx.get(), at)) != 1) {
        log_err("%s() 4 : verify_crl() failed", kFunc);
        return 0;
      }
      // Each complete CRL is read with every delta CRL. A delta that does not
      // verify ends the check with 0 in its own turn, so a release it
      // carries never stands.
      if (!is_delta_crl(crl) && revoked_by_crls(serial, crl, deltas, issuer != nullptr)) {
        log_err("%s() 5 : certificate found in CRL, certificate is invalid", kFunc);
        return 0;
      }
    }
    // Every CRL may revoke; one complete CRL must show the certificate
    // unrevoked (all deltas at hand verified above).
    bool cleared = false;
    for (const IssuerCrl& c : scoped) {
      if (is_delta_crl(c.crl)) continue;
      const std::string refusal = crl_refusal(c.crl, c.scope, deltas);
      if (refusal.empty()) {
        cleared = true;
        continue;
      }
      log_err("%s() 6 : CRL issued by '%s' %s", kFunc,
              crl_name_text(X509_CRL_get_issuer(c.crl)).c_str(), refusal.c_str());
    }
    if (!cleared) return 0;
    return 1;
  }();
  dbg("%s() end, return code = %d", kFunc, rc);
  return rc;
}
