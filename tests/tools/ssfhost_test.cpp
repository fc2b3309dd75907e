// The stand-in host as a user runs it.
#include <gtest/gtest.h>

#include <string>

#include "test_util.h"

using orvel_test::read_file;
using orvel_test::run_command;
using orvel_test::ssfhost_path;
using orvel_test::TempDir;
using orvel_test::write_file;

namespace {

const std::string kBanner =
    "Orvel-SSF Server Linux Version 1.14.0.647; Used Russian cryptography standards: "
    "GOST R 34.11-2012, GOST R 34.10-2012, GOST R 34.11-94, GOST R 34.10-2001, GOST 28147-89\n"
    "Revision number: 647 Repository URL: ssf/trunk";

// Runs the host with its own configuration directory, so that the trace log
// lands in a private place.
int host(const TempDir& dir, const std::string& args, std::string* out) {
  return run_command("DIR_LIBRARY=" + dir.path() + " " + ssfhost_path() + " " + args, out);
}

struct HostDir {
  HostDir() {
    write_file(dir.file("orvel-ssf-server.cfg"), "[common]\nlog_dir = " + dir.path() + "\n");
  }
  TempDir dir;
};

}  // namespace

TEST(Ssfhost, VersionPrintsBannerAndWritesFile) {
  HostDir h;
  std::string out;
  ASSERT_EQ(host(h.dir, "version --out " + h.dir.file("v.txt"), &out), 0) << out;
  EXPECT_EQ(out, kBanner + "\nreturn code: 0\n");
  EXPECT_EQ(read_file(h.dir.file("v.txt")), kBanner);
}

TEST(Ssfhost, UsageErrors) {
  HostDir h;
  std::string out;
  EXPECT_EQ(host(h.dir, "", &out), 2);
  EXPECT_NE(out.find("usage: ssfhost COMMAND"), std::string::npos);
  out.clear();
  EXPECT_EQ(host(h.dir, "frobnicate", &out), 2);
  EXPECT_NE(out.find("unknown command 'frobnicate'"), std::string::npos);
  out.clear();
  EXPECT_EQ(host(h.dir, "digest --format PKCS7 --hash SHA1", &out), 2);
  EXPECT_NE(out.find("digest needs --in"), std::string::npos);
  out.clear();
  EXPECT_EQ(host(h.dir, "digest --format", &out), 2);
  EXPECT_NE(out.find("--format needs a value"), std::string::npos);
  out.clear();
  EXPECT_EQ(host(h.dir, "version --bogus", &out), 2);
  EXPECT_NE(out.find("unknown option --bogus"), std::string::npos);
}

TEST(Ssfhost, MissingInputFile) {
  HostDir h;
  std::string out;
  EXPECT_EQ(
      host(h.dir, "encode --format BASE64 --in " + h.dir.file("none") + " --out " + h.dir.file("o"),
           &out),
      1);
  EXPECT_NE(out.find("cannot read"), std::string::npos);
}

TEST(Ssfhost, RefusedNamesGiveTheirCodes) {
  HostDir h;
  write_file(h.dir.file("in"), "data");
  std::string out;
  EXPECT_EQ(
      host(h.dir,
           "digest --format XML --hash SHA1 --in " + h.dir.file("in") + " --out " + h.dir.file("o"),
           &out),
      1);
  EXPECT_EQ(out, "return code: 2\n");
  out.clear();
  EXPECT_EQ(host(h.dir,
                 "digest --format PKCS7 --hash SHA256 --in " + h.dir.file("in") + " --out " +
                     h.dir.file("o"),
                 &out),
            1);
  EXPECT_EQ(out, "return code: 10\n");
  out.clear();
  EXPECT_EQ(
      host(h.dir, "decode --format base64 --in " + h.dir.file("in") + " --out " + h.dir.file("o"),
           &out),
      1);
  EXPECT_EQ(out, "return code: 2\n");
  // An empty input is refused by the frame.
  write_file(h.dir.file("empty"), "");
  out.clear();
  EXPECT_EQ(host(h.dir,
                 "encode --format BASE64 --in " + h.dir.file("empty") + " --out " + h.dir.file("o"),
                 &out),
            1);
  EXPECT_EQ(out, "return code: 3\n");
  EXPECT_NE(read_file(h.dir.file("orvel-ssf-server.log"))
                .find("SsfEncode() 1 : (ostrInputData == NULL) || (ostrInputDataL <= 0)"),
            std::string::npos);
}

TEST(Ssfhost, PropertiesAreQueriedByName) {
  HostDir h;
  std::string out;
  host(h.dir, "properties", &out);
  for (const char* name : {"PROPERTIES: ", "FORMATS: ", "HASHALGS: ", "ENCRALGS: ", "SSF_POPUPS: "})
    EXPECT_NE(out.find(name), std::string::npos) << out;
}

TEST(Ssfhost, WrongLibraryIsReported) {
  HostDir h;
  std::string out;
  EXPECT_EQ(run_command("ORVEL_LIBRARY=/nonexistent/lib.so " + ssfhost_path() + " version", &out),
            1);
  EXPECT_NE(out.find("ssfhost: "), std::string::npos);
}
