// The "rand" engine: installed as the toolkit's random source by the
// system's engine loading, so that RAND_bytes and key generation draw from
// the VPRNG; the pool, the SEED command, cleanup and failure results.
#include <gtest/gtest.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/engine.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <cstring>
#include <set>
#include <string>
#include <thread>

#include "engines/rand/e_rand.h"
#include "engines/rand/e_rand_meth.h"
#include "engines/rand/vprng.h"
#include "objects/engine_loader.h"
#include "ossl_ptr.h"
#include "vprng_test_util.h"

using namespace vprng_test;

namespace {

Bytes rand_bytes(int n) {
  Bytes b(static_cast<size_t>(n));
  EXPECT_EQ(RAND_bytes(b.data(), n), 1);
  return b;
}

Bytes pool() {
  vprng_lock();
  Bytes p(vprng_engine_state().seed_pool, vprng_engine_state().seed_pool + 40);
  vprng_unlock();
  return p;
}

int32_t pool_idx() {
  vprng_lock();
  int32_t idx = vprng_engine_state().idx;
  vprng_unlock();
  return idx;
}

orvel::EnginePtr rand_engine() { return orvel::EnginePtr(ENGINE_by_id("rand")); }

int seed_command(const char* path, void (*cb)(void) = nullptr) {
  auto e = rand_engine();
  return e ? ENGINE_ctrl(e.get(), kVprngCmdSeed, 0, const_cast<char*>(path), cb) : -100;
}

// The private scalar of a fresh key of the given type.
std::string keygen(const char* type) {
  orvel::EvpPkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_name(nullptr, type, nullptr));
  EXPECT_TRUE(ctx);
  EXPECT_EQ(EVP_PKEY_keygen_init(ctx.get()), 1);
  if (strcmp(type, "EC") == 0) {
    EXPECT_EQ(EVP_PKEY_CTX_set_group_name(ctx.get(), "prime256v1"), 1);
  } else {
    EXPECT_EQ(EVP_PKEY_CTX_set_rsa_keygen_bits(ctx.get(), 1024), 1);
  }
  EVP_PKEY* raw = nullptr;
  EXPECT_EQ(EVP_PKEY_keygen(ctx.get(), &raw), 1);
  orvel::EvpPkeyPtr key(raw);
  BIGNUM* bn = nullptr;
  const char* param = strcmp(type, "EC") == 0 ? OSSL_PKEY_PARAM_PRIV_KEY : OSSL_PKEY_PARAM_RSA_D;
  EXPECT_EQ(EVP_PKEY_get_bn_param(key.get(), param, &bn), 1);
  orvel::BigNumPtr owned(bn);
  char* hex = BN_bn2hex(bn);
  std::string s = hex ? hex : "";
  OPENSSL_free(hex);
  return s;
}

void dummy_callback() {}

}  // namespace

TEST(VprngEngine, LoaderInstallsItAsTheDefaultRandomSource) {
  ssf_load_builtin_engines();
  auto e = rand_engine();
  ASSERT_TRUE(e);
  EXPECT_STREQ(ENGINE_get_name(e.get()), "KESTRUM-Soft BrekSSL Internal RAND engine");
  EXPECT_EQ(ENGINE_get_RAND(e.get()), &rand_vprng_meth);
  EXPECT_EQ(RAND_get_rand_method(), &rand_vprng_meth);
  ENGINE* def = ENGINE_get_default_RAND();
  ASSERT_NE(def, nullptr);
  EXPECT_STREQ(ENGINE_get_id(def), "rand");
  ENGINE_finish(def);
  EXPECT_EQ(vprng_engine_state().initialized, 1);
  EXPECT_EQ(RAND_status(), 1);
  const ENGINE_CMD_DEFN* cmds = ENGINE_get_cmd_defns(e.get());
  ASSERT_NE(cmds, nullptr);
  EXPECT_EQ(cmds[0].cmd_num, 200u);
  EXPECT_STREQ(cmds[0].cmd_name, "SEED");
  EXPECT_STREQ(cmds[0].cmd_desc, "VPRNG seed path and callback");
  EXPECT_EQ(cmds[0].cmd_flags, 2u);
  EXPECT_EQ(cmds[1].cmd_num, 0u);
}

TEST(VprngEngine, ReplacesAnAlreadyFixedRandomMethod) {
  // The toolkit fixes its random method at the first use.
  Bytes before = rand_bytes(16);
  EXPECT_NE(RAND_get_rand_method(), &rand_vprng_meth);
  ssf_load_builtin_engines();
  EXPECT_EQ(RAND_get_rand_method(), &rand_vprng_meth);
}

