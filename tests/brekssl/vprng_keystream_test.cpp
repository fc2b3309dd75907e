// The VPRNG's keystream against GnuTLS and libgcrypt, the rekeying at the
// 2,048-byte budget, the mixing of system entropy into every keying, and the
// generator's argument checks.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "engines/rand/vprng.h"
#include "engines/rand/vprng_entropy.h"
#include "engines/rand/vprng_stat.h"
#include "vprng_test_util.h"

using namespace vprng_test;

namespace {

Bytes draw(VPRNG_CTX* ctx, size_t n) {
  Bytes out(n);
  EXPECT_EQ(VPRNG_get_random_bytes(ctx, out.data(), n), 0);
  return out;
}

Bytes key_of(const VPRNG_CTX& ctx) { return Bytes(ctx.key, ctx.key + 32); }
Bytes next_seed_of(const VPRNG_CTX& ctx) { return Bytes(ctx.next_seed, ctx.next_seed + 40); }

// Material whose first keystream draw (the next seed) passes the little
// test, so that the next seed is the first 40 keystream bytes.
Bytes material(uint32_t seed) {
  std::mt19937 rng(seed);
  for (;;) {
    Bytes m = random_bytes(rng, 40);
    Bytes s = stream_of(m, 5);
    if (make_little_test(s.data() + 8, 32) == 0) return m;
  }
}

}  // namespace

TEST(VprngKeystream, EqualsGnutlsCounterModeAndLibgcryptModel) {
  std::mt19937 rng(107);
  for (int r = 0; r < 20; ++r) {
    Bytes key = random_bytes(rng, 32), iv = random_bytes(rng, 8);
    uint32_t counter[2] = {le32(iv.data()), le32(iv.data() + 4)};
    // GnuTLS meshes its key after 1,024 bytes; the generator never does.
    Bytes ours(4096);
    ASSERT_EQ(
        VPRNG_Gost_Gamm_rng_m(ours.data(), 4096, &VPRNG_TZ_28147_89[5], counter, key.data(), 1), 0);
    EXPECT_EQ(slice(ours, 0, 1024), gnutls_gamma(key, iv, 1024));
    EXPECT_NE(slice(ours, 1024, 8), slice(gnutls_gamma(key, iv, 1032), 1024, 8));
    uint32_t ref_counter[2];
    EXPECT_EQ(ours, reference_gamma(key, iv, 512, ref_counter));
    EXPECT_EQ(counter[0], ref_counter[0]);
    EXPECT_EQ(counter[1], ref_counter[1]);
  }
}

TEST(VprngKeystream, CounterCarriesModulo2To32Minus1) {
  // Word 1 wraps on the first step: 0xfefefefc + 0x01010104 = 2^32 + 0, plus
  // the end-around carry gives 1. The encrypted IV must land there, so the
  // test runs from the counter without the first encryption.
  Bytes key(32, 0x11);
  uint32_t counter[2] = {0xfefefeffu, 0xfefefefcu};
  Bytes out(8);
  ASSERT_EQ(VPRNG_Gost_Gamm_rng_m(out.data(), 8, &VPRNG_TZ_28147_89[5], counter, key.data(), 3), 0);
  EXPECT_EQ(counter[0], 0u);
  EXPECT_EQ(counter[1], 1u);
}

TEST(VprngKeystream, EveryCallStartsAFreshBlock) {
  std::mt19937 rng(7);
  Bytes key = random_bytes(rng, 32), iv = random_bytes(rng, 8);
  Bytes ref = reference_gamma(key, iv, 4);
  uint32_t counter[2] = {le32(iv.data()), le32(iv.data() + 4)};
  uint8_t a[16], b[5], c[8];
  const auto* z = &VPRNG_TZ_28147_89[5];
  ASSERT_EQ(VPRNG_Gost_Gamm_rng_m(a, sizeof(a), z, counter, key.data(), 1), 0);
  ASSERT_EQ(VPRNG_Gost_Gamm_rng_m(b, sizeof(b), z, counter, key.data(), 3), 0);
  ASSERT_EQ(VPRNG_Gost_Gamm_rng_m(c, sizeof(c), z, counter, key.data(), 3), 0);
  EXPECT_EQ(Bytes(a, a + 16), slice(ref, 0, 16));
  EXPECT_EQ(Bytes(b, b + 5), slice(ref, 16, 5));
  EXPECT_EQ(Bytes(c, c + 8), slice(ref, 24, 8));  // the rest of block 2 is dropped
}

