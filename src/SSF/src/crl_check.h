// Revocation checks of certificates against CRLs.
#ifndef ORVEL_SSF_CRL_CHECK_H
#define ORVEL_SSF_CRL_CHECK_H

#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <ctime>
#include <string>
#include <vector>

#include "list.h"

// Revocation status of a certificate from a CRL downloaded now (from its
// distribution points, its issuer's, or the configured default URL),
// completed by a delta CRL when the CRL names one. 1 not revoked, 0 revoked
// or the CRL not valid, -1 no usable CRL or an error. A CRL (or delta CRL)
// counts only when its signer holds the key of the certificate's issuer:
// the next certificate of ctx's verified chain, else the store certificate
// whose key verifies the certificate. 1 needs a CRL, and a delta CRL when
// the CRL names one, that may clear the certificate: a delta that is not
// valid, is not a delta continuing the CRL in its scope, or either with an
// unprocessed critical extension, may revoke, but otherwise gives -1. On 1
// copies of the CRL and of the delta CRL used go to the out pointers that
// are given.
int check_for_revocation(X509* x509, X509_STORE_CTX* ctx, const list_head* protos,
                         X509_CRL** crl_out, X509_CRL** delta_out);

// Checks one CRL at a time (0 means now): its issuer's signature from the
// store, lastUpdate and nextUpdate. 1 valid, 0 not valid, -1 not checkable
// (also when the issuer's key usage leaves out cRLSign).
int verify_crl(X509_CRL* crl, X509_STORE_CTX* ctx, time_t at);

// The same checks with the issuing CA given (the issuer that a verified
// chain established) instead of looked up in a store.
int verify_crl_by_issuer(X509_CRL* crl, X509* issuer, time_t at);

// Whether the CRL's signature verifies with the issuer's key.
bool crl_signed_by(X509_CRL* crl, X509* issuer);
// Whether a CRL is a delta CRL (deltaCRLIndicator): it lists only the
// changes since its base and never decides a status alone.
bool is_delta_crl(const X509_CRL* crl);

// What a CRL speaks for of a certificate, by its scope (its
// issuingDistributionPoint) and the certificate's distribution points.
enum class CrlScope {
  // Nothing: a CRL of CA certificates only for an end certificate, of end
  // certificates only for a CA, of attribute certificates, of some reasons
  // only (onlySomeReasons), or of a distribution point that the
  // certificate does not name (another part of the CA's list). For a
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

// A CRL of a certificate's issuer, with what its scope takes in of the
// certificate.
struct IssuerCrl {
  X509_CRL* crl;
  CrlScope scope;
};

// The CRLs among crls of the certificate's issuer name, in order, that the
// issuer signed (any, when issuer is null; a CA of the same name with
// another key, which a signature may carry, speaks for nobody) and whose
// scope takes the certificate in (crl_scope_for, sought at crl_sought_at).
// Every other CRL of that name is reported as ignored, in an ERROR line of
// func with the step given (not signed by the issuer, out of scope).
std::vector<IssuerCrl> issuer_crls(X509* x509, X509* issuer, STACK_OF(X509_CRL) * crls,
                                   const char* func, const char* unsigned_step,
                                   const char* outside_step);

// The URLs, besides the certificate's own distribution points, at which its
// CRL is sought: its issuer's distribution points (issuer may be null) and
// the configured default URL for its signature algorithm. A stored CRL is
// taken to come from one of them or from the certificate's points.
std::vector<std::string> crl_sought_at(X509* x509, X509* issuer);

// The dotted object identifier of the first critical extension of the CRL,
// or of one of its entries, that this library does not process; "" when
// there is none. Such a CRL may revoke, but never shows a certificate
// unrevoked.
std::string crl_unprocessed_critical(const X509_CRL* crl);

// Whether the certificate with this serial number stands revoked by a
// complete CRL read with delta CRLs of the same issuer. An entry of the
// complete CRL revokes, and so does every delta entry but one with reason
// removeFromCRL: the certificate left the list. That entry never revokes;
// it releases a hold (certificateHold) of the complete CRL when the deltas
// may release (their signatures verified with the issuer's key) and the
// delta follows the complete CRL (its base no newer, its number higher,
// one scope, no unprocessed critical extension).
bool revoked_by_crls(const ASN1_INTEGER* serial, X509_CRL* crl,
                     const std::vector<X509_CRL*>& deltas, bool deltas_may_release);

// Whether a CRL names a delta CRL (freshestCRL).
bool names_delta_crl(const X509_CRL* crl);

// Why a complete CRL of the certificate's issuer may not show the
// certificate unrevoked, for the trace log ("" when it may): its scope
// takes the certificate in for some reasons only, it has an unprocessed
// critical extension, or it names a delta CRL and none of deltas (the
// valid delta CRLs at hand) follows it. Such a CRL may still revoke.
std::string crl_refusal(X509_CRL* crl, CrlScope scope, const std::vector<X509_CRL*>& deltas);

// 1 when every CRL of the certificate's issuer among crls is valid at the
// time and none lists the certificate (a hold may be released by a delta
// CRL); else 0. With issuer given (the certificate's issuer in a verified
// chain) only the CRLs that issuer signed count, and each is checked with
// it; without it no delta CRL releases a hold. A CRL whose scope leaves the
// certificate out counts as none. Every CRL may revoke, but 1 needs a
// complete CRL that crl_refusal lets show the certificate unrevoked.
int check_revoked_crl(X509* x509, STACK_OF(X509_CRL) * crls, X509_STORE* store, time_t at,
                      X509* issuer = nullptr);

// The first certificate of the store whose subject is the CRL's issuer and
// that satisfies the CRL's authority key identifier: 1 with a reference in
// *out, -1 when the store has none. When the CRL names no key identifier,
// the first of them whose key verifies the CRL comes before the others.
int X509_STORE_get_ca_cert_for_crl(X509_STORE_CTX* ctx, X509_CRL* crl, X509** out);

// The toolkit's text of its most recent error ("" when none).
const char* toolkit_error_text();

#endif
