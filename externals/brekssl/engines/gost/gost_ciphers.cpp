#include "engines/gost/gost_ciphers.h"

#include <openssl/crypto.h>
#include <openssl/rand.h>
#include <stdio.h>
#include <string.h>

#include "engines/gost/gost_cipher_data.h"
#include "engines/gost/gost_cipher_params.h"
#include "engines/gost/gost_engine_ctx.h"
#include "engines/gost/gost_param_set.h"
#include "objects/ssf_objects.h"

namespace {

// The core takes at most 4 GiB - 1 per call; whole blocks per chunk.
constexpr size_t kChunk = size_t{1} << 30;

struct Variant {
  const char* ctl_name;     // prefix of the control's messages
  const char* init_failed;  // message of a failed toolkit-facing init
  uint32_t default_mode;    // core mode
  bool has_iv;
  bool mode_controls;  // gost89: controls 0x1002 and 0x1003
};

constexpr Variant kCfb = {"vkc_cipher_ctl", "vkc_cipher_init_modify failed\n", GOST28147_MODE_CFB,
                          true, true};
constexpr Variant kCnt = {"vkc_cipher_ctl_cnt", "vkc_cipher_init_cnt_modify failed\n",
                          GOST28147_MODE_CNT, true, false};
constexpr Variant kCbc = {"vkc_cipher_ctl_cbc", "vkc_cipher_init_ecb_modify failed\n",
                          GOST28147_MODE_CBC, true, false};
constexpr Variant kCbcStrict = {"vkc_cipher_ctl_cbc", "vkc_cipher_init_ecb_modify failed\n",
                                GOST28147_MODE_CBC_KEEP_IV, true, false};
constexpr Variant kEcb = {"vkc_cipher_ctl_ecb", "vkc_cipher_init_ecb_modify failed\n",
                          GOST28147_MODE_ECB, false, false};

VkcCipherData* data_of(EVP_CIPHER_CTX* ctx) {
  return static_cast<VkcCipherData*>(EVP_CIPHER_CTX_get_cipher_data(ctx));
}

// The toolkit's saved IV (as first given) and working IV of a context.
unsigned char* saved_iv(EVP_CIPHER_CTX* ctx) {
  return const_cast<unsigned char*>(EVP_CIPHER_CTX_original_iv(ctx));
}
unsigned char* working_iv(EVP_CIPHER_CTX* ctx) { return EVP_CIPHER_CTX_iv_noconst(ctx); }

uint32_t core_mode(const VkcCipherData* c, const Variant& v) {
  return c->mode != 0 ? c->mode : v.default_mode;
}

bool is_block_mode(uint32_t mode) {
  return mode == GOST28147_MODE_ECB || mode == GOST28147_MODE_CBC ||
         mode == GOST28147_MODE_CBC_KEEP_IV;
}

// Init without the wrapper's message: direction, IVs, parameter set, key.
bool init_modify(EVP_CIPHER_CTX* ctx, const unsigned char* key, const unsigned char* iv, int enc,
                 const Variant& v) {
  const VKC2012_ENGINE_CTX* ectx = vkc_engine_ctx();
  if (ectx == nullptr) return false;
  VkcCipherData* c = data_of(ctx);
  if (c == nullptr) return false;
  unsigned char* oiv = saved_iv(ctx);
  unsigned char* wiv = working_iv(ctx);
  if (v.has_iv) {
    if (oiv == nullptr || wiv == nullptr) return false;
    if (iv != nullptr) memcpy(oiv, iv, kGost89IvLength);
    memcpy(wiv, oiv, kGost89IvLength);
  }
  int used = 0;
  const Gost28147ParamSet* ps = vkc_choose_param_set(static_cast<int>(c->param_nid), ectx, &used);
  if (ps == nullptr) return false;
  // Without a key, a keyed context starts again from the new IV and
  // direction with its stored key and set: the core must not run on with
  // the state of the previous IV.
  if (key == nullptr && !c->key_set) {
    c->param_nid = static_cast<uint32_t>(ectx->gost28147_param_nid);
    return true;
  }
  if (key != nullptr && key != c->key) memcpy(c->key, key, kGost89KeyLength);
  int32_t rc = GOST28147_89_Init(&c->core, enc ? 1 : 0, ps->sbox, core_mode(c, v), 0,
                                 ps->key_meshing, 0, v.has_iv ? wiv : nullptr, c->key);
  if (rc != 0) {
    fprintf(stderr, "GOST28147_89_Init failed, rc = 0x%x\n", static_cast<unsigned>(rc));
    c->key_set = 0;
    return false;
  }
  c->key_set = 1;
  c->used_nid = static_cast<uint32_t>(used);
  return true;
}

int init_variant(EVP_CIPHER_CTX* ctx, const unsigned char* key, const unsigned char* iv, int enc,
                 const Variant& v) {
  VkcCipherData* c = data_of(ctx);
  // A mode chosen by control lasts until the next init through the toolkit.
  if (v.mode_controls && c != nullptr) c->mode = 0;
  // The block variants hand whole blocks to the core, which keeps a partial
  // block back: the toolkit buffers them, without padding.
  if (is_block_mode(v.default_mode)) EVP_CIPHER_CTX_set_padding(ctx, 0);
  if (!init_modify(ctx, key, iv, enc, v)) {
    fputs(v.init_failed, stderr);
    return 0;
  }
  return 1;
}

// Controls 0x1001 and 0x1002 re-key in place. An unkeyed context only keeps
// the choice for its keyed init.
int reinit(EVP_CIPHER_CTX* ctx, const Variant& v) {
  VkcCipherData* c = data_of(ctx);
  if (!c->key_set) return 1;
  return init_modify(ctx, c->key, nullptr, EVP_CIPHER_CTX_is_encrypting(ctx), v) ? 1 : 0;
}

int update(EVP_CIPHER_CTX* ctx, unsigned char* out, const unsigned char* in, size_t inl,
           const Variant& v) {
  if (out == nullptr) return 1;
  VkcCipherData* c = data_of(ctx);
  if (c == nullptr) return 0;
  // gost89 switched to ECB or CBC still declares block size 1: the toolkit
  // counts every byte as output, so a partial block is refused.
  if (is_block_mode(core_mode(c, v)) && inl % kGost89BlockSize != 0) {
    fprintf(stderr, "vkc_cipher_do_cipher: data length %zu is not a multiple of %d\n", inl,
            kGost89BlockSize);
    return 0;
  }
  while (inl > 0) {
    size_t n = inl < kChunk ? inl : kChunk;
    GostBuffer bin = {static_cast<uint32_t>(n), const_cast<unsigned char*>(in)};
    GostBuffer bout = {static_cast<uint32_t>(n), out};
    int32_t rc = GOST28147_89_Update(&c->core, &bin, &bout);
    if (rc == 0 && bout.length != n) rc = GOST28147_ERR_PARTIAL;
    if (rc != 0) {
      fprintf(stderr, "GOST28147_89_Update failed, rc = 0x%x\n", static_cast<unsigned>(rc));
      return 0;
    }
    in += n;
    out += n;
    inl -= n;
  }
  return 1;
}

int toolkit_mode(uint32_t core) {
  switch (core) {
    case GOST28147_MODE_CNT:
      return EVP_CIPH_OFB_MODE;
    case GOST28147_MODE_CBC:
      return EVP_CIPH_CBC_MODE;
    case GOST28147_MODE_ECB:
      return EVP_CIPH_ECB_MODE;
    default:
      return EVP_CIPH_CFB_MODE;
  }
}

int ctrl(EVP_CIPHER_CTX* ctx, int type, int arg, void* ptr, const Variant& v) {
  VkcCipherData* c = data_of(ctx);
  switch (type) {
    case EVP_CTRL_RAND_KEY:
      if (ptr == nullptr || RAND_bytes(static_cast<unsigned char*>(ptr), kGost89KeyLength) <= 0) {
        fprintf(stderr, "%s: RAND_bytes failed\n", v.ctl_name);
        return -1;
      }
      return 1;
    case EVP_CTRL_PBE_PRF_NID: {
      if (ptr == nullptr) return 0;
      const VKC2012_ENGINE_CTX* ectx = vkc_engine_ctx();
      if (ectx == nullptr) return 0;
      *static_cast<int*>(ptr) = ectx->pbe_prf_nid;
      return 1;
    }
    case kVkcCtrlSetParamSet:
      if (c == nullptr) return 0;
      c->param_nid = static_cast<uint32_t>(arg);
      return reinit(ctx, v);
    case kVkcCtrlSetMode:
      if (!v.mode_controls) break;
      if (c == nullptr) return 0;
      switch (arg) {
        case EVP_CIPH_ECB_MODE:
          c->mode = GOST28147_MODE_ECB;
          break;
        case EVP_CIPH_CBC_MODE:
          c->mode = GOST28147_MODE_CBC;
          break;
        case EVP_CIPH_CFB_MODE:
          c->mode = GOST28147_MODE_CFB;
          break;
        case EVP_CIPH_OFB_MODE:
          c->mode = GOST28147_MODE_CNT;
          break;
        default:
          fprintf(stderr, "%s: Unsupported cipher mode %d\n", v.ctl_name, arg);
          return 0;
      }
      return reinit(ctx, v);
    case kVkcCtrlGetMode:
      if (!v.mode_controls) break;
      if (c == nullptr || ptr == nullptr) return 0;
      *static_cast<int*>(ptr) = toolkit_mode(core_mode(c, v));
      return 1;
    default:
      break;
  }
  fprintf(stderr, "%s: Unsupported command %d\n", v.ctl_name, type);
  return -1;
}

extern "C" int vkc_cipher_cleanup(EVP_CIPHER_CTX* ctx) {
  if (VkcCipherData* c = data_of(ctx)) OPENSSL_cleanse(c, sizeof(*c));
  return 1;
}

#define VKC_CIPHER_CALLBACKS(suffix, variant)                                                \
  extern "C" int vkc_cipher_init##suffix(EVP_CIPHER_CTX* ctx, const unsigned char* key,      \
                                         const unsigned char* iv, int enc) {                 \
    return init_variant(ctx, key, iv, enc, variant);                                         \
  }                                                                                          \
  extern "C" int vkc_cipher_update##suffix(EVP_CIPHER_CTX* ctx, unsigned char* out,          \
                                           const unsigned char* in, size_t inl) {            \
    return update(ctx, out, in, inl, variant);                                               \
  }                                                                                          \
  extern "C" int vkc_cipher_ctl##suffix(EVP_CIPHER_CTX* ctx, int type, int arg, void* ptr) { \
    return ctrl(ctx, type, arg, ptr, variant);                                               \
  }

