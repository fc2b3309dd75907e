// Checks of a stored time-stamp token: its authority's chain at the chosen
// time, the trusted root, the token's signature and imprint, then the
// revocation material of the kind.
#include <openssl/err.h>
#include <openssl/ts.h>

#include <string>

#include "cades_attr_ids.h"
#include "codes.h"
#include "enhance_util.h"
#include "log.h"
#include "ossl_ptr.h"
#include "pkcs7_verify.h"
#include "settings.h"
#include "time_util.h"
#include "tsp_client.h"
#include "verify_enh_hooks.h"

namespace {

// The failure code of a token that does not verify, by kind.
int kind_failure(int kind) {
  switch (kind) {
    case TS_KIND_SIGNATURE: return SSF_RC_NO_SIGNATURE_TIMESTAMP;
    case TS_KIND_ESC: return SSF_RC_NO_ESC_TIMESTAMP;
    case TS_KIND_ARCHIVE: return SSF_RC_NO_ARCHIVE_TIMESTAMP;
    default: return SSF_INITIAL_VALUE;
  }
}

// The token's certificates, or null for a token that is not signedData.
STACK_OF(X509) * token_certs(PKCS7* token) {
  if (token == nullptr || !PKCS7_type_is_signed(token) || token->d.sign == nullptr) return nullptr;
  return token->d.sign->cert;
}

PKCS7_SIGNER_INFO* first_signer_info(PKCS7* token) {
  if (token == nullptr || !PKCS7_type_is_signed(token) || token->d.sign == nullptr) return nullptr;
  return sk_PKCS7_SIGNER_INFO_value(PKCS7_get_signer_info(token), 0);
}

// The certificates of the certValues attribute (an empty list when there
// is none); null only when no list can be made.
STACK_OF(X509) * cert_values(PKCS7_SIGNER_INFO* si) {
  orvel::X509StackPtr out(sk_X509_new_null());
  ASN1_TYPE* t = si ? PKCS7_get_attribute(si, cades::kNidCertValues) : nullptr;
  if (!out || t == nullptr || t->type != V_ASN1_SEQUENCE || t->value.sequence == nullptr)
    return out.release();
  const unsigned char* p = t->value.sequence->data;
  // SEQUENCE OF Certificate: walk the elements.
  long len = 0;
  int tag = 0, cls = 0;
  const int inf = ASN1_get_object(&p, &len, &tag, &cls, t->value.sequence->length);
  if ((inf & 0x80) || tag != V_ASN1_SEQUENCE) return out.release();
  const unsigned char* end = p + len;
  while (p < end) {
    orvel::X509Ptr cert(d2i_X509(nullptr, &p, end - p));
    if (!cert || !sk_X509_push(out.get(), cert.get())) break;
    cert.release();
  }
  ERR_clear_error();
  return out.release();
}

bool has_cert(STACK_OF(X509) * certs, X509* cert) {
  return certs != nullptr && X509_find_by_issuer_and_serial(certs, X509_get_issuer_name(cert),
                                                            X509_get0_serialNumber(cert)) != nullptr;
}

}  // namespace

X509* ssf_get_ts_cert(PKCS7* token) {
  static const char kFunc[] = "ssf_get_ts_cert";
  PKCS7_SIGNER_INFO* si = first_signer_info(token);
  if (si == nullptr) {
    log_err("%s() 1 : no signer info found in timestamp", kFunc);
    return nullptr;
  }
  X509* cert = ssf_find_signer_in_attrs(si, token_certs(token), nullptr, 0);
  if (cert == nullptr) log_err("%s() 2 : no signer certificate found in timestamp", kFunc);
  return cert;
}

