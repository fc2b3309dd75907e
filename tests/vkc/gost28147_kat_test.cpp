// Known answers of GOST 28147-89 under every stored parameter set: S-box
// tables, ECB, CFB with and without key meshing, counter mode, MAC, key
// meshing and the CryptoPro key diversification with key wrap.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstring>

#include "gost28147.h"
#include "gost28147_params.h"
#include "gost28147_sbox.h"
#include "gost28147_test_util.h"

using namespace gost_test;

namespace {

const std::map<std::string, Block>& vectors() {
  static const auto v = read_vectors("gost28147_vectors.txt");
  return v;
}

const Block& vec(const std::string& name) {
  auto it = vectors().find(name);
  if (it == vectors().end()) throw std::runtime_error("no vector block " + name);
  return it->second;
}

std::string sha256_hex(const Bytes& b) {
  unsigned char md[32];
  unsigned int n = 0;
  EVP_Digest(b.data(), b.size(), md, &n, EVP_sha256(), nullptr);
  return to_hex(md, n);
}

Bytes counting(size_t n) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i);
  return b;
}

const Gost28147ExpandedSbox* z_sbox() { return &TZ_28147_89[5]; }
const Gost28147ExpandedSbox* a_sbox() { return &TZ_28147_89[1]; }

Bytes mac_state(const Gost28147ExpandedSbox* s, bool meshing, const Bytes& key, const Bytes& msg,
                const Bytes& iv = {}) {
  Gost28147Context ctx;
  Bytes out;
  EXPECT_EQ(ctx_run(1, s, GOST28147_MODE_IMITO, meshing ? 1 : 0, iv, key, msg, &out, &ctx), 0);
  Bytes state(8);
  memcpy(state.data(), ctx.mac, 8);
  return state;
}

}  // namespace

// Every stored table is the expansion of the published substitution rows and
// encrypts the published one-block answers.
TEST(Gost28147Kat, StoredSboxesMatchPublishedRowsAndAnswers) {
  for (const auto& set : sbox_sets()) {
    SCOPED_TRACE(set.block);
    const Block& b = vec(set.block);
    const Gost28147ExpandedSbox& tz = TZ_28147_89[set.row];
    EXPECT_EQ(tz.initialised, 1u);
    for (int k = 0; k < 4; ++k) {
      const std::string& lo = b.at("k" + std::to_string(2 * k + 1));
      const std::string& hi = b.at("k" + std::to_string(2 * k + 2));
      for (uint32_t x = 0; x < 256; ++x) {
        uint32_t v = std::stoul(std::string(1, hi[x >> 4]), nullptr, 16) << 4 |
                     std::stoul(std::string(1, lo[x & 15]), nullptr, 16);
        v <<= 8 * k;
        v = v << 11 | v >> 21;
        ASSERT_EQ(tz.table[k][x], v) << "table " << k << " entry " << x;
      }
    }
    for (const char* prefix : {"ecb_", "lgtest_"}) {
      std::string p = prefix;
      Bytes key = hex(b.at(p + "key")), pt = hex(b.at(p + "pt"));
      uint32_t kw[8];
      key_words(key, kw);
      Bytes ct(8), back(8);
      GostBuffer bi = {8, pt.data()}, bo = {8, ct.data()};
      ASSERT_EQ(VKC_Gost_SS_m(&tz, &bi, &bo, kw, 1), 0);
      EXPECT_EQ(to_hex(ct), b.at(p + "ct"));
      GostBuffer ci = {8, ct.data()}, co = {8, back.data()};
      ASSERT_EQ(VKC_Gost_SS_m(&tz, &ci, &co, kw, 0), 0);
      EXPECT_EQ(back, pt);
    }
  }
}

TEST(Gost28147Kat, EcbMultiBlockThroughContext) {
  for (auto [name, row] : {std::pair{"gost28147-ecb-tc26-z", 5}, {"gost28147-ecb-cryptopro-a", 1}}) {
    SCOPED_TRACE(name);
    const Block& b = vec(name);
    Bytes key = hex(b.at("key")), pt = hex(b.at("pt")), ct;
    ASSERT_EQ(ctx_run(1, &TZ_28147_89[row], GOST28147_MODE_ECB, 0, {}, key, pt, &ct), 0);
    EXPECT_EQ(to_hex(ct), b.at("ct"));
    Bytes back;
    ASSERT_EQ(ctx_run(0, &TZ_28147_89[row], GOST28147_MODE_ECB, 0, {}, key, ct, &back), 0);
    EXPECT_EQ(back, pt);
  }
}

