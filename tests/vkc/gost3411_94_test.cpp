// GOST R 34.11-94: RFC 5831 known answers under both parameter sets, the
// buffering and finalisation rules, parameter-set choice, and differential
// runs against libgcrypt, nettle and GnuTLS.
#include <gcrypt.h>
#include <gnutls/crypto.h>
#include <gnutls/gnutls.h>
#include <gtest/gtest.h>
#include <nettle/gosthash94.h>

#include <cstring>

#include "gost28147_params.h"
#include "gost28147_sbox.h"
#include "gost28147_test_util.h"
#include "gost3411_94.h"
#include "gost3411_94_step.h"
#include "vkc_log.h"

using namespace gost_test;

namespace {

const std::map<std::string, Block>& vectors() {
  static const auto v = read_vectors("gost3411_94_vectors.txt");
  return v;
}

Bytes digest_chunks(const uint8_t* oid, const Bytes& msg, const std::vector<size_t>& cuts) {
  Gost3411_94Context ctx;
  EXPECT_EQ(GOSTR3411_94_Init(&ctx, oid, 9), 0);
  size_t pos = 0;
  for (size_t c : cuts) {
    if (c == 0) continue;
    EXPECT_EQ(GOSTR3411_94_Update(&ctx, msg.data() + pos, static_cast<uint32_t>(c)), 0);
    pos += c;
  }
  if (pos < msg.size()) {
    EXPECT_EQ(GOSTR3411_94_Update(&ctx, msg.data() + pos, static_cast<uint32_t>(msg.size() - pos)), 0);
  }
  Bytes out(32);
  EXPECT_EQ(GOSTR3411_94_Final(&ctx, out.data()), 0);
  return out;
}

Bytes digest(const uint8_t* oid, const Bytes& msg) { return digest_chunks(oid, msg, {}); }

Bytes gcrypt_digest(int algo, const Bytes& msg) {
  static bool ready = [] {
    gcry_check_version(nullptr);
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
    return true;
  }();
  (void)ready;
  Bytes out(32);
  gcry_md_hash_buffer(algo, out.data(), msg.data(), msg.size());
  return out;
}

Bytes nettle_digest(bool cp, const Bytes& msg) {
  struct gosthash94_ctx c;
  Bytes out(32);
  if (cp) {
    gosthash94cp_init(&c);
    gosthash94cp_update(&c, msg.size(), msg.data());
    gosthash94cp_digest(&c, 32, out.data());
  } else {
    gosthash94_init(&c);
    gosthash94_update(&c, msg.size(), msg.data());
    gosthash94_digest(&c, 32, out.data());
  }
  return out;
}

}  // namespace

TEST(Gost3411_94, Rfc5831AndComputedAnswersBothParameterSets) {
  int checked = 0;
  for (const auto& [name, b] : vectors()) {
    if (name.rfind("gost3411-94.kat.", 0) != 0) continue;
    SCOPED_TRACE(name);
    const uint8_t* oid = b.at("sbox_text") == "gost3411-94.sbox.test" ? VKC_PAR_HASH_0_OID
                                                                      : VKC_PAR_HASH_1_OID;
    size_t len = std::stoul(b.at("msg_len_dec"));
    Bytes msg = b.count("msg_lsb_first") ? hex(b.at("msg_lsb_first"))
                                         : Bytes(len, b.count("msg_fill_byte") ? 0x61 : 0);
    ASSERT_EQ(msg.size(), len);
    Bytes d = digest(oid, msg);
    EXPECT_EQ(to_hex(d), b.at("h_lsb_first"));
    // The standard prints the digest most significant byte first.
    Bytes rev(d.rbegin(), d.rend());
    EXPECT_EQ(to_hex(rev), b.at("h_std"));
    ++checked;
  }
  EXPECT_EQ(checked, 12);
}

