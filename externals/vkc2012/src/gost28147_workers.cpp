// The exported 64-bit block workers of GOST 28147-89.
#include "gost28147.h"
#include "gost28147_rounds.h"

using namespace vkc::gost28147;

extern "C" {

void vkc_gost_encr_64_m(const uint32_t* in, uint32_t* out, const uint32_t* key,
                        const Gost28147ExpandedSbox* sbox) {
  encrypt_block(in, out, key, sbox);
}

void vkc_gost_decr_64_m(const uint32_t* in, uint32_t* out, const uint32_t* key,
                        const Gost28147ExpandedSbox* sbox) {
  decrypt_block(in, out, key, sbox);
}

void vkc_gost_imito_64_m(const uint32_t* in, uint32_t* mac, const uint32_t* key,
                         const Gost28147ExpandedSbox* sbox) {
  imito_block(in[0], in[1], mac, key, sbox);
}

void vkc_gost_gamm_64_m(const uint32_t* in, uint32_t* out, uint32_t* reg, const uint32_t* key,
                        const Gost28147ExpandedSbox* sbox) {
  uint32_t g[2];
  counter_step(reg);
  encrypt_block(reg, g, key, sbox);
  out[0] = in[0] ^ g[0];
  out[1] = in[1] ^ g[1];
}

void vkc_gost_GFB_64_m(const uint32_t* in, uint32_t* out, uint32_t* reg, const uint32_t* key,
                       const Gost28147ExpandedSbox* sbox, uint8_t encrypt) {
  uint32_t g[2];
  encrypt_block(reg, g, key, sbox);
  uint32_t c0 = in[0], c1 = in[1];
  out[0] = c0 ^ g[0];
  out[1] = c1 ^ g[1];
  if (encrypt) {
    reg[0] = out[0];
    reg[1] = out[1];
  } else {
    reg[0] = c0;
    reg[1] = c1;
  }
}

void vkc_gost_cbc_64_m(const uint32_t* in, uint32_t* out, uint32_t* reg, const uint32_t* key,
                       const Gost28147ExpandedSbox* sbox, uint8_t encrypt) {
  if (encrypt) {
    uint32_t w[2] = {in[0] ^ reg[0], in[1] ^ reg[1]};
    encrypt_block(w, out, key, sbox);
    reg[0] = out[0];
    reg[1] = out[1];
  } else {
    uint32_t c0 = in[0], c1 = in[1];
    decrypt_block(in, out, key, sbox);
    out[0] ^= reg[0];
    out[1] ^= reg[1];
    reg[0] = c0;
    reg[1] = c1;
  }
}

}  // extern "C"
