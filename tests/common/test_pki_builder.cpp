#include "test_pki_builder.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/x509v3.h>

#include <ctime>
#include <stdexcept>

namespace orvel_test::pki {

namespace {

long next_serial() {
  static long serial = 0x1000 + (time(nullptr) & 0xfff);
  return serial++;
}

void check(bool ok, const char* what) {
  if (!ok) {
    char buf[256];
    ERR_error_string_n(ERR_get_error(), buf, sizeof buf);
    throw std::runtime_error(std::string(what) + ": " + buf);
  }
}

orvel::X509Ptr empty_cert() { return orvel::X509Ptr(X509_new()); }

// "CN=a,O=b,C=RU" (most specific first, as RFC 4514 writes names) or
// "/C=RU/O=b/CN=a" (in DER order) into a name (UTF-8 values).
X509_NAME* parse_name(const std::string& text) {
  X509_NAME* name = X509_NAME_new();
  char sep = (!text.empty() && text[0] == '/') ? '/' : ',';
  size_t pos = text[0] == '/' ? 1 : 0;
  while (pos < text.size()) {
    size_t end = text.find(sep, pos);
    if (end == std::string::npos) end = text.size();
    std::string part = text.substr(pos, end - pos);
    size_t eq = part.find('=');
    if (eq != std::string::npos) {
      std::string field = part.substr(0, eq);
      while (!field.empty() && field[0] == ' ') field.erase(0, 1);
      std::string value = part.substr(eq + 1);
      check(X509_NAME_add_entry_by_txt(name, field.c_str(), MBSTRING_UTF8,
                                       reinterpret_cast<const unsigned char*>(value.data()),
                                       static_cast<int>(value.size()), sep == ',' ? 0 : -1, 0) == 1,
            "X509_NAME_add_entry_by_txt");
    }
    pos = end + 1;
  }
  return name;
}

void add_ext(X509* cert, X509V3_CTX* ctx, int nid, const std::string& value) {
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, ctx, nid, value.c_str());
  check(ext != nullptr, "X509V3_EXT_conf_nid");
  X509_add_ext(cert, ext, -1);
  X509_EXTENSION_free(ext);
}

std::string uri_list(const std::vector<std::string>& urls) {
  std::string s;
  for (const auto& u : urls) {
    if (!s.empty()) s += ",";
    s += "URI:" + u;
  }
  return s;
}

ASN1_TIME* time_at(long offset) { return X509_time_adj_ex(nullptr, 0, offset, nullptr); }

std::string bio_text(BIO* bio) {
  char* p = nullptr;
  long n = BIO_get_mem_data(bio, &p);
  return std::string(p, static_cast<size_t>(n));
}

// Builds and signs a certificate. issuer_cert null: self-signed.
orvel::X509Ptr build_cert(const CertOptions& o, EVP_PKEY* subject_key, X509* issuer_cert,
                          EVP_PKEY* issuer_key) {
  orvel::X509Ptr cert = empty_cert();
  X509_set_version(cert.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), o.serial ? o.serial : next_serial());
  X509_NAME* subject = parse_name(o.subject);
  X509_set_subject_name(cert.get(), subject);
  X509_set_issuer_name(cert.get(), issuer_cert ? X509_get_subject_name(issuer_cert) : subject);
  X509_NAME_free(subject);
  orvel::Asn1TimePtr nb(time_at(o.not_before)), na(time_at(o.not_after));
  X509_set1_notBefore(cert.get(), nb.get());
  X509_set1_notAfter(cert.get(), na.get());
  X509_set_pubkey(cert.get(), subject_key);

