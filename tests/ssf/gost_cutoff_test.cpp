// GOST R 34.10-2001 keys sign with GOST R 34.11-94 until the cut-off of
// 1 January 2020, 00:00:00 local time, and are refused from that second on,
// for a new signature and for co-signing. The clock is the library's seam.
#include <gtest/gtest.h>
#include <openssl/pkcs7.h>

#include <ctime>

#include "codes.h"
#include "gost_pki.h"
#include "keys_test_env.h"
#include "operations.h"
#include "time_util.h"

namespace orvel_test {
namespace {

time_t g_now = 0;
time_t test_clock() { return g_now; }

time_t local_time_of(int year, int mon, int day, int hour, int min, int sec) {
  struct tm t = {};
  t.tm_year = year - 1900;
  t.tm_mon = mon - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = min;
  t.tm_sec = sec;
  t.tm_isdst = -1;
  return mktime(&t);
}

class GostCutoff : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = make_gost_party(keys_, "GOST Root CA", "gost12-256", nullptr);
    old_ = make_gost_party(keys_, "Signer 2001", "gost01", &root_, "CryptoPro-A");
    modern_ = make_gost_party(keys_, "Signer 2012", "gost12-256", &root_);
    ssf_set_clock(test_clock);
  }
  void TearDown() override { ssf_set_clock(nullptr); }

  // ssf_sign_data of the document by one party; the output (if any) in sig.
  int sign(const GostParty& who, std::string* sig, int* result) {
    TestRecord rec(who.subject_text, who.profile());
    SigRcpSsfInformationListElement el{nullptr, rec.get()};
    const std::string in = wrap_data("document of 2019");
    SsfDataBlob input{static_cast<SsfInt>(in.size()),
                      reinterpret_cast<unsigned char*>(const_cast<char*>(in.data()))};
    SsfDataBlob out{};
    const int rc = ssf_sign_data(&out, &input, 1, 0, &el, SIG_TYPE_PKCS7);
    *result = rec.result();
    sig->assign(reinterpret_cast<const char*>(out.pbData),
                out.pbData ? static_cast<size_t>(out.cbData) : 0);
    OPENSSL_free(out.pbData);
    return rc;
  }

  int add_sign(const GostParty& who, const std::string& signed_data, std::string* sig,
               int* result) {
    TestRecord rec(who.subject_text, who.profile());
    SsfDataBlob in{static_cast<SsfInt>(signed_data.size()),
                   reinterpret_cast<unsigned char*>(const_cast<char*>(signed_data.data()))};
    SsfDataBlob out{};
    const int rc = add_sign_data(&out, &in, nullptr, 1, rec.get(), SIG_TYPE_PKCS7);
    *result = rec.result();
    sig->assign(reinterpret_cast<const char*>(out.pbData),
                out.pbData ? static_cast<size_t>(out.cbData) : 0);
    OPENSSL_free(out.pbData);
    return rc;
  }

  StartedLibrary lib_;
  TempDir keys_;
  GostParty root_, old_, modern_;
};

TEST_F(GostCutoff, LastSecondBeforeCutoffSignsWithGost94) {
  g_now = local_time_of(2019, 12, 31, 23, 59, 59);
  ASSERT_EQ(gost2001_expired(), 0);
  std::string sig;
  int result = -1;
  ASSERT_EQ(sign(old_, &sig, &result), 0) << lib_.log();
  EXPECT_EQ(result, 0);
  auto p7 = parse_p7(sig);
  ASSERT_TRUE(p7);
  auto* si = sk_PKCS7_SIGNER_INFO_value(PKCS7_get_signer_info(p7.get()), 0);
  char oid[64] = {};
  OBJ_obj2txt(oid, sizeof oid, si->digest_alg->algorithm, 1);
  EXPECT_STREQ(oid, "1.2.643.2.2.9");  // GOST R 34.11-94
  std::string log;
  EXPECT_TRUE(certtool_verifies(keys_, "gost01", sig, root_.cert_pem, "", &log)) << log;
}

TEST_F(GostCutoff, FromCutoffOnNewSignatureIsRefused) {
  g_now = local_time_of(2020, 1, 1, 0, 0, 0);
  ASSERT_EQ(gost2001_expired(), 1);
  std::string sig;
  int result = -1;
  EXPECT_EQ(sign(old_, &sig, &result), SSF_API_SIGNER_FAILED);
  EXPECT_EQ(result, SSF_SIGNATURE_INVALID);
  EXPECT_TRUE(sig.empty());
  EXPECT_TRUE(lib_.logged("ssf_sign_data() 9 : GOST R 34.11-2001 not allowed"));
  // A GOST R 34.10-2012 key is not touched by the cut-off.
  EXPECT_EQ(sign(modern_, &sig, &result), 0);
  EXPECT_EQ(result, 0);
}

TEST_F(GostCutoff, FromCutoffOnCoSigningIsRefused) {
  g_now = local_time_of(2021, 3, 1, 12, 0, 0);
  std::string first, out;
  int result = -1;
  ASSERT_EQ(sign(modern_, &first, &result), 0);
  EXPECT_EQ(add_sign(old_, first, &out, &result), SSF_API_SIGNER_FAILED);
  EXPECT_EQ(result, SSF_SIGNATURE_INVALID);
  EXPECT_TRUE(out.empty());
  EXPECT_TRUE(lib_.logged("add_sign_data() 9 : GOST R 34.11-2001 not allowed"));
  // Before the cut-off the same co-signature is made.
  g_now = local_time_of(2019, 6, 1, 12, 0, 0);
  ASSERT_EQ(add_sign(old_, first, &out, &result), 0) << lib_.log();
  EXPECT_EQ(result, 0);
  auto p7 = parse_p7(out);
  ASSERT_TRUE(p7);
  EXPECT_EQ(sk_PKCS7_SIGNER_INFO_num(PKCS7_get_signer_info(p7.get())), 2);
}

}  // namespace
}  // namespace orvel_test
