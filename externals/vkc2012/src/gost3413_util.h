// Byte-string helpers of the GOST R 34.13-2015 modes.
#ifndef VKC_GOST3413_UTIL_H
#define VKC_GOST3413_UTIL_H

#include <stddef.h>
#include <stdint.h>

namespace vkc::modes {

// Adds 1 to the big-endian number of n bytes, modulo 2^(8n).
void VkcIncrementModulo(uint8_t* block, size_t n);
// Shifts the big-endian string of n bytes left by one bit; returns the bit
// shifted out.
uint8_t VkcShiftLeftOne(const uint8_t* in, uint8_t* out, size_t n);
// One OMAC subkey: out = in << 1, XORed with b_n when the top bit of in is
// set. No branch on that bit: in is derived from the key.
void VkcMacSubkey(const uint8_t* in, const uint8_t* b_n, uint8_t* out, size_t n);
// out = first[0..first_len) || second[0..total - first_len); out must not
// overlap either input.
void VkcPackBlock(uint8_t* out, const uint8_t* first, size_t first_len, const uint8_t* second,
                  size_t total);
// Reverses 4 bytes in place.
void revert(uint8_t* word);
// out[i] = a[i] ^ b[i]; out may be a or b.
void xor_bytes(const uint8_t* a, const uint8_t* b, uint8_t* out, size_t n);

}  // namespace vkc::modes

#endif
