#include "keys.h"
#include "ossl_ptr.h"

EVP_PKEY* PublicKey_dup(EVP_PKEY* key) {
  if (key == nullptr) return nullptr;
  unsigned char* der = nullptr;
  const int n = i2d_PUBKEY(key, &der);
  if (n <= 0) return nullptr;
  orvel::BytesPtr owner(der);
  const unsigned char* p = der;
  return d2i_PUBKEY(nullptr, &p, n);
}
