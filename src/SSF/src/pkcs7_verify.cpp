#include "pkcs7_verify.h"

#include <openssl/asn1t.h>
#include <openssl/err.h>
#include <openssl/evp.h>

#include "cades_attr_ids.h"
#include "log.h"
#include "ossl_ptr.h"

namespace {

// The value of the certValues attribute: SEQUENCE OF Certificate.
ASN1_ITEM_TEMPLATE(SSF_CERT_VALUES) = ASN1_EX_TEMPLATE_TYPE(ASN1_TFLG_SEQUENCE_OF, 0,
                                                            CertificateValues, X509)
    static_ASN1_ITEM_TEMPLATE_END(SSF_CERT_VALUES)

    // The signature lengths a key allows: exactly the key size for RSA and
    // GOST R 34.10 keys (their values have a fixed length), at most that for
    // others (DER-encoded ECDSA values vary).
    bool signature_fits_key(EVP_PKEY * key, int length) {
  const int size = EVP_PKEY_get_size(key);
  if (length <= 0 || size <= 0 || length > size) return false;
  switch (EVP_PKEY_get_base_id(key)) {
    case EVP_PKEY_RSA:
    case NID_id_GostR3410_2001:
    case NID_id_GostR3410_2012_256:
    case NID_id_GostR3410_2012_512:
      return length == size;
    default:
      return true;
  }
}

// The toolkit reads the first value of messageDigest as an OCTET STRING
// whatever its type; a value of another type must not reach it.
bool message_digest_usable(PKCS7_SIGNER_INFO* si) {
  if (sk_X509_ATTRIBUTE_num(si->auth_attr) <= 0) return true;
  const int idx = X509at_get_attr_by_NID(si->auth_attr, NID_pkcs9_messageDigest, -1);
  if (idx < 0) return false;
  ASN1_TYPE* t = X509_ATTRIBUTE_get0_type(X509at_get_attr(si->auth_attr, idx), 0);
  return t != nullptr && t->type == V_ASN1_OCTET_STRING && t->value.octet_string != nullptr;
}

}  // namespace

STACK_OF(X509) * SSF_PKCS7_get0_signers(PKCS7* p7, STACK_OF(X509) * certs, int flags) {
  if (p7 == nullptr) {
    ERR_raise(ERR_LIB_PKCS7, PKCS7_R_INVALID_NULL_POINTER);
    return nullptr;
  }
  if (!PKCS7_type_is_signed(p7)) {
    ERR_raise(ERR_LIB_PKCS7, PKCS7_R_WRONG_CONTENT_TYPE);
    return nullptr;
  }
  STACK_OF(PKCS7_SIGNER_INFO)* infos = PKCS7_get_signer_info(p7);
  if (sk_PKCS7_SIGNER_INFO_num(infos) <= 0) {
    ERR_raise(ERR_LIB_PKCS7, PKCS7_R_NO_SIGNERS);
    return nullptr;
  }
  orvel::X509RefStackPtr signers(sk_X509_new_null());
  if (!signers) {
    ERR_raise(ERR_LIB_PKCS7, ERR_R_MALLOC_FAILURE);
    return nullptr;
  }
  STACK_OF(X509)* own = (flags & PKCS7_NOINTERN) ? nullptr : p7->d.sign->cert;
  for (int i = 0; i < sk_PKCS7_SIGNER_INFO_num(infos); ++i) {
    PKCS7_ISSUER_AND_SERIAL* ias = sk_PKCS7_SIGNER_INFO_value(infos, i)->issuer_and_serial;
    X509* found = nullptr;
    if (ias != nullptr && ias->issuer != nullptr && ias->serial != nullptr) {
      if (certs != nullptr) found = X509_find_by_issuer_and_serial(certs, ias->issuer, ias->serial);
      if (found == nullptr && own != nullptr)
        found = X509_find_by_issuer_and_serial(own, ias->issuer, ias->serial);
    }
    if (sk_X509_push(signers.get(), found) <= 0) {
      ERR_raise(ERR_LIB_PKCS7, ERR_R_MALLOC_FAILURE);
      return nullptr;
    }
  }
  return signers.release();
}

X509* ssf_GetSubjectCertificateFromAttrs(PKCS7_SIGNER_INFO* si) {
  static const char kFunc[] = "ssf_GetSubjectCertificateFromAttrs";
  if (si == nullptr) {
    log_err("%s() 0 : bag args", kFunc);
    return nullptr;
  }
  ASN1_TYPE* value = PKCS7_get_attribute(si, cades::kNidCertValues);
  if (value == nullptr) {
    log_err("%s() 1 : attribute 'id_smime_aa_ets_certValues' not found", kFunc);
    return nullptr;
  }
  orvel::X509StackPtr certs;
  if (value->type == V_ASN1_SEQUENCE && value->value.sequence != nullptr)
    certs.reset(static_cast<STACK_OF(X509)*>(
        ASN1_item_unpack(value->value.sequence, ASN1_ITEM_rptr(SSF_CERT_VALUES))));
  if (!certs) {
    log_err("%s() 2 : ASN1_seq_unpack() failed", kFunc);
    print_brekssl_errors();
    return nullptr;
  }
  X509* found = nullptr;
  if (si->issuer_and_serial != nullptr)
    found = X509_find_by_issuer_and_serial(certs.get(), si->issuer_and_serial->issuer,
                                           si->issuer_and_serial->serial);
  if (found == nullptr || !X509_up_ref(found)) {
    log_err("%s() 3 : signer's certificate not found", kFunc);
    return nullptr;
  }
  return found;
}

int SSF_PKCS7_signatureVerify(BIO* bio, PKCS7* p7, PKCS7_SIGNER_INFO* si, X509* x509) {
  static const char kFunc[] = "SSF_PKCS7_signatureVerify";
  if (bio == nullptr || p7 == nullptr || si == nullptr || x509 == nullptr ||
      si->enc_digest == nullptr || si->digest_alg == nullptr)
    return 0;
  EVP_PKEY* key = X509_get0_pubkey(x509);
  if (key == nullptr) {
    log_err("%s() 1 : public key of the certificate not usable", kFunc);
    print_brekssl_errors();
    return 0;
  }
  if (!signature_fits_key(key, ASN1_STRING_length(si->enc_digest))) {
    log_err("%s() 2 : signature of %d bytes does not fit a key of %d bytes", kFunc,
            ASN1_STRING_length(si->enc_digest), EVP_PKEY_get_size(key));
    return 0;
  }
  if (!message_digest_usable(si)) {
    log_err("%s() 3 : messageDigest attribute missing or not an OCTET STRING", kFunc);
    return 0;
  }
  return PKCS7_signatureVerify(bio, p7, si, x509);
}