TEST(VprngKeystream, ArgumentChecks) {
  uint8_t out[16], key[32] = {0};
  uint32_t counter[2] = {0, 0};
  const auto* z = &VPRNG_TZ_28147_89[5];
  EXPECT_EQ(VPRNG_Gost_Gamm_rng_m(nullptr, 8, z, counter, key, 1), VPRNG_ERR_PARAM);
  EXPECT_EQ(VPRNG_Gost_Gamm_rng_m(out, 8, nullptr, counter, key, 1), VPRNG_ERR_PARAM);
  EXPECT_EQ(VPRNG_Gost_Gamm_rng_m(out, 8, z, nullptr, key, 1), VPRNG_ERR_PARAM);
  EXPECT_EQ(VPRNG_Gost_Gamm_rng_m(out, 8, z, counter, nullptr, 1), VPRNG_ERR_PARAM);
  EXPECT_EQ(VPRNG_Gost_Gamm_rng_m(out, 0, z, counter, key, 3), VPRNG_ERR_PARAM);
  // A partial block is refused only on the first call after keying.
  EXPECT_EQ(VPRNG_Gost_Gamm_rng_m(out, 12, z, counter, key, 1), VPRNG_ERR_TAIL);
  EXPECT_EQ(counter[0], 0u);
  EXPECT_EQ(VPRNG_Gost_Gamm_rng_m(out, 12, z, counter, key, 3), 0);

  VPRNG_CTX ctx{};
  uint8_t seed[40] = {0};
  EXPECT_EQ(VPRNG_init_ex(nullptr, z, seed, nullptr), VPRNG_ERR_PARAM);
  EXPECT_EQ(VPRNG_init_ex(&ctx, nullptr, seed, nullptr), VPRNG_ERR_PARAM);
  EXPECT_EQ(VPRNG_init_ex(&ctx, z, nullptr, nullptr), VPRNG_ERR_PARAM);
  EXPECT_EQ(VPRNG_get_random_bytes(&ctx, out, 8), VPRNG_ERR_NOT_READY);
  EXPECT_EQ(VPRNG_get_random_bytes(nullptr, out, 8), VPRNG_ERR_PARAM);
  ASSERT_EQ(VPRNG_init(&ctx, seed, nullptr), 0);
  EXPECT_EQ(VPRNG_get_random_bytes(&ctx, nullptr, 8), VPRNG_ERR_PARAM);
  EXPECT_EQ(VPRNG_get_random_bytes(&ctx, out, 0), VPRNG_ERR_PARAM);
  EXPECT_EQ(VPRNG_get_random_bytes(&ctx, out, 8), 0);
}

TEST(VprngKeystream, AnUnmarkedTableIsRefused) {
  static Gost28147ExpandedSbox blank{};
  VPRNG_CTX ctx{};
  uint8_t seed[40] = {0};
  EXPECT_EQ(VPRNG_init_ex(&ctx, &blank, seed, nullptr), GOST28147_ERR_SBOX);
  EXPECT_EQ(ctx.ready, 0u);
}

// With zero entropy the keying takes the material as it is: the counter
// from bytes 0-7, the key from bytes 8-39; the next seed is the first 40
// keystream bytes, and output starts at keystream byte 40.
TEST(VprngRekey, KeyingTakesCounterAndKeyFromTheMaterial) {
  EntropySource zero(zero_entropy);
  Bytes m = material(1);
  Bytes s = stream_of(m, 256);
  VPRNG_CTX ctx{};
  ASSERT_EQ(vprng_rng_start(&ctx, &VPRNG_TZ_28147_89[5], m.data()), 0);
  EXPECT_EQ(key_of(ctx), slice(m, 8, 32));
  EXPECT_EQ(next_seed_of(ctx), slice(s, 0, 40));
  EXPECT_EQ(ctx.bytes_left, 2008u);
  EXPECT_EQ(ctx.first_call, 3u);
  EXPECT_EQ(ctx.ready, 1u);
  EXPECT_EQ(draw(&ctx, 100), slice(s, 40, 100));
}

TEST(VprngRekey, SystemEntropyIsMixedIntoTheMaterial) {
  EntropySource pattern(pattern_entropy);
  Bytes m = material(2);
  Bytes mixed = m;
  for (size_t i = 0; i < mixed.size(); ++i) mixed[i] ^= static_cast<uint8_t>(0xa5 ^ i);
  VPRNG_CTX ctx{};
  ASSERT_EQ(vprng_rng_start(&ctx, &VPRNG_TZ_28147_89[5], m.data()), 0);
  EXPECT_EQ(key_of(ctx), slice(mixed, 8, 32));
  Bytes s = stream_of(mixed, 64);
  Bytes out = draw(&ctx, 64);
  // The next seed passed the little test or the first draw was retried.
  EXPECT_TRUE(out == slice(s, 40, 64) || out == slice(s, 80, 64) || out == slice(s, 120, 64));
}

