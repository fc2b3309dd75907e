#include "engines/gost/gost_digests.h"

#include <openssl/objects.h>
#include <stdio.h>
#include <string.h>

#include "gost3411_94.h"
#include "hash_low/gost_r3411_2012.h"
#include "objects/ssf_objects.h"

namespace {

constexpr size_t kChunk = size_t{1} << 30;

// One hash of the crypto core behind the toolkit's digest callbacks.
template <typename Ctx>
struct HashOps {
  int32_t (*init)(Ctx*);
  int32_t (*update)(Ctx*, const uint8_t*, uint32_t);
  int32_t (*final)(Ctx*, uint8_t*);
  const char* init_name;    // "GOSTR3411_2012_256_Init"
  const char* update_name;  // "GOSTR3411_256_Update"
  const char* final_name;   // "GOSTR3411_2012_256_Final"
  const char* prefix;       // "vkc_digest_256"
};

int32_t gost94_init(Gost3411_94Context* ctx) {
  const Gost3411_94ParamSet* par = GOSTR3411_94_GetDefaultPar();
  if (par == nullptr) return GOSTR3411_94_ERR_PARAM;
  return GOSTR3411_94_Init_ex(ctx, par->sbox);
}

constexpr HashOps<Gost3411_94Context> kOps94 = {
    gost94_init,           GOSTR3411_94_Update,  GOSTR3411_94_Final, "GOSTR3411_94_Init",
    "GOSTR3411_94_Update", "GOSTR3411_94_Final", "vkc_digest_94"};
constexpr HashOps<Gost3411_2012Context> kOps256 = {
    GOSTR3411_2012_256_Init,   GOSTR3411_2012_256_Update, GOSTR3411_2012_256_Final,
    "GOSTR3411_2012_256_Init", "GOSTR3411_256_Update",    "GOSTR3411_2012_256_Final",
    "vkc_digest_256"};
constexpr HashOps<Gost3411_2012Context> kOps512 = {
    GOSTR3411_2012_512_Init,   GOSTR3411_2012_512_Update,   GOSTR3411_2012_512_Final,
    "GOSTR3411_2012_512_Init", "GOSTR3411_2012_512_Update", "GOSTR3411_2012_512_Final",
    "vkc_digest_512"};

template <typename Ctx, const HashOps<Ctx>& Ops>
struct Hash {
  static Ctx* data(EVP_MD_CTX* ctx) { return static_cast<Ctx*>(EVP_MD_CTX_get0_md_data(ctx)); }

  static int32_t reset(Ctx* c) {
    memset(c, 0, sizeof(*c));
    return Ops.init(c);
  }

  static int init(EVP_MD_CTX* ctx) {
    Ctx* c = data(ctx);
    if (c == nullptr) return 0;
    int32_t rc = reset(c);
    if (rc != 0) {
      fprintf(stderr, "%s failed, rc = 0x%x\n", Ops.init_name, static_cast<unsigned>(rc));
      return 0;
    }
    return 1;
  }

  static int update(EVP_MD_CTX* ctx, const void* in, size_t count) {
    if (count == 0) return 1;
    Ctx* c = data(ctx);
    if (c == nullptr || in == nullptr) return 0;
    const uint8_t* p = static_cast<const uint8_t*>(in);
    while (count > 0) {
      size_t n = count < kChunk ? count : kChunk;
      int32_t rc = Ops.update(c, p, static_cast<uint32_t>(n));
      if (rc != 0) {
        fprintf(stderr, "%s failed, rc = 0x%x\n", Ops.update_name, static_cast<unsigned>(rc));
        return 0;
      }
      p += n;
      count -= n;
    }
    return 1;
  }

  static int final(EVP_MD_CTX* ctx, unsigned char* md) {
    if (md == nullptr) return 1;
    Ctx* c = data(ctx);
    if (c == nullptr) return 0;
    int32_t rc = Ops.final(c, md);
    if (rc != 0) {
      fprintf(stderr, "%s failed, rc = 0x%x\n", Ops.final_name, static_cast<unsigned>(rc));
      return 0;
    }
    return 1;
  }

  // Initialising again wipes the state.
  static int cleanup(EVP_MD_CTX* ctx) {
    Ctx* c = data(ctx);
    if (c == nullptr) return 1;
    int32_t rc = reset(c);
    if (rc != 0) {
      fprintf(stderr, "%s_cleanup: %s_init failed, rc = 0x%x\n", Ops.prefix, Ops.prefix,
              static_cast<unsigned>(rc));
      return 0;
    }
    return 1;
  }

  static int copy(EVP_MD_CTX* to, const EVP_MD_CTX* from) {
    Ctx* dst = data(to);
    const Ctx* src = static_cast<const Ctx*>(EVP_MD_CTX_get0_md_data(from));
    if (dst == nullptr || src == nullptr) return 0;
    if (dst == src) return 1;
    int32_t rc = reset(dst);
    if (rc != 0) {
      fprintf(stderr, "%s_copy: %s_init failed, rc = 0x%x\n", Ops.prefix, Ops.prefix,
              static_cast<unsigned>(rc));
      return 0;
    }
    memcpy(dst, src, sizeof(*dst));
    return 1;
  }

  static EVP_MD* make(int nid, int size, int block) {
    if (nid == NID_undef) return nullptr;
    EVP_MD* md = EVP_MD_meth_new(nid, NID_undef);
    if (md == nullptr) return nullptr;
    // The toolkit's flag that let key methods sign with these digests is
    // gone: every digest may be used with every key type.
    if (!EVP_MD_meth_set_result_size(md, size) || !EVP_MD_meth_set_input_blocksize(md, block) ||
        !EVP_MD_meth_set_app_datasize(md, sizeof(Ctx)) || !EVP_MD_meth_set_flags(md, 0) ||
        !EVP_MD_meth_set_init(md, init) || !EVP_MD_meth_set_update(md, update) ||
        !EVP_MD_meth_set_final(md, final) || !EVP_MD_meth_set_copy(md, copy) ||
        !EVP_MD_meth_set_cleanup(md, cleanup)) {
      EVP_MD_meth_free(md);
      return nullptr;
    }
    return md;
  }
};

}  // namespace

const EVP_MD* EVP_gosthash_94() {
  static EVP_MD* md = Hash<Gost3411_94Context, kOps94>::make(NID_id_GostR3411_94, 32, 32);
  return md;
}

const EVP_MD* EVP_gosthash_2012_256() {
  static EVP_MD* md = Hash<Gost3411_2012Context, kOps256>::make(ssf_nid_md_gost12_256(), 32, 64);
  return md;
}

const EVP_MD* EVP_gosthash_2012_512() {
  static EVP_MD* md = Hash<Gost3411_2012Context, kOps512>::make(ssf_nid_md_gost12_512(), 64, 64);
  return md;
}
