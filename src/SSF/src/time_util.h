// Calendar seconds from ASN.1 times, time texts for the trace log and the
// GOST R 34.10-2001 cut-off.
#ifndef ORVEL_SSF_TIME_UTIL_H
#define ORVEL_SSF_TIME_UTIL_H

#include <openssl/asn1.h>
#include <openssl/pkcs7.h>

#include <ctime>

// The clock the helpers read; tests replace it (null restores time()).
using ssf_clock_fn = time_t (*)();
void ssf_set_clock(ssf_clock_fn clock);
time_t ssf_now();

// Seconds east of UTC of the local time zone at the present moment.
long SSF_UTC_to_local();

// Seconds since the epoch of an ASN.1 time, honouring a "+hhmm"/"-hhmm"
// offset; 0 for a malformed time or a time of another type.
time_t SSF_ASN1_UTCTIME_get(const ASN1_UTCTIME* utctime);
time_t ASN1_GENERALIZEDTIME_to_time_t(const ASN1_GENERALIZEDTIME* gentime);
time_t ASN1_TIME_to_time_t(const ASN1_TIME* time);

// "ArchiveTimeStampTime= ... (UTCTime: ...)" and "TimeStampTime= ..." in
// one static buffer each; null on failure.
const char* ASN1_GENERALIZEDTIME_to_string(const ASN1_GENERALIZEDTIME* gentime);
const char* get_timestamp_time(PKCS7_SIGNER_INFO* signer_info);

// 1 January 2020, 00:00:00 local time, and whether it has passed.
time_t get_gost2001_exp_time();
int gost2001_expired();

#endif
