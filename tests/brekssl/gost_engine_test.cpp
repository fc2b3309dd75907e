// The "gost" engine: loading by the system's engine loading, its selectors,
// control commands with their messages, callbacks, an engine id already
// taken, and the dynamic-engine entry points.
#include <gtest/gtest.h>
#include <openssl/engine.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/objects.h>

#include <set>
#include <string>

#include "engines/gost/e_gost.h"
#include "engines/gost/e_gost_ctrl.h"
#include "engines/gost/e_gost_dynamic.h"
#include "engines/gost/gost_ciphers.h"
#include "engines/gost/gost_digests.h"
#include "engines/gost/gost_engine_ctx.h"
#include "engines/gost/gost_imit.h"
#include "gost_engine_test_util.h"
#include "objects/ssf_objects.h"

using namespace gost_engine_test;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {

orvel::EnginePtr gost_engine() { return orvel::EnginePtr(ENGINE_by_id("gost")); }

// A command by its number with a string argument; stderr is collected.
int command(ENGINE* e, int cmd, const char* arg, std::string* err) {
  CaptureStderr();
  int rc = ENGINE_ctrl(e, cmd, 0, const_cast<char*>(arg), nullptr);
  *err = GetCapturedStderr();
  return rc;
}

std::set<int> as_set(const int* nids, int n) { return std::set<int>(nids, nids + n); }

}  // namespace

TEST(GostEngine, LoadedObjectsComeFromTheEngine) {
  load_engines();
  auto e = gost_engine();
  ASSERT_TRUE(e);
  EXPECT_STREQ(ENGINE_get_name(e.get()), "KESTRUM-Soft BrekSSL Internal GOST engine");

  EXPECT_EQ(EVP_get_cipherbyname("gost89"), EVP_gost28147());
  EXPECT_EQ(EVP_get_cipherbyname("GOST 28147-89"), EVP_gost28147());
  EXPECT_EQ(EVP_get_cipherbyname("gost89-cnt"), vkc_cipher_gost89_cnt());
  EXPECT_EQ(EVP_get_cipherbyname("gost89-cbc"), vkc_cipher_gost89_cbc());
  EXPECT_EQ(EVP_get_cipherbyname("gost89-cbcstrict"), vkc_cipher_gost89_cbcstrict());
  EXPECT_EQ(EVP_get_cipherbyname("gost89-ecb"), vkc_cipher_gost89_ecb());
  EXPECT_EQ(EVP_get_digestbyname("md_gost12_256"), EVP_gosthash_2012_256());
  EXPECT_EQ(EVP_get_digestbyname("GOST R 34.11-2012 with 256 bit hash"), EVP_gosthash_2012_256());
  EXPECT_EQ(EVP_get_digestbyname("md_gost12_512"), EVP_gosthash_2012_512());
  EXPECT_EQ(EVP_get_digestbyname("md_gost94"), EVP_gosthash_94());
  EXPECT_EQ(EVP_get_digestbyname("gost-mac"), EVP_gostimito());
  // By identifier, as the toolkit's PKCS#7 code finds them.
  ASN1_OBJECT* oid = OBJ_txt2obj("1.2.643.7.1.1.2.2", 1);
  EXPECT_EQ(EVP_get_digestbyobj(oid), EVP_gosthash_2012_256());
  ASN1_OBJECT_free(oid);
  oid = OBJ_txt2obj("1.2.643.2.2.21", 1);
  EXPECT_EQ(EVP_get_cipherbyobj(oid), EVP_gost28147());
  ASN1_OBJECT_free(oid);

  // The toolkit's tables name this engine for the NIDs.
  for (int nid : {NID_id_Gost28147_89, ssf_nid_gost89_cbc()}) {
    ENGINE* te = ENGINE_get_cipher_engine(nid);
    ASSERT_NE(te, nullptr) << nid;
    EXPECT_STREQ(ENGINE_get_id(te), "gost");
    ENGINE_finish(te);
  }
  for (int nid : {ssf_nid_md_gost12_256(), NID_id_Gost28147_89_MAC}) {
    ENGINE* te = ENGINE_get_digest_engine(nid);
    ASSERT_NE(te, nullptr) << nid;
    EXPECT_STREQ(ENGINE_get_id(te), "gost");
    ENGINE_finish(te);
  }
  ENGINE* pe = ENGINE_get_pkey_meth_engine(ssf_nid_gost2012_256());
  ASSERT_NE(pe, nullptr);
  EXPECT_STREQ(ENGINE_get_id(pe), "gost");
  EXPECT_NE(ENGINE_get_pkey_meth(pe, ssf_nid_gost2012_256()), nullptr);
  ENGINE_finish(pe);
  EXPECT_EQ(ERR_peek_error(), 0u);
}

