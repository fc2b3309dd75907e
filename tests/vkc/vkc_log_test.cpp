#include <gtest/gtest.h>

#include "test_util.h"
#include "vkc_log.h"

TEST(VkcLog, VersionAndLogSwitch) {
  EXPECT_EQ(vkcVersion(), 580);
  EXPECT_EQ(vkcflog, nullptr);
  orvel_test::TempDir dir;
  std::string path = dir.file("vkc.log");
  EXPECT_EQ(vkc_set_log_file(path.c_str()), 0);
  ASSERT_NE(vkcflog, nullptr);
  VKC_LOG("line %d", 1);
  EXPECT_EQ(vkc_set_log_file("stderr"), 0);
  EXPECT_EQ(vkcflog, stderr);
  EXPECT_EQ(orvel_test::read_file(path), "line 1\n");
  // Switching off never closes the standard error stream.
  EXPECT_EQ(vkc_set_log_file(nullptr), 0);
  EXPECT_EQ(vkcflog, nullptr);
  EXPECT_NE(fputs("", stderr), EOF);
  // A path that cannot be opened leaves the log off.
  EXPECT_EQ(vkc_set_log_file("/nonexistent/dir/x.log"), 0);
  EXPECT_EQ(vkcflog, nullptr);
}
