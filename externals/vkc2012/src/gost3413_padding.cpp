// Padding procedure 2 of GOST R 34.13-2015: one byte 0x80, then zero bytes
// up to the next multiple of the block size.
#include <cstdint>
#include <cstring>

#include "gost3413_modes.h"
#include "vkc_modes.h"

using namespace vkc::modes;

extern "C" {

int64_t vkc_padd(uint8_t* buf, uint64_t len, uint64_t block_size) {
  if (buf == nullptr || block_size == 0) return kErrNull;
  const uint64_t pad = block_size - len % block_size;
  // The new length must be representable in the result.
  if (pad > static_cast<uint64_t>(INT64_MAX) || len > static_cast<uint64_t>(INT64_MAX) - pad) {
    return kErrNull;
  }
  buf[len] = 0x80;
  memset(buf + len + 1, 0, pad - 1);
  return static_cast<int64_t>(len + pad);
}

int64_t vkc_padd_back(uint8_t* buf, uint64_t len, uint64_t block_size) {
  if (buf == nullptr) return kErrNull;
  if (len == 0) return kErrRange;
  return vkc_padd(buf, len, block_size);
}

int64_t vkc_unpadd(const uint8_t* buf, uint64_t len) {
  if (buf == nullptr) return kErrNull;
  if (len == 0) return kErrRange;
  if (len < 2) return kErrPadding;
  uint64_t i = len;
  while (i > 0 && buf[i - 1] == 0) --i;
  if (i == 0 || buf[i - 1] != 0x80) return kErrPadding;
  return static_cast<int64_t>(i - 1);
}

}  // extern "C"
