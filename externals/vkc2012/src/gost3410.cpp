#include "gost3410.h"

#include "gost3410_impl.h"
#include "vkc_log.h"

using vkc_ec::Ec256T;
using vkc_ec::Ec512T;
namespace g = vkc_gost3410;

extern "C" {

int Getbig_RND(RND_FUNC rnd, DIGIT_T* out, const DIGIT_T* q, uint32_t ndigits) {
  if (rnd == nullptr || out == nullptr || q == nullptr || ndigits == 0) {
    VKC_LOG("Getbig_RND: bad params");
    return -2;
  }
  const uint32_t nbytes = 4 * ndigits;
  unsigned char* buf = static_cast<unsigned char*>(calloc(nbytes, 1));
  if (buf == nullptr) mpFail("ALLOC_BYTES: Unable to allocate memory.");
  if (rnd(buf, nbytes) != 0) {
    zeroise_bytes(buf, nbytes);
    free(buf);
    VKC_LOG("RND_FUNC failed");
    return -1;
  }
  mpSetZero(out, ndigits);
  for (uint32_t i = 0; i < nbytes; i++) out[i / 4] |= static_cast<DIGIT_T>(buf[i]) << (8 * (i % 4));
  zeroise_bytes(buf, nbytes);
  free(buf);
  mpAbs(out, out, ndigits);
  if (mpCompare(out, q, ndigits) >= 0) mpModulo(out, out, ndigits, q, ndigits);
  return 0;
}

// ---- 256-bit ----

int GOSTR3410_2012_256_CheckPublicKey(const GOSTR3410_2012_256_PAR* par, const GostPoint* Q) {
  return g::check_public_key<Ec256T>(par, Q, "ecCheckPuKey: bad params");
}

int GOSTR3410_2012_256_GeneratePublicKey(const GOSTR3410_2012_256_PAR* par, const DIGIT_T* d,
                                         GostPoint* Q) {
  return g::generate_public_key<Ec256T>(par, d, Q, "ecGeneratePublicKey: bad params");
}

int GOSTR3410_2012_256_GenerateKeyPair(const GOSTR3410_2012_256_PAR* par, RND_FUNC rnd, DIGIT_T* d,
                                       GostPoint* Q) {
  if (par == nullptr || rnd == nullptr || d == nullptr || Q == nullptr) {
    VKC_LOG("ecGenerateKeyPair: bad params");
    return -2;
  }
  if (!g::draw_private_key<Ec256T>(par, rnd, d)) {
    VKC_LOG("Random generator failed");
    VKC_LOG("ecSign: Getbig_RND failed: %d", -2);
    return -2;
  }
  return GOSTR3410_2012_256_GeneratePublicKey(par, d, Q);
}

int GOSTR3410_2012_256_Sign(const GOSTR3410_2012_256_PAR* par, const DIGIT_T* e, RND_FUNC rnd,
                            const DIGIT_T* d, GostSignature* sig) {
  return g::sign<Ec256T>(par, e, rnd, d, sig, "GOSTR3410_2012_256_Sign");
}

int GOSTR3410_2012_256_SignWithGivenRandom(const GOSTR3410_2012_256_PAR* par, const DIGIT_T* e,
                                           const DIGIT_T* k, const DIGIT_T* d, GostSignature* sig) {
  return g::sign_given<Ec256T>(par, e, k, d, sig, "GOSTR3410_2012_256_Sign");
}

int GOSTR3410_2012_256_Verify(const GOSTR3410_2012_256_PAR* par, const DIGIT_T* e,
                              const GostPoint* Q, const GostSignature* sig) {
  return g::verify<Ec256T>(par, e, Q, sig, "GOSTR3410_2012_256_Verify");
}

// ---- 512-bit ----

int GOSTR3410_2012_512_CheckPublicKey(const GOSTR3410_2012_512_PAR* par, const GostPoint512* Q) {
  return g::check_public_key<Ec512T>(par, Q, "GOSTR3410_2012_512_CheckPublicKey: bad params");
}

int GOSTR3410_2012_512_GeneratePublicKey(const GOSTR3410_2012_512_PAR* par, const DIGIT_T* d,
                                         GostPoint512* Q) {
  return g::generate_public_key<Ec512T>(par, d, Q,
                                        "GOSTR3410_2012_512_GeneratePublicKey: bad params");
}

int GOSTR3410_2012_512_GenerateKeyPair(const GOSTR3410_2012_512_PAR* par, RND_FUNC rnd, DIGIT_T* d,
                                       GostPoint512* Q) {
  if (par == nullptr || rnd == nullptr || d == nullptr || Q == nullptr) {
    VKC_LOG("GOSTR3410_2012_512_GenerateKeyPair: bad params");
    return -2;
  }
  if (!g::draw_private_key<Ec512T>(par, rnd, d)) {
    VKC_LOG("GOSTR3410_2012_512_GenerateKeyPair: Getbig_RND failed");
    return -3;
  }
  return GOSTR3410_2012_512_GeneratePublicKey(par, d, Q);
}

int GOSTR3410_2012_512_Sign(const GOSTR3410_2012_512_PAR* par, const DIGIT_T* e, RND_FUNC rnd,
                            const DIGIT_T* d, GostSignature512* sig) {
  return g::sign<Ec512T>(par, e, rnd, d, sig, "GOSTR3410_2012_512_Sign");
}

int GOSTR3410_2012_512_SignWithGivenRandom(const GOSTR3410_2012_512_PAR* par, const DIGIT_T* e,
                                           const DIGIT_T* k, const DIGIT_T* d,
                                           GostSignature512* sig) {
  return g::sign_given<Ec512T>(par, e, k, d, sig, "GOSTR3410_2012_512_Sign");
}

int GOSTR3410_2012_512_Verify(const GOSTR3410_2012_512_PAR* par, const DIGIT_T* e,
                              const GostPoint512* Q, const GostSignature512* sig) {
  return g::verify<Ec512T>(par, e, Q, sig, "GOSTR3410_2012_512_Verify");
}

// ---- GOST R 34.10-2001 names ----

int GOSTR3410_2001_CheckPublicKey(const GOSTR3410_2012_256_PAR* par, const GostPoint* Q) {
  return GOSTR3410_2012_256_CheckPublicKey(par, Q);
}

int GOSTR3410_2001_GeneratePublicKey(const GOSTR3410_2012_256_PAR* par, const DIGIT_T* d,
                                     GostPoint* Q) {
  return GOSTR3410_2012_256_GeneratePublicKey(par, d, Q);
}

int GOSTR3410_2001_GenerateKeyPair(const GOSTR3410_2012_256_PAR* par, RND_FUNC rnd, DIGIT_T* d,
                                   GostPoint* Q) {
  return GOSTR3410_2012_256_GenerateKeyPair(par, rnd, d, Q);
}

int GOSTR3410_2001_Sign(const GOSTR3410_2012_256_PAR* par, const DIGIT_T* e, RND_FUNC rnd,
                        const DIGIT_T* d, GostSignature* sig) {
  return GOSTR3410_2012_256_Sign(par, e, rnd, d, sig);
}

int GOSTR3410_2001_Verify(const GOSTR3410_2012_256_PAR* par, const DIGIT_T* e, const GostPoint* Q,
                          const GostSignature* sig) {
  return GOSTR3410_2012_256_Verify(par, e, Q, sig);
}

}  // extern "C"
