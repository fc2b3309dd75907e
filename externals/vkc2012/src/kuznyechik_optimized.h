/* Kuznyechik block cipher of GOST R 34.12-2015 (128-bit block, 256-bit key).
 *
 * Blocks and keys are byte strings as the standard prints them, most
 * significant byte first (byte 0 is a15). Round keys are 10 x 16 bytes,
 * owned by the caller. Functions return 0, or -1 when a pointer is NULL
 * (nothing written then). Input and output may be the same buffer. */
#ifndef VKC_KUZNYECHIK_OPTIMIZED_H
#define VKC_KUZNYECHIK_OPTIMIZED_H

#include <stdint.h>

#include "orvel_export.h"

ORVEL_EXTERN_C_BEGIN

/* K1..K10 for Encrypt_K. */
ORVEL_EXPORT int32_t ExpandEncryptKey_K(const uint8_t* key, uint8_t* round_keys);
/* K1, L^-1(K2) .. L^-1(K9), K10 for Decrypt_K. */
ORVEL_EXPORT int32_t ExpandDecryptKey_K(const uint8_t* key, uint8_t* round_keys);

ORVEL_EXPORT int32_t Encrypt_K(const uint8_t* in, uint8_t* out, const uint8_t* round_keys);
ORVEL_EXPORT int32_t Decrypt_K(const uint8_t* in, uint8_t* out, const uint8_t* round_keys);

ORVEL_EXTERN_C_END

#endif