VKC_CIPHER_CALLBACKS(, kCfb)
VKC_CIPHER_CALLBACKS(_cnt, kCnt)
VKC_CIPHER_CALLBACKS(_cbc, kCbc)
VKC_CIPHER_CALLBACKS(_cbcstrict, kCbcStrict)
VKC_CIPHER_CALLBACKS(_ecb, kEcb)
#undef VKC_CIPHER_CALLBACKS

using InitFn = int (*)(EVP_CIPHER_CTX*, const unsigned char*, const unsigned char*, int);
using DoFn = int (*)(EVP_CIPHER_CTX*, unsigned char*, const unsigned char*, size_t);
using CtrlFn = int (*)(EVP_CIPHER_CTX*, int, int, void*);

EVP_CIPHER* make_cipher(int nid, int block_size, unsigned long mode_bits, InitFn init, DoFn doc,
                        CtrlFn ctl) {
  if (nid == NID_undef) return nullptr;
  EVP_CIPHER* c = EVP_CIPHER_meth_new(nid, block_size, kGost89KeyLength);
  if (c == nullptr) return nullptr;
  const unsigned long flags = EVP_CIPH_RAND_KEY | EVP_CIPH_NO_PADDING | EVP_CIPH_ALWAYS_CALL_INIT |
                              EVP_CIPH_CUSTOM_IV | mode_bits;
  if (!EVP_CIPHER_meth_set_iv_length(c, kGost89IvLength) || !EVP_CIPHER_meth_set_flags(c, flags) ||
      !EVP_CIPHER_meth_set_init(c, init) || !EVP_CIPHER_meth_set_do_cipher(c, doc) ||
      !EVP_CIPHER_meth_set_cleanup(c, vkc_cipher_cleanup) ||
      !EVP_CIPHER_meth_set_impl_ctx_size(c, sizeof(VkcCipherData)) ||
      !EVP_CIPHER_meth_set_set_asn1_params(c, gost89_set_asn1_parameters) ||
      !EVP_CIPHER_meth_set_get_asn1_params(c, gost89_get_asn1_parameters) ||
      !EVP_CIPHER_meth_set_ctrl(c, ctl)) {
    EVP_CIPHER_meth_free(c);
    return nullptr;
  }
  return c;
}

}  // namespace

