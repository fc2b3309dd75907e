// Keys on PKCS#11 tokens are not built yet: a "token=" profile is refused
// as not usable.
#include "keys.h"
#include "log.h"

int ssf_load_cert_and_key_token(const char* module, const char* /*password*/, const char* /*id*/,
                                SigRcpSsfInfo* record, int is_signer, X509** cert, EVP_PKEY** key,
                                char** /*pin_slot*/) {
  *cert = nullptr;
  *key = nullptr;
  record->uResult = SSF_PROFILE_NOT_USABLE;
  log_err("%s() : PKCS#11 token profiles are not supported by this build ('%s')",
          "ssf_load_cert_and_key_token", module ? module : "");
  return load_failure_code(is_signer);
}
