// Reading a PKCS#12 file: the MAC is checked with both schemes of
// pkcs12_mac.h, then the bags are taken out by the system itself (the
// toolkit's PKCS12_parse would check the MAC again, TC26 only for GOST).
#ifndef ORVEL_PKCS12_PARSE_H
#define ORVEL_PKCS12_PARSE_H

#include <openssl/pkcs12.h>

// Contract of the toolkit's PKCS12_parse: *pkey gets the first private key,
// *cert the certificate that matches it, *ca (created when null) the other
// certificates; any of the three may be null when not wanted. A null or
// empty password is tried as no password, then as the empty one. A file
// without MAC is refused. 1 on success; 0 with the error queue set, *pkey
// and *cert null and *ca unchanged.
int SSF_PKCS12_parse(PKCS12* p12, const char* pass, EVP_PKEY** pkey, X509** cert,
                     STACK_OF(X509) * *ca);

#endif
