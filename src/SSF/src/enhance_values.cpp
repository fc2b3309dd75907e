#include "enhance_values.h"

#include <openssl/err.h>
#include <openssl/ocsp.h>

#include <string>

#include "cades_attr_ids.h"
#include "cades_revocation_types.h"
#include "enhance_deps.h"
#include "enhance_seq_types.h"
#include "enhance_util.h"
#include "log.h"
#include "orvel_ssf.h"
#include "ossl_ptr.h"
#include "pkcs7/ess_attributes.h"

namespace {

// An MD of the digest over the whole basic response.
MD* basic_response_hash(OCSP_BASICRESP* bs, const EVP_MD* md) {
  orvel::MdPtr out(MD_new());
  if (!out) return nullptr;
  unsigned char buf[EVP_MAX_MD_SIZE];
  unsigned int n = 0;
  if (!X509_ALGOR_set0(out->hashAlgorithm, OBJ_nid2obj(EVP_MD_type(md)), V_ASN1_UNDEF, nullptr) ||
      !ASN1_item_digest(ASN1_ITEM_rptr(OCSP_BASICRESP), md, bs, buf, &n) ||
      !ASN1_OCTET_STRING_set(out->hashValue, buf, static_cast<int>(n)))
    return nullptr;
  return out.release();
}

OCSP_RESPONSES_ID* ocsp_responses_id(OCSP_BASICRESP* bs, const EVP_MD* md) {
  orvel::OcspResponsesIdPtr id(OCSP_RESPONSES_ID_new());
  if (!id || id->OcspIdentifier == nullptr) return nullptr;
  SSF_RESPID* rid = SSF_RESPID_from_basic_response(bs);
  if (rid == nullptr) return nullptr;
  SSF_RESPID_free(id->OcspIdentifier->responderId);
  id->OcspIdentifier->responderId = rid;
  const ASN1_GENERALIZEDTIME* produced = OCSP_resp_get0_produced_at(bs);
  if (produced == nullptr || !ASN1_STRING_copy(id->OcspIdentifier->producedAt, produced))
    return nullptr;
  id->ocspRepHash = basic_response_hash(bs, md);
  return id->ocspRepHash ? id.release() : nullptr;
}

// Values and references of one chain position. 0, or 4 on failure.
int record_revocation(REVOCATION_VALUES* vals, COMPLETE_REVOCATION_REFS* refs, const EVP_MD* md,
                      X509* responder, OCSP_BASICRESP* bs, X509_CRL* crl, X509_CRL* delta,
                      STACK_OF(X509) * working) {
  orvel::OcspBasicRespPtr bs_owner(bs);
  orvel::X509Ptr responder_owner(responder);
  orvel::X509CrlPtr crl_owner(crl), delta_owner(delta);
  if (bs != nullptr) {
    orvel::OcspResponsesIdPtr id(ocsp_responses_id(bs, md));
    if (!id || (responder != nullptr && !add_cert(working, responder)) ||
        !sk_OCSP_BASICRESP_push(vals->ocspVals, bs))
      return 4;
    bs_owner.release();
    if (!sk_OCSP_RESPONSES_ID_push(refs->crlOcspRefs->ocspids->OcspRespIds, id.get())) return 4;
    id.release();
    return 0;
  }
  if (crl == nullptr) return 4;
  orvel::CrlValidatedIdPtr crl_id(make_crl_id(crl, md));
  orvel::CrlValidatedIdPtr delta_id(delta ? make_crl_id(delta, md) : nullptr);
  if (!crl_id || (delta != nullptr && !delta_id)) return 4;
  if (!sk_X509_CRL_push(vals->crlVals, crl)) return 4;
  crl_owner.release();
  if (delta != nullptr) {
    if (!sk_X509_CRL_push(vals->crlVals, delta)) return 4;
    delta_owner.release();
  }
  STACK_OF(CRL_VALIDATED_ID)* ids = refs->crlOcspRefs->crlids->crls;
  if (!sk_CRL_VALIDATED_ID_push(ids, crl_id.get())) return 4;
  crl_id.release();
  if (delta_id) {
    if (!sk_CRL_VALIDATED_ID_push(ids, delta_id.get())) return 4;
    delta_id.release();
  }
  return 0;
}

}  // namespace

