// The GOST 28147-89 cipher objects through the toolkit's EVP interface:
// random chunkings against the crypto core in one call, against GnuTLS
// (CFB with key meshing, counter mode) and libgcrypt (ECB, CBC), in-place
// buffers, whole-block buffering of the block modes, the cipher controls.
#include <gnutls/crypto.h>
#include <gnutls/gnutls.h>
#include <gtest/gtest.h>
#include <openssl/err.h>
#include <openssl/objects.h>
#include <openssl/rand.h>

#include <cstring>
#include <string>

#include "engines/gost/gost_ciphers.h"
#include "gost_engine_test_util.h"
#include "objects/ssf_objects.h"

using namespace gost_engine_test;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {

Bytes gnutls_cipher(gnutls_cipher_algorithm_t algo, const Bytes& key, const Bytes& iv,
                    const Bytes& in, bool encrypt) {
  gnutls_cipher_hd_t h;
  gnutls_datum_t k = {const_cast<uint8_t*>(key.data()), static_cast<unsigned>(key.size())};
  gnutls_datum_t v = {const_cast<uint8_t*>(iv.data()), static_cast<unsigned>(iv.size())};
  Bytes out(in.size());
  EXPECT_EQ(gnutls_cipher_init(&h, algo, &k, &v), 0);
  if (encrypt)
    EXPECT_EQ(gnutls_cipher_encrypt2(h, in.data(), in.size(), out.data(), out.size()), 0);
  else
    EXPECT_EQ(gnutls_cipher_decrypt2(h, in.data(), in.size(), out.data(), out.size()), 0);
  gnutls_cipher_deinit(h);
  return out;
}

Bytes gcrypt_cipher(int algo, int mode, const char* oid, const Bytes& key, const Bytes& iv,
                    const Bytes& in, bool encrypt) {
  gcrypt_init();
  gcry_cipher_hd_t h;
  Bytes out(in.size());
  EXPECT_EQ(gcry_cipher_open(&h, algo, mode, 0), 0u);
  EXPECT_EQ(gcry_cipher_setkey(h, key.data(), key.size()), 0u);
  EXPECT_EQ(gcry_cipher_ctl(h, GCRYCTL_SET_SBOX, const_cast<char*>(oid), 0), 0u);
  if (!iv.empty()) {
    EXPECT_EQ(gcry_cipher_setiv(h, iv.data(), iv.size()), 0u);
  }
  if (encrypt)
    EXPECT_EQ(gcry_cipher_encrypt(h, out.data(), out.size(), in.data(), in.size()), 0u);
  else
    EXPECT_EQ(gcry_cipher_decrypt(h, out.data(), out.size(), in.data(), in.size()), 0u);
  gcry_cipher_close(h);
  return out;
}

struct SetCase {
  const char* name;  // core / toolkit name
  int nid;           // toolkit NID
  const char* dotted;
  gnutls_cipher_algorithm_t gnutls_cfb;  // GNUTLS_CIPHER_UNKNOWN: none
};

std::vector<SetCase> sets() {
  return {
      {"id-tc26-gost-28147-param-Z", ssf_nid_id_tc26_gost_28147_param_Z(), "1.2.643.7.1.2.5.1.1",
       GNUTLS_CIPHER_GOST28147_TC26Z_CFB},
      {"id-Gost28147-89-CryptoPro-A-ParamSet", NID_id_Gost28147_89_CryptoPro_A_ParamSet,
       "1.2.643.2.2.31.1", GNUTLS_CIPHER_GOST28147_CPA_CFB},
      {"id-Gost28147-89-CryptoPro-B-ParamSet", NID_id_Gost28147_89_CryptoPro_B_ParamSet,
       "1.2.643.2.2.31.2", GNUTLS_CIPHER_GOST28147_CPB_CFB},
      {"id-Gost28147-89-CryptoPro-C-ParamSet", NID_id_Gost28147_89_CryptoPro_C_ParamSet,
       "1.2.643.2.2.31.3", GNUTLS_CIPHER_GOST28147_CPC_CFB},
      {"id-Gost28147-89-CryptoPro-D-ParamSet", NID_id_Gost28147_89_CryptoPro_D_ParamSet,
       "1.2.643.2.2.31.4", GNUTLS_CIPHER_GOST28147_CPD_CFB},
      {"id-Gost28147-89-TestParamSet", NID_id_Gost28147_89_TestParamSet, "1.2.643.2.2.31.0",
       GNUTLS_CIPHER_UNKNOWN},
      {"id-Gost28147-89-CryptoPro-Simple-C-ParamSet",
       ssf_nid_id_Gost28147_89_CryptoPro_Simple_C_ParamSet(), "1.2.643.2.2.31.8",
       GNUTLS_CIPHER_UNKNOWN},
  };
}

struct ModeCase {
  const EVP_CIPHER* (*cipher)();
  uint32_t core_mode;
  bool whole_blocks;
};

const ModeCase kModes[] = {
    {EVP_gost28147, GOST28147_MODE_CFB, false},
    {vkc_cipher_gost89_cnt, GOST28147_MODE_CNT, false},
    {vkc_cipher_gost89_cbc, GOST28147_MODE_CBC, true},
    {vkc_cipher_gost89_cbcstrict, GOST28147_MODE_CBC_KEEP_IV, true},
    {vkc_cipher_gost89_ecb, GOST28147_MODE_ECB, true},
};

}  // namespace

