#include "engines/gost/gost_kt_pmeth.h"

#include <openssl/crypto.h>
#include <openssl/objects.h>
#include <openssl/rand.h>

#include <climits>
#include <cstdio>
#include <cstring>

#include "engines/gost/gost_keypair.h"
#include "engines/gost/gost_kt_asn1.h"
#include "engines/gost/gost_kt_wrap.h"
#include "engines/gost/gost_pkey_engine.h"
#include "engines/gost/gost_pkey_nids.h"
#include "engines/gost/gost_pmeth.h"
#include "ossl_ptr.h"

namespace {

using KeyTransportPtr =
    std::unique_ptr<VKC_KEY_TRANSPORT, orvel::Free<VKC_KEY_TRANSPORT, VKC_KEY_TRANSPORT_free>>;

constexpr uint32_t kUkmShort = 8;
constexpr uint32_t kUkmLong = 16;

GostPkeyCtxData* data_of(EVP_PKEY_CTX* ctx) {
  return static_cast<GostPkeyCtxData*>(EVP_PKEY_CTX_get_data(ctx));
}

int key_nid_of(EVP_PKEY_CTX* ctx) {
  EVP_PKEY* pkey = EVP_PKEY_CTX_get0_pkey(ctx);
  return pkey != nullptr ? EVP_PKEY_get_base_id(pkey) : NID_undef;
}

// The wrap parameter set: CryptoPro-A for 2001 keys, TC26 Z for 2012
// keys, else the context's set or the engine's default.
int wrap_paramset(int key_nid, const GostPkeyCtxData* data, const VKC2012_ENGINE_CTX* ectx) {
  int nid = gost_signing_key_nid(key_nid);
  if (nid == gost_nid_key_2001()) return NID_id_Gost28147_89_CryptoPro_A_ParamSet;
  if (nid == gost_nid_key_2012_256() || nid == gost_nid_key_2012_512())
    return ssf_nid_id_tc26_gost_28147_param_Z();
  if (data != nullptr && data->second_nid != NID_undef) return data->second_nid;
  return ectx->gost28147_param_nid;
}

bool all_zero(const unsigned char* p, size_t n) {
  unsigned char acc = 0;
  for (size_t i = 0; i < n; i++) acc |= p[i];
  return acc == 0;
}

}  // namespace

int pkey_vkc_encrypt(EVP_PKEY_CTX* ctx, unsigned char* out, size_t* out_len,
                     const unsigned char* key, size_t key_len) {
  int key_nid = key_nid_of(ctx);
  const VKC2012_ENGINE_CTX* ectx = gost_pkey_engine_ctx(gost_signing_key_nid(key_nid));
  if (ectx == nullptr) {
    fprintf(stderr, "ENGINE_get_ex_data failed\n");
    return 0;
  }
  GostPkeyCtxData* data = data_of(ctx);
  const VK_GOST2012_KEYPAIR* recp = gost_keypair_of(EVP_PKEY_CTX_get0_pkey(ctx));
  if (data == nullptr || recp == nullptr || out_len == nullptr) return 0;
  int wrap_nid = wrap_paramset(key_nid, data, ectx);
  unsigned char wrap_der[kVkcParamOidMax];
  uint32_t wrap_len = 0;
  if (wrap_nid == NID_undef || OBJ_nid2obj(wrap_nid) == nullptr ||
      (wrap_len = gost_oid_der(wrap_nid, wrap_der, sizeof(wrap_der))) == 0) {
    fprintf(stderr, "Illegal GOST 28147-89 cipher paramset NID: %d\n", wrap_nid);
    return 0;
  }
  const VK_GOST2012_KEYPAIR* peer = nullptr;
  EVP_PKEY* peer_pkey = EVP_PKEY_CTX_get0_peerkey(ctx);
  if (peer_pkey != nullptr) {
    peer = gost_keypair_of(peer_pkey);
    if (peer == nullptr) {
      fprintf(stderr, "NULL my_gost_key\n");
      return 0;
    }
  }
  unsigned char ukm[kUkmLong];
  uint32_t ukm_len = 0;
  if (data->ukm != nullptr) {
    // A set UKM of another length than 8 or 16 bytes is refused below,
    // before any of it is used.
    if (data->ukm_len != kUkmShort && data->ukm_len != kUkmLong) {
      fprintf(stderr, "%s:%d Usupported UKM length: %d. Should be 8 or 16\n", __FILE__, __LINE__,
              static_cast<int>(data->ukm_len));
      return 0;
    }
    ukm_len = data->ukm_len;
    memcpy(ukm, data->ukm, ukm_len);
  } else {
    ukm_len = gost_signing_key_nid(key_nid) == gost_nid_key_2012_512() ? kUkmLong : kUkmShort;
    do {
      if (RAND_bytes(ukm, static_cast<int>(ukm_len)) != 1) {
        fprintf(stderr, "RAND_bytes failed\n");
        return 0;
      }
    } while (all_zero(ukm, ukm_len));
  }
  uint32_t len = out != nullptr ? static_cast<uint32_t>(*out_len > UINT32_MAX ? UINT32_MAX
                                                                             : *out_len)
                                : 0;
  int rc = gost3410_kek_enc(recp, peer, wrap_der, wrap_len, ukm, ukm_len, key,
                            key_len > UINT32_MAX ? 0 : static_cast<uint32_t>(key_len), out, &len);
  OPENSSL_cleanse(ukm, sizeof(ukm));
  if (rc != 1) {
    fprintf(stderr, "gost3410_kek_enc failed, rc = 0x%x\n", static_cast<unsigned>(rc));
    return 0;
  }
  *out_len = len;
  return 1;
}

