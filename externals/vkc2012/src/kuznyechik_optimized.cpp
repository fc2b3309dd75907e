#include "kuznyechik_optimized.h"

#include <emmintrin.h>

#include <bit>
#include <cstring>

#include "kuznyechik_tables.h"

static_assert(std::endian::native == std::endian::little,
              "table words are read as little-endian host words");

namespace {

using namespace vkc::kuznyechik;

// A block in one SSE2 register: lane 0 holds bytes 0..7, lane 1 bytes 8..15.
inline __m128i load_block(const uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

inline void store_block(__m128i v, uint8_t* p) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

inline __m128i entry(const LsTable& t, int row, uint64_t byte) {
  return _mm_load_si128(reinterpret_cast<const __m128i*>(&t[row][byte & 0xff]));
}

// XOR of the 16 table entries selected by the bytes of v (byte i selects
// row i); four accumulators keep the XOR chains short.
inline __attribute__((always_inline)) __m128i table_transform(const LsTable& t, __m128i v) {
  const uint64_t a = static_cast<uint64_t>(_mm_cvtsi128_si64(v));
  const uint64_t b = static_cast<uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(v, v)));
  __m128i r0 = entry(t, 0, a);
  __m128i r1 = entry(t, 1, a >> 8);
  __m128i r2 = entry(t, 8, b);
  __m128i r3 = entry(t, 9, b >> 8);
  r0 = _mm_xor_si128(r0, entry(t, 2, a >> 16));
  r1 = _mm_xor_si128(r1, entry(t, 3, a >> 24));
  r2 = _mm_xor_si128(r2, entry(t, 10, b >> 16));
  r3 = _mm_xor_si128(r3, entry(t, 11, b >> 24));
  r0 = _mm_xor_si128(r0, entry(t, 4, a >> 32));
  r1 = _mm_xor_si128(r1, entry(t, 5, a >> 40));
  r2 = _mm_xor_si128(r2, entry(t, 12, b >> 32));
  r3 = _mm_xor_si128(r3, entry(t, 13, b >> 40));
  r0 = _mm_xor_si128(r0, entry(t, 6, a >> 48));
  r1 = _mm_xor_si128(r1, entry(t, 7, a >> 56));
  r2 = _mm_xor_si128(r2, entry(t, 14, b >> 48));
  r3 = _mm_xor_si128(r3, entry(t, 15, b >> 56));
  return _mm_xor_si128(_mm_xor_si128(r0, r1), _mm_xor_si128(r2, r3));
}

// Applies the byte substitution s to every byte of v. Done in registers:
// a round trip through memory would stall on store forwarding and leave
// round-key bytes on the stack.
inline __m128i substitute(const std::array<uint8_t, 256>& s, __m128i v) {
  const uint64_t a = static_cast<uint64_t>(_mm_cvtsi128_si64(v));
  const uint64_t b = static_cast<uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(v, v)));
  uint64_t ra = 0, rb = 0;
  for (int k = 0; k < 64; k += 8) {
    ra |= static_cast<uint64_t>(s[(a >> k) & 0xff]) << k;
    rb |= static_cast<uint64_t>(s[(b >> k) & 0xff]) << k;
  }
  return _mm_set_epi64x(static_cast<long long>(rb), static_cast<long long>(ra));
}

inline __m128i ls(__m128i v) { return table_transform(precLSTable, v); }

// (L^-1 after S^-1)(v); applied to pi(v) it gives L^-1(v).
inline __m128i funcInvLS(__m128i v) { return table_transform(precInvLSTable, v); }

inline __m128i round_constant(int i) {
  return _mm_set_epi64x(static_cast<long long>(roundConstRight[i]),
                        static_cast<long long>(roundConstLeft[i]));
}

// K1, K2 from the key; each further pair from eight Feistel steps
// (a, b) -> (LS(a xor C) xor b, a) with the next eight constants.
void makeEncryptRoundKeys(const uint8_t* key, uint8_t* round_keys) {
  __m128i a = load_block(key);
  __m128i b = load_block(key + 16);
  store_block(a, round_keys);
  store_block(b, round_keys + 16);
  for (int j = 0; j < 4; ++j) {
    for (int s = 0; s < 8; ++s) {
      const __m128i t = _mm_xor_si128(ls(_mm_xor_si128(a, round_constant(8 * j + s))), b);
      b = a;
      a = t;
    }
    store_block(a, round_keys + 32 * (j + 1));
    store_block(b, round_keys + 32 * (j + 1) + 16);
  }
  // Key material in registers is left to be overwritten; nothing was
  // spilled to memory that the caller does not own.
}

}  // namespace

extern "C" {

int32_t ExpandEncryptKey_K(const uint8_t* key, uint8_t* round_keys) {
  if (key == nullptr || round_keys == nullptr) return -1;
  makeEncryptRoundKeys(key, round_keys);
  return 0;
}

int32_t ExpandDecryptKey_K(const uint8_t* key, uint8_t* round_keys) {
  if (key == nullptr || round_keys == nullptr) return -1;
  makeEncryptRoundKeys(key, round_keys);
  for (int i = 1; i <= 8; ++i) {
    const __m128i k = load_block(round_keys + 16 * i);
    store_block(funcInvLS(substitute(Pi, k)), round_keys + 16 * i);
  }
  return 0;
}

int32_t Encrypt_K(const uint8_t* in, uint8_t* out, const uint8_t* round_keys) {
  if (in == nullptr || out == nullptr || round_keys == nullptr) return -1;
  __m128i z = load_block(in);
#pragma GCC unroll 9
  for (int i = 0; i < 9; ++i) z = ls(_mm_xor_si128(z, load_block(round_keys + 16 * i)));
  store_block(_mm_xor_si128(z, load_block(round_keys + 144)), out);
  return 0;
}

int32_t Decrypt_K(const uint8_t* in, uint8_t* out, const uint8_t* round_keys) {
  if (in == nullptr || out == nullptr || round_keys == nullptr) return -1;
  __m128i z = load_block(in);
  z = funcInvLS(substitute(Pi, _mm_xor_si128(z, load_block(round_keys + 144))));
#pragma GCC unroll 8
  for (int i = 8; i >= 1; --i) z = _mm_xor_si128(funcInvLS(z), load_block(round_keys + 16 * i));
  z = substitute(InvPi, z);
  store_block(_mm_xor_si128(z, load_block(round_keys)), out);
  return 0;
}

}  // extern "C"
