// The curve records against the published values and against OpenSSL's
// generic elliptic-curve code; the point functions' edge cases.
#include <gtest/gtest.h>
#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/err.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "ec_ossl_oracle.h"
#include "ec_test_util.h"
#include "test_util.h"

namespace {

using ec_test::BnPtr;
using ec_test::OsslCurve;
using ec_test::PointPtr;

struct S256 {
  using Par = GOSTR3410_2012_256_PAR;
  using Pt = GostPoint;
  using JPt = GostJPoint;
  static constexpr uint32_t ND = GOST256_NDIGITS, NB = 32, NPP = GOST256_PP_COUNT,
                            COUNT = GOST256_PAR_COUNT;
  static const Par* get(uint32_t i) { return GOSTR3410_2012_256_GetPar(i); }
  static const char* row(uint32_t i) { return ec_test::kRows256[i]; }
  static int mult(Pt* r, const Pt* p, const DIGIT_T* k, const Par* e) { return epMult(r, p, k, e); }
  static int multJ(Pt* r, const Pt* p, const DIGIT_T* k, const Par* e) {
    return epMultJ(r, p, k, e);
  }
  static int multPP(Pt* r, const DIGIT_T* k, const Par* e) { return epMultPP(r, k, e); }
  static int add(Pt* r, const Pt* p, const Pt* q, const Par* e) { return epAdd(r, p, q, e); }
  static int sub(Pt* r, const Pt* p, const Pt* q, const Par* e) { return epSubtract(r, p, q, e); }
  static int isZero(const Pt* p) { return epIsZero(p); }
  static int isEqual(const Pt* p, const Pt* q) { return epIsEqual(p, q); }
  static int check(const Par* e, const Pt* p) { return GOSTR3410_2012_256_CheckPublicKey(e, p); }
  static int a2j(JPt* j, const Pt* p) { return epA2J(j, p); }
  static int j2a(Pt* p, const JPt* j, const Par* e) { return epJ2A(p, j, e); }
  static int dublJ(JPt* r, const JPt* j, const Par* e) { return epDublJ(r, j, e); }
  static int addJA(JPt* r, const JPt* j, const Pt* p, const Par* e) { return epAddJA(r, j, p, e); }
  static int addJJ(JPt* r, const JPt* a, const JPt* b, const Par* e) {
    return epAddJChud(r, a, b, e);
  }
};

struct S512 {
  using Par = GOSTR3410_2012_512_PAR;
  using Pt = GostPoint512;
  using JPt = GostJPoint512;
  static constexpr uint32_t ND = GOST512_NDIGITS, NB = 64, NPP = GOST512_PP_COUNT,
                            COUNT = GOST512_PAR_COUNT;
  static const Par* get(uint32_t i) { return GOSTR3410_2012_512_GetPar(i); }
  static const char* row(uint32_t i) { return ec_test::kRows512[i]; }
  static int mult(Pt* r, const Pt* p, const DIGIT_T* k, const Par* e) {
    return depMult(r, p, k, e);
  }
  static int multJ(Pt* r, const Pt* p, const DIGIT_T* k, const Par* e) {
    return depMultJ(r, p, k, e);
  }
  static int multPP(Pt* r, const DIGIT_T* k, const Par* e) { return depMultPP(r, k, e); }
  static int add(Pt* r, const Pt* p, const Pt* q, const Par* e) { return depAdd(r, p, q, e); }
  static int sub(Pt* r, const Pt* p, const Pt* q, const Par* e) { return depSubtract(r, p, q, e); }
  static int isZero(const Pt* p) { return depIsZero(p); }
  static int isEqual(const Pt* p, const Pt* q) { return depIsEqual(p, q); }
  static int check(const Par* e, const Pt* p) { return GOSTR3410_2012_512_CheckPublicKey(e, p); }
  static int a2j(JPt* j, const Pt* p) { return depA2J(j, p); }
  static int j2a(Pt* p, const JPt* j, const Par* e) { return depJ2A(p, j, e); }
  static int dublJ(JPt* r, const JPt* j, const Par* e) { return depDublJ(r, j, e); }
  static int addJA(JPt* r, const JPt* j, const Pt* p, const Par* e) { return depAddJA(r, j, p, e); }
  static int addJJ(JPt* r, const JPt* a, const JPt* b, const Par* e) {
    return depAddJChud(r, a, b, e);
  }
};

template <class S>
std::string hexnum(const DIGIT_T* a) {
  return ec_test::num_to_hex(a, S::ND, S::NB);
}

template <class S>
class CurveTest : public ::testing::Test {};
using Sizes = ::testing::Types<S256, S512>;
TYPED_TEST_SUITE(CurveTest, Sizes);

TYPED_TEST(CurveTest, RecordsMatchPublishedValues) {
  using S = TypeParam;
  for (uint32_t i = 0; i < S::COUNT; i++) {
    const typename S::Par* E = S::get(i);
    const ec_test::Block& b = ec_test::vectors().at(S::row(i));
    EXPECT_EQ(hexnum<S>(E->E.p), b.at("p")) << i;
    EXPECT_EQ(hexnum<S>(E->E.a), b.at("a")) << i;
    EXPECT_EQ(hexnum<S>(E->E.b), b.at("b")) << i;
    EXPECT_EQ(hexnum<S>(E->q), b.at("q").substr(b.at("q").size() - 2 * S::NB)) << i;
    DIGIT_T m[S::ND];
    ec_test::hex_to_num(b.at("m"), m, S::ND);
    EXPECT_EQ(mpEqual(m, E->m, S::ND), 1) << i;
    EXPECT_EQ(hexnum<S>(E->bp.x), b.at("x")) << i;
    EXPECT_EQ(hexnum<S>(E->bp.y), b.at("y")) << i;
    EXPECT_EQ(E->jacobian, 0u);
    // m is q times the cofactor.
    DIGIT_T hq[S::ND];
    mpShortMult(hq, E->q, static_cast<DIGIT_T>(std::stoi(b.at("cofactor_dec"))), S::ND);
    EXPECT_EQ(mpEqual(hq, E->m, S::ND), 1) << i;
  }
}

TYPED_TEST(CurveTest, TablesAndOrderAgainstOpenSsl) {
  using S = TypeParam;
  for (uint32_t i = 0; i < S::COUNT; i++) {
    const typename S::Par* E = S::get(i);
    OsslCurve<S> c(E);
    ASSERT_TRUE(c.group);
    EXPECT_EQ(S::check(E, &E->bp), 0);
    PointPtr P = c.point(E->bp);
    BnPtr sixteen(BN_new());
    BN_set_word(sixteen.get(), 16);
    for (uint32_t j = 0; j < S::NPP; j++) {
      EXPECT_EQ(S::check(E, &E->PP[j]), 0) << i << " " << j;
      EXPECT_EQ(hexnum<S>(c.to_pt(P.get()).x), hexnum<S>(E->PP[j].x)) << i << " " << j;
      EXPECT_EQ(hexnum<S>(c.to_pt(P.get()).y), hexnum<S>(E->PP[j].y)) << i << " " << j;
      PointPtr n(EC_POINT_new(c.group.get()));
      EC_POINT_mul(c.group.get(), n.get(), nullptr, P.get(), sixteen.get(), c.ctx.get());
      P = std::move(n);
    }
    // q * bp is the point at infinity, by every multiplication.
    typename S::Pt R;
    ASSERT_EQ(S::mult(&R, &E->bp, E->q, E), 0);
    EXPECT_EQ(S::isZero(&R), 1) << i;
    ASSERT_EQ(S::multJ(&R, &E->bp, E->q, E), 0);
    EXPECT_EQ(S::isZero(&R), 1) << i;
    ASSERT_EQ(S::multPP(&R, E->q, E), 0);
    EXPECT_EQ(S::isZero(&R), 1) << i;
    EXPECT_EQ(S::isZero(&(R = c.mul(E->bp, E->q))), 1);
  }
}

TYPED_TEST(CurveTest, ScalarMultiplicationAgreesWithOpenSsl) {
  using S = TypeParam;
  std::mt19937_64 rng(7);
  for (uint32_t i = 0; i < S::COUNT; i++) {
    const typename S::Par* E = S::get(i);
    OsslCurve<S> c(E);
    // Points of the subgroup and, on the curves with a cofactor, outside it.
    std::vector<typename S::Pt> pts = {E->bp};
    while (pts.size() < 4) {
      DIGIT_T x[S::ND];
      ec_test::random_below(rng, x, E->E.p, S::ND);
      typename S::Pt P;
      if (c.lift(&P, x)) pts.push_back(P);
    }
    for (int n = 0; n < 24; n++) {
      DIGIT_T k[S::ND];
      const typename S::Pt& P = pts[n % pts.size()];
      if (n % 3 == 0)
        ec_test::random_below(rng, k, E->q, S::ND);
      else if (n % 3 == 1)
        ec_test::random_below(rng, k, E->m, S::ND);
      else {
        for (uint32_t j = 0; j < S::ND; j++) k[j] = static_cast<DIGIT_T>(rng());
        k[S::ND - 1] &= 0x7fffffff;  // positive in the signed view
      }
      typename S::Pt want = c.mul(P, k), got;
      ASSERT_EQ(S::mult(&got, &P, k, E), 0);
      EXPECT_EQ(S::isEqual(&got, &want), 1) << i << " " << n;
      ASSERT_EQ(S::multJ(&got, &P, k, E), 0);
      EXPECT_EQ(S::isEqual(&got, &want), 1) << i << " " << n;
      if (n % pts.size() == 0) {
        ASSERT_EQ(S::multPP(&got, k, E), 0);
        EXPECT_EQ(S::isEqual(&got, &want), 1) << i << " " << n;
      }
    }
    // On the cofactor curves, multiples of a point of small order.
    for (const typename S::Pt& P : pts) {
      DIGIT_T k[S::ND];
      mpSetEqual(k, E->q, S::ND);
      typename S::Pt T = c.mul(P, k), got;  // order divides the cofactor
      for (DIGIT_T j = 0; j < 9; j++) {
        DIGIT_T kj[S::ND] = {j};
        ASSERT_EQ(S::mult(&got, &T, kj, E), 0);
        typename S::Pt want = c.mul(T, kj);
        EXPECT_EQ(S::isEqual(&got, &want), 1) << i << " small order " << j;
      }
    }
  }
}

// Scalars whose signed 6-bit windows hit the edges of the fixed-base comb:
// digits 1, 31 and 32, windows 111111 and 100000 that carry into the next
// one on every window, alternating empty windows, the top window alone,
// and q - 1 and q - 32 (negative top digits).
TYPED_TEST(CurveTest, BaseMultiplesAtCombWindowEdges) {
  using S = TypeParam;
  for (uint32_t i = 0; i < S::COUNT; i++) {
    const typename S::Par* E = S::get(i);
    OsslCurve<S> c(E);
    const uint32_t qbits = mpBitLength(E->q, S::ND);
    std::vector<std::vector<DIGIT_T>> ks;
    auto from_bits = [&](auto bit) {
      std::vector<DIGIT_T> k(S::ND, 0);
      for (uint32_t b = 0; b + 1 < qbits; b++)
        if (bit(b)) k[b / 32] |= 1u << (b % 32);
      return k;
    };
    ks.push_back(from_bits([](uint32_t b) { return b == 0; }));
    ks.push_back(from_bits([](uint32_t b) { return b < 5; }));
    ks.push_back(from_bits([](uint32_t b) { return b == 5; }));
    ks.push_back(from_bits([](uint32_t) { return true; }));
    ks.push_back(from_bits([](uint32_t b) { return b % 6 == 5; }));
    ks.push_back(from_bits([](uint32_t b) { return b % 6 < 5; }));
    ks.push_back(from_bits([](uint32_t b) { return b % 12 >= 6; }));
    ks.push_back(from_bits([&](uint32_t b) { return b + 7 >= qbits; }));
    for (DIGIT_T sub : {1u, 32u}) {
      std::vector<DIGIT_T> k(E->q, E->q + S::ND);
      mpShortSub(k.data(), k.data(), sub, S::ND);
      ks.push_back(k);
    }
    for (size_t n = 0; n < ks.size(); n++) {
      typename S::Pt want = c.mul(E->bp, ks[n].data()), got;
      ASSERT_EQ(S::multPP(&got, ks[n].data(), E), 0);
      EXPECT_EQ(S::isEqual(&got, &want), 1) << "curve " << i << " scalar " << n;
    }
  }
}

TYPED_TEST(CurveTest, AffineEdgeCases) {
  using S = TypeParam;
  for (uint32_t i = 0; i < S::COUNT; i++) {
    const typename S::Par* E = S::get(i);
    OsslCurve<S> c(E);
    const typename S::Pt P = E->bp;
    typename S::Pt inf = {}, R, negP, twoP;
    DIGIT_T zero[S::ND] = {}, one[S::ND] = {1}, two[S::ND] = {2};
    negP = P;
    mpSubtract(negP.y, E->E.p, P.y, S::ND);
    S::add(&R, &P, &negP, E);
    EXPECT_EQ(S::isZero(&R), 1);
    twoP = c.mul(P, two);
    S::add(&R, &P, &P, E);
    EXPECT_EQ(S::isEqual(&R, &twoP), 1);
    S::add(&R, &P, &inf, E);
    EXPECT_EQ(S::isEqual(&R, &P), 1);
    S::add(&R, &inf, &P, E);
    EXPECT_EQ(S::isEqual(&R, &P), 1);
    // The result may be either operand.
    R = P;
    S::add(&R, &R, &twoP, E);
    typename S::Pt three = c.mulw(P, 3);
    EXPECT_EQ(S::isEqual(&R, &three), 1);
    R = twoP;
    S::sub(&R, &R, &P, E);
    EXPECT_EQ(S::isEqual(&R, &P), 1);
    S::mult(&R, &P, zero, E);
    EXPECT_EQ(S::isZero(&R), 1);
    S::mult(&R, &inf, two, E);
    EXPECT_EQ(S::isZero(&R), 1);
    S::mult(&R, &P, one, E);
    EXPECT_EQ(S::isEqual(&R, &P), 1);
    // The scalar is read in the signed view: -2 multiplies by 2.
    DIGIT_T minus2[S::ND];
    mpChs(minus2, two, S::ND);
    S::mult(&R, &P, minus2, E);
    EXPECT_EQ(S::isEqual(&R, &twoP), 1);
    // Result aliasing the input point.
    R = P;
    S::mult(&R, &R, two, E);
    EXPECT_EQ(S::isEqual(&R, &twoP), 1);
    EXPECT_EQ(S::mult(nullptr, &P, two, E), -1);
  }
}

// Jacobian routines on every curve, a = p - 3 or not: doubling, H = 0 and
// the point at infinity as Z = 0.
TYPED_TEST(CurveTest, JacobianRoutinesOnEveryCurve) {
  using S = TypeParam;
  std::mt19937_64 rng(11);
  for (uint32_t i = 0; i < S::COUNT; i++) {
    const typename S::Par* E = S::get(i);
    OsslCurve<S> c(E);
    DIGIT_T k[S::ND];
    ec_test::random_below(rng, k, E->q, S::ND);
    const typename S::Pt P = E->bp, Q = c.mul(E->bp, k);
    typename S::JPt J, J2, JR;
    typename S::Pt R;
    S::a2j(&J, &P);
    S::dublJ(&JR, &J, E);
    S::j2a(&R, &JR, E);
    typename S::Pt want = c.mulw(P, 2);
    EXPECT_EQ(S::isEqual(&R, &want), 1) << i;
    // Doubled point plus P through both additions (non-trivial Z).
    S::addJA(&J2, &JR, &P, E);
    S::j2a(&R, &J2, E);
    want = c.mulw(P, 3);
    EXPECT_EQ(S::isEqual(&R, &want), 1) << i;
    S::a2j(&J2, &Q);
    S::addJJ(&J2, &JR, &J2, E);
    S::j2a(&R, &J2, E);
    PointPtr a = c.point(c.mulw(P, 2)), b = c.point(Q), s(EC_POINT_new(c.group.get()));
    EC_POINT_add(c.group.get(), s.get(), a.get(), b.get(), c.ctx.get());
    want = c.to_pt(s.get());
    EXPECT_EQ(S::isEqual(&R, &want), 1) << i;
    // H = 0: J + J doubles, J + (-J) is infinity (Z = 0).
    S::addJA(&J2, &JR, &(want = c.mulw(P, 2)), E);
    S::j2a(&R, &J2, E);
    typename S::Pt four = c.mulw(P, 4);
    EXPECT_EQ(S::isEqual(&R, &four), 1) << i;
    typename S::Pt neg2 = want;
    mpSubtract(neg2.y, E->E.p, want.y, S::ND);
    S::addJA(&J2, &JR, &neg2, E);
    EXPECT_EQ(mpIsZero(J2.Z, S::ND), 1) << i;
    S::j2a(&R, &J2, E);
    EXPECT_EQ(S::isZero(&R), 1) << i;
    // Infinity in and out.
    S::addJA(&J2, &J2, &P, E);
    S::j2a(&R, &J2, E);
    EXPECT_EQ(S::isEqual(&R, &P), 1) << i;
    typename S::JPt Jinf = {};
    S::addJJ(&J2, &Jinf, &JR, E);
    S::j2a(&R, &J2, E);
    EXPECT_EQ(S::isEqual(&R, &(want = c.mulw(P, 2))), 1) << i;
    S::dublJ(&J2, &Jinf, E);
    EXPECT_EQ(mpIsZero(J2.Z, S::ND), 1) << i;
  }
}

// A copy of a record (not one of the stored rows) gives the same results.
TYPED_TEST(CurveTest, CopiedRecordAndOtherThreads) {
  using S = TypeParam;
  const typename S::Par* E = S::get(1);
  auto copy = std::make_unique<typename S::Par>(*E);
  copy->E.b[0] ^= 0;  // same numbers, different address
  DIGIT_T k[S::ND] = {0x12345, 0x6789, 3};
  typename S::Pt a, b;
  std::vector<std::thread> threads;
  std::vector<typename S::Pt> res(4);
  for (int t = 0; t < 4; t++) threads.emplace_back([&, t] { S::multPP(&res[t], k, S::get(2)); });
  for (auto& t : threads) t.join();
  for (int t = 1; t < 4; t++) EXPECT_EQ(S::isEqual(&res[0], &res[t]), 1);
  S::multPP(&a, k, E);
  S::multPP(&b, k, copy.get());
  EXPECT_EQ(S::isEqual(&a, &b), 1);
  // A record of another curve (b changed): slow path, still exact.
  copy->E.b[0] ^= 1;
  DIGIT_T two[S::ND] = {2};
  typename S::Pt P = E->bp;
  P.y[0] ^= 1;  // a point of neither curve: the affine formulas do not read b
  S::mult(&a, &P, two, copy.get());
  S::add(&b, &P, &P, copy.get());
  EXPECT_EQ(S::isEqual(&a, &b), 1);
}

}  // namespace

