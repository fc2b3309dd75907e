// Profile strings: an optional 14-character signing time YYYYMMDDhhmmss
// (with common:use_profile_timestamp on), then the key store: "token=" and
// a PKCS#11 module, "certfile=" and PEM files, or a PKCS#12 file path.
#ifndef ORVEL_SSF_PROFILE_H
#define ORVEL_SSF_PROFILE_H

#include <openssl/asn1.h>

constexpr int kProfileTimeLen = 14;
inline constexpr char kTokenPrefix[] = "token=";
inline constexpr char kCertFilePrefix[] = "certfile=";
inline constexpr char kKeyFileSeparator[] = ",keyfile=";

// True when the first 14 characters followed by 'Z' form a valid
// GeneralizedTime.
bool profile_time_is_valid(const char* profile);

// 1 when the first 14 characters form a valid GeneralizedTime that mktime
// accepts, else 0 with its line.
int is_timestamp_valid(const char* text);

// The signing time of a profile's first 14 characters: a UTCTime (the
// digits without the century and 'Z') for the years 1950 to 2049, a
// GeneralizedTime for other years, as RFC 5652 demands. *type gets
// V_ASN1_UTCTIME or V_ASN1_GENERALIZEDTIME. Null when the text is not a
// valid time; the step (4 or 5) that failed goes to *step.
ASN1_TIME* profile_signing_time(const char* profile, int* type, int* step);

#endif
