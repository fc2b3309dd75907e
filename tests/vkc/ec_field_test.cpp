// The field arithmetic under the fast point code against GMP, with the
// values at the edges of the range, for both reductions (Montgomery's and
// the folding one, in assembly, for moduli just below a power of two).
#include "ec_field.h"

#include <gmp.h>
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "ec_test_util.h"

namespace {

using vkc_ec::u64;

template <int NL>
void check_field(const DIGIT_T* p, bool fold, bool expect_fold) {
  constexpr uint32_t ND = 2 * NL + 1;
  vkc_ec::Mont<NL> M;
  u64 pw[NL];
  vkc_ec::from_digits<NL>(pw, p, ND);
  vkc_ec::mont_init<NL>(M, pw, fold);
  EXPECT_EQ(M.c != 0, expect_fold);
  mpz_t zp, za, zb, zr;
  mpz_inits(zp, za, zb, zr, nullptr);
  ec_test::num_to_mpz(zp, p, ND);
  std::mt19937_64 rng(NL);
  std::vector<std::vector<u64>> vals;
  for (u64 small : {0ull, 1ull, 2ull}) {
    std::vector<u64> v(NL, 0);
    v[0] = small;
    vals.push_back(v);
  }
  for (u64 off : {1ull, 2ull, 3ull}) {
    std::vector<u64> v(pw, pw + NL);
    v[0] -= off;  // m - off (no borrow: m is odd and large)
    vals.push_back(v);
  }
  for (int i = 0; i < 40; i++) {
    DIGIT_T d[ND];
    ec_test::random_below(rng, d, p, ND);
    std::vector<u64> v(NL);
    vkc_ec::from_digits<NL>(v.data(), d, ND);
    vals.push_back(v);
  }
  for (const auto& a : vals) {
    for (const auto& b : vals) {
      u64 am[NL], bm[NL], rm[NL], r[NL];
      vkc_ec::to_mont<NL>(am, a.data(), M);
      vkc_ec::to_mont<NL>(bm, b.data(), M);
      vkc_ec::mont_mul<NL>(rm, am, bm, M);
      vkc_ec::from_mont<NL>(r, rm, M);
      mpz_import(za, NL, -1, 8, 0, 0, a.data());
      mpz_import(zb, NL, -1, 8, 0, 0, b.data());
      mpz_mul(zr, za, zb);
      mpz_mod(zr, zr, zp);
      DIGIT_T got[ND], want[ND];
      vkc_ec::to_digits<NL>(got, ND, r);
      ec_test::mpz_to_num(want, ND, zr);
      ASSERT_EQ(mpEqual(got, want, ND), 1);
      vkc_ec::mod_add<NL>(rm, a.data(), b.data(), M);
      mpz_add(zr, za, zb);
      mpz_mod(zr, zr, zp);
      vkc_ec::to_digits<NL>(got, ND, rm);
      ec_test::mpz_to_num(want, ND, zr);
      ASSERT_EQ(mpEqual(got, want, ND), 1);
      vkc_ec::mod_sub<NL>(rm, a.data(), b.data(), M);
      mpz_sub(zr, za, zb);
      mpz_mod(zr, zr, zp);
      vkc_ec::to_digits<NL>(got, ND, rm);
      ec_test::mpz_to_num(want, ND, zr);
      ASSERT_EQ(mpEqual(got, want, ND), 1);
      if (M.c != 0) {
        // The folding sum and difference used by the point formulas.
        vkc_ec::fadd<NL, true>(rm, a.data(), b.data(), M);
        mpz_add(zr, za, zb);
        mpz_mod(zr, zr, zp);
        vkc_ec::to_digits<NL>(got, ND, rm);
        ec_test::mpz_to_num(want, ND, zr);
        ASSERT_EQ(mpEqual(got, want, ND), 1);
        vkc_ec::fsub<NL, true>(rm, a.data(), b.data(), M);
        mpz_sub(zr, za, zb);
        mpz_mod(zr, zr, zp);
        vkc_ec::to_digits<NL>(got, ND, rm);
        ec_test::mpz_to_num(want, ND, zr);
        ASSERT_EQ(mpEqual(got, want, ND), 1);
      }
    }
    // Squares.
    {
      u64 am[NL], rm[NL], r[NL];
      vkc_ec::to_mont<NL>(am, a.data(), M);
      vkc_ec::mont_sqr<NL>(rm, am, M);
      vkc_ec::from_mont<NL>(r, rm, M);
      mpz_import(za, NL, -1, 8, 0, 0, a.data());
      mpz_mul(zr, za, za);
      mpz_mod(zr, zr, zp);
      DIGIT_T got[ND], want[ND];
      vkc_ec::to_digits<NL>(got, ND, r);
      ec_test::mpz_to_num(want, ND, zr);
      ASSERT_EQ(mpEqual(got, want, ND), 1);
    }
    // Inversion: a * a^-1 = 1 for a != 0.
    if (a[0] != 0 || a[NL - 1] != 0) {
      u64 am[NL], inv[NL], one[NL];
      vkc_ec::to_mont<NL>(am, a.data(), M);
      vkc_ec::mont_inv<NL>(inv, am, M);
      vkc_ec::mont_mul<NL>(one, inv, am, M);
      vkc_ec::from_mont<NL>(one, one, M);
      EXPECT_EQ(one[0], 1u);
    }
  }
  mpz_clears(zp, za, zb, zr, nullptr);
}

}  // namespace

TEST(EcField, FoldedAndMontgomeryReduction) {
  // 2^256 - 617 and 2^512 - 569: folded, and in Montgomery form as well.
  check_field<4>(tc26_ecc_par[1].E.p, true, true);
  check_field<4>(tc26_ecc_par[1].E.p, false, false);
  check_field<8>(tc26_decc_par[1].E.p, true, true);
  check_field<8>(tc26_decc_par[3].E.p, false, false);
  // Primes of other shapes and the group orders: Montgomery.
  check_field<4>(tc26_ecc_par[0].E.p, true, false);
  check_field<4>(tc26_ecc_par[3].E.p, true, false);
  check_field<4>(tc26_ecc_par[1].q, true, false);
  check_field<8>(tc26_decc_par[0].E.p, true, false);
  check_field<8>(tc26_decc_par[2].q, true, false);
}