TEST(GostEngine, Selectors) {
  load_engines();
  auto e = gost_engine();
  ASSERT_TRUE(e);

  ENGINE_CIPHERS_PTR ciphers = ENGINE_get_ciphers(e.get());
  const int* nids = nullptr;
  int n = ciphers(e.get(), nullptr, &nids, 0);
  ASSERT_EQ(n, 15);
  EXPECT_EQ(nids[0], NID_id_Gost28147_89);
  EXPECT_EQ(nids[1], NID_gost89_cnt);
  EXPECT_EQ(nids[2], ssf_nid_gost89_cbc());
  EXPECT_EQ(nids[3], ssf_nid_gost89_cbcstrict());
  EXPECT_EQ(nids[4], ssf_nid_gost89_ecb());
  EXPECT_EQ(nids[5], ssf_nid_kuznechik_ecb());
  EXPECT_EQ(nids[9], ssf_nid_kuznechik_cfb());
  EXPECT_EQ(nids[10], ssf_nid_magma_ecb());
  EXPECT_EQ(nids[14], ssf_nid_magma_cfb());
  EXPECT_EQ(nids[15], 0);
  for (int i = 0; i < n; ++i) {
    const EVP_CIPHER* c = nullptr;
    EXPECT_EQ(ciphers(e.get(), &c, nullptr, nids[i]), 1);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(EVP_CIPHER_get_nid(c), nids[i]);
  }
  // A name-only object outside the list, NID_undef, a stock cipher.
  for (int nid : {ssf_nid_gost89_ctr(), NID_undef, NID_sha256}) {
    const EVP_CIPHER* c = EVP_gost28147();
    EXPECT_EQ(ciphers(e.get(), &c, nullptr, nid), 0) << nid;
    EXPECT_EQ(c, nullptr);
  }

  ENGINE_DIGESTS_PTR digests = ENGINE_get_digests(e.get());
  n = digests(e.get(), nullptr, &nids, 0);
  ASSERT_EQ(n, 6);
  EXPECT_EQ(as_set(nids, n),
            (std::set<int>{NID_id_GostR3411_94, ssf_nid_md_gost12_256(), ssf_nid_md_gost12_512(),
                           NID_id_Gost28147_89_MAC, ssf_nid_kuznechik_mac(), ssf_nid_magma_mac()}));
  const EVP_MD* md = nullptr;
  EXPECT_EQ(digests(e.get(), &md, nullptr, ssf_nid_md_gost12_512()), 1);
  EXPECT_EQ(md, EVP_gosthash_2012_512());
  EXPECT_EQ(digests(e.get(), &md, nullptr, NID_sha256), 0);
  EXPECT_EQ(md, nullptr);

  // Nine key types, shared by both key selectors.
  ENGINE_PKEY_METHS_PTR pmeths = ENGINE_get_pkey_meths(e.get());
  ENGINE_PKEY_ASN1_METHS_PTR ameths = ENGINE_get_pkey_asn1_meths(e.get());
  const int* anids = nullptr;
  n = pmeths(e.get(), nullptr, &nids, 0);
  ASSERT_EQ(n, 9);
  ASSERT_EQ(ameths(e.get(), nullptr, &anids, 0), 9);
  EXPECT_EQ(nids, anids);
  EXPECT_EQ(as_set(nids, n),
            (std::set<int>{NID_id_GostR3410_2001, ssf_nid_gost2012_256(), ssf_nid_gost2012_512(),
                           NID_id_Gost28147_89_MAC, NID_id_GostR3410_2001DH,
                           ssf_nid_id_tc26_agreement_gost_3410_2012_256(),
                           ssf_nid_id_tc26_agreement_gost_3410_2012_512(), ssf_nid_kuznechik_mac(),
                           ssf_nid_magma_mac()}));
  for (int i = 0; i < n; ++i) {
    EVP_PKEY_METHOD* pm = nullptr;
    EVP_PKEY_ASN1_METHOD* am = nullptr;
    EXPECT_EQ(pmeths(e.get(), &pm, nullptr, nids[i]), 1);
    EXPECT_EQ(ameths(e.get(), &am, nullptr, nids[i]), 1);
    EXPECT_NE(pm, nullptr);
    ASSERT_NE(am, nullptr);
    int pkey_id = 0;
    EXPECT_EQ(EVP_PKEY_asn1_get0_info(&pkey_id, nullptr, nullptr, nullptr, nullptr, am), 1);
    EXPECT_EQ(pkey_id, nids[i]);
  }
  EVP_PKEY_METHOD* pm = nullptr;
  EXPECT_EQ(pmeths(e.get(), &pm, nullptr, NID_rsaEncryption), 0);
  EXPECT_EQ(pm, nullptr);
  // The PEM names of the key ASN.1 methods.
  EVP_PKEY_ASN1_METHOD* am = nullptr;
  ASSERT_EQ(ameths(e.get(), &am, nullptr, ssf_nid_gost2012_512()), 1);
  const char *pem = nullptr, *info = nullptr;
  EVP_PKEY_asn1_get0_info(nullptr, nullptr, nullptr, &info, &pem, am);
  EXPECT_STREQ(pem, "GOST2012_512");
  EXPECT_STREQ(info, "GOST R 34.10-2012-512");
}

