#include "x509v3/sign_tool.h"

#include <openssl/err.h>

#include <cstring>

#include "objects/ssf_objects.h"
#include "ossl_ptr.h"
#include "x509v3/ssf_x509v3_err.h"

// clang-format off
ASN1_ITEM_TEMPLATE(SIGN_TOOL_DESCR) =
    ASN1_EX_TEMPLATE_TYPE(ASN1_TFLG_SEQUENCE_OF, 0, SignToolDescr, ASN1_UTF8STRING)
ASN1_ITEM_TEMPLATE_END(SIGN_TOOL_DESCR)
// clang-format on

SIGN_TOOL_DESCR* SIGN_TOOL_DESCR_new() {
  return reinterpret_cast<SIGN_TOOL_DESCR*>(ASN1_item_new(ASN1_ITEM_rptr(SIGN_TOOL_DESCR)));
}

void SIGN_TOOL_DESCR_free(SIGN_TOOL_DESCR* d) {
  ASN1_item_free(reinterpret_cast<ASN1_VALUE*>(d), ASN1_ITEM_rptr(SIGN_TOOL_DESCR));
}

namespace {

using DescrPtr =
    std::unique_ptr<SIGN_TOOL_DESCR, orvel::Free<SIGN_TOOL_DESCR, SIGN_TOOL_DESCR_free>>;
using Utf8Ptr =
    std::unique_ptr<ASN1_UTF8STRING, orvel::Free<ASN1_UTF8STRING, ASN1_UTF8STRING_free>>;

// Field names in their DER order.
constexpr const char* kNames[] = {"signTool", "cATool", "signToolCert", "cAToolCert"};
constexpr int kFields = 4;

int field_of(const char* name) {
  for (int i = 0; i < kFields; ++i)
    if (name != nullptr && std::strcmp(name, kNames[i]) == 0) return i;
  return -1;
}

const char* or_empty(const char* s) { return s != nullptr ? s : ""; }

void add_value_data(const CONF_VALUE* v) {
  ERR_add_error_data(6, "section:", or_empty(v->section), ",name:", or_empty(v->name),
                     ",value:", or_empty(v->value));
}

void* v2i_cb(const X509V3_EXT_METHOD* m, X509V3_CTX* ctx, STACK_OF(CONF_VALUE) * v) {
  return v2i_SIGN_TOOL_DESCR(m, ctx, v);
}
STACK_OF(CONF_VALUE) * i2v_cb(const X509V3_EXT_METHOD* m, void* ext, STACK_OF(CONF_VALUE) * out) {
  return i2v_SIGN_TOOL_DESCR(m, static_cast<SIGN_TOOL_DESCR*>(ext), out);
}

X509V3_EXT_METHOD g_method = {
    NID_undef,  // ext_nid
    X509V3_EXT_MULTILINE,
    ASN1_ITEM_ref(SIGN_TOOL_DESCR),
    nullptr,  // ext_new
    nullptr,  // ext_free
    nullptr,  // d2i
    nullptr,  // i2d
    nullptr,  // i2s
    nullptr,  // s2i
    i2v_cb,
    v2i_cb,
    nullptr,  // i2r
    nullptr,  // r2i
    nullptr,  // usr_data
};

}  // namespace

SIGN_TOOL_DESCR* v2i_SIGN_TOOL_DESCR(const X509V3_EXT_METHOD*, X509V3_CTX*,
                                     STACK_OF(CONF_VALUE) * values) {
  // Each value goes to its field's slot, so the order of the configuration
  // lines does not matter.
  Utf8Ptr slots[kFields];
  int given = 0;
  for (int i = 0; i < sk_CONF_VALUE_num(values); ++i) {
    const CONF_VALUE* v = sk_CONF_VALUE_value(values, i);
    int field = field_of(v->name);
    if (field < 0) {
      ERR_raise(ERR_LIB_X509V3, X509V3_R_INVALID_NAME);
      add_value_data(v);
      return nullptr;
    }
    if (v->value == nullptr || v->value[0] == '\0') {
      SSF_X509V3_RAISE(kSsfX509v3EmptyValue);
      add_value_data(v);
      return nullptr;
    }
    ++given;
    // A name given twice leaves the count above four.
    if (slots[field]) continue;
    slots[field].reset(ASN1_UTF8STRING_new());
    if (!slots[field] || !ASN1_STRING_set(slots[field].get(), v->value, -1)) {
      ERR_raise(ERR_LIB_X509V3, ERR_R_MALLOC_FAILURE);
      return nullptr;
    }
  }
  // Exactly four values and each field filled: a repeated name with a
  // missing one must not leave an empty slot.
  bool all_filled = true;
  for (const Utf8Ptr& slot : slots) all_filled = all_filled && slot != nullptr;
  if (given != kFields || !all_filled) {
    SSF_X509V3_RAISE(kSsfX509v3InvalidStringsNumber);
    return nullptr;
  }
  DescrPtr descr(SIGN_TOOL_DESCR_new());
  if (!descr) {
    ERR_raise(ERR_LIB_X509V3, ERR_R_MALLOC_FAILURE);
    return nullptr;
  }
  for (Utf8Ptr& s : slots) {
    if (!sk_ASN1_UTF8STRING_push(descr.get(), s.get())) {
      ERR_raise(ERR_LIB_X509V3, ERR_R_MALLOC_FAILURE);
      return nullptr;
    }
    s.release();
  }
  return descr.release();
}

STACK_OF(CONF_VALUE) * i2v_SIGN_TOOL_DESCR(const X509V3_EXT_METHOD*, SIGN_TOOL_DESCR* descr,
                                           STACK_OF(CONF_VALUE) * out) {
  STACK_OF(CONF_VALUE)* list = out;
  if (list == nullptr && (list = sk_CONF_VALUE_new_null()) == nullptr) return nullptr;
  for (int i = 0; i < sk_ASN1_UTF8STRING_num(descr); ++i) {
    const ASN1_UTF8STRING* s = sk_ASN1_UTF8STRING_value(descr, i);
    // A NUL-terminated copy: the string need not end in one.
    orvel::CharsPtr text(OPENSSL_strndup(reinterpret_cast<const char*>(ASN1_STRING_get0_data(s)),
                                         static_cast<size_t>(ASN1_STRING_length(s))));
    if (!text || !X509V3_add_value(nullptr, text.get(), &list)) {
      if (out == nullptr) sk_CONF_VALUE_pop_free(list, X509V3_conf_free);
      return nullptr;
    }
  }
  return list;
}

const X509V3_EXT_METHOD* ssf_v3_issuer_sign_tool() {
  g_method.ext_nid = ssf_nid_issuerSignTool();
  return &g_method;
}
