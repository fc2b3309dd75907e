// KEG contract on every curve: agreement from both sides, the zero-UKM
// rule for both key sizes, the bytes of H that count, and the 512-bit KEG
// as the 512-bit VKO.
#include <gtest/gtest.h>

#include "vko_test_util.h"

namespace {

using vko_test::Bytes;
using vko_test::V256;
using vko_test::V512;

std::mt19937_64& rng() {
  static std::mt19937_64 r(1020);
  return r;
}

template <class S>
class KegTest : public ::testing::Test {};
using Sizes = ::testing::Types<V256, V512>;
TYPED_TEST_SUITE(KegTest, Sizes);

// KEG: both sides agree; an all-zero H[0..15] counts as 1 for both sizes;
// only the first 24 (256-bit) or 16 (512-bit) bytes of H count; a shorter H
// is refused.
TYPED_TEST(KegTest, AgreementZeroUkmAndLength) {
  using S = TypeParam;
  for (uint32_t row = 0; row < S::COUNT; row++) {
    SCOPED_TRACE(S::row(row));
    const typename S::Par* E = S::get(row);
    const auto a = vko_test::random_pair<S>(rng(), E);
    const auto b = vko_test::random_pair<S>(rng(), E);
    Bytes h = vko_test::random_bytes(rng(), 64);
    Bytes k1(64), k2(64);
    ASSERT_EQ(S::keg(E, a.d, &b.Q, h.data(), S::kKegMinH, k1.data()), 0);
    ASSERT_EQ(S::keg(E, b.d, &a.Q, h.data(), S::kKegMinH, k2.data()), 0);
    EXPECT_EQ(k1, k2);
    ASSERT_EQ(S::keg(E, a.d, &b.Q, h.data(), 64, k2.data()), 0);
    EXPECT_EQ(k1, k2);

    std::fill(h.begin(), h.begin() + 16, 0);
    ASSERT_EQ(S::keg(E, a.d, &b.Q, h.data(), S::kKegMinH, k1.data()), 0);
    h[15] = 1;
    ASSERT_EQ(S::keg(E, b.d, &a.Q, h.data(), S::kKegMinH, k2.data()), 0);
    EXPECT_EQ(k1, k2);
    h[15] = 2;
    ASSERT_EQ(S::keg(E, b.d, &a.Q, h.data(), S::kKegMinH, k2.data()), 0);
    EXPECT_NE(k1, k2);

    Bytes out(64, 0xA5);
    EXPECT_EQ(S::keg(E, a.d, &b.Q, h.data(), S::kKegMinH - 1, out.data()), -1);
    EXPECT_EQ(S::keg(E, a.d, &b.Q, h.data(), 0, out.data()), -1);
    EXPECT_EQ(out, Bytes(64, 0xA5));
  }
}

// The 512-bit KEG is the 512-bit VKO with the first 16 bytes of H as a
// big-endian UKM.
TEST(Keg, Keg512IsVko512OfTheLeadingBytes) {
  const GOSTR3410_2012_512_PAR* E = V512::get(2);
  const auto a = vko_test::random_pair<V512>(rng(), E);
  const auto b = vko_test::random_pair<V512>(rng(), E);
  const Bytes h = vko_test::random_bytes(rng(), 16);
  const Bytes ukm(h.rbegin(), h.rend());
  Bytes k1(64), k2(64);
  ASSERT_EQ(GOSTR3410_2012_512_KEG(E, a.d, &b.Q, h.data(), 16, k1.data()), 0);
  ASSERT_EQ(GOSTR3410_2012_512_VKO_512(E, ukm.data(), 16, a.d, &b.Q, k2.data()), 0);
  EXPECT_EQ(k1, k2);
}

}  // namespace
