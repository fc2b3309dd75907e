// The argument checks of every operation, in their order, with their codes
// and ERROR lines, through the library loaded as a host loads it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "frame_host.h"

using orvel_test::error_block;
using orvel_test::Host;

namespace {

unsigned char* const kSentinel = reinterpret_cast<unsigned char*>(0x1234);

int count(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
  return n;
}

// The call wrote exactly one ERROR block, with this message.
void expect_error(const std::string& delta, const std::string& message) {
  EXPECT_NE(delta.find(error_block(message)), std::string::npos) << delta;
  EXPECT_EQ(count(delta, "\nERROR\n"), 1) << delta;
}

std::string hex32(const void* p) {
  char buf[32];
  snprintf(buf, sizeof buf, "%#x", static_cast<unsigned>(reinterpret_cast<uintptr_t>(p)));
  return buf;
}

const unsigned char kData[] = "data";

struct Records {
  explicit Records(Host& h) : host(h) {
    EXPECT_EQ(host.NEWSigRcpSsfInfo("CN=a", 4, nullptr, 0, nullptr, 0, nullptr, 0, 0, &rec), 0);
    EXPECT_EQ(host.INSSigRcpSsfInfo(rec, &list), 0);
  }
  ~Records() { host.DELSigRcpSsfInfoList(&list); }
  Host& host;
  SigRcpSsfInfo* rec = nullptr;
  SigRcpSsfInformationList list = nullptr;
};

}  // namespace

TEST(FrameChecks, Sign) {
  Host h;
  Records r(h);
  unsigned char* out = kSentinel;
  SsfInt outL = 7;

  EXPECT_EQ(h.Sign("BAD", 3, "BAD", 3, 0, 0, nullptr, 4, r.list, &out, &outL), 3);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(outL, 0);
  expect_error(h.since_mark(), "SsfSign() : (ostrInputData == NULL) || (ostrInputDataL <= 0)");
  EXPECT_EQ(r.rec->uResult, 0);

  h.mark();
  EXPECT_EQ(h.Sign("PKCS7", 5, "SHA1", 4, 0, 0, kData, 0, r.list, &out, &outL), 3);

  // A NUL counted in the length is part of the name: refused.
  h.mark();
  out = kSentinel;
  EXPECT_EQ(h.Sign("PKCS7", 6, "BAD", 3, 0, 0, kData, 4, r.list, &out, &outL), 2);
  EXPECT_EQ(out, nullptr);
  expect_error(h.since_mark(), "SsfSign() : invalid format: 'PKCS7'");
  EXPECT_EQ(r.rec->uResult, 28);

  h.mark();
  EXPECT_EQ(h.Sign("PKCS7", 5, "SHA2", 4, 0, 0, kData, 4, r.list, &out, &outL), 10);
  expect_error(h.since_mark(), "SsfSign() : invalid hash_alg: 'SHA2'");

  for (const char* f : {"PKCS7_ANY", "BASE64"}) {
    h.mark();
    EXPECT_EQ(
        h.Sign(f, static_cast<SsfInt>(strlen(f)), "SHA1", 4, 0, 0, kData, 4, r.list, &out, &outL),
        2);
    expect_error(h.since_mark(), std::string("SsfSign() : wrong signature format: '") + f + "'");
  }

  // A null output pointer is refused instead of written through.
  h.mark();
  EXPECT_EQ(h.Sign("PKCS7", 5, "SHA1", 4, 0, 0, kData, 4, r.list, nullptr, &outL), 13);
  expect_error(h.since_mark(), "SsfSign() : (ostrSignedData == NULL) || (ostrSignedDataL == NULL)");

  // A null hash name is quoted as "<NULL>" (after the copy's own ERROR).
  h.mark();
  EXPECT_EQ(h.Sign("PKCS7", 5, nullptr, 0, 0, 0, kData, 4, r.list, &out, &outL), 10);
  EXPECT_NE(h.since_mark().find(error_block("SsfSign() : invalid hash_alg: '<NULL>'")),
            std::string::npos);

  // All checks passed: the operation runs; on failure the pair is null, 0.
  h.mark();
  out = kSentinel;
  SsfInt rc =
      h.Sign("CADES_BES", 9, "GOST-R-34.11-12-256", 19, 1, 0, kData, 4, r.list, &out, &outL);
  std::string delta = h.since_mark();
  EXPECT_EQ(delta.find("SsfSign() :"), std::string::npos) << delta;
  if (rc != 0) {
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(outL, 0);
    EXPECT_NE(delta.find("\nerror sign_data\n"), std::string::npos);
  }
  h.DELSsfOctetstring(&out, &outL);
}

