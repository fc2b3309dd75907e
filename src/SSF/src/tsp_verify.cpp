// Verification of a time-stamp token with the authority's chain checked at
// a given time: the toolkit's TS_RESP_verify_signature and
// TS_RESP_verify_token steps with the time set on the store context.
#include <openssl/err.h>
#include <openssl/ess.h>
#include <openssl/ts.h>
#include <openssl/x509v3.h>

#include <cstring>
#include <vector>

#include "ossl_ptr.h"
#include "tsp_client.h"

namespace {

using EssSigningCertPtr =
    std::unique_ptr<ESS_SIGNING_CERT, orvel::Free<ESS_SIGNING_CERT, ESS_SIGNING_CERT_free>>;
using EssSigningCertV2Ptr =
    std::unique_ptr<ESS_SIGNING_CERT_V2, orvel::Free<ESS_SIGNING_CERT_V2, ESS_SIGNING_CERT_V2_free>>;
using X509AlgorPtr = std::unique_ptr<X509_ALGOR, orvel::Free<X509_ALGOR, X509_ALGOR_free>>;
using GeneralNamesPtr = std::unique_ptr<GENERAL_NAMES, orvel::Free<GENERAL_NAMES, GENERAL_NAMES_free>>;

// The value of a signed attribute of type SEQUENCE, decoded with d2i.
template <typename T>
T* signed_sequence(PKCS7_SIGNER_INFO* si, int nid, T* (*d2i)(T**, const unsigned char**, long)) {
  ASN1_TYPE* t = PKCS7_get_signed_attribute(si, nid);
  if (t == nullptr || t->type != V_ASN1_SEQUENCE || t->value.sequence == nullptr) return nullptr;
  const unsigned char* p = t->value.sequence->data;
  return d2i(nullptr, &p, t->value.sequence->length);
}

// Builds and verifies the signer's chain at the time (-1: now).
bool verify_chain(time_t at, X509_STORE* store, STACK_OF(X509) * untrusted, X509* signer,
                  orvel::X509StackPtr* chain) {
  orvel::X509StoreCtxPtr ctx(X509_STORE_CTX_new());
  if (!ctx || !X509_STORE_CTX_init(ctx.get(), store, signer, untrusted)) {
    ERR_raise(ERR_LIB_TS, ERR_R_X509_LIB);
    return false;
  }
  X509_STORE_CTX_set_purpose(ctx.get(), X509_PURPOSE_TIMESTAMP_SIGN);
  if (at != -1) X509_STORE_CTX_set_time(ctx.get(), 0, at);
  if (X509_verify_cert(ctx.get()) <= 0) {
    ERR_raise_data(ERR_LIB_TS, TS_R_CERTIFICATE_VERIFY_ERROR, "Verify error:%s",
                   X509_verify_cert_error_string(X509_STORE_CTX_get_error(ctx.get())));
    return false;
  }
  chain->reset(X509_STORE_CTX_get1_chain(ctx.get()));
  return *chain != nullptr;
}

// The ESS signing-certificate attribute must name the signer (and, for
// the certificates it lists beyond the first, the chain).
bool check_signing_certs(PKCS7_SIGNER_INFO* si, STACK_OF(X509) * chain) {
  EssSigningCertPtr ss(signed_sequence(si, NID_id_smime_aa_signingCertificate, d2i_ESS_SIGNING_CERT));
  EssSigningCertV2Ptr ssv2(
      signed_sequence(si, NID_id_smime_aa_signingCertificateV2, d2i_ESS_SIGNING_CERT_V2));
  return OSSL_ESS_check_signing_certs(ss.get(), ssv2.get(), chain, 1) > 0;
}

// The imprint of the data under the token's algorithm.
bool compute_imprint(BIO* data, TS_TST_INFO* tst, X509AlgorPtr* md_alg,
                     std::vector<unsigned char>* imprint) {
  TS_MSG_IMPRINT* mi = TS_TST_INFO_get_msg_imprint(tst);
  X509_ALGOR* alg = TS_MSG_IMPRINT_get_algo(mi);
  md_alg->reset(X509_ALGOR_dup(alg));
  if (!*md_alg) return false;
  const EVP_MD* md = EVP_get_digestbyobj((*md_alg)->algorithm);
  if (md == nullptr) {
    ERR_raise(ERR_LIB_TS, TS_R_UNSUPPORTED_MD_ALGORITHM);
    return false;
  }
  const int size = EVP_MD_get_size(md);
  if (size <= 0) return false;
  orvel::EvpMdCtxPtr ctx(EVP_MD_CTX_new());
  if (!ctx || !EVP_DigestInit_ex(ctx.get(), md, nullptr)) return false;
  unsigned char buf[4096];
  int n = 0;
  while ((n = BIO_read(data, buf, sizeof buf)) > 0)
    if (!EVP_DigestUpdate(ctx.get(), buf, static_cast<size_t>(n))) return false;
  imprint->resize(static_cast<size_t>(size));
  return EVP_DigestFinal_ex(ctx.get(), imprint->data(), nullptr) == 1;
}

bool check_imprints(const X509_ALGOR* md_alg, const unsigned char* imprint, unsigned len,
                    TS_TST_INFO* tst) {
  TS_MSG_IMPRINT* mi = TS_TST_INFO_get_msg_imprint(tst);
  const X509_ALGOR* theirs = TS_MSG_IMPRINT_get_algo(mi);
  bool ok = true;
  if (md_alg != nullptr) {
    // Same algorithm; parameters absent or NULL on both sides.
    if (OBJ_cmp(md_alg->algorithm, theirs->algorithm) != 0) ok = false;
    else if ((md_alg->parameter && ASN1_TYPE_get(md_alg->parameter) != V_ASN1_NULL) ||
             (theirs->parameter && ASN1_TYPE_get(theirs->parameter) != V_ASN1_NULL))
      ok = false;
  }
  const ASN1_OCTET_STRING* msg = TS_MSG_IMPRINT_get_msg(mi);
  if (ok && (imprint == nullptr || static_cast<int>(len) != ASN1_STRING_length(msg) ||
             memcmp(imprint, ASN1_STRING_get0_data(msg), len) != 0))
    ok = false;
  if (!ok) ERR_raise(ERR_LIB_TS, TS_R_MESSAGE_IMPRINT_MISMATCH);
  return ok;
}

bool check_signer_name(const GENERAL_NAME* name, X509* signer) {
  if (name == nullptr || signer == nullptr) return false;
  if (name->type == GEN_DIRNAME && X509_NAME_cmp(name->d.dirn, X509_get_subject_name(signer)) == 0)
    return true;
  GeneralNamesPtr alt(static_cast<GENERAL_NAMES*>(
      X509_get_ext_d2i(signer, NID_subject_alt_name, nullptr, nullptr)));
  for (int i = 0; alt && i < sk_GENERAL_NAME_num(alt.get()); ++i)
    if (GENERAL_NAME_cmp(const_cast<GENERAL_NAME*>(name), sk_GENERAL_NAME_value(alt.get(), i)) == 0)
      return true;
  return false;
}

}  // namespace

