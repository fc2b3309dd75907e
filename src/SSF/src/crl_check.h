// Revocation checks of certificates against CRLs.
#ifndef ORVEL_SSF_CRL_CHECK_H
#define ORVEL_SSF_CRL_CHECK_H

#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <ctime>
#include <vector>

#include "list.h"

// Revocation status of a certificate from a CRL downloaded now (from its
// distribution points, its issuer's, or the configured default URL),
// completed by a delta CRL when the CRL names one. 1 not revoked, 0 revoked
// or the CRL not valid, -1 no usable CRL or an error. A CRL (or delta CRL)
// counts only when its signer holds the key of the certificate's issuer:
// the next certificate of ctx's verified chain, else the store certificate
// whose key verifies the certificate. On 1 copies of the CRL and of the
// delta CRL used go to the out pointers that are given.
int check_for_revocation(X509* x509, X509_STORE_CTX* ctx, const list_head* protos,
                         X509_CRL** crl_out, X509_CRL** delta_out);

// Checks one CRL at a time (0 means now): its issuer's signature from the
// store, lastUpdate and nextUpdate. 1 valid, 0 not valid, -1 not checkable.
int verify_crl(X509_CRL* crl, X509_STORE_CTX* ctx, time_t at);

// The same checks with the issuing CA given (the issuer that a verified
// chain established) instead of looked up in a store.
int verify_crl_by_issuer(X509_CRL* crl, X509* issuer, time_t at);

// Whether the CRL's signature verifies with the issuer's key.
bool crl_signed_by(X509_CRL* crl, X509* issuer);
// Whether a CRL is a delta CRL (deltaCRLIndicator): it lists only the
// changes since its base and never decides a status alone.
bool is_delta_crl(const X509_CRL* crl);

// Whether the CRL's scope (its issuingDistributionPoint) takes in the
// certificate. A CRL of CA certificates only says nothing of an end
// certificate, nor one of end certificates only of a CA; one of attribute
// certificates or of some revocation reasons only shows no certificate
// unrevoked; one of a distribution point that the certificate does not
// name (when it names any) is another part of the CA's list.
bool crl_covers(X509_CRL* crl, X509* x509);

// Whether the certificate with this serial number stands revoked by a
// complete CRL read with delta CRLs of the same issuer. An entry of the
// complete CRL revokes, and so does every delta entry but one with reason
// removeFromCRL: the certificate left the list. That entry never revokes;
// it releases a hold (certificateHold) of the complete CRL when the deltas
// may release (their signatures verified with the issuer's key) and the
// delta follows the complete CRL (its base no newer, its number higher).
bool revoked_by_crls(const ASN1_INTEGER* serial, X509_CRL* crl,
                     const std::vector<X509_CRL*>& deltas, bool deltas_may_release);

// 1 when every CRL of the certificate's issuer among crls is valid at the
// time and none lists the certificate (a hold may be released by a delta
// CRL); else 0. With issuer given (the certificate's issuer in a verified
// chain) only the CRLs that issuer signed count, and each is checked with
// it; without it no delta CRL releases a hold. A CRL whose scope leaves the
// certificate out counts as none.
int check_revoked_crl(X509* x509, STACK_OF(X509_CRL) * crls, X509_STORE* store, time_t at,
                      X509* issuer = nullptr);

// The first certificate of the store whose subject is the CRL's issuer and
// that satisfies the CRL's authority key identifier: 1 with a reference in
// *out, -1 when the store has none.
int X509_STORE_get_ca_cert_for_crl(X509_STORE_CTX* ctx, X509_CRL* crl, X509** out);

// The toolkit's text of its most recent error ("" when none).
const char* toolkit_error_text();

#endif
