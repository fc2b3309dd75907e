// The "pkcs11" engine through the toolkit's ENGINE interface, on the tests'
// own GOST PKCS#11 module: commands, key loading by key id and by
// certificate, signing on the token (verified in software with the
// certificate's key), the module cache, the listings, key transport and
// key-pair generation on a token.
#include <gtest/gtest.h>
#include <openssl/engine.h>
#include <openssl/err.h>
#include <openssl/pem.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "engines/pkcs11/e_pkcs11.h"
#include "engines/pkcs11/pkcs11_engine.h"
#include "gost_keys_test_util.h"
#include "gost_kt_test_util.h"
#include "ossl_ptr.h"
#include "test_util.h"

namespace {

using gost_kt_test::Bytes;

constexpr char kPin[] = "1357";
const std::string kModule = ORVEL_TEST_P11_MODULE;

std::string fixture(const std::string& name) {
  return orvel_test::data_dir() + "/gost_keys/" + name;
}

// A key transport with one field changed, re-encoded.
template <typename Change>
Bytes altered(const Bytes& kt, Change change) {
  const unsigned char* p = kt.data();
  gost_kt_test::KeyTransportPtr v(d2i_VKC_KEY_TRANSPORT(nullptr, &p, static_cast<long>(kt.size())));
  if (!v) return {};
  change(v.get());
  unsigned char* der = nullptr;
  const int n = i2d_VKC_KEY_TRANSPORT(v.get(), &der);
  Bytes b(der, der + (n > 0 ? n : 0));
  OPENSSL_free(der);
  return b;
}

class Pkcs11Engine : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(gost_keys_test::setup());
    engine_.reset(ENGINE_by_id(kPkcs11EngineId));
    ASSERT_TRUE(engine_);
    ASSERT_TRUE(ENGINE_init(engine_.get()));
    trace_ = dir_.file("module.trace");
  }
  void TearDown() override {
    if (engine_) ENGINE_finish(engine_.get());
  }

  // The module holds these gost_keys fixtures, one token each.
  void tokens(const std::vector<std::string>& names, const std::string& faults = "") {
    std::string slots;
    for (const auto& n : names) {
      if (!slots.empty()) slots += ";";
      slots += fixture(n + ".pem") + "|" + fixture(n + ".key");
    }
    setenv("ORVEL_P11_SLOTS", slots.c_str(), 1);
    setenv("ORVEL_P11_PIN", kPin, 1);
    setenv("ORVEL_P11_FAULTS", faults.c_str(), 1);
    setenv("ORVEL_P11_TRACE", trace_.c_str(), 1);
    ASSERT_EQ(ENGINE_ctrl_cmd_string(engine_.get(), "ATTACH_API", kModule.c_str(), 0), 1);
    ASSERT_EQ(ENGINE_ctrl_cmd_string(engine_.get(), "LOGIN", kPin, 0), 1);
  }

  orvel::EvpPkeyPtr load(const std::string& key_id) {
    return orvel::EvpPkeyPtr(ENGINE_load_private_key(engine_.get(), key_id.c_str(), nullptr, nullptr));
  }

  // A digest signed with the key and verified with the public key of the
  // certificate (the "gost" engine's software verification).
  static bool signs_for(EVP_PKEY* key, EVP_PKEY* pub, size_t expect) {
    const unsigned char digest[64] = {0x11, 0x22, 0x33, 0x44, 0x55};
    const size_t dlen = expect / 2;
    orvel::EvpPkeyCtxPtr ctx(EVP_PKEY_CTX_new(key, nullptr));
    size_t len = 0;
    if (!ctx || EVP_PKEY_sign_init(ctx.get()) != 1 ||
        EVP_PKEY_sign(ctx.get(), nullptr, &len, digest, dlen) != 1 || len != expect)
      return false;
    std::vector<unsigned char> sig(len);
    if (EVP_PKEY_sign(ctx.get(), sig.data(), &len, digest, dlen) != 1 || len != expect)
      return false;
    orvel::EvpPkeyCtxPtr v(EVP_PKEY_CTX_new(pub, nullptr));
    return v && EVP_PKEY_verify_init(v.get()) == 1 &&
           EVP_PKEY_verify(v.get(), sig.data(), len, digest, dlen) == 1;
  }

  orvel_test::TempDir dir_;
  orvel::EnginePtr engine_;
  std::string trace_;
};

