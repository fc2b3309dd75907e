#include "enhance_util.h"

#include <openssl/err.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <ctime>

#include "cades_attr_ids.h"
#include "enhance_deps.h"
#include "log.h"
#include "ossl_ptr.h"
#include "x509_name.h"

namespace {

// The whole DER of the first attribute of that object; empty when absent.
bool attribute_der(PKCS7_SIGNER_INFO* si, int nid, std::vector<unsigned char>* out) {
  const int idx = X509at_get_attr_by_NID(si->unauth_attr, nid, -1);
  X509_ATTRIBUTE* attr = idx >= 0 ? X509at_get_attr(si->unauth_attr, idx) : nullptr;
  if (attr == nullptr) return false;
  unsigned char* der = nullptr;
  const int len = i2d_X509_ATTRIBUTE(attr, &der);
  orvel::BytesPtr owner(der);
  if (len <= 0) return false;
  out->assign(der, der + len);
  return true;
}

// -1, 0 or 1 as the time compares with t; -2 when it does not convert.
int time_cmp(const ASN1_TIME* s, time_t t) { return s ? ASN1_TIME_cmp_time_t(s, t) : -2; }

bool store_has_subject(X509_STORE* store, const X509_NAME* name) {
  STACK_OF(X509_OBJECT)* objs = X509_STORE_get0_objects(store);
  for (int i = 0; i < sk_X509_OBJECT_num(objs); ++i) {
    X509* c = X509_OBJECT_get0_X509(sk_X509_OBJECT_value(objs, i));
    if (c != nullptr && X509_NAME_cmp(X509_get_subject_name(c), name) == 0) return true;
  }
  return false;
}

bool store_has(X509_STORE* store, X509* cert) {
  STACK_OF(X509_OBJECT)* objs = X509_STORE_get0_objects(store);
  for (int i = 0; i < sk_X509_OBJECT_num(objs); ++i) {
    X509* c = X509_OBJECT_get0_X509(sk_X509_OBJECT_value(objs, i));
    if (c != nullptr && X509_cmp(c, cert) == 0) return true;
  }
  return false;
}

bool list_has(STACK_OF(X509) * list, X509* cert) {
  for (int i = 0; i < sk_X509_num(list); ++i)
    if (X509_cmp(sk_X509_value(list, i), cert) == 0) return true;
  return false;
}

// The certificate from the directory service by its SHA-1 fingerprint; 1
// when it is the same certificate and was appended to the list.
int fetch_from_directory(X509* cert, STACK_OF(X509) * list) {
  constexpr char kFunc[] = "find_certificate_in_trusted_root";
  if (!hok_is_specified()) return 0;
  log_write("%s() : trying to load certificate from HOK", kFunc);
  unsigned char sha1[EVP_MAX_MD_SIZE];
  unsigned int n = 0;
  if (!X509_digest(cert, EVP_sha1(), sha1, &n)) return 0;
  char fp[2 * EVP_MAX_MD_SIZE + 1] = {};
  for (unsigned int i = 0; i < n; ++i) snprintf(fp + 2 * i, 3, "%02x", sha1[i]);
  X509* fetched = nullptr;
  const int rc = hok_get_cert_by_fingerprint(fp, &fetched);
  orvel::X509Ptr got(fetched);
  if (rc != 0 || !got) {
    log_err("%s() : hok_get_cert_by_fingerprint( '%s' ) failed", kFunc, fp);
    return 0;
  }
  if (X509_cmp(got.get(), cert) != 0) {
    log_err("%s() : wrong certificate, X509_cmp() failed", kFunc);
    return 0;
  }
  if (!sk_X509_push(list, got.get())) return 0;
  got.release();
  return 1;
}

}  // namespace

ASN1_TYPE* get_raw_attribute(STACK_OF(X509_ATTRIBUTE) * attrs, int nid) {
  const int idx = X509at_get_attr_by_NID(attrs, nid, -1);
  if (idx < 0) return nullptr;
  return X509_ATTRIBUTE_get0_type(X509at_get_attr(attrs, idx), 0);
}

const ASN1_STRING* enhance_sequence_value(const ASN1_TYPE* t) {
  if (t == nullptr || t->type != V_ASN1_SEQUENCE || t->value.sequence == nullptr) return nullptr;
  return t->value.sequence;
}

int enhance_set_unsigned_attr(PKCS7_SIGNER_INFO* si, int nid, const unsigned char* der, int len) {
  orvel::Asn1StringPtr s(ASN1_STRING_type_new(V_ASN1_SEQUENCE));
  if (!s || !ASN1_STRING_set(s.get(), der, len)) return 0;
  if (!PKCS7_add_attribute(si, nid, V_ASN1_SEQUENCE, s.get())) return 0;
  s.release();
  return 1;
}

int enhance_set_unsigned_item(PKCS7_SIGNER_INFO* si, int nid, const ASN1_ITEM* it,
                              const void* value) {
  unsigned char* der = nullptr;
  const int len = ASN1_item_i2d(static_cast<const ASN1_VALUE*>(value), &der, it);
  orvel::BytesPtr owner(der);
  return len > 0 ? enhance_set_unsigned_attr(si, nid, der, len) : 0;
}

