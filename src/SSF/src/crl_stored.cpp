#include "crl_stored.h"

#include <algorithm>

#include "crl_delta.h"
#include "crl_verify.h"
#include "log.h"
#include "ossl_ptr.h"
#include "settings.h"
#include "x509_name.h"

namespace {

// The trace steps of each road: a CRL not signed by the issuer, one whose
// scope leaves the certificate out, one that may not clear it.
struct RoadSteps {
  const char* func;
  const char* not_signed;
  const char* outside;
  const char* refused;
};

const RoadSteps& steps_of(StoredCrlRoad road) {
  static const RoadSteps kSigner{"get_cert_status", "19", "20", "21"};
  static const RoadSteps kAuthority{"check_revoked_crl", "2.1", "2.2", "6"};
  static const RoadSteps kToStore{"get_revValue", "7.3", "7.4", "7.5"};
  switch (road) {
    case StoredCrlRoad::kSignerChain:
      return kSigner;
    case StoredCrlRoad::kAuthorityChain:
      return kAuthority;
    case StoredCrlRoad::kToStore:
      break;
  }
  return kToStore;
}

void log_not_current(StoredCrlRoad road, X509* x509) {
  if (road == StoredCrlRoad::kAuthorityChain) {
    log_err("%s() 4 : verify_crl() failed", "check_revoked_crl");
    return;
  }
  orvel::CharsPtr subject(brek_x509_get_name_from_X509(x509));
  if (road == StoredCrlRoad::kSignerChain) {
    log_err("%s() 16 : CRL of certificate '%s' is not valid", steps_of(road).func,
            subject ? subject.get() : "");
    return;
  }
  log_err(
      "%s() 7.6 : CRL of certificate '%s' is not current at the time stamp (issued more than "
      "max_tsp_ocsp_diff (%d) after it, or expired)",
      steps_of(road).func, subject ? subject.get() : "", max_tsp_ocsp_diff);
}

// A CRL of the certificate's issuer that counts, with what its scope takes
// in of the certificate.
struct CountedCrl {
  X509_CRL* crl;
  CrlScope scope;
};

// The CRLs among crls that count for the certificate at the time; each of
// the issuer's name that does not is reported.
std::vector<CountedCrl> counted_crls(X509* x509, X509* issuer, STACK_OF(X509_CRL) * crls, time_t at,
                                     X509_STORE_CTX* ctx, StoredCrlRoad road) {
  const RoadSteps& steps = steps_of(road);
  const std::vector<std::string> sought_at = crl_sought_at(x509, issuer);
  std::vector<CountedCrl> out;
  for (int i = 0; i < sk_X509_CRL_num(crls); ++i) {
    X509_CRL* crl = sk_X509_CRL_value(crls, i);
    if (crl == nullptr || !crl_same_issuer(crl, x509)) continue;
    // A CA of the same name with another key, which a signature may carry,
    // speaks for nobody.
    if (issuer != nullptr && !crl_signed_by(crl, issuer)) {
      log_err(
          "%s() %s : CRL issued by '%s' is not signed by the issuer of certificate '%s', "
          "ignored",
          steps.func, steps.not_signed, crl_name_text(X509_CRL_get_issuer(crl)).c_str(),
          crl_name_text(X509_get_subject_name(x509)).c_str());
      continue;
    }
    if (verify_stored_crl(crl, issuer, ctx, at) != 1) {
      log_not_current(road, x509);
      continue;
    }
    const CrlScope scope = crl_scope_for(crl, x509, sought_at);
    if (scope == CrlScope::kOutside)
      log_err("%s() %s : CRL issued by '%s' does not cover certificate '%s', it may only revoke",
              steps.func, steps.outside, crl_name_text(X509_CRL_get_issuer(crl)).c_str(),
              crl_name_text(X509_get_subject_name(x509)).c_str());
    out.push_back({crl, scope});
  }
  return out;
}

}  // namespace