// Every variant and parameter set, random lengths (across key meshings)
// and random chunkings, both directions, against the core in one call.
TEST(GostCipher, RandomChunkingsEqualTheCore) {
  load_engines();
  std::mt19937 rng(1);
  for (const ModeCase& m : kModes) {
    for (const SetCase& s : sets()) {
      for (int round = 0; round < 6; ++round) {
        size_t len = rng() % 3000;
        if (m.whole_blocks) len -= len % 8;
        Bytes key = random_bytes(rng, 32), iv = random_bytes(rng, 8), msg = random_bytes(rng, len);
        const Bytes* civ = m.core_mode == GOST28147_MODE_ECB ? nullptr : &iv;
        Bytes expect = core_cipher(core_set(s.name), m.core_mode, key, civ, msg, true);
        Bytes got = evp_cipher(m.cipher(), key, iv, msg, true, random_chunks(rng), s.nid);
        ASSERT_EQ(got, expect) << s.name << " mode " << m.core_mode << " len " << len;
        EXPECT_EQ(evp_cipher(m.cipher(), key, iv, got, false, random_chunks(rng), s.nid), msg);
      }
    }
  }
}

TEST(GostCipher, CfbAgainstGnuTls) {
  load_engines();
  std::mt19937 rng(2);
  for (const SetCase& s : sets()) {
    if (s.gnutls_cfb == GNUTLS_CIPHER_UNKNOWN) continue;
    for (size_t len :
         {size_t{1}, size_t{8}, size_t{1023}, size_t{1024}, size_t{1025}, size_t{4099}}) {
      Bytes key = random_bytes(rng, 32), iv = random_bytes(rng, 8), msg = random_bytes(rng, len);
      Bytes expect = gnutls_cipher(s.gnutls_cfb, key, iv, msg, true);
      int nid = s.nid == ssf_nid_id_tc26_gost_28147_param_Z() ? 0 : s.nid;
      EXPECT_EQ(evp_cipher(EVP_gost28147(), key, iv, msg, true, random_chunks(rng), nid), expect)
          << s.name << " " << len;
      EXPECT_EQ(evp_cipher(EVP_gost28147(), key, iv, expect, false, random_chunks(rng), nid), msg);
    }
  }
}

TEST(GostCipher, CounterAgainstGnuTls) {
  load_engines();
  std::mt19937 rng(3);
  for (size_t len : {size_t{5}, size_t{64}, size_t{1030}, size_t{5000}}) {
    Bytes key = random_bytes(rng, 32), iv = random_bytes(rng, 8), msg = random_bytes(rng, len);
    Bytes expect = gnutls_cipher(GNUTLS_CIPHER_GOST28147_TC26Z_CNT, key, iv, msg, true);
    EXPECT_EQ(evp_cipher(vkc_cipher_gost89_cnt(), key, iv, msg, true, random_chunks(rng)), expect)
        << len;
  }
}

