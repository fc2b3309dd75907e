// Material of the enhancement tests: a small PKI with an intermediate CA, a
// signedData of the leaf, time-stamp tokens with chosen genTimes, and
// unsigned attributes added to a SignerInfo.
#ifndef ORVEL_TESTS_ENHANCE_MATERIAL_H
#define ORVEL_TESTS_ENHANCE_MATERIAL_H

#include <openssl/pkcs7.h>

#include <ctime>
#include <string>

#include "ossl_ptr.h"
#include "test_pki.h"
#include "test_pki_builder.h"

namespace enhance_test {

using orvel_test::Bytes;
namespace pki = orvel_test::pki;

// root -> inter -> leaf, and a TSA certificate issued by the root.
struct Chain {
  Chain();
  pki::Authority root;
  pki::Authority inter;
  pki::Issued leaf;
  pki::Issued tsa;
};

// Seconds since the epoch of a certificate time.
time_t cert_time(const ASN1_TIME* t);

// An attached signedData of the data by the certificate (SHA-256).
orvel::Pkcs7Ptr sign(const pki::Issued& who, const std::string& data, bool detached = false);
PKCS7_SIGNER_INFO* first_signer(PKCS7* p7);

// The DER ContentInfo of a time-stamp token over data, signed by who, with
// the genTime and serial number given.
Bytes make_token(const pki::Issued& who, const Bytes& data, time_t gen_time, long serial);

// Adds (replacing) or appends an unsigned SEQUENCE attribute with the DER.
void set_attr(PKCS7_SIGNER_INFO* si, int nid, const Bytes& der);
void append_attr(PKCS7_SIGNER_INFO* si, int nid, const Bytes& der);

// A certificate stack of the given certificates (counted references).
orvel::X509StackPtr stack_of(std::initializer_list<X509*> certs);
// A store trusting the given certificates.
orvel::X509StorePtr store_of(std::initializer_list<X509*> certs);

// DER of a SEQUENCE OF Certificate.
Bytes certificates_der(std::initializer_list<X509*> certs);

}  // namespace enhance_test

#endif
