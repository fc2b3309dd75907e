#include "crl_check.h"

#include <openssl/err.h>
#include <openssl/x509v3.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "crl_delta.h"
#include "crl_download.h"
#include "crl_scope.h"
#include "crl_stored.h"
#include "crl_verify.h"
#include "log.h"
#include "ossl_ptr.h"
#include "settings.h"

namespace {

// A list of malloc'd URL texts, freed with its texts.
struct UrlList {
  list_head* list = list_create();
  ~UrlList() { list_destroy(list, mfree); }
  UrlList() = default;
  UrlList(const UrlList&) = delete;
  UrlList& operator=(const UrlList&) = delete;
  bool add(const ASN1_IA5STRING* uri) {
    if (list == nullptr) return false;
    int n = ASN1_STRING_length(uri);
    auto* s = static_cast<char*>(malloc(static_cast<size_t>(n) + 1));
    if (s == nullptr) return false;
    memcpy(s, ASN1_STRING_get0_data(uri), static_cast<size_t>(n));
    s[n] = '\0';
    list_node* node = list_node_create(s);
    if (node == nullptr) {
      free(s);
      return false;
    }
    list_push(list, node);
    return true;
  }
};

// The certificate's issuer: the next certificate of the context's verified
// chain, else the first store certificate of the issuer's name whose key
// verifies the certificate's signature; null when neither is known.
orvel::X509Ptr issuer_of(X509* x509, X509_STORE_CTX* ctx) {
  STACK_OF(X509)* chain = X509_STORE_CTX_get0_chain(ctx);
  if (chain != nullptr && X509_STORE_CTX_get_error(ctx) == X509_V_OK) {
    for (int i = 0; i + 1 < sk_X509_num(chain); ++i) {
      if (X509_cmp(sk_X509_value(chain, i), x509) != 0) continue;
      X509* next = sk_X509_value(chain, i + 1);
      return orvel::X509Ptr(X509_up_ref(next) ? next : nullptr);
    }
  }
  return orvel::X509Ptr(
      first_in_store(X509_STORE_CTX_get0_store(ctx), X509_get_issuer_name(x509), [x509](X509* ca) {
        EVP_PKEY* key = X509_get0_pubkey(ca);
        ERR_set_mark();
        const bool issued = key != nullptr && X509_verify(x509, key) == 1;
        ERR_pop_to_mark();
        return issued;
      }));
}

// Whether the CA that verify_crl takes as the CRL's signer (by the CRL's
// issuer name and key identifier) holds the key of the certificate's own
// issuer (issuer_of; null when it is not known). Another key generation of
// a CA keeps its name, so the name and the key identifier the CRL names for
// itself do not make its CRL speak for certificates of this key.
bool crl_of_issuer_key(X509_CRL* crl, X509* x509, X509* issuer, X509_STORE_CTX* ctx,
                       const char* what) {
  static const char kFunc[] = "check_for_revocation";
  X509* signer_raw = nullptr;
  orvel::X509Ptr signer(X509_STORE_get_ca_cert_for_crl(ctx, crl, &signer_raw) == 1 ? signer_raw
                                                                                   : nullptr);
  EVP_PKEY* issuer_key = issuer ? X509_get0_pubkey(issuer) : nullptr;
  EVP_PKEY* signer_key = signer ? X509_get0_pubkey(signer.get()) : nullptr;
  ERR_set_mark();
  const bool same =
      issuer_key != nullptr && signer_key != nullptr && EVP_PKEY_eq(issuer_key, signer_key) == 1;
  ERR_pop_to_mark();
  if (!same)
    log_err("%s() : %s issued by '%s' is not signed by the issuer of certificate '%s'", kFunc, what,
            crl_name_text(X509_CRL_get_issuer(crl)).c_str(),
            crl_name_text(X509_get_subject_name(x509)).c_str());
  return same;
}

// Downloads the CRL named by the certificate (or its issuer); null when
// there is none to download or no download succeeded, else *url is where
// it came from. The points of all revocation reasons are tried before
// those of some reasons only, and those served by another authority
// (cRLIssuer), whose CRL clears nothing here, last. *fatal is set when the
// check must end with -1 without trying the default URL.
X509_CRL* crl_from_distribution_points(X509* x509, X509_STORE_CTX* ctx, const list_head* protos,
                                       std::string* url, bool* fatal) {
  static const char kFunc[] = "check_for_revocation";
  // An unreadable extension counts as none, and leaves no error behind.
  auto points_of = [](X509* cert) {
    ERR_set_mark();
    DistPointsPtr points(static_cast<STACK_OF(DIST_POINT)*>(
        X509_get_ext_d2i(cert, NID_crl_distribution_points, nullptr, nullptr)));
    ERR_pop_to_mark();
    return points;
  };
  DistPointsPtr points = points_of(x509);
  if (!points) {
    orvel::X509Ptr issuer;
    if (X509_OBJECT* obj =
            X509_STORE_CTX_get_obj_by_subject(ctx, X509_LU_X509, X509_get_issuer_name(x509))) {
      X509* ca = X509_OBJECT_get0_X509(obj);
      if (ca != nullptr && X509_up_ref(ca)) issuer.reset(ca);
      X509_OBJECT_free(obj);
    }
    if (!issuer) {
      log_err("%s() 1 : no dedicated ca certificate available", kFunc);
      *fatal = true;
      return nullptr;
    }
    points = points_of(issuer.get());
    if (!points) {
      log_err(
          "%s() 2 : neither the user nor the ca certificate does contain a crl distribution point",
          kFunc);
      *fatal = true;
      return nullptr;
    }
  }
  UrlList whole, partial, delegated;
  for_each_uri(points.get(), [&](const ASN1_IA5STRING* uri, int i, int) {
    const DIST_POINT* dp = sk_DIST_POINT_value(points.get(), i);
    UrlList& urls = point_names_crl_issuer(dp) ? delegated
                    : some_reasons_only(dp)    ? partial
                                               : whole;
    if (urls.add(uri))
      log_write("%s() : found CDP '%s'", kFunc,
                static_cast<const char*>(list_get_element(list_last_it(urls.list))));
  });
  const char* from = nullptr;
  X509_CRL* crl = nullptr;
  for (const UrlList* urls : {&whole, &partial, &delegated})
    if (crl == nullptr) crl = download_crl_from_list(urls->list, protos, &from);
  if (crl == nullptr) log_err("%s() 3 : downloading the crl failed for all CDPs", kFunc);
  if (from != nullptr) *url = from;
  return crl;
}

X509_CRL* crl_from_default_url(X509* x509, std::string* from) {
  static const char kFunc[] = "check_for_revocation";
  log_write(signed_with_gost2012(x509) ? "%s(): signature type is 2012"
                                       : "%s(): signature type is NOT 2012",
            kFunc);
  log_write("%s(): signature nid is %d", kFunc, X509_get_signature_nid(x509));
  const char* url = default_url_for(x509);
  if (url == nullptr) {
    log_err("%s() 3.2 : default URL not specified", kFunc);
    return nullptr;
  }
  log_write("%s() : trying to download CRL from default URL: '%s'", kFunc,
            url_for_log(url).c_str());
  X509_CRL* crl = download_crl(url);
  if (crl == nullptr)
    log_err("%s() 3.1 : downloading the crl failed for default URL: '%s'", kFunc,
            url_for_log(url).c_str());
  else
    *from = url;
  return crl;
}

// Whether a downloaded delta CRL (verify_crl gave verified) may show the
// certificate unrevoked: valid, signed with the key of the certificate's
// issuer, a delta CRL that continues the complete CRL within its scope,
// and without an unprocessed critical extension. Whoever can replace the
// delta on its way could otherwise clear a certificate revoked since the
// complete CRL. The ERROR line names the first condition that fails.
bool delta_clears(X509_CRL* delta, int verified, X509_CRL* crl, X509* x509, X509* issuer,
                  X509_STORE_CTX* ctx) {
  static const char kFunc[] = "check_for_revocation";
  const std::string name = crl_name_text(X509_CRL_get_issuer(delta));
  if (verified != 1) {
    log_err("%s() : delta crl issued by '%s' is not valid", kFunc, name.c_str());
    return false;
  }
  if (!crl_of_issuer_key(delta, x509, issuer, ctx, "delta crl")) return false;
  if (!is_delta_crl(delta)) {
    log_err("%s() : delta crl issued by '%s' carries no delta crl indicator", kFunc, name.c_str());
    return false;
  }
  if (!delta_numbers_follow(delta, crl)) {
    log_err(
        "%s() : delta crl issued by '%s' does not follow the crl (base crl number %s, crl "
        "number %s; the crl's number %s)",
        kFunc, name.c_str(), crl_number_text(delta, NID_delta_crl).c_str(),
        crl_number_text(delta, NID_crl_number).c_str(),
        crl_number_text(crl, NID_crl_number).c_str());
    return false;
  }
  if (!same_scope(delta, crl)) {
    log_err("%s() : delta crl issued by '%s' and the crl differ in scope", kFunc, name.c_str());
    return false;
  }
  const std::string oid = crl_unprocessed_critical(delta);
  if (!oid.empty()) {
    log_err("%s() : delta crl issued by '%s' has the critical extension %s, which is not processed",
            kFunc, name.c_str(), oid.c_str());
    return false;
  }
  return true;
}

// The delta CRL named by the CRL's freshest-CRL extension: 1 with the delta
// in *delta, 0 when the CRL names none, -1 on failure. *clears tells
// whether the delta may show the certificate unrevoked (delta_clears); one
// that may not is still read, for the revocations it adds.
int fetch_delta_crl(X509_CRL* crl, X509* x509, X509* issuer, X509_STORE_CTX* ctx,
                    const list_head* protos, orvel::X509CrlPtr* delta, bool* clears) {
  static const char kFunc[] = "check_for_revocation";
  int found = -1;
  ERR_set_mark();
  DistPointsPtr points(static_cast<STACK_OF(DIST_POINT)*>(
      X509_CRL_get_ext_d2i(crl, NID_freshest_crl, &found, nullptr)));
  ERR_pop_to_mark();
  if (!points && found != -1) {
    // Named but unreadable (or named twice): the delta it names is unknown.
    log_err("%s() : the freshest crl extension of the crl cannot be read", kFunc);
    return -1;
  }
  if (!points) {
    dbg("%s() : can't found delta crl distribution point", kFunc);
    return 0;
  }
  UrlList urls;
  int last_point = -1;
  for_each_uri(points.get(), [&](const ASN1_IA5STRING* uri, int i, int j) {
    if (i != last_point) dbg("%s() : processing delta crl dist point #%d", kFunc, i);
    last_point = i;
    dbg("%s() : process delta crl dist points name #%d", kFunc, j);
    if (urls.add(uri))
      dbg("%s() : Delta CRL DP: '%s'", kFunc,
          static_cast<const char*>(list_get_element(list_last_it(urls.list))));
  });
  delta->reset(download_crl_from_list(urls.list, protos));
  if (!*delta) {
    log_err("%s() : downloading the delta crl failed for all distribution points", kFunc);
    return -1;
  }
  if (!crl_same_issuer(delta->get(), x509)) {
    log_err("%s() : delta crl issuer and certificate issuer not match ('%s' and '%s')", kFunc,
            crl_name_text(X509_CRL_get_issuer(delta->get())).c_str(),
            crl_name_text(X509_get_issuer_name(x509)).c_str());
    return -1;
  }
  const int v = verify_crl(delta->get(), ctx, 0);
  if (v < 0) {
    log_err("%s() : verify_crl(delta_crl) failed: '%s'", kFunc, toolkit_error_text());
    return -1;
  }
  *clears = delta_clears(delta->get(), v, crl, x509, issuer, ctx);
  return 1;
}

int check_for_revocation_impl(X509* x509, X509_STORE_CTX* ctx, const list_head* protos,
                              X509_CRL** crl_out, X509_CRL** delta_out) {
  static const char kFunc[] = "check_for_revocation";
  orvel::X509CrlPtr crl;
  std::string url;  // where the CRL came from
  if (use_only_default_crl_url) {
    log_write("%s() : use_only_default_crl_url is ON, skipping CDPs in certificate", kFunc);
  } else {
    bool fatal = false;
    crl.reset(crl_from_distribution_points(x509, ctx, protos, &url, &fatal));
    if (fatal) return -1;
  }
  if (!crl) {
    crl.reset(crl_from_default_url(x509, &url));
    if (!crl) return -1;
  }

  log_write("%s() : checking crl issuer name", kFunc);
  if (!crl_same_issuer(crl.get(), x509)) {
    log_err("%s() : crl issuer and certificate issuer not match ('%s' and '%s')", kFunc,
            crl_name_text(X509_CRL_get_issuer(crl.get())).c_str(),
            crl_name_text(X509_get_issuer_name(x509)).c_str());
    return -1;
  }
  int v = verify_crl(crl.get(), ctx, 0);
  if (v < 0) {
    log_err("%s() : verify_crl() failed", kFunc);
    return -1;
  }
  if (v == 0) return 0;
  const orvel::X509Ptr issuer = issuer_of(x509, ctx);
  if (!crl_of_issuer_key(crl.get(), x509, issuer.get(), ctx, "crl")) return -1;
  const CrlScope scope = crl_scope_for(crl.get(), x509, {url});
  if (scope == CrlScope::kOutside && every_point_names_crl_issuer(x509)) {
    log_err(
        "%s() : every distribution point of certificate '%s' names a crl issuer, whose "
        "indirect crl clears no certificate",
        kFunc, crl_name_text(X509_get_subject_name(x509)).c_str());
    return -1;
  }
  if (scope == CrlScope::kOutside) {
    log_err("%s() : crl issued by '%s' does not cover certificate '%s'", kFunc,
            crl_name_text(X509_CRL_get_issuer(crl.get())).c_str(),
            crl_name_text(X509_get_subject_name(x509)).c_str());
    return -1;
  }
  // A delta CRL lists only the changes since its base: without the base it
  // says nothing of a certificate revoked before.
  if (is_delta_crl(crl.get())) {
    log_err("%s() : the crl is a delta crl, its base crl is missing", kFunc);
    return -1;
  }

  orvel::X509CrlPtr delta;
  bool delta_may_clear = false;
  int d = fetch_delta_crl(crl.get(), x509, issuer.get(), ctx, protos, &delta, &delta_may_clear);
  if (d < 0) return -1;
  std::vector<X509_CRL*> deltas;
  if (delta) deltas.push_back(delta.get());
  if (revoked_by_crls(X509_get0_serialNumber(x509), crl.get(), deltas, delta_may_clear)) return 0;
  // A CRL that may not clear the certificate may still have revoked it.
  const std::string refusal =
      crl_refusal(crl.get(), scope, delta_may_clear ? deltas : std::vector<X509_CRL*>());
  if (!refusal.empty()) {
    log_err("%s() : crl issued by '%s' %s", kFunc,
            crl_name_text(X509_CRL_get_issuer(crl.get())).c_str(), refusal.c_str());
    return -1;
  }

  if (crl_out != nullptr) *crl_out = X509_CRL_dup(crl.get());
  if (delta_out != nullptr && delta) *delta_out = X509_CRL_dup(delta.get());
  return 1;
}

}  // namespace

int check_for_revocation(X509* x509, X509_STORE_CTX* ctx, const list_head* protos,
                         X509_CRL** crl_out, X509_CRL** delta_out) {
  static const char kFunc[] = "check_for_revocation";
  dbg("%s() begin: x509 = 0x%p, ctx = 0x%p, proto_list = 0x%p", kFunc, static_cast<void*>(x509),
      static_cast<void*>(ctx), static_cast<const void*>(protos));
  int rc = -1;
  if (x509 != nullptr && ctx != nullptr) {
    try {
      rc = check_for_revocation_impl(x509, ctx, protos, crl_out, delta_out);
    } catch (...) {
      rc = -1;
    }
  }
  dbg("%s() end, return code %d", kFunc, rc);
  return rc;
}
