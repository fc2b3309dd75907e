/* GOST R 34.10-2012 (and -2001) keys and signatures on the 256-bit and
 * 512-bit curves, and the byte forms of their values. */
#ifndef VKC_GOST3410_H
#define VKC_GOST3410_H

#include "ec256.h"
#include "ec512.h"

ORVEL_EXTERN_C_BEGIN

/* Random source: fills buf with len bytes; 0 on success. */
typedef int (*RND_FUNC)(unsigned char* buf, uint32_t len);

typedef struct {
  DIGIT_T r[GOST256_NDIGITS];
  DIGIT_T s[GOST256_NDIGITS];
} GostSignature;

typedef struct {
  DIGIT_T r[GOST512_NDIGITS];
  DIGIT_T s[GOST512_NDIGITS];
} GostSignature512;

ORVEL_EXPORT int Getbig_RND(RND_FUNC rnd, DIGIT_T* out, const DIGIT_T* q, uint32_t ndigits);

#define VKC_GOST3410_DECLARE(SZ, PAR, PT, SIG)                                                     \
  ORVEL_EXPORT int GOSTR3410_2012_##SZ##_CheckPublicKey(const PAR* par, const PT* Q);              \
  ORVEL_EXPORT int GOSTR3410_2012_##SZ##_GeneratePublicKey(const PAR* par, const DIGIT_T* d,       \
                                                           PT* Q);                                 \
  ORVEL_EXPORT int GOSTR3410_2012_##SZ##_GenerateKeyPair(const PAR* par, RND_FUNC rnd, DIGIT_T* d, \
                                                         PT* Q);                                   \
  ORVEL_EXPORT int GOSTR3410_2012_##SZ##_Sign(const PAR* par, const DIGIT_T* e, RND_FUNC rnd,      \
                                              const DIGIT_T* d, SIG* sig);                         \
  ORVEL_EXPORT int GOSTR3410_2012_##SZ##_SignWithGivenRandom(                                      \
      const PAR* par, const DIGIT_T* e, const DIGIT_T* k, const DIGIT_T* d, SIG* sig);             \
  ORVEL_EXPORT int GOSTR3410_2012_##SZ##_Verify(const PAR* par, const DIGIT_T* e, const PT* Q,     \
                                                const SIG* sig);                                   \
  ORVEL_EXPORT int GOSTR3410_2012_##SZ##_LoadPrivateKeyValue(const unsigned char* in, DIGIT_T* d); \
  ORVEL_EXPORT int GOSTR3410_2012_##SZ##_LoadPrivateKeyValueLE(const unsigned char* in,            \
                                                               DIGIT_T* d);                        \
  ORVEL_EXPORT int GOSTR3410_2012_##SZ##_LoadPrivateKeyValueBE(const unsigned char* in,            \
                                                               DIGIT_T* d);                        \
  ORVEL_EXPORT int GOSTR3410_2012_##SZ##_LoadDigestValue(const unsigned char* in, DIGIT_T* e);     \
  ORVEL_EXPORT int GOSTR3410_2012_##SZ##_LoadDigestValueLE(const unsigned char* in, DIGIT_T* e);   \
  ORVEL_EXPORT int GOSTR3410_2012_##SZ##_LoadDigestValueBE(const unsigned char* in, DIGIT_T* e);   \
  ORVEL_EXPORT int GOSTR3410_2012_##SZ##_LoadPublicKeyValue(const unsigned char* in, PT* Q);       \
  ORVEL_EXPORT int GOSTR3410_2012_##SZ##_LoadPublicKeyValueXYLE(const unsigned char* in, PT* Q);   \
  ORVEL_EXPORT int GOSTR3410_2012_##SZ##_LoadPublicKeyValueXYBE(const unsigned char* in, PT* Q);   \
  ORVEL_EXPORT int GOSTR3410_2012_##SZ##_LoadSignatureValue(const unsigned char* in, SIG* sig);    \
  ORVEL_EXPORT int GOSTR3410_2012_##SZ##_LoadSignatureValueSRBE(const unsigned char* in,           \
                                                                SIG* sig);                         \
  ORVEL_EXPORT int GOSTR3410_2012_##SZ##_LoadSignatureValueRSBE(const unsigned char* in,           \
                                                                SIG* sig);                         \
  ORVEL_EXPORT int GOSTR3410_2012_##SZ##_UnloadPrivateKeyValue(const DIGIT_T* d,                   \
                                                               unsigned char* out);                \
  ORVEL_EXPORT int GOSTR3410_2012_##SZ##_UnloadPrivateKeyValueLE(const DIGIT_T* d,                 \
                                                                 unsigned char* out);              \
  ORVEL_EXPORT int GOSTR3410_2012_##SZ##_UnloadPrivateKeyValueBE(const DIGIT_T* d,                 \
                                                                 unsigned char* out);              \
  ORVEL_EXPORT int GOSTR3410_2012_##SZ##_UnloadDigestValue(const DIGIT_T* e, unsigned char* out);  \
  ORVEL_EXPORT int GOSTR3410_2012_##SZ##_UnloadDigestValueLE(const DIGIT_T* e,                     \
                                                             unsigned char* out);                  \
  ORVEL_EXPORT int GOSTR3410_2012_##SZ##_UnloadDigestValueBE(const DIGIT_T* e,                     \
                                                             unsigned char* out);                  \
  ORVEL_EXPORT int GOSTR3410_2012_##SZ##_UnloadPublicKeyValue(const PT* Q, unsigned char* out);    \
  ORVEL_EXPORT int GOSTR3410_2012_##SZ##_UnloadPublicKeyValueXYLE(const PT* Q,                     \
                                                                  unsigned char* out);             \
  ORVEL_EXPORT int GOSTR3410_2012_##SZ##_UnloadPublicKeyValueXYBE(const PT* Q,                     \
                                                                  unsigned char* out);             \
  ORVEL_EXPORT int GOSTR3410_2012_##SZ##_UnloadSignatureValue(const SIG* sig, unsigned char* out); \
  ORVEL_EXPORT int GOSTR3410_2012_##SZ##_UnloadSignatureValueSRBE(const SIG* sig,                  \
                                                                  unsigned char* out);             \
  ORVEL_EXPORT int GOSTR3410_2012_##SZ##_UnloadSignatureValueRSBE(const SIG* sig,                  \
                                                                  unsigned char* out);