TEST(Gost28147Kat, CfbPublishedEveryCryptoProSet) {
  const std::pair<const char*, int> cases[] = {
      {"gost28147-cfb-published-cryptopro-a", 1}, {"gost28147-cfb-published-cryptopro-b", 2},
      {"gost28147-cfb-published-cryptopro-c", 3}, {"gost28147-cfb-published-cryptopro-d", 4},
      {"gost28147-cfb-published-tc26-z", 5}};
  for (auto [name, row] : cases) {
    SCOPED_TRACE(name);
    const Block& b = vec(name);
    Bytes key = hex(b.at("key")), iv = hex(b.at("iv")), pt = hex(b.at("pt")), ct, back;
    ASSERT_EQ(ctx_run(1, &TZ_28147_89[row], GOST28147_MODE_CFB, 1, iv, key, pt, &ct), 0);
    EXPECT_EQ(to_hex(ct), b.at("ct"));
    ASSERT_EQ(ctx_run(0, &TZ_28147_89[row], GOST28147_MODE_CFB, 1, iv, key, ct, &back), 0);
    EXPECT_EQ(back, pt);
  }
}

TEST(Gost28147Kat, CfbFourKilobytesWithAndWithoutMeshing) {
  for (auto [name, row] : {std::pair{"gost28147-cfb-meshing-4096-tc26-z", 5},
                           {"gost28147-cfb-meshing-4096-cryptopro-a", 1}}) {
    SCOPED_TRACE(name);
    const Block& b = vec(name);
    Bytes key = hex(b.at("key")), iv = hex(b.at("iv")), pt = counting(4096), ct, back;
    ASSERT_EQ(ctx_run(1, &TZ_28147_89[row], GOST28147_MODE_CFB, 1, iv, key, pt, &ct), 0);
    EXPECT_EQ(to_hex(ct.data(), 16), b.at("ct_first16"));
    EXPECT_EQ(to_hex(ct.data() + 1016, 24), b.at("ct_at_1016"));
    EXPECT_EQ(to_hex(ct.data() + 4080, 16), b.at("ct_last16"));
    EXPECT_EQ(sha256_hex(ct), b.at("ct_sha256"));
    ASSERT_EQ(ctx_run(0, &TZ_28147_89[row], GOST28147_MODE_CFB, 1, iv, key, ct, &back), 0);
    EXPECT_EQ(back, pt);
    ASSERT_EQ(ctx_run(1, &TZ_28147_89[row], GOST28147_MODE_CFB, 0, iv, key, pt, &ct), 0);
    EXPECT_EQ(sha256_hex(ct), b.at("nomesh_ct_sha256"));
  }
}

TEST(Gost28147Kat, CounterModeParamZ) {
  const Block& b = vec("gost28147-cnt-tc26-z");
  Bytes key = hex(b.at("key")), iv = hex(b.at("iv")), pt = hex(b.at("pt")), ct, back;
  uint32_t kw[8], reg[2] = {0, 0}, synchro[2];
  key_words(key, kw);
  memcpy(reg, iv.data(), 8);
  vkc_gost_encr_64_m(reg, synchro, kw, z_sbox());
  EXPECT_EQ(to_hex(reinterpret_cast<uint8_t*>(synchro), 8), b.at("encrypted_synchro"));

  ASSERT_EQ(ctx_run(1, z_sbox(), GOST28147_MODE_CNT, 1, iv, key, pt, &ct), 0);
  EXPECT_EQ(to_hex(ct), b.at("ct"));
  ASSERT_EQ(ctx_run(0, z_sbox(), GOST28147_MODE_CNT, 1, iv, key, ct, &back), 0);
  EXPECT_EQ(back, pt);

  Bytes zeros(16, 0), gamma;
  ASSERT_EQ(ctx_run(1, z_sbox(), GOST28147_MODE_CNT, 1, iv, key, zeros, &gamma), 0);
  EXPECT_EQ(to_hex(gamma), b.at("gamma_first16"));

  Bytes long_ct;
  ASSERT_EQ(ctx_run(1, z_sbox(), GOST28147_MODE_CNT, 1, iv, key, counting(4096), &long_ct), 0);
  EXPECT_EQ(to_hex(long_ct.data() + 4080, 16), b.at("long_ct_last16"));
  EXPECT_EQ(sha256_hex(long_ct), b.at("long_ct_sha256"));

  // The one-shot gamma gives the same stream with the first flag.
  Bytes one(pt.size());
  memcpy(reg, iv.data(), 8);
  GostBuffer bi = {static_cast<uint32_t>(pt.size()), pt.data()};
  GostBuffer bo = {static_cast<uint32_t>(one.size()), one.data()};
  ASSERT_EQ(VKC_Gost_Gamm_m(z_sbox(), &bi, &bo, reg, kw, GOST28147_FLAG_FIRST | GOST28147_FLAG_LAST), 0);
  EXPECT_EQ(to_hex(one), b.at("ct"));

  const Block& p = vec("gost28147-cnt-published-tc26-z");
  ASSERT_EQ(ctx_run(1, z_sbox(), GOST28147_MODE_CNT, 1, hex(p.at("iv")), hex(p.at("key")),
                    hex(p.at("pt")), &ct), 0);
  EXPECT_EQ(to_hex(ct), p.at("ct"));
}

