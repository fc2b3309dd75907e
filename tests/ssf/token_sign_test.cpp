// "token=" profiles: certificates and keys on PKCS#11 tokens. GOST keys on
// the tests' own module (signatures checked by GnuTLS certtool), RSA keys
// on softhsm2 (signatures checked by the openssl command line), and the
// result codes of the failures a module or token can show.
#include <gtest/gtest.h>
#include <openssl/err.h>
#include <openssl/rsa.h>

#include <algorithm>
#include <sstream>
#include <string>

#include "keys.h"
#include "token_keys.h"
#include "token_test_env.h"

namespace orvel_test {
namespace {

const std::string kDoc = "A document signed on a token.\n";

class GostTokenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = make_gost_party(keys_, "GOST Token Root", "gost12-256", nullptr);
    trace_ = keys_.file("module.trace");
  }

  GostParty signer(const std::string& name, const std::string& key_type) {
    return make_gost_party(keys_, name, key_type, &root_);
  }

  // SsfSign of the document by one token signer; the record's result.
  int sign(const std::string& id, const std::string& password, std::string* sig,
           const std::string& module = gost_module_path()) {
    Records r(host_);
    r.add(id, "token=" + module, password);
    Output out(host_);
    host_.mark();
    host_sign(host_, "PKCS7", wrap_data(kDoc), r, &out);
    if (sig) *sig = out.str();
    return r.result(0);
  }

  Host host_;
  TempDir keys_;
  GostParty root_;
  std::string trace_;
};

TEST_F(GostTokenTest, SignaturesOfBothKeySizesVerifyWithCerttool) {
  struct Case {
    const char* key_type;
    const char* trace;  // mechanism and signature length the token was asked for
  };
  for (const Case& c : {Case{"gost12-256", "sign 4609 64"}, Case{"gost12-512", "sign 3560050694 128"}}) {
    SCOPED_TRACE(c.key_type);
    GostParty s = signer(std::string("Token Signer ") + c.key_type, c.key_type);
    configure_gost_module(token_slot(s), "", trace_);
    write_file(trace_, "");
    std::string sig;
    ASSERT_EQ(sign(s.sha1_id, kTokenPin, &sig), 0) << host_.since_mark();
    std::string signs;
    std::istringstream lines(read_file(trace_));
    for (std::string line; std::getline(lines, line);)
      if (line.rfind("sign ", 0) == 0) signs += line + "\n";
    EXPECT_EQ(signs, std::string(c.trace) + "\n");
    std::string log;
    EXPECT_TRUE(certtool_verifies(keys_, c.key_type, sig, root_.cert_pem, "", &log)) << log;
    EXPECT_NE(host_.since_mark().find("ssf_load_cert_and_key_token() :  total 1 slots"),
              std::string::npos);
    EXPECT_EQ(host_.log().find(kTokenPin), std::string::npos) << "the PIN must not be logged";
  }
}

TEST_F(GostTokenTest, CertificateIsFoundBySha1IdOrExactSubjectOnly) {
  GostParty s = signer("Token Name Signer", "gost12-256");
  configure_gost_module(token_slot(s), "", trace_);
  std::string compact = s.sha1_id;
  compact.erase(std::remove(compact.begin(), compact.end(), ' '), compact.end());
  EXPECT_EQ(sign(s.sha1_id, kTokenPin, nullptr), 0);
  EXPECT_EQ(sign(compact, kTokenPin, nullptr), 0);
  EXPECT_EQ(sign(s.subject_text, kTokenPin, nullptr), 0) << host_.since_mark();
  std::string upper = s.subject_text;
  for (auto& ch : upper) ch = static_cast<char>(toupper(static_cast<unsigned char>(ch)));
  EXPECT_EQ(sign(upper, kTokenPin, nullptr), 26);
  EXPECT_EQ(sign(sha1_id_of(root_.cert.get()), kTokenPin, nullptr), 26);
}

