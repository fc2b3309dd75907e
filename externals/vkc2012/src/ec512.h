/* Points on the 512-bit GOST R 34.10-2012 curves, their arithmetic and the
 * table of the four 512-bit parameter sets. */
#ifndef VKC_EC512_H
#define VKC_EC512_H

#include "mp.h"

#define GOST512_NDIGITS 17
#define GOST512_PP_COUNT 136
#define GOST512_PAR_COUNT 4

ORVEL_EXTERN_C_BEGIN

typedef struct {
  DIGIT_T x[GOST512_NDIGITS];
  DIGIT_T y[GOST512_NDIGITS];
} GostPoint512;

typedef struct {
  DIGIT_T X[GOST512_NDIGITS];
  DIGIT_T Y[GOST512_NDIGITS];
  DIGIT_T Z[GOST512_NDIGITS];
} GostJPoint512;

typedef struct {
  DIGIT_T a[GOST512_NDIGITS];
  DIGIT_T b[GOST512_NDIGITS];
  DIGIT_T p[GOST512_NDIGITS];
} GostCurve512;

typedef struct {
  GostCurve512 E;
  DIGIT_T m[GOST512_NDIGITS];
  DIGIT_T q[GOST512_NDIGITS];
  GostPoint512 bp;
  uint32_t oid_len;
  const unsigned char* oid;
  const char* str_oid;
  const char* oid_name;
  uint32_t jacobian;
  GostPoint512 PP[GOST512_PP_COUNT]; /* PP[i] = 16^i * bp */
} GOSTR3410_2012_512_PAR;

ORVEL_EXPORT extern const GOSTR3410_2012_512_PAR tc26_decc_par[GOST512_PAR_COUNT];
ORVEL_EXPORT extern const GOSTR3410_2012_512_PAR* const default_tc26_decc_par;

ORVEL_EXPORT int depIsZero(const GostPoint512* P);
ORVEL_EXPORT int depIsEqual(const GostPoint512* P, const GostPoint512* Q);
ORVEL_EXPORT int depSetZero(GostPoint512* P);
ORVEL_EXPORT int depSetEqual(GostPoint512* P, const GostPoint512* Q);
ORVEL_EXPORT int depAdd(GostPoint512* R, const GostPoint512* P, const GostPoint512* Q,
                        const GOSTR3410_2012_512_PAR* E);
ORVEL_EXPORT int depSubtract(GostPoint512* R, const GostPoint512* P, const GostPoint512* Q,
                             const GOSTR3410_2012_512_PAR* E);
ORVEL_EXPORT int depMult(GostPoint512* R, const GostPoint512* P, const DIGIT_T* k,
                         const GOSTR3410_2012_512_PAR* E);
ORVEL_EXPORT int depA2J(GostJPoint512* J, const GostPoint512* P);
ORVEL_EXPORT int depJ2A(GostPoint512* P, const GostJPoint512* J, const GOSTR3410_2012_512_PAR* E);
ORVEL_EXPORT int depDublJ(GostJPoint512* R, const GostJPoint512* J,
                          const GOSTR3410_2012_512_PAR* E);
ORVEL_EXPORT int depAddJA(GostJPoint512* R, const GostJPoint512* J, const GostPoint512* P,
                          const GOSTR3410_2012_512_PAR* E);
ORVEL_EXPORT int depAddJChud(GostJPoint512* R, const GostJPoint512* J1, const GostJPoint512* J2,
                             const GOSTR3410_2012_512_PAR* E);
ORVEL_EXPORT int depMultJ(GostPoint512* R, const GostPoint512* P, const DIGIT_T* k,
                          const GOSTR3410_2012_512_PAR* E);
ORVEL_EXPORT int depMultPP(GostPoint512* R, const DIGIT_T* k, const GOSTR3410_2012_512_PAR* E);
ORVEL_EXPORT int depConvToDecimal(const GostPoint512* P, char* x, char* y, uint32_t size);
ORVEL_EXPORT int depConvToHex(const GostPoint512* P, char* x, char* y, uint32_t size);
ORVEL_EXPORT int depConvFromDecimal(GostPoint512* P, const char* x, const char* y);
ORVEL_EXPORT int depConvFromHex(GostPoint512* P, const char* x, const char* y);

ORVEL_EXPORT const GOSTR3410_2012_512_PAR* GOSTR3410_2012_512_GetPar(uint32_t index);
ORVEL_EXPORT const GOSTR3410_2012_512_PAR* GOSTR3410_2012_512_GetDefaultPar(void);
ORVEL_EXPORT int GOSTR3410_2012_512_FindParByDerOid(const unsigned char* der, uint32_t len,
                                                    const GOSTR3410_2012_512_PAR** par);
ORVEL_EXPORT int GOSTR3410_2012_512_FindParByDottedOid(const char* oid,
                                                       const GOSTR3410_2012_512_PAR** par);
ORVEL_EXPORT int GOSTR3410_2012_512_FindParByOidName(const char* name,
                                                     const GOSTR3410_2012_512_PAR** par);

ORVEL_EXTERN_C_END

#endif
