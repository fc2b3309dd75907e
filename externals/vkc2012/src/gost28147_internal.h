/* Internal steps of the GOST 28147-89 streaming context (C linkage, not
 * exported). */
#ifndef VKC_GOST28147_INTERNAL_H
#define VKC_GOST28147_INTERNAL_H

#include "gost28147.h"

ORVEL_EXTERN_C_BEGIN

/* Calls the one-shot function of the mode; -1102 for an unknown mode. */
int32_t vkc_crpt_crypto_engine(uint32_t mode, const Gost28147ExpandedSbox* sbox,
                               const GostBuffer* in, GostBuffer* out, uint32_t* reg,
                               const uint32_t* key, uint8_t encrypt, uint8_t flags);
/* Whole blocks of the block modes (1, 4, 6) with key meshing by byte count. */
int32_t GOST28147_89_context_engine(Gost28147Context* ctx, const GostBuffer* in,
                                    GostBuffer* out);
int32_t GOST28147_89_CFB_ctx(Gost28147Context* ctx, const GostBuffer* in, GostBuffer* out);
int32_t GOST28147_89_CNT_ctx(Gost28147Context* ctx, const GostBuffer* in, GostBuffer* out);
int32_t GOST28147_89_IMITO_ctx(Gost28147Context* ctx, const GostBuffer* in);

ORVEL_EXTERN_C_END

#endif
