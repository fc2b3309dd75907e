// SsfAddSign through the loaded library: a second signer on attached and
// detached signatures, checked with the openssl command line, and every
// refusal of the operation.
#include <gtest/gtest.h>

#include <memory>

#include "sign_records.h"
#include "sign_test_pki.h"

namespace orvel_test {
namespace {

constexpr char kDocumentBytes[] = "Co-signed document\n\x00\x01 binary tail";
const std::string kDocument(kDocumentBytes, sizeof kDocumentBytes - 1);

class AddSignTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = std::make_unique<pki::Authority>(pki::Authority::root());
    ca_file_ = keys_.file("ca.pem");
    write_file(ca_file_, pki::to_pem(root_->cert()));
    alice_ = write_signer(keys_, *root_, "Alice Signer");
    bob_ = write_signer(keys_, *root_, "Bob Signer");
    write_file(keys_.file("doc.bin"), kDocument);
  }

  // Alice's signature over the document.
  std::string first(const std::string& format = "PKCS7", bool detached = false) {
    Records r(host_);
    r.add(alice_.subject_text, alice_.profile_pem());
    Output out(host_);
    EXPECT_EQ(host_sign(host_, format, wrap_data(kDocument), r, &out, true, detached), 0);
    return out.str();
  }

  int add(const std::string& format, const std::string& sig, const std::string& input, Output* out,
          int* result, const std::string& password = kKeyPassword,
          const std::string& profile = "") {
    Records r(host_);
    SigRcpSsfInfo* rec = r.add(bob_.sha1_id, profile.empty() ? bob_.p12_legacy : profile, password);
    int rc = host_add_sign(host_, format, sig, input, rec, out);
    *result = rec->uResult;
    return rc;
  }

  Host host_;
  TempDir keys_;
  std::unique_ptr<pki::Authority> root_;
  std::string ca_file_;
  SignerFiles alice_, bob_;
};

TEST_F(AddSignTest, SecondSignerOnAttachedSignature) {
  const std::string sig = first();
  for (const std::string& input : {std::string(), wrap_data(kDocument)}) {
    Output out(host_);
    int result = -1;
    ASSERT_EQ(add("PKCS7", sig, input, &out, &result), 0) << host_.since_mark();
    EXPECT_EQ(result, 0);
    auto p7 = parse_p7(out.str());
    ASSERT_TRUE(p7);
    EXPECT_EQ(sk_PKCS7_SIGNER_INFO_num(PKCS7_get_signer_info(p7.get())), 2);
    std::string log;
    EXPECT_TRUE(openssl_verifies(keys_, "cms", out.str(), ca_file_, kDocument, "", &log)) << log;
    EXPECT_TRUE(openssl_verifies(keys_, "smime", out.str(), ca_file_, kDocument, "", &log)) << log;
  }
}

TEST_F(AddSignTest, SecondSignerOnDetachedSignature) {
  const std::string sig = first("CADES_BES", true);
  Output out(host_);
  int result = -1;
  ASSERT_EQ(add("CADES_BES", sig, wrap_data(kDocument), &out, &result), 0) << host_.since_mark();
  auto p7 = parse_p7(out.str());
  ASSERT_TRUE(p7);
  EXPECT_TRUE(PKCS7_is_detached(p7.get()));
  std::string log;
  // Both signers carry signingCertificateV2.
  EXPECT_TRUE(openssl_verifies(keys_, "cms", out.str(), ca_file_, kDocument,
                               "-cades -content '" + keys_.file("doc.bin") + "'", &log))
      << log;
}

TEST_F(AddSignTest, CadesSignerBesidePlainOne) {
  Output out(host_);
  int result = -1;
  ASSERT_EQ(add("CADES_BES", first(), "", &out, &result), 0);
  auto p7 = parse_p7(out.str());
  ASSERT_TRUE(p7);
  const int v2 = OBJ_txt2nid("1.2.840.113549.1.9.16.2.47");
  auto* infos = PKCS7_get_signer_info(p7.get());
  EXPECT_EQ(PKCS7_get_signed_attribute(sk_PKCS7_SIGNER_INFO_value(infos, 0), v2), nullptr);
  EXPECT_NE(PKCS7_get_signed_attribute(sk_PKCS7_SIGNER_INFO_value(infos, 1), v2), nullptr);
  EXPECT_TRUE(openssl_verifies(keys_, "cms", out.str(), ca_file_, kDocument));
}

