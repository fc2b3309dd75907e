#include "time_util.h"

#include <openssl/err.h>
#include <openssl/objects.h>
#include <openssl/ts.h>

#include <cstdio>

#include "log.h"
#include "ossl_ptr.h"

namespace {

ssf_clock_fn g_clock = nullptr;

// Converts with the toolkit's own parser, which checks every field and
// applies an offset; the result is UTC, whatever the local time zone and
// its daylight-saving state.
bool asn1_time_to_seconds(const ASN1_TIME* t, int type, time_t* out) {
  if (t == nullptr || ASN1_STRING_type(t) != type) return false;
  struct tm tmv = {};
  if (ASN1_TIME_to_tm(t, &tmv) != 1) {
    ERR_clear_error();
    return false;
  }
  time_t s = timegm(&tmv);
  if (s == static_cast<time_t>(-1)) return false;
  *out = s;
  return true;
}

// "<label>= <local time, asctime form> (UTCTime: <the time's own text>)".
const char* format_time_text(char* buf, size_t size, const char* label,
                             const ASN1_GENERALIZEDTIME* gentime) {
  time_t s = ASN1_GENERALIZEDTIME_to_time_t(gentime);
  struct tm local = {};
  char when[64] = "";
  if (localtime_r(&s, &local) == nullptr || asctime_r(&local, when) == nullptr) when[0] = '\0';
  snprintf(buf, size, "%s= %s (UTCTime: %.*s)", label, when, ASN1_STRING_length(gentime),
           reinterpret_cast<const char*>(ASN1_STRING_get0_data(gentime)));
  return buf;
}

}  // namespace

void ssf_set_clock(ssf_clock_fn clock) { g_clock = clock; }

time_t ssf_now() { return g_clock ? g_clock() : time(nullptr); }

long SSF_UTC_to_local() {
  time_t now = ssf_now();
  struct tm local = {};
  if (localtime_r(&now, &local) == nullptr) return 0;
  return local.tm_gmtoff;
}

time_t SSF_ASN1_UTCTIME_get(const ASN1_UTCTIME* utctime) {
  time_t s = 0;
  if (!asn1_time_to_seconds(utctime, V_ASN1_UTCTIME, &s)) {
    log_err("%s() : malformed UTCTime", __func__);
    return 0;
  }
  return s;
}

time_t ASN1_GENERALIZEDTIME_to_time_t(const ASN1_GENERALIZEDTIME* gentime) {
  time_t s = 0;
  if (!asn1_time_to_seconds(gentime, V_ASN1_GENERALIZEDTIME, &s)) {
    log_err("%s() : malformed GeneralizedTime", __func__);
    return 0;
  }
  return s;
}

time_t ASN1_TIME_to_time_t(const ASN1_TIME* time) {
  if (time == nullptr) return 0;
  if (ASN1_STRING_type(time) == V_ASN1_GENERALIZEDTIME) return ASN1_GENERALIZEDTIME_to_time_t(time);
  if (ASN1_STRING_type(time) == V_ASN1_UTCTIME) return SSF_ASN1_UTCTIME_get(time);
  return 0;
}

const char* ASN1_GENERALIZEDTIME_to_string(const ASN1_GENERALIZEDTIME* gentime) {
  static char text[1024];
  if (gentime == nullptr || ASN1_GENERALIZEDTIME_check(gentime) != 1) {
    log_err("%s() 1 : ASN1_GENERALIZEDTIME_check() failed", __func__);
    print_brekssl_errors();
    return nullptr;
  }
  return format_time_text(text, sizeof text, "ArchiveTimeStampTime", gentime);
}

const char* get_timestamp_time(PKCS7_SIGNER_INFO* signer_info) {
  static char text[1024];
  ASN1_TYPE* attr =
      signer_info ? PKCS7_get_attribute(signer_info, NID_id_smime_aa_timeStampToken) : nullptr;
  if (attr == nullptr || attr->type != V_ASN1_SEQUENCE || attr->value.sequence == nullptr) {
    log_err("%s() 1 : timeStampToken not found", __func__);
    return nullptr;
  }
  const unsigned char* p = attr->value.sequence->data;
  orvel::Pkcs7Ptr token(d2i_PKCS7(nullptr, &p, attr->value.sequence->length));
  if (!token) {
    log_err("%s() 2 : d2i_PKCS7() failed", __func__);
    print_brekssl_errors();
    return nullptr;
  }
  orvel::TsTstInfoPtr tst(PKCS7_to_TS_TST_INFO(token.get()));
  if (!tst) {
    log_err("%s() 3 : PKCS7_to_TS_TST_INFO() failed", __func__);
    print_brekssl_errors();
    return nullptr;
  }
  const ASN1_GENERALIZEDTIME* gen = TS_TST_INFO_get_time(tst.get());
  if (gen == nullptr || ASN1_GENERALIZEDTIME_check(gen) != 1) {
    log_err("%s() 4 : ASN1_GENERALIZEDTIME_check() failed", __func__);
    print_brekssl_errors();
    return nullptr;
  }
  return format_time_text(text, sizeof text, "TimeStampTime", gen);
}

time_t get_gost2001_exp_time() {
  // mktime picks the daylight-saving state that holds on that date.
  struct tm cutoff = {};
  cutoff.tm_year = 2020 - 1900;
  cutoff.tm_mon = 0;
  cutoff.tm_mday = 1;
  cutoff.tm_isdst = -1;
  return mktime(&cutoff);
}

int gost2001_expired() { return ssf_now() >= get_gost2001_exp_time() ? 1 : 0; }
