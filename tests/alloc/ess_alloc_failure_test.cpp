// Every allocation of the builders fails once in turn: each builder then
// reports failure, leaves the signer info as it was, and frees everything it
// made (the sanitizer build's leak check holds it to that). The binary has
// a main of its own: the toolkit takes other memory functions only before
// its first allocation in the process.
#include <gtest/gtest.h>
#include <openssl/crypto.h>
#include <openssl/err.h>

#include <cstdlib>

#include "pkcs7/ess_attributes.h"
#include "pkcs7/ess_types.h"
#include "test_pki.h"

namespace {

long g_countdown = -1;  // allocations left before the one that fails; -1: never
bool g_failed = false;

bool should_fail() {
  if (g_countdown < 0) return false;
  if (g_countdown-- == 0) {
    g_failed = true;
    return true;
  }
  return false;
}

void* test_malloc(size_t n, const char*, int) { return should_fail() ? nullptr : malloc(n); }
void* test_realloc(void* p, size_t n, const char*, int) {
  return should_fail() ? nullptr : realloc(p, n);
}
void test_free(void* p, const char*, int) { free(p); }

bool g_installed = false;  // main installed the functions above

class EssAllocFailure : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(g_installed) << "toolkit allocated before main installed its memory functions";
    key = orvel_test::make_rsa_key(1024);
    cert = orvel_test::make_cert(key.get(), "Allocation", 77);
  }

  // Runs op with the n-th allocation failing, for n = 0, 1, ... until op
  // runs through without hitting a failure. op returns whether it succeeded.
  template <typename Op>
  void each_failure(Op op) {
    int failures = 0;
    for (long n = 0; n < 100000; ++n) {
      g_failed = false;
      g_countdown = n;
      bool ok = op();
      g_countdown = -1;
      ERR_clear_error();
      if (!g_failed) {
        EXPECT_TRUE(ok);
        EXPECT_GT(failures, 0);
        return;
      }
      ++failures;
    }
    ADD_FAILURE() << "operation never completed";
  }

  orvel::EvpPkeyPtr key;
  orvel::X509Ptr cert;
};

}  // namespace

TEST_F(EssAllocFailure, MakeBuilders) {
  each_failure([&] {
    orvel::OtherCertIdPtr v(PKCS7_make_other_cert_id(cert.get(), EVP_sha256()));
    return v != nullptr;
  });
  each_failure([&] {
    orvel::OtherSigCertPtr v(PKCS7_make_otherSigCert_attribute(cert.get(), EVP_sha256()));
    return v != nullptr;
  });
  each_failure([&] {
    orvel::EssCertIdV2Ptr v(PKCS7_make_SigCertV2_attribute(cert.get(), EVP_sha512()));
    return v != nullptr;
  });
}

TEST_F(EssAllocFailure, AddBuilders) {
  for (bool with_list : {false, true}) {
    each_failure([&] {
      PKCS7_SIGNER_INFO* si = PKCS7_SIGNER_INFO_new();
      if (si == nullptr) return false;
      bool ok = true;
      if (with_list) {
        // The set-up itself does not fail.
        long armed = g_countdown;
        g_countdown = -1;
        ok = PKCS7_add_otherSigCert_attribute(si, cert.get(), EVP_sha256()) == 1;
        g_countdown = armed;
      }
      int before = si->auth_attr ? sk_X509_ATTRIBUTE_num(si->auth_attr) : -1;
      bool added = PKCS7_add_ESSSigningCertV2_attribute(si, cert.get(), EVP_sha256()) == 1;
      int after = si->auth_attr ? sk_X509_ATTRIBUTE_num(si->auth_attr) : -1;
      EXPECT_EQ(after, added ? (before < 0 ? 1 : before + 1) : before);
      PKCS7_SIGNER_INFO_free(si);
      return ok && added;
    });
  }
  each_failure([&] {
    PKCS7_SIGNER_INFO* si = PKCS7_SIGNER_INFO_new();
    if (si == nullptr) return false;
    bool added = PKCS7_add_otherSigCert_attribute(si, cert.get(), EVP_sha256()) == 1;
    int after = si->auth_attr ? sk_X509_ATTRIBUTE_num(si->auth_attr) : 0;
    EXPECT_EQ(after, added ? 1 : 0);
    PKCS7_SIGNER_INFO_free(si);
    return added;
  });
}

int main(int argc, char** argv) {
  g_installed = CRYPTO_set_mem_functions(test_malloc, test_realloc, test_free) == 1;
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
