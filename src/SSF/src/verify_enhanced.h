// Verification of enhanced CAdES signatures (time stamps, references and
// values), which verification hands a SignerInfo to when it carries them.
#ifndef ORVEL_SSF_VERIFY_ENHANCED_H
#define ORVEL_SSF_VERIFY_ENHANCED_H

#include <openssl/bio.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

// 0 when the enhanced signature is valid, else a result code. bio is the
// content chain after all content was read through it; trusted may be null.
int VerifyEnhancedSignature(BIO* bio, PKCS7* p7, PKCS7_SIGNER_INFO* si, STACK_OF(X509) * trusted);

#endif
