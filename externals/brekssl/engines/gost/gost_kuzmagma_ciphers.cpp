#include "engines/gost/gost_kuzmagma_ciphers.h"

#include <openssl/crypto.h>
#include <openssl/rand.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>

#include "engines/gost/gost_engine_ctx.h"
#include "engines/gost/gost_kuzmagma_data.h"
#include "engines/gost/gost_kuzmagma_params.h"
#include "objects/ssf_objects.h"

namespace {

using FamilyFn = const KuzMagmaFamily& (*)();

Vkc2016CipherData* data_of(EVP_CIPHER_CTX* ctx) {
  return static_cast<Vkc2016CipherData*>(EVP_CIPHER_CTX_get_cipher_data(ctx));
}

// The toolkit's own IV buffers hold at most 16 bytes: they get the start of
// the IV, so that the toolkit's IV accessors show it.
void mirror_iv(EVP_CIPHER_CTX* ctx, const Vkc2016CipherData* c, int len) {
  unsigned char* oiv = const_cast<unsigned char*>(EVP_CIPHER_CTX_original_iv(ctx));
  unsigned char* wiv = EVP_CIPHER_CTX_iv_noconst(ctx);
  const int declared = EVP_CIPHER_CTX_get_iv_length(ctx);
  const size_t n = static_cast<size_t>(std::max(0, std::min(len, declared)));
  if (oiv != nullptr) memcpy(oiv, c->saved_iv, n);
  if (wiv != nullptr) memcpy(wiv, c->working_iv, n);
}

int32_t init_mode(const KuzMagmaFamily& f, int mode, Vkc2016CipherData* c, uint8_t enc,
                  int iv_len) {
  const uint64_t n = static_cast<uint64_t>(f.block);
  const uint64_t m = static_cast<uint64_t>(iv_len);
  switch (mode) {
    case kModeEcb:
      return f.ecb_init(&c->mode, enc, c->key);
    case kModeCbc:
      return f.cbc_init(&c->mode, enc, c->key, c->working_iv, m);
    case kModeCtr:
      return f.ctr_init(&c->mode, enc, c->key, n, c->working_iv);
    case kModeOfb:
      return f.ofb_init(&c->mode, enc, c->key, n, c->working_iv, m);
    case kModeCfb:
      return f.cfb_init(&c->mode, enc, c->key, n, c->working_iv, m);
    default:
      return -1;
  }
}

template <FamilyFn F, int Mode>
int cipher_init(EVP_CIPHER_CTX* ctx, const unsigned char* key, const unsigned char* iv, int enc) {
  const KuzMagmaFamily& f = F();
  if (vkc_engine_ctx() == nullptr) return 0;
  Vkc2016CipherData* c = data_of(ctx);
  if (c == nullptr) return 0;
  // ECB and CBC take whole blocks: the toolkit buffers them, without padding.
  if (Mode == kModeEcb || Mode == kModeCbc) EVP_CIPHER_CTX_set_padding(ctx, 0);
  const int iv_len = kuzmagma_effective_iv_length(f, Mode, c);
  if (Mode != kModeEcb) {
    if (iv != nullptr) memcpy(c->saved_iv, iv, static_cast<size_t>(iv_len));
    memcpy(c->working_iv, c->saved_iv, static_cast<size_t>(iv_len));
    mirror_iv(ctx, c, iv_len);
  }
  // Without a key the stored one (if any) goes on with the new IV and
  // direction, as the toolkit's own ciphers do: the mode must not run on
  // with the state of the previous IV.
  if (key != nullptr && key != c->key) memcpy(c->key, key, kKuzMagmaKeyLength);
  if (key != nullptr || c->key_set) {
    const int32_t rc = init_mode(f, Mode, c, enc ? 1 : 0, iv_len);
    if (rc != 0) {
      OPENSSL_cleanse(&c->mode, sizeof(c->mode));
      c->key_set = 0;
      fputs(f.init_failed[Mode], stderr);
      return 0;
    }
    c->key_set = 1;
  } else {
    c->key_set = 0;
  }
  c->nid = static_cast<uint32_t>(EVP_CIPHER_CTX_get_nid(ctx));
  return 1;
}

template <FamilyFn F>
int cipher_update(EVP_CIPHER_CTX* ctx, unsigned char* out, const unsigned char* in, size_t inl) {
  const KuzMagmaFamily& f = F();
  if (out == nullptr) return 1;
  Vkc2016CipherData* c = data_of(ctx);
  if (c == nullptr) return 0;
  const int mode = EVP_CIPHER_CTX_get_mode(ctx);
  if (mode < kModeEcb || mode > kModeCtr) {
    fprintf(stderr, "%s: invalid cipher mode 0x%x\n", f.update_name, static_cast<unsigned>(mode));
    return 0;
  }
  // The mode layer refuses empty input; the toolkit may pass it.
  if (inl == 0) return 1;
  if (in == nullptr || f.update[mode](&c->mode, in, out, inl) != 0) {
    fputs(f.update_failed[mode], stderr);
    return 0;
  }
  return 1;
}

template <FamilyFn F>
int cipher_ctrl(EVP_CIPHER_CTX* ctx, int type, int arg, void* ptr) {
  const KuzMagmaFamily& f = F();
  const VKC2012_ENGINE_CTX* ectx = vkc_engine_ctx();
  if (ectx == nullptr) return 0;
  switch (type) {
    case EVP_CTRL_RAND_KEY:
      if (ptr == nullptr || RAND_bytes(static_cast<unsigned char*>(ptr), kKuzMagmaKeyLength) <= 0) {
        fprintf(stderr, "%s: RAND_bytes failed\n", f.ctrl_name);
        return -1;
      }
      return 1;
    case EVP_CTRL_PBE_PRF_NID:
      if (ptr == nullptr) return 0;
      *static_cast<int*>(ptr) = ectx->pbe_prf_nid;
      return 1;
    case kKuzMagmaCtrlSetIvLength: {
      Vkc2016CipherData* c = data_of(ctx);
      if (c == nullptr) return 0;
      // Only the register modes have room for a longer IV; the others read
      // a fixed IV, and a longer one would make the next init read past the
      // caller's buffer.
      if (!kuzmagma_override_ok(f, EVP_CIPHER_CTX_get_mode(ctx), arg)) {
        fprintf(stderr, "%s: Invalid IV length %d\n", f.ctrl_name, arg);
        return 0;
      }
      c->iv_len_override = static_cast<uint32_t>(arg);
      return 1;
    }
    default:
      fprintf(stderr, "%s: Unsupported command %d\n", f.ctrl_name, type);
      return -1;
  }
}

// The whole data goes: key, IVs and the mode context with its round keys.
template <FamilyFn F>
int cipher_cleanup(EVP_CIPHER_CTX* ctx) {
  const int mode = EVP_CIPHER_CTX_get_mode(ctx);
  if (mode < kModeEcb || mode > kModeCtr) {
    fprintf(stderr, "%s: invalid cipher mode 0x%x\n", F().cleanup_name,
            static_cast<unsigned>(mode));
    return 0;
  }
  if (Vkc2016CipherData* c = data_of(ctx)) OPENSSL_cleanse(c, sizeof(*c));
  return 1;
}

template <FamilyFn F>
int set_params(EVP_CIPHER_CTX* ctx, ASN1_TYPE* params) {
  return kuzmagma_set_asn1_parameters(F(), ctx, params);
}

template <FamilyFn F>
int get_params(EVP_CIPHER_CTX* ctx, ASN1_TYPE* params) {
  return kuzmagma_get_asn1_parameters(F(), ctx, params);
}

template <FamilyFn F, int Mode>
EVP_CIPHER* make_cipher(int nid) {
  if (nid == NID_undef) return nullptr;
  const KuzMagmaFamily& f = F();
  // ECB and CBC declare their block so that the toolkit hands them whole
  // blocks and refuses a partial last one at the final step; the stream
  // modes take any length.
  const int block_size = (Mode == kModeEcb || Mode == kModeCbc) ? f.block : 1;
  EVP_CIPHER* c = EVP_CIPHER_meth_new(nid, block_size, kKuzMagmaKeyLength);
  if (c == nullptr) return nullptr;
  const unsigned long flags = EVP_CIPH_RAND_KEY | EVP_CIPH_NO_PADDING | EVP_CIPH_ALWAYS_CALL_INIT |
                              EVP_CIPH_CUSTOM_IV | static_cast<unsigned long>(Mode);
  if (!EVP_CIPHER_meth_set_iv_length(c, kuzmagma_iv_length(f, Mode)) ||
      !EVP_CIPHER_meth_set_flags(c, flags) || !EVP_CIPHER_meth_set_init(c, cipher_init<F, Mode>) ||
      !EVP_CIPHER_meth_set_do_cipher(c, cipher_update<F>) ||
      !EVP_CIPHER_meth_set_cleanup(c, cipher_cleanup<F>) ||
      !EVP_CIPHER_meth_set_impl_ctx_size(c, sizeof(Vkc2016CipherData)) ||
      !EVP_CIPHER_meth_set_set_asn1_params(c, set_params<F>) ||
      !EVP_CIPHER_meth_set_get_asn1_params(c, get_params<F>) ||
      !EVP_CIPHER_meth_set_ctrl(c, cipher_ctrl<F>)) {
    EVP_CIPHER_meth_free(c);
    return nullptr;
  }
  return c;
}

}  // namespace

