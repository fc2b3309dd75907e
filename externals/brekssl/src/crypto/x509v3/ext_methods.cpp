#include "x509v3/ext_methods.h"

#include <openssl/err.h>

#include <cctype>
#include <cstring>

#include "objects/ssf_objects.h"
#include "ossl_ptr.h"
#include "x509v3/pkey_usage_period.h"
#include "x509v3/sign_tool.h"
#include "x509v3/smime_caps.h"
#include "x509v3/ssf_x509v3_err.h"

namespace {

void free_conf_values(STACK_OF(CONF_VALUE) * s) { sk_CONF_VALUE_pop_free(s, X509V3_conf_free); }
using ConfValuesPtr =
    std::unique_ptr<STACK_OF(CONF_VALUE), orvel::Free<STACK_OF(CONF_VALUE), free_conf_values>>;

// The system's method where its configuration rules differ from the
// toolkit's method for the same extension.
const X509V3_EXT_METHOD* own_method(int ext_nid) {
  if (ext_nid == NID_undef) return nullptr;
  if (ext_nid == NID_private_key_usage_period) return ssf_v3_pkey_usage_period();
  if (ext_nid == ssf_nid_issuerSignTool()) return ssf_v3_issuer_sign_tool();
  return nullptr;
}

bool starts_with(const char* s, const char* prefix) {
  return std::strncmp(s, prefix, std::strlen(prefix)) == 0;
}

// The DER of a value of the method's type, freeing the value.
X509_EXTENSION* encode_extension(const X509V3_EXT_METHOD* m, int ext_nid, int crit, void* value) {
  const ASN1_ITEM* it = ASN1_ITEM_ptr(m->it);
  unsigned char* der = nullptr;
  int len = ASN1_item_i2d(static_cast<ASN1_VALUE*>(value), &der, it);
  ASN1_item_free(static_cast<ASN1_VALUE*>(value), it);
  orvel::BytesPtr der_owner(der);
  orvel::Asn1OctetStringPtr oct(ASN1_OCTET_STRING_new());
  if (len <= 0 || !oct || !ASN1_OCTET_STRING_set(oct.get(), der, len)) {
    ERR_raise(ERR_LIB_X509V3, X509V3_R_EXTENSION_VALUE_ERROR);
    return nullptr;
  }
  return X509_EXTENSION_create_by_NID(nullptr, ext_nid, crit, oct.get());
}

}  // namespace

int ssf_register_x509v3_methods() {
  ssf_x509v3_err_lib();
  X509V3_EXT_METHOD* caps = ssf_v3_smimecaps();
  if (X509V3_EXT_get_nid(caps->ext_nid) == nullptr && !X509V3_EXT_add(caps)) return 0;
  return 1;
}

X509_EXTENSION* SSF_X509V3_EXT_nconf_nid(CONF* conf, X509V3_CTX* ctx, int ext_nid,
                                         const char* value) {
  const X509V3_EXT_METHOD* m = own_method(ext_nid);
  if (m == nullptr || value == nullptr) return X509V3_EXT_nconf_nid(conf, ctx, ext_nid, value);
  int crit = 0;
  const char* p = value;
  if (starts_with(p, "critical,")) {
    crit = 1;
    p += std::strlen("critical,");
    while (std::isspace(static_cast<unsigned char>(*p))) ++p;
  }
  // Raw DER is the toolkit's business.
  if (starts_with(p, "DER:") || starts_with(p, "ASN1:"))
    return X509V3_EXT_nconf_nid(conf, ctx, ext_nid, value);

  ConfValuesPtr parsed;
  STACK_OF(CONF_VALUE)* values = nullptr;
  if (*p == '@') {
    if (conf == nullptr) {
      ERR_raise(ERR_LIB_X509V3, X509V3_R_NO_CONFIG_DATABASE);
      return nullptr;
    }
    values = NCONF_get_section(conf, p + 1);
  } else {
    parsed.reset(X509V3_parse_list(p));
    values = parsed.get();
  }
  if (values == nullptr || sk_CONF_VALUE_num(values) <= 0) {
    ERR_raise_data(ERR_LIB_X509V3, X509V3_R_INVALID_EXTENSION_STRING, "name=%s,section=%s",
                   OBJ_nid2sn(ext_nid), value);
    return nullptr;
  }
  void* ext = m->v2i(m, ctx, values);
  if (ext == nullptr) return nullptr;
  return encode_extension(m, ext_nid, crit, ext);
}

int X509V3_EXT_free(int ext_nid, void* ext_data) {
  const X509V3_EXT_METHOD* m = X509V3_EXT_get_nid(ext_nid);
  if (m == nullptr) {
    SSF_X509V3_RAISE(kSsfX509v3CannotFindFreeFunction);
    ERR_add_error_data(2, "no method for extension ", OBJ_nid2sn(ext_nid));
    return 0;
  }
  if (m->it != nullptr) {
    ASN1_item_free(static_cast<ASN1_VALUE*>(ext_data), ASN1_ITEM_ptr(m->it));
    return 1;
  }
  if (m->ext_free != nullptr) {
    if (ext_data != nullptr) m->ext_free(ext_data);
    return 1;
  }
  SSF_X509V3_RAISE(kSsfX509v3CannotFindFreeFunction);
  return 0;
}
