// Certificate checks as common:cert_check_options selects them: time
// validity, the chain to the trusted CA certificates, and revocation.
// Results: 1 good, 0 bad (invalid, expired, not yet valid, revoked),
// -1 the check could not be made.
#ifndef ORVEL_SSF_CERT_CHECK_H
#define ORVEL_SSF_CERT_CHECK_H

#include <openssl/x509.h>

#include "list.h"

// verify_certificate with the configured protocol list.
int IsCertificateValid(X509* x509, int chain_flag, int crl_flag, STACK_OF(X509) * *chain_out);

// Neither flag: the certificate's validity period only. Chain flag: the
// toolkit's chain verification against CA_FILE (the built chain goes to
// chain_out, when given, whatever the result). CRL flag: the revocation
// check. A failed chain gives 0 whatever the revocation check says.
int verify_certificate(X509* x509, int crl_flag, int chain_flag, const list_head* protos,
                       STACK_OF(X509) * *chain_out);

// The same checks against a store the caller has built.
int verify_certificate_store(X509_STORE* store, X509* x509, int crl_flag, int chain_flag,
                             const list_head* protos);

// 0 when the signature over the SHA-1 digest of the data verifies with the
// certificate's public key, -1 otherwise.
int verify_signature(X509* x509, const unsigned char* data, int length, const unsigned char* sig,
                     int sig_length);

// Loads the certificates of a CA file (a "file:///" URL keeps its path;
// PEM, else DER) into the lookup; false, with ERROR lines, when neither
// form reads.
bool load_ca_file(X509_LOOKUP* lookup, const char* ca_file);

// The current errno.
int GetLastError();

#endif
