// Verification tests: a host with a root CA, signers on disk, a PAB
// directory that trusts the root, signatures made by the library and by the
// openssl command line, and the result list the library hands back.
#ifndef ORVEL_TESTS_VERIFY_FIXTURE_H
#define ORVEL_TESTS_VERIFY_FIXTURE_H

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "sign_records.h"
#include "sign_test_pki.h"

namespace orvel_test {

using namespace std::string_literals;
inline const std::string kVerifyDocument = "Verified document.\r\nWith \x00\x01 binary bytes.\n"s;

// A verification result list, freed through SsfDELSigRcpSsfInfoList.
class Results {
 public:
  explicit Results(const Host& h) : host_(h) {}
  ~Results() {
    if (head) host_.DELSigRcpSsfInfoList(&head);
  }
  Results(const Results&) = delete;
  Results& operator=(const Results&) = delete;

  int size() const {
    int n = 0;
    for (auto* e = head; e; e = e->next) ++n;
    return n;
  }
  const SigRcpSsfInfo& at(int i) const {
    auto* e = head;
    while (i-- > 0 && e) e = e->next;
    EXPECT_TRUE(e && e->ptrSigRcp);
    static const SigRcpSsfInfo none{};
    return e && e->ptrSigRcp ? *e->ptrSigRcp : none;
  }
  int result(int i) const { return at(i).uResult; }
  std::string id(int i) const {
    return as_string(reinterpret_cast<const unsigned char*>(at(i).strSigRcpId), at(i).strSigRcpIdL);
  }
  std::string profile(int i) const {
    return as_string(reinterpret_cast<const unsigned char*>(at(i).strSigRcpProfile),
                     at(i).strSigRcpProfileL);
  }
  std::string cert_der(int i) const {
    return as_string(reinterpret_cast<const unsigned char*>(at(i).strSigRcpPassword),
                     at(i).strSigRcpPasswordL);
  }

  SigRcpSsfInformationList head = nullptr;

 private:
  const Host& host_;
};

class VerifyTest : public ::testing::Test {
 protected:
  explicit VerifyTest(const std::string& config = "") : host_(config) {}

  void SetUp() override {
    root_ = std::make_unique<pki::Authority>(pki::Authority::root());
    ca_file_ = keys_.file("ca.pem");
    write_file(ca_file_, pki::to_pem(root_->cert()));
    alice_ = write_signer(keys_, *root_, "Alice Signer");
    pab_ = keys_.file("pab");
    sh("mkdir -p '" + pab_ + "'");
    write_file(pab_ + "/root.pem", pki::to_pem(root_->cert()));
    write_file(keys_.file("doc.bin"), kVerifyDocument);
  }

  // SsfVerify; an empty input is absent.
  int verify(const std::string& format, const std::string& signed_data, const std::string& input,
             Results* results, Output* out, bool use_certs = true,
             const std::string* pab = nullptr) {
    const std::string& p = pab ? *pab : pab_;
    host_.mark();
    return host_.Verify(
        format.data(), static_cast<SsfInt>(format.size()), use_certs ? 1 : 0,
        reinterpret_cast<const unsigned char*>(signed_data.data()),
        static_cast<SsfInt>(signed_data.size()),
        input.empty() ? nullptr : reinterpret_cast<const unsigned char*>(input.data()),
        static_cast<SsfInt>(input.size()), p.data(), static_cast<SsfInt>(p.size()), nullptr, 0,
        &results->head, &out->data, &out->len);
  }

  // SsfSign of the document with the signers' PEM profiles.
  std::string library_sign(const std::string& format, const std::vector<const SignerFiles*>& who,
                           bool detached = false) {
    Records r(host_);
    for (const auto* s : who) r.add(s->subject_text, s->profile_pem());
    Output out(host_);
    EXPECT_EQ(host_sign(host_, format, wrap_data(kVerifyDocument), r, &out, true, detached), 0)
        << host_.since_mark();
    return out.str();
  }

  // "openssl <tool> -sign" of the document; extra: options such as -md,
  // -cades, more -signer/-inkey pairs.
  std::string openssl_sign(const std::string& tool, const SignerFiles& s,
                           const std::string& extra = "", bool detached = false) {
    const std::string out = keys_.file("openssl-sig.der");
    sh("openssl " + tool + " -sign -binary " + (detached ? "" : "-nodetach ") +
       "-outform DER -in '" + keys_.file("doc.bin") + "' -signer '" + s.cert_pem + "' -inkey '" +
       s.key_pem + "' -out '" + out + "' " + extra);
    return read_file(out);
  }

  std::string log() const { return host_.since_mark(); }
  bool logged(const std::string& s) const { return log().find(s) != std::string::npos; }

  Host host_;
  TempDir keys_;
  std::unique_ptr<pki::Authority> root_;
  std::string ca_file_, pab_;
  SignerFiles alice_;
};

}  // namespace orvel_test

#endif
