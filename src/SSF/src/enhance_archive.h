// Archive time stamps: the data one covers, and adding a new one to an
// enhanced signature.
#ifndef ORVEL_SSF_ENHANCE_ARCHIVE_H
#define ORVEL_SSF_ENHANCE_ARCHIVE_H

#include <openssl/bio.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include <vector>

// Object number of the archive time-stamp attribute.
int enhance_archive_nid();

// The input of an archive stamp: the encapsulated ContentInfo, the detached
// content (read again from the start of the stream's source), the message's
// certificates and CRLs, each as one SEQUENCE OF, and the SignerInfo. 1 on
// success, 0 on failure.
int get_arch_timestamp_tbs(PKCS7* p7, BIO* data, PKCS7_SIGNER_INFO* si,
                           std::vector<unsigned char>* out);

// Adds an archive time stamp (GOST R 34.11-94 imprint) later than every one
// already present, then verifies the signature. 0 or a result code.
int add_archival_timestamp(PKCS7* p7, BIO* data, PKCS7_SIGNER_INFO* si, STACK_OF(X509) * certs);

#endif
