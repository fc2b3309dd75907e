// GOST R 34.10-2012 signing and verification through the loaded library,
// both ways against GnuTLS: SsfSign/SsfAddSign output checked with
// certtool --p7-verify, certtool --p7-sign output checked with SsfVerify.
#include <gtest/gtest.h>

#include <memory>

#include "gost_pki.h"
#include "verify_fixture.h"

namespace orvel_test {
namespace {

const std::string kGostDocument = "A GOST-signed document.\r\nWith \x01\x02 bytes.\n";

struct KeyCase {
  const char* name;
  const char* key_type;
  const char* curve;
  const char* digest_oid;  // the digest the key type requires
};

void PrintTo(const KeyCase& k, std::ostream* os) { *os << k.name; }

const KeyCase kKeys[] = {
    {"Gost2012_256", "gost12-256", "", "1.2.643.7.1.1.2.2"},
    {"Gost2012_256_TC26B", "gost12-256", "TC26-256-B", "1.2.643.7.1.1.2.2"},
    {"Gost2012_512", "gost12-512", "", "1.2.643.7.1.1.2.3"},
    {"Gost2012_512_TC26A", "gost12-512", "TC26-512-A", "1.2.643.7.1.1.2.3"},
};

class GostSignTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = make_gost_party(keys_, "GOST Root CA", "gost12-256", nullptr);
    pab_ = keys_.file("pab");
    sh("mkdir -p '" + pab_ + "'");
    write_file(pab_ + "/root.pem", read_file(root_.cert_pem));
    doc_file_ = keys_.file("doc.bin");
    write_file(doc_file_, kGostDocument);
  }

  // SsfSign of the document by the parties (hash name "SHA1": the key type
  // decides).
  std::string library_sign(const std::string& format, const std::vector<const GostParty*>& who,
                           bool detached) {
    Records r(host_);
    for (const auto* p : who) r.add(p->subject_text, p->profile());
    Output out(host_);
    host_.mark();
    EXPECT_EQ(host_sign(host_, format, wrap_data(kGostDocument), r, &out, true, detached), 0)
        << host_.since_mark();
    for (size_t i = 0; i < who.size(); ++i) EXPECT_EQ(r.result(static_cast<int>(i)), 0);
    return out.str();
  }

  int library_verify(const std::string& sig, const std::string& input, Results* results,
                     Output* out) {
    host_.mark();
    return host_.Verify(
        "PKCS7", 5, 1, reinterpret_cast<const unsigned char*>(sig.data()),
        static_cast<SsfInt>(sig.size()),
        input.empty() ? nullptr : reinterpret_cast<const unsigned char*>(input.data()),
        static_cast<SsfInt>(input.size()), pab_.data(), static_cast<SsfInt>(pab_.size()), nullptr,
        0, &results->head, &out->data, &out->len);
  }

  static std::string digest_oid_of(const std::string& sig, int signer) {
    auto p7 = parse_p7(sig);
    if (!p7) return "";
    auto* si = sk_PKCS7_SIGNER_INFO_value(PKCS7_get_signer_info(p7.get()), signer);
    if (si == nullptr) return "";
    char oid[64] = {};
    OBJ_obj2txt(oid, sizeof oid, si->digest_alg->algorithm, 1);
    return oid;
  }

  Host host_;
  TempDir keys_;
  GostParty root_;
  std::string pab_, doc_file_;
};

class GostKeys : public GostSignTest,
                 public ::testing::WithParamInterface<std::tuple<KeyCase, bool>> {};

TEST_P(GostKeys, LibrarySignatureVerifiesWithCerttoolAndLibrary) {
  const auto& [k, detached] = GetParam();
  GostParty signer = make_gost_party(keys_, "GOST Signer", k.key_type, &root_, k.curve);
  for (const char* format : {"PKCS7", "CADES_BES"}) {
    const std::string sig = library_sign(format, {&signer}, detached);
    ASSERT_FALSE(sig.empty()) << format;
    EXPECT_EQ(digest_oid_of(sig, 0), k.digest_oid) << format;
    std::string log;
    EXPECT_TRUE(
        certtool_verifies(keys_, k.key_type, sig, root_.cert_pem, detached ? doc_file_ : "", &log))
        << format << "\n"
        << log;
    Results res(host_);
    Output out(host_);
    ASSERT_EQ(library_verify(sig, detached ? wrap_data(kGostDocument) : "", &res, &out), 0)
        << host_.since_mark();
    ASSERT_EQ(res.size(), 1);
    EXPECT_EQ(res.result(0), 0) << host_.since_mark();
    EXPECT_EQ(res.id(0), signer.subject_text);
  }
}

