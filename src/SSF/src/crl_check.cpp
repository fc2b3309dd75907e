#include "crl_check.h"

#include <openssl/err.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "critical_ext.h"
#include "crl_download.h"
#include "log.h"
#include "ossl_ptr.h"
#include "settings.h"
#include "time_util.h"
#include "x509_name.h"

namespace {

using DistPointsPtr =
    std::unique_ptr<STACK_OF(DIST_POINT), orvel::Free<STACK_OF(DIST_POINT), CRL_DIST_POINTS_free>>;
using AuthKeyIdPtr =
    std::unique_ptr<AUTHORITY_KEYID, orvel::Free<AUTHORITY_KEYID, AUTHORITY_KEYID_free>>;
using IssuingDistPointPtr =
    std::unique_ptr<ISSUING_DIST_POINT, orvel::Free<ISSUING_DIST_POINT, ISSUING_DIST_POINT_free>>;

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

// The URIs of the full names of every distribution point, in order. The
// callback sees each URI with its point and name index.
template <typename F>
void for_each_uri(const STACK_OF(DIST_POINT) * points, F&& f) {
  for (int i = 0; i < sk_DIST_POINT_num(points); ++i) {
    const DIST_POINT* dp = sk_DIST_POINT_value(points, i);
    if (dp == nullptr || dp->distpoint == nullptr || dp->distpoint->type != 0) continue;
    const GENERAL_NAMES* names = dp->distpoint->name.fullname;
    for (int j = 0; j < sk_GENERAL_NAME_num(names); ++j) {
      const GENERAL_NAME* gn = sk_GENERAL_NAME_value(names, j);
      if (gn->type == GEN_URI) f(gn->d.uniformResourceIdentifier, i, j);
    }
  }
}

// What a CRL says of a serial number, weakest first. A hold (reason
// certificateHold) may be released again; removeFromCRL, in a delta CRL,
// says the certificate left the list.
enum class Entry { kNone, kRemoved, kHold, kRevoked };

Entry entry_kind(const X509_REVOKED* r) {
  int crit = 0;
  ERR_set_mark();
  ASN1_ENUMERATED* reason =
      static_cast<ASN1_ENUMERATED*>(X509_REVOKED_get_ext_d2i(r, NID_crl_reason, &crit, nullptr));
  ERR_pop_to_mark();
  // No reason, an unreadable one or several: plainly revoked.
  const long code = reason != nullptr ? ASN1_ENUMERATED_get(reason) : -1;
  ASN1_ENUMERATED_free(reason);
  if (code == CRL_REASON_REMOVE_FROM_CRL) return Entry::kRemoved;
  if (code == CRL_REASON_CERTIFICATE_HOLD) return Entry::kHold;
  return Entry::kRevoked;
}

// The strongest entry of the serial number in the CRL (a CRL may list one
// serial twice).
Entry entry_of(X509_CRL* crl, const ASN1_INTEGER* serial) {
  Entry e = Entry::kNone;
  STACK_OF(X509_REVOKED)* revoked = X509_CRL_get_REVOKED(crl);
  for (int i = 0; i < sk_X509_REVOKED_num(revoked); ++i) {
    const X509_REVOKED* r = sk_X509_REVOKED_value(revoked, i);
    if (ASN1_INTEGER_cmp(X509_REVOKED_get0_serialNumber(r), serial) == 0)
      e = std::max(e, entry_kind(r));
  }
  return e;
}

std::string name_text(const X509_NAME* name) {
  char buf[kNameBufSize];
  print_X509_NAME(buf, sizeof buf, name);
  return buf;
}

bool same_issuer(X509_CRL* crl, X509* x509) {
  return X509_NAME_cmp(X509_CRL_get_issuer(crl), X509_get_issuer_name(x509)) == 0;
}

// Whether two distribution point names name one point: a shared general
// name of two full names, or equal names of two names relative to the CRL
// issuer (each completed with its issuer's name).
bool same_point(DIST_POINT_NAME* a, const X509_NAME* a_issuer, DIST_POINT_NAME* b,
                const X509_NAME* b_issuer) {
  if (a->type != b->type) return false;
  if (a->type == 1)
    return (a->dpname != nullptr || DIST_POINT_set_dpname(a, a_issuer) == 1) &&
           (b->dpname != nullptr || DIST_POINT_set_dpname(b, b_issuer) == 1) &&
           X509_NAME_cmp(a->dpname, b->dpname) == 0;
  for (int i = 0; i < sk_GENERAL_NAME_num(a->name.fullname); ++i)
    for (int j = 0; j < sk_GENERAL_NAME_num(b->name.fullname); ++j)
      if (GENERAL_NAME_cmp(sk_GENERAL_NAME_value(a->name.fullname, i),
                           sk_GENERAL_NAME_value(b->name.fullname, j)) == 0)
        return true;
  return false;
}

// Whether a distribution point name is a full name with one of the URLs.
bool names_url(const DIST_POINT_NAME* point, const std::vector<std::string>& urls) {
  if (point->type != 0) return false;
  for (int i = 0; i < sk_GENERAL_NAME_num(point->name.fullname); ++i) {
    const GENERAL_NAME* gn = sk_GENERAL_NAME_value(point->name.fullname, i);
    if (gn->type != GEN_URI) continue;
    const ASN1_IA5STRING* uri = gn->d.uniformResourceIdentifier;
    const std::string text(reinterpret_cast<const char*>(ASN1_STRING_get0_data(uri)),
                           static_cast<size_t>(ASN1_STRING_length(uri)));
    if (std::find(urls.begin(), urls.end(), text) != urls.end()) return true;
  }
  return false;
}

// Whether a distribution point serves CRLs of some revocation reasons only:
// its reasons field leaves out one of keyCompromise to aACompromise.
bool some_reasons_only(const DIST_POINT* dp) {
  if (dp == nullptr || dp->reasons == nullptr) return false;
  for (int bit = 1; bit <= 8; ++bit)
    if (!ASN1_BIT_STRING_get_bit(dp->reasons, bit)) return true;
  return false;
}

// The scope of a CRL for a certificate by the distribution points: point is
// the one the CRL's issuingDistributionPoint names, or null. A CA that
// splits its certificates among several CRLs publishes each under its own
// point, and a CRL of one point says nothing of the certificates of
// another. The CRL serves the certificate's points that it names, or,
// naming none, the points at the URLs where it was sought (sought_at),
// else any of them; a CRL served by points of some reasons only says
// nothing of the other reasons. For a certificate that names no point the
// CRL's point must be one of the URLs sought at: the CRL of another part of
// the list names its own.
CrlScope scope_by_points(X509* x509, X509_CRL* crl, DIST_POINT_NAME* point,
                         const std::vector<std::string>& sought_at) {
  ERR_set_mark();
  DistPointsPtr points(static_cast<STACK_OF(DIST_POINT)*>(
      X509_get_ext_d2i(x509, NID_crl_distribution_points, nullptr, nullptr)));
  const bool names_points =
      points || X509_get_ext_by_NID(x509, NID_crl_distribution_points, -1) >= 0;
  bool served = false, whole = false;
  for (int i = 0; i < sk_DIST_POINT_num(points.get()); ++i) {
    DIST_POINT* dp = sk_DIST_POINT_value(points.get(), i);
    if (dp == nullptr || dp->distpoint == nullptr ||
        !(point != nullptr ? same_point(point, X509_CRL_get_issuer(crl), dp->distpoint,
                                        X509_get_issuer_name(x509))
                           : names_url(dp->distpoint, sought_at)))
      continue;
    served = true;
    whole = whole || !some_reasons_only(dp);
  }
  ERR_pop_to_mark();
  if (!names_points)
    return point == nullptr || names_url(point, sought_at) ? CrlScope::kWhole : CrlScope::kOutside;
  if (!served && point != nullptr) return CrlScope::kOutside;
  if (!served) {
    // Sought elsewhere (the issuer's point, the default URL): it may stand
    // for any of the certificate's points; unreadable points have none.
    whole = !points;
    for (int i = 0; i < sk_DIST_POINT_num(points.get()); ++i)
      whole = whole || !some_reasons_only(sk_DIST_POINT_value(points.get(), i));
  }
  return whole ? CrlScope::kWhole : CrlScope::kSomeReasons;
}

// A CRL's integer extension (CRL number, delta CRL base), or null.
orvel::Asn1IntegerPtr crl_integer(X509_CRL* crl, int nid) {
  ERR_set_mark();
  orvel::Asn1IntegerPtr v(
      static_cast<ASN1_INTEGER*>(X509_CRL_get_ext_d2i(crl, nid, nullptr, nullptr)));
  ERR_pop_to_mark();
  return v;
}

// The DER of a CRL's issuingDistributionPoint; null when it has none.
const ASN1_OCTET_STRING* scope_of(X509_CRL* crl) {
  const int i = X509_CRL_get_ext_by_NID(crl, NID_issuing_distribution_point, -1);
  return i >= 0 ? X509_EXTENSION_get_data(X509_CRL_get_ext(crl, i)) : nullptr;
}

// Whether a delta CRL's numbers continue the complete CRL: its base is no
// newer than the complete CRL, and it is newer itself. An older delta (or
// a complete CRL in its place) knows nothing of what changed since.
bool delta_numbers_follow(X509_CRL* delta, X509_CRL* crl) {
  orvel::Asn1IntegerPtr base = crl_integer(delta, NID_delta_crl);
  orvel::Asn1IntegerPtr number = crl_integer(delta, NID_crl_number);
  orvel::Asn1IntegerPtr crl_number = crl_integer(crl, NID_crl_number);
  return base && number && crl_number && ASN1_INTEGER_cmp(base.get(), crl_number.get()) <= 0 &&
         ASN1_INTEGER_cmp(number.get(), crl_number.get()) > 0;
}

// Whether two CRLs have one scope: the same issuingDistributionPoint, or
// none.
bool same_scope(X509_CRL* delta, X509_CRL* crl) {
  const ASN1_OCTET_STRING* scope = scope_of(delta);
  const ASN1_OCTET_STRING* crl_scope = scope_of(crl);
  if (scope == nullptr || crl_scope == nullptr) return scope == crl_scope;
  return ASN1_OCTET_STRING_cmp(scope, crl_scope) == 0;
}

// Whether a delta CRL continues the complete CRL (its numbers follow, one
// scope) and may release its holds: not as an indirect CRL, where an entry
// may be of another CA's certificate, nor with a critical extension that
// is not processed.
bool delta_follows(X509_CRL* delta, X509_CRL* crl) {
  if (!delta_numbers_follow(delta, crl) || !same_scope(delta, crl) ||
      !crl_unprocessed_critical(delta).empty())
    return false;
  if (scope_of(delta) == nullptr) return true;
  ERR_set_mark();
  IssuingDistPointPtr idp(static_cast<ISSUING_DIST_POINT*>(
      X509_CRL_get_ext_d2i(delta, NID_issuing_distribution_point, nullptr, nullptr)));
  ERR_pop_to_mark();
  return idp && idp->indirectCRL <= 0;
}

// A CRL number for the trace log; "none" when it is absent.
std::string number_text(X509_CRL* crl, int nid) {
  orvel::Asn1IntegerPtr n = crl_integer(crl, nid);
  char* text = n ? i2s_ASN1_INTEGER(nullptr, n.get()) : nullptr;
  std::string out = text != nullptr ? text : "none";
  OPENSSL_free(text);
  return out;
}

// Seconds of an ASN.1 time; false when it cannot be read.
bool asn1_time_to_seconds(const ASN1_TIME* t, time_t* out) {
  struct tm tm {};
  if (t == nullptr || ASN1_TIME_to_tm(t, &tm) != 1) return false;
  *out = timegm(&tm);
  return true;
}

// -1 when a GOST R 34.10-2001 CRL was issued at or after the cut-off.
int check_crl_gost2001(X509_CRL* crl) {
  if (X509_CRL_get_signature_nid(crl) != NID_id_GostR3411_94_with_GostR3410_2001) return 1;
  time_t last = 0;
  if (asn1_time_to_seconds(X509_CRL_get0_lastUpdate(crl), &last) &&
      last >= get_gost2001_exp_time()) {
    log_err("%s() 1 : Gost R 34.10-2001 expired", "check_crl_gost2001");
    return -1;
  }
  return 1;
}

// The first certificate of the store with the subject name that satisfies
// the predicate, with a reference taken; null when there is none.
template <typename Pred>
X509* first_in_store(X509_STORE* store, const X509_NAME* subject, Pred&& pred) {
  STACK_OF(X509_OBJECT)* objs = store != nullptr ? X509_STORE_get0_objects(store) : nullptr;
  for (int i = 0; i < sk_X509_OBJECT_num(objs); ++i) {
    X509_OBJECT* obj = sk_X509_OBJECT_value(objs, i);
    if (X509_OBJECT_get_type(obj) != X509_LU_X509) continue;
    X509* cert = X509_OBJECT_get0_X509(obj);
    if (X509_NAME_cmp(X509_get_subject_name(cert), subject) != 0 || !pred(cert)) continue;
    return X509_up_ref(cert) ? cert : nullptr;
  }
  return nullptr;
}

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
            name_text(X509_CRL_get_issuer(crl)).c_str(),
            name_text(X509_get_subject_name(x509)).c_str());
  return same;
}

