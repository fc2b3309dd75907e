#include "gost3413_util.h"

#include <cstring>

#include "vkc_ct.h"

namespace vkc::modes {

void VkcIncrementModulo(uint8_t* block, size_t n) {
  for (size_t i = n; i-- > 0;) {
    if (++block[i] != 0) return;
  }
}

uint8_t VkcShiftLeftOne(const uint8_t* in, uint8_t* out, size_t n) {
  const uint8_t top = in[0] >> 7;
  for (size_t i = 0; i < n; ++i) {
    const uint8_t next = i + 1 < n ? in[i + 1] >> 7 : 0;
    out[i] = static_cast<uint8_t>((in[i] << 1) | next);
  }
  return top;
}

void VkcMacSubkey(const uint8_t* in, const uint8_t* b_n, uint8_t* out, size_t n) {
  const uint8_t mask = static_cast<uint8_t>(vkc_ct::mask_bit(VkcShiftLeftOne(in, out, n)));
  for (size_t i = 0; i < n; ++i) out[i] ^= b_n[i] & mask;
}

void VkcPackBlock(uint8_t* out, const uint8_t* first, size_t first_len, const uint8_t* second,
                  size_t total) {
  if (first_len != 0) memcpy(out, first, first_len);
  if (total > first_len) memcpy(out + first_len, second, total - first_len);
}

void revert(uint8_t* word) {
  uint8_t t = word[0];
  word[0] = word[3];
  word[3] = t;
  t = word[1];
  word[1] = word[2];
  word[2] = t;
}

void xor_bytes(const uint8_t* a, const uint8_t* b, uint8_t* out, size_t n) {
  for (size_t i = 0; i < n; ++i) out[i] = a[i] ^ b[i];
}

}  // namespace vkc::modes
