// SNILS texts and whether a directory is configured.
#include <cstring>

#include "hok_client.h"
#include "settings.h"

namespace {

constexpr int kSnilsLen = 14;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

int is_snils(const char* text, int len) {
  if (text == nullptr) return 0;
  if (len == -1) {
    // Only the first 15 bytes matter: a longer text is no SNILS.
    if (strnlen(text, kSnilsLen + 1) != size_t(kSnilsLen)) return 0;
  } else if (len != kSnilsLen) {
    return 0;
  }
  for (int i = 0; i < kSnilsLen; ++i) {
    const char c = text[i];
    const bool ok = (i == 3 || i == 7) ? c == '-' : i == 11 ? c == ' ' : is_digit(c);
    if (!ok) return 0;
  }
  return 1;
}

int hok_is_specified() { return hok_urls != nullptr && *hok_urls != '\0' ? 1 : 0; }
