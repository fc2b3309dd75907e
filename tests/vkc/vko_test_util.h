// Helpers of the VKO and KEG tests: the two curve sizes behind one
// interface, random key pairs, byte forms, and the independent oracles
// (OpenSSL's generic curve code for the shared point, libgcrypt and nettle
// for the hashes).
#ifndef ORVEL_TESTS_VKC_VKO_TEST_UTIL_H
#define ORVEL_TESTS_VKC_VKO_TEST_UTIL_H

#include <gcrypt.h>
#include <gtest/gtest.h>
#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/err.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "ec_test_util.h"
#include "keg.h"
#include "vko.h"

namespace vko_test {

using Bytes = std::vector<uint8_t>;

struct V256 {
  using Par = GOSTR3410_2012_256_PAR;
  using Pt = GostPoint;
  static constexpr uint32_t ND = GOST256_NDIGITS, NB = 32, COUNT = GOST256_PAR_COUNT;
  static const Par* get(uint32_t i) { return GOSTR3410_2012_256_GetPar(i); }
  static const char* row(uint32_t i) { return ec_test::kRows256[i]; }
  static int point(const Par* e, const DIGIT_T* u, const DIGIT_T* d, const Pt* q, Pt* k) {
    return GOSTR3410_2001_VKO_point(e, u, d, q, k);
  }
  static int pub(const Par* e, const DIGIT_T* d, Pt* q) {
    return GOSTR3410_2012_256_GeneratePublicKey(e, d, q);
  }
  static int keg(const Par* e, const DIGIT_T* d, const Pt* q, const uint8_t* h, uint32_t n,
                 uint8_t* out) {
    return GOSTR3410_2012_256_KEG(e, d, q, h, n, out);
  }
  static constexpr uint32_t kKegMinH = 24;
};

struct V512 {
  using Par = GOSTR3410_2012_512_PAR;
  using Pt = GostPoint512;
  static constexpr uint32_t ND = GOST512_NDIGITS, NB = 64, COUNT = GOST512_PAR_COUNT;
  static const Par* get(uint32_t i) { return GOSTR3410_2012_512_GetPar(i); }
  static const char* row(uint32_t i) { return ec_test::kRows512[i]; }
  static int point(const Par* e, const DIGIT_T* u, const DIGIT_T* d, const Pt* q, Pt* k) {
    return GOSTR3410_2012_512_VKO_point(e, u, d, q, k);
  }
  static int pub(const Par* e, const DIGIT_T* d, Pt* q) {
    return GOSTR3410_2012_512_GeneratePublicKey(e, d, q);
  }
  static int keg(const Par* e, const DIGIT_T* d, const Pt* q, const uint8_t* h, uint32_t n,
                 uint8_t* out) {
    return GOSTR3410_2012_512_KEG(e, d, q, h, n, out);
  }
  static constexpr uint32_t kKegMinH = 16;
};

template <class S>
struct KeyPair {
  DIGIT_T d[S::ND] = {};
  typename S::Pt Q = {};
};

template <class S>
inline KeyPair<S> random_pair(std::mt19937_64& rng, const typename S::Par* E) {
  KeyPair<S> k;
  do {
    ec_test::random_below(rng, k.d, E->q, S::ND);
  } while (mpIsZero(k.d, S::ND) == 1);
  EXPECT_EQ(S::pub(E, k.d, &k.Q), 0);
  return k;
}

inline Bytes random_bytes(std::mt19937_64& rng, size_t n) {
  Bytes b(n);
  for (auto& x : b) x = static_cast<uint8_t>(rng());
  return b;
}

// The number whose least significant byte comes first in b.
template <class S>
inline void le_to_num(DIGIT_T* a, const Bytes& b) {
  Bytes be(b.rbegin(), b.rend());
  mpConvFromOctets(a, S::ND, be.data(), static_cast<uint32_t>(be.size()));
}

// x then y, each least significant byte first.
template <class S>
inline Bytes encode(const typename S::Pt& P) {
  Bytes out(2 * S::NB);
  mpConvToOctets(P.x, S::ND, out.data(), S::NB);
  mpConvToOctets(P.y, S::ND, out.data() + S::NB, S::NB);
  std::reverse(out.begin(), out.begin() + S::NB);
  std::reverse(out.begin() + S::NB, out.end());
  return out;
}

inline Bytes gcry_hash(int algo, const Bytes& data) {
  EXPECT_NE(gcry_check_version(nullptr), nullptr);
  const unsigned n = gcry_md_get_algo_dlen(algo);
  Bytes out(n);
  gcry_md_hash_buffer(algo, out.data(), data.data(), data.size());
  return out;
}

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

// OpenSSL's generic curve code over a record's numbers: the oracle of the
// shared point on every curve, and the source of points outside the
// subgroup.
template <class S>
class OsslCurve {
 public:
  explicit OsslCurve(const typename S::Par* E) : E_(E) {
    BnPtr p = to_bn(E->E.p, S::ND), a = to_bn(E->E.a, S::ND), b = to_bn(E->E.b, S::ND);
    group_.reset(EC_GROUP_new_curve_GFp(p.get(), a.get(), b.get(), ctx_.get()));
    EXPECT_NE(group_, nullptr);
  }

