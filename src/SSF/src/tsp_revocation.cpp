// The revocation material of a time-stamp authority's chain, put into the
// token's own SignerInfo: the CRLs of the intermediate CAs, their
// references and the chain's certificate values.
#include <openssl/err.h>
#include <openssl/x509v3.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "cades_attr_ids.h"
#include "cades_revocation_types.h"
#include "codes.h"
#include "crl_check.h"
#include "list.h"
#include "log.h"
#include "ossl_ptr.h"
#include "tsp_client.h"
#include "verify_enh_hooks.h"

namespace {

const char kFunc[] = "AddTimestampRevocationValues";

void free_text(void* p) { free(p); }

// "http ldap" as the protocol list of the CRL check.
list_head* crl_protocols() {
  list_head* protos = list_create();
  if (protos == nullptr) return nullptr;
  for (const char* p : {"http", "ldap"}) {
    char* copy = strdup(p);
    list_node* node = copy ? list_node_create(copy) : nullptr;
    if (node == nullptr || !list_push(protos, node)) {
      free(copy);
      free(node);
      list_destroy(protos, free_text);
      return nullptr;
    }
  }
  return protos;
}

// Adds the DER of an item as an unsigned attribute of type SEQUENCE.
bool add_unsigned_item(PKCS7_SIGNER_INFO* si, int nid, const ASN1_ITEM* it, void* value) {
  unsigned char* der = nullptr;
  const int len = ASN1_item_i2d(static_cast<ASN1_VALUE*>(value), &der, it);
  if (len <= 0) return false;
  orvel::BytesPtr owner(der);
  orvel::Asn1StringPtr seq(ASN1_STRING_type_new(V_ASN1_SEQUENCE));
  if (!seq || !ASN1_STRING_set(seq.get(), der, len)) return false;
  if (!PKCS7_add_attribute(si, nid, V_ASN1_SEQUENCE, seq.get())) return false;
  seq.release();  // the attribute owns it now
  return true;
}

int add_values(PKCS7* token, X509* tsa_cert, X509_STORE* store, const EVP_MD* md) {
  if (token == nullptr || tsa_cert == nullptr || store == nullptr || md == nullptr) {
    log_err("%s() 1 : bad args", kFunc);
    return SSF_RC_TSP_BAD_RESPONSE;
  }
  STACK_OF(X509)* untrusted =
      PKCS7_type_is_signed(token) && token->d.sign ? token->d.sign->cert : nullptr;
  orvel::X509StoreCtxPtr ctx(X509_STORE_CTX_new());
  if (!ctx || !X509_STORE_CTX_init(ctx.get(), store, tsa_cert, untrusted)) {
    log_err("%s() 2 : X509_STORE_CTX_init() failed", kFunc);
    return SSF_RC_TSP_UNTRUSTED;
  }
  if (X509_verify_cert(ctx.get()) <= 0) {
    log_err("%s() 3 : X509_verify_cert() failed, reason: '%s'", kFunc,
            X509_verify_cert_error_string(X509_STORE_CTX_get_error(ctx.get())));
    return SSF_RC_TSP_UNTRUSTED;
  }
  orvel::X509StackPtr chain(X509_STORE_CTX_get1_chain(ctx.get()));
  const int n = chain ? sk_X509_num(chain.get()) : 0;
  if (n == 0) return SSF_RC_TSP_UNTRUSTED;
  if (n <= 2) {
    log_write("%s(): no intermediate CA found in TSA certificate chain", kFunc);
    return 0;
  }

  orvel::X509CrlStackPtr crls(sk_X509_CRL_new_null());
  if (!crls) return SSF_RC_TSP_BAD_RESPONSE;
  list_head* protos = crl_protocols();
  if (protos == nullptr) return SSF_RC_TSP_BAD_RESPONSE;
  int code = 0;
  for (int i = 1; i <= n - 2 && code == 0; ++i) {
    X509_CRL* crl = nullptr;
    X509_CRL* delta = nullptr;
    if (check_for_revocation(sk_X509_value(chain.get(), i), ctx.get(), protos, &crl, &delta) != 1) {
      log_err("%s() 7 : check_for_revocation #%d failed", kFunc, i);
      X509_CRL_free(crl);
      X509_CRL_free(delta);
      code = SSF_RC_TSP_UNTRUSTED;
      break;
    }
    for (X509_CRL* c : {crl, delta}) {
      if (c == nullptr) continue;
      if (!sk_X509_CRL_push(crls.get(), c)) {
        X509_CRL_free(c);
        code = SSF_RC_TSP_BAD_RESPONSE;
      }
    }
  }
  list_destroy(protos, free_text);
  if (code != 0) return code;

  PKCS7_SIGNER_INFO* si = sk_PKCS7_SIGNER_INFO_value(PKCS7_get_signer_info(token), 0);
  if (si == nullptr) {
    log_err("%s() 8 : signer_info in timestamp not found", kFunc);
    return SSF_RC_TSP_BAD_RESPONSE;
  }
  if (si->issuer_and_serial == nullptr ||
      X509_NAME_cmp(si->issuer_and_serial->issuer, X509_get_issuer_name(tsa_cert)) != 0 ||
      ASN1_INTEGER_cmp(si->issuer_and_serial->serial, X509_get0_serialNumber(tsa_cert)) != 0) {
    log_err("%s() 9 : signer_info and certificate don't match", kFunc);
    return SSF_RC_TSP_BAD_RESPONSE;
  }

  // Values: the CRLs; references: one identifier per CRL, in order.
  orvel::RevocationValuesPtr values(REVOCATION_VALUES_new());
  orvel::CompleteRevocationRefsPtr refs(COMPLETE_REVOCATION_REFS_new());
  if (!values || !refs || refs->crlOcspRefs == nullptr) return SSF_RC_TSP_BAD_RESPONSE;
  values->crlVals = sk_X509_CRL_new_null();
  values->ocspVals = sk_OCSP_BASICRESP_new_null();
  refs->crlOcspRefs->crlids = CRL_LIST_ID_new();
  refs->crlOcspRefs->ocspids = OCSP_LIST_ID_new();
  if (!values->crlVals || !values->ocspVals || !refs->crlOcspRefs->crlids ||
      !refs->crlOcspRefs->ocspids)
    return SSF_RC_TSP_BAD_RESPONSE;
  for (int i = 0; i < sk_X509_CRL_num(crls.get()); ++i) {
    X509_CRL* crl = sk_X509_CRL_value(crls.get(), i);
    CRL_VALIDATED_ID* id = make_crl_id(crl, md);
    if (id == nullptr || !sk_CRL_VALIDATED_ID_push(refs->crlOcspRefs->crlids->crls, id)) {
      CRL_VALIDATED_ID_free(id);
      log_err("%s() 10 : make_crl_id() failed", kFunc);
      return SSF_RC_TSP_BAD_RESPONSE;
    }
    if (!X509_CRL_up_ref(crl) || !sk_X509_CRL_push(values->crlVals, crl)) {
      return SSF_RC_TSP_BAD_RESPONSE;
    }
  }
  orvel::X509StackPtr collected;
  STACK_OF(X509)* collected_raw = nullptr;
  const int cv = add_certValues_attribute(si, md, chain.get(), store, &collected_raw);
  collected.reset(collected_raw);
  if (cv != 1) {
    log_err("%s() 16 : add_certValues_attribute() failed", kFunc);
    return SSF_RC_TSP_BAD_RESPONSE;
  }
  if (!add_unsigned_item(si, cades::kNidRevocationValues, ASN1_ITEM_rptr(REVOCATION_VALUES),
                         values.get()) ||
      !add_unsigned_item(si, cades::kNidRevocationRefs, ASN1_ITEM_rptr(COMPLETE_REVOCATION_REFS),
                         refs.get())) {
    log_err("%s() 17 : adding the revocation attributes failed", kFunc);
    return SSF_RC_TSP_BAD_RESPONSE;
  }
  return 0;
}

}  // namespace

int AddTimestampRevocationValues(PKCS7* token, X509* tsa_cert, X509_STORE* store,
                                 const EVP_MD* md) {
  const int code = add_values(token, tsa_cert, store, md);
  dbg("%s() end, return code = %d", kFunc, code);
  return code;
}
