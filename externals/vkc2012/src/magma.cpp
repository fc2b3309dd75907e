#include "magma.h"

#include "magma_tables.h"

namespace {

using vkc::magma::tz_Z;

// g without the key addition: four look-ups, XORed pairwise so that the
// chain from the round input to the next half stays short.
inline uint32_t round_f(uint32_t x) {
  const uint32_t lo = tz_Z[0][x & 0xff] ^ tz_Z[1][(x >> 8) & 0xff];
  const uint32_t hi = tz_Z[2][(x >> 16) & 0xff] ^ tz_Z[3][x >> 24];
  return lo ^ hi;
}

inline uint32_t load_be32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | p[3];
}

inline void store_be32(uint32_t v, uint8_t* p) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

// Two rounds with the keys ka, kb; the halves alternate instead of swapping.
#define VKC_M_ROUNDS(ka, kb) \
  n2 ^= round_f(n1 + (ka));  \
  n1 ^= round_f(n2 + (kb))

// Block a1 || a0 (a1 = bytes 0..3, a0 = bytes 4..7, each most significant
// byte first). After 32 rounds the standard's output a1' || a0' is n1 || n2,
// since the last round does not swap.
void encrypt_block(const uint8_t* in, uint8_t* out, const uint32_t* k) {
  uint32_t n1 = load_be32(in + 4);
  uint32_t n2 = load_be32(in);
#pragma GCC unroll 3
  for (int i = 0; i < 3; ++i) {
    VKC_M_ROUNDS(k[0], k[1]);
    VKC_M_ROUNDS(k[2], k[3]);
    VKC_M_ROUNDS(k[4], k[5]);
    VKC_M_ROUNDS(k[6], k[7]);
  }
  VKC_M_ROUNDS(k[7], k[6]);
  VKC_M_ROUNDS(k[5], k[4]);
  VKC_M_ROUNDS(k[3], k[2]);
  VKC_M_ROUNDS(k[1], k[0]);
  store_be32(n1, out);
  store_be32(n2, out + 4);
}

void decrypt_block(const uint8_t* in, uint8_t* out, const uint32_t* k) {
  uint32_t n1 = load_be32(in + 4);
  uint32_t n2 = load_be32(in);
  VKC_M_ROUNDS(k[0], k[1]);
  VKC_M_ROUNDS(k[2], k[3]);
  VKC_M_ROUNDS(k[4], k[5]);
  VKC_M_ROUNDS(k[6], k[7]);
#pragma GCC unroll 3
  for (int i = 0; i < 3; ++i) {
    VKC_M_ROUNDS(k[7], k[6]);
    VKC_M_ROUNDS(k[5], k[4]);
    VKC_M_ROUNDS(k[3], k[2]);
    VKC_M_ROUNDS(k[1], k[0]);
  }
  store_be32(n1, out);
  store_be32(n2, out + 4);
}

#undef VKC_M_ROUNDS

}  // namespace

extern "C" {

int32_t Encrypt_M(const uint8_t* in, uint8_t* out, const uint32_t* key) {
  if (in == nullptr || out == nullptr || key == nullptr) return -1;
  encrypt_block(in, out, key);
  return 0;
}

int32_t Decrypt_M(const uint8_t* in, uint8_t* out, const uint32_t* key) {
  if (in == nullptr || out == nullptr || key == nullptr) return -1;
  decrypt_block(in, out, key);
  return 0;
}

}  // extern "C"
