#include "sign.h"

#include <openssl/err.h>
#include <openssl/x509_vfy.h>

#include "codes.h"
#include "keys.h"
#include "log.h"
#include "op_guard.h"
#include "ossl_ptr.h"
#include "pkcs7_sign.h"
#include "sign_enhance.h"
#include "time_util.h"

namespace {

constexpr char kFunc[] = "ssf_sign_data";

// The SignerInfo of one signer, with its attributes and certificates; the
// signer's certificate goes to certs (for enhancement). Sets uResult.
void add_signer(PKCS7* p7, SigRcpSsfInfo* signer, int bIncCerts, int type, STACK_OF(X509) * certs) {
  log_write("%s() : current id = '%s'", kFunc, signer->strSigRcpId ? signer->strSigRcpId : "");
  X509* c = nullptr;
  EVP_PKEY* k = nullptr;
  STACK_OF(X509)* ch = nullptr;
  const int rc = ssf_load_cert_and_key(signer, &c, &k, 1, nullptr, &ch);
  orvel::X509Ptr cert(c);
  orvel::EvpPkeyPtr key(k);
  orvel::X509StackPtr chain(ch);
  if (rc != 0) {
    log_err("%s() 8.2 : ssf_load_cert_and_key() failed", kFunc);
    return;
  }
  bool refused = false;
  const EVP_MD* md = ssf_signing_digest(key.get(), &refused);
  if (refused) {
    signer->uResult = SSF_SIGNATURE_INVALID;
    log_err("%s() 9 : GOST R 34.11-2001 not allowed", kFunc);
    return;
  }
  PKCS7_SIGNER_INFO* si =
      md ? SSF_PKCS7_add_signature(p7, cert.get(), key.get(), md, signer->strSigRcpProfile, type)
         : nullptr;
  if (si == nullptr || !ssf_add_content_type(si) ||
      (bIncCerts && !ssf_add_signer_certs(p7, cert.get(), chain.get())) ||
      !sk_X509_push(certs, cert.get())) {
    signer->uResult = SSF_SIGNATURE_INVALID;
    log_err("%s() 9 : SSF_PKCS7_add_signature() failed", kFunc);
    print_brekssl_errors();
    return;
  }
  cert.release();
  signer->uResult = SSF_SIGNATURE_VALID;
}

bool any_failed(SigRcpSsfInformationList list) {
  for (auto* e = list; e != nullptr; e = e->next)
    if (e->ptrSigRcp != nullptr && e->ptrSigRcp->uResult != 0) return true;
  return false;
}

int sign(SsfDataBlob* output, const SsfDataBlob* input, int bIncCerts, int bDetached,
         SigRcpSsfInformationList signers, int type) {
  orvel::Pkcs7Ptr in(ssf_pkcs7_from_blob(input));
  if (!in) {
    log_err("%s() 2 : d2i_PKCS7_bio() failed", kFunc);
    print_brekssl_errors();
    return SSF_API_DECODE_FAILED;
  }
  if (!PKCS7_type_is_data(in.get()) && !PKCS7_type_is_signed(in.get()) &&
      !PKCS7_type_is_enveloped(in.get())) {
    log_err("%s() 3 : PKCS7 is invalid", kFunc);
    return SSF_API_DECODE_FAILED;
  }
  SsfDataBlob content;
  if (decode_data(&content, input) != 0) {
    log_err("%s() 4: decoding failed", kFunc);
    return SSF_API_DECODE_FAILED;
  }
  orvel::BytesPtr content_owner(content.pbData);
  orvel::BioPtr content_bio(BIO_new_mem_buf(content.pbData, content.cbData));
  if (!content_bio) {
    log_err("%s() 5: BIO_new_mem_buf() failed", kFunc);
    return SSF_API_NOMEMORY;
  }
  orvel::Pkcs7Ptr p7(PKCS7_new());
  if (!p7 || !PKCS7_set_type(p7.get(), NID_pkcs7_signed) ||
      !PKCS7_content_new(p7.get(), NID_pkcs7_data)) {
    log_err("%s() 6 : PKCS7_new() failed", kFunc);
    print_brekssl_errors();
    return SSF_API_NOMEMORY;
  }
  orvel::X509StackPtr certs(sk_X509_new_null());
  if (!certs) return SSF_API_NOMEMORY;
  for (auto* e = signers; e != nullptr; e = e->next)
    if (e->ptrSigRcp != nullptr) add_signer(p7.get(), e->ptrSigRcp, bIncCerts, type, certs.get());
  if (any_failed(signers)) return SSF_API_SIGNER_FAILED;

  orvel::BioPtr p7bio(PKCS7_dataInit(p7.get(), nullptr));
  if (!p7bio) {
    log_err("%s() 10 : PKCS7_dataInit() failed", kFunc);
    print_brekssl_errors();
    return SSF_API_NOMEMORY;
  }
  if (!SMIME_crlf_copy(content_bio.get(), p7bio.get(), PKCS7_BINARY)) {
    log_err("%s() 10 : PKCS7_dataInit() failed", kFunc);
    print_brekssl_errors();
    return SSF_API_NOMEMORY;
  }
  if (bDetached) PKCS7_set_detached(p7.get(), 1);
  if (!PKCS7_dataFinal(p7.get(), p7bio.get())) {
    log_err("%s() 11 : PKCS7_dataFinal() failed", kFunc);
    print_brekssl_errors();
    return SSF_API_SIGNER_FAILED;
  }
  if (type == SIG_TYPE_CADES) {
    orvel::X509StorePtr store(X509_STORE_new());
    if (!store) {
      log_err("%s() 12 : X509_STORE_new() failed", kFunc);
      return SSF_API_NOMEMORY;
    }
    for (int i = 0; i < sk_X509_num(certs.get()); ++i)
      AddCACertsToStore(sk_X509_value(certs.get(), i), store.get());
    if (EnhanceAllSignatures(p7.get(), certs.get(), signers, store.get()) != 0) {
      log_err("%s() 13 : EnhanceSignatures() failed", kFunc);
      return SSF_API_SIGNER_FAILED;
    }
  }
  if (!ssf_pkcs7_to_blob(p7.get(), output)) {
    log_err("%s() 14 : i2d_PKCS7() failed", kFunc);
    print_brekssl_errors();
    return SSF_API_NOMEMORY;
  }
  return SSF_API_OK;
}

}  // namespace

bool ssf_pkcs7_to_blob(PKCS7* p7, SsfDataBlob* output) {
  unsigned char* der = nullptr;
  const int n = i2d_PKCS7(p7, &der);
  if (n <= 0 || der == nullptr) {
    OPENSSL_free(der);
    return false;
  }
  output->pbData = der;
  output->cbData = n;
  return true;
}

PKCS7* ssf_pkcs7_from_blob(const SsfDataBlob* input) {
  if (input == nullptr || input->pbData == nullptr || input->cbData <= 0) return nullptr;
  const unsigned char* p = input->pbData;
  return d2i_PKCS7(nullptr, &p, input->cbData);
}

int ssf_sign_data(SsfDataBlob* output, const SsfDataBlob* input, int bIncCerts, int bDetached,
                  SigRcpSsfInformationList signerList, int type) {
  dbg("%s() begin at %s", kFunc, get_time_string());
  const int rc = run_output_op(kFunc, output, [&] {
    return sign(output, input, bIncCerts, bDetached, signerList, type);
  });
  dbg("%s() end at %s, retcode = %d", kFunc, get_time_string(), rc);
  return rc;
}
