// The key loader with real failing inputs: every uResult code it sets,
// the id checks, passwords, profile times, the private key usage period
// and the certificate checks of signers.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <memory>

#include "crl_test_env.h"
#include "keys.h"
#include "keys_test_env.h"
#include "settings.h"
#include "sign_test_pki.h"

namespace orvel_test {
namespace {

class KeysLoad : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = std::make_unique<pki::Authority>(pki::Authority::root());
    write_file(keys_.file("ca.pem"), pki::to_pem(root_->cert()));
    alice_ = write_signer(keys_, *root_, "Alice Signer");
  }

  // Loads as signer (or recipient); returns the loader's result and keeps
  // the record's uResult in result_.
  int load(const std::string& id, const std::string& profile, const std::string& password = "",
           int is_signer = 1) {
    TestRecord r(id, profile, password);
    X509* c = nullptr;
    EVP_PKEY* k = nullptr;
    const int rc = ssf_load_cert_and_key(r.get(), &c, &k, is_signer, nullptr, nullptr);
    cert_.reset(c);
    key_.reset(k);
    result_ = r.result();
    if (rc != 0) {
      EXPECT_EQ(c, nullptr);
      EXPECT_EQ(k, nullptr);
    } else {
      EXPECT_NE(c, nullptr);
      EXPECT_NE(k, nullptr);
    }
    return rc;
  }

  StartedLibrary lib_;
  TempDir keys_;
  std::unique_ptr<pki::Authority> root_;
  SignerFiles alice_;
  orvel::X509Ptr cert_;
  orvel::EvpPkeyPtr key_;
  int result_ = -1;
};

// ---- 22: the id ----

TEST_F(KeysLoad, IdMatchesBySubjectOrEitherSha1Form) {
  EXPECT_EQ(load(alice_.subject_text, alice_.profile_pem()), 0);
  EXPECT_EQ(result_, 28);  // untouched on success; the operations set 0
  EXPECT_EQ(load(alice_.sha1_id, alice_.profile_pem()), 0);
  EXPECT_TRUE(lib_.logged("check_cert_and_key() : certificate found by SHA1 ID"));
  EXPECT_EQ(load(sha1_id_of(alice_.cert.get(), false), alice_.p12_aes, kKeyPassword), 0);
}

TEST_F(KeysLoad, IdMismatchGives22) {
  SignerFiles bob = write_signer(keys_, *root_, "Bob Signer");
  std::string upper = alice_.sha1_id;
  for (auto& ch : upper) ch = static_cast<char>(toupper(ch));
  std::string lower_subject = alice_.subject_text;
  for (auto& ch : lower_subject) ch = static_cast<char>(tolower(ch));
  for (const std::string& id : {bob.subject_text, bob.sha1_id, sha1_id_of(bob.cert.get(), false),
                                upper, lower_subject, alice_.subject_text + " "}) {
    EXPECT_EQ(load(id, alice_.profile_pem()), 5) << id;
    EXPECT_EQ(result_, 22) << id;
  }
  EXPECT_EQ(load(bob.sha1_id, alice_.profile_pem(), "", 0), 9);
  EXPECT_EQ(result_, 22);
  EXPECT_TRUE(lib_.logged("check_cert_and_key() 2 : cert_name( '" + alice_.subject_text +
                          "' ) and cert_id ( '" + bob.sha1_id + "' ) don't match"));
}

// ---- 23: no profile, no store ----

TEST_F(KeysLoad, MissingProfileOrStoreGives23) {
  EXPECT_EQ(load(alice_.subject_text, ""), 5);
  EXPECT_EQ(result_, 23);
  EXPECT_EQ(load(alice_.subject_text, keys_.file("absent.p12"), "x"), 5);
  EXPECT_EQ(result_, 23);
  EXPECT_TRUE(lib_.logged("ssf_load_cert_and_key_p12() 1 : BIO_new_file( '" +
                          keys_.file("absent.p12") + "', 'rb' ) failed"));
  // Only the lower-case prefix names a token: this is a PKCS#12 path.
  EXPECT_EQ(load(alice_.subject_text, "Token=/usr/lib/none.so", "", 0), 9);
  EXPECT_EQ(result_, 23);
}

// ---- 24: stores that do not load, keys that do not match ----

TEST_F(KeysLoad, UnusableStoresGive24) {
  write_file(keys_.file("junk.p12"), "not a PKCS#12 file");
  EXPECT_EQ(load(alice_.subject_text, keys_.file("junk.p12"), "x"), 5);
  EXPECT_EQ(result_, 24);
  EXPECT_EQ(load(alice_.subject_text, "certfile=" + keys_.file("absent.pem")), 5);
  EXPECT_EQ(result_, 24);
  EXPECT_TRUE(lib_.logged("load_cert() : Error opening signer certificate '" +
                          keys_.file("absent.pem") + "'"));
  // The certificate file alone: no key in it.
  EXPECT_EQ(load(alice_.subject_text, "certfile=" + alice_.cert_pem), 5);
  EXPECT_EQ(result_, 24);
  // An encrypted key without or with a wrong password (never a prompt).
  EXPECT_EQ(load(alice_.subject_text, alice_.profile_pem_enc()), 5);
  EXPECT_EQ(result_, 24);
  EXPECT_EQ(load(alice_.subject_text, alice_.profile_both_enc(), "wrong"), 5);
  EXPECT_EQ(result_, 24);
  EXPECT_TRUE(lib_.logged("ssf_load_cert_and_key_file() 3 : load_key( file_name = '" +
                          alice_.both_enc_pem + "' ) failed"));
}

