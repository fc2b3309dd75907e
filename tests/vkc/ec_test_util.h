// Helpers of the curve and signature tests: the vector file, numbers in
// hex, random numbers and the mapping of parameter rows to vector blocks.
#ifndef VKC_EC_TEST_UTIL_H
#define VKC_EC_TEST_UTIL_H

#include <gmp.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "ec256.h"
#include "ec512.h"
#include "gost3410.h"

namespace ec_test {

using Block = std::map<std::string, std::string>;

// Blocks of tests/data/vkc/gost3410_vectors.txt by name.
const std::map<std::string, Block>& vectors();

// Vector block of each parameter row.
extern const char* const kRows256[GOST256_PAR_COUNT];
extern const char* const kRows512[GOST512_PAR_COUNT];
// libgcrypt curve names of each row.
extern const char* const kGcrypt256[GOST256_PAR_COUNT];
extern const char* const kGcrypt512[GOST512_PAR_COUNT];

// Big-endian hex <-> digits (nd digits).
void hex_to_num(const std::string& hex, DIGIT_T* a, uint32_t nd);
std::string num_to_hex(const DIGIT_T* a, uint32_t nd, uint32_t nbytes);

// GMP views of digit arrays.
void num_to_mpz(mpz_t z, const DIGIT_T* a, uint32_t nd);
void mpz_to_num(DIGIT_T* a, uint32_t nd, const mpz_t z);

// Random number below bound (nd digits) from a fixed-seed generator.
void random_below(std::mt19937_64& rng, DIGIT_T* a, const DIGIT_T* bound, uint32_t nd);

}  // namespace ec_test

#endif
