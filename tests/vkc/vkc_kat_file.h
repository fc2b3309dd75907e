// Reader of the known-answer files under tests/data/vkc: "[name]" starts a
// block of "key = value" lines; "#" lines are comments.
#ifndef ORVEL_TESTS_VKC_KAT_FILE_H
#define ORVEL_TESTS_VKC_KAT_FILE_H

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "test_util.h"

namespace vkc_kat {

using Bytes = std::vector<uint8_t>;
using Block = std::map<std::string, std::string>;

inline std::map<std::string, Block> read_kat(const std::string& file) {
  std::ifstream in(orvel_test::data_dir() + "/vkc/" + file);
  EXPECT_TRUE(in.good()) << file;
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
inline std::string to_hex(const Bytes& b) { return orvel_test::to_hex(b.data(), b.size()); }

inline Bytes random_bytes(std::mt19937& rng, size_t n) {
  Bytes b(n);
  for (auto& x : b) x = static_cast<uint8_t>(rng());
  return b;
}

}  // namespace vkc_kat

#endif
