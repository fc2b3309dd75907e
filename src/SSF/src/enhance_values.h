// The reference and value attributes of an enhanced signature: revocation
// values and references for the signer's chain, certificate values and
// references for the certificates collected on the way.
#ifndef ORVEL_SSF_ENHANCE_VALUES_H
#define ORVEL_SSF_ENHANCE_VALUES_H

#include <openssl/asn1.h>
#include <openssl/evp.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

// Revocation values (OCSP answers or CRLs) and references for every
// certificate of cert's chain below the root, at the time-stamp time; the
// certificates touched go to the working list. 0 or a result code.
int add_revValues_attribute(PKCS7_SIGNER_INFO* si, X509* cert, X509_STORE* store,
                            const EVP_MD* md, const ASN1_GENERALIZEDTIME* ts_time,
                            STACK_OF(X509) * working);

// Certificate values (the chains of the given certificates, each
// certificate once) and certificate references (all but the signer's).
// The collected list goes to *collected. 1 on success, -1 on failure.
int add_certValues_attribute(PKCS7_SIGNER_INFO* si, const EVP_MD* md, STACK_OF(X509) * certs,
                             X509_STORE* store, STACK_OF(X509) * *collected);

#endif
