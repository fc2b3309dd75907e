// The stand-in host's envelope and develope commands, end to end.
#include <gtest/gtest.h>

#include <cstdlib>

#include "envelope_test_env.h"

namespace orvel_test {
namespace {

class HostEnvelope : public EnvelopeTest {
 protected:
  int host(const std::string& args, std::string* out) {
    setenv("ORVEL_LIBRARY", library_path().c_str(), 1);
    return run_command("'" + ssfhost_path() + "' " + args, out);
  }
  static std::string q(const std::string& s) { return "'" + s + "'"; }
};

TEST_F(HostEnvelope, EnvelopeThenDevelope) {
  Recipient alice = write_rsa_recipient(host_.dir, ca(), "Alice Recipient");
  Recipient gost = gost_recipient("gost12-512_TC26-512-A");
  add_to_pab(alice, "alice.pem");
  add_to_pab(gost, "gost.pem");
  write_file(host_.dir.file("doc.p7"), wrap(kDocument));
  std::string out;
  ASSERT_EQ(host("envelope --format PKCS7 --in " + q(host_.dir.file("doc.p7")) + " --out " +
                     q(host_.dir.file("env.p7")) + " --pab " + q(pab_) + " --signer " +
                     q(alice.sha1_id) + " --signer " + q(gost.sha1_id),
                 &out),
            0)
      << out;
  EXPECT_NE(out.find("record 2: uResult = 0"), std::string::npos) << out;
  ASSERT_EQ(host("develope --format PKCS7 --in " + q(host_.dir.file("env.p7")) + " --out " +
                     q(host_.dir.file("plain.p7")) + " --signer " + q(gost.subject_text) +
                     " --profile " + q(gost.profile()),
                 &out),
            0)
      << out;
  EXPECT_EQ(unwrap(read_file(host_.dir.file("plain.p7"))), kDocument);
  // An unknown cipher name is the frame's refusal; develope takes one record.
  EXPECT_NE(
      host("envelope --format PKCS7 --cipher AES --in " + q(host_.dir.file("doc.p7")) + " --out " +
               q(host_.dir.file("x.p7")) + " --pab " + q(pab_) + " --signer " + q(alice.sha1_id),
           &out),
      0);
  EXPECT_NE(out.find("return code: 14"), std::string::npos) << out;
  EXPECT_EQ(host("develope --format PKCS7 --in " + q(host_.dir.file("env.p7")) + " --out " +
                     q(host_.dir.file("y.p7")) + " --signer a --profile b --signer c",
                 &out),
            2);
}

}  // namespace
}  // namespace orvel_test
