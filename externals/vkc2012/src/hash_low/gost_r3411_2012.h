/* GOST R 34.11-2012 hash ("Streebog"), 256- and 512-bit digests.
 *
 * Byte order: a message byte string is the standard's message read with
 * byte i carrying bits 8i..8i+7; digests are written least significant
 * byte first (the standard prints them reversed). Functions return 0 for
 * success and a negative code for failure. */
#ifndef VKC_HASH_LOW_GOST_R3411_2012_H
#define VKC_HASH_LOW_GOST_R3411_2012_H

#include <stdint.h>

#include "orvel_export.h"

ORVEL_EXTERN_C_BEGIN

/* Caller-owned hashing state; nothing inside is allocated. The 512-bit
 * numbers are eight 64-bit words, least significant word first. */
typedef struct Gost3411_2012Context {
  int32_t digest_size; /* 32 or 64 bytes, set by Init */
  uint8_t buffer[64];  /* bytes of the current, not yet compressed block */
  uint32_t buffered;   /* valid bytes in buffer, 0..63 between calls */
  uint64_t h[8];       /* chaining value */
  uint64_t N[8];       /* message bits compressed so far */
  uint64_t Sigma[8];   /* sum mod 2^512 of the compressed blocks */
} Gost3411_2012Context;

ORVEL_EXPORT int32_t GOSTR3411_2012_Init(Gost3411_2012Context* ctx, uint32_t digest_size);
ORVEL_EXPORT int32_t GOSTR3411_2012_256_Init(Gost3411_2012Context* ctx);
ORVEL_EXPORT int32_t GOSTR3411_2012_512_Init(Gost3411_2012Context* ctx);

ORVEL_EXPORT int32_t GOSTR3411_2012_Update(Gost3411_2012Context* ctx, const uint8_t* data,
                                           uint32_t data_len);
ORVEL_EXPORT int32_t GOSTR3411_2012_256_Update(Gost3411_2012Context* ctx, const uint8_t* data,
                                               uint32_t data_len);
ORVEL_EXPORT int32_t GOSTR3411_2012_512_Update(Gost3411_2012Context* ctx, const uint8_t* data,
                                               uint32_t data_len);

/* Writes 64 bytes for a 512-bit context, else 32. Neither wipes nor resets
 * the context: call Init again to hash another message. */
ORVEL_EXPORT int32_t GOSTR3411_2012_Final(Gost3411_2012Context* ctx, uint8_t* digest);
ORVEL_EXPORT int32_t GOSTR3411_2012_256_Final(Gost3411_2012Context* ctx, uint8_t* digest);
ORVEL_EXPORT int32_t GOSTR3411_2012_512_Final(Gost3411_2012Context* ctx, uint8_t* digest);

/* One-shot hash of data_len bytes. */
ORVEL_EXPORT int32_t GOSTR3411_2012_Transform(uint32_t digest_size, const uint8_t* data,
                                              uint32_t data_len, uint8_t* digest);
ORVEL_EXPORT int32_t GOSTR3411_2012_256_Transform(const uint8_t* data, uint32_t data_len,
                                                  uint8_t* digest);
ORVEL_EXPORT int32_t GOSTR3411_2012_512_Transform(const uint8_t* data, uint32_t data_len,
                                                  uint8_t* digest);

ORVEL_EXTERN_C_END

#endif
