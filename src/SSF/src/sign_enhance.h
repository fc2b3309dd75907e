// CAdES enhancement of new signatures of the formats "PKCS7_CADES" and
// "CADES_XLT1" (signature time stamp, references and values).
#ifndef ORVEL_SSF_SIGN_ENHANCE_H
#define ORVEL_SSF_SIGN_ENHANCE_H

#include <openssl/pkcs7.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include "orvel_ssf.h"

// Loads the configured CA file into the store; 0 on success or without a
// CA file, -1 on failure.
int AddCACertsToStore(X509* cert, X509_STORE* store);

// Enhances one SignerInfo; 0 or a result code.
int EnhanceSignature(PKCS7* p7, PKCS7_SIGNER_INFO* si, X509* cert, X509_STORE* store);

// Enhances every SignerInfo i with certificate i, each in its own copy of
// the store of trusted certificates; a failing signer's record i gets its
// code. 0, or 5 when any failed.
int EnhanceAllSignatures(PKCS7* p7, STACK_OF(X509) * certs, SigRcpSsfInformationList signers,
                         X509_STORE* store);

#endif
