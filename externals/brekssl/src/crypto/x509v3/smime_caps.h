// The S/MIME capabilities extension (SEQUENCE OF AlgorithmIdentifier) as an
// X.509v3 extension method: one object identifier per configuration value,
// one line "name (dotted identifier)" per capability when printed.
#ifndef ORVEL_SMIME_CAPS_H
#define ORVEL_SMIME_CAPS_H

#include <openssl/x509v3.h>

// The capabilities, in the given order, each without parameters; null with
// the error queue set when a value is not an object identifier.
STACK_OF(X509_ALGOR) *
    v2i_SMIME_CAPS(const X509V3_EXT_METHOD* method, X509V3_CTX* ctx, STACK_OF(CONF_VALUE) * values);
STACK_OF(CONF_VALUE) * i2v_SMIME_CAPS(const X509V3_EXT_METHOD* method, STACK_OF(X509_ALGOR) * caps,
                                      STACK_OF(CONF_VALUE) * out);

// The method, for X509V3_EXT_add.
X509V3_EXT_METHOD* ssf_v3_smimecaps();

#endif
