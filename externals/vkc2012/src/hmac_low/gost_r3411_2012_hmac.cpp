#include "hmac_low/gost_r3411_2012_hmac.h"

#include <cstring>

#include "hmac_low/secure_buffer.h"
#include "vkc_log.h"

namespace {

using vkc::hmac_low::wipe;
using vkc::hmac_low::WipeOnExit;

constexpr uint32_t kBlockSize = 64;

// K0: a key of at most one block is copied and zero-padded; a longer one is
// replaced by its hash of the HMAC's own length.
int32_t make_key_block(uint32_t hmac_len, const uint8_t* key, uint32_t key_len, uint8_t* k0) {
  memset(k0, 0, kBlockSize);
  if (key_len > kBlockSize) return GOSTR3411_2012_Transform(hmac_len, key, key_len, k0);
  if (key_len != 0) memcpy(k0, key, key_len);
  return 0;
}

void xor_pad(const uint8_t* k0, uint8_t pad, uint8_t* out) {
  for (uint32_t i = 0; i < kBlockSize; ++i) out[i] = k0[i] ^ pad;
}

bool key_missing(const uint8_t* key, uint32_t key_len) { return key == nullptr && key_len != 0; }

// The sized wrappers accept only a context of their own length.
int32_t check_sized(const Gost3411_2012HmacContext* ctx, int32_t hmac_len, const char* file,
                    int line, const char* func) {
  if (ctx == nullptr) {
    VKC_LOG("%s:%d %s. NULL context", file, line, func);
    return -1;
  }
  if (ctx->hash.digest_size != hmac_len) {
    VKC_LOG("%s:%d %s. Invalid digest size in context: %d", file, line, func,
            ctx->hash.digest_size);
    return -1;
  }
  return 0;
}

}  // namespace