TEST(VprngRekey, ExactBudgetIsFollowedByARekey) {
  EntropySource zero(zero_entropy);
  Bytes m = material(3);
  Bytes s = stream_of(m, 256);
  VPRNG_CTX ctx{};
  ASSERT_EQ(vprng_rng_start(&ctx, &VPRNG_TZ_28147_89[5], m.data()), 0);
  Bytes next = next_seed_of(ctx);
  // 2,008 bytes use up the key exactly: the generator rekeys at once, from
  // the next seed.
  EXPECT_EQ(draw(&ctx, 2008), slice(s, 40, 2008));
  EXPECT_EQ(key_of(ctx), slice(next, 8, 32));
  Bytes s2 = stream_of(next, 16);
  EXPECT_EQ(ctx.bytes_left, 2008u);
  EXPECT_EQ(draw(&ctx, 8), slice(s2, 40, 8));
}

TEST(VprngRekey, OneByteMoreRekeysAfterThe2008thByte) {
  EntropySource zero(zero_entropy);
  Bytes m = material(4);
  Bytes s = stream_of(m, 256);
  VPRNG_CTX ctx{};
  ASSERT_EQ(vprng_rng_start(&ctx, &VPRNG_TZ_28147_89[5], m.data()), 0);
  Bytes s2 = stream_of(next_seed_of(ctx), 8);
  EXPECT_EQ(draw(&ctx, 2009), concat(slice(s, 40, 2008), slice(s2, 40, 1)));
  EXPECT_EQ(ctx.bytes_left, 2007u);
}

TEST(VprngRekey, BudgetCountsRequestedBytesNotBlocks) {
  EntropySource zero(zero_entropy);
  Bytes m = material(5);
  Bytes s = stream_of(m, 256);
  VPRNG_CTX ctx{};
  ASSERT_EQ(vprng_rng_start(&ctx, &VPRNG_TZ_28147_89[5], m.data()), 0);
  EXPECT_EQ(draw(&ctx, 7), slice(s, 40, 7));
  EXPECT_EQ(draw(&ctx, 1), slice(s, 48, 1));  // a new block
  EXPECT_EQ(ctx.bytes_left, 2000u);
  // 2,000 requests of one byte each take 2,000 blocks of a 2,048-byte key
  // budget: the key changes after 2,000 bytes, not after 256 blocks.
  Bytes next = next_seed_of(ctx);
  for (int i = 0; i < 1999; ++i) draw(&ctx, 1);
  EXPECT_EQ(ctx.bytes_left, 1u);
  EXPECT_EQ(key_of(ctx), slice(m, 8, 32));
  draw(&ctx, 1);
  EXPECT_EQ(key_of(ctx), slice(next, 8, 32));
}

TEST(VprngRekey, LongRequestsFollowTheChainOfKeys) {
  EntropySource zero(zero_entropy);
  Bytes m = material(6);
  VPRNG_CTX ctx{};
  ASSERT_EQ(vprng_rng_start(&ctx, &VPRNG_TZ_28147_89[5], m.data()), 0);
  // Expected: 2,008 bytes per key after the 40-byte next seed, each key from
  // the seed drawn under the one before.
  Bytes expected, cur = m;
  while (expected.size() < 10000) {
    Bytes s = stream_of(cur, 256);
    size_t seed_at = 0;
    while (make_little_test(s.data() + seed_at + 8, 32) != 0) seed_at += 40;
    ASSERT_LT(seed_at, 120u);
    expected = concat(expected, slice(s, seed_at + 40, 2048 - 40 - seed_at));
    cur = slice(s, seed_at, 40);
  }
  expected.resize(10000);
  EXPECT_EQ(draw(&ctx, 10000), expected);
}

TEST(VprngRekey, EveryKeyingDrawsFortyBytesOfEntropy) {
  EntropyCount::calls = 0;
  EntropyCount::bytes = 0;
  EntropySource count(EntropyCount::source);
  VPRNG_CTX ctx{};
  uint8_t seed[40] = {0};
  ASSERT_EQ(vprng_rng_start(&ctx, &VPRNG_TZ_28147_89[5], seed), 0);
  EXPECT_EQ(EntropyCount::calls, 1);
  Bytes out(2008 * 5);
  ASSERT_EQ(VPRNG_get_random_bytes(&ctx, out.data(), out.size()), 0);
  EXPECT_EQ(EntropyCount::calls, 6);
  EXPECT_EQ(EntropyCount::bytes, 6u * 40u);
}

TEST(VprngRekey, AllZeroSeedGivesUnpredictableKeys) {
  // The first start of a process keys from an all-zero pool.
  uint8_t seed[40] = {0};
  VPRNG_CTX a{}, b{};
  ASSERT_EQ(vprng_rng_start(&a, &VPRNG_TZ_28147_89[5], seed), 0);
  ASSERT_EQ(vprng_rng_start(&b, &VPRNG_TZ_28147_89[5], seed), 0);
  EXPECT_NE(key_of(a), key_of(b));
  EXPECT_NE(key_of(a), Bytes(32, 0));
  EXPECT_NE(draw(&a, 32), draw(&b, 32));
}

