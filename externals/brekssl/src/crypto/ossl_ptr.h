// RAII owners for toolkit objects: std::unique_ptr with the toolkit's own
// free function. release() only where ownership passes on.
#ifndef ORVEL_OSSL_PTR_H
#define ORVEL_OSSL_PTR_H

#include <memory>

#include <openssl/asn1.h>
#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/cms.h>
#include <openssl/crypto.h>
#include <openssl/ec.h>
#include <openssl/engine.h>
#include <openssl/evp.h>
#include <openssl/ocsp.h>
#include <openssl/pkcs12.h>
#include <openssl/pkcs7.h>
#include <openssl/rsa.h>
#include <openssl/ts.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

namespace orvel {

template <typename T, void (*F)(T*)>
struct Free {
  void operator()(T* p) const noexcept { F(p); }
};

// Bytes from OPENSSL_malloc.
struct OsslFree {
  void operator()(void* p) const noexcept { OPENSSL_free(p); }
};

inline void ossl_free_x509_stack(STACK_OF(X509)* s) { sk_X509_pop_free(s, X509_free); }
// A stack that does not own its certificates.
inline void ossl_free_x509_stack_only(STACK_OF(X509)* s) { sk_X509_free(s); }
inline void ossl_free_crl_stack(STACK_OF(X509_CRL)* s) { sk_X509_CRL_pop_free(s, X509_CRL_free); }
inline void ossl_free_engine(ENGINE* e) { ENGINE_free(e); }

using Asn1ObjectPtr = std::unique_ptr<ASN1_OBJECT, Free<ASN1_OBJECT, ASN1_OBJECT_free>>;
using Asn1OctetStringPtr = std::unique_ptr<ASN1_OCTET_STRING, Free<ASN1_OCTET_STRING, ASN1_OCTET_STRING_free>>;
using Asn1IntegerPtr = std::unique_ptr<ASN1_INTEGER, Free<ASN1_INTEGER, ASN1_INTEGER_free>>;
using Asn1StringPtr = std::unique_ptr<ASN1_STRING, Free<ASN1_STRING, ASN1_STRING_free>>;
using Asn1TimePtr = std::unique_ptr<ASN1_TIME, Free<ASN1_TIME, ASN1_TIME_free>>;
using BigNumPtr = std::unique_ptr<BIGNUM, Free<BIGNUM, BN_free>>;
using BioPtr = std::unique_ptr<BIO, Free<BIO, BIO_free_all>>;
using BytesPtr = std::unique_ptr<unsigned char, OsslFree>;
using CharsPtr = std::unique_ptr<char, OsslFree>;
using EnginePtr = std::unique_ptr<ENGINE, Free<ENGINE, ossl_free_engine>>;
using EvpCipherCtxPtr = std::unique_ptr<EVP_CIPHER_CTX, Free<EVP_CIPHER_CTX, EVP_CIPHER_CTX_free>>;
using EvpMdCtxPtr = std::unique_ptr<EVP_MD_CTX, Free<EVP_MD_CTX, EVP_MD_CTX_free>>;
using EvpPkeyCtxPtr = std::unique_ptr<EVP_PKEY_CTX, Free<EVP_PKEY_CTX, EVP_PKEY_CTX_free>>;
using EvpPkeyPtr = std::unique_ptr<EVP_PKEY, Free<EVP_PKEY, EVP_PKEY_free>>;
using GeneralNamePtr = std::unique_ptr<GENERAL_NAME, Free<GENERAL_NAME, GENERAL_NAME_free>>;
using OcspBasicRespPtr = std::unique_ptr<OCSP_BASICRESP, Free<OCSP_BASICRESP, OCSP_BASICRESP_free>>;
using Pkcs12Ptr = std::unique_ptr<PKCS12, Free<PKCS12, PKCS12_free>>;
using Pkcs7Ptr = std::unique_ptr<PKCS7, Free<PKCS7, PKCS7_free>>;
using TsTstInfoPtr = std::unique_ptr<TS_TST_INFO, Free<TS_TST_INFO, TS_TST_INFO_free>>;
using X509AttributePtr = std::unique_ptr<X509_ATTRIBUTE, Free<X509_ATTRIBUTE, X509_ATTRIBUTE_free>>;
using X509CrlPtr = std::unique_ptr<X509_CRL, Free<X509_CRL, X509_CRL_free>>;
using X509ExtensionPtr = std::unique_ptr<X509_EXTENSION, Free<X509_EXTENSION, X509_EXTENSION_free>>;
using X509CrlStackPtr = std::unique_ptr<STACK_OF(X509_CRL), Free<STACK_OF(X509_CRL), ossl_free_crl_stack>>;
using X509Ptr = std::unique_ptr<X509, Free<X509, X509_free>>;
using X509RefStackPtr = std::unique_ptr<STACK_OF(X509), Free<STACK_OF(X509), ossl_free_x509_stack_only>>;
using X509StackPtr = std::unique_ptr<STACK_OF(X509), Free<STACK_OF(X509), ossl_free_x509_stack>>;
using X509StoreCtxPtr = std::unique_ptr<X509_STORE_CTX, Free<X509_STORE_CTX, X509_STORE_CTX_free>>;
using X509NamePtr = std::unique_ptr<X509_NAME, Free<X509_NAME, X509_NAME_free>>;
using X509StorePtr = std::unique_ptr<X509_STORE, Free<X509_STORE, X509_STORE_free>>;

}  // namespace orvel

#endif
