#include "engines/gost/gost_imit.h"

#include <openssl/crypto.h>
#include <openssl/objects.h>
#include <stdio.h>
#include <string.h>

#include "engines/gost/gost_cipher_data.h"
#include "engines/gost/gost_engine_ctx.h"
#include "engines/gost/gost_param_set.h"
#include "engines/gost/gost_pkey_nids.h"
#include "engines/gost/gost_pmeth.h"

namespace {

constexpr size_t kChunk = size_t{1} << 30;

VkcCipherData* data_of(EVP_MD_CTX* ctx) {
  return static_cast<VkcCipherData*>(EVP_MD_CTX_get0_md_data(ctx));
}

// The key-method context of the digest context when it is one of the
// GOST R 34.10 key types, whose data holds a UKM; else nullptr.
const GostPkeyCtxData* gost_pkey_ctx_data(EVP_MD_CTX* ctx) {
  EVP_PKEY_CTX* pctx = EVP_MD_CTX_get_pkey_ctx(ctx);
  if (pctx == nullptr) return nullptr;
  static int (*const kTypes[])() = {gost_nid_key_2001, gost_nid_key_2012_256, gost_nid_key_2012_512,
                                    gost_nid_dh_2001,  gost_nid_dh_2012_256,  gost_nid_dh_2012_512};
  for (auto type : kTypes) {
    const int nid = type();
    const char* sn = nid != NID_undef ? OBJ_nid2sn(nid) : nullptr;
    if (sn != nullptr && EVP_PKEY_CTX_is_a(pctx, sn)) {
      return static_cast<const GostPkeyCtxData*>(EVP_PKEY_CTX_get_data(pctx));
    }
  }
  return nullptr;
}

// The core context in MAC mode with the stored key (zero until set), the
// chosen parameter set and as IV the one of control 0x1002, else the UKM of
// a GOST key-method context, else none. A UKM shorter than the IV fails.
bool imit_init_modify(EVP_MD_CTX* ctx, VkcCipherData* c) {
  const VKC2012_ENGINE_CTX* ectx = vkc_engine_ctx();
  if (ectx == nullptr) return false;
  const unsigned char* iv = c->mac_iv_set ? c->mac_iv : nullptr;
  if (iv == nullptr) {
    const GostPkeyCtxData* pdata = gost_pkey_ctx_data(ctx);
    if (pdata != nullptr && pdata->ukm != nullptr) {
      if (pdata->ukm_len < static_cast<uint32_t>(kGost89IvLength)) return false;
      iv = pdata->ukm;
    }
  }
  int used = 0;
  const Gost28147ParamSet* ps = vkc_choose_param_set(static_cast<int>(c->param_nid), ectx, &used);
  if (ps == nullptr) return false;
  int32_t rc = GOST28147_89_Init(&c->core, 1, ps->sbox, GOST28147_MODE_IMITO, 0, ps->key_meshing, 0,
                                 iv, c->key);
  if (rc != 0) {
    fprintf(stderr, "GOST28147_89_Init failed, rc = 0x%x\n", static_cast<unsigned>(rc));
    return false;
  }
  c->used_nid = static_cast<uint32_t>(used);
  return true;
}

int reinit(EVP_MD_CTX* ctx, VkcCipherData* c) {
  if (!imit_init_modify(ctx, c)) {
    fputs("vkc_imit_init_modify failed\n", stderr);
    return 0;
  }
  return 1;
}

extern "C" int vkc_imit_init(EVP_MD_CTX* ctx) {
  VkcCipherData* c = data_of(ctx);
  if (c == nullptr) return 0;
  return reinit(ctx, c);
}

extern "C" int vkc_imit_update(EVP_MD_CTX* ctx, const void* data, size_t count) {
  if (count == 0) return 1;
  VkcCipherData* c = data_of(ctx);
  if (c == nullptr || data == nullptr) return 0;
  const unsigned char* p = static_cast<const unsigned char*>(data);
  while (count > 0) {
    size_t n = count < kChunk ? count : kChunk;
    GostBuffer in = {static_cast<uint32_t>(n), const_cast<unsigned char*>(p)};
    int32_t rc = GOST28147_89_Update(&c->core, &in, nullptr);
    if (rc != 0) {
      fprintf(stderr, "GOST28147_89_Update failed, rc = 0x%x\n", static_cast<unsigned>(rc));
      return 0;
    }
    p += n;
    count -= n;
  }
  return 1;
}

extern "C" int vkc_imit_final(EVP_MD_CTX* ctx, unsigned char* md) {
  VkcCipherData* c = data_of(ctx);
  if (c == nullptr) return 0;
  int32_t rc = GOST28147_89_Final(&c->core);
  if (rc != 0) {
    fprintf(stderr, "GOST28147_89_Final failed, rc = 0x%x\n", static_cast<unsigned>(rc));
    return 0;
  }
  if (md != nullptr) memcpy(md, c->core.mac, kVkcImitSize);
  return 1;
}

extern "C" int vkc_imit_copy(EVP_MD_CTX* to, const EVP_MD_CTX* from) {
  VkcCipherData* dst = data_of(to);
  const VkcCipherData* src = static_cast<const VkcCipherData*>(EVP_MD_CTX_get0_md_data(from));
  if (dst != nullptr && src != nullptr && dst != src) memcpy(dst->key, src->key, sizeof(dst->key));
  return 1;
}

extern "C" int vkc_imit_cleanup(EVP_MD_CTX* ctx) {
  if (VkcCipherData* c = data_of(ctx)) OPENSSL_cleanse(c, sizeof(*c));
  return 1;
}

extern "C" int vkc_imit_ctrl(EVP_MD_CTX* ctx, int type, int p1, void* p2) {
  VkcCipherData* c = data_of(ctx);
  if (c == nullptr) return 0;
  switch (type) {
    case kVkcImitCtrlSetParamSet:
      c->param_nid = static_cast<uint32_t>(p1);
      return reinit(ctx, c);
    case kVkcImitCtrlSetIv:
      // The IV is kept in the MAC's own data: the key-method context of a
      // MAC key has no room for one.
      if (p2 == nullptr || p1 != kGost89IvLength) {
        fprintf(stderr, "vkc_imit_ctrl: Invalid IV length %d\n", p1);
        return 0;
      }
      memcpy(c->mac_iv, p2, kGost89IvLength);
      c->mac_iv_set = 1;
      return reinit(ctx, c);
    case kVkcImitCtrlKeyLength:
      if (p2 == nullptr) return 0;
      *static_cast<int*>(p2) = kGost89KeyLength;
      return 1;
    case kVkcImitCtrlSetKey:
      if (p2 == nullptr || p1 != kGost89KeyLength) {
        fprintf(stderr, "vkc_imit_ctrl: Invalid key length %d\n", p1);
        return 0;
      }
      memcpy(c->key, p2, kGost89KeyLength);
      c->key_set = 1;
      return reinit(ctx, c);
    default:
      return 0;
  }
}

EVP_MD* make_imit() {
  EVP_MD* md = EVP_MD_meth_new(NID_id_Gost28147_89_MAC, NID_undef);
  if (md == nullptr) return nullptr;
  if (!EVP_MD_meth_set_result_size(md, kVkcImitSize) ||
      !EVP_MD_meth_set_input_blocksize(md, kGost89BlockSize) ||
      !EVP_MD_meth_set_app_datasize(md, sizeof(VkcCipherData)) || !EVP_MD_meth_set_flags(md, 0) ||
      !EVP_MD_meth_set_init(md, vkc_imit_init) || !EVP_MD_meth_set_update(md, vkc_imit_update) ||
      !EVP_MD_meth_set_final(md, vkc_imit_final) || !EVP_MD_meth_set_copy(md, vkc_imit_copy) ||
      !EVP_MD_meth_set_cleanup(md, vkc_imit_cleanup) || !EVP_MD_meth_set_ctrl(md, vkc_imit_ctrl)) {
    EVP_MD_meth_free(md);
    return nullptr;
  }
  return md;
}

}  // namespace

const EVP_MD* EVP_gostimito() {
  static EVP_MD* md = make_imit();
  return md;
}