TEST(FrameChecks, SignNullFormatQuoted) {
  Host h;
  unsigned char* out = nullptr;
  SsfInt outL = 0;
  // No list: nothing to mark, no crash.
  EXPECT_EQ(h.Sign(nullptr, 5, "SHA1", 4, 0, 0, kData, 4, nullptr, &out, &outL), 2);
  std::string delta = h.since_mark();
  EXPECT_NE(delta.find(error_block("SsfSign() : invalid format: '<NULL>'")), std::string::npos);
  EXPECT_NE(delta.find(error_block("get_sz_string_from_sap_string() 1 : Error: str = 0")),
            std::string::npos);
}

TEST(FrameChecks, SignBeginAndEndLines) {
  Host h;
  unsigned char* out = nullptr;
  SsfInt outL = 0;
  const char* fmt = "PKCS7";
  const char* hash = "SHA1";
  EXPECT_EQ(h.Sign(fmt, 5, hash, 4, 1, 0, nullptr, 0, nullptr, &out, &outL), 3);
  std::string expected = "SsfSign() start, strFormat = " + hex32(fmt) +
                         ", strFormatL = 5, strHashalg = " + hex32(hash) +
                         ", strHashalgL = 4, bIncCerts = 1, bDetached = 0, ostrInputData = 0, "
                         "ostrInputDataL = 0, signerList = 0, ostrSignedData = " +
                         hex32(&out) + ", ostrSignedDataL = " + hex32(&outL) + "\n";
  std::string delta = h.since_mark();
  EXPECT_NE(delta.find(expected), std::string::npos) << delta;
  EXPECT_NE(delta.find("SsfSign() end, retcode = 3\n"), std::string::npos);
}

TEST(FrameChecks, AddSign) {
  Host h;
  SigRcpSsfInfo* signer = nullptr;
  ASSERT_EQ(h.NEWSigRcpSsfInfo("CN=a", 4, nullptr, 0, nullptr, 0, nullptr, 0, 0, &signer), 0);
  unsigned char* out = kSentinel;
  SsfInt outL = 3;

  h.mark();
  EXPECT_EQ(h.AddSign("BAD", 3, "BAD", 3, 0, kData, -1, nullptr, 0, nullptr, &out, &outL), 3);
  EXPECT_EQ(out, nullptr);
  expect_error(h.since_mark(),
               "SsfAddSign() 1 : (ostrSignedData == NULL) || (ostrSignedDataL <= 0)");

  h.mark();
  EXPECT_EQ(h.AddSign("BAD", 3, "BAD", 3, 0, kData, 4, nullptr, 0, nullptr, &out, &outL), 5);
  expect_error(h.since_mark(), "SsfAddSign() 2 : signer is NULL");

  h.mark();
  EXPECT_EQ(h.AddSign("BAD", 3, "BAD", 3, 0, kData, 4, nullptr, 0, signer, &out, &outL), 2);
  expect_error(h.since_mark(), "SsfAddSign() 3 : invalid format: 'BAD'");
  EXPECT_EQ(signer->uResult, 28);

  h.mark();
  EXPECT_EQ(h.AddSign("PKCS7", 5, "BAD", 3, 0, kData, 4, nullptr, 0, signer, &out, &outL), 10);
  expect_error(h.since_mark(), "SsfAddSign() 4 : invalid hash_alg: 'BAD'");

  h.mark();
  EXPECT_EQ(h.AddSign("BASE64", 6, "MD5", 3, 0, kData, 4, nullptr, 0, signer, &out, &outL), 2);
  expect_error(h.since_mark(), "SsfAddSign() : wrong signature format: 'BASE64'");

  h.mark();
  EXPECT_EQ(h.AddSign("PKCS7", 5, "MD5", 3, 0, kData, 4, nullptr, 0, signer, &out, nullptr), 13);
  expect_error(
      h.since_mark(),
      "SsfAddSign() : (ostrUpdatedSignedData == NULL) || (ostrUpdatedSignedDataL == NULL)");
  EXPECT_NE(h.since_mark().find("SsfAddSign() end, ret_code = 13\n"), std::string::npos);
  h.DELSigRcpSsfInfo(&signer);
}