TEST(Gost3411_94, StoredSboxesMatchPublishedRows) {
  for (auto [name, row] : {std::pair{"gost3411-94.sbox.test", 0}, {"gost3411-94.sbox.cryptopro", 1}}) {
    const Block& b = vectors().at(name);
    for (int k = 0; k < 4; ++k) {
      const std::string& lo = b.at("K" + std::to_string(2 * k + 1));
      const std::string& hi = b.at("K" + std::to_string(2 * k + 2));
      for (uint32_t x = 0; x < 256; ++x) {
        uint32_t v = (std::stoul(std::string(1, hi[x >> 4]), nullptr, 16) << 4 |
                      std::stoul(std::string(1, lo[x & 15]), nullptr, 16))
                     << 8 * k;
        ASSERT_EQ(TZ_3411_94[row].table[k][x], v << 11 | v >> 21);
      }
    }
    EXPECT_STREQ(GOSTR3411_94_GetPar(row)->name, b.at("name_text").c_str());
    EXPECT_STREQ(GOSTR3411_94_GetPar(row)->oid_dotted, b.at("oid_text").c_str());
  }
}

TEST(Gost3411_94, EmptyMessageCompressesNoZeroBlock) {
  Gost3411_94Context ctx;
  ASSERT_EQ(GOSTR3411_94_Init(&ctx, VKC_PAR_HASH_0_OID, 9), 0);
  Bytes d(32);
  ASSERT_EQ(GOSTR3411_94_Final(&ctx, d.data()), 0);
  EXPECT_EQ(to_hex(d), vectors().at("gost3411-94.kat.test.empty").at("h_lsb_first"));
  // f(f(0, L = 0), Sigma = 0).
  uint32_t h[8] = {0}, zero[8] = {0};
  gost_r_3411_94_compress(h, zero, &ctx);
  gost_r_3411_94_compress(h, zero, &ctx);
  EXPECT_EQ(to_hex(reinterpret_cast<uint8_t*>(h), 32), to_hex(d));
  // The one-shot functions refuse the empty message.
  uint8_t one = 0;
  EXPECT_EQ(GOSTR3411_94_Transform(VKC_PAR_HASH_1_OID, 9, &one, 0, d.data()), -1);
  EXPECT_EQ(GOSTR3411_94_Transform_ex(&TZ_3411_94[1], &one, 0, d.data()), -1);
}

TEST(Gost3411_94, BufferingAndLength) {
  Bytes msg(64);
  for (size_t i = 0; i < msg.size(); ++i) msg[i] = static_cast<uint8_t>(3 * i + 1);
  Gost3411_94Context ctx;
  ASSERT_EQ(GOSTR3411_94_Init(&ctx, VKC_PAR_HASH_1_OID, 9), 0);
  ASSERT_EQ(GOSTR3411_94_Update(&ctx, msg.data(), 32), 0);
  EXPECT_EQ(ctx.buffered, 0u);  // compressed at once
  EXPECT_EQ(ctx.len[0], 256u);
  ASSERT_EQ(GOSTR3411_94_Init(&ctx, VKC_PAR_HASH_1_OID, 9), 0);
  ASSERT_EQ(GOSTR3411_94_Update(&ctx, msg.data(), 64), 0);
  EXPECT_EQ(ctx.buffered, 32u);  // the second block waits
  EXPECT_EQ(ctx.len[0], 256u);
  ASSERT_EQ(GOSTR3411_94_Init(&ctx, VKC_PAR_HASH_1_OID, 9), 0);
  ASSERT_EQ(GOSTR3411_94_Update(&ctx, msg.data(), 33), 0);
  EXPECT_EQ(ctx.buffered, 1u);
  // Five buffered bytes: padded block, L grows by 40.
  ASSERT_EQ(GOSTR3411_94_Init(&ctx, VKC_PAR_HASH_1_OID, 9), 0);
  ASSERT_EQ(GOSTR3411_94_Update(&ctx, msg.data(), 5), 0);
  Gost3411_94Context copy = ctx;
  Bytes d(32);
  ASSERT_EQ(GOSTR3411_94_Final(&ctx, d.data()), 0);
  EXPECT_EQ(ctx.len[0], 40u);
  uint8_t block[32] = {0};
  memcpy(block, msg.data(), 5);
  gost_r_3411_94_hash_bytes(&copy, copy.h, copy.sigma, copy.len, block, 40);
  gost_r_3411_94_compress(copy.h, copy.len, &copy);
  gost_r_3411_94_compress(copy.h, copy.sigma, &copy);
  EXPECT_EQ(memcmp(copy.h, d.data(), 32), 0);
  for (size_t n : {32, 33, 64}) {
    Bytes m(msg.begin(), msg.begin() + n);
    EXPECT_EQ(digest(VKC_PAR_HASH_1_OID, m), nettle_digest(true, m)) << n;
  }
}

