// Revocation checks of GOST certificates with CRLs made by GnuTLS's
// certtool: the default URL for GOST R 34.10-2012 certificates is
// default_crl_url_2012, and GOST R 34.10-2001 CRLs are refused from the
// cut-off (1 January 2020, 00:00:00 local time) on.
#include <gtest/gtest.h>

#include <memory>

#include "cert_check.h"
#include "crl_test_env.h"
#include "gost_pki.h"
#include "keys_test_env.h"
#include "settings.h"

namespace orvel_test {
namespace {

class GostCrl : public ::testing::Test {
 protected:
  void SetUp() override {
    protos_ = std::make_unique<TextList>(std::vector<std::string>{"http", "ldap", "file"});
    proto_list = protos_->get();
  }

  std::string file_url(const std::string& name) const { return "file://" + keys_.file(name); }

  void trust(const GostParty& root) { CA_FILE = setting_text(root.cert_pem); }

  // A CRL of ca written to name; revoked: a certificate file or "".
  void publish(const GostParty& ca, const std::string& name, const std::string& this_update = "",
               const std::string& revoked = "") {
    std::string tmpl = "crl_next_update = 3650\ncrl_number = 3\n";
    if (!this_update.empty()) {
      tmpl += "crl_this_update_date = \"" + this_update + "\"\n";
      tmpl += "crl_next_update_date = \"2040-01-01 00:00:00 UTC\"\n";
    }
    write_file(keys_.file(name + ".tmpl"), tmpl);
    sh("certtool --generate-crl --load-ca-privkey '" + ca.key_pem + "' --load-ca-certificate '" +
       ca.cert_pem + "'" + (revoked.empty() ? "" : " --load-certificate '" + revoked + "'") +
       " --template '" + keys_.file(name + ".tmpl") + "' --outder --outfile '" + keys_.file(name) +
       "' 2>&1");
  }

  StartedLibrary lib_;
  TempDir keys_;
  std::unique_ptr<TextList> protos_;
};

// The certificate's own distribution point fails; the default URL of its
// signature family is tried next.
TEST_F(GostCrl, Gost2012CertificateUsesDefaultUrl2012) {
  GostParty root = make_gost_party(keys_, "GOST Root CA", "gost12-512", nullptr);
  GostParty leaf = make_gost_party(keys_, "Leaf", "gost12-256", &root, "",
                                   "crl_dist_points = \"" + file_url("missing.crl") + "\"\n");
  trust(root);
  publish(root, "good.crl");
  publish(root, "revoking.crl", "", leaf.cert_pem);
  default_crl_url = setting_text(file_url("revoking.crl"));
  default_crl_url_2012 = setting_text(file_url("good.crl"));
  EXPECT_EQ(IsCertificateValid(leaf.cert.get(), 0, 1, nullptr), 1) << lib_.log();
  EXPECT_TRUE(lib_.logged("check_for_revocation(): signature type is 2012"));
  EXPECT_TRUE(lib_.logged("check_for_revocation() : trying to download CRL from default URL: '" +
                          file_url("good.crl") + "'"));

  // The 2012 default URL lists the certificate: revoked.
  default_crl_url = setting_text(file_url("good.crl"));
  default_crl_url_2012 = setting_text(file_url("revoking.crl"));
  EXPECT_EQ(IsCertificateValid(leaf.cert.get(), 0, 1, nullptr), 0);

  // No 2012 URL configured: the other default URL does not stand in.
  default_crl_url_2012 = setting_text("");
  EXPECT_EQ(IsCertificateValid(leaf.cert.get(), 0, 1, nullptr), -1);
  EXPECT_TRUE(lib_.logged("check_for_revocation() 3.2 : default URL not specified"));
}

TEST_F(GostCrl, Gost2001CertificateUsesTheOtherDefaultUrl) {
  GostParty root = make_gost_party(keys_, "GOST Root CA", "gost12-256", nullptr);
  GostParty leaf = make_gost_party(keys_, "Leaf 2001", "gost01", &root, "CryptoPro-A",
                                   "crl_dist_points = \"" + file_url("missing.crl") + "\"\n");
  trust(root);
  publish(root, "good.crl");
  default_crl_url = setting_text(file_url("good.crl"));
  default_crl_url_2012 = setting_text(file_url("missing-2012.crl"));
  // The certificate is signed by a GOST R 34.10-2012 key: its signature is 2012.
  EXPECT_EQ(IsCertificateValid(leaf.cert.get(), 0, 1, nullptr), -1);
  EXPECT_TRUE(lib_.logged("check_for_revocation(): signature type is 2012"));

  // A certificate signed by a GOST R 34.10-2001 key is not 2012.
  GostParty root01 = make_gost_party(keys_, "GOST 2001 Root", "gost01", nullptr, "CryptoPro-A");
  GostParty leaf01 = make_gost_party(keys_, "Leaf under 2001", "gost12-256", &root01, "",
                                     "crl_dist_points = \"" + file_url("missing.crl") + "\"\n");
  trust(root01);
  publish(root01, "old-good.crl", "2019-12-31 23:59:59 UTC");
  default_crl_url = setting_text(file_url("old-good.crl"));
  EXPECT_EQ(IsCertificateValid(leaf01.cert.get(), 0, 1, nullptr), 1) << lib_.log();
  EXPECT_TRUE(lib_.logged("check_for_revocation(): signature type is NOT 2012"));
}

TEST_F(GostCrl, Gost2001CrlCutoff) {
  GostParty root01 = make_gost_party(keys_, "GOST 2001 Root", "gost01", nullptr, "CryptoPro-A");
  GostParty leaf = make_gost_party(keys_, "Leaf", "gost12-256", &root01, "",
                                   "crl_dist_points = \"" + file_url("root.crl") + "\"\n");
  trust(root01);
  // Issued in the last second before the cut-off (TZ=UTC): accepted.
  publish(root01, "root.crl", "2019-12-31 23:59:59 UTC");
  EXPECT_EQ(IsCertificateValid(leaf.cert.get(), 0, 1, nullptr), 1) << lib_.log();
  EXPECT_FALSE(lib_.logged("Gost R 34.10-2001 not allowed for CRLs"));
  // Issued at the cut-off: refused.
  publish(root01, "root.crl", "2020-01-01 00:00:00 UTC");
  EXPECT_EQ(IsCertificateValid(leaf.cert.get(), 0, 1, nullptr), -1);
  EXPECT_TRUE(lib_.logged("check_crl_gost2001() 1 : Gost R 34.10-2001 expired"));
  EXPECT_TRUE(lib_.logged("verify_crl() 9 : Gost R 34.10-2001 not allowed for CRLs"));
  // A GOST R 34.10-2012 CRL of today is not touched by the cut-off.
  GostParty root12 = make_gost_party(keys_, "GOST 2012 Root", "gost12-256", nullptr);
  GostParty leaf12 = make_gost_party(keys_, "Leaf 12", "gost12-512", &root12, "",
                                     "crl_dist_points = \"" + file_url("root12.crl") + "\"\n");
  trust(root12);
  publish(root12, "root12.crl");
  EXPECT_EQ(IsCertificateValid(leaf12.cert.get(), 0, 1, nullptr), 1) << lib_.log();
}

}  // namespace
}  // namespace orvel_test
