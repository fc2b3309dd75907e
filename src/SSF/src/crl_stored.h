// CRLs at hand for one certificate (stored in a signature, or carried with
// a time-stamp token): what those of its issuer say of it at a time, read
// by one rule whatever their order. Also the rule, shared with the
// download, whether a complete CRL may show a certificate unrevoked.
#ifndef ORVEL_SSF_CRL_STORED_H
#define ORVEL_SSF_CRL_STORED_H

#include <openssl/x509.h>

#include <ctime>
#include <string>
#include <vector>

#include "crl_scope.h"

// Why a complete CRL of the certificate's issuer may not show the
// certificate unrevoked, for the trace log ("" when it may): its scope
// takes the certificate in for some reasons only, it is flagged as an
// indirect CRL, it has an unprocessed critical extension, or it names a
// delta CRL and none of deltas (the valid delta CRLs at hand) follows it.
// Such a CRL may still revoke.
std::string crl_refusal(X509_CRL* crl, CrlScope scope, const std::vector<X509_CRL*>& deltas);

// What the stored CRLs say of a certificate.
enum class StoredCrlStatus { kClear, kRevoked, kNoneClears };

// The road that reads stored CRLs, for its trace lines: the signer's chain
// of an enhanced signature, a time-stamp authority's chain, or the
// enhancement judging the CRLs it is about to store as the signer's chain
// will.
enum class StoredCrlRoad { kSignerChain, kAuthorityChain, kToStore };

// The status of a certificate at a time by the stored CRLs of its issuer.
// A CRL counts only when it is of the issuer's name, signed with the
// issuer's key (issuer given: the certificate's issuer in a verified
// chain; null: the CA the store ctx finds for the CRL, and then no delta
// releases a hold) and current at the time (verify_stored_crl). Every such
// CRL that lists the certificate revokes it, whatever its scope, but for a
// hold that a delta following that CRL releases (revoked_by_crls). Else the
// certificate is clear when one such complete CRL may clear it
// (crl_refusal). The order of crls changes nothing.
StoredCrlStatus stored_crl_status(X509* x509, X509* issuer, STACK_OF(X509_CRL) * crls, time_t at,
                                  X509_STORE_CTX* ctx, StoredCrlRoad road);

// 1 when the stored CRLs show the certificate unrevoked at the time
// (stored_crl_status), else 0.
int check_revoked_crl(X509* x509, STACK_OF(X509_CRL) * crls, X509_STORE* store, time_t at,
                      X509* issuer = nullptr);

#endif
