#include "engines/gost/gost_cipher_params.h"

#include <openssl/objects.h>
#include <stdio.h>
#include <string.h>

#include <memory>

#include "engines/gost/gost_cipher_data.h"
#include "engines/gost/gost_engine_ctx.h"
#include "engines/gost/gost_param_set.h"
#include "ossl_ptr.h"

ASN1_SEQUENCE(VKC_CIPHER_PARAMS) =
    {
        ASN1_SIMPLE(VKC_CIPHER_PARAMS, iv, ASN1_OCTET_STRING),
        ASN1_SIMPLE(VKC_CIPHER_PARAMS, enc_param_set, ASN1_OBJECT),
} ASN1_SEQUENCE_END(VKC_CIPHER_PARAMS)

        IMPLEMENT_ASN1_FUNCTIONS(VKC_CIPHER_PARAMS)

            namespace {
  using CipherParamsPtr =
      std::unique_ptr<VKC_CIPHER_PARAMS, orvel::Free<VKC_CIPHER_PARAMS, VKC_CIPHER_PARAMS_free>>;

  VkcCipherData* data_of(EVP_CIPHER_CTX * ctx) {
    return static_cast<VkcCipherData*>(EVP_CIPHER_CTX_get_cipher_data(ctx));
  }

}  // namespace

int gost89_set_asn1_parameters(EVP_CIPHER_CTX* ctx, ASN1_TYPE* params) {
  VkcCipherData* c = data_of(ctx);
  const unsigned char* iv = EVP_CIPHER_CTX_iv(ctx);
  int iv_len = EVP_CIPHER_CTX_get_iv_length(ctx);
  if (c == nullptr || iv == nullptr || iv_len <= 0 || params == nullptr) return 0;
  // The set the cipher works with: the chosen one, or the engine's default
  // the keyed init fell back to.
  int nid = static_cast<int>(c->key_set ? c->used_nid : c->param_nid);
  CipherParamsPtr gp(VKC_CIPHER_PARAMS_new());
  if (!gp || !ASN1_OCTET_STRING_set(gp->iv, iv, iv_len)) {
    fputs("gost89_set_asn1_parameters: No memory\n", stderr);
    return 0;
  }
  ASN1_OBJECT* obj = OBJ_dup(OBJ_nid2obj(nid));
  if (obj == nullptr || OBJ_length(obj) == 0) {
    ASN1_OBJECT_free(obj);
    fputs("gost89_set_asn1_parameters: No memory\n", stderr);
    return 0;
  }
  ASN1_OBJECT_free(gp->enc_param_set);
  gp->enc_param_set = obj;
  unsigned char* der = nullptr;
  int len = i2d_VKC_CIPHER_PARAMS(gp.get(), &der);
  orvel::BytesPtr der_owner(der);
  orvel::Asn1StringPtr seq(ASN1_STRING_new());
  if (len <= 0 || !seq || !ASN1_STRING_set(seq.get(), der, len)) {
    fputs("vkc_set_asn1_parameters: No memory\n", stderr);
    return 0;
  }
  ASN1_TYPE_set(params, V_ASN1_SEQUENCE, seq.release());
  return 1;
}

int gost89_get_asn1_parameters(EVP_CIPHER_CTX* ctx, ASN1_TYPE* params) {
  if (vkc_engine_ctx() == nullptr) return 0;
  if (params == nullptr || ASN1_TYPE_get(params) != V_ASN1_SEQUENCE) return 0;
  VkcCipherData* c = data_of(ctx);
  if (c == nullptr) return 0;
  const ASN1_STRING* seq = params->value.sequence;
  const unsigned char* p = ASN1_STRING_get0_data(seq);
  const long len = ASN1_STRING_length(seq);
  CipherParamsPtr gp(d2i_VKC_CIPHER_PARAMS(nullptr, &p, len));
  if (!gp || p != ASN1_STRING_get0_data(seq) + len) {
    fputs("gost89_get_asn1_parameters: Invalid parameters\n", stderr);
    return 0;
  }
  int iv_len = EVP_CIPHER_CTX_get_iv_length(ctx);
  if (ASN1_STRING_length(gp->iv) != iv_len) {
    fputs("gost89_get_asn1_parameters: Invalid IV length\n", stderr);
    return 0;
  }
  // Decrypting under another S-box than the sender's would yield garbage
  // without any error: only sets the crypto core knows are taken.
  int nid = OBJ_obj2nid(gp->enc_param_set);
  if (nid == NID_undef || vkc_param_set_by_obj(gp->enc_param_set) == nullptr) {
    fputs("gost89_get_asn1_parameters: Unsupported parameter set\n", stderr);
    return 0;
  }
  unsigned char* oiv = const_cast<unsigned char*>(EVP_CIPHER_CTX_original_iv(ctx));
  if (oiv == nullptr) return 0;
  memcpy(oiv, ASN1_STRING_get0_data(gp->iv), static_cast<size_t>(iv_len));
  c->param_nid = static_cast<uint32_t>(nid);
  return 1;
}