  // (h * ukm * d mod q) * Q with h = m / q.
  typename S::Pt vko_point(const DIGIT_T* ukm, const DIGIT_T* d, const typename S::Pt& Q) const {
    BnPtr m = to_bn(E_->m, S::ND), q = to_bn(E_->q, S::ND), u = to_bn(ukm, S::ND),
          k = to_bn(d, S::ND), h(BN_new()), t(BN_new());
    EXPECT_EQ(BN_div(h.get(), nullptr, m.get(), q.get(), ctx_.get()), 1);
    EXPECT_EQ(BN_mod_mul(t.get(), h.get(), u.get(), q.get(), ctx_.get()), 1);
    EXPECT_EQ(BN_mod_mul(t.get(), t.get(), k.get(), q.get(), ctx_.get()), 1);
    return mul(Q, t.get());
  }

  typename S::Pt mul(const typename S::Pt& P, const BIGNUM* k) const {
    PointPtr pp = point(P), r(EC_POINT_new(group_.get()));
    EXPECT_EQ(EC_POINT_mul(group_.get(), r.get(), nullptr, pp.get(), k, ctx_.get()), 1);
    return to_pt(r.get());
  }

  typename S::Pt add(const typename S::Pt& A, const typename S::Pt& B) const {
    PointPtr a = point(A), b = point(B), r(EC_POINT_new(group_.get()));
    EXPECT_EQ(EC_POINT_add(group_.get(), r.get(), a.get(), b.get(), ctx_.get()), 1);
    return to_pt(r.get());
  }

  // A point of the curve whose order is not q (curves with a cofactor
  // only): a random point times q, of order 2 or 4.
  bool small_order_point(std::mt19937_64& rng, typename S::Pt* out) const {
    BnPtr q = to_bn(E_->q, S::ND);
    for (int tries = 0; tries < 200; tries++) {
      DIGIT_T x[S::ND];
      ec_test::random_below(rng, x, E_->E.p, S::ND);
      PointPtr r(EC_POINT_new(group_.get()));
      BnPtr xb = to_bn(x, S::ND);
      ERR_set_mark();
      const bool ok =
          EC_POINT_set_compressed_coordinates(group_.get(), r.get(), xb.get(), 0, ctx_.get()) == 1;
      ERR_pop_to_mark();
      if (!ok) continue;
      const typename S::Pt R = to_pt(r.get());
      const typename S::Pt T = mul(R, q.get());
      if (mpIsZero(T.x, S::ND) == 0 || mpIsZero(T.y, S::ND) == 0) {
        *out = T;
        return true;
      }
    }
    return false;
  }

 private:
  PointPtr point(const typename S::Pt& P) const {
    PointPtr r(EC_POINT_new(group_.get()));
    if (mpIsZero(P.x, S::ND) == 1 && mpIsZero(P.y, S::ND) == 1) {
      EC_POINT_set_to_infinity(group_.get(), r.get());
    } else {
      BnPtr x = to_bn(P.x, S::ND), y = to_bn(P.y, S::ND);
      EXPECT_EQ(
          EC_POINT_set_affine_coordinates(group_.get(), r.get(), x.get(), y.get(), ctx_.get()), 1);
    }
    return r;
  }

  typename S::Pt to_pt(const EC_POINT* P) const {
    typename S::Pt r = {};
    if (EC_POINT_is_at_infinity(group_.get(), P)) return r;
    BnPtr x(BN_new()), y(BN_new());
    EXPECT_EQ(EC_POINT_get_affine_coordinates(group_.get(), P, x.get(), y.get(), ctx_.get()), 1);
    from_bn(r.x, S::ND, x.get());
    from_bn(r.y, S::ND, y.get());
    return r;
  }

  const typename S::Par* E_;
  BnCtxPtr ctx_{BN_CTX_new()};
  GroupPtr group_;
};

}  // namespace vko_test

#endif
