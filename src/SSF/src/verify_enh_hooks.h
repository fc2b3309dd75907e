// Functions of the enhancement and enhanced-verification code that the
// time-stamp client calls. ssf_find_signer_in_attrs and
// ASN1_INTEGER_to_string are real here (verify_enh_hooks.cpp); the others
// have stand-ins in tsp_enh_pending.cpp until the enhancement code defines
// them, at which point that file goes away.
#ifndef ORVEL_SSF_VERIFY_ENH_HOOKS_H
#define ORVEL_SSF_VERIFY_ENH_HOOKS_H

#include <openssl/asn1.h>
#include <openssl/evp.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <ctime>

#include "cades_revocation_types.h"

// The signer certificate of si (counted reference or copy), looked up by
// issuer and serial in its certValues attribute, then in certs, then in the
// PAB directory named by pab (length pab_len); null when none.
X509* ssf_find_signer_in_attrs(PKCS7_SIGNER_INFO* si, STACK_OF(X509) * certs, const char* pab,
                               int pab_len);

// Lower-case hex of the integer's octets separated by blanks, in a buffer
// that the next call overwrites; "" for null or empty.
const char* ASN1_INTEGER_to_string(const ASN1_INTEGER* value);

// The signature time stamp's own revocation material; 0 or a code.
int verify_signature_timestamp_rev_status(PKCS7_SIGNER_INFO* si, STACK_OF(X509) * chain,
                                          X509_STORE* store, const time_t* at);

// The archive time stamp's own attributes at its genTime; 0 or a code. The
// trusted list (may be null) is the one the stamp itself was checked with:
// the roots of the chains in the stamp's values must be in it.
int verify_archive_timestamp_rev_status(PKCS7_SIGNER_INFO* si, const ASN1_GENERALIZEDTIME* gen_time,
                                        STACK_OF(X509) * trusted);

// Revocation values and references of cert's chain at tsp_time added to si;
// certificates touched are added to work. 0 or a code.
int add_revValues_attribute(PKCS7_SIGNER_INFO* si, X509* cert, X509_STORE* store,
                            const EVP_MD* md, const ASN1_GENERALIZEDTIME* tsp_time,
                            STACK_OF(X509) * work);

// Certificate values and references of certs added to si; the certificates
// collected go to *collected (new list). 1 on success, -1 on failure.
int add_certValues_attribute(PKCS7_SIGNER_INFO* si, const EVP_MD* md, STACK_OF(X509) * certs,
                             X509_STORE* store, STACK_OF(X509) * *collected);

// 1 when every certificate is valid at the time, else 0.
int check_certs_validity(STACK_OF(X509) * certs, time_t at);

// 1 when, with a list, the store holds the certificate's issuer and the
// certificate is in the list, or, without one, the store holds the
// certificate itself; else 0.
int find_certificate_in_trusted_root(X509* cert, X509_STORE* store, STACK_OF(X509) * certs);

// A new CRL identifier of the CRL with the digest md, or null.
CRL_VALIDATED_ID* make_crl_id(X509_CRL* crl, const EVP_MD* md);

#endif
