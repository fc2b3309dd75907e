#include "result_records.h"

#include <openssl/evp.h>
#include <openssl/ts.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "log.h"
#include "op_guard.h"
#include "ossl_ptr.h"
#include "settings.h"
#include "signer_id.h"
#include "time_util.h"
#include "verify_enh_archive.h"
#include "x509_name.h"

namespace {

constexpr char kFunc[] = "set_profile_data";
// The area the time part of a profile and a printed id are built in.
constexpr size_t kTextArea = 10240;

// The genTimes of the archive time stamps of a SignerInfo as record lines,
// oldest first; none when a stamp does not decode.
std::vector<std::string> archive_times(PKCS7_SIGNER_INFO* si) {
  std::vector<ArchiveStamp> stamps;
  std::vector<std::string> out;
  if (!get_arch_timestamps(si, &stamps)) return out;
  for (const ArchiveStamp& s : stamps)
    if (const char* text = ASN1_GENERALIZEDTIME_to_string(TS_TST_INFO_get_time(s.tst.get())))
      out.emplace_back(text);
  return out;
}

std::string signing_time_text(PKCS7_SIGNER_INFO* si) {
  ASN1_TYPE* t = PKCS7_get_signed_attribute(si, NID_pkcs9_signingTime);
  if (t == nullptr) return "<Unknown>";
  if (t->type != V_ASN1_UTCTIME || t->value.utctime == nullptr ||
      ASN1_UTCTIME_check(t->value.utctime) != 1) {
    log_err("%s() 5 : ASN1_UTCTIME_check() failed", kFunc);
    // Only string values have bytes to show.
    if (t->type != V_ASN1_BOOLEAN && t->type != V_ASN1_NULL && t->type != V_ASN1_OBJECT &&
        t->value.asn1_string != nullptr)
      dbg_hex_dump(t->value.asn1_string->data, t->value.asn1_string->length,
                   "t7->value.asn1_string");
    return "SigningTime= <UNKNOWN, decoding failed> (UTCTime: <UNKNOWN>)";
  }
  const std::string utc(reinterpret_cast<const char*>(t->value.utctime->data),
                        static_cast<size_t>(t->value.utctime->length));
  const time_t when = SSF_ASN1_UTCTIME_get(t->value.utctime);
  struct tm local = {};
  char text[64];
  if (when != 0 && localtime_r(&when, &local) != nullptr && asctime_r(&local, text) != nullptr)
    return std::string("SigningTime= ") + text + " (UTCTime: " + utc + ")";
  char buf[128];
  snprintf(buf, sizeof buf, "SigningTime= <UNKNOWN, decoding failed> (UTCTime: %8s)", utc.c_str());
  return buf;
}

// The first part of the profile: the signing time and, for enhanced
// signatures, the time-stamp times; at most kTextArea - 1 characters.
std::string time_part(int timestamps, PKCS7_SIGNER_INFO* si) {
  if (si == nullptr) return "<Unknown>";
  std::string text = signing_time_text(si);
  if (timestamps && text != "<Unknown>") {
    if (const char* ts = get_timestamp_time(si))
      text += std::string("\n") + ts;
    else
      log_err("%s() 6 : timestamp time not found", kFunc);
    for (const auto& a : archive_times(si)) text += "\n" + a;
  }
  if (text.size() > kTextArea - 1) text.resize(kTextArea - 1);
  return text;
}

// Lowercase two-digit hex of the integer's content octets, blank-separated.
std::string serial_text(const ASN1_INTEGER* serial) {
  std::string s;
  const unsigned char* p = serial ? ASN1_STRING_get0_data(serial) : nullptr;
  for (int i = 0; p != nullptr && i < ASN1_STRING_length(serial); ++i) {
    char b[4];
    snprintf(b, sizeof b, "%02x", p[i]);
    if (i) s += ' ';
    s += b;
  }
  return s;
}

// A copy of len bytes with a NUL behind it, not counted in the length.
char* copy_bytes(const void* data, size_t len) {
  auto* p = static_cast<char*>(OPENSSL_malloc(len + 1));
  if (p == nullptr) return nullptr;
  if (len) memcpy(p, data, len);
  p[len] = '\0';
  return p;
}

// The record's id for a certificate; new toolkit text, null on failure.
char* record_id(X509* cert) {
  if (verify_use_sha1_id) return calc_sha1id(cert);
  if (default_verify_name != nullptr && *default_verify_name != '\0')
    return copy_bytes(default_verify_name, strlen(default_verify_name));
  if (char* name = brek_x509_get_name_from_X509(cert)) return name;
  // A subject that cannot be printed: the SHA-1 id still names the signer.
  return calc_sha1id(cert);
}

int build(int timestamps, SigRcpSsfInfo* rec, PKCS7_SIGNER_INFO* si, X509* cert) {
  if (cert == nullptr) {
    rec->strSigRcpId = copy_bytes(kNoCertificateId, sizeof kNoCertificateId - 1);
    if (rec->strSigRcpId == nullptr) {
      log_err("%s() 2 : OPENSSL_malloc( %d ) failed", kFunc,
              static_cast<int>(sizeof kNoCertificateId));
      print_brekssl_errors();
      return SSF_API_RESULT_RECORD_FAILED;
    }
    rec->strSigRcpIdL = static_cast<SsfInt>(sizeof kNoCertificateId - 1);
  } else {
    orvel::CharsPtr id(record_id(cert));
    char* copy = id ? copy_bytes(id.get(), strlen(id.get())) : nullptr;
    if (copy == nullptr) {
      log_err("%s() 3 : OPENSSL_malloc( %d ) failed", kFunc,
              id ? static_cast<int>(strlen(id.get()) + 1) : 0);
      print_brekssl_errors();
      return SSF_API_RESULT_RECORD_FAILED;
    }
    rec->strSigRcpId = copy;
    rec->strSigRcpIdL = static_cast<SsfInt>(strlen(copy));
    unsigned char* der = nullptr;
    const int n = i2d_X509(cert, &der);
    orvel::BytesPtr der_owner(der);
    char* der_copy = n > 0 ? copy_bytes(der, static_cast<size_t>(n)) : nullptr;
    if (der_copy == nullptr) {
      log_err("%s() 4 : i2d_X509() failed", kFunc);
      print_brekssl_errors();
      return SSF_API_RESULT_RECORD_FAILED;
    }
    rec->strSigRcpPassword = der_copy;
    rec->strSigRcpPasswordL = n;
  }
  const std::string time = time_part(timestamps, si);
  const std::string serial = cert ? "serialNumber=" + serial_text(X509_get0_serialNumber(cert))
                                  : std::string("serialNumber=<Unknown>");
  std::string profile = time;
  profile.push_back('\0');
  profile += serial;
  rec->strSigRcpProfile = copy_bytes(profile.data(), profile.size());
  if (rec->strSigRcpProfile == nullptr) {
    log_err("%s() 7 : OPENSSL_malloc( %d ) failed", kFunc, static_cast<int>(profile.size() + 1));
    print_brekssl_errors();
    return SSF_API_RESULT_RECORD_FAILED;
  }
  rec->strSigRcpProfileL = static_cast<SsfInt>(profile.size());
  return SSF_API_OK;
}

}  // namespace

