#include "enhance_seq_types.h"

ASN1_ITEM_TEMPLATE(SSF_CERTIFICATES) =
    ASN1_EX_TEMPLATE_TYPE(ASN1_TFLG_SEQUENCE_OF, 0, Certificates, X509)
ASN1_ITEM_TEMPLATE_END(SSF_CERTIFICATES)

ASN1_ITEM_TEMPLATE(SSF_OTHERCERTIDS) =
    ASN1_EX_TEMPLATE_TYPE(ASN1_TFLG_SEQUENCE_OF, 0, OtherCertIds, OTHERCERTID)
ASN1_ITEM_TEMPLATE_END(SSF_OTHERCERTIDS)

ASN1_ITEM_TEMPLATE(SSF_CRLS) =
    ASN1_EX_TEMPLATE_TYPE(ASN1_TFLG_SEQUENCE_OF, 0, Crls, X509_CRL)
ASN1_ITEM_TEMPLATE_END(SSF_CRLS)

STACK_OF(X509) * ssf_d2i_certificates(const ASN1_STRING* der) {
  if (der == nullptr) return nullptr;
  const unsigned char* p = ASN1_STRING_get0_data(der);
  const unsigned char* end = p + ASN1_STRING_length(der);
  auto* s = reinterpret_cast<STACK_OF(X509)*>(
      ASN1_item_d2i(nullptr, &p, ASN1_STRING_length(der), ASN1_ITEM_rptr(SSF_CERTIFICATES)));
  if (s != nullptr && p != end) {
    sk_X509_pop_free(s, X509_free);
    return nullptr;
  }
  return s;
}

STACK_OF(OTHERCERTID) * ssf_d2i_other_cert_ids(const ASN1_STRING* der) {
  if (der == nullptr) return nullptr;
  const unsigned char* p = ASN1_STRING_get0_data(der);
  const unsigned char* end = p + ASN1_STRING_length(der);
  auto* s = reinterpret_cast<STACK_OF(OTHERCERTID)*>(
      ASN1_item_d2i(nullptr, &p, ASN1_STRING_length(der), ASN1_ITEM_rptr(SSF_OTHERCERTIDS)));
  if (s != nullptr && p != end) {
    sk_OTHERCERTID_pop_free(s, OTHERCERTID_free);
    return nullptr;
  }
  return s;
}
