// Arithmetic modulo an odd number of NL 64-bit words, in constant time:
// the curve primes and the group orders of the GOST curves. Montgomery's
// reduction in general; the primes 2^(64 NL) - c with a small c (2^256 - 617,
// 2^512 - 569) are reduced by folding instead, in plain form.
#ifndef VKC_EC_FIELD_H
#define VKC_EC_FIELD_H

#include <stdint.h>
#include <string.h>
#include <x86intrin.h>

#include "ec_fold_asm.h"
#include "mp.h"
#include "vkc_ct.h"

namespace vkc_ec {

using u64 = uint64_t;
using u128 = unsigned __int128;

#define VKC_INLINE inline __attribute__((always_inline))

template <int NL>
struct Mont {
  u64 m[NL];
  u64 r2[NL];   // R^2 mod m, R = 2^(64 NL)
  u64 one[NL];  // R mod m
  u64 n0;       // -m^-1 mod 2^64
  u64 mm2[NL];  // m - 2, the inversion exponent
  int bits;     // bit length of m
  // Non-zero when m = 2^(64 NL) - c with c below 2^32: products are then
  // reduced by folding (numbers kept in plain form, R = 1) instead of
  // Montgomery's method.
  u64 c;
};

// Digits (32-bit, least significant first) to words; nd digits, zero-padded.
template <int NL>
inline void from_digits(u64 r[NL], const DIGIT_T* d, uint32_t nd) {
  for (int i = 0; i < NL; i++) {
    u64 lo = (2u * i < nd) ? d[2 * i] : 0;
    u64 hi = (2u * i + 1 < nd) ? d[2 * i + 1] : 0;
    r[i] = lo | (hi << 32);
  }
}

template <int NL>
inline void to_digits(DIGIT_T* d, uint32_t nd, const u64 a[NL]) {
  for (uint32_t i = 0; i < nd; i++) {
    d[i] =
        (i / 2 < static_cast<uint32_t>(NL)) ? static_cast<DIGIT_T>(a[i / 2] >> (32 * (i % 2))) : 0;
  }
}

template <int NL>
inline bool is_zero_vt(const u64 a[NL]) {
  u64 acc = 0;
  for (int i = 0; i < NL; i++) acc |= a[i];
  return acc == 0;
}

template <int NL>
inline u64 mask_is_zero(const u64 a[NL]) {
  u64 acc = 0;
  for (int i = 0; i < NL; i++) acc |= a[i];
  return vkc_ct::mask_zero(acc);
}

template <int NL>
inline u64 mask_equal(const u64 a[NL], const u64 b[NL]) {
  u64 acc = 0;
  for (int i = 0; i < NL; i++) acc |= a[i] ^ b[i];
  return vkc_ct::mask_zero(acc);
}

// a < b, variable time (public values only).
template <int NL>
inline bool less_vt(const u64 a[NL], const u64 b[NL]) {
  for (int i = NL - 1; i >= 0; i--) {
    if (a[i] != b[i]) return a[i] < b[i];
  }
  return false;
}

template <int NL>
inline void mod_add(u64 r[NL], const u64 a[NL], const u64 b[NL], const Mont<NL>& M) {
  u64 s[NL], d[NL];
  unsigned char c = 0;
  for (int i = 0; i < NL; i++) {
    unsigned long long t;
    c = _addcarry_u64(c, a[i], b[i], &t);
    s[i] = t;
  }
  unsigned char bo = 0;
  for (int i = 0; i < NL; i++) {
    unsigned long long t;
    bo = _subborrow_u64(bo, s[i], M.m[i], &t);
    d[i] = t;
  }
  // Keep the difference unless it borrowed from a sum without carry.
  u64 keep_sum = vkc_ct::mask_bit(static_cast<u64>(bo & ~c));
  vkc_ct::select(r, s, d, NL, keep_sum);
}

template <int NL>
inline void mod_sub(u64 r[NL], const u64 a[NL], const u64 b[NL], const Mont<NL>& M) {
  u64 d[NL];
  unsigned char bo = 0;
  for (int i = 0; i < NL; i++) {
    unsigned long long t;
    bo = _subborrow_u64(bo, a[i], b[i], &t);
    d[i] = t;
  }
  u64 mask = vkc_ct::mask_bit(bo);
  unsigned char c = 0;
  for (int i = 0; i < NL; i++) {
    unsigned long long t;
    c = _addcarry_u64(c, d[i], M.m[i] & mask, &t);
    r[i] = t;
  }
}

template <int NL>
inline void mod_neg(u64 r[NL], const u64 a[NL], const Mont<NL>& M) {
  u64 z[NL] = {};
  mod_sub<NL>(r, z, a, M);
}

// ---- folding reduction for m = 2^(64 NL) - c, c below 2^32 ----------------
//
// Numbers stay in plain form (R = 1). The operations are the generated
// assembly of ec_fold_asm.h (4 and 8 words), inlined into the point
// formulas so that the words stay in registers and L1.

template <int NL>
VKC_INLINE void fold_mul(u64 r[NL], const u64 a[NL], const u64 b[NL], const Mont<NL>& M) {
  static_assert(NL == 4 || NL == 8, "folding moduli of 256 and 512 bits");
  if constexpr (NL == 4)
    fold_asm::mul4(r, a, b, M.c);
  else
    fold_asm::mul8(r, a, b, M.c);
}

template <int NL>
VKC_INLINE void fold_sqr(u64 r[NL], const u64 a[NL], const Mont<NL>& M) {
  static_assert(NL == 4 || NL == 8, "folding moduli of 256 and 512 bits");
  if constexpr (NL == 4)
    fold_asm::sqr4(r, a, M.c);
  else
    fold_asm::sqr8(r, a, M.c);
}

// r = a + b mod m for a, b below m.
template <int NL>
VKC_INLINE void fold_add(u64 r[NL], const u64 a[NL], const u64 b[NL], const Mont<NL>& M) {
  static_assert(NL == 4 || NL == 8, "folding moduli of 256 and 512 bits");
  if constexpr (NL == 4)
    fold_asm::add4(r, a, b, M.c);
  else
    fold_asm::add8(r, a, b, M.c);
}

// r = a - b mod m for a, b below m.
template <int NL>
VKC_INLINE void fold_sub(u64 r[NL], const u64 a[NL], const u64 b[NL], const Mont<NL>& M) {
  static_assert(NL == 4 || NL == 8, "folding moduli of 256 and 512 bits");
  if constexpr (NL == 4)
    fold_asm::sub4(r, a, b, M.c);
  else
    fold_asm::sub8(r, a, b, M.c);
}

// r = a * b / R mod m (CIOS); a * b must be below m * R.
template <int NL>
inline void cios_mul(u64 r[NL], const u64 a[NL], const u64 b[NL], const Mont<NL>& M) {
  u64 t[NL + 2] = {};
#pragma GCC unroll 16
  for (int i = 0; i < NL; i++) {
    u64 c = 0;
#pragma GCC unroll 16
    for (int j = 0; j < NL; j++) {
      u128 x = static_cast<u128>(a[j]) * b[i] + t[j] + c;
      t[j] = static_cast<u64>(x);
      c = static_cast<u64>(x >> 64);
    }
    u128 x = static_cast<u128>(t[NL]) + c;
    t[NL] = static_cast<u64>(x);
    t[NL + 1] = static_cast<u64>(x >> 64);
    u64 mq = t[0] * M.n0;
    x = static_cast<u128>(mq) * M.m[0] + t[0];
    c = static_cast<u64>(x >> 64);
#pragma GCC unroll 16
    for (int j = 1; j < NL; j++) {
      x = static_cast<u128>(mq) * M.m[j] + t[j] + c;
      t[j - 1] = static_cast<u64>(x);
      c = static_cast<u64>(x >> 64);
    }
    x = static_cast<u128>(t[NL]) + c;
    t[NL - 1] = static_cast<u64>(x);
    t[NL] = t[NL + 1] + static_cast<u64>(x >> 64);
  }
  u64 d[NL];
  unsigned char bo = 0;
  for (int i = 0; i < NL; i++) {
    unsigned long long x;
    bo = _subborrow_u64(bo, t[i], M.m[i], &x);
    d[i] = x;
  }
  u64 keep_t = vkc_ct::mask_bit(bo & ~t[NL] & 1);
  vkc_ct::select(r, t, d, NL, keep_t);
}

// The field operations with the reduction chosen at compile time: Fd for a
// folding modulus (M.c non-zero), else Montgomery's. The point formulas are
// instantiated for both, so that every operation inlines.
template <int NL, bool Fd>
VKC_INLINE void fmul(u64 r[NL], const u64 a[NL], const u64 b[NL], const Mont<NL>& M) {
  if constexpr (Fd)
    fold_mul<NL>(r, a, b, M);
  else
    cios_mul<NL>(r, a, b, M);
}

template <int NL, bool Fd>
VKC_INLINE void fsqr(u64 r[NL], const u64 a[NL], const Mont<NL>& M) {
  if constexpr (Fd)
    fold_sqr<NL>(r, a, M);
  else
    cios_mul<NL>(r, a, a, M);
}

template <int NL, bool Fd>
VKC_INLINE void fadd(u64 r[NL], const u64 a[NL], const u64 b[NL], const Mont<NL>& M) {
  if constexpr (Fd)
    fold_add<NL>(r, a, b, M);
  else
    mod_add<NL>(r, a, b, M);
}

template <int NL, bool Fd>
VKC_INLINE void fsub(u64 r[NL], const u64 a[NL], const u64 b[NL], const Mont<NL>& M) {
  if constexpr (Fd)
    fold_sub<NL>(r, a, b, M);
  else
    mod_sub<NL>(r, a, b, M);
}

template <int NL, bool Fd>
VKC_INLINE void fneg(u64 r[NL], const u64 a[NL], const Mont<NL>& M) {
  const u64 z[NL] = {};
  fsub<NL, Fd>(r, z, a, M);
}

// r = a * b in the modulus' own form (dispatch at run time).
template <int NL>
inline void mont_mul(u64 r[NL], const u64 a[NL], const u64 b[NL], const Mont<NL>& M) {
  if (M.c != 0)
    fold_mul<NL>(r, a, b, M);
  else
    cios_mul<NL>(r, a, b, M);
}

template <int NL>
inline void mont_sqr(u64 r[NL], const u64 a[NL], const Mont<NL>& M) {
  if (M.c != 0) {
    fold_sqr<NL>(r, a, M);
    return;
  }
  mont_mul<NL>(r, a, a, M);
}

template <int NL>
inline void to_mont(u64 r[NL], const u64 a[NL], const Mont<NL>& M) {
  mont_mul<NL>(r, a, M.r2, M);
}

template <int NL>
inline void from_mont(u64 r[NL], const u64 a[NL], const Mont<NL>& M) {
  u64 one[NL] = {1};
  mont_mul<NL>(r, a, one, M);
}

// r = a^(m-2) (the inverse for a prime m; 0 stays 0). The exponent is
// public: a sliding window over its bits, the same steps for every a.
template <int NL>
inline void mont_inv(u64 r[NL], const u64 a[NL], const Mont<NL>& M) {
  constexpr int kW = 5;
  u64 pw[1 << (kW - 1)][NL];  // a, a^3, ..., a^31
  u64 a2[NL];
  memcpy(pw[0], a, sizeof pw[0]);
  mont_sqr<NL>(a2, a, M);
  for (int i = 1; i < (1 << (kW - 1)); i++) mont_mul<NL>(pw[i], pw[i - 1], a2, M);
  auto bit = [&M](int i) { return static_cast<unsigned>((M.mm2[i / 64] >> (i % 64)) & 1); };
  u64 acc[NL];
  memcpy(acc, M.one, sizeof acc);
  int i = M.bits - 1;
  while (i >= 0) {
    if (bit(i) == 0) {
      mont_sqr<NL>(acc, acc, M);
      i--;
      continue;
    }
    int l = i - kW + 1 < 0 ? 0 : i - kW + 1;
    while (bit(l) == 0) l++;
    unsigned val = 0;
    for (int j = i; j >= l; j--) {
      val = (val << 1) | bit(j);
      mont_sqr<NL>(acc, acc, M);
    }
    mont_mul<NL>(acc, acc, pw[(val - 1) / 2], M);
    i = l - 1;
  }
  memcpy(r, acc, sizeof acc);
  vkc_ct::wipe(acc, sizeof acc);
  vkc_ct::wipe(pw, sizeof pw);
  vkc_ct::wipe(a2, sizeof a2);
}

// Sets up the constants for an odd modulus m below 2^(64 NL); with
// allow_fold a modulus just below 2^(64 NL) is reduced by folding.
template <int NL>
inline void mont_init(Mont<NL>& M, const u64 m[NL], bool allow_fold = false) {
  memcpy(M.m, m, sizeof M.m);
  M.c = 0;
  u64 inv = 1;
  for (int i = 0; i < 7; i++) inv *= 2 - m[0] * inv;
  M.n0 = 0 - inv;
  // R mod m and R^2 mod m through the digit layer.
  constexpr uint32_t nd = 2 * NL;
  DIGIT_T mod[nd];
  to_digits<NL>(mod, nd, m);
  DIGIT_T big[2 * nd + 1] = {};
  DIGIT_T rem[nd];
  big[nd] = 1;
  mpModulo(rem, big, 2 * nd + 1, mod, nd);
  from_digits<NL>(M.one, rem, nd);
  DIGIT_T big2[2 * nd + 1] = {};
  big2[2 * nd] = 1;
  mpModulo(rem, big2, 2 * nd + 1, mod, nd);
  from_digits<NL>(M.r2, rem, nd);
  u64 two[NL] = {2};
  u64 bo = 0;
  for (int i = 0; i < NL; i++) {
    u128 x = static_cast<u128>(m[i]) - two[i] - bo;
    M.mm2[i] = static_cast<u64>(x);
    bo = static_cast<u64>(x >> 64) & 1;
  }
  M.bits = static_cast<int>(mpBitLength(mod, nd));
  bool top_ones = true;
  for (int i = 1; i < NL; i++) top_ones = top_ones && m[i] == ~0ull;
  if ((NL == 4 || NL == 8) && allow_fold && top_ones && (0 - m[0]) < (1ull << 32)) {
    M.c = 0 - m[0];
    memset(M.r2, 0, sizeof M.r2);
    M.r2[0] = 1;
    memcpy(M.one, M.r2, sizeof M.one);
  }
}

// Reduces a number of nd digits (Montgomery moduli only, not folded ones) (nd at most 2 NL + 1; the
// digits above 2 NL form one word hi) modulo m, in constant time; result in Montgomery form.
template <int NL>
inline void reduce_digits_mont(u64 r[NL], const DIGIT_T* d, uint32_t nd, const Mont<NL>& M) {
  u64 lo[NL], hi[NL] = {}, t[NL], t2[NL];
  from_digits<NL>(lo, d, nd < 2 * NL ? nd : 2 * NL);
  if (nd > 2 * NL) hi[0] = d[2 * NL];
  mont_mul<NL>(t, lo, M.r2, M);   // lo * R
  mont_mul<NL>(t2, hi, M.r2, M);  // hi * R (= hi * 2^(64 NL))
  mont_mul<NL>(t2, t2, M.r2, M);  // in Montgomery form
  mod_add<NL>(r, t, t2, M);
  vkc_ct::wipe(lo, sizeof lo);
  vkc_ct::wipe(hi, sizeof hi);
  vkc_ct::wipe(t, sizeof t);
  vkc_ct::wipe(t2, sizeof t2);
}

}  // namespace vkc_ec

#endif
