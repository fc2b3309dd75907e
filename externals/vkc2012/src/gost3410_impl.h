// GOST R 34.10 key generation, signing and verification, shared by the
// 256-bit and 512-bit functions.
#ifndef VKC_GOST3410_IMPL_H
#define VKC_GOST3410_IMPL_H

#include <memory>

#include "ec_points.h"
#include "ec_verify.h"
#include "gost3410.h"
#include "vkc_ct.h"
#include "vkc_log.h"

namespace vkc_gost3410 {

using vkc_ec::u64;

// Draws of a random value that reduce to zero before signing or key
// generation gives up: a source that keeps returning zeros must not hang.
constexpr int kMaxDraws = 64;

// Arithmetic modulo the group order q on ND-digit numbers: constant time
// through the curve context when there is one, else the digit layer.
template <class T>
class QArith {
 public:
  static constexpr uint32_t N = T::ND;
  static constexpr int NL = T::NL;

  QArith(const typename T::Par* E, const vkc_ec::CurveCtx<NL>* C) : E_(E), C_(C) {}

  // r = a mod q, for any a of N digits.
  void reduce(DIGIT_T* r, const DIGIT_T* a) const {
    if (C_ != nullptr) {
      u64 m[NL], p[NL];
      vkc_ec::reduce_digits_mont<NL>(m, a, N, C_->S);
      vkc_ec::from_mont<NL>(p, m, C_->S);
      vkc_ec::to_digits<NL>(r, N, p);
      vkc_ct::wipe(m, sizeof m);
      vkc_ct::wipe(p, sizeof p);
    } else {
      mpModulo(r, a, N, E_->q, N);
    }
  }

  // r = a * b mod q for reduced a, b.
  void mul(DIGIT_T* r, const DIGIT_T* a, const DIGIT_T* b) const {
    if (C_ != nullptr) {
      u64 x[NL], y[NL], t[NL];
      vkc_ec::from_digits<NL>(x, a, N);
      vkc_ec::from_digits<NL>(y, b, N);
      vkc_ec::mont_mul<NL>(t, x, y, C_->S);
      vkc_ec::mont_mul<NL>(t, t, C_->S.r2, C_->S);
      vkc_ec::to_digits<NL>(r, N, t);
      vkc_ct::wipe(x, sizeof x);
      vkc_ct::wipe(y, sizeof y);
      vkc_ct::wipe(t, sizeof t);
    } else {
      mpModMult(r, a, b, E_->q, N);
    }
  }

  void add(DIGIT_T* r, const DIGIT_T* a, const DIGIT_T* b) const {
    if (C_ != nullptr) {
      u64 x[NL], y[NL], t[NL];
      vkc_ec::from_digits<NL>(x, a, N);
      vkc_ec::from_digits<NL>(y, b, N);
      vkc_ec::mod_add<NL>(t, x, y, C_->S);
      vkc_ec::to_digits<NL>(r, N, t);
      vkc_ct::wipe(x, sizeof x);
      vkc_ct::wipe(y, sizeof y);
      vkc_ct::wipe(t, sizeof t);
    } else {
      mpModAdd(r, a, b, E_->q, N);
    }
  }

  // r = a^-1 mod q for a reduced, non-zero a: a^(q-2), constant time
  // through the curve context.
  void inv(DIGIT_T* r, const DIGIT_T* a) const {
    if (C_ != nullptr) {
      u64 x[NL], t[NL];
      vkc_ec::from_digits<NL>(x, a, N);
      vkc_ec::to_mont<NL>(t, x, C_->S);
      vkc_ec::mont_inv<NL>(t, t, C_->S);
      vkc_ec::from_mont<NL>(x, t, C_->S);
      vkc_ec::to_digits<NL>(r, N, x);
      vkc_ct::wipe(x, sizeof x);
      vkc_ct::wipe(t, sizeof t);
    } else {
      mpModInv(r, a, E_->q, N);
    }
  }

