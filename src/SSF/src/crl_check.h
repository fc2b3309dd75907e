// Revocation checks of certificates against CRLs.
#ifndef ORVEL_SSF_CRL_CHECK_H
#define ORVEL_SSF_CRL_CHECK_H

#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <ctime>

#include "list.h"

// Revocation status of a certificate from a CRL downloaded now (from its
// distribution points, its issuer's, or the configured default URL),
// completed by a delta CRL when the CRL names one. 1 not revoked, 0 revoked
// or the CRL not valid, -1 no usable CRL or an error. On 1 copies of the
// CRL and of the delta CRL used go to the out pointers that are given.
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

// 1 when every CRL of the certificate's issuer among crls is valid at the
// time and none lists the certificate; else 0. With issuer given (the
// certificate's issuer in a verified chain) only the CRLs that issuer
// signed count, and each is checked with it.
int check_revoked_crl(X509* x509, STACK_OF(X509_CRL) * crls, X509_STORE* store, time_t at,
                      X509* issuer = nullptr);

// The first certificate of the store whose subject is the CRL's issuer and
// that satisfies the CRL's authority key identifier: 1 with a reference in
// *out, -1 when the store has none.
int X509_STORE_get_ca_cert_for_crl(X509_STORE_CTX* ctx, X509_CRL* crl, X509** out);

// The toolkit's text of its most recent error ("" when none).
const char* toolkit_error_text();

#endif
