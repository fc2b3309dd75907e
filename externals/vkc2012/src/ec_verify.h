// Verification arithmetic: z1 * G + z2 * Q for public scalars, in Jacobian
// coordinates (cheaper doubling than the complete formulas, and a = -3
// doubling where the curve allows it) with a width-5 NAF for Q and the
// fixed-base table for G. Variable time: every input here is public.
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

template <int NL>
inline void jdbl(Jac<NL>& R, const Jac<NL>& P, const CurveCtx<NL>& C, bool am3) {
  const Mont<NL>& F = C.F;
  if (P.inf || is_zero_vt<NL>(P.Y)) {
    R.inf = true;
    return;
  }
  u64 t0[NL], t1[NL], t2[NL], t3[NL], X3[NL], Y3[NL], Z3[NL];
  if (am3) {
    // delta = Z^2, gamma = Y^2, beta = X gamma, alpha = 3 (X - delta)(X + delta)
    mont_sqr<NL>(t0, P.Z, F);
    mont_sqr<NL>(t1, P.Y, F);
    mont_mul<NL>(t2, P.X, t1, F);
    mod_sub<NL>(t3, P.X, t0, F);
    mod_add<NL>(X3, P.X, t0, F);
    mont_mul<NL>(t3, t3, X3, F);
    mod_add<NL>(X3, t3, t3, F);
    mod_add<NL>(t3, X3, t3, F);  // alpha
    // Z3 = (Y + Z)^2 - gamma - delta
    mod_add<NL>(Z3, P.Y, P.Z, F);
    mont_sqr<NL>(Z3, Z3, F);
    mod_sub<NL>(Z3, Z3, t1, F);
    mod_sub<NL>(Z3, Z3, t0, F);
    // X3 = alpha^2 - 8 beta
    mod_add<NL>(t2, t2, t2, F);
    mod_add<NL>(t2, t2, t2, F);  // 4 beta
    mont_sqr<NL>(X3, t3, F);
    mod_sub<NL>(X3, X3, t2, F);
    mod_sub<NL>(X3, X3, t2, F);
    // Y3 = alpha (4 beta - X3) - 8 gamma^2
    mod_sub<NL>(t2, t2, X3, F);
    mont_mul<NL>(Y3, t3, t2, F);
    mont_sqr<NL>(t1, t1, F);
    mod_add<NL>(t1, t1, t1, F);
    mod_add<NL>(t1, t1, t1, F);
    mod_add<NL>(t1, t1, t1, F);
    mod_sub<NL>(Y3, Y3, t1, F);
  } else {
    u64 yy[NL], yyyy[NL], zz[NL];
    mont_sqr<NL>(t0, P.X, F);  // XX
    mont_sqr<NL>(yy, P.Y, F);
    mont_sqr<NL>(yyyy, yy, F);
    mont_sqr<NL>(zz, P.Z, F);
    // S = 2 ((X + YY)^2 - XX - YYYY)
    mod_add<NL>(t1, P.X, yy, F);
    mont_sqr<NL>(t1, t1, F);
    mod_sub<NL>(t1, t1, t0, F);
    mod_sub<NL>(t1, t1, yyyy, F);
    mod_add<NL>(t1, t1, t1, F);
    // M = 3 XX + a ZZ^2
    mont_sqr<NL>(t2, zz, F);
    mont_mul<NL>(t2, t2, C.a, F);
    mod_add<NL>(t3, t0, t0, F);
    mod_add<NL>(t3, t3, t0, F);
    mod_add<NL>(t3, t3, t2, F);
    // X3 = M^2 - 2 S; Y3 = M (S - X3) - 8 YYYY; Z3 = (Y + Z)^2 - YY - ZZ
    mont_sqr<NL>(X3, t3, F);
    mod_sub<NL>(X3, X3, t1, F);
    mod_sub<NL>(X3, X3, t1, F);
    mod_sub<NL>(t1, t1, X3, F);
    mont_mul<NL>(Y3, t3, t1, F);
    mod_add<NL>(yyyy, yyyy, yyyy, F);
    mod_add<NL>(yyyy, yyyy, yyyy, F);
    mod_add<NL>(yyyy, yyyy, yyyy, F);
    mod_sub<NL>(Y3, Y3, yyyy, F);
    mod_add<NL>(Z3, P.Y, P.Z, F);
    mont_sqr<NL>(Z3, Z3, F);
    mod_sub<NL>(Z3, Z3, yy, F);
    mod_sub<NL>(Z3, Z3, zz, F);
  }
  memcpy(R.X, X3, sizeof X3);
  memcpy(R.Y, Y3, sizeof Y3);
  memcpy(R.Z, Z3, sizeof Z3);
  R.inf = false;
}

