#include "cades_responder_id.h"

#include <openssl/asn1t.h>

ASN1_CHOICE(SSF_RESPID) = {
    ASN1_EXP(SSF_RESPID, value.byName, X509_NAME, 1),
    ASN1_EXP(SSF_RESPID, value.byKey, ASN1_OCTET_STRING, 2),
} ASN1_CHOICE_END(SSF_RESPID)

IMPLEMENT_ASN1_FUNCTIONS(SSF_RESPID)

SSF_RESPID* SSF_RESPID_dup(const SSF_RESPID* id) {
  if (id == nullptr) return nullptr;
  return static_cast<SSF_RESPID*>(ASN1_item_dup(ASN1_ITEM_rptr(SSF_RESPID), id));
}

SSF_RESPID* SSF_RESPID_from_OCSP_RESPID(const OCSP_RESPID* id) {
  if (id == nullptr) return nullptr;
  unsigned char* der = nullptr;
  int len = i2d_OCSP_RESPID(id, &der);
  if (len <= 0) return nullptr;
  orvel::BytesPtr owner(der);
  const unsigned char* p = der;
  orvel::SsfRespIdPtr out(d2i_SSF_RESPID(nullptr, &p, len));
  // The whole encoding must be one ResponderID.
  if (!out || p != der + len) return nullptr;
  return out.release();
}

SSF_RESPID* SSF_RESPID_from_basic_response(const OCSP_BASICRESP* bs) {
  if (bs == nullptr) return nullptr;
  const ASN1_OCTET_STRING* key = nullptr;
  const X509_NAME* name = nullptr;
  if (!OCSP_resp_get0_id(bs, &key, &name)) return nullptr;
  orvel::SsfRespIdPtr out(SSF_RESPID_new());
  if (!out) return nullptr;
  if (name != nullptr) {
    out->value.byName = X509_NAME_dup(name);
    if (out->value.byName == nullptr) return nullptr;
    out->type = V_OCSP_RESPID_NAME;
  } else if (key != nullptr) {
    out->value.byKey = ASN1_OCTET_STRING_dup(key);
    if (out->value.byKey == nullptr) return nullptr;
    out->type = V_OCSP_RESPID_KEY;
  } else {
    return nullptr;
  }
  return out.release();
}
