// PEM certificate and private-key files of "certfile=" profiles.
#ifndef ORVEL_SSF_KEYS_PEM_H
#define ORVEL_SSF_KEYS_PEM_H

#include <openssl/evp.h>
#include <openssl/x509.h>

// Password callback of the toolkit's PEM readers: data points to the
// password pointer. Copies the password (at most size bytes, without NUL)
// and returns its length; 0 without data or password.
int password_callback(char* buf, int size, int rwflag, void* data);

// The private key of a PEM file, decrypted with the password when it is
// encrypted; null when there is no file name, the file cannot be opened or
// the key cannot be read. Writes no line.
EVP_PKEY* load_key(const char* file, const char* password);

// The first certificate of a PEM file; null (with its lines) on failure.
X509* load_cert(const char* file, const char* password);

#endif