std::string crl_refusal(X509_CRL* crl, CrlScope scope, const std::vector<X509_CRL*>& deltas) {
  if (scope != CrlScope::kWhole) return "covers the certificate for some revocation reasons only";
  if (crl_is_indirect(crl)) return "is flagged as an indirect crl, which clears no certificate";
  const std::string oid = crl_unprocessed_critical(crl);
  if (!oid.empty()) return "has the critical extension " + oid + ", which is not processed";
  if (names_delta_crl(crl) && std::none_of(deltas.begin(), deltas.end(),
                                           [crl](X509_CRL* d) { return delta_follows(d, crl); }))
    return "names a delta crl, and no valid delta crl that follows it is at hand";
  return std::string();
}

StoredCrlStatus stored_crl_status(X509* x509, X509* issuer, STACK_OF(X509_CRL) * crls, time_t at,
                                  X509_STORE_CTX* ctx, StoredCrlRoad road) {
  const std::vector<CountedCrl> counted = counted_crls(x509, issuer, crls, at, ctx, road);
  std::vector<X509_CRL*> deltas;
  for (const CountedCrl& c : counted)
    if (is_delta_crl(c.crl)) deltas.push_back(c.crl);
  const ASN1_INTEGER* serial = X509_get0_serialNumber(x509);
  // Every CRL that counts may revoke; a release needs the verified issuer.
  const bool revoked =
      std::any_of(deltas.begin(), deltas.end(),
                  [serial](X509_CRL* d) { return delta_revokes(serial, d); }) ||
      std::any_of(counted.begin(), counted.end(), [&](const CountedCrl& c) {
        return !is_delta_crl(c.crl) && revoked_by_crls(serial, c.crl, deltas, issuer != nullptr);
      });
  if (revoked) return StoredCrlStatus::kRevoked;
  bool cleared = false;
  for (const CountedCrl& c : counted) {
    if (is_delta_crl(c.crl) || c.scope == CrlScope::kOutside) continue;
    const std::string refusal = crl_refusal(c.crl, c.scope, deltas);
    if (refusal.empty()) {
      cleared = true;
      continue;
    }
    log_err("%s() %s : CRL issued by '%s' %s", steps_of(road).func, steps_of(road).refused,
            crl_name_text(X509_CRL_get_issuer(c.crl)).c_str(), refusal.c_str());
  }
  return cleared ? StoredCrlStatus::kClear : StoredCrlStatus::kNoneClears;
}

int check_revoked_crl(X509* x509, STACK_OF(X509_CRL) * crls, X509_STORE* store, time_t at,
                      X509* issuer) {
  static const char kFunc[] = "check_revoked_crl";
  dbg("%s() begin: cert = 0x%p, crls = 0x%p", kFunc, static_cast<void*>(x509),
      static_cast<void*>(crls));
  auto check = [&]() -> int {
    if (x509 == nullptr || crls == nullptr) {
      log_err("%s() 1 : bad_args", kFunc);
      return 0;
    }
    bool of_issuer = false;
    for (int i = 0; !of_issuer && i < sk_X509_CRL_num(crls); ++i) {
      X509_CRL* crl = sk_X509_CRL_value(crls, i);
      of_issuer = crl != nullptr && crl_same_issuer(crl, x509);
    }
    if (!of_issuer) {
      log_err("%s() 2 : no relevant CRL found", kFunc);
      return 0;
    }
    orvel::X509StoreCtxPtr ctx(X509_STORE_CTX_new());
    if (!ctx || !X509_STORE_CTX_init(ctx.get(), store, x509, nullptr)) {
      log_err("%s() 3 : X509_STORE_CTX_init() failed", kFunc);
      return 0;
    }
    switch (stored_crl_status(x509, issuer, crls, at, ctx.get(), StoredCrlRoad::kAuthorityChain)) {
      case StoredCrlStatus::kClear:
        return 1;
      case StoredCrlStatus::kRevoked:
        log_err("%s() 5 : certificate found in CRL, certificate is invalid", kFunc);
        return 0;
      case StoredCrlStatus::kNoneClears:
        break;
    }
    // CRLs of the issuer's name, but none that may clear.
    log_err("%s() 2 : no relevant CRL found", kFunc);
    return 0;
  };
  int rc = 0;
  try {
    rc = check();
  } catch (...) {
    log_err("%s() : out of memory", kFunc);
  }
  dbg("%s() end, return code = %d", kFunc, rc);
  return rc;
}
