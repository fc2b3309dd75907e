// Keys whose private half stays on a PKCS#11 token: the test that tells them
// from software keys, their release, and the decryption of a transported
// content-encryption key on the token (develope of envelopes).
#ifndef ORVEL_SSF_TOKEN_KEYS_H
#define ORVEL_SSF_TOKEN_KEYS_H

#include <openssl/evp.h>

#include <cstddef>
#include <memory>

// Token state of one token key: the module's function list, the open
// (logged-in) session, the private key object and the key type (the NID of
// the GOST key type; 0 for RSA keys).
struct TokenKeyContext;

// 1 for a key built by the token loader (GOST or RSA), else 0.
int IsTokenPkey(const EVP_PKEY* key);

// The token state of a GOST token key; nullptr for every other key (RSA
// token keys included).
TokenKeyContext* GetTokenPkey(const EVP_PKEY* key);

// Decrypts a DER GostR3410-KeyTransport (the encrypted key of a recipient
// info) with the token key: VKO on the token, key unwrap in software.
// Writes 32 bytes to dec_key and returns 32; -1 on every failure.
int TOKEN_PKEY_decrypt(unsigned char* dec_key, const unsigned char* enc_key, size_t enc_key_len,
                       TokenKeyContext* token);

// Frees any key the provider loaded (token keys close their session). NULL
// does nothing.
void SSF_EVP_PKEY_free(EVP_PKEY* key);

struct SsfPkeyDeleter {
  void operator()(EVP_PKEY* key) const { SSF_EVP_PKEY_free(key); }
};
using SsfPkeyPtr = std::unique_ptr<EVP_PKEY, SsfPkeyDeleter>;

#endif
