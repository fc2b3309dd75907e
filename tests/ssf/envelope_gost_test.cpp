// Envelopes for GOST recipients (R 34.10-2001, 2012 with 256- and 512-bit
// keys, fixed certtool keys) through the key transport of the GOST key
// methods: each opens with its own key, not with another's; in mixed GOST
// and RSA recipient lists the RSA recipient's key is refused.
#include <gtest/gtest.h>

#include "envelope_test_env.h"

namespace orvel_test {
namespace {

class EnvelopeGost : public EnvelopeTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(EnvelopeGost, RoundTrip) {
  Recipient gost = gost_recipient(GetParam());
  ASSERT_TRUE(gost.cert);
  add_to_pab(gost, "gost.pem");
  Recipient rsa = write_rsa_recipient(host_.dir, ca(), "Rsa Recipient");
  add_to_pab(rsa, "rsa.pem");
  Recipient other = gost_recipient("gost12-256_TC26-256-B");

  const std::string document(5000, 'g');
  Outcome e = envelope({gost.sha1_id, rsa.sha1_id}, wrap(document));
  ASSERT_EQ(e.rc, 0) << host_.log();
  EXPECT_EQ(e.results, (std::vector<SsfInt>{0, 0}));
  Outcome d = develope(gost, e.output);
  ASSERT_EQ(d.rc, 0) << host_.log();
  EXPECT_EQ(unwrap(d.output), document);
  Outcome refused = develope(rsa, e.output);
  EXPECT_EQ(refused.rc, SSF_API_RECIPIENT_FAILED);
  EXPECT_EQ(refused.results[0], SSF_SIGNATURE_INVALID);
  // Another GOST key does not find its RecipientInfo.
  Outcome wrong = develope(other, e.output);
  EXPECT_EQ(wrong.rc, SSF_API_RECIPIENT_FAILED);
  EXPECT_EQ(wrong.results[0], SSF_SIGNATURE_INVALID);
}

INSTANTIATE_TEST_SUITE_P(Keys, EnvelopeGost,
                         ::testing::Values("gost01_CryptoPro-A", "gost12-256_CryptoPro-A",
                                           "gost12-256_CryptoPro-XchA", "gost12-512_TC26-512-A"));

}  // namespace
}  // namespace orvel_test
