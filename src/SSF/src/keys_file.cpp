// "certfile=" key stores: a PEM certificate file and a PEM key file (the
// same file when ",keyfile=" is missing).
#include <cstring>
#include <string>

#include "keys.h"
#include "keys_pem.h"
#include "log.h"
#include "ossl_ptr.h"
#include "profile.h"
#include "signer_id.h"

int ssf_load_cert_and_key_file(const char* store, const char* password, const char* id,
                               SigRcpSsfInfo* record, int is_signer, X509** cert, EVP_PKEY** key) {
  static const char kFunc[] = "ssf_load_cert_and_key_file";
  const int failed = load_failure_code(is_signer);
  *cert = nullptr;
  *key = nullptr;
  std::string cert_file = store;
  std::string key_file;
  const size_t sep = cert_file.find(kKeyFileSeparator);
  if (sep != std::string::npos) {
    key_file = cert_file.substr(sep + strlen(kKeyFileSeparator));
    cert_file.resize(sep);
  } else {
    key_file = cert_file;
  }
  orvel::X509Ptr c(load_cert(cert_file.c_str(), password));
  if (!c) {
    record->uResult = SSF_PROFILE_NOT_USABLE;
    log_err("%s() 2 : load_cert( file_name = '%s' ) failed", kFunc, cert_file.c_str());
    return failed;
  }
  orvel::EvpPkeyPtr k(load_key(key_file.c_str(), password));
  if (!k) {
    record->uResult = SSF_PROFILE_NOT_USABLE;
    log_err("%s() 3 : load_key( file_name = '%s' ) failed", kFunc, key_file.c_str());
    print_brekssl_errors();
    return failed;
  }
  const int rc = check_cert_and_key(c.get(), k.get(), id);
  if (rc != 0) {
    record->uResult = rc;
    log_err("%s() 4 : check_cert_and_key() failed", kFunc);
    return failed;
  }
  *cert = c.release();
  *key = k.release();
  return 0;
}
