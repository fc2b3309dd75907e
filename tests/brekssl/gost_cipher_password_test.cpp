// Profile-password decryption of the SSF core through the engine's GOST
// 28147-89 cipher and MAC objects (CFB and MAC with param-Z, the set chosen
// by control 0x1001 on an unkeyed context, the key given afterwards).
#include <gtest/gtest.h>

#include "gost_engine_test_util.h"
#include "password.h"

namespace {

struct Blob {
  const char* base64;
  const char* password;
};

// Blobs of the profile-password format, laid out with the crypto core.
const Blob kBlobs[] = {
    {"AQIDBAUGBwjQYz2wJk1XSnpE", "secret"},
    {"obLD1OX2BxjywpPJuv8ysXukic2iBT+BxIk=", "P@ssw0rd-12345"},
    {"obLD1OX2BxjR54PIqLtA1U3/5qw=", "secret"},
    {"AQIDBAUGBwhhuVow", ""},  // a MAC over the IV alone
};

}  // namespace

TEST(GostCipherPassword, ProfilePasswordsDecrypt) {
  gost_engine_test::load_engines();
  for (const Blob& b : kBlobs) {
    orvel::SecretTextPtr p(DecryptPassword(b.base64));
    ASSERT_TRUE(p) << b.base64;
    EXPECT_STREQ(p.get(), b.password);
  }
  // One changed MAC byte, one changed ciphertext byte.
  EXPECT_EQ(DecryptPassword("AQIDBAUGBwjQYz2wJk1XSnpF"), nullptr);
  EXPECT_EQ(DecryptPassword("AQIDBAUGBwjRYz2wJk1XSnpE"), nullptr);
}
