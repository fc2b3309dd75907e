// Key ASN.1 method slots of the engine's GOST token keys.
#ifndef ORVEL_PKCS11_AMETH_H
#define ORVEL_PKCS11_AMETH_H

#include <openssl/evp.h>

bool pkcs11_fill_ameth(EVP_PKEY_ASN1_METHOD* ameth);

#endif