TEST(Gost3411_94, ParameterSetChoiceAndChecks) {
  Gost3411_94Context ctx;
  uint8_t d[32];
  uint8_t data[3] = {'a', 'b', 'c'};
  // Right bytes, wrong length; a 28147 set's identifier.
  EXPECT_EQ(GOSTR3411_94_Init(&ctx, VKC_PAR_HASH_1_OID, 8), -3001);
  EXPECT_EQ(GOSTR3411_94_Init(&ctx, VKC_PAR_CIPHER_A_OID, 9), -3001);
  EXPECT_EQ(GOSTR3411_94_Init(&ctx, nullptr, 9), -1);
  EXPECT_EQ(GOSTR3411_94_Init(&ctx, VKC_PAR_HASH_1_OID, 0), -1);
  EXPECT_EQ(GOSTR3411_94_Init(nullptr, VKC_PAR_HASH_1_OID, 9), -1);
  EXPECT_EQ(GOSTR3411_94_Init_ex(&ctx, nullptr), -1);
  EXPECT_EQ(GOSTR3411_94_Init_ex(nullptr, &TZ_3411_94[0]), -1);
  ASSERT_EQ(GOSTR3411_94_Init(&ctx, VKC_PAR_HASH_1_OID, 9), 0);
  EXPECT_EQ(GOSTR3411_94_Update(&ctx, nullptr, 3), -1);
  EXPECT_EQ(GOSTR3411_94_Update(&ctx, data, 0), -1);
  EXPECT_EQ(GOSTR3411_94_Update(nullptr, data, 3), -1);
  EXPECT_EQ(GOSTR3411_94_Final(&ctx, nullptr), -1);
  EXPECT_EQ(GOSTR3411_94_Final(nullptr, d), -1);
  EXPECT_EQ(ctx.buffered, 0u);  // failed calls leave the context as it was

  // A caller's set under its own identifier; a repeat of a built-in
  // identifier in the caller's array loses to the built-in set.
  static const uint8_t own_oid[] = {0x06, 0x03, 0x2a, 0x03, 0x04};
  Gost3411_94ParamSet more[2] = {
      {9, VKC_PAR_HASH_0_OID, "x", "x", &TZ_3411_94[1]},
      {5, own_oid, "1.2.3.4", "own", &TZ_3411_94[0]},
  };
  uint8_t d_more[32], d_ref[32];
  ASSERT_EQ(GOSTR3411_94_Transform_more_par(VKC_PAR_HASH_0_OID, 9, more, 2, data, 3, d_more), 0);
  ASSERT_EQ(GOSTR3411_94_Transform_ex(&TZ_3411_94[0], data, 3, d_ref), 0);
  EXPECT_EQ(memcmp(d_more, d_ref, 32), 0);
  ASSERT_EQ(GOSTR3411_94_Transform_more_par(own_oid, 5, more, 2, data, 3, d_more), 0);
  EXPECT_EQ(memcmp(d_more, d_ref, 32), 0);
  EXPECT_EQ(GOSTR3411_94_Transform_more_par(own_oid, 5, more, 1, data, 3, d_more), -3001);
  EXPECT_EQ(GOSTR3411_94_Transform(own_oid, 5, data, 3, d_more), -3001);
  ASSERT_EQ(GOSTR3411_94_Transform(VKC_PAR_HASH_1_OID, 9, data, 3, d_more), 0);
  EXPECT_EQ(to_hex(d_more, 32), vectors().at("gost3411-94.kat.cp.abc").at("h_lsb_first"));
}

TEST(Gost3411_94, ParameterSetLookups) {
  const Gost3411_94ParamSet* p = nullptr;
  EXPECT_EQ(GOSTR3411_94_GetDefaultPar(), GOSTR3411_94_GetPar(1));
  EXPECT_EQ(GOSTR3411_94_GetPar(2), nullptr);
  EXPECT_EQ(GOSTR3411_94_FindParByDerOid(VKC_PAR_HASH_0_OID, 9, &p), 0);
  EXPECT_EQ(p, GOSTR3411_94_GetPar(0));
  EXPECT_EQ(GOSTR3411_94_FindParByOidName("id-GostR3411-94-CryptoProParamSet", &p), 0);
  EXPECT_EQ(p, GOSTR3411_94_GetPar(1));
  EXPECT_EQ(GOSTR3411_94_FindParByDottedOid("1.2.643.2.2.30.0", &p), 0);
  EXPECT_EQ(p, GOSTR3411_94_GetPar(0));
  EXPECT_EQ(GOSTR3411_94_FindParByDottedOid("1.2.643.2.2.30.2", &p), -1);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(GOSTR3411_94_FindParByOidName("id-GostR3411-94-CryptoPro", &p), -1);
  EXPECT_EQ(GOSTR3411_94_FindParByDerOid(VKC_PAR_CIPHER_0_OID, 9, &p), -1);
  EXPECT_EQ(GOSTR3411_94_FindParByDerOid(nullptr, 9, &p), -1);
}

