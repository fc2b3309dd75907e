// Algorithm parameters of the Kuznyechik and Magma ciphers: the
// VKC_CIPHER_PARAMS SEQUENCE (IV, parameter-set identifier) of the GOST
// 28147-89 ciphers. These ciphers have no parameter set: the cipher
// family's own identifier is written, and any identifier is taken on reading.
#ifndef ORVEL_GOST_KUZMAGMA_PARAMS_H
#define ORVEL_GOST_KUZMAGMA_PARAMS_H

#include <openssl/asn1.h>
#include <openssl/evp.h>

#include "engines/gost/gost_kuzmagma_data.h"

// Writes the working IV of the context's IV length (the override when one
// is set). 1 on success, 0 on failure (after the family's message).
int kuzmagma_set_asn1_parameters(const KuzMagmaFamily& f, EVP_CIPHER_CTX* ctx, ASN1_TYPE* params);

// Reads the IV into the saved IV. Its length must be the context's IV
// length, or a longer register a register mode can take (the override is set
// to it). A parameter that is not a SEQUENCE yields 0 without a message.
int kuzmagma_get_asn1_parameters(const KuzMagmaFamily& f, EVP_CIPHER_CTX* ctx, ASN1_TYPE* params);

#endif
