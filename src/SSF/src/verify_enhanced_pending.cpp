// Enhanced signatures cannot be verified in this build: they are reported
// as invalid rather than trusted unchecked.
#include "log.h"
#include "orvel_ssf.h"
#include "verify_enhanced.h"

int VerifyEnhancedSignature(BIO *, PKCS7 *, PKCS7_SIGNER_INFO *, STACK_OF(X509) *) {
  log_err("%s() : verification of enhanced signatures is not available in this build",
          "VerifyEnhancedSignature");
  return SSF_SIGNATURE_INVALID;
}
