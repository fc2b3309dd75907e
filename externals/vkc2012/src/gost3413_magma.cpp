// GOST R 34.13-2015 modes over Magma (n = 8 bytes, m up to 128).
#include <cstring>

#include "byte_word_conv.h"
#include "gost3413_impl.h"
#include "gost3413_modes.h"
#include "gost3413_selftest.h"
#include "magma.h"
#include "vkc_modes.h"

namespace vkc::modes {
namespace {

struct Magma {
  static constexpr uint64_t kBlock = 8;
  static constexpr uint64_t kMaxRegister = 128;
  static constexpr uint8_t kBn = 0x1b;
  static constexpr uint8_t kTagBase = 0x20;

  // Word i from key bytes 4i..4i+3, most significant first; the same words
  // serve both directions.
  static void set_key(VkcModeContext* ctx, const uint8_t* key, bool) {
    uint8_t copy[32];
    memcpy(copy, key, sizeof(copy));
    for (int i = 0; i < 8; ++i) {
      revert(copy + 4 * i);
      ctx->round_keys.magma[i] = Uint8ToUint32(copy + 4 * i);
    }
    explicit_bzero(copy, sizeof(copy));
  }
  static void encrypt(const VkcModeContext* ctx, const uint8_t* in, uint8_t* out) {
    Encrypt_M(in, out, ctx->round_keys.magma);
  }
  static void decrypt(const VkcModeContext* ctx, const uint8_t* in, uint8_t* out) {
    Decrypt_M(in, out, ctx->round_keys.magma);
  }
};

using M = Modes<Magma>;

}  // namespace

int32_t init_ecb_M_impl(VkcModeContext* ctx, uint8_t encrypt, const uint8_t* key) {
  return M::init_ecb(ctx, encrypt, key);
}
int32_t init_cbc_M_impl(VkcModeContext* ctx, uint8_t encrypt, const uint8_t* key, const uint8_t* iv,
                        uint64_t m) {
  return M::init_cbc(ctx, encrypt, key, iv, m);
}
int32_t init_ofb_M_impl(VkcModeContext* ctx, uint8_t encrypt, const uint8_t* key, uint64_t s,
                        const uint8_t* iv, uint64_t m) {
  return M::init_feedback(kOfb, ctx, encrypt, key, s, iv, m);
}
int32_t init_cfb_M_impl(VkcModeContext* ctx, uint8_t encrypt, const uint8_t* key, uint64_t s,
                        const uint8_t* iv, uint64_t m) {
  return M::init_feedback(kCfb, ctx, encrypt, key, s, iv, m);
}
int32_t init_ctr_M_impl(VkcModeContext* ctx, uint8_t encrypt, const uint8_t* key, uint64_t s,
                        const uint8_t* iv) {
  return M::init_ctr(ctx, encrypt, key, s, iv);
}
int32_t init_mac_M_impl(VkcModeContext* ctx, const uint8_t* key, uint64_t s) {
  return M::init_mac(ctx, key, s);
}

}  // namespace vkc::modes

using namespace vkc::modes;

extern "C" {

int32_t vkc_magma_ecb_init(VkcModeContext* ctx, uint8_t encrypt, const uint8_t* key) {
  if (SelfTestGostMEcb() != 0) return kErrSelfTest;
  return init_ecb_M_impl(ctx, encrypt, key);
}

int32_t vkc_magma_cbc_init(VkcModeContext* ctx, uint8_t encrypt, const uint8_t* key,
                           const uint8_t* iv, uint64_t m) {
  if (SelfTestGostMCbc() != 0) return kErrSelfTest;
  return init_cbc_M_impl(ctx, encrypt, key, iv, m);
}

int32_t vkc_magma_ofb_init(VkcModeContext* ctx, uint8_t encrypt, const uint8_t* key, uint64_t s,
                           const uint8_t* iv, uint64_t m) {
  if (SelfTestGostMOfb() != 0) return kErrSelfTest;
  return init_ofb_M_impl(ctx, encrypt, key, s, iv, m);
}

int32_t vkc_magma_cfb_init(VkcModeContext* ctx, uint8_t encrypt, const uint8_t* key, uint64_t s,
                           const uint8_t* iv, uint64_t m) {
  if (SelfTestGostMCfb() != 0) return kErrSelfTest;
  return init_cfb_M_impl(ctx, encrypt, key, s, iv, m);
}

int32_t vkc_magma_ctr_init(VkcModeContext* ctx, uint8_t encrypt, const uint8_t* key, uint64_t s,
                           const uint8_t* iv) {
  if (SelfTestGostMCtr() != 0) return kErrSelfTest;
  return init_ctr_M_impl(ctx, encrypt, key, s, iv);
}

int32_t vkc_magma_mac_init(VkcModeContext* ctx, const uint8_t* key, uint64_t s) {
  if (SelfTestGostMMac() != 0) return kErrSelfTest;
  return init_mac_M_impl(ctx, key, s);
}

int32_t vkc_magma_ecb_update(VkcModeContext* ctx, const uint8_t* in, uint8_t* out, uint64_t len) {
  return M::ecb(ctx, in, out, len);
}

int32_t vkc_magma_cbc_update(VkcModeContext* ctx, const uint8_t* in, uint8_t* out, uint64_t len) {
  return M::cbc(ctx, in, out, len);
}

int32_t vkc_magma_ofb_update(VkcModeContext* ctx, const uint8_t* in, uint8_t* out, uint64_t len) {
  return M::ofb(ctx, in, out, len);
}

int32_t vkc_magma_cfb_update(VkcModeContext* ctx, const uint8_t* in, uint8_t* out, uint64_t len) {
  return M::cfb(ctx, in, out, len);
}

int32_t vkc_magma_ctr_update(VkcModeContext* ctx, const uint8_t* in, uint8_t* out, uint64_t len) {
  return M::ctr(ctx, in, out, len);
}

int32_t vkc_magma_mac_update(VkcModeContext* ctx, const uint8_t* data, uint64_t len) {
  return M::mac_update(ctx, data, len);
}

int32_t vkc_magma_mac_final(VkcModeContext* ctx, uint8_t* tag) { return M::mac_final(ctx, tag); }

int32_t vkc_magma_mac(const uint8_t* key, uint64_t s, const uint8_t* data, uint64_t len,
                      uint8_t* tag) {
  if (SelfTestGostMMac() != 0) return kErrSelfTest;
  VkcModeContext ctx;
  int32_t rc = init_mac_M_impl(&ctx, key, s);
  if (rc == 0) rc = M::mac_update(&ctx, data, len);
  if (rc == 0) rc = M::mac_final(&ctx, tag);
  explicit_bzero(&ctx, sizeof(ctx));
  return rc;
}

}  // extern "C"
