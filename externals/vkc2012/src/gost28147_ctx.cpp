// The GOST 28147-89 streaming context: Init, Update, Final, Reset and the
// per-mode steps behind Update.
#include <string.h>

#include <algorithm>

#include "gost28147.h"
#include "gost28147_bulk.h"
#include "gost28147_internal.h"
#include "gost28147_rounds.h"
#include "vkc_log.h"

using namespace vkc::gost28147;

namespace {

constexpr uint32_t kMeshBytes = 1024;

// Runs n whole blocks through fn(blocks_done, count), meshing the key before
// the block that follows every 1,024 processed bytes. Equivalent to calling
// GOST28147_89_make_key_meshing before each block, in larger runs.
template <typename Fn>
int32_t run_blocks(Gost28147Context* ctx, size_t n, Fn fn) {
  size_t done = 0;
  while (done < n) {
    size_t m = n - done;
    if (ctx->key_meshing == 1) {
      size_t room = ctx->mesh_count < kMeshBytes ? (kMeshBytes - ctx->mesh_count) / 8 : 0;
      if (room == 0) {
        int32_t rc = GOST28147_89_make_key_meshing(ctx);
        if (rc != 0) return rc;
        m = 1;
      } else {
        m = std::min(m, room);
        ctx->mesh_count += static_cast<uint32_t>(8 * m);
      }
    }
    fn(done, m);
    done += m;
  }
  return 0;
}

int32_t check_stream_args(const Gost28147Context* ctx, const GostBuffer* in,
                          const GostBuffer* out) {
  if (ctx == nullptr) return GOST28147_ERR_PARAM;
  if (!ctx->initialised) return GOST28147_ERR_UNINIT;
  if (in == nullptr || out == nullptr || in->data == nullptr || out->data == nullptr)
    return GOST28147_ERR_PARAM;
  if (in->length == 0 || in->length > out->length) return GOST28147_ERR_LENGTH;
  if (!sbox_marked(&ctx->sbox)) return GOST28147_ERR_SBOX;
  return 0;
}

void absorb_reset_first(Gost28147Context* ctx) {
  // A MAC without IV starts from a zero register: once, before the first
  // block of the message.
  if (ctx->flags & GOST28147_FLAG_FIRST) {
    ctx->mac[0] = 0;
    ctx->mac[1] = 0;
    ctx->flags &= static_cast<uint8_t>(~GOST28147_FLAG_FIRST);
  }
}

int32_t absorb(Gost28147Context* ctx, const uint8_t* p, size_t n) {
  if (n == 0) return 0;
  absorb_reset_first(ctx);
  return run_blocks(ctx, n, [&](size_t done, size_t m) {
    imito_blocks(&ctx->sbox, p + 8 * done, m, ctx->mac, ctx->key);
  });
}

bool overlaps(const uint8_t* a, size_t alen, const uint8_t* b, size_t blen) {
  auto ua = reinterpret_cast<uintptr_t>(a), ub = reinterpret_cast<uintptr_t>(b);
  return ua < ub + blen && ub < ua + alen;
}

// Whole blocks of the block path. When the output overlaps input that is
// still to be read (in-place use with bytes held from an earlier call puts
// the output a few bytes ahead of the input), the input goes through a
// bounce buffer that also keeps the bytes the output is about to cover.
int32_t block_path_run(Gost28147Context* ctx, const uint8_t* in, uint8_t* out, uint32_t len) {
  if (out == in || !overlaps(in, len, out, len)) {
    GostBuffer bi = {len, const_cast<uint8_t*>(in)};
    GostBuffer bo = {len, out};
    return GOST28147_89_context_engine(ctx, &bi, &bo);
  }
  // Distinct buffers that overlap otherwise are not supported, as with memcpy.
  const auto ahead = reinterpret_cast<uintptr_t>(out) > reinterpret_cast<uintptr_t>(in)
                         ? static_cast<uint32_t>(out - in)
                         : 0u;
  constexpr uint32_t kChunk = 1024;
  uint8_t bounce[kChunk + kChunk];
  uint32_t have = 0;  // input bytes from pos on already saved in bounce
  int32_t rc = 0;
  for (uint32_t pos = 0; pos < len && rc == 0;) {
    uint32_t m = std::min(len - pos, kChunk);
    uint32_t look = std::min(std::min(ahead, kChunk), len - pos - m);
    if (m + look > have) memcpy(bounce + have, in + pos + have, m + look - have);
    GostBuffer bi = {m, bounce};
    GostBuffer bo = {m, out + pos};
    rc = GOST28147_89_context_engine(ctx, &bi, &bo);
    memmove(bounce, bounce + m, look);
    have = look;
    pos += m;
  }
  explicit_bzero(bounce, sizeof(bounce));
  return rc;
}

int32_t block_path_update(Gost28147Context* ctx, const GostBuffer* in, GostBuffer* out) {
  // In 64 bits: a length near 2^32 must not wrap into a short total.
  const uint64_t total = uint64_t{ctx->buffered} + in->length;
  const uint64_t whole64 = total & ~uint64_t{7};
  if (out->data == nullptr) {
    if (whole64 > UINT32_MAX) return GOST28147_ERR_LENGTH;
    out->length = static_cast<uint32_t>(whole64);  // size query: nothing consumed
    return 0;
  }
  if (whole64 == 0) {
    memcpy(ctx->partial + ctx->buffered, in->data, in->length);
    ctx->buffered = static_cast<uint32_t>(total);
    out->length = 0;
    return 0;
  }
  if (whole64 > out->length) return GOST28147_ERR_LENGTH;
  const auto whole = static_cast<uint32_t>(whole64);
  // The bytes to hold back are saved first: in-place output may cover them.
  const auto held_len = static_cast<uint32_t>(total & 7u);
  uint8_t held[8];
  memcpy(held, in->data + (in->length - held_len), held_len);
  if (ctx->buffered > 0) {
    const uint32_t pos = 8 - ctx->buffered;
    memcpy(ctx->partial + ctx->buffered, in->data, pos);
    GostBuffer bi = {8, ctx->partial};
    // The first output block may cover input not read yet: go via a copy.
    uint8_t first[8];
    GostBuffer bo = {8, first};
    int32_t rc = GOST28147_89_context_engine(ctx, &bi, &bo);
    if (rc != 0) return rc;
    const uint32_t rest = whole - 8;
    if (rest > 0) {
      // The remaining input starts at pos < 8, its output at 8.
      rc = block_path_run(ctx, in->data + pos, out->data + 8, rest);
      if (rc != 0) return rc;
    }
    memcpy(out->data, first, 8);
    explicit_bzero(first, sizeof(first));
  } else {
    int32_t rc = block_path_run(ctx, in->data, out->data, whole);
    if (rc != 0) return rc;
  }
  ctx->buffered = held_len;
  memcpy(ctx->partial, held, held_len);
  explicit_bzero(held, sizeof(held));
  out->length = whole;
  return 0;
}

}  // namespace

