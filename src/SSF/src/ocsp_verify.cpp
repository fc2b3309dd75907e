// Verification of a basic OCSP response with the responder's chain checked
// at a given time: the toolkit's OCSP_basic_verify steps, with the time set
// on the store context.
#include <openssl/err.h>
#include <openssl/ocsp.h>
#include <openssl/x509v3.h>

#include "log.h"
#include "ocsp_client.h"
#include "ossl_ptr.h"

namespace {

// The certificate of the list named by the responder id, or null.
X509* find_by_responder_id(STACK_OF(X509) * certs, const OCSP_BASICRESP* bs) {
  if (certs == nullptr) return nullptr;
  const ASN1_OCTET_STRING* key_hash = nullptr;
  const X509_NAME* name = nullptr;
  if (!OCSP_resp_get0_id(bs, &key_hash, &name)) return nullptr;
  if (name != nullptr) return X509_find_by_subject(certs, const_cast<X509_NAME*>(name));
  if (key_hash == nullptr || ASN1_STRING_length(key_hash) != SHA_DIGEST_LENGTH) return nullptr;
  unsigned char md[SHA_DIGEST_LENGTH];
  for (int i = 0; i < sk_X509_num(certs); ++i) {
    X509* x = sk_X509_value(certs, i);
    unsigned int len = 0;
    if (X509_pubkey_digest(x, EVP_sha1(), md, &len) && len == SHA_DIGEST_LENGTH &&
        memcmp(md, ASN1_STRING_get0_data(key_hash), SHA_DIGEST_LENGTH) == 0)
      return x;
  }
  return nullptr;
}

// 2 found in certs, 1 found in the response, 0 not found.
int find_signer(X509** signer, OCSP_BASICRESP* bs, STACK_OF(X509) * certs, unsigned long flags) {
  if ((*signer = find_by_responder_id(certs, bs)) != nullptr) return 2;
  if (!(flags & OCSP_NOINTERN) &&
      (*signer = find_by_responder_id(const_cast<STACK_OF(X509)*>(OCSP_resp_get0_certs(bs)), bs)))
    return 1;
  return 0;
}

// 1 when cert is the issuer named by every CertID of the response, 0 when
// one names another, -1 on an error. An answer about nothing names no
// issuer: -1, as the toolkit has it.
int match_issuer_ids(X509* cert, OCSP_BASICRESP* bs) {
  const int n = OCSP_resp_count(bs);
  if (n <= 0) {
    ERR_raise(ERR_LIB_OCSP, OCSP_R_RESPONSE_CONTAINS_NO_REVOCATION_DATA);
    return -1;
  }
  for (int i = 0; i < n; ++i) {
    const OCSP_CERTID* cid = OCSP_SINGLERESP_get0_id(OCSP_resp_get0(bs, i));
    ASN1_OCTET_STRING* name_hash = nullptr;
    ASN1_OBJECT* alg = nullptr;
    ASN1_OCTET_STRING* key_hash = nullptr;
    if (cid == nullptr ||
        !OCSP_id_get0_info(&name_hash, &alg, &key_hash, nullptr, const_cast<OCSP_CERTID*>(cid)))
      return -1;
    const EVP_MD* md = EVP_get_digestbyobj(alg);
    if (md == nullptr) {
      ERR_raise(ERR_LIB_OCSP, OCSP_R_UNKNOWN_MESSAGE_DIGEST);
      return -1;
    }
    const int size = EVP_MD_get_size(md);
    if (size <= 0 || ASN1_STRING_length(name_hash) != size || ASN1_STRING_length(key_hash) != size)
      return 0;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    if (!X509_NAME_digest(X509_get_subject_name(cert), md, digest, &len)) return -1;
    if (memcmp(digest, ASN1_STRING_get0_data(name_hash), static_cast<size_t>(size)) != 0) return 0;
    if (!X509_pubkey_digest(cert, md, digest, &len)) return -1;
    if (memcmp(digest, ASN1_STRING_get0_data(key_hash), static_cast<size_t>(size)) != 0) return 0;
  }
  return 1;
}

// The responder is the issuer itself, or a delegate the issuer gave the
// OCSP-signing purpose.
int check_issuer(OCSP_BASICRESP* bs, STACK_OF(X509) * chain) {
  if (sk_X509_num(chain) <= 0) {
    ERR_raise(ERR_LIB_OCSP, OCSP_R_NO_CERTIFICATES_IN_CHAIN);
    return -1;
  }
  X509* signer = sk_X509_value(chain, 0);
  if (sk_X509_num(chain) > 1) {
    const int r = match_issuer_ids(sk_X509_value(chain, 1), bs);
    if (r < 0) return r;
    if (r > 0) {
      if ((X509_get_extension_flags(signer) & EXFLAG_XKUSAGE) &&
          (X509_get_extended_key_usage(signer) & XKU_OCSP_SIGN))
        return 1;
      ERR_raise(ERR_LIB_OCSP, OCSP_R_MISSING_OCSPSIGNING_USAGE);
      return 0;
    }
  }
  return match_issuer_ids(signer, bs);
}

}  // namespace