void free_result_record(SigRcpSsfInfo* record) {
  if (record == nullptr) return;
  OPENSSL_free(record->strSigRcpId);
  OPENSSL_free(record->strSigRcpReserved);
  OPENSSL_free(record->strSigRcpProfile);
  OPENSSL_free(record->strSigRcpPassword);
  OPENSSL_free(record);
}

int set_profile_data(int timestamps, SigRcpSsfInfo** record, PKCS7_SIGNER_INFO* si, X509* cert,
                     int result) {
  if (record == nullptr) return SSF_API_RESULT_RECORD_FAILED;
  *record = nullptr;
  auto* rec = static_cast<SigRcpSsfInfo*>(OPENSSL_zalloc(sizeof(SigRcpSsfInfo)));
  if (rec == nullptr) {
    log_err("%s() 1 : OPENSSL_malloc( %d ) failed", kFunc, static_cast<int>(sizeof(SigRcpSsfInfo)));
    print_brekssl_errors();
    return SSF_API_RESULT_RECORD_FAILED;
  }
  const int rc = run_guarded(kFunc, SSF_API_RESULT_RECORD_FAILED,
                             [&] { return build(timestamps, rec, si, cert); });
  if (rc != SSF_API_OK) {
    // A half-built record is of no use to anyone: it goes now.
    free_result_record(rec);
    return rc;
  }
  rec->uResult = result;
  *record = rec;
  return SSF_API_OK;
}

void log_verification_summary(const char* func, SigRcpSsfInformationList list,
                              SigRcpSsfInformationList first_built, int rc) {
  info("%s(): Verification results:", func);
  int n = 0;
  bool built = false;
  for (auto* e = list; e != nullptr; e = e->next) {
    if (e == first_built) built = true;
    const SigRcpSsfInfo* r = e->ptrSigRcp;
    if (r == nullptr) continue;
    char id[kTextArea];
    size_t len =
        r->strSigRcpId != nullptr && r->strSigRcpIdL > 0 ? static_cast<size_t>(r->strSigRcpIdL) : 0;
    if (len > sizeof id - 1) len = sizeof id - 1;
    if (len) memcpy(id, r->strSigRcpId, len);
    id[len] = '\0';
    std::string fingerprint = "N/A";
    if (built && r->strSigRcpPassword != nullptr && r->strSigRcpPasswordL > 0) {
      unsigned char md[EVP_MAX_MD_SIZE];
      unsigned int mdlen = 0;
      if (EVP_Digest(r->strSigRcpPassword, static_cast<size_t>(r->strSigRcpPasswordL), md, &mdlen,
                     EVP_sha1(), nullptr)) {
        fingerprint.clear();
        for (unsigned i = 0; i < mdlen; ++i) {
          char b[4];
          snprintf(b, sizeof b, "%02x ", md[i]);
          fingerprint += b;
        }
        if (!fingerprint.empty()) fingerprint.pop_back();
      }
    }
    log_write("\tSigner #%d:\n\tID: '%s'\n\tFingerprint: %s\n\tResult: %d", n, id,
              fingerprint.c_str(), r->uResult);
    ++n;
  }
  log_write("Total signers: %d", n);
  log_write("Overall result: %d", rc);
}
