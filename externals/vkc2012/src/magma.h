/* Magma block cipher of GOST R 34.12-2015 (64-bit block, 256-bit key):
 * GOST 28147-89 with the S-box id-tc26-gost-28147-param-Z and the byte
 * order of GOST R 34.12-2015.
 *
 * Blocks are 8 bytes, most significant byte first. The key is eight 32-bit
 * words K1..K8, K1 the most significant 32 bits of the 256-bit key.
 * Functions return 0, or -1 when a pointer is NULL (nothing written then).
 * Input and output may be the same buffer. */
#ifndef VKC_MAGMA_H
#define VKC_MAGMA_H

#include <stdint.h>

#include "orvel_export.h"

ORVEL_EXTERN_C_BEGIN

ORVEL_EXPORT int32_t Encrypt_M(const uint8_t* in, uint8_t* out, const uint32_t* key);
ORVEL_EXPORT int32_t Decrypt_M(const uint8_t* in, uint8_t* out, const uint32_t* key);

ORVEL_EXTERN_C_END

#endif
