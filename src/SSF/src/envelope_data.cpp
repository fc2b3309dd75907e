// envelope_data: the host's data encrypted for a list of recipients into a
// DER PKCS#7 envelopedData with GOST 28147-89 (CFB) as content cipher.
#include <openssl/err.h>
#include <openssl/pkcs7.h>

#include "encode.h"
#include "engines/gost/gost_ciphers.h"
#include "envelope_recipients.h"
#include "log.h"
#include "op_guard.h"
#include "operations.h"
#include "ossl_ptr.h"
#include "pab.h"
#include "sap_string.h"
#include "sign.h"
#include "time_util.h"

namespace {

constexpr char kFunc[] = "envelope_data";

// The certificates of all recipients, in list order; every record gets its
// result. False when any recipient failed.
bool collect_recipients(SigRcpSsfInformationList recipients, STACK_OF(X509) * pab_certs,
                        STACK_OF(X509) * out) {
  bool all = true;
  for (auto* e = recipients; e != nullptr; e = e->next) {
    SigRcpSsfInfo* r = e->ptrSigRcp;
    if (r == nullptr) continue;
    X509* c = nullptr;
    const int rc = get_cert_from_pab(r, pab_certs, &c);
    orvel::X509Ptr cert(c);
    if (rc == 0 && cert && sk_X509_push(out, cert.get()) > 0) {
      cert.release();
      r->uResult = SSF_SIGNATURE_VALID;
      continue;
    }
    r->uResult = rc != 0 ? rc : SSF_CERT_NOT_FOUND;
    const orvel::SapText id(r->strSigRcpId,
                            r->strSigRcpIdL < kMaxRecipientIdLen ? r->strSigRcpIdL : 0);
    log_err("%s() 7 : no certificate found for: '%s'", kFunc, id.c_str());
    all = false;
  }
  return all;
}

int envelope(SsfDataBlob* output, const SsfDataBlob* input, const SsfDataBlob* pab,
             SigRcpSsfInformationList recipients) {
  if (input == nullptr || input->pbData == nullptr || input->cbData <= 0) {
    log_err("%s() 2 : d2i_PKCS7_bio() failed", kFunc);
    return SSF_API_DECODE_FAILED;
  }
  {
    orvel::BioPtr in(BIO_new_mem_buf(input->pbData, input->cbData));
    if (!in) {
      log_err("%s() 1 : BIO_new_mem_buf() failed", kFunc);
      return SSF_API_NOMEMORY;
    }
    orvel::Pkcs7Ptr p7(d2i_PKCS7_bio(in.get(), nullptr));
    if (!p7) {
      log_err("%s() 2 : d2i_PKCS7_bio() failed", kFunc);
      print_brekssl_errors();
      return SSF_API_DECODE_FAILED;
    }
  }
  SsfDataBlob content;
  if (decode_data(&content, input) != 0) {
    log_err("%s() 3: decoding failed", kFunc);
    return SSF_API_DECODE_FAILED;
  }
  orvel::BytesPtr content_owner(content.pbData);
  orvel::BioPtr content_bio(BIO_new_mem_buf(content.pbData, content.cbData));
  if (!content_bio) {
    log_err("%s() 4: BIO_new_mem_buf() failed", kFunc);
    return SSF_API_NOMEMORY;
  }

  orvel::CharsPtr pab_path(
      pab != nullptr
          ? get_sz_string_from_sap_string(reinterpret_cast<const char*>(pab->pbData), pab->cbData)
          : nullptr);
  if (!pab_path) {
    log_err("%s() 5 : get_sz_string_from_sap_string() failed", kFunc);
    return SSF_API_PAB_FAILED;
  }
  orvel::X509StackPtr pab_certs(load_certs_from_pab(pab_path.get()));
  if (!pab_certs) {
    log_err("%s() 6 : load_certs_from_pab( '%s' ) failed", kFunc, pab_path.get());
    print_brekssl_errors();
    return SSF_API_PAB_FAILED;
  }
  log_write("%s() 6.1 : found %d certificates in PAB '%s'", kFunc, sk_X509_num(pab_certs.get()),
            pab_path.get());

  orvel::X509StackPtr certs(sk_X509_new_null());
  if (!certs) return SSF_API_NOMEMORY;
  if (!collect_recipients(recipients, pab_certs.get(), certs.get()))
    return SSF_API_RECIPIENT_FAILED;
  if (sk_X509_num(certs.get()) == 0) {
    // A list of elements without records: nobody to encrypt for.
    log_err("%s() 8 : no recipient records in the list", kFunc);
    return SSF_API_RECIPIENT_FAILED;
  }

  orvel::Pkcs7Ptr p7(PKCS7_encrypt(certs.get(), content_bio.get(), EVP_gost28147(), PKCS7_BINARY));
  if (!p7) {
    log_err("%s() 9 : PKCS7_encrypt() failed", kFunc);
    print_brekssl_errors();
    return SSF_API_CRYPTO_FAILED;
  }
  if (!ssf_pkcs7_to_blob(p7.get(), output)) {
    log_err("%s() 10 : i2d_PKCS7() failed", kFunc);
    print_brekssl_errors();
    return SSF_API_NOMEMORY;
  }
  return SSF_API_OK;
}

}  // namespace

int envelope_data(SsfDataBlob* output, const SsfDataBlob* input, const SsfDataBlob* pab,
                  const SsfDataBlob* /*pab_password*/, SigRcpSsfInformationList recipientList,
                  int /*type*/) {
  dbg("%s() begin at %s", kFunc, get_time_string());
  const int rc =
      run_output_op(kFunc, output, [&] { return envelope(output, input, pab, recipientList); });
  dbg("%s() end at %s, retcode = %d", kFunc, get_time_string(), rc);
  return rc;
}
