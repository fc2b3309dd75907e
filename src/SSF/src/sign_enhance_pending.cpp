// CAdES enhancement is not built yet: signatures of the enhanced formats
// are refused rather than returned unenhanced.
#include "log.h"
#include "sign_enhance.h"

int AddCACertsToStore(X509*, X509_STORE*) { return 0; }

int EnhanceSignature(PKCS7*, PKCS7_SIGNER_INFO*, X509*, X509_STORE*) {
  log_err("%s() : CAdES enhancement is not available in this build", "EnhanceSignature");
  return SSF_SIGNATURE_INVALID;
}

int EnhanceAllSignatures(PKCS7* p7, STACK_OF(X509) * certs, SigRcpSsfInformationList signers,
                         X509_STORE* store) {
  STACK_OF(PKCS7_SIGNER_INFO)* infos = PKCS7_get_signer_info(p7);
  int rc = 0;
  SigRcpSsfInformationList e = signers;
  for (int i = 0; i < sk_PKCS7_SIGNER_INFO_num(infos); ++i, e = e ? e->next : nullptr) {
    const int code =
        EnhanceSignature(p7, sk_PKCS7_SIGNER_INFO_value(infos, i), sk_X509_value(certs, i), store);
    if (code == 0) continue;
    log_err("%s() 1 : EnhanceSignature( '%s' ) failed, idx = %d", "EnhanceAllSignatures",
            e && e->ptrSigRcp && e->ptrSigRcp->strSigRcpId ? e->ptrSigRcp->strSigRcpId : "", i);
    if (e != nullptr && e->ptrSigRcp != nullptr) e->ptrSigRcp->uResult = code;
    rc = SSF_API_SIGNER_FAILED;
  }
  return rc;
}
