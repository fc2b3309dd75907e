// Arithmetic modulo the group order q of a curve on private values (the
// masked private keys of the engine's key glue): the constant-time
// Montgomery arithmetic that signing uses, with results equal to those of
// mpModulo, mpModMult and mpModInv. Not exported.
#ifndef VKC_GOST3410_MODQ_H
#define VKC_GOST3410_MODQ_H

#include "ec256.h"
#include "ec512.h"

namespace vkc_modq {

// r = a mod q for any a of the size's digit count.
void reduce(const GOSTR3410_2012_256_PAR* par, DIGIT_T* r, const DIGIT_T* a);
void reduce(const GOSTR3410_2012_512_PAR* par, DIGIT_T* r, const DIGIT_T* a);

// r = a * b mod q for a and b below q.
void mul(const GOSTR3410_2012_256_PAR* par, DIGIT_T* r, const DIGIT_T* a, const DIGIT_T* b);
void mul(const GOSTR3410_2012_512_PAR* par, DIGIT_T* r, const DIGIT_T* a, const DIGIT_T* b);

// r = a^-1 mod q (a^(q-2)) for a below q and not zero.
void inv(const GOSTR3410_2012_256_PAR* par, DIGIT_T* r, const DIGIT_T* a);
void inv(const GOSTR3410_2012_512_PAR* par, DIGIT_T* r, const DIGIT_T* a);

}  // namespace vkc_modq

#endif
