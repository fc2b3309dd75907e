/* VKO key agreement: a shared key-encryption key from one side's private
 * key, the other side's public key and user keying material (UKM), after
 * RFC 4357 (VKO GOST R 34.10-2001, GOST R 34.11-94) and RFC 7836 (VKO
 * GOST R 34.10-2012, GOST R 34.11-2012 of 256 or 512 bits).
 *
 * The shared point is K = (h * UKM * d mod q) * Q with the cofactor
 * h = m / q. The public key Q must be a point of the curve with reduced
 * coordinates, and K must not be the point at infinity (which also refuses a
 * UKM that is 0 modulo q); otherwise the result is -1. A UKM byte string is
 * read least significant byte first. K is hashed as x then y, each written
 * least significant byte first in 32 or 64 bytes. Functions return 0, -1 for
 * a bad argument or a refused key, or the code of the failing hash; the
 * output is written only on success. */
#ifndef VKC_VKO_H
#define VKC_VKO_H

#include "gost28147.h"
#include "gost3410.h"

ORVEL_EXTERN_C_BEGIN

/* K = (h * ukm * d mod q) * Q; ukm and d are numbers of the curve's digit
 * count. */
ORVEL_EXPORT int GOSTR3410_2001_VKO_point(const GOSTR3410_2012_256_PAR* par, const DIGIT_T* ukm,
                                          const DIGIT_T* d, const GostPoint* Q, GostPoint* K);
ORVEL_EXPORT int GOSTR3410_2012_512_VKO_point(const GOSTR3410_2012_512_PAR* par, const DIGIT_T* ukm,
                                              const DIGIT_T* d, const GostPoint512* Q,
                                              GostPoint512* K);

/* GOST R 34.11-94 (under the given parameter set) of K; UKM of 1 to 32
 * bytes; out: 32 bytes. */
ORVEL_EXPORT int GOSTR3410_2001_VKO(const GOSTR3410_2012_256_PAR* par,
                                    const Gost3411_94ParamSet* hash_par, const unsigned char* ukm,
                                    uint32_t ukm_len, const DIGIT_T* d, const GostPoint* Q,
                                    unsigned char* out);

/* GOST R 34.11-2012 of K: 256-bit curve and UKM of 1 to 32 bytes, or 512-bit
 * curve and UKM of 1 to 64 bytes; out: 32 or 64 bytes as the name says. */
ORVEL_EXPORT int GOSTR3410_2012_256_VKO_256(const GOSTR3410_2012_256_PAR* par,
                                            const unsigned char* ukm, uint32_t ukm_len,
                                            const DIGIT_T* d, const GostPoint* Q,
                                            unsigned char* out);
ORVEL_EXPORT int GOSTR3410_2012_512_VKO_256(const GOSTR3410_2012_512_PAR* par,
                                            const unsigned char* ukm, uint32_t ukm_len,
                                            const DIGIT_T* d, const GostPoint512* Q,
                                            unsigned char* out);
ORVEL_EXPORT int GOSTR3410_2012_512_VKO_512(const GOSTR3410_2012_512_PAR* par,
                                            const unsigned char* ukm, uint32_t ukm_len,
                                            const DIGIT_T* d, const GostPoint512* Q,
                                            unsigned char* out);

ORVEL_EXTERN_C_END

#endif
