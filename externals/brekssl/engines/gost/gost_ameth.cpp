#include "engines/gost/gost_ameth.h"

#include <openssl/cms.h>
#include <openssl/objects.h>
#include <openssl/pkcs7.h>

#include <cstdio>
#include <cstring>

#include "engines/gost/gost_key_params.h"
#include "engines/gost/gost_keypair_ops.h"
#include "engines/gost/gost_pkey_nids.h"
#include "ossl_ptr.h"

namespace {

using KeyParamsPtr =
    std::unique_ptr<VKC_GOST2012_KEY_PARAMS,
                    orvel::Free<VKC_GOST2012_KEY_PARAMS, VKC_GOST2012_KEY_PARAMS_free>>;

bool pub_is_zero(const VK_GOST2012_KEYPAIR* key) {
  for (unsigned char b : key->pub_key)
    if (b != 0) return false;
  return true;
}

// Computes the public value of a key that has only its private value.
bool ensure_public(VK_GOST2012_KEYPAIR* key) {
  if (!pub_is_zero(key)) return true;
  if (!key->priv_present) return false;
  return vkc_gost2012_compute_public_wrapper(key) == 1;
}

int default_digest_of(int key_nid) {
  if (key_nid == gost_nid_key_2001()) return gost_nid_md_94();
  if (key_nid == gost_nid_key_2012_512()) return gost_nid_md_2012_512();
  return gost_nid_md_2012_256();
}

int sign_digest_of(int key_nid) {
  if (key_nid == gost_nid_key_2012_512()) return gost_nid_md_2012_512();
  if (key_nid == gost_nid_key_2012_256()) return gost_nid_md_2012_256();
  return gost_nid_md_94();
}

int set_signer_algs(X509_ALGOR* digest_alg, X509_ALGOR* sig_alg, int key_nid) {
  if (key_nid == NID_undef) return -1;
  if (digest_alg != nullptr)
    X509_ALGOR_set0(digest_alg, OBJ_nid2obj(sign_digest_of(key_nid)), V_ASN1_NULL, nullptr);
  if (sig_alg != nullptr) X509_ALGOR_set0(sig_alg, OBJ_nid2obj(key_nid), V_ASN1_NULL, nullptr);
  return 1;
}

int set_recipient_alg(X509_ALGOR* alg, const EVP_PKEY* pk) {
  if (alg == nullptr) return -1;
  ASN1_STRING* params = encode_gost2012_algor_params(pk);
  if (params == nullptr) return -1;
  if (!X509_ALGOR_set0(alg, OBJ_nid2obj(EVP_PKEY_get_base_id(pk)), V_ASN1_SEQUENCE, params)) {
    ASN1_STRING_free(params);
    return -1;
  }
  return 1;
}

}  // namespace

ASN1_STRING* encode_gost2012_algor_params(const EVP_PKEY* pkey) {
  const VK_GOST2012_KEYPAIR* key = gost_keypair_of(pkey);
  if (key == nullptr) {
    fprintf(stderr, "encode_gost2012_algor_params  - 2.5 -\n");
    return nullptr;
  }
  KeyParamsPtr params(VKC_GOST2012_KEY_PARAMS_new());
  orvel::Asn1StringPtr out(ASN1_STRING_new());
  // A key without a parameter set has nothing to write.
  if (!params || !out || key->param_nid == NID_undef ||
      gost2012_key_params_default_digest(key->key_nid) == NID_undef) {
    fprintf(stderr, "encode_gost2012_algor_params: malloc failed\n");
    return nullptr;
  }
  ASN1_OBJECT_free(params->key_params);
  params->key_params = OBJ_nid2obj(key->param_nid);
  params->hash_params = OBJ_nid2obj(gost2012_key_params_default_digest(key->key_nid));
  unsigned char* der = nullptr;
  int len = params->key_params != nullptr && params->hash_params != nullptr
                ? i2d_VKC_GOST2012_KEY_PARAMS(params.get(), &der)
                : -1;
  if (len <= 0) {
    fprintf(stderr, "encode_gost2012_algor_params: malloc failed\n");
    return nullptr;
  }
  ASN1_STRING_set0(out.get(), der, len);
  out->type = V_ASN1_SEQUENCE;
  return out.release();
}

