// The stored certificates of an enhanced signature and the agreement of its
// references with its values.
#ifndef ORVEL_SSF_VERIFY_ENH_CERTS_H
#define ORVEL_SSF_VERIFY_ENH_CERTS_H

#include <openssl/pkcs7.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include "cades_revocation_types.h"

// The certificates of the certValues attribute as a new list and a new
// store holding them, and the signer's certificate among them (a counted
// reference, null when none). 1, or 116 without a decodable certValues.
int LoadCertificates(STACK_OF(X509) * *list, X509_STORE** store, X509** signer,
                     PKCS7_SIGNER_INFO* si);

// 0 when every CRL, OCSP and certificate reference has its value; else 119.
int check_rev_and_cert_refs_and_vals(PKCS7_SIGNER_INFO* si);

// 1 when the CRL identifier names the CRL (hash, and issuer, issue time and
// number where given).
int crlid_and_crl_match(CRL_VALIDATED_ID* id, X509_CRL* crl);

// The decoded revocation values attribute, or null.
REVOCATION_VALUES* enhance_get_revocation_values(PKCS7_SIGNER_INFO* si);

#endif
