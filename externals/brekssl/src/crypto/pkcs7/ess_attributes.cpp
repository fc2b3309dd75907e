#include "ess_attributes.h"

#include <openssl/objects.h>

#include "error_sink.h"
#include "ossl_ptr.h"

namespace {

using orvel::Asn1ObjectPtr;
using orvel::Asn1StringPtr;
using orvel::BytesPtr;
using orvel::GeneralNamePtr;
using orvel::X509AttributePtr;
using orvel::X509NamePtr;

// Content octets of 1.2.840.113549.1.9.16.2.47 (id-aa-signingCertificateV2),
// with tag and length in front.
constexpr unsigned char kSigningCertificateV2Der[] = {0x06, 0x0b, 0x2a, 0x86, 0x48, 0x86, 0xf7,
                                                      0x0d, 0x01, 0x09, 0x10, 0x02, 0x2f};

// Sets alg to the digest's object identifier with absent parameters.
bool set_digest_algorithm(X509_ALGOR* alg, const EVP_MD* md) {
  int nid = EVP_MD_get_type(md);
  ASN1_OBJECT* obj = nid == NID_undef ? nullptr : OBJ_nid2obj(nid);
  if (obj == nullptr || OBJ_length(obj) == 0) return false;
  // Objects from the table are static: X509_ALGOR_set0 does not take a copy
  // and freeing them later is a no-op.
  return X509_ALGOR_set0(alg, obj, V_ASN1_UNDEF, nullptr) == 1;
}

// A new ISSUER_SERIAL with the certificate's issuer as one directoryName and
// a copy of its serial number.
ISSUER_SERIAL* make_issuer_serial(const X509* cert) {
  orvel::IssuerSerialPtr is(ISSUER_SERIAL_new());
  if (!is) return nullptr;
  GeneralNamePtr gn(GENERAL_NAME_new());
  X509NamePtr name(X509_NAME_dup(X509_get_issuer_name(cert)));
  if (!gn || !name) return nullptr;
  GENERAL_NAME_set0_value(gn.get(), GEN_DIRNAME, name.release());
  if (!sk_GENERAL_NAME_push(is->issuer, gn.get())) return nullptr;
  gn.release();
  // Copying into the serial that ISSUER_SERIAL_new made keeps its sign type
  // and frees nothing twice.
  if (!ASN1_STRING_copy(is->serial, X509_get0_serialNumber(cert))) return nullptr;
  return is.release();
}

// Fills the three fields that OTHERCERTID (through its MD) and CERTIDV2
// share. The caller frees the id on failure, issuerSerial included.
bool fill_cert_id(const char* func, X509_ALGOR* alg, ASN1_OCTET_STRING* hash,
                  ISSUER_SERIAL** issuer_serial, const X509* cert, const EVP_MD* md) {
  if (!set_digest_algorithm(alg, md)) {
    brek_log_err("%s() 1 : digest has no object identifier", func);
    return false;
  }
  if (!hash_cert(cert, md, hash)) {
    brek_log_err("%s() 2 : hash_cert() failed", func);
    return false;
  }
  *issuer_serial = make_issuer_serial(cert);
  if (*issuer_serial == nullptr) {
    brek_log_err("%s() 3 : issuer and serial number not copied", func);
    return false;
  }
  return true;
}

// The DER of a value, or null (len untouched) on failure.
template <typename T>
BytesPtr encode(T* value, int (*i2d)(const T*, unsigned char**), int* len) {
  unsigned char* der = nullptr;
  int n = i2d(value, &der);
  if (n <= 0) return BytesPtr();
  *len = n;
  return BytesPtr(der);
}

}  // namespace

int hash_cert(const X509* cert, const EVP_MD* md, ASN1_OCTET_STRING* out) {
  if (cert == nullptr || md == nullptr || out == nullptr) return 0;
  unsigned char* der = nullptr;
  int len = i2d_X509(cert, &der);
  if (len <= 0) return 0;
  BytesPtr owner(der);
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int digest_len = 0;
  if (!EVP_Digest(der, static_cast<size_t>(len), digest, &digest_len, md, nullptr)) return 0;
  return ASN1_OCTET_STRING_set(out, digest, static_cast<int>(digest_len)) ? 1 : 0;
}

OTHERCERTID* PKCS7_make_other_cert_id(const X509* cert, const EVP_MD* md) {
  if (cert == nullptr || md == nullptr) return nullptr;
  orvel::OtherCertIdPtr id(OTHERCERTID_new());
  if (!id) return nullptr;
  if (!fill_cert_id(__func__, id->mD->hashAlgorithm, id->mD->hashValue, &id->issuerSerial, cert,
                    md))
    return nullptr;
  return id.release();
}