int pkey_vkc_decrypt(EVP_PKEY_CTX* ctx, unsigned char* out, size_t* out_len,
                     const unsigned char* in, size_t in_len) {
  int key_nid = key_nid_of(ctx);
  if (gost_pkey_engine_ctx(gost_signing_key_nid(key_nid)) == nullptr) {
    fprintf(stderr, "pkey_vkc_decrypt: ENGINE_get_ex_data failed\n");
    return -1;
  }
  if (out_len == nullptr) return -1;
  if (out == nullptr) {
    *out_len = kGostCekLength;
    return 1;
  }
  // The CEK is written only into room for all of it.
  if (*out_len < kGostCekLength || in == nullptr || in_len == 0 || in_len > LONG_MAX ||
      in_len > UINT32_MAX)
    return -1;
  const unsigned char* p = in;
  KeyTransportPtr kt(d2i_VKC_KEY_TRANSPORT(nullptr, &p, static_cast<long>(in_len)));
  if (kt == nullptr) {
    fprintf(stderr, "pkey_vkc_decrypt: d2i_VKC_KEY_TRANSPORT failed\n");
    return -1;
  }
  X509_PUBKEY* eph = kt->key_agreement_info->ephem_key;
  if (eph != nullptr) {
    // The sender's ephemeral key becomes the peer key; the toolkit checks
    // that its parameters match the recipient's.
    orvel::EvpPkeyPtr eph_key(X509_PUBKEY_get(eph));
    if (eph_key == nullptr || EVP_PKEY_derive_set_peer(ctx, eph_key.get()) <= 0) {
      fprintf(stderr, "pkey_vkc_decrypt: EVP_PKEY_derive_set_peer failed\n");
      return -1;
    }
  } else if (EVP_PKEY_CTX_ctrl(ctx, -1, -1, EVP_PKEY_CTRL_PEER_KEY, 3, nullptr) <= 0) {
    fprintf(stderr, "pkey_vkc_decrypt: EVP_PKEY_CTX_ctrl failed\n");
    return -1;
  }
  EVP_PKEY* peer = EVP_PKEY_CTX_get0_peerkey(ctx);
  if (peer == nullptr) {
    fprintf(stderr, "pkey_vkc_decrypt: NULL peer key\n");
    return -1;
  }
  const VK_GOST2012_KEYPAIR* recp = gost_keypair_of(EVP_PKEY_CTX_get0_pkey(ctx));
  if (recp == nullptr || !recp->priv_present) {
    fprintf(stderr, "NULL recp_gost_pr_key\n");
    return -1;
  }
  const VK_GOST2012_KEYPAIR* sender = gost_keypair_of(peer);
  if (sender == nullptr) {
    fprintf(stderr, "NULL send_gost_pu_key\n");
    return -1;
  }
  uint32_t len = 0;
  if (gost3410_kek_dec(recp->priv_key, recp->priv_key_len, sender, in,
                       static_cast<uint32_t>(in_len), out, &len) != 1) {
    fprintf(stderr, "gost3410_kek_dec failed\n");
    return -1;
  }
  *out_len = len;
  return 1;
}

int pkey_vkc_derive(EVP_PKEY_CTX* ctx, unsigned char* key, size_t* key_len) {
  int key_nid = key_nid_of(ctx);
  if (gost_pkey_engine_ctx(gost_signing_key_nid(key_nid)) == nullptr) {
    fprintf(stderr, "ENGINE_get_ex_data failed\n");
    return 0;
  }
  GostPkeyCtxData* data = data_of(ctx);
  if (data == nullptr || key_len == nullptr) return 0;
  if (data->ukm == nullptr) {
    fprintf(stderr, "pkey_vkc_derive: UKM not set\n");
    return 0;
  }
  const VK_GOST2012_KEYPAIR* own = gost_keypair_of(EVP_PKEY_CTX_get0_pkey(ctx));
  const VK_GOST2012_KEYPAIR* peer = gost_keypair_of(EVP_PKEY_CTX_get0_peerkey(ctx));
  if (own == nullptr || peer == nullptr) {
    fprintf(stderr, "pkey_vkc_derive: NULL peer key\n");
    return 0;
  }
  uint32_t want = peer->pub_key_len == 128 ? kUkmLong : kUkmShort;
  // Never read past the UKM that was set.
  if (data->ukm_len < want) {
    fprintf(stderr, "pkey_vkc_derive: UKM not set\n");
    return 0;
  }
  if (all_zero(data->ukm, want)) {
    fprintf(stderr, "pkey_vkc_derive: Illegal zero UKM\n");
    return 0;
  }
  if (key == nullptr) {
    *key_len = kGostCekLength;
    return 1;
  }
  if (*key_len < kGostCekLength || !own->priv_present) return 0;
  unsigned char param_der[2 + 126];
  uint32_t param_len = gost_oid_der(own->param_nid, param_der, sizeof(param_der));
  if (param_len == 0) {
    fprintf(stderr, "make_kek: invalid param_nid %d\n", own->param_nid);
    return 0;
  }
  uint32_t len = 0;
  if (vkc_dh_gost3410_derive(key, &len, own->key_nid, own->priv_key, own->priv_key_len,
                             param_der, param_len, peer->pub_key, peer->pub_key_len, data->ukm,
                             want) != 1) {
    fprintf(stderr, "vkc_dh_gost3410_derive failed\n");
    *key_len = 0;
    return 0;
  }
  *key_len = len;
  return 1;
}