VK_GOST2012_KEYPAIR* gost_keypair_get_or_create(EVP_PKEY* pkey, int key_nid) {
  key_nid = gost_signing_key_nid(key_nid);
  if (EVP_PKEY_get_base_id(pkey) == key_nid) {
    auto* key = static_cast<VK_GOST2012_KEYPAIR*>(EVP_PKEY_get0(pkey));
    if (key != nullptr) return key;
  }
  VK_GOST2012_KEYPAIR* key = VK_GOST2012_KEYPAIR_new();
  if (key == nullptr) return nullptr;
  key->key_nid = key_nid;
  if (!EVP_PKEY_assign(pkey, key_nid, key)) {
    VK_GOST2012_KEYPAIR_free(key);
    return nullptr;
  }
  return key;
}

int decode_gost2012_algor_params(EVP_PKEY* pkey, const X509_ALGOR* palg) {
  const ASN1_OBJECT* alg_obj = nullptr;
  int ptype = V_ASN1_UNDEF;
  const void* pval = nullptr;
  X509_ALGOR_get0(&alg_obj, &ptype, &pval, palg);
  if (ptype != V_ASN1_SEQUENCE || pval == nullptr) {
    fprintf(stderr, "p11: decode_gost2001_algor_params err 1\n");
    return 0;
  }
  const auto* seq = static_cast<const ASN1_STRING*>(pval);
  const unsigned char* p = ASN1_STRING_get0_data(seq);
  long len = ASN1_STRING_length(seq);
  KeyParamsPtr params(d2i_VKC_GOST2012_KEY_PARAMS(nullptr, &p, len));
  if (!params || p != ASN1_STRING_get0_data(seq) + len) {
    fprintf(stderr, "p11: decode_gost2001_algor_params err 2\n");
    return 0;
  }
  int key_nid = gost_signing_key_nid(OBJ_obj2nid(alg_obj));
  if (!gost_is_signing_key_nid(key_nid)) return EVP_PKEY_set_type(pkey, key_nid);
  VK_GOST2012_KEYPAIR* key = gost_keypair_get_or_create(pkey, key_nid);
  if (key == nullptr) {
    fprintf(stderr, "decode_gost2012_algor_params err 2\n");
    return 0;
  }
  if (!fill_GOST2012_params(key, key_nid, OBJ_obj2nid(params->key_params))) {
    fprintf(stderr, "decode_gost2012_algor_params err 3\n");
    return 0;
  }
  return 1;
}

int pub_decode_gost2012(EVP_PKEY* pk, const X509_PUBKEY* pub) {
  const unsigned char* bits = nullptr;
  int bits_len = 0;
  X509_ALGOR* palg = nullptr;
  if (!X509_PUBKEY_get0_param(nullptr, &bits, &bits_len, &palg, pub)) return 0;
  if (!decode_gost2012_algor_params(pk, palg)) return 0;
  VK_GOST2012_KEYPAIR* key = gost_keypair_of(pk);
  if (key == nullptr) {
    fprintf(stderr, "pub_decode_gost2012: EVP_PKEY_get0 failed\n");
    return 0;
  }
  const unsigned char* p = bits;
  orvel::Asn1OctetStringPtr octet(d2i_ASN1_OCTET_STRING(nullptr, &p, bits_len));
  // Exactly the key's public size: anything else is not this key.
  if (!octet || p != bits + bits_len ||
      static_cast<uint32_t>(ASN1_STRING_length(octet.get())) != key->pub_key_len) {
    fprintf(stderr, "pub_decode_gost2012: d2i_ASN1_OCTET_STRING failure\n");
    return 0;
  }
  memcpy(key->pub_key, ASN1_STRING_get0_data(octet.get()), key->pub_key_len);
  if (gost_key_id_is_zero(key) && !gost_key_id(key->pub_key, key->pub_key_len, key->key_id)) {
    fprintf(stderr, "pub_decode_gost2012: pkcs11_id_gen failed\n");
    return 0;
  }
  return 1;
}

