// Fast point arithmetic for the GOST curves: projective coordinates with the
// complete addition formulas of Renes, Costello and Batina (any a), numbers
// in the field's own form (plain for folding primes, Montgomery's otherwise;
// Fd selects the reduction at compile time). Scalar multiplications run in
// constant time with respect to the scalar. Used behind the exported point
// and signature functions, which keep their interfaces and results.
#ifndef VKC_EC_FAST_H
#define VKC_EC_FAST_H

#include <emmintrin.h>
#include <stdint.h>
#include <string.h>

#include <vector>

#include "ec_comb.h"
#include "ec_field.h"

namespace vkc_ec {

template <int NL>
struct CurveCtx {
  Mont<NL> F;        // modulo p
  Mont<NL> S;        // modulo q
  u64 a[NL];         // field form
  u64 b3[NL];        // 3b, field form
  u64 b[NL];         // b, field form
  bool am3 = false;  // a = -3
  Aff<NL> G;         // base point, field form
  bool has_table = false;
  int nwin = 0;    // signed windows of a scalar below q
  int passes = 0;  // comb passes (see CombTable)
  int rows = 0;    // comb rows
  const Aff<NL>* table = nullptr;  // rows * kCombEntries points
  std::vector<Aff<NL>> own_table;  // storage of a table built at run time
};

// r = a x; for a = -3 three additions and a negation instead of a product.
template <int NL, bool Fd>
VKC_INLINE void mul_a(u64 r[NL], const u64 x[NL], const CurveCtx<NL>& C) {
  if (C.am3) {
    u64 t[NL];
    fadd<NL, Fd>(t, x, x, C.F);
    fadd<NL, Fd>(t, t, x, C.F);
    fneg<NL, Fd>(r, t, C.F);
  } else {
    fmul<NL, Fd>(r, C.a, x, C.F);
  }
}

template <int NL>
inline void set_identity(Proj<NL>& P, const CurveCtx<NL>& C) {
  memset(P.X, 0, sizeof P.X);
  memcpy(P.Y, C.F.one, sizeof P.Y);
  memset(P.Z, 0, sizeof P.Z);
}

// Complete addition (RCB algorithm 1); R may alias P or Q.
template <int NL, bool Fd>
inline void padd(Proj<NL>& R, const Proj<NL>& P, const Proj<NL>& Q, const CurveCtx<NL>& C) {
  const Mont<NL>& F = C.F;
  u64 t0[NL], t1[NL], t2[NL], t3[NL], t4[NL], t5[NL], X3[NL], Y3[NL], Z3[NL];
  fmul<NL, Fd>(t0, P.X, Q.X, F);
  fmul<NL, Fd>(t1, P.Y, Q.Y, F);
  fmul<NL, Fd>(t2, P.Z, Q.Z, F);
  fadd<NL, Fd>(t3, P.X, P.Y, F);
  fadd<NL, Fd>(t4, Q.X, Q.Y, F);
  fmul<NL, Fd>(t3, t3, t4, F);
  fadd<NL, Fd>(t4, t0, t1, F);
  fsub<NL, Fd>(t3, t3, t4, F);
  fadd<NL, Fd>(t4, P.X, P.Z, F);
  fadd<NL, Fd>(t5, Q.X, Q.Z, F);
  fmul<NL, Fd>(t4, t4, t5, F);
  fadd<NL, Fd>(t5, t0, t2, F);
  fsub<NL, Fd>(t4, t4, t5, F);
  fadd<NL, Fd>(t5, P.Y, P.Z, F);
  fadd<NL, Fd>(X3, Q.Y, Q.Z, F);
  fmul<NL, Fd>(t5, t5, X3, F);
  fadd<NL, Fd>(X3, t1, t2, F);
  fsub<NL, Fd>(t5, t5, X3, F);
  mul_a<NL, Fd>(Z3, t4, C);
  fmul<NL, Fd>(X3, C.b3, t2, F);
  fadd<NL, Fd>(Z3, X3, Z3, F);
  fsub<NL, Fd>(X3, t1, Z3, F);
  fadd<NL, Fd>(Z3, t1, Z3, F);
  fmul<NL, Fd>(Y3, X3, Z3, F);
  fadd<NL, Fd>(t1, t0, t0, F);
  fadd<NL, Fd>(t1, t1, t0, F);
  mul_a<NL, Fd>(t2, t2, C);
  fmul<NL, Fd>(t4, C.b3, t4, F);
  fadd<NL, Fd>(t1, t1, t2, F);
  fsub<NL, Fd>(t2, t0, t2, F);
  mul_a<NL, Fd>(t2, t2, C);
  fadd<NL, Fd>(t4, t4, t2, F);
  fmul<NL, Fd>(t0, t1, t4, F);
  fadd<NL, Fd>(Y3, Y3, t0, F);
  fmul<NL, Fd>(t0, t5, t4, F);
  fmul<NL, Fd>(X3, t3, X3, F);
  fsub<NL, Fd>(X3, X3, t0, F);
  fmul<NL, Fd>(t0, t3, t1, F);
  fmul<NL, Fd>(Z3, t5, Z3, F);
  fadd<NL, Fd>(Z3, Z3, t0, F);
  memcpy(R.X, X3, sizeof X3);
  memcpy(R.Y, Y3, sizeof Y3);
  memcpy(R.Z, Z3, sizeof Z3);
}

// Mixed addition with an affine Q that is not the identity (RCB algorithm 2).
template <int NL, bool Fd>
inline void padd_mixed(Proj<NL>& R, const Proj<NL>& P, const Aff<NL>& Q, const CurveCtx<NL>& C) {
  const Mont<NL>& F = C.F;
  u64 t0[NL], t1[NL], t2[NL], t3[NL], t4[NL], t5[NL], X3[NL], Y3[NL], Z3[NL];
  fmul<NL, Fd>(t0, P.X, Q.x, F);
  fmul<NL, Fd>(t1, P.Y, Q.y, F);
  fadd<NL, Fd>(t3, Q.x, Q.y, F);
  fadd<NL, Fd>(t4, P.X, P.Y, F);
  fmul<NL, Fd>(t3, t3, t4, F);
  fadd<NL, Fd>(t4, t0, t1, F);
  fsub<NL, Fd>(t3, t3, t4, F);
  fmul<NL, Fd>(t4, Q.x, P.Z, F);
  fadd<NL, Fd>(t4, t4, P.X, F);
  fmul<NL, Fd>(t5, Q.y, P.Z, F);
  fadd<NL, Fd>(t5, t5, P.Y, F);
  mul_a<NL, Fd>(Z3, t4, C);
  fmul<NL, Fd>(X3, C.b3, P.Z, F);
  fadd<NL, Fd>(Z3, X3, Z3, F);
  fsub<NL, Fd>(X3, t1, Z3, F);
  fadd<NL, Fd>(Z3, t1, Z3, F);
  fmul<NL, Fd>(Y3, X3, Z3, F);
  fadd<NL, Fd>(t1, t0, t0, F);
  fadd<NL, Fd>(t1, t1, t0, F);
  mul_a<NL, Fd>(t2, P.Z, C);
  fmul<NL, Fd>(t4, C.b3, t4, F);
  fadd<NL, Fd>(t1, t1, t2, F);
  fsub<NL, Fd>(t2, t0, t2, F);
  mul_a<NL, Fd>(t2, t2, C);
  fadd<NL, Fd>(t4, t4, t2, F);
  fmul<NL, Fd>(t0, t1, t4, F);
  fadd<NL, Fd>(Y3, Y3, t0, F);
  fmul<NL, Fd>(t0, t5, t4, F);
  fmul<NL, Fd>(X3, t3, X3, F);
  fsub<NL, Fd>(X3, X3, t0, F);
  fmul<NL, Fd>(t0, t3, t1, F);
  fmul<NL, Fd>(Z3, t5, Z3, F);
  fadd<NL, Fd>(Z3, Z3, t0, F);
  memcpy(R.X, X3, sizeof X3);
  memcpy(R.Y, Y3, sizeof Y3);
  memcpy(R.Z, Z3, sizeof Z3);
}

// Doubling (RCB algorithm 3); R may alias P.
template <int NL, bool Fd>
inline void pdbl(Proj<NL>& R, const Proj<NL>& P, const CurveCtx<NL>& C) {
  const Mont<NL>& F = C.F;
  u64 t0[NL], t1[NL], t2[NL], t3[NL], X3[NL], Y3[NL], Z3[NL];
  fsqr<NL, Fd>(t0, P.X, F);
  fsqr<NL, Fd>(t1, P.Y, F);
  fsqr<NL, Fd>(t2, P.Z, F);
  fmul<NL, Fd>(t3, P.X, P.Y, F);
  fadd<NL, Fd>(t3, t3, t3, F);
  fmul<NL, Fd>(Z3, P.X, P.Z, F);
  fadd<NL, Fd>(Z3, Z3, Z3, F);
  mul_a<NL, Fd>(X3, Z3, C);
  fmul<NL, Fd>(Y3, C.b3, t2, F);
  fadd<NL, Fd>(Y3, X3, Y3, F);
  fsub<NL, Fd>(X3, t1, Y3, F);
  fadd<NL, Fd>(Y3, t1, Y3, F);
  fmul<NL, Fd>(Y3, X3, Y3, F);
  fmul<NL, Fd>(X3, t3, X3, F);
  fmul<NL, Fd>(Z3, C.b3, Z3, F);
  mul_a<NL, Fd>(t2, t2, C);
  fsub<NL, Fd>(t3, t0, t2, F);
  mul_a<NL, Fd>(t3, t3, C);
  fadd<NL, Fd>(t3, t3, Z3, F);
  fadd<NL, Fd>(Z3, t0, t0, F);
  fadd<NL, Fd>(t0, Z3, t0, F);
  fadd<NL, Fd>(t0, t0, t2, F);
  fmul<NL, Fd>(t0, t0, t3, F);
  fadd<NL, Fd>(Y3, Y3, t0, F);
  fmul<NL, Fd>(t2, P.Y, P.Z, F);
  fadd<NL, Fd>(t2, t2, t2, F);
  fmul<NL, Fd>(t0, t2, t3, F);
  fsub<NL, Fd>(X3, X3, t0, F);
  fmul<NL, Fd>(Z3, t2, t1, F);
  fadd<NL, Fd>(Z3, Z3, Z3, F);
  fadd<NL, Fd>(Z3, Z3, Z3, F);
  memcpy(R.X, X3, sizeof X3);
  memcpy(R.Y, Y3, sizeof Y3);
  memcpy(R.Z, Z3, sizeof Z3);
}

template <int NL>
inline void select_proj(Proj<NL>& R, const Proj<NL>& A, const Proj<NL>& B, u64 mask) {
  vkc_ct::select(R.X, A.X, B.X, NL, mask);
  vkc_ct::select(R.Y, A.Y, B.Y, NL, mask);
  vkc_ct::select(R.Z, A.Z, B.Z, NL, mask);
}

// r = a^(m-2) for a folding m = 2^(64 NL) - c: the exponent is a long run
// of ones over a few low bits. The run of length L comes from the chain
// a^(2^(2l) - 1) = (a^(2^l - 1))^(2^l) a^(2^l - 1) and
// a^(2^(l+1) - 1) = (a^(2^l - 1))^2 a; the low bits by square and multiply.
// The exponent is public; the steps are the same for every a.
template <int NL>
inline void finv_fold(u64 r[NL], const u64 a[NL], const Mont<NL>& M) {
  auto bit = [&M](int i) { return static_cast<unsigned>((M.mm2[i / 64] >> (i % 64)) & 1); };
  const int top = 64 * NL - 1;
  int run = 0;
  while (run <= top && bit(top - run) == 1) run++;
  int hb = 31;
  while (((static_cast<unsigned>(run) >> hb) & 1) == 0) hb--;
  u64 acc[NL];
  memcpy(acc, a, sizeof acc);
  unsigned len = 1;
  for (int b = hb - 1; b >= 0; b--) {
    u64 t[NL];
    memcpy(t, acc, sizeof t);
    for (unsigned i = 0; i < len; i++) fsqr<NL, true>(acc, acc, M);
    fmul<NL, true>(acc, acc, t, M);
    len *= 2;
    if ((static_cast<unsigned>(run) >> b) & 1) {
      fsqr<NL, true>(acc, acc, M);
      fmul<NL, true>(acc, acc, a, M);
      len++;
    }
    vkc_ct::wipe(t, sizeof t);
  }
  for (int i = top - run; i >= 0; i--) {
    fsqr<NL, true>(acc, acc, M);
    if (bit(i)) fmul<NL, true>(acc, acc, a, M);
  }
  memcpy(r, acc, sizeof acc);
  vkc_ct::wipe(acc, sizeof acc);
}

// r = a^(m-2) (the inverse for a prime m; 0 stays 0): an addition chain for
// a folding m, else the sliding window of mont_inv.
template <int NL, bool Fd>
inline void finv(u64 r[NL], const u64 a[NL], const Mont<NL>& M) {
  if constexpr (Fd)
    finv_fold<NL>(r, a, M);
  else
    mont_inv<NL>(r, a, M);
}

// Affine result in the field's form; returns false for the identity. That
// outcome is treated as public: k * G is not the identity for any scalar that
// signing or key generation uses.
template <int NL, bool Fd>
inline bool to_affine_f(Aff<NL>& A, const Proj<NL>& P, const CurveCtx<NL>& C) {
  if (vkc_ct::declassify(is_zero_vt<NL>(P.Z))) return false;
  u64 zi[NL];
  finv<NL, Fd>(zi, P.Z, C.F);
  fmul<NL, Fd>(A.x, P.X, zi, C.F);
  fmul<NL, Fd>(A.y, P.Y, zi, C.F);
  vkc_ct::wipe(zi, sizeof zi);
  return true;
}

template <int NL>
inline bool to_affine(Aff<NL>& A, const Proj<NL>& P, const CurveCtx<NL>& C) {
  return C.F.c != 0 ? to_affine_f<NL, true>(A, P, C) : to_affine_f<NL, false>(A, P, C);
}

// Affine form without a branch on the point: the identity (Z = 0) inverts
// to 0 and comes out as (0, 0), the identity's affine encoding.
template <int NL>
inline void to_affine_ct(Aff<NL>& A, const Proj<NL>& P, const CurveCtx<NL>& C) {
  u64 zi[NL];
  if (C.F.c != 0) {
    finv<NL, true>(zi, P.Z, C.F);
    fmul<NL, true>(A.x, P.X, zi, C.F);
    fmul<NL, true>(A.y, P.Y, zi, C.F);
  } else {
    finv<NL, false>(zi, P.Z, C.F);
    fmul<NL, false>(A.x, P.X, zi, C.F);
    fmul<NL, false>(A.y, P.Y, zi, C.F);
  }
  vkc_ct::wipe(zi, sizeof zi);
}

// n bits of k from bit pos on (bits beyond the words read as zero); pos and
// n are public.
template <int NL>
inline u64 bits_at(const u64 k[NL], int pos, int n) {
  const int w = pos / 64, b = pos % 64;
  u64 v = w < NL ? k[w] >> b : 0;
  if (b + n > 64 && w + 1 < NL) v |= k[w + 1] << (64 - b);
  return v & ((1ull << n) - 1);
}

// Signed window i of k (Booth recoding, kCombW bits): magnitude 0 .. 32 and
// a mask that is all ones for a negative digit. Without branches.
template <int NL>
inline void booth_digit(const u64 k[NL], int i, u64* mag, u64* neg) {
  const u64 raw = i == 0 ? bits_at<NL>(k, 0, kCombW) << 1 : bits_at<NL>(k, kCombW * i - 1, kCombW + 1);
  const u64 s = vkc_ct::value_barrier(0 - (raw >> kCombW));
  u64 d = ((1ull << (kCombW + 1)) - 1) - raw;
  d = (d & s) | (raw & ~s);
  *mag = (d >> 1) + (d & 1);
  *neg = s;
}

// e = (+-) row[mag - 1], scanning every entry with 128-bit masks; e is
// garbage for mag = 0.
template <int NL, bool Fd>
VKC_INLINE void comb_select(Aff<NL>& e, const Aff<NL>* row, u64 mag, u64 neg,
                            const CurveCtx<NL>& C) {
  static_assert(NL % 2 == 0, "whole 128-bit lanes");
  __m128i x[NL / 2], y[NL / 2];
  for (int w = 0; w < NL / 2; w++) x[w] = y[w] = _mm_setzero_si128();
  for (unsigned j = 0; j < static_cast<unsigned>(kCombEntries); j++) {
    const __m128i m = _mm_set1_epi64x(static_cast<long long>(vkc_ct::mask_eq(mag, j + 1)));
    const __m128i* px = reinterpret_cast<const __m128i*>(row[j].x);
    const __m128i* py = reinterpret_cast<const __m128i*>(row[j].y);
    for (int w = 0; w < NL / 2; w++) {
      x[w] = _mm_or_si128(x[w], _mm_and_si128(_mm_loadu_si128(px + w), m));
      y[w] = _mm_or_si128(y[w], _mm_and_si128(_mm_loadu_si128(py + w), m));
    }
  }
  u64 yy[NL], ny[NL];
  for (int w = 0; w < NL / 2; w++) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(e.x) + w, x[w]);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(yy) + w, y[w]);
  }
  fneg<NL, Fd>(ny, yy, C.F);
  vkc_ct::select(e.y, ny, yy, NL, neg);
  vkc_ct::wipe(x, sizeof x);
  vkc_ct::wipe(y, sizeof y);
  vkc_ct::wipe(yy, sizeof yy);
  vkc_ct::wipe(ny, sizeof ny);
}

