#include "engines/gost/gost_kuzmagma_mac.h"

#include <openssl/crypto.h>
#include <stdio.h>
#include <string.h>

#include "engines/gost/gost_engine_ctx.h"
#include "engines/gost/gost_kuzmagma_data.h"
#include "objects/ssf_objects.h"

namespace {

using FamilyFn = const KuzMagmaFamily& (*)();

enum MacMsg { kMsgInit, kMsgUpdate, kMsgFinal, kMsgCtrl };

Vkc2016CipherData* data_of(EVP_MD_CTX* ctx) {
  return static_cast<Vkc2016CipherData*>(EVP_MD_CTX_get0_md_data(ctx));
}

// The MAC context with the stored key (zero until one is set).
int mac_start(const KuzMagmaFamily& f, Vkc2016CipherData* c, int nid) {
  if (vkc_engine_ctx() == nullptr) return 0;
  if (f.mac_init(&c->mode, c->key, static_cast<uint64_t>(f.mac_size)) != 0) {
    fputs(f.mac_msgs[kMsgInit], stderr);
    return 0;
  }
  c->nid = static_cast<uint32_t>(nid);
  return 1;
}

template <FamilyFn F>
int mac_init(EVP_MD_CTX* ctx) {
  Vkc2016CipherData* c = data_of(ctx);
  if (c == nullptr) return 0;
  return mac_start(F(), c, EVP_MD_CTX_get_type(ctx));
}

template <FamilyFn F>
int mac_update(EVP_MD_CTX* ctx, const void* data, size_t count) {
  if (count == 0) return 1;
  Vkc2016CipherData* c = data_of(ctx);
  if (c == nullptr || data == nullptr ||
      F().mac_update(&c->mode, static_cast<const uint8_t*>(data), count) != 0) {
    fputs(F().mac_msgs[kMsgUpdate], stderr);
    return 0;
  }
  return 1;
}

template <FamilyFn F>
int mac_final(EVP_MD_CTX* ctx, unsigned char* md) {
  const KuzMagmaFamily& f = F();
  Vkc2016CipherData* c = data_of(ctx);
  uint8_t tag[VKC_MODE_MAX_BLOCK];
  if (c == nullptr || f.mac_final(&c->mode, tag) != 0) {
    fputs(f.mac_msgs[kMsgFinal], stderr);
    return 0;
  }
  if (md != nullptr) memcpy(md, tag, static_cast<size_t>(f.mac_size));
  OPENSSL_cleanse(tag, sizeof(tag));
  return 1;
}

// The toolkit has copied the whole data already; the key once more keeps
// the copy right should it ever copy less.
int mac_copy(EVP_MD_CTX* to, const EVP_MD_CTX* from) {
  Vkc2016CipherData* dst = data_of(to);
  const auto* src = static_cast<const Vkc2016CipherData*>(EVP_MD_CTX_get0_md_data(from));
  if (dst != nullptr && src != nullptr && dst != src) memcpy(dst->key, src->key, sizeof(dst->key));
  return 1;
}

int mac_cleanup(EVP_MD_CTX* ctx) {
  if (Vkc2016CipherData* c = data_of(ctx)) OPENSSL_cleanse(c, sizeof(*c));
  return 1;
}

template <FamilyFn F>
int mac_ctrl(EVP_MD_CTX* ctx, int type, int p1, void* p2) {
  const KuzMagmaFamily& f = F();
  Vkc2016CipherData* c = data_of(ctx);
  if (c == nullptr) return 0;
  switch (type) {
    case kKuzMagmaMacCtrlKeyLength:
      if (p2 == nullptr) return 0;
      *static_cast<int*>(p2) = kKuzMagmaKeyLength;
      return 1;
    case kKuzMagmaMacCtrlSetKey:
      if (p2 == nullptr || p1 != kKuzMagmaKeyLength) {
        fprintf(stderr, "%s: Invalid key length %d\n", f.mac_msgs[kMsgCtrl], p1);
        return 0;
      }
      memcpy(c->key, p2, kKuzMagmaKeyLength);
      c->key_set = 1;
      return mac_start(f, c, EVP_MD_CTX_get_type(ctx));
    default:
      return 0;
  }
}

template <FamilyFn F>
EVP_MD* make_mac(int nid) {
  if (nid == NID_undef) return nullptr;
  const KuzMagmaFamily& f = F();
  EVP_MD* md = EVP_MD_meth_new(nid, NID_undef);
  if (md == nullptr) return nullptr;
  if (!EVP_MD_meth_set_result_size(md, f.mac_size) ||
      !EVP_MD_meth_set_input_blocksize(md, f.block) ||
      !EVP_MD_meth_set_app_datasize(md, sizeof(Vkc2016CipherData)) ||
      !EVP_MD_meth_set_flags(md, 0) || !EVP_MD_meth_set_init(md, mac_init<F>) ||
      !EVP_MD_meth_set_update(md, mac_update<F>) || !EVP_MD_meth_set_final(md, mac_final<F>) ||
      !EVP_MD_meth_set_copy(md, mac_copy) || !EVP_MD_meth_set_cleanup(md, mac_cleanup) ||
      !EVP_MD_meth_set_ctrl(md, mac_ctrl<F>)) {
    EVP_MD_meth_free(md);
    return nullptr;
  }
  return md;
}

}  // namespace

const EVP_MD* vkc_kuznechik_mac_md() {
  static EVP_MD* md = make_mac<kuzmagma_kuznechik>(ssf_nid_kuznechik_mac());
  return md;
}

const EVP_MD* vkc_magma_mac_md() {
  static EVP_MD* md = make_mac<kuzmagma_magma>(ssf_nid_magma_mac());
  return md;
}
