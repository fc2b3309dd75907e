#include "hash_low/gost_r3411_2012.h"

#include <bit>
#include <cstring>

#include "hash_low/streebog_tables.h"
#include "vkc_log.h"

static_assert(std::endian::native == std::endian::little,
              "the hash state is kept in host words of a little-endian machine");

namespace {

using vkc::streebog::C16;
using vkc::streebog::streebog_table;

constexpr uint64_t kZero512[8] = {0, 0, 0, 0, 0, 0, 0, 0};

inline uint64_t load_le64(const uint8_t* p) {
  uint64_t v;
  memcpy(&v, p, 8);  // little-endian host (see the assertion above)
  return v;
}

inline void store_le64(uint64_t v, uint8_t* p) { memcpy(p, &v, 8); }

// r = (a + b) mod 2^512; r may be a.
inline void add512(const uint64_t* a, const uint64_t* b, uint64_t* r) {
  unsigned long long carry = 0;
  for (int i = 0; i < 8; ++i) {
    unsigned long long s;
    unsigned long long c1 = __builtin_uaddll_overflow(a[i], b[i], &s);
    unsigned long long c2 = __builtin_uaddll_overflow(s, carry, &s);
    r[i] = s;
    carry = c1 | c2;
  }
}

// N = N + bits mod 2^512.
inline void add_bits(uint64_t* n, uint64_t bits) {
  unsigned long long s;
  unsigned long long carry = __builtin_uaddll_overflow(n[0], bits, &s);
  n[0] = s;
  for (int i = 1; i < 8 && carry != 0; ++i) {
    n[i] += 1;
    carry = (n[i] == 0);
  }
}

#define VKC_LPS_WORD(i)                                       \
  (streebog_table[0][static_cast<uint8_t>(x0 >> (8 * (i)))] ^ \
   streebog_table[1][static_cast<uint8_t>(x1 >> (8 * (i)))] ^ \
   streebog_table[2][static_cast<uint8_t>(x2 >> (8 * (i)))] ^ \
   streebog_table[3][static_cast<uint8_t>(x3 >> (8 * (i)))] ^ \
   streebog_table[4][static_cast<uint8_t>(x4 >> (8 * (i)))] ^ \
   streebog_table[5][static_cast<uint8_t>(x5 >> (8 * (i)))] ^ \
   streebog_table[6][static_cast<uint8_t>(x6 >> (8 * (i)))] ^ \
   streebog_table[7][static_cast<uint8_t>(x7 >> (8 * (i)))])

// r = LPS(a XOR b); r may be a or b.
inline __attribute__((always_inline)) void lpsx(const uint64_t* a, const uint64_t* b, uint64_t* r) {
  const uint64_t x0 = a[0] ^ b[0], x1 = a[1] ^ b[1], x2 = a[2] ^ b[2], x3 = a[3] ^ b[3];
  const uint64_t x4 = a[4] ^ b[4], x5 = a[5] ^ b[5], x6 = a[6] ^ b[6], x7 = a[7] ^ b[7];
  r[0] = VKC_LPS_WORD(0);
  r[1] = VKC_LPS_WORD(1);
  r[2] = VKC_LPS_WORD(2);
  r[3] = VKC_LPS_WORD(3);
  r[4] = VKC_LPS_WORD(4);
  r[5] = VKC_LPS_WORD(5);
  r[6] = VKC_LPS_WORD(6);
  r[7] = VKC_LPS_WORD(7);
}

#undef VKC_LPS_WORD

// h = g_N(h, m) = E(LPS(h xor N), m) xor h xor m; the keys of E are derived
// round by round from C16. The LPS steps are unrolled, the rounds are not:
// fully unrolled the function no longer fits the decoded-instruction cache
// and runs about a fifth slower.
void g(uint64_t* h, const uint64_t* m, const uint64_t* n) {
  uint64_t key[8];
  uint64_t state[8];
  lpsx(h, n, key);
  lpsx(key, m, state);
#pragma GCC unroll 1
  for (int r = 0; r < 11; ++r) {
    lpsx(key, C16[r], key);
    lpsx(state, key, state);
  }
  lpsx(key, C16[11], key);
  for (int i = 0; i < 8; ++i) h[i] ^= state[i] ^ key[i] ^ m[i];
}

// One block step: compress the 64 bytes at block, count nbytes message bytes.
void transform(Gost3411_2012Context* ctx, const uint8_t* block, uint32_t nbytes) {
  uint64_t m[8];
  for (int i = 0; i < 8; ++i) m[i] = load_le64(block + 8 * i);
  g(ctx->h, m, ctx->N);
  add_bits(ctx->N, 8ULL * nbytes);
  add512(ctx->Sigma, m, ctx->Sigma);
}

}  // namespace