int SSF_TS_RESP_verify_signature(time_t at, PKCS7* token, STACK_OF(X509) * certs,
                                 X509_STORE* store, X509** signer_out) {
  if (token == nullptr) {
    ERR_raise(ERR_LIB_TS, TS_R_BAD_PKCS7_TYPE);
    return 0;
  }
  if (!PKCS7_type_is_signed(token)) {
    ERR_raise(ERR_LIB_TS, TS_R_WRONG_CONTENT_TYPE);
    return 0;
  }
  STACK_OF(PKCS7_SIGNER_INFO)* infos = PKCS7_get_signer_info(token);
  if (infos == nullptr || sk_PKCS7_SIGNER_INFO_num(infos) != 1) {
    ERR_raise(ERR_LIB_TS, TS_R_THERE_MUST_BE_ONE_SIGNER);
    return 0;
  }
  PKCS7_SIGNER_INFO* si = sk_PKCS7_SIGNER_INFO_value(infos, 0);
  if (PKCS7_get_detached(token)) {
    ERR_raise(ERR_LIB_TS, TS_R_NO_CONTENT);
    return 0;
  }
  orvel::X509RefStackPtr signers(PKCS7_get0_signers(token, certs, 0));
  if (!signers || sk_X509_num(signers.get()) != 1) return 0;
  X509* signer = sk_X509_value(signers.get(), 0);
  orvel::X509RefStackPtr untrusted(sk_X509_new_null());
  if (!untrusted) return 0;
  for (STACK_OF(X509)* list : {certs, token->d.sign->cert})
    for (int i = 0; list && i < sk_X509_num(list); ++i)
      if (!sk_X509_push(untrusted.get(), sk_X509_value(list, i))) return 0;
  orvel::X509StackPtr chain;
  if (!verify_chain(at, store, untrusted.get(), signer, &chain)) return 0;
  if (!check_signing_certs(si, chain.get())) return 0;
  orvel::BioPtr p7bio(PKCS7_dataInit(token, nullptr));
  if (!p7bio) return 0;
  unsigned char buf[4096];
  while (BIO_read(p7bio.get(), buf, sizeof buf) > 0) continue;
  if (PKCS7_signatureVerify(p7bio.get(), token, si, signer) <= 0) {
    ERR_raise(ERR_LIB_TS, TS_R_SIGNATURE_FAILURE);
    return 0;
  }
  if (signer_out != nullptr) {
    if (!X509_up_ref(signer)) return 0;
    *signer_out = signer;
  }
  return 1;
}