// R = k * G with the comb table; k below q in plain form.
template <int NL, bool Fd>
inline void mul_base_ct_f(Proj<NL>& R, const u64 k[NL], const CurveCtx<NL>& C) {
  Proj<NL> acc, t;
  Aff<NL> e;
  set_identity<NL>(acc, C);
  for (int s = C.passes - 1; s >= 0; s--) {
    if (s != C.passes - 1)
      for (int d = 0; d < kCombW; d++) pdbl<NL, Fd>(acc, acc, C);
    for (int row = 0; row < C.rows; row++) {
      const int i = row * C.passes + s;
      if (i >= C.nwin) continue;
      u64 mag, neg;
      booth_digit<NL>(k, i, &mag, &neg);
      comb_select<NL, Fd>(e, &C.table[static_cast<size_t>(kCombEntries) * row], mag, neg, C);
      padd_mixed<NL, Fd>(t, acc, e, C);
      select_proj<NL>(acc, t, acc, vkc_ct::mask_nonzero(mag));
    }
  }
  R = acc;
  vkc_ct::wipe(&acc, sizeof acc);
  vkc_ct::wipe(&t, sizeof t);
  vkc_ct::wipe(&e, sizeof e);
}

template <int NL>
inline void mul_base_ct(Proj<NL>& R, const u64 k[NL], const CurveCtx<NL>& C) {
  if (C.F.c != 0)
    mul_base_ct_f<NL, true>(R, k, C);
  else
    mul_base_ct_f<NL, false>(R, k, C);
}