TEST_F(Pkcs11Engine, CommandsAndUnknownNumbers) {
  EXPECT_STREQ(ENGINE_get_name(engine_.get()), "PKCS#11 engine support");
  for (const char* cmd : {"ATTACH_API", "LOGIN", "ENUM_TOKENS", "SHOW_TOKENS", "ENUM_KEYS",
                          "SHOW_KEYS", "LOAD_CERTS", "SHOW_CERTS"})
    EXPECT_TRUE(ENGINE_cmd_is_executable(engine_.get(),
                                         ENGINE_ctrl(engine_.get(), ENGINE_CTRL_GET_CMD_FROM_NAME, 0,
                                                     const_cast<char*>(cmd), nullptr)))
        << cmd;
  EXPECT_EQ(ENGINE_ctrl(engine_.get(), 199, 0, nullptr, nullptr), -1);
  EXPECT_EQ(ENGINE_ctrl(engine_.get(), 209, 0, nullptr, nullptr), -1);
  EXPECT_EQ(ENGINE_ctrl(engine_.get(), kPkcs11CmdLast, 0, nullptr, nullptr), 0);
  EXPECT_EQ(pkcs11_set_default_param(9, "x"), 0);
  EXPECT_EQ(pkcs11_set_default_param(8, "x"), 1);
  ERR_clear_error();
}

TEST_F(Pkcs11Engine, KeysByIdAndByCertificateSignOnTheToken) {
  tokens({"gost12-256_CryptoPro-A", "gost12-512_TC26-512-A"});
  orvel::X509Ptr c256 = gost_keys_test::read_cert_pem(fixture("gost12-256_CryptoPro-A.pem"));
  orvel::X509Ptr c512 = gost_keys_test::read_cert_pem(fixture("gost12-512_TC26-512-A.pem"));
  ASSERT_TRUE(c256 && c512);

  orvel::EvpPkeyPtr by_id = load("ID:0a1b01");
  ASSERT_TRUE(by_id);
  EXPECT_TRUE(signs_for(by_id.get(), X509_get0_pubkey(c256.get()), 64));
  EXPECT_EQ(X509_check_private_key(c256.get(), by_id.get()), 1);

  orvel::EvpPkeyPtr by_file = load(fixture("gost12-512_TC26-512-A.pem"));
  ASSERT_TRUE(by_file);
  EXPECT_TRUE(signs_for(by_file.get(), X509_get0_pubkey(c512.get()), 128));

  const std::string pem = orvel_test::read_file(fixture("gost12-256_CryptoPro-A.pem"));
  orvel::EvpPkeyPtr by_text = load(pem.substr(pem.find("-----BEGIN CERTIFICATE-----")));
  ASSERT_TRUE(by_text);
  EXPECT_TRUE(signs_for(by_text.get(), X509_get0_pubkey(c256.get()), 64));

  // The 512-bit key asks the token for a 128-byte signature with the TC26
  // mechanism; the 256-bit keys for 64 bytes with CKM_GOSTR3410.
  const std::string trace = orvel_test::read_file(trace_);
  EXPECT_NE(trace.find("sign 3560050694 128"), std::string::npos) << trace;
  EXPECT_NE(trace.find("sign 4609 64"), std::string::npos) << trace;
}

TEST_F(Pkcs11Engine, KeyIdTextsThatLoadNothing) {
  tokens({"gost12-256_CryptoPro-A"});
  EXPECT_FALSE(load("ID:0a1b02"));                                  // another id
  EXPECT_FALSE(load("ID:" + std::string(42, 'a')));                 // longer than 20 bytes
  EXPECT_FALSE(load("ID:0a1"));                                     // odd number of digits
  EXPECT_FALSE(load("ID:0a1bzz"));                                  // not hex
  EXPECT_FALSE(load(dir_.file("missing.pem")));                     // no certificate file
  EXPECT_FALSE(load(fixture("gost12-512_TC26-512-A.pem")));         // not on the token
  EXPECT_EQ(ENGINE_load_private_key(engine_.get(), nullptr, nullptr, nullptr), nullptr);
  ERR_clear_error();
  // Nothing loaded: no module reference is left behind.
  EXPECT_EQ(pkcs11_library_refs(kModule.c_str()), 0u);
}

