// SsfVerify accepts what the library and the openssl command line sign:
// result 0 for every signer and the content handed back.
#include <gtest/gtest.h>

#include "verify_fixture.h"

namespace orvel_test {
namespace {

class VerifyAccept : public VerifyTest {
 protected:
  void SetUp() override {
    VerifyTest::SetUp();
    bob_ = write_signer(keys_, *root_, "Bob Signer");
  }

  // Verifies with every format that must accept it; all signers valid and
  // the content handed back.
  void expect_valid(const std::string& sig, int signers, const std::vector<std::string>& formats,
                    bool detached = false) {
    for (const auto& format : formats) {
      Results res(host_);
      Output out(host_);
      const std::string input = detached ? wrap_data(kVerifyDocument) : std::string();
      EXPECT_EQ(verify(format, sig, input, &res, &out), 0) << format << log();
      ASSERT_EQ(res.size(), signers) << format;
      for (int i = 0; i < signers; ++i) EXPECT_EQ(res.result(i), 0) << format << " signer " << i;
      // Attached: the content wrapped as data; detached: the input as given.
      EXPECT_EQ(out.str(), wrap_data(kVerifyDocument)) << format;
    }
  }

  SignerFiles bob_;
};

const std::vector<std::string> kPlainFormats = {"PKCS7", "PKCS7_ANY", "BASE64"};
const std::vector<std::string> kEssFormats = {"PKCS7", "PKCS7_ANY", "CADES_BES", "BASE64"};

TEST_F(VerifyAccept, LibrarySignaturesAttachedAndDetached) {
  for (bool detached : {false, true}) {
    expect_valid(library_sign("PKCS7", {&alice_}, detached), 1, kPlainFormats, detached);
    expect_valid(library_sign("CADES_BES", {&alice_, &bob_}, detached), 2, kEssFormats, detached);
  }
}

TEST_F(VerifyAccept, CoSignaturesOfAddSign) {
  for (bool detached : {false, true}) {
    const std::string first = library_sign("CADES_BES", {&alice_}, detached);
    Records r(host_);
    SigRcpSsfInfo* bob = r.add(bob_.subject_text, bob_.profile_pem());
    Output co(host_);
    ASSERT_EQ(host_add_sign(host_, "CADES_BES", first, detached ? wrap_data(kVerifyDocument) : "",
                            bob, &co),
              0)
        << host_.since_mark();
    expect_valid(co.str(), 2, kEssFormats, detached);
  }
}

struct OpensslCase {
  const char* name;
  const char* tool;
  const char* options;
  bool cades;
};

const OpensslCase kOpenssl[] = {
    {"SmimeSha1", "smime", "-md sha1", false},
    {"SmimeSha256", "smime", "-md sha256", false},
    {"CmsSha1", "cms", "-md sha1", false},
    {"CmsSha256", "cms", "-md sha256", false},
    {"CmsSha512", "cms", "-md sha512", false},
    {"CmsNoAttributes", "cms", "-md sha256 -noattr", false},
    {"CadesSha256", "cms", "-md sha256 -cades", true},
    // With SHA-1 openssl writes the version 1 signingCertificate, which
    // CADES_BES does not take (below); the other formats do not look at it.
    {"CadesSha1", "cms", "-md sha1 -cades", false},
    {"CadesSha384", "cms", "-md sha384 -cades", true},
};

class VerifyOpenssl : public VerifyAccept,
                      public ::testing::WithParamInterface<std::tuple<OpensslCase, bool>> {};

TEST_P(VerifyOpenssl, OneAndTwoSigners) {
  const auto& [c, detached] = GetParam();
  const auto formats = c.cades ? kEssFormats : kPlainFormats;
  expect_valid(openssl_sign(c.tool, alice_, c.options, detached), 1, formats, detached);
  const std::string two =
      std::string(c.options) + " -signer '" + bob_.cert_pem + "' -inkey '" + bob_.key_pem + "'";
  expect_valid(openssl_sign(c.tool, alice_, two, detached), 2, formats, detached);
}

INSTANTIATE_TEST_SUITE_P(Tools, VerifyOpenssl,
                         ::testing::Combine(::testing::ValuesIn(kOpenssl), ::testing::Bool()),
                         [](const auto& p) {
                           return std::string(std::get<0>(p.param).name) +
                                  (std::get<1>(p.param) ? "Detached" : "Attached");
                         });

TEST_F(VerifyAccept, CadesSha256CertIdWithoutHashAlgorithm) {
  // SHA-256 is the default of ESSCertIDv2: openssl leaves hashAlgorithm out.
  const std::string sig = openssl_sign("cms", alice_, "-md sha256 -cades");
  auto p7 = parse_p7(sig);
  ASSERT_TRUE(p7);
  auto* si = sk_PKCS7_SIGNER_INFO_value(PKCS7_get_signer_info(p7.get()), 0);
  ASN1_TYPE* v2 = PKCS7_get_signed_attribute(si, NID_id_smime_aa_signingCertificateV2);
  ASSERT_TRUE(v2 && v2->type == V_ASN1_SEQUENCE);
  // SEQUENCE { SEQUENCE OF { SEQUENCE { OCTET STRING (32) ... } } }: the
  // first element of the ESSCertIDv2 is the hash value itself.
  const unsigned char* d = v2->value.sequence->data;
  ASSERT_GT(v2->value.sequence->length, 8);
  EXPECT_EQ(d[6], 0x04);
  EXPECT_EQ(d[7], 0x20);
  expect_valid(sig, 1, {"CADES_BES"});
}

TEST_F(VerifyAccept, CadesBesWantsSigningCertificateV2) {
  const std::string sig = openssl_sign("cms", alice_, "-md sha1 -cades");
  Results res(host_);
  Output out(host_);
  EXPECT_EQ(verify("CADES_BES", sig, "", &res, &out), 5);
  EXPECT_EQ(res.result(0), 27);
  EXPECT_TRUE(
      logged("check_ess_signing_cert() 2 : neither OtherSigningCertificate nor "
             "SigningCertificateV2 attribute found"));
}

TEST_F(VerifyAccept, SignerCertificateFromPabWithoutMessageCertificates) {
  // Without the message's certificates the PAB must hold the signer's own.
  const std::string sig = openssl_sign("cms", alice_, "-md sha256 -nocerts");
  write_file(pab_ + "/alice.pem", read_file(alice_.cert_pem));
  Results res(host_);
  Output out(host_);
  EXPECT_EQ(verify("PKCS7", sig, "", &res, &out, false), 0) << log();
  EXPECT_EQ(res.result(0), 0);
}

TEST_F(VerifyAccept, AttachedWithMatchingInputAndThroughTheHost) {
  const std::string sig = library_sign("PKCS7", {&alice_});
  Results res(host_);
  Output out(host_);
  EXPECT_EQ(verify("PKCS7", sig, wrap_data(kVerifyDocument), &res, &out), 0) << log();
  EXPECT_TRUE(
      logged("ssf_verify_data() : included_len = " + std::to_string(kVerifyDocument.size())));
  // The stand-in host: records, output and exit status.
  write_file(keys_.file("sig.p7"), sig);
  std::string text;
  EXPECT_EQ(
      run_command("ORVEL_LIBRARY='" + library_path() + "' '" + ssfhost_path() +
                      "' verify --format PKCS7_ANY --use-certs --signed '" + keys_.file("sig.p7") +
                      "' --pab '" + pab_ + "' --out '" + keys_.file("out.p7") + "'",
                  &text),
      0)
      << text;
  EXPECT_NE(text.find("record 1: signer '" + alice_.subject_text + "'"), std::string::npos) << text;
  EXPECT_NE(text.find("record 1: uResult = 0 (Signature is valid)"), std::string::npos) << text;
  EXPECT_EQ(read_file(keys_.file("out.p7")), wrap_data(kVerifyDocument));
}

TEST_F(VerifyAccept, RecordsAreAppendedBehindTheHostsList) {
  const std::string sig = library_sign("PKCS7", {&alice_, &bob_});
  Results res(host_);
  SigRcpSsfInfo* first = nullptr;
  ASSERT_EQ(host_.NEWSigRcpSsfInfo("earlier", 7, nullptr, 0, nullptr, 0, "Host-Pw-3", 9, 0, &first),
            0);
  ASSERT_EQ(host_.INSSigRcpSsfInfo(first, &res.head), 0);
  Output out(host_);
  EXPECT_EQ(verify("PKCS7", sig, "", &res, &out), 0);
  ASSERT_EQ(res.size(), 3);
  EXPECT_EQ(res.id(0), "earlier");
  EXPECT_EQ(res.id(1), alice_.subject_text);
  EXPECT_EQ(res.id(2), bob_.subject_text);
  EXPECT_TRUE(logged("Total signers: 3\n"));
  // A record the host brought along shows no digest of its password.
  EXPECT_TRUE(logged("\tID: 'earlier'\n\tFingerprint: N/A\n"));
}

}  // namespace
}  // namespace orvel_test
