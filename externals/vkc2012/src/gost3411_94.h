/* GOST R 34.11-94 hash (RFC 5831) with its parameter sets. Messages and
 * digests are byte strings whose first byte is the least significant; the
 * digest is 32 bytes. Functions return 0 or a negative code. */
#ifndef VKC_GOST3411_94_H
#define VKC_GOST3411_94_H

#include <stdint.h>

#include "gost28147.h"
#include "orvel_export.h"

ORVEL_EXTERN_C_BEGIN

enum { GOSTR3411_94_ERR_PARAM = -1, GOSTR3411_94_ERR_OID = -3001 };

/* Owned by the caller; every 256-bit value is eight words, least
 * significant word first. */
typedef struct Gost3411_94Context {
  Gost28147ExpandedSbox sbox; /* private copy of the parameter set's S-box */
  uint32_t sigma[8];          /* sum of the compressed blocks mod 2^256 */
  uint32_t h[8];              /* chaining value */
  uint32_t len[8];            /* message bits compressed */
  uint8_t buffer[32];
  uint32_t buffered;          /* 0..32; a full block may wait here */
} Gost3411_94Context;

ORVEL_EXPORT int32_t GOSTR3411_94_Init_ex(Gost3411_94Context* ctx,
                                          const Gost28147ExpandedSbox* sbox);
ORVEL_EXPORT int32_t GOSTR3411_94_Init_more_par(Gost3411_94Context* ctx, const uint8_t* oid_der,
                                                uint32_t oid_len,
                                                const Gost3411_94ParamSet* more,
                                                uint32_t more_count);
ORVEL_EXPORT int32_t GOSTR3411_94_Init(Gost3411_94Context* ctx, const uint8_t* oid_der,
                                       uint32_t oid_len);
ORVEL_EXPORT int32_t GOSTR3411_94_Update(Gost3411_94Context* ctx, const uint8_t* data,
                                         uint32_t length);
ORVEL_EXPORT int32_t GOSTR3411_94_Final(Gost3411_94Context* ctx, uint8_t* digest);

ORVEL_EXPORT int32_t GOSTR3411_94_Transform_more_par(const uint8_t* oid_der, uint32_t oid_len,
                                                     const Gost3411_94ParamSet* more,
                                                     uint32_t more_count, const uint8_t* data,
                                                     uint32_t length, uint8_t* digest);
ORVEL_EXPORT int32_t GOSTR3411_94_Transform(const uint8_t* oid_der, uint32_t oid_len,
                                            const uint8_t* data, uint32_t length,
                                            uint8_t* digest);
ORVEL_EXPORT int32_t GOSTR3411_94_Transform_ex(const Gost28147ExpandedSbox* sbox,
                                               const uint8_t* data, uint32_t length,
                                               uint8_t* digest);

ORVEL_EXTERN_C_END

#endif
