#include "verify_enh_certs.h"

#include <openssl/err.h>
#include <openssl/evp.h>

#include <cstring>

#include "cades_attr_ids.h"
#include "enhance_deps.h"
#include "enhance_seq_types.h"
#include "enhance_util.h"
#include "log.h"
#include "ossl_ptr.h"

namespace {

constexpr int kRefsMismatch = 119;
constexpr int kBadValues = 116;

template <typename T>
T* decode_attr(PKCS7_SIGNER_INFO* si, int nid, const ASN1_ITEM* it) {
  const ASN1_STRING* v = enhance_sequence_value(get_raw_attribute(si->unauth_attr, nid));
  if (v == nullptr) return nullptr;
  const unsigned char* p = ASN1_STRING_get0_data(v);
  const unsigned char* end = p + ASN1_STRING_length(v);
  ASN1_VALUE* out = ASN1_item_d2i(nullptr, &p, ASN1_STRING_length(v), it);
  if (out != nullptr && p != end) {
    ASN1_item_free(out, it);
    return nullptr;
  }
  return reinterpret_cast<T*>(out);
}

bool signer_matches(PKCS7_SIGNER_INFO* si, X509* c) {
  return si->issuer_and_serial != nullptr &&
         X509_NAME_cmp(si->issuer_and_serial->issuer, X509_get_issuer_name(c)) == 0 &&
         ASN1_INTEGER_cmp(si->issuer_and_serial->serial, X509_get0_serialNumber(c)) == 0;
}

}  // namespace

REVOCATION_VALUES* enhance_get_revocation_values(PKCS7_SIGNER_INFO* si) {
  return si ? decode_attr<REVOCATION_VALUES>(si, cades::kNidRevocationValues,
                                             ASN1_ITEM_rptr(REVOCATION_VALUES))
            : nullptr;
}

int LoadCertificates(STACK_OF(X509) * *list, X509_STORE** store, X509** signer,
                     PKCS7_SIGNER_INFO* si) {
  constexpr char kFunc[] = "LoadCertificates";
  const ASN1_STRING* v =
      si ? enhance_sequence_value(get_raw_attribute(si->unauth_attr, cades::kNidCertValues))
         : nullptr;
  if (v == nullptr) {
    log_err("%s() 1 : attribute 'id_smime_aa_ets_certValues' not found", kFunc);
    return kBadValues;
  }
  orvel::X509StackPtr certs(ssf_d2i_certificates(v));
  orvel::X509StorePtr st(X509_STORE_new());
  if (!certs || !st) {
    log_err("%s() 2 : certValues attribute does not decode", kFunc);
    print_brekssl_errors();
    return kBadValues;
  }
  X509* found = nullptr;
  for (int i = 0; i < sk_X509_num(certs.get()); ++i) {
    X509* c = sk_X509_value(certs.get(), i);
    if (!X509_STORE_add_cert(st.get(), c)) {
      log_err("%s() 3 : X509_STORE_add_cert() failed", kFunc);
      return kBadValues;
    }
    if (found == nullptr && signer_matches(si, c)) found = c;
  }
  if (found != nullptr && !X509_up_ref(found)) return kBadValues;
  *signer = found;
  *list = certs.release();
  *store = st.release();
  return 1;
}

int crlid_and_crl_match(CRL_VALIDATED_ID* id, X509_CRL* crl) {
  if (id == nullptr || id->crlHash == nullptr || crl == nullptr) return 0;
  const EVP_MD* md = id->crlHash->hashAlgorithm
                         ? EVP_get_digestbyobj(id->crlHash->hashAlgorithm->algorithm)
                         : nullptr;
  unsigned char buf[EVP_MAX_MD_SIZE];
  unsigned int n = 0;
  if (md == nullptr || !X509_CRL_digest(crl, md, buf, &n) || id->crlHash->hashValue == nullptr ||
      ASN1_STRING_length(id->crlHash->hashValue) != static_cast<int>(n) ||
      memcmp(ASN1_STRING_get0_data(id->crlHash->hashValue), buf, n) != 0)
    return 0;
  const CRL_IDENTIFIER* ident = id->crlIdentifier;
  if (ident == nullptr) return 1;
  if (ident->crlIssuer == nullptr ||
      X509_NAME_cmp(ident->crlIssuer, X509_CRL_get_issuer(crl)) != 0 ||
      ident->crlIssuedTime == nullptr || X509_CRL_get0_lastUpdate(crl) == nullptr ||
      ASN1_TIME_compare(ident->crlIssuedTime, X509_CRL_get0_lastUpdate(crl)) != 0)
    return 0;
  if (ident->crlNumber == nullptr) return 1;
  orvel::Asn1IntegerPtr number(
      static_cast<ASN1_INTEGER*>(X509_CRL_get_ext_d2i(crl, NID_crl_number, nullptr, nullptr)));
  return number && ASN1_INTEGER_cmp(number.get(), ident->crlNumber) == 0 ? 1 : 0;
}

