// VKO and KEG against independent implementations: nettle's gostdsa_vko on
// the curves nettle knows (CryptoPro A = tc26 256-bit paramSetB, tc26
// 512-bit paramSetA), OpenSSL's generic curve code on every curve, and the
// hashes and HMAC of nettle and libgcrypt recomputing the keys.
#include <gmp.h>
#include <gtest/gtest.h>
#include <nettle/ecc-curve.h>
#include <nettle/ecc.h>
#include <nettle/gostdsa.h>
#include <nettle/gosthash94.h>
#include <nettle/hmac.h>
#include <nettle/streebog.h>

#include <string>

#include "gcrypt_hmac_oracle.h"
#include "gost28147.h"
#include "vko_test_util.h"

namespace {

using vko_test::Bytes;
using vko_test::V256;
using vko_test::V512;

constexpr int kRounds = 12;

std::mt19937_64& rng() {
  static std::mt19937_64 r(7836);
  return r;
}

// A random UKM of 1 to max bytes that is not 0 (nettle counts a zero UKM
// as 1, these functions refuse it).
Bytes random_ukm(uint32_t max) {
  Bytes u;
  do {
    u = vko_test::random_bytes(rng(), 1 + rng()() % max);
  } while (std::all_of(u.begin(), u.end(), [](uint8_t b) { return b == 0; }));
  return u;
}

struct Mpz {
  mpz_t z;
  Mpz() { mpz_init(z); }
  ~Mpz() { mpz_clear(z); }
};

// nettle's VKO: the encoded shared point (x then y, least significant byte
// first) for our private key and public point.
template <class S>
Bytes nettle_vko(const ecc_curve* curve, const DIGIT_T* d, const typename S::Pt& Q,
                 const Bytes& ukm) {
  Mpz dz, xz, yz;
  ec_test::num_to_mpz(dz.z, d, S::ND);
  ec_test::num_to_mpz(xz.z, Q.x, S::ND);
  ec_test::num_to_mpz(yz.z, Q.y, S::ND);
  ecc_scalar s;
  ecc_point p;
  ecc_scalar_init(&s, curve);
  ecc_point_init(&p, curve);
  EXPECT_EQ(ecc_scalar_set(&s, dz.z), 1);
  EXPECT_EQ(ecc_point_set(&p, xz.z, yz.z), 1);
  Bytes out(2 * S::NB);
  gostdsa_vko(&s, &p, ukm.size(), ukm.data(), out.data());
  ecc_scalar_clear(&s);
  ecc_point_clear(&p);
  return out;
}

Bytes nettle_streebog256(const Bytes& m) {
  streebog256_ctx c;
  streebog256_init(&c);
  streebog256_update(&c, m.size(), m.data());
  Bytes out(32);
  streebog256_digest(&c, out.size(), out.data());
  return out;
}

Bytes nettle_streebog512(const Bytes& m) {
  streebog512_ctx c;
  streebog512_init(&c);
  streebog512_update(&c, m.size(), m.data());
  Bytes out(64);
  streebog512_digest(&c, out.size(), out.data());
  return out;
}

Bytes nettle_gosthash94cp(const Bytes& m) {
  gosthash94cp_ctx c;
  gosthash94cp_init(&c);
  gosthash94cp_update(&c, m.size(), m.data());
  Bytes out(32);
  gosthash94cp_digest(&c, out.size(), out.data());
  return out;
}

// KDF_TREE_GOSTR3411_2012_256 for 64 bytes with a one-byte counter: block i
// = HMAC(key, i || "kdf tree" || 00 || seed || 02 00), here with nettle.
Bytes nettle_kdf_tree_64(const Bytes& key, const Bytes& seed) {
  Bytes out;
  for (uint8_t i = 1; i <= 2; i++) {
    Bytes msg = {i, 'k', 'd', 'f', ' ', 't', 'r', 'e', 'e', 0};
    msg.insert(msg.end(), seed.begin(), seed.end());
    msg.push_back(0x02);
    msg.push_back(0x00);
    hmac_streebog256_ctx c;
    hmac_streebog256_set_key(&c, key.size(), key.data());
    hmac_streebog256_update(&c, msg.size(), msg.data());
    uint8_t block[32];
    hmac_streebog256_digest(&c, sizeof block, block);
    out.insert(out.end(), block, block + 32);
  }
  return out;
}

// The same with libgcrypt's HMAC.
Bytes gcry_kdf_tree_64(const Bytes& key, const Bytes& seed) {
  Bytes out;
  for (uint8_t i = 1; i <= 2; i++) {
    const Bytes msg = vkc_kat::cat({{i, 'k', 'd', 'f', ' ', 't', 'r', 'e', 'e', 0}, seed, {2, 0}});
    const Bytes block = vkc_kat::gcry_hmac(32, key, msg);
    out.insert(out.end(), block.begin(), block.end());
  }
  return out;
}

// ---- nettle ---------------------------------------------------------------

TEST(VkoNettle, CryptoProACurve) {
  for (uint32_t row : {1u, 4u}) {
    const V256::Par* E = V256::get(row);
    SCOPED_TRACE(V256::row(row));
    for (int i = 0; i < kRounds; i++) {
      const auto a = vko_test::random_pair<V256>(rng(), E);
      const auto b = vko_test::random_pair<V256>(rng(), E);
      const Bytes ukm = random_ukm(32);
      const Bytes theirs = nettle_vko<V256>(nettle_get_gost_gc256b(), a.d, b.Q, ukm);
      DIGIT_T u[V256::ND];
      vko_test::le_to_num<V256>(u, ukm);
      V256::Pt K;
      ASSERT_EQ(GOSTR3410_2001_VKO_point(E, u, a.d, &b.Q, &K), 0);
      EXPECT_EQ(vko_test::encode<V256>(K), theirs);
      const auto n = static_cast<uint32_t>(ukm.size());
      Bytes out(32);
      ASSERT_EQ(GOSTR3410_2012_256_VKO_256(E, ukm.data(), n, a.d, &b.Q, out.data()), 0);
      EXPECT_EQ(out, nettle_streebog256(theirs));
      ASSERT_EQ(
          GOSTR3410_2001_VKO(E, GOSTR3411_94_GetDefaultPar(), ukm.data(), n, a.d, &b.Q, out.data()),
          0);
      EXPECT_EQ(out, nettle_gosthash94cp(theirs));
    }
  }
}

TEST(VkoNettle, Tc26512ACurve) {
  const V512::Par* E = V512::get(1);
  for (int i = 0; i < kRounds; i++) {
    const auto a = vko_test::random_pair<V512>(rng(), E);
    const auto b = vko_test::random_pair<V512>(rng(), E);
    const Bytes ukm = random_ukm(64);
    const Bytes theirs = nettle_vko<V512>(nettle_get_gost_gc512a(), a.d, b.Q, ukm);
    DIGIT_T u[V512::ND];
    vko_test::le_to_num<V512>(u, ukm);
    V512::Pt K;
    ASSERT_EQ(GOSTR3410_2012_512_VKO_point(E, u, a.d, &b.Q, &K), 0);
    EXPECT_EQ(vko_test::encode<V512>(K), theirs);
    const auto n = static_cast<uint32_t>(ukm.size());
    Bytes out(64);
    ASSERT_EQ(GOSTR3410_2012_512_VKO_256(E, ukm.data(), n, a.d, &b.Q, out.data()), 0);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 32), nettle_streebog256(theirs));
    ASSERT_EQ(GOSTR3410_2012_512_VKO_512(E, ukm.data(), n, a.d, &b.Q, out.data()), 0);
    EXPECT_EQ(out, nettle_streebog512(theirs));
  }
}