// R = k * P for an affine P (field form) on the curve; k has nwin windows.
// Fixed 4-bit windows; the table entry is read in constant time.
template <int NL, int KW, bool Fd>
inline void mul_point_ct_f(Proj<NL>& R, const Aff<NL>& P, const u64 k[KW], int nwin,
                           const CurveCtx<NL>& C) {
  Proj<NL> tab[16];
  set_identity<NL>(tab[0], C);
  memcpy(tab[1].X, P.x, sizeof P.x);
  memcpy(tab[1].Y, P.y, sizeof P.y);
  memcpy(tab[1].Z, C.F.one, sizeof tab[1].Z);
  for (int j = 2; j < 16; j++) {
    if (j % 2 == 0)
      pdbl<NL, Fd>(tab[j], tab[j / 2], C);
    else
      padd<NL, Fd>(tab[j], tab[j - 1], tab[1], C);
  }
  Proj<NL> acc, e;
  set_identity<NL>(acc, C);
  for (int i = nwin - 1; i >= 0; i--) {
    for (int s = 0; s < 4; s++) pdbl<NL, Fd>(acc, acc, C);
    const uint64_t d = (k[i / 16] >> (4 * (i % 16))) & 15;
    memset(&e, 0, sizeof e);
    for (unsigned j = 0; j < 16; j++) {
      const u64 mask = vkc_ct::mask_eq(d, j);
      vkc_ct::or_masked(e.X, tab[j].X, NL, mask);
      vkc_ct::or_masked(e.Y, tab[j].Y, NL, mask);
      vkc_ct::or_masked(e.Z, tab[j].Z, NL, mask);
    }
    padd<NL, Fd>(acc, acc, e, C);
  }
  R = acc;
  vkc_ct::wipe(tab, sizeof tab);
  vkc_ct::wipe(&acc, sizeof acc);
  vkc_ct::wipe(&e, sizeof e);
}

