#include "gost28147_sbox.h"

#include <array>

namespace {

// Eight substitution nodes K1..K8, each as 16 hex digits: digit j is K(j).
// K1 acts on the least significant nibble of a word.
using SboxRows = std::array<const char*, 8>;

constexpr uint32_t hex_digit(char c) {
  return c >= 'a' ? static_cast<uint32_t>(c - 'a' + 10) : static_cast<uint32_t>(c - '0');
}

constexpr uint32_t rotl11(uint32_t x) { return x << 11 | x >> 21; }

// Table k, entry x: low nibble through node 2k+1, high nibble through node
// 2k+2, shifted to byte k and rotated left by 11.
constexpr Gost28147ExpandedSbox expand(const SboxRows& rows) {
  Gost28147ExpandedSbox out{};
  for (uint32_t k = 0; k < 4; ++k) {
    for (uint32_t x = 0; x < 256; ++x) {
      uint32_t lo = hex_digit(rows[2 * k][x & 15]);
      uint32_t hi = hex_digit(rows[2 * k + 1][x >> 4]);
      out.table[k][x] = rotl11((hi << 4 | lo) << (8 * k));
    }
  }
  out.initialised = 1;
  return out;
}

constexpr SboxRows kTest = {"42f59108e3bcd7a6", "c9fe813a274d60b5", "d8ec739a15246f0b",
                            "e9b25f710dc6a438", "3e59680dab7c21f4", "8f6b19c5d37a0e24",
                            "9bc0367548ef1a2d", "c652b09d3e7af418"};
constexpr SboxRows kCryptoProA = {"96328b17a4efc0d5", "37e98af0526cb4d1", "e462b3d8cf5a0719",
                                  "e7acd13902b4f856", "b5198df0e423c7a6", "3adc120b75948fe6",
                                  "1d297a608c45f3be", "baf50ce8623917d4"};
constexpr SboxRows kCryptoProB = {"84b135092eacd67f", "012a4d5c973fb86e", "ec0a92db758f3614",
                                  "750db6123acf4e98", "27cf95ab140d68e3", "83264debc17fa095",
                                  "52ab91c374d06f8e", "04be8371a296fd5c"};
constexpr SboxRows kCryptoProC = {"1bc29d0f458ea763", "017db4528efc9a63", "825049fa37cd6e1b",
                                  "36015da8b297efc4", "8db0451293ce6fa7", "c9b18e247365a0fd",
                                  "a968de20f35b41c7", "7405a2fec61bd938"};
constexpr SboxRows kCryptoProD = {"fc2a645079ed1b83", "b634cfe27d805a91", "1cb0fe65ad489372",
                                  "15eca70d62b493f8", "0c89d2ab73654ef1", "80f325eb1a47c9d6",
                                  "306f1e92d8c4ba57", "1a68fb04c3597d2e"};
constexpr SboxRows kParamZ = {"c462a5b9e8d703f1", "68239a5c1e47bd0f", "b3582fade174c960",
                              "c821d4f670a53e9b", "7f5a816d093eb42c", "5df692cab78143e0",
                              "8e25691cf4b0da37", "17ed05834fa69cb2"};
constexpr SboxRows kHashTest = {"4a92d80e6b1c7f53", "eb4c6dfa23810759", "581da342efc7609b",
                                "7da1089fe46cb253", "6c715fd84a9e03b2", "4ba0721d36859cfe",
                                "db413f590ae7682c", "1fd057a4923e6b8c"};
constexpr SboxRows kHashCryptoPro = {"a4568137dce092bf", "5f402db91763cea8", "7fce94103b526a8d",
                                     "4a7c0f28e165db93", "764b9c2a180efd35", "7624d9f0a15b8ec3",
                                     "de41705a3c8f629b", "13a95b4f867ed02c"};

}  // namespace

extern "C" {

alignas(64) constinit const Gost28147ExpandedSbox TZ_28147_89[6] = {
    expand(kTest),        expand(kCryptoProA), expand(kCryptoProB),
    expand(kCryptoProC),  expand(kCryptoProD), expand(kParamZ)};

alignas(64) constinit const Gost28147ExpandedSbox TZ_3411_94[2] = {expand(kHashTest),
                                                                   expand(kHashCryptoPro)};

constinit const uint8_t GOST28147_89_KEY_MESHING_C[32] = {
    0x69, 0x00, 0x72, 0x22, 0x64, 0xc9, 0x04, 0x23, 0x8d, 0x3a, 0xdb, 0x96, 0x46, 0xe9, 0x2a, 0xc4,
    0x18, 0xfe, 0xac, 0x94, 0x00, 0xed, 0x07, 0x12, 0xc0, 0x86, 0xdc, 0xc2, 0xef, 0x4c, 0xa9, 0x2b};

}  // extern "C"
