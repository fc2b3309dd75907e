/* Little-endian byte/word conversions of the crypto core. They work byte by
 * byte, so the results do not depend on the host's byte order. */
#ifndef VKC_BYTE_WORD_CONV_H
#define VKC_BYTE_WORD_CONV_H

#include <stdint.h>

#include "orvel_export.h"

ORVEL_EXTERN_C_BEGIN

/* The word whose least significant byte is in[0]. */
ORVEL_EXPORT uint32_t Uint8ToUint32(const uint8_t* in);
/* Writes w least significant byte first. */
ORVEL_EXPORT void Uint32ToUint8(uint32_t w, uint8_t* out);
ORVEL_EXPORT uint64_t Uint8ToUint64(const uint8_t* in);
ORVEL_EXPORT void Uint64ToUint8(uint64_t w, uint8_t* out);

ORVEL_EXTERN_C_END

#endif