// Downloads the CRL named by the certificate (or its issuer); null when
// there is none to download or no download succeeded, else *url is where
// it came from. The points of all revocation reasons are tried before
// those of some reasons only. *fatal is set when the check must end with
// -1 without trying the default URL.
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
  UrlList whole, partial;
  for_each_uri(points.get(), [&](const ASN1_IA5STRING* uri, int i, int) {
    UrlList& urls = some_reasons_only(sk_DIST_POINT_value(points.get(), i)) ? partial : whole;
    if (urls.add(uri))
      log_write("%s() : found CDP '%s'", kFunc,
                static_cast<const char*>(list_get_element(list_last_it(urls.list))));
  });
  const char* from = nullptr;
  X509_CRL* crl = download_crl_from_list(whole.list, protos, &from);
  if (crl == nullptr) crl = download_crl_from_list(partial.list, protos, &from);
  if (crl == nullptr) log_err("%s() 3 : downloading the crl failed for all CDPs", kFunc);
  if (from != nullptr) *url = from;
  return crl;
}

bool signed_with_gost2012(X509* x509) {
  const int nid = X509_get_signature_nid(x509);
  return nid == NID_id_tc26_signwithdigest_gost3410_2012_256 ||
         nid == NID_id_tc26_signwithdigest_gost3410_2012_512;
}