// Every length 0..1100 against libgcrypt and nettle (both sets) and GnuTLS
// (CryptoPro set).
TEST(Gost3411_94, DifferentialEveryLength) {
  std::mt19937 rng(941);
  Bytes all = random_bytes(rng, 1100);
  for (size_t n = 0; n <= 1100; ++n) {
    Bytes msg(all.begin(), all.begin() + n);
    Bytes test = digest(VKC_PAR_HASH_0_OID, msg), cp = digest(VKC_PAR_HASH_1_OID, msg);
    ASSERT_EQ(test, gcrypt_digest(GCRY_MD_GOSTR3411_94, msg)) << n;
    ASSERT_EQ(test, nettle_digest(false, msg)) << n;
    ASSERT_EQ(cp, gcrypt_digest(GCRY_MD_GOSTR3411_CP, msg)) << n;
    ASSERT_EQ(cp, nettle_digest(true, msg)) << n;
    Bytes g(32);
    ASSERT_EQ(gnutls_hash_fast(GNUTLS_DIG_GOSTR_94, msg.data(), msg.size(), g.data()), 0);
    ASSERT_EQ(cp, g) << n;
  }
}

TEST(Gost3411_94, DifferentialRandomChunkings) {
  std::mt19937 rng(3411);
  for (int round = 0; round < 300; ++round) {
    size_t n = rng() % 2000;
    Bytes msg = random_bytes(rng, n);
    std::vector<size_t> cuts;
    for (size_t left = n; left > 0;) {
      size_t c = 1 + rng() % (rng() % 3 == 0 ? 70 : 9);
      c = std::min(c, left);
      cuts.push_back(c);
      left -= c;
    }
    ASSERT_EQ(digest_chunks(VKC_PAR_HASH_1_OID, msg, cuts), nettle_digest(true, msg)) << n;
    ASSERT_EQ(digest_chunks(VKC_PAR_HASH_0_OID, msg, cuts),
              gcrypt_digest(GCRY_MD_GOSTR3411_94, msg)) << n;
  }
}

TEST(Gost3411_94, DiagnosticLines) {
  orvel_test::TempDir dir;
  std::string path = dir.file("vkc.log");
  ASSERT_EQ(vkc_set_log_file(path.c_str()), 0);
  Gost3411_94Context ctx;
  uint8_t d[32], data[1] = {0};
  GOSTR3411_94_Init_ex(nullptr, nullptr);
  GOSTR3411_94_Init(&ctx, nullptr, 9);
  GOSTR3411_94_Init(&ctx, VKC_PAR_CIPHER_A_OID, 9);
  GOSTR3411_94_Update(&ctx, data, 0);
  GOSTR3411_94_Final(&ctx, nullptr);
  GOSTR3411_94_Transform(VKC_PAR_HASH_1_OID, 9, data, 0, d);
  const Gost3411_94ParamSet* p;
  GOSTR3411_94_FindParByDottedOid("1.2", &p);
  vkc_set_log_file(nullptr);
  EXPECT_EQ(orvel_test::read_file(path),
            "GOSTR3411_94_Init_ex: bad params\n"
            "GOSTR3411_94_Init_more_par: bad params\n"
            "GOSTR3411_94_Init_more_par: unsupported OID\n"
            "GOSTR3411_94_Update: bad params\n"
            "GOSTR3411_94_Final: bad params\n"
            "GOSTR3411_94_Update: bad params\n"
            "GOSTR3411_94_Update failed, rc = 0xffffffff\n"
            "GOSTR3411_94_FindParByDottedOid: unsupported OID\n");
}
