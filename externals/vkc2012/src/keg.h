/* KEG, the export-key generation of the GOST cipher suites
 * (R 1323565.1.020, RFC 9189): a 64-byte export key from a private key, the
 * peer's public key and a hash value H.
 *
 * UKM is the number whose big-endian bytes are H[0..15], or 1 when those
 * bytes are all zero. 256-bit curves: KDF_TREE_GOSTR3411_2012_256 over
 * VKO_GOSTR3410_2012_256(d, Q, UKM) with the label "kdf tree", the seed
 * H[16..23] and a one-byte counter; H holds at least 24 bytes. 512-bit
 * curves: VKO_GOSTR3410_2012_512(d, Q, UKM); H holds at least 16 bytes.
 * Returns 0, -1 for a bad argument or a refused key, or the code of the
 * failing step; out (64 bytes) is written only on success. */
#ifndef VKC_KEG_H
#define VKC_KEG_H

#include "gost3410.h"

ORVEL_EXTERN_C_BEGIN

ORVEL_EXPORT int GOSTR3410_2012_256_KEG(const GOSTR3410_2012_256_PAR* par, const DIGIT_T* d,
                                        const GostPoint* Q, const unsigned char* h, uint32_t h_len,
                                        unsigned char* out);
ORVEL_EXPORT int GOSTR3410_2012_512_KEG(const GOSTR3410_2012_512_PAR* par, const DIGIT_T* d,
                                        const GostPoint512* Q, const unsigned char* h,
                                        uint32_t h_len, unsigned char* out);

ORVEL_EXTERN_C_END

#endif
