// The VPRNG generator: keystream, keying, rekeying, start-up and output.
#include "engines/rand/vprng.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/time.h>
#include <unistd.h>

#include "engines/rand/vprng_entropy.h"
#include "engines/rand/vprng_stat.h"

namespace {

constexpr uint32_t kFirstCall = 1;
constexpr uint32_t kLaterCall = 3;
constexpr int kSeedTries = 3;
constexpr int kSelfTestRounds = 3;

uint32_t le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// One gamma step of the context: the keystream goes to out, the budget
// shrinks by len (not below 0), and the counter is encrypted once only.
int vprng_rng_gamm(VPRNG_CTX* ctx, uint8_t* out, uint32_t len) {
  int rc = VPRNG_Gost_Gamm_rng_m(out, len, ctx->sbox, ctx->counter, ctx->key, ctx->first_call);
  if (rc != 0) return rc;
  ctx->bytes_left = len > ctx->bytes_left ? 0 : ctx->bytes_left - len;
  if (ctx->first_call == kFirstCall) ctx->first_call = kLaterCall;
  return 0;
}

// Keying: the 40 bytes of seed material are XORed with 40 bytes of system
// entropy; bytes 0-7 become the counter, bytes 8-39 the key. The seed alone
// (all zero at the first start, or keystream of the previous key) would make
// the key predictable. Nothing changes when the entropy source fails.
int vprng_rng_key_from_seed(VPRNG_CTX* ctx, const uint8_t* seed) {
  uint8_t mix[kVprngSeedLen];
  if (vprng_entropy(mix, sizeof(mix)) != 0) {
    explicit_bzero(mix, sizeof(mix));
    return VPRNG_ERR_ENTROPY;
  }
  for (size_t i = 0; i < sizeof(mix); ++i) mix[i] ^= seed[i];
  ctx->counter[0] = le32(mix);
  ctx->counter[1] = le32(mix + 4);
  memcpy(ctx->key, mix + 8, sizeof(ctx->key));
  ctx->pid = getpid();
  explicit_bzero(mix, sizeof(mix));
  return 0;
}

// 40 keystream bytes whose key part (bytes 8-39) passes the little test.
int vprng_rng_make_new_seed(VPRNG_CTX* ctx, uint8_t* out) {
  uint8_t seed[kVprngSeedLen];
  int rc = VPRNG_ERR_NO_SEED;
  for (int i = 0; i < kSeedTries; ++i) {
    int step = vprng_rng_gamm(ctx, seed, sizeof(seed));
    if (step != 0) {
      rc = step;
      break;
    }
    if (make_little_test(seed + 8, 32) == 0) {
      memcpy(out, seed, sizeof(seed));
      rc = 0;
      break;
    }
  }
  explicit_bzero(seed, sizeof(seed));
  return rc;
}

// Rekey from the next seed. When no next seed can be drawn under the new
// key, the budget is emptied, so that the next request rekeys again instead
// of serving under a key whose successor is unknown.
int vprng_rng_change(VPRNG_CTX* ctx) {
  int rc = vprng_rng_key_from_seed(ctx, ctx->next_seed);
  if (rc != 0) return rc;
  ctx->bytes_left = kVprngRekeyBytes;
  ctx->first_call = kFirstCall;
  rc = vprng_rng_make_new_seed(ctx, ctx->next_seed);
  if (rc != 0) ctx->bytes_left = 0;
  return rc;
}

struct TestBuffer {
  uint8_t* p = static_cast<uint8_t*>(malloc(kVprngSelfTestBytes));
  ~TestBuffer() {
    if (p != nullptr) {
      explicit_bzero(p, kVprngSelfTestBytes);
      free(p);
    }
  }
};

}  // namespace

int VPRNG_Gost_Gamm_rng_m(uint8_t* out, uint32_t len, const Gost28147ExpandedSbox* sbox,
                          uint32_t* counter, const uint8_t* key, uint32_t first_call) {
  if (out == nullptr || sbox == nullptr || counter == nullptr || key == nullptr || len == 0)
    return VPRNG_ERR_PARAM;
  if (first_call == kFirstCall && len % 8 != 0) return VPRNG_ERR_TAIL;
  uint32_t words[8];
  for (int i = 0; i < 8; ++i) words[i] = le32(key + 4 * i);
  // The core's gamma XORs its input with the keystream: over zeros it
  // leaves the keystream itself.
  memset(out, 0, len);
  GostBuffer buf = {len, out};
  uint8_t flags = GOST28147_FLAG_LAST;
  if (first_call == kFirstCall) flags |= GOST28147_FLAG_FIRST;
  int rc = VKC_Gost_Gamm_m(sbox, &buf, &buf, counter, words, flags);
  explicit_bzero(words, sizeof(words));
  return rc;
}

