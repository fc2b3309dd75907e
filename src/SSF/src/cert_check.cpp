#include "cert_check.h"

#include <openssl/err.h>
#include <openssl/x509_vfy.h>

#include <cerrno>
#include <cstring>

#include "crl_check.h"
#include "log.h"
#include "ossl_ptr.h"
#include "settings.h"

namespace {

// Validity period only: 1, 0 or -1 with plain lines.
int check_time_validity(const char* func, X509* x509) {
  int c = X509_cmp_current_time(X509_get0_notBefore(x509));
  if (c == 0) {
    log_write("%s() 1 : there is error in 'notBefore' field", func);
    return -1;
  }
  if (c > 0) {
    log_write("%s() 2 : certificate is not valid yet", func);
    return 0;
  }
  c = X509_cmp_current_time(X509_get0_notAfter(x509));
  if (c == 0) {
    log_write("%s() 3 : there is error in 'notAfter' field", func);
    return -1;
  }
  if (c < 0) {
    log_write("%s() 4 : certificate expired", func);
    return 0;
  }
  return 1;
}

// The CA file path: a "file://" URL keeps its absolute path.
const char* ca_file_path(const char* value) {
  static const char kScheme[] = "file://";
  if (strncmp(value, "file:///", 8) == 0) return value + sizeof kScheme - 1;
  return value;
}

}  // namespace

bool load_ca_file(X509_LOOKUP* lookup, const char* ca_file) {
  static const char kFunc[] = "add_file";
  const char* file = ca_file_path(ca_file);
  if (X509_LOOKUP_load_file(lookup, file, X509_FILETYPE_PEM) > 0) return true;
  log_err("%s() 1 : X509_LOOKUP_load_file( '%s', PEM ) failed: %s", kFunc, file,
          toolkit_error_text());
  log_write("%s() : file format is not PEM: trying ASN1", kFunc);
  ERR_clear_error();
  if (X509_LOOKUP_load_file(lookup, file, X509_FILETYPE_ASN1) > 0) return true;
  log_err("%s() 2 : X509_LOOKUP_load_file( '%s', ASN1 ) failed: %s", kFunc, file,
          toolkit_error_text());
  return false;
}

namespace {

// A store with the trusted CA certificates of CA_FILE (none when unset).
orvel::X509StorePtr setup_store() {
  static const char kFunc[] = "setup_store";
  orvel::X509StorePtr store(X509_STORE_new());
  if (!store) {
    log_err("X509_STORE_new() failed: %s", toolkit_error_text());
    return nullptr;
  }
  X509_LOOKUP* lookup = X509_STORE_add_lookup(store.get(), X509_LOOKUP_file());
  if (lookup == nullptr) {
    log_err("X509_STORE_add_lookup(file) failed: %s", toolkit_error_text());
    return nullptr;
  }
  if (CA_FILE == nullptr || *CA_FILE == '\0') {
    log_write("%s() : 'ca_file' parameter not specified", kFunc);
    return store;
  }
  if (!load_ca_file(lookup, CA_FILE)) return nullptr;
  return store;
}

int run_checks(const char* func, X509_STORE* store, X509* x509, int crl_flag, int chain_flag,
               const list_head* protos, STACK_OF(X509) * *chain_out) {
  orvel::X509StoreCtxPtr ctx(X509_STORE_CTX_new());
  if (!ctx || !X509_STORE_CTX_init(ctx.get(), store, x509, nullptr)) {
    log_err("%s() 6 : X509_STORE_CTX_new() failed: %s", func, toolkit_error_text());
    return -1;
  }
  bool chain_failed = false;
  int rc = 1;
  if (chain_flag) {
    int ok = X509_verify_cert(ctx.get());
    if (chain_out != nullptr) *chain_out = X509_STORE_CTX_get1_chain(ctx.get());
    if (ok <= 0) {
      log_err("%s() 7 : certificate is invalid: %s", func,
              X509_verify_cert_error_string(X509_STORE_CTX_get_error(ctx.get())));
      chain_failed = true;
      rc = 0;
    }
  }
  if (crl_flag) {
    int r = check_for_revocation(x509, ctx.get(), protos, nullptr, nullptr);
    if (r < 0) {
      log_err("%s() 8 : check_for_revocation() failed: %s", func, toolkit_error_text());
    } else if (r == 0) {
      log_err("%s() 9 : certificate has been revoked", func);
    } else {
      log_write("%s() 10 :certificate has not been revoked", func);
    }
    // A certificate whose chain failed stays bad whatever its CRL says.
    rc = chain_failed ? 0 : r;
  }
  return rc;
}

}  // namespace

int IsCertificateValid(X509* x509, int chain_flag, int crl_flag, STACK_OF(X509) * *chain_out) {
  return verify_certificate(x509, crl_flag, chain_flag, proto_list, chain_out);
}

int verify_certificate(X509* x509, int crl_flag, int chain_flag, const list_head* protos,
                       STACK_OF(X509) * *chain_out) {
  static const char kFunc[] = "verify_certificate";
  if (x509 == nullptr) return -1;
  if (!chain_flag && !crl_flag) {
    dbg("Neither CA nor CRL check requested. Certificate time-validity will be only checked");
    return check_time_validity(kFunc, x509);
  }
  orvel::X509StorePtr store = setup_store();
  if (!store) {
    log_err("%s() 5 : setup_store() failed: %s", kFunc, toolkit_error_text());
    return -1;
  }
  return run_checks(kFunc, store.get(), x509, crl_flag, chain_flag, protos, chain_out);
}

int verify_certificate_store(X509_STORE* store, X509* x509, int crl_flag, int chain_flag,
                             const list_head* protos) {
  static const char kFunc[] = "verify_certificate_store";
  if (x509 == nullptr) return -1;
  if (!chain_flag && !crl_flag) {
    dbg("Neither CA nor CRL check requested. Certificate time-validity will be only checked");
    return check_time_validity(kFunc, x509);
  }
  return run_checks(kFunc, store, x509, crl_flag, chain_flag, protos, nullptr);
}

int verify_signature(X509* x509, const unsigned char* data, int length, const unsigned char* sig,
                     int sig_length) {
  orvel::EvpPkeyPtr key(x509 ? X509_get_pubkey(x509) : nullptr);
  if (!key) {
    log_err("X509_get_pubkey() failed: %s", toolkit_error_text());
    return -1;
  }
  orvel::EvpMdCtxPtr md(EVP_MD_CTX_new());
  if (!md || EVP_VerifyInit(md.get(), EVP_sha1()) != 1 ||
      EVP_VerifyUpdate(md.get(), data, length > 0 ? static_cast<size_t>(length) : 0) != 1 ||
      EVP_VerifyFinal(md.get(), sig, sig_length > 0 ? static_cast<unsigned>(sig_length) : 0,
                      key.get()) != 1) {
    log_err("EVP_VerifyFinal() failed: %s", toolkit_error_text());
    return -1;
  }
  return 0;
}

int GetLastError() { return errno; }
