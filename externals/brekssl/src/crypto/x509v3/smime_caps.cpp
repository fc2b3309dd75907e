#include "x509v3/smime_caps.h"

#include <openssl/err.h>
#include <openssl/objects.h>

#include <cstdio>

#include "ossl_ptr.h"

namespace {

using orvel::Asn1ObjectPtr;

// Each text of a printed capability is at most this long.
constexpr int kTextMax = 1024;

void free_algors(STACK_OF(X509_ALGOR) * s) { sk_X509_ALGOR_pop_free(s, X509_ALGOR_free); }
using AlgorStackPtr =
    std::unique_ptr<STACK_OF(X509_ALGOR), orvel::Free<STACK_OF(X509_ALGOR), free_algors>>;
using AlgorPtr = std::unique_ptr<X509_ALGOR, orvel::Free<X509_ALGOR, X509_ALGOR_free>>;

void* v2i_cb(const X509V3_EXT_METHOD* m, X509V3_CTX* ctx, STACK_OF(CONF_VALUE) * v) {
  return v2i_SMIME_CAPS(m, ctx, v);
}
STACK_OF(CONF_VALUE) * i2v_cb(const X509V3_EXT_METHOD* m, void* ext, STACK_OF(CONF_VALUE) * out) {
  return i2v_SMIME_CAPS(m, static_cast<STACK_OF(X509_ALGOR)*>(ext), out);
}

X509V3_EXT_METHOD g_method = {
    NID_SMIMECapabilities,  // ext_nid
    X509V3_EXT_MULTILINE,
    ASN1_ITEM_ref(X509_ALGORS),
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

STACK_OF(X509_ALGOR) *
    v2i_SMIME_CAPS(const X509V3_EXT_METHOD*, X509V3_CTX*, STACK_OF(CONF_VALUE) * values) {
  AlgorStackPtr caps(sk_X509_ALGOR_new_null());
  if (!caps) {
    ERR_raise(ERR_LIB_X509V3, ERR_R_MALLOC_FAILURE);
    return nullptr;
  }
  for (int i = 0; i < sk_CONF_VALUE_num(values); ++i) {
    const CONF_VALUE* v = sk_CONF_VALUE_value(values, i);
    // A bare list item arrives as a name without value.
    const char* text = v->value != nullptr ? v->value : v->name;
    Asn1ObjectPtr obj(text != nullptr ? OBJ_txt2obj(text, 0) : nullptr);
    if (!obj) {
      ERR_raise_data(ERR_LIB_X509V3, X509V3_R_INVALID_OBJECT_IDENTIFIER, "value=%s",
                     text != nullptr ? text : "");
      return nullptr;
    }
    AlgorPtr alg(X509_ALGOR_new());
    if (!alg || !X509_ALGOR_set0(alg.get(), obj.get(), V_ASN1_UNDEF, nullptr)) {
      ERR_raise(ERR_LIB_X509V3, ERR_R_MALLOC_FAILURE);
      return nullptr;
    }
    obj.release();
    if (!sk_X509_ALGOR_push(caps.get(), alg.get())) {
      ERR_raise(ERR_LIB_X509V3, ERR_R_MALLOC_FAILURE);
      return nullptr;
    }
    alg.release();
  }
  return caps.release();
}

STACK_OF(CONF_VALUE) * i2v_SMIME_CAPS(const X509V3_EXT_METHOD*, STACK_OF(X509_ALGOR) * caps,
                                      STACK_OF(CONF_VALUE) * out) {
  STACK_OF(CONF_VALUE)* list = out;
  for (int i = 0; i < sk_X509_ALGOR_num(caps); ++i) {
    const ASN1_OBJECT* obj = nullptr;
    X509_ALGOR_get0(&obj, nullptr, nullptr, sk_X509_ALGOR_value(caps, i));
    char name[kTextMax], dotted[kTextMax], line[2 * kTextMax + 4];
    bool ok = OBJ_obj2txt(name, sizeof(name), obj, 0) >= 0 &&
              OBJ_obj2txt(dotted, sizeof(dotted), obj, 1) >= 0;
    if (ok) {
      std::snprintf(line, sizeof(line), "%s (%s)", name, dotted);
      ok = X509V3_add_value(nullptr, line, &list) == 1;
    }
    if (!ok) {
      // Lines added to a list the caller gave stay the caller's.
      if (out == nullptr) sk_CONF_VALUE_pop_free(list, X509V3_conf_free);
      return nullptr;
    }
  }
  return list;
}

X509V3_EXT_METHOD* ssf_v3_smimecaps() { return &g_method; }
