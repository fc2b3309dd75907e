// Key derivations of the PKCS#12 MAC schemes, written over the toolkit's
// digest and HMAC contexts so that they work with digests that engines add
// (the toolkit's own PBKDF2 and PKCS#12 KDF find digests through providers
// only). Intermediate values are wiped.
#ifndef ORVEL_PKCS12_KDF_H
#define ORVEL_PKCS12_KDF_H

#include <openssl/evp.h>

#include <cstddef>

// PBKDF2 with HMAC over md (PKCS #5 v2.0); iter >= 1.
bool ssf_pbkdf2_hmac(const EVP_MD* md, const unsigned char* pass, size_t pass_len,
                     const unsigned char* salt, size_t salt_len, int iter, unsigned char* out,
                     size_t out_len);

// The PKCS#12 key derivation (RFC 7292 appendix B.2) with purpose byte id
// over a password already in BMPString form; iter >= 1.
bool ssf_pkcs12_kdf(const EVP_MD* md, const unsigned char* bmp_pass, size_t bmp_len,
                    const unsigned char* salt, size_t salt_len, unsigned char id, int iter,
                    unsigned char* out, size_t out_len);

// HMAC over md; out holds EVP_MAX_MD_SIZE bytes.
bool ssf_hmac(const EVP_MD* md, const unsigned char* key, size_t key_len, const unsigned char* data,
              size_t data_len, unsigned char* out, unsigned int* out_len);

#endif
