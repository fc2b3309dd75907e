// Damaged signedData never crashes verification: truncations, bit flips,
// broken lengths and garbage, over signatures that reach every decoder of
// the verification path (signer infos, certificates, signed attributes,
// signing-certificate attributes, certValues). The suite's ASan build
// catches leaks and bad reads.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "verify_fixture.h"
#include "verify_signatures.h"

namespace orvel_test {
namespace {

class VerifyCorpus : public VerifyTest {
 protected:
  void SetUp() override {
    VerifyTest::SetUp();
    pki::Issued carol = root_->issue(cert_options("CN=Carol Signer,O=Orvel Test,C=RU"));
    X509* cert = carol.cert.get();
    EVP_PKEY* key = carol.key.get();
    P7Options cades = naming(cert);
    cades.signing_time = -60;
    bases_.push_back({sign_p7(cert, key, kVerifyDocument, cades), false});
    P7Options det = naming(cert);
    det.detached = true;
    bases_.push_back({sign_p7(cert, key, kVerifyDocument, det), true});
    // otherSigCert and certValues beside signingCertificateV2.
    const std::string der = pki::to_der(cert);
    bases_.push_back(
        {edit_signer(sign_p7(cert, key, kVerifyDocument, naming(cert)),
                     [&](PKCS7*, PKCS7_SIGNER_INFO* si) {
                       PKCS7_add_otherSigCert_attribute(si, cert, EVP_sha256());
                       const std::string v = "\x30\x82"s + static_cast<char>(der.size() >> 8) +
                                             static_cast<char>(der.size() & 0xff) + der;
                       ASN1_STRING* s = ASN1_STRING_new();
                       ASN1_STRING_set(s, v.data(), static_cast<int>(v.size()));
                       PKCS7_add_attribute(si, NID_id_smime_aa_ets_certValues, V_ASN1_SEQUENCE, s);
                     }),
         false});
    bases_.push_back({openssl_sign("cms", alice_, "-md sha256 -cades"), false});
  }

  // One damaged input through every format; only the allowed codes come back.
  void run(const std::string& sig, bool detached, int n) {
    static const char* kFormats[] = {"PKCS7", "CADES_BES", "PKCS7_ANY", "PKCS7_CADES", "BASE64"};
    static const std::set<int> kCodes = {0, 2, 3, 4, 5, 7, 12};
    static const std::set<int> kResults = {0, 22, 26, 27, 100};
    const std::string format = kFormats[n % 5];
    const std::string input = detached || n % 3 == 0 ? wrap_data(kVerifyDocument) : std::string();
    Results res(host_);
    Output out(host_);
    const int rc = verify(format, sig, input, &res, &out, n % 4 != 0);
    EXPECT_TRUE(kCodes.count(rc)) << rc << " case " << n;
    for (int i = 0; i < res.size(); ++i) {
      EXPECT_TRUE(kResults.count(res.result(i))) << res.result(i) << " case " << n;
      EXPECT_GT(res.at(i).strSigRcpIdL, 0);
      EXPECT_GT(res.at(i).strSigRcpProfileL, 0);
    }
    ++cases_;
  }

  struct Base {
    std::string der;
    bool detached;
  };
  std::vector<Base> bases_;
  int cases_ = 0;
};

TEST_F(VerifyCorpus, Truncations) {
  for (const auto& b : bases_) {
    const size_t len = b.der.size();
    for (size_t cut = 1; cut < len; cut += 1 + len / 60)
      run(b.der.substr(0, cut), b.detached, cases_);
    // Every one of the last bytes: the SignerInfos end there.
    for (size_t cut = len - 40; cut < len; ++cut) run(b.der.substr(0, cut), b.detached, cases_);
  }
  EXPECT_GE(cases_, 300);
}

TEST_F(VerifyCorpus, BitFlips) {
  std::mt19937 rng(20261209);
  for (const auto& b : bases_) {
    std::uniform_int_distribution<size_t> pos(0, b.der.size() - 1);
    for (int k = 0; k < 90; ++k) {
      std::string s = b.der;
      s[pos(rng)] ^= static_cast<char>(1u << (rng() % 8));
      if (k % 3 == 0) s[pos(rng)] ^= static_cast<char>(rng());
      run(s, b.detached, cases_);
    }
  }
  EXPECT_GE(cases_, 300);
}

TEST_F(VerifyCorpus, BrokenLengthsAndGarbage) {
  std::mt19937 rng(7);
  for (const auto& b : bases_) {
    // Every length octet that follows a SEQUENCE, SET, OCTET STRING or
    // context tag, made larger, smaller and indefinite.
    int done = 0;
    for (size_t i = 0; i + 1 < b.der.size() && done < 40; ++i) {
      const unsigned char tag = static_cast<unsigned char>(b.der[i]);
      if (tag != 0x30 && tag != 0x31 && tag != 0x04 && tag != 0xa0 && tag != 0xa1) continue;
      if (rng() % 4 != 0) continue;
      for (unsigned char v : {0x84, 0x80, 0x7f, 0x01}) {
        std::string s = b.der;
        s[i + 1] = static_cast<char>(v);
        run(s, b.detached, cases_);
      }
      ++done;
    }
  }
  for (int k = 0; k < 40; ++k) {
    std::string g(static_cast<size_t>(rng() % 3000), '\0');
    for (auto& c : g) c = static_cast<char>(rng());
    if (k % 2 == 0 && g.size() > 4) {
      g[0] = 0x30;
      g[1] = static_cast<char>(0x82);
      g[2] = static_cast<char>((g.size() - 4) >> 8);
      g[3] = static_cast<char>((g.size() - 4) & 0xff);
    }
    run(g, k % 4 == 0, cases_);
  }
  EXPECT_GE(cases_, 300);
}

}  // namespace
}  // namespace orvel_test
