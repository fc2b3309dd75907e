// CRLs at hand for one certificate (stored in a signature, or carried with
// a time-stamp token): which of them are of its issuer, and what they say
// of it at a time. Also the rule, shared with the download, whether a
// complete CRL may show a certificate unrevoked.
#ifndef ORVEL_SSF_CRL_STORED_H
#define ORVEL_SSF_CRL_STORED_H

#include <openssl/x509.h>

#include <ctime>
#include <string>
#include <vector>

#include "crl_scope.h"

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

#endif