template <int NL, int KW>
inline void mul_point_ct(Proj<NL>& R, const Aff<NL>& P, const u64 k[KW], int nwin,
                         const CurveCtx<NL>& C) {
  if (C.F.c != 0)
    mul_point_ct_f<NL, KW, true>(R, P, k, nwin, C);
  else
    mul_point_ct_f<NL, KW, false>(R, P, k, nwin, C);
}

// True when every coordinate of a projective result is zero: the formulas'
// exceptional case, reachable only for points outside the prime-order
// subgroup of a curve with a cofactor.
template <int NL>
inline bool is_exceptional(const Proj<NL>& P) {
  return is_zero_vt<NL>(P.X) && is_zero_vt<NL>(P.Y) && is_zero_vt<NL>(P.Z);
}

// Affine point (plain words) on the curve with coordinates below p?
template <int NL>
inline bool load_point(Aff<NL>& A, const u64 x[NL], const u64 y[NL], const CurveCtx<NL>& C) {
  if (!less_vt<NL>(x, C.F.m) || !less_vt<NL>(y, C.F.m)) return false;
  to_mont<NL>(A.x, x, C.F);
  to_mont<NL>(A.y, y, C.F);
  u64 l[NL], r[NL], t[NL];
  mont_sqr<NL>(l, A.y, C.F);
  mont_sqr<NL>(r, A.x, C.F);
  mod_add<NL>(r, r, C.a, C.F);
  mont_mul<NL>(r, r, A.x, C.F);
  // b = b3 / 3: compare 3 y^2 with 3 (x^3 + a x) + b3.
  mod_add<NL>(t, l, l, C.F);
  mod_add<NL>(l, t, l, C.F);
  mod_add<NL>(t, r, r, C.F);
  mod_add<NL>(r, t, r, C.F);
  mod_add<NL>(r, r, C.b3, C.F);
  return !less_vt<NL>(l, r) && !less_vt<NL>(r, l);
}

