/* GOST 28147-89 rounds over an expanded S-box, inlined into every mode and
 * into the GOST R 34.11-94 step function. Internal header. */
#ifndef VKC_GOST28147_ROUNDS_H
#define VKC_GOST28147_ROUNDS_H

#include <stdint.h>
#include <string.h>

#include "gost28147.h"

namespace vkc::gost28147 {

#define VKC_GOST_INLINE inline __attribute__((always_inline))

VKC_GOST_INLINE uint32_t load_le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

VKC_GOST_INLINE void store_le32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

VKC_GOST_INLINE bool sbox_marked(const Gost28147ExpandedSbox* s) {
  // Only the first byte of the mark counts.
  return reinterpret_cast<const uint8_t*>(&s->initialised)[0] != 0;
}

VKC_GOST_INLINE uint32_t round_f(const Gost28147ExpandedSbox* s, uint32_t x) {
  return s->table[0][x & 0xff] ^ s->table[1][(x >> 8) & 0xff] ^ s->table[2][(x >> 16) & 0xff] ^
         s->table[3][x >> 24];
}

// N lanes side by side: lane l runs on (a[l], b[l]) with key kk[l]. The lanes
// are independent, so the table look-ups of one lane fill the latency of the
// others. The result of the 32 rounds is (b, a): out word 0 = b, word 1 = a.
template <int N>
VKC_GOST_INLINE void lane_pair(uint32_t (&a)[N], uint32_t (&b)[N], const uint32_t* const (&kk)[N],
                               int i, int j, const Gost28147ExpandedSbox* s) {
#pragma GCC unroll 8
  for (int l = 0; l < N; ++l) b[l] ^= round_f(s, a[l] + kk[l][i]);
#pragma GCC unroll 8
  for (int l = 0; l < N; ++l) a[l] ^= round_f(s, b[l] + kk[l][j]);
}

template <int N>
VKC_GOST_INLINE void encrypt_lanes(uint32_t (&a)[N], uint32_t (&b)[N],
                                   const uint32_t* const (&kk)[N],
                                   const Gost28147ExpandedSbox* s) {
#pragma GCC unroll 3
  for (int r = 0; r < 3; ++r) {
    lane_pair(a, b, kk, 0, 1, s);
    lane_pair(a, b, kk, 2, 3, s);
    lane_pair(a, b, kk, 4, 5, s);
    lane_pair(a, b, kk, 6, 7, s);
  }
  lane_pair(a, b, kk, 7, 6, s);
  lane_pair(a, b, kk, 5, 4, s);
  lane_pair(a, b, kk, 3, 2, s);
  lane_pair(a, b, kk, 1, 0, s);
}

template <int N>
VKC_GOST_INLINE void decrypt_lanes(uint32_t (&a)[N], uint32_t (&b)[N],
                                   const uint32_t* const (&kk)[N],
                                   const Gost28147ExpandedSbox* s) {
  lane_pair(a, b, kk, 0, 1, s);
  lane_pair(a, b, kk, 2, 3, s);
  lane_pair(a, b, kk, 4, 5, s);
  lane_pair(a, b, kk, 6, 7, s);
#pragma GCC unroll 3
  for (int r = 0; r < 3; ++r) {
    lane_pair(a, b, kk, 7, 6, s);
    lane_pair(a, b, kk, 5, 4, s);
    lane_pair(a, b, kk, 3, 2, s);
    lane_pair(a, b, kk, 1, 0, s);
  }
}

// One block: out = E_K(in) as words (in and out may alias).
VKC_GOST_INLINE void encrypt_block(const uint32_t* in, uint32_t* out, const uint32_t* key,
                                   const Gost28147ExpandedSbox* s) {
  uint32_t a[1] = {in[0]};
  uint32_t b[1] = {in[1]};
  const uint32_t* const kk[1] = {key};
  encrypt_lanes<1>(a, b, kk, s);
  out[0] = b[0];
  out[1] = a[0];
}

VKC_GOST_INLINE void decrypt_block(const uint32_t* in, uint32_t* out, const uint32_t* key,
                                   const Gost28147ExpandedSbox* s) {
  uint32_t a[1] = {in[0]};
  uint32_t b[1] = {in[1]};
  const uint32_t* const kk[1] = {key};
  decrypt_lanes<1>(a, b, kk, s);
  out[0] = b[0];
  out[1] = a[0];
}

// The 16-round MAC transformation of mac XOR in; the halves are not swapped.
VKC_GOST_INLINE void imito_block(uint32_t in0, uint32_t in1, uint32_t* mac, const uint32_t* key,
                                 const Gost28147ExpandedSbox* s) {
  uint32_t a[1] = {mac[0] ^ in0};
  uint32_t b[1] = {mac[1] ^ in1};
  const uint32_t* const kk[1] = {key};
#pragma GCC unroll 2
  for (int r = 0; r < 2; ++r) {
    lane_pair(a, b, kk, 0, 1, s);
    lane_pair(a, b, kk, 2, 3, s);
    lane_pair(a, b, kk, 4, 5, s);
    lane_pair(a, b, kk, 6, 7, s);
  }
  mac[0] = a[0];
  mac[1] = b[0];
}

// Counter step of the gamma mode: word 0 + C2 mod 2^32, word 1 + C1 mod 2^32-1.
VKC_GOST_INLINE void counter_step(uint32_t* reg) {
  reg[0] += 0x01010101u;
  uint32_t t = reg[1] + 0x01010104u;
  reg[1] = t + (t < reg[1] ? 1u : 0u);
}

}  // namespace vkc::gost28147

#endif