int enhance_append_unsigned_attr(PKCS7_SIGNER_INFO* si, int nid, const unsigned char* der,
                                 int len) {
  orvel::Asn1StringPtr s(ASN1_STRING_type_new(V_ASN1_SEQUENCE));
  if (!s || !ASN1_STRING_set(s.get(), der, len)) return 0;
  orvel::X509AttributePtr attr(X509_ATTRIBUTE_create(nid, V_ASN1_SEQUENCE, s.get()));
  if (!attr) return 0;
  s.release();
  if (si->unauth_attr == nullptr) {
    si->unauth_attr = sk_X509_ATTRIBUTE_new_null();
    if (si->unauth_attr == nullptr) return 0;
  }
  if (!sk_X509_ATTRIBUTE_push(si->unauth_attr, attr.get())) return 0;
  attr.release();
  return 1;
}

int add_cert(STACK_OF(X509) * list, X509* cert) {
  if (list == nullptr || cert == nullptr) return 0;
  if (list_has(list, cert)) return 1;
  if (!X509_up_ref(cert)) return 0;
  if (!sk_X509_push(list, cert)) {
    X509_free(cert);
    return 0;
  }
  return 1;
}

REVOCATION_VALUES* ssf_REVOCATION_VALUES_new() {
  orvel::RevocationValuesPtr v(REVOCATION_VALUES_new());
  if (!v) return nullptr;
  if (v->crlVals == nullptr) v->crlVals = sk_X509_CRL_new_null();
  if (v->ocspVals == nullptr) v->ocspVals = sk_OCSP_BASICRESP_new_null();
  if (v->crlVals == nullptr || v->ocspVals == nullptr) return nullptr;
  return v.release();
}

COMPLETE_REVOCATION_REFS* ssf_COMPLETE_REVOCATION_REFS_new() {
  orvel::CompleteRevocationRefsPtr r(COMPLETE_REVOCATION_REFS_new());
  if (!r || r->crlOcspRefs == nullptr) return nullptr;
  CRL_OCSP_REF* ref = r->crlOcspRefs;
  if (ref->crlids == nullptr) ref->crlids = CRL_LIST_ID_new();
  if (ref->ocspids == nullptr) ref->ocspids = OCSP_LIST_ID_new();
  if (ref->crlids == nullptr || ref->ocspids == nullptr) return nullptr;
  if (ref->crlids->crls == nullptr) ref->crlids->crls = sk_CRL_VALIDATED_ID_new_null();
  if (ref->ocspids->OcspRespIds == nullptr)
    ref->ocspids->OcspRespIds = sk_OCSP_RESPONSES_ID_new_null();
  if (ref->crlids->crls == nullptr || ref->ocspids->OcspRespIds == nullptr) return nullptr;
  return r.release();
}

CRL_VALIDATED_ID* make_crl_id(X509_CRL* crl, const EVP_MD* md) {
  if (crl == nullptr || md == nullptr || EVP_MD_type(md) == NID_undef) return nullptr;
  orvel::CrlValidatedIdPtr id(CRL_VALIDATED_ID_new());
  if (!id || id->crlHash == nullptr) return nullptr;
  if (!X509_ALGOR_set0(id->crlHash->hashAlgorithm, OBJ_nid2obj(EVP_MD_type(md)), V_ASN1_UNDEF,
                       nullptr))
    return nullptr;
  unsigned char buf[EVP_MAX_MD_SIZE];
  unsigned int n = 0;
  if (!X509_CRL_digest(crl, md, buf, &n) ||
      !ASN1_OCTET_STRING_set(id->crlHash->hashValue, buf, static_cast<int>(n)))
    return nullptr;
  // The identifier's issue time is a UTCTime. A CRL issued outside the years
  // UTCTime can hold (from 2050 on) is named by its hash alone: the
  // identifier is optional, and a GeneralizedTime in its place would not be
  // valid DER.
  const ASN1_TIME* issued = X509_CRL_get0_lastUpdate(crl);
  struct tm issued_tm = {};
  if (issued == nullptr || !ASN1_TIME_to_tm(issued, &issued_tm)) return nullptr;
  orvel::Asn1TimePtr issued_utc(ASN1_UTCTIME_set(nullptr, timegm(&issued_tm)));
  if (!issued_utc) return id.release();
  orvel::CrlIdentifierPtr ident(CRL_IDENTIFIER_new());
  if (!ident) return nullptr;
  X509_NAME_free(ident->crlIssuer);
  ident->crlIssuer = X509_NAME_dup(X509_CRL_get_issuer(crl));
  ASN1_UTCTIME_free(ident->crlIssuedTime);
  ident->crlIssuedTime = issued_utc.release();
  if (ident->crlIssuer == nullptr) return nullptr;
  int crit = 0;
  ident->crlNumber =
      static_cast<ASN1_INTEGER*>(X509_CRL_get_ext_d2i(crl, NID_crl_number, &crit, nullptr));
  id->crlIdentifier = ident.release();
  return id.release();
}

