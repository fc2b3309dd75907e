#include "engines/gost/gost_mac_keys.h"

#include <openssl/crypto.h>

#include <cstdio>
#include <cstring>

#include "engines/gost/gost_pkey_nids.h"

namespace {

struct MacMember {
  int (*nid)();
  size_t mac_len;
  const char* msg_digest;
  const char* msg_key_len;
  const char* msg_key_missing;
  const char* msg_key_str;
  const char* msg_hexkey_str;
};

const MacMember kMembers[] = {
    {gost_nid_mac_28147, 4, "pkey_vkc_mac_ctrl: EVP_PKEY_CTRL_MD invalid digest type\n",
     "pkey_vkc_mac_ctrl: wrong key length = ",
     "pkey_vkc_mac_ctrl: EVP_PKEY_CTRL_DIGESTINIT MAC key not set\n",
     "pkey_vkc_mac_ctrl_str: invalid key string length = ",
     "pkey_vkc_mac_ctrl_str: invalid key string length = "},
    {gost_nid_mac_kuznechik, 8, "pkey_vkc_mac_ctrl: EVP_PKEY_CTRL_MD invalid digest type\n",
     "pkey_vkc_kuznechik_mac_ctrl: wrong key length = ",
     "pkey_vkc_kuznechik_mac_ctrl: EVP_PKEY_CTRL_DIGESTINIT MAC key not set\n",
     "pkey_vkc_mac_ctrl_str: invalid key string length = ",
     "pkey_vkc_kuznechik_mac_ctrl_str: invalid key string length = "},
    {gost_nid_mac_magma, 4, "pkey_vkc_magma_mac_ctrl: EVP_PKEY_CTRL_MD invalid digest type\n",
     "pkey_vkc_magma_mac_ctrl: wrong key length = ",
     "pkey_vkc_magma_mac_ctrl: EVP_PKEY_CTRL_DIGESTINIT MAC key not set\n",
     "pkey_vkc_magma_mac_ctrl_str: invalid key string length = ",
     "pkey_vkc_magma_mac_ctrl_str: invalid key string length = "},
};

GostMacPkeyCtxData* data_of(EVP_PKEY_CTX* ctx) {
  return static_cast<GostMacPkeyCtxData*>(EVP_PKEY_CTX_get_data(ctx));
}

int mac_init(EVP_PKEY_CTX* ctx) {
  auto* data = static_cast<GostMacPkeyCtxData*>(OPENSSL_zalloc(sizeof(GostMacPkeyCtxData)));
  if (data == nullptr) return 0;
  EVP_PKEY_CTX_set_data(ctx, data);
  return 1;
}

int mac_copy(EVP_PKEY_CTX* dst, const EVP_PKEY_CTX* src) {
  const auto* from =
      static_cast<const GostMacPkeyCtxData*>(EVP_PKEY_CTX_get_data(const_cast<EVP_PKEY_CTX*>(src)));
  auto* data = static_cast<GostMacPkeyCtxData*>(OPENSSL_zalloc(sizeof(GostMacPkeyCtxData)));
  if (data == nullptr) return 0;
  if (from != nullptr) *data = *from;
  EVP_PKEY_CTX_set_data(dst, data);
  return 1;
}

void mac_cleanup(EVP_PKEY_CTX* ctx) {
  GostMacPkeyCtxData* data = data_of(ctx);
  if (data == nullptr) return;
  OPENSSL_clear_free(data, sizeof(*data));
  EVP_PKEY_CTX_set_data(ctx, nullptr);
}

template <int M>
int mac_ctrl(EVP_PKEY_CTX* ctx, int type, int p1, void* p2) {
  const MacMember& m = kMembers[M];
  GostMacPkeyCtxData* data = data_of(ctx);
  if (data == nullptr) return 0;
  switch (type) {
    case EVP_PKEY_CTRL_MD: {
      const auto* md = static_cast<const EVP_MD*>(p2);
      if (md == nullptr || EVP_MD_get_type(md) != m.nid()) {
        fprintf(stderr, "%s", m.msg_digest);
        return 0;
      }
      data->md = md;
      return 1;
    }
    case EVP_PKEY_CTRL_PKCS7_ENCRYPT:
    case EVP_PKEY_CTRL_PKCS7_DECRYPT:
    case EVP_PKEY_CTRL_PKCS7_SIGN:
      return 1;
    case EVP_PKEY_CTRL_SET_MAC_KEY:
      if (p1 != kGostMacKeyLen || p2 == nullptr) {
        fprintf(stderr, "%s%d\n", m.msg_key_len, p1);
        return 0;
      }
      memcpy(data->key, p2, kGostMacKeyLen);
      data->key_set = 1;
      return 1;
    case EVP_PKEY_CTRL_DIGESTINIT: {
      auto* mctx = static_cast<EVP_MD_CTX*>(p2);
      const void* key = nullptr;
      if (data->key_set) {
        key = data->key;
      } else if (EVP_PKEY* pkey = EVP_PKEY_CTX_get0_pkey(ctx); pkey != nullptr) {
        key = EVP_PKEY_get0(pkey);
      }
      if (key == nullptr) {
        fprintf(stderr, "%s", m.msg_key_missing);
        return 0;
      }
      return EVP_MD_CTX_ctrl(mctx, kGostMdCtrlSetKey, kGostMacKeyLen, const_cast<void*>(key));
    }
    default:
      return -2;
  }
}

template <int M>
int mac_ctrl_str(EVP_PKEY_CTX* ctx, const char* type, const char* value) {
  const MacMember& m = kMembers[M];
  if (type == nullptr || value == nullptr) return 0;
  if (strcmp(type, "key") == 0) {
    size_t len = strlen(value);
    if (len != kGostMacKeyLen) {
      fprintf(stderr, "%s%d\n", m.msg_key_str, static_cast<int>(len));
      return 0;
    }
    return mac_ctrl<M>(ctx, EVP_PKEY_CTRL_SET_MAC_KEY, kGostMacKeyLen, const_cast<char*>(value));
  }
  if (strcmp(type, "hexkey") == 0) {
    long len = 0;
    unsigned char* key = OPENSSL_hexstr2buf(value, &len);
    if (key == nullptr) return 0;
    int ret = 0;
    if (len != kGostMacKeyLen) {
      fprintf(stderr, "%s%d\n", m.msg_hexkey_str, static_cast<int>(len));
    } else {
      ret = mac_ctrl<M>(ctx, EVP_PKEY_CTRL_SET_MAC_KEY, kGostMacKeyLen, key);
    }
    OPENSSL_clear_free(key, static_cast<size_t>(len));
    return ret;
  }
  return -2;
}

template <int M>
int mac_keygen(EVP_PKEY_CTX* ctx, EVP_PKEY* pkey) {
  GostMacPkeyCtxData* data = data_of(ctx);
  if (data == nullptr || !data->key_set) {
    fprintf(stderr, "pkey_vkc_mac_keygen: key not set\n");
    return 0;
  }
  auto* key = static_cast<unsigned char*>(OPENSSL_memdup(data->key, kGostMacKeyLen));
  if (key == nullptr) return 0;
  if (!EVP_PKEY_assign(pkey, kMembers[M].nid(), key)) {
    OPENSSL_clear_free(key, kGostMacKeyLen);
    return 0;
  }
  return 1;
}

int mac_signctx_init(EVP_PKEY_CTX*, EVP_MD_CTX*) { return 1; }

template <int M>
int mac_signctx(EVP_PKEY_CTX*, unsigned char* sig, size_t* siglen, EVP_MD_CTX* mctx) {
  if (siglen == nullptr) return 0;
  size_t cap = *siglen;
  *siglen = kMembers[M].mac_len;
  if (sig == nullptr) return 1;
  // The digest writes its whole output: the buffer must hold it.
  int md_size = EVP_MD_CTX_get_size(mctx);
  if (md_size <= 0 || cap < static_cast<size_t>(md_size)) return 0;
  unsigned int len = 0;
  if (!EVP_DigestFinal_ex(mctx, sig, &len)) return 0;
  *siglen = len;
  return 1;
}

template <int M>
int mac_verifyctx(EVP_PKEY_CTX*, const unsigned char* sig, int siglen, EVP_MD_CTX* mctx) {
  unsigned char mac[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  if (sig == nullptr || !EVP_DigestFinal_ex(mctx, mac, &len)) return 0;
  const size_t mac_len = kMembers[M].mac_len;
  return siglen >= 0 && static_cast<size_t>(siglen) == mac_len && len >= mac_len &&
         CRYPTO_memcmp(mac, sig, mac_len) == 0;
}

void mackey_free(EVP_PKEY* pkey) { OPENSSL_clear_free(EVP_PKEY_get0(pkey), kGostMacKeyLen); }

template <int M>
int mac_ameth_ctrl(EVP_PKEY*, int op, long, void* arg2) {
  if (op != ASN1_PKEY_CTRL_DEFAULT_MD_NID) return -2;
  *static_cast<int*>(arg2) = kMembers[M].nid();
  return 2;
}

template <int M>
void set_pmeth(EVP_PKEY_METHOD* pmeth) {
  EVP_PKEY_meth_set_init(pmeth, mac_init);
  EVP_PKEY_meth_set_copy(pmeth, mac_copy);
  EVP_PKEY_meth_set_cleanup(pmeth, mac_cleanup);
  EVP_PKEY_meth_set_keygen(pmeth, nullptr, mac_keygen<M>);
  EVP_PKEY_meth_set_signctx(pmeth, mac_signctx_init, mac_signctx<M>);
  EVP_PKEY_meth_set_verifyctx(pmeth, mac_signctx_init, mac_verifyctx<M>);
  EVP_PKEY_meth_set_ctrl(pmeth, mac_ctrl<M>, mac_ctrl_str<M>);
}

template <int M>
void set_ameth(EVP_PKEY_ASN1_METHOD* ameth) {
  EVP_PKEY_asn1_set_free(ameth, mackey_free);
  EVP_PKEY_asn1_set_ctrl(ameth, mac_ameth_ctrl<M>);
}

int member_of(int nid) {
  if (nid == NID_undef) return -1;
  for (int i = 0; i < 3; i++)
    if (kMembers[i].nid() == nid) return i;
  return -1;
}

}  // namespace

bool gost_mac_pmeth_set_slots(EVP_PKEY_METHOD* pmeth, int nid) {
  switch (member_of(nid)) {
    case 0:
      set_pmeth<0>(pmeth);
      return true;
    case 1:
      set_pmeth<1>(pmeth);
      return true;
    case 2:
      set_pmeth<2>(pmeth);
      return true;
    default:
      return false;
  }
}

bool gost_mac_ameth_set_slots(EVP_PKEY_ASN1_METHOD* ameth, int nid) {
  switch (member_of(nid)) {
    case 0:
      set_ameth<0>(ameth);
      return true;
    case 1:
      set_ameth<1>(ameth);
      return true;
    case 2:
      set_ameth<2>(ameth);
      return true;
    default:
      return false;
  }
}
