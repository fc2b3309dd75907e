// HMAC over GOST R 34.11-2012: RFC 7836 examples, the incremental calls,
// argument codes, and random keys and messages against libgcrypt.
#include <gcrypt.h>
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "gcrypt_hmac_oracle.h"
#include "hmac_low/gost_r3411_2012_hmac.h"
#include "vkc_kat_file.h"
#include "vkc_log.h"

namespace {

using namespace vkc_kat;

Bytes one_shot(uint32_t n, const Bytes& key, const Bytes& data) {
  Bytes out(n);
  EXPECT_EQ(GOSTR3411_2012_HMAC(n, data.data(), static_cast<uint32_t>(data.size()), key.data(),
                                static_cast<uint32_t>(key.size()), out.data()),
            0);
  return out;
}

TEST(Hmac, Rfc7836Examples) {
  const auto kat = read_kat("hmac_kdf_kat.txt");
  for (const auto& [name, n] : {std::pair{"hmac.gostr3411-2012-256.rfc7836", 32u},
                                std::pair{"hmac.gostr3411-2012-512.rfc7836", 64u}}) {
    const Block& v = kat.at(name);
    const Bytes key = hex(v.at("key")), data = hex(v.at("data"));
    Bytes out(n);
    if (n == 32) {
      ASSERT_EQ(GOSTR3411_2012_HMAC_256(data.data(), 16, key.data(), 32, out.data()), 0);
    } else {
      ASSERT_EQ(GOSTR3411_2012_HMAC_512(data.data(), 16, key.data(), 32, out.data()), 0);
    }
    EXPECT_EQ(to_hex(out), v.at("hmac")) << name;

    Gost3411_2012HmacContext ctx;
    Bytes inc(n);
    ASSERT_EQ(GOSTR3411_2012_HMAC_Init(&ctx, n, key.data(), 32), 0);
    ASSERT_EQ(GOSTR3411_2012_HMAC_Update(&ctx, data.data(), 5), 0);
    ASSERT_EQ(GOSTR3411_2012_HMAC_Update(&ctx, data.data() + 5, 11), 0);
    ASSERT_EQ(GOSTR3411_2012_HMAC_Final(&ctx, inc.data()), 0);
    EXPECT_EQ(to_hex(inc), v.at("hmac")) << name;
  }
}

// Keys around the block size (64 used as it stands, 65 hashed first), the
// empty key and message, long messages: one-shot and split against libgcrypt.
TEST(Hmac, RandomAgainstLibgcrypt) {
  std::mt19937 rng(7836);
  const size_t key_lens[] = {0, 1, 31, 32, 63, 64, 65, 100, 200};
  const size_t data_lens[] = {0, 1, 63, 64, 65, 127, 128, 129, 1000};
  for (uint32_t n : {32u, 64u}) {
    for (size_t kl : key_lens) {
      for (size_t dl : data_lens) {
        const Bytes key = random_bytes(rng, kl), data = random_bytes(rng, dl);
        const Bytes want = gcry_hmac(n, key, data);
        ASSERT_EQ(one_shot(n, key, data), want) << n << " " << kl << " " << dl;

        Gost3411_2012HmacContext ctx;
        ASSERT_EQ(GOSTR3411_2012_HMAC_Init(&ctx, n, key.data(), static_cast<uint32_t>(kl)), 0);
        size_t off = 0;
        while (off < dl) {
          const size_t take = std::min<size_t>(dl - off, rng() % 70);
          ASSERT_EQ(
              GOSTR3411_2012_HMAC_Update(&ctx, data.data() + off, static_cast<uint32_t>(take)), 0);
          off += take;
        }
        Bytes inc(n);
        ASSERT_EQ(GOSTR3411_2012_HMAC_Final(&ctx, inc.data()), 0);
        ASSERT_EQ(inc, want) << n << " " << kl << " " << dl;
      }
    }
  }
}

// After Final, Reset starts a new message under the same key.
TEST(Hmac, ResetAfterFinalGivesNextMessage) {
  std::mt19937 rng(1);
  const Bytes key = random_bytes(rng, 80), m1 = random_bytes(rng, 50), m2 = random_bytes(rng, 99);
  for (uint32_t n : {32u, 64u}) {
    Gost3411_2012HmacContext ctx;
    Bytes t1(n), t2(n);
    ASSERT_EQ(GOSTR3411_2012_HMAC_Init(&ctx, n, key.data(), 80), 0);
    ASSERT_EQ(GOSTR3411_2012_HMAC_Update(&ctx, m1.data(), 50), 0);
    ASSERT_EQ(GOSTR3411_2012_HMAC_Final(&ctx, t1.data()), 0);
    if (n == 32) {
      ASSERT_EQ(GOSTR3411_2012_HMAC_256_Reset(&ctx), 0);
      ASSERT_EQ(GOSTR3411_2012_HMAC_256_Update(&ctx, m2.data(), 99), 0);
      ASSERT_EQ(GOSTR3411_2012_HMAC_256_Final(&ctx, t2.data()), 0);
    } else {
      ASSERT_EQ(GOSTR3411_2012_HMAC_512_Reset(&ctx), 0);
      ASSERT_EQ(GOSTR3411_2012_HMAC_512_Update(&ctx, m2.data(), 99), 0);
      ASSERT_EQ(GOSTR3411_2012_HMAC_512_Final(&ctx, t2.data()), 0);
    }
    EXPECT_EQ(t1, one_shot(n, key, m1));
    EXPECT_EQ(t2, one_shot(n, key, m2));
  }
}

TEST(Hmac, EmptyKeyEqualsZeroBlockAndOutputMayAliasInput) {
  std::mt19937 rng(2);
  const Bytes data = random_bytes(rng, 40);
  Bytes with_null(32), with_zeros(32);
  ASSERT_EQ(GOSTR3411_2012_HMAC_256(data.data(), 40, nullptr, 0, with_null.data()), 0);
  const Bytes zeros(64, 0);
  ASSERT_EQ(GOSTR3411_2012_HMAC_256(data.data(), 40, zeros.data(), 64, with_zeros.data()), 0);
  EXPECT_EQ(with_null, with_zeros);

  Bytes key = random_bytes(rng, 64);
  const Bytes want = one_shot(64, key, data);
  ASSERT_EQ(GOSTR3411_2012_HMAC_512(data.data(), 40, key.data(), 64, key.data()), 0);
  EXPECT_EQ(key, want);
}

TEST(Hmac, ArgumentCodes) {
  const uint8_t key[32] = {1}, data[8] = {2};
  uint8_t out[64];
  memset(out, 0xee, sizeof(out));
  EXPECT_EQ(GOSTR3411_2012_HMAC(48, data, 8, key, 32, out), -1);
  EXPECT_EQ(GOSTR3411_2012_HMAC(32, nullptr, 8, key, 32, out), -1);
  EXPECT_EQ(GOSTR3411_2012_HMAC(32, data, 8, key, 32, nullptr), -1);
  EXPECT_EQ(GOSTR3411_2012_HMAC(32, data, 8, nullptr, 32, out), -1);
  for (uint8_t b : out) ASSERT_EQ(b, 0xee);
  EXPECT_EQ(GOSTR3411_2012_HMAC(32, nullptr, 0, key, 32, out), 0);
  memset(out, 0xee, sizeof(out));

  Gost3411_2012HmacContext ctx;
  EXPECT_EQ(GOSTR3411_2012_HMAC_Init(nullptr, 32, key, 32), -1);
  EXPECT_EQ(GOSTR3411_2012_HMAC_256_Init(nullptr, key, 32), -1);
  EXPECT_EQ(GOSTR3411_2012_HMAC_512_Init(nullptr, key, 32), -1);
  EXPECT_EQ(GOSTR3411_2012_HMAC_Init(&ctx, 32, nullptr, 5), -1);
  EXPECT_EQ(GOSTR3411_2012_HMAC_Init(&ctx, 48, key, 32), -1);
  // A long key meets the length check in the hash of the key.
  const Bytes long_key(100, 3);
  EXPECT_EQ(GOSTR3411_2012_HMAC_Init(&ctx, 48, long_key.data(), 100), -3);

  ASSERT_EQ(GOSTR3411_2012_HMAC_512_Init(&ctx, key, 32), 0);
  // The sized wrappers refuse a context of the other length with -1 (not -2).
  EXPECT_EQ(GOSTR3411_2012_HMAC_256_Update(&ctx, data, 8), -1);
  EXPECT_EQ(GOSTR3411_2012_HMAC_256_Reset(&ctx), -1);
  EXPECT_EQ(GOSTR3411_2012_HMAC_256_Final(&ctx, out), -1);
  EXPECT_EQ(GOSTR3411_2012_HMAC_Update(&ctx, nullptr, 1), -1);
  EXPECT_EQ(GOSTR3411_2012_HMAC_Update(nullptr, data, 1), -1);
  EXPECT_EQ(GOSTR3411_2012_HMAC_Final(&ctx, nullptr), -1);
  EXPECT_EQ(GOSTR3411_2012_HMAC_Final(nullptr, out), -1);
  EXPECT_EQ(GOSTR3411_2012_HMAC_Reset(nullptr), -1);
  EXPECT_EQ(GOSTR3411_2012_HMAC_512_Reset(nullptr), -1);
  EXPECT_EQ(GOSTR3411_2012_HMAC_512_Update(nullptr, data, 1), -1);
  EXPECT_EQ(GOSTR3411_2012_HMAC_512_Final(nullptr, out), -1);
  for (uint8_t b : out) ASSERT_EQ(b, 0xee);
}

TEST(Hmac, FailureLinesGoToTheDiagnosticStream) {
  orvel_test::TempDir dir;
  const std::string log = dir.file("vkc.log");
  ASSERT_EQ(vkc_set_log_file(log.c_str()), 0);
  uint8_t out[64];
  const uint8_t data[1] = {0};
  Gost3411_2012HmacContext ctx;
  EXPECT_EQ(GOSTR3411_2012_HMAC(48, data, 1, nullptr, 0, out), -1);
  EXPECT_EQ(GOSTR3411_2012_HMAC(32, nullptr, 7, nullptr, 0, out), -1);
  ASSERT_EQ(GOSTR3411_2012_HMAC_Init(&ctx, 64, nullptr, 0), 0);
  EXPECT_EQ(GOSTR3411_2012_HMAC_256_Final(&ctx, out), -1);
  vkc_set_log_file(nullptr);
  const std::string text = orvel_test::read_file(log);
  EXPECT_NE(text.find("GOSTR3411_2012_HMAC. Invalid hmac_len 48\n"), std::string::npos) << text;
  EXPECT_NE(text.find("GOSTR3411_2012_HMAC. NULL data for data_len 7\n"), std::string::npos);
  EXPECT_NE(text.find("GOSTR3411_2012_HMAC_256_Final. Invalid digest size in context: 64\n"),
            std::string::npos);
}

}  // namespace
