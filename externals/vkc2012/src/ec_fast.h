// Fast point arithmetic for the GOST curves: projective coordinates with the
// complete addition formulas of Renes, Costello and Batina (any a), numbers in
// Montgomery form. Scalar multiplications run in constant time with respect
// to the scalar. Used behind the exported point and signature functions,
// which keep their interfaces and results.
#ifndef VKC_EC_FAST_H
#define VKC_EC_FAST_H

#include <stdint.h>
#include <string.h>

#include <memory>
#include <mutex>
#include <vector>

#include "ec_field.h"

namespace vkc_ec {

template <int NL>
struct Proj {
  u64 X[NL], Y[NL], Z[NL];
};

template <int NL>
struct Aff {
  u64 x[NL], y[NL];
};

template <int NL>
struct CurveCtx {
  Mont<NL> F;        // modulo p
  Mont<NL> S;        // modulo q
  u64 a[NL];         // Montgomery form
  u64 b3[NL];        // 3b, Montgomery form
  u64 b[NL];         // b, Montgomery form
  bool am3 = false;  // a = -3
  Aff<NL> G;         // base point, Montgomery form
  static constexpr int kW = 5;                    // bits per window of the fixed-base table
  static constexpr int kEntries = (1 << kW) - 1;  // points per window
  bool has_table = false;
  int nwin = 0;                // windows of a scalar below q
  std::vector<Aff<NL>> table;  // table[kEntries i + j - 1] = j * 2^(kW i) * G
};

// r = a x; for a = -3 three additions and a negation instead of a product.
template <int NL>
inline void mul_a(u64 r[NL], const u64 x[NL], const CurveCtx<NL>& C) {
  if (C.am3) {
    u64 t[NL];
    mod_add<NL>(t, x, x, C.F);
    mod_add<NL>(t, t, x, C.F);
    mod_neg<NL>(r, t, C.F);
  } else {
    mont_mul<NL>(r, C.a, x, C.F);
  }
}

template <int NL>
inline void set_identity(Proj<NL>& P, const CurveCtx<NL>& C) {
  memset(P.X, 0, sizeof P.X);
  memcpy(P.Y, C.F.one, sizeof P.Y);
  memset(P.Z, 0, sizeof P.Z);
}

// Complete addition (RCB algorithm 1); R may alias P or Q.
template <int NL>
inline void padd(Proj<NL>& R, const Proj<NL>& P, const Proj<NL>& Q, const CurveCtx<NL>& C) {
  const Mont<NL>& F = C.F;
  u64 t0[NL], t1[NL], t2[NL], t3[NL], t4[NL], t5[NL], X3[NL], Y3[NL], Z3[NL];
  mont_mul<NL>(t0, P.X, Q.X, F);
  mont_mul<NL>(t1, P.Y, Q.Y, F);
  mont_mul<NL>(t2, P.Z, Q.Z, F);
  mod_add<NL>(t3, P.X, P.Y, F);
  mod_add<NL>(t4, Q.X, Q.Y, F);
  mont_mul<NL>(t3, t3, t4, F);
  mod_add<NL>(t4, t0, t1, F);
  mod_sub<NL>(t3, t3, t4, F);
  mod_add<NL>(t4, P.X, P.Z, F);
  mod_add<NL>(t5, Q.X, Q.Z, F);
  mont_mul<NL>(t4, t4, t5, F);
  mod_add<NL>(t5, t0, t2, F);
  mod_sub<NL>(t4, t4, t5, F);
  mod_add<NL>(t5, P.Y, P.Z, F);
  mod_add<NL>(X3, Q.Y, Q.Z, F);
  mont_mul<NL>(t5, t5, X3, F);
  mod_add<NL>(X3, t1, t2, F);
  mod_sub<NL>(t5, t5, X3, F);
  mul_a<NL>(Z3, t4, C);
  mont_mul<NL>(X3, C.b3, t2, F);
  mod_add<NL>(Z3, X3, Z3, F);
  mod_sub<NL>(X3, t1, Z3, F);
  mod_add<NL>(Z3, t1, Z3, F);
  mont_mul<NL>(Y3, X3, Z3, F);
  mod_add<NL>(t1, t0, t0, F);
  mod_add<NL>(t1, t1, t0, F);
  mul_a<NL>(t2, t2, C);
  mont_mul<NL>(t4, C.b3, t4, F);
  mod_add<NL>(t1, t1, t2, F);
  mod_sub<NL>(t2, t0, t2, F);
  mul_a<NL>(t2, t2, C);
  mod_add<NL>(t4, t4, t2, F);
  mont_mul<NL>(t0, t1, t4, F);
  mod_add<NL>(Y3, Y3, t0, F);
  mont_mul<NL>(t0, t5, t4, F);
  mont_mul<NL>(X3, t3, X3, F);
  mod_sub<NL>(X3, X3, t0, F);
  mont_mul<NL>(t0, t3, t1, F);
  mont_mul<NL>(Z3, t5, Z3, F);
  mod_add<NL>(Z3, Z3, t0, F);
  memcpy(R.X, X3, sizeof X3);
  memcpy(R.Y, Y3, sizeof Y3);
  memcpy(R.Z, Z3, sizeof Z3);
}

// Mixed addition with an affine Q that is not the identity (RCB algorithm 2).
template <int NL>
inline void padd_mixed(Proj<NL>& R, const Proj<NL>& P, const Aff<NL>& Q, const CurveCtx<NL>& C) {
  const Mont<NL>& F = C.F;
  u64 t0[NL], t1[NL], t2[NL], t3[NL], t4[NL], t5[NL], X3[NL], Y3[NL], Z3[NL];
  mont_mul<NL>(t0, P.X, Q.x, F);
  mont_mul<NL>(t1, P.Y, Q.y, F);
  mod_add<NL>(t3, Q.x, Q.y, F);
  mod_add<NL>(t4, P.X, P.Y, F);
  mont_mul<NL>(t3, t3, t4, F);
  mod_add<NL>(t4, t0, t1, F);
  mod_sub<NL>(t3, t3, t4, F);
  mont_mul<NL>(t4, Q.x, P.Z, F);
  mod_add<NL>(t4, t4, P.X, F);
  mont_mul<NL>(t5, Q.y, P.Z, F);
  mod_add<NL>(t5, t5, P.Y, F);
  mul_a<NL>(Z3, t4, C);
  mont_mul<NL>(X3, C.b3, P.Z, F);
  mod_add<NL>(Z3, X3, Z3, F);
  mod_sub<NL>(X3, t1, Z3, F);
  mod_add<NL>(Z3, t1, Z3, F);
  mont_mul<NL>(Y3, X3, Z3, F);
  mod_add<NL>(t1, t0, t0, F);
  mod_add<NL>(t1, t1, t0, F);
  mul_a<NL>(t2, P.Z, C);
  mont_mul<NL>(t4, C.b3, t4, F);
  mod_add<NL>(t1, t1, t2, F);
  mod_sub<NL>(t2, t0, t2, F);
  mul_a<NL>(t2, t2, C);
  mod_add<NL>(t4, t4, t2, F);
  mont_mul<NL>(t0, t1, t4, F);
  mod_add<NL>(Y3, Y3, t0, F);
  mont_mul<NL>(t0, t5, t4, F);
  mont_mul<NL>(X3, t3, X3, F);
  mod_sub<NL>(X3, X3, t0, F);
  mont_mul<NL>(t0, t3, t1, F);
  mont_mul<NL>(Z3, t5, Z3, F);
  mod_add<NL>(Z3, Z3, t0, F);
  memcpy(R.X, X3, sizeof X3);
  memcpy(R.Y, Y3, sizeof Y3);
  memcpy(R.Z, Z3, sizeof Z3);
}

// Doubling (RCB algorithm 3); R may alias P.
template <int NL>
inline void pdbl(Proj<NL>& R, const Proj<NL>& P, const CurveCtx<NL>& C) {
  const Mont<NL>& F = C.F;
  u64 t0[NL], t1[NL], t2[NL], t3[NL], X3[NL], Y3[NL], Z3[NL];
  mont_sqr<NL>(t0, P.X, F);
  mont_sqr<NL>(t1, P.Y, F);
  mont_sqr<NL>(t2, P.Z, F);
  mont_mul<NL>(t3, P.X, P.Y, F);
  mod_add<NL>(t3, t3, t3, F);
  mont_mul<NL>(Z3, P.X, P.Z, F);
  mod_add<NL>(Z3, Z3, Z3, F);
  mul_a<NL>(X3, Z3, C);
  mont_mul<NL>(Y3, C.b3, t2, F);
  mod_add<NL>(Y3, X3, Y3, F);
  mod_sub<NL>(X3, t1, Y3, F);
  mod_add<NL>(Y3, t1, Y3, F);
  mont_mul<NL>(Y3, X3, Y3, F);
  mont_mul<NL>(X3, t3, X3, F);
  mont_mul<NL>(Z3, C.b3, Z3, F);
  mul_a<NL>(t2, t2, C);
  mod_sub<NL>(t3, t0, t2, F);
  mul_a<NL>(t3, t3, C);
  mod_add<NL>(t3, t3, Z3, F);
  mod_add<NL>(Z3, t0, t0, F);
  mod_add<NL>(t0, Z3, t0, F);
  mod_add<NL>(t0, t0, t2, F);
  mont_mul<NL>(t0, t0, t3, F);
  mod_add<NL>(Y3, Y3, t0, F);
  mont_mul<NL>(t2, P.Y, P.Z, F);
  mod_add<NL>(t2, t2, t2, F);
  mont_mul<NL>(t0, t2, t3, F);
  mod_sub<NL>(X3, X3, t0, F);
  mont_mul<NL>(Z3, t2, t1, F);
  mod_add<NL>(Z3, Z3, Z3, F);
  mod_add<NL>(Z3, Z3, Z3, F);
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

// Affine result in Montgomery form; returns false for the identity. That
// outcome is treated as public: k * G is not the identity for any scalar that
// signing or key generation uses.
template <int NL>
inline bool to_affine(Aff<NL>& A, const Proj<NL>& P, const CurveCtx<NL>& C) {
  if (vkc_ct::declassify(is_zero_vt<NL>(P.Z))) return false;
  u64 zi[NL];
  mont_inv<NL>(zi, P.Z, C.F);
  mont_mul<NL>(A.x, P.X, zi, C.F);
  mont_mul<NL>(A.y, P.Y, zi, C.F);
  return true;
}

// Window number i of the fixed-base table from a scalar held in words.
template <int NL>
inline unsigned base_digit(const u64 k[NL], int i) {
  constexpr int W = CurveCtx<NL>::kW;
  const int pos = W * i, w = pos / 64, b = pos % 64;
  u64 v = k[w] >> b;
  if (b > 64 - W && w + 1 < NL) v |= k[w + 1] << (64 - b);
  return static_cast<unsigned>(v & ((1u << W) - 1));
}

// R = k * G with the precomputed table; k below q in plain form.
template <int NL>
inline void mul_base_ct(Proj<NL>& R, const u64 k[NL], const CurveCtx<NL>& C) {
  Proj<NL> acc, t;
  Aff<NL> e;
  set_identity<NL>(acc, C);
  for (int i = 0; i < C.nwin; i++) {
    const uint64_t d = base_digit<NL>(k, i);
    memset(&e, 0, sizeof e);
    const Aff<NL>* row = &C.table[static_cast<size_t>(CurveCtx<NL>::kEntries) * i];
    for (unsigned j = 1; j <= static_cast<unsigned>(CurveCtx<NL>::kEntries); j++) {
      const u64 mask = vkc_ct::mask_eq(d, j);
      vkc_ct::or_masked(e.x, row[j - 1].x, NL, mask);
      vkc_ct::or_masked(e.y, row[j - 1].y, NL, mask);
    }
    padd_mixed<NL>(t, acc, e, C);
    select_proj<NL>(acc, t, acc, vkc_ct::mask_nonzero(d));
  }
  R = acc;
  vkc_ct::wipe(&acc, sizeof acc);
  vkc_ct::wipe(&t, sizeof t);
  vkc_ct::wipe(&e, sizeof e);
}

// R = k * P for an affine P (Montgomery form) on the curve; k has nwin
// windows. Fixed 4-bit windows; the table entry is read in constant time.
template <int NL, int KW>
inline void mul_point_ct(Proj<NL>& R, const Aff<NL>& P, const u64 k[KW], int nwin,
                         const CurveCtx<NL>& C) {
  Proj<NL> tab[16];
  set_identity<NL>(tab[0], C);
  memcpy(tab[1].X, P.x, sizeof P.x);
  memcpy(tab[1].Y, P.y, sizeof P.y);
  memcpy(tab[1].Z, C.F.one, sizeof tab[1].Z);
  for (int j = 2; j < 16; j++) {
    if (j % 2 == 0)
      pdbl<NL>(tab[j], tab[j / 2], C);
    else
      padd<NL>(tab[j], tab[j - 1], tab[1], C);
  }
  Proj<NL> acc, e;
  set_identity<NL>(acc, C);
  for (int i = nwin - 1; i >= 0; i--) {
    for (int s = 0; s < 4; s++) pdbl<NL>(acc, acc, C);
    const uint64_t d = (k[i / 16] >> (4 * (i % 16))) & 15;
    memset(&e, 0, sizeof e);
    for (unsigned j = 0; j < 16; j++) {
      const u64 mask = vkc_ct::mask_eq(d, j);
      vkc_ct::or_masked(e.X, tab[j].X, NL, mask);
      vkc_ct::or_masked(e.Y, tab[j].Y, NL, mask);
      vkc_ct::or_masked(e.Z, tab[j].Z, NL, mask);
    }
    padd<NL>(acc, acc, e, C);
  }
  R = acc;
  vkc_ct::wipe(tab, sizeof tab);
  vkc_ct::wipe(&acc, sizeof acc);
  vkc_ct::wipe(&e, sizeof e);
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

// Builds the constants of a curve from its numbers (plain words). Returns
// false when the numbers do not suit the fast code (even or oversized
// modulus), so the caller keeps to the digit-layer arithmetic.
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
  C.nwin = (C.S.bits + CurveCtx<NL>::kW - 1) / CurveCtx<NL>::kW;
  return true;
}

// The fixed-base table: j * 2^(kW i) * G for every window i and every
// non-zero digit j, converted to affine form with one inversion.
template <int NL>
inline void ctx_build_table(CurveCtx<NL>& C) {
  constexpr int E = CurveCtx<NL>::kEntries;
  const size_t n = static_cast<size_t>(E) * C.nwin;
  std::vector<Proj<NL>> pts(n);
  Proj<NL> base;
  memcpy(base.X, C.G.x, sizeof base.X);
  memcpy(base.Y, C.G.y, sizeof base.Y);
  memcpy(base.Z, C.F.one, sizeof base.Z);
  for (int i = 0; i < C.nwin; i++) {
    Proj<NL>* row = &pts[static_cast<size_t>(E) * i];
    row[0] = base;
    for (int j = 2; j <= E; j++) padd<NL>(row[j - 1], row[j - 2], base, C);
    padd<NL>(base, row[E - 1], base, C);  // 2^kW * base
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
  C.table.resize(n);
  for (size_t i = n; i-- > 0;) {
    u64 zi[NL];
    mont_mul<NL>(zi, inv, &pref[i * NL], C.F);
    mont_mul<NL>(inv, inv, pts[i].Z, C.F);
    mont_mul<NL>(C.table[i].x, pts[i].X, zi, C.F);
    mont_mul<NL>(C.table[i].y, pts[i].Y, zi, C.F);
  }
  C.has_table = true;
}

}  // namespace vkc_ec

#endif
