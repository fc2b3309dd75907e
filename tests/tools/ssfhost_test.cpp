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

// A self-signed RSA certificate "CN=<cn>" and its unencrypted key, made with
// the openssl command line.
struct Signer {
  std::string id, cert, key;
  std::string profile() const { return "certfile=" + cert + ",keyfile=" + key; }
};

Signer make_signer(const TempDir& dir, const std::string& name) {
  Signer s{"CN=" + name, dir.file(name + "-cert.pem"), dir.file(name + "-key.pem")};
  std::string out;
  EXPECT_EQ(run_command("openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj '/" + s.id +
                            "' -keyout '" + s.key + "' -out '" + s.cert + "'",
                        &out),
            0)
      << out;
  return s;
}

// The document as a PKCS#7 data ContentInfo in doc.p7, the content in doc.txt.
void write_document(const HostDir& h) {
  write_file(h.dir.file("doc.txt"), "host document\n");
  std::string out;
  ASSERT_EQ(
      host(h.dir,
           "encode --format PKCS7 --in " + h.dir.file("doc.txt") + " --out " + h.dir.file("doc.p7"),
           &out),
      0)
      << out;
}

}  // namespace

TEST(Ssfhost, VersionPrintsBannerAndWritesFile) {
  HostDir h;
  std::string out;
  ASSERT_EQ(host(h.dir, "version --out " + h.dir.file("v.txt"), &out), 0) << out;
  EXPECT_EQ(out, kBanner + "\nreturn code: 0 (SSF_API_OK)\n");
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
  // --profile and --password belong to the --signer before them, once each.
  out.clear();
  EXPECT_EQ(
      host(h.dir, "sign --format PKCS7 --hash SHA1 --in i --out o --password pw --signer A", &out),
      2);
  EXPECT_NE(out.find("--password before any --signer"), std::string::npos) << out;
  out.clear();
  EXPECT_EQ(host(h.dir,
                 "sign --format PKCS7 --hash SHA1 --in i --out o --signer A --profile P "
                 "--signer B --profile Q --profile R",
                 &out),
            2);
  EXPECT_NE(out.find("second --profile for --signer 'B'"), std::string::npos) << out;
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
  EXPECT_EQ(out, "return code: 2 (SSF_API_UNKNOWN_FORMAT)\n");
  out.clear();
  EXPECT_EQ(host(h.dir,
                 "digest --format PKCS7 --hash SHA256 --in " + h.dir.file("in") + " --out " +
                     h.dir.file("o"),
                 &out),
            1);
  EXPECT_EQ(out, "return code: 10 (SSF_API_UNKNOWN_HASH)\n");
  out.clear();
  EXPECT_EQ(
      host(h.dir, "decode --format base64 --in " + h.dir.file("in") + " --out " + h.dir.file("o"),
           &out),
      1);
  EXPECT_EQ(out, "return code: 2 (SSF_API_UNKNOWN_FORMAT)\n");
  // An empty input is refused by the frame.
  write_file(h.dir.file("empty"), "");
  out.clear();
  EXPECT_EQ(host(h.dir,
                 "encode --format BASE64 --in " + h.dir.file("empty") + " --out " + h.dir.file("o"),
                 &out),
            1);
  EXPECT_EQ(out, "return code: 3 (SSF_API_NOINPUT)\n");
  EXPECT_NE(read_file(h.dir.file("orvel-ssf-server.log"))
                .find("SsfEncode() 1 : (ostrInputData == NULL) || (ostrInputDataL <= 0)"),
            std::string::npos);
}

// The password reaches the second signer's PKCS#12 file, not the first
// signer's PEM key.
TEST(Ssfhost, ProfileAndPasswordGoWithTheSignerBeforeThem) {
  HostDir h;
  write_document(h);
  const Signer a = make_signer(h.dir, "Host Signer A"), b = make_signer(h.dir, "Host Signer B");
  std::string out;
  ASSERT_EQ(run_command("openssl pkcs12 -export -inkey '" + b.key + "' -in '" + b.cert +
                            "' -passout pass:pw-B -out '" + h.dir.file("b.p12") + "'",
                        &out),
            0)
      << out;
  out.clear();
  EXPECT_EQ(
      host(h.dir,
           "sign --format PKCS7 --hash SHA1 --in " + h.dir.file("doc.p7") + " --out " +
               h.dir.file("signed.p7") + " --signer '" + a.id + "' --profile '" + a.profile() +
               "' --signer '" + b.id + "' --profile " + h.dir.file("b.p12") + " --password pw-B",
           &out),
      0);
  EXPECT_EQ(out,
            "return code: 0 (SSF_API_OK)\n"
            "record 1: uResult = 0 (Signature is valid)\n"
            "record 2: uResult = 0 (Signature is valid)\n");
}

// enhance hands the signedData, the detached content and the PAB to
// SsfEnhanceSignatures: the signature carries no certificate, so the signer's
// comes from the PAB; it verifies over the content; with no time-stamp
// service configured the enhancement stops at 111.
TEST(Ssfhost, EnhanceTakesSignedDataContentAndPab) {
  HostDir h;
  write_document(h);
  const Signer a = make_signer(h.dir, "Host Signer A");
  std::string out;
  ASSERT_EQ(
      host(h.dir,
           "sign --format PKCS7 --hash SHA1 --detached --in " + h.dir.file("doc.p7") + " --out " +
               h.dir.file("signed.p7") + " --signer '" + a.id + "' --profile '" + a.profile() + "'",
           &out),
      0)
      << out;
  ASSERT_EQ(run_command("mkdir '" + h.dir.file("pab") + "'"), 0);
  write_file(h.dir.file("pab/a.pem"), read_file(a.cert));
  const std::string enhance = "enhance --signed " + h.dir.file("signed.p7") + " --pab " +
                              h.dir.file("pab") + " --out " + h.dir.file("enhanced.p7");
  out.clear();
  EXPECT_EQ(host(h.dir, enhance, &out), 1);
  EXPECT_EQ(out, "return code: 3 (SSF_API_NOINPUT)\n");
  out.clear();
  EXPECT_EQ(host(h.dir, enhance + " --in " + h.dir.file("doc.txt"), &out), 1);
  EXPECT_EQ(out,
            "record 1: signer 'CN=Host Signer A'\n"
            "return code: 5 (SSF_API_SIGNER_FAILED)\n"
            "record 1: uResult = 111 (TSP service URL not specified)\n");
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
