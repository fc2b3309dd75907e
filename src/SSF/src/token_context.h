// The token state of a token key and the key builders of the token loader.
#ifndef ORVEL_SSF_TOKEN_CONTEXT_H
#define ORVEL_SSF_TOKEN_CONTEXT_H

#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include "engines/pkcs11/pk11_types.h"
#include "token_keys.h"

struct TokenKeyContext {
  CK_FUNCTION_LIST* p11;
  CK_SESSION_HANDLE session;
  CK_OBJECT_HANDLE key;
  int key_type;  // NID of the GOST key type; 0 for RSA keys
};

// The toolkit key of a token key: a copy of the certificate's public key
// whose private operations run on the token. Takes the context (toolkit
// allocator) on success; null (with its line) for a certificate without a
// public key or with a key of an unsupported type, and when building fails.
EVP_PKEY* MakeTokenPrivateKey(X509* cert, TokenKeyContext* token);

// Sign operation of GOST token keys: the digest signed on the token. 1 with
// *siglen set to the signature length, or the size query; -1 on failure.
int token_gost_sign(EVP_PKEY_CTX* ctx, unsigned char* sig, size_t* siglen,
                    const unsigned char* tbs, size_t tbslen);

// Private encryption (PKCS#1 v1.5 padding only, applied by the token) and
// finish of the token RSA method.
int token_rsa_encrypt(int flen, const unsigned char* from, unsigned char* to, RSA* rsa,
                      int padding);
int token_rsa_privdata_free(RSA* rsa);

// The token RSA method, built with the first RSA token key.
extern const RSA_METHOD* rsa_ops;

// Number of token keys alive on a module's function list: a module that is
// still in use must not be finalised.
int token_live_keys(const CK_FUNCTION_LIST* p11);

#endif