int check_rev_and_cert_refs_and_vals(PKCS7_SIGNER_INFO* si) {
  constexpr char kFunc[] = "check_rev_and_cert_refs_and_vals";
  if (si == nullptr) return kRefsMismatch;
  if (get_raw_attribute(si->unauth_attr, cades::kNidRevocationRefs) != nullptr) {
    orvel::CompleteRevocationRefsPtr refs(decode_attr<COMPLETE_REVOCATION_REFS>(
        si, cades::kNidRevocationRefs, ASN1_ITEM_rptr(COMPLETE_REVOCATION_REFS)));
    if (!refs) {
      log_err("%s() 1 : RevocationRefs attribute does not decode", kFunc);
      return kRefsMismatch;
    }
    orvel::RevocationValuesPtr vals(enhance_get_revocation_values(si));
    if (!vals) {
      log_err("%s() 2 : revocationValues attribute not found or does not decode", kFunc);
      return kRefsMismatch;
    }
    const CRL_OCSP_REF* ref = refs->crlOcspRefs;
    STACK_OF(CRL_VALIDATED_ID)* crl_ids = ref && ref->crlids ? ref->crlids->crls : nullptr;
    for (int i = 0; i < sk_CRL_VALIDATED_ID_num(crl_ids); ++i) {
      bool found = false;
      for (int j = 0; !found && j < sk_X509_CRL_num(vals->crlVals); ++j)
        found = crlid_and_crl_match(sk_CRL_VALIDATED_ID_value(crl_ids, i),
                                    sk_X509_CRL_value(vals->crlVals, j)) == 1;
      if (!found) {
        log_err("%s() 4 : CRL not found for crlid #%d", kFunc, i);
        return kRefsMismatch;
      }
    }
    STACK_OF(OCSP_RESPONSES_ID)* ocsp_ids =
        ref && ref->ocspids ? ref->ocspids->OcspRespIds : nullptr;
    for (int i = 0; i < sk_OCSP_RESPONSES_ID_num(ocsp_ids); ++i) {
      bool found = false;
      for (int j = 0; !found && j < sk_OCSP_BASICRESP_num(vals->ocspVals); ++j)
        found = ocspid_and_ocsp_match(sk_OCSP_RESPONSES_ID_value(ocsp_ids, i),
                                      sk_OCSP_BASICRESP_value(vals->ocspVals, j)) == 1;
      if (!found) {
        log_err("%s() 5 : OCSP response not found for ocspid #%d", kFunc, i);
        return kRefsMismatch;
      }
    }
  }
  const ASN1_STRING* crefs =
      enhance_sequence_value(get_raw_attribute(si->unauth_attr, cades::kNidCertificateRefs));
  if (get_raw_attribute(si->unauth_attr, cades::kNidCertificateRefs) != nullptr) {
    orvel::OtherCertIdStackPtr ids(ssf_d2i_other_cert_ids(crefs));
    const ASN1_STRING* cv =
        enhance_sequence_value(get_raw_attribute(si->unauth_attr, cades::kNidCertValues));
    orvel::X509StackPtr certs(ssf_d2i_certificates(cv));
    if (!ids || !certs) {
      log_err("%s() 7 : CertificateRefs or certValues attribute does not decode", kFunc);
      return kRefsMismatch;
    }
    for (int i = 0; i < sk_OTHERCERTID_num(ids.get()); ++i) {
      bool found = false;
      for (int j = 0; !found && j < sk_X509_num(certs.get()); ++j)
        found = certid_and_cert_match(sk_OTHERCERTID_value(ids.get(), i),
                                      sk_X509_value(certs.get(), j)) == 1;
      if (!found) {
        log_err("%s() 9 : certificate not found for certid #%d", kFunc, i);
        return kRefsMismatch;
      }
    }
  }
  return 0;
}
