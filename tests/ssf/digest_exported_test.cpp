// SsfDigest, SsfEncode, SsfDecode and SsfQueryProperties as the host calls
// them: the library loaded with dlopen, outputs freed by SsfDELSsfOctetstring.
#include <gtest/gtest.h>

#include <string>

#include "frame_host.h"
#include "test_util.h"

namespace orvel_test {
namespace {

const unsigned char* bytes_of(const std::string& s) {
  return reinterpret_cast<const unsigned char*>(s.data());
}

class Exported : public ::testing::Test {
 protected:
  // Runs one call that fills an output pair; returns the output as text.
  template <typename F>
  SsfInt call(F f, std::string* out) {
    unsigned char* p = nullptr;
    SsfInt n = 0;
    SsfInt rc = f(&p, &n);
    out->assign(p ? std::string(reinterpret_cast<char*>(p), n) : std::string());
    if (rc != 0) {
      EXPECT_EQ(p, nullptr);
      EXPECT_EQ(n, 0);
    }
    h_.DELSsfOctetstring(&p, &n);
    return rc;
  }
  std::string wrap(const std::string& data) {
    std::string out;
    EXPECT_EQ(call(
                  [&](unsigned char** p, SsfInt* n) {
                    return h_.Encode("PKCS7", 5, bytes_of(data), static_cast<SsfInt>(data.size()),
                                     p, n);
                  },
                  &out),
              0);
    return out;
  }
  Host h_;
};

TEST_F(Exported, EncodeDecodeBase64AndPkcs7) {
  std::string out;
  ASSERT_EQ(call([&](unsigned char** p,
                     SsfInt* n) { return h_.Encode("BASE64", 6, bytes_of("abc"), 3, p, n); },
                 &out),
            0);
  EXPECT_EQ(out, "YWJj\n");
  for (const std::string text : {"YWJj\n", "YWJj"}) {
    ASSERT_EQ(call(
                  [&](unsigned char** p, SsfInt* n) {
                    return h_.Decode("BASE64", 6, bytes_of(text), static_cast<SsfInt>(text.size()),
                                     p, n);
                  },
                  &out),
              0);
    EXPECT_EQ(out, "abc");
  }
  EXPECT_EQ(call([&](unsigned char** p,
                     SsfInt* n) { return h_.Decode("BASE64", 6, bytes_of("====\n"), 5, p, n); },
                 &out),
            4);
  EXPECT_NE(h_.log().find("decode error"), std::string::npos);

  std::string wrapped = wrap("abc");
  EXPECT_EQ(to_hex(bytes_of(wrapped), wrapped.size()), "301206092a864886f70d010701a0050403616263");
  for (const char* format : {"PKCS7", "PKCS7_CADES", "CADES_BES", "CADES_XLT1", "PKCS7_ANY"}) {
    ASSERT_EQ(call(
                  [&](unsigned char** p, SsfInt* n) {
                    return h_.Decode(format, static_cast<SsfInt>(strlen(format)), bytes_of(wrapped),
                                     static_cast<SsfInt>(wrapped.size()), p, n);
                  },
                  &out),
              0)
        << format;
    EXPECT_EQ(out, "abc");
  }
  EXPECT_EQ(call([&](unsigned char** p,
                     SsfInt* n) { return h_.Decode("PKCS7", 5, bytes_of("abc"), 3, p, n); },
                 &out),
            12);
}

TEST_F(Exported, DigestAcceptedByOpensslCms) {
  const std::string data = "data the host digests";
  std::string input = wrap(data);
  for (const char* hash : {"SHA1", "MD5"}) {
    for (SsfBool detached : {0, 1}) {
      std::string der;
      // "BASE64" is accepted as format and still gives a digestedData.
      for (const char* format : {"PKCS7", "BASE64"}) {
        ASSERT_EQ(call(
                      [&](unsigned char** p, SsfInt* n) {
                        return h_.Digest(format, static_cast<SsfInt>(strlen(format)), detached,
                                         bytes_of(input), static_cast<SsfInt>(input.size()), hash,
                                         static_cast<SsfInt>(strlen(hash)), p, n);
                      },
                      &der),
                  0);
      }
      write_file(h_.dir.file("d.der"), der);
      write_file(h_.dir.file("data.bin"), data);
      std::string cmd = "openssl cms -digest_verify -inform DER -in " + h_.dir.file("d.der") +
                        " -out " + h_.dir.file("out.bin");
      if (detached) cmd += " -content " + h_.dir.file("data.bin");
      std::string output;
      EXPECT_EQ(run_command(cmd, &output), 0) << hash << " " << int(detached) << output;
      EXPECT_EQ(read_file(h_.dir.file("out.bin")), data);
    }
  }
}

TEST_F(Exported, QueryProperties) {
  std::string out;
  ASSERT_EQ(call([&](unsigned char** p,
                     SsfInt* n) { return h_.QueryProperties("FORMATS", 7, nullptr, 0, p, n); },
                 &out),
            0);
  EXPECT_EQ(out.size(), 55u);
  EXPECT_EQ(out, "PKCS7;PKCS7_CADES;CADES_BES;CADES_XLT1;PKCS7_ANY;BASE64");
  EXPECT_EQ(call([&](unsigned char** p,
                     SsfInt* n) { return h_.QueryProperties("formats", 7, nullptr, 0, p, n); },
                 &out),
            3);
  EXPECT_NE(h_.log().find("ssf_query_properties() 1 : NO DATA (propname='formats')"),
            std::string::npos);
}

}  // namespace
}  // namespace orvel_test
