#include "keys.h"

#include <openssl/x509v3.h>

#include <cstring>

#include "cert_check.h"
#include "log.h"
#include "ossl_ptr.h"
#include "password.h"
#include "profile.h"
#include "sap_string.h"
#include "settings.h"
#include "time_util.h"
#include "x509_name.h"

namespace {

constexpr char kFunc[] = "ssf_load_cert_and_key";

struct PkeyUsageFree {
  void operator()(PKEY_USAGE_PERIOD* p) const noexcept { PKEY_USAGE_PERIOD_free(p); }
};

// The private key usage period of a signer's certificate must cover the
// present: 0, or 22 with its line.
int check_private_key_usage_period(X509* cert) {
  int crit = -1;
  std::unique_ptr<PKEY_USAGE_PERIOD, PkeyUsageFree> period(static_cast<PKEY_USAGE_PERIOD*>(
      X509_get_ext_d2i(cert, NID_private_key_usage_period, &crit, nullptr)));
  if (!period) {
    if (crit == -1) return 0;  // no such extension
    log_err("%s() : X509_get_ext_d2i( NID_private_key_usage_period ) failed", kFunc);
    print_brekssl_errors();
    return SSF_UNKNOWN_SIGNER;
  }
  const time_t now = ssf_now();
  // A bound that does not parse converts to 0: an end of 0 has passed, and
  // a start of 0 must not count as begun, so an unparsable start fails too.
  if (period->notBefore != nullptr && (now < ASN1_GENERALIZEDTIME_to_time_t(period->notBefore) ||
                                       ASN1_GENERALIZEDTIME_check(period->notBefore) != 1)) {
    log_err("%s() : PrivateKeyUsagePeriod is not begin yet", kFunc);
    return SSF_UNKNOWN_SIGNER;
  }
  if (period->notAfter != nullptr && now > ASN1_GENERALIZEDTIME_to_time_t(period->notAfter)) {
    log_err("%s() : PrivateKeyUsagePeriod is expired", kFunc);
    return SSF_UNKNOWN_SIGNER;
  }
  return 0;
}

// The password the store is opened with: the record's, else the default;
// decrypted when profile passwords are encrypted. False (uResult set) when
// it cannot be had.
bool choose_password(SigRcpSsfInfo* record, orvel::SecretTextPtr* out) {
  if (record->strSigRcpPassword != nullptr && record->strSigRcpPasswordL != 0) {
    out->reset(
        get_sz_string_from_sap_string(record->strSigRcpPassword, record->strSigRcpPasswordL));
    if (!*out) {
      record->uResult = SSF_INVALID_PASSWORD;
      log_err("%s() 5 : get_sz_string_from_sap_string( length = %d ) failed", kFunc,
              record->strSigRcpPasswordL);
      return false;
    }
  } else {
    log_write("%s() : password not provided, default password will be used", kFunc);
    if (default_password != nullptr) {
      out->reset(get_sz_string_from_sap_string(default_password,
                                               static_cast<int32_t>(strlen(default_password))));
      if (!*out) {
        record->uResult = SSF_INVALID_PASSWORD;
        log_err("%s() 5 : get_sz_string_from_sap_string( length = %d ) failed", kFunc,
                static_cast<int>(strlen(default_password)));
        return false;
      }
    }
  }
  if (use_profile_password_encryption && *out) {
    orvel::SecretTextPtr plain(DecryptPassword(out->get()));
    if (!plain) {
      record->uResult = SSF_INVALID_PASSWORD;
      log_err("%s() 6 : failed to decrypt password", kFunc);
      return false;
    }
    log_write("%s() : password decrypted successfully", kFunc);
    *out = std::move(plain);
  }
  return true;
}

int load(SigRcpSsfInfo* record, X509** cert_out, EVP_PKEY** key_out, int is_signer, char** pin_slot,
         STACK_OF(X509) * *chain) {
  const int failed = load_failure_code(is_signer);
  if (record->strSigRcpProfile == nullptr || record->strSigRcpProfileL == 0) {
    record->uResult = SSF_PROFILE_NOT_FOUND;
    log_err("%s() 1 : Error: signer->strSigRcpProfile = %#X, signer->strSigRcpProfileL = %d", kFunc,
            static_cast<unsigned>(reinterpret_cast<uintptr_t>(record->strSigRcpProfile)),
            record->strSigRcpProfileL);
    return failed;
  }
  orvel::CharsPtr profile(
      get_sz_string_from_sap_string(record->strSigRcpProfile, record->strSigRcpProfileL));
  if (!profile) {
    record->uResult = SSF_PROFILE_NOT_FOUND;
    log_err("%s() 2 : get_sz_string_from_sap_string( '%s', %d ) failed", kFunc,
            record->strSigRcpProfile, record->strSigRcpProfileL);
    return failed;
  }
  const char* store = profile.get();
  if (use_profile_timestamp) {
    if (strlen(store) <= size_t(kProfileTimeLen)) {
      record->uResult = SSF_PROFILE_NOT_FOUND;
      log_err("%s() 3 : profile '%s' is too short (use_profile_timestamp is 'on')", kFunc, store);
      return SSF_API_SIGNER_FAILED;
    }
    if (!profile_time_is_valid(store)) {
      record->uResult = SSF_PROFILE_NOT_USABLE;
      log_err("%s() 4 : profile '%s' contains invalid timestamp (use_profile_timestamp is 'on')",
              kFunc, store);
      return SSF_API_SIGNER_FAILED;
    }
    store += kProfileTimeLen;
  }
  orvel::SecretTextPtr password;
  if (!choose_password(record, &password)) return failed;
  orvel::CharsPtr id(get_sz_string_from_sap_string(record->strSigRcpId, record->strSigRcpIdL));
  if (!id) {
    record->uResult = SSF_UNKNOWN_SIGNER;
    log_err("%s() 7 : get_sz_string_from_sap_string( '%s', %d ) failed", kFunc,
            record->strSigRcpId ? record->strSigRcpId : "", record->strSigRcpIdL);
    return failed;
  }
  dbg("%s() : profile_name = '%s'", kFunc, store);

  X509* c = nullptr;
  EVP_PKEY* k = nullptr;
  int rc;
  if (strncmp(store, kTokenPrefix, strlen(kTokenPrefix)) == 0)
    rc = ssf_load_cert_and_key_token(store + strlen(kTokenPrefix), password.get(), id.get(), record,
                                     is_signer, &c, &k, pin_slot);
  else if (strncmp(store, kCertFilePrefix, strlen(kCertFilePrefix)) == 0)
    rc = ssf_load_cert_and_key_file(store + strlen(kCertFilePrefix), password.get(), id.get(),
                                    record, is_signer, &c, &k);
  else
    rc = ssf_load_cert_and_key_p12(store, password.get(), id.get(), record, is_signer, &c, &k);
  orvel::X509Ptr cert(c);
  orvel::EvpPkeyPtr key(k);
  if (rc != 0) {
    log_err("%s() 9 : ssf_load_cert_and_key_p12( '%s' ) failed", kFunc, store);
    return rc;
  }
  if (!cert || !key) {
    record->uResult = SSF_UNKNOWN_SIGNER;
    log_err("%s() 10 : ssf_load_cert_and_key_p12() succeeded, but cert = 0x%p, key = 0x%p", kFunc,
            static_cast<void*>(c), static_cast<void*>(k));
    return failed;
  }
  if (is_signer) {
    const int period = check_private_key_usage_period(cert.get());
    if (period != 0) {
      record->uResult = period;
      return SSF_API_SIGNER_FAILED;
    }
    if (IsCertificateValid(cert.get(), check_chain, check_crl, chain) != 1) {
      char name[kNameBufSize];
      print_X509_NAME(name, sizeof name, X509_get_subject_name(cert.get()));
      record->uResult = SSF_CERT_NOT_FOUND;
      log_err("%s() 11 : IsCertificateValid() failed for '%s'", kFunc, name);
      return SSF_API_SIGNER_FAILED;
    }
  }
  *cert_out = cert.release();
  *key_out = key.release();
  return 0;
}

}  // namespace

int ssf_load_cert_and_key(SigRcpSsfInfo* record, X509** cert, EVP_PKEY** key, int is_signer,
                          char** pin_slot, STACK_OF(X509) * *chain) {
  if (cert != nullptr) *cert = nullptr;
  if (key != nullptr) *key = nullptr;
  if (record == nullptr || cert == nullptr || key == nullptr) return load_failure_code(is_signer);
  try {
    int rc = load(record, cert, key, is_signer, pin_slot, chain);
    if (rc != 0 && chain != nullptr && *chain != nullptr) {
      sk_X509_pop_free(*chain, X509_free);
      *chain = nullptr;
    }
    return rc;
  } catch (...) {
    record->uResult = SSF_PROFILE_NOT_USABLE;
    log_err("%s() : out of memory", kFunc);
    return load_failure_code(is_signer);
  }
}