TEST(CurveLookup, Records256) {
  const GOSTR3410_2012_256_PAR* par = nullptr;
  const unsigned char tc26B[] = {0x06, 0x09, 0x2A, 0x85, 0x03, 0x07, 0x01, 0x02, 0x01, 0x01, 0x02};
  const unsigned char xchA[] = {0x06, 0x07, 0x2A, 0x85, 0x03, 0x02, 0x02, 0x24, 0x00};
  const unsigned char tc26A[] = {0x06, 0x09, 0x2A, 0x85, 0x03, 0x07, 0x01, 0x02, 0x01, 0x01, 0x01};
  EXPECT_EQ(GOSTR3410_2012_256_FindParByDerOid(tc26B, sizeof tc26B, &par), 0);
  EXPECT_EQ(par, &tc26_ecc_par[1]);
  EXPECT_EQ(GOSTR3410_2001_FindParByDerOid(xchA, sizeof xchA, &par), 0);
  EXPECT_EQ(par, &tc26_ecc_par[4]);
  EXPECT_EQ(GOSTR3410_2012_256_FindParByDerOid(tc26A, sizeof tc26A, &par), 0);
  EXPECT_EQ(par, &tc26_ecc_par[6]);
  EXPECT_EQ(GOSTR3410_2012_256_FindParByDerOid(tc26A, sizeof tc26A - 1, &par), -1);
  EXPECT_EQ(par, nullptr);
  EXPECT_EQ(GOSTR3410_2012_256_FindParByDerOid(nullptr, 3, &par), -1);
  EXPECT_EQ(GOSTR3410_2012_256_FindParByDerOid(tc26A, sizeof tc26A, nullptr), -1);
  EXPECT_EQ(GOSTR3410_2012_256_FindParByDottedOid("1.2.643.2.2.35.1", &par), 0);
  EXPECT_EQ(par, &tc26_ecc_par[1]);
  EXPECT_EQ(GOSTR3410_2012_256_FindParByDottedOid("1.2.643.2.2.35.1 ", &par), -1);
  EXPECT_EQ(GOSTR3410_2012_256_FindParByDottedOid("1.2.643.7.1.2.1.1.4", &par), 0);
  EXPECT_EQ(par, &tc26_ecc_par[3]);
  EXPECT_EQ(GOSTR3410_2012_256_FindParByDottedOid(nullptr, &par), -1);
  EXPECT_EQ(GOSTR3410_2012_256_FindParByOidName("id-GostR3410-2001-CryptoPro-XchB-ParamSet", &par),
            0);
  EXPECT_EQ(par, &tc26_ecc_par[5]);
  EXPECT_EQ(GOSTR3410_2012_256_FindParByOidName("id-tc26-gost-3410-2012-256-paramSetA", &par), 0);
  EXPECT_EQ(par, &tc26_ecc_par[6]);
  EXPECT_EQ(GOSTR3410_2012_256_FindParByOidName(nullptr, &par), -1);
  EXPECT_EQ(GOSTR3410_2012_256_GetPar(6), &tc26_ecc_par[6]);
  EXPECT_EQ(GOSTR3410_2012_256_GetPar(7), nullptr);
  EXPECT_EQ(GOSTR3410_2001_GetPar(0), &tc26_ecc_par[0]);
  EXPECT_EQ(GOSTR3410_2012_256_GetDefaultPar(), &tc26_ecc_par[1]);
  EXPECT_EQ(GOSTR3410_2001_GetDefaultPar(), default_tc26_ecc_par);
  EXPECT_STREQ(tc26_ecc_par[0].cp_str_oid, "1.2.643.2.2.35.0");
  EXPECT_STREQ(tc26_ecc_par[0].oid_name, "id-tc26-gost-3410-2012-256-paramSetTest");
}

