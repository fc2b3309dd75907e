#include "profile.h"

#include <cstring>
#include <ctime>
#include <string>

#include "log.h"
#include "ossl_ptr.h"

namespace {

// The first 14 characters with 'Z', or "" when the text is shorter.
std::string time_text(const char* profile) {
  if (profile == nullptr || strnlen(profile, kProfileTimeLen) < size_t(kProfileTimeLen)) return {};
  return std::string(profile, kProfileTimeLen) + "Z";
}

// The number of n digits at pos (checked to be digits).
int number_at(const std::string& s, size_t pos, size_t n) {
  int v = 0;
  for (size_t i = pos; i < pos + n; ++i) v = v * 10 + (s[i] - '0');
  return v;
}

bool all_digits(const std::string& s, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (s[i] < '0' || s[i] > '9') return false;
  return true;
}

}  // namespace

bool profile_time_is_valid(const char* profile) {
  const std::string t = time_text(profile);
  if (t.empty() || !all_digits(t, kProfileTimeLen)) return false;
  orvel::Asn1TimePtr g(ASN1_GENERALIZEDTIME_new());
  return g && ASN1_GENERALIZEDTIME_set_string(g.get(), t.c_str()) == 1 &&
         ASN1_GENERALIZEDTIME_check(g.get()) == 1;
}

int is_timestamp_valid(const char* text) {
  static const char kFunc[] = "is_timestamp_valid";
  if (!profile_time_is_valid(text)) {
    log_err("%s() 1 : ASN1_GENERALIZEDTIME_check( '%s' ) failed", kFunc, text ? text : "");
    return 0;
  }
  const std::string t = time_text(text);
  auto num = [&t](size_t pos, size_t len) { return number_at(t, pos, len); };
  struct tm tm {};
  tm.tm_year = num(0, 4) - 1900;
  tm.tm_mon = num(4, 2) - 1;
  tm.tm_mday = num(6, 2);
  tm.tm_hour = num(8, 2);
  tm.tm_min = num(10, 2);
  tm.tm_sec = num(12, 2);
  tm.tm_isdst = -1;
  if (mktime(&tm) == static_cast<time_t>(-1)) {
    log_err("%s() 2 : mktime( '%s' ) failed", kFunc, text);
    return 0;
  }
  return 1;
}

ASN1_TIME* profile_signing_time(const char* profile, int* type, int* step) {
  *step = 5;
  if (!profile_time_is_valid(profile)) return nullptr;
  const std::string t = time_text(profile);
  const int year = number_at(t, 0, 4);
  const bool utc = year >= 1950 && year <= 2049;
  orvel::Asn1TimePtr out(utc ? ASN1_UTCTIME_new() : ASN1_GENERALIZEDTIME_new());
  if (!out) {
    *step = 4;
    return nullptr;
  }
  const int ok = utc ? ASN1_UTCTIME_set_string(out.get(), t.c_str() + 2)
                     : ASN1_GENERALIZEDTIME_set_string(out.get(), t.c_str());
  if (ok != 1) return nullptr;
  *type = utc ? V_ASN1_UTCTIME : V_ASN1_GENERALIZEDTIME;
  return out.release();
}
