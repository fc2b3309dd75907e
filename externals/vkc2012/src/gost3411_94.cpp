// GOST R 34.11-94: context, buffering, finalisation, parameter-set choice and
// one-shot functions.
#include "gost3411_94.h"

#include <string.h>

#include "gost28147_params.h"
#include "gost3411_94_step.h"
#include "vkc_log.h"

namespace {

bool oid_matches(const Gost3411_94ParamSet& p, const uint8_t* der, uint32_t len) {
  return p.oid_len == len && p.oid_der != nullptr && memcmp(p.oid_der, der, len) == 0;
}

}  // namespace

extern "C" {

int32_t GOSTR3411_94_Init_ex(Gost3411_94Context* ctx, const Gost28147ExpandedSbox* sbox) {
  if (ctx == nullptr || sbox == nullptr) {
    VKC_LOG("GOSTR3411_94_Init_ex: bad params");
    return GOSTR3411_94_ERR_PARAM;
  }
  memset(ctx, 0, sizeof(*ctx));
  memcpy(&ctx->sbox, sbox, sizeof(ctx->sbox));
  return 0;
}

int32_t GOSTR3411_94_Init_more_par(Gost3411_94Context* ctx, const uint8_t* oid_der,
                                   uint32_t oid_len, const Gost3411_94ParamSet* more,
                                   uint32_t more_count) {
  if (ctx == nullptr || oid_der == nullptr || oid_len == 0) {
    VKC_LOG("GOSTR3411_94_Init_more_par: bad params");
    return GOSTR3411_94_ERR_PARAM;
  }
  for (const Gost3411_94ParamSet& p : cp_gostr3411_94_par)
    if (oid_matches(p, oid_der, oid_len)) return GOSTR3411_94_Init_ex(ctx, p.sbox);
  if (more != nullptr) {
    for (uint32_t i = 0; i < more_count; ++i)
      if (oid_matches(more[i], oid_der, oid_len)) return GOSTR3411_94_Init_ex(ctx, more[i].sbox);
  }
  VKC_LOG("GOSTR3411_94_Init_more_par: unsupported OID");
  return GOSTR3411_94_ERR_OID;
}

int32_t GOSTR3411_94_Init(Gost3411_94Context* ctx, const uint8_t* oid_der, uint32_t oid_len) {
  return GOSTR3411_94_Init_more_par(ctx, oid_der, oid_len, nullptr, 0);
}

int32_t GOSTR3411_94_Update(Gost3411_94Context* ctx, const uint8_t* data, uint32_t length) {
  if (ctx == nullptr || data == nullptr || length == 0) {
    VKC_LOG("GOSTR3411_94_Update: bad params");
    return GOSTR3411_94_ERR_PARAM;
  }
  uint32_t p = 0;
  if (ctx->buffered < 32) {
    uint32_t n = 32 - ctx->buffered;
    if (n > length) n = length;
    memcpy(ctx->buffer + ctx->buffered, data, n);
    ctx->buffered += n;
    p = n;
    if (ctx->buffered < 32) return 0;
  }
  gost_r_3411_94_hash_bytes(ctx, ctx->h, ctx->sigma, ctx->len, ctx->buffer, 256);
  // A last full block waits in the buffer for more data or Final.
  for (; length - p > 32; p += 32)
    gost_r_3411_94_hash_bytes(ctx, ctx->h, ctx->sigma, ctx->len, data + p, 256);
  ctx->buffered = length - p;
  memcpy(ctx->buffer, data + p, ctx->buffered);
  return 0;
}

int32_t GOSTR3411_94_Final(Gost3411_94Context* ctx, uint8_t* digest) {
  if (ctx == nullptr || digest == nullptr) {
    VKC_LOG("GOSTR3411_94_Final: bad params");
    return GOSTR3411_94_ERR_PARAM;
  }
  uint32_t k = ctx->buffered;
  if (k > 0) {
    memset(ctx->buffer + k, 0, 32 - k);
    gost_r_3411_94_hash_bytes(ctx, ctx->h, ctx->sigma, ctx->len, ctx->buffer, 8 * k);
    ctx->buffered = 0;
  }
  gost_r_3411_94_compress(ctx->h, ctx->len, ctx);
  gost_r_3411_94_compress(ctx->h, ctx->sigma, ctx);
  for (int i = 0; i < 8; ++i) {
    uint32_t w = ctx->h[i];
    digest[4 * i] = static_cast<uint8_t>(w);
    digest[4 * i + 1] = static_cast<uint8_t>(w >> 8);
    digest[4 * i + 2] = static_cast<uint8_t>(w >> 16);
    digest[4 * i + 3] = static_cast<uint8_t>(w >> 24);
  }
  return 0;
}

int32_t GOSTR3411_94_Transform_more_par(const uint8_t* oid_der, uint32_t oid_len,
                                        const Gost3411_94ParamSet* more, uint32_t more_count,
                                        const uint8_t* data, uint32_t length, uint8_t* digest) {
  Gost3411_94Context ctx;
  int32_t rc = GOSTR3411_94_Init_more_par(&ctx, oid_der, oid_len, more, more_count);
  if (rc != 0) {
    VKC_LOG("GOSTR3411_94_Init_more_par failed, rc = 0x%x", static_cast<unsigned>(rc));
    return rc;
  }
  rc = GOSTR3411_94_Update(&ctx, data, length);
  if (rc != 0) {
    VKC_LOG("GOSTR3411_94_Update failed, rc = 0x%x", static_cast<unsigned>(rc));
    return rc;
  }
  rc = GOSTR3411_94_Final(&ctx, digest);
  if (rc != 0) VKC_LOG("GOSTR3411_94_Final failed, rc = 0x%x", static_cast<unsigned>(rc));
  return rc;
}

int32_t GOSTR3411_94_Transform(const uint8_t* oid_der, uint32_t oid_len, const uint8_t* data,
                               uint32_t length, uint8_t* digest) {
  return GOSTR3411_94_Transform_more_par(oid_der, oid_len, nullptr, 0, data, length, digest);
}

int32_t GOSTR3411_94_Transform_ex(const Gost28147ExpandedSbox* sbox, const uint8_t* data,
                                  uint32_t length, uint8_t* digest) {
  Gost3411_94Context ctx;
  int32_t rc = GOSTR3411_94_Init_ex(&ctx, sbox);
  if (rc != 0) {
    VKC_LOG("GOSTR3411_94_Init_ex failed, rc = 0x%x", static_cast<unsigned>(rc));
    return rc;
  }
  rc = GOSTR3411_94_Update(&ctx, data, length);
  if (rc != 0) {
    VKC_LOG("GOSTR3411_94_Update failed, rc = 0x%x", static_cast<unsigned>(rc));
    return rc;
  }
  rc = GOSTR3411_94_Final(&ctx, digest);
  if (rc != 0) VKC_LOG("GOSTR3411_94_Final failed, rc = 0x%x", static_cast<unsigned>(rc));
  return rc;
}

}  // extern "C"