TEST(Gost28147Kat, MacParamZAndCryptoProA) {
  for (auto [name, s] : {std::pair{"gost28147-imit-tc26-z", z_sbox()},
                         {"gost28147-imit-cryptopro-a", a_sbox()}}) {
    SCOPED_TRACE(name);
    const Block& b = vec(name);
    Bytes key = hex(b.at("key"));
    for (size_t len : {16, 24}) {
      Bytes st = mac_state(s, true, key, counting(len));
      EXPECT_EQ(to_hex(st), b.at("state_" + std::to_string(len)));
      EXPECT_EQ(to_hex(st.data(), 4), b.at("mac_" + std::to_string(len)));
    }
    for (size_t len : {1032, 1040}) {
      for (bool mesh : {true, false}) {
        std::string k = "mac_" + std::to_string(len) + (mesh ? "_mesh" : "_nomesh");
        if (!b.count(k)) continue;
        EXPECT_EQ(to_hex(mac_state(s, mesh, key, counting(len)).data(), 4), b.at(k)) << k;
      }
    }
  }
  const Block& p = vec("gost28147-imit-published");
  Bytes key = hex(p.at("key")), msg = hex(p.at("msg"));
  EXPECT_EQ(to_hex(mac_state(z_sbox(), true, key, msg).data(), 4), p.at("tc26_z_mac"));
  EXPECT_EQ(to_hex(mac_state(a_sbox(), true, key, msg).data(), 4), p.at("cryptopro_a_mac"));
}

// A MAC over 8 bytes or less is one 16-round step over the zero-padded block;
// the peers' convention adds a zero block, which the published values show.
TEST(Gost28147Kat, ShortMacIsOneStep) {
  const Block& b = vec("gost28147-imit-short-input");
  Bytes key = hex(b.at("key"));
  uint32_t kw[8];
  key_words(key, kw);
  for (auto [prefix, s] : {std::pair{"z_", z_sbox()}, {"a_", a_sbox()}}) {
    for (const char* m : {"8", "5"}) {
      Bytes msg = hex(b.at(std::string("msg_") + m));
      Bytes st = mac_state(s, true, key, msg);
      Bytes block(8, 0);
      memcpy(block.data(), msg.data(), msg.size());
      uint32_t in[2], expect[2] = {0, 0};
      memcpy(in, block.data(), 8);
      vkc_gost_imito_64_m(in, expect, kw, s);
      EXPECT_EQ(st, Bytes(reinterpret_cast<uint8_t*>(expect), reinterpret_cast<uint8_t*>(expect) + 8));
      uint32_t zero[2] = {0, 0};
      vkc_gost_imito_64_m(zero, expect, kw, s);
      EXPECT_EQ(to_hex(reinterpret_cast<uint8_t*>(expect), 4),
                b.at(std::string(prefix) + "mac_" + m + "_zero_block_added"));
    }
  }
}

