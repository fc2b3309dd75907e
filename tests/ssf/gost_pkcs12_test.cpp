// GOST PKCS#12 files made by GnuTLS's certtool (GOST 28147-89 TC26-Z under
// PBES2 with HMAC-Streebog, Streebog-256 MAC) as signing profiles: the key
// opens, the signature verifies with certtool; a wrong password is refused.
#include <gtest/gtest.h>

#include "gost_pki.h"
#include "sign_records.h"

namespace orvel_test {
namespace {

const std::string kDoc = "Signed with a key from a GOST PKCS#12 file.\n";
const std::string kP12Password = "P12 pass-Word";

class GostPkcs12 : public ::testing::TestWithParam<const char*> {
 protected:
  // A signer issued by a GOST root, written as a GOST PKCS#12 file.
  void make(const char* key_type) {
    root_ = make_gost_party(keys_, "GOST Root CA", "gost12-256", nullptr);
    signer_ = make_gost_party(keys_, "P12 Signer", key_type, &root_);
    p12_ = keys_.file("signer.p12");
    sh("certtool --to-p12 --load-privkey '" + signer_.key_pem + "' --load-certificate '" +
       signer_.cert_pem + "' --pkcs-cipher gost28147-tc26z --hash streebog-256 --password '" +
       kP12Password + "' --p12-name signer --outder --outfile '" + p12_ + "' 2>&1");
  }

  Host host_;
  TempDir keys_;
  GostParty root_, signer_;
  std::string p12_;
};

TEST_P(GostPkcs12, KeyOpensAndSignatureVerifiesWithCerttool) {
  make(GetParam());
  Records r(host_);
  r.add(signer_.sha1_id, p12_, kP12Password);
  Output out(host_);
  host_.mark();
  ASSERT_EQ(host_sign(host_, "PKCS7", wrap_data(kDoc), r, &out), 0) << host_.since_mark();
  EXPECT_EQ(r.result(0), 0);
  std::string log;
  EXPECT_TRUE(certtool_verifies(keys_, GetParam(), out.str(), root_.cert_pem, "", &log)) << log;
}

INSTANTIATE_TEST_SUITE_P(KeySizes, GostPkcs12, ::testing::Values("gost12-256", "gost12-512"),
                         [](const ::testing::TestParamInfo<const char*>& pi) {
                           return std::string(pi.param[7] == '2' ? "Key256" : "Key512");
                         });

TEST_F(GostPkcs12, WrongPasswordIsRefused) {
  make("gost12-256");
  Records r(host_);
  r.add(signer_.sha1_id, p12_, "not the password");
  Output out(host_);
  EXPECT_EQ(host_sign(host_, "PKCS7", wrap_data(kDoc), r, &out), SSF_API_SIGNER_FAILED);
  EXPECT_EQ(out.data, nullptr);
  EXPECT_EQ(r.result(0), 25);
}

}  // namespace
}  // namespace orvel_test
