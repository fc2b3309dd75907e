// The revocation check of a certificate by a CRL downloaded now: from its
// distribution points, its issuer's, or the configured default URL,
// completed by the delta CRL that the CRL names.
#ifndef ORVEL_SSF_CRL_CHECK_H
#define ORVEL_SSF_CRL_CHECK_H

#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include "list.h"

// 1 not revoked, 0 revoked or the CRL not valid, -1 no usable CRL or an
// error. A CRL (or delta CRL) counts only when its signer holds the key of
// the certificate's issuer: the next certificate of ctx's verified chain,
// else the store certificate whose key verifies the certificate. 1 needs a
// CRL, and a delta CRL when the CRL names one, that may clear the
// certificate: a delta that is not valid, is not a delta continuing the
// CRL in its scope, or either with an unprocessed critical extension, may
// revoke, but otherwise gives -1. On 1 copies of the CRL and of the delta
// CRL used go to the out pointers that are given.
int check_for_revocation(X509* x509, X509_STORE_CTX* ctx, const list_head* protos,
                         X509_CRL** crl_out, X509_CRL** delta_out);

#endif