// The configured default CRL URL for the certificate's signature algorithm,
// or null.
const char* default_url_for(X509* x509) {
  const char* url = signed_with_gost2012(x509) ? default_crl_url_2012 : default_crl_url;
  return url != nullptr && *url != '\0' ? url : nullptr;
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
  log_write("%s() : trying to download CRL from default URL: '%s'", kFunc, url);
  X509_CRL* crl = download_crl(url);
  if (crl == nullptr)
    log_err("%s() 3.1 : downloading the crl failed for default URL: '%s'", kFunc, url);
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
  const std::string name = name_text(X509_CRL_get_issuer(delta));
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
        kFunc, name.c_str(), number_text(delta, NID_delta_crl).c_str(),
        number_text(delta, NID_crl_number).c_str(), number_text(crl, NID_crl_number).c_str());
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
  if (!same_issuer(delta->get(), x509)) {
    log_err("%s() : delta crl issuer and certificate issuer not match ('%s' and '%s')", kFunc,
            name_text(X509_CRL_get_issuer(delta->get())).c_str(),
            name_text(X509_get_issuer_name(x509)).c_str());
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
  if (!same_issuer(crl.get(), x509)) {
    log_err("%s() : crl issuer and certificate issuer not match ('%s' and '%s')", kFunc,
            name_text(X509_CRL_get_issuer(crl.get())).c_str(),
            name_text(X509_get_issuer_name(x509)).c_str());
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
  if (scope == CrlScope::kOutside) {
    log_err("%s() : crl issued by '%s' does not cover certificate '%s'", kFunc,
            name_text(X509_CRL_get_issuer(crl.get())).c_str(),
            name_text(X509_get_subject_name(x509)).c_str());
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
            name_text(X509_CRL_get_issuer(crl.get())).c_str(), refusal.c_str());
    return -1;
  }

  if (crl_out != nullptr) *crl_out = X509_CRL_dup(crl.get());
  if (delta_out != nullptr && delta) *delta_out = X509_CRL_dup(delta.get());
  return 1;
}

