// Small PKI fixtures made in the test process: RSA keys, self-signed and
// issued certificates, a CRL and a signed basic OCSP response, and a DER
// writer for hand-built encodings.
#ifndef ORVEL_TEST_PKI_H
#define ORVEL_TEST_PKI_H

#include <string>
#include <vector>

#include <openssl/ocsp.h>
#include <openssl/x509.h>

#include "ossl_ptr.h"

namespace orvel_test {

using Bytes = std::vector<unsigned char>;

orvel::EvpPkeyPtr make_rsa_key(int bits = 2048);
// A certificate for key, signed by issuer_key under issuer (self-signed when
// issuer is null), with keyUsage digitalSignature (and keyCertSign, cRLSign
// when ca).
orvel::X509Ptr make_cert(EVP_PKEY* key, const std::string& cn, long serial,
                         const X509* issuer = nullptr, EVP_PKEY* issuer_key = nullptr,
                         bool ca = true);
// A CRL of issuer with one revoked serial and a CRL number.
orvel::X509CrlPtr make_crl(const X509* issuer, EVP_PKEY* issuer_key, long revoked_serial);
// A basic OCSP response about subject, signed by the responder, naming the
// responder by key hash or by name.
orvel::OcspBasicRespPtr make_basic_response(const X509* subject, const X509* issuer,
                                            X509* responder, EVP_PKEY* responder_key,
                                            bool by_key);

// DER helpers: one TLV with a one-byte tag, and concatenation.
Bytes tlv(unsigned char tag, const Bytes& content);
Bytes cat(std::initializer_list<Bytes> parts);
Bytes der_of_cert(const X509* cert);
Bytes der_of_name(const X509_NAME* name);

// DER of a value through an i2d function; empty on failure.
template <typename T>
Bytes to_der(const T* value, int (*i2d)(const T*, unsigned char**)) {
  unsigned char* out = nullptr;
  int n = i2d(value, &out);
  if (n <= 0) return {};
  Bytes b(out, out + n);
  OPENSSL_free(out);
  return b;
}

}  // namespace orvel_test

#endif
