// The recipient certificates of an envelope: each recipient id (a SNILS, a
// SHA-1 id or the beginning of a subject text) is looked up in the PAB
// certificates and, failing that, in the hok certificate directory.
#ifndef ORVEL_SSF_ENVELOPE_RECIPIENTS_H
#define ORVEL_SSF_ENVELOPE_RECIPIENTS_H

#include <openssl/x509.h>

#include "orvel_ssf.h"

// Recipient ids are held in 1024-byte areas: an id must be shorter.
constexpr int kMaxRecipientIdLen = 1024;

// 0 and the certificate of the recipient (a new reference) in *cert, or the
// recipient's failure code (22 or 26); the PAB certificates are only read.
int get_cert_from_pab(const SigRcpSsfInfo* recipient, STACK_OF(X509) * pab_certs, X509** cert);

#endif
