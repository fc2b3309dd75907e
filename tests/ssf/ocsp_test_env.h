// A loopback PKI for the OCSP and time-stamp tests: a root CA, an OCSP
// responder certificate (OCSP signing, no-check), end certificates naming
// responders, an `openssl ocsp` index, and a time-stamp authority
// certificate with its `openssl ts` configuration.
#ifndef ORVEL_TESTS_OCSP_TEST_ENV_H
#define ORVEL_TESTS_OCSP_TEST_ENV_H

#include <openssl/bn.h>
#include <openssl/ocsp.h>
#include <openssl/x509v3.h>

#include <ctime>
#include <string>
#include <vector>

#include "keys_test_env.h"
#include "ossl_ptr.h"
#include "test_ocsp_tsa.h"
#include "test_pki_builder.h"
#include "test_util.h"

namespace orvel_test {

inline std::string serial_hex(X509* cert) {
  orvel::BigNumPtr bn(ASN1_INTEGER_to_BN(X509_get0_serialNumber(cert), nullptr));
  char* hex = BN_bn2hex(bn.get());
  std::string s(hex);
  OPENSSL_free(hex);
  return s;
}

inline std::string subject_slashes(X509* cert) {
  char* text = X509_NAME_oneline(X509_get_subject_name(cert), nullptr, 0);
  std::string s(text);
  OPENSSL_free(text);
  return s;
}

inline orvel::Asn1TimePtr gentime(time_t t) {
  return orvel::Asn1TimePtr(ASN1_GENERALIZEDTIME_set(nullptr, t));
}

class OcspPki {
 public:
  OcspPki() : root_(pki::Authority::root()) {
    pki::CertOptions r;
    r.subject = "CN=Orvel Test OCSP,O=Orvel Test,C=RU";
    r.key_usage = "critical,digitalSignature";
    r.extensions = {{NID_ext_key_usage, "OCSPSigning"}, {NID_id_pkix_OCSP_noCheck, "ignored"}};
    responder_ = root_.issue(r);
    write_file(root_pem(), pki::to_pem(root_.cert()));
    write_file(dir_.file("ocsp.pem"), pki::to_pem(responder_.cert.get()));
    write_file(dir_.file("ocsp.key"), pki::key_to_pem(responder_.key.get()));
    write_file(index(), "");
  }

  const TempDir& dir() const { return dir_; }
  const pki::Authority& root() const { return root_; }
  std::string root_pem() const { return dir_.file("root.pem"); }
  std::string index() const { return dir_.file("index.txt"); }

  // An end certificate; aia: the authorityInfoAccess value (empty: none).
  pki::Issued leaf(const std::string& aia, std::vector<std::string> crl_urls = {}) const {
    pki::CertOptions o;
    o.subject = "CN=Orvel Test Leaf " + std::to_string(++count_) + ",O=Orvel Test,C=RU";
    if (!aia.empty()) o.extensions.push_back({NID_info_access, aia});
    o.crl_urls = std::move(crl_urls);
    return root_.issue(o);
  }

  // Lists the certificate in the index as valid or revoked.
  void list(X509* cert, bool revoked) const {
    std::string line = revoked ? "R\t" : "V\t";
    line += "391231235959Z\t";
    line += revoked ? "200101000000Z" : "";
    line += "\t" + serial_hex(cert) + "\tunknown\t" + subject_slashes(cert) + "\n";
    write_file(index(), read_file(index()) + line);
  }

  // A responder over the index; responder files by name (default: the
  // no-check responder).
  OcspResponder start(int port = 0, const std::vector<std::string>& extra = {"-nmin", "5"},
                      const std::string& rsigner = "ocsp") const {
    return OcspResponder(index(), root_pem(), dir_.file(rsigner + ".pem"),
                         dir_.file(rsigner + ".key"), extra, port);
  }

  // Another responder certificate, without the no-check extension.
  void add_plain_responder(const std::string& name) const {
    pki::CertOptions r;
    r.subject = "CN=Orvel Test OCSP Plain,O=Orvel Test,C=RU";
    r.key_usage = "critical,digitalSignature";
    r.extensions = {{NID_ext_key_usage, "OCSPSigning"}};
    pki::Issued plain = root_.issue(r);
    write_file(dir_.file(name + ".pem"), pki::to_pem(plain.cert.get()));
    write_file(dir_.file(name + ".key"), pki::key_to_pem(plain.key.get()));
  }

  // A store trusting the root.
  orvel::X509StorePtr store() const {
    orvel::X509StorePtr s(X509_STORE_new());
    X509_STORE_add_cert(s.get(), root_.cert());
    return s;
  }

 private:
  TempDir dir_;
  pki::Authority root_;
  pki::Issued responder_;
  mutable int count_ = 0;
};

}  // namespace orvel_test

#endif
