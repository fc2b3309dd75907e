// PKCS#12 key stores.
#include <openssl/err.h>

#include "keys.h"
#include "pkcs12/pkcs12_parse.h"
#include "log.h"
#include "ossl_ptr.h"
#include "signer_id.h"

// The system's own MAC check (classic, then the TC26 scheme of GOST files)
// and bag extraction: the toolkit's PKCS12_parse knows only one scheme per
// digest and re-checks the MAC.
int ssf_pkcs12_parse(PKCS12* p12, const char* password, EVP_PKEY** key, X509** cert,
                     STACK_OF(X509) * *ca) {
  return SSF_PKCS12_parse(p12, password, key, cert, ca);
}

int ssf_load_cert_and_key_p12(const char* path, const char* password, const char* id,
                              SigRcpSsfInfo* record, int is_signer, X509** cert, EVP_PKEY** key) {
  static const char kFunc[] = "ssf_load_cert_and_key_p12";
  const int failed = load_failure_code(is_signer);
  *cert = nullptr;
  *key = nullptr;
  orvel::BioPtr bio(BIO_new_file(path, "rb"));
  if (!bio) {
    record->uResult = SSF_PROFILE_NOT_FOUND;
    log_err("%s() 1 : BIO_new_file( '%s', 'rb' ) failed", kFunc, path);
    ERR_clear_error();
    return failed;
  }
  orvel::Pkcs12Ptr p12(d2i_PKCS12_bio(bio.get(), nullptr));
  if (!p12) {
    record->uResult = SSF_PROFILE_NOT_USABLE;
    log_err("%s() 2 : d2i_PKCS12_bio( file_name = '%s' ) failed", kFunc, path);
    print_brekssl_errors();
    return failed;
  }
  EVP_PKEY* k = nullptr;
  X509* c = nullptr;
  STACK_OF(X509)* ca = nullptr;
  const int ok = ssf_pkcs12_parse(p12.get(), password, &k, &c, &ca);
  orvel::EvpPkeyPtr key_owner(k);
  orvel::X509Ptr cert_owner(c);
  orvel::X509StackPtr ca_owner(ca);
  if (ok != 1) {
    record->uResult = SSF_INVALID_PASSWORD;
    log_err("%s() 3 : PKCS12_parse() failed", kFunc);
    print_brekssl_errors();
    return failed;
  }
  if (!key_owner || !cert_owner) {
    record->uResult = SSF_INVALID_PASSWORD;
    log_err("%s() 4 : key = 0x%p, cert = 0x%p", kFunc, static_cast<void*>(k),
            static_cast<void*>(c));
    return failed;
  }
  const int rc = check_cert_and_key(cert_owner.get(), key_owner.get(), id);
  if (rc != 0) {
    record->uResult = rc;
    log_err("%s() 4 : check_cert_and_key() failed", kFunc);
    return failed;
  }
  *cert = cert_owner.release();
  *key = key_owner.release();
  return 0;
}