// The compiled comb table of the curve (p, a, b, G in plain words), if any.
template <int NL>
inline const CombTable<NL>* find_comb(const u64 p[NL], const u64 a[NL], const u64 b[NL],
                                      const u64 gx[NL], const u64 gy[NL]) {
  size_t n = 0;
  const CombTable<NL>* tabs = comb_tables<NL>(&n);
  const size_t sz = sizeof(u64) * NL;
  for (size_t i = 0; i < n; i++) {
    const CombTable<NL>& t = tabs[i];
    if (memcmp(t.p, p, sz) == 0 && memcmp(t.a, a, sz) == 0 && memcmp(t.b, b, sz) == 0 &&
        memcmp(t.gx, gx, sz) == 0 && memcmp(t.gy, gy, sz) == 0)
      return &t;
  }
  return nullptr;
}

// Builds the constants of a curve from its numbers (plain words). Returns
// false when the numbers do not suit the fast code (even or oversized
// modulus), so the caller keeps to the digit-layer arithmetic. A curve with
// a compiled comb table gets it here.
template <int NL>
inline bool ctx_init(CurveCtx<NL>& C, const DIGIT_T* p, const DIGIT_T* a, const DIGIT_T* b,
                     const DIGIT_T* q, const DIGIT_T* gx, const DIGIT_T* gy, uint32_t nd) {
  for (uint32_t i = 2 * NL; i < nd; i++) {
    if (p[i] != 0 || q[i] != 0 || a[i] != 0 || b[i] != 0 || gx[i] != 0 || gy[i] != 0) return false;
  }
  if ((p[0] & 1) == 0 || (q[0] & 1) == 0) return false;
  if (mpBitLength(p, nd) < 64 || mpBitLength(q, nd) < 64) return false;
  u64 pw[NL], qw[NL], aw[NL], bw[NL], xw[NL], yw[NL];
  from_digits<NL>(pw, p, nd);
  from_digits<NL>(qw, q, nd);
  from_digits<NL>(aw, a, nd);
  from_digits<NL>(bw, b, nd);
  from_digits<NL>(xw, gx, nd);
  from_digits<NL>(yw, gy, nd);
  if (!less_vt<NL>(aw, pw) || !less_vt<NL>(bw, pw)) return false;
  mont_init<NL>(C.F, pw, true);
  mont_init<NL>(C.S, qw);
  to_mont<NL>(C.a, aw, C.F);
  u64 bm[NL];
  to_mont<NL>(bm, bw, C.F);
  mod_add<NL>(C.b3, bm, bm, C.F);
  mod_add<NL>(C.b3, C.b3, bm, C.F);
  memcpy(C.b, bm, sizeof C.b);
  u64 three[NL] = {3}, t3[NL], m3[NL];
  to_mont<NL>(t3, three, C.F);
  mod_neg<NL>(m3, t3, C.F);
  C.am3 = memcmp(m3, C.a, sizeof m3) == 0;
  if (!load_point<NL>(C.G, xw, yw, C)) return false;
  C.nwin = (C.S.bits + 1 + kCombW - 1) / kCombW;
  C.passes = comb_passes(NL);
  C.rows = (C.nwin + C.passes - 1) / C.passes;
  const CombTable<NL>* ct = C.F.c != 0 ? find_comb<NL>(pw, aw, bw, xw, yw) : nullptr;
  if (ct != nullptr && ct->passes > 0 && ct->rows * ct->passes >= C.nwin) {
    C.passes = ct->passes;
    C.rows = ct->rows;
    C.table = ct->pts;
    C.has_table = true;
  }
  return true;
}

