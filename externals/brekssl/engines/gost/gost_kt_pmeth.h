// Key-exchange slots of the GOST key methods: encrypt wraps a CEK for the
// context's key (a GostR3410-KeyTransport), decrypt unwraps one with the
// context's private key, derive is plain VKO agreement with the peer key.
#ifndef ORVEL_GOST_KT_PMETH_H
#define ORVEL_GOST_KT_PMETH_H

#include <openssl/evp.h>

#include <cstddef>

// 1 with the key transport (or only its length without out); 0 on failure.
int pkey_vkc_encrypt(EVP_PKEY_CTX* ctx, unsigned char* out, size_t* out_len,
                     const unsigned char* key, size_t key_len);
// 1 with the 32-byte CEK (or only its length without out); -1 on failure.
int pkey_vkc_decrypt(EVP_PKEY_CTX* ctx, unsigned char* out, size_t* out_len,
                     const unsigned char* in, size_t in_len);
// 1 with the 32-byte VKO value (or only its length without key); 0 on
// failure.
int pkey_vkc_derive(EVP_PKEY_CTX* ctx, unsigned char* key, size_t* key_len);

#endif
