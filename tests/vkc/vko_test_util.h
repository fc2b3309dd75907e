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

#include "ec_ossl_oracle.h"
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

using ec_test::OsslCurve;

}  // namespace vko_test

#endif
