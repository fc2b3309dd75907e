// Revocation information of one certificate at the time of a time stamp:
// the OCSP responders named by the certificate, one after another, with a
// pause and a second question when an answer is older than the stamp; the
// CRLs when the certificate names no responder.
#include "ocsp_client.h"

#include <openssl/err.h>
#include <openssl/x509v3.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "codes.h"
#include "crl_check.h"
#include "crl_stored.h"
#include "crl_verify.h"
#include "list.h"
#include "log.h"
#include "ossl_ptr.h"
#include "settings.h"
#include "sign_enhance.h"
#include "time_util.h"

namespace {

const char kFunc[] = "get_revValue";

void (*g_sleeper)(unsigned) = nullptr;

void pause_seconds(int seconds) {
  if (seconds <= 0) return;
  if (g_sleeper != nullptr) {
    g_sleeper(static_cast<unsigned>(seconds));
    return;
  }
  unsigned left = static_cast<unsigned>(seconds);
  while (left > 0) left = sleep(left);
}

using OcspRequestPtr = std::unique_ptr<OCSP_REQUEST, orvel::Free<OCSP_REQUEST, OCSP_REQUEST_free>>;
using OcspResponsePtr =
    std::unique_ptr<OCSP_RESPONSE, orvel::Free<OCSP_RESPONSE, OCSP_RESPONSE_free>>;
using AiaPtr = std::unique_ptr<AUTHORITY_INFO_ACCESS,
                               orvel::Free<AUTHORITY_INFO_ACCESS, AUTHORITY_INFO_ACCESS_free>>;

void free_list_text(void* p) { free(p); }

// The request: one CertID of cert and issuer made with md.
OcspRequestPtr make_request(X509* cert, X509* issuer, const EVP_MD* md) {
  OcspRequestPtr req(OCSP_REQUEST_new());
  if (!req) return nullptr;
  OCSP_CERTID* id = OCSP_cert_to_id(md, cert, issuer);
  if (id == nullptr) return nullptr;
  if (OCSP_request_add0_id(req.get(), id) == nullptr) {
    OCSP_CERTID_free(id);
    return nullptr;
  }
  return req;
}

// OCSP URIs of the authorityInfoAccess extension, in order. *has_ext tells
// whether the extension is there.
std::vector<std::string> responder_urls(X509* cert, bool* has_ext) {
  std::vector<std::string> urls;
  AiaPtr aia(static_cast<AUTHORITY_INFO_ACCESS*>(
      X509_get_ext_d2i(cert, NID_info_access, nullptr, nullptr)));
  *has_ext = aia != nullptr;
  for (int i = 0; aia && i < sk_ACCESS_DESCRIPTION_num(aia.get()); ++i) {
    const ACCESS_DESCRIPTION* ad = sk_ACCESS_DESCRIPTION_value(aia.get(), i);
    if (OBJ_obj2nid(ad->method) != NID_ad_OCSP || ad->location->type != GEN_URI) continue;
    const ASN1_IA5STRING* uri = ad->location->d.uniformResourceIdentifier;
    std::string url(reinterpret_cast<const char*>(ASN1_STRING_get0_data(uri)),
                    static_cast<size_t>(ASN1_STRING_length(uri)));
    if (url.find('\0') != std::string::npos) continue;  // not a usable text
    log_write("%s() : OCSP URL '%s' found in certificate", kFunc, url.c_str());
    urls.push_back(url);
  }
  return urls;
}

// Whether the verification of the enhanced signature will take the CRL and
// delta CRL as showing cert unrevoked at the stamp's time: what it refuses
// is never stored.
bool verifies_as_stored(X509* cert, X509* issuer, X509_CRL* crl, X509_CRL* delta, time_t tsp,
                        X509_STORE_CTX* ctx) {
  orvel::X509CrlStackPtr stored(sk_X509_CRL_new_null());
  if (!stored) return false;
  for (X509_CRL* c : {crl, delta}) {
    if (c == nullptr) continue;
    if (!X509_CRL_up_ref(c)) return false;
    if (!sk_X509_CRL_push(stored.get(), c)) {
      X509_CRL_free(c);
      return false;
    }
  }
  if (stored_crl_status(cert, issuer, stored.get(), tsp, ctx, StoredCrlRoad::kToStore) ==
      StoredCrlStatus::kClear)
    return true;
  log_err("%s() 7.2 : the crls of certificate '%s' do not show it unrevoked at the time stamp, "
          "they are not stored",
          kFunc, crl_name_text(X509_get_subject_name(cert)).c_str());
  return false;
}

// The CRL check of the certificate in the store; 0 with copies of the CRLs.
// With a time stamp (tsp, has_tsp) the CRLs must also show the certificate
// unrevoked at its time as the verification of the stored values will.
int crl_fallback(X509* cert, X509* issuer, X509_STORE* store, time_t tsp, bool has_tsp,
                 X509_CRL** crl, X509_CRL** delta) {
  list_head* protos = list_create();
  if (protos == nullptr) return -1;
  for (const char* p : {"http", "ldap", "file"}) {
    char* copy = strdup(p);
    list_node* node = copy ? list_node_create(copy) : nullptr;
    if (node == nullptr || !list_push(protos, node)) {
      free(copy);
      free(node);
      list_destroy(protos, free_list_text);
      return -1;
    }
  }
  orvel::X509StoreCtxPtr ctx(X509_STORE_CTX_new());
  int r = -1;
  X509_CRL* got_crl = nullptr;
  X509_CRL* got_delta = nullptr;
  if (ctx && X509_STORE_CTX_init(ctx.get(), store, cert, nullptr))
    r = check_for_revocation(cert, ctx.get(), protos, &got_crl, &got_delta);
  orvel::X509CrlPtr crl_copy(got_crl), delta_copy(got_delta);
  list_destroy(protos, free_list_text);
  if (r != 1) {
    log_err("%s() 7 : check_for_revocation() failed", kFunc);
    print_brekssl_errors();
    return SSF_RC_CERT_UNKNOWN;
  }
  if (has_tsp &&
      !verifies_as_stored(cert, issuer, crl_copy.get(), delta_copy.get(), tsp, ctx.get()))
    return SSF_RC_CERT_UNKNOWN;
  if (crl != nullptr) *crl = crl_copy.release();
  if (delta != nullptr) *delta = delta_copy.release();
  return 0;
}

bool same_certid(OCSP_CERTID* a, OCSP_CERTID* b) {
  ASN1_OCTET_STRING *an = nullptr, *ak = nullptr, *bn = nullptr, *bk = nullptr;
  ASN1_INTEGER *as = nullptr, *bsn = nullptr;
  if (a == nullptr || b == nullptr || !OCSP_id_get0_info(&an, nullptr, &ak, &as, a) ||
      !OCSP_id_get0_info(&bn, nullptr, &bk, &bsn, b))
    return false;
  return ASN1_OCTET_STRING_cmp(ak, bk) == 0 && ASN1_OCTET_STRING_cmp(an, bn) == 0 &&
         ASN1_INTEGER_cmp(as, bsn) == 0;
}

// Seconds of an ASN.1 time; false when it does not convert.
bool seconds_of(const ASN1_TIME* t, time_t* out) {
  struct tm tm = {};
  if (t == nullptr || !ASN1_TIME_to_tm(t, &tm)) return false;
  *out = timegm(&tm);
  return true;
}

// One responder's answer that passed every check but the status.
struct Answer {
  OcspResponsePtr resp;
  orvel::OcspBasicRespPtr bs;
  OCSP_SINGLERESP* single = nullptr;
  orvel::X509StackPtr responder_chain;  // the verified signer first
};

// Asks once and takes the SingleResponse; 0 or a code.
int ask(OCSP_REQUEST* req, const std::string& url, Answer* a, const ASN1_GENERALIZEDTIME** produced,
        bool second) {
  a->single = nullptr;
  a->bs.reset();
  a->resp.reset();
  OCSP_RESPONSE* resp = nullptr;
  const int code = get_OCSP_response(req, url.c_str(), &resp);
  a->resp.reset(resp);
  if (code != 0) {
    if (second)
      log_err("%s() 11 : second get_OCSP_response() failed", kFunc);
    else
      log_err("%s() 8 : first get_OCSP_response( '%s' ) failed", kFunc, url.c_str());
    return code;
  }
  OCSP_BASICRESP* bs = nullptr;
  a->single = get_SINGLE_RESP(a->resp.get(), &bs, produced);
  a->bs.reset(bs);
  return a->single != nullptr ? 0 : SSF_RC_OCSP_BAD_RESPONSE;
}

// The responder: the verified signer of the answer.
X509* responder_of(const Answer& a) { return sk_X509_value(a.responder_chain.get(), 0); }

// The freshness of the SingleResponse; *pause as ocsp_resp_is_good gives it.
int judge(time_t tsp, const ASN1_GENERALIZEDTIME* produced, OCSP_SINGLERESP* single, int* pause,
          time_t* this_update_out) {
  ASN1_GENERALIZEDTIME* this_update = nullptr;
  ASN1_GENERALIZEDTIME* next_update = nullptr;
  int reason = 0;
  OCSP_single_get0_status(single, &reason, nullptr, &this_update, &next_update);
  time_t p = 0, u = 0;
  if (!seconds_of(produced, &p) || !seconds_of(this_update, &u)) {
    *pause = -1;
    return 0;
  }
  *this_update_out = u;
  return ocsp_resp_is_good(tsp, p, u, next_update, pause);
}

// Asks one responder, with one pause and second question when the first
// answer is older than the stamp; then the response checks. 0 or a code.
int ask_responder(OCSP_REQUEST* req, const std::string& url, X509_STORE* store, time_t tsp,
                  bool have_tsp, Answer* a) {
  const ASN1_GENERALIZEDTIME* produced = nullptr;
  int code = ask(req, url, a, &produced, false);
  if (code != 0) return code;
  int pause = 0;
  time_t this_update = 0;
  if (!judge(tsp, produced, a->single, &pause, &this_update)) {
    if (pause < 0) {
      log_err("%s() 10 : no sense to wait", kFunc);
      return SSF_RC_TSP_OCSP_CLOCKS;
    }
    if (pause > max_tsp_ocsp_diff) {
      log_err("%s() 10.1 : timestamp and ocsp response time difference (%lld) exceeds "
              "max_tsp_ocsp_diff (%d)",
              kFunc, static_cast<long long>(pause), max_tsp_ocsp_diff);
      return SSF_RC_TSP_OCSP_CLOCKS;
    }
    log_write("%s() : making pause in %d seconds", kFunc, pause);
    pause_seconds(pause);
    code = ask(req, url, a, &produced, true);
    if (code != 0) return code;
    if (!judge(tsp, produced, a->single, &pause, &this_update)) {
      log_err("%s() 13 : second OCSP response has been issued %d seconds earlier than timestamp",
              kFunc, static_cast<int>(tsp - this_update));
      return SSF_RC_TSP_OCSP_CLOCKS;
    }
  }
  const STACK_OF(X509)* certs = OCSP_resp_get0_certs(a->bs.get());
  if (certs != nullptr && sk_X509_num(certs) > 0) AddCACertsToStore(nullptr, store);
  const unsigned long flags = disable_ocsp_issuer_check ? OCSP_NOCHECKS : 0;
  STACK_OF(X509)* chain = nullptr;
  const int verified = OCSP_basic_verify_time(have_tsp ? &tsp : nullptr, a->bs.get(), nullptr,
                                              store, flags, &chain);
  a->responder_chain.reset(chain);
  if (verified < 1) {
    log_err("%s() 15 : OCSP_basic_verify_time() failed, retcode = %d", kFunc, verified);
    print_brekssl_errors();
    return SSF_RC_OCSP_BAD_RESPONSE;
  }
  OCSP_ONEREQ* one = OCSP_request_onereq_get0(req, 0);
  if (!same_certid(one ? OCSP_onereq_get0_id(one) : nullptr,
                   const_cast<OCSP_CERTID*>(OCSP_SINGLERESP_get0_id(a->single)))) {
    log_err("%s() 17 : OCSP_CERTID's in request and response don't match", kFunc);
    return SSF_RC_OCSP_BAD_RESPONSE;
  }
  if (certs == nullptr || sk_X509_num(certs) == 0) {
    log_err("%s() 18 : no OCSP certificate found in response", kFunc);
    return SSF_RC_OCSP_BAD_RESPONSE;
  }
  // The extension must be on the certificate whose key signed the answer,
  // not merely on some certificate the answer carries first.
  X509* responder = responder_of(*a);
  if (responder == nullptr || X509_get_ext_by_NID(responder, NID_id_pkix_OCSP_noCheck, -1) < 0) {
    log_err("%s() 19 : id-pkix-ocsp-nocheck extension not found in response", kFunc);
    return SSF_RC_OCSP_BAD_RESPONSE;
  }
  // A revoked or unknown status stands whatever the extensions; "good"
  // needs an answer with no unprocessed critical extension.
  if (OCSP_single_get0_status(a->single, nullptr, nullptr, nullptr, nullptr) ==
      V_OCSP_CERTSTATUS_GOOD) {
    const std::string oid = ocsp_unprocessed_critical(a->bs.get(), a->single);
    if (!oid.empty()) {
      log_err("%s() 19.1 : OCSP response has the critical extension %s, which is not processed",
              kFunc, oid.c_str());
      return SSF_RC_OCSP_BAD_RESPONSE;
    }
  }
  return 0;
}

int rev_value(X509* cert, X509* issuer, X509_STORE* store, const EVP_MD* md,
              const ASN1_GENERALIZEDTIME* tsp_time, X509** ocsp_cert, OCSP_BASICRESP** bs,
              X509_CRL** crl, X509_CRL** delta_crl) {
  if (cert == nullptr || issuer == nullptr || store == nullptr || md == nullptr) {
    log_err("%s() 1 : bad args", kFunc);
    return -1;
  }
  OcspRequestPtr req = make_request(cert, issuer, md);
  if (!req) {
    log_err("%s() 2 : Error Creating OCSP request", "add_ocsp_cert");
    print_brekssl_errors();
    return -1;
  }
  bool has_ext = false;
  const std::vector<std::string> urls = responder_urls(cert, &has_ext);
  if (!has_ext) {
    log_write("%s() 4 : X509_get_ext_d2i( NID_info_access ) failed", kFunc);
    if (disable_cades_crl_using) {
      log_err("%s() 4.1 : 'disable_cades_crl_using' is on, but OCSP address not found in "
              "signer's certificate, terminating the process",
              kFunc);
      return SSF_RC_CERT_UNKNOWN;
    }
  }
  time_t tsp = ssf_now();
  const bool have_tsp = tsp_time != nullptr;
  if (have_tsp && !seconds_of(tsp_time, &tsp)) {
    log_err("%s() 3 : malformed time-stamp time", kFunc);
    return -1;
  }
  if (urls.empty()) {
    log_write("%s() : no OCSP URL found in certificate, using CRL", kFunc);
    return crl_fallback(cert, issuer, store, tsp, have_tsp, crl, delta_crl);
  }
  Answer answer;
  int code = 0;
  bool passed = false;
  for (const std::string& url : urls) {
    log_write("%s() : trying to get response from '%s'", kFunc, url.c_str());
    code = ask_responder(req.get(), url, store, tsp, have_tsp, &answer);
    if (code == 0) {
      passed = true;
      break;
    }
  }
  if (!passed) {
    log_err("%s() 24 : first get_OCSP_response() failed for all OCSP URLs", kFunc);
    return code;
  }
  const int status = OCSP_single_get0_status(answer.single, nullptr, nullptr, nullptr, nullptr);
  switch (status) {
    case V_OCSP_CERTSTATUS_GOOD: {
      log_write("%s() : certificate is good", kFunc);
      X509* responder = responder_of(answer);
      if (ocsp_cert != nullptr) {
        if (!X509_up_ref(responder)) return -1;
        *ocsp_cert = responder;
      }
      if (bs != nullptr) *bs = answer.bs.release();
      return 0;
    }
    case V_OCSP_CERTSTATUS_REVOKED:
      log_err("%s() 20 : certificate revoked", kFunc);
      return SSF_RC_CERT_REVOKED;
    case V_OCSP_CERTSTATUS_UNKNOWN:
      log_err("%s() 21 : certificate status unknown", kFunc);
      return SSF_RC_CERT_UNKNOWN;
    default:
      log_err("%s() 22 : certificate status = %d", kFunc, status);
      return SSF_RC_CERT_UNKNOWN;
  }
}

}  // namespace

namespace orvel::ocsp {
void set_sleep_for_tests(void (*sleeper)(unsigned seconds)) { g_sleeper = sleeper; }
}  // namespace orvel::ocsp

int get_revValue(X509* cert, X509* issuer, X509_STORE* store, const EVP_MD* md,
                 const ASN1_GENERALIZEDTIME* tsp_time, X509** ocsp_cert, OCSP_BASICRESP** bs,
                 X509_CRL** crl, X509_CRL** delta_crl) {
  if (ocsp_cert != nullptr) *ocsp_cert = nullptr;
  if (bs != nullptr) *bs = nullptr;
  if (crl != nullptr) *crl = nullptr;
  if (delta_crl != nullptr) *delta_crl = nullptr;
  const int code = rev_value(cert, issuer, store, md, tsp_time, ocsp_cert, bs, crl, delta_crl);
  log_write("%s() end, return code = %d (%s)", kFunc, code, GetSignerErrorMessage(code));
  return code;
}
