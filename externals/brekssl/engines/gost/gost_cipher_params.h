// Gost28147-89-Parameters (RFC 4357): the IV and the parameter-set
// identifier that the GOST ciphers write into their algorithm identifiers.
#ifndef ORVEL_GOST_CIPHER_PARAMS_H
#define ORVEL_GOST_CIPHER_PARAMS_H

#include <openssl/asn1.h>
#include <openssl/asn1t.h>
#include <openssl/evp.h>

typedef struct VKC_CIPHER_PARAMS_st {
  ASN1_OCTET_STRING* iv;
  ASN1_OBJECT* enc_param_set;
} VKC_CIPHER_PARAMS;

DECLARE_ASN1_FUNCTIONS(VKC_CIPHER_PARAMS)

// The toolkit's asn1 parameter callbacks of the GOST 28147-89 ciphers.
// Writing: the working IV and the identifier of the set the cipher works
// with. Reading: the IV (of the cipher's IV length) becomes the saved IV and
// the set the cipher's, for its next keyed init; a set the crypto core does
// not know is refused.
extern "C" int gost89_set_asn1_parameters(EVP_CIPHER_CTX* ctx, ASN1_TYPE* params);
extern "C" int gost89_get_asn1_parameters(EVP_CIPHER_CTX* ctx, ASN1_TYPE* params);

#endif