 private:
  const typename T::Par* E_;
  const vkc_ec::CurveCtx<NL>* C_;
};

template <class T>
struct Num {
  DIGIT_T v[T::ND];
  Num() { mpSetZero(v, T::ND); }
  ~Num() { vkc_ct::wipe(v, sizeof v); }
  Num(const Num&) = delete;
  Num& operator=(const Num&) = delete;
  operator DIGIT_T*() { return v; }
};

template <class T>
inline bool is_zero(const DIGIT_T* a) {
  DIGIT_T acc = 0;
  for (uint32_t i = 0; i < T::ND; i++) acc |= a[i];
  return acc == 0;
}

// Whether a secret value is zero, the one bit made public (a zero draw is
// drawn again).
template <class T>
inline bool secret_is_zero(const DIGIT_T* a) {
  DIGIT_T acc = 0;
  for (uint32_t i = 0; i < T::ND; i++) acc |= a[i];
  uint64_t z = vkc_ct::mask_zero(acc) & 1;
  vkc_ct::declassify(&z, sizeof z);
  return z != 0;
}

// y^2 = (x^2 + a) x + b mod p.
template <class T>
inline bool on_curve(const typename T::Par* E, const typename T::Point* Q) {
  constexpr uint32_t N = T::ND;
  const DIGIT_T* p = E->E.p;
  DIGIT_T l[N], r[N];
  mpModMult(l, Q->y, Q->y, p, N);
  mpModMult(r, Q->x, Q->x, p, N);
  mpModAdd(r, r, E->E.a, p, N);
  mpModMult(r, r, Q->x, p, N);
  mpModAdd(r, r, E->E.b, p, N);
  return mpEqual(l, r, N) == 1;
}

template <class T>
inline int check_public_key(const typename T::Par* E, const typename T::Point* Q,
                            const char* bad_params) {
  if (E == nullptr || Q == nullptr) {
    VKC_LOG("%s", bad_params);
    return -2;
  }
  if (!on_curve<T>(E, Q)) {
    VKC_LOG("Invalid public key");
    return -1;
  }
  return 0;
}

template <class T>
inline int generate_public_key(const typename T::Par* E, const DIGIT_T* d, typename T::Point* Q,
                               const char* bad_params) {
  if (E == nullptr || d == nullptr || Q == nullptr) {
    VKC_LOG("%s", bad_params);
    return -2;
  }
  vkc_ec::mult_base<T>(Q, d, E);
  vkc_ct::declassify(Q, sizeof *Q);  // the public key
  return check_public_key<T>(E, Q, bad_params);
}

// One random value below q: 4 ND bytes read least significant first, taken
// by absolute value in the signed view, reduced modulo q. False when the
// random function fails.
template <class T>
inline bool draw(RND_FUNC rnd, DIGIT_T* out, const QArith<T>& Q) {
  unsigned char buf[4 * T::ND];
  if (rnd(buf, sizeof buf) != 0) {
    vkc_ct::wipe(buf, sizeof buf);
    return false;
  }
  Num<T> raw;
  for (uint32_t i = 0; i < T::ND; i++) {
    raw.v[i] = static_cast<DIGIT_T>(buf[4 * i]) | static_cast<DIGIT_T>(buf[4 * i + 1]) << 8 |
               static_cast<DIGIT_T>(buf[4 * i + 2]) << 16 |
               static_cast<DIGIT_T>(buf[4 * i + 3]) << 24;
  }
  vkc_ct::wipe(buf, sizeof buf);
  vkc_ec::abs_ct<T::ND>(raw, raw);
  Q.reduce(out, raw);
  return true;
}

// Signature for the nonce k: 0, or -1 when r or s comes out zero.
template <class T, class Sig>
inline int sign_with_k(const typename T::Par* E, const QArith<T>& Q, const DIGIT_T* e_red,
                       const DIGIT_T* k, const DIGIT_T* d, Sig* sig) {
  typename T::Point C;
  vkc_ec::mult_base<T>(&C, k, E);
  Num<T> r, s, t, kr, dr;
  Q.reduce(r, C.x);
  vkc_ct::wipe(&C, sizeof C);
  vkc_ct::declassify(r.v, sizeof r.v);  // the first half of the signature
  if (is_zero<T>(r)) return -1;
  Q.reduce(kr, k);
  Q.reduce(dr, d);
  Q.mul(s, r, dr);
  Q.mul(t, kr, e_red);
  Q.add(s, s, t);
  vkc_ct::declassify(s.v, sizeof s.v);  // the second half
  if (is_zero<T>(s)) return -1;
  mpSetEqual(sig->r, r, T::ND);
  mpSetEqual(sig->s, s, T::ND);
  return 0;
}

template <class T>
inline void digest_mod_q(DIGIT_T* e_red, const DIGIT_T* e, const QArith<T>& Q) {
  Q.reduce(e_red, e);
  if (is_zero<T>(e_red)) mpSetDigit(e_red, 1, T::ND);
}

template <class T, class Sig>
inline int sign_given(const typename T::Par* E, const DIGIT_T* e, const DIGIT_T* k,
                      const DIGIT_T* d, Sig* sig, const char* name) {
  if (E == nullptr || e == nullptr || k == nullptr || d == nullptr || sig == nullptr) {
    VKC_LOG("%s: bad params", name);
    return -2;
  }
  std::unique_ptr<vkc_ec::CurveCtx<T::NL>> own;
  const QArith<T> Q(E, vkc_ec::get_ctx<T>(E, own));
  Num<T> er;
  digest_mod_q<T>(er, e, Q);
  if (sign_with_k<T>(E, Q, er, k, d, sig) != 0) {
    VKC_LOG("%s: the given random value gives no signature", name);
    return -1;
  }
  return 0;
}

template <class T, class Sig>
inline int sign(const typename T::Par* E, const DIGIT_T* e, RND_FUNC rnd, const DIGIT_T* d,
                Sig* sig, const char* name) {
  if (E == nullptr || e == nullptr || rnd == nullptr || d == nullptr || sig == nullptr) {
    VKC_LOG("%s: bad params", name);
    return -2;
  }
  std::unique_ptr<vkc_ec::CurveCtx<T::NL>> own;
  const QArith<T> Q(E, vkc_ec::get_ctx<T>(E, own));
  Num<T> er, k;
  digest_mod_q<T>(er, e, Q);
  for (int i = 0; i < kMaxDraws; i++) {
    if (!draw<T>(rnd, k, Q)) break;
    if (secret_is_zero<T>(k)) continue;
    if (sign_with_k<T>(E, Q, er, k, d, sig) == 0) return 0;
  }
  VKC_LOG("%s: Getbig_RND failed", name);
  return -3;
}

// Draws a private key until it is not zero; false when the random function
// fails or keeps giving zero.
template <class T>
inline bool draw_private_key(const typename T::Par* E, RND_FUNC rnd, DIGIT_T* d) {
  std::unique_ptr<vkc_ec::CurveCtx<T::NL>> own;
  const QArith<T> Q(E, vkc_ec::get_ctx<T>(E, own));
  for (int i = 0; i < kMaxDraws; i++) {
    if (!draw<T>(rnd, d, Q)) return false;
    if (!secret_is_zero<T>(d)) return true;
  }
  return false;
}

template <class T, class Sig>
inline int verify(const typename T::Par* E, const DIGIT_T* e, const typename T::Point* Qpub,
                  const Sig* sig, const char* name) {
  constexpr uint32_t N = T::ND;
  constexpr int NL = T::NL;
  if (E == nullptr || e == nullptr || Qpub == nullptr || sig == nullptr) {
    VKC_LOG("%s: bad params", name);
    return -2;
  }
  if (is_zero<T>(sig->r) || is_zero<T>(sig->s) || mpCompare(sig->r, E->q, N) >= 0 ||
      mpCompare(sig->s, E->q, N) >= 0) {
    VKC_LOG("%s: Signature verification failed", name);
    return -1;
  }
  std::unique_ptr<vkc_ec::CurveCtx<NL>> own;
  const vkc_ec::CurveCtx<NL>* C = vkc_ec::get_ctx<T>(E, own);
  const QArith<T> Q(E, C);
  Num<T> er, v, z1, z2, t;
  digest_mod_q<T>(er, e, Q);
  Q.inv(v, er);
  Q.mul(z1, sig->s, v);
  Q.mul(t, sig->r, v);
  if (!is_zero<T>(t)) mpSubtract(z2, E->q, t, N);
  if (C != nullptr && C->has_table) {
    // Public values only: the variable-time Jacobian combination.
    u64 xw[NL], yw[NL];
    vkc_ec::Aff<NL> A;
    bool loadable = true;
    for (uint32_t i = 2 * NL; i < N; i++)
      if (Qpub->x[i] != 0 || Qpub->y[i] != 0) loadable = false;
    vkc_ec::from_digits<NL>(xw, Qpub->x, N);
    vkc_ec::from_digits<NL>(yw, Qpub->y, N);
    if (loadable && !vkc_ec::pt_is_zero<T>(Qpub) && vkc_ec::load_point<NL>(A, xw, yw, *C)) {
      u64 z1w[NL], z2w[NL], rw[NL];
      vkc_ec::from_digits<NL>(z1w, z1, N);
      vkc_ec::from_digits<NL>(z2w, z2, N);
      vkc_ec::from_digits<NL>(rw, sig->r, N);
      const int v_res = vkc_ec::verify_combination<NL>(*C, z1w, z2w, A, rw);
      if (v_res == 1) return 0;
      if (v_res == 0) {
        VKC_LOG("%s: Signature verification failed", name);
        return -1;
      }
    }
  }
  // A point that is not a reduced point of the curve: the exact affine path.
  typename T::Point R, A, B;
  vkc_ec::mult_base<T>(&A, z1, E);
  vkc_ec::mult_any<T>(&B, Qpub, z2, E);
  vkc_ec::ref_add<T>(&R, &A, &B, E);
  Q.reduce(t, R.x);
  if (mpEqual(t, sig->r, N) == 1) return 0;
  VKC_LOG("%s: Signature verification failed", name);
  return -1;
}

}  // namespace vkc_gost3410

#endif