// KEG recomputed entirely with nettle: VKO of the reversed H[0..15] (zero
// counted as 1, as nettle does too), Streebog, and KDF_TREE over nettle's
// HMAC; for 512 bits, Streebog-512 of the VKO point.
TEST(KegNettle, BothSizes) {
  const V256::Par* E = V256::get(1);
  const V512::Par* E5 = V512::get(1);
  for (int i = 0; i < kRounds; i++) {
    Bytes h = vko_test::random_bytes(rng(), 32);
    if (i == 0) std::fill(h.begin(), h.begin() + 16, 0);
    const Bytes ukm(h.rend() - 16, h.rend());
    const Bytes seed(h.begin() + 16, h.begin() + 24);

    const auto a = vko_test::random_pair<V256>(rng(), E);
    const auto b = vko_test::random_pair<V256>(rng(), E);
    const Bytes kexp =
        nettle_streebog256(nettle_vko<V256>(nettle_get_gost_gc256b(), a.d, b.Q, ukm));
    Bytes out(64);
    ASSERT_EQ(GOSTR3410_2012_256_KEG(E, a.d, &b.Q, h.data(), 24, out.data()), 0);
    EXPECT_EQ(out, nettle_kdf_tree_64(kexp, seed));

    const auto a5 = vko_test::random_pair<V512>(rng(), E5);
    const auto b5 = vko_test::random_pair<V512>(rng(), E5);
    ASSERT_EQ(GOSTR3410_2012_512_KEG(E5, a5.d, &b5.Q, h.data(), 16, out.data()), 0);
    EXPECT_EQ(out, nettle_streebog512(nettle_vko<V512>(nettle_get_gost_gc512a(), a5.d, b5.Q, ukm)));
  }
}

// ---- OpenSSL and libgcrypt, every curve -----------------------------------

template <class S>
class VkoOpenSsl : public ::testing::Test {};
using Sizes = ::testing::Types<V256, V512>;
TYPED_TEST_SUITE(VkoOpenSsl, Sizes);

template <class S>
void hashed_functions_match(const typename S::Par* E, const DIGIT_T* d, const typename S::Pt& Q,
                            const Bytes& ukm, const Bytes& point);