TEST(CurveLookup, Records512) {
  const GOSTR3410_2012_512_PAR* par = nullptr;
  const unsigned char setC[] = {0x06, 0x09, 0x2A, 0x85, 0x03, 0x07, 0x01, 0x02, 0x01, 0x02, 0x03};
  const unsigned char set256B[] = {0x06, 0x09, 0x2A, 0x85, 0x03, 0x07,
                                   0x01, 0x02, 0x01, 0x01, 0x02};
  EXPECT_EQ(GOSTR3410_2012_512_FindParByDerOid(setC, sizeof setC, &par), 0);
  EXPECT_EQ(par, &tc26_decc_par[3]);
  DIGIT_T q4[GOST512_NDIGITS];
  mpShortMult(q4, par->q, 4, GOST512_NDIGITS);
  EXPECT_EQ(mpEqual(q4, par->m, GOST512_NDIGITS), 1);
  EXPECT_EQ(GOSTR3410_2012_512_FindParByDerOid(set256B, sizeof set256B, &par), -1);
  EXPECT_EQ(par, nullptr);
  EXPECT_EQ(GOSTR3410_2012_512_FindParByDottedOid("1.2.643.7.1.2.1.2.0", &par), 0);
  EXPECT_EQ(par, &tc26_decc_par[0]);
  EXPECT_EQ(GOSTR3410_2012_512_FindParByOidName("id-tc26-gost-3410-2012-512-paramSetB", &par), 0);
  EXPECT_EQ(par, &tc26_decc_par[2]);
  EXPECT_EQ(GOSTR3410_2012_512_FindParByOidName(nullptr, &par), -1);
  EXPECT_EQ(GOSTR3410_2012_512_GetPar(3), &tc26_decc_par[3]);
  EXPECT_EQ(GOSTR3410_2012_512_GetPar(4), nullptr);
  EXPECT_EQ(GOSTR3410_2012_512_GetDefaultPar(), default_tc26_decc_par);
  EXPECT_EQ(default_tc26_decc_par, &tc26_decc_par[1]);
}