TEST_F(GostTokenTest, SecondSlotIsSearchedWhenTheFirstFails) {
  GostParty s = signer("Token Slot Signer", "gost12-256");
  configure_gost_module(";" + token_slot(s), "", trace_);
  std::string sig;
  ASSERT_EQ(sign(s.sha1_id, kTokenPin, &sig), 0) << host_.since_mark();
  const std::string log = host_.since_mark();
  EXPECT_NE(log.find("ssf_load_cert_and_key_token() 9 : ssf_find_cert_on_token() failed on slot #0"),
            std::string::npos)
      << log;
  EXPECT_EQ(log.find("slot #1"), std::string::npos);
  EXPECT_TRUE(certtool_verifies(keys_, "gost12-256", sig, root_.cert_pem));
}

TEST_F(GostTokenTest, ModuleAnswersThatAreAcceptedAsSuccess) {
  GostParty s = signer("Token Quirk Signer", "gost12-256");
  for (const char* faults : {"already_init", "logged_in"}) {
    SCOPED_TRACE(faults);
    configure_gost_module(token_slot(s), faults, trace_);
    std::string sig;
    EXPECT_EQ(sign(s.sha1_id, kTokenPin, &sig), 0) << host_.since_mark();
    EXPECT_TRUE(certtool_verifies(keys_, "gost12-256", sig, root_.cert_pem));
  }
}

TEST_F(GostTokenTest, PasswordAndCertificateFailures) {
  GostParty s = signer("Token Failing Signer", "gost12-256");
  configure_gost_module(token_slot(s), "", trace_);
  EXPECT_EQ(sign(s.sha1_id, "0000", nullptr), 25);
  EXPECT_NE(host_.since_mark().find("ssf_find_cert_on_token() 12 : C_Login() failed: 160 (CKR_PIN_INCORRECT)"),
            std::string::npos)
      << host_.since_mark();
  EXPECT_EQ(sign(s.sha1_id, "", nullptr), 25);
  EXPECT_NE(host_.since_mark().find("ssf_find_cert_on_token() 11 : password is NULL"),
            std::string::npos);
  EXPECT_EQ(sign("00 11 22", kTokenPin, nullptr), 26);

  // A token without objects, and one whose private key has another id.
  configure_gost_module(" ", "", trace_);
  EXPECT_EQ(sign(s.sha1_id, kTokenPin, nullptr), 26);
  configure_gost_module(token_slot(s), "other_key_id", trace_);
  EXPECT_EQ(sign(s.sha1_id, kTokenPin, nullptr), 24);
  EXPECT_NE(host_.since_mark().find("ssf_find_cert_on_token() 16 : key_count == 0"),
            std::string::npos);
}

TEST_F(GostTokenTest, HostileTokensAreRefusedCleanly) {
  GostParty s = signer("Token Hostile Signer", "gost12-256");
  // A CKA_ID longer than 20 bytes is refused, not copied.
  configure_gost_module(token_slot(s), "long_id", trace_);
  EXPECT_EQ(sign(s.sha1_id, kTokenPin, nullptr), 24);
  EXPECT_NE(host_.since_mark().find("ssf_find_cert_on_token() 9 : C_GetAttributeValue() failed"),
            std::string::npos);
  // 300 certificates ahead of the signer's: one search takes 256 of them.
  configure_gost_module(token_slot(s), "many_objects", trace_);
  EXPECT_EQ(sign(s.sha1_id, kTokenPin, nullptr), 26);
  // No token in any slot.
  configure_gost_module(token_slot(s), "no_token", trace_);
  EXPECT_EQ(sign(s.sha1_id, kTokenPin, nullptr), 23);
  EXPECT_NE(host_.since_mark().find("5.1 : No tokens found"), std::string::npos);
}

TEST_F(GostTokenTest, ModulesThatCannotBeUsed) {
  EXPECT_EQ(sign("00 11", kTokenPin, nullptr, keys_.file("missing-module.so")), 23);
  EXPECT_NE(host_.since_mark().find("ssf_load_cert_and_key_token() 1 : mdlopen( '" +
                                    keys_.file("missing-module.so") + "', 'rb' ) failed"),
            std::string::npos);
  // A shared library that is no PKCS#11 module.
  EXPECT_EQ(sign("00 11", kTokenPin, nullptr, "libz.so.1"), 24);
  EXPECT_NE(host_.since_mark().find("C_GetFunctionList() not found in module 'libz.so.1'"),
            std::string::npos);
}

class RsaTokenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (access(kSoftHsmModule, R_OK) != 0) GTEST_SKIP() << "softhsm2 is not installed";
    root_ = std::make_unique<pki::Authority>(pki::Authority::root());
    ca_file_ = keys_.file("ca.pem");
    write_file(ca_file_, pki::to_pem(root_->cert()));
    signer_ = write_signer(keys_, *root_, "RSA Token Signer");
    ASSERT_TRUE(make_softhsm_token(keys_, signer_.key_pem, signer_.cert_pem));
  }

  int sign(const std::string& password, std::string* sig) {
    Records r(host_);
    r.add(signer_.sha1_id, std::string("token=") + kSoftHsmModule, password);
    Output out(host_);
    host_.mark();
    host_sign(host_, "PKCS7", wrap_data(kDoc), r, &out);
    if (sig) *sig = out.str();
    return r.result(0);
  }

  Host host_;
  TempDir keys_;
  std::unique_ptr<pki::Authority> root_;
  std::string ca_file_;
  SignerFiles signer_;
};

TEST_F(RsaTokenTest, SignatureOnSoftHsmVerifiesWithOpenssl) {
  std::string sig;
  ASSERT_EQ(sign(kTokenPin, &sig), 0) << host_.since_mark();
  std::string log;
  EXPECT_TRUE(openssl_verifies(keys_, "smime", sig, ca_file_, kDoc, "", &log)) << log;
  // A second signature in the same process reuses the loaded module.
  ASSERT_EQ(sign(kTokenPin, &sig), 0) << host_.since_mark();
  EXPECT_TRUE(openssl_verifies(keys_, "smime", sig, ca_file_, kDoc));
}

TEST_F(RsaTokenTest, WrongPinIsInvalidPassword) {
  EXPECT_EQ(sign("1111", nullptr), 25) << host_.since_mark();
  EXPECT_NE(host_.since_mark().find("C_Login() failed: 160 (CKR_PIN_INCORRECT)"),
            std::string::npos)
      << host_.since_mark();
}

// The token pads with PKCS#1 v1.5 itself: a signature asked for with any
// other padding is refused instead of coming back as a PKCS#1 signature.
TEST_F(RsaTokenTest, OnlyPkcs1PaddingIsSignedOnTheToken) {
  SigRcpSsfInfo record{};
  record.uResult = 28;
  X509* cert = nullptr;
  EVP_PKEY* raw = nullptr;
  ASSERT_EQ(ssf_load_cert_and_key_token(kSoftHsmModule, kTokenPin, signer_.sha1_id.c_str(), &record,
                                        1, &cert, &raw, nullptr),
            0);
  orvel::X509Ptr cert_owner(cert);
  SsfPkeyPtr key(raw);
  ASSERT_TRUE(key);
  const unsigned char data[32] = {0x5a, 0x01, 0x02, 0x03};
  std::vector<unsigned char> sig;
  auto sign = [&](int padding) {
    orvel::EvpPkeyCtxPtr ctx(EVP_PKEY_CTX_new(key.get(), nullptr));
    size_t len = static_cast<size_t>(EVP_PKEY_get_size(key.get()));
    sig.assign(len, 0);
    if (!ctx || EVP_PKEY_sign_init(ctx.get()) != 1 ||
        EVP_PKEY_CTX_set_rsa_padding(ctx.get(), padding) != 1)
      return -100;
    const int rc = EVP_PKEY_sign(ctx.get(), sig.data(), &len, data, sizeof(data));
    sig.resize(len);
    return rc;
  };
  ASSERT_EQ(sign(RSA_PKCS1_PADDING), 1);
  orvel::EvpPkeyCtxPtr v(EVP_PKEY_CTX_new(X509_get0_pubkey(cert), nullptr));
  ASSERT_TRUE(v);
  ASSERT_EQ(EVP_PKEY_verify_init(v.get()), 1);
  EXPECT_EQ(EVP_PKEY_verify(v.get(), sig.data(), sig.size(), data, sizeof(data)), 1);

  for (int padding : {RSA_NO_PADDING, RSA_X931_PADDING}) {
    SCOPED_TRACE(padding);
    ERR_clear_error();
    EXPECT_LE(sign(padding), 0);
    EXPECT_EQ(ERR_GET_REASON(ERR_peek_last_error()), RSA_R_UNKNOWN_PADDING_TYPE);
  }
  ERR_clear_error();
}

}  // namespace
}  // namespace orvel_test
