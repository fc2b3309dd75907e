#include "engines/gost/gost_pmeth.h"

#include <openssl/objects.h>

#include <cctype>
#include <cstdio>
#include <cstring>

#include "engines/gost/gost_ameth.h"
#include "engines/gost/gost_keypair_ops.h"
#include "engines/gost/gost_kt_pmeth.h"
#include "engines/gost/gost_pkey_engine.h"
#include "engines/gost/gost_pkey_nids.h"

namespace {

// The six key types, in the order of the accessors below.
using NidFn = int (*)();
constexpr NidFn kKeyTypes[] = {gost_nid_key_2001, gost_nid_key_2012_256, gost_nid_key_2012_512,
                               gost_nid_dh_2001,  gost_nid_dh_2012_256,  gost_nid_dh_2012_512};

GostPkeyCtxData* data_of(EVP_PKEY_CTX* ctx) {
  return static_cast<GostPkeyCtxData*>(EVP_PKEY_CTX_get_data(ctx));
}

void free_ukm(GostPkeyCtxData* data) {
  OPENSSL_clear_free(data->ukm, data->ukm_len);
  data->ukm = nullptr;
  data->ukm_len = 0;
}

// The key type of the method is fixed per method: each one gets its own
// init, which records it.
template <int Type>
int pkey_vkc_init(EVP_PKEY_CTX* ctx) {
  auto* data = static_cast<GostPkeyCtxData*>(OPENSSL_zalloc(sizeof(GostPkeyCtxData)));
  if (data == nullptr) return 0;
  data->key_nid = kKeyTypes[Type]();
  EVP_PKEY* pkey = EVP_PKEY_CTX_get0_pkey(ctx);
  if (pkey != nullptr) {
    int nid = EVP_PKEY_get_base_id(pkey);
    if (!gost_is_key_nid(nid)) {
      OPENSSL_free(data);
      return 0;
    }
    data->key_nid = nid;
    const VK_GOST2012_KEYPAIR* key = gost_keypair_of(pkey);
    if (key != nullptr) data->param_nid = key->param_nid;
  }
  EVP_PKEY_CTX_set_data(ctx, data);
  return 1;
}

int pkey_vkc_copy(EVP_PKEY_CTX* dst, const EVP_PKEY_CTX* src) {
  const auto* from =
      static_cast<const GostPkeyCtxData*>(EVP_PKEY_CTX_get_data(const_cast<EVP_PKEY_CTX*>(src)));
  auto* data = static_cast<GostPkeyCtxData*>(OPENSSL_zalloc(sizeof(GostPkeyCtxData)));
  if (data == nullptr) return 0;
  if (from != nullptr) {
    *data = *from;
    // The copy has no UKM of its own.
    data->ukm = nullptr;
    data->ukm_len = 0;
  }
  EVP_PKEY_CTX_set_data(dst, data);
  return 1;
}

void pkey_vkc_cleanup(EVP_PKEY_CTX* ctx) {
  GostPkeyCtxData* data = data_of(ctx);
  if (data == nullptr) return;
  free_ukm(data);
  OPENSSL_free(data);
  EVP_PKEY_CTX_set_data(ctx, nullptr);
}

int pkey_vkc_paramgen_init(EVP_PKEY_CTX*) { return 1; }

int engine_default_paramset(int key_nid) {
  const VKC2012_ENGINE_CTX* ectx = gost_pkey_engine_ctx(key_nid);
  if (ectx == nullptr) return NID_undef;
  if (key_nid == gost_nid_key_2012_256()) return ectx->gost2012_256_param_nid;
  if (key_nid == gost_nid_key_2012_512()) return ectx->gost2012_512_param_nid;
  if (key_nid == gost_nid_key_2001()) return ectx->gost2001_param_nid;
  return NID_undef;
}

int pkey_gost2012_paramgen(EVP_PKEY_CTX* ctx, EVP_PKEY* pkey) {
  GostPkeyCtxData* data = data_of(ctx);
  if (data == nullptr) return 0;
  int param_nid = data->param_nid;
  if (param_nid == NID_undef) param_nid = engine_default_paramset(data->key_nid);
  if (param_nid == NID_undef || !gost_is_signing_key_nid(data->key_nid)) {
    fprintf(stderr, "pkey_gost2012_paramgen: No parameters set\n");
    return 0;
  }
  VK_GOST2012_KEYPAIR* key = VK_GOST2012_KEYPAIR_new();
  if (key == nullptr) return 0;
  if (!fill_GOST2012_params(key, data->key_nid, param_nid)) {
    fprintf(stderr, "fill_GOST2012_params failed\n");
    VK_GOST2012_KEYPAIR_free(key);
    return 0;
  }
  if (!EVP_PKEY_assign_GOST3410(pkey, key)) {
    VK_GOST2012_KEYPAIR_free(key);
    return 0;
  }
  return 1;
}

int pkey_gost2012_keygen(EVP_PKEY_CTX* ctx, EVP_PKEY* pkey) {
  if (!pkey_gost2012_paramgen(ctx, pkey)) {
    fprintf(stderr, "pkey_gost2012_paramgen failed\n");
    return 0;
  }
  VK_GOST2012_KEYPAIR* key = gost_keypair_of(pkey);
  if (gost_pkey_engine_ctx(key->key_nid) == nullptr) {
    fprintf(stderr, "ENGINE_get_ex_data failed\n");
    return 0;
  }
  int rc = vkc_gost2012_keygen_wrapper(key);
  if (rc != 1) {
    fprintf(stderr, "vkc_gost2012_keygen_wrapper failed, rc = %d\n", rc);
    return 0;
  }
  return 1;
}

bool accepted_digest(const EVP_MD* md) {
  if (md == nullptr) return false;
  int nid = EVP_MD_get_type(md);
  return nid != NID_undef && (nid == gost_nid_md_94() || nid == gost_nid_md_2012_256() ||
                              nid == gost_nid_md_2012_512());
}

int set_paramset(EVP_PKEY_CTX* ctx, int nid) {
  return pkey_vkc_ctrl(ctx, kGostCtrlParamset, nid, nullptr);
}

// "paramset" of a 256-bit key: "0", "A", "B", "C", "XA", "XB" or a name of
// a set of the 256-bit table.
int paramset_256(const char* value) {
  size_t len = strlen(value);
  if (len == 1) {
    switch (toupper(static_cast<unsigned char>(value[0]))) {
      case '0':
        return NID_id_GostR3410_2001_TestParamSet;
      case 'A':
        return NID_id_GostR3410_2001_CryptoPro_A_ParamSet;
      case 'B':
        return NID_id_GostR3410_2001_CryptoPro_B_ParamSet;
      case 'C':
        return NID_id_GostR3410_2001_CryptoPro_C_ParamSet;
      default:
        break;
    }
  } else if (len == 2 && toupper(static_cast<unsigned char>(value[0])) == 'X') {
    switch (toupper(static_cast<unsigned char>(value[1]))) {
      case 'A':
        return NID_id_GostR3410_2001_CryptoPro_XchA_ParamSet;
      case 'B':
        return NID_id_GostR3410_2001_CryptoPro_XchB_ParamSet;
      default:
        return NID_undef;
    }
  }
  return -1;  // look the text up
}

int paramset_512(const char* value) {
  if (strlen(value) != 1) return -1;
  static const char* const kOids[] = {"1.2.643.7.1.2.1.2.0", "1.2.643.7.1.2.1.2.1",
                                      "1.2.643.7.1.2.1.2.2"};
  switch (toupper(static_cast<unsigned char>(value[0]))) {
    case '0':
      return OBJ_txt2nid(kOids[0]);
    case 'A':
      return OBJ_txt2nid(kOids[1]);
    case 'B':
      return OBJ_txt2nid(kOids[2]);
    default:
      return NID_undef;
  }
}

template <int Type>
void set_slots(EVP_PKEY_METHOD* pmeth) {
  EVP_PKEY_meth_set_init(pmeth, pkey_vkc_init<Type>);
  EVP_PKEY_meth_set_copy(pmeth, pkey_vkc_copy);
  EVP_PKEY_meth_set_cleanup(pmeth, pkey_vkc_cleanup);
  EVP_PKEY_meth_set_paramgen(pmeth, pkey_vkc_paramgen_init, pkey_gost2012_paramgen);
  EVP_PKEY_meth_set_keygen(pmeth, nullptr, pkey_gost2012_keygen);
  EVP_PKEY_meth_set_sign(pmeth, nullptr, pkey_gost2012_sign);
  EVP_PKEY_meth_set_verify(pmeth, nullptr, pkey_gost2012_verify);
  EVP_PKEY_meth_set_ctrl(pmeth, pkey_vkc_ctrl, pkey_vkc_ctrl_gost2012_str);
  EVP_PKEY_meth_set_encrypt(pmeth, nullptr, pkey_vkc_encrypt);
  EVP_PKEY_meth_set_decrypt(pmeth, nullptr, pkey_vkc_decrypt);
  EVP_PKEY_meth_set_derive(pmeth, nullptr, pkey_vkc_derive);
}

}  // namespace