// With the system entropy replaced by zeros, the generator is a function of
// the pool: RAND_bytes must give what a private generator started from the
// same (all-zero) pool gives.
TEST(VprngEngine, RandBytesComeFromTheGenerator) {
  EntropySource zero(zero_entropy);
  ssf_load_builtin_engines();
  VPRNG_CTX ctx{};
  uint8_t seed[40] = {0}, new_seed[40];
  ASSERT_EQ(VPRNG_init(&ctx, seed, new_seed), 0);
  Bytes expected(300);
  ASSERT_EQ(VPRNG_get_random_bytes(&ctx, expected.data(), 100), 0);
  ASSERT_EQ(VPRNG_get_random_bytes(&ctx, expected.data() + 100, 200), 0);
  Bytes got = rand_bytes(100);
  Bytes priv(200);
  ASSERT_EQ(RAND_priv_bytes(priv.data(), 200), 1);
  EXPECT_EQ(concat(got, priv), expected);
}

TEST(VprngEngine, KeyGenerationDrawsFromTheGenerator) {
  EntropySource zero(zero_entropy);
  ssf_load_builtin_engines();
  // The same pool and the same (zero) entropy restart the same stream:
  // keys made after each restart are equal.
  for (const char* type : {"EC", "RSA"}) {
    ASSERT_EQ(seed_command(nullptr), 1);
    std::string first = keygen(type);
    ASSERT_EQ(seed_command(nullptr), 1);
    EXPECT_EQ(keygen(type), first) << type;
    EXPECT_NE(keygen(type), first) << type;
  }
}

TEST(VprngEngine, KeysDifferWithSystemEntropy) {
  ssf_load_builtin_engines();
  ASSERT_EQ(seed_command(nullptr), 1);
  std::string first = keygen("EC");
  ASSERT_EQ(seed_command(nullptr), 1);
  EXPECT_NE(keygen("EC"), first);
}

TEST(VprngEngine, PoolInputPositionsAdvanceByTheByteIndex) {
  ssf_load_builtin_engines();
  ASSERT_EQ(pool(), Bytes(40, 0));
  const uint8_t three[3] = {0x01, 0x02, 0x04};
  RAND_add(three, 3, 3.0);
  Bytes p = pool();
  EXPECT_EQ(p[0], 0x01);
  EXPECT_EQ(p[1], 0x02);
  EXPECT_EQ(p[2], 0x00);
  EXPECT_EQ(p[3], 0x04);
  EXPECT_EQ(pool_idx(), 3);
  // The next input starts at position 3: k-th byte at (p + k) mod 40.
  Bytes ten(10, 0x80);
  RAND_seed(ten.data(), 10);
  Bytes expected = p;
  size_t pos = 3;
  for (size_t k = 0; k < 10; ++k) {
    pos = (pos + k) % 40;
    expected[pos] ^= 0x80;
  }
  EXPECT_EQ(pool(), expected);
  EXPECT_EQ(pool_idx(), static_cast<int32_t>(pos));
  EXPECT_EQ(pos, 8u);  // 3, 4, 6, 9, 13, 18, 24, 31, 39, 48 mod 40
  // Nothing for empty or negative lengths.
  EXPECT_EQ(vprng_rand_add(ten.data(), 0, 0), 1);
  EXPECT_EQ(vprng_rand_add(ten.data(), -3, 0), 1);
  EXPECT_EQ(pool(), expected);
}

TEST(VprngEngine, PoolFeedsTheNextStart) {
  EntropySource zero(zero_entropy);
  ssf_load_builtin_engines();
  Bytes input(40);
  for (size_t i = 0; i < input.size(); ++i) input[i] = static_cast<uint8_t>(i * 7 + 1);
  RAND_add(input.data(), 40, 40.0);
  Bytes p = pool();
  ASSERT_EQ(seed_command(nullptr), 1);
  VPRNG_CTX ctx{};
  uint8_t new_seed[40];
  ASSERT_EQ(VPRNG_init(&ctx, p.data(), new_seed), 0);
  Bytes expected(64);
  ASSERT_EQ(VPRNG_get_random_bytes(&ctx, expected.data(), 64), 0);
  EXPECT_EQ(rand_bytes(64), expected);
}

TEST(VprngEngine, SeedCommandKeepsPathAndCallbackAndRestarts) {
  ssf_load_builtin_engines();
  auto e = rand_engine();
  ASSERT_TRUE(e);
  Bytes key_before(vprng_engine_state().ctx.key, vprng_engine_state().ctx.key + 32);
  EXPECT_EQ(ENGINE_ctrl_cmd_string(e.get(), "SEED", "/var/lib/seed", 0), 1);
  ASSERT_NE(vprng_engine_state().seed_path, nullptr);
  EXPECT_STREQ(vprng_engine_state().seed_path, "/var/lib/seed");
  Bytes key_after(vprng_engine_state().ctx.key, vprng_engine_state().ctx.key + 32);
  EXPECT_NE(key_after, key_before);
  EXPECT_EQ(ENGINE_ctrl(e.get(), kVprngCmdSeed, 0, nullptr, dummy_callback), 1);
  EXPECT_STREQ(vprng_engine_state().seed_path, "/var/lib/seed");
  EXPECT_EQ(vprng_engine_state().seed_callback, dummy_callback);
  // NULL string and callback: still a restart.
  EXPECT_EQ(ENGINE_ctrl(e.get(), kVprngCmdSeed, 0, nullptr, nullptr), 1);
  EXPECT_NE(Bytes(vprng_engine_state().ctx.key, vprng_engine_state().ctx.key + 32), key_after);
  EXPECT_EQ(vprng_engine_state().seed_callback, dummy_callback);
  EXPECT_EQ(vprng_engine_state().initialized, 1);
}