template <>
void hashed_functions_match<V256>(const V256::Par* E, const DIGIT_T* d, const V256::Pt& Q,
                                  const Bytes& ukm, const Bytes& point) {
  const auto n = static_cast<uint32_t>(ukm.size());
  Bytes out(32);
  ASSERT_EQ(GOSTR3410_2012_256_VKO_256(E, ukm.data(), n, d, &Q, out.data()), 0);
  EXPECT_EQ(out, vko_test::gcry_hash(GCRY_MD_STRIBOG256, point));
  // GOST R 34.11-94 under its test and CryptoPro parameter sets.
  for (const auto& [oid, algo] : {std::make_pair("1.2.643.2.2.30.0", GCRY_MD_GOSTR3411_94),
                                  std::make_pair("1.2.643.2.2.30.1", GCRY_MD_GOSTR3411_CP)}) {
    const Gost3411_94ParamSet* hp = nullptr;
    ASSERT_EQ(GOSTR3411_94_FindParByDottedOid(oid, &hp), 0) << oid;
    ASSERT_EQ(GOSTR3410_2001_VKO(E, hp, ukm.data(), n, d, &Q, out.data()), 0);
    EXPECT_EQ(out, vko_test::gcry_hash(algo, point)) << oid;
  }
}

template <>
void hashed_functions_match<V512>(const V512::Par* E, const DIGIT_T* d, const V512::Pt& Q,
                                  const Bytes& ukm, const Bytes& point) {
  const auto n = static_cast<uint32_t>(ukm.size());
  Bytes out(32), out5(64);
  ASSERT_EQ(GOSTR3410_2012_512_VKO_256(E, ukm.data(), n, d, &Q, out.data()), 0);
  EXPECT_EQ(out, vko_test::gcry_hash(GCRY_MD_STRIBOG256, point));
  ASSERT_EQ(GOSTR3410_2012_512_VKO_512(E, ukm.data(), n, d, &Q, out5.data()), 0);
  EXPECT_EQ(out5, vko_test::gcry_hash(GCRY_MD_STRIBOG512, point));
}

// The shared point by OpenSSL (cofactor included), hashed by libgcrypt.
TYPED_TEST(VkoOpenSsl, EveryCurveEveryHash) {
  using S = TypeParam;
  for (uint32_t row = 0; row < S::COUNT; row++) {
    SCOPED_TRACE(S::row(row));
    const typename S::Par* E = S::get(row);
    const vko_test::OsslCurve<S> ossl(E);
    for (int i = 0; i < kRounds / 3; i++) {
      const auto a = vko_test::random_pair<S>(rng(), E);
      const auto b = vko_test::random_pair<S>(rng(), E);
      const Bytes ukm = random_ukm(S::NB);
      DIGIT_T u[S::ND];
      vko_test::le_to_num<S>(u, ukm);
      const Bytes point = vko_test::encode<S>(ossl.vko_point(u, a.d, b.Q));
      typename S::Pt K;
      ASSERT_EQ(S::point(E, u, a.d, &b.Q, &K), 0);
      EXPECT_EQ(vko_test::encode<S>(K), point);
      hashed_functions_match<S>(E, a.d, b.Q, ukm, point);
    }
  }
}

// KEG from OpenSSL's shared point, libgcrypt's Streebog and HMAC.
TYPED_TEST(VkoOpenSsl, KegEveryCurve) {
  using S = TypeParam;
  for (uint32_t row = 0; row < S::COUNT; row++) {
    SCOPED_TRACE(S::row(row));
    const typename S::Par* E = S::get(row);
    const vko_test::OsslCurve<S> ossl(E);
    const auto a = vko_test::random_pair<S>(rng(), E);
    const auto b = vko_test::random_pair<S>(rng(), E);
    for (bool zero : {false, true}) {
      Bytes h = vko_test::random_bytes(rng(), 24);
      if (zero) std::fill(h.begin(), h.begin() + 16, 0);
      DIGIT_T u[S::ND] = {};
      const Bytes be(h.begin(), h.begin() + 16);
      mpConvFromOctets(u, S::ND, be.data(), 16);
      if (zero) u[0] = 1;
      const Bytes point = vko_test::encode<S>(ossl.vko_point(u, a.d, b.Q));
      Bytes expect;
      if (S::NB == 32) {
        expect = gcry_kdf_tree_64(vko_test::gcry_hash(GCRY_MD_STRIBOG256, point),
                                  Bytes(h.begin() + 16, h.begin() + 24));
      } else {
        expect = vko_test::gcry_hash(GCRY_MD_STRIBOG512, point);
      }
      Bytes out(64);
      ASSERT_EQ(S::keg(E, a.d, &b.Q, h.data(), 24, out.data()), 0);
      EXPECT_EQ(out, expect) << (zero ? "zero UKM" : "random UKM");
    }
  }
}

}  // namespace
