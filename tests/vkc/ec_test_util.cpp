#include "ec_test_util.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "test_util.h"
#include "vkc_kat_file.h"

namespace ec_test {

const char* const kRows256[GOST256_PAR_COUNT] = {
    "ec.gost2001-test",  "ec.cryptopro-a",    "ec.cryptopro-b", "ec.cryptopro-c",
    "ec.cryptopro-xcha", "ec.cryptopro-xchb", "ec.tc26-256-a"};
const char* const kRows512[GOST512_PAR_COUNT] = {"ec.gost2012-512-test", "ec.tc26-512-a",
                                                 "ec.tc26-512-b", "ec.tc26-512-c"};
const char* const kGcrypt256[GOST256_PAR_COUNT] = {
    "GOST2001-test",        "GOST2001-CryptoPro-A", "GOST2001-CryptoPro-B", "GOST2001-CryptoPro-C",
    "GOST2001-CryptoPro-A", "GOST2001-CryptoPro-C", "GOST2012-256-A"};
const char* const kGcrypt512[GOST512_PAR_COUNT] = {"GOST2012-512-test", "GOST2012-512-tc26-A",
                                                   "GOST2012-512-tc26-B", "GOST2012-512-tc26-C"};

const std::map<std::string, Block>& vectors() {
  static const std::map<std::string, Block> blocks = vkc_kat::read_kat("gost3410_vectors.txt");
  return blocks;
}

void hex_to_num(const std::string& hex, DIGIT_T* a, uint32_t nd) {
  std::vector<unsigned char> b = orvel_test::from_hex(hex);
  mpConvFromOctets(a, nd, b.data(), static_cast<uint32_t>(b.size()));
}

std::string num_to_hex(const DIGIT_T* a, uint32_t nd, uint32_t nbytes) {
  std::vector<unsigned char> b(nbytes);
  mpConvToOctets(a, nd, b.data(), nbytes);
  return orvel_test::to_hex(b.data(), b.size());
}

void num_to_mpz(mpz_t z, const DIGIT_T* a, uint32_t nd) {
  mpz_import(z, nd, -1, sizeof(DIGIT_T), 0, 0, a);
}

void mpz_to_num(DIGIT_T* a, uint32_t nd, const mpz_t z) {
  mpSetZero(a, nd);
  size_t count = 0;
  std::vector<DIGIT_T> tmp((mpz_sizeinbase(z, 2) + 31) / 32 + 1);
  mpz_export(tmp.data(), &count, -1, sizeof(DIGIT_T), 0, 0, z);
  for (size_t i = 0; i < count && i < nd; i++) a[i] = tmp[i];
}

void random_below(std::mt19937_64& rng, DIGIT_T* a, const DIGIT_T* bound, uint32_t nd) {
  const uint32_t bits = mpBitLength(bound, nd);
  do {
    mpSetZero(a, nd);
    for (uint32_t i = 0; i < nd; i++) a[i] = static_cast<DIGIT_T>(rng());
    mpModPowerOf2(a, nd, bits);
  } while (mpCompare(a, bound, nd) >= 0);
}

}  // namespace ec_test
