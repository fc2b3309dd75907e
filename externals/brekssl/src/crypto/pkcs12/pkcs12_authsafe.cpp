#include "pkcs12/pkcs12_authsafe.h"

#include <openssl/asn1t.h>
#include <openssl/err.h>

#include "pkcs12/pkcs12_pbe.h"

namespace {

// The PFX structure in full: the toolkit's PKCS12 hides its authSafe.
struct SSF_PFX_VIEW {
  ASN1_INTEGER* version;
  PKCS7* auth_safe;
  PKCS12_MAC_DATA* mac;
};

// clang-format off
ASN1_SEQUENCE(SSF_PFX_VIEW) = {
    ASN1_SIMPLE(SSF_PFX_VIEW, version, ASN1_INTEGER),
    ASN1_SIMPLE(SSF_PFX_VIEW, auth_safe, PKCS7),
    ASN1_OPT(SSF_PFX_VIEW, mac, PKCS12_MAC_DATA),
} static_ASN1_SEQUENCE_END(SSF_PFX_VIEW)
// clang-format on

void free_view(SSF_PFX_VIEW* v) {
  ASN1_item_free(reinterpret_cast<ASN1_VALUE*>(v), ASN1_ITEM_rptr(SSF_PFX_VIEW));
}
using ViewPtr = std::unique_ptr<SSF_PFX_VIEW, orvel::Free<SSF_PFX_VIEW, free_view>>;

// A decoded copy of p12's authSafe (re-encoding gives the same content
// octets: the toolkit keeps them as one flat string).
orvel::Pkcs7Ptr copy_auth_safe(const PKCS12* p12) {
  unsigned char* der = nullptr;
  int len = i2d_PKCS12(p12, &der);
  orvel::BytesPtr der_owner(der);
  if (len <= 0) return nullptr;
  const unsigned char* p = der;
  ViewPtr view(reinterpret_cast<SSF_PFX_VIEW*>(
      ASN1_item_d2i(nullptr, &p, len, ASN1_ITEM_rptr(SSF_PFX_VIEW))));
  if (!view) return nullptr;
  orvel::Pkcs7Ptr safe(view->auth_safe);
  view->auth_safe = nullptr;
  return safe;
}

}  // namespace

int ssf_pkcs12_authsafe_type(const PKCS12* p12) {
  orvel::Pkcs7Ptr safe = copy_auth_safe(p12);
  return safe ? OBJ_obj2nid(safe->type) : NID_undef;
}

bool ssf_pkcs12_mac_input(const PKCS12* p12, Pkcs12MacInput* in) {
  if (p12 == nullptr) {
    ERR_raise(ERR_LIB_PKCS12, PKCS12_R_INVALID_NULL_PKCS12_POINTER);
    return false;
  }
  const ASN1_OCTET_STRING* salt = nullptr;
  const X509_ALGOR* alg = nullptr;
  const ASN1_INTEGER* iter = nullptr;
  PKCS12_get0_mac(nullptr, &alg, &salt, &iter, p12);
  if (!PKCS12_mac_present(p12) || alg == nullptr || salt == nullptr) {
    ERR_raise(ERR_LIB_PKCS12, PKCS12_R_MAC_ABSENT);
    return false;
  }
  in->auth_safe = copy_auth_safe(p12);
  if (!in->auth_safe) {
    ERR_raise(ERR_LIB_PKCS12, PKCS12_R_DECODE_ERROR);
    return false;
  }
  if (!PKCS7_type_is_data(in->auth_safe.get()) || in->auth_safe->d.data == nullptr) {
    ERR_raise(ERR_LIB_PKCS12, PKCS12_R_CONTENT_TYPE_NOT_DATA);
    return false;
  }
  in->data = in->auth_safe->d.data->data;
  in->data_len = static_cast<size_t>(in->auth_safe->d.data->length);

  const ASN1_OBJECT* md_obj = nullptr;
  X509_ALGOR_get0(&md_obj, nullptr, nullptr, alg);
  in->md_nid = OBJ_obj2nid(md_obj);
  in->md = EVP_get_digestbyobj(md_obj);
  if (in->md == nullptr) {
    ERR_raise(ERR_LIB_PKCS12, PKCS12_R_UNKNOWN_DIGEST_ALGORITHM);
    return false;
  }
  in->salt = ASN1_STRING_get0_data(salt);
  in->salt_len = static_cast<size_t>(ASN1_STRING_length(salt));
  in->iter = 1;
  if (iter != nullptr) {
    long n = ASN1_INTEGER_get(iter);
    if (n < 1) {
      ERR_raise_data(ERR_LIB_PKCS12, PKCS12_R_DECODE_ERROR, "iteration count");
      return false;
    }
    // Refused before any derivation: a check may derive up to four times
    // (no password and the empty one, each in both schemes of a GOST MAC).
    if (!ssf_pkcs12_iterations_ok("MAC", n)) return false;
    in->iter = static_cast<int>(n);
  }
  return true;
}