OTHERSIGCERT* PKCS7_make_otherSigCert_attribute(const X509* cert, const EVP_MD* md) {
  if (cert == nullptr || md == nullptr) return nullptr;
  orvel::OtherSigCertPtr value(OTHERSIGCERT_new());
  orvel::OtherCertIdPtr id(PKCS7_make_other_cert_id(cert, md));
  if (!value || !id) return nullptr;
  if (!sk_OTHERCERTID_push(value->Certs, id.get())) return nullptr;
  id.release();
  return value.release();
}

int PKCS7_add_otherSigCert_attribute(PKCS7_SIGNER_INFO* si, const X509* cert, const EVP_MD* md) {
  if (si == nullptr) return 0;
  orvel::OtherSigCertPtr value(PKCS7_make_otherSigCert_attribute(cert, md));
  if (!value) {
    brek_log_err("%s() 1 : PKCS7_make_otherSigCert_attribute() failed", __func__);
    return 0;
  }
  int len = 0;
  BytesPtr der = encode(value.get(), i2d_OTHERSIGCERT, &len);
  if (!der) {
    brek_log_err("%s() 2 : i2d_OTHERSIGCERT() failed", __func__);
    return 0;
  }
  Asn1StringPtr seq(ASN1_STRING_type_new(V_ASN1_SEQUENCE));
  if (!seq) {
    brek_log_err("%s() 3 : ASN1_STRING_type_new() failed", __func__);
    return 0;
  }
  ASN1_STRING_set0(seq.get(), der.release(), len);
  // The toolkit takes the value only when it succeeds.
  if (!PKCS7_add_signed_attribute(si, NID_id_smime_aa_ets_otherSigCert, V_ASN1_SEQUENCE,
                                  seq.get())) {
    brek_log_err("%s() 4 : PKCS7_add_signed_attribute() failed", __func__);
    return 0;
  }
  seq.release();
  return 1;
}

ESSCERTIDV2* PKCS7_make_SigCertV2_attribute(const X509* cert, const EVP_MD* md) {
  if (cert == nullptr || md == nullptr) return nullptr;
  orvel::EssCertIdV2Ptr value(ESSCERTIDV2_new());
  orvel::CertIdV2Ptr id(CERTIDV2_new());
  if (!value || !id) return nullptr;
  if (!fill_cert_id(__func__, id->hashAlgorithm, id->hashValue, &id->issuerSerial, cert, md))
    return nullptr;
  if (!sk_CERTIDV2_push(value->Certs, id.get())) return nullptr;
  id.release();
  return value.release();
}

int PKCS7_add_ESSSigningCertV2_attribute(PKCS7_SIGNER_INFO* si, const X509* cert,
                                         const EVP_MD* md) {
  if (si == nullptr) return 0;
  orvel::EssCertIdV2Ptr value(PKCS7_make_SigCertV2_attribute(cert, md));
  if (!value) {
    brek_log_err("%s() 1 : PKCS7_make_SigCertV2_attribute() failed", __func__);
    return 0;
  }
  int len = 0;
  BytesPtr der = encode(value.get(), i2d_ESSCERTIDV2, &len);
  if (!der) {
    brek_log_err("%s() 2 : i2d_ESSCERTIDV2() failed", __func__);
    return 0;
  }
  const unsigned char* p = kSigningCertificateV2Der;
  Asn1ObjectPtr type(d2i_ASN1_OBJECT(nullptr, &p, sizeof kSigningCertificateV2Der));
  if (!type) {
    brek_log_err("%s() 3 : d2i_ASN1_OBJECT() failed", __func__);
    return 0;
  }
  // A value of type SEQUENCE holding the DER; the attribute copies both.
  X509AttributePtr attr(
      X509_ATTRIBUTE_create_by_OBJ(nullptr, type.get(), V_ASN1_SEQUENCE, der.get(), len));
  if (!attr) {
    brek_log_err("%s() 4 : X509_ATTRIBUTE_create_by_OBJ() failed", __func__);
    return 0;
  }
  // Appended, not put through X509at_add1_attr: that refuses a second
  // attribute of one type.
  STACK_OF(X509_ATTRIBUTE)* attrs = si->auth_attr;
  bool created = false;
  if (attrs == nullptr) {
    attrs = sk_X509_ATTRIBUTE_new_null();
    if (attrs == nullptr) {
      brek_log_err("%s() 5 : sk_X509_ATTRIBUTE_new_null() failed", __func__);
      return 0;
    }
    created = true;
  }
  if (!sk_X509_ATTRIBUTE_push(attrs, attr.get())) {
    if (created) sk_X509_ATTRIBUTE_free(attrs);
    brek_log_err("%s() 6 : sk_X509_ATTRIBUTE_push() failed", __func__);
    return 0;
  }
  attr.release();
  if (created) si->auth_attr = attrs;
  return 1;
}