  X509V3_CTX ctx;
  X509V3_set_ctx(&ctx, issuer_cert ? issuer_cert : cert.get(), cert.get(), nullptr, nullptr, 0);
  if (o.is_ca) {
    add_ext(cert.get(), &ctx, NID_basic_constraints, "critical,CA:TRUE");
    add_ext(cert.get(), &ctx, NID_key_usage,
            o.key_usage.empty() ? "critical,keyCertSign,cRLSign,digitalSignature" : o.key_usage);
  } else {
    add_ext(cert.get(), &ctx, NID_key_usage,
            o.key_usage.empty() ? "critical,digitalSignature,nonRepudiation,keyEncipherment"
                                : o.key_usage);
  }
  if (o.subject_key_id) add_ext(cert.get(), &ctx, NID_subject_key_identifier, "hash");
  if (o.authority_key_id && (issuer_cert == nullptr || X509_get0_subject_key_id(issuer_cert)))
    add_ext(cert.get(), &ctx, NID_authority_key_identifier, issuer_cert ? "keyid:always" : "keyid");
  const bool plain_points = o.crl_reason_bits.empty() && o.crl_issuer.empty();
  if (!o.crl_urls.empty() && plain_points)
    add_ext(cert.get(), &ctx, NID_crl_distribution_points, uri_list(o.crl_urls));
  if (!o.crl_urls.empty() && !plain_points) {
    // A point a URL, the first of some reasons only or naming a CRL issuer
    // (the configuration syntax needs a section for that).
    std::unique_ptr<STACK_OF(DIST_POINT), orvel::Free<STACK_OF(DIST_POINT), CRL_DIST_POINTS_free>>
        points(sk_DIST_POINT_new_null());
    for (const std::string& url : o.crl_urls) {
      DIST_POINT* dp = DIST_POINT_new();
      sk_DIST_POINT_push(points.get(), dp);
      dp->distpoint = DIST_POINT_NAME_new();
      dp->distpoint->type = 0;
      dp->distpoint->name.fullname = GENERAL_NAMES_new();
      sk_GENERAL_NAME_push(dp->distpoint->name.fullname,
                           a2i_GENERAL_NAME(nullptr, nullptr, nullptr, GEN_URI, url.c_str(), 0));
    }
    DIST_POINT* first = sk_DIST_POINT_value(points.get(), 0);
    if (!o.crl_reason_bits.empty()) first->reasons = ASN1_BIT_STRING_new();
    for (int bit : o.crl_reason_bits) ASN1_BIT_STRING_set_bit(first->reasons, bit, 1);
    if (!o.crl_issuer.empty()) {
      X509_NAME* issuer = parse_name(o.crl_issuer);
      first->CRLissuer = GENERAL_NAMES_new();
      GENERAL_NAME* gn = GENERAL_NAME_new();
      GENERAL_NAME_set0_value(gn, GEN_DIRNAME, issuer);
      sk_GENERAL_NAME_push(first->CRLissuer, gn);
    }
    check(X509_add1_ext_i2d(cert.get(), NID_crl_distribution_points, points.get(), 0, 0) == 1,
          "crlDistributionPoints with reasons or a CRL issuer");
  }
  if (!o.freshest_urls.empty())
    add_ext(cert.get(), &ctx, NID_freshest_crl, uri_list(o.freshest_urls));
  for (const auto& [nid, value] : o.extensions) add_ext(cert.get(), &ctx, nid, value);
  if (o.private_key_usage_period) {
    PKEY_USAGE_PERIOD* pkup = PKEY_USAGE_PERIOD_new();
    time_t now = time(nullptr);
    pkup->notBefore = ASN1_GENERALIZEDTIME_adj(nullptr, now, 0, o.private_key_usage_period->first);
    pkup->notAfter = ASN1_GENERALIZEDTIME_adj(nullptr, now, 0, o.private_key_usage_period->second);
    check(X509_add1_ext_i2d(cert.get(), NID_private_key_usage_period, pkup, 0, 0) == 1,
          "privateKeyUsagePeriod");
    PKEY_USAGE_PERIOD_free(pkup);
  }
  check(X509_sign(cert.get(), issuer_key, o.md ? o.md : EVP_sha256()) > 0, "X509_sign");
  return cert;
}

}  // namespace

orvel::EvpPkeyPtr make_rsa_key(int bits) {
  orvel::EvpPkeyPtr key(EVP_RSA_gen(static_cast<unsigned>(bits)));
  check(key != nullptr, "EVP_RSA_gen");
  return key;
}

Authority Authority::root(const std::string& subject, CertOptions opts) {
  Authority a;
  opts.subject = subject;
  opts.is_ca = true;
  a.key_ = make_rsa_key(opts.key_bits);
  a.cert_ = build_cert(opts, a.key_.get(), nullptr, a.key_.get());
  return a;
}

Authority Authority::intermediate(const std::string& subject, CertOptions opts) const {
  Authority a;
  opts.subject = subject;
  opts.is_ca = true;
  a.key_ = make_rsa_key(opts.key_bits);
  a.cert_ = build_cert(opts, a.key_.get(), cert_.get(), key_.get());
  return a;
}

Issued Authority::issue(CertOptions opts) const {
  Issued out;
  out.key = make_rsa_key(opts.key_bits);
  out.cert = build_cert(opts, out.key.get(), cert_.get(), key_.get());
  return out;
}

