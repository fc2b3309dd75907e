#include "recode.h"

#include <openssl/crypto.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "log.h"
#include "settings.h"

iconv_t brekiconv_open(const char* to_charset, const char* from_charset) {
  return iconv_open(to_charset, from_charset);
}

size_t brekiconv(iconv_t cd, char** in, size_t* in_left, char** out, size_t* out_left) {
  return iconv(cd, in, in_left, out, out_left);
}

int brekiconv_close(iconv_t cd) { return iconv_close(cd); }

int recode(const char* from_charset, const char* to_charset, const char* text, int length,
           char* output, size_t output_size) {
  if (text == nullptr || length < 1) return -1;
  size_t capacity = static_cast<size_t>(length) * 3;
  if (capacity > kRecodeMaxOutput) capacity = kRecodeMaxOutput;
  std::unique_ptr<char[]> work(new (std::nothrow) char[capacity + 1]);
  if (!work) return -2;

  iconv_t cd = brekiconv_open(to_charset, from_charset);
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    fprintf(stderr, "iconv_open ERROR: %s\n", strerror(errno));
    return -4;
  }
  char* in = const_cast<char*>(text);
  size_t in_left = static_cast<size_t>(length);
  char* out = work.get();
  size_t out_left = capacity;
  size_t rc = brekiconv(cd, &in, &in_left, &out, &out_left);
  if (rc == static_cast<size_t>(-1)) {
    fprintf(stderr, "iconv ERROR: %s\n", strerror(errno));
    brekiconv_close(cd);
    return -5;
  }
  // Flush any shift state of stateful encodings.
  if (brekiconv(cd, nullptr, nullptr, &out, &out_left) == static_cast<size_t>(-1)) {
    fprintf(stderr, "iconv ERROR: %s\n", strerror(errno));
    brekiconv_close(cd);
    return -5;
  }
  if (brekiconv_close(cd) != 0) {
    fprintf(stderr, "iconv_close ERROR: %s\n", strerror(errno));
    return -6;
  }
  size_t produced = capacity - out_left;
  if (output != nullptr) {
    if (produced + 1 > output_size) return -5;
    memcpy(output, work.get(), produced);
    output[produced] = '\0';
  }
  return static_cast<int>(produced);
}

int xdigit_to_num(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

namespace {

// "\U" followed by four hexadecimal digits at text[i]; the code point or -1.
long unicode_escape_at(const char* text, int length, int i) {
  if (i + 6 > length || text[i] != '\\' || text[i + 1] != 'U') return -1;
  long v = 0;
  for (int k = 2; k < 6; ++k) {
    int d = xdigit_to_num(text[i + k]);
    if (d < 0) return -1;
    v = v * 16 + d;
  }
  return v;
}

}  // namespace

char* from_unicode(const char* text, int length, const char* charset) {
  if (text == nullptr || length < 0) length = 0;
  // A replaced escape of six characters becomes at most four bytes in any
  // multi-byte set iconv offers for UCS-2 input; plain bytes stay one each.
  size_t size = static_cast<size_t>(length) + 1;
  auto* out = static_cast<char*>(OPENSSL_zalloc(size));
  if (out == nullptr) return nullptr;

  iconv_t cd = brekiconv_open(charset, "UCS-2BE");
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    log_err("%s() : brekiconv_open() failed", "from_unicode");
    return out;
  }
  size_t pos = 0;
  for (int i = 0; i < length;) {
    long cp = unicode_escape_at(text, length, i);
    if (cp < 0) {
      out[pos++] = text[i++];
      continue;
    }
    char ucs[2] = {static_cast<char>((cp >> 8) & 0xff), static_cast<char>(cp & 0xff)};
    char* in = ucs;
    size_t in_left = 2;
    char* dst = out + pos;
    size_t out_left = size - 1 - pos;
    if (brekiconv(cd, &in, &in_left, &dst, &out_left) == static_cast<size_t>(-1)) {
      log_err("%s() : brekiconv() failed, symb_idx = %d", "from_unicode", i);
      break;
    }
    pos = static_cast<size_t>(dst - out);
    i += 6;
  }
  out[pos] = '\0';
  brekiconv_close(cd);
  return out;
}

const char* gost_get_rus_symbols_charset() { return local_encoding; }
