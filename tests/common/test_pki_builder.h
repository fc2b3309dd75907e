// A small test PKI over the toolkit: RSA keys, root and intermediate CAs,
// end certificates with the extensions the certificate checks read, CRLs
// (with or without nextUpdate, revoked entries, delta CRLs), and their PEM,
// DER and bare Base64 forms. Every time is relative to now.
#ifndef ORVEL_TEST_PKI_BUILDER_H
#define ORVEL_TEST_PKI_BUILDER_H

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ossl_ptr.h"

namespace orvel_test::pki {

constexpr long kDay = 86400;

orvel::EvpPkeyPtr make_rsa_key(int bits = 2048);

// Options of one certificate. Offsets are seconds from now.
struct CertOptions {
  std::string subject = "CN=Test Leaf,O=Orvel Test,C=RU";  // "/"- or ","-separated
  long not_before = -kDay;
  long not_after = 365 * kDay;
  long serial = 0;  // 0: the next number of the process
  bool is_ca = false;
  std::vector<std::string> crl_urls;       // crlDistributionPoints (full-name URIs)
  std::vector<int> crl_reason_bits;        // reasons of the first URL's point (empty: none)
  std::string crl_issuer;                  // cRLIssuer (a name) of the first URL's point
  std::vector<std::string> freshest_urls;  // freshestCRL
  bool subject_key_id = true;
  bool authority_key_id = true;
  // privateKeyUsagePeriod (notBefore, notAfter offsets).
  std::optional<std::pair<long, long>> private_key_usage_period;
  const EVP_MD* md = nullptr;  // SHA-256 when null
  int key_bits = 2048;
  // keyUsage in the toolkit's configuration syntax (empty: the default one
  // of a CA or of an end certificate).
  std::string key_usage;
  // Further extensions by number in that syntax, e.g. {NID_info_access,
  // "OCSP;URI:http://..."}, {NID_ext_key_usage, "critical,timeStamping"},
  // {NID_id_pkix_OCSP_noCheck, "ignored"}.
  std::vector<std::pair<int, std::string>> extensions;
};

struct Revoked {
  X509* cert = nullptr;     // its serial number is listed
  long serial = 0;          // used when cert is null
  long revoked_at = -3600;  // offset from now
  int reason = -1;          // CRLReason code of the entry; -1: none
};

struct CrlOptions {
  long last_update = -3600;
  std::optional<long> next_update = 7 * kDay;  // nullopt: no nextUpdate
  std::vector<Revoked> revoked;
  std::vector<std::string> freshest_urls;  // freshestCRL of a base CRL
  long crl_number = 1;
  std::optional<long> delta_base;  // deltaCRLIndicator: makes a delta CRL
  std::string issuing_dp;          // issuingDistributionPoint, e.g. "onlyCA:TRUE"
  // An unknown critical extension of this OID on the list, or on every
  // entry (empty: none).
  std::string critical_oid, entry_critical_oid;
  bool authority_key_id = true;
  const EVP_MD* md = nullptr;
  EVP_PKEY* sign_key = nullptr;  // another key than the CA's (a bad signature)
};

// A certificate with its private key.
struct Issued {
  orvel::X509Ptr cert;
  orvel::EvpPkeyPtr key;
};

class Authority {
 public:
  // A self-signed root CA.
  static Authority root(const std::string& subject = "CN=Orvel Test Root,O=Orvel Test,C=RU",
                        CertOptions opts = {});
  // A CA signed by this one.
  Authority intermediate(const std::string& subject, CertOptions opts = {}) const;
  // An end certificate (or any certificate the options describe).
  Issued issue(CertOptions opts) const;
  orvel::X509CrlPtr crl(const CrlOptions& opts) const;

  X509* cert() const { return cert_.get(); }
  EVP_PKEY* key() const { return key_.get(); }

 private:
  Authority() = default;
  orvel::X509Ptr cert_;
  orvel::EvpPkeyPtr key_;
};

// An extension of an unknown type (a NULL value) marked critical.
orvel::X509ExtensionPtr unknown_critical(const std::string& oid);

std::string to_pem(X509* cert);
std::string to_der(X509* cert);
std::string crl_to_pem(X509_CRL* crl);
std::string crl_to_der(X509_CRL* crl);
// The Base64 lines of the PEM form without the BEGIN and END lines.
std::string crl_to_bare_base64(X509_CRL* crl, bool final_line_feed = true);
std::string key_to_pem(EVP_PKEY* key);

}  // namespace orvel_test::pki

#endif