// Builds the comb table at run time (curves without a compiled one): the
// rows by repeated addition, then all points to affine form with one
// inversion.
template <int NL>
inline void ctx_build_table(CurveCtx<NL>& C) {
  if (C.has_table) return;
  constexpr int E = kCombEntries;
  const size_t n = static_cast<size_t>(E) * C.rows;
  std::vector<Proj<NL>> pts(n);
  Proj<NL> base;
  memcpy(base.X, C.G.x, sizeof base.X);
  memcpy(base.Y, C.G.y, sizeof base.Y);
  memcpy(base.Z, C.F.one, sizeof base.Z);
  const bool fd = C.F.c != 0;
  for (int i = 0; i < C.rows; i++) {
    Proj<NL>* row = &pts[static_cast<size_t>(E) * i];
    row[0] = base;
    for (int j = 2; j <= E; j++) {
      if (fd)
        padd<NL, true>(row[j - 1], row[j - 2], base, C);
      else
        padd<NL, false>(row[j - 1], row[j - 2], base, C);
    }
    for (int d = 0; d < kCombW * C.passes; d++) {  // 2^(kCombW passes) * base
      if (fd)
        pdbl<NL, true>(base, base, C);
      else
        pdbl<NL, false>(base, base, C);
    }
  }
  // Batch inversion of the Z coordinates (none is zero: q is prime).
  std::vector<u64> pref(n * NL);
  u64 acc[NL];
  memcpy(acc, C.F.one, sizeof acc);
  for (size_t i = 0; i < n; i++) {
    memcpy(&pref[i * NL], acc, sizeof acc);
    mont_mul<NL>(acc, acc, pts[i].Z, C.F);
  }
  u64 inv[NL];
  mont_inv<NL>(inv, acc, C.F);
  C.own_table.resize(n);
  for (size_t i = n; i-- > 0;) {
    u64 zi[NL];
    mont_mul<NL>(zi, inv, &pref[i * NL], C.F);
    mont_mul<NL>(inv, inv, pts[i].Z, C.F);
    mont_mul<NL>(C.own_table[i].x, pts[i].X, zi, C.F);
    mont_mul<NL>(C.own_table[i].y, pts[i].Y, zi, C.F);
  }
  C.table = C.own_table.data();
  C.has_table = true;
}

}  // namespace vkc_ec

#endif