int pub_encode_gost2012(X509_PUBKEY* pub, const EVP_PKEY* pk) {
  VK_GOST2012_KEYPAIR* key = gost_keypair_of(pk);
  if (key == nullptr) return 0;
  if (param_missing_gost2012(pk) && !ensure_public(key)) return 0;
  // The toolkit's "do not save parameters" mark exists for DSA and EC keys
  // only: GOST public keys always carry their parameters.
  orvel::Asn1StringPtr params(encode_gost2012_algor_params(pk));
  if (!params) return 0;
  orvel::Asn1OctetStringPtr octet(ASN1_OCTET_STRING_new());
  if (!octet || !ASN1_OCTET_STRING_set(octet.get(), key->pub_key, key->pub_key_len)) return 0;
  unsigned char* der = nullptr;
  int der_len = i2d_ASN1_OCTET_STRING(octet.get(), &der);
  if (der_len <= 0) return 0;
  if (!X509_PUBKEY_set0_param(pub, OBJ_nid2obj(EVP_PKEY_get_base_id(pk)), V_ASN1_SEQUENCE,
                              params.get(), der, der_len)) {
    OPENSSL_free(der);
    return 0;
  }
  params.release();
  return 1;
}

int pub_cmp_gost2012(const EVP_PKEY* a, const EVP_PKEY* b) {
  VK_GOST2012_KEYPAIR* ka = gost_keypair_of(a);
  VK_GOST2012_KEYPAIR* kb = gost_keypair_of(b);
  if (ka == nullptr || kb == nullptr) return 0;
  if (!ensure_public(ka) || !ensure_public(kb)) return 0;
  return ka->pub_key_len == kb->pub_key_len &&
         memcmp(ka->pub_key, kb->pub_key, ka->pub_key_len) == 0;
}

int pkey_size_gost2012(const EVP_PKEY* pk) {
  return EVP_PKEY_get_base_id(pk) == gost_nid_key_2012_512() ? 128 : 64;
}

int pkey_bits_gost2012(const EVP_PKEY* pk) {
  return EVP_PKEY_get_base_id(pk) == gost_nid_key_2012_512() ? 1024 : 512;
}

int gost2012_param_decode(EVP_PKEY* pk, const unsigned char** pder, int derlen) {
  orvel::Asn1ObjectPtr obj(d2i_ASN1_OBJECT(nullptr, pder, derlen));
  if (!obj) return 0;
  int key_nid = EVP_PKEY_get_base_id(pk);
  VK_GOST2012_KEYPAIR* key = gost_keypair_get_or_create(pk, key_nid);
  if (key == nullptr) return 0;
  return fill_GOST2012_params(key, gost_signing_key_nid(key_nid), OBJ_obj2nid(obj.get()));
}

int gost2012_param_encode(const EVP_PKEY* pk, unsigned char** pder) {
  const VK_GOST2012_KEYPAIR* key = gost_keypair_of(pk);
  if (key == nullptr) return 0;
  const ASN1_OBJECT* obj = OBJ_nid2obj(key->param_nid);
  return obj != nullptr ? i2d_ASN1_OBJECT(obj, pder) : 0;
}

int param_missing_gost2012(const EVP_PKEY* pk) {
  const VK_GOST2012_KEYPAIR* key = gost_keypair_of(pk);
  return key == nullptr || key->param_nid == NID_undef || pub_is_zero(key);
}

