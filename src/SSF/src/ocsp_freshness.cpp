// The SingleResponse of an OCSP answer and its freshness against the time
// of a time stamp.
#include <openssl/ocsp.h>

#include <climits>
#include <string>

#include "critical_ext.h"
#include "log.h"
#include "ocsp_client.h"
#include "ossl_ptr.h"
#include "settings.h"
#include "time_util.h"

namespace {

// A moment as GeneralizedTime text for the trace log.
std::string gentime_text(time_t t) {
  orvel::Asn1TimePtr g(ASN1_GENERALIZEDTIME_set(nullptr, t));
  if (!g) return std::string();
  return std::string(reinterpret_cast<const char*>(ASN1_STRING_get0_data(g.get())),
                     static_cast<size_t>(ASN1_STRING_length(g.get())));
}

// A pause in seconds as int; far-off times stay far off.
int clamp_pause(long long wait) {
  if (wait > INT_MAX) return INT_MAX;
  if (wait < INT_MIN) return INT_MIN;
  return static_cast<int>(wait);
}

}  // namespace

int ocsp_resp_is_good(time_t tsp_time, time_t produced_at, time_t this_update,
                      const ASN1_GENERALIZEDTIME* next_update, int* pause) {
  static const char kFunc[] = "ocsp_resp_is_good";
  const long long t = tsp_time, p = produced_at, u = this_update;
  if (next_update != nullptr) {
    const long long n = ASN1_GENERALIZEDTIME_to_time_t(next_update);
    const long long age = max_ocsp_age;
    const bool young = p - u <= age;
    const bool good = t < n && t <= p && p < n && young;
    const long long wait = young ? t - p : -1;
    if (pause != nullptr) *pause = clamp_pause(wait);
    if (!good) {
      log_write("%s() : producedAt - thisUpdate = %lld, producedAt - tspTime = %lld, "
                "nextUpdate - producedAt = %lld",
                kFunc, p - u, p - t, n - p);
      log_err("%s() 1 : OCSP-response is bad: tspTime = '%s', producedAt = '%s', "
              "thisUpdate = '%s', nextUpdate = '%s', pause = %d",
              kFunc, gentime_text(tsp_time).c_str(), gentime_text(produced_at).c_str(),
              gentime_text(this_update).c_str(), gentime_text(static_cast<time_t>(n)).c_str(),
              clamp_pause(wait));
    }
    return good ? 1 : 0;
  }
  const long long wait = t - u;
  if (pause != nullptr) *pause = clamp_pause(wait);
  const bool good = t <= u;
  if (!good)
    log_err("%s() 2 : OCSP-response is bad: tspTime = '%s', producedAt = '%s', "
            "thisUpdate = '%s', pause = %d",
            kFunc, gentime_text(tsp_time).c_str(), gentime_text(produced_at).c_str(),
            gentime_text(this_update).c_str(), clamp_pause(wait));
  return good ? 1 : 0;
}

std::string ocsp_unprocessed_critical(OCSP_BASICRESP* bs, OCSP_SINGLERESP* single) {
  if (bs == nullptr || single == nullptr) return std::string();
  std::string oid = first_unprocessed_critical(
      OCSP_BASICRESP_get_ext_count(bs), [bs](int i) { return OCSP_BASICRESP_get_ext(bs, i); }, {});
  if (oid.empty())
    oid = first_unprocessed_critical(OCSP_SINGLERESP_get_ext_count(single),
                                     [single](int i) { return OCSP_SINGLERESP_get_ext(single, i); },
                                     {});
  return oid;
}

OCSP_SINGLERESP* get_SINGLE_RESP(OCSP_RESPONSE* resp, OCSP_BASICRESP** bs,
                                 const ASN1_GENERALIZEDTIME** produced_at) {
  static const char kFunc[] = "get_SINGLE_RESP";
  if (bs != nullptr) *bs = nullptr;
  if (produced_at != nullptr) *produced_at = nullptr;
  if (resp == nullptr || bs == nullptr) return nullptr;
  *bs = OCSP_response_get1_basic(resp);
  if (*bs == nullptr) {
    log_err("%s() 1 : OCSP_response_get1_basic() failed", kFunc);
    print_brekssl_errors();
    return nullptr;
  }
  // Only a successful answer speaks; the basic response inside any other
  // one may be a replay of an earlier answer.
  const int status = OCSP_response_status(resp);
  if (status != OCSP_RESPONSE_STATUS_SUCCESSFUL) {
    log_err("%s() 1.0 : OCSP response status is '%s' (%d)", kFunc, OCSP_response_status_str(status),
            status);
    OCSP_BASICRESP_free(*bs);
    *bs = nullptr;
    return nullptr;
  }
  const ASN1_GENERALIZEDTIME* produced = OCSP_resp_get0_produced_at(*bs);
  const X509_ALGOR* alg = OCSP_resp_get0_tbs_sigalg(*bs);
  if (alg != nullptr && OBJ_obj2nid(alg->algorithm) == NID_id_GostR3411_94_with_GostR3410_2001) {
    const int cmp = produced ? ASN1_TIME_cmp_time_t(produced, get_gost2001_exp_time()) : -2;
    if (cmp > 0 || cmp == -2) {
      log_err("%s() 1.1 : Gost R 34.10-2001 not allowed", kFunc);
      return nullptr;
    }
  }
  if (produced == nullptr || ASN1_STRING_length(produced) == 0) {
    log_err("%s() 3 : bs->tbsResponseData->producedAt is NULL", kFunc);
    return nullptr;
  }
  if (produced_at != nullptr) *produced_at = produced;
  OCSP_SINGLERESP* single = OCSP_resp_get0(*bs, 0);
  if (single == nullptr) {
    log_err("%s() 4 : OCSP_SINGLERESP not found in OCSP_BASICRESP", kFunc);
    return nullptr;
  }
  return single;
}
