#include "token_util.h"

#include <cctype>
#include <cstdio>

namespace {

// Length of a blank-padded PKCS#11 text field without its trailing white
// space.
size_t unpadded_length(const CK_BYTE* text, size_t size) {
  while (size > 0 && (text[size - 1] == 0 || isspace(text[size - 1]))) size--;
  return size;
}

}  // namespace

int memcpy_rev(void* dst, const void* src, int n) {
  if (n < 1) return 0;
  auto* d = static_cast<unsigned char*>(dst);
  const auto* s = static_cast<const unsigned char*>(src);
  for (int i = 0; i < n; i++) d[i] = s[n - 1 - i];
  return n;
}

const char* make_token_pin_prompt(const CK_TOKEN_INFO* info) {
  static char prompt[1024];
  if (info == nullptr) {
    prompt[0] = '\0';
    return prompt;
  }
  snprintf(prompt, sizeof(prompt), "Token: '%.*s' (#%.*s)",
           static_cast<int>(unpadded_length(info->label, sizeof(info->label))),
           reinterpret_cast<const char*>(info->label),
           static_cast<int>(unpadded_length(info->serialNumber, sizeof(info->serialNumber))),
           reinterpret_cast<const char*>(info->serialNumber));
  return prompt;
}
