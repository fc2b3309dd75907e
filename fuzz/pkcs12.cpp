// PKCS#12 files as the key loader reads them: the system's own MAC check
// (classic, then the TC26 scheme of GOST files) and bag extraction. A
// changed byte breaks the MAC, so in re-MAC mode the target first gives the
// input a fresh MAC (iteration count 1, the file's own digest) and the bags
// behind it are reached as well.
#include <openssl/err.h>
#include <openssl/evp.h>

#include "fuzz_common.h"
#include "keys.h"
#include "pkcs12/pkcs12_mac.h"

using namespace orvel_fuzz;

namespace {

// MAC and bag derivations with large iteration counts are legitimately
// slow; the target skips inputs whose MAC asks for more than this.
constexpr long kMaxFuzzIterations = 2048;

bool cheap_mac(const PKCS12* p12) {
  const ASN1_INTEGER* iter = nullptr;
  PKCS12_get0_mac(nullptr, nullptr, nullptr, &iter, p12);
  return iter == nullptr || ASN1_INTEGER_get(iter) <= kMaxFuzzIterations;
}

const EVP_MD* mac_digest(const PKCS12* p12) {
  const X509_ALGOR* alg = nullptr;
  PKCS12_get0_mac(nullptr, &alg, nullptr, nullptr, p12);
  const ASN1_OBJECT* obj = nullptr;
  if (alg != nullptr) X509_ALGOR_get0(&obj, nullptr, nullptr, alg);
  const EVP_MD* md = obj != nullptr ? EVP_get_digestbyobj(obj) : nullptr;
  return md != nullptr ? md : EVP_sha256();
}

}  // namespace

// Selector: 1 re-MAC; 2 no password, 4 the empty one (else "secret").
int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in;
  if (!split(data, size, &in)) return 0;
  const Run run;
  const char* pass = (in.selector & 2) != 0 ? nullptr : (in.selector & 4) != 0 ? "" : "secret";
  const unsigned char* p = in.data;
  orvel::Pkcs12Ptr p12(d2i_PKCS12(nullptr, &p, in.size));
  if (!p12) return 0;
  if ((in.selector & 1) != 0) {
    static const unsigned char kSalt[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    if (SSF_PKCS12_set_mac(p12.get(), pass, -1, kSalt, sizeof kSalt, 1, mac_digest(p12.get())) != 1)
      return 0;
  } else if (!cheap_mac(p12.get())) {
    return 0;
  }
  EVP_PKEY* key = nullptr;
  X509* cert = nullptr;
  STACK_OF(X509)* ca = nullptr;
  ssf_pkcs12_parse(p12.get(), pass, &key, &cert, &ca);
  EVP_PKEY_free(key);
  X509_free(cert);
  sk_X509_pop_free(ca, X509_free);
  return 0;
}
