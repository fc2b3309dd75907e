// Certificates and private keys of "token=" profiles: the PKCS#11 module is
// loaded, every token is searched for the certificate of the record's id,
// and the private key with the certificate's CKA_ID becomes a token key.
#ifndef ORVEL_SSF_TOKEN_LOAD_H
#define ORVEL_SSF_TOKEN_LOAD_H

#include <openssl/evp.h>
#include <openssl/x509.h>

#include "orvel_ssf.h"
#include "engines/pkcs11/pk11_types.h"

// Most certificate and private-key objects taken from one search.
inline constexpr CK_ULONG kTokenMaxObjects = 256;
// Size of the CKA_ID buffer: a longer certificate id is refused.
inline constexpr CK_ULONG kTokenMaxIdLen = 20;
// Largest certificate value read from a token.
inline constexpr CK_ULONG kTokenMaxCertLen = 1024 * 1024;

// Searches one slot; 0 on success (the certificate, and the key unless the
// certificate's key cannot be used), else 5 (signer) or 9 (recipient) with
// uResult set.
int ssf_find_cert_on_token(const char* id, const char* password, int is_signer,
                           SigRcpSsfInfo* record, CK_FUNCTION_LIST* p11, CK_SLOT_ID slot,
                           X509** cert, EVP_PKEY** key, char** pin_slot);

#endif
