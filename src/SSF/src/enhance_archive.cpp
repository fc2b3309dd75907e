#include "enhance_archive.h"

#include <openssl/err.h>
#include <openssl/obj_mac.h>

#include "cades_attr_ids.h"
#include "cades_oid_globals.h"
#include "enhance_deps.h"
#include "enhance_seq_types.h"
#include "enhance_util.h"
#include "log.h"
#include "orvel_ssf.h"
#include "ossl_ptr.h"
#include "verify_enh_archive.h"
#include "verify_enhanced.h"

namespace {

constexpr int kStampTooOld = 126;

bool append_item(const void* value, const ASN1_ITEM* it, std::vector<unsigned char>* out) {
  unsigned char* der = nullptr;
  const int len = ASN1_item_i2d(static_cast<const ASN1_VALUE*>(value), &der, it);
  orvel::BytesPtr owner(der);
  if (len <= 0) return false;
  out->insert(out->end(), der, der + len);
  return true;
}

// The detached content: all bytes of the stream's source, from its start.
bool append_source(BIO* data, std::vector<unsigned char>* out) {
  BIO* src = data;
  while (src != nullptr && BIO_next(src) != nullptr) src = BIO_next(src);
  if (src == nullptr || BIO_method_type(src) != BIO_TYPE_MEM || BIO_reset(src) < 0) return false;
  char* p = nullptr;
  const long n = BIO_get_mem_data(src, &p);
  if (n < 0 || (n > 0 && p == nullptr)) return false;
  out->insert(out->end(), p, p + n);
  return true;
}

}  // namespace

int enhance_archive_nid() {
  if (g_nNID_id_smime_aa_ets_ArchTsV2 != 0) return g_nNID_id_smime_aa_ets_ArchTsV2;
  return OBJ_txt2nid(cades::kOidArchiveTimestampV2);
}

int get_arch_timestamp_tbs(PKCS7* p7, BIO* data, PKCS7_SIGNER_INFO* si,
                           std::vector<unsigned char>* out) {
  if (p7 == nullptr || !PKCS7_type_is_signed(p7) || p7->d.sign == nullptr || si == nullptr ||
      out == nullptr)
    return 0;
  out->clear();
  PKCS7_SIGNED* sd = p7->d.sign;
  if (sd->contents == nullptr || !append_item(sd->contents, ASN1_ITEM_rptr(PKCS7), out)) return 0;
  if (PKCS7_get_detached(p7) && !append_source(data, out)) return 0;
  if (sd->cert != nullptr && !append_item(sd->cert, ASN1_ITEM_rptr(SSF_CERTIFICATES), out))
    return 0;
  if (sd->crl != nullptr && !append_item(sd->crl, ASN1_ITEM_rptr(SSF_CRLS), out)) return 0;
  return append_item(si, ASN1_ITEM_rptr(PKCS7_SIGNER_INFO), out) ? 1 : 0;
}

int add_archival_timestamp(PKCS7* p7, BIO* data, PKCS7_SIGNER_INFO* si, STACK_OF(X509) * certs) {
  constexpr char kFunc[] = "add_archival_timestamp";
  const EVP_MD* md = EVP_get_digestbynid(NID_id_GostR3411_94);
  orvel::X509StorePtr store(X509_STORE_new());
  if (p7 == nullptr || si == nullptr || md == nullptr || !store) {
    log_err("%s() 1 : bad args", kFunc);
    return SSF_API_CRYPTO_FAILED;
  }
  for (int i = 0; i < sk_X509_num(certs); ++i) X509_STORE_add_cert(store.get(), sk_X509_value(certs, i));
  std::vector<unsigned char> tbs;
  if (!get_arch_timestamp_tbs(p7, data, si, &tbs)) {
    log_err("%s() 2 : get_arch_timestamp_tbs() failed", kFunc);
    return SSF_API_CRYPTO_FAILED;
  }
  ASN1_OCTET_STRING* tok = nullptr;
  ASN1_GENERALIZEDTIME* gt = nullptr;
  const int rc = make_time_stamp(TS_KIND_ARCHIVE, &tok, tbs.data(), static_cast<int>(tbs.size()),
                                 md, store.get(), nullptr, &gt);
  orvel::Asn1OctetStringPtr token(tok);
  orvel::Asn1TimePtr gen_time(gt);
  if (rc != 0) {
    log_err("%s() 3 : make_time_stamp() failed", kFunc);
    return rc;
  }
  if (!token || !gen_time) {
    log_err("%s() 4 : time-stamp token without genTime", kFunc);
    return SSF_API_CRYPTO_FAILED;
  }
  std::vector<ArchiveStamp> stamps;
  if (!get_arch_timestamps(si, &stamps)) {
    log_err("%s() 5 : get_arch_timestamps() failed", kFunc);
    return SSF_INITIAL_VALUE;
  }
  for (size_t i = 0; i < stamps.size(); ++i) {
    const ASN1_GENERALIZEDTIME* old = TS_TST_INFO_get_time(stamps[i].tst.get());
    // Compared as times: texts with and without fractions of a second do
    // not order correctly as strings.
    if (archive_time_order(gen_time.get(), old) != 1) {
      log_err("%s() 6 : new stamp (%.*s) is older than existing stamp #%d (%.*s)", kFunc,
              ASN1_STRING_length(gen_time.get()),
              reinterpret_cast<const char*>(ASN1_STRING_get0_data(gen_time.get())),
              static_cast<int>(i), ASN1_STRING_length(old),
              reinterpret_cast<const char*>(ASN1_STRING_get0_data(old)));
      return kStampTooOld;
    }
  }
  if (!enhance_append_unsigned_attr(si, enhance_archive_nid(), ASN1_STRING_get0_data(token.get()),
                                    ASN1_STRING_length(token.get()))) {
    log_err("%s() 7 : archive time-stamp attribute not added", kFunc);
    print_brekssl_errors();
    return SSF_API_CRYPTO_FAILED;
  }
  return VerifyEnhancedSignature(data, p7, si, certs);
}
