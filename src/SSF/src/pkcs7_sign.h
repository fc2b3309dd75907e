// Pieces of a new SignerInfo: the digest a signer's key type requires, the
// SignerInfo with its type-dependent signed attributes, and the
// certificates that go with it.
#ifndef ORVEL_SSF_PKCS7_SIGN_H
#define ORVEL_SSF_PKCS7_SIGN_H

#include <openssl/evp.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

// The digest of a signer's key: GOST R 34.11-2012 (256 or 512 bits) for
// GOST R 34.10-2012 keys, GOST R 34.11-94 for GOST R 34.10-2001 keys (null
// with *refused set from the GOST R 34.10-2001 cut-off on), SHA-1 for any
// other key. Null also while a GOST digest is not registered.
const EVP_MD* ssf_signing_digest(EVP_PKEY* key, bool* refused);

// Adds a SignerInfo for cert and key with the digest md and its signed
// attributes: signingCertificateV2 for types 3 and 4, the profile's signing
// time when common:use_profile_timestamp is on. Null on failure.
PKCS7_SIGNER_INFO* SSF_PKCS7_add_signature(PKCS7* p7, X509* cert, EVP_PKEY* key, const EVP_MD* md,
                                           const char* profile, int type);

// Adds the contentType (id-data) signed attribute; 1 on success.
int ssf_add_content_type(PKCS7_SIGNER_INFO* si);

// With bIncCerts: the chain the certificate check built (the signer's own
// first) when there is one, else the signer's certificate. 1 on success.
int ssf_add_signer_certs(PKCS7* p7, X509* cert, STACK_OF(X509) * chain);

#endif
