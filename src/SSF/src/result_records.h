// Verification result records, one per SignerInfo, handed to the host in
// its result list, and the summary of a list in the trace log.
#ifndef ORVEL_SSF_RESULT_RECORDS_H
#define ORVEL_SSF_RESULT_RECORDS_H

#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include "orvel_ssf.h"

// The id of a record without certificate (69 bytes, the quotes included).
inline constexpr char kNoCertificateId[] =
    "\"issuer-name/Noserialnumber\":CN=CA, OU=SSF-TEST, O=SAP-AG, C=DE/No-2)";

// Builds one record in *record: the id (common:verify_use_sha1_id, else
// common:default_verify_name, else the subject text), the profile (the
// signing time, with timestamps the time-stamp times, then the serial
// number), the certificate's DER in the password field, and the result.
// si and cert may be null. 0 on success; 6 when an allocation or the DER
// encoding fails, and then nothing is left allocated and *record is null.
int set_profile_data(int timestamps, SigRcpSsfInfo** record, PKCS7_SIGNER_INFO* si, X509* cert,
                     int result);

// Frees a record that was never handed to the host.
void free_result_record(SigRcpSsfInfo* record);

// The INFO block "Verification results" with every record of the list, the
// number of records and the return code. Only the records from first_built
// on were built by this verification; the records the host's list held
// before it show no fingerprint, since their password field holds the
// host's password.
void log_verification_summary(const char* func, SigRcpSsfInformationList list,
                              SigRcpSsfInformationList first_built, int rc);

#endif
