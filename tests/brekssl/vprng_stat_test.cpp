// The little and big statistical tests: good streams pass, and each range is
// checked at its bounds with streams built to move one count at a time.
#include "engines/rand/vprng_stat.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "engines/rand/vprng.h"
#include "vprng_test_util.h"

using namespace vprng_test;

namespace {

Bytes filled(uint8_t v, size_t n = 32) { return Bytes(n, v); }

// Bits written most significant first within each byte ("0011..." order).
Bytes from_msb_bits(const std::string& bits) {
  Bytes out((bits.size() + 7) / 8, 0);
  for (size_t i = 0; i < bits.size(); ++i)
    if (bits[i] == '1') out[i / 8] |= static_cast<uint8_t>(0x80 >> (i % 8));
  return out;
}

int little(const Bytes& b) { return make_little_test(b.data(), b.size()); }
int big(const Bytes& b) { return make_big_test(b.data(), b.size()); }

// 32 bytes: a bytes of 0x33 (4 ones, 4 changes) and the rest of v.
Bytes little_mix(int a, uint8_t v) {
  Bytes b(32, v);
  for (int i = 0; i < a; ++i) b[static_cast<size_t>(i)] = 0x33;
  return b;
}

// 102,400 bytes alternating 0x33 and 0x66: 409,600 one bits, 409,600 bit
// changes, 4 differing bits between neighbours (409,596 in all). Replacing
// r of the 0x33 bytes (even positions) or of the 0x66 bytes (odd positions)
// moves the counts by fixed steps.
Bytes big_base() {
  Bytes b(kVprngSelfTestBytes);
  for (size_t i = 0; i < b.size(); ++i) b[i] = i % 2 == 0 ? 0x33 : 0x66;
  return b;
}

Bytes big_replace(int r, uint8_t v, bool odd) {
  Bytes b = big_base();
  for (int i = 0; i < r; ++i) b[2 * static_cast<size_t>(i) + (odd ? 1 : 0)] = v;
  return b;
}

}  // namespace

TEST(VprngLittleTest, CasesOfTheDesign) {
  EXPECT_EQ(little(filled(0x33)), 0);                  // 128 ones, 128 changes, run 2
  EXPECT_EQ(little(filled(0x55)), VPRNG_ERR_CHANGES);  // 256 changes
  EXPECT_EQ(little(filled(0x0f)), VPRNG_ERR_CHANGES);  // 64 changes
  EXPECT_EQ(little(filled(0x00)), VPRNG_ERR_ONES);
  EXPECT_EQ(little(filled(0xff)), VPRNG_ERR_ONES);
  EXPECT_EQ(make_little_test(nullptr, 32), VPRNG_ERR_PARAM);
  uint8_t one = 0x33;
  EXPECT_EQ(make_little_test(&one, 0), VPRNG_ERR_PARAM);
}

TEST(VprngLittleTest, OnesAndChangesAtTheirBounds) {
  // 0x03 in place of 0x33: two ones and two changes fewer.
  EXPECT_EQ(little(little_mix(18, 0x03)), 0);               // 100 ones, 100 changes
  EXPECT_EQ(little(little_mix(17, 0x03)), VPRNG_ERR_ONES);  // 98
  // 0x3f: two ones more, two changes fewer.
  EXPECT_EQ(little(little_mix(18, 0x3f)), 0);               // 156 ones, 100 changes
  EXPECT_EQ(little(little_mix(17, 0x3f)), VPRNG_ERR_ONES);  // 158 ones
  // 0x0f: ones kept, two changes fewer.
  EXPECT_EQ(little(little_mix(18, 0x0f)), 0);                  // 100 changes
  EXPECT_EQ(little(little_mix(17, 0x0f)), VPRNG_ERR_CHANGES);  // 98
  // 0x55: ones kept, four changes more.
  EXPECT_EQ(little(little_mix(25, 0x55)), 0);                  // 156 changes
  EXPECT_EQ(little(little_mix(24, 0x55)), VPRNG_ERR_CHANGES);  // 160
}