const EVP_CIPHER* EVP_gost28147() {
  static EVP_CIPHER* c = make_cipher(NID_id_Gost28147_89, 1, EVP_CIPH_CFB_MODE, vkc_cipher_init,
                                     vkc_cipher_update, vkc_cipher_ctl);
  return c;
}

const EVP_CIPHER* vkc_cipher_gost89_cnt() {
  static EVP_CIPHER* c = make_cipher(NID_gost89_cnt, 1, EVP_CIPH_OFB_MODE, vkc_cipher_init_cnt,
                                     vkc_cipher_update_cnt, vkc_cipher_ctl_cnt);
  return c;
}

const EVP_CIPHER* vkc_cipher_gost89_cbc() {
  static EVP_CIPHER* c =
      make_cipher(ssf_nid_gost89_cbc(), kGost89BlockSize, EVP_CIPH_CBC_MODE, vkc_cipher_init_cbc,
                  vkc_cipher_update_cbc, vkc_cipher_ctl_cbc);
  return c;
}

const EVP_CIPHER* vkc_cipher_gost89_cbcstrict() {
  static EVP_CIPHER* c =
      make_cipher(ssf_nid_gost89_cbcstrict(), kGost89BlockSize, EVP_CIPH_CBC_MODE,
                  vkc_cipher_init_cbcstrict, vkc_cipher_update_cbcstrict, vkc_cipher_ctl_cbcstrict);
  return c;
}

const EVP_CIPHER* vkc_cipher_gost89_ecb() {
  static EVP_CIPHER* c =
      make_cipher(ssf_nid_gost89_ecb(), kGost89BlockSize, EVP_CIPH_ECB_MODE, vkc_cipher_init_ecb,
                  vkc_cipher_update_ecb, vkc_cipher_ctl_ecb);
  return c;
}
