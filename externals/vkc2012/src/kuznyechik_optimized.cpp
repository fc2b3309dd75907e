#include "kuznyechik_optimized.h"

#include <bit>
#include <cstring>

#include "kuznyechik_tables.h"

static_assert(std::endian::native == std::endian::little,
              "table words are read as little-endian host words");

namespace {

using namespace vkc::kuznyechik;

struct Half2 {
  uint64_t left;
  uint64_t right;
};

inline Half2 load_block(const uint8_t* p) {
  Half2 v;
  memcpy(&v.left, p, 8);
  memcpy(&v.right, p + 8, 8);
  return v;
}

inline void store_block(const Half2& v, uint8_t* p) {
  memcpy(p, &v.left, 8);
  memcpy(p + 8, &v.right, 8);
}

#define VKC_K_BYTE(w, k) static_cast<uint8_t>((w) >> (8 * (k)))

// XOR of the 16 table entries selected by the bytes of v (byte i of the
// block selects row i).
inline __attribute__((always_inline)) Half2 table_transform(const HalfTable& tl,
                                                            const HalfTable& tr, Half2 v) {
  const uint64_t a = v.left, b = v.right;
  Half2 r;
  r.left = tl[0][VKC_K_BYTE(a, 0)] ^ tl[1][VKC_K_BYTE(a, 1)] ^ tl[2][VKC_K_BYTE(a, 2)] ^
           tl[3][VKC_K_BYTE(a, 3)] ^ tl[4][VKC_K_BYTE(a, 4)] ^ tl[5][VKC_K_BYTE(a, 5)] ^
           tl[6][VKC_K_BYTE(a, 6)] ^ tl[7][VKC_K_BYTE(a, 7)] ^ tl[8][VKC_K_BYTE(b, 0)] ^
           tl[9][VKC_K_BYTE(b, 1)] ^ tl[10][VKC_K_BYTE(b, 2)] ^ tl[11][VKC_K_BYTE(b, 3)] ^
           tl[12][VKC_K_BYTE(b, 4)] ^ tl[13][VKC_K_BYTE(b, 5)] ^ tl[14][VKC_K_BYTE(b, 6)] ^
           tl[15][VKC_K_BYTE(b, 7)];
  r.right = tr[0][VKC_K_BYTE(a, 0)] ^ tr[1][VKC_K_BYTE(a, 1)] ^ tr[2][VKC_K_BYTE(a, 2)] ^
            tr[3][VKC_K_BYTE(a, 3)] ^ tr[4][VKC_K_BYTE(a, 4)] ^ tr[5][VKC_K_BYTE(a, 5)] ^
            tr[6][VKC_K_BYTE(a, 6)] ^ tr[7][VKC_K_BYTE(a, 7)] ^ tr[8][VKC_K_BYTE(b, 0)] ^
            tr[9][VKC_K_BYTE(b, 1)] ^ tr[10][VKC_K_BYTE(b, 2)] ^ tr[11][VKC_K_BYTE(b, 3)] ^
            tr[12][VKC_K_BYTE(b, 4)] ^ tr[13][VKC_K_BYTE(b, 5)] ^ tr[14][VKC_K_BYTE(b, 6)] ^
            tr[15][VKC_K_BYTE(b, 7)];
  return r;
}

// Applies the byte substitution s to every byte of v.
inline Half2 substitute(const std::array<uint8_t, 256>& s, Half2 v) {
  uint8_t bytes[16];
  store_block(v, bytes);
  for (uint8_t& x : bytes) x = s[x];
  return load_block(bytes);
}

#undef VKC_K_BYTE

inline Half2 ls(Half2 v) { return table_transform(precLSTableLeft, precLSTableRight, v); }

// (L^-1 after S^-1)(v); applied to pi(v) it gives L^-1(v).
inline Half2 funcInvLS(Half2 v) {
  return table_transform(precInvLSTableLeft, precInvLSTableRight, v);
}

// K1, K2 from the key; each further pair from eight Feistel steps
// (a, b) -> (LS(a xor C) xor b, a) with the next eight constants.
void makeEncryptRoundKeys(const uint8_t* key, uint8_t* round_keys) {
  Half2 a = load_block(key);
  Half2 b = load_block(key + 16);
  store_block(a, round_keys);
  store_block(b, round_keys + 16);
  for (int j = 0; j < 4; ++j) {
    for (int s = 0; s < 8; ++s) {
      const int c = 8 * j + s;
      Half2 t = ls(Half2{a.left ^ roundConstLeft[c], a.right ^ roundConstRight[c]});
      t.left ^= b.left;
      t.right ^= b.right;
      b = a;
      a = t;
    }
    store_block(a, round_keys + 32 * (j + 1));
    store_block(b, round_keys + 32 * (j + 1) + 16);
  }
  explicit_bzero(&a, sizeof(a));
  explicit_bzero(&b, sizeof(b));
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
    Half2 k = load_block(round_keys + 16 * i);
    k = funcInvLS(substitute(Pi, k));
    store_block(k, round_keys + 16 * i);
    explicit_bzero(&k, sizeof(k));
  }
  return 0;
}

int32_t Encrypt_K(const uint8_t* in, uint8_t* out, const uint8_t* round_keys) {
  if (in == nullptr || out == nullptr || round_keys == nullptr) return -1;
  Half2 z = load_block(in);
#pragma GCC unroll 9
  for (int i = 0; i < 9; ++i) {
    const Half2 k = load_block(round_keys + 16 * i);
    z = ls(Half2{z.left ^ k.left, z.right ^ k.right});
  }
  const Half2 k10 = load_block(round_keys + 144);
  store_block(Half2{z.left ^ k10.left, z.right ^ k10.right}, out);
  return 0;
}

int32_t Decrypt_K(const uint8_t* in, uint8_t* out, const uint8_t* round_keys) {
  if (in == nullptr || out == nullptr || round_keys == nullptr) return -1;
  Half2 z = load_block(in);
  const Half2 k10 = load_block(round_keys + 144);
  z = funcInvLS(substitute(Pi, Half2{z.left ^ k10.left, z.right ^ k10.right}));
#pragma GCC unroll 8
  for (int i = 8; i >= 1; --i) {
    const Half2 k = load_block(round_keys + 16 * i);
    z = funcInvLS(z);
    z.left ^= k.left;
    z.right ^= k.right;
  }
  z = substitute(InvPi, z);
  const Half2 k1 = load_block(round_keys);
  store_block(Half2{z.left ^ k1.left, z.right ^ k1.right}, out);
  return 0;
}

}  // extern "C"