// Whether a store certificate satisfies a CRL's authority key identifier.
bool matches_akid(X509* cert, const AUTHORITY_KEYID* akid) {
  if (akid->issuer != nullptr) {
    for (int i = 0; i < sk_GENERAL_NAME_num(akid->issuer); ++i) {
      const GENERAL_NAME* gn = sk_GENERAL_NAME_value(akid->issuer, i);
      if (gn->type == GEN_DIRNAME &&
          X509_NAME_cmp(gn->d.directoryName, X509_get_issuer_name(cert)) != 0)
        return false;
    }
  }
  if (akid->keyid != nullptr) {
    const ASN1_OCTET_STRING* skid = X509_get0_subject_key_id(cert);
    if (skid == nullptr || ASN1_OCTET_STRING_cmp(akid->keyid, skid) != 0) return false;
  }
  if (akid->serial != nullptr && ASN1_INTEGER_cmp(akid->serial, X509_get0_serialNumber(cert)) != 0)
    return false;
  return true;
}

}  // namespace

const char* toolkit_error_text() {
  static thread_local char buf[256];
  unsigned long e = ERR_peek_last_error();
  if (e == 0) return "";
  ERR_error_string_n(e, buf, sizeof buf);
  return buf;
}

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

int X509_STORE_get_ca_cert_for_crl(X509_STORE_CTX* ctx, X509_CRL* crl, X509** out) {
  if (ctx == nullptr || crl == nullptr || out == nullptr) return -1;
  ERR_set_mark();
  AuthKeyIdPtr akid(static_cast<AUTHORITY_KEYID*>(
      X509_CRL_get_ext_d2i(crl, NID_authority_key_identifier, nullptr, nullptr)));
  ERR_pop_to_mark();
  auto matches = [&akid](X509* c) { return !akid || matches_akid(c, akid.get()); };
  X509_STORE* store = X509_STORE_CTX_get0_store(ctx);
  X509* cert = nullptr;
  // Without a key identifier the name alone does not tell the key
  // generations of a CA apart: the one whose key verifies the CRL is taken.
  if (!akid || akid->keyid == nullptr)
    cert = first_in_store(store, X509_CRL_get_issuer(crl),
                          [&](X509* c) { return matches(c) && crl_signed_by(crl, c); });
  if (cert == nullptr) cert = first_in_store(store, X509_CRL_get_issuer(crl), matches);
  if (cert == nullptr) return -1;
  *out = cert;
  return 1;
}