// libgcrypt's ECB and CBC know no key meshing: within the first 1,024 bytes
// for the sets with meshing, longer for the others.
TEST(GostCipher, EcbAndCbcAgainstLibgcrypt) {
  load_engines();
  std::mt19937 rng(4);
  const Bytes none;
  for (const SetCase& s : sets()) {
    if (std::string(s.name).find("Simple") != std::string::npos) continue;
    const bool meshing = core_set(s.name)->key_meshing == 1;
    Bytes key = random_bytes(rng, 32), iv = random_bytes(rng, 8);
    Bytes msg = random_bytes(rng, meshing ? 1024 : 4096);
    Bytes ecb =
        gcrypt_cipher(GCRY_CIPHER_GOST28147, GCRY_CIPHER_MODE_ECB, s.dotted, key, none, msg, true);
    EXPECT_EQ(evp_cipher(vkc_cipher_gost89_ecb(), key, iv, msg, true, random_chunks(rng), s.nid),
              ecb)
        << s.name;
    const Bytes& cbc_msg = msg;
    Bytes cbc = gcrypt_cipher(GCRY_CIPHER_GOST28147, GCRY_CIPHER_MODE_CBC, s.dotted, key, iv,
                              cbc_msg, true);
    EXPECT_EQ(
        evp_cipher(vkc_cipher_gost89_cbc(), key, iv, cbc_msg, true, random_chunks(rng), s.nid), cbc)
        << s.name;
    EXPECT_EQ(evp_cipher(vkc_cipher_gost89_cbcstrict(), key, iv, cbc_msg, true, random_chunks(rng),
                         s.nid),
              cbc)
        << s.name;
  }
}

TEST(GostCipher, InPlaceBuffers) {
  load_engines();
  std::mt19937 rng(5);
  for (const ModeCase& m : kModes) {
    Bytes key = random_bytes(rng, 32), iv = random_bytes(rng, 8), msg = random_bytes(rng, 2056);
    Bytes ct = evp_cipher(m.cipher(), key, iv, msg, true);
    for (bool encrypt : {true, false}) {
      Bytes buf = encrypt ? msg : ct;
      orvel::EvpCipherCtxPtr ctx(EVP_CIPHER_CTX_new());
      ASSERT_EQ(EVP_CipherInit_ex(ctx.get(), m.cipher(), nullptr, key.data(), iv.data(), encrypt),
                1);
      // Whole-block pieces keep in-place work within the toolkit's rules.
      size_t pos = 0;
      while (pos < buf.size()) {
        size_t n = std::min(buf.size() - pos, size_t{8} * (1 + rng() % 20));
        int outl = 0;
        ASSERT_EQ(EVP_CipherUpdate(ctx.get(), buf.data() + pos, &outl, buf.data() + pos,
                                   static_cast<int>(n)),
                  1);
        ASSERT_EQ(static_cast<size_t>(outl), n);
        pos += n;
      }
      EXPECT_EQ(buf, encrypt ? ct : msg) << m.core_mode << " " << encrypt;
    }
  }
}

// The stream variants in place with pieces that split blocks.
TEST(GostCipher, InPlaceStreamPiecesSplittingBlocks) {
  load_engines();
  std::mt19937 rng(9);
  for (const EVP_CIPHER* c : {EVP_gost28147(), vkc_cipher_gost89_cnt()}) {
    Bytes key = random_bytes(rng, 32), iv = random_bytes(rng, 8), msg = random_bytes(rng, 1500);
    Bytes ct = evp_cipher(c, key, iv, msg, true);
    for (bool encrypt : {true, false}) {
      Bytes buf = encrypt ? msg : ct;
      orvel::EvpCipherCtxPtr ctx(EVP_CIPHER_CTX_new());
      ASSERT_EQ(EVP_CipherInit_ex(ctx.get(), c, nullptr, key.data(), iv.data(), encrypt), 1);
      size_t pos = 0;
      while (pos < buf.size()) {
        size_t n = std::min(buf.size() - pos, size_t{1} + rng() % 13);
        int outl = 0;
        ASSERT_EQ(EVP_CipherUpdate(ctx.get(), buf.data() + pos, &outl, buf.data() + pos,
                                   static_cast<int>(n)),
                  1);
        pos += n;
      }
      EXPECT_EQ(buf, encrypt ? ct : msg) << EVP_CIPHER_get_nid(c) << " " << encrypt;
    }
  }
}