TEST(FrameChecks, Verify) {
  Host h;
  unsigned char* out = kSentinel;
  SsfInt outL = 3;
  SigRcpSsfInformationList results = nullptr;

  EXPECT_EQ(
      h.Verify("BAD", 3, 0, nullptr, 4, nullptr, 0, nullptr, 0, nullptr, 0, &results, &out, &outL),
      3);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(outL, 0);
  expect_error(h.since_mark(), "SsfVerify(): (ostrSignedData == NULL) || (ostrSignedDataL <= 0)");

  h.mark();
  EXPECT_EQ(
      h.Verify("CADES", 5, 0, kData, 4, nullptr, 0, nullptr, 0, nullptr, 0, &results, &out, &outL),
      2);
  expect_error(h.since_mark(), "SsfVerify() : invalid format: 'CADES'");

  // A null result list is refused (the operation would write through it).
  h.mark();
  EXPECT_EQ(
      h.Verify("PKCS7", 5, 0, kData, 4, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, &out, &outL),
      3);
  expect_error(h.since_mark(), "SsfVerify() : signerResultList is NULL");

  h.mark();
  EXPECT_EQ(h.Verify("PKCS7", 5, 0, kData, 4, nullptr, 0, nullptr, 0, nullptr, 0, &results, nullptr,
                     &outL),
            13);
  expect_error(h.since_mark(),
               "SsfVerify() : (ostrOutputData == NULL) || (ostrOutputDataL == NULL)");

  // "BASE64" passes the format check and reaches verification.
  h.mark();
  h.Verify("BASE64", 6, 0, kData, 4, nullptr, 0, nullptr, 0, nullptr, 0, &results, &out, &outL);
  std::string delta = h.since_mark();
  EXPECT_EQ(delta.find("SsfVerify() :"), std::string::npos) << delta;
  if (results == nullptr) {
    EXPECT_NE(delta.find("\nSsfVerify: signerResultList is not created\n"), std::string::npos);
  }
  h.DELSigRcpSsfInfoList(&results);
  h.DELSsfOctetstring(&out, &outL);
}

TEST(FrameChecks, Envelope) {
  Host h;
  Records r(h);
  unsigned char* out = kSentinel;
  SsfInt outL = 3;

  EXPECT_EQ(h.Envelope("BAD", 3, "BAD", 3, kData, 0, nullptr, 0, nullptr, 0, nullptr, &out, &outL),
            3);
  EXPECT_EQ(out, nullptr);
  expect_error(h.since_mark(),
               "SsfEnvelope() 1 : (ostrInputData == NULL) || (ostrInputDataL <= 0)");

  h.mark();
  EXPECT_EQ(h.Envelope("BAD", 3, "BAD", 3, kData, 4, nullptr, 0, nullptr, 0, nullptr, &out, &outL),
            9);
  expect_error(h.since_mark(), "SsfEnvelope() 2 : recipientList is NULL");

  h.mark();
  EXPECT_EQ(h.Envelope("BAD", 3, "BAD", 3, kData, 4, nullptr, 0, nullptr, 0, r.list, &out, &outL),
            2);
  expect_error(h.since_mark(), "SsfEnvelope() 3 : invalid format: 'BAD'");
  EXPECT_EQ(r.rec->uResult, 28);

  h.mark();
  EXPECT_EQ(h.Envelope("PKCS7", 5, "GOST-28147-89", 14, kData, 4, nullptr, 0, nullptr, 0, r.list,
                       &out, &outL),
            14);
  expect_error(h.since_mark(), "SsfEnvelope() 4 : invalid encryption algorithm: 'GOST-28147-89'");

  h.mark();
  EXPECT_EQ(h.Envelope("PKCS7", 5, "GOST-28147-89", 13, kData, 4, nullptr, 0, nullptr, 0, r.list,
                       nullptr, nullptr),
            13);
  EXPECT_NE(h.since_mark().find("end SsfEnvelope = 13\n"), std::string::npos);
}

TEST(FrameChecks, Develope) {
  Host h;
  SigRcpSsfInfo* rcpt = nullptr;
  ASSERT_EQ(h.NEWSigRcpSsfInfo("CN=a", 4, nullptr, 0, nullptr, 0, nullptr, 0, 0, &rcpt), 0);
  unsigned char* out = kSentinel;
  SsfInt outL = 3;

  h.mark();
  EXPECT_EQ(h.Develope("BAD", 3, nullptr, 4, rcpt, &out, &outL), 3);
  EXPECT_EQ(out, nullptr);
  expect_error(h.since_mark(),
               "SsfDevelope() 1 : (ostrEnvelopedData == NULL) || (ostrEnvelopedDataL <= 0)");

  h.mark();
  EXPECT_EQ(h.Develope("BAD", 3, kData, 4, nullptr, &out, &outL), 2);
  expect_error(h.since_mark(), "SsfDevelope() 2 : invalid format: 'BAD'");
  EXPECT_EQ(h.Develope("BAD", 3, kData, 4, rcpt, &out, &outL), 2);
  EXPECT_EQ(rcpt->uResult, 28);

  h.mark();
  EXPECT_EQ(h.Develope("PKCS7", 5, kData, 4, rcpt, &out, nullptr), 13);
  expect_error(h.since_mark(),
               "SsfDevelope() : (ostrOutputData == NULL) || (ostrOutputDataL == NULL)");
  h.DELSigRcpSsfInfo(&rcpt);
}

