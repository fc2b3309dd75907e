// Reader of the known-answer files under tests/data/vkc: "[name]" starts a
// block of "key = value" lines; "#" lines are comments.
#ifndef ORVEL_TESTS_VKC_KAT_FILE_H
#define ORVEL_TESTS_VKC_KAT_FILE_H

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <istream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "test_util.h"

namespace vkc_kat {

using Bytes = std::vector<uint8_t>;
using Block = std::map<std::string, std::string>;

// Blocks by name. A "[name]" line opens its block even when no line
// follows; "key = value" lines before the first block are ignored.
inline std::map<std::string, Block> parse_kat(std::istream& in) {
  std::map<std::string, Block> out;
  std::string line, current;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      current = line.substr(1, line.find(']') - 1);
      out[current];
      continue;
    }
    const size_t eq = line.find(" = ");
    if (eq != std::string::npos && !current.empty())
      out[current][line.substr(0, eq)] = line.substr(eq + 3);
  }
  return out;
}

inline std::string kat_path(const std::string& file) {
  return orvel_test::data_dir() + "/vkc/" + file;
}

inline std::map<std::string, Block> read_kat(const std::string& file) {
  std::ifstream in(kat_path(file));
  EXPECT_TRUE(in.good()) << file;
  return parse_kat(in);
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
