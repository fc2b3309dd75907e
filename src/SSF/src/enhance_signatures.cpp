// ssf_enhance_signatures: every plain signature of a signedData enhanced,
// every enhanced one verified, one result record per SignerInfo.
#include <openssl/err.h>

#include <cstring>

#include "codes.h"
#include "log.h"
#include "op_guard.h"
#include "operations.h"
#include "ossl_ptr.h"
#include "pab.h"
#include "pkcs7_verify.h"
#include "result_records.h"
#include "sap_string.h"
#include "sign_enhance.h"
#include "verify_enh_hooks.h"
#include "verify_enhanced.h"
#include "verify_ess.h"

namespace {

constexpr char kFunc[] = "ssf_enhance_signatures";
constexpr int kReadStep = 1024;
constexpr int kAlreadyEnhanced = 101;

struct Input {
  const char* pab;
  SsfInt pab_len;
  const unsigned char* data;
  SsfInt data_len;
};

// The code of SignerInfo i: enhanced now, or verified when it already is.
int enhance_one(PKCS7* p7, BIO* content, PKCS7_SIGNER_INFO* si, int i, const Input& in,
                STACK_OF(X509) * trusted, orvel::X509Ptr* cert) {
  orvel::X509StorePtr store(X509_STORE_new());
  if (!store) return SSF_API_NOMEMORY;
  STACK_OF(X509)* msg_certs = p7->d.sign->cert;
  if (!ssf_signature_is_enhanced(si, 0)) {
    cert->reset(ssf_find_signer_in_attrs(si, msg_certs, in.pab, in.pab_len));
    if (!*cert) {
      log_err("%s() 6 : signer's #%d certificate not found", kFunc, i);
      return SSF_CERT_NOT_FOUND;
    }
    if (SSF_PKCS7_signatureVerify(content, p7, si, cert->get()) <= 0) {
      log_err("%s() 8 : PKCS7_signatureVerify() failed for signer #%d", kFunc, i);
      print_brekssl_errors();
      return SSF_SIGNATURE_INVALID;
    }
    AddCACertsToStore(cert->get(), store.get());
    return EnhanceSignature(p7, si, cert->get(), store.get());
  }
  // The message's certificate of the signer's issuer and serial number that
  // the signed signing-certificate attribute names: the one the check below
  // verifies. A look-alike of the same issuer and serial number placed
  // first is not reported for the signer.
  X509* c = nullptr;
  for (int k = 0; si->issuer_and_serial != nullptr && k < sk_X509_num(msg_certs); ++k) {
    X509* x = sk_X509_value(msg_certs, k);
    if (X509_NAME_cmp(X509_get_issuer_name(x), si->issuer_and_serial->issuer) == 0 &&
        ASN1_INTEGER_cmp(X509_get0_serialNumber(x), si->issuer_and_serial->serial) == 0 &&
        check_ess_signing_cert(si, x) == 1) {
      c = x;
      break;
    }
  }
  if (c == nullptr || !X509_up_ref(c)) {
    log_err("%s() 7 : signature is enhanced but signer's #%d certificate not found", kFunc, i);
    return SSF_CERT_NOT_FOUND;
  }
  cert->reset(c);
  const int rc = VerifyEnhancedSignature(content, p7, si, trusted);
  return rc == 0 ? kAlreadyEnhanced : rc;
}

int enhance_all(const Input& in, const unsigned char* der, SsfInt der_len,
                SigRcpSsfInformationList* results, unsigned char** out, SsfInt* out_len) {
  const unsigned char* p = der;
  orvel::Pkcs7Ptr p7(d2i_PKCS7(nullptr, &p, der_len));
  if (!p7) {
    log_err("%s() 1 : d2i_X509() failed", kFunc);
    print_brekssl_errors();
    return SSF_API_DECODE_FAILED;
  }
  if (!PKCS7_type_is_signed(p7.get()) || p7->d.sign == nullptr) {
    log_err("%s() 2 : it is not PKCS7-Signed", kFunc);
    return SSF_API_DECODE_FAILED;
  }
  const bool detached = PKCS7_get_detached(p7.get()) != 0;
  const bool given = in.data != nullptr && in.data_len > 0;
  if (detached && !given) {
    log_err("%s() 3 : original data not provided", kFunc);
    return SSF_API_NOINPUT;
  }
  if (!detached && given) {
    const ASN1_OCTET_STRING* att =
        PKCS7_type_is_data(p7->d.sign->contents) ? p7->d.sign->contents->d.data : nullptr;
    if (att == nullptr || ASN1_STRING_length(att) != in.data_len ||
        memcmp(ASN1_STRING_get0_data(att), in.data, static_cast<size_t>(in.data_len)) != 0) {
      log_err("%s() 4 : provided and attached datasets are different", kFunc);
      return SSF_API_NOINPUT;
    }
  }
  STACK_OF(PKCS7_SIGNER_INFO)* infos = PKCS7_get_signer_info(p7.get());
  if (sk_PKCS7_SIGNER_INFO_num(infos) <= 0) {
    log_err("%s() 5 : no signer info found", kFunc);
    return SSF_API_DECODE_FAILED;
  }
  orvel::BioPtr data_in;
  if (detached) {
    data_in.reset(BIO_new_mem_buf(in.data, in.data_len));
    if (!data_in) return SSF_API_NOMEMORY;
  }
  orvel::BioPtr content(PKCS7_dataInit(p7.get(), data_in.get()));
  if (!content) {
    log_err("%s() 5.1 : PKCS7_dataInit() failed", kFunc);
    print_brekssl_errors();
    return SSF_API_NOMEMORY;
  }
  data_in.release();  // the chain owns it now
  char buf[kReadStep];
  int n;
  while ((n = BIO_read(content.get(), buf, sizeof buf)) > 0) {
  }
  // The trusted roots of an already enhanced signature: the PAB's
  // certificates (none when the PAB does not load).
  orvel::CharsPtr pab_dir(in.pab && in.pab_len > 0 ? get_sz_string_from_sap_string(in.pab, in.pab_len)
                                                     : nullptr);
  orvel::X509StackPtr trusted(pab_dir ? load_certs_from_pab(pab_dir.get()) : nullptr);
  if (!trusted) trusted.reset(sk_X509_new_null());
  if (!trusted) return SSF_API_NOMEMORY;

  bool failed = false;
  for (int i = 0; i < sk_PKCS7_SIGNER_INFO_num(infos); ++i) {
    PKCS7_SIGNER_INFO* si = sk_PKCS7_SIGNER_INFO_value(infos, i);
    orvel::X509Ptr cert;
    const int code = enhance_one(p7.get(), content.get(), si, i, in, trusted.get(), &cert);
    if (code != 0 && code != kAlreadyEnhanced) failed = true;
    SigRcpSsfInfo* rec = nullptr;
    int rc = set_profile_data(1, &rec, si, cert.get(), code);
    if (rc != 0) {
      log_err("%s() 9 : set_profile_data() failed", kFunc);
      return rc;
    }
    rc = SsfINSSigRcpSsfInfo(rec, results);
    if (rc != 0) {
      free_result_record(rec);
      log_err("%s() 10 : SsfINSSigRcpSsfInfo() failed", kFunc);
      return rc;
    }
  }
  if (failed) return SSF_API_SIGNER_FAILED;
  unsigned char* enc = nullptr;
  const int len = i2d_PKCS7(p7.get(), &enc);
  if (len <= 0 || enc == nullptr) {
    OPENSSL_free(enc);
    log_err("%s() 11 : i2d_PKCS7()", kFunc);
    print_brekssl_errors();
    return SSF_API_ENCODE_FAILED;
  }
  *out = enc;
  *out_len = len;
  return SSF_API_OK;
}

}  // namespace

int ssf_enhance_signatures(const char* strPab, SsfInt strPabL, const unsigned char* strSignedData,
                           SsfInt strSignedDataL, const unsigned char* strInputData,
                           SsfInt strInputDataL, SigRcpSsfInformationList* signerResultList,
                           unsigned char** ostrEnhancedSignData, SsfInt* ostrEnhancedSignDataL) {
  const Input in{strPab, strPabL, strInputData, strInputDataL};
  const int rc = run_guarded(kFunc, SSF_API_NOMEMORY, [&] {
    return enhance_all(in, strSignedData, strSignedDataL, signerResultList, ostrEnhancedSignData,
                       ostrEnhancedSignDataL);
  });
  ERR_clear_error();
  log_write("%s() : end, retcode = %d", kFunc, rc);
  return rc;
}
