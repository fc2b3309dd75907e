#include "verify_enh_archive.h"

#include <openssl/err.h>

#include <algorithm>
#include <string>

#include "enhance_archive.h"
#include "enhance_deps.h"
#include "enhance_util.h"
#include "log.h"
#include "orvel_ssf.h"

namespace {

using SignerInfoPtr =
    std::unique_ptr<PKCS7_SIGNER_INFO, orvel::Free<PKCS7_SIGNER_INFO, PKCS7_SIGNER_INFO_free>>;

const ASN1_GENERALIZEDTIME* gen_time(const ArchiveStamp& s) {
  return TS_TST_INFO_get_time(s.tst.get());
}

// The digits of a GeneralizedTime's fraction of a second (empty without).
std::string fraction_digits(const ASN1_TIME* t) {
  if (ASN1_STRING_type(t) != V_ASN1_GENERALIZEDTIME) return std::string();
  const char* p = reinterpret_cast<const char*>(ASN1_STRING_get0_data(t));
  const int n = ASN1_STRING_length(t);
  std::string digits;
  if (n > 14 && (p[14] == '.' || p[14] == ','))
    for (int i = 15; i < n && p[i] >= '0' && p[i] <= '9'; ++i) digits.push_back(p[i]);
  return digits;
}

// Decodes the archive stamp held by the attribute; false when it does not.
bool decode_stamp(X509_ATTRIBUTE* attr, ArchiveStamp* out) {
  constexpr char kFunc[] = "get_arch_timestamps";
  const ASN1_STRING* v = enhance_sequence_value(X509_ATTRIBUTE_get0_type(attr, 0));
  const unsigned char* p = v ? ASN1_STRING_get0_data(v) : nullptr;
  out->token.reset(p ? d2i_PKCS7(nullptr, &p, ASN1_STRING_length(v)) : nullptr);
  if (!out->token) {
    log_err("%s() 2 : d2i_PKCS7() failed", kFunc);
    print_brekssl_errors();
    return false;
  }
  out->tst.reset(PKCS7_to_TS_TST_INFO(out->token.get()));
  if (!out->tst || TS_TST_INFO_get_time(out->tst.get()) == nullptr) {
    log_err("%s() 3 : PKCS7_to_TS_TST_INFO() failed, bad timestamp", kFunc);
    print_brekssl_errors();
    return false;
  }
  out->der.reset(ASN1_OCTET_STRING_new());
  return out->der &&
         ASN1_OCTET_STRING_set(out->der.get(), ASN1_STRING_get0_data(v), ASN1_STRING_length(v));
}

}  // namespace

