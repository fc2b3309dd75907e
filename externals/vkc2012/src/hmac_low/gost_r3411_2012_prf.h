/* Pseudo-random functions over HMAC_GOSTR3411_2012 (RFC 7836): the TLS 1.2
 * P_hash, and the IPsec expansions KEYMAT (IKEv1) and prf+ (IKEv2), each
 * with the 256-bit and the 512-bit HMAC.
 *
 * Byte strings are first byte first. Functions return 0 for success, -1 for
 * a bad argument (NULL or empty output, a NULL input with a non-zero length,
 * lengths whose sum does not fit 32 bits, a prf+ output beyond 255 blocks),
 * -2 when a work buffer cannot be allocated, else the code of the failing
 * HMAC step; a failed call writes no output. */
#ifndef VKC_HMAC_LOW_GOST_R3411_2012_PRF_H
#define VKC_HMAC_LOW_GOST_R3411_2012_PRF_H

#include <stdint.h>

#include "orvel_export.h"

ORVEL_EXTERN_C_BEGIN

ORVEL_EXPORT int32_t GOSTR3411_2012_256_PRF_TLS(const uint8_t* secret, uint32_t secret_len,
                                                const uint8_t* label, uint32_t label_len,
                                                const uint8_t* seed, uint32_t seed_len,
                                                uint8_t* out, uint32_t out_len);
ORVEL_EXPORT int32_t GOSTR3411_2012_512_PRF_TLS(const uint8_t* secret, uint32_t secret_len,
                                                const uint8_t* label, uint32_t label_len,
                                                const uint8_t* seed, uint32_t seed_len,
                                                uint8_t* out, uint32_t out_len);

ORVEL_EXPORT int32_t GOSTR3411_2012_256_PRF_IPSEC_KEYMAT(const uint8_t* key, uint32_t key_len,
                                                         const uint8_t* data, uint32_t data_len,
                                                         uint8_t* out, uint32_t out_len);
ORVEL_EXPORT int32_t GOSTR3411_2012_512_PRF_IPSEC_KEYMAT(const uint8_t* key, uint32_t key_len,
                                                         const uint8_t* data, uint32_t data_len,
                                                         uint8_t* out, uint32_t out_len);

ORVEL_EXPORT int32_t GOSTR3411_2012_256_PRF_IPSEC_PRFPLUS(const uint8_t* key, uint32_t key_len,
                                                          const uint8_t* data, uint32_t data_len,
                                                          uint8_t* out, uint32_t out_len);
ORVEL_EXPORT int32_t GOSTR3411_2012_512_PRF_IPSEC_PRFPLUS(const uint8_t* key, uint32_t key_len,
                                                          const uint8_t* data, uint32_t data_len,
                                                          uint8_t* out, uint32_t out_len);

ORVEL_EXTERN_C_END

#endif
