// Signing: a new signedData over the host's data for a list of signers
// (ssf_sign_data, declared in operations.h), and the pieces it shares with
// co-signing.
#ifndef ORVEL_SSF_SIGN_H
#define ORVEL_SSF_SIGN_H

#include <openssl/pkcs7.h>

#include "operations.h"

// DER of a PKCS#7 into a new toolkit buffer; false when it cannot be
// encoded.
bool ssf_pkcs7_to_blob(PKCS7* p7, SsfDataBlob* output);

// A PKCS#7 decoded from DER; null when it does not decode.
PKCS7* ssf_pkcs7_from_blob(const SsfDataBlob* input);

#endif