extern "C" {

int32_t GOSTR3411_2012_HMAC(uint32_t hmac_len, const uint8_t* data, uint32_t data_len,
                            const uint8_t* key, uint32_t key_len, uint8_t* hmac) {
  if (hmac_len != 32 && hmac_len != 64) {
    VKC_LOG("%s:%d %s. Invalid hmac_len %d", __FILE__, __LINE__, __func__,
            static_cast<int>(hmac_len));
    return -1;
  }
  if (data == nullptr && data_len != 0) {
    VKC_LOG("%s:%d %s. NULL data for data_len %d", __FILE__, __LINE__, __func__,
            static_cast<int>(data_len));
    return -1;
  }
  if (hmac == nullptr) {
    VKC_LOG("%s:%d %s. NULL HMAC pointer", __FILE__, __LINE__, __func__);
    return -1;
  }
  if (key_missing(key, key_len)) {
    VKC_LOG("%s:%d %s. NULL key for key_len %d", __FILE__, __LINE__, __func__,
            static_cast<int>(key_len));
    return -1;
  }

  struct Work {
    uint8_t k0[kBlockSize];
    uint8_t pad[kBlockSize];
    uint8_t digest[64];
    Gost3411_2012Context hash;
  } w;
  WipeOnExit<Work> wipe_work(w);

  int32_t rc = make_key_block(hmac_len, key, key_len, w.k0);
  if (rc != 0) {
    VKC_LOG("%s:%d %s. GOSTR3411_2012_Transform failed", __FILE__, __LINE__, __func__);
    return rc;
  }

  xor_pad(w.k0, 0x36, w.pad);
  if ((rc = GOSTR3411_2012_Init(&w.hash, hmac_len)) != 0) {
    VKC_LOG("GOSTR3411_2012_Init #2 failed, rc = 0x%x", static_cast<unsigned>(rc));
    return rc;
  }
  if ((rc = GOSTR3411_2012_Update(&w.hash, w.pad, kBlockSize)) != 0) {
    VKC_LOG("GOSTR3411_2012_Update #2 failed, rc = 0x%x", static_cast<unsigned>(rc));
    return rc;
  }
  if ((rc = GOSTR3411_2012_Update(&w.hash, data, data_len)) != 0) {
    VKC_LOG("GOSTR3411_2012_Update #3 failed, rc = 0x%x", static_cast<unsigned>(rc));
    return rc;
  }
  if ((rc = GOSTR3411_2012_Final(&w.hash, w.digest)) != 0) {
    VKC_LOG("GOSTR3411_2012_Final #2 failed, rc = 0x%x", static_cast<unsigned>(rc));
    return rc;
  }

  xor_pad(w.k0, 0x5c, w.pad);
  if ((rc = GOSTR3411_2012_Init(&w.hash, hmac_len)) != 0) {
    VKC_LOG("GOSTR3411_2012_Init #3 failed, rc = 0x%x", static_cast<unsigned>(rc));
    return rc;
  }
  if ((rc = GOSTR3411_2012_Update(&w.hash, w.pad, kBlockSize)) != 0) {
    VKC_LOG("GOSTR3411_2012_Update #4 failed, rc = 0x%x", static_cast<unsigned>(rc));
    return rc;
  }
  if ((rc = GOSTR3411_2012_Update(&w.hash, w.digest, hmac_len)) != 0) {
    VKC_LOG("GOSTR3411_2012_Update #5 failed, rc = 0x%x", static_cast<unsigned>(rc));
    return rc;
  }
  if ((rc = GOSTR3411_2012_Final(&w.hash, w.digest)) != 0) {
    VKC_LOG("GOSTR3411_2012_Final #3 failed, rc = 0x%x", static_cast<unsigned>(rc));
    return rc;
  }
  // Written last: the output may be the caller's key or data buffer.
  memcpy(hmac, w.digest, hmac_len);
  return 0;
}

int32_t GOSTR3411_2012_HMAC_256(const uint8_t* data, uint32_t data_len, const uint8_t* key,
                                uint32_t key_len, uint8_t* hmac) {
  return GOSTR3411_2012_HMAC(32, data, data_len, key, key_len, hmac);
}

int32_t GOSTR3411_2012_HMAC_512(const uint8_t* data, uint32_t data_len, const uint8_t* key,
                                uint32_t key_len, uint8_t* hmac) {
  return GOSTR3411_2012_HMAC(64, data, data_len, key, key_len, hmac);
}

int32_t GOSTR3411_2012_HMAC_Init(Gost3411_2012HmacContext* ctx, uint32_t hmac_len,
                                 const uint8_t* key, uint32_t key_len) {
  if (ctx == nullptr) {
    VKC_LOG("%s:%d %s. NULL context", __FILE__, __LINE__, __func__);
    return -1;
  }
  if (key_missing(key, key_len)) {
    VKC_LOG("%s:%d %s. NULL key for key_len %d", __FILE__, __LINE__, __func__,
            static_cast<int>(key_len));
    return -1;
  }
  uint8_t k0[kBlockSize];
  WipeOnExit<uint8_t[kBlockSize]> wipe_k0(k0);
  if (make_key_block(hmac_len, key, key_len, k0) != 0) {
    VKC_LOG("%s:%d %s. GOSTR3411_2012_Transform failed", __FILE__, __LINE__, __func__);
    return -3;
  }
  xor_pad(k0, 0x36, ctx->ipad);
  xor_pad(k0, 0x5c, ctx->opad);
  int32_t rc = GOSTR3411_2012_Init(&ctx->hash, hmac_len);
  if (rc != 0) {
    VKC_LOG("GOSTR3411_2012_Init #2 failed, rc = 0x%x", static_cast<unsigned>(rc));
    return rc;
  }
  if ((rc = GOSTR3411_2012_Update(&ctx->hash, ctx->ipad, kBlockSize)) != 0) {
    VKC_LOG("GOSTR3411_2012_Update #2 failed, rc = 0x%x", static_cast<unsigned>(rc));
    return rc;
  }
  return 0;
}

int32_t GOSTR3411_2012_HMAC_256_Init(Gost3411_2012HmacContext* ctx, const uint8_t* key,
                                     uint32_t key_len) {
  if (ctx == nullptr) {
    VKC_LOG("%s:%d %s. NULL context", __FILE__, __LINE__, __func__);
    return -1;
  }
  return GOSTR3411_2012_HMAC_Init(ctx, 32, key, key_len);
}

int32_t GOSTR3411_2012_HMAC_512_Init(Gost3411_2012HmacContext* ctx, const uint8_t* key,
                                     uint32_t key_len) {
  if (ctx == nullptr) {
    VKC_LOG("%s:%d %s. NULL context", __FILE__, __LINE__, __func__);
    return -1;
  }
  return GOSTR3411_2012_HMAC_Init(ctx, 64, key, key_len);
}

int32_t GOSTR3411_2012_HMAC_Reset(Gost3411_2012HmacContext* ctx) {
  if (ctx == nullptr) return -1;
  int32_t rc = GOSTR3411_2012_Init(&ctx->hash, static_cast<uint32_t>(ctx->hash.digest_size));
  if (rc != 0) {
    VKC_LOG("GOSTR3411_2012_Init failed, rc = 0x%x", static_cast<unsigned>(rc));
    return rc;
  }
  if ((rc = GOSTR3411_2012_Update(&ctx->hash, ctx->ipad, kBlockSize)) != 0) {
    VKC_LOG("GOSTR3411_2012_Update failed, rc = 0x%x", static_cast<unsigned>(rc));
    return rc;
  }
  return 0;
}

int32_t GOSTR3411_2012_HMAC_256_Reset(Gost3411_2012HmacContext* ctx) {
  const int32_t rc = check_sized(ctx, 32, __FILE__, __LINE__, __func__);
  return rc != 0 ? rc : GOSTR3411_2012_HMAC_Reset(ctx);
}

int32_t GOSTR3411_2012_HMAC_512_Reset(Gost3411_2012HmacContext* ctx) {
  const int32_t rc = check_sized(ctx, 64, __FILE__, __LINE__, __func__);
  return rc != 0 ? rc : GOSTR3411_2012_HMAC_Reset(ctx);
}

int32_t GOSTR3411_2012_HMAC_Update(Gost3411_2012HmacContext* ctx, const uint8_t* data,
                                   uint32_t data_len) {
  if (ctx == nullptr) {
    VKC_LOG("%s:%d %s. NULL context", __FILE__, __LINE__, __func__);
    return -1;
  }
  if (data == nullptr && data_len != 0) {
    VKC_LOG("%s:%d %s. NULL data for data_len %d", __FILE__, __LINE__, __func__,
            static_cast<int>(data_len));
    return -1;
  }
  const int32_t rc = GOSTR3411_2012_Update(&ctx->hash, data, data_len);
  if (rc != 0) VKC_LOG("GOSTR3411_2012_Update failed, rc = 0x%x", static_cast<unsigned>(rc));
  return rc;
}

int32_t GOSTR3411_2012_HMAC_256_Update(Gost3411_2012HmacContext* ctx, const uint8_t* data,
                                       uint32_t data_len) {
  const int32_t rc = check_sized(ctx, 32, __FILE__, __LINE__, __func__);
  return rc != 0 ? rc : GOSTR3411_2012_HMAC_Update(ctx, data, data_len);
}

int32_t GOSTR3411_2012_HMAC_512_Update(Gost3411_2012HmacContext* ctx, const uint8_t* data,
                                       uint32_t data_len) {
  const int32_t rc = check_sized(ctx, 64, __FILE__, __LINE__, __func__);
  return rc != 0 ? rc : GOSTR3411_2012_HMAC_Update(ctx, data, data_len);
}

int32_t GOSTR3411_2012_HMAC_Final(Gost3411_2012HmacContext* ctx, uint8_t* hmac) {
  if (ctx == nullptr) {
    VKC_LOG("%s:%d %s. NULL context", __FILE__, __LINE__, __func__);
    return -1;
  }
  if (hmac == nullptr) {
    VKC_LOG("%s:%d %s. NULL HMAC pointer", __FILE__, __LINE__, __func__);
    return -1;
  }
  const uint32_t hmac_len = static_cast<uint32_t>(ctx->hash.digest_size);
  int32_t rc = GOSTR3411_2012_Final(&ctx->hash, ctx->digest);
  if (rc != 0) {
    VKC_LOG("GOSTR3411_2012_Final failed, rc = 0x%x", static_cast<unsigned>(rc));
    return rc;
  }
  if ((rc = GOSTR3411_2012_Init(&ctx->hash, hmac_len)) != 0) {
    VKC_LOG("GOSTR3411_2012_Init failed, rc = 0x%x", static_cast<unsigned>(rc));
    return rc;
  }
  if ((rc = GOSTR3411_2012_Update(&ctx->hash, ctx->opad, kBlockSize)) != 0) {
    VKC_LOG("GOSTR3411_2012_Update #1 failed, rc = 0x%x", static_cast<unsigned>(rc));
    return rc;
  }
  if ((rc = GOSTR3411_2012_Update(&ctx->hash, ctx->digest, hmac_len)) != 0) {
    VKC_LOG("GOSTR3411_2012_Update #2 failed, rc = 0x%x", static_cast<unsigned>(rc));
    return rc;
  }
  if ((rc = GOSTR3411_2012_Final(&ctx->hash, ctx->digest)) != 0) {
    VKC_LOG("GOSTR3411_2012_Final failed, rc = 0x%x", static_cast<unsigned>(rc));
    return rc;
  }
  memcpy(hmac, ctx->digest, hmac_len);
  return 0;
}

int32_t GOSTR3411_2012_HMAC_256_Final(Gost3411_2012HmacContext* ctx, uint8_t* hmac) {
  const int32_t rc = check_sized(ctx, 32, __FILE__, __LINE__, __func__);
  return rc != 0 ? rc : GOSTR3411_2012_HMAC_Final(ctx, hmac);
}

int32_t GOSTR3411_2012_HMAC_512_Final(Gost3411_2012HmacContext* ctx, uint8_t* hmac) {
  const int32_t rc = check_sized(ctx, 64, __FILE__, __LINE__, __func__);
  return rc != 0 ? rc : GOSTR3411_2012_HMAC_Final(ctx, hmac);
}

}  // extern "C"