TEST_P(GostKeys, CerttoolSignatureVerifiesWithLibrary) {
  const auto& [k, detached] = GetParam();
  GostParty signer = make_gost_party(keys_, "GOST Peer", k.key_type, &root_, k.curve);
  const std::string sig = certtool_sign(keys_, signer, doc_file_, detached);
  Results res(host_);
  Output out(host_);
  ASSERT_EQ(library_verify(sig, detached ? wrap_data(kGostDocument) : "", &res, &out), 0)
      << host_.since_mark();
  ASSERT_EQ(res.size(), 1);
  EXPECT_EQ(res.result(0), 0) << host_.since_mark();
  EXPECT_EQ(res.id(0), signer.subject_text);
  if (!detached) {
    EXPECT_EQ(out.str(), wrap_data(kGostDocument));
  }

  // One flipped content byte: the signature no longer holds.
  if (detached) {
    std::string other = kGostDocument;
    other[0] ^= 1;
    Results bad(host_);
    Output none(host_);
    EXPECT_NE(library_verify(sig, wrap_data(other), &bad, &none), 0);
    ASSERT_EQ(bad.size(), 1);
    EXPECT_NE(bad.result(0), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(AllKeys, GostKeys,
                         ::testing::Combine(::testing::ValuesIn(kKeys), ::testing::Bool()),
                         [](const ::testing::TestParamInfo<std::tuple<KeyCase, bool>>& pi) {
                           return std::string(std::get<0>(pi.param).name) +
                                  (std::get<1>(pi.param) ? "_Detached" : "_Attached");
                         });

// Two key sizes in one signedData: each SignerInfo has its own digest, and
// certtool accepts the whole.
TEST_F(GostSignTest, TwoKeySizesInOneSignatureAndCoSigning) {
  GostParty a = make_gost_party(keys_, "GOST Signer 256", "gost12-256", &root_);
  GostParty b = make_gost_party(keys_, "GOST Signer 512", "gost12-512", &root_);
  const std::string both = library_sign("PKCS7", {&a, &b}, false);
  EXPECT_EQ(digest_oid_of(both, 0), "1.2.643.7.1.1.2.2");
  EXPECT_EQ(digest_oid_of(both, 1), "1.2.643.7.1.1.2.3");
  std::string log;
  EXPECT_TRUE(certtool_verifies(keys_, "gost12-256", both, root_.cert_pem, "", &log)) << log;

  // SsfAddSign: the 512-bit signer co-signs a 256-bit signature.
  const std::string first = library_sign("PKCS7", {&a}, false);
  Records r(host_);
  SigRcpSsfInfo* rec = r.add(b.sha1_id, b.profile());
  Output out(host_);
  ASSERT_EQ(host_add_sign(host_, "PKCS7", first, "", rec, &out), 0) << host_.since_mark();
  EXPECT_EQ(rec->uResult, 0);
  const std::string cosigned = out.str();
  EXPECT_EQ(digest_oid_of(cosigned, 0), "1.2.643.7.1.1.2.2");
  EXPECT_EQ(digest_oid_of(cosigned, 1), "1.2.643.7.1.1.2.3");
  EXPECT_TRUE(certtool_verifies(keys_, "gost12-256", cosigned, root_.cert_pem, "", &log)) << log;
  Results res(host_);
  Output content(host_);
  ASSERT_EQ(library_verify(cosigned, "", &res, &content), 0) << host_.since_mark();
  ASSERT_EQ(res.size(), 2);
  EXPECT_EQ(res.result(0), 0);
  EXPECT_EQ(res.result(1), 0);
}

// A signature whose signer chains to a root missing from the PAB
// directory: the signature is whole but its certificate is not trusted.
TEST_F(GostSignTest, CerttoolSignatureFromUnknownRootIsNotTrusted) {
  GostParty other_root = make_gost_party(keys_, "Other GOST Root", "gost12-512", nullptr);
  GostParty signer = make_gost_party(keys_, "Stranger", "gost12-256", &other_root);
  const std::string sig = certtool_sign(keys_, signer, doc_file_, false);
  Results res(host_);
  Output out(host_);
  library_verify(sig, "", &res, &out);
  ASSERT_EQ(res.size(), 1);
  EXPECT_NE(res.result(0), 0);
}

}  // namespace
}  // namespace orvel_test