int pkey_gost2012_sign(EVP_PKEY_CTX* ctx, unsigned char* sig, size_t* siglen,
                       const unsigned char* tbs, size_t tbslen) {
  EVP_PKEY* pkey = EVP_PKEY_CTX_get0_pkey(ctx);
  if (pkey == nullptr || siglen == nullptr) return 0;
  size_t cap = *siglen;
  size_t size = EVP_PKEY_get_base_id(pkey) == gost_nid_key_2012_512() ? 128 : 64;
  *siglen = size;
  if (sig == nullptr) return 1;
  // The caller's buffer holds *siglen bytes on entry.
  if (cap < size) return 0;
  return vkc_gost2012_do_sign(tbs, tbslen, sig, cap, gost_keypair_of(pkey));
}

int pkey_gost2012_verify(EVP_PKEY_CTX* ctx, const unsigned char* sig, size_t siglen,
                         const unsigned char* tbs, size_t tbslen) {
  EVP_PKEY* pkey = EVP_PKEY_CTX_get0_pkey(ctx);
  VK_GOST2012_KEYPAIR* key = gost_keypair_of(pkey);
  if (key == nullptr || sig == nullptr || tbs == nullptr) return 0;
  return vkc_gost2012_do_verify(tbs, tbslen, sig, siglen, key);
}

