// The parts of a PKCS#12 file that its MAC covers and is computed with.
#ifndef ORVEL_PKCS12_AUTHSAFE_H
#define ORVEL_PKCS12_AUTHSAFE_H

#include <openssl/pkcs12.h>

#include "ossl_ptr.h"

struct Pkcs12MacInput {
  orvel::Pkcs7Ptr auth_safe;            // decoded copy of the authSafe ContentInfo
  const unsigned char* data = nullptr;  // its content octets (inside auth_safe)
  size_t data_len = 0;
  const EVP_MD* md = nullptr;
  int md_nid = 0;
  const unsigned char* salt = nullptr;  // inside p12
  size_t salt_len = 0;
  int iter = 1;
};

// Fills in from p12. Errors (queue set): no MAC data, authSafe not of type
// data or without content, unknown digest, iteration count below 1 or above
// kPkcs12MaxIterations (pkcs12_pbe.h).
bool ssf_pkcs12_mac_input(const PKCS12* p12, Pkcs12MacInput* in);

// NID of the authSafe's content type, NID_undef when it cannot be read.
int ssf_pkcs12_authsafe_type(const PKCS12* p12);

#endif
