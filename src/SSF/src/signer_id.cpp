#include "signer_id.h"

#include <openssl/err.h>
#include <openssl/objects.h>
#include <openssl/pkcs7.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "log.h"
#include "ossl_ptr.h"
#include "sap_string.h"
#include "x509_name.h"

namespace {

constexpr int kSha1Len = 20;
// 20 numbers of two digits with 19 blanks between them.
constexpr size_t kSha1IdLen = kSha1Len * 3 - 1;

bool sha1_of_cert(X509* cert, unsigned char out[kSha1Len]) {
  unsigned int n = 0;
  return cert != nullptr && X509_digest(cert, EVP_sha1(), out, &n) == 1 && n == kSha1Len;
}

// The digest as hex, with single blanks between the numbers or without.
std::string hex_id(const unsigned char* md, bool blanks) {
  std::string s;
  char buf[4];
  for (int i = 0; i < kSha1Len; ++i) {
    snprintf(buf, sizeof buf, "%02x", md[i]);
    if (blanks && i > 0) s.push_back(' ');
    s.append(buf);
  }
  return s;
}

}  // namespace

char* calc_sha1id(X509* cert) {
  unsigned char md[kSha1Len];
  if (!sha1_of_cert(cert, md)) {
    log_err("%s() 1 : X509_digest() failed", "calc_sha1id");
    print_brekssl_errors();
    return nullptr;
  }
  std::string id = hex_id(md, true);
  auto* out = static_cast<char*>(OPENSSL_malloc(kSha1IdLen + 1));
  if (out == nullptr) {
    log_err("%s() 2 : OPENSSL_malloc( %d ) failed", "calc_sha1id",
            static_cast<int>(kSha1IdLen + 1));
    return nullptr;
  }
  memcpy(out, id.c_str(), kSha1IdLen + 1);
  return out;
}

int compare_sha1id_and_rcpid(X509* cert, const char* id) {
  static const char kFunc[] = "compare_sha1id_and_rcpid";
  unsigned char md[kSha1Len];
  if (id == nullptr || !sha1_of_cert(cert, md)) return 1;
  const std::string sha1 = hex_id(md, true);
  const std::string sha1_2 = hex_id(md, false);
  log_write("%s() : sha1 = '%s'", kFunc, sha1.c_str());
  dbg("%s() : sha1 = '%s', rcp_id = '%s'", kFunc, sha1.c_str(), id);
  dbg("%s() : sha1_2 = '%s', rcp_id = '%s'", kFunc, sha1_2.c_str(), id);
  return (sha1 == id || sha1_2 == id) ? 0 : 1;
}

int is_str_hex(const char* text, int len) {
  if (len < 1) return 1;
  if (text == nullptr) return 0;
  for (int i = 0; i < len; ++i) {
    const char c = text[i];
    const bool ok =
        (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f') || c == ' ';
    if (!ok) {
      const std::string copy(text, static_cast<size_t>(len));
      log_write("%s() 0: bad symbol '%c' found in '%s'", "is_str_hex", c, copy.c_str());
      return 0;
    }
  }
  return 1;
}

int check_sig_rcp_id(const SigRcpSsfInfo* record) {
  static const char kFunc[] = "check_sig_rcp_id";
  if (record == nullptr) return -1;
  const char* id = record->strSigRcpId;
  const int len = record->strSigRcpIdL;
  if (is_str_hex(id, len)) {
    log_write("%s() : SHA1 ID is good", kFunc);
    return 1;
  }
  for (int i = 0; i < len; ++i) {
    if (static_cast<unsigned char>(id[i]) < 0x20) {
      log_err("%s() 1: bad symbol '%c' found in '%s'", kFunc, id[i], id);
      return -1;
    }
  }
  orvel::CharsPtr text(get_sz_string_from_sap_string(id, len));
  if (!text) {
    log_err("%s() 2 : get_sz_string_from_sap_string() failed", kFunc);
    return -1;
  }
  // Components "name=value" separated by ", "; the last value runs to the end.
  const char* p = text.get();
  for (;;) {
    const char* eq = strchr(p, '=');
    const char* next = strstr(p, ", ");
    if (eq == nullptr || (next != nullptr && next < eq)) {
      log_err("%s() 3 : '=' not found in '%s'", kFunc, p);
      break;
    }
    const std::string name(p, static_cast<size_t>(eq - p));
    if (OBJ_sn2nid(name.c_str()) == NID_undef) {
      log_err("%s() 4 : OBJ_sn2nid( '%s' ) returned NID_undef", kFunc, name.c_str());
      break;
    }
    const char* sep = strstr(eq + 1, ", ");
    if (sep == nullptr) return 1;
    p = sep + 2;
  }
  log_err("%s() 5 : non-interpreted remainder: '%s'", kFunc, p);
  return -1;
}

int check_cert_and_key(X509* cert, EVP_PKEY* key, const char* id) {
  static const char kFunc[] = "check_cert_and_key";
  orvel::CharsPtr cert_name(brek_x509_get_name_from_X509(cert));
  if (!cert_name) log_err("%s() 1 : cert_name is NULL", kFunc);
  if (compare_sha1id_and_rcpid(cert, id) == 0) {
    log_write("%s() : certificate found by SHA1 ID", kFunc);
  } else if (!cert_name || id == nullptr || strcmp(cert_name.get(), id) != 0) {
    log_err("%s() 2 : cert_name( '%s' ) and cert_id ( '%s' ) don't match", kFunc,
            cert_name ? cert_name.get() : "", id ? id : "");
    return SSF_UNKNOWN_SIGNER;
  }
  if (key == nullptr || X509_check_private_key(cert, key) != 1) {
    ERR_raise(ERR_LIB_PKCS7, PKCS7_R_PRIVATE_KEY_DOES_NOT_MATCH_CERTIFICATE);
    log_err("%s() 3 : X509_check_private_key() failed", kFunc);
    print_brekssl_errors();
    return SSF_PROFILE_NOT_USABLE;
  }
  return 0;
}