TEST(GostEngine, Gost28147ParamsCommand) {
  load_engines();
  auto e = gost_engine();
  ASSERT_TRUE(e);
  std::string err;
  const int z = ssf_nid_id_tc26_gost_28147_param_Z();
  // No string: the current set, nothing changes.
  EXPECT_EQ(command(e.get(), kVkcCmdParamsGost28147, nullptr, &err), z);
  EXPECT_EQ(command(e.get(), kVkcCmdParamsGost28147, "id-Gost28147-89-CryptoPro-A-ParamSet", &err),
            z);
  EXPECT_EQ(err, "");
  EXPECT_EQ(command(e.get(), kVkcCmdParamsGost28147, nullptr, &err),
            NID_id_Gost28147_89_CryptoPro_A_ParamSet);
  VKC2012_ENGINE_CTX* ctx = vkc_engine_ctx_of(e.get());
  ASSERT_NE(ctx, nullptr);
  EXPECT_EQ(to_hex(Bytes(ctx->gost28147_param_oid, ctx->gost28147_param_oid + 16)),
            "06072a850302021f0100000000000000");

  // Later cipher contexts without their own set use CryptoPro A.
  std::mt19937 rng(7);
  Bytes key = random_bytes(rng, 32), iv = random_bytes(rng, 8), msg = random_bytes(rng, 100);
  EXPECT_EQ(evp_cipher(EVP_gost28147(), key, iv, msg, true),
            core_cipher(core_set("id-Gost28147-89-CryptoPro-A-ParamSet"), GOST28147_MODE_CFB, key,
                        &iv, msg, true));

  EXPECT_EQ(command(e.get(), kVkcCmdParamsGost28147, "no-such-object", &err), 0);
  EXPECT_EQ(err, "Invalid PARAMS_GOST28147: no-such-object\n");
  // An object without an identifier, and one whose identifier does not fit
  // the context's 16 bytes: refused, the context keeps its value.
  EXPECT_EQ(command(e.get(), kVkcCmdParamsGost28147, "gost89-cnt-12", &err), 0);
  EXPECT_EQ(err, "Can't build ASN1_OBJECT from PARAMS_GOST28147: gost89-cnt-12\n");
  int long_nid = OBJ_create("1.2.643.99.1.2.3.4.5.6.7.8.9.10.11.12.13", "test-long-oid",
                            "test long identifier");
  ASSERT_NE(long_nid, NID_undef);
  EXPECT_EQ(command(e.get(), kVkcCmdParamsGost28147, "test-long-oid", &err), 0);
  EXPECT_EQ(err, "Can't build ASN1_OBJECT from PARAMS_GOST28147: test-long-oid\n");
  EXPECT_EQ(command(e.get(), kVkcCmdParamsGost28147, nullptr, &err),
            NID_id_Gost28147_89_CryptoPro_A_ParamSet);
  EXPECT_EQ(to_hex(Bytes(ctx->gost28147_param_oid, ctx->gost28147_param_oid + 16)),
            "06072a850302021f0100000000000000");
  // Through the toolkit's string interface by name; dotted text works too.
  EXPECT_EQ(ENGINE_ctrl_cmd_string(e.get(), "PARAMS_GOST28147", "1.2.643.7.1.2.5.1.1", 0), 1);
  EXPECT_EQ(ctx->gost28147_param_nid, z);
  EXPECT_EQ(vkc_engine_param_oid_len(ctx), 11);
}

