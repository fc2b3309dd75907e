// Verification arithmetic: z1 * G + z2 * Q for public scalars, in Jacobian
// coordinates (cheaper doubling than the complete formulas, and a = -3
// doubling where the curve allows it): one chain of doublings shared by a
// width-5 NAF of z2 over the odd multiples of Q (computed per call) and a
// width-6 NAF of z1 over the multiples of G in the first comb row, with no
// inversion. Variable time: every input here is public.
#ifndef VKC_EC_VERIFY_H
#define VKC_EC_VERIFY_H

#include <string.h>

#include "ec_fast.h"

namespace vkc_ec {

template <int NL>
struct Jac {
  u64 X[NL], Y[NL], Z[NL];
  bool inf;
};

template <int NL, bool Fd>
inline void jdbl(Jac<NL>& R, const Jac<NL>& P, const CurveCtx<NL>& C, bool am3) {
  const Mont<NL>& F = C.F;
  if (P.inf || is_zero_vt<NL>(P.Y)) {
    R.inf = true;
    return;
  }
  u64 t0[NL], t1[NL], t2[NL], t3[NL], X3[NL], Y3[NL], Z3[NL];
  if (am3) {
    // delta = Z^2, gamma = Y^2, beta = X gamma, alpha = 3 (X - delta)(X + delta)
    fsqr<NL, Fd>(t0, P.Z, F);
    fsqr<NL, Fd>(t1, P.Y, F);
    fmul<NL, Fd>(t2, P.X, t1, F);
    fsub<NL, Fd>(t3, P.X, t0, F);
    fadd<NL, Fd>(X3, P.X, t0, F);
    fmul<NL, Fd>(t3, t3, X3, F);
    fadd<NL, Fd>(X3, t3, t3, F);
    fadd<NL, Fd>(t3, X3, t3, F);  // alpha
    // Z3 = (Y + Z)^2 - gamma - delta
    fadd<NL, Fd>(Z3, P.Y, P.Z, F);
    fsqr<NL, Fd>(Z3, Z3, F);
    fsub<NL, Fd>(Z3, Z3, t1, F);
    fsub<NL, Fd>(Z3, Z3, t0, F);
    // X3 = alpha^2 - 8 beta
    fadd<NL, Fd>(t2, t2, t2, F);
    fadd<NL, Fd>(t2, t2, t2, F);  // 4 beta
    fsqr<NL, Fd>(X3, t3, F);
    fsub<NL, Fd>(X3, X3, t2, F);
    fsub<NL, Fd>(X3, X3, t2, F);
    // Y3 = alpha (4 beta - X3) - 8 gamma^2
    fsub<NL, Fd>(t2, t2, X3, F);
    fmul<NL, Fd>(Y3, t3, t2, F);
    fsqr<NL, Fd>(t1, t1, F);
    fadd<NL, Fd>(t1, t1, t1, F);
    fadd<NL, Fd>(t1, t1, t1, F);
    fadd<NL, Fd>(t1, t1, t1, F);
    fsub<NL, Fd>(Y3, Y3, t1, F);
  } else {
    u64 yy[NL], yyyy[NL], zz[NL];
    fsqr<NL, Fd>(t0, P.X, F);  // XX
    fsqr<NL, Fd>(yy, P.Y, F);
    fsqr<NL, Fd>(yyyy, yy, F);
    fsqr<NL, Fd>(zz, P.Z, F);
    // S = 2 ((X + YY)^2 - XX - YYYY)
    fadd<NL, Fd>(t1, P.X, yy, F);
    fsqr<NL, Fd>(t1, t1, F);
    fsub<NL, Fd>(t1, t1, t0, F);
    fsub<NL, Fd>(t1, t1, yyyy, F);
    fadd<NL, Fd>(t1, t1, t1, F);
    // M = 3 XX + a ZZ^2
    fsqr<NL, Fd>(t2, zz, F);
    fmul<NL, Fd>(t2, t2, C.a, F);
    fadd<NL, Fd>(t3, t0, t0, F);
    fadd<NL, Fd>(t3, t3, t0, F);
    fadd<NL, Fd>(t3, t3, t2, F);
    // X3 = M^2 - 2 S; Y3 = M (S - X3) - 8 YYYY; Z3 = (Y + Z)^2 - YY - ZZ
    fsqr<NL, Fd>(X3, t3, F);
    fsub<NL, Fd>(X3, X3, t1, F);
    fsub<NL, Fd>(X3, X3, t1, F);
    fsub<NL, Fd>(t1, t1, X3, F);
    fmul<NL, Fd>(Y3, t3, t1, F);
    fadd<NL, Fd>(yyyy, yyyy, yyyy, F);
    fadd<NL, Fd>(yyyy, yyyy, yyyy, F);
    fadd<NL, Fd>(yyyy, yyyy, yyyy, F);
    fsub<NL, Fd>(Y3, Y3, yyyy, F);
    fadd<NL, Fd>(Z3, P.Y, P.Z, F);
    fsqr<NL, Fd>(Z3, Z3, F);
    fsub<NL, Fd>(Z3, Z3, yy, F);
    fsub<NL, Fd>(Z3, Z3, zz, F);
  }
  memcpy(R.X, X3, sizeof X3);
  memcpy(R.Y, Y3, sizeof Y3);
  memcpy(R.Z, Z3, sizeof Z3);
  R.inf = false;
}

// R = P + Q; Q affine when q_affine (its Z is ignored). R may alias P.
template <int NL, bool Fd>
inline void jadd(Jac<NL>& R, const Jac<NL>& P, const Jac<NL>& Q, bool q_affine,
                 const CurveCtx<NL>& C, bool am3) {
  const Mont<NL>& F = C.F;
  if (Q.inf) {
    if (&R != &P) R = P;
    return;
  }
  if (P.inf) {
    R = Q;
    if (q_affine) memcpy(R.Z, C.F.one, sizeof R.Z);
    return;
  }
  u64 z1z1[NL], z2z2[NL], u1[NL], u2[NL], s1[NL], s2[NL], h[NL], r[NL], t[NL];
  fsqr<NL, Fd>(z1z1, P.Z, F);
  fmul<NL, Fd>(u2, Q.X, z1z1, F);
  fmul<NL, Fd>(s2, Q.Y, P.Z, F);
  fmul<NL, Fd>(s2, s2, z1z1, F);
  if (q_affine) {
    memcpy(u1, P.X, sizeof u1);
    memcpy(s1, P.Y, sizeof s1);
  } else {
    fsqr<NL, Fd>(z2z2, Q.Z, F);
    fmul<NL, Fd>(u1, P.X, z2z2, F);
    fmul<NL, Fd>(s1, P.Y, Q.Z, F);
    fmul<NL, Fd>(s1, s1, z2z2, F);
  }
  fsub<NL, Fd>(h, u2, u1, F);
  fsub<NL, Fd>(r, s2, s1, F);
  if (is_zero_vt<NL>(h)) {
    if (is_zero_vt<NL>(r)) {
      Jac<NL> p = P;
      jdbl<NL, Fd>(R, p, C, am3);
    } else {
      R.inf = true;
    }
    return;
  }
  u64 hh[NL], hhh[NL], v[NL], X3[NL], Y3[NL], Z3[NL];
  fsqr<NL, Fd>(hh, h, F);
  fmul<NL, Fd>(hhh, hh, h, F);
  fmul<NL, Fd>(v, u1, hh, F);
  // X3 = r^2 - H^3 - 2 V
  fsqr<NL, Fd>(X3, r, F);
  fsub<NL, Fd>(X3, X3, hhh, F);
  fsub<NL, Fd>(X3, X3, v, F);
  fsub<NL, Fd>(X3, X3, v, F);
  // Y3 = r (V - X3) - S1 H^3
  fsub<NL, Fd>(t, v, X3, F);
  fmul<NL, Fd>(Y3, r, t, F);
  fmul<NL, Fd>(t, s1, hhh, F);
  fsub<NL, Fd>(Y3, Y3, t, F);
  // Z3 = Z1 Z2 H
  fmul<NL, Fd>(Z3, P.Z, h, F);
  if (!q_affine) fmul<NL, Fd>(Z3, Z3, Q.Z, F);
  memcpy(R.X, X3, sizeof X3);
  memcpy(R.Y, Y3, sizeof Y3);
  memcpy(R.Z, Z3, sizeof Z3);
  R.inf = false;
}

// Width-w NAF of k (NL words): odd digits below 2^(w-1) in magnitude, most
// of them zero; returns the number of digits.
template <int NL>
inline int wnaf(int8_t* out, const u64 k[NL], int w) {
  u64 v[NL + 1];
  memcpy(v, k, sizeof(u64) * NL);
  v[NL] = 0;
  const int full = 1 << w, half = 1 << (w - 1);
  int len = 0;
  auto nonzero = [&v]() {
    for (int i = 0; i <= NL; i++)
      if (v[i]) return true;
    return false;
  };
  while (nonzero()) {
    int d = 0;
    if (v[0] & 1) {
      d = static_cast<int>(v[0] & static_cast<u64>(full - 1));
      if (d >= half) d -= full;
      if (d > 0) {  // v -= d
        u64 b = static_cast<u64>(d);
        for (int i = 0; i <= NL && b; i++) {
          u64 o = v[i];
          v[i] -= b;
          b = o < b ? 1 : 0;
        }
      } else {  // v += -d
        u64 c = static_cast<u64>(-d);
        for (int i = 0; i <= NL && c; i++) {
          v[i] += c;
          c = v[i] < c ? 1 : 0;
        }
      }
    }
    out[len++] = static_cast<int8_t>(d);
    for (int i = 0; i < NL; i++) v[i] = (v[i] >> 1) | (v[i + 1] << 63);
    v[NL] >>= 1;
  }
  return len;
}

// x(z1 G + z2 Q) mod q == r for plain z1, z2 < q, r in [1, q), Q an affine
// point on the curve (field form). Returns 1 valid, 0 invalid, -1 when this
// code cannot decide (caller falls back to the exact path).
template <int NL, bool Fd>
inline int verify_combination_f(const CurveCtx<NL>& C, const u64 z1[NL], const u64 z2[NL],
                                const Aff<NL>& Q, const u64 r[NL]) {
  const bool am3 = C.am3;
  // Odd multiples Q, 3Q, ..., 15Q.
  Jac<NL> tab[8], q2;
  memcpy(tab[0].X, Q.x, sizeof Q.x);
  memcpy(tab[0].Y, Q.y, sizeof Q.y);
  memcpy(tab[0].Z, C.F.one, sizeof tab[0].Z);
  tab[0].inf = false;
  jdbl<NL, Fd>(q2, tab[0], C, am3);
  for (int i = 1; i < 8; i++) jadd<NL, Fd>(tab[i], tab[i - 1], q2, false, C, am3);
  int8_t naf1[64 * NL + 2], naf2[64 * NL + 2];
  const int len1 = wnaf<NL>(naf1, z1, kCombW);
  const int len2 = wnaf<NL>(naf2, z2, 5);
  const Aff<NL>* grow = C.table;  // j G for j = 1 .. kCombEntries
  Jac<NL> acc, pe;
  acc.inf = true;
  pe.inf = false;
  for (int i = (len1 > len2 ? len1 : len2) - 1; i >= 0; i--) {
    jdbl<NL, Fd>(acc, acc, C, am3);
    const int d2 = i < len2 ? naf2[i] : 0;
    if (d2 > 0) {
      jadd<NL, Fd>(acc, acc, tab[(d2 - 1) / 2], false, C, am3);
    } else if (d2 < 0) {
      Jac<NL> neg = tab[(-d2 - 1) / 2];
      fneg<NL, Fd>(neg.Y, neg.Y, C.F);
      jadd<NL, Fd>(acc, acc, neg, false, C, am3);
    }
    const int d1 = i < len1 ? naf1[i] : 0;
    if (d1 != 0) {
      const Aff<NL>& e = grow[(d1 > 0 ? d1 : -d1) - 1];
      memcpy(pe.X, e.x, sizeof e.x);
      if (d1 > 0)
        memcpy(pe.Y, e.y, sizeof e.y);
      else
        fneg<NL, Fd>(pe.Y, e.y, C.F);
      jadd<NL, Fd>(acc, acc, pe, true, C, am3);
    }
  }
  if (acc.inf) return 0;
  // x = X / Z^2; x mod q == r  <=>  X == (r + j q) Z^2 for some r + j q < p.
  u64 zz[NL], cand[NL], cm[NL], t[NL];
  fsqr<NL, Fd>(zz, acc.Z, C.F);
  memcpy(cand, r, sizeof cand);
  for (;;) {
    if (!less_vt<NL>(cand, C.F.m)) return 0;
    to_mont<NL>(cm, cand, C.F);
    fmul<NL, Fd>(t, cm, zz, C.F);
    if (memcmp(t, acc.X, sizeof t) == 0) return 1;
    u64 c = 0;
    for (int i = 0; i < NL; i++) {
      u128 s = static_cast<u128>(cand[i]) + C.S.m[i] + c;
      cand[i] = static_cast<u64>(s);
      c = static_cast<u64>(s >> 64);
    }
    if (c) return 0;
  }
}

template <int NL>
inline int verify_combination(const CurveCtx<NL>& C, const u64 z1[NL], const u64 z2[NL],
                              const Aff<NL>& Q, const u64 r[NL]) {
  if (C.F.c != 0) return verify_combination_f<NL, true>(C, z1, z2, Q, r);
  return verify_combination_f<NL, false>(C, z1, z2, Q, r);
}

}  // namespace vkc_ec

#endif