TEST_F(Pkcs11Engine, CertificateWithoutPublicKeyObjectIsRefused) {
  tokens({"gost12-256_CryptoPro-A"}, "no_pubkey");
  testing::internal::CaptureStderr();
  EXPECT_FALSE(load(fixture("gost12-256_CryptoPro-A.pem")));
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("find_cert_on_token() 13 : pub key_count == 0"), std::string::npos) << err;
}

TEST_F(Pkcs11Engine, ModuleIsLoadedOnceAndUnloadedWithTheLastKey) {
  tokens({"gost12-256_CryptoPro-A"});
  orvel_test::write_file(trace_, "");
  orvel::EvpPkeyPtr a = load("ID:0a1b01");
  orvel::EvpPkeyPtr b = load("ID:0a1b01");
  ASSERT_TRUE(a && b);
  EXPECT_EQ(pkcs11_library_refs(kModule.c_str()), 2u);
  a.reset();
  EXPECT_EQ(pkcs11_library_refs(kModule.c_str()), 1u);
  b.reset();
  EXPECT_EQ(pkcs11_library_refs(kModule.c_str()), 0u);
  EXPECT_EQ(orvel_test::read_file(trace_), "initialize\nfinalize\n");
}

TEST_F(Pkcs11Engine, ListingsOfTokensKeysAndCertificates) {
  setenv("ORVEL_P11_SLOTS", (fixture("gost12-256_CryptoPro-A.pem") + "|" +
                             fixture("gost12-256_CryptoPro-A.key") + "; ")
                                .c_str(),
         1);
  setenv("ORVEL_P11_FAULTS", "", 1);
  ASSERT_EQ(ENGINE_ctrl_cmd_string(engine_.get(), "ATTACH_API", kModule.c_str(), 0), 1);

  STACK_OF(OPENSSL_STRING)* ids = nullptr;
  ASSERT_EQ(ENGINE_ctrl(engine_.get(), kPkcs11CmdEnumTokens, 0, &ids, nullptr), 1);
  ASSERT_EQ(sk_OPENSSL_STRING_num(ids), 6);
  EXPECT_STREQ(sk_OPENSSL_STRING_value(ids, 0), "1");
  EXPECT_STREQ(sk_OPENSSL_STRING_value(ids, 1), "SN1001");
  EXPECT_STREQ(sk_OPENSSL_STRING_value(ids, 2), "Orvel test token 1");
  EXPECT_STREQ(sk_OPENSSL_STRING_value(ids, 3), "2");
  sk_OPENSSL_STRING_pop_free(ids, [](char* s) { OPENSSL_free(s); });

  ids = nullptr;
  ASSERT_EQ(ENGINE_ctrl(engine_.get(), kPkcs11CmdEnumKeys, 0, &ids, nullptr), 1);
  ASSERT_EQ(sk_OPENSSL_STRING_num(ids), 3);
  EXPECT_STREQ(sk_OPENSSL_STRING_value(ids, 1), "0a1b01");
  EXPECT_STREQ(sk_OPENSSL_STRING_value(ids, 2), "key");
  sk_OPENSSL_STRING_pop_free(ids, [](char* s) { OPENSSL_free(s); });

  // Mode 0: every certificate; mode 1: only those backed by a key pair, with
  // their profile text in extra-data slot 0.
  STACK_OF(X509)* certs = nullptr;
  ASSERT_EQ(ENGINE_ctrl(engine_.get(), kPkcs11CmdLoadCerts, 0, &certs, nullptr), 1);
  EXPECT_EQ(sk_X509_num(certs), 1);
  sk_X509_pop_free(certs, X509_free);
  certs = nullptr;
  ASSERT_EQ(ENGINE_ctrl(engine_.get(), kPkcs11CmdLoadCerts, 1, &certs, nullptr), 1);
  ASSERT_EQ(sk_X509_num(certs), 1);
  EXPECT_STREQ(static_cast<const char*>(X509_get_ex_data(sk_X509_value(certs, 0), 0)),
               ("token=" + kModule).c_str());
  sk_X509_pop_free(certs, X509_free);
  certs = nullptr;
  ASSERT_EQ(ENGINE_ctrl(engine_.get(), kPkcs11CmdLoadCerts, 7, &certs, nullptr), 1);
  EXPECT_EQ(sk_X509_num(certs), 0);
  sk_X509_pop_free(certs, X509_free);

  setenv("ORVEL_P11_FAULTS", "no_pubkey", 1);
  ASSERT_EQ(ENGINE_ctrl_cmd_string(engine_.get(), "ATTACH_API", kModule.c_str(), 0), 1);
  certs = nullptr;
  ASSERT_EQ(ENGINE_ctrl(engine_.get(), kPkcs11CmdLoadCerts, 1, &certs, nullptr), 1);
  EXPECT_EQ(sk_X509_num(certs), 0);
  sk_X509_pop_free(certs, X509_free);

  testing::internal::CaptureStdout();
  EXPECT_EQ(ENGINE_ctrl(engine_.get(), kPkcs11CmdShowTokens, 0, nullptr, nullptr), 1);
  const std::string shown = testing::internal::GetCapturedStdout();
  EXPECT_NE(shown.find("Token: slot = 1, id = SN1001, label = 'Orvel test token 1'\n"),
            std::string::npos)
      << shown;
  EXPECT_EQ(pkcs11_library_refs(kModule.c_str()), 0u);
}