int ssf_verify_TS_token(PKCS7* token, TS_TST_INFO* tst, ASN1_OCTET_STRING* data,
                        X509_STORE* store, int kind, STACK_OF(X509) * certs,
                        const ASN1_GENERALIZEDTIME* at) {
  static const char kFunc[] = "ssf_verify_TS_token";
  if (token == nullptr || tst == nullptr || store == nullptr) {
    log_err("%s() 1 : bad args", kFunc);
    return kind_failure(kind);
  }
  SSF_TS_VERIFY_CTX ctx;
  ctx.flags = TS_VFY_SIGNATURE | TS_VFY_VERSION | TS_VFY_SIGNER;
  orvel::BioPtr data_bio;
  if (data != nullptr) {
    data_bio.reset(BIO_new_mem_buf(ASN1_STRING_get0_data(data), ASN1_STRING_length(data)));
    if (!data_bio) return kind_failure(kind);
    ctx.flags |= TS_VFY_DATA;
    ctx.data = data_bio.get();
  }
  orvel::X509Ptr signer(ssf_get_ts_cert(token));
  if (!signer) return SSF_RC_TSP_BAD_RESPONSE;
  PKCS7_SIGNER_INFO* si = first_signer_info(token);
  // What the token carries never becomes a trust anchor of the caller's
  // store. With a trusted list the carried values may complete the chain in
  // a copy of the store, since the list then decides on the chain's root;
  // without one they are untrusted intermediates and the store's own
  // certificates are the only anchors.
  orvel::X509StackPtr carried(cert_values(si));
  orvel::X509StorePtr chain_store(enhance_store_copy(store));
  if (!carried || !chain_store) return kind_failure(kind);
  for (int i = 0; certs != nullptr && i < sk_X509_num(carried.get()); ++i)
    X509_STORE_add_cert(chain_store.get(), sk_X509_value(carried.get(), i));
  ERR_clear_error();
  orvel::X509RefStackPtr untrusted(sk_X509_new_null());
  if (!untrusted) return kind_failure(kind);
  for (STACK_OF(X509)* list : {token_certs(token), carried.get()})
    for (int i = 0; i < sk_X509_num(list); ++i)
      if (!sk_X509_push(untrusted.get(), sk_X509_value(list, i))) return kind_failure(kind);
  ctx.store = chain_store.get();
  ctx.certs = carried.get();
  // The signature must be the anchored signer's, not that of another
  // certificate of the same issuer and serial number that the values carry.
  ctx.signer = signer.get();

  // The time of the chain and of the token check.
  time_t when = -1;
  bool fixed = false;
  if (at != nullptr) {
    when = ASN1_GENERALIZEDTIME_to_time_t(at);
    fixed = true;
  } else if (verify_use_signing_time) {
    when = ASN1_GENERALIZEDTIME_to_time_t(TS_TST_INFO_get_time(tst));
    fixed = true;
  }

  orvel::X509StoreCtxPtr sctx(X509_STORE_CTX_new());
  if (!sctx || !X509_STORE_CTX_init(sctx.get(), chain_store.get(), signer.get(), untrusted.get()))
    return kind_failure(kind);
  X509_STORE_CTX_set_purpose(sctx.get(), X509_PURPOSE_TIMESTAMP_SIGN);
  if (fixed) X509_STORE_CTX_set_time(sctx.get(), 0, when);
  if (X509_verify_cert(sctx.get()) <= 0) {
    log_err("%s() 5 : X509_verify_cert() failed, reason: '%s'", kFunc,
            X509_verify_cert_error_string(X509_STORE_CTX_get_error(sctx.get())));
    return kind_failure(kind);
  }
  orvel::X509StackPtr chain(X509_STORE_CTX_get1_chain(sctx.get()));
  X509* root = chain ? sk_X509_value(chain.get(), sk_X509_num(chain.get()) - 1) : nullptr;
  if (root == nullptr ||
      find_certificate_in_trusted_root(root, certs ? chain_store.get() : store, certs) != 1) {
    log_err("%s() 6 : TSA root certificate is not trusted", kFunc);
    return SSF_RC_TSP_UNTRUSTED;
  }
  if (!has_cert(token_certs(token), signer.get()) && !PKCS7_add_certificate(token, signer.get()))
    return kind_failure(kind);

  if (!SSF_TS_RESP_verify_token(fixed ? when : -1, &ctx, token)) {
    log_err("%s() 10 : SSF_TS_RESP_verify_token() failed", kFunc);
    print_brekssl_errors();
    return kind_failure(kind);
  }
  switch (kind) {
    case TS_KIND_ESC:
      log_write("%s() : escTimeStamp, skipping revocation status check", kFunc);
      return 0;
    case TS_KIND_ARCHIVE:
      return verify_archive_timestamp_rev_status(si, TS_TST_INFO_get_time(tst), certs);
    case TS_KIND_SIGNATURE:
      return verify_signature_timestamp_rev_status(si, chain.get(), chain_store.get(),
                                                   fixed ? &when : nullptr);
    default:
      log_err("%s() : unknown timestamp type: %d", kFunc, kind);
      return SSF_API_CRYPTO_FAILED;
  }
}

int ssf_verify_TS(ASN1_OCTET_STRING* token, ASN1_OCTET_STRING* data, X509_STORE* store, int kind,
                  ASN1_GENERALIZEDTIME** gen_time, STACK_OF(X509) * certs,
                  const ASN1_GENERALIZEDTIME* at) {
  static const char kFunc[] = "ssf_verify_TS";
  if (gen_time != nullptr) *gen_time = nullptr;
  if (token == nullptr) {
    log_err("%s() 1 : bad args", kFunc);
    return -1;
  }
  const unsigned char* p = ASN1_STRING_get0_data(token);
  orvel::Pkcs7Ptr p7(d2i_PKCS7(nullptr, &p, ASN1_STRING_length(token)));
  if (!p7) {
    log_err("%s() 2 : d2i_PKCS7() failed", kFunc);
    print_brekssl_errors();
    return -1;
  }
  orvel::TsTstInfoPtr tst(PKCS7_type_is_signed(p7.get()) ? PKCS7_to_TS_TST_INFO(p7.get()) : nullptr);
  if (!tst) {
    log_err("%s() 3 : PKCS7_to_TS_TST_INFO() failed", kFunc);
    print_brekssl_errors();
    return SSF_RC_TSP_BAD_RESPONSE;
  }
  if (gen_time != nullptr) *gen_time = ASN1_STRING_dup(TS_TST_INFO_get_time(tst.get()));
  return ssf_verify_TS_token(p7.get(), tst.get(), data, store, kind, certs, at);
}