// R = P + Q; Q affine when q_affine (its Z is ignored). R may alias P.
template <int NL>
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
  mont_sqr<NL>(z1z1, P.Z, F);
  mont_mul<NL>(u2, Q.X, z1z1, F);
  mont_mul<NL>(s2, Q.Y, P.Z, F);
  mont_mul<NL>(s2, s2, z1z1, F);
  if (q_affine) {
    memcpy(u1, P.X, sizeof u1);
    memcpy(s1, P.Y, sizeof s1);
  } else {
    mont_sqr<NL>(z2z2, Q.Z, F);
    mont_mul<NL>(u1, P.X, z2z2, F);
    mont_mul<NL>(s1, P.Y, Q.Z, F);
    mont_mul<NL>(s1, s1, z2z2, F);
  }
  mod_sub<NL>(h, u2, u1, F);
  mod_sub<NL>(r, s2, s1, F);
  if (is_zero_vt<NL>(h)) {
    if (is_zero_vt<NL>(r)) {
      Jac<NL> p = P;
      jdbl<NL>(R, p, C, am3);
    } else {
      R.inf = true;
    }
    return;
  }
  u64 hh[NL], hhh[NL], v[NL], X3[NL], Y3[NL], Z3[NL];
  mont_sqr<NL>(hh, h, F);
  mont_mul<NL>(hhh, hh, h, F);
  mont_mul<NL>(v, u1, hh, F);
  // X3 = r^2 - H^3 - 2 V
  mont_sqr<NL>(X3, r, F);
  mod_sub<NL>(X3, X3, hhh, F);
  mod_sub<NL>(X3, X3, v, F);
  mod_sub<NL>(X3, X3, v, F);
  // Y3 = r (V - X3) - S1 H^3
  mod_sub<NL>(t, v, X3, F);
  mont_mul<NL>(Y3, r, t, F);
  mont_mul<NL>(t, s1, hhh, F);
  mod_sub<NL>(Y3, Y3, t, F);
  // Z3 = Z1 Z2 H
  mont_mul<NL>(Z3, P.Z, h, F);
  if (!q_affine) mont_mul<NL>(Z3, Z3, Q.Z, F);
  memcpy(R.X, X3, sizeof X3);
  memcpy(R.Y, Y3, sizeof Y3);
  memcpy(R.Z, Z3, sizeof Z3);
  R.inf = false;
}

// Width-5 NAF of k (NL words); returns the number of digits.
template <int NL>
inline int wnaf5(int8_t* out, const u64 k[NL]) {
  u64 v[NL + 1];
  memcpy(v, k, sizeof(u64) * NL);
  v[NL] = 0;
  int len = 0;
  auto nonzero = [&v]() {
    for (int i = 0; i <= NL; i++)
      if (v[i]) return true;
    return false;
  };
  while (nonzero()) {
    int d = 0;
    if (v[0] & 1) {
      d = static_cast<int>(v[0] & 31);
      if (d >= 16) d -= 32;
      // v -= d
      if (d > 0) {
        u64 b = static_cast<u64>(d);
        for (int i = 0; i <= NL && b; i++) {
          u64 o = v[i];
          v[i] -= b;
          b = o < b ? 1 : 0;
        }
      } else {
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
// point on the curve (Montgomery form). Returns 1 valid, 0 invalid, -1 when
// this code cannot decide (caller falls back to the exact path).
template <int NL>
inline int verify_combination(const CurveCtx<NL>& C, const u64 z1[NL], const u64 z2[NL],
                              const Aff<NL>& Q, const u64 r[NL]) {
  const bool am3 = C.am3;
  // Odd multiples Q, 3Q, ..., 15Q.
  Jac<NL> tab[8], q2;
  memcpy(tab[0].X, Q.x, sizeof Q.x);
  memcpy(tab[0].Y, Q.y, sizeof Q.y);
  memcpy(tab[0].Z, C.F.one, sizeof tab[0].Z);
  tab[0].inf = false;
  jdbl<NL>(q2, tab[0], C, am3);
  for (int i = 1; i < 8; i++) jadd<NL>(tab[i], tab[i - 1], q2, false, C, am3);
  int8_t naf[64 * NL + 2];
  const int len = wnaf5<NL>(naf, z2);
  Jac<NL> acc;
  acc.inf = true;
  for (int i = len - 1; i >= 0; i--) {
    jdbl<NL>(acc, acc, C, am3);
    const int d = naf[i];
    if (d > 0) {
      jadd<NL>(acc, acc, tab[(d - 1) / 2], false, C, am3);
    } else if (d < 0) {
      Jac<NL> neg = tab[(-d - 1) / 2];
      mod_neg<NL>(neg.Y, neg.Y, C.F);
      jadd<NL>(acc, acc, neg, false, C, am3);
    }
  }
  // Plus z1 G from the fixed-base table (affine entries).
  for (int i = 0; i < C.nwin; i++) {
    const unsigned d = base_digit<NL>(z1, i);
    if (d == 0) continue;
    const Aff<NL>& e = C.table[static_cast<size_t>(CurveCtx<NL>::kEntries) * i + d - 1];
    Jac<NL> pe;
    memcpy(pe.X, e.x, sizeof e.x);
    memcpy(pe.Y, e.y, sizeof e.y);
    pe.inf = false;
    jadd<NL>(acc, acc, pe, true, C, am3);
  }
  if (acc.inf) return 0;
  // x = X / Z^2; x mod q == r  <=>  X == (r + j q) Z^2 for some r + j q < p.
  u64 zz[NL], cand[NL], cm[NL], t[NL];
  mont_sqr<NL>(zz, acc.Z, C.F);
  memcpy(cand, r, sizeof cand);
  for (;;) {
    if (!less_vt<NL>(cand, C.F.m)) return 0;
    to_mont<NL>(cm, cand, C.F);
    mont_mul<NL>(t, cm, zz, C.F);
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

}  // namespace vkc_ec

#endif
