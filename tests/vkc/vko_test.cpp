// VKO and KEG contract on every curve: agreement from both sides, the
// cofactor, UKM forms and bounds, refused public keys and shared points at
// infinity, and the outputs left alone on failure.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "gost28147.h"
#include "gost3411_94.h"
#include "test_util.h"
#include "vkc_log.h"
#include "vko_test_util.h"

namespace {

using vko_test::Bytes;
using vko_test::V256;
using vko_test::V512;

std::mt19937_64& rng() {
  static std::mt19937_64 r(4357);
  return r;
}

// Every byte-string VKO function of a size class, as (record, ukm, d, Q) ->
// (code, output).
template <class S>
struct Hashed {
  const char* name;
  uint32_t max_ukm;
  std::function<int(const typename S::Par*, const uint8_t*, uint32_t, const DIGIT_T*,
                    const typename S::Pt*, uint8_t*)>
      fn;
  uint32_t out_len;
};

std::vector<Hashed<V256>> functions(const V256*) {
  return {{"GOSTR3410_2001_VKO", 32,
           [](const V256::Par* e, const uint8_t* u, uint32_t n, const DIGIT_T* d, const V256::Pt* q,
              uint8_t* out) {
             return GOSTR3410_2001_VKO(e, GOSTR3411_94_GetDefaultPar(), u, n, d, q, out);
           },
           32},
          {"GOSTR3410_2012_256_VKO_256", 32, GOSTR3410_2012_256_VKO_256, 32}};
}

std::vector<Hashed<V512>> functions(const V512*) {
  return {{"GOSTR3410_2012_512_VKO_256", 64, GOSTR3410_2012_512_VKO_256, 32},
          {"GOSTR3410_2012_512_VKO_512", 64, GOSTR3410_2012_512_VKO_512, 64}};
}

template <class S>
class VkoTest : public ::testing::Test {};
using Sizes = ::testing::Types<V256, V512>;
TYPED_TEST_SUITE(VkoTest, Sizes);

// d1 with Q2 equals d2 with Q1 for every function, curve and UKM length;
// the hashed functions hash the shared point of the point function.
TYPED_TEST(VkoTest, BothSidesAgreeOnEveryCurve) {
  using S = TypeParam;
  for (uint32_t row = 0; row < S::COUNT; row++) {
    SCOPED_TRACE(S::row(row));
    const typename S::Par* E = S::get(row);
    const auto a = vko_test::random_pair<S>(rng(), E);
    const auto b = vko_test::random_pair<S>(rng(), E);
    for (const auto& f : functions(static_cast<const S*>(nullptr))) {
      SCOPED_TRACE(f.name);
      for (uint32_t len : {1u, 8u, 16u, f.max_ukm}) {
        const Bytes ukm = vko_test::random_bytes(rng(), len);
        Bytes k1(f.out_len), k2(f.out_len);
        ASSERT_EQ(f.fn(E, ukm.data(), len, a.d, &b.Q, k1.data()), 0);
        ASSERT_EQ(f.fn(E, ukm.data(), len, b.d, &a.Q, k2.data()), 0);
        EXPECT_EQ(k1, k2);
      }
    }
    DIGIT_T u[S::ND] = {0x1234567u, 0x89abcdefu};
    typename S::Pt K1, K2;
    ASSERT_EQ(S::point(E, u, a.d, &b.Q, &K1), 0);
    ASSERT_EQ(S::point(E, u, b.d, &a.Q, &K2), 0);
    EXPECT_EQ(vko_test::encode<S>(K1), vko_test::encode<S>(K2));
  }
}

// The shared point is (h * d * UKM mod q) * Q, h = 4 on tc26 256-bit
// paramSetA and 512-bit paramSetC, 1 elsewhere; checked with OpenSSL.
TYPED_TEST(VkoTest, SharedPointCarriesTheCofactor) {
  using S = TypeParam;
  for (uint32_t row = 0; row < S::COUNT; row++) {
    SCOPED_TRACE(S::row(row));
    const typename S::Par* E = S::get(row);
    const vko_test::OsslCurve<S> ossl(E);
    const auto a = vko_test::random_pair<S>(rng(), E);
    const auto b = vko_test::random_pair<S>(rng(), E);
    DIGIT_T u[S::ND];
    ec_test::random_below(rng(), u, E->q, S::ND);
    typename S::Pt K;
    ASSERT_EQ(S::point(E, u, a.d, &b.Q, &K), 0);
    EXPECT_EQ(vko_test::encode<S>(K), vko_test::encode<S>(ossl.vko_point(u, a.d, b.Q)));
    // The byte functions agree with the point function, cofactor included.
    Bytes ukm(S::NB);
    mpConvToOctets(u, S::ND, ukm.data(), S::NB);
    std::reverse(ukm.begin(), ukm.end());
    for (const auto& f : functions(static_cast<const S*>(nullptr))) {
      if (std::string(f.name) == "GOSTR3410_2001_VKO") continue;
      Bytes out(f.out_len);
      ASSERT_EQ(f.fn(E, ukm.data(), S::NB, a.d, &b.Q, out.data()), 0);
      EXPECT_EQ(out, vko_test::gcry_hash(f.out_len == 32 ? GCRY_MD_STRIBOG256 : GCRY_MD_STRIBOG512,
                                         vko_test::encode<S>(K)))
          << f.name;
    }
  }
}

// A UKM is read least significant byte first: 01 00 00 00 00 00 00 00, 01
// and 01 followed by 31 zeros are all the number 1; a UKM above q counts
// modulo q.
TYPED_TEST(VkoTest, UkmBytesAreALittleEndianNumber) {
  using S = TypeParam;
  const typename S::Par* E = S::get(1);
  const auto a = vko_test::random_pair<S>(rng(), E);
  const auto b = vko_test::random_pair<S>(rng(), E);
  DIGIT_T one[S::ND] = {1};
  typename S::Pt K;
  ASSERT_EQ(S::point(E, one, a.d, &b.Q, &K), 0);
  const Bytes enc = vko_test::encode<S>(K);
  for (const auto& f : functions(static_cast<const S*>(nullptr))) {
    if (std::string(f.name) == "GOSTR3410_2001_VKO") continue;
    const int algo = f.out_len == 32 ? GCRY_MD_STRIBOG256 : GCRY_MD_STRIBOG512;
    for (uint32_t len : {1u, 8u, f.max_ukm}) {
      Bytes ukm(len, 0), out(f.out_len);
      ukm[0] = 1;
      ASSERT_EQ(f.fn(E, ukm.data(), len, a.d, &b.Q, out.data()), 0);
      EXPECT_EQ(out, vko_test::gcry_hash(algo, enc)) << f.name << " " << len;
    }
    // q + 1, least significant byte first, fills every byte.
    DIGIT_T q1[S::ND];
    mpShortAdd(q1, E->q, 1, S::ND);
    Bytes ukm(S::NB), out(f.out_len);
    mpConvToOctets(q1, S::ND, ukm.data(), S::NB);
    std::reverse(ukm.begin(), ukm.end());
    ASSERT_EQ(f.fn(E, ukm.data(), S::NB, a.d, &b.Q, out.data()), 0);
    EXPECT_EQ(out, vko_test::gcry_hash(algo, enc)) << f.name << " q + 1";
  }
}

// UKM lengths: 1 up to the curve's byte size; 0 and one more are refused.
TYPED_TEST(VkoTest, UkmLengthBounds) {
  using S = TypeParam;
  const typename S::Par* E = S::get(1);
  const auto a = vko_test::random_pair<S>(rng(), E);
  const auto b = vko_test::random_pair<S>(rng(), E);
  const Bytes ukm = vko_test::random_bytes(rng(), 200);
  for (const auto& f : functions(static_cast<const S*>(nullptr))) {
    SCOPED_TRACE(f.name);
    Bytes out(f.out_len, 0xA5);
    for (uint32_t len : {0u, f.max_ukm + 1, 100u, 0xFFFFFFFFu}) {
      EXPECT_EQ(f.fn(E, ukm.data(), len, a.d, &b.Q, out.data()), -1) << len;
      EXPECT_EQ(out, Bytes(f.out_len, 0xA5));
    }
    EXPECT_EQ(f.fn(E, ukm.data(), f.max_ukm, a.d, &b.Q, out.data()), 0);
  }
}

TYPED_TEST(VkoTest, NullArgumentsAreRefused) {
  using S = TypeParam;
  const typename S::Par* E = S::get(1);
  const auto a = vko_test::random_pair<S>(rng(), E);
  const Bytes ukm(8, 1);
  Bytes out(64, 0xA5);
  for (const auto& f : functions(static_cast<const S*>(nullptr))) {
    EXPECT_EQ(f.fn(nullptr, ukm.data(), 8, a.d, &a.Q, out.data()), -1);
    EXPECT_EQ(f.fn(E, nullptr, 8, a.d, &a.Q, out.data()), -1);
    EXPECT_EQ(f.fn(E, ukm.data(), 8, nullptr, &a.Q, out.data()), -1);
    EXPECT_EQ(f.fn(E, ukm.data(), 8, a.d, nullptr, out.data()), -1);
    EXPECT_EQ(f.fn(E, ukm.data(), 8, a.d, &a.Q, nullptr), -1);
  }
  EXPECT_EQ(out, Bytes(64, 0xA5));
  DIGIT_T u[S::ND] = {1};
  typename S::Pt K;
  EXPECT_EQ(S::point(nullptr, u, a.d, &a.Q, &K), -1);
  EXPECT_EQ(S::point(E, nullptr, a.d, &a.Q, &K), -1);
  EXPECT_EQ(S::point(E, u, nullptr, &a.Q, &K), -1);
  EXPECT_EQ(S::point(E, u, a.d, nullptr, &K), -1);
  EXPECT_EQ(S::point(E, u, a.d, &a.Q, nullptr), -1);
  Bytes h(64, 1);
  EXPECT_EQ(S::keg(nullptr, a.d, &a.Q, h.data(), 64, out.data()), -1);
  EXPECT_EQ(S::keg(E, nullptr, &a.Q, h.data(), 64, out.data()), -1);
  EXPECT_EQ(S::keg(E, a.d, nullptr, h.data(), 64, out.data()), -1);
  EXPECT_EQ(S::keg(E, a.d, &a.Q, nullptr, 64, out.data()), -1);
  EXPECT_EQ(S::keg(E, a.d, &a.Q, h.data(), 64, nullptr), -1);
  EXPECT_EQ(out, Bytes(64, 0xA5));
}

// Runs every VKO and KEG function with d and Q on the record; all must
// return -1 and leave their outputs alone.
template <class S>
void expect_refused(const typename S::Par* E, const DIGIT_T* d, const typename S::Pt& Q,
                    const char* what) {
  SCOPED_TRACE(what);
  const Bytes ukm = {0x1d, 0x80, 0x60, 0x3c, 0x85, 0x44, 0xc7, 0x27};
  DIGIT_T u[S::ND];
  vko_test::le_to_num<S>(u, ukm);
  typename S::Pt K;
  std::memset(&K, 0xA5, sizeof K);
  const typename S::Pt K0 = K;
  EXPECT_EQ(S::point(E, u, d, &Q, &K), -1);
  EXPECT_EQ(std::memcmp(&K, &K0, sizeof K), 0);
  for (const auto& f : functions(static_cast<const S*>(nullptr))) {
    Bytes out(f.out_len, 0xA5);
    EXPECT_EQ(f.fn(E, ukm.data(), 8, d, &Q, out.data()), -1) << f.name;
    EXPECT_EQ(out, Bytes(f.out_len, 0xA5)) << f.name;
  }
  Bytes h(32, 0x5A), out(64, 0xA5);
  EXPECT_EQ(S::keg(E, d, &Q, h.data(), 32, out.data()), -1);
  EXPECT_EQ(out, Bytes(64, 0xA5));
}

// Public keys that are not points of the base point's group: off the
// curve (a point of another curve with the same a, the invalid-curve
// attack), the point at infinity, unreduced coordinates, and points of
// small order or with a small-order part on the curves with a cofactor.
TYPED_TEST(VkoTest, HostilePublicKeysAreRefused) {
  using S = TypeParam;
  for (uint32_t row = 0; row < S::COUNT; row++) {
    SCOPED_TRACE(S::row(row));
    const typename S::Par* E = S::get(row);
    const auto a = vko_test::random_pair<S>(rng(), E);
    const auto b = vko_test::random_pair<S>(rng(), E);

    typename S::Pt Q = b.Q;
    mpShortAdd(Q.y, Q.y, 1, S::ND);
    expect_refused<S>(E, a.d, Q, "y + 1");
    Q = b.Q;
    Q.x[0] ^= 4;
    expect_refused<S>(E, a.d, Q, "x changed");
    typename S::Pt zero = {};
    expect_refused<S>(E, a.d, zero, "infinity");
    // (x, 0): on y^2 = x^3 + a x + b' for some b', a point of order 2 there.
    Q = b.Q;
    mpSetZero(Q.y, S::ND);
    expect_refused<S>(E, a.d, Q, "y = 0");
    // x + p still satisfies the curve equation modulo p (where it fits).
    Q = b.Q;
    if (mpAdd(Q.x, Q.x, E->E.p, S::ND) == 0) expect_refused<S>(E, a.d, Q, "x + p");
    Q = b.Q;
    if (mpAdd(Q.y, Q.y, E->E.p, S::ND) == 0) expect_refused<S>(E, a.d, Q, "y + p");

    if (mpEqual(E->m, E->q, S::ND) == 1) continue;
    const vko_test::OsslCurve<S> ossl(E);
    typename S::Pt T;
    ASSERT_TRUE(ossl.small_order_point(rng(), &T));
    expect_refused<S>(E, a.d, T, "small order");
    expect_refused<S>(E, a.d, ossl.add(b.Q, T), "key plus a small-order point");
  }
}

// A UKM or private key that is 0 modulo q gives the point at infinity:
// refused, not hashed.
TYPED_TEST(VkoTest, SharedPointAtInfinityIsRefused) {
  using S = TypeParam;
  for (uint32_t row = 0; row < S::COUNT; row++) {
    SCOPED_TRACE(S::row(row));
    const typename S::Par* E = S::get(row);
    const auto a = vko_test::random_pair<S>(rng(), E);
    const auto b = vko_test::random_pair<S>(rng(), E);
    DIGIT_T zero[S::ND] = {};
    typename S::Pt K;
    EXPECT_EQ(S::point(E, zero, a.d, &b.Q, &K), -1);
    EXPECT_EQ(S::point(E, E->q, a.d, &b.Q, &K), -1);
    DIGIT_T one[S::ND] = {1};
    EXPECT_EQ(S::point(E, one, zero, &b.Q, &K), -1);
    EXPECT_EQ(S::point(E, one, E->q, &b.Q, &K), -1);
    expect_refused<S>(E, zero, b.Q, "d = 0");
    expect_refused<S>(E, E->q, b.Q, "d = q");

    Bytes qle(S::NB);
    mpConvToOctets(E->q, S::ND, qle.data(), S::NB);
    std::reverse(qle.begin(), qle.end());
    for (const auto& f : functions(static_cast<const S*>(nullptr))) {
      if (f.max_ukm < S::NB) continue;
      Bytes out(f.out_len, 0xA5);
      EXPECT_EQ(f.fn(E, qle.data(), S::NB, a.d, &b.Q, out.data()), -1) << f.name << " UKM = q";
      const Bytes zeros(8, 0);
      EXPECT_EQ(f.fn(E, zeros.data(), 8, a.d, &b.Q, out.data()), -1) << f.name << " UKM = 0";
      EXPECT_EQ(out, Bytes(f.out_len, 0xA5));
    }
  }
}

// A GOST R 34.11-94 parameter set whose identifier the hash does not know:
// the hash's code comes back and the output stays as it was.
TEST(Vko2001, UnknownHashParameterSet) {
  const GOSTR3410_2012_256_PAR* E = V256::get(1);
  const auto a = vko_test::random_pair<V256>(rng(), E);
  const auto b = vko_test::random_pair<V256>(rng(), E);
  static const uint8_t kOid[] = {0x06, 0x07, 0x2A, 0x85, 0x03, 0x02, 0x02, 0x1E, 0x7F};
  Gost3411_94ParamSet unknown = *GOSTR3411_94_GetDefaultPar();
  unknown.oid_der = kOid;
  unknown.oid_len = sizeof kOid;
  const Bytes ukm(8, 3);
  Bytes out(32, 0xA5);
  const int rc = GOSTR3410_2001_VKO(E, &unknown, ukm.data(), 8, a.d, &b.Q, out.data());
  EXPECT_NE(rc, 0);
  Bytes scratch(32);
  EXPECT_EQ(rc, GOSTR3411_94_Transform(kOid, sizeof kOid, ukm.data(), 8, scratch.data()));
  EXPECT_EQ(out, Bytes(32, 0xA5));
}

std::string capture_log(const std::function<void()>& run) {
  orvel_test::TempDir dir;
  const std::string path = dir.file("vkc.log");
  EXPECT_EQ(vkc_set_log_file(path.c_str()), 0);
  run();
  vkc_set_log_file(nullptr);
  return orvel_test::read_file(path);
}

TEST(VkoLog, DiagnosticLines) {
  const GOSTR3410_2012_256_PAR* E = V256::get(1);
  const GOSTR3410_2012_512_PAR* E5 = V512::get(1);
  const auto a = vko_test::random_pair<V256>(rng(), E);
  const auto a5 = vko_test::random_pair<V512>(rng(), E5);
  const Bytes ukm(8, 1), zeros(8, 0);
  Bytes out(64);
  EXPECT_EQ(capture_log([&] {
              GOSTR3410_2001_VKO(E, nullptr, ukm.data(), 8, a.d, &a.Q, out.data());
              GOSTR3410_2012_256_VKO_256(E, ukm.data(), 0, a.d, &a.Q, out.data());
              GOSTR3410_2012_512_VKO_256(E5, ukm.data(), 65, a5.d, &a5.Q, out.data());
              GOSTR3410_2012_512_VKO_512(E5, nullptr, 8, a5.d, &a5.Q, out.data());
              GOSTR3410_2012_256_KEG(E, a.d, &a.Q, ukm.data(), 8, out.data());
              GOSTR3410_2012_512_KEG(E5, a5.d, &a5.Q, ukm.data(), 8, out.data());
            }),
            "GOSTR3410_2001_VKO: bad params\n"
            "GOSTR3410_2012_256_VKO_256: Invalid params\n"
            "GOSTR3410_2012_512_VKO_256: bad params\n"
            "GOSTR3410_2012_512_VKO_512: bad params\n"
            "GOSTR3410_2012_512_KEG: Invalid params\n");
  GostPoint off = a.Q;
  off.y[0] ^= 1;
  EXPECT_EQ(capture_log([&] {
              GOSTR3410_2001_VKO(E, GOSTR3411_94_GetDefaultPar(), ukm.data(), 8, a.d, &off,
                                 out.data());
              GOSTR3410_2012_256_VKO_256(E, zeros.data(), 8, a.d, &a.Q, out.data());
              GOSTR3410_2012_512_VKO_512(E5, zeros.data(), 8, a5.d, &a5.Q, out.data());
              GOSTR3410_2012_256_KEG(E, a.d, &off, out.data(), 24, out.data());
            }),
            "GOSTR3410_2001_VKO: invalid public key\n"
            "GOSTR3410_2001_VKO_not_hash failed\n"
            "GOSTR3410_2012_256_VKO_256: shared point at infinity\n"
            "GOSTR3410_2001_VKO_point failed\n"
            "GOSTR3410_2012_512_VKO_512: shared point at infinity\n"
            "GOSTR3410_2012_512_VKO_point failed\n"
            "GOSTR3410_2012_256_VKO_256: invalid public key\n"
            "GOSTR3410_2001_VKO_point failed\n"
            "GOSTR3410_2012_256_VKO_256 failed\n");
}

}  // namespace
