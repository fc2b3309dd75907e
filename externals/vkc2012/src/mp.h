/* Multiple-precision unsigned integers: arrays of 32-bit digits, least
 * significant digit first; the digit count is passed to every call. */
#ifndef VKC_MP_H
#define VKC_MP_H

#include <stddef.h>
#include <stdint.h>

#include "orvel_export.h"

typedef uint32_t DIGIT_T;

ORVEL_EXTERN_C_BEGIN

/* Heap numbers: zero-filled, at least one digit; mpFree wipes, frees and
 * nulls the pointer. Allocation failure ends the process through mpFail. */
ORVEL_EXPORT DIGIT_T* mpAlloc(uint32_t ndigits);
ORVEL_EXPORT void mpFree(DIGIT_T** p);
ORVEL_EXPORT void mpFail(const char* msg);
ORVEL_EXPORT void zeroise_bytes(volatile void* buf, size_t len);

/* Basic arithmetic */
ORVEL_EXPORT DIGIT_T mpAdd(DIGIT_T w[], const DIGIT_T u[], const DIGIT_T v[], uint32_t ndigits);
ORVEL_EXPORT DIGIT_T mpSubtract(DIGIT_T w[], const DIGIT_T u[], const DIGIT_T v[],
                                uint32_t ndigits);
ORVEL_EXPORT int mpMultiply(DIGIT_T w[], const DIGIT_T u[], const DIGIT_T v[], uint32_t ndigits);
ORVEL_EXPORT int mpSquare(DIGIT_T w[], const DIGIT_T x[], uint32_t ndigits);
ORVEL_EXPORT int mpDivide(DIGIT_T q[], DIGIT_T r[], const DIGIT_T u[], uint32_t udigits,
                          const DIGIT_T v[], uint32_t vdigits);
ORVEL_EXPORT int mpModulo(DIGIT_T r[], const DIGIT_T u[], uint32_t udigits, const DIGIT_T v[],
                          uint32_t vdigits);
ORVEL_EXPORT DIGIT_T mpShortAdd(DIGIT_T w[], const DIGIT_T u[], DIGIT_T d, uint32_t ndigits);
ORVEL_EXPORT DIGIT_T mpShortSub(DIGIT_T w[], const DIGIT_T u[], DIGIT_T d, uint32_t ndigits);
ORVEL_EXPORT DIGIT_T mpShortMult(DIGIT_T w[], const DIGIT_T u[], DIGIT_T d, uint32_t ndigits);
ORVEL_EXPORT DIGIT_T mpShortDiv(DIGIT_T q[], const DIGIT_T u[], DIGIT_T d, uint32_t ndigits);
ORVEL_EXPORT DIGIT_T mpShortMod(const DIGIT_T u[], DIGIT_T d, uint32_t ndigits);
ORVEL_EXPORT int spMultiply(DIGIT_T p[2], DIGIT_T x, DIGIT_T y);
ORVEL_EXPORT DIGIT_T spDivide(DIGIT_T* q, DIGIT_T* r, const DIGIT_T u[2], DIGIT_T v);

/* Comparison, size and assignment */
ORVEL_EXPORT int mpEqual(const DIGIT_T a[], const DIGIT_T b[], uint32_t ndigits);
ORVEL_EXPORT int mpCompare(const DIGIT_T a[], const DIGIT_T b[], uint32_t ndigits);
ORVEL_EXPORT int mpShortCmp(const DIGIT_T a[], DIGIT_T d, uint32_t ndigits);
ORVEL_EXPORT int mpIsZero(const DIGIT_T a[], uint32_t ndigits);
ORVEL_EXPORT int mpIsNegative(const DIGIT_T a[], uint32_t ndigits);
ORVEL_EXPORT uint32_t mpSizeof(const DIGIT_T a[], uint32_t ndigits);
ORVEL_EXPORT uint32_t mpBitLength(const DIGIT_T a[], uint32_t ndigits);
ORVEL_EXPORT void mpSetEqual(DIGIT_T a[], const DIGIT_T b[], uint32_t ndigits);
ORVEL_EXPORT void mpSetZero(DIGIT_T a[], uint32_t ndigits);
ORVEL_EXPORT void mpSetDigit(DIGIT_T a[], DIGIT_T d, uint32_t ndigits);
ORVEL_EXPORT int mpChs(DIGIT_T w[], const DIGIT_T u[], uint32_t ndigits);
ORVEL_EXPORT int mpAbs(DIGIT_T w[], const DIGIT_T u[], uint32_t ndigits);