TEST(VprngEngine, UnknownCommandsFail) {
  ssf_load_builtin_engines();
  auto e = rand_engine();
  ASSERT_TRUE(e);
  EXPECT_EQ(ENGINE_ctrl(e.get(), kVprngCmdReserved, 0, nullptr, nullptr), 1);
  ERR_clear_error();
  EXPECT_EQ(ENGINE_ctrl(e.get(), 250, 0, nullptr, nullptr), 0);
  EXPECT_EQ(ERR_GET_REASON(ERR_peek_last_error()), ENGINE_R_CTRL_COMMAND_NOT_IMPLEMENTED);
  EXPECT_EQ(ENGINE_ctrl_cmd_string(e.get(), "NOSUCH", "x", 0), 0);
}

TEST(VprngEngine, CleanupWipesAndTheNextUseRestarts) {
  ssf_load_builtin_engines();
  const uint8_t in[5] = {1, 2, 3, 4, 5};
  RAND_add(in, 5, 5.0);
  ASSERT_EQ(seed_command("/tmp/seed"), 1);
  Bytes p = pool();
  vprng_rand_cleanup();
  VprngEngineState& st = vprng_engine_state();
  EXPECT_EQ(st.initialized, 0);
  EXPECT_EQ(st.ctx.ready, 0u);
  EXPECT_EQ(Bytes(st.ctx.key, st.ctx.key + 32), Bytes(32, 0));
  EXPECT_EQ(st.idx, 0);
  EXPECT_EQ(st.seed_path, nullptr);
  EXPECT_EQ(pool(), p);  // the pool stays
  EXPECT_EQ(rand_bytes(32).size(), 32u);
  EXPECT_EQ(st.initialized, 1);
  vprng_rand_cleanup();
  EXPECT_EQ(RAND_status(), 1);
  EXPECT_EQ(st.initialized, 1);
  vprng_rand_cleanup();
  RAND_add(in, 5, 5.0);
  EXPECT_EQ(st.initialized, 1);
}

TEST(VprngEngine, FailureIsReportedAsZero) {
  ssf_load_builtin_engines();
  // A request beyond what is left of the budget makes the generator rekey,
  // and a rekey without entropy fails. (How much is left after start-up
  // depends on how many self-test rounds ran.)
  const uint32_t left = vprng_engine_state().ctx.bytes_left;
  Bytes b(left + 32);
  {
    EntropySource fail(failing_entropy);
    EXPECT_EQ(vprng_rand_bytes(b.data(), static_cast<int>(b.size())), 0);
    EXPECT_EQ(vprng_engine_state().ctx.bytes_left, 0u);
    EXPECT_EQ(RAND_bytes(b.data(), 32), 0);
    EXPECT_EQ(vprng_rand_pseudo_bytes(b.data(), 32), 0);
  }
  EXPECT_EQ(RAND_bytes(b.data(), 32), 1);
  EXPECT_EQ(vprng_rand_bytes(b.data(), 0), 1);
  EXPECT_EQ(vprng_rand_bytes(b.data(), -1), 1);
}

TEST(VprngEngine, ConcurrentUsersGetDistinctBytes) {
  ssf_load_builtin_engines();
  constexpr int kThreads = 4, kDraws = 300;
  std::vector<std::vector<Bytes>> got(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &got] {
      for (int i = 0; i < kDraws; ++i) {
        Bytes b(24);
        if (RAND_bytes(b.data(), 24) != 1) return;
        if (i % 50 == 0) RAND_add(b.data(), 8, 8.0);
        got[static_cast<size_t>(t)].push_back(b);
      }
    });
  }
  for (auto& th : threads) th.join();
  std::set<Bytes> all;
  for (auto& v : got) {
    EXPECT_EQ(v.size(), static_cast<size_t>(kDraws));
    all.insert(v.begin(), v.end());
  }
  EXPECT_EQ(all.size(), static_cast<size_t>(kThreads * kDraws));
}

TEST(VprngEngine, TakenEngineIdStillInstallsTheGenerator) {
  // A foreign engine called "rand" loaded before the system's.
  orvel::EnginePtr foreign(ENGINE_new());
  ASSERT_TRUE(foreign);
  ASSERT_EQ(ENGINE_set_id(foreign.get(), "rand"), 1);
  ASSERT_EQ(ENGINE_set_name(foreign.get(), "foreign"), 1);
  ASSERT_EQ(ENGINE_add(foreign.get()), 1);
  testing::internal::CaptureStderr();
  ssf_load_builtin_engines();
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("engine id \"rand\" is already in use"), std::string::npos) << err;
  EXPECT_EQ(RAND_get_rand_method(), &rand_vprng_meth);
  EXPECT_EQ(vprng_engine_state().initialized, 1);
  rand_bytes(64);
  EXPECT_STREQ(ENGINE_get_name(rand_engine().get()), "foreign");
}
