// A time-stamp token from the configured service: the request, the
// exchange, the authority's revocation material by kind, and the check of
// the token before it is handed out.
#include <openssl/err.h>
#include <openssl/ts.h>

#include <cstring>
#include <string>

#include "codes.h"
#include "log.h"
#include "ocsp_client.h"
#include "ocsp_http.h"
#include "ossl_ptr.h"
#include "settings.h"
#include "sign_enhance.h"
#include "time_util.h"
#include "tsp_client.h"
#include "verify_enh_hooks.h"

namespace {

const char kFunc[] = "make_time_stamp";

using TsReqPtr = std::unique_ptr<TS_REQ, orvel::Free<TS_REQ, TS_REQ_free>>;
using TsRespPtr = std::unique_ptr<TS_RESP, orvel::Free<TS_RESP, TS_RESP_free>>;
using TsMsgImprintPtr =
    std::unique_ptr<TS_MSG_IMPRINT, orvel::Free<TS_MSG_IMPRINT, TS_MSG_IMPRINT_free>>;
using X509AlgorPtr = std::unique_ptr<X509_ALGOR, orvel::Free<X509_ALGOR, X509_ALGOR_free>>;

void* d2i_ts_resp(const unsigned char** in, long len) { return d2i_TS_RESP(nullptr, in, len); }

// Version 1, the imprint of the data under md (parameters absent), certReq.
TsReqPtr make_request(const unsigned char* data, int data_len, const EVP_MD* md) {
  TsReqPtr req(TS_REQ_new());
  TsMsgImprintPtr mi(TS_MSG_IMPRINT_new());
  X509AlgorPtr alg(X509_ALGOR_new());
  if (!req || !mi || !alg || !TS_REQ_set_version(req.get(), 1)) return nullptr;
  ASN1_OBJECT* oid = OBJ_nid2obj(EVP_MD_get_type(md));
  if (oid == nullptr || !X509_ALGOR_set0(alg.get(), oid, V_ASN1_UNDEF, nullptr)) return nullptr;
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  static const unsigned char kEmpty[1] = {0};
  if (!EVP_Digest(data != nullptr ? data : kEmpty, static_cast<size_t>(data_len), digest, &len, md,
                  nullptr))
    return nullptr;
  if (!TS_MSG_IMPRINT_set_algo(mi.get(), alg.get()) ||
      !TS_MSG_IMPRINT_set_msg(mi.get(), digest, static_cast<int>(len)) ||
      !TS_REQ_set_msg_imprint(req.get(), mi.get()) || !TS_REQ_set_cert_req(req.get(), 1))
    return nullptr;
  return req;
}

bool is_gost2012_digest(const EVP_MD* md) {
  const int nid = EVP_MD_get_type(md);
  return nid == NID_id_GostR3411_2012_256 || nid == NID_id_GostR3411_2012_512;
}

// The request text; b64: the proxy credentials in Base64, or null.
std::string request_head(const std::string& target, const std::string& host, int length,
                         const char* b64) {
  std::string head = "POST " + target +
                     " HTTP/1.0\r\nContent-type: application/timestamp-query\r\nHost: " + host +
                     "\r\nContent-Length: " + std::to_string(length) + "\r\n";
  if (b64 != nullptr) head += std::string("Proxy-Authorization: Basic ") + b64 + "\r\n";
  head += "Connection: close\r\n\r\n";
  return head;
}

// The exchange (trace name "my_TS_sendreq_bio"); null on failure.
TS_RESP* my_TS_sendreq_bio(const orvel::ocsp::Route& route, BIO* conn, TS_REQ* req) {
  unsigned char* der = nullptr;
  const int der_len = i2d_TS_REQ(req, &der);
  if (der_len <= 0) return nullptr;
  orvel::BytesPtr owner(der);
  std::string head;
  if (!route.credentials.empty()) {
    const char* b64 = encode_into_base64(route.credentials.c_str());
    if (b64 == nullptr) return nullptr;
    head = request_head(route.target, route.url.host, der_len, b64);
    OPENSSL_cleanse(const_cast<char*>(b64), strlen(b64));
  } else {
    head = request_head(route.target, route.url.host, der_len, nullptr);
  }
  void* resp = orvel::ocsp::post_and_decode(conn, head, der, der_len, d2i_ts_resp);
  OPENSSL_cleanse(&head[0], head.size());
  return static_cast<TS_RESP*>(resp);
}

// GOST R 34.10-2001 tokens are refused after the cut-off.
bool gost2001_refused(PKCS7* token, const ASN1_GENERALIZEDTIME* gen_time) {
  PKCS7_SIGNER_INFO* si = sk_PKCS7_SIGNER_INFO_value(PKCS7_get_signer_info(token), 0);
  if (si == nullptr || si->digest_enc_alg == nullptr ||
      OBJ_obj2nid(si->digest_enc_alg->algorithm) != NID_id_GostR3410_2001)
    return false;
  const int cmp = gen_time ? ASN1_TIME_cmp_time_t(gen_time, get_gost2001_exp_time()) : -2;
  return cmp > 0 || cmp == -2;
}

int archive_values(PKCS7* token, X509* tsa_cert, X509_STORE* store, const EVP_MD* md,
                   const ASN1_GENERALIZEDTIME* gen_time) {
  PKCS7_SIGNER_INFO* si = sk_PKCS7_SIGNER_INFO_value(PKCS7_get_signer_info(token), 0);
  if (si == nullptr) return SSF_RC_TSP_BAD_RESPONSE;
  orvel::X509StackPtr work(sk_X509_new_null());
  if (!work) return SSF_RC_TSP_BAD_RESPONSE;
  int code = add_revValues_attribute(si, tsa_cert, store, md, gen_time, work.get());
  if (code != 0) return code;
  STACK_OF(X509)* collected_raw = nullptr;
  code = add_certValues_attribute(si, md, work.get(), store, &collected_raw);
  orvel::X509StackPtr collected(collected_raw);
  if (code != 1) return code;
  if (!check_certs_validity(collected.get(), ASN1_GENERALIZEDTIME_to_time_t(gen_time))) {
    log_err("%s() 8 : not all certificates are valid at timestamp time", kFunc);
    return SSF_API_NOMEMORY;  // 4: a certificate not valid at genTime
  }
  return 0;
}

int time_stamp(int kind, ASN1_OCTET_STRING** token_out, const unsigned char* data, int data_len,
               const EVP_MD* md, X509_STORE* store, X509** tsa_cert_out,
               ASN1_GENERALIZEDTIME** gen_time_out) {
  if (token_out == nullptr || md == nullptr || store == nullptr || data_len < 0 ||
      (data == nullptr && data_len > 0)) {
    log_err("%s() 0 : bad args", kFunc);
    return -1;
  }
  TsReqPtr req = make_request(data, data_len, md);
  if (!req) {
    log_err("%s() 0.1 : making the time-stamp request failed", kFunc);
    print_brekssl_errors();
    return -1;
  }
  const char* url = is_gost2012_digest(md) ? tsp_server_2012 : tsp_server;
  log_write("%s() : '%s' digest algorithm, tsp_url = '%s'", kFunc, OBJ_nid2ln(EVP_MD_get_type(md)),
            url_for_log(url).c_str());
  if (url == nullptr || *url == '\0') {
    log_err("%s() 1 : 'tsp_server' is not specified", kFunc);
    return SSF_RC_TSP_URL_MISSING;
  }
  orvel::ocsp::Route route;
  if (!orvel::ocsp::make_route(url, &route)) {
    log_err("%s() 2 : OCSP_parse_url( '%s' ) failed", kFunc, url_for_log(url).c_str());
    return SSF_RC_TSP_URL_INVALID;
  }
  orvel::net::Connection conn;
  const orvel::net::ConnectResult r = orvel::ocsp::connect_route(route, &conn);
  if (r != orvel::net::kConnected) {
    orvel::ocsp::clear_route(&route);
    if (r == orvel::net::kConnectSetupFailed) {
      log_err("%s() 3 : connection set-up for '%s' failed", kFunc, url_for_log(url).c_str());
      print_brekssl_errors();
      return -1;
    }
    log_err("%s() 4 : BIO_do_connect( host = '%s', port = '%s' ) failed", kFunc,
            route.connect_host.c_str(), route.connect_port.c_str());
    print_brekssl_errors();
    return SSF_RC_TSP_UNREACHABLE;
  }
  TsRespPtr resp(my_TS_sendreq_bio(route, conn.bio(), req.get()));
  orvel::ocsp::clear_route(&route);
  if (!resp) {
    log_err("%s() 5 : my_TS_sendreq_bio( '%s' ) failed", kFunc, url_for_log(url).c_str());
    print_brekssl_errors();
    return SSF_RC_TSP_BAD_RESPONSE;
  }
  PKCS7* token = TS_RESP_get_token(resp.get());
  if (token == nullptr || !PKCS7_type_is_signed(token)) {
    TS_STATUS_INFO* info = TS_RESP_get_status_info(resp.get());
    SSF_TS_check_status_info(resp.get());
    log_err("%s() 6 : TS_RESP_get_token() failed, response has status '%s'", kFunc,
            ASN1_INTEGER_to_string(info ? TS_STATUS_INFO_get0_status(info) : nullptr));
    print_brekssl_errors();
    return SSF_RC_TSP_BAD_RESPONSE;
  }
  // The authority's certificate: handed out, and needed by the kinds that
  // add its revocation material.
  orvel::X509Ptr tsa_cert;
  if (tsa_cert_out != nullptr || kind == TS_KIND_SIGNATURE || kind == TS_KIND_ARCHIVE) {
    tsa_cert.reset(ssf_get_ts_cert(token));
    if (!tsa_cert) {
      log_err("%s() 7 : ssf_get_ts_cert() failed", kFunc);
      return SSF_RC_TSP_BAD_RESPONSE;
    }
  }
  orvel::TsTstInfoPtr tst(PKCS7_to_TS_TST_INFO(token));
  if (!tst) {
    log_err("%s() 7.0 : PKCS7_to_TS_TST_INFO() failed", kFunc);
    return SSF_RC_TSP_BAD_RESPONSE;
  }
  const ASN1_GENERALIZEDTIME* gen_time = TS_TST_INFO_get_time(tst.get());
  if (gost2001_refused(token, gen_time)) {
    log_err("%s() 7.1 : Gost R 34.10-2001 not allowed", kFunc);
    return -1;
  }
  if (kind == TS_KIND_SIGNATURE) {
    AddCACertsToStore(tsa_cert.get(), store);
    const int code = AddTimestampRevocationValues(token, tsa_cert.get(), store, md);
    if (code != 0) {
      log_err("%s() 8 : AddTimestampRevocationValues() failed", kFunc);
      return code;
    }
    // The SignerInfo now carries the chain as certificate values.
    PKCS7_SIGNER_INFO* si = sk_PKCS7_SIGNER_INFO_value(PKCS7_get_signer_info(token), 0);
    if (PKCS7_get_attribute(si, NID_id_smime_aa_ets_revocationValues) != nullptr &&
        token->d.sign->cert != nullptr) {
      sk_X509_pop_free(token->d.sign->cert, X509_free);
      token->d.sign->cert = nullptr;
    }
  } else if (kind == TS_KIND_ARCHIVE) {
    AddCACertsToStore(tsa_cert.get(), store);
    const int code = archive_values(token, tsa_cert.get(), store, md, gen_time);
    if (code != 0) return code;
  }
  unsigned char* der = nullptr;
  const int der_len = i2d_PKCS7(token, &der);
  if (der_len <= 0) {
    log_err("%s() 9 : i2d_PKCS7() failed", kFunc);
    return SSF_RC_TSP_BAD_RESPONSE;
  }
  orvel::BytesPtr der_owner(der);
  orvel::Asn1OctetStringPtr token_os(ASN1_OCTET_STRING_new());
  orvel::Asn1OctetStringPtr data_os(ASN1_OCTET_STRING_new());
  if (!token_os || !data_os || !ASN1_OCTET_STRING_set(token_os.get(), der, der_len) ||
      !ASN1_OCTET_STRING_set(data_os.get(), data, data_len))
    return SSF_RC_TSP_BAD_RESPONSE;
  ASN1_GENERALIZEDTIME* verified_time = nullptr;
  const int code =
      ssf_verify_TS(token_os.get(), data_os.get(), store, kind, &verified_time, nullptr, nullptr);
  orvel::Asn1TimePtr verified_time_owner(verified_time);
  if (code != 0) {
    log_err("%s() 11 : ssf_verify_TS() failed", kFunc);
    return code;
  }
  *token_out = token_os.release();
  if (gen_time_out != nullptr) *gen_time_out = verified_time_owner.release();
  if (tsa_cert_out != nullptr) *tsa_cert_out = tsa_cert.release();
  return 0;
}

}  // namespace

int make_time_stamp(int kind, ASN1_OCTET_STRING** token, const unsigned char* data, int data_len,
                    const EVP_MD* md, X509_STORE* store, X509** tsa_cert,
                    ASN1_GENERALIZEDTIME** gen_time) {
  if (token != nullptr) *token = nullptr;
  if (tsa_cert != nullptr) *tsa_cert = nullptr;
  if (gen_time != nullptr) *gen_time = nullptr;
  const int code = time_stamp(kind, token, data, data_len, md, store, tsa_cert, gen_time);
  log_write("%s() end, return code = %d (%s)", kFunc, code, GetSignerErrorMessage(code));
  return code;
}
