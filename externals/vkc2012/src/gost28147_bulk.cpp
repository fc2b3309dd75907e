#include "gost28147_bulk.h"

#include "gost28147_rounds.h"

namespace vkc::gost28147 {

namespace {

constexpr int kLanes = 4;

VKC_GOST_INLINE void load_block(const uint8_t* p, uint32_t* w) {
  w[0] = load_le32(p);
  w[1] = load_le32(p + 4);
}

VKC_GOST_INLINE void store_block(uint8_t* p, const uint32_t* w) {
  store_le32(p, w[0]);
  store_le32(p + 4, w[1]);
}

}  // namespace

void ecb_blocks(const Gost28147ExpandedSbox* s, const uint8_t* in, uint8_t* out, size_t n,
                const uint32_t* key, bool encrypt) {
  const uint32_t* const kk[kLanes] = {key, key, key, key};
  for (; n >= kLanes; n -= kLanes, in += 8 * kLanes, out += 8 * kLanes) {
    uint32_t a[kLanes], b[kLanes];
    for (int l = 0; l < kLanes; ++l) {
      a[l] = load_le32(in + 8 * l);
      b[l] = load_le32(in + 8 * l + 4);
    }
    if (encrypt)
      encrypt_lanes<kLanes>(a, b, kk, s);
    else
      decrypt_lanes<kLanes>(a, b, kk, s);
    for (int l = 0; l < kLanes; ++l) {
      store_le32(out + 8 * l, b[l]);
      store_le32(out + 8 * l + 4, a[l]);
    }
  }
  for (; n > 0; --n, in += 8, out += 8) {
    uint32_t w[2];
    load_block(in, w);
    if (encrypt)
      encrypt_block(w, w, key, s);
    else
      decrypt_block(w, w, key, s);
    store_block(out, w);
  }
}

void cbc_blocks(const Gost28147ExpandedSbox* s, const uint8_t* in, uint8_t* out, size_t n,
                uint32_t* reg, const uint32_t* key, bool encrypt) {
  for (; n > 0; --n, in += 8, out += 8) {
    uint32_t w[2];
    load_block(in, w);
    if (encrypt) {
      w[0] ^= reg[0];
      w[1] ^= reg[1];
      encrypt_block(w, w, key, s);
      reg[0] = w[0];
      reg[1] = w[1];
    } else {
      uint32_t c[2] = {w[0], w[1]};
      decrypt_block(w, w, key, s);
      w[0] ^= reg[0];
      w[1] ^= reg[1];
      reg[0] = c[0];
      reg[1] = c[1];
    }
    store_block(out, w);
  }
}

void cfb_blocks(const Gost28147ExpandedSbox* s, const uint8_t* in, uint8_t* out, size_t n,
                uint32_t* reg, const uint32_t* key, bool encrypt) {
  if (!encrypt) {
    // The gamma of every block is known from the ciphertext: run lanes.
    const uint32_t* const kk[kLanes] = {key, key, key, key};
    for (; n >= kLanes; n -= kLanes, in += 8 * kLanes, out += 8 * kLanes) {
      uint32_t a[kLanes], b[kLanes], c[2 * kLanes];
      a[0] = reg[0];
      b[0] = reg[1];
      for (int l = 0; l < kLanes; ++l) {
        c[2 * l] = load_le32(in + 8 * l);
        c[2 * l + 1] = load_le32(in + 8 * l + 4);
        if (l + 1 < kLanes) {
          a[l + 1] = c[2 * l];
          b[l + 1] = c[2 * l + 1];
        }
      }
      encrypt_lanes<kLanes>(a, b, kk, s);
      for (int l = 0; l < kLanes; ++l) {
        store_le32(out + 8 * l, c[2 * l] ^ b[l]);
        store_le32(out + 8 * l + 4, c[2 * l + 1] ^ a[l]);
      }
      reg[0] = c[2 * kLanes - 2];
      reg[1] = c[2 * kLanes - 1];
    }
  }
  for (; n > 0; --n, in += 8, out += 8) {
    uint32_t g[2], w[2];
    encrypt_block(reg, g, key, s);
    load_block(in, w);
    uint32_t o0 = w[0] ^ g[0], o1 = w[1] ^ g[1];
    if (encrypt) {
      reg[0] = o0;
      reg[1] = o1;
    } else {
      reg[0] = w[0];
      reg[1] = w[1];
    }
    store_le32(out, o0);
    store_le32(out + 4, o1);
  }
}

void cnt_blocks(const Gost28147ExpandedSbox* s, const uint8_t* in, uint8_t* out, size_t n,
                uint32_t* reg, const uint32_t* key) {
  const uint32_t* const kk[kLanes] = {key, key, key, key};
  for (; n >= kLanes; n -= kLanes, in += 8 * kLanes, out += 8 * kLanes) {
    uint32_t a[kLanes], b[kLanes];
    for (int l = 0; l < kLanes; ++l) {
      counter_step(reg);
      a[l] = reg[0];
      b[l] = reg[1];
    }
    encrypt_lanes<kLanes>(a, b, kk, s);
    for (int l = 0; l < kLanes; ++l) {
      store_le32(out + 8 * l, load_le32(in + 8 * l) ^ b[l]);
      store_le32(out + 8 * l + 4, load_le32(in + 8 * l + 4) ^ a[l]);
    }
  }
  for (; n > 0; --n, in += 8, out += 8) {
    uint32_t g[2];
    counter_step(reg);
    encrypt_block(reg, g, key, s);
    store_le32(out, load_le32(in) ^ g[0]);
    store_le32(out + 4, load_le32(in + 4) ^ g[1]);
  }
}

void imito_blocks(const Gost28147ExpandedSbox* s, const uint8_t* in, size_t n, uint32_t* mac,
                  const uint32_t* key) {
  for (; n > 0; --n, in += 8) imito_block(load_le32(in), load_le32(in + 4), mac, key, s);
}

}  // namespace vkc::gost28147
