/* Points on the 256-bit GOST R 34.10 curves, their arithmetic and the
 * table of the seven 256-bit parameter sets. */
#ifndef VKC_EC256_H
#define VKC_EC256_H

#include "mp.h"

#define GOST256_NDIGITS 9
#define GOST256_PP_COUNT 72
#define GOST256_PAR_COUNT 7

ORVEL_EXTERN_C_BEGIN

typedef struct {
  DIGIT_T x[GOST256_NDIGITS];
  DIGIT_T y[GOST256_NDIGITS];
} GostPoint;

typedef struct {
  DIGIT_T X[GOST256_NDIGITS];
  DIGIT_T Y[GOST256_NDIGITS];
  DIGIT_T Z[GOST256_NDIGITS];
} GostJPoint;

typedef struct {
  DIGIT_T a[GOST256_NDIGITS];
  DIGIT_T b[GOST256_NDIGITS];
  DIGIT_T p[GOST256_NDIGITS];
} GostCurve;

typedef struct {
  GostCurve E;
  DIGIT_T m[GOST256_NDIGITS];
  DIGIT_T q[GOST256_NDIGITS];
  GostPoint bp;
  /* tc26 identifier set */
  uint32_t oid_len;
  const unsigned char* oid;
  const char* str_oid;
  const char* oid_name;
  /* CryptoPro identifier set */
  uint32_t cp_oid_len;
  const unsigned char* cp_oid;
  const char* cp_str_oid;
  const char* cp_oid_name;
  uint32_t jacobian;
  GostPoint PP[GOST256_PP_COUNT]; /* PP[i] = 16^i * bp */
} GOSTR3410_2012_256_PAR;

ORVEL_EXPORT extern const GOSTR3410_2012_256_PAR tc26_ecc_par[GOST256_PAR_COUNT];
ORVEL_EXPORT extern const GOSTR3410_2012_256_PAR* const default_tc26_ecc_par;

ORVEL_EXPORT int epIsZero(const GostPoint* P);
ORVEL_EXPORT int epIsEqual(const GostPoint* P, const GostPoint* Q);
ORVEL_EXPORT int epSetZero(GostPoint* P);
ORVEL_EXPORT int epSetEqual(GostPoint* P, const GostPoint* Q);
ORVEL_EXPORT int epAdd(GostPoint* R, const GostPoint* P, const GostPoint* Q,
                       const GOSTR3410_2012_256_PAR* E);
ORVEL_EXPORT int epSubtract(GostPoint* R, const GostPoint* P, const GostPoint* Q,
                            const GOSTR3410_2012_256_PAR* E);
ORVEL_EXPORT int epMult(GostPoint* R, const GostPoint* P, const DIGIT_T* k,
                        const GOSTR3410_2012_256_PAR* E);
ORVEL_EXPORT int epA2J(GostJPoint* J, const GostPoint* P);
ORVEL_EXPORT int epJ2A(GostPoint* P, const GostJPoint* J, const GOSTR3410_2012_256_PAR* E);
ORVEL_EXPORT int epDublJ(GostJPoint* R, const GostJPoint* J, const GOSTR3410_2012_256_PAR* E);
ORVEL_EXPORT int epAddJA(GostJPoint* R, const GostJPoint* J, const GostPoint* P,
                         const GOSTR3410_2012_256_PAR* E);
ORVEL_EXPORT int epAddJChud(GostJPoint* R, const GostJPoint* J1, const GostJPoint* J2,
                            const GOSTR3410_2012_256_PAR* E);
ORVEL_EXPORT int epMultJ(GostPoint* R, const GostPoint* P, const DIGIT_T* k,
                         const GOSTR3410_2012_256_PAR* E);
ORVEL_EXPORT int epMultPP(GostPoint* R, const DIGIT_T* k, const GOSTR3410_2012_256_PAR* E);
ORVEL_EXPORT int epConvToDecimal(const GostPoint* P, char* x, char* y, uint32_t size);
ORVEL_EXPORT int epConvToHex(const GostPoint* P, char* x, char* y, uint32_t size);
ORVEL_EXPORT int epConvFromDecimal(GostPoint* P, const char* x, const char* y);
ORVEL_EXPORT int epConvFromHex(GostPoint* P, const char* x, const char* y);

ORVEL_EXPORT const GOSTR3410_2012_256_PAR* GOSTR3410_2012_256_GetPar(uint32_t index);
ORVEL_EXPORT const GOSTR3410_2012_256_PAR* GOSTR3410_2012_256_GetDefaultPar(void);
ORVEL_EXPORT int GOSTR3410_2012_256_FindParByDerOid(const unsigned char* der, uint32_t len,
                                                    const GOSTR3410_2012_256_PAR** par);
ORVEL_EXPORT int GOSTR3410_2012_256_FindParByDottedOid(const char* oid,
                                                       const GOSTR3410_2012_256_PAR** par);
ORVEL_EXPORT int GOSTR3410_2012_256_FindParByOidName(const char* name,
                                                     const GOSTR3410_2012_256_PAR** par);
ORVEL_EXPORT const GOSTR3410_2012_256_PAR* GOSTR3410_2001_GetPar(uint32_t index);
ORVEL_EXPORT const GOSTR3410_2012_256_PAR* GOSTR3410_2001_GetDefaultPar(void);
ORVEL_EXPORT int GOSTR3410_2001_FindParByDerOid(const unsigned char* der, uint32_t len,
                                                const GOSTR3410_2012_256_PAR** par);

ORVEL_EXTERN_C_END

#endif
