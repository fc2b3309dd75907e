#include "crl_scope.h"

#include <openssl/err.h>

#include <algorithm>
#include <string_view>

#include "settings.h"
#include "url_text.h"

namespace {

using IssuingDistPointPtr =
    std::unique_ptr<ISSUING_DIST_POINT, orvel::Free<ISSUING_DIST_POINT, ISSUING_DIST_POINT_free>>;

std::string_view uri_text(const GENERAL_NAME* gn) {
  const ASN1_IA5STRING* uri = gn->d.uniformResourceIdentifier;
  return std::string_view(reinterpret_cast<const char*>(ASN1_STRING_get0_data(uri)),
                          static_cast<size_t>(ASN1_STRING_length(uri)));
}

// A URL with its scheme and host in lower case: RFC 5280 (7.4) compares
// those without regard to case, and everything else as it stands.
std::string folded_url(std::string_view url) {
  std::string out(url);
  auto lower = [&out](size_t from, size_t to) {
    for (size_t i = from; i < to; ++i)
      if (out[i] >= 'A' && out[i] <= 'Z') out[i] = static_cast<char>(out[i] - 'A' + 'a');
  };
  const size_t colon = out.find(':');
  if (colon == std::string::npos) return out;
  lower(0, colon);
  if (out.compare(colon + 1, 2, "//") != 0) return out;
  const size_t start = colon + 3;
  const size_t end = orvel::authority_end(out, start);
  // The host follows the user information, which keeps its case.
  const size_t at = orvel::userinfo_end(out, start, end);
  lower(at != std::string::npos ? at + 1 : start, end);
  return out;
}

bool same_url(std::string_view a, std::string_view b) {
  return a == b || (a.size() == b.size() && folded_url(a) == folded_url(b));
}

// Whether two general names are one name; URLs as same_url has them.
bool same_general_name(GENERAL_NAME* a, GENERAL_NAME* b) {
  if (a->type == GEN_URI && b->type == GEN_URI) return same_url(uri_text(a), uri_text(b));
  return GENERAL_NAME_cmp(a, b) == 0;
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
      if (same_general_name(sk_GENERAL_NAME_value(a->name.fullname, i),
                            sk_GENERAL_NAME_value(b->name.fullname, j)))
        return true;
  return false;
}

// Whether a distribution point name is a full name with one of the URLs.
bool names_url(const DIST_POINT_NAME* point, const std::vector<std::string>& urls) {
  if (point->type != 0) return false;
  for (int i = 0; i < sk_GENERAL_NAME_num(point->name.fullname); ++i) {
    const GENERAL_NAME* gn = sk_GENERAL_NAME_value(point->name.fullname, i);
    if (gn->type != GEN_URI) continue;
    const std::string_view text = uri_text(gn);
    if (std::any_of(urls.begin(), urls.end(),
                    [text](const std::string& url) { return same_url(text, url); }))
      return true;
  }
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
// the list names its own. A point that names a CRL issuer takes no CRL of
// the CA in.
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
    if (point_names_crl_issuer(dp)) continue;
    served = true;
    whole = whole || !some_reasons_only(dp);
  }
  ERR_pop_to_mark();
  if (!names_points)
    return point == nullptr || names_url(point, sought_at) ? CrlScope::kWhole : CrlScope::kOutside;
  if (!served && point != nullptr) return CrlScope::kOutside;
  if (!served) {
    // Sought elsewhere (the issuer's point, the default URL): it may stand
    // for any of the certificate's points that the CA serves itself;
    // unreadable points have none.
    bool direct = false;
    whole = !points;
    for (int i = 0; i < sk_DIST_POINT_num(points.get()); ++i) {
      const DIST_POINT* dp = sk_DIST_POINT_value(points.get(), i);
      if (point_names_crl_issuer(dp)) continue;
      direct = true;
      whole = whole || !some_reasons_only(dp);
    }
    if (sk_DIST_POINT_num(points.get()) > 0 && !direct) return CrlScope::kOutside;
  }
  return whole ? CrlScope::kWhole : CrlScope::kSomeReasons;
}

// The DER of a CRL's issuingDistributionPoint; null when it has none.
const ASN1_OCTET_STRING* scope_of(X509_CRL* crl) {
  const int i = X509_CRL_get_ext_by_NID(crl, NID_issuing_distribution_point, -1);
  return i >= 0 ? X509_EXTENSION_get_data(X509_CRL_get_ext(crl, i)) : nullptr;
}

}  // namespace

bool point_names_crl_issuer(const DIST_POINT* dp) {
  return dp != nullptr && dp->CRLissuer != nullptr;
}

bool every_point_names_crl_issuer(X509* x509) {
  ERR_set_mark();
  DistPointsPtr points(static_cast<STACK_OF(DIST_POINT)*>(
      X509_get_ext_d2i(x509, NID_crl_distribution_points, nullptr, nullptr)));
  ERR_pop_to_mark();
  const int n = sk_DIST_POINT_num(points.get());
  for (int i = 0; i < n; ++i)
    if (!point_names_crl_issuer(sk_DIST_POINT_value(points.get(), i))) return false;
  return n > 0;
}

bool some_reasons_only(const DIST_POINT* dp) {
  if (dp == nullptr || dp->reasons == nullptr) return false;
  for (int bit = 1; bit <= 8; ++bit)
    if (!ASN1_BIT_STRING_get_bit(dp->reasons, bit)) return true;
  return false;
}

bool signed_with_gost2012(X509* x509) {
  const int nid = X509_get_signature_nid(x509);
  return nid == NID_id_tc26_signwithdigest_gost3410_2012_256 ||
         nid == NID_id_tc26_signwithdigest_gost3410_2012_512;
}

const char* default_url_for(X509* x509) {
  const char* url = signed_with_gost2012(x509) ? default_crl_url_2012 : default_crl_url;
  return url != nullptr && *url != '\0' ? url : nullptr;
}

std::vector<std::string> crl_sought_at(X509* x509, X509* issuer) {
  std::vector<std::string> urls;
  for (X509* cert : {x509, issuer}) {
    ERR_set_mark();
    DistPointsPtr points(cert != nullptr ? static_cast<STACK_OF(DIST_POINT)*>(X509_get_ext_d2i(
                                               cert, NID_crl_distribution_points, nullptr, nullptr))
                                         : nullptr);
    ERR_pop_to_mark();
    for_each_uri(points.get(), [&urls](const ASN1_IA5STRING* uri, int, int) {
      urls.emplace_back(reinterpret_cast<const char*>(ASN1_STRING_get0_data(uri)),
                        static_cast<size_t>(ASN1_STRING_length(uri)));
    });
  }
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

bool same_scope(X509_CRL* a, X509_CRL* b) {
  const ASN1_OCTET_STRING* a_scope = scope_of(a);
  const ASN1_OCTET_STRING* b_scope = scope_of(b);
  if (a_scope == nullptr || b_scope == nullptr) return a_scope == b_scope;
  return ASN1_OCTET_STRING_cmp(a_scope, b_scope) == 0;
}

bool crl_is_indirect(X509_CRL* crl) {
  if (scope_of(crl) == nullptr) return false;
  ERR_set_mark();
  IssuingDistPointPtr idp(static_cast<ISSUING_DIST_POINT*>(
      X509_CRL_get_ext_d2i(crl, NID_issuing_distribution_point, nullptr, nullptr)));
  ERR_pop_to_mark();
  return !idp || idp->indirectCRL > 0;
}
