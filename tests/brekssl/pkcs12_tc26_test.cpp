// The TC26 MAC of GOST PKCS#12 files: against libgcrypt (PBKDF2 and HMAC) on
// stock digests, on files GnuTLS certtool made with GOST R 34.11-2012 MACs
// (through a libgcrypt-backed stand-in for the engine's Streebog digests),
// and through the toolkit's digest once the "gost" engine provides it.
#include <gcrypt.h>
#include <gtest/gtest.h>
#include <openssl/err.h>

#include "objects/engine_loader.h"
#include "objects/ssf_objects.h"
#include "pkcs12/pkcs12_kdf.h"
#include "pkcs12/pkcs12_mac.h"
#include "pkcs12_test_util.h"

using namespace p12_test;

namespace {

Bytes tc26_mac(PKCS12* p12, const char* pass, int passlen) {
  unsigned char mac[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  if (SSF_PKCS12_gen_mac_tc26_v1(p12, pass, passlen, mac, &len) != 1) return {};
  return Bytes(mac, mac + len);
}

TEST(Pkcs12Tc26, StockDigestsAgainstLibgcrypt) {
  struct {
    const EVP_MD* md;
    int gcry;
  } cases[] = {
      {EVP_sha256(), GCRY_MD_SHA256}, {EVP_sha512(), GCRY_MD_SHA512}, {EVP_sha1(), GCRY_MD_SHA1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(EVP_MD_get0_name(c.md));
    orvel::Pkcs12Ptr p12 = load_p12("aes_sha256.p12");
    ASSERT_TRUE(p12);
    ASSERT_EQ(SSF_PKCS12_setup_mac(p12.get(), 777, nullptr, 0, c.md), 1);
    Bytes expected = gcry_tc26_mac(c.gcry, to_bytes(kGostPass), stored_salt(p12.get()), 777,
                                   authsafe_content(p12.get()));
    EXPECT_EQ(tc26_mac(p12.get(), kGostPass, -1), expected);
    // The password bytes go in unchanged, no BMPString.
    EXPECT_EQ(tc26_mac(p12.get(), kGostPass, static_cast<int>(sizeof(kGostPass) - 1)), expected);
    // No password and an empty one are the same bytes here.
    Bytes empty =
        gcry_tc26_mac(c.gcry, {}, stored_salt(p12.get()), 777, authsafe_content(p12.get()));
    EXPECT_EQ(tc26_mac(p12.get(), nullptr, 0), empty);
    EXPECT_EQ(tc26_mac(p12.get(), "", 0), empty);
  }
}

TEST(Pkcs12Tc26, Pbkdf2AgainstLibgcrypt) {
  const Bytes pass = to_bytes("password"), salt = to_bytes("saltSALTsaltSALT");
  for (size_t n : {1u, 20u, 32u, 33u, 96u, 200u}) {
    for (int iter : {1, 2, 1000}) {
      SCOPED_TRACE(std::to_string(n) + " bytes, " + std::to_string(iter) + " iterations");
      Bytes ours(n);
      ASSERT_TRUE(ssf_pbkdf2_hmac(EVP_sha256(), pass.data(), pass.size(), salt.data(), salt.size(),
                                  iter, ours.data(), n));
      EXPECT_EQ(ours, gcry_pbkdf2(GCRY_MD_SHA256, pass, salt, static_cast<unsigned long>(iter), n));
    }
  }
  Bytes out(8);
  EXPECT_FALSE(ssf_pbkdf2_hmac(EVP_sha256(), pass.data(), pass.size(), salt.data(), salt.size(), 0,
                               out.data(), out.size()));
  EXPECT_FALSE(ssf_pbkdf2_hmac(nullptr, pass.data(), pass.size(), salt.data(), salt.size(), 1,
                               out.data(), out.size()));
}

TEST(Pkcs12Tc26, CerttoolStreebog256FileAgainstLibgcrypt) {
  // Independent of the system's code: the MAC field of the GnuTLS file is the
  // TC26 MAC over its authSafe.
  orvel::Pkcs12Ptr p12 = load_p12("gost_streebog256.p12");
  ASSERT_TRUE(p12);
  Bytes expected = gcry_tc26_mac(GCRY_MD_STRIBOG256, to_bytes(kGostPass), stored_salt(p12.get()),
                                 static_cast<unsigned long>(stored_iter(p12.get())),
                                 authsafe_content(p12.get()));
  EXPECT_EQ(stored_mac(p12.get()), expected);
}

TEST(Pkcs12Tc26, CerttoolFilesVerifyWithTheEngineStyleDigest) {
  for (int bits : {256, 512}) {
    SCOPED_TRACE(bits);
    ASSERT_NE(standin_streebog(bits), nullptr);
    orvel::Pkcs12Ptr p12 = load_p12(bits == 256 ? "gost_streebog256.p12" : "gost_streebog512.p12");
    ASSERT_TRUE(p12);
    EXPECT_EQ(tc26_mac(p12.get(), kGostPass, -1), stored_mac(p12.get()));
    EXPECT_EQ(SSF_PKCS12_verify_mac(p12.get(), kGostPass, -1), 1);
  }
}

TEST(Pkcs12Tc26, WrongPasswordFailsBothSchemes) {
  ASSERT_NE(standin_streebog(256), nullptr);
  orvel::Pkcs12Ptr p12 = load_p12("gost_streebog256.p12");
  ASSERT_TRUE(p12);
  ERR_clear_error();
  EXPECT_EQ(SSF_PKCS12_verify_mac(p12.get(), "пароль-gost", -1), 0);
  // A mismatch is no error.
  EXPECT_EQ(ERR_peek_error(), 0u);
}

TEST(Pkcs12Tc26, ClassicGostMacStillVerifies) {
  const EVP_MD* md = standin_streebog(256);
  ASSERT_NE(md, nullptr);
  orvel::Pkcs12Ptr p12 = load_p12("aes_sha256.p12");
  ASSERT_TRUE(p12);
  ASSERT_EQ(SSF_PKCS12_setup_mac(p12.get(), 100, nullptr, 8, md), 1);
  unsigned char mac[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  ASSERT_EQ(SSF_PKCS12_gen_mac(p12.get(), kGostPass, -1, mac, &len), 1);
  Bytes classic(mac, mac + len);
  EXPECT_NE(classic, tc26_mac(p12.get(), kGostPass, -1));
  store_mac(p12.get(), classic);
  EXPECT_EQ(SSF_PKCS12_verify_mac(p12.get(), kGostPass, -1), 1);
  EXPECT_EQ(SSF_PKCS12_verify_mac(p12.get(), "other", -1), 0);
}

TEST(Pkcs12Tc26, SetMacWithGostDigestWritesTheTc26Mac) {
  for (int bits : {256, 512}) {
    SCOPED_TRACE(bits);
    const EVP_MD* md = standin_streebog(bits);
    orvel::Pkcs12Ptr p12 = load_p12("aes_sha256.p12");
    ASSERT_TRUE(p12);
    ASSERT_EQ(SSF_PKCS12_set_mac(p12.get(), kGostPass, -1, nullptr, 0, 500, md), 1);
    EXPECT_EQ(stored_salt(p12.get()).size(), 32u);
    Bytes expected =
        gcry_tc26_mac(bits == 256 ? GCRY_MD_STRIBOG256 : GCRY_MD_STRIBOG512, to_bytes(kGostPass),
                      stored_salt(p12.get()), 500, authsafe_content(p12.get()));
    EXPECT_EQ(stored_mac(p12.get()), expected);
    EXPECT_EQ(SSF_PKCS12_verify_mac(p12.get(), kGostPass, -1), 1);
  }
}

TEST(Pkcs12Tc26, FailingHmacIsReportedAsFailure) {
  const EVP_MD* md = standin_streebog(256);
  orvel::Pkcs12Ptr p12 = load_p12("aes_sha256.p12");
  ASSERT_TRUE(p12);
  ASSERT_EQ(SSF_PKCS12_setup_mac(p12.get(), 10, nullptr, 8, md), 1);
  // The key derivation feeds the digest short pieces only; the HMAC over the
  // authSafe feeds it one long piece, which now fails.
  ASSERT_GT(authsafe_content(p12.get()).size(), 200u);
  standin_fail_updates_longer_than(200);
  ERR_clear_error();
  unsigned char mac[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  EXPECT_EQ(SSF_PKCS12_gen_mac_tc26_v1(p12.get(), kGostPass, -1, mac, &len), 0);
  EXPECT_TRUE(error_queue_has(ERR_LIB_PKCS12, PKCS12_R_MAC_GENERATION_ERROR));
  EXPECT_EQ(SSF_PKCS12_gen_mac(p12.get(), kGostPass, -1, mac, &len), 0);
  EXPECT_EQ(SSF_PKCS12_verify_mac(p12.get(), kGostPass, -1), 0);
  EXPECT_EQ(SSF_PKCS12_set_mac(p12.get(), kGostPass, -1, nullptr, 0, 1, md), 0);
  standin_fail_updates_longer_than(0);
  ERR_clear_error();
}

TEST(Pkcs12Tc26, CerttoolFileWithTheToolkitsDigest) {
  ssf_load_builtin_engines();
  if (EVP_get_digestbyname("md_gost12_256") == nullptr)
    GTEST_SKIP() << "no GOST R 34.11-2012 digest in the toolkit yet";
  orvel::Pkcs12Ptr p12 = load_p12("gost_streebog256.p12");
  ASSERT_TRUE(p12);
  EXPECT_EQ(SSF_PKCS12_verify_mac(p12.get(), kGostPass, -1), 1);
  EXPECT_EQ(SSF_PKCS12_verify_mac(p12.get(), "wrong", -1), 0);
}

}  // namespace