TEST(GostEngine, PbePrfCommand) {
  load_engines();
  auto e = gost_engine();
  ASSERT_TRUE(e);
  VKC2012_ENGINE_CTX* ctx = vkc_engine_ctx_of(e.get());
  ASSERT_NE(ctx, nullptr);
  EXPECT_EQ(ctx->pbe_prf_nid, ssf_nid_id_tc26_hmac_gost_3411_2012_512());
  std::string err;
  EXPECT_EQ(command(e.get(), kVkcCmdPbePrfHmac, nullptr, &err), 0);
  EXPECT_EQ(err, "Can't build PBE_PRF_HMAC ASN1_OBJECT from NULL\n");
  EXPECT_EQ(command(e.get(), kVkcCmdPbePrfHmac, "nonsense", &err), 0);
  EXPECT_EQ(err, "Invalid PBE_PRF_HMAC: nonsense\n");
  EXPECT_EQ(command(e.get(), kVkcCmdPbePrfHmac, "id-tc26-hmac-gost-3411-2012-256", &err), 0);
  EXPECT_EQ(err, "Unsupported PBE_PRF_HMAC: id-tc26-hmac-gost-3411-2012-256\n");
  EXPECT_EQ(ctx->pbe_prf_nid, ssf_nid_id_tc26_hmac_gost_3411_2012_512());
  EXPECT_EQ(command(e.get(), kVkcCmdPbePrfHmac, "id-HMACGostR3411-94", &err), 1);
  EXPECT_EQ(ctx->pbe_prf_nid, NID_id_HMACGostR3411_94);
  // The ciphers report it for password-based encryption.
  orvel::EvpCipherCtxPtr c(EVP_CIPHER_CTX_new());
  ASSERT_EQ(EVP_EncryptInit_ex(c.get(), EVP_gost28147(), nullptr, nullptr, nullptr), 1);
  int prf = 0;
  EXPECT_EQ(EVP_CIPHER_CTX_ctrl(c.get(), EVP_CTRL_PBE_PRF_NID, 0, &prf), 1);
  EXPECT_EQ(prf, NID_id_HMACGostR3411_94);
  EXPECT_EQ(command(e.get(), kVkcCmdPbePrfHmac, "id-tc26-hmac-gost-3411-2012-512", &err), 1);
  EXPECT_EQ(ctx->pbe_prf_nid, ssf_nid_id_tc26_hmac_gost_3411_2012_512());
}

