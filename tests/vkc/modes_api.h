// The mode functions of both ciphers behind one table, so that the mode
// tests run over every cipher and mode alike.
#ifndef ORVEL_TESTS_VKC_MODES_API_H
#define ORVEL_TESTS_VKC_MODES_API_H

#include <cstdint>
#include <string>
#include <vector>

#include "vkc_modes.h"

namespace vkc_modes_test {

using Bytes = std::vector<uint8_t>;
using Update = int32_t (*)(VkcModeContext*, const uint8_t*, uint8_t*, uint64_t);

enum class Mode { kEcb, kCbc, kOfb, kCfb, kCtr };

struct Cipher {
  const char* name;
  uint64_t n;
  uint64_t max_m;
  int32_t (*ecb_init)(VkcModeContext*, uint8_t, const uint8_t*);
  int32_t (*cbc_init)(VkcModeContext*, uint8_t, const uint8_t*, const uint8_t*, uint64_t);
  int32_t (*ofb_init)(VkcModeContext*, uint8_t, const uint8_t*, uint64_t, const uint8_t*, uint64_t);
  int32_t (*cfb_init)(VkcModeContext*, uint8_t, const uint8_t*, uint64_t, const uint8_t*, uint64_t);
  int32_t (*ctr_init)(VkcModeContext*, uint8_t, const uint8_t*, uint64_t, const uint8_t*);
  Update ecb, cbc, ofb, cfb, ctr;
  int32_t (*mac_init)(VkcModeContext*, const uint8_t*, uint64_t);
  int32_t (*mac_update)(VkcModeContext*, const uint8_t*, uint64_t);
  int32_t (*mac_final)(VkcModeContext*, uint8_t*);
  int32_t (*mac)(const uint8_t*, uint64_t, const uint8_t*, uint64_t, uint8_t*);
};

inline const Cipher kKuznyechik{"kuznyechik",
                                16,
                                256,
                                vkc_kuznyechik_ecb_init,
                                vkc_kuznyechik_cbc_init,
                                vkc_kuznyechik_ofb_init,
                                vkc_kuznyechik_cfb_init,
                                vkc_kuznyechik_ctr_init,
                                vkc_kuznyechik_ecb_update,
                                vkc_kuznyechik_cbc_update,
                                vkc_kuznyechik_ofb_update,
                                vkc_kuznyechik_cfb_update,
                                vkc_kuznyechik_ctr_update,
                                vkc_kuznyechik_mac_init,
                                vkc_kuznyechik_mac_update,
                                vkc_kuznyechik_mac_final,
                                vkc_kuznyechik_mac};

inline const Cipher kMagma{"magma",
                           8,
                           128,
                           vkc_magma_ecb_init,
                           vkc_magma_cbc_init,
                           vkc_magma_ofb_init,
                           vkc_magma_cfb_init,
                           vkc_magma_ctr_init,
                           vkc_magma_ecb_update,
                           vkc_magma_cbc_update,
                           vkc_magma_ofb_update,
                           vkc_magma_cfb_update,
                           vkc_magma_ctr_update,
                           vkc_magma_mac_init,
                           vkc_magma_mac_update,
                           vkc_magma_mac_final,
                           vkc_magma_mac};

// One configuration of a mode: s and m where the mode has them.
struct Config {
  const Cipher* cipher;
  Mode mode;
  uint64_t s;
  uint64_t m;

  bool whole_blocks() const { return mode == Mode::kEcb || mode == Mode::kCbc; }
  size_t iv_len() const {
    if (mode == Mode::kEcb) return 0;
    if (mode == Mode::kCtr) return cipher->n / 2;
    return m;
  }
  Update update() const {
    switch (mode) {
      case Mode::kEcb:
        return cipher->ecb;
      case Mode::kCbc:
        return cipher->cbc;
      case Mode::kOfb:
        return cipher->ofb;
      case Mode::kCfb:
        return cipher->cfb;
      case Mode::kCtr:
        return cipher->ctr;
    }
    return nullptr;
  }
  int32_t init(VkcModeContext* ctx, uint8_t encrypt, const uint8_t* key, const uint8_t* iv) const {
    switch (mode) {
      case Mode::kEcb:
        return cipher->ecb_init(ctx, encrypt, key);
      case Mode::kCbc:
        return cipher->cbc_init(ctx, encrypt, key, iv, m);
      case Mode::kOfb:
        return cipher->ofb_init(ctx, encrypt, key, s, iv, m);
      case Mode::kCfb:
        return cipher->cfb_init(ctx, encrypt, key, s, iv, m);
      case Mode::kCtr:
        return cipher->ctr_init(ctx, encrypt, key, s, iv);
    }
    return -999;
  }
  std::string name() const {
    static const char* const kModes[] = {"ecb", "cbc", "ofb", "cfb", "ctr"};
    return std::string(cipher->name) + "_" + kModes[static_cast<int>(mode)] + "_s" +
           std::to_string(s) + "_m" + std::to_string(m);
  }
};

}  // namespace vkc_modes_test

#endif
