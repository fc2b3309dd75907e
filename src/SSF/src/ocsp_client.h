// OCSP client: revocation status of one certificate at the time of a time
// stamp (with a CRL fallback when the certificate names no responder), the
// checks of a basic response at a given time, the predicates that tie stored
// OCSP and certificate references to their values, and two buffer helpers.
#ifndef ORVEL_SSF_OCSP_CLIENT_H
#define ORVEL_SSF_OCSP_CLIENT_H

#include <openssl/asn1.h>
#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/ocsp.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <cstddef>
#include <ctime>
#include <string>

#include "cades_responder_id.h"
#include "cades_revocation_types.h"
#include "pkcs7/ess_types.h"

// Revocation information of cert (issued by issuer) at the time-stamp time
// tsp_time, with CertIDs made with md. 0 or a result code. On 0 either
// *ocsp_cert (counted reference) and *bs are set, or *crl (and *delta_crl
// when there is one) hold copies of the CRLs used.
int get_revValue(X509* cert, X509* issuer, X509_STORE* store, const EVP_MD* md,
                 const ASN1_GENERALIZEDTIME* tsp_time, X509** ocsp_cert, OCSP_BASICRESP** bs,
                 X509_CRL** crl, X509_CRL** delta_crl);

// Sends the request to the URL (directly or through the configured proxy)
// and decodes the answer. 0, 13 (no out pointer), 103 (bad URL), 104
// (connect failed), 105 (exchange failed) or -1 (set-up failed).
int get_OCSP_response(OCSP_REQUEST* req, const char* url, OCSP_RESPONSE** resp);

// Writes the request over the connection and reads the answer; null on any
// failure (the reason is in the toolkit's error queue). With credentials the
// request target is the whole URL being asked (a proxy request).
OCSP_RESPONSE* my_OCSP_sendreq_bio(const char* proxy_credentials, BIO* conn, const char* host,
                                   const char* path, OCSP_REQUEST* req);

// Base64 of a NUL-terminated text without line feeds, in a buffer that the
// next call overwrites; null when the text does not fit or on failure.
const char* encode_into_base64(const char* text);

// The first SingleResponse of the response, or null. *bs receives the basic
// response whenever it was obtained from a successful answer (the caller
// frees it); *produced_at points into it. An answer whose status is not
// successful is none.
OCSP_SINGLERESP* get_SINGLE_RESP(OCSP_RESPONSE* resp, OCSP_BASICRESP** bs,
                                 const ASN1_GENERALIZEDTIME** produced_at);

// The dotted object identifier of the first critical extension of the
// response data or of the SingleResponse; "" when there is none. No
// extension of an answer is processed, so an answer with one never shows a
// certificate good. "" when either is null.
std::string ocsp_unprocessed_critical(OCSP_BASICRESP* bs, OCSP_SINGLERESP* single);

// Freshness of a response against the time stamp: 1 good, 0 bad. The first
// three are seconds since the epoch; next_update may be null. *pause (when
// given) tells how many seconds to wait before asking again (-1: no sense).
int ocsp_resp_is_good(time_t tsp_time, time_t produced_at, time_t this_update,
                      const ASN1_GENERALIZEDTIME* next_update, int* pause);

// Verifies the basic response with its first certificate and certs as the
// candidate signers, at *at when at is given. Toolkit results: 1, 0, -1.
// On 1 the responder's verified chain goes to *chain_out when given.
int SSF_OCSP_basic_verify(const time_t* at, OCSP_BASICRESP* bs, STACK_OF(X509) * certs,
                          X509_STORE* store, unsigned long flags,
                          STACK_OF(X509) * *chain_out = nullptr);

// The toolkit's OCSP_basic_verify with the responder chain verified at *at
// when at is not null. On 1 the responder's chain goes to *chain_out (null
// when the chain was not verified, as with OCSP_NOVERIFY).
int OCSP_basic_verify_time(const time_t* at, OCSP_BASICRESP* bs, STACK_OF(X509) * certs,
                           X509_STORE* store, unsigned long flags,
                           STACK_OF(X509) * *chain_out = nullptr);

// Digest of the DER of the whole basic response; 1 on success, 0 on failure.
int OCSP_BASICRESP_digest(const OCSP_BASICRESP* bs, const EVP_MD* md, unsigned char* out,
                          unsigned int* out_len);

// 0 equal, 1 different (or missing).
int ssf_OCSP_RESPID_cmp(const SSF_RESPID* a, const SSF_RESPID* b);
// 1 when the stored OCSP reference names the basic response, else 0.
int ocspid_and_ocsp_match(OCSP_RESPONSES_ID* id, OCSP_BASICRESP* bs);
// 0 when the first directoryName of is equals issuer and the serials are
// equal, else -1.
int ssf_ISSUER_SERIAL_cmp(const ISSUER_SERIAL* is, const X509_NAME* issuer,
                          const ASN1_INTEGER* serial);
// 1 when the stored certificate reference names the certificate, else 0.
int certid_and_cert_match(OTHERCERTID* id, X509* cert);

// Allocates (ptr null) or reallocates with the toolkit's allocator.
void* my_realloc(void* ptr, size_t size);
// Appends count bytes to buf (length *len, updated) and returns the buffer,
// which may have moved. On failure the old buffer is freed and null returned.
unsigned char* add_buf(unsigned char* buf, int* len, const unsigned char* bytes, int count);

namespace orvel::ocsp {
// Replaces the sleep of the pause-and-retry (tests); null restores sleep().
void set_sleep_for_tests(void (*sleeper)(unsigned seconds));
}  // namespace orvel::ocsp

#endif
