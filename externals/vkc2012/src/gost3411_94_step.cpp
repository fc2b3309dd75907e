// Step function of GOST R 34.11-94: key generation, four GOST 28147-89
// encryptions side by side, and the psi mixing.
#include "gost3411_94_step.h"

#include "gost28147_rounds.h"

using namespace vkc::gost28147;

namespace {

// A(Y): words 0..5 = words 2..7, words 6, 7 = words 0, 1 XOR words 2, 3.
VKC_GOST_INLINE void transform_a(uint32_t* y) {
  uint32_t t0 = y[0] ^ y[2], t1 = y[1] ^ y[3];
  for (int i = 0; i < 6; ++i) y[i] = y[i + 2];
  y[6] = t0;
  y[7] = t1;
}

// P(W): key byte i + 4j = byte 8i + j of W.
VKC_GOST_INLINE void transform_p(const uint32_t* w, uint32_t* k) {
#pragma GCC unroll 8
  for (int j = 0; j < 8; ++j) {
    int half = j >> 2, shift = 8 * (j & 3);
    k[j] = ((w[half] >> shift) & 0xff) | ((w[2 + half] >> shift) & 0xff) << 8 |
           ((w[4 + half] >> shift) & 0xff) << 16 | ((w[6 + half] >> shift) & 0xff) << 24;
  }
}

constexpr uint32_t kC3[8] = {0xff00ff00, 0xff00ff00, 0x00ff00ff, 0x00ff00ff,
                             0x00ffff00, 0xff0000ff, 0x000000ff, 0xff00ffff};

}  // namespace

extern "C" {

void gost_r_3411_94_compress(uint32_t* h, const uint32_t* m, const Gost3411_94Context* ctx) {
  uint32_t keys[4][8], u[8], v[8], w[8];
  for (int i = 0; i < 8; ++i) {
    u[i] = h[i];
    v[i] = m[i];
    w[i] = h[i] ^ m[i];
  }
  transform_p(w, keys[0]);
  for (int r = 1; r < 4; ++r) {
    transform_a(u);
    if (r == 2)
      for (int i = 0; i < 8; ++i) u[i] ^= kC3[i];
    transform_a(v);
    transform_a(v);
    for (int i = 0; i < 8; ++i) w[i] = u[i] ^ v[i];
    transform_p(w, keys[r]);
  }

  // The four 64-bit parts of H under K1..K4, as four independent lanes.
  uint32_t a[4] = {h[0], h[2], h[4], h[6]};
  uint32_t b[4] = {h[1], h[3], h[5], h[7]};
  const uint32_t* const kk[4] = {keys[0], keys[1], keys[2], keys[3]};
  encrypt_lanes<4>(a, b, kk, &ctx->sbox);

  // Mixing on 16-bit words: x[n + 16] = psi's new top word over x[n..n+15].
  uint16_t x[16 + 74];
  for (int i = 0; i < 4; ++i) {
    x[4 * i] = static_cast<uint16_t>(b[i]);
    x[4 * i + 1] = static_cast<uint16_t>(b[i] >> 16);
    x[4 * i + 2] = static_cast<uint16_t>(a[i]);
    x[4 * i + 3] = static_cast<uint16_t>(a[i] >> 16);
  }
  auto psi = [&x](int n) {
    x[n + 16] = static_cast<uint16_t>(x[n] ^ x[n + 1] ^ x[n + 2] ^ x[n + 3] ^ x[n + 12] ^
                                      x[n + 15]);
  };
#pragma GCC unroll 12
  for (int n = 0; n < 12; ++n) psi(n);
  for (int i = 0; i < 8; ++i) {
    x[12 + 2 * i] ^= static_cast<uint16_t>(m[i]);
    x[13 + 2 * i] ^= static_cast<uint16_t>(m[i] >> 16);
  }
  psi(12);
  for (int i = 0; i < 8; ++i) {
    x[13 + 2 * i] ^= static_cast<uint16_t>(h[i]);
    x[14 + 2 * i] ^= static_cast<uint16_t>(h[i] >> 16);
  }
#pragma GCC unroll 61
  for (int n = 13; n < 74; ++n) psi(n);
  for (int i = 0; i < 8; ++i)
    h[i] = static_cast<uint32_t>(x[74 + 2 * i]) | static_cast<uint32_t>(x[75 + 2 * i]) << 16;
}

void gost_r_3411_94_hash_bytes(const Gost3411_94Context* ctx, uint32_t* h, uint32_t* sigma,
                               uint32_t* len, const uint8_t* block, uint32_t bits) {
  uint32_t m[8];
  uint32_t carry = 0;
  for (int i = 0; i < 8; ++i) {
    m[i] = load_le32(block + 4 * i);
    uint64_t s = static_cast<uint64_t>(sigma[i]) + m[i] + carry;
    sigma[i] = static_cast<uint32_t>(s);
    carry = static_cast<uint32_t>(s >> 32);
  }
  gost_r_3411_94_compress(h, m, ctx);
  uint32_t before = len[0];
  len[0] += bits;
  if (len[0] < before) ++len[1];
}

}  // extern "C"
