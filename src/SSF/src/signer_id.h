// Signer and recipient ids: SHA-1 ids of certificates, their comparison
// with an id text, the syntax check of recipient ids, and the check that a
// loaded certificate belongs to the id and to the private key.
#ifndef ORVEL_SSF_SIGNER_ID_H
#define ORVEL_SSF_SIGNER_ID_H

#include <openssl/evp.h>
#include <openssl/x509.h>

#include "orvel_ssf.h"

// The SHA-1 digest of the certificate's DER as 20 lowercase two-digit hex
// numbers separated by single blanks (59 characters); new text from the
// toolkit's allocator, null on failure.
char* calc_sha1id(X509* cert);

// 0 when the id equals the certificate's SHA-1 id, blank-separated or run
// together (exact comparison), 1 otherwise.
int compare_sha1id_and_rcpid(X509* cert, const char* id);

// 1 when every one of the len characters is a hex digit or a blank (also for
// len < 1), else 0.
int is_str_hex(const char* text, int len);

// 1 when the record's id is a usable SHA-1 id or subject text, -1 when not.
int check_sig_rcp_id(const SigRcpSsfInfo* record);

// 0 when the id names the certificate (SHA-1 id or exact subject text) and
// the key belongs to it; 22 when the id does not match, 24 when the key
// does not.
int check_cert_and_key(X509* cert, EVP_PKEY* key, const char* id);

#endif