orvel::X509CrlPtr Authority::crl(const CrlOptions& o) const {
  orvel::X509CrlPtr crl(X509_CRL_new());
  X509_CRL_set_version(crl.get(), 1);
  X509_CRL_set_issuer_name(crl.get(), X509_get_subject_name(cert_.get()));
  orvel::Asn1TimePtr last(time_at(o.last_update));
  X509_CRL_set1_lastUpdate(crl.get(), last.get());
  if (o.next_update) {
    orvel::Asn1TimePtr next(time_at(*o.next_update));
    X509_CRL_set1_nextUpdate(crl.get(), next.get());
  }
  for (const Revoked& r : o.revoked) {
    X509_REVOKED* rev = X509_REVOKED_new();
    if (r.cert != nullptr) {
      X509_REVOKED_set_serialNumber(rev, X509_get_serialNumber(r.cert));
    } else {
      orvel::Asn1IntegerPtr s(ASN1_INTEGER_new());
      ASN1_INTEGER_set(s.get(), r.serial);
      X509_REVOKED_set_serialNumber(rev, s.get());
    }
    orvel::Asn1TimePtr when(time_at(r.revoked_at));
    X509_REVOKED_set_revocationDate(rev, when.get());
    if (r.reason >= 0) {
      std::unique_ptr<ASN1_ENUMERATED, orvel::Free<ASN1_ENUMERATED, ASN1_ENUMERATED_free>> reason(
          ASN1_ENUMERATED_new());
      check(reason && ASN1_ENUMERATED_set(reason.get(), r.reason) == 1 &&
                X509_REVOKED_add1_ext_i2d(rev, NID_crl_reason, reason.get(), 0, 0) == 1,
            "X509_REVOKED_add1_ext_i2d(reason)");
    }
    if (!o.entry_critical_oid.empty())
      check(X509_REVOKED_add_ext(rev, unknown_critical(o.entry_critical_oid).get(), -1) == 1,
            "X509_REVOKED_add_ext");
    X509_CRL_add0_revoked(crl.get(), rev);
  }
  X509V3_CTX ctx;
  X509V3_set_ctx(&ctx, cert_.get(), nullptr, nullptr, crl.get(), 0);
  auto add = [&](int nid, const std::string& value) {
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.c_str());
    check(ext != nullptr, "X509V3_EXT_conf_nid(crl)");
    X509_CRL_add_ext(crl.get(), ext, -1);
    X509_EXTENSION_free(ext);
  };
  if (o.authority_key_id && X509_get0_subject_key_id(cert_.get()))
    add(NID_authority_key_identifier, "keyid:always");
  auto add_int = [&](int nid, long v, int critical) {
    orvel::Asn1IntegerPtr n(ASN1_INTEGER_new());
    ASN1_INTEGER_set(n.get(), v);
    check(X509_CRL_add1_ext_i2d(crl.get(), nid, n.get(), critical, 0) == 1,
          "X509_CRL_add1_ext_i2d");
  };
  add_int(NID_crl_number, o.crl_number, 0);
  if (o.delta_base) add_int(NID_delta_crl, *o.delta_base, 1);
  if (!o.freshest_urls.empty()) add(NID_freshest_crl, uri_list(o.freshest_urls));
  if (!o.issuing_dp.empty()) add(NID_issuing_distribution_point, "critical," + o.issuing_dp);
  if (!o.critical_oid.empty())
    check(X509_CRL_add_ext(crl.get(), unknown_critical(o.critical_oid).get(), -1) == 1,
          "X509_CRL_add_ext");
  X509_CRL_sort(crl.get());
  check(X509_CRL_sign(crl.get(), o.sign_key ? o.sign_key : key_.get(), o.md ? o.md : EVP_sha256()) >
            0,
        "X509_CRL_sign");
  return crl;
}

orvel::X509ExtensionPtr unknown_critical(const std::string& oid) {
  orvel::Asn1ObjectPtr obj(OBJ_txt2obj(oid.c_str(), 1));
  orvel::Asn1OctetStringPtr value(ASN1_OCTET_STRING_new());
  static const unsigned char kNull[] = {0x05, 0x00};
  check(obj && value && ASN1_OCTET_STRING_set(value.get(), kNull, sizeof kNull) == 1,
        "unknown_critical");
  orvel::X509ExtensionPtr ext(X509_EXTENSION_create_by_OBJ(nullptr, obj.get(), 1, value.get()));
  check(ext != nullptr, "X509_EXTENSION_create_by_OBJ");
  return ext;
}

std::string to_pem(X509* cert) {
  orvel::BioPtr bio(BIO_new(BIO_s_mem()));
  PEM_write_bio_X509(bio.get(), cert);
  return bio_text(bio.get());
}

std::string to_der(X509* cert) {
  unsigned char* der = nullptr;
  int n = i2d_X509(cert, &der);
  std::string s(reinterpret_cast<char*>(der), static_cast<size_t>(n));
  OPENSSL_free(der);
  return s;
}

std::string crl_to_pem(X509_CRL* crl) {
  orvel::BioPtr bio(BIO_new(BIO_s_mem()));
  PEM_write_bio_X509_CRL(bio.get(), crl);
  return bio_text(bio.get());
}

std::string crl_to_der(X509_CRL* crl) {
  unsigned char* der = nullptr;
  int n = i2d_X509_CRL(crl, &der);
  std::string s(reinterpret_cast<char*>(der), static_cast<size_t>(n));
  OPENSSL_free(der);
  return s;
}

std::string crl_to_bare_base64(X509_CRL* crl, bool final_line_feed) {
  std::string pem = crl_to_pem(crl);
  size_t start = pem.find('\n') + 1;
  size_t end = pem.find("-----END");
  std::string body = pem.substr(start, end - start);
  if (!final_line_feed && !body.empty() && body.back() == '\n') body.pop_back();
  return body;
}

std::string key_to_pem(EVP_PKEY* key) {
  orvel::BioPtr bio(BIO_new(BIO_s_mem()));
  PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr);
  return bio_text(bio.get());
}

}  // namespace orvel_test::pki
