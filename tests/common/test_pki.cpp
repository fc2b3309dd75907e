#include "test_pki.h"

#include <openssl/rsa.h>
#include <openssl/x509v3.h>

#include <stdexcept>

namespace orvel_test {

namespace {

void check(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(std::string("test PKI: ") + what);
}

void add_ext(X509* cert, const X509* issuer, int nid, const char* value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, const_cast<X509*>(issuer), cert, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
  check(ext != nullptr, "extension");
  check(X509_add_ext(cert, ext, -1) == 1, "add extension");
  X509_EXTENSION_free(ext);
}

}  // namespace

orvel::EvpPkeyPtr make_rsa_key(int bits) {
  orvel::EvpPkeyPtr key(EVP_RSA_gen(static_cast<unsigned>(bits)));
  check(key != nullptr, "RSA key");
  return key;
}

orvel::X509Ptr make_cert(EVP_PKEY* key, const std::string& cn, long serial, const X509* issuer,
                         EVP_PKEY* issuer_key, bool ca) {
  orvel::X509Ptr cert(X509_new());
  check(cert != nullptr, "X509_new");
  X509_set_version(cert.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), serial);
  X509_NAME* name = X509_get_subject_name(cert.get());
  X509_NAME_add_entry_by_txt(name, "O", MBSTRING_UTF8,
                             reinterpret_cast<const unsigned char*>("Orvel Test"), -1, -1, 0);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                             reinterpret_cast<const unsigned char*>(cn.c_str()), -1, -1, 0);
  const X509* signer_cert = issuer ? issuer : cert.get();
  check(X509_set_issuer_name(cert.get(), X509_get_subject_name(signer_cert)) == 1, "issuer");
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), 3600L * 24 * 365);
  check(X509_set_pubkey(cert.get(), key) == 1, "pubkey");
  add_ext(cert.get(), signer_cert, NID_basic_constraints, ca ? "critical,CA:TRUE" : "CA:FALSE");
  add_ext(cert.get(), signer_cert, NID_key_usage,
          ca ? "digitalSignature,keyCertSign,cRLSign" : "digitalSignature");
  add_ext(cert.get(), signer_cert, NID_subject_key_identifier, "hash");
  check(X509_sign(cert.get(), issuer_key ? issuer_key : key, EVP_sha256()) > 0, "sign cert");
  return cert;
}

orvel::X509CrlPtr make_crl(const X509* issuer, EVP_PKEY* issuer_key, long revoked_serial) {
  orvel::X509CrlPtr crl(X509_CRL_new());
  check(crl != nullptr, "X509_CRL_new");
  X509_CRL_set_version(crl.get(), 1);
  X509_CRL_set_issuer_name(crl.get(), X509_get_subject_name(issuer));
  orvel::Asn1TimePtr t(X509_gmtime_adj(nullptr, 0));
  X509_CRL_set1_lastUpdate(crl.get(), t.get());
  orvel::Asn1TimePtr next(X509_gmtime_adj(nullptr, 86400));
  X509_CRL_set1_nextUpdate(crl.get(), next.get());
  X509_REVOKED* rev = X509_REVOKED_new();
  orvel::Asn1IntegerPtr serial(ASN1_INTEGER_new());
  ASN1_INTEGER_set(serial.get(), revoked_serial);
  X509_REVOKED_set_serialNumber(rev, serial.get());
  X509_REVOKED_set_revocationDate(rev, t.get());
  X509_CRL_add0_revoked(crl.get(), rev);
  orvel::Asn1IntegerPtr number(ASN1_INTEGER_new());
  ASN1_INTEGER_set(number.get(), 7);
  X509_CRL_add1_ext_i2d(crl.get(), NID_crl_number, number.get(), 0, 0);
  check(X509_CRL_sign(crl.get(), issuer_key, EVP_sha256()) > 0, "sign CRL");
  return crl;
}

orvel::OcspBasicRespPtr make_basic_response(const X509* subject, const X509* issuer,
                                            X509* responder, EVP_PKEY* responder_key,
                                            bool by_key) {
  orvel::OcspBasicRespPtr bs(OCSP_BASICRESP_new());
  check(bs != nullptr, "OCSP_BASICRESP_new");
  OCSP_CERTID* id = OCSP_cert_to_id(EVP_sha1(), subject, issuer);
  check(id != nullptr, "certid");
  orvel::Asn1TimePtr now(X509_gmtime_adj(nullptr, 0));
  OCSP_SINGLERESP* single = OCSP_basic_add1_status(bs.get(), id, V_OCSP_CERTSTATUS_GOOD, 0,
                                                   nullptr, now.get(), nullptr);
  OCSP_CERTID_free(id);
  check(single != nullptr, "status");
  unsigned long flags = OCSP_NOCERTS | (by_key ? OCSP_RESPID_KEY : 0);
  check(OCSP_basic_sign(bs.get(), responder, responder_key, EVP_sha256(), nullptr, flags) == 1,
        "sign response");
  return bs;
}

Bytes tlv(unsigned char tag, const Bytes& content) {
  Bytes out{tag};
  size_t n = content.size();
  if (n < 0x80) {
    out.push_back(static_cast<unsigned char>(n));
  } else {
    Bytes len;
    for (size_t v = n; v != 0; v >>= 8) len.insert(len.begin(), static_cast<unsigned char>(v));
    out.push_back(static_cast<unsigned char>(0x80 | len.size()));
    out.insert(out.end(), len.begin(), len.end());
  }
  out.insert(out.end(), content.begin(), content.end());
  return out;
}

Bytes cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes der_of_cert(const X509* cert) { return to_der(cert, i2d_X509); }
Bytes der_of_name(const X509_NAME* name) { return to_der(name, i2d_X509_NAME); }

}  // namespace orvel_test
