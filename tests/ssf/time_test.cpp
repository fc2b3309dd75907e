// ASN.1 times to calendar seconds, the time texts and the GOST R 34.10-2001
// cut-off, in UTC, Moscow time and a zone with daylight-saving time.
#include <gtest/gtest.h>
#include <openssl/asn1.h>
#include <openssl/objects.h>
#include <openssl/pkcs7.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "log.h"
#include "ossl_ptr.h"
#include "test_util.h"
#include "time_util.h"

namespace {

void use_zone(const char* tz) {
  setenv("TZ", tz, 1);
  tzset();
}

orvel::Asn1TimePtr utc(const char* text) {
  orvel::Asn1TimePtr t(ASN1_UTCTIME_new());
  EXPECT_EQ(ASN1_UTCTIME_set_string(t.get(), text), 1) << text;
  return t;
}

orvel::Asn1TimePtr gen(const char* text) {
  orvel::Asn1TimePtr t(ASN1_GENERALIZEDTIME_new());
  EXPECT_EQ(ASN1_GENERALIZEDTIME_set_string(t.get(), text), 1) << text;
  return t;
}

// A time string of the given type without the toolkit's syntax check.
orvel::Asn1TimePtr raw(int type, const char* text) {
  orvel::Asn1TimePtr t(ASN1_STRING_type_new(type));
  ASN1_STRING_set(t.get(), text, -1);
  return t;
}

time_t g_fake_now = 0;
time_t fake_clock() { return g_fake_now; }

class TimeZones : public testing::TestWithParam<const char*> {
 protected:
  void SetUp() override { use_zone(GetParam()); }
};

}  // namespace

TEST_P(TimeZones, UtcTimeYearsAndOffsets) {
  EXPECT_EQ(SSF_ASN1_UTCTIME_get(utc("491231235959Z").get()), 2524607999);
  EXPECT_EQ(SSF_ASN1_UTCTIME_get(utc("500101000000Z").get()), -631152000);
  // Summer and winter dates give their true UTC instant in every zone.
  EXPECT_EQ(SSF_ASN1_UTCTIME_get(utc("190715120000Z").get()), 1563192000);
  EXPECT_EQ(SSF_ASN1_UTCTIME_get(utc("190115120000Z").get()), 1547553600);
  // +0300 is three hours ahead: the same instant as three hours earlier Z.
  auto with_offset = raw(V_ASN1_UTCTIME, "190715150000+0300");
  EXPECT_EQ(SSF_ASN1_UTCTIME_get(with_offset.get()), 1563192000);
  auto negative = raw(V_ASN1_UTCTIME, "190715090000-0300");
  EXPECT_EQ(SSF_ASN1_UTCTIME_get(negative.get()), 1563192000);
  EXPECT_EQ(ASN1_TIME_to_time_t(utc("190715120000Z").get()), 1563192000);
}

TEST_P(TimeZones, GeneralizedTime) {
  EXPECT_EQ(ASN1_GENERALIZEDTIME_to_time_t(gen("20190715120000Z").get()), 1563192000);
  auto fraction = raw(V_ASN1_GENERALIZEDTIME, "20190715120000.123Z");
  EXPECT_EQ(ASN1_GENERALIZEDTIME_to_time_t(fraction.get()), 1563192000);
  // An offset is honoured, not ignored.
  auto offset = raw(V_ASN1_GENERALIZEDTIME, "20190715150000+0300");
  EXPECT_EQ(ASN1_GENERALIZEDTIME_to_time_t(offset.get()), 1563192000);
  EXPECT_EQ(ASN1_TIME_to_time_t(gen("20500101000000Z").get()), 2524608000);
  // Other types give 0.
  orvel::Asn1OctetStringPtr os(ASN1_OCTET_STRING_new());
  EXPECT_EQ(ASN1_TIME_to_time_t(reinterpret_cast<ASN1_TIME*>(os.get())), 0);
  EXPECT_EQ(ASN1_TIME_to_time_t(nullptr), 0);
}

INSTANTIATE_TEST_SUITE_P(Zones, TimeZones,
                         testing::Values("UTC", "Europe/Moscow", "Europe/Berlin"));

