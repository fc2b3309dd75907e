#include "x509_name.h"

#include <openssl/bio.h>

#include <cstring>
#include <memory>
#include <string>

#include "log.h"
#include "ossl_ptr.h"
#include "recode.h"
#include "settings.h"

namespace {

// The one-line text in a memory BIO; false when it cannot be printed.
bool name_to_bio(const X509_NAME* name, orvel::BioPtr& bio, const char** text, long* len) {
  bio.reset(BIO_new(BIO_s_mem()));
  if (!bio) return false;
  if (X509_NAME_print_ex(bio.get(), name, 0, kOneLineNameFlags) < 0) return false;
  char* p = nullptr;
  *len = BIO_get_mem_data(bio.get(), &p);
  *text = p;
  return true;
}

}  // namespace

char* brek_x509_get_name_from_X509(X509* x509) {
  if (x509 == nullptr) {
    log_err("%s() 1 : x509 is NULL", "brek_x509_get_name_from_X509");
    return nullptr;
  }
  orvel::BioPtr bio;
  const char* text = nullptr;
  long len = 0;
  if (!name_to_bio(X509_get_subject_name(x509), bio, &text, &len)) {
    print_brekssl_errors();
    return nullptr;
  }
  std::string plain(text ? text : "", static_cast<size_t>(len));

  size_t cap = plain.size() * 3;
  if (cap > kRecodeMaxOutput) cap = kRecodeMaxOutput;
  std::unique_ptr<char[]> recoded(new (std::nothrow) char[cap + 1]);
  int n = recoded ? recode("UTF-8", server_encoding, plain.data(), static_cast<int>(plain.size()),
                           recoded.get(), cap + 1)
                  : -2;
  const char* result = recoded.get();
  size_t result_len = n > 0 ? static_cast<size_t>(n) : 0;
  if (n <= 0) {
    if (!plain.empty())
      log_err("%s() : failed to recode '%s' from 'UTF-8' to '%s'", "brek_x509_get_name_from_X509",
              plain.c_str(), server_encoding);
    result = plain.c_str();
    result_len = plain.size();
  }
  auto* out = static_cast<char*>(OPENSSL_malloc(result_len + 1));
  if (out == nullptr) return nullptr;
  memcpy(out, result, result_len);
  out[result_len] = '\0';
  return out;
}

int print_X509_NAME(char* buffer, size_t size, const X509_NAME* name) {
  if (buffer == nullptr || size == 0) return 0;
  buffer[0] = '\0';
  if (name == nullptr) return 0;
  orvel::BioPtr bio;
  const char* text = nullptr;
  long len = 0;
  if (!name_to_bio(name, bio, &text, &len) || len <= 0) return 0;
  size_t n = static_cast<size_t>(len);
  if (n > size - 1) n = size - 1;
  memcpy(buffer, text, n);
  buffer[n] = '\0';
  return static_cast<int>(n);
}
