// The GOST R 34.13-2015 modes, written once over a block cipher. A cipher
// type provides:
//   kBlock (n), kMaxRegister (largest m), kBn (last byte of B_n),
//   kTagBase (mode tags kTagBase + Mode),
//   set_key(ctx, key, decrypt) (round keys; decrypt: ECB/CBC decryption keys),
//   encrypt(ctx, in, out), decrypt(ctx, in, out) on one block, in == out allowed.
// The inits here run no self-test; the exported inits run it first.
#ifndef VKC_GOST3413_MODES_H
#define VKC_GOST3413_MODES_H

#include <stdint.h>

#include <cstring>

#include "gost3413_util.h"
#include "vkc_modes.h"

namespace vkc::modes {

enum Mode : uint8_t { kEcb = 1, kCbc, kOfb, kCfb, kCtr, kMac };

constexpr int32_t kErrNull = -1;
constexpr int32_t kErrRange = -4;
constexpr int32_t kErrMultiple = -6;
constexpr int32_t kErrSelfTest = -14;
constexpr int32_t kErrPadding = -15;
constexpr int32_t kErrNotInitialised = -152;

template <typename C>
struct Modes {
  static constexpr uint64_t n = C::kBlock;

  static uint8_t tag(Mode mode) { return static_cast<uint8_t>(C::kTagBase + mode); }

  static void start(VkcModeContext* ctx, uint8_t encrypt, const uint8_t* key, bool decrypt_keys) {
    memset(ctx, 0, sizeof(*ctx));
    memcpy(ctx->key, key, sizeof(ctx->key));
    ctx->encrypt = encrypt;
    C::set_key(ctx, key, decrypt_keys);
  }

  static int32_t check_register(uint64_t m) {
    if (m == 0 || m > C::kMaxRegister) return kErrRange;
    return 0;
  }

  static int32_t check_segment(uint64_t s) { return s == 0 || s > n ? kErrRange : 0; }

  // ---- inits -------------------------------------------------------------

  static int32_t init_ecb(VkcModeContext* ctx, uint8_t encrypt, const uint8_t* key) {
    if (ctx == nullptr || key == nullptr) return kErrNull;
    start(ctx, encrypt, key, encrypt == 0);
    ctx->initialised = tag(kEcb);
    return 0;
  }

  static int32_t init_cbc(VkcModeContext* ctx, uint8_t encrypt, const uint8_t* key,
                          const uint8_t* iv, uint64_t m) {
    if (ctx == nullptr || key == nullptr || iv == nullptr) return kErrNull;
    if (int32_t rc = check_register(m); rc != 0) return rc;
    if (m % n != 0) return kErrMultiple;
    start(ctx, encrypt, key, encrypt == 0);
    memcpy(ctx->iv, iv, m);
    memcpy(ctx->reg, iv, m);
    ctx->m = m;
    ctx->initialised = tag(kCbc);
    return 0;
  }

  // OFB and CFB share their arguments and limits.
  static int32_t init_feedback(Mode mode, VkcModeContext* ctx, uint8_t encrypt, const uint8_t* key,
                               uint64_t s, const uint8_t* iv, uint64_t m) {
    if (ctx == nullptr || key == nullptr || iv == nullptr) return kErrNull;
    if (int32_t rc = check_register(m); rc != 0) return rc;
    if (int32_t rc = check_segment(s); rc != 0) return rc;
    if (m % n != 0) return kErrMultiple;
    start(ctx, encrypt, key, false);
    memcpy(ctx->iv, iv, m);
    memcpy(ctx->reg, iv, m);
    ctx->m = m;
    ctx->s = s;
    ctx->initialised = tag(mode);
    return 0;
  }

  static int32_t init_ctr(VkcModeContext* ctx, uint8_t encrypt, const uint8_t* key, uint64_t s,
                          const uint8_t* iv) {
    if (ctx == nullptr || key == nullptr || iv == nullptr) return kErrNull;
    if (int32_t rc = check_segment(s); rc != 0) return rc;
    start(ctx, encrypt, key, false);
    memcpy(ctx->counter, iv, n / 2);  // the rest of the counter block stays zero
    ctx->s = s;
    ctx->initialised = tag(kCtr);
    return 0;
  }

  static int32_t init_mac(VkcModeContext* ctx, const uint8_t* key, uint64_t s) {
    if (ctx == nullptr || key == nullptr) return kErrNull;
    if (int32_t rc = check_segment(s); rc != 0) return rc;
    start(ctx, 1, key, false);
    ctx->s = s;
    ctx->b_n[n - 1] = C::kBn;
    const uint8_t zero[n] = {};
    C::encrypt(ctx, zero, ctx->l);
    VkcMacSubkey(ctx->l, ctx->b_n, ctx->k1, n);
    VkcMacSubkey(ctx->k1, ctx->b_n, ctx->k2, n);
    ctx->initialised = tag(kMac);
    return 0;
  }

  // ---- updates -----------------------------------------------------------

  static int32_t check_update(const VkcModeContext* ctx, const uint8_t* in, const uint8_t* out,
                              uint64_t len, Mode mode) {
    if (ctx == nullptr || in == nullptr || out == nullptr) return kErrNull;
    if (ctx->initialised != tag(mode)) return kErrNotInitialised;
    if (len == 0) return kErrRange;
    if ((mode == kEcb || mode == kCbc) && len % n != 0) return kErrMultiple;
    return 0;
  }

