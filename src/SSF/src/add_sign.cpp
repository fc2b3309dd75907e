// Co-signing: one more SignerInfo in an existing signedData.
#include <openssl/err.h>
#include <openssl/x509_vfy.h>

#include <cstring>

#include "codes.h"
#include "keys.h"
#include "log.h"
#include "op_guard.h"
#include "ossl_ptr.h"
#include "pab.h"
#include "password.h"
#include "pkcs7_sign.h"
#include "settings.h"
#include "sign.h"
#include "sign_enhance.h"
#include "x509_name.h"

namespace {

constexpr char kFunc[] = "add_sign_data";
// Certificates trusted for the enhancement of a co-signature: a PEM file
// in the working directory, when there is one.
constexpr char kUserStoreFile[] = "user1.pem";

bool has_input(const SsfDataBlob* b) {
  return b != nullptr && b->pbData != nullptr && b->cbData != 0;
}

// The data the new signature covers: the attached content, or for a
// detached signature the unwrapped input. 0 or the operation's code.
int data_to_sign(PKCS7* p7, const SsfDataBlob* input, SsfDataBlob* data, orvel::BytesPtr* owner) {
  ASN1_OCTET_STRING* attached = PKCS7_get_octet_string(p7->d.sign->contents);
  const bool detached = attached == nullptr;
  if (detached && !has_input(input)) {
    log_err("%s() 4 : no original data provided", kFunc);
    return SSF_API_NOINPUT;
  }
  SsfDataBlob unwrapped;
  if (has_input(input)) {
    if (decode_data(&unwrapped, input) != 0) {
      log_err("%s() 5 : decode_data() failed", kFunc);
      return SSF_API_DECODE_FAILED;
    }
    owner->reset(unwrapped.pbData);
    if (!detached && (ASN1_STRING_length(attached) != unwrapped.cbData ||
                      memcmp(ASN1_STRING_get0_data(attached), unwrapped.pbData,
                             static_cast<size_t>(unwrapped.cbData)) != 0)) {
      log_err("%s() 6: attached and provided datasets are different", kFunc);
      return SSF_API_NOINPUT;
    }
  }
  if (detached) {
    *data = unwrapped;
  } else {
    data->pbData = const_cast<unsigned char*>(ASN1_STRING_get0_data(attached));
    data->cbData = ASN1_STRING_length(attached);
  }
  return 0;
}

// Digests the data through a digest BIO into a memory BIO and signs the new
// SignerInfo; the SignerInfos that were there have no key and stay as
// they are.
int finish(PKCS7* p7, const SsfDataBlob& data, const EVP_MD* md) {
  orvel::BioPtr in(BIO_new_mem_buf(data.pbData, data.cbData));
  if (!in) {
    log_err("%s() 10 : BIO_new_mem_buf() failed", kFunc);
    return SSF_API_NOMEMORY;
  }
  orvel::BioPtr chain(BIO_new(BIO_f_md()));
  if (!chain || !BIO_set_md(chain.get(), md)) {
    log_err("%s() 11 : BIO_new( BIO_f_md() ) failed", kFunc);
    return SSF_API_NOMEMORY;
  }
  BIO* mem = BIO_new(BIO_s_mem());
  if (mem == nullptr) {
    log_err("%s() 12 : BIO_new( BIO_s_mem() ) failed", kFunc);
    return SSF_API_NOMEMORY;
  }
  BIO_push(chain.get(), mem);
  if (!SMIME_crlf_copy(in.get(), chain.get(), PKCS7_BINARY) || !PKCS7_dataFinal(p7, chain.get())) {
    log_err("%s() 13.2 : PKCS7_dataFinal() failed", kFunc);
    print_brekssl_errors();
    return SSF_API_SIGNER_FAILED;
  }
  return 0;
}

// Enhancement of the new SignerInfo (the enhanced formats only).
int enhance(PKCS7* p7, PKCS7_SIGNER_INFO* si, X509* cert, X509_STORE* store,
            SigRcpSsfInfo* signer) {
  AddCACertsToStore(cert, store);
  const int code = EnhanceSignature(p7, si, cert, store);
  signer->uResult = code;
  if (code == 0) return 0;
  orvel::CharsPtr name(brek_x509_get_name_from_X509(cert));
  if (!name) log_err("%s() 13.3 : signer_cert_name is NULL", kFunc);
  log_err("%s() 11 : EnhanceSignature( '%s' ) failed, idx = %d", kFunc, name ? name.get() : "",
          sk_PKCS7_SIGNER_INFO_num(PKCS7_get_signer_info(p7)) - 1);
  return SSF_API_SIGNER_FAILED;
}

int add_sign(SsfDataBlob* output, const SsfDataBlob* signed_data, const SsfDataBlob* input,
             int bIncCerts, SigRcpSsfInfo* signer, int type) {
  orvel::Pkcs7Ptr p7(ssf_pkcs7_from_blob(signed_data));
  if (!p7) {
    log_err("%s() 2 : d2i_PKCS7_bio() failed", kFunc);
    print_brekssl_errors();
    return SSF_API_UNKNOWN_FORMAT;
  }
  if (!PKCS7_type_is_signed(p7.get()) || p7->d.sign == nullptr || p7->d.sign->contents == nullptr) {
    log_err("%s() 3 : PKCS7 has invalid format", kFunc);
    return SSF_API_UNKNOWN_FORMAT;
  }
  SsfDataBlob data;
  orvel::BytesPtr data_owner;
  int rc = data_to_sign(p7.get(), input, &data, &data_owner);
  if (rc != 0) return rc;

  orvel::X509StorePtr store;
  if (type == SIG_TYPE_CADES) {
    X509_STORE* s = nullptr;
    if (LoadCertificatesFromPAB(&s, kUserStoreFile, static_cast<int>(strlen(kUserStoreFile))) != 1)
      log_err("%s() 7 : WARNING: LoadCertificatesFromPAB() failed", kFunc);
    // Without the file the enhancement works with an empty store.
    store.reset(s != nullptr ? s : X509_STORE_new());
    if (!store) return SSF_API_NOMEMORY;
  }

  char* pin = nullptr;
  X509* c = nullptr;
  EVP_PKEY* k = nullptr;
  STACK_OF(X509)* ch = nullptr;
  rc = ssf_load_cert_and_key(signer, &c, &k, 1, password_caching ? &pin : nullptr, &ch);
  orvel::SecretTextPtr pin_owner(pin);
  orvel::X509Ptr cert(c);
  orvel::EvpPkeyPtr key(k);
  orvel::X509StackPtr chain(ch);
  if (rc != 0) {
    log_err("%s() 8.2 : ssf_load_cert_and_key() failed", kFunc);
    return rc;
  }
  bool refused = false;
  const EVP_MD* md = ssf_signing_digest(key.get(), &refused);
  if (refused) {
    signer->uResult = SSF_SIGNATURE_INVALID;
    log_err("%s() 9 : GOST R 34.11-2001 not allowed", kFunc);
    return SSF_API_SIGNER_FAILED;
  }
  PKCS7_SIGNER_INFO* si = md ? SSF_PKCS7_add_signature(p7.get(), cert.get(), key.get(), md,
                                                       signer->strSigRcpProfile, type)
                             : nullptr;
  if (si == nullptr || !ssf_add_content_type(si) ||
      (bIncCerts && !ssf_add_signer_certs(p7.get(), cert.get(), chain.get()))) {
    signer->uResult = SSF_SIGNATURE_INVALID;
    log_err("%s() 9 : SSF_PKCS7_add_signature() failed", kFunc);
    print_brekssl_errors();
    return SSF_API_SIGNER_FAILED;
  }
  rc = finish(p7.get(), data, md);
  if (rc != 0) return rc;
  if (type == SIG_TYPE_CADES) {
    rc = enhance(p7.get(), si, cert.get(), store.get(), signer);
    if (rc != 0) return rc;
  }
  if (!ssf_pkcs7_to_blob(p7.get(), output)) {
    log_err("%s() 14 : i2d_PKCS7() failed", kFunc);
    print_brekssl_errors();
    return SSF_API_NOMEMORY;
  }
  signer->uResult = SSF_SIGNATURE_VALID;
  return SSF_API_OK;
}

}  // namespace

int add_sign_data(SsfDataBlob* output, const SsfDataBlob* signed_data, const SsfDataBlob* input,
                  int bIncCerts, SigRcpSsfInfo* signer, int type) {
  return run_output_op(kFunc, output, [&] {
    return add_sign(output, signed_data, input, bIncCerts, signer, type);
  });
}