// The block variants take any chunking and hand whole blocks to the core;
// a partial block left at the end is an error, never lost or made up.
TEST(GostCipher, BlockModesBufferWholeBlocks) {
  load_engines();
  std::mt19937 rng(6);
  Bytes key = random_bytes(rng, 32), iv = random_bytes(rng, 8), msg = random_bytes(rng, 13);
  for (const EVP_CIPHER* c :
       {vkc_cipher_gost89_ecb(), vkc_cipher_gost89_cbc(), vkc_cipher_gost89_cbcstrict()}) {
    EXPECT_EQ(EVP_CIPHER_get_block_size(c), 8);
    orvel::EvpCipherCtxPtr ctx(EVP_CIPHER_CTX_new());
    ASSERT_EQ(EVP_EncryptInit_ex(ctx.get(), c, nullptr, key.data(), iv.data()), 1);
    Bytes out(64);
    int outl = -1;
    ASSERT_EQ(EVP_EncryptUpdate(ctx.get(), out.data(), &outl, msg.data(), 5), 1);
    EXPECT_EQ(outl, 0);
    ASSERT_EQ(EVP_EncryptUpdate(ctx.get(), out.data(), &outl, msg.data() + 5, 8), 1);
    EXPECT_EQ(outl, 8);
    int fin = -1;
    EXPECT_EQ(EVP_EncryptFinal_ex(ctx.get(), out.data() + 8, &fin), 0);
    ERR_clear_error();
    // Decryption: no padding is stripped, whole blocks come back.
    Bytes ct = evp_cipher(c, key, iv, Bytes(msg.begin(), msg.begin() + 8), true);
    EXPECT_EQ(ct.size(), 8u);
    EXPECT_EQ(evp_cipher(c, key, iv, ct, false), Bytes(msg.begin(), msg.begin() + 8));
  }
}

