// Private-key usage period from configuration: a number of days N gives
// notBefore = now and notAfter = now + N days, both GeneralizedTime.
//
// The toolkit's own method for the extension prints but cannot be built from
// configuration, and the toolkit always prefers its own method: the system's
// is reached through SSF_X509V3_EXT_nconf_nid (ext_methods.h).
#ifndef ORVEL_PKEY_USAGE_PERIOD_H
#define ORVEL_PKEY_USAGE_PERIOD_H

#include <openssl/x509v3.h>

// Exactly one value, an integer greater than 0; null with the error queue
// set otherwise.
PKEY_USAGE_PERIOD* v2i_PKEY_USAGE_PERIOD(const X509V3_EXT_METHOD* method, X509V3_CTX* ctx,
                                         STACK_OF(CONF_VALUE) * values);

// The toolkit's method with the configuration function added.
const X509V3_EXT_METHOD* ssf_v3_pkey_usage_period();

#endif
