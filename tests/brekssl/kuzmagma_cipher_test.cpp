// The Kuznyechik and Magma cipher objects through the toolkit's EVP
// interface: the standard's examples in one call and in random chunks, in
// place and out of place; random messages against the modes composed over
// GnuTLS's and libgcrypt's block functions and against GnuTLS's CTR; the
// IV-length control, key and IV limits, the cipher controls and re-keying.
#include <gtest/gtest.h>
#include <openssl/objects.h>

#include <random>
#include <string>

#include "kuzmagma_test_util.h"
#include "objects/ssf_objects.h"

using namespace kuzmagma_test;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {

class KuzMagmaCipher : public testing::TestWithParam<CipherCase> {
 protected:
  void SetUp() override { gost_engine_test::load_engines(); }
};

std::vector<Feed> feeds(std::mt19937& rng) {
  return {{},
          {{}, true},
          {gost_engine_test::random_chunks(rng), false},
          {gost_engine_test::random_chunks(rng), true},
          {{1}, false}};
}

TEST_P(KuzMagmaCipher, StandardExampleInEveryFeed) {
  const CipherCase& c = GetParam();
  const Block v = read_kat("gost3413_modes_kat.txt").at(c.kat);
  const Bytes key = hex(v.at("key")), pt = hex(v.at("pt")), ct = hex(v.at("ct"));
  const Bytes iv = v.count("iv") ? hex(v.at("iv")) : Bytes{};
  // The examples use a register of m bits where the mode has one.
  const int override_len = iv.size() > default_iv_len(c) ? static_cast<int>(iv.size()) : 0;
  std::mt19937 rng(3413);
  for (const Feed& feed : feeds(rng)) {
    SCOPED_TRACE(feed.chunks.size() * 2 + feed.in_place);
    EXPECT_EQ(to_hex(evp_run(c.object(), key, iv, pt, true, feed, override_len)), v.at("ct"));
    EXPECT_EQ(to_hex(evp_run(c.object(), key, iv, ct, false, feed, override_len)), v.at("pt"));
  }
}

TEST_P(KuzMagmaCipher, RandomMessagesMatchPeerBlockFunctions) {
  const CipherCase& c = GetParam();
  std::mt19937 rng(static_cast<uint32_t>(std::hash<std::string>{}(c.name)));
  for (int round = 0; round < 12; ++round) {
    // Every register the IV control allows, one after the other.
    int override_len = 0;
    size_t iv_len = default_iv_len(c);
    if (!whole_blocks(c) || c.mode == Mode::kCbc) {
      if (c.mode != Mode::kCtr && round % 3 != 0) {
        iv_len = c.n * (1 + static_cast<size_t>(round) % (32 / c.n));
        override_len = static_cast<int>(iv_len);
      }
    }
    const Bytes key = random_bytes(rng, 32), iv = random_bytes(rng, iv_len);
    size_t len = 1 + rng() % 200;
    if (whole_blocks(c)) len = (len + c.n - 1) / c.n * c.n;
    const Bytes pt = random_bytes(rng, len);
    const Bytes want = reference_encrypt(c, key, iv, pt);
    const Feed feed{gost_engine_test::random_chunks(rng), round % 2 == 1};
    ASSERT_EQ(evp_run(c.object(), key, iv, pt, true, feed, override_len), want) << round;
    ASSERT_EQ(evp_run(c.object(), key, iv, want, false, feed, override_len), pt) << round;
  }
}

TEST_P(KuzMagmaCipher, ObjectShapeAndNames) {
  const CipherCase& c = GetParam();
  const EVP_CIPHER* cipher = c.object();
  ASSERT_NE(cipher, nullptr);
  EXPECT_EQ(EVP_CIPHER_get_key_length(cipher), 32);
  EXPECT_EQ(static_cast<size_t>(EVP_CIPHER_get_iv_length(cipher)), default_iv_len(c));
  EXPECT_EQ(EVP_CIPHER_get_mode(cipher), static_cast<int>(c.mode));
  EXPECT_EQ(static_cast<size_t>(EVP_CIPHER_get_block_size(cipher)), whole_blocks(c) ? c.n : 1u);
  EXPECT_STREQ(OBJ_nid2sn(EVP_CIPHER_get_nid(cipher)), c.name);
  EXPECT_EQ(EVP_get_cipherbyname(c.name), cipher);
  EXPECT_EQ(EVP_get_cipherbynid(EVP_CIPHER_get_nid(cipher)), cipher);
  // A key of another length is refused by the toolkit.
  orvel::EvpCipherCtxPtr ctx(EVP_CIPHER_CTX_new());
  ASSERT_EQ(EVP_EncryptInit_ex(ctx.get(), cipher, nullptr, nullptr, nullptr), 1);
  EXPECT_EQ(EVP_CIPHER_CTX_set_key_length(ctx.get(), 16), 0);
}

TEST_P(KuzMagmaCipher, NoOutputBufferChangesNothing) {
  const CipherCase& c = GetParam();
  std::mt19937 rng(77);
  const Bytes key = random_bytes(rng, 32), iv = random_bytes(rng, default_iv_len(c));
  const Bytes pt = random_bytes(rng, 4 * c.n);
  orvel::EvpCipherCtxPtr ctx = keyed_ctx(c.object(), key, iv, true);
  EXPECT_EQ(EVP_Cipher(ctx.get(), nullptr, pt.data(), static_cast<unsigned>(pt.size())), 1);
  EXPECT_EQ(run_ctx(ctx.get(), pt), evp_run(c.object(), key, iv, pt, true));
}

// The ciphers of a mode with an IV.
class KuzMagmaIvCipher : public KuzMagmaCipher {};

std::vector<CipherCase> iv_ciphers() {
  std::vector<CipherCase> out;
  for (const CipherCase& c : all_ciphers())
    if (c.mode != Mode::kEcb) out.push_back(c);
  return out;
}

TEST_P(KuzMagmaIvCipher, NewIvWithoutKeyRestartsTheStoredKey) {
  const CipherCase& c = GetParam();
  std::mt19937 rng(78);
  const Bytes key = random_bytes(rng, 32);
  const Bytes iv1 = random_bytes(rng, default_iv_len(c)), iv2 = random_bytes(rng, iv1.size());
  const Bytes pt = random_bytes(rng, 3 * c.n);
  orvel::EvpCipherCtxPtr ctx = keyed_ctx(c.object(), key, iv1, true);
  run_ctx(ctx.get(), pt);
  ASSERT_EQ(EVP_EncryptInit_ex(ctx.get(), nullptr, nullptr, nullptr, iv2.data()), 1);
  EXPECT_EQ(run_ctx(ctx.get(), pt), evp_run(c.object(), key, iv2, pt, true));
  // And back to the first IV, now for decryption.
  const Bytes ct = evp_run(c.object(), key, iv1, pt, true);
  ASSERT_EQ(EVP_DecryptInit_ex(ctx.get(), nullptr, nullptr, nullptr, iv1.data()), 1);
  EXPECT_EQ(run_ctx(ctx.get(), ct), pt);
}

TEST_P(KuzMagmaCipher, Controls) {
  const CipherCase& c = GetParam();
  orvel::EvpCipherCtxPtr ctx(EVP_CIPHER_CTX_new());
  ASSERT_EQ(EVP_EncryptInit_ex(ctx.get(), c.object(), nullptr, nullptr, nullptr), 1);
  unsigned char k1[32] = {}, k2[32] = {};
  EXPECT_EQ(EVP_CIPHER_CTX_rand_key(ctx.get(), k1), 1);
  EXPECT_EQ(EVP_CIPHER_CTX_rand_key(ctx.get(), k2), 1);
  EXPECT_NE(0, memcmp(k1, k2, 32));
  int prf = 0;
  EXPECT_EQ(EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_PBE_PRF_NID, 0, &prf), 1);
  EXPECT_EQ(prf, ssf_nid_id_tc26_hmac_gost_3411_2012_512());
  EXPECT_EQ(EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_PBE_PRF_NID, 0, nullptr), 0);
  const std::string prefix = std::string("vkc_") + c.family + "_ctrl: ";
  CaptureStderr();
  // The callback's -1 (unsupported) reaches the caller as 0.
  EXPECT_LE(EVP_CIPHER_CTX_ctrl(ctx.get(), 0x1005, 0, nullptr), 0);
  EXPECT_EQ(GetCapturedStderr(), prefix + "Unsupported command 4101\n");
  // IV lengths: only the register modes take longer IVs, whole blocks up
  // to 32 bytes.
  const bool register_mode = c.mode == Mode::kCbc || c.mode == Mode::kOfb || c.mode == Mode::kCfb;
  for (int len : {0, 4, 8, 12, 16, 24, 32, 40, 48}) {
    const bool ok = register_mode && len >= static_cast<int>(c.n) && len <= 32 &&
                    len % static_cast<int>(c.n) == 0;
    CaptureStderr();
    EXPECT_EQ(EVP_CIPHER_CTX_ctrl(ctx.get(), kKuzMagmaCtrlSetIvLength, len, nullptr), ok ? 1 : 0)
        << len;
    EXPECT_EQ(GetCapturedStderr(),
              ok ? std::string() : prefix + "Invalid IV length " + std::to_string(len) + "\n");
  }
}

