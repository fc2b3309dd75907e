// Reader of the block-cipher vector file tests/data/vkc/kuznyechik_magma_kat.txt.
#ifndef ORVEL_TESTS_VKC_KUZNYECHIK_MAGMA_VECTORS_H
#define ORVEL_TESTS_VKC_KUZNYECHIK_MAGMA_VECTORS_H

#include <cstdint>
#include <map>
#include <string>

#include "test_util.h"
#include "vkc_kat_file.h"

namespace kuzmag_test {

using vkc_kat::Block;
using vkc_kat::Bytes;

inline std::map<std::string, Block> read_vectors() {
  return vkc_kat::read_kat("kuznyechik_magma_kat.txt");
}

inline Bytes hex(const std::string& s) { return orvel_test::from_hex(s); }
inline std::string to_hex(const uint8_t* p, size_t n) { return orvel_test::to_hex(p, n); }

}  // namespace kuzmag_test

#endif
