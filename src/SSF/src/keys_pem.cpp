#include "keys_pem.h"

#include <openssl/pem.h>

#include <cstring>

#include "log.h"
#include "ossl_ptr.h"

int password_callback(char* buf, int size, int /*rwflag*/, void* data) {
  if (data == nullptr || buf == nullptr || size <= 0) return 0;
  const char* password = *static_cast<const char* const*>(data);
  if (password == nullptr) return 0;
  size_t n = strlen(password);
  if (n > static_cast<size_t>(size)) n = static_cast<size_t>(size);
  memcpy(buf, password, n);
  return static_cast<int>(n);
}

EVP_PKEY* load_key(const char* file, const char* password) {
  if (file == nullptr) return nullptr;
  orvel::BioPtr bio(BIO_new_file(file, "rb"));
  if (!bio) return nullptr;
  const char* pass = password;
  return PEM_read_bio_PrivateKey(bio.get(), nullptr, password_callback, &pass);
}

X509* load_cert(const char* file, const char* password) {
  static const char kFunc[] = "load_cert";
  orvel::BioPtr bio(file ? BIO_new_file(file, "rb") : nullptr);
  if (!bio) {
    log_err("%s() : Error opening %s '%s'", kFunc, "signer certificate", file ? file : "");
    log_err("%s() : unable to load certificate", kFunc);
    print_brekssl_errors();
    return nullptr;
  }
  const char* pass = password;
  X509* cert = PEM_read_bio_X509_AUX(bio.get(), nullptr, password_callback, &pass);
  if (cert == nullptr) {
    log_err("%s() : unable to load certificate", kFunc);
    print_brekssl_errors();
  }
  return cert;
}
