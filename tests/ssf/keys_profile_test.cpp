// Signing times at the head of profiles.
#include <gtest/gtest.h>

#include "crl_test_env.h"
#include "ossl_ptr.h"
#include "profile.h"

namespace orvel_test {
namespace {

TEST(ProfileTime, CalendarChecks) {
  EXPECT_TRUE(profile_time_is_valid("20191231235959certfile=x"));
  EXPECT_TRUE(profile_time_is_valid("20200229120000"));
  EXPECT_FALSE(profile_time_is_valid("20190229120000"));
  EXPECT_FALSE(profile_time_is_valid("20191231240000"));
  EXPECT_FALSE(profile_time_is_valid("2019123123595"));
  EXPECT_FALSE(profile_time_is_valid("+0191231235959"));
  EXPECT_FALSE(profile_time_is_valid(nullptr));
}

TEST(ProfileTime, IsTimestampValidWritesItsLine) {
  TraceLog log;
  EXPECT_EQ(is_timestamp_valid("20191231235959"), 1);
  EXPECT_EQ(is_timestamp_valid("20191331235959"), 0);
  EXPECT_TRUE(log.contains(
      "is_timestamp_valid() 1 : ASN1_GENERALIZEDTIME_check( '20191331235959' ) failed"));
}

// UTCTime for 1950-2049, GeneralizedTime outside, as RFC 5652 demands.
TEST(ProfileTime, SigningTimeTypeFollowsTheYear) {
  struct Case {
    const char* profile;
    int type;
    const char* text;
  } cases[] = {
      {"19500101000000p", V_ASN1_UTCTIME, "500101000000Z"},
      {"20491231235959p", V_ASN1_UTCTIME, "491231235959Z"},
      {"20191231235959p", V_ASN1_UTCTIME, "191231235959Z"},
      {"19491231235959p", V_ASN1_GENERALIZEDTIME, "19491231235959Z"},
      {"20500101000000p", V_ASN1_GENERALIZEDTIME, "20500101000000Z"},
  };
  for (const auto& c : cases) {
    int type = -1, step = 0;
    orvel::Asn1TimePtr t(profile_signing_time(c.profile, &type, &step));
    ASSERT_TRUE(t) << c.profile;
    EXPECT_EQ(type, c.type) << c.profile;
    EXPECT_EQ(ASN1_STRING_type(t.get()), c.type) << c.profile;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(ASN1_STRING_get0_data(t.get())),
                          static_cast<size_t>(ASN1_STRING_length(t.get()))),
              c.text);
  }
  int type = -1, step = 0;
  EXPECT_EQ(profile_signing_time("2019", &type, &step), nullptr);
  EXPECT_EQ(step, 5);
}

}  // namespace
}  // namespace orvel_test