TEST(VprngLittleTest, LongestZeroRunEndedByAOne) {
  // Runs are read from the most significant bit down and carried across
  // bytes; the filler keeps ones and changes in range.
  auto with_run = [](int run, bool closed) {
    std::string filler;
    while (filler.size() < 200) filler += "0011";
    std::string bits = filler.substr(0, 255 - static_cast<size_t>(run) - (closed ? 1 : 0)) + "1";
    bits += std::string(static_cast<size_t>(run), '0');
    if (closed) bits += "1";
    return from_msb_bits(bits);
  };
  EXPECT_EQ(little(with_run(24, true)), 0);
  EXPECT_EQ(little(with_run(25, true)), VPRNG_ERR_ZERO_RUN);
  EXPECT_EQ(little(with_run(40, true)), VPRNG_ERR_ZERO_RUN);
  // A run that the end of the bytes cuts off is not counted.
  EXPECT_EQ(little(with_run(30, false)), 0);
}

TEST(VprngLittleTest, KeystreamPassesAsARule) {
  std::mt19937 rng(32);
  Bytes s = reference_gamma(random_bytes(rng, 32), random_bytes(rng, 8), 4 * 1000);
  int passed = 0;
  for (size_t i = 0; i < s.size(); i += 32) passed += make_little_test(s.data() + i, 32) == 0;
  EXPECT_GE(passed, 990);
}

TEST(VprngBigTest, GoodStreamsPass) {
  std::mt19937 rng(1024);
  Bytes s = reference_gamma(random_bytes(rng, 32), random_bytes(rng, 8), kVprngSelfTestBytes / 8);
  EXPECT_EQ(big(s), 0);
  EXPECT_EQ(big(big_base()), 0);
  VPRNG_CTX ctx{};
  uint8_t seed[40] = {0};
  ASSERT_EQ(VPRNG_init(&ctx, seed, nullptr), 0);
  Bytes out(kVprngSelfTestBytes);
  ASSERT_EQ(VPRNG_get_random_bytes(&ctx, out.data(), out.size()), 0);
  EXPECT_EQ(big(out), 0);
}

TEST(VprngBigTest, FailingStreams) {
  EXPECT_EQ(big(filled(0x00, kVprngSelfTestBytes)), VPRNG_ERR_ONES);
  EXPECT_EQ(big(filled(0xff, kVprngSelfTestBytes)), VPRNG_ERR_ONES);
  EXPECT_EQ(big(filled(0x55, kVprngSelfTestBytes)), VPRNG_ERR_CHANGES);
  EXPECT_EQ(big(filled(0x33, kVprngSelfTestBytes)), VPRNG_ERR_NEIGHBOURS);
  EXPECT_EQ(make_big_test(nullptr, 100), VPRNG_ERR_PARAM);
  uint8_t b = 0;
  EXPECT_EQ(make_big_test(&b, 0), VPRNG_ERR_PARAM);
}

TEST(VprngBigTest, RangesAtTheirBounds) {
  // 0x03 for 0x33: two ones and two changes fewer.
  EXPECT_EQ(big(big_replace(904, 0x03, false)), 0);               // 407,792 each
  EXPECT_EQ(big(big_replace(905, 0x03, false)), VPRNG_ERR_ONES);  // 407,790
  // 0x3f for 0x33: two ones more, two changes fewer.
  EXPECT_EQ(big(big_replace(904, 0x3f, false)), 0);               // 411,408 ones
  EXPECT_EQ(big(big_replace(905, 0x3f, false)), VPRNG_ERR_ONES);  // 411,410
  // 0x0f for 0x33: two changes fewer.
  EXPECT_EQ(big(big_replace(904, 0x0f, false)), 0);                  // 407,792
  EXPECT_EQ(big(big_replace(905, 0x0f, false)), VPRNG_ERR_CHANGES);  // 407,790
  // 0x55 for 0x33: four changes more; the upper bound is one below the ones'.
  EXPECT_EQ(big(big_replace(451, 0x55, false)), 0);                  // 411,404
  EXPECT_EQ(big(big_replace(452, 0x55, false)), VPRNG_ERR_CHANGES);  // 411,408
  // 0x33 for 0x66: 8 differing neighbour bits fewer.
  EXPECT_EQ(big(big_replace(226, 0x33, true)), 0);                     // 407,788
  EXPECT_EQ(big(big_replace(227, 0x33, true)), VPRNG_ERR_NEIGHBOURS);  // 407,780
  // 0xcc for 0x66: 8 differing neighbour bits more.
  EXPECT_EQ(big(big_replace(226, 0xcc, true)), 0);                     // 411,404
  EXPECT_EQ(big(big_replace(227, 0xcc, true)), VPRNG_ERR_NEIGHBOURS);  // 411,412
}
