// Predicates that tie stored OCSP and certificate references to stored
// values, the digest of a basic response, and two buffer helpers.
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/x509v3.h>

#include <climits>
#include <cstring>

#include "log.h"
#include "ocsp_client.h"
#include "ossl_ptr.h"

namespace {

// The digest named by an algorithm identifier, or null.
const EVP_MD* digest_of(const X509_ALGOR* alg) {
  if (alg == nullptr || alg->algorithm == nullptr) return nullptr;
  return EVP_get_digestbyobj(alg->algorithm);
}

bool same_bytes(const unsigned char* a, unsigned int a_len, const ASN1_OCTET_STRING* b) {
  return b != nullptr && static_cast<int>(a_len) == ASN1_STRING_length(b) &&
         memcmp(a, ASN1_STRING_get0_data(b), a_len) == 0;
}

}  // namespace

int OCSP_BASICRESP_digest(const OCSP_BASICRESP* bs, const EVP_MD* md, unsigned char* out,
                          unsigned int* out_len) {
  if (bs == nullptr || md == nullptr || out == nullptr || out_len == nullptr) return 0;
  unsigned char* der = nullptr;
  const int len = i2d_OCSP_BASICRESP(bs, &der);
  if (len <= 0) return 0;
  orvel::BytesPtr owner(der);
  return EVP_Digest(der, static_cast<size_t>(len), out, out_len, md, nullptr);
}

int ssf_OCSP_RESPID_cmp(const SSF_RESPID* a, const SSF_RESPID* b) {
  static const char kFunc[] = "ssf_OCSP_RESPID_cmp";
  if (a == nullptr || b == nullptr) {
    log_err("%s() 1: bad args", kFunc);
    return 1;
  }
  if (a->type != b->type) {
    log_err("%s() 2 : types of a and b don't match", kFunc);
    return 1;
  }
  switch (a->type) {
    case V_OCSP_RESPID_NAME:
      if (a->value.byName == nullptr || b->value.byName == nullptr ||
          X509_NAME_cmp(a->value.byName, b->value.byName) != 0) {
        log_err("%s() 3 : 'byName' fields of a and b don't match", kFunc);
        return 1;
      }
      return 0;
    case V_OCSP_RESPID_KEY:
      if (a->value.byKey == nullptr || b->value.byKey == nullptr ||
          ASN1_OCTET_STRING_cmp(a->value.byKey, b->value.byKey) != 0) {
        log_err("%s() 4 : 'byKey' fields of a and b don't match", kFunc);
        return 1;
      }
      return 0;
    default:
      log_err("%s() 5 : wrong type of a and b: %d", kFunc, a->type);
      return 1;
  }
}

int ocspid_and_ocsp_match(OCSP_RESPONSES_ID* id, OCSP_BASICRESP* bs) {
  static const char kFunc[] = "ocspid_and_ocsp_match";
  if (id == nullptr || bs == nullptr || id->OcspIdentifier == nullptr) {
    log_err("%s() 1 : bad args", kFunc);
    return 0;
  }
  orvel::SsfRespIdPtr rid(SSF_RESPID_from_basic_response(bs));
  if (!rid || ssf_OCSP_RESPID_cmp(id->OcspIdentifier->responderId, rid.get()) != 0) return 0;
  const ASN1_GENERALIZEDTIME* mine = id->OcspIdentifier->producedAt;
  const ASN1_GENERALIZEDTIME* theirs = OCSP_resp_get0_produced_at(bs);
  if (mine == nullptr || theirs == nullptr || ASN1_STRING_length(mine) != ASN1_STRING_length(theirs) ||
      memcmp(ASN1_STRING_get0_data(mine), ASN1_STRING_get0_data(theirs),
             static_cast<size_t>(ASN1_STRING_length(mine))) != 0) {
    log_err("%s() 3 : producedAt of OCSP-ID and OCSP don't match", kFunc);
    return 0;
  }
  if (id->ocspRepHash == nullptr) return 1;
  const EVP_MD* md = digest_of(id->ocspRepHash->hashAlgorithm);
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  if (md == nullptr || !OCSP_BASICRESP_digest(bs, md, digest, &len) ||
      !same_bytes(digest, len, id->ocspRepHash->hashValue)) {
    log_err("%s() 6 : digest of OCSP doesn't match OCSP-ID", kFunc);
    return 0;
  }
  return 1;
}

int ssf_ISSUER_SERIAL_cmp(const ISSUER_SERIAL* is, const X509_NAME* issuer,
                          const ASN1_INTEGER* serial) {
  static const char kFunc[] = "ssf_ISSUER_SERIAL_cmp";
  if (is == nullptr || issuer == nullptr || serial == nullptr) return -1;
  const X509_NAME* dir = nullptr;
  for (int i = 0; i < sk_GENERAL_NAME_num(is->issuer); ++i) {
    const GENERAL_NAME* gn = sk_GENERAL_NAME_value(is->issuer, i);
    if (gn != nullptr && gn->type == GEN_DIRNAME) {
      dir = gn->d.directoryName;
      break;
    }
  }
  if (dir == nullptr) {
    log_err("%s() 2 : GEN_DIRNAME name not found in certid->issuerSerial->issuer", kFunc);
    return -1;
  }
  if (X509_NAME_cmp(dir, issuer) != 0) return -1;
  if (is->serial == nullptr || ASN1_INTEGER_cmp(is->serial, serial) != 0) return -1;
  return 0;
}

int certid_and_cert_match(OTHERCERTID* id, X509* cert) {
  if (id == nullptr || cert == nullptr || id->mD == nullptr) return 0;
  const EVP_MD* md = digest_of(id->mD->hashAlgorithm);
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  if (md == nullptr || !X509_digest(cert, md, digest, &len) ||
      !same_bytes(digest, len, id->mD->hashValue))
    return 0;
  if (id->issuerSerial != nullptr &&
      ssf_ISSUER_SERIAL_cmp(id->issuerSerial, X509_get_issuer_name(cert),
                            X509_get0_serialNumber(cert)) != 0)
    return 0;
  return 1;
}

void* my_realloc(void* ptr, size_t size) {
  return ptr == nullptr ? OPENSSL_malloc(size) : OPENSSL_realloc(ptr, size);
}

unsigned char* add_buf(unsigned char* buf, int* len, const unsigned char* bytes, int count) {
  if (len == nullptr || *len < 0 || count < 0 || (count > 0 && bytes == nullptr) ||
      *len > INT_MAX - count) {
    OPENSSL_free(buf);
    return nullptr;
  }
  const size_t total = static_cast<size_t>(*len) + static_cast<size_t>(count);
  unsigned char* grown = static_cast<unsigned char*>(my_realloc(buf, total > 0 ? total : 1));
  if (grown == nullptr) {
    OPENSSL_free(buf);
    return nullptr;
  }
  if (count > 0) memcpy(grown + *len, bytes, static_cast<size_t>(count));
  *len = static_cast<int>(total);
  return grown;
}
