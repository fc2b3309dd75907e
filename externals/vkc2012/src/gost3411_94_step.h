/* The block step and the step function of GOST R 34.11-94. Internal header. */
#ifndef VKC_GOST3411_94_STEP_H
#define VKC_GOST3411_94_STEP_H

#include "gost3411_94.h"

ORVEL_EXTERN_C_BEGIN

/* h = f(h, m) with the context's expanded S-box. */
void gost_r_3411_94_compress(uint32_t* h, const uint32_t* m, const Gost3411_94Context* ctx);
/* Sigma += block, h = f(h, block), L += bits. */
void gost_r_3411_94_hash_bytes(const Gost3411_94Context* ctx, uint32_t* h, uint32_t* sigma,
                               uint32_t* len, const uint8_t* block, uint32_t bits);

ORVEL_EXTERN_C_END

#endif
