// The SNILS recognition and the host's SNILS cache with the single
// fingerprint request that consults it before the service.
#include <gtest/gtest.h>

#include <string>

#include "hok_client.h"
#include "hok_test_env.h"
#include "test_hok.h"

namespace orvel_test {
namespace {

TEST(HokSnils, Recognised) {
  EXPECT_EQ(is_snils("123-456-789 01", 14), 1);
  EXPECT_EQ(is_snils("123-456-789 01", -1), 1);
  EXPECT_EQ(is_snils("000-000-000 00", -1), 1);  // check digits are not verified
  EXPECT_EQ(is_snils("123-456-78901", 13), 0);
  EXPECT_EQ(is_snils("123-456-78901", -1), 0);
  EXPECT_EQ(is_snils("123 456-789 01", 14), 0);
  EXPECT_EQ(is_snils("123-456-789-01", 14), 0);
  EXPECT_EQ(is_snils("12a-456-789 01", 14), 0);
  EXPECT_EQ(is_snils("123-456-789 0x", 14), 0);
  EXPECT_EQ(is_snils("123-456-789 01 and more", -1), 0);
  EXPECT_EQ(is_snils("123-456-789 01 and more", 14), 1);  // the length given rules
  EXPECT_EQ(is_snils("123-456-789 01", 15), 0);
  EXPECT_EQ(is_snils(nullptr, 14), 0);
  EXPECT_EQ(is_snils("", -1), 0);
  const char with_nul[] = "123-456\0789 01";
  EXPECT_EQ(is_snils(with_nul, 14), 0);
}

class HokCache : public ::testing::Test {
 protected:
  void SetUp() override { start_with_hok(dir_, hok_.url()); }
  std::string log() const { return read_file(dir_.file("orvel-ssf-server.log")); }
  TempDir dir_;
  FakeHok hok_;
};

TEST_F(HokCache, AddLookUpAndReplace) {
  EXPECT_EQ(snils_cache_get_fingerprint("123-456-789 01"), nullptr);
  EXPECT_EQ(snils_cache_add_fingerprint("123-456-789 01", "fp-a"), 0);
  EXPECT_EQ(snils_cache_add_fingerprint("222-456-789 01", "fp-b"), 0);
  EXPECT_STREQ(snils_cache_get_fingerprint("123-456-789 01"), "fp-a");
  EXPECT_EQ(snils_cache_add_fingerprint("123-456-789 01", "fp-c"), 0);
  EXPECT_STREQ(snils_cache_get_fingerprint("123-456-789 01"), "fp-c");
  EXPECT_STREQ(snils_cache_get_fingerprint("222-456-789 01"), "fp-b");
  EXPECT_EQ(HokSnilsCache.count, 2);
  // Whole texts are compared: the same number without separators is another key.
  EXPECT_EQ(snils_cache_get_fingerprint("12345678901"), nullptr);
  EXPECT_EQ(snils_cache_get_fingerprint("123-456-789 0"), nullptr);
  EXPECT_EQ(snils_cache_get_fingerprint(nullptr), nullptr);
}

TEST_F(HokCache, TextsThatDoNotFitAreRefused) {
  const std::string snils19(19, '1'), fp99(99, 'f');
  EXPECT_EQ(snils_cache_add_fingerprint(snils19.c_str(), fp99.c_str()), 0);
  EXPECT_EQ(snils_cache_get_fingerprint(snils19.c_str()), std::string(fp99));
  EXPECT_EQ(snils_cache_add_fingerprint(std::string(20, '2').c_str(), "fp"), -1);
  EXPECT_EQ(snils_cache_add_fingerprint("333", std::string(100, 'f').c_str()), -1);
  EXPECT_EQ(snils_cache_add_fingerprint(snils19.c_str(), std::string(4000, 'g').c_str()), -1);
  EXPECT_EQ(snils_cache_get_fingerprint(snils19.c_str()), std::string(fp99));
  EXPECT_EQ(snils_cache_add_fingerprint(nullptr, "fp"), -1);
  EXPECT_EQ(snils_cache_add_fingerprint("444", nullptr), -1);
  EXPECT_EQ(HokSnilsCache.count, 1);
}

TEST_F(HokCache, FiftyEntriesThenFull) {
  for (int i = 0; i < kHokCacheEntries; ++i)
    ASSERT_EQ(snils_cache_add_fingerprint(("s" + std::to_string(i)).c_str(),
                                          ("f" + std::to_string(i)).c_str()),
              0);
  EXPECT_EQ(snils_cache_add_fingerprint("one-more", "f"), -1);
  EXPECT_EQ(snils_cache_get_fingerprint("one-more"), nullptr);
  EXPECT_EQ(HokSnilsCache.count, kHokCacheEntries);
  // A SNILS already stored can still get a new fingerprint.
  EXPECT_EQ(snils_cache_add_fingerprint("s49", "new"), 0);
  EXPECT_STREQ(snils_cache_get_fingerprint("s49"), "new");
  EXPECT_STREQ(snils_cache_get_fingerprint("s0"), "f0");
  EXPECT_NE(log().find("cache is full"), std::string::npos);
}

TEST_F(HokCache, SingleFingerprintAsksTheServiceUntilCached) {
  hok_.set_owner_answer(FakeHok::ok(FakeHok::fingerprints_body({"first-fp", "second-fp"})));
  for (int i = 1; i <= 2; ++i) {
    orvel::CharsPtr fp(hok_get_single_fingerprint_by_snils("123-456-789 01"));
    ASSERT_TRUE(fp);
    EXPECT_STREQ(fp.get(), "first-fp");
    EXPECT_EQ(hok_.requests().size(), size_t(i));  // the fetched one is not cached
  }
  const std::string f = "hok_get_single_fingerprint_by_snils() : ";
  EXPECT_NE(log().find(f + "snils '123-456-789 01' -> fingerprints:\n"), std::string::npos);
  EXPECT_NE(log().find(f + "\t'first-fp'\n"), std::string::npos);
  EXPECT_NE(log().find(f + "\t'second-fp'\n"), std::string::npos);
  EXPECT_NE(log().find(f + "in server mode we take the first fingerprint\n"), std::string::npos);
  EXPECT_NE(log().find(f + "selected id: 'first-fp'\n"), std::string::npos);

  ASSERT_EQ(snils_cache_add_fingerprint("123-456-789 01", "cached-fp"), 0);
  orvel::CharsPtr fp(hok_get_single_fingerprint_by_snils("123-456-789 01"));
  EXPECT_STREQ(fp.get(), "cached-fp");
  EXPECT_EQ(hok_.requests().size(), 2u);
  EXPECT_NE(log().find(f + "fingerprint for snils '123-456-789 01' found in cache\n"),
            std::string::npos);
}

TEST_F(HokCache, SingleFingerprintOfAFailingRequestIsNull) {
  hok_.set_owner_answer("HTTP/1.1 500 Oops\r\n\r\n");
  EXPECT_EQ(hok_get_single_fingerprint_by_snils("123-456-789 01"), nullptr);
  EXPECT_EQ(hok_get_single_fingerprint_by_snils(nullptr), nullptr);
  EXPECT_NE(log().find("hok_get_single_fingerprint_by_snils() 1 : hok_get_fingerprint_by_snils( "
                       "'123-456-789 01' ) failed"),
            std::string::npos);
}

}  // namespace
}  // namespace orvel_test
