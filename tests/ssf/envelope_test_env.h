// Envelope tests through the loaded library: RSA recipients issued by a
// test CA, GOST recipients issued by a certtool CA or from the fixed
// certtool keys, their PAB directory, and calls of SsfEnvelope and
// SsfDevelope. Only GOST recipients develope; RSA recipients are refused.
#ifndef ORVEL_TESTS_ENVELOPE_TEST_ENV_H
#define ORVEL_TESTS_ENVELOPE_TEST_ENV_H

#include <gtest/gtest.h>
#include <openssl/pem.h>
#include <openssl/pkcs7.h>

#include <memory>
#include <string>
#include <vector>

#include "frame_host.h"
#include "gost_pki.h"
#include "sign_test_pki.h"
#include "test_pki_builder.h"

namespace orvel_test {

inline constexpr char kDocument[] = "The document to envelope.\n";

// A recipient on disk: certificate and key PEM files.
struct Recipient {
  std::string cert_pem, key_pem, subject_text, sha1_id;
  orvel::X509Ptr cert;
  std::string profile() const { return "certfile=" + cert_pem + ",keyfile=" + key_pem; }
};

// The certificate as a PEM text from a file.
inline orvel::X509Ptr read_cert(const std::string& path) {
  orvel::BioPtr bio(BIO_new_file(path.c_str(), "r"));
  return orvel::X509Ptr(bio ? PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr) : nullptr);
}

inline Recipient recipient_from_files(const std::string& cert_pem, const std::string& key_pem) {
  Recipient r;
  r.cert_pem = cert_pem;
  r.key_pem = key_pem;
  r.cert = read_cert(cert_pem);
  if (r.cert) {
    r.subject_text = subject_text_of(r.cert.get());
    r.sha1_id = sha1_id_of(r.cert.get());
  }
  return r;
}

// An RSA recipient issued by the CA, written under dir.
inline Recipient write_rsa_recipient(const TempDir& dir, const pki::Authority& ca,
                                     const std::string& name, pki::CertOptions opts = {}) {
  opts.subject = "CN=" + name + ",O=Orvel Test,C=RU";
  pki::Issued leaf = ca.issue(opts);
  write_file(dir.file(name + "-cert.pem"), pki::to_pem(leaf.cert.get()));
  write_file(dir.file(name + "-key.pem"), pki::key_to_pem(leaf.key.get()));
  return recipient_from_files(dir.file(name + "-cert.pem"), dir.file(name + "-key.pem"));
}

// A GOST recipient (certtool key, "gost12-256" unless told otherwise)
// issued by a GOST CA, written under dir; extra: more template lines.
inline Recipient write_gost_recipient(const TempDir& dir, const GostParty& ca,
                                      const std::string& name,
                                      const std::string& key_type = "gost12-256",
                                      const std::string& extra = "") {
  GostParty p = make_gost_party(dir, name, key_type, &ca, "", extra);
  return recipient_from_files(p.cert_pem, p.key_pem);
}

// A fixed GOST key and its self-signed certificate from the test data
// ("gost12-256_CryptoPro-A" and the like).
inline Recipient gost_recipient(const std::string& name) {
  const std::string base = data_dir() + "/gost_keys/" + name;
  return recipient_from_files(base + ".pem", base + ".key");
}

// The outcome of one call: return code, output bytes, records' results.
struct Outcome {
  SsfInt rc = -1;
  std::string output;
  std::vector<SsfInt> results;
};

class EnvelopeTest : public ::testing::Test {
 protected:
  explicit EnvelopeTest(const std::string& extra_config = "") : host_(extra_config) {
    pab_ = host_.dir.file("pab");
    mkdir(pab_.c_str(), 0700);
  }
  static const pki::Authority& ca() {
    static const pki::Authority root = pki::Authority::root();
    return root;
  }
  // A GOST CA made with certtool on first use.
  const GostParty& gost_ca() {
    if (!gost_ca_)
      gost_ca_ = std::make_unique<GostParty>(
          make_gost_party(host_.dir, "Orvel GOST Root", "gost12-256", nullptr));
    return *gost_ca_;
  }
  void add_to_pab(const Recipient& r, const std::string& file) {
    write_file(pab_ + "/" + file, read_file(r.cert_pem));
  }
  // The host's data wrapped as PKCS#7 data.
  std::string wrap(const std::string& text) {
    OctetString out(host_);
    host_.Encode("PKCS7", 5, reinterpret_cast<const unsigned char*>(text.data()),
                 SsfInt(text.size()), &out.data, &out.len);
    return as_string(out.data, out.len);
  }
  // The PKCS#7 data content, or "<not data>".
  static std::string unwrap(const std::string& der) {
    orvel::Pkcs7Ptr p7 = parse_p7(der);
    if (!p7 || !PKCS7_type_is_data(p7.get()) || p7->d.data == nullptr) return "<not data>";
    return as_string(p7->d.data->data, p7->d.data->length);
  }
  Outcome envelope(const std::vector<std::string>& ids, const std::string& input,
                   const char* pab = nullptr, SsfInt pab_len = -1) {
    RecordList list(host_);
    for (const auto& id : ids) EXPECT_EQ(list.add(id, "", ""), 0) << id.size();
    OctetString out(host_);
    const std::string p = pab ? pab : pab_;
    Outcome o;
    o.rc = host_.Envelope(
        "PKCS7", 5, "GOST-28147-89", 13, reinterpret_cast<const unsigned char*>(input.data()),
        SsfInt(input.size()), pab_len == -2 ? nullptr : p.data(),
        pab_len >= 0 ? pab_len : SsfInt(p.size()), "", 0, list.head(), &out.data, &out.len);
    o.output = as_string(out.data, out.len);
    for (auto* e = list.head(); e; e = e->next) o.results.push_back(e->ptrSigRcp->uResult);
    return o;
  }
  Outcome develope(const Recipient& r, const std::string& enveloped, const std::string& id = "") {
    RecordList list(host_);
    EXPECT_EQ(list.add(id.empty() ? r.subject_text : id, r.profile(), ""), 0);
    OctetString out(host_);
    Outcome o;
    o.rc = host_.Develope("PKCS7", 5, reinterpret_cast<const unsigned char*>(enveloped.data()),
                          SsfInt(enveloped.size()), list.head()->ptrSigRcp, &out.data, &out.len);
    o.output = as_string(out.data, out.len);
    o.results.push_back(list.head()->ptrSigRcp->uResult);
    return o;
  }

  Host host_;
  std::string pab_;
  std::unique_ptr<GostParty> gost_ca_;
};

}  // namespace orvel_test

#endif