TEST(GostCipher, ModeControlsOfGost89) {
  load_engines();
  std::mt19937 rng(7);
  Bytes key = random_bytes(rng, 32), iv = random_bytes(rng, 8), msg = random_bytes(rng, 64);
  const Gost28147ParamSet* z = core_set("id-tc26-gost-28147-param-Z");
  orvel::EvpCipherCtxPtr ctx(EVP_CIPHER_CTX_new());
  ASSERT_EQ(EVP_EncryptInit_ex(ctx.get(), EVP_gost28147(), nullptr, key.data(), iv.data()), 1);
  int mode = 0;
  EXPECT_EQ(EVP_CIPHER_CTX_ctrl(ctx.get(), kVkcCtrlGetMode, 0, &mode), 1);
  EXPECT_EQ(mode, EVP_CIPH_CFB_MODE);
  ASSERT_EQ(EVP_CIPHER_CTX_ctrl(ctx.get(), kVkcCtrlSetMode, EVP_CIPH_CBC_MODE, nullptr), 1);
  EXPECT_EQ(EVP_CIPHER_CTX_ctrl(ctx.get(), kVkcCtrlGetMode, 0, &mode), 1);
  EXPECT_EQ(mode, EVP_CIPH_CBC_MODE);
  Bytes out(80);
  int outl = 0;
  ASSERT_EQ(EVP_EncryptUpdate(ctx.get(), out.data(), &outl, msg.data(), 64), 1);
  out.resize(64);
  EXPECT_EQ(out, core_cipher(z, GOST28147_MODE_CBC, key, &iv, msg, true));
  // Still block size 1 for the toolkit: a partial block is refused.
  CaptureStderr();
  EXPECT_EQ(EVP_EncryptUpdate(ctx.get(), out.data(), &outl, msg.data(), 12), 0);
  EXPECT_EQ(GetCapturedStderr(), "vkc_cipher_do_cipher: data length 12 is not a multiple of 8\n");
  ERR_clear_error();
  for (int m : {EVP_CIPH_ECB_MODE, EVP_CIPH_OFB_MODE}) {
    ASSERT_EQ(EVP_CIPHER_CTX_ctrl(ctx.get(), kVkcCtrlSetMode, m, nullptr), 1);
    EXPECT_EQ(EVP_CIPHER_CTX_ctrl(ctx.get(), kVkcCtrlGetMode, 0, &mode), 1);
    EXPECT_EQ(mode, m);
  }
  CaptureStderr();
  EXPECT_EQ(EVP_CIPHER_CTX_ctrl(ctx.get(), kVkcCtrlSetMode, 7, nullptr), 0);
  EXPECT_EQ(GetCapturedStderr(), "vkc_cipher_ctl: Unsupported cipher mode 7\n");
  ERR_clear_error();
  // A new init through the toolkit returns to CFB.
  ASSERT_EQ(EVP_EncryptInit_ex(ctx.get(), nullptr, nullptr, key.data(), iv.data()), 1);
  EXPECT_EQ(EVP_CIPHER_CTX_ctrl(ctx.get(), kVkcCtrlGetMode, 0, &mode), 1);
  EXPECT_EQ(mode, EVP_CIPH_CFB_MODE);

  // The other variants have no mode controls.
  orvel::EvpCipherCtxPtr cnt(EVP_CIPHER_CTX_new());
  ASSERT_EQ(EVP_EncryptInit_ex(cnt.get(), vkc_cipher_gost89_cnt(), nullptr, key.data(), iv.data()),
            1);
  CaptureStderr();
  EXPECT_EQ(EVP_CIPHER_CTX_ctrl(cnt.get(), kVkcCtrlSetMode, EVP_CIPH_CBC_MODE, nullptr), 0);
  EXPECT_EQ(GetCapturedStderr(), "vkc_cipher_ctl_cnt: Unsupported command 4098\n");
  ERR_clear_error();
}

TEST(GostCipher, RandomKeyAndUnsupportedControls) {
  load_engines();
  const EVP_CIPHER* ciphers[] = {EVP_gost28147(), vkc_cipher_gost89_cnt(), vkc_cipher_gost89_cbc(),
                                 vkc_cipher_gost89_ecb()};
  const char* names[] = {"vkc_cipher_ctl", "vkc_cipher_ctl_cnt", "vkc_cipher_ctl_cbc",
                         "vkc_cipher_ctl_ecb"};
  for (size_t i = 0; i < 4; ++i) {
    orvel::EvpCipherCtxPtr ctx(EVP_CIPHER_CTX_new());
    ASSERT_EQ(EVP_EncryptInit_ex(ctx.get(), ciphers[i], nullptr, nullptr, nullptr), 1);
    EXPECT_EQ(EVP_CIPHER_CTX_get_key_length(ctx.get()), 32);
    EXPECT_EQ(EVP_CIPHER_CTX_get_iv_length(ctx.get()), 8);
    unsigned char k1[32] = {}, k2[32] = {};
    EXPECT_EQ(EVP_CIPHER_CTX_rand_key(ctx.get(), k1), 1);
    EXPECT_EQ(EVP_CIPHER_CTX_rand_key(ctx.get(), k2), 1);
    EXPECT_NE(memcmp(k1, k2, 32), 0);
    CaptureStderr();
    EXPECT_EQ(EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_AEAD_SET_TAG, 0, nullptr), 0);
    EXPECT_EQ(GetCapturedStderr(), std::string(names[i]) + ": Unsupported command 17\n");
    int prf = 0;
    EXPECT_EQ(EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_PBE_PRF_NID, 0, &prf), 1);
    EXPECT_EQ(prf, ssf_nid_id_tc26_hmac_gost_3411_2012_512());
    EXPECT_EQ(EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_PBE_PRF_NID, 0, nullptr), 0);
    ERR_clear_error();
  }
}

