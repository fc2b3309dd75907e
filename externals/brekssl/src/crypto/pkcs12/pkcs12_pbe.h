// The work a PKCS#12 file asks for: the iteration counts of its MAC and of
// the password-based encryption of its bags. The toolkit derives keys with
// whatever count a file names; the loader refuses a count above the limit
// before any derivation.
#ifndef ORVEL_PKCS12_PBE_H
#define ORVEL_PKCS12_PBE_H

#include <openssl/x509.h>

// Highest iteration count accepted. GnuTLS's certtool writes 600,000
// (seconds per derivation with GOST); 2^31 would hold the caller for hours.
constexpr int kPkcs12MaxIterations = 10000000;

// False, with "<what> iteration count N is above the limit of 10000000" in
// the error queue, when count is above the limit.
bool ssf_pkcs12_iterations_ok(const char* what, long count);

// Highest scrypt cost N * r * p accepted: a few seconds, as 10,000,000
// iterations take; the toolkit's memory cap bounds N * r but not p.
constexpr unsigned long long kPkcs12MaxScryptCost = 1ull << 23;

// The same for the encryption algorithm of a bag or of an encrypted safe
// (the PKCS#5 v1.5 and PKCS#12 schemes, PBES2 with PBKDF2 or scrypt): false,
// with "PBE iteration count N is above the limit of 10000000" or "PBE scrypt
// cost N*r*p = N*R*P is above the limit of 8388608" in the error queue.
// Parameters it cannot read are left to the toolkit, which refuses them.
bool ssf_pkcs12_pbe_ok(const X509_ALGOR* alg);

#endif
