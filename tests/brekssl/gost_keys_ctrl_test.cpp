// Controls of the GOST key methods: parameter sets by name, parameter and
// key generation, digests, UKM, context copies, parameters and printing;
// and the key methods of the GOST MAC key types.
#include <gtest/gtest.h>
#include <openssl/objects.h>
#include <openssl/sha.h>

#include <cstring>
#include <string>
#include <vector>

#include "engines/gost/gost_ameth.h"
#include "engines/gost/gost_keypair.h"
#include "engines/gost/gost_keypair_ops.h"
#include "engines/gost/gost_mac_keys.h"
#include "engines/gost/gost_pkey_engine.h"
#include "engines/gost/gost_pkey_nids.h"
#include "engines/gost/gost_pmeth.h"
#include "gost_keys_test_util.h"

using namespace gost_keys_test;

namespace {

class GostKeysCtrl : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(setup()); }
};

orvel::EvpPkeyCtxPtr keygen_ctx(int nid) {
  orvel::EvpPkeyCtxPtr ctx(EVP_PKEY_CTX_new_id(nid, nullptr));
  if (ctx && EVP_PKEY_keygen_init(ctx.get()) <= 0) ctx.reset();
  return ctx;
}

orvel::EvpPkeyPtr empty_params_key() {
  orvel::EvpPkeyPtr key(EVP_PKEY_new());
  EVP_PKEY_set_type(key.get(), gost_nid_key_2012_256());
  return key;
}

int param_nid_of(EVP_PKEY_CTX* ctx) {
  return static_cast<GostPkeyCtxData*>(EVP_PKEY_CTX_get_data(ctx))->param_nid;
}

TEST_F(GostKeysCtrl, ParamsetNames) {
  orvel::EvpPkeyCtxPtr c256 = keygen_ctx(gost_nid_key_2012_256());
  orvel::EvpPkeyCtxPtr c512 = keygen_ctx(gost_nid_key_2012_512());
  orvel::EvpPkeyCtxPtr c2001 = keygen_ctx(gost_nid_key_2001());
  ASSERT_TRUE(c256 && c512 && c2001);
  struct {
    const char* value;
    int nid;
  } const k256[] = {{"0", NID_id_GostR3410_2001_TestParamSet},
                    {"a", NID_id_GostR3410_2001_CryptoPro_A_ParamSet},
                    {"B", NID_id_GostR3410_2001_CryptoPro_B_ParamSet},
                    {"c", NID_id_GostR3410_2001_CryptoPro_C_ParamSet},
                    {"XA", NID_id_GostR3410_2001_CryptoPro_XchA_ParamSet},
                    {"xb", NID_id_GostR3410_2001_CryptoPro_XchB_ParamSet},
                    {"id-tc26-gost-3410-2012-256-paramSetD", OBJ_txt2nid("1.2.643.7.1.2.1.1.4")}};
  for (const auto& c : k256) {
    EXPECT_EQ(EVP_PKEY_CTX_ctrl_str(c256.get(), "paramset", c.value), 1) << c.value;
    EXPECT_EQ(param_nid_of(c256.get()), c.nid) << c.value;
    EXPECT_EQ(EVP_PKEY_CTX_ctrl_str(c2001.get(), "paramset", c.value), 1) << c.value;
  }
  EXPECT_EQ(EVP_PKEY_CTX_ctrl_str(c512.get(), "paramset", "id-tc26-gost-3410-2012-512-paramSetC"),
            1);
  EXPECT_EQ(param_nid_of(c512.get()), OBJ_txt2nid("1.2.643.7.1.2.1.2.3"));
  EXPECT_EQ(EVP_PKEY_CTX_ctrl_str(c512.get(), "paramset", "b"), 1);
  EXPECT_EQ(param_nid_of(c512.get()), OBJ_txt2nid("1.2.643.7.1.2.1.2.2"));

  // Refusals keep the set chosen before.
  for (const char* bad : {"XC", "D", "nonsense", "X", ""})
    EXPECT_LE(EVP_PKEY_CTX_ctrl_str(c256.get(), "paramset", bad), 0) << bad;
  EXPECT_LE(EVP_PKEY_CTX_ctrl_str(c512.get(), "paramset", "C"), 0);
  {
    StderrCapture cap;
    EXPECT_LE(EVP_PKEY_CTX_ctrl_str(c256.get(), "paramset", "id-tc26-gost-3410-2012-512-paramSetA"),
              0);
    EXPECT_LE(
        EVP_PKEY_CTX_ctrl_str(c512.get(), "paramset", "id-GostR3410-2001-CryptoPro-A-ParamSet"), 0);
    EXPECT_EQ(cap.text(),
              "pkey_vkc_ctrl_gost2012_str: invalid parameter set\n"
              "pkey_vkc_ctrl_gost2012_str: invalid parameter set\n");
  }
  EXPECT_EQ(param_nid_of(c512.get()), OBJ_txt2nid("1.2.643.7.1.2.1.2.2"));
  EXPECT_EQ(pkey_vkc_ctrl_gost2012_str(c256.get(), "paramset", nullptr), 0);
  EXPECT_EQ(pkey_vkc_ctrl_gost2012_str(c256.get(), "other", "A"), -2);

  // Agreement types take "paramset" as no set.
  orvel::EvpPkeyCtxPtr dh(EVP_PKEY_CTX_new_id(gost_nid_dh_2012_256(), nullptr));
  ASSERT_TRUE(dh);
  EXPECT_EQ(pkey_vkc_ctrl_gost2012_str(dh.get(), "paramset", "A"), 1);
  EXPECT_EQ(param_nid_of(dh.get()), NID_undef);
}

