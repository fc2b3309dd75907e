// The status of one certificate of a signer's chain at the signature time,
// decided on the revocation values stored in the signature.
#ifndef ORVEL_SSF_VERIFY_ENH_STATUS_H
#define ORVEL_SSF_VERIFY_ENH_STATUS_H

#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <ctime>

#include "cades_revocation_types.h"

// 0 when the stored OCSP answer (for a certificate naming a responder) or
// the stored CRL of its issuer shows cert good at the time; -1 without a
// time or store; else a result code (27, 105, 106, 107, 110). issuer is
// cert's issuer in the verified chain: only CRLs it signed count. With the
// OCSP issuer checks off, the responder's chain must end at a certificate
// that find_certificate_in_trusted_root accepts with the trusted list.
int get_cert_status(X509* cert, X509* issuer, const time_t* at, REVOCATION_VALUES* vals,
                    X509_STORE* store, STACK_OF(X509) * sig_certs, STACK_OF(X509) * trusted);

#endif