namespace {

// verify_crl once the issuing CA is known: its signature on the CRL, the
// CRL's times against at (0: now) and the GOST R 34.10-2001 cut-off.
int check_crl_of(X509_CRL* crl, X509* issuer, time_t at) {
  static const char kFunc[] = "verify_crl";
  EVP_PKEY* key = issuer ? X509_get0_pubkey(issuer) : nullptr;
  if (key == nullptr) {
    log_err("%s() 2 : getting the issuer's public key failed", kFunc);
    return -1;
  }
  // A CA whose key usage leaves out cRLSign has not made this key a CRL
  // signer.
  if ((X509_get_extension_flags(issuer) & EXFLAG_KUSAGE) != 0 &&
      (X509_get_key_usage(issuer) & KU_CRL_SIGN) == 0) {
    log_err("%s() 2.1 : the key usage of the crl-issuer does not allow signing crls", kFunc);
    return -1;
  }
  // A signature that does not verify leaves the toolkit's reason behind;
  // the result says it.
  ERR_set_mark();
  int s = X509_CRL_verify(crl, key);
  if (s >= 0) ERR_pop_to_mark();
  if (s < 0) {
    log_err("%s() 3 : X509_CRL_verify() failed", kFunc);
    print_brekssl_errors();
    return -1;
  }
  if (s == 0) {
    log_err("%s() 4 : crl is invalid", kFunc);
    return 0;
  }
  time_t when = at != 0 ? at : time(nullptr);
  int c = X509_cmp_time(X509_CRL_get0_lastUpdate(crl), &when);
  if (c == 0) {
    log_err("%s() 5 : crl has an invalid 'lastUpdate' field", kFunc);
    return -1;
  }
  if (c > 0) {
    log_err("%s() 6 : crl is not yet valid", kFunc);
    return 0;
  }
  // A CRL without nextUpdate has no expiry to check.
  if (const ASN1_TIME* next = X509_CRL_get0_nextUpdate(crl)) {
    c = X509_cmp_time(next, &when);
    if (c == 0) {
      log_err("%s() 7 : crl has an invalid 'nextUpdate' field", kFunc);
      return -1;
    }
    if (c < 0) {
      log_err("%s() 8 : crl has expired", kFunc);
      return 0;
    }
  }
  if (check_crl_gost2001(crl) < 0) {
    log_err("%s() 9 : Gost R 34.10-2001 not allowed for CRLs", kFunc);
    return -1;
  }
  return 1;
}

}  // namespace

