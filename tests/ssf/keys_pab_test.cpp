// The PAB directory reader and the certificate store of one PEM file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <set>

#include "crl_test_env.h"
#include "pab.h"
#include "sign_test_pki.h"

namespace orvel_test {
namespace {

std::string bare_base64(X509* cert, bool final_line_feed) {
  std::string pem = pki::to_pem(cert);
  const std::string begin = "-----BEGIN CERTIFICATE-----\n", end = "-----END CERTIFICATE-----\n";
  std::string body = pem.substr(begin.size(), pem.size() - begin.size() - end.size());
  if (!final_line_feed) body.pop_back();
  return body;
}

class Pab : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = std::make_unique<pki::Authority>(pki::Authority::root());
    for (int i = 0; i < 4; ++i) {
      pki::CertOptions o;
      o.subject = "CN=Recipient " + std::to_string(i) + ",O=Orvel Test,C=RU";
      certs_.push_back(root_->issue(o).cert);
    }
  }
  TraceLog log_;
  TempDir pab_;
  std::unique_ptr<pki::Authority> root_;
  std::vector<orvel::X509Ptr> certs_;
};

TEST_F(Pab, LoadsDerPemAndBareBase64AndSkipsTheRest) {
  write_file(pab_.file("a.der"), pki::to_der(certs_[0].get()));
  write_file(pab_.file("b.pem"), pki::to_pem(certs_[1].get()));
  write_file(pab_.file("c.b64"), bare_base64(certs_[2].get(), true));
  write_file(pab_.file("d.b64"), bare_base64(certs_[3].get(), false));
  write_file(pab_.file("notes.txt"), "x marks no certificate");
  write_file(pab_.file("empty"), "");
  write_file(pab_.file("broken.pem"),
             "-----BEGIN CERTIFICATE-----\nAAAA\n-----END CERTIFICATE-----\n");
  write_file(pab_.file("locked.pem"), pki::to_pem(certs_[0].get()));
  chmod(pab_.file("locked.pem").c_str(), 0);
  mkdir(pab_.file("subdir").c_str(), 0700);
  write_file(pab_.file("subdir/e.pem"), pki::to_pem(certs_[0].get()));
  symlink(pab_.file("gone").c_str(), pab_.file("dangling").c_str());

  orvel::X509StackPtr got(load_certs_from_pab(pab_.path().c_str()));
  ASSERT_TRUE(got);
  std::multiset<std::string> subjects;
  for (int i = 0; i < sk_X509_num(got.get()); ++i)
    subjects.insert(subject_text_of(sk_X509_value(got.get(), i)));
  std::multiset<std::string> want;
  for (int i = 0; i < 4; ++i) want.insert(subject_text_of(certs_[i].get()));
  if (geteuid() == 0) want.insert(subject_text_of(certs_[0].get()));  // root reads locked files
  EXPECT_EQ(subjects, want);
  EXPECT_TRUE(log_.contains("load_cert_from_file() 3 : unknown file format '" +
                            pab_.file("notes.txt") + "', first byte = 0x78"));
  EXPECT_TRUE(log_.contains("load_cert_from_file() 2 : failed to read first byte from '" +
                            pab_.file("empty") + "'"));
  EXPECT_TRUE(log_.contains("load_cert_from_file() 4 : failed to load certificate from file '" +
                            pab_.file("broken.pem") + "'"));
  EXPECT_TRUE(log_.contains("load_certs_from_pab_brekssl() :  stat( '" + pab_.file("dangling") +
                            "' ) failed"));
}

TEST_F(Pab, EmptyAndMissingDirectories) {
  orvel::X509StackPtr none(load_certs_from_pab(pab_.path().c_str()));
  ASSERT_TRUE(none);
  EXPECT_EQ(sk_X509_num(none.get()), 0);
  EXPECT_EQ(load_certs_from_pab(pab_.file("absent").c_str()), nullptr);
  EXPECT_TRUE(log_.contains("load_certs_from_pab_brekssl() : opendir( '" + pab_.file("absent") +
                            "' ) failed, errno = 2"));
  EXPECT_EQ(load_certs_from_pab(nullptr), nullptr);
}

TEST_F(Pab, StoreFromOnePemFile) {
  write_file(pab_.file("user1.pem"), pki::to_pem(certs_[0].get()) + pki::to_pem(root_->cert()));
  const std::string path = pab_.file("user1.pem");
  X509_STORE* s = nullptr;
  ASSERT_EQ(LoadCertificatesFromPAB(&s, path.data(), static_cast<int>(path.size())), 1);
  orvel::X509StorePtr store(s);
  STACK_OF(X509_OBJECT)* objs = X509_STORE_get0_objects(store.get());
  EXPECT_EQ(sk_X509_OBJECT_num(objs), 2);

  EXPECT_EQ(LoadCertificatesFromPAB(&s, pab_.file("absent.pem").c_str(),
                                    static_cast<int>(pab_.file("absent.pem").size())),
            -1);
  EXPECT_EQ(s, nullptr);
  // A path over 4,095 characters is refused, not copied into a fixed buffer.
  const std::string longer(5000, 'a');
  EXPECT_EQ(LoadCertificatesFromPAB(&s, longer.data(), static_cast<int>(longer.size())), -1);
  EXPECT_EQ(LoadCertificatesFromPAB(&s, path.data(), 0), -1);
}

}  // namespace
}  // namespace orvel_test
