// Key ASN.1 methods of the engine's GOST token keys: public keys in
// certificates, the PKCS#8 form of a token key (its key id), parameters,
// comparison and printing.
#include <openssl/asn1.h>
#include <openssl/cms.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include <cstdio>
#include <cstring>

#include "engines/gost/gost_ameth.h"
#include "engines/gost/gost_key_params.h"
#include "engines/gost/gost_keypair.h"
#include "engines/gost/gost_pkey_nids.h"
#include "engines/pkcs11/pkcs11_ameth.h"
#include "engines/pkcs11/pkcs11_engine.h"
#include "ossl_ptr.h"

namespace {

using KeyParamsPtr = std::unique_ptr<VKC_GOST2012_KEY_PARAMS,
                                     orvel::Free<VKC_GOST2012_KEY_PARAMS, VKC_GOST2012_KEY_PARAMS_free>>;

int digest_of(int key_type) {
  if (key_type == gost_nid_key_2012_512()) return gost_nid_md_2012_512();
  if (key_type == gost_nid_key_2012_256()) return gost_nid_md_2012_256();
  return NID_id_GostR3411_94_CryptoProParamSet;
}

const Pkcs11TokenKey* rec_of(const EVP_PKEY* pk) {
  return static_cast<const Pkcs11TokenKey*>(EVP_PKEY_get0(const_cast<EVP_PKEY*>(pk)));
}

ASN1_STRING* encode_pkcs11_algor_params(const EVP_PKEY* pk) {
  static const char kFunc[] = "encode_pkcs11_algor_params";
  const Pkcs11TokenKey* rec = rec_of(pk);
  if (rec == nullptr) {
    fprintf(stderr, "%s:  - 2.5 -\n", kFunc);
    return nullptr;
  }
  KeyParamsPtr params(VKC_GOST2012_KEY_PARAMS_new());
  orvel::Asn1StringPtr out(ASN1_STRING_new());
  if (!params || !out) {
    fprintf(stderr, "%s: malloc failed\n", kFunc);
    return nullptr;
  }
  params->key_params = OBJ_nid2obj(rec->key.param_nid);
  params->hash_params = OBJ_nid2obj(digest_of(rec->key.key_nid));
  unsigned char* der = nullptr;
  const int n = i2d_VKC_GOST2012_KEY_PARAMS(params.get(), &der);
  if (n <= 0) {
    fprintf(stderr, "%s: malloc failed\n", kFunc);
    return nullptr;
  }
  ASN1_STRING_set0(out.get(), der, n);
  out->type = V_ASN1_SEQUENCE;
  return out.release();
}

void pkey_free_pkcs11(EVP_PKEY* pk) {
  FreeTokenPKey(static_cast<Pkcs11TokenKey*>(EVP_PKEY_get0(pk)));
}

int pub_encode_pkcs11(X509_PUBKEY* pub, const EVP_PKEY* pk) {
  const Pkcs11TokenKey* rec = rec_of(pk);
  if (rec == nullptr) return 0;
  // The parameters go with the key when the toolkit key is marked to save
  // them, its default. The toolkit keeps that mark for DSA and EC keys only
  // (EVP_PKEY_save_parameters answers 0 for any other type and cannot
  // change it), so a GOST key always carries the default: save.
  ASN1_STRING* params = encode_pkcs11_algor_params(pk);
  if (params == nullptr) return 0;
  orvel::Asn1OctetStringPtr octet(ASN1_OCTET_STRING_new());
  if (!octet || !ASN1_OCTET_STRING_set(octet.get(), rec->key.pub_key,
                                       static_cast<int>(rec->key.pub_key_len))) {
    ASN1_STRING_free(params);
    return 0;
  }
  unsigned char* der = nullptr;
  const int n = i2d_ASN1_OCTET_STRING(octet.get(), &der);
  if (n <= 0) {
    ASN1_STRING_free(params);
    return 0;
  }
  if (!X509_PUBKEY_set0_param(pub, OBJ_nid2obj(rec->key.key_nid), V_ASN1_SEQUENCE, params, der,
                              n)) {
    ASN1_STRING_free(params);
    OPENSSL_free(der);
    return 0;
  }
  return 1;
}

int pub_decode_pkcs11(EVP_PKEY* pk, const X509_PUBKEY* pub) {
  static const char kFunc[] = "decode_pkcs11_algor_params";
  const unsigned char* bits = nullptr;
  int bits_len = 0;
  X509_ALGOR* alg = nullptr;
  ASN1_OBJECT* alg_obj = nullptr;
  if (!X509_PUBKEY_get0_param(&alg_obj, &bits, &bits_len, &alg, pub)) return 0;
  int ptype = 0;
  const void* pval = nullptr;
  X509_ALGOR_get0(nullptr, &ptype, &pval, alg);
  if (ptype != V_ASN1_SEQUENCE || pval == nullptr) {
    fprintf(stderr, "p11: %s err 1\n", kFunc);
    return 0;
  }
  const auto* seq = static_cast<const ASN1_STRING*>(pval);
  const unsigned char* p = ASN1_STRING_get0_data(seq);
  KeyParamsPtr params(d2i_VKC_GOST2012_KEY_PARAMS(nullptr, &p, ASN1_STRING_length(seq)));
  if (!params || params->key_params == nullptr) {
    fprintf(stderr, "p11: %s err 2\n", kFunc);
    return 0;
  }
  const int type = gost_signing_key_nid(OBJ_obj2nid(alg_obj));
  if (!gost_is_signing_key_nid(type)) return 0;
  // A new key object of the "gost" engine's kind, at the head of a record
  // of this engine without a token behind it; the toolkit key owns it once
  // assigned.
  auto* rec = static_cast<Pkcs11TokenKey*>(OPENSSL_zalloc(sizeof(Pkcs11TokenKey)));
  if (rec == nullptr) {
    fprintf(stderr, "%s err 1\n", kFunc);
    return 0;
  }
  if (!EVP_PKEY_assign(pk, type, rec)) {
    OPENSSL_free(rec);
    fprintf(stderr, "%s err 2\n", kFunc);
    return 0;
  }
  if (!fill_GOST2012_params(&rec->key, type, OBJ_obj2nid(params->key_params))) {
    fprintf(stderr, "%s err 3\n", kFunc);
    return 0;
  }
  if (EVP_PKEY_get0(pk) != rec) {
    fprintf(stderr, "pub_decode_gost2012: EVP_PKEY_get0 failed\n");
    return 0;
  }
  VK_GOST2012_KEYPAIR* key = &rec->key;
  const unsigned char* q = bits;
  orvel::Asn1OctetStringPtr octet(d2i_ASN1_OCTET_STRING(nullptr, &q, bits_len));
  // Exactly the key's public size: anything else is not this key.
  if (!octet || q != bits + bits_len ||
      static_cast<uint32_t>(ASN1_STRING_length(octet.get())) != key->pub_key_len) {
    fprintf(stderr, "pub_decode_gost2012: d2i_ASN1_OCTET_STRING failure\n");
    return 0;
  }
  memcpy(key->pub_key, ASN1_STRING_get0_data(octet.get()), key->pub_key_len);
  if (gost_key_id_is_zero(key) && !pkcs11_id_gen(key->pub_key, key->pub_key_len, key->key_id)) {
    fprintf(stderr, "pkcs11_id_gen failed\n");
    return 0;
  }
  return 1;
}

int pub_cmp_pkcs11(const EVP_PKEY* a, const EVP_PKEY* b) {
  const Pkcs11TokenKey* x = rec_of(a);
  const auto* y = static_cast<const VK_GOST2012_KEYPAIR*>(EVP_PKEY_get0(const_cast<EVP_PKEY*>(b)));
  if (x == nullptr || y == nullptr) return 0;
  return x->key.pub_key_len == y->pub_key_len &&
                 memcmp(x->key.pub_key, y->pub_key, x->key.pub_key_len) == 0
             ? 1
             : 0;
}

int param_cmp_pkcs11(const EVP_PKEY* a, const EVP_PKEY* b) {
  const Pkcs11TokenKey* x = rec_of(a);
  const auto* y = static_cast<const VK_GOST2012_KEYPAIR*>(EVP_PKEY_get0(const_cast<EVP_PKEY*>(b)));
  return x != nullptr && y != nullptr && x->key.param_nid == y->param_nid ? 1 : 0;
}

int priv_encode_pkcs11(PKCS8_PRIV_KEY_INFO* p8, const EVP_PKEY* pk) {
  const Pkcs11TokenKey* rec = rec_of(pk);
  if (rec == nullptr) return 0;
  ASN1_STRING* params = encode_pkcs11_algor_params(pk);
  if (params == nullptr) return 0;
  orvel::Asn1OctetStringPtr octet(ASN1_OCTET_STRING_new());
  unsigned char* der = nullptr;
  int n = 0;
  if (!octet || !ASN1_OCTET_STRING_set(octet.get(), rec->key.key_id, sizeof(rec->key.key_id)) ||
      (n = i2d_ASN1_OCTET_STRING(octet.get(), &der)) <= 0) {
    ASN1_STRING_free(params);
    return 0;
  }
  if (!PKCS8_pkey_set0(p8, OBJ_nid2obj(rec->key.key_nid), 0, V_ASN1_SEQUENCE, params, der, n)) {
    ASN1_STRING_free(params);
    OPENSSL_free(der);
    return 0;
  }
  return 1;
}

int pkey_size_pkcs11(const EVP_PKEY* pk) {
  const Pkcs11TokenKey* rec = rec_of(pk);
  if (rec == nullptr || rec->key.key_nid == 0) return -1;
  return rec->key.key_nid == gost_nid_key_2012_512() ? 128 : 64;
}

int pkey_bits_pkcs11(const EVP_PKEY* pk) {
  const Pkcs11TokenKey* rec = rec_of(pk);
  return rec != nullptr && rec->key.key_nid == gost_nid_key_2012_512() ? 1024 : 512;
}

X509_ALGOR* algor_null(X509_ALGOR* alg, int nid) {
  if (alg != nullptr) X509_ALGOR_set0(alg, OBJ_nid2obj(nid), V_ASN1_NULL, nullptr);
  return alg;
}

int pkey_ctrl_pkcs11(EVP_PKEY* pk, int op, long arg1, void* arg2) {
  const Pkcs11TokenKey* rec = rec_of(pk);
  const int type = rec != nullptr ? rec->key.key_nid : EVP_PKEY_get_base_id(pk);
  const int md = type == gost_nid_key_2012_512()   ? gost_nid_md_2012_512()
                 : type == gost_nid_key_2012_256() ? gost_nid_md_2012_256()
                                                   : NID_id_GostR3411_94;
  switch (op) {
    case ASN1_PKEY_CTRL_PKCS7_SIGN:
      if (arg1 == 0) {
        X509_ALGOR *a1 = nullptr, *a2 = nullptr;
        PKCS7_SIGNER_INFO_get0_algs(static_cast<PKCS7_SIGNER_INFO*>(arg2), nullptr, &a1, &a2);
        algor_null(a1, md);
        algor_null(a2, type);
      }
      return 1;
    case ASN1_PKEY_CTRL_CMS_SIGN:
      if (arg1 == 0) {
        X509_ALGOR *a1 = nullptr, *a2 = nullptr;
        CMS_SignerInfo_get0_algs(static_cast<CMS_SignerInfo*>(arg2), nullptr, nullptr, &a1, &a2);
        algor_null(a1, md);
        algor_null(a2, type);
      }
      return 1;
    case ASN1_PKEY_CTRL_PKCS7_ENCRYPT:
      if (arg1 == 0) {
        X509_ALGOR* alg = nullptr;
        PKCS7_RECIP_INFO_get0_alg(static_cast<PKCS7_RECIP_INFO*>(arg2), &alg);
        ASN1_STRING* params = encode_pkcs11_algor_params(pk);
        if (alg == nullptr || params == nullptr) {
          ASN1_STRING_free(params);
          return -1;
        }
        X509_ALGOR_set0(alg, OBJ_nid2obj(type), V_ASN1_SEQUENCE, params);
      }
      return 1;
    case ASN1_PKEY_CTRL_CMS_ENVELOPE:
      if (arg1 == 0) {
        X509_ALGOR* alg = nullptr;
        EVP_PKEY_CTX* pctx = CMS_RecipientInfo_get0_pkey_ctx(static_cast<CMS_RecipientInfo*>(arg2));
        (void)pctx;
        if (CMS_RecipientInfo_ktri_get0_algs(static_cast<CMS_RecipientInfo*>(arg2), nullptr,
                                             nullptr, &alg) <= 0)
          return -1;
        ASN1_STRING* params = encode_pkcs11_algor_params(pk);
        if (alg == nullptr || params == nullptr) {
          ASN1_STRING_free(params);
          return -1;
        }
        X509_ALGOR_set0(alg, OBJ_nid2obj(type), V_ASN1_SEQUENCE, params);
      }
      return 1;
    case ASN1_PKEY_CTRL_DEFAULT_MD_NID:
      *static_cast<int*>(arg2) = type == gost_nid_key_2001()       ? NID_id_GostR3411_94
                                 : type == gost_nid_key_2012_512() ? gost_nid_md_2012_512()
                                                                   : gost_nid_md_2012_256();
      return 2;
    case ASN1_PKEY_CTRL_CMS_RI_TYPE:
      *static_cast<int*>(arg2) = CMS_RECIPINFO_TRANS;
      return 1;
    default:
      return -2;
  }
}

}  // namespace

bool pkcs11_fill_ameth(EVP_PKEY_ASN1_METHOD* ameth) {
  EVP_PKEY_asn1_set_free(ameth, pkey_free_pkcs11);
  EVP_PKEY_asn1_set_private(ameth, nullptr, priv_encode_pkcs11, nullptr);
  EVP_PKEY_asn1_set_param(ameth, nullptr, nullptr, nullptr, nullptr, param_cmp_pkcs11,
                          param_print_gost2012);
  EVP_PKEY_asn1_set_public(ameth, pub_decode_pkcs11, pub_encode_pkcs11, pub_cmp_pkcs11,
                           pub_print_gost2012, pkey_size_pkcs11, pkey_bits_pkcs11);
  EVP_PKEY_asn1_set_ctrl(ameth, pkey_ctrl_pkcs11);
  return true;
}
