/* HMAC over the GOST R 34.11-2012 hash (RFC 7836, R 50.1.113-2016), 256-
 * and 512-bit, one-shot and incremental.
 *
 * Keys, data and MACs are plain byte strings, first byte first, as RFC 7836
 * prints them. Functions return 0 for success and a negative code for
 * failure; a failed call writes no output. */
#ifndef VKC_HMAC_LOW_GOST_R3411_2012_HMAC_H
#define VKC_HMAC_LOW_GOST_R3411_2012_HMAC_H

#include <stdint.h>

#include "hash_low/gost_r3411_2012.h"
#include "orvel_export.h"

ORVEL_EXTERN_C_BEGIN

/* Caller-owned HMAC state. The hash's digest size is the HMAC length. */
typedef struct Gost3411_2012HmacContext {
  Gost3411_2012Context hash; /* running inner or outer hash */
  uint8_t digest[64];        /* inner digest during Final, then the MAC */
  uint8_t ipad[64];          /* K0 XOR 0x36 */
  uint8_t opad[64];          /* K0 XOR 0x5c */
} Gost3411_2012HmacContext;

/* One-shot HMAC of length hmac_len (32 or 64) into hmac (hmac_len bytes). */
ORVEL_EXPORT int32_t GOSTR3411_2012_HMAC(uint32_t hmac_len, const uint8_t* data, uint32_t data_len,
                                         const uint8_t* key, uint32_t key_len, uint8_t* hmac);
ORVEL_EXPORT int32_t GOSTR3411_2012_HMAC_256(const uint8_t* data, uint32_t data_len,
                                             const uint8_t* key, uint32_t key_len, uint8_t* hmac);
ORVEL_EXPORT int32_t GOSTR3411_2012_HMAC_512(const uint8_t* data, uint32_t data_len,
                                             const uint8_t* key, uint32_t key_len, uint8_t* hmac);

/* Init, Updates, Final; then Reset (not Init) starts a new MAC under the
 * same key. Final leaves a finished outer hash in the context. */
ORVEL_EXPORT int32_t GOSTR3411_2012_HMAC_Init(Gost3411_2012HmacContext* ctx, uint32_t hmac_len,
                                              const uint8_t* key, uint32_t key_len);
ORVEL_EXPORT int32_t GOSTR3411_2012_HMAC_256_Init(Gost3411_2012HmacContext* ctx, const uint8_t* key,
                                                  uint32_t key_len);
ORVEL_EXPORT int32_t GOSTR3411_2012_HMAC_512_Init(Gost3411_2012HmacContext* ctx, const uint8_t* key,
                                                  uint32_t key_len);

ORVEL_EXPORT int32_t GOSTR3411_2012_HMAC_Reset(Gost3411_2012HmacContext* ctx);
ORVEL_EXPORT int32_t GOSTR3411_2012_HMAC_256_Reset(Gost3411_2012HmacContext* ctx);
ORVEL_EXPORT int32_t GOSTR3411_2012_HMAC_512_Reset(Gost3411_2012HmacContext* ctx);

ORVEL_EXPORT int32_t GOSTR3411_2012_HMAC_Update(Gost3411_2012HmacContext* ctx, const uint8_t* data,
                                                uint32_t data_len);
ORVEL_EXPORT int32_t GOSTR3411_2012_HMAC_256_Update(Gost3411_2012HmacContext* ctx,
                                                    const uint8_t* data, uint32_t data_len);
ORVEL_EXPORT int32_t GOSTR3411_2012_HMAC_512_Update(Gost3411_2012HmacContext* ctx,
                                                    const uint8_t* data, uint32_t data_len);

ORVEL_EXPORT int32_t GOSTR3411_2012_HMAC_Final(Gost3411_2012HmacContext* ctx, uint8_t* hmac);
ORVEL_EXPORT int32_t GOSTR3411_2012_HMAC_256_Final(Gost3411_2012HmacContext* ctx, uint8_t* hmac);
ORVEL_EXPORT int32_t GOSTR3411_2012_HMAC_512_Final(Gost3411_2012HmacContext* ctx, uint8_t* hmac);

ORVEL_EXTERN_C_END

#endif