TEST_F(Pkcs11Engine, KeyTransportIsDecryptedWithAnEngineKey) {
  tokens({"gost12-256_CryptoPro-A"});
  orvel::X509Ptr cert = gost_keys_test::read_cert_pem(fixture("gost12-256_CryptoPro-A.pem"));
  orvel::EvpPkeyPtr key = load("ID:0a1b01");
  ASSERT_TRUE(cert && key);
  const Bytes cek(32, 0x3c);
  const Bytes kt = gost_kt_test::kt_encrypt(X509_get0_pubkey(cert.get()), cek);
  ASSERT_FALSE(kt.empty());
  orvel::EvpPkeyCtxPtr ctx(EVP_PKEY_CTX_new(key.get(), nullptr));
  ASSERT_TRUE(ctx);
  ASSERT_EQ(EVP_PKEY_decrypt_init(ctx.get()), 1);
  unsigned char out[32];
  size_t len = sizeof(out);
  ASSERT_EQ(EVP_PKEY_decrypt(ctx.get(), out, &len, kt.data(), kt.size()), 1);
  EXPECT_EQ(Bytes(out, out + len), cek);
  Bytes broken = kt;
  broken[broken.size() / 3] ^= 0x40;
  len = sizeof(out);
  EXPECT_NE(EVP_PKEY_decrypt(ctx.get(), out, &len, broken.data(), broken.size()), 1);
  ERR_clear_error();
}

// The decryption answers the size query with 32 and refuses a buffer with
// less room instead of writing past it.
TEST_F(Pkcs11Engine, DecryptionChecksTheCallersRoom) {
  tokens({"gost12-256_CryptoPro-A"});
  orvel::X509Ptr cert = gost_keys_test::read_cert_pem(fixture("gost12-256_CryptoPro-A.pem"));
  orvel::EvpPkeyPtr key = load("ID:0a1b01");
  ASSERT_TRUE(cert && key);
  const Bytes cek(32, 0x6d);
  const Bytes kt = gost_kt_test::kt_encrypt(X509_get0_pubkey(cert.get()), cek);
  ASSERT_FALSE(kt.empty());
  orvel::EvpPkeyCtxPtr ctx(EVP_PKEY_CTX_new(key.get(), nullptr));
  ASSERT_TRUE(ctx);
  ASSERT_EQ(EVP_PKEY_decrypt_init(ctx.get()), 1);
  size_t len = 0;
  ASSERT_EQ(EVP_PKEY_decrypt(ctx.get(), nullptr, &len, kt.data(), kt.size()), 1);
  EXPECT_EQ(len, 32u);

  unsigned char buf[48];
  memset(buf, 0xee, sizeof(buf));
  len = 31;
  ERR_clear_error();
  testing::internal::CaptureStderr();
  EXPECT_LE(EVP_PKEY_decrypt(ctx.get(), buf, &len, kt.data(), kt.size()), 0);
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(ERR_GET_REASON(ERR_peek_last_error()), EVP_R_BUFFER_TOO_SMALL);
  EXPECT_EQ(Bytes(buf, buf + sizeof(buf)), Bytes(sizeof(buf), 0xee));
  ERR_clear_error();

  len = 32;
  ASSERT_EQ(EVP_PKEY_decrypt(ctx.get(), buf, &len, kt.data(), kt.size()), 1);
  EXPECT_EQ(Bytes(buf, buf + len), cek);
}

