// GOST R 34.13-2015 modes: the standard's Appendix A examples, the MAC
// cases, the self-tests behind every init, argument codes and padding.
#include <gtest/gtest.h>

#include <cstring>

#include "gost3413_selftest.h"
#include "modes_api.h"
#include "vkc_kat_file.h"
#include "vkc_modes.h"

namespace {

using namespace vkc_modes_test;
using vkc::modes::SelfTest;
using vkc_kat::hex;
using vkc_kat::read_kat;
using vkc_kat::to_hex;

const std::map<std::string, vkc_kat::Block>& kat() {
  static const auto k = read_kat("gost3413_modes_kat.txt");
  return k;
}

Bytes run(const Config& c, uint8_t encrypt, const Bytes& key, const Bytes& iv, const Bytes& in) {
  VkcModeContext ctx;
  EXPECT_EQ(c.init(&ctx, encrypt, key.data(), iv.empty() ? nullptr : iv.data()), 0) << c.name();
  Bytes out(in.size());
  EXPECT_EQ(c.update()(&ctx, in.data(), out.data(), in.size()), 0) << c.name();
  return out;
}

TEST(ModesKat, AppendixAEveryModeBothDirections) {
  for (const Cipher* cipher : {&kKuznyechik, &kMagma}) {
    for (Mode mode : {Mode::kEcb, Mode::kCbc, Mode::kOfb, Mode::kCfb, Mode::kCtr}) {
      static const char* const kNames[] = {"ecb", "cbc", "ofb", "cfb", "ctr"};
      const auto& v =
          kat().at(std::string("gost3413-") + cipher->name + "-" + kNames[static_cast<int>(mode)]);
      const Bytes key = hex(v.at("key")), pt = hex(v.at("pt")), ct = hex(v.at("ct"));
      const Bytes iv = v.count("iv") ? hex(v.at("iv")) : Bytes{};
      const uint64_t m = v.count("m_bits") ? std::stoull(v.at("m_bits")) / 8 : 0;
      const Config c{cipher, mode, cipher->n, m};
      EXPECT_EQ(to_hex(run(c, 1, key, iv, pt)), v.at("ct")) << c.name();
      EXPECT_EQ(run(c, 0, key, iv, ct), pt) << c.name();
    }
  }
}

Bytes mac(const Cipher& c, const Bytes& key, uint64_t s, const Bytes& msg) {
  Bytes tag(s);
  EXPECT_EQ(c.mac(key.data(), s, msg.data(), msg.size(), tag.data()), 0);
  return tag;
}

TEST(ModesKat, MacExamplesPaddingAndShortTags) {
  for (const Cipher* c : {&kKuznyechik, &kMagma}) {
    const auto& v = kat().at(std::string("gost3413-") + c->name + "-mac");
    const Bytes key = hex(v.at("key")), pt = hex(v.at("pt"));
    EXPECT_EQ(to_hex(mac(*c, key, c->n, pt)), v.at("mac_full")) << c->name;
    const uint64_t s = std::stoull(v.at("s_bits")) / 8;
    EXPECT_EQ(to_hex(mac(*c, key, s, pt)), v.at("mac_published")) << c->name;
    const std::string part = c->n == 16 ? "mac_40" : "mac_20";
    EXPECT_EQ(to_hex(mac(*c, key, c->n, hex(v.at(part + "_msg")))), v.at(part + "_full"));
    if (c->n == 16) {
      // The empty message: E(80 00 .. 00 xor K2).
      VkcModeContext ctx;
      uint8_t tag[16];
      ASSERT_EQ(c->mac_init(&ctx, key.data(), 16), 0);
      ASSERT_EQ(c->mac_final(&ctx, tag), 0);
      EXPECT_EQ(to_hex(Bytes(tag, tag + 16)), v.at("mac_0_full"));
      EXPECT_EQ(to_hex(Bytes(ctx.k1, ctx.k1 + 16)), v.at("k1"));
      EXPECT_EQ(to_hex(Bytes(ctx.k2, ctx.k2 + 16)), v.at("k2"));
    }
  }
  const auto& p3 = kat().at("gost3413-padding-3");
  EXPECT_EQ(
      to_hex(mac(kMagma, hex(kat().at("gost3413-magma-mac").at("key")), 8, hex(p3.at("in_short")))),
      p3.at("magma_mac_full"));
  EXPECT_EQ(to_hex(mac(kKuznyechik, hex(kat().at("gost3413-kuznyechik-mac").at("key")), 16,
                       hex(p3.at("in_short_128")))),
            p3.at("kuznyechik_mac_full"));
}

// Final changes nothing: a second final gives the same tag, and further
// updates continue the message.
TEST(ModesKat, MacFinalLeavesTheMessageOpen) {
  for (const Cipher* c : {&kKuznyechik, &kMagma}) {
    const auto& v = kat().at(std::string("gost3413-") + c->name + "-mac");
    const Bytes key = hex(v.at("key")), pt = hex(v.at("pt"));
    VkcModeContext ctx;
    uint8_t t1[16], t2[16], t3[16];
    ASSERT_EQ(c->mac_init(&ctx, key.data(), c->n), 0);
    ASSERT_EQ(c->mac_update(&ctx, pt.data(), 20), 0);
    ASSERT_EQ(c->mac_final(&ctx, t1), 0);
    ASSERT_EQ(c->mac_final(&ctx, t2), 0);
    EXPECT_EQ(memcmp(t1, t2, c->n), 0);
    EXPECT_EQ(Bytes(t1, t1 + c->n), mac(*c, key, c->n, Bytes(pt.begin(), pt.begin() + 20)));
    ASSERT_EQ(c->mac_update(&ctx, pt.data() + 20, 0), 0);
    ASSERT_EQ(c->mac_update(&ctx, pt.data() + 20, pt.size() - 20), 0);
    ASSERT_EQ(c->mac_final(&ctx, t3), 0);
    EXPECT_EQ(to_hex(Bytes(t3, t3 + c->n)), v.at("mac_full"));
  }
}

// ---- self-tests -----------------------------------------------------------

struct SelfTestCase {
  SelfTest which;
  const Cipher* cipher;
  int mode;  // 0..4 a Mode, 5 the MAC
};

int32_t init_any(const SelfTestCase& t, VkcModeContext* ctx) {
  static const uint8_t key[32] = {1, 2, 3}, iv[32] = {4, 5, 6};
  if (t.mode == 5) return t.cipher->mac_init(ctx, key, t.cipher->n);
  const Config c{t.cipher, static_cast<Mode>(t.mode), t.cipher->n, t.cipher->n};
  return c.init(ctx, 1, key, iv);
}

class ModesSelfTest : public ::testing::TestWithParam<SelfTestCase> {
 protected:
  void TearDown() override { vkc::modes::testing::force_self_test_failure(SelfTest::kNone); }
};

// A failing known-answer test makes its init refuse with -14 and leave the
// caller's context untouched; the other inits are not affected.
TEST_P(ModesSelfTest, FailureRefusesInit) {
  const SelfTestCase& t = GetParam();
  VkcModeContext ctx;
  ASSERT_EQ(init_any(t, &ctx), 0);
  vkc::modes::testing::force_self_test_failure(t.which);
  memset(&ctx, 0xab, sizeof(ctx));
  EXPECT_EQ(init_any(t, &ctx), -14);
  // Self-test first: even a NULL context gets -14.
  EXPECT_EQ(init_any(t, nullptr), -14);
  const auto* bytes = reinterpret_cast<const uint8_t*>(&ctx);
  for (size_t i = 0; i < sizeof(ctx); ++i) ASSERT_EQ(bytes[i], 0xab) << i;
  if (t.mode == 5) {
    uint8_t tag[16];
    const uint8_t key[32] = {};
    EXPECT_EQ(t.cipher->mac(key, t.cipher->n, key, 32, tag), -14);
  }
  for (const Cipher* c : {&kKuznyechik, &kMagma}) {
    for (int mode = 0; mode <= 5; ++mode) {
      if (c == t.cipher && mode == t.mode) continue;
      VkcModeContext other;
      EXPECT_EQ(init_any({t.which, c, mode}, &other), 0) << c->name << " " << mode;
    }
  }
}

std::string self_test_name(const ::testing::TestParamInfo<SelfTestCase>& param_info) {
  static const char* const kModeNames[] = {"ecb", "cbc", "ofb", "cfb", "ctr", "mac"};
  return std::string(param_info.param.cipher->name) + "_" + kModeNames[param_info.param.mode];
}

INSTANTIATE_TEST_SUITE_P(All, ModesSelfTest,
                         ::testing::Values(SelfTestCase{SelfTest::kKEcb, &kKuznyechik, 0},
                                           SelfTestCase{SelfTest::kKCbc, &kKuznyechik, 1},
                                           SelfTestCase{SelfTest::kKOfb, &kKuznyechik, 2},
                                           SelfTestCase{SelfTest::kKCfb, &kKuznyechik, 3},
                                           SelfTestCase{SelfTest::kKCtr, &kKuznyechik, 4},
                                           SelfTestCase{SelfTest::kKMac, &kKuznyechik, 5},
                                           SelfTestCase{SelfTest::kMEcb, &kMagma, 0},
                                           SelfTestCase{SelfTest::kMCbc, &kMagma, 1},
                                           SelfTestCase{SelfTest::kMOfb, &kMagma, 2},
                                           SelfTestCase{SelfTest::kMCfb, &kMagma, 3},
                                           SelfTestCase{SelfTest::kMCtr, &kMagma, 4},
                                           SelfTestCase{SelfTest::kMMac, &kMagma, 5}),
                         self_test_name);

TEST(ModesSelfTests, AllPassOnTheirOwn) {
  using namespace vkc::modes;
  for (auto f : {SelfTestGostKEcb, SelfTestGostKCbc, SelfTestGostKOfb, SelfTestGostKCfb,
                 SelfTestGostKCtr, SelfTestGostKMac, SelfTestGostMEcb, SelfTestGostMCbc,
                 SelfTestGostMOfb, SelfTestGostMCfb, SelfTestGostMCtr, SelfTestGostMMac}) {
    EXPECT_EQ(f(), 0);
  }
}

// ---- argument codes ---------------------------------------------------------

TEST(ModesArguments, InitLimits) {
  const uint8_t key[32] = {}, iv[256] = {};
  VkcModeContext ctx;
  for (const Cipher* c : {&kKuznyechik, &kMagma}) {
    const uint64_t n = c->n;
    EXPECT_EQ(c->ecb_init(nullptr, 1, key), -1);
    EXPECT_EQ(c->ecb_init(&ctx, 1, nullptr), -1);
    EXPECT_EQ(c->cbc_init(&ctx, 1, key, nullptr, n), -1);
    EXPECT_EQ(c->cbc_init(&ctx, 1, key, iv, 0), -4);
    EXPECT_EQ(c->cbc_init(&ctx, 1, key, iv, c->max_m + n), -4);
    EXPECT_EQ(c->cbc_init(&ctx, 1, key, iv, n + 1), -6);
    EXPECT_EQ(c->cbc_init(&ctx, 1, key, iv, c->max_m), 0);
    for (auto init : {c->ofb_init, c->cfb_init}) {
      EXPECT_EQ(init(&ctx, 1, key, n, nullptr, n), -1);
      EXPECT_EQ(init(&ctx, 1, key, 0, iv, n), -4);
      EXPECT_EQ(init(&ctx, 1, key, n + 1, iv, n), -4);
      EXPECT_EQ(init(&ctx, 1, key, n, iv, 0), -4);
      EXPECT_EQ(init(&ctx, 1, key, n, iv, c->max_m + n), -4);
      EXPECT_EQ(init(&ctx, 1, key, n, iv, n + n / 2), -6);
      EXPECT_EQ(init(&ctx, 1, key, 1, iv, c->max_m), 0);
    }
    EXPECT_EQ(c->ctr_init(&ctx, 1, key, n, nullptr), -1);
    EXPECT_EQ(c->ctr_init(&ctx, 1, key, 0, iv), -4);
    EXPECT_EQ(c->ctr_init(&ctx, 1, key, n + 1, iv), -4);
    EXPECT_EQ(c->mac_init(nullptr, key, n), -1);
    EXPECT_EQ(c->mac_init(&ctx, nullptr, n), -1);
    EXPECT_EQ(c->mac_init(&ctx, key, 0), -4);
    EXPECT_EQ(c->mac_init(&ctx, key, n + 1), -4);
  }
  EXPECT_EQ(vkc_kuznyechik_ofb_init(&ctx, 1, key, 16, iv, 24), -6);
}

TEST(ModesArguments, UpdateCodesWriteNothing) {
  const uint8_t key[32] = {}, iv[32] = {};
  uint8_t in[32] = {}, out[32];
  for (const Cipher* c : {&kKuznyechik, &kMagma}) {
    for (Mode mode : {Mode::kEcb, Mode::kCbc, Mode::kOfb, Mode::kCfb, Mode::kCtr}) {
      const Config cfg{c, mode, c->n, c->n};
      VkcModeContext ctx;
      memset(&ctx, 0, sizeof(ctx));
      memset(out, 0x5c, sizeof(out));
      EXPECT_EQ(cfg.update()(&ctx, in, out, 16), -152) << cfg.name();
      ASSERT_EQ(cfg.init(&ctx, 1, key, iv), 0);
      const VkcModeContext before = ctx;
      EXPECT_EQ(cfg.update()(nullptr, in, out, 16), -1);
      EXPECT_EQ(cfg.update()(&ctx, nullptr, out, 16), -1);
      EXPECT_EQ(cfg.update()(&ctx, in, nullptr, 16), -1);
      EXPECT_EQ(cfg.update()(&ctx, in, out, 0), -4);
      if (cfg.whole_blocks()) {
        EXPECT_EQ(cfg.update()(&ctx, in, out, c->n + 1), -6);
      }
      for (uint8_t b : out) ASSERT_EQ(b, 0x5c) << cfg.name();
      EXPECT_EQ(memcmp(&before, &ctx, sizeof(ctx)), 0) << cfg.name();
    }
    // A context of another mode or cipher counts as not initialised.
    VkcModeContext ctx;
    ASSERT_EQ(c->ecb_init(&ctx, 1, key), 0);
    EXPECT_EQ(c->ctr(&ctx, in, out, 16), -152);
    const Cipher* other = c == &kMagma ? &kKuznyechik : &kMagma;
    EXPECT_EQ(other->ecb(&ctx, in, out, 16), -152);
    EXPECT_EQ(c->mac_update(&ctx, in, 1), -152);
    EXPECT_EQ(c->mac_final(&ctx, out), -152);

    ASSERT_EQ(c->mac_init(&ctx, key, c->n), 0);
    EXPECT_EQ(c->mac_update(nullptr, in, 1), -1);
    EXPECT_EQ(c->mac_update(&ctx, nullptr, 1), -1);
    EXPECT_EQ(c->mac_update(&ctx, nullptr, 0), 0);
    EXPECT_EQ(c->mac_final(nullptr, out), -1);
    EXPECT_EQ(c->mac_final(&ctx, nullptr), -1);
    EXPECT_EQ(c->mac(key, 0, in, 1, out), -4);
    EXPECT_EQ(c->mac(nullptr, c->n, in, 1, out), -1);
    EXPECT_EQ(c->mac(key, c->n, in, 1, nullptr), -1);
  }
}

// An all-0xFF counter block wraps to zero for the next segment.
TEST(ModesCtr, CounterWrapsModulo) {
  const uint8_t key[32] = {7};
  for (const Cipher* c : {&kKuznyechik, &kMagma}) {
    const uint8_t iv[8] = {};
    VkcModeContext ctx, ecb;
    ASSERT_EQ(c->ctr_init(&ctx, 1, key, c->n, iv), 0);
    memset(ctx.counter, 0xff, c->n);
    uint8_t zeros[32] = {}, stream[32];
    ASSERT_EQ(c->ctr(&ctx, zeros, stream, 2 * c->n), 0);
    uint8_t blocks[32];
    memset(blocks, 0xff, c->n);
    memset(blocks + c->n, 0, c->n);
    ASSERT_EQ(c->ecb_init(&ecb, 1, key), 0);
    ASSERT_EQ(c->ecb(&ecb, blocks, blocks, 2 * c->n), 0);
    EXPECT_EQ(memcmp(stream, blocks, 2 * c->n), 0) << c->name;
  }
}

// ---- padding ----------------------------------------------------------------

TEST(ModesPadding, ProcedureTwo) {
  const auto& v = kat().at("gost3413-padding-2");
  for (const char* which : {"short", "aligned"}) {
    Bytes buf = hex(v.at(std::string("in_") + which));
    const size_t len = buf.size();
    buf.resize(len + 8, 0xee);
    const int64_t got = vkc_padd(buf.data(), len, 8);
    ASSERT_GT(got, 0);
    buf.resize(static_cast<size_t>(got));
    EXPECT_EQ(to_hex(buf), v.at(std::string("out_") + which));
    EXPECT_EQ(vkc_unpadd(buf.data(), buf.size()), static_cast<int64_t>(len));
  }
  uint8_t b[32];
  memset(b, 0xee, sizeof(b));
  EXPECT_EQ(vkc_padd(b, 16, 16), 32);
  EXPECT_EQ(b[16], 0x80);
  for (int i = 17; i < 32; ++i) EXPECT_EQ(b[i], 0);
  EXPECT_EQ(vkc_padd(b, 15, 16), 16);
  EXPECT_EQ(b[15], 0x80);
  EXPECT_EQ(vkc_padd(b, 0, 8), 8);
  EXPECT_EQ(vkc_padd(nullptr, 3, 8), -1);
  EXPECT_EQ(vkc_padd(b, 3, 0), -1);
  EXPECT_EQ(vkc_padd(b, 3, UINT64_MAX), -1);
  EXPECT_EQ(vkc_padd(b, UINT64_MAX - 2, 8), -1);
  EXPECT_EQ(vkc_padd_back(b, 0, 8), -4);
  EXPECT_EQ(vkc_padd_back(nullptr, 3, 8), -1);
  EXPECT_EQ(vkc_padd_back(b, 3, 0), -1);
  EXPECT_EQ(vkc_padd_back(b, 3, 8), 8);

  const uint8_t a[] = {0xa1, 0x80, 0, 0}, c[] = {0xa1, 0xa2, 0xa3, 0x80},
                d[] = {0xa1, 0xa2, 0xa3, 0xa4}, z[] = {0, 0, 0, 0};
  EXPECT_EQ(vkc_unpadd(a, 4), 1);
  EXPECT_EQ(vkc_unpadd(c, 4), 3);
  EXPECT_EQ(vkc_unpadd(d, 4), -15);
  EXPECT_EQ(vkc_unpadd(z, 4), -15);
  EXPECT_EQ(vkc_unpadd(a, 1), -15);
  EXPECT_EQ(vkc_unpadd(a, 0), -4);
  EXPECT_EQ(vkc_unpadd(nullptr, 4), -1);
}

}  // namespace