TEST(Gost28147Kat, KeyMeshingConstantAndMeshedKeys) {
  const Block& b = vec("gost28147-key-meshing");
  EXPECT_EQ(to_hex(GOST28147_89_KEY_MESHING_C, 32), b.at("c"));
  for (auto [k, s] : {std::pair{"meshed_key_tc26_z", z_sbox()}, {"meshed_key_cryptopro_a", a_sbox()}}) {
    uint32_t kw[8], reg[2] = {0x01020304, 0x05060708}, before[2] = {reg[0], reg[1]};
    key_words(hex(b.at("key")), kw);
    ASSERT_EQ(GOST28147_89_crypto_pro_key_meshing_engine(s, reg, kw), 0);
    EXPECT_EQ(to_hex(reinterpret_cast<uint8_t*>(kw), 32), b.at(k));
    uint32_t expect[2];
    vkc_gost_encr_64_m(before, expect, kw, s);
    EXPECT_EQ(reg[0], expect[0]);
    EXPECT_EQ(reg[1], expect[1]);
  }
}

// CryptoPro key diversification and the two key-wrap variants built on ECB
// and MAC with the UKM as IV.
TEST(Gost28147Kat, KdfAndKeyWrap) {
  for (auto [name, row] : {std::pair{"cryptopro-keywrap-cryptopro-a", 1}, {"cryptopro-keywrap-tc26-z", 5}}) {
    SCOPED_TRACE(name);
    const Block& b = vec(name);
    const Gost28147ExpandedSbox* s = &TZ_28147_89[row];
    Bytes kek = hex(b.at("kek")), ukm = hex(b.at("ukm")), cek = hex(b.at("cek"));
    Bytes kek_ukm(32);
    ASSERT_EQ(GOST28147_89_KDF(s, kek.data(), ukm.data(), kek_ukm.data()), 0);
    EXPECT_EQ(to_hex(kek_ukm), b.at("kek_ukm"));
    Bytes in_place = kek;
    ASSERT_EQ(GOST28147_89_KDF(s, in_place.data(), ukm.data(), in_place.data()), 0);
    EXPECT_EQ(in_place, kek_ukm);
    Bytes enc;
    ASSERT_EQ(ctx_run(1, s, GOST28147_MODE_ECB, 0, {}, kek_ukm, cek, &enc), 0);
    EXPECT_EQ(to_hex(enc), b.at("cek_enc"));
    EXPECT_EQ(to_hex(mac_state(s, false, kek_ukm, cek, ukm).data(), 4), b.at("cek_mac"));
  }
  for (auto [name, row] : {std::pair{"gost28147-keywrap-rfc4357-6.1-cryptopro-a", 1},
                           {"gost28147-keywrap-rfc4357-6.1-tc26-z", 5}}) {
    SCOPED_TRACE(name);
    const Block& b = vec(name);
    const Gost28147ExpandedSbox* s = &TZ_28147_89[row];
    Bytes kek = hex(b.at("kek")), ukm = hex(b.at("ukm")), cek = hex(b.at("cek")), enc;
    ASSERT_EQ(ctx_run(1, s, GOST28147_MODE_ECB, 1, {}, kek, cek, &enc), 0);
    EXPECT_EQ(to_hex(enc), b.at("cek_enc"));
    EXPECT_EQ(to_hex(mac_state(s, true, kek, cek, ukm).data(), 4), b.at("cek_mac"));
  }
}

TEST(Gost28147Kat, KdfZeroUkmSumsEveryWordIntoS2) {
  const Gost28147ExpandedSbox* s = a_sbox();
  Bytes key = counting(32), ukm(8, 0), out(32);
  ASSERT_EQ(GOST28147_89_KDF(s, key.data(), ukm.data(), out.data()), 0);
  // Eight rounds of CFB with IV (0, sum of the words) over the current key.
  Bytes k = key;
  for (int i = 0; i < 8; ++i) {
    uint32_t kw[8], reg[2] = {0, 0};
    key_words(k, kw);
    for (uint32_t w : kw) reg[1] += w;
    Bytes o(32);
    GostBuffer bi = {32, k.data()}, bo = {32, o.data()};
    ASSERT_EQ(VKC_Gost_GFB_m(s, &bi, &bo, reg, kw, 1, 3), 0);
    k = o;
  }
  EXPECT_EQ(out, k);
  EXPECT_EQ(GOST28147_89_KDF(nullptr, key.data(), ukm.data(), out.data()), -1);
  EXPECT_EQ(GOST28147_89_KDF(s, nullptr, ukm.data(), out.data()), -1);
  EXPECT_EQ(GOST28147_89_KDF(s, key.data(), nullptr, out.data()), -1);
  EXPECT_EQ(GOST28147_89_KDF(s, key.data(), ukm.data(), nullptr), -1);
}