extern "C" {

int32_t GOSTR3411_2012_Init(Gost3411_2012Context* ctx, uint32_t digest_size) {
  if (ctx == nullptr) {
    VKC_LOG("%s:%d %s. NULL context pointer", __FILE__, __LINE__, __func__);
    return -1;
  }
  if (digest_size != 32 && digest_size != 64) {
    VKC_LOG("%s:%d %s. Illegal digest size %d", __FILE__, __LINE__, __func__,
            static_cast<int>(digest_size));
    return -1;
  }
  memset(ctx, 0, sizeof(*ctx));
  ctx->digest_size = static_cast<int32_t>(digest_size);
  if (digest_size == 32) memset(ctx->h, 0x01, sizeof(ctx->h));
  return 0;
}

int32_t GOSTR3411_2012_256_Init(Gost3411_2012Context* ctx) { return GOSTR3411_2012_Init(ctx, 32); }

int32_t GOSTR3411_2012_512_Init(Gost3411_2012Context* ctx) { return GOSTR3411_2012_Init(ctx, 64); }

int32_t GOSTR3411_2012_Update(Gost3411_2012Context* ctx, const uint8_t* data, uint32_t data_len) {
  if (ctx == nullptr) {
    VKC_LOG("%s:%d %s. NULL context pointer", __FILE__, __LINE__, __func__);
    return -1;
  }
  if (data_len == 0) return 0;
  if (data == nullptr) {
    VKC_LOG("%s:%d %s. NULL data pointer for data_len > 0", __FILE__, __LINE__, __func__);
    return -1;
  }
  // Counted in 64 bits: buffered bytes plus a length near 2^32 must not wrap.
  uint64_t left = data_len;
  if (ctx->buffered + left < 64) {
    memcpy(ctx->buffer + ctx->buffered, data, left);
    ctx->buffered += static_cast<uint32_t>(left);
    return 0;
  }
  if (ctx->buffered != 0) {
    const uint32_t take = 64 - ctx->buffered;
    memcpy(ctx->buffer + ctx->buffered, data, take);
    transform(ctx, ctx->buffer, 64);
    memset(ctx->buffer, 0, sizeof(ctx->buffer));
    ctx->buffered = 0;
    data += take;
    left -= take;
  }
  // Every complete block is compressed at once, also the last one: Final
  // always pads and compresses one more block.
  for (; left >= 64; left -= 64, data += 64) transform(ctx, data, 64);
  memcpy(ctx->buffer, data, left);
  ctx->buffered = static_cast<uint32_t>(left);
  return 0;
}

int32_t GOSTR3411_2012_256_Update(Gost3411_2012Context* ctx, const uint8_t* data,
                                  uint32_t data_len) {
  if (ctx == nullptr) {
    VKC_LOG("%s:%d %s. NULL context pointer", __FILE__, __LINE__, __func__);
    return -1;
  }
  if (ctx->digest_size != 32) {
    VKC_LOG("%s:%d %s. Illegal digest size in context: %d", __FILE__, __LINE__, __func__,
            ctx->digest_size);
    return -2;
  }
  return GOSTR3411_2012_Update(ctx, data, data_len);
}

int32_t GOSTR3411_2012_512_Update(Gost3411_2012Context* ctx, const uint8_t* data,
                                  uint32_t data_len) {
  if (ctx == nullptr) {
    VKC_LOG("%s:%d %s. NULL context pointer", __FILE__, __LINE__, __func__);
    return -1;
  }
  if (ctx->digest_size != 64) {
    VKC_LOG("%s:%d %s. Illegal digest size in context: %d", __FILE__, __LINE__, __func__,
            ctx->digest_size);
    return -2;
  }
  return GOSTR3411_2012_Update(ctx, data, data_len);
}

int32_t GOSTR3411_2012_Final(Gost3411_2012Context* ctx, uint8_t* digest) {
  if (ctx == nullptr) {
    VKC_LOG("%s:%d %s. NULL context pointer", __FILE__, __LINE__, __func__);
    return -1;
  }
  if (digest == nullptr) {
    VKC_LOG("%s:%d %s. NULL digest pointer", __FILE__, __LINE__, __func__);
    return -1;
  }
  const uint32_t k = ctx->buffered;
  ctx->buffer[k] = 0x01;
  memset(ctx->buffer + k + 1, 0, 63 - k);
  transform(ctx, ctx->buffer, k);
  g(ctx->h, ctx->N, kZero512);
  g(ctx->h, ctx->Sigma, kZero512);
  if (ctx->digest_size == 64) {
    for (int i = 0; i < 8; ++i) store_le64(ctx->h[i], digest + 8 * i);
  } else {
    // The 256-bit digest is the most significant half of h.
    for (int i = 0; i < 4; ++i) store_le64(ctx->h[4 + i], digest + 8 * i);
  }
  return 0;
}

int32_t GOSTR3411_2012_256_Final(Gost3411_2012Context* ctx, uint8_t* digest) {
  if (ctx == nullptr) {
    VKC_LOG("%s:%d %s. NULL context pointer", __FILE__, __LINE__, __func__);
    return -1;
  }
  if (ctx->digest_size != 32) {
    VKC_LOG("%s:%d %s. Illegal digest size in context: %d", __FILE__, __LINE__, __func__,
            ctx->digest_size);
    return -2;
  }
  return GOSTR3411_2012_Final(ctx, digest);
}

int32_t GOSTR3411_2012_512_Final(Gost3411_2012Context* ctx, uint8_t* digest) {
  if (ctx == nullptr) {
    VKC_LOG("%s:%d %s. NULL context pointer", __FILE__, __LINE__, __func__);
    return -1;
  }
  if (ctx->digest_size != 64) {
    VKC_LOG("%s:%d %s. Illegal digest size in context: %d", __FILE__, __LINE__, __func__,
            ctx->digest_size);
    return -2;
  }
  return GOSTR3411_2012_Final(ctx, digest);
}

int32_t GOSTR3411_2012_Transform(uint32_t digest_size, const uint8_t* data, uint32_t data_len,
                                 uint8_t* digest) {
  if (digest_size != 32 && digest_size != 64) {
    VKC_LOG("%s:%d %s. Invalid digest size %d", __FILE__, __LINE__, __func__,
            static_cast<int>(digest_size));
    return -1;
  }
  if (data == nullptr && data_len > 0) {
    VKC_LOG("%s:%d %s. NULL data pointer for data_len > 0", __FILE__, __LINE__, __func__);
    return -1;
  }
  if (digest == nullptr) {
    VKC_LOG("%s:%d %s. NULL digest pointer", __FILE__, __LINE__, __func__);
    return -1;
  }
  Gost3411_2012Context ctx;
  int32_t rc = GOSTR3411_2012_Init(&ctx, digest_size);
  if (rc != 0) {
    VKC_LOG("%s:%d %s. GOSTR3411_2012_Init failed: 0x%x", __FILE__, __LINE__, __func__,
            static_cast<unsigned>(rc));
  } else if ((rc = GOSTR3411_2012_Update(&ctx, data, data_len)) != 0) {
    VKC_LOG("GOSTR3411_2012_Update failed: 0x%x", static_cast<unsigned>(rc));
  } else if ((rc = GOSTR3411_2012_Final(&ctx, digest)) != 0) {
    VKC_LOG("GOSTR3411_2012_Final failed: 0x%x", static_cast<unsigned>(rc));
  }
  // The one-shot hash runs on secrets too (the shared point of a key
  // agreement): its own state does not outlive the call.
  explicit_bzero(&ctx, sizeof(ctx));
  return rc;
}

int32_t GOSTR3411_2012_256_Transform(const uint8_t* data, uint32_t data_len, uint8_t* digest) {
  return GOSTR3411_2012_Transform(32, data, data_len, digest);
}

int32_t GOSTR3411_2012_512_Transform(const uint8_t* data, uint32_t data_len, uint8_t* digest) {
  return GOSTR3411_2012_Transform(64, data, data_len, digest);
}

}  // extern "C"