int SSF_TS_RESP_verify_token(time_t at, const SSF_TS_VERIFY_CTX* ctx, PKCS7* token) {
  if (ctx == nullptr || token == nullptr) return 0;
  orvel::TsTstInfoPtr tst(PKCS7_to_TS_TST_INFO(token));
  if (!tst) return 0;
  unsigned flags = ctx->flags;
  const GENERAL_NAME* tsa_name = TS_TST_INFO_get_tsa(tst.get());
  // Checks of the signer's name need the signer.
  if (((flags & TS_VFY_SIGNER) && tsa_name != nullptr) || (flags & TS_VFY_TSA_NAME))
    flags |= TS_VFY_SIGNATURE;
  X509* signer_raw = nullptr;
  if ((flags & TS_VFY_SIGNATURE) &&
      !SSF_TS_RESP_verify_signature(at, token, ctx->certs, ctx->store, &signer_raw))
    return 0;
  orvel::X509Ptr signer(signer_raw);
  if (ctx->signer != nullptr && (!signer || X509_cmp(signer.get(), ctx->signer) != 0)) {
    ERR_raise(ERR_LIB_TS, TS_R_CERTIFICATE_VERIFY_ERROR);
    return 0;
  }
  if ((flags & TS_VFY_VERSION) && TS_TST_INFO_get_version(tst.get()) != 1) {
    ERR_raise(ERR_LIB_TS, TS_R_UNSUPPORTED_VERSION);
    return 0;
  }
  if ((flags & TS_VFY_POLICY) &&
      (ctx->policy == nullptr || OBJ_cmp(ctx->policy, TS_TST_INFO_get_policy_id(tst.get())) != 0)) {
    ERR_raise(ERR_LIB_TS, TS_R_POLICY_MISMATCH);
    return 0;
  }
  if ((flags & TS_VFY_IMPRINT) &&
      !check_imprints(ctx->md_alg, ctx->imprint, ctx->imprint_len, tst.get()))
    return 0;
  if (flags & TS_VFY_DATA) {
    X509AlgorPtr md_alg;
    std::vector<unsigned char> imprint;
    if (ctx->data == nullptr || !compute_imprint(ctx->data, tst.get(), &md_alg, &imprint) ||
        !check_imprints(md_alg.get(), imprint.data(), static_cast<unsigned>(imprint.size()),
                        tst.get()))
      return 0;
  }
  if (flags & TS_VFY_NONCE) {
    const ASN1_INTEGER* nonce = TS_TST_INFO_get_nonce(tst.get());
    if (nonce == nullptr) {
      ERR_raise(ERR_LIB_TS, TS_R_NONCE_NOT_RETURNED);
      return 0;
    }
    if (ctx->nonce == nullptr || ASN1_INTEGER_cmp(ctx->nonce, nonce) != 0) {
      ERR_raise(ERR_LIB_TS, TS_R_NONCE_MISMATCH);
      return 0;
    }
  }
  if ((flags & TS_VFY_SIGNER) && tsa_name != nullptr && !check_signer_name(tsa_name, signer.get())) {
    ERR_raise(ERR_LIB_TS, TS_R_TSA_NAME_MISMATCH);
    return 0;
  }
  if ((flags & TS_VFY_TSA_NAME) && !check_signer_name(ctx->tsa_name, signer.get())) {
    ERR_raise(ERR_LIB_TS, TS_R_TSA_UNTRUSTED);
    return 0;
  }
  return 1;
}
