// Key ASN.1 methods and key methods of the GOST key types and the GOST MAC
// key types, created once when the "gost" engine is bound.
#ifndef ORVEL_GOST_PKEY_H
#define ORVEL_GOST_PKEY_H

#include <openssl/evp.h>

// Creates the key ASN.1 method of a key NID with its PEM name and
// description; 1 on success, 0 on failure.
int register_ameth_vkc(int nid, EVP_PKEY_ASN1_METHOD** ameth, const char* pemstr, const char* info);

// Creates the key method of a key NID; 1 on success, 0 on failure (also for
// a NID that is not one of the engine's key types).
int register_pmeth_vkc(int nid, EVP_PKEY_METHOD** pmeth, int flags);

#endif