// Failures of the decryption follow the engine's own steps and texts on the
// standard error stream: the parameter set is looked up before anything is
// derived on the token, and the unwrap reports through pkcs11_kek_dec.
TEST_F(Pkcs11Engine, KeyTransportFailuresFollowTheEnginesSteps) {
  tokens({"gost12-256_CryptoPro-A"});
  orvel::X509Ptr cert = gost_keys_test::read_cert_pem(fixture("gost12-256_CryptoPro-A.pem"));
  orvel::EvpPkeyPtr key = load("ID:0a1b01");
  ASSERT_TRUE(cert && key);
  const Bytes kt = gost_kt_test::kt_encrypt(X509_get0_pubkey(cert.get()), Bytes(32, 0x21));
  ASSERT_FALSE(kt.empty());
  const Bytes unknown_set = altered(kt, [](VKC_KEY_TRANSPORT* v) {
    ASN1_OBJECT_free(v->key_agreement_info->cipher);
    v->key_agreement_info->cipher = OBJ_txt2obj("1.2.643.2.2.31.99", 1);
  });
  const Bytes wrong_mac =
      altered(kt, [](VKC_KEY_TRANSPORT* v) { ASN1_STRING_data(v->key_info->imit)[0] ^= 1; });
  ASSERT_FALSE(unknown_set.empty() || wrong_mac.empty());

  const struct {
    const Bytes* in;
    std::vector<std::string> lines;
    bool derived;
  } kCases[] = {
      {&unknown_set,
       {"TOKEN_PKEY_decrypt() 2 : GOST28147_89_FindParByDerOid() failed, ret = "},
       false},
      {&wrong_mac,
       {"pkcs11_kek_dec(): pkcs11_kt.cpp:", " . Wrong MAC\n",
        "TOKEN_PKEY_decrypt() 5 : pkcs11_kek_dec() failed, ret code = 0\n"},
       true},
  };
  for (const auto& c : kCases) {
    orvel_test::write_file(trace_, "");
    orvel::EvpPkeyCtxPtr ctx(EVP_PKEY_CTX_new(key.get(), nullptr));
    ASSERT_TRUE(ctx);
    ASSERT_EQ(EVP_PKEY_decrypt_init(ctx.get()), 1);
    unsigned char out[32];
    size_t len = sizeof(out);
    testing::internal::CaptureStderr();
    const int rc = EVP_PKEY_decrypt(ctx.get(), out, &len, c.in->data(), c.in->size());
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_LE(rc, 0);
    for (const auto& line : c.lines) EXPECT_NE(err.find(line), std::string::npos) << line << err;
    EXPECT_EQ(orvel_test::read_file(trace_).find("derive") != std::string::npos, c.derived);
  }
  ERR_clear_error();
}