int add_revValues_attribute(PKCS7_SIGNER_INFO* si, X509* cert, X509_STORE* store,
                            const EVP_MD* md, const ASN1_GENERALIZEDTIME* ts_time,
                            STACK_OF(X509) * working) {
  constexpr char kFunc[] = "add_revValues_attribute";
  if (si == nullptr || cert == nullptr || store == nullptr || md == nullptr || working == nullptr)
    return SSF_API_CRYPTO_FAILED;
  STACK_OF(X509)* ch = nullptr;
  std::string reason;
  const int rc = enhance_build_chain(cert, store, -1, &ch, &reason);
  orvel::X509StackPtr chain(ch);
  if (rc == SSF_API_CRYPTO_FAILED) {
    log_err("%s() 1 : X509_STORE_CTX_new() failed", kFunc);
    return rc;
  }
  if (rc != 0) {
    log_err("%s() 2 : X509_verify_cert() failed, reason: '%s'", kFunc, reason.c_str());
    return rc;
  }
  orvel::RevocationValuesPtr vals(ssf_REVOCATION_VALUES_new());
  orvel::CompleteRevocationRefsPtr refs(ssf_COMPLETE_REVOCATION_REFS_new());
  if (!vals || !refs) {
    log_err("%s() 3 : out of memory", kFunc);
    return SSF_API_NOMEMORY;
  }
  const int n = sk_X509_num(chain.get());
  for (int i = 0; i + 1 < n; ++i) {
    X509* c = sk_X509_value(chain.get(), i);
    X509* issuer = sk_X509_value(chain.get(), i + 1);
    X509* responder = nullptr;
    OCSP_BASICRESP* bs = nullptr;
    X509_CRL* crl = nullptr;
    X509_CRL* delta = nullptr;
    const int code =
        get_revValue(c, issuer, store, md, ts_time, &responder, &bs, &crl, &delta);
    if (code != 0) {
      X509_free(responder);
      OCSP_BASICRESP_free(bs);
      X509_CRL_free(crl);
      X509_CRL_free(delta);
      log_err("%s() 8 : get_revValue() failed for certificate #%d (subject DN = '%s')", kFunc, i,
              enhance_subject(c).c_str());
      return code;
    }
    if (record_revocation(vals.get(), refs.get(), md, responder, bs, crl, delta, working) != 0 ||
        !add_cert(working, issuer) || !add_cert(working, c)) {
      log_err("%s() 9 : revocation values of certificate #%d not recorded", kFunc, i);
      return SSF_API_NOMEMORY;
    }
  }
  if (!find_certificate_in_trusted_root(sk_X509_value(chain.get(), n - 1), store, nullptr)) {
    log_err("%s() 10 : signer's root CA certificate not found in Trusted Root Store", kFunc);
    return 120;
  }
  if (!enhance_set_unsigned_item(si, cades::kNidRevocationValues,
                                 ASN1_ITEM_rptr(REVOCATION_VALUES), vals.get()) ||
      !enhance_set_unsigned_item(si, cades::kNidRevocationRefs,
                                 ASN1_ITEM_rptr(COMPLETE_REVOCATION_REFS), refs.get())) {
    log_err("%s() 11 : revocation attributes not added", kFunc);
    print_brekssl_errors();
    return SSF_API_NOMEMORY;
  }
  return 0;
}

int add_certValues_attribute(PKCS7_SIGNER_INFO* si, const EVP_MD* md, STACK_OF(X509) * certs,
                             X509_STORE* store, STACK_OF(X509) * *collected) {
  constexpr char kFunc[] = "add_certValues_attribute";
  if (si == nullptr || md == nullptr || store == nullptr || collected == nullptr) {
    log_err("%s() 1 : bad args", kFunc);
    return -1;
  }
  orvel::X509StackPtr all(sk_X509_new_null());
  if (!all) {
    log_err("%s() 2 : sk_X509_new_null() failed", kFunc);
    return -1;
  }
  for (int i = 0; i < sk_X509_num(certs); ++i) {
    X509* c = sk_X509_value(certs, i);
    STACK_OF(X509)* ch = nullptr;
    std::string reason;
    const int rc = enhance_build_chain(c, store, -1, &ch, &reason);
    orvel::X509StackPtr chain(ch);
    if (rc != 0) {
      log_err("%s() 5 : X509_verify_cert() failed for '%s', reason: '%s'", kFunc,
              enhance_subject(c).c_str(), reason.c_str());
      return -1;
    }
    for (int j = 0; j < sk_X509_num(chain.get()); ++j)
      if (!add_cert(all.get(), sk_X509_value(chain.get(), j))) {
        log_err("%s() 6 : add_cert() failed", kFunc);
        return -1;
      }
  }
  if (!enhance_set_unsigned_item(si, cades::kNidCertValues, ASN1_ITEM_rptr(SSF_CERTIFICATES),
                                 all.get())) {
    log_err("%s() 7 : certValues attribute not added", kFunc);
    print_brekssl_errors();
    return -1;
  }
  orvel::OtherCertIdStackPtr ids(sk_OTHERCERTID_new_null());
  if (!ids) return -1;
  for (int i = 0; i < sk_X509_num(all.get()); ++i) {
    X509* c = sk_X509_value(all.get(), i);
    if (si->issuer_and_serial != nullptr &&
        X509_NAME_cmp(si->issuer_and_serial->issuer, X509_get_issuer_name(c)) == 0 &&
        ASN1_INTEGER_cmp(si->issuer_and_serial->serial, X509_get0_serialNumber(c)) == 0)
      continue;
    OTHERCERTID* id = PKCS7_make_other_cert_id(c, md);
    if (id == nullptr || !sk_OTHERCERTID_push(ids.get(), id)) {
      OTHERCERTID_free(id);
      log_err("%s() 8 : PKCS7_make_other_cert_id() failed", kFunc);
      print_brekssl_errors();
      return -1;
    }
  }
  if (!enhance_set_unsigned_item(si, cades::kNidCertificateRefs, ASN1_ITEM_rptr(SSF_OTHERCERTIDS),
                                 ids.get())) {
    log_err("%s() 9 : CertificateRefs attribute not added", kFunc);
    print_brekssl_errors();
    return -1;
  }
  *collected = all.release();
  return 1;
}