int param_copy_gost2012(EVP_PKEY* to, const EVP_PKEY* from) {
  const VK_GOST2012_KEYPAIR* src = gost_keypair_of(from);
  if (src == nullptr || src->param_nid == NID_undef) {
    fprintf(stderr, "param_copy_gost2012: undefined source NID\n");
    return 0;
  }
  VK_GOST2012_KEYPAIR* dst = gost_keypair_get_or_create(to, src->key_nid);
  if (dst == nullptr) return 0;
  if (dst->param_nid != NID_undef && dst->param_nid != src->param_nid) {
    fprintf(stderr, "param_copy_gost2012: incompatible keys\n");
    return 0;
  }
  return fill_GOST2012_params(dst, src->key_nid, src->param_nid);
}

int param_cmp_gost2012(const EVP_PKEY* a, const EVP_PKEY* b) {
  const VK_GOST2012_KEYPAIR* ka = gost_keypair_of(a);
  const VK_GOST2012_KEYPAIR* kb = gost_keypair_of(b);
  return ka != nullptr && kb != nullptr && ka->param_nid == kb->param_nid;
}

void pkey_free_gost2012(EVP_PKEY* pk) {
  VK_GOST2012_KEYPAIR_free(static_cast<VK_GOST2012_KEYPAIR*>(EVP_PKEY_get0(pk)));
}

int pkey_ctrl_gost2012(EVP_PKEY* pk, int op, long arg1, void* arg2) {
  int key_nid = EVP_PKEY_get_base_id(pk);
  switch (op) {
    case ASN1_PKEY_CTRL_PKCS7_SIGN:
      if (arg1 == 0) {
        X509_ALGOR* md = nullptr;
        X509_ALGOR* sig = nullptr;
        PKCS7_SIGNER_INFO_get0_algs(static_cast<PKCS7_SIGNER_INFO*>(arg2), nullptr, &md, &sig);
        return set_signer_algs(md, sig, key_nid);
      }
      return 1;
    case ASN1_PKEY_CTRL_CMS_SIGN:
      if (arg1 == 0) {
        X509_ALGOR* md = nullptr;
        X509_ALGOR* sig = nullptr;
        CMS_SignerInfo_get0_algs(static_cast<CMS_SignerInfo*>(arg2), nullptr, nullptr, &md, &sig);
        return set_signer_algs(md, sig, key_nid);
      }
      return 1;
    case ASN1_PKEY_CTRL_PKCS7_ENCRYPT:
      if (arg1 == 0) {
        X509_ALGOR* alg = nullptr;
        PKCS7_RECIP_INFO_get0_alg(static_cast<PKCS7_RECIP_INFO*>(arg2), &alg);
        return set_recipient_alg(alg, pk);
      }
      return 1;
    case ASN1_PKEY_CTRL_CMS_ENVELOPE:
      if (arg1 == 0) {
        X509_ALGOR* alg = nullptr;
        CMS_RecipientInfo_ktri_get0_algs(static_cast<CMS_RecipientInfo*>(arg2), nullptr, nullptr,
                                         &alg);
        return set_recipient_alg(alg, pk);
      }
      return 1;
    case ASN1_PKEY_CTRL_DEFAULT_MD_NID:
      *static_cast<int*>(arg2) = default_digest_of(key_nid);
      return 2;
    default:
      return -2;
  }
}

void gost_ameth_set_full(EVP_PKEY_ASN1_METHOD* ameth) {
  EVP_PKEY_asn1_set_public(ameth, pub_decode_gost2012, pub_encode_gost2012, pub_cmp_gost2012,
                           pub_print_gost2012, pkey_size_gost2012, pkey_bits_gost2012);
  EVP_PKEY_asn1_set_private(ameth, priv_decode_gost2012, priv_encode_gost2012, priv_print_gost2012);
  EVP_PKEY_asn1_set_param(ameth, gost2012_param_decode, gost2012_param_encode,
                          param_missing_gost2012, param_copy_gost2012, param_cmp_gost2012,
                          param_print_gost2012);
  EVP_PKEY_asn1_set_free(ameth, pkey_free_gost2012);
  EVP_PKEY_asn1_set_ctrl(ameth, pkey_ctrl_gost2012);
}