TEST_F(KeysLoad, KeyOfAnotherCertificateGives24) {
  SignerFiles bob = write_signer(keys_, *root_, "Bob Signer");
  EXPECT_EQ(load(alice_.subject_text, "certfile=" + alice_.cert_pem + ",keyfile=" + bob.key_pem),
            5);
  EXPECT_EQ(result_, 24);
  const std::string log = lib_.log();
  EXPECT_NE(log.find("check_cert_and_key() 3 : X509_check_private_key() failed"),
            std::string::npos);
  EXPECT_NE(log.find("private key does not match certificate"), std::string::npos);
}

TEST_F(KeysLoad, TokenProfileWithMissingModuleIsNotFound) {
  EXPECT_EQ(load(alice_.subject_text, "token=/nonexistent/pkcs11-module.so", "1234"), 5);
  EXPECT_EQ(result_, 23);
  EXPECT_TRUE(lib_.logged(
      "ssf_load_cert_and_key_token() 1 : mdlopen( '/nonexistent/pkcs11-module.so', 'rb' ) failed"));
}

// ---- 25: passwords ----

TEST_F(KeysLoad, WrongPkcs12PasswordGives25) {
  for (const std::string& p12 : {alice_.p12_aes, alice_.p12_legacy}) {
    EXPECT_EQ(load(alice_.subject_text, p12, "wrong"), 5);
    EXPECT_EQ(result_, 25);
    EXPECT_EQ(load(alice_.subject_text, p12, kKeyPassword), 0);
  }
  EXPECT_TRUE(lib_.logged("ssf_load_cert_and_key_p12() 3 : PKCS12_parse() failed"));
}

TEST_F(KeysLoad, DefaultPasswordStandsInForAMissingOne) {
  EXPECT_EQ(load(alice_.subject_text, alice_.p12_aes), 5);
  EXPECT_EQ(result_, 25);
  default_password = setting_text(kKeyPassword);
  EXPECT_EQ(load(alice_.subject_text, alice_.p12_aes), 0);
  EXPECT_EQ(load(alice_.subject_text, alice_.profile_pem_enc()), 0);
  EXPECT_TRUE(lib_.logged(
      "ssf_load_cert_and_key() : password not provided, default password will be used"));
  // The record's own password wins.
  EXPECT_EQ(load(alice_.subject_text, alice_.p12_aes, "wrong"), 5);
  EXPECT_EQ(result_, 25);
}

TEST_F(KeysLoad, EncryptedProfilePasswords) {
  // A PKCS#12 file whose password is "secret"; the blob decrypts to it.
  sh("openssl pkcs12 -export -inkey '" + alice_.key_pem + "' -in '" + alice_.cert_pem +
     "' -passout pass:secret -out '" + keys_.file("secret.p12") + "'");
  use_profile_password_encryption = 1;
  const bool have_gost = EVP_get_cipherbyname("gost89") != nullptr;
  EXPECT_EQ(load(alice_.subject_text, keys_.file("secret.p12"), "AQIDBAUGBwjQYz2wJk1XSnpE"),
            have_gost ? 0 : 5);
  if (!have_gost) {
    EXPECT_EQ(result_, 25);
    EXPECT_TRUE(lib_.logged("ssf_load_cert_and_key() 6 : failed to decrypt password"));
  }
  // A blob that is no Base64, or whose MAC does not match.
  EXPECT_EQ(load(alice_.subject_text, keys_.file("secret.p12"), "secret"), 5);
  EXPECT_EQ(result_, 25);
  EXPECT_EQ(load(alice_.subject_text, keys_.file("secret.p12"), "AQIDBAUGBwjQYz2wJk1XSnpF"), 5);
  EXPECT_EQ(result_, 25);
  // No password and no default: nothing to decrypt, the store opens without one.
  EXPECT_EQ(load(alice_.subject_text, alice_.profile_pem()), 0);
}

// ---- profile signing time ----

TEST_F(KeysLoad, ProfileTimeChecks) {
  use_profile_timestamp = 1;
  EXPECT_EQ(load(alice_.subject_text, "20191231235959" + alice_.profile_pem()), 0);
  // Exactly 14 characters: 23, and 5 even for a recipient.
  EXPECT_EQ(load(alice_.subject_text, "20191231235959", "", 0), 5);
  EXPECT_EQ(result_, 23);
  for (const char* bad : {"20191301000000", "20190230120000", "2019123123595x", "20191231246000"}) {
    EXPECT_EQ(load(alice_.subject_text, bad + alice_.profile_pem(), "", 0), 5) << bad;
    EXPECT_EQ(result_, 24) << bad;
  }
  EXPECT_TRUE(lib_.logged("contains invalid timestamp (use_profile_timestamp is 'on')"));
}

