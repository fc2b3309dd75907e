// Profile strings and passwords of signer and recipient records, read by
// the key loader with the profile signing time and encrypted passwords on:
// the signing time, the password blob, the key-store choice and the
// certfile/keyfile split, the signer id.
#include "profile.h"

#include <openssl/asn1.h>

#include <string>

#include "fuzz_common.h"
#include "keys.h"

using namespace orvel_fuzz;

namespace {

// The next line of the input (without its '\n'); the rest stays in text.
std::string line(std::string* text) {
  const size_t end = text->find('\n');
  std::string first = text->substr(0, end);
  text->erase(0, end == std::string::npos ? text->size() : end + 1);
  return first;
}

// Files are opened only inside the fixture directory (a device or a FIFO
// would hold the run) and no PKCS#11 module is loaded.
bool confined(std::string profile) {
  if (profile.find("token=") != std::string::npos || profile.find("..") != std::string::npos)
    return false;
  const std::string dir = fixture("");
  for (size_t at; (at = profile.find(dir)) != std::string::npos;) profile.erase(at, dir.size());
  return profile.find('/') == std::string::npos;
}

}  // namespace

int LLVMFuzzerInitialize(int*, char***) {
  start("use_profile_timestamp = yes\nuse_profile_password_encryption = yes\n");
  return 0;
}

// Selector: bit 0, a signer (else a recipient). Then the profile, the
// password and the id, one a line.
int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in;
  if (!split(data, size, &in)) return 0;
  std::string text(reinterpret_cast<const char*>(in.data), static_cast<size_t>(in.size));
  const std::string profile = line(&text), password = line(&text), id = text;
  if (!confined(profile)) return 0;
  const Run run;
  int type = 0, step = 0;
  ASN1_TIME_free(profile_signing_time(profile.c_str(), &type, &step));
  Record record(id, profile, password);
  if (record.get() == nullptr) return 0;
  X509* cert = nullptr;
  EVP_PKEY* key = nullptr;
  STACK_OF(X509)* chain = nullptr;
  ssf_load_cert_and_key(record.get(), &cert, &key, in.selector & 1, nullptr, &chain);
  X509_free(cert);
  EVP_PKEY_free(key);
  sk_X509_pop_free(chain, X509_free);
  return 0;
}
