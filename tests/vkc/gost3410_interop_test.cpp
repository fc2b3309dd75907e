// Signatures made here verify with libgcrypt and nettle, and theirs verify
// here, for random keys and digests on every curve.
#include <gcrypt.h>
#include <gmp.h>
#include <gtest/gtest.h>
#include <nettle/ecc-curve.h>
#include <nettle/ecc.h>
#include <nettle/gostdsa.h>

#include <cstdarg>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "ec_test_util.h"
#include "gost3410.h"
#include "test_util.h"

namespace {

std::mt19937_64& rng() {
  static std::mt19937_64 r(99);
  return r;
}

int test_rnd(unsigned char* buf, uint32_t len) {
  for (uint32_t i = 0; i < len; i++) buf[i] = static_cast<unsigned char>(rng()());
  return 0;
}

void nettle_rnd(void*, size_t len, uint8_t* dst) { test_rnd(dst, static_cast<uint32_t>(len)); }

struct Sexp {
  gcry_sexp_t s = nullptr;
  ~Sexp() { gcry_sexp_release(s); }
};

struct Mpi {
  gcry_mpi_t m = nullptr;
  ~Mpi() { gcry_mpi_release(m); }
};

// Builds an S-expression from text with the arguments substituted.
gcry_error_t sexp(gcry_sexp_t* out, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
gcry_error_t sexp(gcry_sexp_t* out, const char* fmt, ...) {
  char text[1024];
  va_list ap;
  va_start(ap, fmt);
  int n = vsnprintf(text, sizeof text, fmt, ap);
  va_end(ap);
  return gcry_sexp_sscan(out, nullptr, text, static_cast<size_t>(n));
}

void init_gcrypt() {
  static bool done = [] {
    gcry_check_version(nullptr);
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
    return true;
  }();
  (void)done;
}

std::string be_hex(const DIGIT_T* a, uint32_t nd, uint32_t nb) {
  return ec_test::num_to_hex(a, nd, nb);
}

// One round against libgcrypt on one curve: our signature verified there,
// its signature verified here. Works on both sizes through S.
template <uint32_t ND, uint32_t NB, class Par, class Pt, class Sig>
void gcrypt_round(const char* curve, const Par* par,
                  int (*gen)(const Par*, RND_FUNC, DIGIT_T*, Pt*),
                  int (*sign)(const Par*, const DIGIT_T*, RND_FUNC, const DIGIT_T*, Sig*),
                  int (*verify)(const Par*, const DIGIT_T*, const Pt*, const Sig*)) {
  init_gcrypt();
  DIGIT_T d[ND], e[ND] = {};
  Pt Q;
  Sig sig;
  ASSERT_EQ(gen(par, test_rnd, d, &Q), 0);
  for (uint32_t i = 0; i < NB / 4; i++) e[i] = static_cast<DIGIT_T>(rng()());
  ASSERT_EQ(sign(par, e, test_rnd, d, &sig), 0);
  const std::string q = "04" + be_hex(Q.x, ND, NB) + be_hex(Q.y, ND, NB);
  Sexp pub, priv, data, sv, gsig;
  ASSERT_EQ(sexp(&pub.s, "(public-key (ecc (curve %s) (q #%s#)))", curve, q.c_str()), 0);
  ASSERT_EQ(sexp(&priv.s, "(private-key (ecc (curve %s) (q #%s#) (d #%s#)))", curve, q.c_str(),
                 be_hex(d, ND, NB).c_str()),
            0);
  ASSERT_EQ(sexp(&data.s, "(data (flags gost) (value #%s#))", be_hex(e, ND, NB).c_str()), 0);
  ASSERT_EQ(sexp(&sv.s, "(sig-val (gost (r #%s#) (s #%s#)))", be_hex(sig.r, ND, NB).c_str(),
                 be_hex(sig.s, ND, NB).c_str()),
            0);
  EXPECT_EQ(gcry_pk_verify(sv.s, data.s, pub.s), 0) << curve;
  // A changed digest fails there too.
  DIGIT_T e2[ND];
  mpSetEqual(e2, e, ND);
  e2[0] ^= 1;
  Sexp data2;
  ASSERT_EQ(sexp(&data2.s, "(data (flags gost) (value #%s#))", be_hex(e2, ND, NB).c_str()), 0);
  EXPECT_NE(gcry_pk_verify(sv.s, data2.s, pub.s), 0) << curve;
  // libgcrypt's signature verifies here.
  ASSERT_EQ(gcry_pk_sign(&gsig.s, data.s, priv.s), 0) << curve;
  Sig theirs = {};
  for (const char* part : {"r", "s"}) {
    Sexp tok;
    tok.s = gcry_sexp_find_token(gsig.s, part, 0);
    ASSERT_NE(tok.s, nullptr);
    Mpi m;
    m.m = gcry_sexp_nth_mpi(tok.s, 1, GCRYMPI_FMT_USG);
    unsigned char buf[NB];
    size_t written = 0;
    ASSERT_EQ(gcry_mpi_print(GCRYMPI_FMT_USG, buf, NB, &written, m.m), 0);
    std::vector<unsigned char> padded(NB - written, 0);
    padded.insert(padded.end(), buf, buf + written);
    mpConvFromOctets(part[0] == 'r' ? theirs.r : theirs.s, ND, padded.data(), NB);
  }
  EXPECT_EQ(verify(par, e, &Q, &theirs), 0) << curve;
  EXPECT_EQ(verify(par, e2, &Q, &theirs), -1) << curve;
}

}  // namespace

TEST(Gost3410Interop, Libgcrypt256EveryCurve) {
  for (uint32_t row = 0; row < GOST256_PAR_COUNT; row++) {
    for (int it = 0; it < 8; it++) {
      gcrypt_round<GOST256_NDIGITS, 32>(ec_test::kGcrypt256[row], GOSTR3410_2012_256_GetPar(row),
                                        GOSTR3410_2012_256_GenerateKeyPair, GOSTR3410_2012_256_Sign,
                                        GOSTR3410_2012_256_Verify);
    }
  }
}

TEST(Gost3410Interop, Libgcrypt512EveryCurve) {
  for (uint32_t row = 0; row < GOST512_PAR_COUNT; row++) {
    for (int it = 0; it < 6; it++) {
      gcrypt_round<GOST512_NDIGITS, 64>(ec_test::kGcrypt512[row], GOSTR3410_2012_512_GetPar(row),
                                        GOSTR3410_2012_512_GenerateKeyPair, GOSTR3410_2012_512_Sign,
                                        GOSTR3410_2012_512_Verify);
    }
  }
}

TEST(Gost3410Interop, LibgcryptVerifiesWorkedExample) {
  init_gcrypt();
  const ec_test::Block& v = ec_test::vectors().at("sig.gost3410-2012-256-example");
  Sexp pub, data, sv;
  ASSERT_EQ(sexp(&pub.s, "(public-key (ecc (curve GOST2001-test) (q #04%s%s#)))",
                 v.at("Qx").c_str(), v.at("Qy").c_str()),
            0);
  ASSERT_EQ(sexp(&data.s, "(data (flags gost) (value #%s#))", v.at("e").c_str()), 0);
  ASSERT_EQ(sexp(&sv.s, "(sig-val (gost (r #%s#) (s #%s#)))", v.at("r").c_str(), v.at("s").c_str()),
            0);
  EXPECT_EQ(gcry_pk_verify(sv.s, data.s, pub.s), 0);
}

namespace {

struct MpzV {
  mpz_t z;
  MpzV() { mpz_init(z); }
  ~MpzV() { mpz_clear(z); }
};

template <uint32_t ND, uint32_t NB, class Par, class Pt, class Sig>
void nettle_round(const ecc_curve* curve, const Par* par,
                  int (*gen)(const Par*, RND_FUNC, DIGIT_T*, Pt*),
                  int (*sign)(const Par*, const DIGIT_T*, RND_FUNC, const DIGIT_T*, Sig*),
                  int (*verify)(const Par*, const DIGIT_T*, const Pt*, const Sig*)) {
  DIGIT_T d[ND], e[ND] = {};
  Pt Q;
  Sig sig;
  ASSERT_EQ(gen(par, test_rnd, d, &Q), 0);
  for (uint32_t i = 0; i < NB / 4; i++) e[i] = static_cast<DIGIT_T>(rng()());
  ASSERT_EQ(sign(par, e, test_rnd, d, &sig), 0);
  // nettle reads the digest least significant byte first.
  std::vector<uint8_t> digest(NB);
  mpConvToOctets(e, ND, digest.data(), NB);
  std::reverse(digest.begin(), digest.end());
  MpzV x, y, zd, r, s;
  ec_test::num_to_mpz(x.z, Q.x, ND);
  ec_test::num_to_mpz(y.z, Q.y, ND);
  ec_test::num_to_mpz(zd.z, d, ND);
  ecc_point pub;
  ecc_scalar key;
  ecc_point_init(&pub, curve);
  ecc_scalar_init(&key, curve);
  EXPECT_EQ(ecc_point_set(&pub, x.z, y.z), 1);
  EXPECT_EQ(ecc_scalar_set(&key, zd.z), 1);
  dsa_signature ns;
  dsa_signature_init(&ns);
  ec_test::num_to_mpz(ns.r, sig.r, ND);
  ec_test::num_to_mpz(ns.s, sig.s, ND);
  EXPECT_EQ(gostdsa_verify(&pub, NB, digest.data(), &ns), 1);
  gostdsa_sign(&key, nullptr, nettle_rnd, NB, digest.data(), &ns);
  Sig theirs;
  ec_test::mpz_to_num(theirs.r, ND, ns.r);
  ec_test::mpz_to_num(theirs.s, ND, ns.s);
  EXPECT_EQ(verify(par, e, &Q, &theirs), 0);
  theirs.s[0] ^= 4;
  EXPECT_EQ(verify(par, e, &Q, &theirs), -1);
  dsa_signature_clear(&ns);
  ecc_point_clear(&pub);
  ecc_scalar_clear(&key);
}

}  // namespace

TEST(Gost3410Interop, NettleOnItsCurves) {
  for (uint32_t row : {1u, 4u}) {
    for (int it = 0; it < 8; it++) {
      nettle_round<GOST256_NDIGITS, 32>(nettle_get_gost_gc256b(), GOSTR3410_2012_256_GetPar(row),
                                        GOSTR3410_2012_256_GenerateKeyPair, GOSTR3410_2012_256_Sign,
                                        GOSTR3410_2012_256_Verify);
    }
  }
  for (int it = 0; it < 8; it++) {
    nettle_round<GOST512_NDIGITS, 64>(nettle_get_gost_gc512a(), GOSTR3410_2012_512_GetPar(1),
                                      GOSTR3410_2012_512_GenerateKeyPair, GOSTR3410_2012_512_Sign,
                                      GOSTR3410_2012_512_Verify);
  }
}
