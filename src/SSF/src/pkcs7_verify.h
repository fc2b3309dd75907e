// Verification pieces over a PKCS#7 signedData: the signer certificate of
// every SignerInfo, the signer certificate in the certValues attribute, and
// the check of one signature against the content read through the digest
// BIO chain.
#ifndef ORVEL_SSF_PKCS7_VERIFY_H
#define ORVEL_SSF_PKCS7_VERIFY_H

#include <openssl/bio.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

// A list with one slot per SignerInfo, in SignerInfo order: the certificate
// found by the SignerInfo's issuer and serial number in certs (when given),
// then, unless flags hold PKCS7_NOINTERN, among the message's certificates;
// null slots where none is found. The certificates are not owned by the list
// (free it with sk_X509_free). Null, with an entry on the error queue, for a
// null message, a message that is not signedData, no SignerInfos or no memory.
STACK_OF(X509) * SSF_PKCS7_get0_signers(PKCS7* p7, STACK_OF(X509) * certs, int flags);

// A new reference to the certificate of the certValues unsigned attribute
// whose issuer and serial number are the SignerInfo's; null when none.
X509* ssf_GetSubjectCertificateFromAttrs(PKCS7_SIGNER_INFO* si);

// The toolkit's PKCS7_signatureVerify for the same arguments (above 0:
// valid), after the checks that keep hostile SignerInfos away from it: the
// signature value must fit the certificate's key, and a messageDigest
// attribute must be one OCTET STRING. bio is the PKCS7_dataInit chain after
// all content was read through it.
int SSF_PKCS7_signatureVerify(BIO* bio, PKCS7* p7, PKCS7_SIGNER_INFO* si, X509* x509);

#endif
