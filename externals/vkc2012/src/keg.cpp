#include "keg.h"

#include <string.h>

#include "hmac_low/gost_r3411_2012_kdf.h"
#include "vko.h"
#include "vko_point.h"

namespace {

constexpr uint32_t kUkmBytes = 16;

// UKM bytes for the VKO functions (least significant first) from H[0..15],
// which holds the number most significant byte first; an all-zero UKM
// becomes 1, as R 1323565.1.020 asks for both key sizes.
void keg_ukm(unsigned char ukm[kUkmBytes], const unsigned char* h) {
  unsigned char any = 0;
  for (uint32_t i = 0; i < kUkmBytes; i++) {
    ukm[i] = h[kUkmBytes - 1 - i];
    any |= ukm[i];
  }
  if (any == 0) ukm[0] = 1;
}

}  // namespace

extern "C" {

int GOSTR3410_2012_256_KEG(const GOSTR3410_2012_256_PAR* par, const DIGIT_T* d, const GostPoint* Q,
                           const unsigned char* h, uint32_t h_len, unsigned char* out) {
  static const unsigned char kLabel[] = {'k', 'd', 'f', ' ', 't', 'r', 'e', 'e'};
  if (par == nullptr || d == nullptr || Q == nullptr || h == nullptr || out == nullptr ||
      h_len < kUkmBytes + 8)
    return -1;
  unsigned char ukm[kUkmBytes];
  keg_ukm(ukm, h);
  vkc_vko::SecretBytes<32> kexp;
  int rc = GOSTR3410_2012_256_VKO_256(par, ukm, kUkmBytes, d, Q, kexp.b);
  if (rc != 0) {
    VKC_LOG("GOSTR3410_2012_256_VKO_256 failed");
    return rc;
  }
  rc = GOSTR3411_2012_256_KDF_TREE(kexp.b, sizeof kexp.b, kLabel, sizeof kLabel, h + kUkmBytes, 8,
                                   1, 64, out);
  if (rc != 0) {
    VKC_LOG("GOSTR3411_2012_256_KDF_TREE failed");
    return rc;
  }
  return 0;
}

int GOSTR3410_2012_512_KEG(const GOSTR3410_2012_512_PAR* par, const DIGIT_T* d,
                           const GostPoint512* Q, const unsigned char* h, uint32_t h_len,
                           unsigned char* out) {
  if (par == nullptr || d == nullptr || Q == nullptr || h == nullptr || out == nullptr ||
      h_len < kUkmBytes) {
    VKC_LOG("GOSTR3410_2012_512_KEG: Invalid params");
    return -1;
  }
  unsigned char ukm[kUkmBytes];
  keg_ukm(ukm, h);
  return GOSTR3410_2012_512_VKO_512(par, ukm, kUkmBytes, d, Q, out);
}

}  // extern "C"