/* Bits and bytes */
ORVEL_EXPORT DIGIT_T mpShiftLeft(DIGIT_T a[], const DIGIT_T b[], uint32_t shift, uint32_t ndigits);
ORVEL_EXPORT DIGIT_T mpShiftRight(DIGIT_T a[], const DIGIT_T b[], uint32_t shift, uint32_t ndigits);
ORVEL_EXPORT int mpSetBit(DIGIT_T a[], uint32_t ndigits, uint32_t bit, int value);
ORVEL_EXPORT int mpGetBit(const DIGIT_T a[], uint32_t ndigits, uint32_t bit);
ORVEL_EXPORT int mpGetByte(const DIGIT_T a[], uint32_t ndigits, uint32_t index, uint8_t* out);
ORVEL_EXPORT int mpSetByte(DIGIT_T a[], uint32_t ndigits, uint32_t index, int value);
ORVEL_EXPORT void mpModPowerOf2(DIGIT_T a[], uint32_t ndigits, uint32_t L);
ORVEL_EXPORT void mpXorBits(DIGIT_T w[], const DIGIT_T u[], const DIGIT_T v[], uint32_t ndigits);
ORVEL_EXPORT void mpOrBits(DIGIT_T w[], const DIGIT_T u[], const DIGIT_T v[], uint32_t ndigits);
ORVEL_EXPORT void mpAndBits(DIGIT_T w[], const DIGIT_T u[], const DIGIT_T v[], uint32_t ndigits);
ORVEL_EXPORT void mpNotBits(DIGIT_T w[], const DIGIT_T u[], uint32_t ndigits);

/* Modular arithmetic */
ORVEL_EXPORT int mpModAdd(DIGIT_T w[], const DIGIT_T u[], const DIGIT_T v[], const DIGIT_T m[],
                          uint32_t ndigits);
ORVEL_EXPORT int mpModSub(DIGIT_T w[], const DIGIT_T u[], const DIGIT_T v[], const DIGIT_T m[],
                          uint32_t ndigits);
ORVEL_EXPORT int mpModMult(DIGIT_T w[], const DIGIT_T u[], const DIGIT_T v[], const DIGIT_T m[],
                           uint32_t ndigits);
ORVEL_EXPORT int mpModInv(DIGIT_T inv[], const DIGIT_T u[], const DIGIT_T m[], uint32_t ndigits);
ORVEL_EXPORT int mpModExp(DIGIT_T y[], const DIGIT_T x[], const DIGIT_T e[], const DIGIT_T m[],
                          uint32_t ndigits);
ORVEL_EXPORT int mpModExp_windowed(DIGIT_T y[], const DIGIT_T x[], const DIGIT_T e[],
                                   const DIGIT_T m[], uint32_t ndigits);
ORVEL_EXPORT int mpGcd(DIGIT_T g[], const DIGIT_T x[], const DIGIT_T y[], uint32_t ndigits);
ORVEL_EXPORT int mpSqrt(DIGIT_T s[], const DIGIT_T x[], uint32_t ndigits);
ORVEL_EXPORT int mpCubeRoot(DIGIT_T s[], const DIGIT_T x[], uint32_t ndigits);
ORVEL_EXPORT int mpJacobi(const DIGIT_T a[], const DIGIT_T m[], uint32_t ndigits);

/* Conversions and output */
ORVEL_EXPORT uint32_t mpConvFromOctets(DIGIT_T a[], uint32_t ndigits, const unsigned char* c,
                                       uint32_t nbytes);
ORVEL_EXPORT uint32_t mpConvToOctets(const DIGIT_T a[], uint32_t ndigits, unsigned char* c,
                                     uint32_t nbytes);
ORVEL_EXPORT uint32_t mpConvToDecimal(const DIGIT_T a[], uint32_t ndigits, char* s, uint32_t smax);
ORVEL_EXPORT uint32_t mpConvToHex(const DIGIT_T a[], uint32_t ndigits, char* s, uint32_t smax);
ORVEL_EXPORT uint32_t mpConvFromDecimal(DIGIT_T a[], uint32_t ndigits, const char* s);
ORVEL_EXPORT uint32_t mpConvFromHex(DIGIT_T a[], uint32_t ndigits, const char* s);
ORVEL_EXPORT void mpPrint(const DIGIT_T* a, uint32_t ndigits);
ORVEL_EXPORT void mpPrintNL(const DIGIT_T* a, uint32_t ndigits);
ORVEL_EXPORT void mpPrintTrim(const DIGIT_T* a, uint32_t ndigits);
ORVEL_EXPORT void mpPrintTrimNL(const DIGIT_T* a, uint32_t ndigits);
ORVEL_EXPORT void mpPrintHex(const char* prefix, const DIGIT_T* a, uint32_t ndigits,
                             const char* suffix);
ORVEL_EXPORT void mpPrintDecimal(const char* prefix, const DIGIT_T* a, uint32_t ndigits,
                                 const char* suffix);
ORVEL_EXPORT int mpVersion(void);

ORVEL_EXTERN_C_END

#endif