VKC_GOST3410_DECLARE(256, GOSTR3410_2012_256_PAR, GostPoint, GostSignature)
VKC_GOST3410_DECLARE(512, GOSTR3410_2012_512_PAR, GostPoint512, GostSignature512)

/* GOST R 34.10-2001: the 256-bit functions under their older names. */
ORVEL_EXPORT int GOSTR3410_2001_CheckPublicKey(const GOSTR3410_2012_256_PAR* par,
                                               const GostPoint* Q);
ORVEL_EXPORT int GOSTR3410_2001_GeneratePublicKey(const GOSTR3410_2012_256_PAR* par,
                                                  const DIGIT_T* d, GostPoint* Q);
ORVEL_EXPORT int GOSTR3410_2001_GenerateKeyPair(const GOSTR3410_2012_256_PAR* par, RND_FUNC rnd,
                                                DIGIT_T* d, GostPoint* Q);
ORVEL_EXPORT int GOSTR3410_2001_Sign(const GOSTR3410_2012_256_PAR* par, const DIGIT_T* e,
                                     RND_FUNC rnd, const DIGIT_T* d, GostSignature* sig);
ORVEL_EXPORT int GOSTR3410_2001_Verify(const GOSTR3410_2012_256_PAR* par, const DIGIT_T* e,
                                       const GostPoint* Q, const GostSignature* sig);
ORVEL_EXPORT int GOSTR3410_2001_LoadPrivateKeyValue(const unsigned char* in, DIGIT_T* d);
ORVEL_EXPORT int GOSTR3410_2001_LoadDigestValue(const unsigned char* in, DIGIT_T* e);
ORVEL_EXPORT int GOSTR3410_2001_LoadPublicKeyValue(const unsigned char* in, GostPoint* Q);
ORVEL_EXPORT int GOSTR3410_2001_LoadSignatureValue(const unsigned char* in, GostSignature* sig);
ORVEL_EXPORT int GOSTR3410_2001_UnloadPrivateKeyValue(const DIGIT_T* d, unsigned char* out);
ORVEL_EXPORT int GOSTR3410_2001_UnloadDigestValue(const DIGIT_T* e, unsigned char* out);
ORVEL_EXPORT int GOSTR3410_2001_UnloadPublicKeyValue(const GostPoint* Q, unsigned char* out);
ORVEL_EXPORT int GOSTR3410_2001_UnloadSignatureValue(const GostSignature* sig, unsigned char* out);

ORVEL_EXTERN_C_END

#endif
