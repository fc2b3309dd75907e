// Point arithmetic shared by the 256-bit and 512-bit curves: the exact
// digit-layer operations (affine and Jacobian) and the dispatch of scalar
// multiplications to the fast constant-time code of ec_fast.h.
#ifndef VKC_EC_POINTS_H
#define VKC_EC_POINTS_H

#include <stdint.h>
#include <string.h>

#include <atomic>
#include <memory>
#include <mutex>

#include "ec_fast.h"
#include "ec_traits.h"
#include "mp.h"
#include "vkc_ct.h"

namespace vkc_ec {

// ---- digit-layer helpers -------------------------------------------------

template <uint32_t ND>
inline bool num_zero(const DIGIT_T* a) {
  return mpIsZero(a, ND) == 1;
}

template <class T>
inline bool pt_is_zero(const typename T::Point* P) {
  return num_zero<T::ND>(P->x) && num_zero<T::ND>(P->y);
}

template <class T>
inline void pt_set_zero(typename T::Point* P) {
  mpSetZero(P->x, T::ND);
  mpSetZero(P->y, T::ND);
}

// Jacobian infinity: Z = 0 (and, as older code wrote it, X = Y = 0).
template <class T>
inline bool jp_is_inf(const typename T::JPoint* J) {
  return num_zero<T::ND>(J->Z) || (num_zero<T::ND>(J->X) && num_zero<T::ND>(J->Y));
}

template <class T>
inline void jp_set_inf(typename T::JPoint* J) {
  mpSetZero(J->X, T::ND);
  mpSetZero(J->Y, T::ND);
  mpSetZero(J->Z, T::ND);
}

template <uint32_t ND>
struct ModOps {
  const DIGIT_T* p;
  void mul(DIGIT_T* w, const DIGIT_T* u, const DIGIT_T* v) const { mpModMult(w, u, v, p, ND); }
  void add(DIGIT_T* w, const DIGIT_T* u, const DIGIT_T* v) const { mpModAdd(w, u, v, p, ND); }
  void sub(DIGIT_T* w, const DIGIT_T* u, const DIGIT_T* v) const { mpModSub(w, u, v, p, ND); }
  void red(DIGIT_T* w, const DIGIT_T* u) const { mpModulo(w, u, ND, p, ND); }
  void inv(DIGIT_T* w, const DIGIT_T* u) const { mpModInv(w, u, p, ND); }
  void small(DIGIT_T* w, DIGIT_T d) const { mpSetDigit(w, d, ND); }
};

// ---- exact affine arithmetic ----------------------------------------------

template <class T>
inline void ref_add(typename T::Point* R, const typename T::Point* P, const typename T::Point* Q,
                    const typename T::Par* E) {
  constexpr uint32_t N = T::ND;
  if (pt_is_zero<T>(Q)) {
    if (R != P) *R = *P;
    return;
  }
  if (pt_is_zero<T>(P)) {
    if (R != Q) *R = *Q;
    return;
  }
  const ModOps<N> M{E->E.p};
  DIGIT_T x1[N], y1[N], x2[N], y2[N], l[N], t[N], u[N], x3[N], y3[N];
  M.red(x1, P->x);
  M.red(y1, P->y);
  M.red(x2, Q->x);
  M.red(y2, Q->y);
  if (mpEqual(x1, x2, N) == 1) {
    M.add(t, y1, y2);
    if (num_zero<N>(t)) {
      pt_set_zero<T>(R);
      return;
    }
    M.mul(l, x1, x1);
    M.add(u, l, l);
    M.add(l, u, l);
    M.add(l, l, E->E.a);
    M.add(u, y1, y1);
    M.inv(u, u);
    M.mul(l, l, u);
  } else {
    M.sub(t, y2, y1);
    M.sub(u, x2, x1);
    M.inv(u, u);
    M.mul(l, t, u);
  }
  M.mul(t, l, l);
  M.sub(t, t, x1);
  M.sub(x3, t, x2);
  M.sub(t, x1, x3);
  M.mul(t, l, t);
  M.sub(y3, t, y1);
  mpSetEqual(R->x, x3, N);
  mpSetEqual(R->y, y3, N);
}

template <class T>
inline void ref_neg(typename T::Point* R, const typename T::Point* P, const typename T::Par* E) {
  constexpr uint32_t N = T::ND;
  if (pt_is_zero<T>(P)) {
    pt_set_zero<T>(R);
    return;
  }
  const ModOps<N> M{E->E.p};
  DIGIT_T z[N] = {};
  mpSetEqual(R->x, P->x, N);
  M.sub(R->y, z, P->y);
}

// R = k * P, k unsigned; double-and-add from the least significant bit.
template <class T>
inline void ref_mult(typename T::Point* R, const typename T::Point* P, const DIGIT_T* k,
                     const typename T::Par* E) {
  typename T::Point acc, run = *P;
  pt_set_zero<T>(&acc);
  const uint32_t bits = mpBitLength(k, T::ND);
  for (uint32_t i = 0; i < bits && !pt_is_zero<T>(&run); i++) {
    if (mpGetBit(k, T::ND, i) == 1) ref_add<T>(&acc, &acc, &run, E);
    ref_add<T>(&run, &run, &run, E);
  }
  *R = acc;
}

// ---- exact Jacobian arithmetic (any a) -------------------------------------

template <class T>
inline void ref_j2a(typename T::Point* P, const typename T::JPoint* J, const typename T::Par* E) {
  constexpr uint32_t N = T::ND;
  if (jp_is_inf<T>(J)) {
    pt_set_zero<T>(P);
    return;
  }
  const ModOps<N> M{E->E.p};
  DIGIT_T zi[N], z2[N], x[N], y[N];
  M.red(zi, J->Z);
  M.inv(zi, zi);
  M.mul(z2, zi, zi);
  M.mul(x, J->X, z2);
  M.mul(z2, z2, zi);
  M.mul(y, J->Y, z2);
  mpSetEqual(P->x, x, N);
  mpSetEqual(P->y, y, N);
}

template <class T>
inline void ref_dbl_j(typename T::JPoint* R, const typename T::JPoint* J,
                      const typename T::Par* E) {
  constexpr uint32_t N = T::ND;
  const ModOps<N> M{E->E.p};
  DIGIT_T y[N];
  M.red(y, J->Y);
  if (jp_is_inf<T>(J) || num_zero<N>(y)) {
    jp_set_inf<T>(R);
    return;
  }
  DIGIT_T xx[N], yy[N], zz[N], m[N], s[N], t[N], x3[N], y3[N], z3[N];
  M.mul(xx, J->X, J->X);
  M.mul(yy, J->Y, J->Y);
  M.mul(zz, J->Z, J->Z);
  // M = 3 X^2 + a Z^4
  M.add(m, xx, xx);
  M.add(m, m, xx);
  M.mul(t, zz, zz);
  M.mul(t, t, E->E.a);
  M.add(m, m, t);
  // S = 4 X Y^2
  M.mul(s, J->X, yy);
  M.add(s, s, s);
  M.add(s, s, s);
  // X' = M^2 - 2 S
  M.mul(x3, m, m);
  M.sub(x3, x3, s);
  M.sub(x3, x3, s);
  // Y' = M (S - X') - 8 Y^4
  M.sub(t, s, x3);
  M.mul(y3, m, t);
  M.mul(t, yy, yy);
  M.add(t, t, t);
  M.add(t, t, t);
  M.add(t, t, t);
  M.sub(y3, y3, t);
  // Z' = 2 Y Z
  M.mul(z3, J->Y, J->Z);
  M.add(z3, z3, z3);
  mpSetEqual(R->X, x3, N);
  mpSetEqual(R->Y, y3, N);
  mpSetEqual(R->Z, z3, N);
}

// R = J + (U2, S2 over Z2 = 1 or general): the shared tail of both additions.
template <class T>
inline void ref_add_j_tail(typename T::JPoint* R, const typename T::JPoint* J1,
                           const typename T::JPoint* J2, const DIGIT_T* U1, const DIGIT_T* S1,
                           const DIGIT_T* U2, const DIGIT_T* S2, const DIGIT_T* Zprod,
                           const typename T::Par* E) {
  constexpr uint32_t N = T::ND;
  const ModOps<N> M{E->E.p};
  DIGIT_T h[N], r[N], h2[N], h3[N], t[N], x3[N], y3[N], z3[N];
  M.sub(h, U2, U1);
  M.sub(r, S2, S1);
  if (num_zero<N>(h)) {
    if (num_zero<N>(r)) {
      ref_dbl_j<T>(R, J1, E);
    } else {
      (void)J2;
      jp_set_inf<T>(R);
    }
    return;
  }
  M.mul(h2, h, h);
  M.mul(h3, h2, h);
  M.mul(t, U1, h2);  // U1 H^2
  M.mul(x3, r, r);
  M.sub(x3, x3, h3);
  M.sub(x3, x3, t);
  M.sub(x3, x3, t);
  M.sub(t, t, x3);
  M.mul(y3, r, t);
  M.mul(t, S1, h3);
  M.sub(y3, y3, t);
  M.mul(z3, Zprod, h);
  mpSetEqual(R->X, x3, N);
  mpSetEqual(R->Y, y3, N);
  mpSetEqual(R->Z, z3, N);
}

template <class T>
inline void ref_a2j(typename T::JPoint* J, const typename T::Point* P) {
  if (pt_is_zero<T>(P)) {
    jp_set_inf<T>(J);
    return;
  }
  mpSetEqual(J->X, P->x, T::ND);
  mpSetEqual(J->Y, P->y, T::ND);
  mpSetDigit(J->Z, 1, T::ND);
}

template <class T>
inline void ref_add_ja(typename T::JPoint* R, const typename T::JPoint* J,
                       const typename T::Point* P, const typename T::Par* E) {
  constexpr uint32_t N = T::ND;
  if (pt_is_zero<T>(P)) {
    if (R != J) *R = *J;
    return;
  }
  if (jp_is_inf<T>(J)) {
    ref_a2j<T>(R, P);
    return;
  }
  const ModOps<N> M{E->E.p};
  DIGIT_T z2[N], u1[N], s1[N], u2[N], s2[N], z[N];
  M.red(u1, J->X);
  M.red(s1, J->Y);
  M.red(z, J->Z);
  M.mul(z2, z, z);
  M.mul(u2, P->x, z2);
  M.mul(z2, z2, z);
  M.mul(s2, P->y, z2);
  typename T::JPoint j1 = *J;
  ref_add_j_tail<T>(R, &j1, &j1, u1, s1, u2, s2, z, E);
}

template <class T>
inline void ref_add_jj(typename T::JPoint* R, const typename T::JPoint* J1,
                       const typename T::JPoint* J2, const typename T::Par* E) {
  constexpr uint32_t N = T::ND;
  if (jp_is_inf<T>(J2)) {
    if (R != J1) *R = *J1;
    return;
  }
  if (jp_is_inf<T>(J1)) {
    if (R != J2) *R = *J2;
    return;
  }
  const ModOps<N> M{E->E.p};
  DIGIT_T z1s[N], z2s[N], u1[N], s1[N], u2[N], s2[N], zp[N];
  M.mul(z1s, J1->Z, J1->Z);
  M.mul(z2s, J2->Z, J2->Z);
  M.mul(u1, J1->X, z2s);
  M.mul(u2, J2->X, z1s);
  M.mul(z2s, z2s, J2->Z);
  M.mul(z1s, z1s, J1->Z);
  M.mul(s1, J1->Y, z2s);
  M.mul(s2, J2->Y, z1s);
  M.mul(zp, J1->Z, J2->Z);
  typename T::JPoint a = *J1, b = *J2;
  ref_add_j_tail<T>(R, &a, &b, u1, s1, u2, s2, zp, E);
}

// ---- fast-path contexts ----------------------------------------------------

template <class T>
inline bool same_curve(const typename T::Par* A, const typename T::Par* B) {
  constexpr size_t n = sizeof(DIGIT_T) * T::ND;
  return memcmp(A->E.a, B->E.a, n) == 0 && memcmp(A->E.b, B->E.b, n) == 0 &&
         memcmp(A->E.p, B->E.p, n) == 0 && memcmp(A->q, B->q, n) == 0 &&
         memcmp(A->bp.x, B->bp.x, n) == 0 && memcmp(A->bp.y, B->bp.y, n) == 0;
}

template <class T>
inline bool build_ctx(CurveCtx<T::NL>& C, const typename T::Par* E) {
  return ctx_init<T::NL>(C, E->E.p, E->E.a, E->E.b, E->q, E->bp.x, E->bp.y, T::ND);
}

// The context of a stored parameter set, built once on first use (thread
// safe); a record that matches no stored set gets a context of its own in
// `own`, without the fixed-base table. Null when the fast code does not suit.
template <class T>
inline const CurveCtx<T::NL>* get_ctx(const typename T::Par* E,
                                      std::unique_ptr<CurveCtx<T::NL>>& own) {
  static CurveCtx<T::NL> ctxs[T::kParCount];
  static std::atomic<int> state[T::kParCount];  // 0 not built, 1 ready, 2 unsuitable
  static std::mutex build_lock;
  const typename T::Par* tab = T::table();
  for (uint32_t i = 0; i < T::kParCount; i++) {
    if (E == &tab[i] || same_curve<T>(E, &tab[i])) {
      if (state[i].load(std::memory_order_acquire) == 0) {
        std::lock_guard<std::mutex> guard(build_lock);
        if (state[i].load(std::memory_order_relaxed) == 0) {
          bool ok = build_ctx<T>(ctxs[i], &tab[i]);
          if (ok) ctx_build_table<T::NL>(ctxs[i]);
          state[i].store(ok ? 1 : 2, std::memory_order_release);
        }
      }
      return state[i].load(std::memory_order_acquire) == 1 ? &ctxs[i] : nullptr;
    }
  }
  own = std::make_unique<CurveCtx<T::NL>>();
  if (!build_ctx<T>(*own, E)) return nullptr;
  return own.get();
}

// Affine digits of P (the identity gives (0, 0)), without a branch on P.
template <class T>
inline void result_to_point(typename T::Point* R, const Proj<T::NL>& P, const CurveCtx<T::NL>& C) {
  Aff<T::NL> A;
  to_affine_ct<T::NL>(A, P, C);
  u64 x[T::NL], y[T::NL];
  from_mont<T::NL>(x, A.x, C.F);
  from_mont<T::NL>(y, A.y, C.F);
  to_digits<T::NL>(R->x, T::ND, x);
  to_digits<T::NL>(R->y, T::ND, y);
  vkc_ct::wipe(&A, sizeof A);
  vkc_ct::wipe(x, sizeof x);
  vkc_ct::wipe(y, sizeof y);
}

// R = k * P, k unsigned (ND digits). False when the fast code cannot give
// the exact result (point off the curve or unreduced, exceptional case).
template <class T>
inline bool fast_mult(typename T::Point* R, const typename T::Point* P, const DIGIT_T* k,
                      const typename T::Par* E) {
  constexpr int NL = T::NL;
  constexpr int KW = NL + 1;
  std::unique_ptr<CurveCtx<NL>> own;
  const CurveCtx<NL>* C = get_ctx<T>(E, own);
  if (C == nullptr) return false;
  if (pt_is_zero<T>(P)) {
    pt_set_zero<T>(R);
    return true;
  }
  for (uint32_t i = 2 * NL; i < T::ND; i++)
    if (P->x[i] != 0 || P->y[i] != 0) return false;
  u64 xw[NL], yw[NL];
  from_digits<NL>(xw, P->x, T::ND);
  from_digits<NL>(yw, P->y, T::ND);
  Aff<NL> A;
  if (!load_point<NL>(A, xw, yw, *C)) return false;
  u64 kw[KW];
  from_digits<KW>(kw, k, T::ND);
  Proj<NL> Rp;
  mul_point_ct<NL, KW>(Rp, A, kw, static_cast<int>(T::ND * 8), *C);
  vkc_ct::wipe(kw, sizeof kw);
  const bool exceptional = is_exceptional<NL>(Rp);
  if (!exceptional) result_to_point<T>(R, Rp, *C);
  vkc_ct::wipe(&Rp, sizeof Rp);
  return !exceptional;
}

// R = k * bp, k unsigned (ND digits).
template <class T>
inline void mult_base(typename T::Point* R, const DIGIT_T* k, const typename T::Par* E) {
  constexpr int NL = T::NL;
  std::unique_ptr<CurveCtx<NL>> own;
  const CurveCtx<NL>* C = get_ctx<T>(E, own);
  if (C != nullptr && C->has_table) {
    u64 km[NL], kp[NL];
    reduce_digits_mont<NL>(km, k, T::ND, C->S);
    from_mont<NL>(kp, km, C->S);
    Proj<NL> Rp;
    mul_base_ct<NL>(Rp, kp, *C);
    vkc_ct::wipe(km, sizeof km);
    vkc_ct::wipe(kp, sizeof kp);
    result_to_point<T>(R, Rp, *C);
    vkc_ct::wipe(&Rp, sizeof Rp);
    return;
  }
  if (!fast_mult<T>(R, &E->bp, k, E)) ref_mult<T>(R, &E->bp, k, E);
}

// R = k * P, k unsigned, exact for every input.
template <class T>
inline void mult_any(typename T::Point* R, const typename T::Point* P, const DIGIT_T* k,
                     const typename T::Par* E) {
  typename T::Point tmp;
  if (!fast_mult<T>(&tmp, P, k, E)) ref_mult<T>(&tmp, P, k, E);
  *R = tmp;
  vkc_ct::wipe(&tmp, sizeof tmp);
}

// |k| in the signed view, without a branch on the sign.
template <uint32_t ND>
inline void abs_ct(DIGIT_T* r, const DIGIT_T* k) {
  DIGIT_T neg[ND];
  uint64_t borrow = 0;
  for (uint32_t i = 0; i < ND; i++) {
    uint64_t t = 0ull - k[i] - borrow;
    neg[i] = static_cast<DIGIT_T>(t);
    borrow = (t >> 32) & 1;
  }
  const DIGIT_T mask = static_cast<DIGIT_T>(vkc_ct::mask_bit(k[ND - 1] >> 31));
  for (uint32_t i = 0; i < ND; i++) r[i] = (neg[i] & mask) | (k[i] & ~mask);
  vkc_ct::wipe(neg, sizeof neg);
}

}  // namespace vkc_ec

#endif