TEST_F(GostKeysCtrl, ParameterGenerationAndEngineDefaults) {
  orvel::EvpPkeyCtxPtr ctx = keygen_ctx(gost_nid_key_2012_512());
  ASSERT_TRUE(ctx);
  EVP_PKEY* raw = nullptr;
  {
    StderrCapture cap;
    EXPECT_LE(EVP_PKEY_keygen(ctx.get(), &raw), 0);
    EXPECT_EQ(cap.text(),
              "pkey_gost2012_paramgen: No parameters set\npkey_gost2012_paramgen failed\n");
  }
  EVP_PKEY_free(raw);
  raw = nullptr;
  // The engine context's default set of the key type.
  auto* ectx = const_cast<VKC2012_ENGINE_CTX*>(gost_pkey_engine_ctx(gost_nid_key_2012_512()));
  ASSERT_NE(ectx, nullptr);
  ectx->gost2012_512_param_nid = OBJ_txt2nid("1.2.643.7.1.2.1.2.2");
  ASSERT_EQ(EVP_PKEY_keygen(ctx.get(), &raw), 1);
  orvel::EvpPkeyPtr key(raw);
  EXPECT_EQ(gost_keypair_of(key.get())->param_nid, OBJ_txt2nid("1.2.643.7.1.2.1.2.2"));
  ectx->gost2012_512_param_nid = NID_undef;

  // Parameters alone, then a key from them.
  orvel::EvpPkeyCtxPtr pctx(EVP_PKEY_CTX_new_id(gost_nid_key_2012_256(), nullptr));
  ASSERT_TRUE(pctx);
  ASSERT_EQ(EVP_PKEY_paramgen_init(pctx.get()), 1);
  ASSERT_EQ(EVP_PKEY_CTX_ctrl_str(pctx.get(), "paramset", "B"), 1);
  EVP_PKEY* params_raw = nullptr;
  ASSERT_EQ(EVP_PKEY_paramgen(pctx.get(), &params_raw), 1);
  orvel::EvpPkeyPtr params(params_raw);
  EXPECT_EQ(EVP_PKEY_missing_parameters(params.get()), 1);  // no public value yet
  orvel::EvpPkeyCtxPtr kctx(EVP_PKEY_CTX_new(params.get(), nullptr));
  ASSERT_TRUE(kctx);
  ASSERT_EQ(EVP_PKEY_keygen_init(kctx.get()), 1);
  raw = nullptr;
  ASSERT_EQ(EVP_PKEY_keygen(kctx.get(), &raw), 1);
  orvel::EvpPkeyPtr from_params(raw);
  EXPECT_EQ(EVP_PKEY_parameters_eq(params.get(), from_params.get()), 1);
  EXPECT_EQ(EVP_PKEY_missing_parameters(from_params.get()), 0);

  // Copying parameters: into an empty key, and refused between sets.
  orvel::EvpPkeyPtr empty(EVP_PKEY_new());
  ASSERT_EQ(EVP_PKEY_set_type(empty.get(), gost_nid_key_2012_256()), 1);
  EXPECT_EQ(EVP_PKEY_copy_parameters(empty.get(), from_params.get()), 1);
  EXPECT_EQ(EVP_PKEY_parameters_eq(empty.get(), from_params.get()), 1);
  orvel::EvpPkeyPtr other = generate(gost_nid_key_2012_256(), "C");
  ASSERT_TRUE(other);
  EXPECT_EQ(EVP_PKEY_parameters_eq(other.get(), from_params.get()), 0);
  EXPECT_LE(EVP_PKEY_copy_parameters(other.get(), from_params.get()), 0);
  StderrCapture cap;
  EXPECT_EQ(param_copy_gost2012(other.get(), from_params.get()), 0);
  EXPECT_EQ(param_copy_gost2012(other.get(), empty_params_key().get()), 0);
  EXPECT_EQ(cap.text(),
            "param_copy_gost2012: incompatible keys\n"
            "param_copy_gost2012: undefined source NID\n");
}

