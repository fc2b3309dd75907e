// GOST R 34.10-2001 keys sign with GOST R 34.11-94 until the cut-off of
// 1 January 2020, 00:00:00 local time, and are refused from that second on,
// for a new signature and for co-signing, and so are time-stamp tokens and
// OCSP answers of such keys made after it. The clock is the library's seam.
#include <gtest/gtest.h>
#include <openssl/pkcs7.h>

#include <ctime>

#include "codes.h"
#include "gost_pki.h"
#include "keys_test_env.h"
#include "ocsp_client.h"
#include "operations.h"
#include "settings.h"
#include "time_util.h"
#include "tsp_client.h"
#include "tsp_test_env.h"

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

// Time-stamp tokens and OCSP answers signed with GOST R 34.10-2001: taken
// up to the cut-off second, refused after it.
class GostCutoffServices : public GostCutoff {
 protected:
  void SetUp() override {
    GostCutoff::SetUp();
    g_now = time(nullptr);
    old_key_ = read_key(old_.key_pem);
    ASSERT_TRUE(old_key_);
  }
  static orvel::EvpPkeyPtr read_key(const std::string& pem) {
    orvel::BioPtr bio(BIO_new_file(pem.c_str(), "r"));
    return orvel::EvpPkeyPtr(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr)
                                 : nullptr);
  }
  static std::string gentime_text(time_t t) {
    orvel::Asn1TimePtr g(ASN1_GENERALIZEDTIME_set(nullptr, t));
    return std::string(reinterpret_cast<const char*>(ASN1_STRING_get0_data(g.get())),
                       static_cast<size_t>(ASN1_STRING_length(g.get())));
  }
  orvel::EvpPkeyPtr old_key_;
};

TEST_F(GostCutoffServices, Gost2001TokenAfterCutoffIsRefused) {
  const GostParty tsa = make_gost_party(
      keys_, "TSA 2001", "gost01", &root_, "CryptoPro-A",
      "add_critical_extension = \"2.5.29.37 0x300a06082b06010505070308\"\n");  // timeStamping
  orvel::EvpPkeyPtr key = read_key(tsa.key_pem);
  ASSERT_TRUE(key && tsa.cert);
  TsaChoices choices;
  choices.signer_md = EVP_get_digestbynid(NID_id_GostR3411_94);
  RecordingHttpServer server([&](const std::string& req) {
    return http_ok("application/timestamp-reply",
                   tsa_reply(http_body(req), tsa.cert.get(), key.get(), nullptr, nullptr, choices));
  });
  std::string url = server.url("/tsa");
  tsp_server = url.data();
  orvel::X509StorePtr store(X509_STORE_new());
  X509_STORE_add_cert(store.get(), root_.cert.get());
  const unsigned char data[] = "signature value";
  const time_t cutoff = get_gost2001_exp_time();
  for (const auto& [at, code] : {std::pair<time_t, int>{cutoff, 0}, {cutoff + 1, -1}}) {
    choices.sec = at;
    ASN1_OCTET_STRING* token = nullptr;
    EXPECT_EQ(make_time_stamp(TS_KIND_ESC, &token, data, sizeof data, EVP_sha256(), store.get(),
                              nullptr, nullptr),
              code)
        << lib_.log();
    ASN1_OCTET_STRING_free(token);
  }
  tsp_server = nullptr;
  EXPECT_TRUE(lib_.logged("make_time_stamp() 7.1 : Gost R 34.10-2001 not allowed"));
}

TEST_F(GostCutoffServices, Gost2001OcspAnswerAfterCutoffIsRefused) {
  orvel::OcspBasicRespPtr bs(OCSP_BASICRESP_new());
  OCSP_CERTID* id = OCSP_cert_to_id(EVP_sha1(), modern_.cert.get(), root_.cert.get());
  orvel::Asn1TimePtr now(X509_gmtime_adj(nullptr, 0));
  ASSERT_NE(OCSP_basic_add1_status(bs.get(), id, V_OCSP_CERTSTATUS_GOOD, 0, nullptr, now.get(),
                                   nullptr),
            nullptr);
  OCSP_CERTID_free(id);
  ASSERT_EQ(OCSP_basic_sign(bs.get(), old_.cert.get(), old_key_.get(),
                            EVP_get_digestbynid(NID_id_GostR3411_94), nullptr, 0),
            1);
  const X509_ALGOR* alg = OCSP_resp_get0_tbs_sigalg(bs.get());
  ASSERT_EQ(OBJ_obj2nid(alg->algorithm), NID_id_GostR3411_94_with_GostR3410_2001);
  unsigned char* der = nullptr;
  const int len = i2d_OCSP_BASICRESP(bs.get(), &der);
  ASSERT_GT(len, 0);
  const std::string signed_der(reinterpret_cast<char*>(der), static_cast<size_t>(len));
  OPENSSL_free(der);
  // producedAt is the first GeneralizedTime of the answer; the check
  // precedes the signature's.
  const size_t at = signed_der.find(std::string("\x18\x0f", 2));
  ASSERT_NE(at, std::string::npos);
  const time_t cutoff = get_gost2001_exp_time();
  for (const auto& [produced, taken] : {std::pair<time_t, bool>{cutoff, true}, {cutoff + 1, false}}) {
    std::string edited = signed_der;
    edited.replace(at + 2, 15, gentime_text(produced));
    const unsigned char* p = reinterpret_cast<const unsigned char*>(edited.data());
    orvel::OcspBasicRespPtr basic(d2i_OCSP_BASICRESP(nullptr, &p, static_cast<long>(edited.size())));
    ASSERT_TRUE(basic);
    std::unique_ptr<OCSP_RESPONSE, orvel::Free<OCSP_RESPONSE, OCSP_RESPONSE_free>> resp(
        OCSP_response_create(OCSP_RESPONSE_STATUS_SUCCESSFUL, basic.get()));
    OCSP_BASICRESP* out = nullptr;
    const ASN1_GENERALIZEDTIME* produced_at = nullptr;
    EXPECT_EQ(get_SINGLE_RESP(resp.get(), &out, &produced_at) != nullptr, taken);
    OCSP_BASICRESP_free(out);
  }
  EXPECT_TRUE(lib_.logged("get_SINGLE_RESP() 1.1 : Gost R 34.10-2001 not allowed"));
}

}  // namespace
}  // namespace orvel_test
