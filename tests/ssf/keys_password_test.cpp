// Encrypted profile passwords: the blob layout proved with the GOST
// 28147-89 core (CFB with param-Z, MAC over IV and password), and
// DecryptPassword through the toolkit's GOST objects once they exist.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstring>
#include <string>
#include <vector>

#include "crl_test_env.h"
#include "gost28147.h"
#include "keys_test_env.h"
#include "password.h"

namespace orvel_test {
namespace {

// The fixed password key (cipher and MAC).
const std::vector<unsigned char> kKey =
    from_hex("5a1c9e37b04d82f6e913c5a7d02b6f48a7e31d9c64b0f25873ac1e9d40b7c26f");

struct Blob {
  const char* base64;
  const char* password;
};

// Blobs and passwords of the profile-password format.
const Blob kBlobs[] = {
    {"AQIDBAUGBwjQYz2wJk1XSnpE", "secret"},
    {"obLD1OX2BxjywpPJuv8ysXukic2iBT+BxIk=", "P@ssw0rd-12345"},
    {"obLD1OX2BxjR54PIqLtA1U3/5qw=", "secret"},
    {"AQIDBAUGBwhhuVow", ""},  // a MAC over the IV alone
};

std::vector<unsigned char> base64(const char* text) {
  std::vector<unsigned char> out(strlen(text));
  const int n = EVP_DecodeBlock(out.data(), reinterpret_cast<const unsigned char*>(text),
                                static_cast<int>(strlen(text)));
  size_t len = static_cast<size_t>(n);
  for (const char* p = text + strlen(text); p > text && p[-1] == '='; --p) --len;
  out.resize(len);
  return out;
}

TEST(PasswordBlob, LayoutProvedWithTheCryptoCore) {
  Gost28147ParamSet* z = nullptr;
  ASSERT_EQ(GOST28147_89_FindParByDottedOid("1.2.643.7.1.2.5.1.1", &z), 0);
  for (const Blob& b : kBlobs) {
    const std::vector<unsigned char> raw = base64(b.base64);
    ASSERT_GE(raw.size(), 12u);
    const uint32_t n = static_cast<uint32_t>(raw.size() - 12);
    std::vector<unsigned char> plain(n + 1, 0);
    Gost28147Context ctx;
    memset(&ctx, 0, sizeof ctx);
    ASSERT_EQ(GOST28147_89_Init(&ctx, 0, z->sbox, GOST28147_MODE_CFB, 0, z->key_meshing, 0,
                                raw.data(), kKey.data()),
              0);
    GostBuffer in{n, const_cast<uint8_t*>(raw.data() + 8)}, out{n, plain.data()};
    if (n > 0) {
      ASSERT_EQ(GOST28147_89_Update(&ctx, &in, &out), 0);
    }
    ASSERT_EQ(GOST28147_89_Final(&ctx), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(plain.data())), b.password) << b.base64;

    std::vector<unsigned char> mac_input(raw.begin(), raw.begin() + 8);
    mac_input.insert(mac_input.end(), plain.begin(), plain.begin() + strlen(b.password));
    memset(&ctx, 0, sizeof ctx);
    ASSERT_EQ(GOST28147_89_Init(&ctx, 1, z->sbox, GOST28147_MODE_IMITO, 0, z->key_meshing, 0,
                                nullptr, kKey.data()),
              0);
    GostBuffer m{static_cast<uint32_t>(mac_input.size()), mac_input.data()}, none{0, nullptr};
    ASSERT_EQ(GOST28147_89_Update(&ctx, &m, &none), 0);
    ASSERT_EQ(GOST28147_89_Final(&ctx), 0);
    EXPECT_EQ(memcmp(ctx.mac, raw.data() + raw.size() - 4, 4), 0) << b.base64;
  }
}

bool have_gost_cipher() { return EVP_get_cipherbyname("gost89") != nullptr; }

TEST(DecryptPassword, KnownBlobs) {
  StartedLibrary lib;  // start-up loads the GOST engine with the cipher and MAC
  ASSERT_TRUE(have_gost_cipher());
  for (const Blob& b : kBlobs) {
    orvel::SecretTextPtr p(DecryptPassword(b.base64));
    ASSERT_TRUE(p) << b.base64;
    EXPECT_STREQ(p.get(), b.password);
  }
  // One changed MAC byte.
  EXPECT_EQ(DecryptPassword("AQIDBAUGBwjQYz2wJk1XSnpF"), nullptr);
  EXPECT_TRUE(lib.logged("DecryptPassword() 3 : imito does not match"));
}

TEST(DecryptPassword, MalformedBlobsAreRefusedBeforeDecryption) {
  TraceLog log;
  EXPECT_EQ(DecryptPassword(nullptr), nullptr);
  EXPECT_EQ(DecryptPassword(""), nullptr);
  EXPECT_TRUE(
      log.contains("DecryptPassword() 1 : base64_decode() failed for a text of 0 "
                   "characters"));
  EXPECT_EQ(DecryptPassword("AQIDBAUGBwhh"), nullptr);  // 9 bytes
  EXPECT_TRUE(log.contains("DecryptPassword() : password len = -3"));
  // Plain passwords given where a blob belongs: only their length is written.
  EXPECT_EQ(DecryptPassword("GostP12-9912"), nullptr);
  EXPECT_TRUE(
      log.contains("DecryptPassword() 1 : base64_decode() failed for a text of 12 "
                   "characters"));
  EXPECT_EQ(DecryptPassword("P12RsaPw55"), nullptr);
  EXPECT_TRUE(
      log.contains("DecryptPassword() 2 : wrong password len from a text of 10 "
                   "characters"));
  EXPECT_FALSE(log.contains("GostP12-9912"));
  EXPECT_FALSE(log.contains("P12RsaPw55"));
  // A ciphertext over 1,023 bytes: refused, not decrypted into a fixed buffer.
  std::vector<unsigned char> big(8 + 1024 + 4, 0x41);
  std::string text(((big.size() + 2) / 3) * 4 + 1, '\0');
  EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()), big.data(),
                  static_cast<int>(big.size()));
  text.resize(strlen(text.c_str()));
  EXPECT_EQ(DecryptPassword(text.c_str()), nullptr);
  EXPECT_TRUE(log.contains("DecryptPassword() : password len = 1024"));
}

TEST(DecryptPassword, WithoutTheGostObjectsNothingIsDecrypted) {
  if (have_gost_cipher()) GTEST_SKIP() << "the GOST 28147-89 cipher is registered";
  TraceLog log;
  EXPECT_EQ(DecryptPassword("AQIDBAUGBwjQYz2wJk1XSnpE"), nullptr);
  EXPECT_TRUE(log.contains("DecryptPassword() : GOST 28147-89 cipher or MAC not available"));
}

}  // namespace
}  // namespace orvel_test
