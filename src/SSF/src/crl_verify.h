// One CRL on its own: the CA that signed it (found in a store by its name
// and authority key identifier), its signature, its currency at a time, the
// GOST R 34.10-2001 cut-off, and the critical extensions this library does
// not process. Also the small readers the other CRL files share.
#ifndef ORVEL_SSF_CRL_VERIFY_H
#define ORVEL_SSF_CRL_VERIFY_H

#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <ctime>
#include <string>

// Checks one CRL at a time (0 means now): its issuer's signature from the
// store, lastUpdate and nextUpdate. 1 valid, 0 not valid, -1 not checkable
// (also when the issuer's key usage leaves out cRLSign).
int verify_crl(X509_CRL* crl, X509_STORE_CTX* ctx, time_t at);

// The same checks with the issuing CA given (the issuer that a verified
// chain established) instead of looked up in a store.
int verify_crl_by_issuer(X509_CRL* crl, X509* issuer, time_t at);

// A CRL stored with signed data, judged at a time stamp's time (at; 0 means
// now and no stamp): verify_crl_by_issuer with the issuer given, else
// verify_crl through ctx. The enhancement can fetch a CRL only after the
// stamp, so one issued after it by no more than max_tsp_ocsp_diff seconds
// counts as current at the stamp's time; its nextUpdate must still be
// later.
int verify_stored_crl(X509_CRL* crl, X509* issuer, X509_STORE_CTX* ctx, time_t at);

// Whether the CRL's signature verifies with the issuer's key.
bool crl_signed_by(X509_CRL* crl, X509* issuer);

// The first certificate of the store whose subject is the CRL's issuer and
// that satisfies the CRL's authority key identifier: 1 with a reference in
// *out, -1 when the store has none. When the CRL names no key identifier,
// the first of them whose key verifies the CRL comes before the others.
int X509_STORE_get_ca_cert_for_crl(X509_STORE_CTX* ctx, X509_CRL* crl, X509** out);

// The dotted object identifier of the first critical extension of the CRL,
// or of one of its entries, that this library does not process; "" when
// there is none. Such a CRL may revoke, but never shows a certificate
// unrevoked.
std::string crl_unprocessed_critical(const X509_CRL* crl);

// A name in one line, without recoding, for the trace log.
std::string crl_name_text(const X509_NAME* name);

// Whether the CRL's issuer is the certificate's issuer by name.
bool crl_same_issuer(X509_CRL* crl, X509* x509);

// The first certificate of the store with the subject name that satisfies
// the predicate, with a reference taken; null when there is none.
template <typename Pred>
X509* first_in_store(X509_STORE* store, const X509_NAME* subject, Pred&& pred) {
  STACK_OF(X509_OBJECT)* objs = store != nullptr ? X509_STORE_get0_objects(store) : nullptr;
  for (int i = 0; i < sk_X509_OBJECT_num(objs); ++i) {
    X509_OBJECT* obj = sk_X509_OBJECT_value(objs, i);
    if (X509_OBJECT_get_type(obj) != X509_LU_X509) continue;
    X509* cert = X509_OBJECT_get0_X509(obj);
    if (X509_NAME_cmp(X509_get_subject_name(cert), subject) != 0 || !pred(cert)) continue;
    return X509_up_ref(cert) ? cert : nullptr;
  }
  return nullptr;
}

#endif
