// The mode configurations the contract and peer tests run over: every mode
// of both ciphers, with full and partial segments and registers longer
// than a block.
#ifndef ORVEL_TESTS_VKC_MODES_CONFIGS_H
#define ORVEL_TESTS_VKC_MODES_CONFIGS_H

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "modes_api.h"

namespace vkc_modes_test {

inline std::vector<Config> all_configs() {
  std::vector<Config> out;
  for (const Cipher* c : {&kKuznyechik, &kMagma}) {
    const uint64_t n = c->n;
    out.push_back({c, Mode::kEcb, 0, 0});
    for (uint64_t m : {n, 2 * n, 3 * n, c->max_m}) out.push_back({c, Mode::kCbc, 0, m});
    for (Mode mode : {Mode::kOfb, Mode::kCfb}) {
      for (auto [s, m] : std::vector<std::pair<uint64_t, uint64_t>>{
               {n, n}, {n, 2 * n}, {1, n}, {n / 2 + 1, 3 * n}, {n - 1, c->max_m}}) {
        out.push_back({c, mode, s, m});
      }
    }
    for (uint64_t s : {n, uint64_t{1}, n / 2 + 1}) out.push_back({c, Mode::kCtr, s, 0});
  }
  return out;
}

// Readable parameter text in test output.
inline void PrintTo(const Config& c, std::ostream* os) { *os << c.name(); }

inline std::string config_name(const ::testing::TestParamInfo<Config>& param_info) {
  return param_info.param.name();
}

}  // namespace vkc_modes_test

#endif
