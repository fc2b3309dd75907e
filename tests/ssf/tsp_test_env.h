// Time-stamp authorities of the tests: `openssl ts -reply` behind the
// recording HTTP server, and one made in this process with the toolkit's
// TS_RESP_CTX (which takes the GOST digests the library registers).
#ifndef ORVEL_TESTS_TSP_TEST_ENV_H
#define ORVEL_TESTS_TSP_TEST_ENV_H

#include <openssl/ts.h>

#include <string>

#include "ocsp_test_env.h"

namespace orvel_test {

class TsaPki {
 public:
  TsaPki() {
    pki::CertOptions o;
    o.subject = "CN=Orvel Test TSA,O=Orvel Test,C=RU";
    o.key_usage = "critical,digitalSignature";
    o.extensions = {{NID_ext_key_usage, "critical,timeStamping"}};
    tsa_ = pki_.root().issue(o);
    write_file(pki_.dir().file("tsa.pem"), pki::to_pem(tsa_.cert.get()));
    write_file(pki_.dir().file("tsa.key"), pki::key_to_pem(tsa_.key.get()));
    write_file(pki_.dir().file("tsaserial"), "01\n");
    const std::string d = pki_.dir().path();
    write_file(config(), "[ tsa ]\ndefault_tsa = tsa_config1\n[ tsa_config1 ]\n"
                         "serial = " + d + "/tsaserial\ncrypto_device = builtin\n"
                         "signer_cert = " + d + "/tsa.pem\ncerts = " + d + "/root.pem\n"
                         "signer_key = " + d + "/tsa.key\nsigner_digest = sha256\n"
                         "default_policy = 1.2.3.4.1\nother_policies = 1.2.3.4.5\n"
                         "digests = sha1, sha256, sha384, sha512\naccuracy = secs:1\n"
                         "ordering = yes\ntsa_name = yes\ness_cert_id_chain = no\n"
                         "ess_cert_id_alg = sha1\n");
  }
  std::string config() const { return pki_.dir().file("tsa.cnf"); }
  const OcspPki& pki() const { return pki_; }
  X509* tsa_cert() const { return tsa_.cert.get(); }
  EVP_PKEY* tsa_key() const { return tsa_.key.get(); }

 private:
  OcspPki pki_;
  pki::Issued tsa_;
};

// Further choices of the in-process authority: a genTime (seconds and
// microseconds, shown to the millisecond; now when sec is 0), the digest of
// the ESS certificate id (SigningCertificateV2 when given, else version 1
// with SHA-1) and the signer's digest (SHA-256 when null).
struct TsaChoices {
  time_t sec = 0;
  long usec = 0;
  const EVP_MD* ess_md = nullptr;
  const EVP_MD* signer_md = nullptr;
};

inline int tsa_chosen_time(TS_RESP_CTX*, void* data, long* sec, long* usec) {
  const auto* c = static_cast<const TsaChoices*>(data);
  *sec = static_cast<long>(c->sec);
  *usec = c->usec;
  return 1;
}

// A TimeStampResp to the request made here: signer, its extra chain
// certificates (may be null), and one more digest to accept (may be null).
inline std::string tsa_reply(const std::string& request_der, X509* cert, EVP_PKEY* key,
                             STACK_OF(X509) * chain, const EVP_MD* extra_md,
                             const TsaChoices& choices = {}) {
  std::unique_ptr<TS_RESP_CTX, orvel::Free<TS_RESP_CTX, TS_RESP_CTX_free>> ctx(TS_RESP_CTX_new());
  TS_RESP_CTX_set_signer_cert(ctx.get(), cert);
  TS_RESP_CTX_set_signer_key(ctx.get(), key);
  TS_RESP_CTX_set_signer_digest(ctx.get(), choices.signer_md ? choices.signer_md : EVP_sha256());
  if (choices.ess_md != nullptr) TS_RESP_CTX_set_ess_cert_id_digest(ctx.get(), choices.ess_md);
  if (choices.sec != 0) {
    TS_RESP_CTX_set_time_cb(ctx.get(), tsa_chosen_time, const_cast<TsaChoices*>(&choices));
    TS_RESP_CTX_set_clock_precision_digits(ctx.get(), 3);
  }
  orvel::Asn1ObjectPtr policy(OBJ_txt2obj("1.2.3.4.1", 1));
  TS_RESP_CTX_set_def_policy(ctx.get(), policy.get());
  TS_RESP_CTX_add_md(ctx.get(), EVP_sha256());
  if (extra_md != nullptr) TS_RESP_CTX_add_md(ctx.get(), extra_md);
  if (chain != nullptr) TS_RESP_CTX_set_certs(ctx.get(), chain);
  orvel::BioPtr in(BIO_new_mem_buf(request_der.data(), static_cast<int>(request_der.size())));
  std::unique_ptr<TS_RESP, orvel::Free<TS_RESP, TS_RESP_free>> resp(
      TS_RESP_create_response(ctx.get(), in.get()));
  if (!resp) return std::string();
  unsigned char* der = nullptr;
  const int len = i2d_TS_RESP(resp.get(), &der);
  std::string out(reinterpret_cast<char*>(der), static_cast<size_t>(len));
  OPENSSL_free(der);
  return out;
}

}  // namespace orvel_test

#endif
