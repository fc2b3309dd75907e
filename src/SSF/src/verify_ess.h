// The signing-certificate attributes of a SignerInfo as verification reads
// them: whether a signature carries them, whether it carries the full set
// of CAdES enhancement attributes, and whether they name a certificate.
#ifndef ORVEL_SSF_VERIFY_ESS_H
#define ORVEL_SSF_VERIFY_ESS_H

#include <openssl/pkcs7.h>
#include <openssl/x509.h>

// 1 when the SignerInfo has the signingCertificateV2 signed attribute.
int ess_signing_cert_present(PKCS7_SIGNER_INFO* si);

// 1 when the SignerInfo has otherSigCert or signingCertificateV2 and the
// unsigned attributes revocation references and values, certificate
// references and values, and, unless skip_timestamps, the signature and
// ES-C time stamps; else 0.
int ssf_signature_is_enhanced(PKCS7_SIGNER_INFO* si, int skip_timestamps);

// 1 when the first entry of each signing-certificate attribute present
// names the certificate (digest of its DER, and issuer and serial number
// when given); 0 when neither attribute is present or one does not match.
// A signingCertificateV2 entry without hashAlgorithm means SHA-256.
int check_ess_signing_cert(PKCS7_SIGNER_INFO* si, X509* cert);

#endif
