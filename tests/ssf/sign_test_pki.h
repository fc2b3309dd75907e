// Key stores for the signing tests: a root CA and signers whose keys and
// certificates are written as PEM files (key apart or in the certificate
// file, plain or encrypted) and as PKCS#12 files (AES and legacy RC2/3DES)
// made with the openssl command line; and openssl verification of results.
#ifndef ORVEL_TESTS_SIGN_TEST_PKI_H
#define ORVEL_TESTS_SIGN_TEST_PKI_H

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ossl_ptr.h"
#include "test_pki_builder.h"
#include "test_util.h"

namespace orvel_test {

inline constexpr char kKeyPassword[] = "Key-Pass 1";

// Everything about one signer on disk.
struct SignerFiles {
  std::string subject_text;  // the id as the library prints the subject
  std::string sha1_id;       // blank-separated lowercase SHA-1 id
  std::string cert_pem, key_pem, key_enc_pem, both_pem, both_enc_pem, p12_aes, p12_legacy;
  orvel::X509Ptr cert;

  std::string profile_pem() const { return "certfile=" + cert_pem + ",keyfile=" + key_pem; }
  std::string profile_pem_enc() const { return "certfile=" + cert_pem + ",keyfile=" + key_enc_pem; }
  std::string profile_both() const { return "certfile=" + both_pem; }
  std::string profile_both_enc() const { return "certfile=" + both_enc_pem; }
};

inline std::string sha1_id_of(X509* cert, bool blanks = true) {
  unsigned char md[20];
  unsigned n = 0;
  X509_digest(cert, EVP_sha1(), md, &n);
  std::string s;
  for (unsigned i = 0; i < n; ++i) {
    char b[4];
    snprintf(b, sizeof b, "%02x", md[i]);
    if (blanks && i) s += ' ';
    s += b;
  }
  return s;
}

// The subject in one line as the library prints it (ASCII names need no
// recoding).
inline std::string subject_text_of(X509* cert) {
  orvel::BioPtr bio(BIO_new(BIO_s_mem()));
  X509_NAME_print_ex(bio.get(), X509_get_subject_name(cert), 0,
                     XN_FLAG_SEP_CPLUS_SPC | XN_FLAG_DN_REV);
  char* p = nullptr;
  long n = BIO_get_mem_data(bio.get(), &p);
  return std::string(p, static_cast<size_t>(n));
}

inline void sh(const std::string& cmd) {
  std::string out;
  ASSERT_EQ(run_command(cmd, &out), 0) << cmd << "\n" << out;
}

// Writes the files of one signer issued by ca under dir with the prefix.
inline SignerFiles write_signer(const TempDir& dir, const pki::Authority& ca,
                                const std::string& name, pki::CertOptions opts = {}) {
  SignerFiles f;
  if (opts.subject == pki::CertOptions{}.subject)
    opts.subject = "CN=" + name + ",O=Orvel Test,C=RU";
  pki::Issued leaf = ca.issue(opts);
  f.subject_text = subject_text_of(leaf.cert.get());
  f.sha1_id = sha1_id_of(leaf.cert.get());
  const std::string base = dir.file(name);
  f.cert_pem = base + "-cert.pem";
  f.key_pem = base + "-key.pem";
  f.key_enc_pem = base + "-key-enc.pem";
  f.both_pem = base + "-both.pem";
  f.both_enc_pem = base + "-both-enc.pem";
  f.p12_aes = base + "-aes.p12";
  f.p12_legacy = base + "-legacy.p12";
  const std::string cert = pki::to_pem(leaf.cert.get());
  const std::string key = pki::key_to_pem(leaf.key.get());
  write_file(f.cert_pem, cert);
  write_file(f.key_pem, key);
  write_file(f.both_pem, cert + key);
  const std::string pass = std::string("pass:'") + kKeyPassword + "'";
  sh("openssl pkey -in '" + f.key_pem + "' -aes256 -passout " + pass + " -out '" + f.key_enc_pem +
     "'");
  write_file(f.both_enc_pem, cert + read_file(f.key_enc_pem));
  sh("openssl pkcs12 -export -inkey '" + f.key_pem + "' -in '" + f.cert_pem + "' -passout " + pass +
     " -out '" + f.p12_aes + "'");
  sh("openssl pkcs12 -export -legacy -inkey '" + f.key_pem + "' -in '" + f.cert_pem +
     "' -passout " + pass + " -out '" + f.p12_legacy + "'");
  f.cert = std::move(leaf.cert);
  return f;
}

inline std::string as_string(const unsigned char* p, int n) {
  return std::string(reinterpret_cast<const char*>(p), n > 0 ? static_cast<size_t>(n) : 0);
}

// Runs "openssl <tool> -verify" over a DER signature; true when it verifies
// and its content output equals expected. extra: more options.
inline bool openssl_verifies(const TempDir& dir, const std::string& tool, const std::string& der,
                             const std::string& ca_file, const std::string& expected,
                             const std::string& extra = "", std::string* log = nullptr) {
  const std::string sig = dir.file("verify-in.der"), out = dir.file("verify-out.bin");
  write_file(sig, der);
  std::string output;
  const int rc =
      run_command("openssl " + tool + " -verify -binary -inform DER -in '" + sig + "' -CAfile '" +
                      ca_file + "' -purpose any -out '" + out + "' " + extra,
                  &output);
  if (log) *log = output;
  return rc == 0 && read_file(out) == expected;
}

// The PKCS#7 in DER.
inline orvel::Pkcs7Ptr parse_p7(const std::string& der) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(der.data());
  return orvel::Pkcs7Ptr(d2i_PKCS7(nullptr, &p, static_cast<long>(der.size())));
}

// DER PKCS#7 data ContentInfo holding bytes.
inline std::string wrap_data(const std::string& bytes) {
  orvel::Pkcs7Ptr p7(PKCS7_new());
  PKCS7_set_type(p7.get(), NID_pkcs7_data);
  ASN1_OCTET_STRING_set(p7->d.data, reinterpret_cast<const unsigned char*>(bytes.data()),
                        static_cast<int>(bytes.size()));
  unsigned char* der = nullptr;
  int n = i2d_PKCS7(p7.get(), &der);
  std::string s(reinterpret_cast<char*>(der), static_cast<size_t>(n));
  OPENSSL_free(der);
  return s;
}

}  // namespace orvel_test

#endif
