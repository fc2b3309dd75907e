// OpenSSL's generic elliptic-curve code over a curve record's numbers: the
// independent oracle of the point, VKO and curve tests.
#ifndef ORVEL_TESTS_VKC_EC_OSSL_ORACLE_H
#define ORVEL_TESTS_VKC_EC_OSSL_ORACLE_H

#include <gtest/gtest.h>
#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/err.h>

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "ec_test_util.h"

namespace ec_test {

template <class T, void (*F)(T*)>
struct Del {
  void operator()(T* p) const { F(p); }
};
using BnPtr = std::unique_ptr<BIGNUM, Del<BIGNUM, BN_free>>;
using BnCtxPtr = std::unique_ptr<BN_CTX, Del<BN_CTX, BN_CTX_free>>;
using GroupPtr = std::unique_ptr<EC_GROUP, Del<EC_GROUP, EC_GROUP_free>>;
using PointPtr = std::unique_ptr<EC_POINT, Del<EC_POINT, EC_POINT_free>>;

inline BnPtr to_bn(const DIGIT_T* a, uint32_t nd) {
  std::vector<unsigned char> b(4 * nd);
  mpConvToOctets(a, nd, b.data(), static_cast<uint32_t>(b.size()));
  return BnPtr(BN_bin2bn(b.data(), static_cast<int>(b.size()), nullptr));
}

inline void from_bn(DIGIT_T* a, uint32_t nd, const BIGNUM* bn) {
  std::vector<unsigned char> b(4 * nd);
  ASSERT_GE(BN_bn2binpad(bn, b.data(), static_cast<int>(b.size())), 0);
  mpConvFromOctets(a, nd, b.data(), static_cast<uint32_t>(b.size()));
}

// S gives Par, Pt and ND of one curve size. The zero point stands for the
// point at infinity both ways.
template <class S>
struct OsslCurve {
  BnCtxPtr ctx{BN_CTX_new()};
  GroupPtr group;

  explicit OsslCurve(const typename S::Par* E) : E_(E) {
    BnPtr p = to_bn(E->E.p, S::ND), a = to_bn(E->E.a, S::ND), b = to_bn(E->E.b, S::ND);
    group.reset(EC_GROUP_new_curve_GFp(p.get(), a.get(), b.get(), ctx.get()));
    EXPECT_NE(group, nullptr);
  }

  PointPtr point(const typename S::Pt& P) const {
    PointPtr r(EC_POINT_new(group.get()));
    if (mpIsZero(P.x, S::ND) == 1 && mpIsZero(P.y, S::ND) == 1) {
      EC_POINT_set_to_infinity(group.get(), r.get());
    } else {
      BnPtr x = to_bn(P.x, S::ND), y = to_bn(P.y, S::ND);
      EXPECT_EQ(EC_POINT_set_affine_coordinates(group.get(), r.get(), x.get(), y.get(), ctx.get()),
                1);
    }
    return r;
  }

  typename S::Pt to_pt(const EC_POINT* P) const {
    typename S::Pt r = {};
    if (EC_POINT_is_at_infinity(group.get(), P)) return r;
    BnPtr x(BN_new()), y(BN_new());
    EXPECT_EQ(EC_POINT_get_affine_coordinates(group.get(), P, x.get(), y.get(), ctx.get()), 1);
    from_bn(r.x, S::ND, x.get());
    from_bn(r.y, S::ND, y.get());
    return r;
  }

  typename S::Pt mul(const typename S::Pt& P, const BIGNUM* k) const {
    PointPtr pp = point(P), r(EC_POINT_new(group.get()));
    EXPECT_EQ(EC_POINT_mul(group.get(), r.get(), nullptr, pp.get(), k, ctx.get()), 1);
    return to_pt(r.get());
  }

  typename S::Pt mul(const typename S::Pt& P, const DIGIT_T* k) const {
    BnPtr kb = to_bn(k, S::ND);
    return mul(P, kb.get());
  }

  typename S::Pt mulw(const typename S::Pt& P, DIGIT_T w) const {
    DIGIT_T k[S::ND] = {w};
    return mul(P, k);
  }

  typename S::Pt add(const typename S::Pt& A, const typename S::Pt& B) const {
    PointPtr a = point(A), b = point(B), r(EC_POINT_new(group.get()));
    EXPECT_EQ(EC_POINT_add(group.get(), r.get(), a.get(), b.get(), ctx.get()), 1);
    return to_pt(r.get());
  }

  // A point with the given x, if x is on the curve (any subgroup).
  bool lift(typename S::Pt* out, const DIGIT_T* x) const {
    PointPtr r(EC_POINT_new(group.get()));
    BnPtr xb = to_bn(x, S::ND);
    ERR_set_mark();
    const bool ok =
        EC_POINT_set_compressed_coordinates(group.get(), r.get(), xb.get(), 0, ctx.get()) == 1;
    ERR_pop_to_mark();
    if (ok) *out = to_pt(r.get());
    return ok;
  }

  // (h * ukm * d mod q) * Q with h = m / q: the VKO shared point.
  typename S::Pt vko_point(const DIGIT_T* ukm, const DIGIT_T* d, const typename S::Pt& Q) const {
    BnPtr m = to_bn(E_->m, S::ND), q = to_bn(E_->q, S::ND), u = to_bn(ukm, S::ND),
          k = to_bn(d, S::ND), h(BN_new()), t(BN_new());
    EXPECT_EQ(BN_div(h.get(), nullptr, m.get(), q.get(), ctx.get()), 1);
    EXPECT_EQ(BN_mod_mul(t.get(), h.get(), u.get(), q.get(), ctx.get()), 1);
    EXPECT_EQ(BN_mod_mul(t.get(), t.get(), k.get(), q.get(), ctx.get()), 1);
    return mul(Q, t.get());
  }

  // A point of the curve whose order is not q (curves with a cofactor
  // only): a random point times q, of order 2 or 4.
  bool small_order_point(std::mt19937_64& rng, typename S::Pt* out) const {
    BnPtr q = to_bn(E_->q, S::ND);
    for (int tries = 0; tries < 200; tries++) {
      DIGIT_T x[S::ND];
      random_below(rng, x, E_->E.p, S::ND);
      typename S::Pt R;
      if (!lift(&R, x)) continue;
      const typename S::Pt T = mul(R, q.get());
      if (mpIsZero(T.x, S::ND) == 0 || mpIsZero(T.y, S::ND) == 0) {
        *out = T;
        return true;
      }
    }
    return false;
  }

 private:
  const typename S::Par* E_;
};

}  // namespace ec_test

#endif