TEST(GostEngine, KeyParamCommands) {
  load_engines();
  auto e = gost_engine();
  ASSERT_TRUE(e);
  VKC2012_ENGINE_CTX* ctx = vkc_engine_ctx_of(e.get());
  ASSERT_NE(ctx, nullptr);
  EXPECT_EQ(ctx->gost2001_param_nid, 0);
  EXPECT_EQ(ctx->gost2012_256_param_nid, 0);
  EXPECT_EQ(ctx->gost2012_512_param_nid, 0);
  std::string err;
  for (int cmd : {kVkcCmdParamsGost2001, kVkcCmdParamsGost2012_256, kVkcCmdParamsGost2012_512}) {
    EXPECT_EQ(command(e.get(), cmd, nullptr, &err), 1);
    EXPECT_EQ(err, "");
  }
  EXPECT_EQ(
      command(e.get(), kVkcCmdParamsGost2012_256, "id-tc26-gost-3410-2012-256-paramSetA", &err), 0);
  EXPECT_EQ(err, "Unsupported PARAMS_GOST2001/2012_256: id-tc26-gost-3410-2012-256-paramSetA\n");
  EXPECT_EQ(
      command(e.get(), kVkcCmdParamsGost2012_256, "id-GostR3410-2001-CryptoPro-A-ParamSet", &err),
      1);
  EXPECT_EQ(ctx->gost2012_256_param_nid, NID_id_GostR3410_2001_CryptoPro_A_ParamSet);
  EXPECT_EQ(
      command(e.get(), kVkcCmdParamsGost2001, "id-GostR3410-2001-CryptoPro-XchB-ParamSet", &err),
      1);
  EXPECT_EQ(ctx->gost2001_param_nid, NID_id_GostR3410_2001_CryptoPro_XchB_ParamSet);
  EXPECT_EQ(command(e.get(), kVkcCmdParamsGost2001, "bogus", &err), 0);
  EXPECT_EQ(err, "Unknown PARAMS_GOST2001/2012_256: bogus\n");
  EXPECT_EQ(ctx->gost2001_param_nid, NID_id_GostR3410_2001_CryptoPro_XchB_ParamSet);

  EXPECT_EQ(command(e.get(), kVkcCmdParamsGost2012_512, "bogus", &err), 0);
  EXPECT_EQ(err, "Unknown PARAMS_GOST2012_512: bogus\n");
  EXPECT_EQ(
      command(e.get(), kVkcCmdParamsGost2012_512, "id-tc26-gost-3410-2012-512-paramSetC", &err), 0);
  EXPECT_EQ(err, "Unsupported PARAMS_GOST2012_512: id-tc26-gost-3410-2012-512-paramSetC\n");
  EXPECT_EQ(
      command(e.get(), kVkcCmdParamsGost2012_512, "id-GostR3410-2001-CryptoPro-A-ParamSet", &err),
      0);
  EXPECT_EQ(
      command(e.get(), kVkcCmdParamsGost2012_512, "id-tc26-gost-3410-2012-512-paramSetB", &err), 1);
  EXPECT_EQ(ctx->gost2012_512_param_nid, ssf_nid_id_tc26_gost_3410_2012_512_paramSetB());
}

