// ASN.1 types of GOST key transport (RFC 4490, RFC 4357): the
// GostR3410-KeyTransport and its parts, and the TLS client-key-exchange
// blob that holds one of them.
#ifndef ORVEL_GOST_KT_ASN1_H
#define ORVEL_GOST_KT_ASN1_H

#include <openssl/asn1t.h>
#include <openssl/x509.h>

#include "orvel_export.h"

// Gost28147-89-EncryptedKey without maskKey.
struct VKC_KEY_INFO {
  ASN1_OCTET_STRING* encrypted_key;
  ASN1_OCTET_STRING* imit;
};

// GostR3410-TransportParameters: wrap parameter set, ephemeral key, UKM.
struct VKC_KEY_AGREEMENT_INFO {
  ASN1_OBJECT* cipher;
  X509_PUBKEY* ephem_key;
  ASN1_OCTET_STRING* eph_iv;
};

// GostR3410-KeyTransport.
struct VKC_KEY_TRANSPORT {
  VKC_KEY_INFO* key_info;
  VKC_KEY_AGREEMENT_INFO* key_agreement_info;
};

// SEQUENCE { GostR3410-KeyTransport }.
struct VKC_CLIENT_KEY_EXCHANGE_PARAMS {
  VKC_KEY_TRANSPORT* gkt;
};

DECLARE_ASN1_FUNCTIONS(VKC_KEY_INFO)
DECLARE_ASN1_FUNCTIONS(VKC_KEY_AGREEMENT_INFO)
DECLARE_ASN1_FUNCTIONS(VKC_KEY_TRANSPORT)

// Exported with the library.
extern "C" {
ORVEL_EXPORT VKC_CLIENT_KEY_EXCHANGE_PARAMS* VKC_CLIENT_KEY_EXCHANGE_PARAMS_new(void);
ORVEL_EXPORT void VKC_CLIENT_KEY_EXCHANGE_PARAMS_free(VKC_CLIENT_KEY_EXCHANGE_PARAMS* a);
ORVEL_EXPORT VKC_CLIENT_KEY_EXCHANGE_PARAMS* d2i_VKC_CLIENT_KEY_EXCHANGE_PARAMS(
    VKC_CLIENT_KEY_EXCHANGE_PARAMS** a, const unsigned char** in, long len);
ORVEL_EXPORT int i2d_VKC_CLIENT_KEY_EXCHANGE_PARAMS(const VKC_CLIENT_KEY_EXCHANGE_PARAMS* a,
                                                    unsigned char** out);
ORVEL_EXPORT const ASN1_ITEM* VKC_CLIENT_KEY_EXCHANGE_PARAMS_it(void);
}

#endif