TEST_F(AddSignTest, DataMismatchAndMissingDataGiveThree) {
  Output out(host_);
  int result = -1;
  EXPECT_EQ(add("PKCS7", first(), wrap_data("another text"), &out, &result), 3);
  EXPECT_NE(
      host_.since_mark().find("add_sign_data() 6: attached and provided datasets are different"),
      std::string::npos);
  EXPECT_EQ(out.data, nullptr);
  EXPECT_EQ(add("PKCS7", first("PKCS7", true), "", &out, &result), 3);
  EXPECT_NE(host_.since_mark().find("add_sign_data() 4 : no original data provided"),
            std::string::npos);
  EXPECT_EQ(out.data, nullptr);
  EXPECT_EQ(add("PKCS7", first("PKCS7", true), "not PKCS#7", &out, &result), 12);
}

TEST_F(AddSignTest, InputThatIsNoSignedDataGivesTwo) {
  Output out(host_);
  int result = -1;
  EXPECT_EQ(add("PKCS7", wrap_data(kDocument), "", &out, &result), 2);
  EXPECT_NE(host_.since_mark().find("add_sign_data() 3 : PKCS7 has invalid format"),
            std::string::npos);
  EXPECT_EQ(add("PKCS7", "\x30\x03\x02\x01", "", &out, &result), 2);
  EXPECT_EQ(out.data, nullptr);
}

// Truncated and altered signatures and inputs: a code, never a crash, and
// no output unless the call succeeded.
TEST_F(AddSignTest, DamagedInputsGetCodes) {
  const std::string sig = first();
  Records r(host_);
  SigRcpSsfInfo* rec = r.add(bob_.subject_text, bob_.profile_pem());
  for (size_t n = 1; n < sig.size(); n += 7) {
    Output out(host_);
    const int rc = host_add_sign(host_, "PKCS7", sig.substr(0, n), "", rec, &out);
    EXPECT_TRUE(rc == 2 || rc == 3 || rc == 5 || rc == 12) << n << ": " << rc;
    EXPECT_EQ(out.data, nullptr);
  }
  for (size_t i = 0; i < sig.size(); i += 13) {
    std::string bad = sig;
    bad[i] = static_cast<char>(bad[i] ^ 0x5a);
    Output out(host_);
    const int rc = host_add_sign(host_, "PKCS7", bad, "", rec, &out);
    if (rc != 0) {
      EXPECT_EQ(out.data, nullptr);
    }
  }
  const std::string data = wrap_data(kDocument);
  Records signers(host_);
  signers.add(alice_.subject_text, alice_.profile_pem());
  for (size_t n = 1; n < data.size(); ++n) {
    Output out(host_);
    EXPECT_EQ(host_sign(host_, "PKCS7", data.substr(0, n), signers, &out), 12) << n;
  }
}

TEST_F(AddSignTest, FailingSignerGivesFiveWithItsReason) {
  Output out(host_);
  int result = -1;
  EXPECT_EQ(add("PKCS7", first(), "", &out, &result, "wrong"), 5);
  EXPECT_EQ(result, 25);
  EXPECT_EQ(out.data, nullptr);
  EXPECT_EQ(add("PKCS7", first(), "", &out, &result, "", alice_.profile_pem()), 5);
  EXPECT_EQ(result, 22);  // Bob's id, Alice's certificate
}

TEST_F(AddSignTest, EnhancedFormatFailsWithoutOutput) {
  // No "user1.pem" in the working directory: the enhancement gets an empty
  // store, and until it exists the call fails.
  Output out(host_);
  int result = -1;
  EXPECT_EQ(add("PKCS7_CADES", first(), "", &out, &result), 5);
  EXPECT_NE(result, 0);
  EXPECT_EQ(out.data, nullptr);
  const std::string log = host_.since_mark();
  EXPECT_NE(log.find("add_sign_data() 7 : WARNING: LoadCertificatesFromPAB() failed"),
            std::string::npos);
  EXPECT_NE(log.find("EnhanceSignature( '" + bob_.subject_text + "' ) failed, idx = 1"),
            std::string::npos);
}

}  // namespace
}  // namespace orvel_test
