// Whether a signer's certificate is trusted by the certificates of the PAB.
#ifndef ORVEL_SSF_TRUST_H
#define ORVEL_SSF_TRUST_H

#include <openssl/x509.h>

#include <ctime>

// 0 when the certificate's chain verifies against the PAB certificates as
// trust anchors (intermediate CAs must be among them too) at the time (-1:
// now) and, with check_crl configured, is not revoked; 100 when the chain
// fails because the certificate has expired, 22 for every other failure.
int GetCertificateTrustedStatus(X509* cert, STACK_OF(X509) * pab_certs, time_t at);

#endif
