// The archive time stamps of an enhanced signature: reading them in time
// order and verifying each over what it covered.
#ifndef ORVEL_SSF_VERIFY_ENH_ARCHIVE_H
#define ORVEL_SSF_VERIFY_ENH_ARCHIVE_H

#include <openssl/asn1.h>
#include <openssl/bio.h>
#include <openssl/pkcs7.h>
#include <openssl/ts.h>
#include <openssl/x509.h>

#include <vector>

#include "ossl_ptr.h"

// One decoded archive stamp: the token's DER, the token and its TSTInfo.
struct ArchiveStamp {
  orvel::Asn1OctetStringPtr der;
  orvel::Pkcs7Ptr token;
  orvel::TsTstInfoPtr tst;
};

// -1, 0 or 1 as a is earlier than, at the same moment as, or later than b,
// fractions of a second included; -2 when the two do not compare.
int archive_time_order(const ASN1_TIME* a, const ASN1_TIME* b);

// The archive stamps of the SignerInfo sorted by genTime, oldest first (of
// equal times the later found comes first). 1, or 0 when one does not
// decode or holds no TSTInfo.
int get_arch_timestamps(PKCS7_SIGNER_INFO* si, std::vector<ArchiveStamp>* out);

// Verifies the stamps from the newest (at the present) to the oldest (each
// at the genTime of the one after it); the oldest genTime goes to *oldest
// (null when there is no stamp). 0 or a result code.
int VerifyAllArchiveTimestamps(PKCS7* p7, BIO* data, PKCS7_SIGNER_INFO* si,
                               STACK_OF(X509) * trusted, ASN1_GENERALIZEDTIME** oldest);

// Verifies one stamp over what it covered, at the time (now when null).
int VerifyArchiveTimestamp(PKCS7* p7, BIO* data, PKCS7_SIGNER_INFO* si, const ArchiveStamp& stamp,
                           STACK_OF(X509) * trusted, const ASN1_GENERALIZEDTIME* at);

#endif
