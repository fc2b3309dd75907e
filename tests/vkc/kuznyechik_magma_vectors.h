// Reader of the block-cipher vector file tests/data/vkc/kuznyechik_magma_kat.txt.
#ifndef ORVEL_TESTS_VKC_KUZNYECHIK_MAGMA_VECTORS_H
#define ORVEL_TESTS_VKC_KUZNYECHIK_MAGMA_VECTORS_H

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "test_util.h"

namespace kuzmag_test {

using Bytes = std::vector<uint8_t>;
using Block = std::map<std::string, std::string>;

// "[name]" starts a block of "key = value" lines; "#" lines are comments.
inline std::map<std::string, Block> read_vectors() {
  std::ifstream in(orvel_test::data_dir() + "/vkc/kuznyechik_magma_kat.txt");
  EXPECT_TRUE(in.good());
  std::map<std::string, Block> out;
  std::string line, current;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      current = line.substr(1, line.find(']') - 1);
      continue;
    }
    const size_t eq = line.find(" = ");
    if (eq != std::string::npos) out[current][line.substr(0, eq)] = line.substr(eq + 3);
  }
  return out;
}

inline Bytes hex(const std::string& s) { return orvel_test::from_hex(s); }
inline std::string to_hex(const uint8_t* p, size_t n) { return orvel_test::to_hex(p, n); }

}  // namespace kuzmag_test

#endif
