// GOST R 34.10 keys from outside: the key methods' decoders reached through
// the toolkit (PKCS#8, SubjectPublicKeyInfo, a certificate's key, PEM),
// then encoded again and printed.
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cstring>

#include "fuzz_common.h"

using namespace orvel_fuzz;

namespace {

void use(EVP_PKEY* key, bool priv) {
  if (key == nullptr) return;
  unsigned char* der = nullptr;
  const int n = priv ? i2d_PrivateKey(key, &der) : i2d_PUBKEY(key, &der);
  if (n > 0) OPENSSL_free(der);
  orvel::BioPtr null(BIO_new(BIO_s_null()));
  if (priv) EVP_PKEY_print_private(null.get(), key, 0, nullptr);
  EVP_PKEY_print_public(null.get(), key, 0, nullptr);
  EVP_PKEY_print_params(null.get(), key, 0, nullptr);
}

// An encrypted PEM key gets a fixed password instead of a terminal prompt.
int password(char* buf, int size, int, void*) {
  static const char kPass[] = "secret";
  if (size < static_cast<int>(sizeof kPass)) return 0;
  memcpy(buf, kPass, sizeof kPass);
  return static_cast<int>(sizeof kPass) - 1;
}

}  // namespace

// Selector (modulo 4): 0 PKCS#8 DER, 1 SubjectPublicKeyInfo DER,
// 2 certificate DER, 3 PEM private key.
int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in;
  if (!split(data, size, &in)) return 0;
  const Run run;
  const unsigned char* p = in.data;
  switch (in.selector % 4) {
    case 0: {
      orvel::EvpPkeyPtr key(d2i_AutoPrivateKey(nullptr, &p, in.size));
      use(key.get(), true);
      break;
    }
    case 1: {
      orvel::EvpPkeyPtr key(d2i_PUBKEY(nullptr, &p, in.size));
      use(key.get(), false);
      break;
    }
    case 2: {
      orvel::X509Ptr cert(d2i_X509(nullptr, &p, in.size));
      if (cert) use(X509_get0_pubkey(cert.get()), false);
      break;
    }
    default: {
      orvel::BioPtr bio(BIO_new_mem_buf(in.data, in.size));
      orvel::EvpPkeyPtr key(PEM_read_bio_PrivateKey(bio.get(), nullptr, password, nullptr));
      use(key.get(), true);
    }
  }
  return 0;
}
