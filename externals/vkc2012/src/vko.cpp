#include "vko.h"

#include <string.h>

#include "gost3411_94.h"
#include "hash_low/gost_r3411_2012.h"
#include "vko_point.h"

using vkc_ec::Ec256T;
using vkc_ec::Ec512T;
namespace v = vkc_vko;

namespace {

// The hashes of the shared point run on contexts of their own, wiped
// afterwards: their state is derived from the secret point.
int32_t streebog(uint32_t size, const uint8_t* data, uint32_t len, uint8_t* out) {
  Gost3411_2012Context ctx;
  int32_t rc = GOSTR3411_2012_Init(&ctx, size);
  if (rc == 0) rc = GOSTR3411_2012_Update(&ctx, data, len);
  if (rc == 0) rc = GOSTR3411_2012_Final(&ctx, out);
  vkc_ct::wipe(&ctx, sizeof ctx);
  return rc;
}

int32_t gost94(const Gost3411_94ParamSet* par, const uint8_t* data, uint32_t len, uint8_t* out) {
  Gost3411_94Context ctx;
  int32_t rc = GOSTR3411_94_Init(&ctx, par->oid_der, par->oid_len);
  if (rc == 0) rc = GOSTR3411_94_Update(&ctx, data, len);
  if (rc == 0) rc = GOSTR3411_94_Final(&ctx, out);
  vkc_ct::wipe(&ctx, sizeof ctx);
  return rc;
}

// VKO GOST R 34.10-2012 on a 512-bit curve, hashed to hash_size bytes.
int vko_2012_512(const GOSTR3410_2012_512_PAR* par, const unsigned char* ukm, uint32_t ukm_len,
                 const DIGIT_T* d, const GostPoint512* Q, unsigned char* out, uint32_t hash_size,
                 const char* name) {
  if (par == nullptr || ukm == nullptr || d == nullptr || Q == nullptr || out == nullptr ||
      ukm_len == 0 || ukm_len > Ec512T::kBytes) {
    VKC_LOG("%s: bad params", name);
    return -1;
  }
  v::SecretBytes<2 * Ec512T::kBytes> k;
  int rc = v::encoded_shared_point<Ec512T>(par, ukm, ukm_len, d, Q, k.b, name);
  if (rc != 0) {
    VKC_LOG("GOSTR3410_2012_512_VKO_point failed");
    return rc;
  }
  v::SecretBytes<64> digest;
  rc = streebog(hash_size, k.b, sizeof k.b, digest.b);
  if (rc != 0) {
    VKC_LOG("GOSTR3411_2012_Transform failed: 0x%x", static_cast<unsigned>(rc));
    return rc;
  }
  memcpy(out, digest.b, hash_size);
  return 0;
}

}  // namespace

extern "C" {

int GOSTR3410_2001_VKO_point(const GOSTR3410_2012_256_PAR* par, const DIGIT_T* ukm,
                             const DIGIT_T* d, const GostPoint* Q, GostPoint* K) {
  if (par == nullptr || ukm == nullptr || d == nullptr || Q == nullptr || K == nullptr) {
    VKC_LOG("GOSTR3410_2001_VKO_point: bad params");
    return -1;
  }
  return v::shared_point<Ec256T>(par, ukm, d, Q, K, "GOSTR3410_2001_VKO_point");
}

int GOSTR3410_2012_512_VKO_point(const GOSTR3410_2012_512_PAR* par, const DIGIT_T* ukm,
                                 const DIGIT_T* d, const GostPoint512* Q, GostPoint512* K) {
  if (par == nullptr || ukm == nullptr || d == nullptr || Q == nullptr || K == nullptr) {
    VKC_LOG("GOSTR3410_2012_512_VKO_point: bad params");
    return -1;
  }
  return v::shared_point<Ec512T>(par, ukm, d, Q, K, "GOSTR3410_2012_512_VKO_point");
}

int GOSTR3410_2001_VKO(const GOSTR3410_2012_256_PAR* par, const Gost3411_94ParamSet* hash_par,
                       const unsigned char* ukm, uint32_t ukm_len, const DIGIT_T* d,
                       const GostPoint* Q, unsigned char* out) {
  // The UKM is a number below 2^256: longer strings would be cut silently.
  if (par == nullptr || hash_par == nullptr || ukm == nullptr || d == nullptr || Q == nullptr ||
      out == nullptr || ukm_len == 0 || ukm_len > Ec256T::kBytes) {
    VKC_LOG("GOSTR3410_2001_VKO: bad params");
    return -1;
  }
  v::SecretBytes<2 * Ec256T::kBytes> k;
  int rc = v::encoded_shared_point<Ec256T>(par, ukm, ukm_len, d, Q, k.b, "GOSTR3410_2001_VKO");
  if (rc != 0) {
    VKC_LOG("GOSTR3410_2001_VKO_not_hash failed");
    return rc;
  }
  v::SecretBytes<32> digest;
  rc = gost94(hash_par, k.b, sizeof k.b, digest.b);
  if (rc != 0) {
    VKC_LOG("GOSTR3411_94_Transform failed");
    return rc;
  }
  memcpy(out, digest.b, sizeof digest.b);
  return 0;
}

int GOSTR3410_2012_256_VKO_256(const GOSTR3410_2012_256_PAR* par, const unsigned char* ukm,
                               uint32_t ukm_len, const DIGIT_T* d, const GostPoint* Q,
                               unsigned char* out) {
  if (par == nullptr || ukm == nullptr || d == nullptr || Q == nullptr || out == nullptr ||
      ukm_len == 0 || ukm_len > Ec256T::kBytes) {
    VKC_LOG("GOSTR3410_2012_256_VKO_256: Invalid params");
    return -1;
  }
  v::SecretBytes<2 * Ec256T::kBytes> k;
  int rc =
      v::encoded_shared_point<Ec256T>(par, ukm, ukm_len, d, Q, k.b, "GOSTR3410_2012_256_VKO_256");
  if (rc != 0) {
    VKC_LOG("GOSTR3410_2001_VKO_point failed");
    return rc;
  }
  v::SecretBytes<32> digest;
  rc = streebog(32, k.b, sizeof k.b, digest.b);
  if (rc != 0) {
    VKC_LOG("GOSTR3411_2012_Transform failed: 0x%x", static_cast<unsigned>(rc));
    return rc;
  }
  memcpy(out, digest.b, sizeof digest.b);
  return 0;
}

int GOSTR3410_2012_512_VKO_256(const GOSTR3410_2012_512_PAR* par, const unsigned char* ukm,
                               uint32_t ukm_len, const DIGIT_T* d, const GostPoint512* Q,
                               unsigned char* out) {
  return vko_2012_512(par, ukm, ukm_len, d, Q, out, 32, "GOSTR3410_2012_512_VKO_256");
}

int GOSTR3410_2012_512_VKO_512(const GOSTR3410_2012_512_PAR* par, const unsigned char* ukm,
                               uint32_t ukm_len, const DIGIT_T* d, const GostPoint512* Q,
                               unsigned char* out) {
  return vko_2012_512(par, ukm, ukm_len, d, Q, out, 64, "GOSTR3410_2012_512_VKO_512");
}

}  // extern "C"
