#include "x509v3/pkey_usage_period.h"

#include <openssl/err.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>

#include "ossl_ptr.h"

namespace {

using PeriodPtr =
    std::unique_ptr<PKEY_USAGE_PERIOD, orvel::Free<PKEY_USAGE_PERIOD, PKEY_USAGE_PERIOD_free>>;

// A positive decimal number of days, or 0.
int parse_days(const char* text) {
  if (text == nullptr || *text == '\0') return 0;
  errno = 0;
  char* end = nullptr;
  long n = std::strtol(text, &end, 10);
  if (errno != 0 || *end != '\0' || n <= 0 || n > INT_MAX) return 0;
  return static_cast<int>(n);
}

void* v2i_cb(const X509V3_EXT_METHOD* m, X509V3_CTX* ctx, STACK_OF(CONF_VALUE) * v) {
  return v2i_PKEY_USAGE_PERIOD(m, ctx, v);
}

X509V3_EXT_METHOD g_method = {};
bool g_method_ready = false;

}  // namespace

PKEY_USAGE_PERIOD* v2i_PKEY_USAGE_PERIOD(const X509V3_EXT_METHOD*, X509V3_CTX*,
                                         STACK_OF(CONF_VALUE) * values) {
  if (sk_CONF_VALUE_num(values) != 1) {
    ERR_raise_data(ERR_LIB_X509V3, X509V3_R_INVALID_NUMBER, "one number of days expected");
    return nullptr;
  }
  const CONF_VALUE* v = sk_CONF_VALUE_value(values, 0);
  // "365" from a list arrives as a name without value.
  const char* text = v->value != nullptr ? v->value : v->name;
  int days = parse_days(text);
  if (days == 0) {
    ERR_raise_data(ERR_LIB_X509V3, X509V3_R_INVALID_NUMBER, "days=%s", text != nullptr ? text : "");
    return nullptr;
  }
  PeriodPtr period(PKEY_USAGE_PERIOD_new());
  if (!period) {
    ERR_raise(ERR_LIB_X509V3, ERR_R_MALLOC_FAILURE);
    return nullptr;
  }
  time_t now = std::time(nullptr);
  period->notBefore = ASN1_GENERALIZEDTIME_set(nullptr, now);
  period->notAfter = ASN1_GENERALIZEDTIME_adj(nullptr, now, days, 0);
  // Past the year 9999 the time has no GeneralizedTime form.
  if (period->notBefore == nullptr || period->notAfter == nullptr) {
    ERR_raise_data(ERR_LIB_X509V3, X509V3_R_INVALID_NUMBER, "days=%s", text);
    return nullptr;
  }
  return period.release();
}

const X509V3_EXT_METHOD* ssf_v3_pkey_usage_period() {
  if (!g_method_ready) {
    const X509V3_EXT_METHOD* stock = X509V3_EXT_get_nid(NID_private_key_usage_period);
    if (stock != nullptr) {
      g_method = *stock;
    } else {
      g_method.ext_nid = NID_private_key_usage_period;
      g_method.it = ASN1_ITEM_ref(PKEY_USAGE_PERIOD);
    }
    g_method.ext_flags &= ~X509V3_EXT_DYNAMIC;
    g_method.v2i = v2i_cb;
    g_method_ready = true;
  }
  return &g_method;
}