int verify_crl(X509_CRL* crl, X509_STORE_CTX* ctx, time_t at) {
  static const char kFunc[] = "verify_crl";
  dbg("%s() begin, crl = 0x%p, ctx = 0x%p", kFunc, static_cast<void*>(crl),
      static_cast<void*>(ctx));
  X509* issuer_raw = nullptr;
  int rc = -1;
  if (crl == nullptr || X509_STORE_get_ca_cert_for_crl(ctx, crl, &issuer_raw) != 1) {
    log_err("%s() 1 : getting the certificate of the crl-issuer failed", kFunc);
  } else {
    orvel::X509Ptr issuer(issuer_raw);
    rc = check_crl_of(crl, issuer.get(), at);
  }
  dbg("%s() end, return code = %d", kFunc, rc);
  return rc;
}

int verify_crl_by_issuer(X509_CRL* crl, X509* issuer, time_t at) {
  static const char kFunc[] = "verify_crl";
  dbg("%s() begin, crl = 0x%p, issuer = 0x%p", kFunc, static_cast<void*>(crl),
      static_cast<void*>(issuer));
  const int rc = crl != nullptr ? check_crl_of(crl, issuer, at) : -1;
  dbg("%s() end, return code = %d", kFunc, rc);
  return rc;
}

bool crl_signed_by(X509_CRL* crl, X509* issuer) {
  EVP_PKEY* key = crl && issuer ? X509_get0_pubkey(issuer) : nullptr;
  ERR_set_mark();
  const bool ok = key != nullptr && X509_CRL_verify(crl, key) == 1;
  ERR_pop_to_mark();
  return ok;
}

bool is_delta_crl(const X509_CRL* crl) {
  return X509_CRL_get_ext_by_NID(crl, NID_delta_crl, -1) >= 0;
}

std::string crl_unprocessed_critical(const X509_CRL* crl) {
  const STACK_OF(X509_EXTENSION)* exts = X509_CRL_get0_extensions(crl);
  std::string oid = first_unprocessed_critical(
      sk_X509_EXTENSION_num(exts), [exts](int i) { return sk_X509_EXTENSION_value(exts, i); },
      {NID_authority_key_identifier, NID_crl_number, NID_delta_crl, NID_issuing_distribution_point,
       NID_freshest_crl});
  STACK_OF(X509_REVOKED)* revoked = X509_CRL_get_REVOKED(const_cast<X509_CRL*>(crl));
  for (int i = 0; oid.empty() && i < sk_X509_REVOKED_num(revoked); ++i) {
    const STACK_OF(X509_EXTENSION)* entry =
        X509_REVOKED_get0_extensions(sk_X509_REVOKED_value(revoked, i));
    // Only the reason is read of an entry; a certificate issuer (of an
    // indirect CRL) is not.
    oid = first_unprocessed_critical(sk_X509_EXTENSION_num(entry),
                                     [entry](int j) { return sk_X509_EXTENSION_value(entry, j); },
                                     {NID_crl_reason});
  }
  return oid;
}

