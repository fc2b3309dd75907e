// What a CRL speaks for: its scope (issuingDistributionPoint) held against
// a certificate's distribution points and the URLs where its CRL is sought,
// and the readers of distribution points that the download shares.
#ifndef ORVEL_SSF_CRL_SCOPE_H
#define ORVEL_SSF_CRL_SCOPE_H

#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>
#include <string>
#include <vector>

#include "ossl_ptr.h"

using DistPointsPtr =
    std::unique_ptr<STACK_OF(DIST_POINT), orvel::Free<STACK_OF(DIST_POINT), CRL_DIST_POINTS_free>>;

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

// Whether a distribution point serves CRLs of some revocation reasons only:
// its reasons field leaves out one of keyCompromise to aACompromise.
bool some_reasons_only(const DIST_POINT* dp);

// Whether a distribution point is served by another authority than the
// certificate's CA (cRLIssuer): only that authority's indirect CRL speaks
// for the certificates of such a point, and this library never lets an
// indirect CRL show a certificate unrevoked.
bool point_names_crl_issuer(const DIST_POINT* dp);

// Whether the certificate names distribution points and every one of them
// names a CRL issuer (cRLIssuer): no CRL of its CA may then show it
// unrevoked.
bool every_point_names_crl_issuer(X509* x509);

// What a CRL speaks for of a certificate, by its scope (its
// issuingDistributionPoint) and the certificate's distribution points.
enum class CrlScope {
  // Nothing: a CRL of CA certificates only for an end certificate, of end
  // certificates only for a CA, of attribute certificates, of some reasons
  // only (onlySomeReasons), or of a distribution point that the
  // certificate does not name (another part of the CA's list) or that names
  // a CRL issuer (served by that issuer's indirect CRL). For a
  // certificate that names no point, the CRL's point must be one of the
  // URLs at which its CRL is sought.
  kOutside,
  // The certificate, for some revocation reasons only: the CRL is served by
  // points of the certificate whose reasons field names some reasons only.
  // It may revoke, but shows nothing unrevoked.
  kSomeReasons,
  kWhole,
};
// sought_at: the URLs where the CRL was sought (where it came from, or
// crl_sought_at for a stored CRL).
CrlScope crl_scope_for(X509_CRL* crl, X509* x509, const std::vector<std::string>& sought_at);

// The URLs at which a certificate's CRL is sought: its own distribution
// points, its issuer's (issuer may be null) and the configured default URL
// for its signature algorithm. A stored CRL may have come from any of them,
// so one without a scope of its own stands for every point of the
// certificate that one of them names.
std::vector<std::string> crl_sought_at(X509* x509, X509* issuer);

// Whether the certificate is signed with GOST R 34.10-2012 (either size).
bool signed_with_gost2012(X509* x509);

// The configured default CRL URL for the certificate's signature algorithm,
// or null.
const char* default_url_for(X509* x509);

// Whether two CRLs have one scope: the same issuingDistributionPoint, or
// none.
bool same_scope(X509_CRL* a, X509_CRL* b);

// Whether the CRL's scope flags it as an indirect CRL (indirectCRL), or
// cannot be read: its entries may be of another CA's certificates.
bool crl_is_indirect(X509_CRL* crl);

#endif