int pkey_vkc_ctrl(EVP_PKEY_CTX* ctx, int type, int p1, void* p2) {
  GostPkeyCtxData* data = data_of(ctx);
  if (data == nullptr) return 0;
  switch (type) {
    case EVP_PKEY_CTRL_MD: {
      const auto* md = static_cast<const EVP_MD*>(p2);
      if (!accepted_digest(md)) return 0;
      data->md = md;
      return 1;
    }
    case EVP_PKEY_CTRL_PEER_KEY:
      if (p1 < 2) return 1;
      if (p1 == 2) return static_cast<int>(data->peer_key);
      if (p1 == 3) {
        data->peer_key = 1;
        return 1;
      }
      return -2;
    case EVP_PKEY_CTRL_PKCS7_ENCRYPT:
    case EVP_PKEY_CTRL_PKCS7_DECRYPT:
    case EVP_PKEY_CTRL_PKCS7_SIGN:
    case EVP_PKEY_CTRL_DIGESTINIT:
    case EVP_PKEY_CTRL_CMS_ENCRYPT:
    case EVP_PKEY_CTRL_CMS_DECRYPT:
    case EVP_PKEY_CTRL_CMS_SIGN:
      return 1;
    case EVP_PKEY_CTRL_SET_IV: {
      if (p1 < 0 || (p1 > 0 && p2 == nullptr)) return 0;
      unsigned char* copy = nullptr;
      if (p1 > 0) {
        copy = static_cast<unsigned char*>(OPENSSL_memdup(p2, static_cast<size_t>(p1)));
        if (copy == nullptr) return 0;
      }
      // The UKM it replaces is released here.
      free_ukm(data);
      data->ukm = copy;
      data->ukm_len = static_cast<uint32_t>(p1);
      return 1;
    }
    case kGostCtrlParamset:
      data->param_nid = p1;
      return 1;
    case kGostCtrlSecondNid:
      data->second_nid = p1;
      return 1;
    default:
      return -2;
  }
}

int pkey_vkc_ctrl_gost2012_str(EVP_PKEY_CTX* ctx, const char* type, const char* value) {
  if (type == nullptr || strcmp(type, "paramset") != 0) return -2;
  if (value == nullptr) return 0;
  GostPkeyCtxData* data = data_of(ctx);
  if (data == nullptr) return 0;
  int key_nid = data->key_nid;
  if (!gost_is_signing_key_nid(key_nid)) return set_paramset(ctx, NID_undef);
  bool big = key_nid == gost_nid_key_2012_512();
  int nid = big ? paramset_512(value) : paramset_256(value);
  if (nid == NID_undef) return 0;
  if (nid < 0) {
    nid = OBJ_txt2nid(value);
    if (nid == NID_undef) return 0;
    if (find_param_index_by_nid(gost_paramset_table(key_nid), nid) < 0) {
      fprintf(stderr, "pkey_vkc_ctrl_gost2012_str: invalid parameter set\n");
      return 0;
    }
  }
  return set_paramset(ctx, nid);
}

bool gost_pmeth_set_slots(EVP_PKEY_METHOD* pmeth, int nid) {
  if (nid == NID_undef) return false;
  if (nid == kKeyTypes[0]())
    set_slots<0>(pmeth);
  else if (nid == kKeyTypes[1]())
    set_slots<1>(pmeth);
  else if (nid == kKeyTypes[2]())
    set_slots<2>(pmeth);
  else if (nid == kKeyTypes[3]())
    set_slots<3>(pmeth);
  else if (nid == kKeyTypes[4]())
    set_slots<4>(pmeth);
  else if (nid == kKeyTypes[5]())
    set_slots<5>(pmeth);
  else
    return false;
  return true;
}
