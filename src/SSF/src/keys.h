// Keys and certificates of signers and recipients, loaded as the record's
// profile says: from a PKCS#11 token, a pair of PEM files, or a PKCS#12
// file; checked against the record's id and, for signers, for the private
// key usage period and the configured certificate checks.
#ifndef ORVEL_SSF_KEYS_H
#define ORVEL_SSF_KEYS_H

#include <openssl/evp.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>

#include "orvel_ssf.h"

// 0 with the certificate and key handed to the caller (who frees them);
// otherwise 5 for a signer, 9 for a recipient (5 for every profile time
// failure), with uResult set and both outputs null. The PIN slot (or null)
// goes to the token loader; the chain out (or null) receives the chain the
// certificate check built.
int ssf_load_cert_and_key(SigRcpSsfInfo* record, X509** cert, EVP_PKEY** key, int is_signer,
                          char** pin_slot, STACK_OF(X509) * *chain);

// The three loaders behind it, given the store text after its prefix; each
// sets uResult on failure and returns 5 (signer) or 9 (recipient).
int ssf_load_cert_and_key_file(const char* store, const char* password, const char* id,
                               SigRcpSsfInfo* record, int is_signer, X509** cert, EVP_PKEY** key);
int ssf_load_cert_and_key_p12(const char* path, const char* password, const char* id,
                              SigRcpSsfInfo* record, int is_signer, X509** cert, EVP_PKEY** key);
int ssf_load_cert_and_key_token(const char* module, const char* password, const char* id,
                                SigRcpSsfInfo* record, int is_signer, X509** cert, EVP_PKEY** key,
                                char** pin_slot);

// Key, certificate and CA certificates of a PKCS#12 structure, with the
// toolkit's semantics of PKCS12_parse (1 on success). The one place where
// PKCS#12 files are opened, so the MAC check can be the system's own.
int ssf_pkcs12_parse(PKCS12* p12, const char* password, EVP_PKEY** key, X509** cert,
                     STACK_OF(X509) * *ca);

// A new key holding only the public part of key (DER round trip).
EVP_PKEY* PublicKey_dup(EVP_PKEY* key);

// The failure result of a loader: 5 for a signer, 9 for a recipient.
inline int load_failure_code(int is_signer) {
  return is_signer ? SSF_API_SIGNER_FAILED : SSF_API_RECIPIENT_FAILED;
}

#endif
