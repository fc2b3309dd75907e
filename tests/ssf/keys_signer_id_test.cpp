// SHA-1 ids against the openssl command line's fingerprint, the syntax check
// of recipient ids, the password callback and the public-key copy.
#include <gtest/gtest.h>

#include <memory>

#include "crl_test_env.h"
#include "keys.h"
#include "keys_pem.h"
#include "keys_test_env.h"
#include "sign_test_pki.h"
#include "signer_id.h"

namespace orvel_test {
namespace {

class SignerId : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = std::make_unique<pki::Authority>(pki::Authority::root());
    alice_ = write_signer(keys_, *root_, "Alice Signer");
  }
  TraceLog log_;
  TempDir keys_;
  std::unique_ptr<pki::Authority> root_;
  SignerFiles alice_;
};

TEST_F(SignerId, Sha1IdIsTheFingerprintOfTheCommandLine) {
  std::string out;
  ASSERT_EQ(
      run_command("openssl x509 -noout -fingerprint -sha1 -in '" + alice_.cert_pem + "'", &out), 0);
  // "SHA1 Fingerprint=AB:CD:..."
  std::string fp = out.substr(out.find('=') + 1, 59);
  for (auto& c : fp) c = c == ':' ? ' ' : static_cast<char>(tolower(c));
  orvel::CharsPtr id(calc_sha1id(alice_.cert.get()));
  ASSERT_TRUE(id);
  EXPECT_EQ(std::string(id.get()), fp);
  EXPECT_EQ(strlen(id.get()), 59u);
  EXPECT_EQ(compare_sha1id_and_rcpid(alice_.cert.get(), fp.c_str()), 0);
  std::string run = fp;
  run.erase(std::remove(run.begin(), run.end(), ' '), run.end());
  EXPECT_EQ(compare_sha1id_and_rcpid(alice_.cert.get(), run.c_str()), 0);
  // Upper case, a double blank, a trailing blank, a prefix: no match.
  std::string upper = fp;
  for (auto& c : upper) c = static_cast<char>(toupper(c));
  for (const std::string& bad :
       {upper, fp + " ", fp.substr(0, 58), " " + fp, fp.substr(0, 2) + " " + fp.substr(2)})
    EXPECT_EQ(compare_sha1id_and_rcpid(alice_.cert.get(), bad.c_str()), 1) << bad;
  EXPECT_EQ(compare_sha1id_and_rcpid(alice_.cert.get(), nullptr), 1);
  EXPECT_EQ(calc_sha1id(nullptr), nullptr);
}

TEST(IsStrHex, DigitsLettersAndBlanks) {
  TraceLog log;
  EXPECT_EQ(is_str_hex("0123456789abcdefABCDEF ", 23), 1);
  EXPECT_EQ(is_str_hex("", 0), 1);
  EXPECT_EQ(is_str_hex(nullptr, -1), 1);
  EXPECT_EQ(is_str_hex("12g4", 4), 0);
  EXPECT_TRUE(log.contains("is_str_hex() 0: bad symbol 'g' found in '12g4'"));
  // Only the given length counts.
  EXPECT_EQ(is_str_hex("12zz", 2), 1);
}

int check_id(const std::string& id) {
  TestRecord r(id, "");
  return check_sig_rcp_id(r.get());
}

TEST(CheckSigRcpId, HexAndSubjectTexts) {
  TraceLog log;
  EXPECT_EQ(check_id("AB CD EF 01"), 1);  // upper case passes the syntax check
  EXPECT_EQ(check_id("CN=Alice, O=Orvel Test, C=RU"), 1);
  EXPECT_EQ(check_id("CN=Alice,O=Orvel"), 1);  // without ", " the rest is one value
  EXPECT_EQ(check_id("CN=Alice, O=Orvel, Inc, C=RU"), -1);
  EXPECT_TRUE(log.contains("check_sig_rcp_id() 3 : '=' not found in 'Inc, C=RU'"));
  EXPECT_EQ(check_id("CN=Alice, XYZ=1"), -1);
  EXPECT_TRUE(log.contains("check_sig_rcp_id() 4 : OBJ_sn2nid( 'XYZ' ) returned NID_undef"));
  EXPECT_TRUE(log.contains("check_sig_rcp_id() 5 : non-interpreted remainder: 'XYZ=1'"));
  EXPECT_EQ(check_id("Alice"), -1);
  EXPECT_EQ(check_id(std::string("CN=Al\nice")), -1);
  EXPECT_TRUE(log.contains("check_sig_rcp_id() 1: bad symbol"));
  EXPECT_EQ(check_sig_rcp_id(nullptr), -1);
}

TEST(PasswordCallback, CopiesAtMostTheBuffer) {
  char buf[8] = {};
  const char* pass = "0123456789";
  EXPECT_EQ(password_callback(buf, 8, 0, &pass), 8);
  EXPECT_EQ(std::string(buf, 8), "01234567");
  const char* none = nullptr;
  EXPECT_EQ(password_callback(buf, 8, 0, &none), 0);
  EXPECT_EQ(password_callback(buf, 8, 0, nullptr), 0);
  const char* empty = "";
  EXPECT_EQ(password_callback(buf, 8, 0, &empty), 0);
}

TEST(PublicKeyDup, KeepsOnlyThePublicPart) {
  orvel::EvpPkeyPtr key = pki::make_rsa_key(2048);
  orvel::EvpPkeyPtr pub(PublicKey_dup(key.get()));
  ASSERT_TRUE(pub);
  EXPECT_EQ(EVP_PKEY_eq(key.get(), pub.get()), 1);
  unsigned char* der = nullptr;
  EXPECT_LE(i2d_PrivateKey(pub.get(), &der), 0);
  OPENSSL_free(der);
  EXPECT_EQ(PublicKey_dup(nullptr), nullptr);
}

}  // namespace
}  // namespace orvel_test
