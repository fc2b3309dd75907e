#include "engines/gost/gost_kuzmagma_params.h"

#include <openssl/objects.h>
#include <stdio.h>
#include <string.h>

#include <memory>

#include "engines/gost/gost_cipher_params.h"
#include "engines/gost/gost_engine_ctx.h"
#include "ossl_ptr.h"

namespace {

using CipherParamsPtr =
    std::unique_ptr<VKC_CIPHER_PARAMS, orvel::Free<VKC_CIPHER_PARAMS, VKC_CIPHER_PARAMS_free>>;

Vkc2016CipherData* data_of(EVP_CIPHER_CTX* ctx) {
  return static_cast<Vkc2016CipherData*>(EVP_CIPHER_CTX_get_cipher_data(ctx));
}

int no_memory(const KuzMagmaFamily& f) {
  fprintf(stderr, "%s: No memory\n", f.set_params_name);
  return 0;
}

}  // namespace

int kuzmagma_set_asn1_parameters(const KuzMagmaFamily& f, EVP_CIPHER_CTX* ctx, ASN1_TYPE* params) {
  Vkc2016CipherData* c = data_of(ctx);
  if (c == nullptr || params == nullptr) return 0;
  // The whole IV the context works with: a receiver needs all of it.
  const int mode = EVP_CIPHER_CTX_get_mode(ctx);
  const int iv_len = kuzmagma_effective_iv_length(f, mode, c);
  CipherParamsPtr gp(VKC_CIPHER_PARAMS_new());
  if (!gp || !ASN1_OCTET_STRING_set(gp->iv, c->working_iv, iv_len)) return no_memory(f);
  ASN1_OBJECT* obj = OBJ_dup(OBJ_nid2obj(f.family_nid()));
  if (obj == nullptr || OBJ_length(obj) == 0) {
    ASN1_OBJECT_free(obj);
    return no_memory(f);
  }
  ASN1_OBJECT_free(gp->enc_param_set);
  gp->enc_param_set = obj;
  unsigned char* der = nullptr;
  const int len = i2d_VKC_CIPHER_PARAMS(gp.get(), &der);
  orvel::BytesPtr der_owner(der);
  orvel::Asn1StringPtr seq(ASN1_STRING_new());
  if (len <= 0 || !seq || !ASN1_STRING_set(seq.get(), der, len)) return no_memory(f);
  ASN1_TYPE_set(params, V_ASN1_SEQUENCE, seq.release());
  return 1;
}

int kuzmagma_get_asn1_parameters(const KuzMagmaFamily& f, EVP_CIPHER_CTX* ctx, ASN1_TYPE* params) {
  if (vkc_engine_ctx() == nullptr) return 0;
  if (params == nullptr || ASN1_TYPE_get(params) != V_ASN1_SEQUENCE) return 0;
  Vkc2016CipherData* c = data_of(ctx);
  if (c == nullptr) return 0;
  const ASN1_STRING* seq = params->value.sequence;
  const unsigned char* p = ASN1_STRING_get0_data(seq);
  const long len = ASN1_STRING_length(seq);
  CipherParamsPtr gp(d2i_VKC_CIPHER_PARAMS(nullptr, &p, len));
  if (!gp || p != ASN1_STRING_get0_data(seq) + len) {
    fprintf(stderr, "%s: Invalid parameters\n", f.get_params_name);
    return 0;
  }
  const int mode = EVP_CIPHER_CTX_get_mode(ctx);
  const int iv_len = ASN1_STRING_length(gp->iv);
  if (iv_len != kuzmagma_effective_iv_length(f, mode, c)) {
    // A sender that worked with a longer register wrote all of it.
    if (!kuzmagma_override_ok(f, mode, iv_len)) {
      fprintf(stderr, "%s: Invalid IV length\n", f.get_params_name);
      return 0;
    }
    c->iv_len_override = static_cast<uint32_t>(iv_len);
  }
  memcpy(c->saved_iv, ASN1_STRING_get0_data(gp->iv), static_cast<size_t>(iv_len));
  unsigned char* oiv = const_cast<unsigned char*>(EVP_CIPHER_CTX_original_iv(ctx));
  const int declared = EVP_CIPHER_CTX_get_iv_length(ctx);
  if (oiv != nullptr && declared > 0)
    memcpy(oiv, c->saved_iv, static_cast<size_t>(iv_len < declared ? iv_len : declared));
  return 1;
}