TEST(FrameChecks, Digest) {
  Host h;
  unsigned char* out = kSentinel;
  SsfInt outL = 3;
  EXPECT_EQ(h.Digest("BAD", 3, 0, kData, -5, "BAD", 3, &out, &outL), 3);
  EXPECT_EQ(out, nullptr);
  expect_error(h.since_mark(), "SsfDigest() 1 : (ostrInputData == NULL) || (ostrInputDataL <= 0)");

  h.mark();
  EXPECT_EQ(h.Digest("BAD", 3, 0, kData, 4, "BAD", 3, &out, &outL), 2);
  expect_error(h.since_mark(), "SsfDigest() 2 : invalid format: 'BAD'");

  h.mark();
  EXPECT_EQ(h.Digest("PKCS7", 5, 0, kData, 4, "sha1", 4, &out, &outL), 10);
  expect_error(h.since_mark(), "SsfDigest() 3 : invalid hash alg: 'sha1'");

  h.mark();
  EXPECT_EQ(h.Digest("PKCS7", 5, 0, kData, 4, "SHA1", 4, nullptr, nullptr), 13);
  expect_error(h.since_mark(),
               "SsfDigest() : (ostrDigestedData == NULL) || (ostrDigestedDataL == NULL)");

  h.mark();
  SsfInt rc = h.Digest("PKCS7", 5, 1, kData, 4, "SHA1", 4, &out, &outL);
  EXPECT_EQ(h.since_mark().find("SsfDigest() :"), std::string::npos);
  if (rc != 0) {
    EXPECT_EQ(out, nullptr);
  }
  h.DELSsfOctetstring(&out, &outL);
}

TEST(FrameChecks, EncodeDecode) {
  Host h;
  unsigned char* out = kSentinel;
  SsfInt outL = 3;
  EXPECT_EQ(h.Encode("BAD", 3, nullptr, 4, &out, &outL), 3);
  EXPECT_EQ(out, nullptr);
  expect_error(h.since_mark(), "SsfEncode() 1 : (ostrInputData == NULL) || (ostrInputDataL <= 0)");
  h.mark();
  EXPECT_EQ(h.Encode("base64", 6, kData, 4, &out, &outL), 2);
  expect_error(h.since_mark(), "SsfEncode() 2 : invalid format: 'base64'");
  h.mark();
  EXPECT_EQ(h.Encode("BASE64", 6, kData, 4, nullptr, &outL), 13);
  expect_error(h.since_mark(),
               "SsfEncode() : (ostrEncodedData == NULL) || (ostrEncodedDataL == NULL)");

  // Decode leaves the host's pair alone until its checks have passed.
  out = kSentinel;
  outL = 3;
  h.mark();
  EXPECT_EQ(h.Decode("BAD", 3, kData, 0, &out, &outL), 3);
  EXPECT_EQ(out, kSentinel);
  EXPECT_EQ(outL, 3);
  expect_error(h.since_mark(),
               "SsfDecode() : ( ostrEncodedDataL <= 0 ) || ( ostrEncodedData == NULL )");
  h.mark();
  EXPECT_EQ(h.Decode("BAD", 3, kData, 4, &out, &outL), 2);
  EXPECT_EQ(out, kSentinel);
  expect_error(h.since_mark(), "SsfDecode() 2 : invalid format: 'BAD'");
  h.mark();
  EXPECT_EQ(h.Decode("BASE64", 6, kData, 4, &out, nullptr), 13);
  expect_error(h.since_mark(),
               "SsfDecode() : (ostrOutputData == NULL) || (ostrOutputDataL == NULL)");

  // Failures of the operations leave null and 0 and their plain lines.
  h.mark();
  out = kSentinel;
  if (h.Encode("PKCS7", 5, kData, 4, &out, &outL) != 0) {
    EXPECT_EQ(out, nullptr);
    EXPECT_NE(h.since_mark().find("\nencode_data error\n"), std::string::npos);
  }
  h.DELSsfOctetstring(&out, &outL);
  h.mark();
  out = kSentinel;
  if (h.Decode("PKCS7", 5, kData, 4, &out, &outL) != 0) {
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(outL, 0);
    EXPECT_NE(h.since_mark().find("\ndecode error\n"), std::string::npos);
  }
  h.DELSsfOctetstring(&out, &outL);
}