TEST(CurveText, PointConversions) {
  GostPoint P = tc26_ecc_par[0].bp, R = {};
  char x[100], y[100];
  EXPECT_EQ(epConvToHex(&P, x, y, sizeof x), 0);
  EXPECT_STREQ(x, "2");
  EXPECT_EQ(epConvFromHex(&R, x, y), 0);
  EXPECT_EQ(epIsEqual(&P, &R), 1);
  EXPECT_EQ(epConvToDecimal(&P, x, y, sizeof x), 0);
  GostPoint R2 = {};
  EXPECT_EQ(epConvFromDecimal(&R2, x, y), 0);
  EXPECT_EQ(epIsEqual(&P, &R2), 1);
  GostPoint512 P5 = tc26_decc_par[0].bp, R5 = {};
  char x5[200], y5[200];
  EXPECT_EQ(depConvToDecimal(&P5, x5, y5, sizeof x5), 0);
  EXPECT_EQ(depConvFromDecimal(&R5, x5, y5), 0);
  EXPECT_EQ(depIsEqual(&P5, &R5), 1);
  EXPECT_EQ(depConvToHex(&P5, x5, y5, sizeof x5), 0);
  GostPoint512 R6 = {};
  EXPECT_EQ(depConvFromHex(&R6, x5, y5), 0);
  EXPECT_EQ(depIsEqual(&P5, &R6), 1);
  depSetZero(&R6);
  EXPECT_EQ(depIsZero(&R6), 1);
  epSetEqual(&R, &P);
  EXPECT_EQ(epIsEqual(&R, &P), 1);
}
