// The stand-in host's sign and addsign commands, end to end.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "sign_test_pki.h"

namespace orvel_test {
namespace {

class HostSign : public ::testing::Test {
 protected:
  void SetUp() override {
    write_file(dir_.file("orvel-ssf-server.cfg"), "[common]\nlog_dir = " + dir_.path() + "\n");
    setenv("DIR_LIBRARY", dir_.path().c_str(), 1);
    setenv("ORVEL_LIBRARY", library_path().c_str(), 1);
    root_ = std::make_unique<pki::Authority>(pki::Authority::root());
    write_file(dir_.file("ca.pem"), pki::to_pem(root_->cert()));
    alice_ = write_signer(dir_, *root_, "Alice Signer");
    bob_ = write_signer(dir_, *root_, "Bob Signer");
    write_file(dir_.file("doc.txt"), "host document\n");
    write_file(dir_.file("doc.p7"), wrap_data("host document\n"));
  }
  int host(const std::string& args, std::string* out) {
    return run_command("'" + ssfhost_path() + "' " + args, out);
  }
  std::string q(const std::string& s) { return "'" + s + "'"; }

  TempDir dir_;
  std::unique_ptr<pki::Authority> root_;
  SignerFiles alice_, bob_;
};

TEST_F(HostSign, SignThenAddSignVerifies) {
  std::string out;
  ASSERT_EQ(host("sign --format PKCS7 --hash SHA1 --inc-certs --in " + q(dir_.file("doc.p7")) +
                     " --out " + q(dir_.file("one.p7")) + " --signer " + q(alice_.subject_text) +
                     " --profile " + q(alice_.p12_aes) + " --password " + q(kKeyPassword),
                 &out),
            0)
      << out;
  EXPECT_NE(out.find("record 1: uResult = 0 (Signature is valid)"), std::string::npos);
  ASSERT_EQ(host("addsign --format CADES_BES --hash SHA1 --inc-certs --signed " +
                     q(dir_.file("one.p7")) + " --out " + q(dir_.file("two.p7")) + " --signer " +
                     q(bob_.sha1_id) + " --profile " + q(bob_.profile_pem()),
                 &out),
            0)
      << out;
  std::string log;
  EXPECT_TRUE(openssl_verifies(dir_, "cms", read_file(dir_.file("two.p7")), dir_.file("ca.pem"),
                               "host document\n", "", &log))
      << log;
}

TEST_F(HostSign, FailingSignersAreReported) {
  std::string out;
  EXPECT_NE(host("sign --format PKCS7 --hash SHA1 --in " + q(dir_.file("doc.p7")) + " --out " +
                     q(dir_.file("x.p7")) + " --signer " + q(alice_.subject_text) + " --profile " +
                     q(alice_.profile_pem()) + " --signer " + q(bob_.subject_text) + " --profile " +
                     q(bob_.p12_aes) + " --password wrong",
                 &out),
            0);
  EXPECT_NE(out.find("return code: 5"), std::string::npos) << out;
  EXPECT_NE(out.find("record 1: uResult = 0"), std::string::npos) << out;
  EXPECT_NE(out.find("record 2: uResult = 25 (Invalid password)"), std::string::npos) << out;
  EXPECT_NE(host("addsign --format PKCS7 --hash SHA1 --signed " + q(dir_.file("doc.p7")) +
                     " --out " + q(dir_.file("y.p7")) + " --signer a --profile b",
                 &out),
            0);
  EXPECT_NE(out.find("return code: 2"), std::string::npos) << out;
  // addsign takes one signer.
  EXPECT_EQ(host("addsign --format PKCS7 --hash SHA1 --signed " + q(dir_.file("doc.p7")) +
                     " --out " + q(dir_.file("y.p7")) + " --signer a --profile b --signer c",
                 &out),
            2);
}

}  // namespace
}  // namespace orvel_test
