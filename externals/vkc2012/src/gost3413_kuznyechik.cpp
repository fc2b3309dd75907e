// GOST R 34.13-2015 modes over Kuznyechik (n = 16 bytes, m up to 256).
#include <cstring>

#include "gost3413_impl.h"
#include "gost3413_modes.h"
#include "gost3413_selftest.h"
#include "kuznyechik_optimized.h"
#include "vkc_modes.h"

namespace vkc::modes {
namespace {

struct Kuznyechik {
  static constexpr uint64_t kBlock = 16;
  static constexpr uint64_t kMaxRegister = 256;
  static constexpr uint8_t kBn = 0x87;
  static constexpr uint8_t kTagBase = 0x10;

  static void set_key(VkcModeContext* ctx, const uint8_t* key, bool decrypt) {
    if (decrypt) {
      ExpandDecryptKey_K(key, ctx->round_keys.kuznyechik);
    } else {
      ExpandEncryptKey_K(key, ctx->round_keys.kuznyechik);
    }
  }
  static void encrypt(const VkcModeContext* ctx, const uint8_t* in, uint8_t* out) {
    Encrypt_K(in, out, ctx->round_keys.kuznyechik);
  }
  static void decrypt(const VkcModeContext* ctx, const uint8_t* in, uint8_t* out) {
    Decrypt_K(in, out, ctx->round_keys.kuznyechik);
  }
};

using K = Modes<Kuznyechik>;

}  // namespace

int32_t init_ecb_K_impl(VkcModeContext* ctx, uint8_t encrypt, const uint8_t* key) {
  return K::init_ecb(ctx, encrypt, key);
}
int32_t init_cbc_K_impl(VkcModeContext* ctx, uint8_t encrypt, const uint8_t* key, const uint8_t* iv,
                        uint64_t m) {
  return K::init_cbc(ctx, encrypt, key, iv, m);
}
int32_t init_ofb_K_impl(VkcModeContext* ctx, uint8_t encrypt, const uint8_t* key, uint64_t s,
                        const uint8_t* iv, uint64_t m) {
  return K::init_feedback(kOfb, ctx, encrypt, key, s, iv, m);
}
int32_t init_cfb_K_impl(VkcModeContext* ctx, uint8_t encrypt, const uint8_t* key, uint64_t s,
                        const uint8_t* iv, uint64_t m) {
  return K::init_feedback(kCfb, ctx, encrypt, key, s, iv, m);
}
int32_t init_ctr_K_impl(VkcModeContext* ctx, uint8_t encrypt, const uint8_t* key, uint64_t s,
                        const uint8_t* iv) {
  return K::init_ctr(ctx, encrypt, key, s, iv);
}
int32_t init_mac_K_impl(VkcModeContext* ctx, const uint8_t* key, uint64_t s) {
  return K::init_mac(ctx, key, s);
}

}  // namespace vkc::modes

using namespace vkc::modes;

extern "C" {

int32_t vkc_kuznyechik_ecb_init(VkcModeContext* ctx, uint8_t encrypt, const uint8_t* key) {
  if (SelfTestGostKEcb() != 0) return kErrSelfTest;
  return init_ecb_K_impl(ctx, encrypt, key);
}

int32_t vkc_kuznyechik_cbc_init(VkcModeContext* ctx, uint8_t encrypt, const uint8_t* key,
                                const uint8_t* iv, uint64_t m) {
  if (SelfTestGostKCbc() != 0) return kErrSelfTest;
  return init_cbc_K_impl(ctx, encrypt, key, iv, m);
}

int32_t vkc_kuznyechik_ofb_init(VkcModeContext* ctx, uint8_t encrypt, const uint8_t* key,
                                uint64_t s, const uint8_t* iv, uint64_t m) {
  if (SelfTestGostKOfb() != 0) return kErrSelfTest;
  return init_ofb_K_impl(ctx, encrypt, key, s, iv, m);
}

int32_t vkc_kuznyechik_cfb_init(VkcModeContext* ctx, uint8_t encrypt, const uint8_t* key,
                                uint64_t s, const uint8_t* iv, uint64_t m) {
  if (SelfTestGostKCfb() != 0) return kErrSelfTest;
  return init_cfb_K_impl(ctx, encrypt, key, s, iv, m);
}

int32_t vkc_kuznyechik_ctr_init(VkcModeContext* ctx, uint8_t encrypt, const uint8_t* key,
                                uint64_t s, const uint8_t* iv) {
  if (SelfTestGostKCtr() != 0) return kErrSelfTest;
  return init_ctr_K_impl(ctx, encrypt, key, s, iv);
}

int32_t vkc_kuznyechik_mac_init(VkcModeContext* ctx, const uint8_t* key, uint64_t s) {
  if (SelfTestGostKMac() != 0) return kErrSelfTest;
  return init_mac_K_impl(ctx, key, s);
}

int32_t vkc_kuznyechik_ecb_update(VkcModeContext* ctx, const uint8_t* in, uint8_t* out,
                                  uint64_t len) {
  return K::ecb(ctx, in, out, len);
}

int32_t vkc_kuznyechik_cbc_update(VkcModeContext* ctx, const uint8_t* in, uint8_t* out,
                                  uint64_t len) {
  return K::cbc(ctx, in, out, len);
}

int32_t vkc_kuznyechik_ofb_update(VkcModeContext* ctx, const uint8_t* in, uint8_t* out,
                                  uint64_t len) {
  return K::ofb(ctx, in, out, len);
}

int32_t vkc_kuznyechik_cfb_update(VkcModeContext* ctx, const uint8_t* in, uint8_t* out,
                                  uint64_t len) {
  return K::cfb(ctx, in, out, len);
}

int32_t vkc_kuznyechik_ctr_update(VkcModeContext* ctx, const uint8_t* in, uint8_t* out,
                                  uint64_t len) {
  return K::ctr(ctx, in, out, len);
}

int32_t vkc_kuznyechik_mac_update(VkcModeContext* ctx, const uint8_t* data, uint64_t len) {
  return K::mac_update(ctx, data, len);
}

int32_t vkc_kuznyechik_mac_final(VkcModeContext* ctx, uint8_t* tag) {
  return K::mac_final(ctx, tag);
}

int32_t vkc_kuznyechik_mac(const uint8_t* key, uint64_t s, const uint8_t* data, uint64_t len,
                           uint8_t* tag) {
  if (SelfTestGostKMac() != 0) return kErrSelfTest;
  VkcModeContext ctx;
  int32_t rc = init_mac_K_impl(&ctx, key, s);
  if (rc == 0) rc = K::mac_update(&ctx, data, len);
  if (rc == 0) rc = K::mac_final(&ctx, tag);
  explicit_bzero(&ctx, sizeof(ctx));
  return rc;
}

}  // extern "C"
