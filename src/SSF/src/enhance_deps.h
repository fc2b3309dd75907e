// The on-line services that enhancement and verification of enhanced
// signatures call: the OCSP and time-stamp clients with their checks of
// stored answers and tokens, and the certificate directory.
#ifndef ORVEL_SSF_ENHANCE_DEPS_H
#define ORVEL_SSF_ENHANCE_DEPS_H

#include "hok_client.h"
#include "ocsp_client.h"
#include "tsp_client.h"
#include "verify_enh_hooks.h"

#include <openssl/x509.h>

#endif