TEST_F(Pkcs11Engine, KeyPairsAreGeneratedOnTheToken) {
  tokens({"gost12-256_CryptoPro-A"});
  for (int nid : {NID_id_GostR3410_2001, OBJ_txt2nid("1.2.643.7.1.1.1.1"),
                  OBJ_txt2nid("1.2.643.7.1.1.1.2")}) {
    SCOPED_TRACE(nid);
    orvel::EvpPkeyCtxPtr ctx(EVP_PKEY_CTX_new_id(nid, engine_.get()));
    ASSERT_TRUE(ctx);
    ASSERT_EQ(EVP_PKEY_keygen_init(ctx.get()), 1);
    EXPECT_EQ(EVP_PKEY_CTX_ctrl_str(ctx.get(), "label", "generated"), 1);
    EVP_PKEY* raw = nullptr;
    testing::internal::CaptureStdout();
    ASSERT_EQ(EVP_PKEY_keygen(ctx.get(), &raw), 1);
    const std::string shown = testing::internal::GetCapturedStdout();
    orvel::EvpPkeyPtr key(raw);
    EXPECT_EQ(shown.rfind("key ID = ", 0), 0u) << shown;
    const size_t size = nid == OBJ_txt2nid("1.2.643.7.1.1.1.2") ? 128 : 64;
    // The generated key signs on the token and verifies with its own public
    // value.
    EXPECT_TRUE(signs_for(key.get(), key.get(), size));
  }
  // The parameter-set control takes sets of the key types only.
  orvel::EvpPkeyCtxPtr ctx(EVP_PKEY_CTX_new_id(OBJ_txt2nid("1.2.643.7.1.1.1.1"), engine_.get()));
  ASSERT_EQ(EVP_PKEY_keygen_init(ctx.get()), 1);
  EXPECT_EQ(EVP_PKEY_CTX_ctrl_str(ctx.get(), "paramset", "1.2.643.2.2.35.1"), 1);
  EXPECT_LE(EVP_PKEY_CTX_ctrl_str(ctx.get(), "paramset", "1.2.840.113549.1.1.1"), 0);
  EXPECT_EQ(EVP_PKEY_CTX_ctrl_str(ctx.get(), "unknown", "x"), -2);
  ERR_clear_error();
  EXPECT_EQ(pkcs11_library_refs(kModule.c_str()), 0u);
}

// The parameter-set control takes CryptoPro A, B, C, XchA and XchB, the
// three 512-bit TC26 sets and TC26 256-bit set A; without a key the set is
// XchA for 2001 and 2012 256-bit keys and TC26 512-bit set A for 512-bit
// keys.
TEST_F(Pkcs11Engine, ParameterSetsOfTheKeyContext) {
  const struct {
    const char* key;
    const char* set;
  } kDefaults[] = {{"1.2.643.2.2.19", "1.2.643.2.2.36.0"},
                   {"1.2.643.7.1.1.1.1", "1.2.643.2.2.36.0"},
                   {"1.2.643.7.1.1.1.2", "1.2.643.7.1.2.1.2.1"}};
  for (const auto& d : kDefaults) {
    SCOPED_TRACE(d.key);
    orvel::EvpPkeyCtxPtr ctx(EVP_PKEY_CTX_new_id(OBJ_txt2nid(d.key), engine_.get()));
    ASSERT_TRUE(ctx);
    ASSERT_EQ(EVP_PKEY_keygen_init(ctx.get()), 1);
    const auto* data = static_cast<const Pkcs11PkeyData*>(EVP_PKEY_CTX_get_data(ctx.get()));
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->gost.param_nid, OBJ_txt2nid(d.set));
  }

  const struct {
    const char* set;
    bool accepted;
  } kSets[] = {{"1.2.643.2.2.35.0", false},      // GOST R 34.10-2001 test set
               {"1.2.643.2.2.35.1", true},       // CryptoPro A
               {"1.2.643.2.2.35.2", true},       // CryptoPro B
               {"1.2.643.2.2.35.3", true},       // CryptoPro C
               {"1.2.643.2.2.36.0", true},       // CryptoPro XchA
               {"1.2.643.2.2.36.1", true},       // CryptoPro XchB
               {"1.2.643.7.1.2.1.2.0", true},    // TC26 512-bit test set
               {"1.2.643.7.1.2.1.2.1", true},    // TC26 512-bit A
               {"1.2.643.7.1.2.1.2.2", true},    // TC26 512-bit B
               {"1.2.643.7.1.2.1.2.3", false},   // TC26 512-bit C
               {"1.2.643.7.1.2.1.1.1", true},    // TC26 256-bit A
               {"1.2.643.7.1.2.1.1.2", false},   // TC26 256-bit B
               {"1.2.643.7.1.2.1.1.3", false},   // TC26 256-bit C
               {"1.2.643.7.1.2.1.1.4", false}};  // TC26 256-bit D
  orvel::EvpPkeyCtxPtr ctx(EVP_PKEY_CTX_new_id(OBJ_txt2nid("1.2.643.7.1.1.1.1"), engine_.get()));
  ASSERT_TRUE(ctx);
  ASSERT_EQ(EVP_PKEY_keygen_init(ctx.get()), 1);
  const auto* data = static_cast<const Pkcs11PkeyData*>(EVP_PKEY_CTX_get_data(ctx.get()));
  ASSERT_NE(data, nullptr);
  for (const auto& c : kSets) {
    SCOPED_TRACE(c.set);
    const int nid = OBJ_txt2nid(c.set);
    ASSERT_NE(nid, NID_undef);
    const int before = data->gost.param_nid;
    testing::internal::CaptureStderr();
    const int rc = EVP_PKEY_CTX_ctrl(ctx.get(), -1, -1, kPkcs11CtrlParamset, nid, nullptr);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(rc, c.accepted ? 1 : -2);
    EXPECT_EQ(data->gost.param_nid, c.accepted ? nid : before);
    const std::string refusal =
        "pkey_pkcs11_ctrl() : unsupported sign parameter NID: " + std::to_string(nid) + "\n";
    EXPECT_EQ(err.find(refusal) != std::string::npos, !c.accepted) << err;
  }
  ERR_clear_error();
}