TEST_F(GostKeysCtrl, DigestsUkmAndContextCopies) {
  struct {
    int (*key)();
    const char* set;
    int (*md)();
  } const kDefaults[] = {{gost_nid_key_2001, "A", gost_nid_md_94},
                         {gost_nid_key_2012_256, "A", gost_nid_md_2012_256},
                         {gost_nid_key_2012_512, "A", gost_nid_md_2012_512}};
  for (const auto& d : kDefaults) {
    orvel::EvpPkeyPtr key = generate(d.key(), d.set);
    ASSERT_TRUE(key);
    int nid = NID_undef;
    EXPECT_EQ(EVP_PKEY_get_default_digest_nid(key.get(), &nid), 2);
    EXPECT_EQ(nid, d.md());
  }
  orvel::EvpPkeyPtr key = generate(gost_nid_key_2012_256(), "A");
  ASSERT_TRUE(key);
  orvel::EvpPkeyCtxPtr ctx(EVP_PKEY_CTX_new(key.get(), nullptr));
  ASSERT_TRUE(ctx);
  ASSERT_EQ(EVP_PKEY_sign_init(ctx.get()), 1);
  EXPECT_LE(EVP_PKEY_CTX_set_signature_md(ctx.get(), EVP_sha256()), 0);
  EXPECT_EQ(EVP_PKEY_CTX_set_signature_md(ctx.get(), EVP_get_digestbynid(gost_nid_md_2012_512())),
            1);

  // A UKM set twice: the first copy is released (the sanitizer build
  // reports a leak otherwise); a context copy has none.
  unsigned char ukm1[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  unsigned char ukm2[16] = {9};
  EXPECT_EQ(pkey_vkc_ctrl(ctx.get(), EVP_PKEY_CTRL_SET_IV, sizeof(ukm1), ukm1), 1);
  EXPECT_EQ(pkey_vkc_ctrl(ctx.get(), EVP_PKEY_CTRL_SET_IV, sizeof(ukm2), ukm2), 1);
  auto* data = static_cast<GostPkeyCtxData*>(EVP_PKEY_CTX_get_data(ctx.get()));
  ASSERT_EQ(data->ukm_len, 16u);
  EXPECT_EQ(0, memcmp(data->ukm, ukm2, 16));
  EXPECT_EQ(pkey_vkc_ctrl(ctx.get(), EVP_PKEY_CTRL_SET_IV, -1, ukm1), 0);
  EXPECT_EQ(pkey_vkc_ctrl(ctx.get(), kGostCtrlSecondNid, 1234, nullptr), 1);
  EXPECT_EQ(pkey_vkc_ctrl(ctx.get(), EVP_PKEY_CTRL_PEER_KEY, 2, nullptr), 0);
  EXPECT_EQ(pkey_vkc_ctrl(ctx.get(), EVP_PKEY_CTRL_PEER_KEY, 3, nullptr), 1);
  EXPECT_EQ(pkey_vkc_ctrl(ctx.get(), EVP_PKEY_CTRL_PEER_KEY, 2, nullptr), 1);
  EXPECT_EQ(pkey_vkc_ctrl(ctx.get(), EVP_PKEY_CTRL_PEER_KEY, 4, nullptr), -2);
  EXPECT_EQ(pkey_vkc_ctrl(ctx.get(), 0x7777, 0, nullptr), -2);
  orvel::EvpPkeyCtxPtr dup(EVP_PKEY_CTX_dup(ctx.get()));
  ASSERT_TRUE(dup);
  auto* copy = static_cast<GostPkeyCtxData*>(EVP_PKEY_CTX_get_data(dup.get()));
  EXPECT_EQ(copy->ukm, nullptr);
  EXPECT_EQ(copy->ukm_len, 0u);
  EXPECT_EQ(copy->second_nid, 1234);
  EXPECT_EQ(copy->peer_key, 1u);
  EXPECT_EQ(copy->param_nid, data->param_nid);
  // The copy signs.
  std::vector<unsigned char> dgst(32, 0x5A), sig(64);
  size_t len = sig.size();
  EXPECT_EQ(EVP_PKEY_sign(dup.get(), sig.data(), &len, dgst.data(), dgst.size()), 1);
}

TEST_F(GostKeysCtrl, PrintedKeys) {
  orvel::EvpPkeyPtr key = generate(gost_nid_key_2012_512(), "A");
  ASSERT_TRUE(key);
  orvel::BioPtr bio(BIO_new(BIO_s_mem()));
  ASSERT_EQ(EVP_PKEY_print_private(bio.get(), key.get(), 2, nullptr), 1);
  char* p = nullptr;
  long n = BIO_get_mem_data(bio.get(), &p);
  std::string text(p, static_cast<size_t>(n));
  EXPECT_EQ(text.rfind("  Key algorithm: \n      GOST R 34.10-2012 with 512 bit modulus\n"
                       "  Parameters: \n      sign_params: GOST R 34.10-2012 (512 bit) ParamSet A\n"
                       "      hash_params: GOST R 34.11-2012 with 512 bit hash\n"
                       "  Private key: \n      ",
                       0),
            0u)
      << text;
  EXPECT_NE(text.find("  Public key: \n      "), std::string::npos);
  // 64 private bytes and 128 public bytes, 16 to a line.
  size_t colons = 0;
  for (char ch : text) colons += ch == ':';
  EXPECT_EQ(colons, 6u + 64 + 128);
  orvel::BioPtr params(BIO_new(BIO_s_mem()));
  ASSERT_EQ(EVP_PKEY_print_params(params.get(), key.get(), 0, nullptr), 1);
  n = BIO_get_mem_data(params.get(), &p);
  EXPECT_EQ(std::string(p, static_cast<size_t>(n)).find("Private key"), std::string::npos);
}

// ---- MAC key types ----

// Stand-in MAC digest (when no engine supplies one): remembers the key it
// gets through the digest control, which the toolkit sends before the
// digest's init, and outputs SHA-256(key || data).
struct FakeMac {
  unsigned char key[32];
  int key_set;
  SHA256_CTX sha;
};

int fake_init(EVP_MD_CTX* ctx) {
  auto* f = static_cast<FakeMac*>(EVP_MD_CTX_md_data(ctx));
  SHA256_Init(&f->sha);
  return !f->key_set || SHA256_Update(&f->sha, f->key, 32);
}
int fake_update(EVP_MD_CTX* ctx, const void* data, size_t len) {
  auto* f = static_cast<FakeMac*>(EVP_MD_CTX_md_data(ctx));
  return f->key_set && SHA256_Update(&f->sha, data, len);
}
int fake_final(EVP_MD_CTX* ctx, unsigned char* out) {
  auto* f = static_cast<FakeMac*>(EVP_MD_CTX_md_data(ctx));
  unsigned char full[32];
  if (!f->key_set || !SHA256_Final(full, &f->sha)) return 0;
  memcpy(out, full, 8);
  return 1;
}
int fake_ctrl(EVP_MD_CTX* ctx, int cmd, int p1, void* p2) {
  auto* f = static_cast<FakeMac*>(EVP_MD_CTX_md_data(ctx));
  if (cmd != kGostMdCtrlSetKey || p1 != 32) return -2;
  memcpy(f->key, p2, 32);
  f->key_set = 1;
  return SHA256_Init(&f->sha) && SHA256_Update(&f->sha, f->key, 32);
}

const EVP_MD* mac_digest(int nid, int size) {
  const EVP_MD* md = EVP_get_digestbynid(nid);
  if (md != nullptr) return md;
  EVP_MD* fake = EVP_MD_meth_new(nid, NID_undef);
  EVP_MD_meth_set_result_size(fake, size);
  EVP_MD_meth_set_input_blocksize(fake, 8);
  EVP_MD_meth_set_app_datasize(fake, sizeof(FakeMac));
  EVP_MD_meth_set_init(fake, fake_init);
  EVP_MD_meth_set_update(fake, fake_update);
  EVP_MD_meth_set_final(fake, fake_final);
  EVP_MD_meth_set_ctrl(fake, fake_ctrl);
  add_test_digest(fake);
  return EVP_get_digestbynid(nid);
}

// The MAC computed straight through the digest with the key set by hand.
std::vector<unsigned char> direct_mac(const EVP_MD* md, const unsigned char* key,
                                      const std::string& msg) {
  orvel::EvpMdCtxPtr ctx(EVP_MD_CTX_new());
  unsigned char out[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  if (!EVP_DigestInit_ex(ctx.get(), md, nullptr) ||
      EVP_MD_CTX_ctrl(ctx.get(), kGostMdCtrlSetKey, 32, const_cast<unsigned char*>(key)) <= 0 ||
      !EVP_DigestUpdate(ctx.get(), msg.data(), msg.size()) ||
      !EVP_DigestFinal_ex(ctx.get(), out, &len))
    return {};
  return std::vector<unsigned char>(out, out + len);
}

TEST_F(GostKeysCtrl, MacKeyTypes) {
  struct {
    int (*nid)();
    size_t mac_len;
    const char* key_msg;
    const char* hexkey_msg;
  } const kMacs[] = {
      {gost_nid_mac_28147, 4, "pkey_vkc_mac_ctrl_str: invalid key string length = 31\n",
       "pkey_vkc_mac_ctrl_str: invalid key string length = 31\n"},
      {gost_nid_mac_kuznechik, 8, "pkey_vkc_mac_ctrl_str: invalid key string length = 31\n",
       "pkey_vkc_kuznechik_mac_ctrl_str: invalid key string length = 31\n"},
      {gost_nid_mac_magma, 4, "pkey_vkc_magma_mac_ctrl_str: invalid key string length = 31\n",
       "pkey_vkc_magma_mac_ctrl_str: invalid key string length = 31\n"},
  };
  const std::string key31(31, 'k');
  const std::string key32 = "0123456789abcdef0123456789ABCDEF";
  const std::string hex31(62, 'a');
  for (const auto& m : kMacs) {
    int nid = m.nid();
    SCOPED_TRACE(OBJ_nid2sn(nid));
    orvel::EvpPkeyCtxPtr ctx = keygen_ctx(nid);
    ASSERT_TRUE(ctx);
    EVP_PKEY* raw = nullptr;
    {
      StderrCapture cap;
      EXPECT_LE(EVP_PKEY_keygen(ctx.get(), &raw), 0);
      EXPECT_LE(EVP_PKEY_CTX_ctrl_str(ctx.get(), "key", key31.c_str()), 0);
      EXPECT_LE(EVP_PKEY_CTX_ctrl_str(ctx.get(), "hexkey", hex31.c_str()), 0);
      EXPECT_EQ(cap.text(),
                std::string("pkey_vkc_mac_keygen: key not set\n") + m.key_msg + m.hexkey_msg);
    }
    EVP_PKEY_free(raw);
    raw = nullptr;
    ASSERT_EQ(EVP_PKEY_CTX_ctrl_str(ctx.get(), "key", key32.c_str()), 1);
    ASSERT_EQ(EVP_PKEY_keygen(ctx.get(), &raw), 1);
    orvel::EvpPkeyPtr key(raw);
    EXPECT_EQ(EVP_PKEY_get_base_id(key.get()), nid);
    EXPECT_EQ(0, memcmp(EVP_PKEY_get0(key.get()), key32.data(), 32));
    int md_nid = NID_undef;
    EXPECT_EQ(EVP_PKEY_get_default_digest_nid(key.get(), &md_nid), 2);
    EXPECT_EQ(md_nid, nid);

    // "hexkey" gives the same key.
    orvel::EvpPkeyCtxPtr hctx = keygen_ctx(nid);
    std::string hex;
    for (unsigned char ch : key32) {
      char b[3];
      snprintf(b, sizeof(b), "%02x", ch);
      hex += b;
    }
    ASSERT_EQ(EVP_PKEY_CTX_ctrl_str(hctx.get(), "hexkey", hex.c_str()), 1);
    raw = nullptr;
    ASSERT_EQ(EVP_PKEY_keygen(hctx.get(), &raw), 1);
    orvel::EvpPkeyPtr hkey(raw);
    EXPECT_EQ(0, memcmp(EVP_PKEY_get0(hkey.get()), key32.data(), 32));

    // MAC through EVP_DigestSign with the key of the toolkit key.
    const EVP_MD* md = mac_digest(nid, static_cast<int>(m.mac_len));
    ASSERT_NE(md, nullptr);
    orvel::EvpMdCtxPtr mctx(EVP_MD_CTX_new());
    EXPECT_EQ(EVP_DigestSignInit(mctx.get(), nullptr, EVP_sha256(), nullptr, key.get()), 0);
    mctx.reset(EVP_MD_CTX_new());
    ASSERT_EQ(EVP_DigestSignInit(mctx.get(), nullptr, md, nullptr, key.get()), 1);
    const std::string msg = "MAC me";
    ASSERT_EQ(EVP_DigestSignUpdate(mctx.get(), msg.data(), msg.size()), 1);
    unsigned char mac[64];
    size_t mac_len = 0;
    ASSERT_EQ(EVP_DigestSignFinal(mctx.get(), nullptr, &mac_len), 1);
    EXPECT_EQ(mac_len, m.mac_len);
    mac_len = sizeof(mac);
    ASSERT_EQ(EVP_DigestSignFinal(mctx.get(), mac, &mac_len), 1);
    std::vector<unsigned char> expected =
        direct_mac(md, reinterpret_cast<const unsigned char*>(key32.data()), msg);
    ASSERT_GE(expected.size(), m.mac_len);
    EXPECT_EQ(0, memcmp(mac, expected.data(), m.mac_len));

    orvel::EvpMdCtxPtr vctx(EVP_MD_CTX_new());
    ASSERT_EQ(EVP_DigestVerifyInit(vctx.get(), nullptr, md, nullptr, key.get()), 1);
    ASSERT_EQ(EVP_DigestVerifyUpdate(vctx.get(), msg.data(), msg.size()), 1);
    EXPECT_EQ(EVP_DigestVerifyFinal(vctx.get(), mac, m.mac_len), 1);
    vctx.reset(EVP_MD_CTX_new());
    ASSERT_EQ(EVP_DigestVerifyInit(vctx.get(), nullptr, md, nullptr, key.get()), 1);
    ASSERT_EQ(EVP_DigestVerifyUpdate(vctx.get(), msg.data(), msg.size()), 1);
    EXPECT_NE(EVP_DigestVerifyFinal(vctx.get(), mac, m.mac_len - 1), 1);
  }
}

}  // namespace

namespace {

TEST_F(GostKeysCtrl, KeyObjectHelpers) {
  int set = OBJ_txt2nid("1.2.643.7.1.2.1.2.3");
  VK_GOST2012_KEYPAIR* key = GOST3410_generate_key(gost_nid_key_2012_512(), set);
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->priv_present, 1u);
  EXPECT_EQ(key->pub_key_len, 128u);
  orvel::EvpPkeyPtr pkey(EVP_PKEY_new());
  ASSERT_EQ(EVP_PKEY_assign_GOST3410(pkey.get(), key), 1);
  EXPECT_EQ(vkc_get0_pub_key(pkey.get()), key->pub_key);
  EXPECT_EQ(vkc_get0_priv_key(pkey.get()), key->priv_key);
  std::vector<unsigned char> sig = digest_sign(pkey.get(), "helper key");
  EXPECT_EQ(digest_verify(pkey.get(), "helper key", sig), 1);
  {
    StderrCapture cap;
    EXPECT_EQ(GOST3410_generate_key(gost_nid_key_2012_256(), set), nullptr);
    EXPECT_EQ(cap.text(),
              "fill_GOST2012_params: unsupported parameter set\n"
              "GOST3410_generate_key: vkc_gost2012_keygen_wrapper failed\n");
  }
  EXPECT_EQ(find_param_index_by_nid(gost_paramset_table_512(), set), 3);
  EXPECT_EQ(find_param_index_by_nid(gost_paramset_table_256(), set), -1);
  unsigned char bytes[17];
  for (int i = 0; i < 17; i++) bytes[i] = static_cast<unsigned char>(i);
  orvel::BioPtr bio(BIO_new(BIO_s_mem()));
  bio_print_hex(bio.get(), bytes, sizeof(bytes));
  char* p = nullptr;
  long n = BIO_get_mem_data(bio.get(), &p);
  EXPECT_EQ(std::string(p, static_cast<size_t>(n)),
            "0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, "
            "0x0E, 0x0F,\n0x10,\n");
  revert(bytes, 3);
  EXPECT_EQ(bytes[0], 2);
  EXPECT_EQ(bytes[2], 0);
}

}  // namespace