TEST(GostEngine, PkFormatAndOtherCommands) {
  load_engines();
  auto e = gost_engine();
  ASSERT_TRUE(e);
  VKC2012_ENGINE_CTX* ctx = vkc_engine_ctx_of(e.get());
  ASSERT_NE(ctx, nullptr);
  EXPECT_EQ(ctx->pk_format, kVkcPkFormatLegacy);
  std::string err;
  EXPECT_EQ(command(e.get(), kVkcCmdPkFormat, "masked", &err), 0);
  EXPECT_EQ(err, "Unsupported PK_FORMAT: 'masked'\n");
  EXPECT_EQ(ctx->pk_format, kVkcPkFormatLegacy);
  EXPECT_EQ(ENGINE_ctrl_cmd_string(e.get(), "PK_FORMAT", "MASKED", 0), 1);
  EXPECT_EQ(ctx->pk_format, kVkcPkFormatMasked);
  EXPECT_EQ(command(e.get(), kVkcCmdPkFormat, nullptr, &err), 1);
  EXPECT_EQ(ctx->pk_format, kVkcPkFormatMasked);
  EXPECT_EQ(command(e.get(), kVkcCmdPkFormat, "LEGACY", &err), 1);
  EXPECT_EQ(ctx->pk_format, kVkcPkFormatLegacy);

  EXPECT_EQ(command(e.get(), kVkcCmdReserved, "x", &err), 1);
  EXPECT_EQ(command(e.get(), 207, nullptr, &err), kVkcCtrlUnknownCommand);
  EXPECT_EQ(command(e.get(), 1000, nullptr, &err), kVkcCtrlUnknownCommand);
  EXPECT_EQ(err, "");

  // The command table as the toolkit reports it.
  EXPECT_EQ(ENGINE_ctrl(e.get(), ENGINE_CTRL_GET_CMD_FROM_NAME, 0,
                        const_cast<char*>("PBE_PRF_HMAC"), nullptr),
            kVkcCmdPbePrfHmac);
  EXPECT_EQ(ENGINE_ctrl(e.get(), ENGINE_CTRL_GET_CMD_FLAGS, kVkcCmdPkFormat, nullptr, nullptr),
            ENGINE_CMD_FLAG_STRING);
  char desc[128] = {};
  EXPECT_GT(
      ENGINE_ctrl(e.get(), ENGINE_CTRL_GET_DESC_FROM_CMD, kVkcCmdParamsGost2012_512, desc, nullptr),
      0);
  EXPECT_STREQ(desc, "GOST R 34.10-2012 (512 bit) key parameter set");
}

TEST(GostEngine, CallbacksWithoutContext) {
  load_engines();
  // A bare engine with the control handler and no context.
  orvel::EnginePtr e(ENGINE_new());
  ASSERT_TRUE(e);
  ASSERT_EQ(ENGINE_set_id(e.get(), "gost-bare"), 1);
  ASSERT_EQ(ENGINE_set_cmd_defns(e.get(), vkc_cmds), 1);
  ASSERT_EQ(ENGINE_set_ctrl_function(e.get(), vkc_control_func), 1);
  std::string err;
  for (int cmd : {kVkcCmdParamsGost28147, kVkcCmdPkFormat, kVkcCmdReserved, 300}) {
    EXPECT_EQ(command(e.get(), cmd, "LEGACY", &err), 0) << cmd;
    EXPECT_EQ(err, "ENGINE_get_ex_data failed\n");
  }
  // init and finish of the bound engine succeed with its context.
  auto g = gost_engine();
  ASSERT_TRUE(g);
  EXPECT_EQ(ENGINE_init(g.get()), 1);
  EXPECT_EQ(ENGINE_finish(g.get()), 1);
}

TEST(GostEngine, BindAndDestroy) {
  load_engines();
  // A second engine bound the same way has key methods and a context of its
  // own (the toolkit frees an engine's key methods with the engine).
  orvel::EnginePtr e(ENGINE_new());
  ASSERT_TRUE(e);
  ASSERT_EQ(bind_vkc_2012(e.get()), 1);
  EXPECT_STREQ(ENGINE_get_id(e.get()), "gost");
  ASSERT_NE(vkc_engine_ctx_of(e.get()), nullptr);
  EXPECT_EQ(vkc_engine_ctx_of(e.get())->pbe_prf_nid, ssf_nid_id_tc26_hmac_gost_3411_2012_512());
  auto g = gost_engine();
  EVP_PKEY_METHOD *a = nullptr, *b = nullptr;
  ENGINE_get_pkey_meths(e.get())(e.get(), &a, nullptr, ssf_nid_gost2012_256());
  ENGINE_get_pkey_meths(g.get())(g.get(), &b, nullptr, ssf_nid_gost2012_256());
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_NE(a, b);
  ENGINE_unregister_ciphers(e.get());
  ENGINE_unregister_digests(e.get());
  ENGINE_unregister_pkey_meths(e.get());
  ENGINE_unregister_pkey_asn1_meths(e.get());
  e.reset();
  // The process's engine keeps working.
  ASSERT_NE(vkc_engine_ctx(), nullptr);
  std::mt19937 rng(3);
  Bytes key = random_bytes(rng, 32), iv = random_bytes(rng, 8), msg = random_bytes(rng, 40);
  EXPECT_EQ(
      evp_cipher(EVP_gost28147(), key, iv, evp_cipher(EVP_gost28147(), key, iv, msg, true), false),
      msg);
}