extern "C" {

int32_t GOST28147_89_Init(Gost28147Context* ctx, uint8_t encrypt,
                          const Gost28147ExpandedSbox* sbox, uint32_t mode, uint32_t reserved1,
                          uint32_t key_meshing, uint32_t reserved2, const uint8_t* iv,
                          const uint8_t* key) {
  if (ctx == nullptr || sbox == nullptr || key == nullptr) {
    VKC_LOG("GOST28147_89_Init: bad params");
    return GOST28147_ERR_PARAM;
  }
  memset(ctx, 0, sizeof(*ctx));
  memcpy(&ctx->sbox, sbox, sizeof(ctx->sbox));
  ctx->encrypt = encrypt;
  ctx->mode = mode;
  ctx->reserved1 = reserved1;
  ctx->reserved2 = reserved2;
  ctx->key_meshing = key_meshing;
  ctx->flags = GOST28147_FLAG_FIRST;
  if (iv != nullptr) {
    uint32_t w[2] = {load_le32(iv), load_le32(iv + 4)};
    if (mode == GOST28147_MODE_IMITO) {
      // The MAC continues from the IV.
      ctx->mac[0] = w[0];
      ctx->mac[1] = w[1];
      ctx->flags = 0;
    } else {
      ctx->reg[0] = w[0];
      ctx->reg[1] = w[1];
    }
  }
  for (int i = 0; i < 8; ++i) ctx->key[i] = load_le32(key + 4 * i);
  ctx->initialised = 1;
  return 0;
}

int32_t GOST28147_89_context_engine(Gost28147Context* ctx, const GostBuffer* in,
                                    GostBuffer* out) {
  if (ctx == nullptr || in == nullptr || out == nullptr) return GOST28147_ERR_PARAM;
  if (in->length == 0) return 0;
  if (ctx->key_meshing != 1) {
    int32_t rc = vkc_crpt_crypto_engine(ctx->mode, &ctx->sbox, in, out, ctx->reg, ctx->key,
                                        ctx->encrypt, ctx->flags);
    if (rc == 0) ctx->flags = 0;
    return rc;
  }
  for (uint32_t pos = 0; pos < in->length;) {
    if (ctx->mesh_count >= kMeshBytes) {
      int32_t rc;
      if (ctx->mode == GOST28147_MODE_CBC_KEEP_IV) {
        uint32_t copy[2] = {ctx->reg[0], ctx->reg[1]};
        rc = GOST28147_89_crypto_pro_key_meshing_engine(&ctx->sbox, copy, ctx->key);
      } else {
        rc = GOST28147_89_crypto_pro_key_meshing_engine(&ctx->sbox, ctx->reg, ctx->key);
      }
      if (rc != 0) return rc;
      ctx->mesh_count = 0;
    }
    uint32_t chunk = std::min(in->length - pos, kMeshBytes - ctx->mesh_count);
    GostBuffer bi = {chunk, in->data + pos};
    GostBuffer bo = {chunk, out->data + pos};
    int32_t rc = vkc_crpt_crypto_engine(ctx->mode, &ctx->sbox, &bi, &bo, ctx->reg, ctx->key,
                                        ctx->encrypt, ctx->flags);
    if (rc != 0) return rc;
    ctx->mesh_count += chunk;
    ctx->flags = 0;
    pos += chunk;
  }
  out->length = in->length;
  return 0;
}

int32_t GOST28147_89_CFB_ctx(Gost28147Context* ctx, const GostBuffer* in, GostBuffer* out) {
  int32_t rc = check_stream_args(ctx, in, out);
  if (rc != 0) return rc;
  const uint8_t* ip = in->data;
  uint8_t* op = out->data;
  const uint32_t len = in->length;
  const bool enc = ctx->encrypt != 0;
  uint32_t pos = 0;
  if (ctx->buffered > 0) {
    // Unused gamma bytes of the last call; the partial block collects the
    // ciphertext that becomes the next feedback register.
    uint32_t n = std::min(len, ctx->buffered);
    for (uint32_t i = 0; i < n; ++i) {
      uint32_t j = 8 - ctx->buffered + i;
      uint8_t x = ip[i];
      uint8_t o = static_cast<uint8_t>(ctx->partial[j] ^ x);
      ctx->partial[j] = enc ? o : x;
      op[i] = o;
    }
    ctx->buffered -= n;
    pos = n;
    if (ctx->buffered > 0) {
      out->length = len;
      return 0;
    }
    ctx->reg[0] = load_le32(ctx->partial);
    ctx->reg[1] = load_le32(ctx->partial + 4);
  }
  size_t whole = (len - pos) / 8;
  rc = run_blocks(ctx, whole, [&](size_t done, size_t m) {
    cfb_blocks(&ctx->sbox, ip + pos + 8 * done, op + pos + 8 * done, m, ctx->reg, ctx->key, enc);
  });
  if (rc != 0) return rc;
  pos += static_cast<uint32_t>(8 * whole);
  uint32_t t = len - pos;
  if (t > 0) {
    rc = GOST28147_89_make_key_meshing(ctx);
    if (rc != 0) return rc;
    uint8_t tail[8] = {0};
    memcpy(tail, ip + pos, t);
    cfb_blocks(&ctx->sbox, tail, ctx->partial, 1, ctx->reg, ctx->key, enc);
    memcpy(op + pos, ctx->partial, t);
    if (!enc) memcpy(ctx->partial, tail, t);
    explicit_bzero(tail, sizeof(tail));
    ctx->buffered = 8 - t;
  }
  out->length = len;
  return 0;
}

int32_t GOST28147_89_CNT_ctx(Gost28147Context* ctx, const GostBuffer* in, GostBuffer* out) {
  int32_t rc = check_stream_args(ctx, in, out);
  if (rc != 0) return rc;
  if (ctx->flags & GOST28147_FLAG_FIRST) {
    encrypt_block(ctx->reg, ctx->reg, ctx->key, &ctx->sbox);  // N3, N4 = E_K(IV)
    ctx->flags = 0;
  }
  const uint8_t* ip = in->data;
  uint8_t* op = out->data;
  const uint32_t len = in->length;
  uint32_t pos = 0;
  if (ctx->buffered > 0) {
    uint32_t n = std::min(len, ctx->buffered);
    for (uint32_t i = 0; i < n; ++i)
      op[i] = static_cast<uint8_t>(ctx->partial[8 - ctx->buffered + i] ^ ip[i]);
    ctx->buffered -= n;
    pos = n;
    if (ctx->buffered > 0) {
      out->length = len;
      return 0;
    }
  }
  size_t whole = (len - pos) / 8;
  rc = run_blocks(ctx, whole, [&](size_t done, size_t m) {
    cnt_blocks(&ctx->sbox, ip + pos + 8 * done, op + pos + 8 * done, m, ctx->reg, ctx->key);
  });
  if (rc != 0) return rc;
  pos += static_cast<uint32_t>(8 * whole);
  uint32_t t = len - pos;
  if (t > 0) {
    rc = GOST28147_89_make_key_meshing(ctx);
    if (rc != 0) return rc;
    uint8_t tail[8] = {0};
    memcpy(tail, ip + pos, t);
    cnt_blocks(&ctx->sbox, tail, ctx->partial, 1, ctx->reg, ctx->key);
    memcpy(op + pos, ctx->partial, t);
    explicit_bzero(tail, sizeof(tail));
    ctx->buffered = 8 - t;
  }
  out->length = len;
  return 0;
}

int32_t GOST28147_89_IMITO_ctx(Gost28147Context* ctx, const GostBuffer* in) {
  if (ctx == nullptr) return GOST28147_ERR_PARAM;
  if (!ctx->initialised) return GOST28147_ERR_UNINIT;
  if (in == nullptr || in->data == nullptr) return GOST28147_ERR_PARAM;
  if (in->length == 0 && (ctx->flags & GOST28147_FLAG_LAST) == 0) return GOST28147_ERR_LENGTH;
  if (!sbox_marked(&ctx->sbox)) return GOST28147_ERR_SBOX;
  const uint32_t len = in->length;
  const uint64_t total = uint64_t{ctx->buffered} + len;  // no wrap near 2^32
  if (total < 8) {
    memcpy(ctx->partial + ctx->buffered, in->data, len);
    ctx->buffered = static_cast<uint32_t>(total);
    if (ctx->flags & GOST28147_FLAG_LAST) {
      memset(ctx->partial + total, 0, 8 - total);
      int32_t rc = absorb(ctx, ctx->partial, 1);
      if (rc != 0) return rc;
      ctx->buffered = 0;
    }
    return 0;
  }
  uint32_t pos = 0;
  if (ctx->buffered > 0) {
    uint8_t block[8];
    pos = 8 - ctx->buffered;
    memcpy(block, ctx->partial, ctx->buffered);
    memcpy(block + ctx->buffered, in->data, pos);
    int32_t rc = absorb(ctx, block, 1);
    explicit_bzero(block, sizeof(block));
    if (rc != 0) return rc;
  }
  uint32_t rest = len - pos;
  uint32_t t = rest % 8;
  int32_t rc = absorb(ctx, in->data + pos, rest / 8);
  if (rc != 0) return rc;
  memset(ctx->partial, 0, 8);
  memcpy(ctx->partial, in->data + (len - t), t);
  ctx->buffered = t;
  ctx->flags = 0;
  return 0;
}

int32_t GOST28147_89_Update(Gost28147Context* ctx, const GostBuffer* in, GostBuffer* out) {
  if (ctx == nullptr || in == nullptr) return GOST28147_ERR_PARAM;
  if ((out == nullptr && ctx->mode != GOST28147_MODE_IMITO) || in->data == nullptr)
    return GOST28147_ERR_PARAM;
  if (!ctx->initialised) return GOST28147_ERR_UNINIT;
  switch (ctx->mode) {
    case GOST28147_MODE_CFB:
      return GOST28147_89_CFB_ctx(ctx, in, out);
    case GOST28147_MODE_CNT:
      return GOST28147_89_CNT_ctx(ctx, in, out);
    case GOST28147_MODE_IMITO:
      return GOST28147_89_IMITO_ctx(ctx, in);
    default:
      return block_path_update(ctx, in, out);
  }
}

int32_t GOST28147_89_Final(Gost28147Context* ctx) {
  if (ctx == nullptr) {
    VKC_LOG("vkc_crpt_final: NULL context");
    return GOST28147_ERR_PARAM;
  }
  if (!ctx->initialised) {
    VKC_LOG("vkc_crpt_final: uninitialized context");
    return GOST28147_ERR_UNINIT;
  }
  if (ctx->mode == GOST28147_MODE_CFB || ctx->mode == GOST28147_MODE_CNT) {
    explicit_bzero(ctx->partial, sizeof(ctx->partial));  // unused gamma
    ctx->buffered = 0;
    ctx->initialised = 0;
    return 0;
  }
  if ((ctx->flags & GOST28147_FLAG_FIRST) && ctx->buffered == 0) return GOST28147_ERR_NO_DATA;
  if (ctx->mode == GOST28147_MODE_IMITO) {
    if (ctx->buffered > 0) {
      ctx->flags |= GOST28147_FLAG_LAST;
      GostBuffer empty = {0, ctx->partial};
      int32_t rc = GOST28147_89_IMITO_ctx(ctx, &empty);
      if (rc != 0) return rc;
    }
    uint8_t bytes[8];
    store_le32(bytes, ctx->mac[0]);
    store_le32(bytes + 4, ctx->mac[1]);
    memcpy(ctx->mac, bytes, 8);
    ctx->initialised = 0;
    return 0;
  }
  if (ctx->buffered == 0) return 0;
  ctx->flags = GOST28147_FLAG_LAST;
  uint8_t scratch[8];
  GostBuffer bi = {ctx->buffered, ctx->partial};
  GostBuffer bo = {sizeof(scratch), scratch};
  int32_t rc = GOST28147_89_context_engine(ctx, &bi, &bo);
  explicit_bzero(scratch, sizeof(scratch));
  ctx->initialised = 0;
  return rc;
}

int32_t GOST28147_89_Reset(Gost28147Context* ctx) {
  if (ctx == nullptr) {
    VKC_LOG("GOST28147_89_Reset: NULL context");
    return GOST28147_ERR_PARAM;
  }
  memset(ctx->partial, 0, sizeof(ctx->partial));
  ctx->buffered = 0;
  ctx->flags = GOST28147_FLAG_FIRST;
  ctx->initialised = 1;
  return 0;
}

}  // extern "C"
