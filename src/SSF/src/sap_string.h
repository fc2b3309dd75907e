// Interface strings (pointer and length, no NUL) as C texts.
#ifndef ORVEL_SSF_SAP_STRING_H
#define ORVEL_SSF_SAP_STRING_H

#include <openssl/crypto.h>

#include <cstdint>
#include <memory>

// A new NUL-terminated copy from the toolkit's allocator (the caller frees
// it with OPENSSL_free); null for a null pointer, a negative length or a
// failed allocation, each with its ERROR line.
char* get_sz_string_from_sap_string(const char* str, int32_t len);

// 1 when the C text has exactly that length and the same bytes.
int cmp_cstr_sapstr(const char* text, const char* str, int32_t len);

bool is_enhanced_signature(const char* name, int32_t len);

namespace orvel {

// The copy of an interface string that an ERROR line quotes: "<NULL>" when
// it cannot be made.
class SapText {
 public:
  SapText(const char* str, int32_t len) : text_(get_sz_string_from_sap_string(str, len)) {}
  const char* c_str() const { return text_ ? text_.get() : "<NULL>"; }

 private:
  struct Free {
    void operator()(char* p) const noexcept { OPENSSL_free(p); }
  };
  std::unique_ptr<char, Free> text_;
};

}  // namespace orvel

#endif
