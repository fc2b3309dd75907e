// Names the interface accepts (formats, hash algorithms, the cipher) and the
// texts of result codes.
#ifndef ORVEL_SSF_CODES_H
#define ORVEL_SSF_CODES_H

#include <cstdint>

#include "engines/pkcs11/pk11_errors.h"
#include "orvel_ssf.h"

// Signature types a format name selects.
enum SignatureType {
  SIG_TYPE_NONE = 0,
  SIG_TYPE_PKCS7_ANY = 1,
  SIG_TYPE_PKCS7 = 2,
  SIG_TYPE_CADES_BES = 3,
  SIG_TYPE_CADES = 4
};

int check_format(const char* name, int32_t len);
int check_hash_alg(const char* name, int32_t len);
int check_encr_alg(const char* name, int32_t len);
int get_signature_type(const char* name, int32_t len);

const char* GetSignerErrorMessage(int code);
// The names of PKCS#11 return values (pk11errorString) come with
// engines/pkcs11/pk11_errors.h, shared with the "pkcs11" engine.

// Stores the code in uResult of every record of the list; elements without
// a record are skipped.
void set_sig_rcp_res_code(SigRcpSsfInformationList list, int code);

// Result codes of the OCSP and time-stamp clients.
enum OnlineServiceResult {
  SSF_RC_OCSP_URL_INVALID = 103,
  SSF_RC_OCSP_UNREACHABLE = 104,
  SSF_RC_OCSP_BAD_RESPONSE = 105,
  SSF_RC_CERT_REVOKED = 106,
  SSF_RC_CERT_UNKNOWN = 107,
  SSF_RC_TSP_OCSP_CLOCKS = 109,
  SSF_RC_TSP_URL_MISSING = 111,
  SSF_RC_TSP_URL_INVALID = 112,
  SSF_RC_TSP_UNREACHABLE = 113,
  SSF_RC_TSP_BAD_RESPONSE = 114,
  SSF_RC_TSP_UNTRUSTED = 115,
  SSF_RC_NO_SIGNATURE_TIMESTAMP = 118,
  SSF_RC_NO_ESC_TIMESTAMP = 123,
  SSF_RC_NO_ARCHIVE_TIMESTAMP = 125,
};

#endif
