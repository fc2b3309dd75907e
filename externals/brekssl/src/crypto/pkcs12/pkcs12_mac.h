// The MAC of PKCS#12 files in both schemes the system meets:
// - classic (PKCS#12 appendix B key derivation, purpose 3, over the password
//   as BMPString), what every toolkit writes for SHA-1/SHA-2 MACs and older
//   GOST files carry;
// - TC26 (the GOST PKCS#12 recommendations: PBKDF2-HMAC gives 96 bytes, the
//   last 32 are the HMAC key), what GOST R 34.11 MACs of current files use.
// The toolkit checks a GOST MAC with TC26 only, so the system checks both
// itself. All functions report through the toolkit's error queue.
#ifndef ORVEL_PKCS12_MAC_H
#define ORVEL_PKCS12_MAC_H

#include <openssl/pkcs12.h>

// The classic MAC of p12's authSafe; mac holds EVP_MAX_MD_SIZE bytes. A null
// password has no bytes; passlen -1 means up to the NUL. 1 or 0.
int SSF_PKCS12_gen_mac(PKCS12* p12, const char* pass, int passlen, unsigned char* mac,
                       unsigned int* maclen);

// The TC26 MAC, the password bytes taken unchanged. 1 only when both the key
// derivation and the HMAC succeeded.
int SSF_PKCS12_gen_mac_tc26_v1(PKCS12* p12, const char* pass, int passlen, unsigned char* mac,
                               unsigned int* maclen);

// 1 when the stored MAC matches the classic MAC, or, for a GOST R 34.11 MAC
// digest, the TC26 MAC; else 0 (also when the file has no MAC).
int SSF_PKCS12_verify_mac(PKCS12* p12, const char* pass, int passlen);

// New MAC data: iteration count stored only when above 1; saltlen 0 means 32
// bytes; a null salt is drawn at random; the digest's identifier with a NULL
// parameter.
int SSF_PKCS12_setup_mac(PKCS12* p12, int iter, const unsigned char* salt, int saltlen,
                         const EVP_MD* md);

// SSF_PKCS12_setup_mac, then the TC26 MAC for GOST R 34.11 digests and the
// classic MAC for others, stored in the MAC data. A null md means SHA-1.
int SSF_PKCS12_set_mac(PKCS12* p12, const char* pass, int passlen, const unsigned char* salt,
                       int saltlen, int iter, const EVP_MD* md);

#endif