int get_disp(const unsigned char* der, int len) {
  if (der == nullptr || len < 2) return 0;
  if (der[1] < 0x80) return 2;
  const int n = 2 + (der[1] & 0x7f);
  return n <= len ? n : 0;
}

int get_esc_data(PKCS7_SIGNER_INFO* si, bool with_headers, std::vector<unsigned char>* out) {
  if (si == nullptr || si->enc_digest == nullptr || out == nullptr) return 0;
  const unsigned char* sig = ASN1_STRING_get0_data(si->enc_digest);
  out->assign(sig, sig + ASN1_STRING_length(si->enc_digest));
  for (int nid :
       {cades::kNidSignatureTimeStamp, cades::kNidCertificateRefs, cades::kNidRevocationRefs}) {
    std::vector<unsigned char> der;
    if (!attribute_der(si, nid, &der)) return 0;
    const int skip = with_headers ? 0 : get_disp(der.data(), static_cast<int>(der.size()));
    if (!with_headers && skip == 0) return 0;
    out->insert(out->end(), der.begin() + skip, der.end());
  }
  return 1;
}

int check_certs_validity(STACK_OF(X509) * certs, time_t at) {
  constexpr char kFunc[] = "check_certs_validity";
  if (certs == nullptr) {
    log_err("%s() 1 : bad args", kFunc);
    return 0;
  }
  for (int i = 0; i < sk_X509_num(certs); ++i) {
    X509* c = sk_X509_value(certs, i);
    const int nb = time_cmp(X509_get0_notBefore(c), at);
    const int na = time_cmp(X509_get0_notAfter(c), at);
    if (nb == -2 || nb > 0 || na == -2 || na < 0) {
      log_err("%s() 2 : certificate for '%s' is not valid yet or is expired", kFunc,
              enhance_subject(c).c_str());
      return 0;
    }
  }
  return 1;
}

int enhance_build_chain(X509* cert, X509_STORE* store, time_t at, STACK_OF(X509) * *chain,
                        std::string* reason) {
  orvel::X509StoreCtxPtr ctx(X509_STORE_CTX_new());
  if (!ctx || !X509_STORE_CTX_init(ctx.get(), store, cert, nullptr)) return 13;
  if (at != -1) X509_STORE_CTX_set_time(ctx.get(), 0, at);
  if (X509_verify_cert(ctx.get()) <= 0) {
    if (reason != nullptr)
      *reason = X509_verify_cert_error_string(X509_STORE_CTX_get_error(ctx.get()));
    return 120;
  }
  *chain = X509_STORE_CTX_get1_chain(ctx.get());
  if (*chain == nullptr || sk_X509_num(*chain) < 1) {
    if (reason != nullptr) *reason = "no chain";
    return 120;
  }
  return 0;
}

int find_certificate_in_trusted_root(X509* cert, X509_STORE* store, STACK_OF(X509) * list) {
  constexpr char kFunc[] = "find_certificate_in_trusted_root";
  if (cert == nullptr || store == nullptr) return 0;
  // Without a list the store is the trust: the certificate itself must be
  // one of its certificates, not merely carry a name the store knows.
  if (!store_has_subject(store, X509_get_issuer_name(cert)) ||
      (list == nullptr && !store_has(store, cert))) {
    log_err("%s() 5 : certificate not found in trusted root store", kFunc);
    return 0;
  }
  if (list == nullptr || list_has(list, cert)) return 1;
  log_err("%s() 6 : certificate not found in pab_certs", kFunc);
  return fetch_from_directory(cert, list);
}

X509_STORE* enhance_store_copy(X509_STORE* from) {
  orvel::X509StorePtr to(X509_STORE_new());
  if (!to || from == nullptr) return nullptr;
  STACK_OF(X509_OBJECT)* objs = X509_STORE_get0_objects(from);
  for (int i = 0; i < sk_X509_OBJECT_num(objs); ++i) {
    X509_OBJECT* obj = sk_X509_OBJECT_value(objs, i);
    X509* cert = X509_OBJECT_get0_X509(obj);
    X509_CRL* crl = X509_OBJECT_get0_X509_CRL(obj);
    if ((cert != nullptr && !X509_STORE_add_cert(to.get(), cert)) ||
        (crl != nullptr && !X509_STORE_add_crl(to.get(), crl)))
      return nullptr;
  }
  return to.release();
}

time_t enhance_gentime_to_time_t(const ASN1_GENERALIZEDTIME* t) {
  struct tm tm = {};
  if (t == nullptr || !ASN1_TIME_to_tm(t, &tm)) return -1;
  return timegm(&tm);
}

std::string enhance_subject(X509* cert) {
  orvel::CharsPtr name(cert ? brek_x509_get_name_from_X509(cert) : nullptr);
  return name ? std::string(name.get()) : std::string();
}