#define KUZMAGMA_CIPHER(accessor, family, mode, nid)         \
  const EVP_CIPHER* accessor() {                             \
    static EVP_CIPHER* c = make_cipher<family, mode>(nid()); \
    return c;                                                \
  }

KUZMAGMA_CIPHER(vkc_kuznechik_ecb, kuzmagma_kuznechik, kModeEcb, ssf_nid_kuznechik_ecb)
KUZMAGMA_CIPHER(vkc_kuznechik_cbc, kuzmagma_kuznechik, kModeCbc, ssf_nid_kuznechik_cbc)
KUZMAGMA_CIPHER(vkc_kuznechik_ctr, kuzmagma_kuznechik, kModeCtr, ssf_nid_kuznechik_ctr)
KUZMAGMA_CIPHER(vkc_kuznechik_ofb, kuzmagma_kuznechik, kModeOfb, ssf_nid_kuznechik_ofb)
KUZMAGMA_CIPHER(vkc_kuznechik_cfb, kuzmagma_kuznechik, kModeCfb, ssf_nid_kuznechik_cfb)
KUZMAGMA_CIPHER(vkc_magma_ecb, kuzmagma_magma, kModeEcb, ssf_nid_magma_ecb)
KUZMAGMA_CIPHER(vkc_magma_cbc, kuzmagma_magma, kModeCbc, ssf_nid_magma_cbc)
KUZMAGMA_CIPHER(vkc_magma_ctr, kuzmagma_magma, kModeCtr, ssf_nid_magma_ctr)
KUZMAGMA_CIPHER(vkc_magma_ofb, kuzmagma_magma, kModeOfb, ssf_nid_magma_ofb)
KUZMAGMA_CIPHER(vkc_magma_cfb, kuzmagma_magma, kModeCfb, ssf_nid_magma_cfb)
#undef KUZMAGMA_CIPHER
