// GOST keys and certificates made by GnuTLS's certtool (an implementation
// independent of this library): a root CA and signers issued by it, as PEM
// files; and certtool's PKCS#7 verification and signing.
#ifndef ORVEL_TESTS_GOST_PKI_H
#define ORVEL_TESTS_GOST_PKI_H

#include <gtest/gtest.h>
#include <openssl/pem.h>

#include <string>

#include "ossl_ptr.h"
#include "sign_test_pki.h"
#include "test_util.h"

namespace orvel_test {

// One certtool key with its certificate on disk.
struct GostParty {
  std::string key_pem, cert_pem, subject_text, sha1_id;
  orvel::X509Ptr cert;
  std::string profile() const { return "certfile=" + cert_pem + ",keyfile=" + key_pem; }
};

// certtool accepts GOST R 34.10-2001 signatures only when told to.
inline std::string certtool_cmd(const std::string& key_type) {
  return key_type == "gost01" ? "certtool --verify-allow-broken " : "certtool ";
}

// A certtool key of key_type ("gost12-256", "gost12-512", "gost01"; curve
// optional) and a certificate for it: self-signed as a CA when issuer is
// null, else issued by issuer. extra: more template lines.
inline GostParty make_gost_party(const TempDir& dir, const std::string& name,
                                 const std::string& key_type, const GostParty* issuer,
                                 const std::string& curve = "", const std::string& extra = "") {
  GostParty p;
  const std::string base = dir.file(name);
  p.key_pem = base + ".key";
  p.cert_pem = base + ".pem";
  sh("certtool --generate-privkey --key-type " + key_type +
     (curve.empty() ? "" : " --curve " + curve) + " --outfile '" + p.key_pem + "' 2>&1");
  // A "dn = ..." line in extra names the subject instead of name.
  std::string tmpl =
      extra.rfind("dn =", 0) == 0
          ? std::string()
          : "cn = \"" + name + "\"\norganization = \"Orvel GOST Test\"\ncountry = RU\n";
  tmpl += "serial = " + std::to_string(rand() % 100000 + 2) + "\nexpiration_days = 3650\n" + extra;
  tmpl += issuer ? "signing_key\n" : "ca\ncert_signing_key\ncrl_signing_key\n";
  write_file(base + ".tmpl", tmpl);
  if (issuer) {
    sh("certtool --generate-certificate --load-privkey '" + p.key_pem + "' --load-ca-privkey '" +
       issuer->key_pem + "' --load-ca-certificate '" + issuer->cert_pem + "' --template '" + base +
       ".tmpl' --outfile '" + p.cert_pem + "' 2>&1");
  } else {
    sh("certtool --generate-self-signed --load-privkey '" + p.key_pem + "' --template '" + base +
       ".tmpl' --outfile '" + p.cert_pem + "' 2>&1");
  }
  orvel::BioPtr bio(BIO_new_file(p.cert_pem.c_str(), "r"));
  p.cert.reset(bio ? PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr) : nullptr);
  EXPECT_TRUE(p.cert) << p.cert_pem;
  if (p.cert) {
    p.subject_text = subject_text_of(p.cert.get());
    p.sha1_id = sha1_id_of(p.cert.get());
  }
  return p;
}

// certtool --p7-verify of a DER signature against the CA; detached
// signatures get the content file. True when certtool accepts it.
inline bool certtool_verifies(const TempDir& dir, const std::string& key_type,
                              const std::string& der, const std::string& ca_pem,
                              const std::string& content_file = "", std::string* log = nullptr) {
  const std::string sig = dir.file("certtool-verify.der");
  write_file(sig, der);
  std::string out;
  const int rc =
      run_command(certtool_cmd(key_type) + "--p7-verify --inder --infile '" + sig +
                      "' --load-ca-certificate '" + ca_pem + "'" +
                      (content_file.empty() ? "" : " --load-data '" + content_file + "'") + " 2>&1",
                  &out);
  if (log) *log = out;
  return rc == 0;
}

// certtool --p7-sign of a file with a party's key; DER.
inline std::string certtool_sign(const TempDir& dir, const GostParty& who,
                                 const std::string& content_file, bool detached) {
  const std::string out = dir.file("certtool-sig.der");
  sh(std::string("certtool ") + (detached ? "--p7-detached-sign " : "--p7-sign ") +
     "--load-privkey '" + who.key_pem + "' --load-certificate '" + who.cert_pem + "' --infile '" +
     content_file + "' --outder --outfile '" + out + "' 2>&1");
  return read_file(out);
}

}  // namespace orvel_test

#endif
