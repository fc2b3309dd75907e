// RFC 3161 time-stamp client: asks the configured service for a token over
// data, adds the authority's revocation material to signature and archive
// time stamps, and verifies stored tokens.
#ifndef ORVEL_SSF_TSP_CLIENT_H
#define ORVEL_SSF_TSP_CLIENT_H

#include <openssl/asn1.h>
#include <openssl/evp.h>
#include <openssl/pkcs7.h>
#include <openssl/ts.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include <ctime>

// Kinds of time stamps; the kind selects the extra work and failure codes.
enum TimestampKind {
  TS_KIND_SIGNATURE = 1,  // signature time stamp
  TS_KIND_ESC = 2,        // ES-C time stamp
  TS_KIND_ARCHIVE = 3,    // archive time stamp
};

// Asks for a token over data with the digest md. 0 or a result code. On 0
// *token is a new octet string with the DER ContentInfo of the token,
// *tsa_cert (when given) the authority's certificate and *gen_time (when
// given) a copy of the token's genTime.
int make_time_stamp(int kind, ASN1_OCTET_STRING** token, const unsigned char* data, int data_len,
                    const EVP_MD* md, X509_STORE* store, X509** tsa_cert,
                    ASN1_GENERALIZEDTIME** gen_time);

// Verifies a stored token (DER ContentInfo) over data (may be null). 0 or a
// code; *gen_time (when given) receives a copy of genTime as soon as the
// token decodes. certs: trusted certificates or null; at: fixed time or null.
int ssf_verify_TS(ASN1_OCTET_STRING* token, ASN1_OCTET_STRING* data, X509_STORE* store, int kind,
                  ASN1_GENERALIZEDTIME** gen_time, STACK_OF(X509) * certs,
                  const ASN1_GENERALIZEDTIME* at);

// The checks of a decoded token; 0 or a code.
int ssf_verify_TS_token(PKCS7* token, TS_TST_INFO* tst, ASN1_OCTET_STRING* data,
                        X509_STORE* store, int kind, STACK_OF(X509) * certs,
                        const ASN1_GENERALIZEDTIME* at);

// The signer certificate of the token's first SignerInfo (counted
// reference), or null.
X509* ssf_get_ts_cert(PKCS7* token);

// The toolkit's TS_RESP_verify_signature with the authority's chain verified
// at the time at (seconds since the epoch; -1 for now).
int SSF_TS_RESP_verify_signature(time_t at, PKCS7* token, STACK_OF(X509) * certs,
                                 X509_STORE* store, X509** signer_out);

// What a token is verified against (the toolkit's verify context, whose
// fields 3.0 no longer lets one read). Flags are the toolkit's TS_VFY_*.
// Nothing is owned.
struct SSF_TS_VERIFY_CTX {
  unsigned flags = 0;
  X509_STORE* store = nullptr;
  STACK_OF(X509) * certs = nullptr;
  ASN1_OBJECT* policy = nullptr;       // TS_VFY_POLICY
  X509_ALGOR* md_alg = nullptr;        // TS_VFY_IMPRINT
  const unsigned char* imprint = nullptr;
  unsigned imprint_len = 0;
  BIO* data = nullptr;                 // TS_VFY_DATA
  const ASN1_INTEGER* nonce = nullptr; // TS_VFY_NONCE
  GENERAL_NAME* tsa_name = nullptr;    // TS_VFY_TSA_NAME
  // When set, the token must be signed by exactly this certificate: the
  // one whose chain the caller has checked against its trusted roots.
  X509* signer = nullptr;
};

// The toolkit's TS_RESP_verify_token with the signature checked at the time
// at (-1 for now).
int SSF_TS_RESP_verify_token(time_t at, const SSF_TS_VERIFY_CTX* ctx, PKCS7* token);

// 1 when the response's status is granted or grantedWithMods; else 0 with
// the status, its texts and failure codes in the toolkit's error data.
int SSF_TS_check_status_info(TS_RESP* response);

// Puts the authority's intermediate CRLs, their references and the
// authority's certificate values into the token's first SignerInfo. 0 or a
// result code.
int AddTimestampRevocationValues(PKCS7* token, X509* tsa_cert, X509_STORE* store,
                                 const EVP_MD* md);

#endif