INSTANTIATE_TEST_SUITE_P(All, KuzMagmaCipher, testing::ValuesIn(all_ciphers()), case_name);
INSTANTIATE_TEST_SUITE_P(All, KuzMagmaIvCipher, testing::ValuesIn(iv_ciphers()), case_name);

class KuzMagmaCipherEdges : public testing::Test {
 protected:
  void SetUp() override { gost_engine_test::load_engines(); }
};

TEST_F(KuzMagmaCipherEdges, KuznechikCbcTakesA32ByteIvAndRefuses8) {
  std::mt19937 rng(32);
  const Bytes key = random_bytes(rng, 32), iv = random_bytes(rng, 32), pt = random_bytes(rng, 64);
  CipherCase cbc = all_ciphers()[1];
  EXPECT_EQ(evp_run(vkc_kuznechik_cbc(), key, iv, pt, true, {}, 32),
            reference_encrypt(cbc, key, iv, pt));
  orvel::EvpCipherCtxPtr ctx(EVP_CIPHER_CTX_new());
  ASSERT_EQ(EVP_EncryptInit_ex(ctx.get(), vkc_kuznechik_cbc(), nullptr, nullptr, nullptr), 1);
  CaptureStderr();
  EXPECT_EQ(EVP_CIPHER_CTX_ctrl(ctx.get(), kKuzMagmaCtrlSetIvLength, 8, nullptr), 0);
  EXPECT_EQ(GetCapturedStderr(), "vkc_kuznechik_ctrl: Invalid IV length 8\n");
}

