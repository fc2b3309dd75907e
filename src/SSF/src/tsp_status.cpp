// The status of a time-stamp response, as the toolkit words it.
#include <openssl/err.h>
#include <openssl/ts.h>

#include <string>

#include "tsp_client.h"

namespace {

const char* status_name(long status) {
  static const char* const kNames[] = {"granted",          "grantedWithMods",
                                       "rejection",        "waiting",
                                       "revocationWarning", "revocationNotification"};
  if (status < 0 || status >= static_cast<long>(sizeof kNames / sizeof kNames[0]))
    return "unknown code";
  return kNames[status];
}

}  // namespace

int SSF_TS_check_status_info(TS_RESP* response) {
  if (response == nullptr) return 0;
  TS_STATUS_INFO* info = TS_RESP_get_status_info(response);
  if (info == nullptr) return 0;
  const long status = ASN1_INTEGER_get(TS_STATUS_INFO_get0_status(info));
  if (status == 0 || status == 1) return 1;

  std::string text;
  const STACK_OF(ASN1_UTF8STRING)* texts = TS_STATUS_INFO_get0_text(info);
  for (int i = 0; i < sk_ASN1_UTF8STRING_num(texts); ++i) {
    const ASN1_UTF8STRING* s = sk_ASN1_UTF8STRING_value(texts, i);
    if (i > 0) text += "/";
    text.append(reinterpret_cast<const char*>(ASN1_STRING_get0_data(s)),
                static_cast<size_t>(ASN1_STRING_length(s)));
  }
  if (text.empty()) text = "unspecified";

  static const struct {
    int bit;
    const char* name;
  } kFailures[] = {{TS_INFO_BAD_ALG, "badAlg"},
                   {TS_INFO_BAD_REQUEST, "badRequest"},
                   {TS_INFO_BAD_DATA_FORMAT, "badDataFormat"},
                   {TS_INFO_TIME_NOT_AVAILABLE, "timeNotAvailable"},
                   {TS_INFO_UNACCEPTED_POLICY, "unacceptedPolicy"},
                   {TS_INFO_UNACCEPTED_EXTENSION, "unacceptedExtension"},
                   {TS_INFO_ADD_INFO_NOT_AVAILABLE, "addInfoNotAvailable"},
                   {TS_INFO_SYSTEM_FAILURE, "systemFailure"}};
  std::string failures;
  const ASN1_BIT_STRING* bits = TS_STATUS_INFO_get0_failure_info(info);
  for (const auto& f : kFailures) {
    if (bits == nullptr || !ASN1_BIT_STRING_get_bit(bits, f.bit)) continue;
    if (!failures.empty()) failures += ",";
    failures += f.name;
  }
  if (failures.empty()) failures = "unspecified";
  ERR_raise_data(ERR_LIB_TS, TS_R_NO_TIME_STAMP_TOKEN,
                 "status code: %s, status text: %s, failure codes: %s", status_name(status),
                 text.c_str(), failures.c_str());
  return 0;
}
