// The on-line services that enhancement and verification of enhanced
// signatures call: the OCSP and time-stamp clients with their checks of
// stored answers and tokens, and the certificate directory.
#ifndef ORVEL_SSF_ENHANCE_DEPS_H
#define ORVEL_SSF_ENHANCE_DEPS_H

#include "ocsp_client.h"
#include "tsp_client.h"
#include "verify_enh_hooks.h"

#include <openssl/x509.h>

// The certificate directory, through which a trusted root missing from the
// PAB can be fetched: whether it is configured, and the certificate of a
// lower-case hex SHA-1 fingerprint (0 and *cert, else a result code).
int enhance_hok_is_specified();
int enhance_hok_get_cert_by_fingerprint(const char* fingerprint, X509** cert);

#endif
