// Builders of the two signing-certificate attributes of CAdES signatures:
// id-smime-aa-ets-otherSigCert (OTHERSIGCERT) and signingCertificateV2
// (ESSCERTIDV2), each naming one certificate by the digest of its DER and by
// its issuer and serial number.
#ifndef ORVEL_BREKSSL_PKCS7_ESS_ATTRIBUTES_H
#define ORVEL_BREKSSL_PKCS7_ESS_ATTRIBUTES_H

#include <openssl/evp.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include "pkcs7/ess_types.h"

// Digests the DER of the whole certificate with md and stores the digest in
// out. 1 on success, 0 on failure.
int hash_cert(const X509* cert, const EVP_MD* md, ASN1_OCTET_STRING* out);

// A new OTHERCERTID for cert: digest algorithm of md (parameters absent),
// digest of the certificate, issuer as one directoryName and the serial.
// Null on any failure (nothing is left allocated).
OTHERCERTID* PKCS7_make_other_cert_id(const X509* cert, const EVP_MD* md);

// An OTHERSIGCERT naming cert; null when an argument is null or on failure.
OTHERSIGCERT* PKCS7_make_otherSigCert_attribute(const X509* cert, const EVP_MD* md);

// Adds the otherSigCert attribute as a signed attribute of si; an existing
// attribute of that type is replaced in place. 1 on success, 0 on failure.
int PKCS7_add_otherSigCert_attribute(PKCS7_SIGNER_INFO* si, const X509* cert, const EVP_MD* md);

// An ESSCERTIDV2 naming cert; null when an argument is null or on failure.
ESSCERTIDV2* PKCS7_make_SigCertV2_attribute(const X509* cert, const EVP_MD* md);

// Appends a signingCertificateV2 attribute (1.2.840.113549.1.9.16.2.47) to the
// signed attributes of si, creating the list when there is none. An existing
// attribute of that type stays: a second call leaves two. 1 on success, 0 on
// failure.
int PKCS7_add_ESSSigningCertV2_attribute(PKCS7_SIGNER_INFO* si, const X509* cert,
                                         const EVP_MD* md);

#endif