int OCSP_basic_verify_time(const time_t* at, OCSP_BASICRESP* bs, STACK_OF(X509) * certs,
                           X509_STORE* store, unsigned long flags, STACK_OF(X509) * *chain_out) {
  if (chain_out != nullptr) *chain_out = nullptr;
  if (bs == nullptr || store == nullptr) return -1;
  X509* signer = nullptr;
  const int found = find_signer(&signer, bs, certs, flags);
  if (found <= 0) {
    ERR_raise(ERR_LIB_OCSP, OCSP_R_SIGNER_CERTIFICATE_NOT_FOUND);
    return 0;
  }
  if (found == 2 && (flags & OCSP_TRUSTOTHER)) flags |= OCSP_NOVERIFY;
  if (!(flags & OCSP_NOSIGS)) {
    EVP_PKEY* key = X509_get0_pubkey(signer);
    if (key == nullptr) {
      ERR_raise(ERR_LIB_OCSP, OCSP_R_NO_SIGNER_KEY);
      return -1;
    }
    if (ASN1_item_verify(ASN1_ITEM_rptr(OCSP_RESPDATA), OCSP_resp_get0_tbs_sigalg(bs),
                         OCSP_resp_get0_signature(bs), OCSP_resp_get0_respdata(bs), key) <= 0) {
      ERR_raise(ERR_LIB_OCSP, OCSP_R_SIGNATURE_FAILURE);
      return 0;
    }
  }
  if (flags & OCSP_NOVERIFY) return 1;

  const STACK_OF(X509)* own = OCSP_resp_get0_certs(bs);
  orvel::X509RefStackPtr both;
  STACK_OF(X509)* untrusted = nullptr;
  if (!(flags & OCSP_NOCHAIN)) {
    if (own != nullptr && sk_X509_num(own) > 0 && certs != nullptr) {
      both.reset(sk_X509_dup(own));
      if (!both) return -1;
      for (int i = 0; i < sk_X509_num(certs); ++i)
        if (!sk_X509_push(both.get(), sk_X509_value(certs, i))) return -1;
      untrusted = both.get();
    } else {
      untrusted = const_cast<STACK_OF(X509)*>(own);
    }
  }
  orvel::X509StoreCtxPtr ctx(X509_STORE_CTX_new());
  if (!ctx || !X509_STORE_CTX_init(ctx.get(), store, signer, untrusted)) return -1;
  X509_STORE_CTX_set_purpose(ctx.get(), X509_PURPOSE_OCSP_HELPER);
  if (at != nullptr) X509_STORE_CTX_set_time(ctx.get(), 0, *at);
  if (X509_verify_cert(ctx.get()) <= 0) {
    ERR_raise_data(ERR_LIB_OCSP, OCSP_R_CERTIFICATE_VERIFY_ERROR, "Verify error: %s",
                   X509_verify_cert_error_string(X509_STORE_CTX_get_error(ctx.get())));
    return 0;
  }
  orvel::X509StackPtr chain(X509_STORE_CTX_get1_chain(ctx.get()));
  const int rc = [&] {
    if (flags & OCSP_NOCHECKS) return 1;
    const int issuer = check_issuer(bs, chain.get());
    if (issuer != 0) return issuer;
    if (flags & OCSP_NOEXPLICIT) return 0;
    // Neither the issuer nor its delegate: the root must be trusted for OCSP
    // signing explicitly.
    X509* root = sk_X509_value(chain.get(), sk_X509_num(chain.get()) - 1);
    if (X509_check_trust(root, NID_OCSP_sign, 0) != X509_TRUST_TRUSTED) {
      ERR_raise(ERR_LIB_OCSP, OCSP_R_ROOT_CA_NOT_TRUSTED);
      return 0;
    }
    return 1;
  }();
  if (rc == 1 && chain_out != nullptr) *chain_out = chain.release();
  return rc;
}

int SSF_OCSP_basic_verify(const time_t* at, OCSP_BASICRESP* bs, STACK_OF(X509) * certs,
                          X509_STORE* store, unsigned long flags, STACK_OF(X509) * *chain_out) {
  static const char kFunc[] = "SSF_OCSP_basic_verify";
  if (chain_out != nullptr) *chain_out = nullptr;
  if (bs == nullptr) return -1;
  orvel::X509StackPtr list(sk_X509_new_null());
  if (!list) return -1;
  const STACK_OF(X509)* own = OCSP_resp_get0_certs(bs);
  if (own != nullptr && sk_X509_num(own) > 0) {
    X509* first = sk_X509_value(own, 0);
    if (!X509_up_ref(first)) return -1;
    if (!sk_X509_push(list.get(), first)) {
      X509_free(first);
      return -1;
    }
  }
  for (int i = 0; i < sk_X509_num(certs); ++i) {
    X509* c = sk_X509_value(certs, i);
    if (!X509_up_ref(c)) return -1;
    if (!sk_X509_push(list.get(), c)) {
      X509_free(c);
      return -1;
    }
  }
  const int r = OCSP_basic_verify_time(at, bs, list.get(), store, flags, chain_out);
  if (r < 1) {
    log_err("%s() 1 : OCSP_basic_verify_time() failed", kFunc);
    print_brekssl_errors();
  }
  return r;
}