TEST(GostEngine, DynamicEntryPoints) {
  load_engines();
  EXPECT_EQ(v_check(OSSL_DYNAMIC_VERSION), OSSL_DYNAMIC_VERSION);
  EXPECT_EQ(v_check(OSSL_DYNAMIC_OLDEST), OSSL_DYNAMIC_VERSION);
  EXPECT_EQ(v_check(0x20000), 0u);
  dynamic_fns fns = {};
  fns.static_state = ENGINE_get_static_state();
  orvel::EnginePtr e(ENGINE_new());
  ASSERT_TRUE(e);
  EXPECT_EQ(bind_engine(e.get(), "other", &fns), 0);
  EXPECT_EQ(ENGINE_get_id(e.get()), nullptr);
  EXPECT_EQ(bind_engine(e.get(), "gost", &fns), 1);
  EXPECT_STREQ(ENGINE_get_id(e.get()), "gost");
  ENGINE_unregister_ciphers(e.get());
  ENGINE_unregister_digests(e.get());
  ENGINE_unregister_pkey_meths(e.get());
  ENGINE_unregister_pkey_asn1_meths(e.get());
}

// A host configuration may have loaded a foreign engine called "gost"
// first: the system's methods are still registered and work.
TEST(GostEngine, EngineIdTaken) {
  orvel::EnginePtr foreign(ENGINE_new());
  ASSERT_TRUE(foreign);
  ASSERT_EQ(ENGINE_set_id(foreign.get(), "gost"), 1);
  ASSERT_EQ(ENGINE_set_name(foreign.get(), "foreign"), 1);
  ASSERT_EQ(ENGINE_add(foreign.get()), 1);
  CaptureStderr();
  load_engines();
  std::string err = GetCapturedStderr();
  EXPECT_NE(err.find("ENGINE_add failed: engine id \"gost\" is already in use\n"),
            std::string::npos)
      << err;
  auto listed = gost_engine();
  ASSERT_TRUE(listed);
  EXPECT_STREQ(ENGINE_get_name(listed.get()), "foreign");

  EXPECT_EQ(EVP_get_cipherbyname("gost89"), EVP_gost28147());
  ENGINE* te = ENGINE_get_cipher_engine(NID_id_Gost28147_89);
  ASSERT_NE(te, nullptr);
  EXPECT_STREQ(ENGINE_get_name(te), "KESTRUM-Soft BrekSSL Internal GOST engine");
  ENGINE_finish(te);
  std::mt19937 rng(5);
  Bytes key = random_bytes(rng, 32), iv = random_bytes(rng, 8), msg = random_bytes(rng, 77);
  EXPECT_EQ(
      evp_cipher(EVP_gost28147(), key, iv, msg, true),
      core_cipher(core_set("id-tc26-gost-28147-param-Z"), GOST28147_MODE_CFB, key, &iv, msg, true));
  orvel::EvpMdCtxPtr md(EVP_MD_CTX_new());
  EXPECT_EQ(EVP_DigestInit_ex(md.get(), EVP_get_digestbyname("md_gost12_256"), nullptr), 1);
}
