// The calling contract of every mode: data fed in any pieces gives the
// output of one update, in place equals out of place, decryption inverts
// encryption; the MAC likewise over any pieces.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "modes_configs.h"
#include "vkc_kat_file.h"

namespace {

using namespace vkc_modes_test;
using vkc_kat::random_bytes;

class ModeContract : public ::testing::TestWithParam<Config> {
 protected:
  void SetUp() override {
    rng_.seed(static_cast<uint32_t>(std::hash<std::string>{}(GetParam().name())));
    key_ = random_bytes(rng_, 32);
    iv_ = random_bytes(rng_, GetParam().iv_len());
  }

  VkcModeContext fresh(uint8_t encrypt) {
    VkcModeContext ctx;
    EXPECT_EQ(GetParam().init(&ctx, encrypt, key_.data(), iv_.empty() ? nullptr : iv_.data()), 0);
    return ctx;
  }

  Bytes whole(uint8_t encrypt, const Bytes& in) {
    VkcModeContext ctx = fresh(encrypt);
    Bytes out(in.size());
    EXPECT_EQ(GetParam().update()(&ctx, in.data(), out.data(), in.size()), 0);
    return out;
  }

  // Random pieces: 1, s - 1, s, s + 1 or anything up to 3 blocks; whole
  // blocks for ECB and CBC. in_place runs each piece on the output buffer.
  Bytes pieces(uint8_t encrypt, const Bytes& in, bool in_place) {
    const Config& c = GetParam();
    const uint64_t n = c.cipher->n;
    VkcModeContext ctx = fresh(encrypt);
    Bytes out = in_place ? in : Bytes(in.size(), 0);
    size_t off = 0;
    while (off < in.size()) {
      size_t take;
      if (c.whole_blocks()) {
        take = n * (1 + rng_() % 3);
      } else {
        const uint64_t s = c.s;
        const size_t choices[] = {1, s > 1 ? s - 1 : 1, s, s + 1, 1 + rng_() % (3 * n)};
        take = choices[rng_() % 5];
      }
      take = std::min(take, in.size() - off);
      const uint8_t* src = in_place ? out.data() + off : in.data() + off;
      EXPECT_EQ(c.update()(&ctx, src, out.data() + off, take), 0);
      off += take;
    }
    return out;
  }

  size_t message_length() {
    const uint64_t n = GetParam().cipher->n;
    const size_t len = 1 + rng_() % 300;
    return GetParam().whole_blocks() ? (len + n - 1) / n * n : len;
  }

  std::mt19937 rng_;
  Bytes key_, iv_;
};

TEST_P(ModeContract, PiecesEqualOneUpdate) {
  for (int round = 0; round < 30; ++round) {
    const Bytes pt = random_bytes(rng_, message_length());
    const Bytes ct = whole(1, pt);
    ASSERT_EQ(pieces(1, pt, false), ct) << round;
    ASSERT_EQ(pieces(0, ct, false), pt) << round;
    ASSERT_EQ(whole(0, ct), pt) << round;
  }
}

TEST_P(ModeContract, InPlaceEqualsOutOfPlace) {
  for (int round = 0; round < 20; ++round) {
    const Bytes pt = random_bytes(rng_, message_length());
    const Bytes ct = whole(1, pt);
    ASSERT_EQ(pieces(1, pt, true), ct) << round;
    ASSERT_EQ(pieces(0, ct, true), pt) << round;
  }
}

// Two updates of one block each chain as one message: equal plaintext
// blocks give different ciphertext blocks (equal ones only in ECB).
TEST_P(ModeContract, SecondUpdateContinuesTheChain) {
  const Config& c = GetParam();
  const uint64_t n = c.cipher->n;
  const Bytes block = random_bytes(rng_, n);
  VkcModeContext ctx = fresh(1);
  Bytes a(n), b(n);
  ASSERT_EQ(c.update()(&ctx, block.data(), a.data(), n), 0);
  ASSERT_EQ(c.update()(&ctx, block.data(), b.data(), n), 0);
  if (c.mode == Mode::kEcb) {
    EXPECT_EQ(a, b);
  } else {
    EXPECT_NE(a, b);
  }
  Bytes two = block;
  two.insert(two.end(), block.begin(), block.end());
  const Bytes joined = whole(1, two);
  EXPECT_EQ(Bytes(joined.begin(), joined.begin() + n), a);
  EXPECT_EQ(Bytes(joined.begin() + n, joined.end()), b);
}

INSTANTIATE_TEST_SUITE_P(All, ModeContract, ::testing::ValuesIn(all_configs()), config_name);

class MacContract : public ::testing::TestWithParam<const Cipher*> {};

TEST_P(MacContract, PiecesEqualOneShot) {
  const Cipher& c = *GetParam();
  std::mt19937 rng(c.n);
  for (int round = 0; round < 60; ++round) {
    const Bytes key = random_bytes(rng, 32);
    const Bytes msg = random_bytes(rng, rng() % (round < 20 ? 3 * c.n + 1 : 300));
    const uint64_t s = 1 + rng() % c.n;
    Bytes want(s), got(s);
    ASSERT_EQ(c.mac(key.data(), s, msg.data(), msg.size(), want.data()), 0);
    VkcModeContext ctx;
    ASSERT_EQ(c.mac_init(&ctx, key.data(), s), 0);
    size_t off = 0;
    while (off < msg.size()) {
      const size_t take = std::min<size_t>(msg.size() - off, rng() % (2 * c.n + 2));
      ASSERT_EQ(c.mac_update(&ctx, msg.data() + off, take), 0);
      off += take;
    }
    ASSERT_EQ(c.mac_final(&ctx, got.data()), 0);
    ASSERT_EQ(got, want) << round;
    // A shorter tag is the start of the full one.
    Bytes full(c.n);
    ASSERT_EQ(c.mac(key.data(), c.n, msg.data(), msg.size(), full.data()), 0);
    ASSERT_EQ(Bytes(full.begin(), full.begin() + s), want);
  }
}

std::string cipher_name(const ::testing::TestParamInfo<const Cipher*>& param_info) {
  return param_info.param->name;
}

INSTANTIATE_TEST_SUITE_P(All, MacContract, ::testing::Values(&kKuznyechik, &kMagma), cipher_name);

}  // namespace
