// CRL download over file, http, ftp and ldap URLs, and the parsing of what
// comes back (DER, bare Base64).
#include "crl_download.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "crl_test_env.h"
#include "test_pki_builder.h"
#include "test_servers.h"

namespace orvel_test {
namespace {

using pki::Authority;

class CrlDownload : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = std::make_unique<Authority>(Authority::root());
    pki::CrlOptions o;
    o.revoked.push_back({nullptr, 4242, -3600});
    crl_ = root_->crl(o);
  }
  std::string der() const { return pki::crl_to_der(crl_.get()); }
  // True when the downloaded CRL is the one served.
  bool same_crl(X509_CRL* got) const {
    return got != nullptr && X509_CRL_cmp(got, crl_.get()) == 0 && pki::crl_to_der(got) == der();
  }

  TraceLog log_;
  TempDir www_;
  std::unique_ptr<Authority> root_;
  orvel::X509CrlPtr crl_;
};

TEST_F(CrlDownload, FileUrlDerPemBodyAndBareBase64WithoutFinalLineFeed) {
  write_file(www_.file("a.crl"), der());
  write_file(www_.file("b.b64"), pki::crl_to_bare_base64(crl_.get()));
  write_file(www_.file("c.b64"), pki::crl_to_bare_base64(crl_.get(), false));
  for (const char* f : {"a.crl", "b.b64", "c.b64"}) {
    orvel::X509CrlPtr got(download_crl(("file://" + www_.file(f)).c_str()));
    EXPECT_TRUE(same_crl(got.get())) << f;
  }
  std::string log = log_.text();
  EXPECT_NE(log.find("download_crl() : crl is DER-encoded"), std::string::npos);
  EXPECT_NE(log.find("download_crl() : crl is Base64-encoded"), std::string::npos);
}

TEST_F(CrlDownload, PemWithHeaderLinesAndEmptyFilesAreRefused) {
  write_file(www_.file("full.pem"), pki::crl_to_pem(crl_.get()));
  write_file(www_.file("empty.crl"), "");
  EXPECT_EQ(download_crl(("file://" + www_.file("full.pem")).c_str()), nullptr);
  EXPECT_TRUE(log_.contains("download_crl() : unknown format: data[ 0 ] = 0x2d (-)"));
  EXPECT_EQ(download_crl(("file://" + www_.file("empty.crl")).c_str()), nullptr);
  EXPECT_TRUE(log_.contains("download_crl() : failed to parse CRL"));
  EXPECT_EQ(download_crl(("file://" + www_.file("missing.crl")).c_str()), nullptr);
  EXPECT_TRUE(log_.contains("InstallCRLFromServer() failed:"));
  EXPECT_TRUE(log_.contains("InstallCRLFromServer() 10 : curl_easy_perform() failed, code = 37"));
}

TEST_F(CrlDownload, TruncatedDerIsRefused) {
  std::string d = der();
  write_file(www_.file("cut.crl"), d.substr(0, d.size() / 2));
  EXPECT_EQ(download_crl(("file://" + www_.file("cut.crl")).c_str()), nullptr);
  EXPECT_TRUE(log_.contains("download_crl() : d2i_X509_CRL_bio() failed"));
}

TEST_F(CrlDownload, HttpServesDerAndBase64And404AndEmptyBody) {
  write_file(www_.file("root.crl"), der());
  write_file(www_.file("root.b64"), pki::crl_to_bare_base64(crl_.get(), false));
  write_file(www_.file("empty.crl"), "");
  HttpServer http(www_.path());
  orvel::X509CrlPtr a(download_crl(http.url("root.crl").c_str()));
  EXPECT_TRUE(same_crl(a.get()));
  orvel::X509CrlPtr b(download_crl(http.url("root.b64").c_str()));
  EXPECT_TRUE(same_crl(b.get()));
  EXPECT_EQ(download_crl(http.url("nothing-here.crl").c_str()), nullptr);
  EXPECT_TRUE(log_.contains("InstallCRLFromServer() 10 : curl_easy_perform() failed, code = 22"));
  EXPECT_EQ(download_crl(http.url("empty.crl").c_str()), nullptr);
  EXPECT_TRUE(log_.contains("download_crl() : failed to parse CRL"));
}

// A download that grows past the cap is cancelled with an ERROR line; one
// of exactly the cap's size still arrives.
TEST_F(CrlDownload, DownloadAboveTheCapIsCancelled) {
  write_file(www_.file("root.crl"), der());
  HttpServer http(www_.path());
  set_crl_max_bytes_for_tests(der().size() - 1);
  EXPECT_EQ(download_crl(http.url("root.crl").c_str()), nullptr);
  EXPECT_TRUE(log_.contains("WriteMemoryCallback() : CRL larger than " +
                            std::to_string(der().size() - 1) + " bytes, download cancelled"));
  set_crl_max_bytes_for_tests(der().size());
  orvel::X509CrlPtr got(download_crl(http.url("root.crl").c_str()));
  EXPECT_TRUE(same_crl(got.get()));
  set_crl_max_bytes_for_tests(0);
}

