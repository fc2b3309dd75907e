// Parameters, diagnostics and small helpers of the "pkcs11" engine.
#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <array>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "engines/pkcs11/pkcs11_engine.h"

namespace {

// Copies owned by the engine; the PIN is wiped when it is replaced.
std::array<char*, 9> g_params{};

__attribute__((format(printf, 2, 0))) void vlog(bool framed, const char* format, va_list ap) {
  char text[1024];
  vsnprintf(text, sizeof(text), format, ap);
  static const char kRule[] = "-------------------------------------------------------------";
  if (framed)
    fprintf(stderr, "%s\nERROR\n%s\n%s\n", kRule, text, kRule);
  else
    fprintf(stderr, "%s\n", text);
}

}  // namespace

const char* pkcs11_param(int index) {
  if (index < 0 || index >= static_cast<int>(g_params.size())) return nullptr;
  return g_params[static_cast<size_t>(index)];
}

int pkcs11_set_default_param(int index, const char* value) {
  if (index < 0 || index >= static_cast<int>(g_params.size())) return 0;
  char*& slot = g_params[static_cast<size_t>(index)];
  if (slot != nullptr) OPENSSL_clear_free(slot, strlen(slot));
  slot = value != nullptr ? OPENSSL_strdup(value) : nullptr;
  return 1;
}

void pkcs11_log_err(const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  vlog(true, format, ap);
  va_end(ap);
}

void pkcs11_log_write(const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  vlog(false, format, ap);
  va_end(ap);
}

char* strdup_unpadded(const char* text, int length) {
  if (text == nullptr) return nullptr;
  size_t n = length < 0 ? strlen(text) : static_cast<size_t>(length);
  while (n > 0 && text[n - 1] == ' ') n--;
  char* out = static_cast<char*>(OPENSSL_malloc(n + 1));
  if (out == nullptr) return nullptr;
  memcpy(out, text, n);
  out[n] = '\0';
  return out;
}

int pkcs11_id_gen(const unsigned char* value, uint32_t length, unsigned char id[20]) {
  if (value == nullptr || length > 128) return 0;
  unsigned char der[3 + 128];
  size_t n = 0;
  if (length == 64) {
    der[n++] = 0x04;
    der[n++] = 0x40;
  } else {
    der[n++] = 0x04;
    der[n++] = 0x81;
    der[n++] = 0x80;
  }
  memcpy(der + n, value, length);
  return EVP_Digest(der, n + length, id, nullptr, EVP_sha1(), nullptr) ? 1 : 0;
}

CK_RV pkcs11_token_slots(CK_FUNCTION_LIST* p11, std::vector<CK_SLOT_ID>* slots) {
  CK_ULONG count = kPkcs11MaxObjects;
  slots->assign(kPkcs11MaxObjects, 0);
  const CK_RV rv = p11->C_GetSlotList(CK_TRUE, slots->data(), &count);
  if (rv != CKR_OK) {
    slots->clear();
    return rv;
  }
  slots->resize(count < kPkcs11MaxObjects ? count : kPkcs11MaxObjects);
  return CKR_OK;
}