// ---- 22: private key usage period, signers only ----

TEST_F(KeysLoad, PrivateKeyUsagePeriodBindsSignersOnly) {
  pki::CertOptions expired;
  expired.private_key_usage_period = std::make_pair(-10 * pki::kDay, -pki::kDay);
  SignerFiles old = write_signer(keys_, *root_, "Old Signer", expired);
  EXPECT_EQ(load(old.subject_text, old.profile_pem()), 5);
  EXPECT_EQ(result_, 22);
  EXPECT_TRUE(lib_.logged("ssf_load_cert_and_key() : PrivateKeyUsagePeriod is expired"));
  EXPECT_EQ(load(old.subject_text, old.profile_pem(), "", 0), 0);

  pki::CertOptions later;
  later.private_key_usage_period = std::make_pair(pki::kDay, 10 * pki::kDay);
  SignerFiles early = write_signer(keys_, *root_, "Early Signer", later);
  EXPECT_EQ(load(early.subject_text, early.profile_both()), 5);
  EXPECT_EQ(result_, 22);
  EXPECT_TRUE(lib_.logged("ssf_load_cert_and_key() : PrivateKeyUsagePeriod is not begin yet"));

  pki::CertOptions now;
  now.private_key_usage_period = std::make_pair(-pki::kDay, pki::kDay);
  SignerFiles current = write_signer(keys_, *root_, "Current Signer", now);
  EXPECT_EQ(load(current.subject_text, current.profile_pem()), 0);
}

TEST_F(KeysLoad, UnparsablePrivateKeyUsagePeriodBoundFails) {
  // The extension written by hand: [0] notBefore and [1] notAfter, one of
  // them a GeneralizedTime that does not parse, the other far off.
  auto period = [](const std::string& from, const std::string& to) {
    std::string body =
        std::string("\x80") + char(from.size()) + from + "\x81" + char(to.size()) + to;
    std::string der = std::string("\x30") + char(body.size()) + body;
    std::string hex = "DER:";
    for (unsigned char c : der) {
      char b[3];
      snprintf(b, sizeof b, "%02X", c);
      hex += b;
    }
    return hex;
  };
  struct Case {
    const char *name, *from, *to, *line;
  } cases[] = {
      {"Bad Start Signer", "2020XX01000000Z", "20991231000000Z", "is not begin yet"},
      {"Bad End Signer", "20000101000000Z", "2099XX31000000Z", "is expired"},
  };
  for (const Case& c : cases) {
    pki::CertOptions o;
    o.extensions = {{NID_private_key_usage_period, period(c.from, c.to)}};
    SignerFiles s = write_signer(keys_, *root_, c.name, o);
    EXPECT_EQ(load(s.subject_text, s.profile_pem()), 5) << c.name;
    EXPECT_EQ(result_, 22) << c.name;
    EXPECT_TRUE(
        lib_.logged(std::string("ssf_load_cert_and_key() : PrivateKeyUsagePeriod ") + c.line))
        << c.name;
  }
}

// ---- 26: certificate checks of signers ----

TEST_F(KeysLoad, ExpiredCertificateGives26ForSignersOnly) {
  pki::CertOptions o;
  o.not_before = -10 * pki::kDay;
  o.not_after = -pki::kDay;
  SignerFiles gone = write_signer(keys_, *root_, "Expired Signer", o);
  EXPECT_EQ(load(gone.subject_text, gone.profile_pem()), 5);
  EXPECT_EQ(result_, 26);
  EXPECT_EQ(load(gone.subject_text, gone.profile_pem(), "", 0), 0);
}

TEST_F(KeysLoad, RevokedCertificateGives26WithCrlCheck) {
  TempDir www;
  const std::string url = "file://" + www.file("root.crl");
  pki::CertOptions o;
  o.crl_urls = {url};
  SignerFiles revoked = write_signer(keys_, *root_, "Revoked Signer", o);
  SignerFiles good = write_signer(keys_, *root_, "Good Signer", o);
  pki::CrlOptions c;
  c.revoked.push_back({revoked.cert.get()});
  write_file(www.file("root.crl"), pki::crl_to_der(root_->crl(c).get()));
  check_crl = 1;
  TextList protos({"file"});
  proto_list = protos.get();
  CA_FILE = setting_text(keys_.file("ca.pem"));
  EXPECT_EQ(load(revoked.subject_text, revoked.profile_pem()), 5);
  EXPECT_EQ(result_, 26);
  EXPECT_TRUE(lib_.logged("IsCertificateValid() failed for '" + revoked.subject_text + "'"));
  EXPECT_EQ(load(good.subject_text, good.p12_legacy, kKeyPassword), 0);
  // Recipients are not checked.
  EXPECT_EQ(load(revoked.subject_text, revoked.profile_pem(), "", 0), 0);
}

}  // namespace
}  // namespace orvel_test
