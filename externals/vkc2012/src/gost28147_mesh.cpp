// CryptoPro key meshing (RFC 4357 2.3) and CryptoPro key diversification
// (RFC 4357 6.5).
#include <string.h>

#include "gost28147.h"
#include "gost28147_bulk.h"
#include "gost28147_rounds.h"
#include "gost28147_sbox.h"
#include "vkc_log.h"

using namespace vkc::gost28147;

extern "C" {

int32_t GOST28147_89_crypto_pro_key_meshing_engine(const Gost28147ExpandedSbox* sbox,
                                                   uint32_t* reg, uint32_t* key) {
  if (sbox == nullptr || reg == nullptr || key == nullptr) return GOST28147_ERR_PARAM;
  if (!sbox_marked(sbox)) return GOST28147_ERR_SBOX;
  // K' = D_K(C); then the register is encrypted once under K'.
  uint8_t meshed[32];
  ecb_blocks(sbox, GOST28147_89_KEY_MESHING_C, meshed, 4, key, false);
  for (int i = 0; i < 8; ++i) key[i] = load_le32(meshed + 4 * i);
  explicit_bzero(meshed, sizeof(meshed));
  encrypt_block(reg, reg, key, sbox);
  return 0;
}

int32_t GOST28147_89_crypto_pro_key_meshing(Gost28147KeyMeshingRecord* rec) {
  if (rec == nullptr || rec->sbox == nullptr || rec->key == nullptr ||
      rec->sbox->data == nullptr || rec->key->data == nullptr)
    return GOST28147_ERR_PARAM;
  return GOST28147_89_crypto_pro_key_meshing_engine(
      reinterpret_cast<const Gost28147ExpandedSbox*>(rec->sbox->data), rec->reg,
      reinterpret_cast<uint32_t*>(rec->key->data));
}

int32_t GOST28147_89_make_key_meshing(Gost28147Context* ctx) {
  if (ctx == nullptr) return GOST28147_ERR_PARAM;
  if (ctx->key_meshing != 1) return 0;
  if (ctx->mesh_count != 1024) {
    ctx->mesh_count += 8;
    return 0;
  }
  int32_t rc = GOST28147_89_crypto_pro_key_meshing_engine(&ctx->sbox, ctx->reg, ctx->key);
  if (rc != 0) {
    ctx->initialised = 0;
    return rc;
  }
  ctx->mesh_count = 8;
  return 0;
}

int32_t GOST28147_89_KDF(const Gost28147ExpandedSbox* sbox, const uint8_t* key,
                         const uint8_t* ukm, uint8_t* out) {
  if (sbox == nullptr || key == nullptr || ukm == nullptr || out == nullptr) {
    VKC_LOG("GOST28147_89_KDF: bad params");
    return GOST28147_ERR_PARAM;
  }
  memmove(out, key, 32);
  uint32_t k[8];
  int32_t rc = 0;
  for (int i = 0; i < 8 && rc == 0; ++i) {
    uint32_t s[2] = {0, 0};  // S1, S2
    for (int j = 0; j < 8; ++j) {
      k[j] = load_le32(out + 4 * j);
      if ((ukm[i] >> j) & 1)
        s[0] += k[j];
      else
        s[1] += k[j];
    }
    GostBuffer buf = {32, out};
    rc = VKC_Gost_GFB_m(sbox, &buf, &buf, s, k, 1,
                        GOST28147_FLAG_FIRST | GOST28147_FLAG_LAST);
    if (rc != 0) VKC_LOG("VKC_Gost_GFB_m failed, rc = 0x%x", static_cast<unsigned>(rc));
  }
  explicit_bzero(k, sizeof(k));
  return rc;
}

}  // extern "C"