std::vector<std::string> crl_sought_at(X509* x509, X509* issuer) {
  std::vector<std::string> urls;
  ERR_set_mark();
  DistPointsPtr points(issuer != nullptr
                           ? static_cast<STACK_OF(DIST_POINT)*>(X509_get_ext_d2i(
                                 issuer, NID_crl_distribution_points, nullptr, nullptr))
                           : nullptr);
  ERR_pop_to_mark();
  for_each_uri(points.get(), [&urls](const ASN1_IA5STRING* uri, int, int) {
    urls.emplace_back(reinterpret_cast<const char*>(ASN1_STRING_get0_data(uri)),
                      static_cast<size_t>(ASN1_STRING_length(uri)));
  });
  if (const char* url = default_url_for(x509)) urls.emplace_back(url);
  return urls;
}

CrlScope crl_scope_for(X509_CRL* crl, X509* x509, const std::vector<std::string>& sought_at) {
  int crit = 0;
  ERR_set_mark();
  IssuingDistPointPtr idp(static_cast<ISSUING_DIST_POINT*>(
      X509_CRL_get_ext_d2i(crl, NID_issuing_distribution_point, &crit, nullptr)));
  const bool is_ca = (X509_get_extension_flags(x509) & EXFLAG_CA) != 0;
  ERR_pop_to_mark();
  // An unreadable or doubled scope covers nothing.
  if (!idp && crit != -1) return CrlScope::kOutside;
  if (idp && (idp->onlyattr > 0 || idp->onlysomereasons != nullptr ||
              (is_ca && idp->onlyuser > 0) || (!is_ca && idp->onlyCA > 0)))
    return CrlScope::kOutside;
  return scope_by_points(x509, crl, idp ? idp->distpoint : nullptr, sought_at);
}

bool revoked_by_crls(const ASN1_INTEGER* serial, X509_CRL* crl,
                     const std::vector<X509_CRL*>& deltas, bool deltas_may_release) {
  bool released = false;
  for (X509_CRL* delta : deltas) {
    const Entry e = entry_of(delta, serial);
    if (e == Entry::kHold || e == Entry::kRevoked) return true;
    if (e == Entry::kRemoved && deltas_may_release && delta_follows(delta, crl)) released = true;
  }
  const Entry e = entry_of(crl, serial);
  return e == Entry::kHold ? !released : e != Entry::kNone;
}

std::vector<IssuerCrl> issuer_crls(X509* x509, X509* issuer, STACK_OF(X509_CRL) * crls,
                                   const char* func, const char* unsigned_step,
                                   const char* outside_step) {
  std::vector<IssuerCrl> out;
  const std::vector<std::string> sought_at = crl_sought_at(x509, issuer);
  for (int i = 0; i < sk_X509_CRL_num(crls); ++i) {
    X509_CRL* crl = sk_X509_CRL_value(crls, i);
    if (crl == nullptr || !same_issuer(crl, x509)) continue;
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
            name_text(X509_CRL_get_issuer(crl)).c_str(),
            name_text(X509_get_subject_name(x509)).c_str());
  }
  return out;
}

bool names_delta_crl(const X509_CRL* crl) {
  return X509_CRL_get_ext_by_NID(crl, NID_freshest_crl, -1) >= 0;
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
              name_text(X509_CRL_get_issuer(c.crl)).c_str(), refusal.c_str());
    }
    if (!cleared) return 0;
    return 1;
  }();
  dbg("%s() end, return code = %d", kFunc, rc);
  return rc;
}