TEST(Time, MalformedTimesAreRefusedNotOverread) {
  use_zone("UTC");
  orvel_test::TempDir dir;
  ASSERT_EQ(set_log(dir.file("t.log").c_str(), "Orvel-SSF", 0), 0);
  for (const char* bad : {"", "4912", "49123123595", "491231235959", "491331235959Z",
                          "49123123595aZ", "491231235959+03", "491231235959Zjunk"}) {
    auto t = raw(V_ASN1_UTCTIME, bad);
    EXPECT_EQ(SSF_ASN1_UTCTIME_get(t.get()), 0) << bad;
  }
  for (const char* bad : {"2019", "201907151200", "20190715120000+3", "20191315120000Z"}) {
    auto t = raw(V_ASN1_GENERALIZEDTIME, bad);
    EXPECT_EQ(ASN1_GENERALIZEDTIME_to_time_t(t.get()), 0) << bad;
  }
  // The wrong type for the function is refused too.
  EXPECT_EQ(SSF_ASN1_UTCTIME_get(gen("20190715120000Z").get()), 0);
  EXPECT_NE(
      orvel_test::read_file(dir.file("t.log")).find("SSF_ASN1_UTCTIME_get() : malformed UTCTime"),
      std::string::npos);
}

TEST(Time, LocalOffsetNow) {
  ssf_set_clock(fake_clock);
  g_fake_now = 1563192000;  // July 2019
  use_zone("UTC");
  EXPECT_EQ(SSF_UTC_to_local(), 0);
  use_zone("Europe/Moscow");
  EXPECT_EQ(SSF_UTC_to_local(), 10800);
  use_zone("Europe/Berlin");
  EXPECT_EQ(SSF_UTC_to_local(), 7200);
  g_fake_now = 1547553600;  // January 2019
  EXPECT_EQ(SSF_UTC_to_local(), 3600);
  ssf_set_clock(nullptr);
}

TEST(Time, Gost2001CutOff) {
  ssf_set_clock(fake_clock);
  use_zone("UTC");
  EXPECT_EQ(get_gost2001_exp_time(), 1577836800);
  g_fake_now = 1577836799;  // 31 Dec 2019 23:59:59
  EXPECT_EQ(gost2001_expired(), 0);
  g_fake_now = 1577836800;
  EXPECT_EQ(gost2001_expired(), 1);

  use_zone("Europe/Moscow");
  EXPECT_EQ(get_gost2001_exp_time(), 1577836800 - 10800);
  g_fake_now = 1577836800 - 10800 - 1;
  EXPECT_EQ(gost2001_expired(), 0);
  g_fake_now = 1577836800 - 10800;
  EXPECT_EQ(gost2001_expired(), 1);

  // With the clock in summer time the cut-off is still midnight of winter
  // time, not an hour off.
  use_zone("Europe/Berlin");
  g_fake_now = 1563192000;
  EXPECT_EQ(get_gost2001_exp_time(), 1577836800 - 3600);
  ssf_set_clock(nullptr);
  EXPECT_EQ(gost2001_expired(), 1);  // the real clock is past 2020
}

TEST(Time, GeneralizedTimeText) {
  use_zone("Europe/Moscow");
  orvel_test::TempDir dir;
  ASSERT_EQ(set_log(dir.file("t.log").c_str(), "Orvel-SSF", 0), 0);
  const char* text = ASN1_GENERALIZEDTIME_to_string(gen("20190715120000Z").get());
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text, "ArchiveTimeStampTime= Mon Jul 15 15:00:00 2019\n (UTCTime: 20190715120000Z)");
  auto bad = raw(V_ASN1_GENERALIZEDTIME, "2019x");
  EXPECT_EQ(ASN1_GENERALIZEDTIME_to_string(bad.get()), nullptr);
  EXPECT_NE(orvel_test::read_file(dir.file("t.log"))
                .find("\nERROR\nASN1_GENERALIZEDTIME_to_string() 1 : ASN1_GENERALIZEDTIME_check() "
                      "failed\n"),
            std::string::npos);
}