int archive_time_order(const ASN1_TIME* a, const ASN1_TIME* b) {
  if (a == nullptr || b == nullptr) return -2;
  // The toolkit compares whole seconds; stamps of one second are ordered by
  // their fractions.
  const int whole = ASN1_TIME_compare(a, b);
  if (whole != 0) return whole < -1 ? -2 : whole;
  std::string fa = fraction_digits(a), fb = fraction_digits(b);
  const size_t len = std::max(fa.size(), fb.size());
  fa.resize(len, '0');
  fb.resize(len, '0');
  const int c = fa.compare(fb);
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

int get_arch_timestamps(PKCS7_SIGNER_INFO* si, std::vector<ArchiveStamp>* out) {
  out->clear();
  if (si == nullptr) return 0;
  const int nid = enhance_archive_nid();
  for (int i = 0; i < sk_X509_ATTRIBUTE_num(si->unauth_attr); ++i) {
    X509_ATTRIBUTE* attr = sk_X509_ATTRIBUTE_value(si->unauth_attr, i);
    if (OBJ_obj2nid(X509_ATTRIBUTE_get0_object(attr)) != nid) continue;
    ArchiveStamp s;
    if (!decode_stamp(attr, &s)) {
      out->clear();
      return 0;
    }
    auto pos = out->begin();
    while (pos != out->end() && archive_time_order(gen_time(*pos), gen_time(s)) < 0) ++pos;
    out->insert(pos, std::move(s));
  }
  return 1;
}

int VerifyArchiveTimestamp(PKCS7* p7, BIO* data, PKCS7_SIGNER_INFO* si, const ArchiveStamp& stamp,
                           STACK_OF(X509) * trusted, const ASN1_GENERALIZEDTIME* at) {
  constexpr char kFunc[] = "VerifyArchiveTimestamp";
  SignerInfoPtr copy(static_cast<PKCS7_SIGNER_INFO*>(
      si ? ASN1_item_dup(ASN1_ITEM_rptr(PKCS7_SIGNER_INFO), si) : nullptr));
  if (!copy || !stamp.tst || !stamp.der) {
    log_err("%s() 1 : SignerInfo or stamp not usable", kFunc);
    return SSF_INITIAL_VALUE;
  }
  const int nid = enhance_archive_nid();
  // What this stamp covered: the SignerInfo without it and the newer ones.
  for (int i = sk_X509_ATTRIBUTE_num(copy->unauth_attr) - 1; i >= 0; --i) {
    X509_ATTRIBUTE* attr = sk_X509_ATTRIBUTE_value(copy->unauth_attr, i);
    if (OBJ_obj2nid(X509_ATTRIBUTE_get0_object(attr)) != nid) continue;
    ArchiveStamp other;
    if (!decode_stamp(attr, &other)) return SSF_INITIAL_VALUE;
    const int order = archive_time_order(gen_time(other), gen_time(stamp));
    if (order == -2) return SSF_INITIAL_VALUE;
    if (order >= 0) X509_ATTRIBUTE_free(sk_X509_ATTRIBUTE_delete(copy->unauth_attr, i));
  }
  std::vector<unsigned char> tbs;
  orvel::Asn1OctetStringPtr input(ASN1_OCTET_STRING_new());
  if (!get_arch_timestamp_tbs(p7, data, copy.get(), &tbs) || !input ||
      !ASN1_OCTET_STRING_set(input.get(), tbs.data(), static_cast<int>(tbs.size()))) {
    log_err("%s() 3 : get_arch_timestamp_tbs() failed", kFunc);
    return SSF_API_NOMEMORY;
  }
  orvel::X509StorePtr store(X509_STORE_new());
  if (!store) return SSF_API_NOMEMORY;
  const int rc = ssf_verify_TS(stamp.der.get(), input.get(), store.get(), TS_KIND_ARCHIVE, nullptr,
                               trusted, at);
  if (rc != 0) log_err("%s() 14 : ssf_verify_TS() failed, returned %d", kFunc, rc);
  return rc;
}

int VerifyAllArchiveTimestamps(PKCS7* p7, BIO* data, PKCS7_SIGNER_INFO* si,
                               STACK_OF(X509) * trusted, ASN1_GENERALIZEDTIME** oldest) {
  constexpr char kFunc[] = "VerifyAllArchiveTimestamps";
  if (oldest != nullptr) *oldest = nullptr;
  std::vector<ArchiveStamp> stamps;
  if (!get_arch_timestamps(si, &stamps)) {
    log_err("%s() 1 : get_arch_timestamps() failed", kFunc);
    return SSF_INITIAL_VALUE;
  }
  const ASN1_GENERALIZEDTIME* at = nullptr;
  for (size_t k = stamps.size(); k-- > 0;) {
    const int rc = VerifyArchiveTimestamp(p7, data, si, stamps[k], trusted, at);
    if (rc != 0) {
      log_err("%s() 2 : VerifyArchiveTimestamp() for timestamp #%d failed", kFunc,
              static_cast<int>(k));
      return rc;
    }
    at = gen_time(stamps[k]);
  }
  if (oldest != nullptr && !stamps.empty()) {
    *oldest = ASN1_STRING_dup(gen_time(stamps.front()));
    if (*oldest == nullptr) return SSF_API_NOMEMORY;
  }
  return 0;
}
