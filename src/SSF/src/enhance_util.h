// Pieces shared by enhancement and by verification of enhanced signatures:
// unsigned attributes as SEQUENCE values, the working list of certificates,
// revocation identifiers, the ES-C input, certificate chains in a store and
// the validity and trust tests of stored certificates.
#ifndef ORVEL_SSF_ENHANCE_UTIL_H
#define ORVEL_SSF_ENHANCE_UTIL_H

#include <openssl/asn1.h>
#include <openssl/evp.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <ctime>
#include <string>
#include <vector>

#include "cades_revocation_types.h"

// The first attribute of that object in the list, or null.
ASN1_TYPE* get_raw_attribute(STACK_OF(X509_ATTRIBUTE) * attrs, int nid);

// The DER of a SEQUENCE attribute value; null for any other value.
const ASN1_STRING* enhance_sequence_value(const ASN1_TYPE* t);

// Adds the DER as an unsigned SEQUENCE attribute; one of the same object is
// replaced. 1 on success, 0 on failure.
int enhance_set_unsigned_attr(PKCS7_SIGNER_INFO* si, int nid, const unsigned char* der, int len);
// The same for a value of an ASN.1 item.
int enhance_set_unsigned_item(PKCS7_SIGNER_INFO* si, int nid, const ASN1_ITEM* it,
                              const void* value);
// Appends the DER as a further unsigned SEQUENCE attribute. 1 or 0.
int enhance_append_unsigned_attr(PKCS7_SIGNER_INFO* si, int nid, const unsigned char* der,
                                 int len);

// Appends a counted reference to cert unless an equal certificate is in the
// list; 1, or 0 when the list cannot grow.
int add_cert(STACK_OF(X509) * list, X509* cert);

// Both value stacks present and empty; null on failure.
REVOCATION_VALUES* ssf_REVOCATION_VALUES_new();
// One CRL_OCSP_REF with an empty CRL list and an empty OCSP list.
COMPLETE_REVOCATION_REFS* ssf_COMPLETE_REVOCATION_REFS_new();

// The identifier of a CRL under the digest: its hash, issuer, thisUpdate
// and number (when it has one). Null on failure.
CRL_VALIDATED_ID* make_crl_id(X509_CRL* crl, const EVP_MD* md);

// Number of octets of the outer tag and length of a DER value (0 when the
// encoding is too short to hold them).
int get_disp(const unsigned char* der, int len);

// The ES-C input of a SignerInfo: its signature value, then the time stamp,
// certificate references and revocation references attributes, whole or,
// without headers, with their outer tag and length left out. 1 on success,
// 0 when an attribute cannot be encoded.
int get_esc_data(PKCS7_SIGNER_INFO* si, bool with_headers, std::vector<unsigned char>* out);

// 1 when every certificate of the list is valid at the time; else 0.
int check_certs_validity(STACK_OF(X509) * certs, time_t at);

// Builds and verifies the certificate's chain in the store (at the time, or
// now when at is -1). 0 with the chain, 13 when no store context can be
// made, 120 when the chain does not verify (reason filled).
int enhance_build_chain(X509* cert, X509_STORE* store, time_t at, STACK_OF(X509) * *chain,
                        std::string* reason);

// 1 when the store holds the certificate's issuer by name and, with a list,
// the certificate is in it (by content), or the certificate directory gives
// the same certificate, which is then appended to the list; without a list
// the store must hold the certificate itself (by content). Else 0.
int find_certificate_in_trusted_root(X509* cert, X509_STORE* store, STACK_OF(X509) * list);

// A new store holding the certificates and CRLs of the given one; null on
// failure.
X509_STORE* enhance_store_copy(X509_STORE* from);

// A GeneralizedTime as seconds since the epoch; -1 when it does not convert.
time_t enhance_gentime_to_time_t(const ASN1_GENERALIZEDTIME* t);

// The subject of a certificate as text (empty on failure).
std::string enhance_subject(X509* cert);

#endif
