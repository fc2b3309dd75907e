#include "envelope_recipients.h"

#include <cctype>
#include <cstring>
#include <string>

#include "cert_check.h"
#include "hok_client.h"
#include "log.h"
#include "ossl_ptr.h"
#include "settings.h"
#include "signer_id.h"
#include "x509_name.h"

namespace {

constexpr char kFunc[] = "get_cert_from_pab";

// Whether the certificate is the one the recipient names: by SHA-1 id (the
// directory's fingerprint for a SNILS, else the id itself), else by the
// beginning of its subject text.
bool names_recipient(X509* c, const char* name, const std::string& sha1_key, const char* id,
                     int len) {
  if (compare_sha1id_and_rcpid(c, sha1_key.c_str()) == 0) {
    log_write("%s() : certificate found by SHA1 ID", kFunc);
    return true;
  }
  if (strlen(name) >= static_cast<size_t>(len) && memcmp(name, id, len) == 0) {
    log_write("%s() : certificate found by full ID", kFunc);
    return true;
  }
  return false;
}

// The first PAB certificate the recipient names; null when none does.
X509* find_in_pab(STACK_OF(X509) * pab_certs, const std::string& sha1_key, const char* id,
                  int len) {
  for (int i = 0; i < sk_X509_num(pab_certs); ++i) {
    X509* c = sk_X509_value(pab_certs, i);
    orvel::CharsPtr name(brek_x509_get_name_from_X509(c));
    if (!name) {
      log_err("%s() 4 : cert_name is NULL", kFunc);
      continue;
    }
    if (names_recipient(c, name.get(), sha1_key, id, len)) return c;
  }
  return nullptr;
}

// A certificate from the directory stands for the recipient only when it is
// the one asked for, by the rule of the PAB: anyone who answers in the
// directory's place would otherwise receive the envelope. A directory may
// write a fingerprint's hex digits in upper case.
bool is_the_one_asked_for(X509* c, const std::string& key, const char* id, int len) {
  std::string sha1_key = key;
  for (char& ch : sha1_key) ch = static_cast<char>(tolower(static_cast<unsigned char>(ch)));
  orvel::CharsPtr name(brek_x509_get_name_from_X509(c));
  if (name && names_recipient(c, name.get(), sha1_key, id, len)) return true;
  orvel::CharsPtr sha1(calc_sha1id(c));
  log_err(
      "%s() 5 : hok_get_cert_by_fingerprint( '%s' ) gave another certificate: '%s', SHA1 ID "
      "'%s'",
      kFunc, key.c_str(), name ? name.get() : "", sha1 ? sha1.get() : "");
  return false;
}

}  // namespace

int get_cert_from_pab(const SigRcpSsfInfo* recipient, STACK_OF(X509) * pab_certs, X509** cert) {
  *cert = nullptr;
  const char* id = recipient->strSigRcpId;
  const int len = recipient->strSigRcpIdL;
  // An empty id would name every certificate by its subject's first zero
  // bytes; an overlong one does not fit the id areas.
  if (id == nullptr || len <= 0) {
    log_err("%s() 1 : recipient id is empty", kFunc);
    return SSF_UNKNOWN_SIGNER;
  }
  if (len >= kMaxRecipientIdLen) {
    log_err("%s() 1 : recipient id of %d bytes is too long (at most %d)", kFunc, len,
            kMaxRecipientIdLen - 1);
    return SSF_UNKNOWN_SIGNER;
  }
  const std::string text(id, static_cast<size_t>(len));
  log_write("%s() : current recipient = '%s'", kFunc, text.c_str());
  dbg_hex_dump(id, len, "strSigRcpId");

  std::string fingerprint;
  if (is_snils(id, len)) {
    log_write("%s() : '%s' is snils", kFunc, text.c_str());
    char* run = nullptr;
    const int rc = hok_get_fingerprint_by_snils(text.c_str(), &run);
    orvel::CharsPtr run_owner(run);
    if (rc != 0) {
      log_err("%s() 2 : hok_get_fingerprint_by_snils( '%s' ) failed", kFunc, text.c_str());
      return rc;
    }
    if (run != nullptr) fingerprint = run;  // the first of the run
  }
  if (fingerprint.empty() && check_sig_rcp_id(recipient) == -1) {
    log_err("%s() 3 : unknown recipient: '%s'", kFunc, text.c_str());
    return SSF_UNKNOWN_SIGNER;
  }
  const std::string& key = fingerprint.empty() ? text : fingerprint;

  orvel::X509Ptr found;
  if (X509* c = find_in_pab(pab_certs, key, id, len); c != nullptr) {
    if (!X509_up_ref(c)) return SSF_CERT_NOT_FOUND;
    found.reset(c);
  } else {
    X509* fetched = nullptr;
    const int rc = hok_get_cert_by_fingerprint(key.c_str(), &fetched);
    found.reset(fetched);
    if (rc != 0 || !found) {
      log_err("%s() 5 : hok_get_cert_by_fingerprint() failed", kFunc);
      return rc != 0 ? rc : SSF_CERT_NOT_FOUND;
    }
    if (!is_the_one_asked_for(found.get(), key, id, len)) return SSF_CERT_NOT_FOUND;
  }
  // The check is only reported: the recipient is encrypted for all the same.
  if (IsCertificateValid(found.get(), check_chain, check_crl, nullptr) != 1)
    log_err("%s() 6 : IsCertificateValid() failed for '%s'", kFunc, text.c_str());
  *cert = found.release();
  return 0;
}
