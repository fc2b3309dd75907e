// Opening an envelopedData for one recipient: the content-encryption key is
// decrypted with the recipient's private key and the content cipher is set
// up from the algorithm parameters of the envelope.
#ifndef ORVEL_SSF_DEVELOPE_DECRYPT_H
#define ORVEL_SSF_DEVELOPE_DECRYPT_H

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include <cstddef>

// Length of the content-encryption key of the GOST 28147-89 content cipher.
constexpr int kContentKeyLen = 32;

// Decrypts the transported key with a software private key into dec_key
// (capacity bytes, at least 32). 32 on success, -1 on failure (with its
// ERROR line and the toolkit's error queue). A key whose decryption size
// query is not 32 bytes (an RSA key) is refused.
int SSF_EVP_PKEY_decrypt(unsigned char* dec_key, size_t capacity, const unsigned char* enc_key,
                         int enc_key_len, EVP_PKEY* private_key);

// A BIO chain that reads the plaintext of the envelopedData: a cipher BIO
// over the encrypted content, keyed from the RecipientInfo of the
// certificate (issuer and serial number). Null on failure, with the
// toolkit's error.
BIO* my_PKCS7_decrypt(PKCS7* p7, EVP_PKEY* private_key, X509* cert);

#endif
