/* Whole-block loops of the GOST 28147-89 modes over byte strings, shared by
 * the one-shot functions and the streaming context. Internal header. */
#ifndef VKC_GOST28147_BULK_H
#define VKC_GOST28147_BULK_H

#include <stddef.h>
#include <stdint.h>

#include "gost28147.h"

namespace vkc::gost28147 {

void ecb_blocks(const Gost28147ExpandedSbox* s, const uint8_t* in, uint8_t* out, size_t n,
                const uint32_t* key, bool encrypt);
// reg: chaining value in and out.
void cbc_blocks(const Gost28147ExpandedSbox* s, const uint8_t* in, uint8_t* out, size_t n,
                uint32_t* reg, const uint32_t* key, bool encrypt);
// reg: feedback register in and out (the last ciphertext block).
void cfb_blocks(const Gost28147ExpandedSbox* s, const uint8_t* in, uint8_t* out, size_t n,
                uint32_t* reg, const uint32_t* key, bool encrypt);
// reg: counter register; advanced before each block.
void cnt_blocks(const Gost28147ExpandedSbox* s, const uint8_t* in, uint8_t* out, size_t n,
                uint32_t* reg, const uint32_t* key);
void imito_blocks(const Gost28147ExpandedSbox* s, const uint8_t* in, size_t n, uint32_t* mac,
                  const uint32_t* key);

}  // namespace vkc::gost28147

#endif
