// The certificate directory as enhancement sees it. The directory client is
// not part of this build yet: the service counts as not configured, so a
// trusted root must be among the PAB certificates.
#include "enhance_deps.h"
#include "log.h"

int enhance_hok_is_specified() { return 0; }

int enhance_hok_get_cert_by_fingerprint(const char* fingerprint, X509** cert) {
  if (cert != nullptr) *cert = nullptr;
  log_err("%s() : certificate directory not configured, '%s' not looked up",
          "hok_get_cert_by_fingerprint", fingerprint ? fingerprint : "");
  return 26;
}