TEST(Time, TimeStampTimeFailures) {
  use_zone("UTC");
  orvel_test::TempDir dir;
  ASSERT_EQ(set_log(dir.file("t.log").c_str(), "Orvel-SSF", 0), 0);
  EXPECT_EQ(get_timestamp_time(nullptr), nullptr);
  PKCS7_SIGNER_INFO* si = PKCS7_SIGNER_INFO_new();
  ASSERT_NE(si, nullptr);
  EXPECT_EQ(get_timestamp_time(si), nullptr);
  // A token attribute that is no PKCS#7 structure.
  ASN1_STRING* seq = ASN1_STRING_new();
  const unsigned char junk[] = {0x30, 0x03, 0x02, 0x01, 0x05};
  ASN1_STRING_set(seq, junk, sizeof junk);
  ASSERT_EQ(PKCS7_add_attribute(si, NID_id_smime_aa_timeStampToken, V_ASN1_SEQUENCE, seq), 1);
  EXPECT_EQ(get_timestamp_time(si), nullptr);
  PKCS7_SIGNER_INFO_free(si);
  const std::string log = orvel_test::read_file(dir.file("t.log"));
  EXPECT_NE(log.find("\nERROR\nget_timestamp_time() 1 : timeStampToken not found\n"),
            std::string::npos);
  EXPECT_NE(log.find("\nERROR\nget_timestamp_time() 2 : d2i_PKCS7() failed\n"), std::string::npos);
}

// A real time-stamp token made by the openssl command line, in the unsigned
// attributes of a SignerInfo.
TEST(Time, TimeStampTimeOfAToken) {
  use_zone("UTC");
  orvel_test::TempDir dir;
  ASSERT_EQ(set_log(dir.file("t.log").c_str(), "Orvel-SSF", 0), 0);
  orvel_test::write_file(
      dir.file("tsa.cnf"),
      "[ tsa ]\ndefault_tsa = tsa_config\n[ tsa_config ]\n"
      "serial = " +
          dir.file("serial") +
          "\nsigner_digest = sha256\n"
          "default_policy = 1.2.3.4\ndigests = sha256\ness_cert_id_alg = sha256\n");
  orvel_test::write_file(dir.file("serial"), "01\n");
  orvel_test::write_file(dir.file("data"), "data\n");
  const std::string cd = "cd " + dir.path() + " && ";
  std::string out;
  ASSERT_EQ(orvel_test::run_command(
                cd + "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes "
                     "-keyout key.pem -out cert.pem -subj /CN=TSA -days 30 "
                     "-addext extendedKeyUsage=critical,timeStamping && "
                     "openssl ts -query -data data -sha256 -cert -out q.tsq && "
                     "openssl ts -reply -config tsa.cnf -queryfile q.tsq -signer cert.pem "
                     "-inkey key.pem -token_out -out token.der",
                &out),
            0)
      << out;
  std::string printed;
  ASSERT_EQ(
      orvel_test::run_command(cd + "openssl ts -reply -in token.der -token_in -text", &printed), 0);
  const size_t at = printed.find("Time stamp: ");
  ASSERT_NE(at, std::string::npos) << printed;
  const std::string stamp = printed.substr(at + 12, printed.find(" GMT", at) - at - 12);

  const std::string der = orvel_test::read_file(dir.file("token.der"));
  PKCS7_SIGNER_INFO* si = PKCS7_SIGNER_INFO_new();
  ASN1_STRING* seq = ASN1_STRING_new();
  ASN1_STRING_set(seq, der.data(), static_cast<int>(der.size()));
  ASSERT_EQ(PKCS7_add_attribute(si, NID_id_smime_aa_timeStampToken, V_ASN1_SEQUENCE, seq), 1);
  const char* text = get_timestamp_time(si);
  ASSERT_NE(text, nullptr) << orvel_test::read_file(dir.file("t.log"));
  const std::string s = text;
  // "TimeStampTime= Wed Dec  9 05:39:34 2026\n (UTCTime: 20261209053934Z)"
  EXPECT_EQ(s.rfind("TimeStampTime= ", 0), 0u) << s;
  EXPECT_EQ(s.substr(15 + 4, stamp.size()), stamp) << s;
  EXPECT_NE(s.find("\n (UTCTime: 20"), std::string::npos) << s;
  EXPECT_EQ(s.back(), ')');
  PKCS7_SIGNER_INFO_free(si);
}
