#include "verify_enh_status.h"

#include <openssl/err.h>
#include <openssl/ocsp.h>
#include <openssl/x509v3.h>

#include <string>

#include "crl_stored.h"
#include "enhance_deps.h"
#include "enhance_util.h"
#include "log.h"
#include "ossl_ptr.h"
#include "settings.h"

namespace {

constexpr char kFunc[] = "get_cert_status";
constexpr int kInvalid = 27;
constexpr int kBadOcsp = 105;
constexpr int kRevoked = 106;
constexpr int kUnknown = 107;
constexpr int kTooOld = 110;

using OcspCertIdPtr = std::unique_ptr<OCSP_CERTID, orvel::Free<OCSP_CERTID, OCSP_CERTID_free>>;

void free_strings(STACK_OF(OPENSSL_STRING) * s) { X509_email_free(s); }
using StringStackPtr =
    std::unique_ptr<STACK_OF(OPENSSL_STRING), orvel::Free<STACK_OF(OPENSSL_STRING), free_strings>>;

bool names_ocsp_responder(X509* cert) {
  StringStackPtr urls(X509_get1_ocsp(cert));
  return urls && sk_OPENSSL_STRING_num(urls.get()) > 0;
}

// The responder's certificate: the answer's first, else the signature's
// certificate named by the answer's responder id.
X509* responder_certificate(OCSP_BASICRESP* bs, STACK_OF(X509) * sig_certs) {
  const STACK_OF(X509)* carried = OCSP_resp_get0_certs(bs);
  if (sk_X509_num(carried) > 0) return sk_X509_value(carried, 0);
  log_write("%s() 11 : OCSP certificate not found in response, trying to find in signature "
            "attributes",
            kFunc);
  const ASN1_OCTET_STRING* key = nullptr;
  const X509_NAME* name = nullptr;
  if (!OCSP_resp_get0_id(bs, &key, &name) || name == nullptr) return nullptr;
  for (int i = 0; i < sk_X509_num(sig_certs); ++i)
    if (X509_NAME_cmp(X509_get_subject_name(sk_X509_value(sig_certs, i)), name) == 0)
      return sk_X509_value(sig_certs, i);
  return nullptr;
}

// With the issuer checks off any responder role is accepted, but its chain
// must still end at a trusted certificate, not at one the signature alone
// carries.
bool responder_anchored(STACK_OF(X509) * chain, X509_STORE* store, STACK_OF(X509) * trusted) {
  X509* root = sk_X509_value(chain, sk_X509_num(chain) - 1);
  if (root != nullptr && find_certificate_in_trusted_root(root, store, trusted) == 1) return true;
  log_err("%s() 6.1 : OCSP responder's root '%s' is not a trusted certificate", kFunc,
          enhance_subject(root).c_str());
  return false;
}

int ocsp_status(X509* cert, X509* issuer, time_t at, REVOCATION_VALUES* vals, X509_STORE* store,
                STACK_OF(X509) * sig_certs, STACK_OF(X509) * trusted) {
  const std::string subject = enhance_subject(cert);
  for (int k = 0; k < sk_OCSP_BASICRESP_num(vals->ocspVals); ++k) {
    OCSP_BASICRESP* bs = sk_OCSP_BASICRESP_value(vals->ocspVals, k);
    OCSP_SINGLERESP* first = bs ? OCSP_resp_get0(bs, 0) : nullptr;
    ASN1_OBJECT* alg = nullptr;
    const EVP_MD* md = nullptr;
    if (first != nullptr &&
        OCSP_id_get0_info(nullptr, &alg, nullptr, nullptr,
                          const_cast<OCSP_CERTID*>(OCSP_SINGLERESP_get0_id(first))))
      md = EVP_get_digestbyobj(alg);
    if (md == nullptr) {
      log_err("%s() 4 : OCSP_BASICRESP #%d has no usable SingleResponse", kFunc, k);
      return kInvalid;
    }
    OcspCertIdPtr id(OCSP_cert_to_id(md, cert, issuer));
    const int idx = id ? OCSP_resp_find(bs, id.get(), -1) : -1;
    if (idx < 0) {
      log_write("%s() 5 : no status found in OCSP_BASICRESP #%d", kFunc, k);
      continue;
    }
    const unsigned long flags = disable_ocsp_issuer_check ? OCSP_NOCHECKS : 0;
    STACK_OF(X509)* responder_chain = nullptr;
    const int verified = SSF_OCSP_basic_verify(&at, bs, sig_certs, store, flags, &responder_chain);
    orvel::X509StackPtr chain_owner(responder_chain);
    if (verified < 1) {
      log_err("%s() 6 : SSF_OCSP_basic_verify() failed", kFunc);
      return kInvalid;
    }
    if ((flags & OCSP_NOCHECKS) && !responder_anchored(responder_chain, store, trusted))
      return kInvalid;
    OCSP_SINGLERESP* single = OCSP_resp_get0(bs, idx);
    int reason = 0;
    ASN1_GENERALIZEDTIME *revtime = nullptr, *this_upd = nullptr, *next_upd = nullptr;
    const int status = OCSP_single_get0_status(single, &reason, &revtime, &this_upd, &next_upd);
    if (status == V_OCSP_CERTSTATUS_REVOKED) {
      log_err("%s() 7 : certificate '%s' revoked", kFunc, subject.c_str());
      return kRevoked;
    }
    if (status == V_OCSP_CERTSTATUS_UNKNOWN) {
      log_err("%s() 8 : certificate '%s' status unknown", kFunc, subject.c_str());
      return kUnknown;
    }
    if (status != V_OCSP_CERTSTATUS_GOOD) {
      log_err("%s() 9 : certificate '%s' status = %d", kFunc, subject.c_str(), status);
      return kUnknown;
    }
    const time_t produced = enhance_gentime_to_time_t(OCSP_resp_get0_produced_at(bs));
    const time_t updated = enhance_gentime_to_time_t(this_upd);
    if (produced == -1 || updated == -1 ||
        ocsp_resp_is_good(at, produced, updated, next_upd, nullptr) != 1) {
      log_err("%s() 10 : OCSP_BASICRESP has wrong 'producedAt' time, it is too old", kFunc);
      return kTooOld;
    }
    X509* responder = responder_certificate(bs, sig_certs);
    // The extension must be on the certificate whose key signed the answer,
    // not merely on some certificate the answer carries first.
    if (responder != nullptr && sk_X509_num(responder_chain) > 0)
      responder = sk_X509_value(responder_chain, 0);
    if (responder == nullptr) {
      log_err("%s() 12 : OCSP responder certificate not found", kFunc);
      return kBadOcsp;
    }
    if (X509_get_ext_by_NID(responder, NID_id_pkix_OCSP_noCheck, -1) < 0) {
      log_err("%s() 13 : id-pkix-ocsp-nocheck extension not found in responder certificate",
              kFunc);
      return kBadOcsp;
    }
    const std::string oid = ocsp_unprocessed_critical(bs, single);
    if (!oid.empty()) {
      log_err(
          "%s() 14 : OCSP_BASICRESP #%d has the critical extension %s, which is not "
          "processed",
          kFunc, k, oid.c_str());
      return kBadOcsp;
    }
    return 0;
  }
  log_err("%s() 15 : certificate '%s' status not found in revocation values", kFunc,
          subject.c_str());
  return kUnknown;
}

// cert's status from the stored CRLs of its issuer in the verified chain.
int crl_status(X509* cert, X509* issuer, time_t at, REVOCATION_VALUES* vals,
               X509_STORE_CTX* ctx) {
  switch (stored_crl_status(cert, issuer, vals->crlVals, at, ctx, StoredCrlRoad::kSignerChain)) {
    case StoredCrlStatus::kClear:
      return 0;
    case StoredCrlStatus::kRevoked:
      log_err("%s() 17 : certificate found in CRL, certificate is invalid", kFunc);
      return kUnknown;
    case StoredCrlStatus::kNoneClears:
      break;
  }
  log_err("%s() 18 : revocation info not found for certificate '%s'", kFunc,
          enhance_subject(cert).c_str());
  return kUnknown;
}

}  // namespace

int get_cert_status(X509* cert, X509* issuer, const time_t* at, REVOCATION_VALUES* vals,
                    X509_STORE* store, STACK_OF(X509) * sig_certs, STACK_OF(X509) * trusted) {
  if (at == nullptr || store == nullptr || cert == nullptr || issuer == nullptr ||
      vals == nullptr) {
    log_err("%s() 1 : bad args", kFunc);
    return -1;
  }
  orvel::X509StoreCtxPtr ctx(X509_STORE_CTX_new());
  if (!ctx || !X509_STORE_CTX_init(ctx.get(), store, cert, nullptr)) {
    log_err("%s() 2 : X509_STORE_CTX_init() failed", kFunc);
    return -1;
  }
  if (names_ocsp_responder(cert)) {
    log_write("%s() : OCSP URL found in certificate", kFunc);
    return ocsp_status(cert, issuer, *at, vals, store, sig_certs, trusted);
  }
  log_write("%s() : OCSP URL NOT found in certificate", kFunc);
  return crl_status(cert, issuer, *at, vals, ctx.get());
}