// Public keys read through this engine's methods get the "gost" engine's
// key object filled for their key type (a parameter set of the other key
// size is refused) and are written back with their parameters.
TEST_F(Pkcs11Engine, PublicKeysReadAndWrittenByTheEngineMethods) {
  orvel::X509Ptr cert = gost_keys_test::read_cert_pem(fixture("gost12-256_CryptoPro-A.pem"));
  ASSERT_TRUE(cert);
  const unsigned char* bits = nullptr;
  int bits_len = 0;
  ASSERT_EQ(
      X509_PUBKEY_get0_param(nullptr, &bits, &bits_len, nullptr, X509_get_X509_PUBKEY(cert.get())),
      1);
  using gost_kt_test::cat;
  using gost_kt_test::oid_der;
  using gost_kt_test::tlv;
  auto spki = [&](const char* set) {
    return tlv(0x30,
               cat({tlv(0x30, cat({oid_der("1.2.643.7.1.1.1.1"),
                                   tlv(0x30, cat({oid_der(set), oid_der("1.2.643.7.1.1.2.2")}))})),
                    tlv(0x03, cat({Bytes{0}, Bytes(bits, bits + bits_len)}))}));
  };
  const Bytes good = spki("1.2.643.2.2.35.1");
  const Bytes other_size = spki("1.2.643.7.1.2.1.2.1");

  // This engine's methods read the public keys of its key types.
  ENGINE* gost = ENGINE_get_pkey_asn1_meth_engine(OBJ_txt2nid("1.2.643.7.1.1.1.1"));
  ASSERT_EQ(ENGINE_set_default_pkey_asn1_meths(engine_.get()), 1);
  const unsigned char* p = good.data();
  orvel::EvpPkeyPtr key(d2i_PUBKEY(nullptr, &p, static_cast<long>(good.size())));
  p = other_size.data();
  testing::internal::CaptureStderr();
  orvel::EvpPkeyPtr refused(d2i_PUBKEY(nullptr, &p, static_cast<long>(other_size.size())));
  const std::string err = testing::internal::GetCapturedStderr();
  if (gost != nullptr) ENGINE_set_default_pkey_asn1_meths(gost);
  ENGINE_finish(gost);
  ERR_clear_error();

  ASSERT_TRUE(key);
  const Pkcs11TokenKey* rec = pkcs11_token_key_of(key.get());
  ASSERT_NE(rec, nullptr);
  EXPECT_EQ(rec->lib, nullptr);
  EXPECT_EQ(rec->key.key_nid, OBJ_txt2nid("1.2.643.7.1.1.1.1"));
  EXPECT_EQ(rec->key.param_nid, OBJ_txt2nid("1.2.643.2.2.35.1"));
  EXPECT_EQ(rec->key.pub_key_len, 64u);
  EXPECT_EQ(rec->key.priv_key_len, 32u);
  EXPECT_EQ(rec->key.priv_present, 0u);
  EXPECT_FALSE(gost_key_id_is_zero(&rec->key));
  unsigned char* der = nullptr;
  const int n = i2d_PUBKEY(key.get(), &der);
  ASSERT_GT(n, 0);
  EXPECT_EQ(Bytes(der, der + n), good);
  OPENSSL_free(der);

  EXPECT_FALSE(refused);
  EXPECT_NE(err.find("decode_pkcs11_algor_params err 3\n"), std::string::npos) << err;
}

}  // namespace