// A keyed context given a new IV without a key starts again from that IV
// with its stored key and parameter set, in the direction of the new init.
TEST(GostCipher, NewIvWithoutKeyRestartsTheStoredKey) {
  load_engines();
  std::mt19937 rng(9);
  const Gost28147ParamSet* a = core_set("id-Gost28147-89-CryptoPro-A-ParamSet");
  for (const ModeCase& m : kModes) {
    if (m.core_mode == GOST28147_MODE_ECB) continue;  // no IV
    SCOPED_TRACE(m.core_mode);
    Bytes key = random_bytes(rng, 32), iv1 = random_bytes(rng, 8), iv2 = random_bytes(rng, 8);
    Bytes msg = random_bytes(rng, 24), out(24);
    int outl = 0;
    orvel::EvpCipherCtxPtr ctx(EVP_CIPHER_CTX_new());
    ASSERT_EQ(EVP_EncryptInit_ex(ctx.get(), m.cipher(), nullptr, key.data(), iv1.data()), 1);
    ASSERT_EQ(
        EVP_CIPHER_CTX_ctrl(ctx.get(), 0x1001, NID_id_Gost28147_89_CryptoPro_A_ParamSet, nullptr),
        1);
    ASSERT_EQ(EVP_EncryptUpdate(ctx.get(), out.data(), &outl, msg.data(), 24), 1);
    ASSERT_EQ(EVP_EncryptInit_ex(ctx.get(), nullptr, nullptr, nullptr, iv2.data()), 1);
    ASSERT_EQ(EVP_EncryptUpdate(ctx.get(), out.data(), &outl, msg.data(), 24), 1);
    ASSERT_EQ(outl, 24);
    EXPECT_EQ(out, core_cipher(a, m.core_mode, key, &iv2, msg, true));
    // Back to the first IV, now decrypting.
    const Bytes ct = core_cipher(a, m.core_mode, key, &iv1, msg, true);
    ASSERT_EQ(EVP_DecryptInit_ex(ctx.get(), nullptr, nullptr, nullptr, iv1.data()), 1);
    ASSERT_EQ(EVP_DecryptUpdate(ctx.get(), out.data(), &outl, ct.data(), 24), 1);
    ASSERT_EQ(outl, 24);
    EXPECT_EQ(out, msg);
  }
}

// Control 0x1001 re-keys in place; a NID that is not a GOST 28147-89 set
// (here a GOST R 34.10 set) falls back to the engine's default.
TEST(GostCipher, ParamSetControl) {
  load_engines();
  std::mt19937 rng(8);
  Bytes key = random_bytes(rng, 32), iv = random_bytes(rng, 8), msg = random_bytes(rng, 40);
  Bytes with_a = core_cipher(core_set("id-Gost28147-89-CryptoPro-A-ParamSet"), GOST28147_MODE_CFB,
                             key, &iv, msg, true);
  Bytes with_z =
      core_cipher(core_set("id-tc26-gost-28147-param-Z"), GOST28147_MODE_CFB, key, &iv, msg, true);
  // After a keyed init, as the profile-password code does it.
  orvel::EvpCipherCtxPtr ctx(EVP_CIPHER_CTX_new());
  ASSERT_EQ(EVP_EncryptInit_ex(ctx.get(), EVP_gost28147(), nullptr, key.data(), iv.data()), 1);
  ASSERT_EQ(
      EVP_CIPHER_CTX_ctrl(ctx.get(), 0x1001, NID_id_Gost28147_89_CryptoPro_A_ParamSet, nullptr), 1);
  Bytes out(40);
  int outl = 0;
  ASSERT_EQ(EVP_EncryptUpdate(ctx.get(), out.data(), &outl, msg.data(), 40), 1);
  EXPECT_EQ(out, with_a);
  // Before the key: kept for the keyed init.
  EXPECT_EQ(
      evp_cipher(EVP_gost28147(), key, iv, msg, true, {}, NID_id_Gost28147_89_CryptoPro_A_ParamSet),
      with_a);
  EXPECT_EQ(evp_cipher(EVP_gost28147(), key, iv, msg, true, {},
                       NID_id_GostR3410_2001_CryptoPro_A_ParamSet),
            with_z);
}