TEST(VprngRekey, FailedRekeyIsRetriedByTheNextRequest) {
  EntropySource zero(zero_entropy);
  Bytes m = material(8);
  VPRNG_CTX ctx{};
  ASSERT_EQ(vprng_rng_start(&ctx, &VPRNG_TZ_28147_89[5], m.data()), 0);
  draw(&ctx, 2000);
  Bytes key = key_of(ctx);
  Bytes out(16);
  {
    EntropySource fail(failing_entropy);
    EXPECT_EQ(VPRNG_get_random_bytes(&ctx, out.data(), 16), VPRNG_ERR_ENTROPY);
    EXPECT_EQ(key_of(ctx), key);  // the key is not replaced by a failed keying
    EXPECT_EQ(ctx.bytes_left, 0u);
    EXPECT_EQ(VPRNG_get_random_bytes(&ctx, out.data(), 1), VPRNG_ERR_ENTROPY);
  }
  EXPECT_EQ(VPRNG_get_random_bytes(&ctx, out.data(), 16), 0);
  EXPECT_NE(key_of(ctx), key);
}

TEST(VprngStart, StartupTestLeavesAnEmptyBudget) {
  EntropySource zero(zero_entropy);
  VPRNG_CTX ctx{};
  uint8_t seed[40] = {0}, new_seed[40] = {0};
  ASSERT_EQ(VPRNG_init(&ctx, seed, new_seed), 0);
  EXPECT_EQ(ctx.ready, 1u);
  EXPECT_EQ(ctx.sbox, &VPRNG_TZ_28147_89[5]);
  EXPECT_NE(Bytes(new_seed, new_seed + 40), Bytes(40, 0));
  EXPECT_EQ(make_little_test(new_seed + 8, 32), 0);
  // 102,400 bytes leave 8 of the last key's budget, and the 40-byte new seed
  // takes them: the first request rekeys before it produces output.
  EXPECT_EQ(ctx.bytes_left, 0u);
  Bytes next = next_seed_of(ctx);
  Bytes s = stream_of(next, 16);
  EXPECT_EQ(draw(&ctx, 16), slice(s, 40, 16));
}

TEST(VprngStart, OtherTablesServeToo) {
  VPRNG_CTX ctx{};
  uint8_t seed[40] = {0};
  for (uint8_t id = 0; id <= 5; ++id) {
    ASSERT_EQ(VPRNG_init_ex(&ctx, VPRNG_TZ_by_id(id), seed, nullptr), 0) << int(id);
    EXPECT_EQ(ctx.sbox, &VPRNG_TZ_28147_89[id]);
    draw(&ctx, 100);
  }
}

TEST(VprngTables, AreTheCoreTables) {
  for (uint8_t id = 0; id <= 5; ++id) {
    EXPECT_EQ(&VPRNG_TZ_28147_89[id], &TZ_28147_89[id]);
    EXPECT_EQ(VPRNG_TZ_by_id(id), &TZ_28147_89[id]);
  }
  const char* names[] = {"tz_test", "tz_a", "tz_b", "tz_c", "tz_d", "tz_z"};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(VPRNG_TZ_by_name(names[i]), &TZ_28147_89[i]);
  EXPECT_EQ(VPRNG_TZ_by_name("tz_z"), VPRNG_TZ_by_id(5));
  EXPECT_EQ(sizeof(Gost28147ExpandedSbox), 4100u);
}

TEST(VprngTables, UnknownIdsAndNamesAreRefusedWithAMessage) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(VPRNG_TZ_by_id(6), nullptr);
  EXPECT_EQ(VPRNG_TZ_by_id(255), nullptr);
  EXPECT_EQ(VPRNG_TZ_by_name("TZ_Z"), nullptr);
  EXPECT_EQ(VPRNG_TZ_by_name("tz_"), nullptr);
  EXPECT_EQ(VPRNG_TZ_by_name(nullptr), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "VPRNG_TZ_by_id: index out of range\n"
            "VPRNG_TZ_by_id: index out of range\n"
            "VPRNG_TZ_by_name: unsupported name TZ_Z\n"
            "VPRNG_TZ_by_name: unsupported name tz_\n"
            "VPRNG_TZ_by_name: NULL name\n");
}

TEST(VprngTime, CrossGettimeofdayIsTheTimeOfDay) {
  uint32_t sec = 0, usec = 0;
  time_t before = time(nullptr);
  cross_gettimeofday(&sec, &usec);
  EXPECT_GE(sec, static_cast<uint32_t>(before));
  EXPECT_LE(sec, static_cast<uint32_t>(time(nullptr)));
  EXPECT_LT(usec, 1000000u);
}
