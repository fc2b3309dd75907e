// Set-up of the GOST key types for the key tests: the system's engines,
// and GOST digests from nettle where no engine supplies them.
#ifndef ORVEL_GOST_KEYS_TEST_UTIL_H
#define ORVEL_GOST_KEYS_TEST_UTIL_H

#include <openssl/evp.h>

#include <string>
#include <vector>

#include "ossl_ptr.h"

namespace gost_keys_test {

// Loads the engines (once per process); false when the key methods are
// not reachable afterwards.
bool setup();

// The private-key format of PKCS#8 output (0 LEGACY, 1 MASKED), through
// the engine's PK_FORMAT command.
void set_pk_format(int format);

// Registers a digest made by the tests under its names and frees it at
// process exit.
bool add_test_digest(EVP_MD* md);

// A generated key of a type with a "paramset" value.
orvel::EvpPkeyPtr generate(int key_nid, const char* paramset);

// DER/PEM helpers.
std::vector<unsigned char> pkcs8_der(EVP_PKEY* pkey);
orvel::EvpPkeyPtr from_pkcs8_der(const std::vector<unsigned char>& der);
std::vector<unsigned char> spki_der(EVP_PKEY* pkey);
orvel::EvpPkeyPtr from_spki_der(const std::vector<unsigned char>& der);
orvel::EvpPkeyPtr read_private_pem(const std::string& path);
orvel::X509Ptr read_cert_pem(const std::string& path);

// The key's digest (GOST R 34.11-2012 of its size, GOST R 34.11-94 for
// 2001 keys).
const EVP_MD* key_digest(EVP_PKEY* pkey);

// Signature through EVP_DigestSign / check through EVP_DigestVerify.
std::vector<unsigned char> digest_sign(EVP_PKEY* pkey, const std::string& msg);
int digest_verify(EVP_PKEY* pkey, const std::string& msg, const std::vector<unsigned char>& sig);

// Captures what is written to stderr while alive.
class StderrCapture {
 public:
  StderrCapture();
  ~StderrCapture();
  std::string text();

 private:
  int saved_ = -1;
  std::string path_;
};

}  // namespace gost_keys_test

#endif