TEST_F(KuzMagmaCipherEdges, CtrIvIsHalfABlock) {
  EXPECT_EQ(EVP_CIPHER_get_iv_length(vkc_magma_ctr()), 4);
  EXPECT_EQ(EVP_CIPHER_get_iv_length(vkc_kuznechik_ctr()), 8);
}

// The block modes take whole blocks: a partial last block is refused at the
// final step instead of being counted as output.
TEST_F(KuzMagmaCipherEdges, PartialBlockOfBlockModesIsRefused) {
  std::mt19937 rng(15);
  for (const CipherCase& c : all_ciphers()) {
    if (!whole_blocks(c)) continue;
    SCOPED_TRACE(c.name);
    const Bytes key = random_bytes(rng, 32), iv = random_bytes(rng, default_iv_len(c));
    const Bytes pt = random_bytes(rng, 3 * c.n + 5);
    for (int enc : {1, 0}) {
      orvel::EvpCipherCtxPtr ctx = keyed_ctx(c.object(), key, iv, enc == 1);
      Bytes out(pt.size() + 32);
      int outl = 0, finl = 0;
      ASSERT_EQ(
          EVP_CipherUpdate(ctx.get(), out.data(), &outl, pt.data(), static_cast<int>(pt.size())),
          1);
      EXPECT_EQ(static_cast<size_t>(outl), 3 * c.n);
      EXPECT_EQ(EVP_CipherFinal_ex(ctx.get(), out.data() + outl, &finl), 0);
    }
  }
}

// GnuTLS's own CTR (the first section of CTR-ACPKM) for both ciphers.
TEST_F(KuzMagmaCipherEdges, CtrEqualsGnutls) {
  std::mt19937 rng(8645);
  for (const CipherCase& c : all_ciphers()) {
    if (c.mode != Mode::kCtr) continue;
    for (int round = 0; round < 10; ++round) {
      const Bytes key = random_bytes(rng, 32), iv = random_bytes(rng, c.n / 2);
      const Bytes pt = random_bytes(rng, 1 + rng() % 1000);
      Bytes want = pt;
      gnutls_datum_t k{const_cast<uint8_t*>(key.data()), 32};
      gnutls_datum_t v{const_cast<uint8_t*>(iv.data()), static_cast<unsigned>(iv.size())};
      gnutls_cipher_hd_t h;
      ASSERT_EQ(
          gnutls_cipher_init(
              &h, c.n == 16 ? GNUTLS_CIPHER_KUZNYECHIK_CTR_ACPKM : GNUTLS_CIPHER_MAGMA_CTR_ACPKM,
              &k, &v),
          0);
      ASSERT_EQ(gnutls_cipher_encrypt(h, want.data(), want.size()), 0);
      gnutls_cipher_deinit(h);
      const Feed feed{gost_engine_test::random_chunks(rng), round % 2 == 0};
      ASSERT_EQ(evp_run(c.object(), key, iv, pt, true, feed), want) << c.name << " " << round;
    }
  }
}

// A context copied in the middle of a message goes on as the original.
TEST_F(KuzMagmaCipherEdges, CopiedContextContinues) {
  std::mt19937 rng(99);
  for (const CipherCase& c : all_ciphers()) {
    SCOPED_TRACE(c.name);
    const Bytes key = random_bytes(rng, 32), iv = random_bytes(rng, default_iv_len(c));
    const Bytes pt = random_bytes(rng, 5 * c.n);
    const Bytes want = evp_run(c.object(), key, iv, pt, true);
    orvel::EvpCipherCtxPtr ctx = keyed_ctx(c.object(), key, iv, true);
    const size_t head = whole_blocks(c) ? 2 * c.n : 2 * c.n + 3;
    Bytes out(pt.size() + 32);
    int outl = 0;
    ASSERT_EQ(EVP_EncryptUpdate(ctx.get(), out.data(), &outl, pt.data(), static_cast<int>(head)),
              1);
    orvel::EvpCipherCtxPtr copy(EVP_CIPHER_CTX_new());
    ASSERT_EQ(EVP_CIPHER_CTX_copy(copy.get(), ctx.get()), 1);
    ctx.reset();
    const Bytes rest(pt.begin() + static_cast<long>(head), pt.end());
    Bytes tail = run_ctx(copy.get(), rest);
    Bytes got(out.begin(), out.begin() + outl);
    got.insert(got.end(), tail.begin(), tail.end());
    EXPECT_EQ(got, want);
  }
}

}  // namespace
