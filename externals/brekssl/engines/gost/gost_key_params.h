// GostR3410-2001-PublicKeyParameters (RFC 4491) as a toolkit ASN.1 type: the
// algorithm parameters of GOST R 34.10 public keys and private keys.
#ifndef ORVEL_GOST_KEY_PARAMS_H
#define ORVEL_GOST_KEY_PARAMS_H

#include <openssl/asn1t.h>

struct VKC_GOST2012_KEY_PARAMS {
  ASN1_OBJECT* key_params;
  // Left out by certificates that follow RFC 9215 (512-bit keys, TC26
  // 256-bit sets): null after decoding such parameters.
  ASN1_OBJECT* hash_params;
  ASN1_OBJECT* cipher_params;
};

DECLARE_ASN1_FUNCTIONS(VKC_GOST2012_KEY_PARAMS)

// The digest parameter set that a key of key_nid implies: GOST R 34.11-2012
// 256 or 512 for the 2012 key types, the CryptoPro GOST R 34.11-94 set for
// GOST R 34.10-2001 keys; NID_undef for another key type.
int gost2012_key_params_default_digest(int key_nid);

#endif