TEST(FrameChecks, QueryProperties) {
  Host h;
  unsigned char* out = kSentinel;
  SsfInt outL = 3;
  EXPECT_EQ(h.QueryProperties(nullptr, 0, nullptr, 0, nullptr, &outL), 13);
  expect_error(h.since_mark(),
               "SsfQueryProperties() 1 : ( NULL == outputDataL ) || ( NULL == outputData )");
  h.mark();
  EXPECT_EQ(h.QueryProperties("FORMATS", 0, nullptr, 0, &out, &outL), 3);
  expect_error(h.since_mark(), "SsfQueryProperties() 2 : Input data is NULL");
  EXPECT_EQ(h.QueryProperties(nullptr, 7, nullptr, 0, &out, &outL), 3);
  SsfInt rc = h.QueryProperties("FORMATS", 7, nullptr, 0, &out, &outL);
  if (rc != 0) {
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(outL, 0);
  }
  h.DELSsfOctetstring(&out, &outL);
}

TEST(FrameChecks, Version) {
  Host h;
  SsfInt outL = 0;
  unsigned char* out = nullptr;
  EXPECT_EQ(h.Version(nullptr, &outL), 13);
  expect_error(h.since_mark(),
               "SsfVersion() 1 : ( NULL == outputDataL ) || ( NULL == outputData )");
  EXPECT_EQ(h.Version(&out, nullptr), 13);

  h.mark();
  ASSERT_EQ(h.Version(&out, &outL), 0);
  const std::string banner =
      "Orvel-SSF Server Linux Version 1.14.0.647; Used Russian cryptography standards: "
      "GOST R 34.11-2012, GOST R 34.10-2012, GOST R 34.11-94, GOST R 34.10-2001, GOST 28147-89";
  const std::string revision = "Revision number: 647 Repository URL: ssf/trunk";
  EXPECT_EQ(outL, 214);
  EXPECT_EQ(static_cast<size_t>(outL), banner.size() + 1 + revision.size());
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out), outL), banner + "\n" + revision);
  EXPECT_EQ(out[outL], '\0');
  EXPECT_NE(h.since_mark().find("SsfVersion() started, outputData = " + hex32(&out) +
                                ", outputDataL = " + hex32(&outL) + "\n"),
            std::string::npos);
  EXPECT_NE(h.since_mark().find("SsfVersion() end, retcode = 0\n"), std::string::npos);
  EXPECT_EQ(h.DELSsfOctetstring(&out, &outL), 0);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(outL, 0);
}

TEST(FrameChecks, EnhanceSignatures) {
  Host h;
  SigRcpSsfInformationList results = nullptr;
  unsigned char* out = nullptr;
  SsfInt outL = 0;
  EXPECT_EQ(h.EnhanceSignatures(nullptr, 0, kData, 0, nullptr, 0, &results, &out, &outL), 3);
  expect_error(h.since_mark(),
               "SsfEnhanceSignatures() 1 : (strSignedData == NULL) || (strSignedDataL <= 0)");
  h.mark();
  EXPECT_EQ(h.EnhanceSignatures(nullptr, 0, kData, 4, nullptr, 0, nullptr, &out, &outL), 3);
  expect_error(h.since_mark(), "SsfEnhanceSignatures() 2 : signerResultList is NULL");
  h.mark();
  EXPECT_EQ(h.EnhanceSignatures(nullptr, 0, kData, 4, nullptr, 0, &results, &out, nullptr), 3);
  expect_error(h.since_mark(),
               "SsfEnhanceSignatures() 3 : (ostrEnhancedSignData == NULL) || "
               "(ostrEnhancedSignDataL == NULL)");
  EXPECT_NE(h.since_mark().find("SsfEnhanceSignatures() begin, strPab = 0x"), std::string::npos);
}

TEST(FrameChecks, NoDebugLinesWithoutDebugMode) {
  Host h("debug_mode = no\n");
  unsigned char* out = nullptr;
  SsfInt outL = 0;
  ASSERT_EQ(h.Version(&out, &outL), 0);
  EXPECT_EQ(h.since_mark(), "");
  h.DELSsfOctetstring(&out, &outL);
}