int vprng_rng_start(VPRNG_CTX* ctx, const Gost28147ExpandedSbox* sbox, const uint8_t* seed) {
  if (ctx == nullptr || sbox == nullptr || seed == nullptr) return VPRNG_ERR_PARAM;
  explicit_bzero(ctx, sizeof(*ctx));
  ctx->sbox = sbox;
  ctx->bytes_left = kVprngRekeyBytes;
  ctx->first_call = kFirstCall;
  int rc = vprng_rng_key_from_seed(ctx, seed);
  if (rc == 0) rc = vprng_rng_make_new_seed(ctx, ctx->next_seed);
  if (rc != 0) return rc;
  ctx->ready = 1;
  return 0;
}

int VPRNG_init(VPRNG_CTX* ctx, const uint8_t* seed, uint8_t* new_seed) {
  return VPRNG_init_ex(ctx, &VPRNG_TZ_28147_89[kVprngTableZ], seed, new_seed);
}

int VPRNG_init_ex(VPRNG_CTX* ctx, const Gost28147ExpandedSbox* sbox, const uint8_t* seed,
                  uint8_t* new_seed) {
  int rc = vprng_rng_start(ctx, sbox, seed);
  if (rc != 0) return rc;
  TestBuffer buf;
  if (buf.p == nullptr) {
    ctx->ready = 0;
    return VPRNG_ERR_NO_MEMORY;
  }
  for (int round = 0; round < kSelfTestRounds; ++round) {
    rc = VPRNG_get_random_bytes(ctx, buf.p, kVprngSelfTestBytes);
    if (rc != 0) {
      ctx->ready = 0;
      return rc;
    }
    if (make_big_test(buf.p, kVprngSelfTestBytes) == 0) {
      if (new_seed != nullptr) {
        rc = vprng_rng_make_new_seed(ctx, new_seed);
        if (rc != 0) {
          ctx->ready = 0;
          return rc;
        }
      }
      return 0;
    }
  }
  ctx->ready = 0;
  return VPRNG_ERR_SELFTEST;
}

int VPRNG_get_random_bytes(VPRNG_CTX* ctx, uint8_t* out, size_t n) {
  if (ctx == nullptr || out == nullptr || n == 0) return VPRNG_ERR_PARAM;
  if (ctx->ready == 0) return VPRNG_ERR_NOT_READY;
  // A forked child holds its parent's state: it must never repeat the
  // parent's stream, so it rekeys with entropy of its own first.
  if (ctx->pid != getpid()) {
    int rc = vprng_rng_change(ctx);
    if (rc != 0) return rc;
  }
  while (n > ctx->bytes_left) {
    if (ctx->bytes_left > 0) {
      uint32_t step = ctx->bytes_left;
      int rc = vprng_rng_gamm(ctx, out, step);
      if (rc != 0) return rc;
      out += step;
      n -= step;
    }
    int rc = vprng_rng_change(ctx);
    if (rc != 0) return rc;
  }
  int rc = vprng_rng_gamm(ctx, out, static_cast<uint32_t>(n));
  if (rc != 0) return rc;
  if (ctx->bytes_left == 0) rc = vprng_rng_change(ctx);
  return rc;
}

const Gost28147ExpandedSbox* VPRNG_TZ_by_id(uint8_t id) {
  if (id > kVprngTableZ) {
    fputs("VPRNG_TZ_by_id: index out of range\n", stderr);
    return nullptr;
  }
  return &VPRNG_TZ_28147_89[id];
}

const Gost28147ExpandedSbox* VPRNG_TZ_by_name(const char* name) {
  static constexpr const char* kNames[] = {"tz_test", "tz_a", "tz_b", "tz_c", "tz_d", "tz_z"};
  if (name == nullptr) {
    fputs("VPRNG_TZ_by_name: NULL name\n", stderr);
    return nullptr;
  }
  for (uint8_t i = 0; i < sizeof(kNames) / sizeof(kNames[0]); ++i)
    if (strcmp(name, kNames[i]) == 0) return &VPRNG_TZ_28147_89[i];
  fprintf(stderr, "VPRNG_TZ_by_name: unsupported name %s\n", name);
  return nullptr;
}

void cross_gettimeofday(uint32_t* sec, uint32_t* usec) {
  struct timeval tv;
  gettimeofday(&tv, nullptr);
  if (sec != nullptr) *sec = static_cast<uint32_t>(tv.tv_sec);
  if (usec != nullptr) *usec = static_cast<uint32_t>(tv.tv_usec);
}
