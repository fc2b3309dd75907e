// Verification of enhanced CAdES signatures (time stamps, references and
// values), which verification hands a SignerInfo to when it carries them.
#ifndef ORVEL_SSF_VERIFY_ENHANCED_H
#define ORVEL_SSF_VERIFY_ENHANCED_H

#include <openssl/asn1.h>
#include <openssl/bio.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

// 0 when the enhanced signature is valid, else a result code. bio is the
// content chain after all content was read through it; trusted may be null.
int VerifyEnhancedSignature(BIO* bio, PKCS7* p7, PKCS7_SIGNER_INFO* si, STACK_OF(X509) * trusted);

// The attribute checks of an enhanced SignerInfo at the time (the signature
// time stamp's genTime when null). With skip_timestamps (the SignerInfo of
// an archive token) the signature and ES-C stamps are neither demanded nor
// checked. 0 or a result code.
int VerifyEnhancedSignatureAttributes(PKCS7_SIGNER_INFO* si, int skip_timestamps,
                                      STACK_OF(X509) * trusted, const ASN1_GENERALIZEDTIME* at);

// verify_signature_timestamp_rev_status and verify_archive_timestamp_rev_status
// are declared in verify_enh_hooks.h.

#endif