TEST_F(CrlDownload, UnreachableServerFailsQuickly) {
  int port = free_port();
  std::string url = "http://127.0.0.1:" + std::to_string(port) + "/root.crl";
  EXPECT_EQ(download_crl(url.c_str()), nullptr);
  EXPECT_TRUE(log_.contains("curl_easy_perform() failed, code = 7"));
}

TEST_F(CrlDownload, FtpServesDer) {
  write_file(www_.file("root.crl"), der());
  FtpServer ftp(www_.path());
  orvel::X509CrlPtr a(download_crl(ftp.url("root.crl").c_str()));
  EXPECT_TRUE(same_crl(a.get()));
  EXPECT_EQ(download_crl(ftp.url("missing.crl").c_str()), nullptr);
}

TEST_F(CrlDownload, LdapBinaryAttributeInBothForms) {
  for (const char* attr : {"certificateRevocationList;binary", "certificateRevocationList"}) {
    FakeLdapServer ldap(attr, der());
    orvel::X509CrlPtr got(download_crl(ldap.url().c_str()));
    EXPECT_TRUE(same_crl(got.get())) << attr;
    EXPECT_EQ(ldap.searches(), 1) << attr;
  }
  EXPECT_TRUE(log_.contains("InstallCRLFromServer(): crl_length = "));
  // A printable value (Base64 text stored as such) comes as "name: value".
  std::string b64 = pki::crl_to_bare_base64(crl_.get(), false);
  std::string one_line;
  for (char c : b64)
    if (c != '\n') one_line += c;
  FakeLdapServer text_ldap("certificateRevocationList", one_line);
  char* data = nullptr;
  int len = 0;
  ASSERT_EQ(InstallCRLFromServer(text_ldap.url().c_str(), &data, &len), 0);
  EXPECT_EQ(std::string(data, len), one_line);
  free(data);
  orvel::X509CrlPtr got(download_crl(text_ldap.url().c_str()));
  EXPECT_TRUE(same_crl(got.get()));
}

TEST_F(CrlDownload, LdapAnswerWithoutCrlAttributeIsRefused) {
  FakeLdapServer ldap("description", "no crl here");
  char* data = nullptr;
  int len = 0;
  EXPECT_EQ(InstallCRLFromServer(ldap.url().c_str(), &data, &len), -1);
  EXPECT_EQ(data, nullptr);
  EXPECT_TRUE(log_.contains("InstallCRLFromServer() 11 : couldn't parse server response"));
}

TEST_F(CrlDownload, ListFollowsProtocolOrderThenUrlOrder) {
  write_file(www_.file("root.crl"), der());
  HttpServer http(www_.path());
  std::string file_url = "file://" + www_.file("root.crl");
  std::string dead_http = "http://127.0.0.1:" + std::to_string(free_port()) + "/root.crl";
  TextList urls({"ftp://127.0.0.1:1/none.crl", dead_http, file_url, http.url("root.crl")});

  {  // http first: the dead server fails, the live one answers.
    TextList protos({"http", "file"});
    orvel::X509CrlPtr got(download_crl_from_list(urls.get(), protos.get()));
    EXPECT_TRUE(same_crl(got.get()));
    std::string log = log_.text();
    EXPECT_NE(log.find("download_crl_from_list() : can't download CRL from " + dead_http),
              std::string::npos);
    EXPECT_NE(log.find("download_crl_from_list() : downloading CRL from " + http.url("root.crl") +
                       " ..."),
              std::string::npos);
    EXPECT_EQ(log.find("downloading CRL from " + file_url), std::string::npos);
  }
  {  // A protocol nothing matches, an empty and a null list download nothing.
    TextList protos({"ldap"});
    EXPECT_EQ(download_crl_from_list(urls.get(), protos.get()), nullptr);
    TextList none({});
    EXPECT_EQ(download_crl_from_list(urls.get(), none.get()), nullptr);
    EXPECT_EQ(download_crl_from_list(urls.get(), nullptr), nullptr);
  }
  {  // Schemes compare without regard to case, but need "://".
    TextList upper({"FILE://" + www_.file("root.crl"), "filex://nothing"});
    TextList protos({"file"});
    orvel::X509CrlPtr got(download_crl_from_list(upper.get(), protos.get()));
    EXPECT_TRUE(same_crl(got.get()));
  }
}

}  // namespace
}  // namespace orvel_test