  // R = LSB_{m-k}(R) || data[0..k).
  static void shift_register(VkcModeContext* ctx, const uint8_t* data, uint64_t k) {
    VkcPackBlock(ctx->scratch, ctx->reg + k, ctx->m - k, data, ctx->m);
    memcpy(ctx->reg, ctx->scratch, ctx->m);
  }

  static int32_t ecb(VkcModeContext* ctx, const uint8_t* in, uint8_t* out, uint64_t len) {
    if (int32_t rc = check_update(ctx, in, out, len, kEcb); rc != 0) return rc;
    for (uint64_t off = 0; off < len; off += n) {
      if (ctx->encrypt) {
        C::encrypt(ctx, in + off, out + off);
      } else {
        C::decrypt(ctx, in + off, out + off);
      }
    }
    return 0;
  }

  // The register carries over from one call to the next. Each ciphertext
  // block is kept before the output is written, so out may be in.
  static int32_t cbc(VkcModeContext* ctx, const uint8_t* in, uint8_t* out, uint64_t len) {
    if (int32_t rc = check_update(ctx, in, out, len, kCbc); rc != 0) return rc;
    uint8_t cipher[n];
    uint8_t work[n];
    for (uint64_t off = 0; off < len; off += n) {
      if (ctx->encrypt) {
        xor_bytes(in + off, ctx->reg, work, n);
        C::encrypt(ctx, work, cipher);
        memcpy(out + off, cipher, n);
      } else {
        memcpy(cipher, in + off, n);
        C::decrypt(ctx, cipher, work);
        xor_bytes(work, ctx->reg, out + off, n);
      }
      shift_register(ctx, cipher, n);
    }
    return 0;
  }

  static int32_t ofb(VkcModeContext* ctx, const uint8_t* in, uint8_t* out, uint64_t len) {
    if (int32_t rc = check_update(ctx, in, out, len, kOfb); rc != 0) return rc;
    while (len > 0) {
      if (ctx->position == 0) C::encrypt(ctx, ctx->reg, ctx->gamma);
      const uint64_t left = ctx->s - ctx->position;
      const uint64_t take = len < left ? len : left;
      xor_bytes(in, ctx->gamma + ctx->position, out, take);
      in += take;
      out += take;
      len -= take;
      ctx->position += take;
      if (ctx->position == ctx->s) {
        shift_register(ctx, ctx->gamma, n);
        ctx->position = 0;
      }
    }
    return 0;
  }

  static int32_t cfb(VkcModeContext* ctx, const uint8_t* in, uint8_t* out, uint64_t len) {
    if (int32_t rc = check_update(ctx, in, out, len, kCfb); rc != 0) return rc;
    for (uint64_t i = 0; i < len; ++i) {
      if (ctx->position == 0) C::encrypt(ctx, ctx->reg, ctx->gamma);
      const uint8_t x = in[i];  // read before out[i] is written: in may be out
      const uint8_t y = x ^ ctx->gamma[ctx->position];
      ctx->segment[ctx->position] = ctx->encrypt ? y : x;
      out[i] = y;
      if (++ctx->position == ctx->s) {
        shift_register(ctx, ctx->segment, ctx->s);
        ctx->position = 0;
      }
    }
    return 0;
  }

  static int32_t ctr(VkcModeContext* ctx, const uint8_t* in, uint8_t* out, uint64_t len) {
    if (int32_t rc = check_update(ctx, in, out, len, kCtr); rc != 0) return rc;
    while (len > 0) {
      if (ctx->position == 0) C::encrypt(ctx, ctx->counter, ctx->gamma);
      const uint64_t left = ctx->s - ctx->position;
      const uint64_t take = len < left ? len : left;
      xor_bytes(in, ctx->gamma + ctx->position, out, take);
      in += take;
      out += take;
      len -= take;
      ctx->position += take;
      if (ctx->position == ctx->s) {
        VkcIncrementModulo(ctx->counter, n);
        ctx->position = 0;
      }
    }
    return 0;
  }

  // The last 1..n bytes stay held until more data shows they are not the
  // last block of the message.
  static int32_t mac_update(VkcModeContext* ctx, const uint8_t* data, uint64_t len) {
    if (ctx == nullptr) return kErrNull;
    if (ctx->initialised != tag(kMac)) return kErrNotInitialised;
    if (len == 0) return 0;
    if (data == nullptr) return kErrNull;
    while (len > 0) {
      if (ctx->held_len == n) {
        xor_bytes(ctx->held, ctx->c, ctx->c, n);
        C::encrypt(ctx, ctx->c, ctx->c);
        ctx->held_len = 0;
      }
      const uint64_t room = n - ctx->held_len;
      const uint64_t take = len < room ? len : room;
      memcpy(ctx->held + ctx->held_len, data, take);
      ctx->held_len += take;
      data += take;
      len -= take;
    }
    return 0;
  }

  static int32_t mac_final(const VkcModeContext* ctx, uint8_t* tag_out) {
    if (ctx == nullptr || tag_out == nullptr) return kErrNull;
    if (ctx->initialised != tag(kMac)) return kErrNotInitialised;
    uint8_t last[n] = {};
    memcpy(last, ctx->held, ctx->held_len);
    const uint8_t* k = ctx->k1;
    if (ctx->held_len < n) {
      vkc_padd(last, ctx->held_len, n);
      k = ctx->k2;
    }
    xor_bytes(last, ctx->c, last, n);
    xor_bytes(last, k, last, n);
    C::encrypt(ctx, last, last);
    memcpy(tag_out, last, ctx->s);
    return 0;
  }
};

}  // namespace vkc::modes

#endif
