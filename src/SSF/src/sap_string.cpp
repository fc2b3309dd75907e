#include "sap_string.h"

#include <cstring>

#include "log.h"

char* get_sz_string_from_sap_string(const char* str, int32_t len) {
  if (str == nullptr) {
    log_err("%s() 1 : Error: str = %#X", __func__, 0u);
    return nullptr;
  }
  if (len < 0) {
    log_err("%s() 1 : Error: strL = %d", __func__, len);
    return nullptr;
  }
  const size_t size = static_cast<size_t>(len) + 1;
  auto* text = static_cast<char*>(OPENSSL_malloc(size));
  if (text == nullptr) {
    log_err("%s() 2 : OPENSSL_malloc( %d ) failed", __func__, len + 1);
    print_brekssl_errors();
    return nullptr;
  }
  if (len > 0) memcpy(text, str, static_cast<size_t>(len));
  text[len] = '\0';
  return text;
}

int cmp_cstr_sapstr(const char* text, const char* str, int32_t len) {
  if (text == nullptr || len < 0) return 0;
  if (strlen(text) != static_cast<size_t>(len)) return 0;
  if (len == 0) return 1;
  if (str == nullptr) return 0;
  return memcmp(text, str, static_cast<size_t>(len)) == 0 ? 1 : 0;
}

bool is_enhanced_signature(const char* name, int32_t len) {
  return cmp_cstr_sapstr("PKCS7_CADES", name, len) == 1;
}
