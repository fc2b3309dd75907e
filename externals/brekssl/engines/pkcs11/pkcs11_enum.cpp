// Listings of the engine: tokens, public keys and certificates of every
// token of the module.
#include <openssl/crypto.h>
#include <openssl/err.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "engines/pkcs11/pk11_errors.h"
#include "engines/pkcs11/pkcs11_engine.h"
#include "ossl_ptr.h"

namespace {

// The profile text of LOAD_CERTS mode 1 sits in the certificate's
// extra-data slot 0, which has no free callback of its own. The same
// pointer is kept at an index of this engine that frees it with the
// certificate.
void free_profile(void* /*parent*/, void* ptr, CRYPTO_EX_DATA* /*ad*/, int /*idx*/, long /*argl*/,
                  void* /*argp*/) {
  OPENSSL_free(ptr);
}

int profile_owner_index() {
  static int index = -1;
  if (index < 0) index = X509_get_ex_new_index(0, nullptr, nullptr, nullptr, free_profile);
  return index;
}

// Tags a certificate with "token=<module>"; false when it cannot be done.
bool tag_profile(X509* cert, const std::string& profile) {
  const int owner = profile_owner_index();
  char* text = OPENSSL_strdup(profile.c_str());
  if (owner < 0 || text == nullptr || !X509_set_ex_data(cert, owner, text)) {
    OPENSSL_free(text);
    return false;
  }
  return X509_set_ex_data(cert, 0, text) == 1;
}

// Releases the module reference of a listing.
struct LibRef {
  Pkcs11ModuleEntry* lib;
  ~LibRef() { pkcs11_free_library(lib); }
};

struct Session {
  CK_FUNCTION_LIST* p11;
  CK_SESSION_HANDLE h = 0;
  bool open = false;
  ~Session() {
    if (open) p11->C_CloseSession(h);
  }
};

bool push_string(STACK_OF(OPENSSL_STRING) * s, char* text) {
  if (text == nullptr) return false;
  if (!sk_OPENSSL_STRING_push(s, text)) {
    OPENSSL_free(text);
    return false;
  }
  return true;
}

char* slot_text(CK_SLOT_ID slot) {
  char buf[32];
  snprintf(buf, sizeof(buf), "%lu", slot);
  return OPENSSL_strdup(buf);
}

// Objects of one search, at most max.
bool find(CK_FUNCTION_LIST* p11, CK_SESSION_HANDLE h, CK_ATTRIBUTE* t, CK_ULONG n, CK_ULONG max,
          std::vector<CK_OBJECT_HANDLE>* out) {
  out->assign(max, 0);
  if (p11->C_FindObjectsInit(h, t, n) != CKR_OK) return false;
  CK_ULONG count = 0;
  const CK_RV rv = p11->C_FindObjects(h, out->data(), max, &count);
  p11->C_FindObjectsFinal(h);
  if (rv != CKR_OK) return false;
  out->resize(count < max ? count : max);
  return true;
}

// An attribute's bytes (at most cap), empty when it cannot be read.
std::vector<unsigned char> attribute(CK_FUNCTION_LIST* p11, CK_SESSION_HANDLE h,
                                     CK_OBJECT_HANDLE obj, CK_ATTRIBUTE_TYPE type, CK_ULONG cap) {
  std::vector<unsigned char> buf(cap);
  CK_ATTRIBUTE a{type, buf.data(), cap};
  if (p11->C_GetAttributeValue(h, obj, &a, 1) != CKR_OK || a.ulValueLen > cap) return {};
  buf.resize(a.ulValueLen);
  return buf;
}

X509* pkcs11_get_cert(CK_FUNCTION_LIST* p11, CK_SESSION_HANDLE h, CK_OBJECT_HANDLE obj) {
  static const char kFunc[] = "pkcs11_get_cert";
  CK_ATTRIBUTE a{CKA_VALUE, nullptr, 0};
  CK_RV rv = p11->C_GetAttributeValue(h, obj, &a, 1);
  if (rv != CKR_OK) {
    pkcs11_log_err("%s() : C_GetAttributeValue( CKA_VALUE ) 1 failed: %d (%s)", kFunc,
                   static_cast<int>(rv), pk11errorString(rv));
    return nullptr;
  }
  if (a.ulValueLen == 0 || a.ulValueLen > 1024 * 1024) {
    pkcs11_log_err("%s() : malloc( %d ) failed", kFunc, static_cast<int>(a.ulValueLen));
    return nullptr;
  }
  std::vector<unsigned char> buf(a.ulValueLen);
  const CK_ULONG cap = a.ulValueLen;
  a.pValue = buf.data();
  rv = p11->C_GetAttributeValue(h, obj, &a, 1);
  if (rv != CKR_OK || a.ulValueLen > cap) {
    pkcs11_log_err("%s() : C_GetAttributeValue( CKA_VALUE ) 2 failed: %d (%s)", kFunc,
                   static_cast<int>(rv), pk11errorString(rv));
    return nullptr;
  }
  const unsigned char* p = buf.data();
  X509* c = d2i_X509(nullptr, &p, static_cast<long>(a.ulValueLen));
  if (c == nullptr) {
    pkcs11_log_err("%s() : d2i_X509() failed", kFunc);
    ERR_clear_error();
  }
  return c;
}

// True when a public key object carries the certificate's CKA_ID.
bool cert_is_private(CK_FUNCTION_LIST* p11, CK_SESSION_HANDLE h, CK_OBJECT_HANDLE obj) {
  static const char kFunc[] = "cert_is_private";
  CK_ATTRIBUTE a{CKA_ID, nullptr, 0};
  CK_RV rv = p11->C_GetAttributeValue(h, obj, &a, 1);
  if (rv != CKR_OK) {
    pkcs11_log_err("%s() : C_GetAttributeValue( CKA_ID ) 1 failed: %d (%s)", kFunc,
                   static_cast<int>(rv), pk11errorString(rv));
    return false;
  }
  if (a.ulValueLen == 0 || a.ulValueLen > 1024) {
    pkcs11_log_err("%s() : malloc( %d ) failed", kFunc, static_cast<int>(a.ulValueLen));
    return false;
  }
  std::vector<unsigned char> id(a.ulValueLen);
  const CK_ULONG cap = a.ulValueLen;
  a.pValue = id.data();
  rv = p11->C_GetAttributeValue(h, obj, &a, 1);
  if (rv != CKR_OK || a.ulValueLen > cap) {
    pkcs11_log_err("%s() : C_GetAttributeValue( CKA_ID ) 2 failed: %d (%s)", kFunc,
                   static_cast<int>(rv), pk11errorString(rv));
    return false;
  }
  CK_OBJECT_CLASS cls = CKO_PUBLIC_KEY;
  CK_ATTRIBUTE t[] = {{CKA_CLASS, &cls, sizeof(cls)}, {CKA_ID, id.data(), a.ulValueLen}};
  rv = p11->C_FindObjectsInit(h, t, 2);
  if (rv != CKR_OK) {
    pkcs11_log_err("%s() : C_FindObjectsInit( CKA_ID ) failed: %d (%s)", kFunc,
                   static_cast<int>(rv), pk11errorString(rv));
    return false;
  }
  CK_OBJECT_HANDLE found[10];
  CK_ULONG count = 0;
  rv = p11->C_FindObjects(h, found, 10, &count);
  if (rv != CKR_OK) {
    pkcs11_log_err("%s() : C_FindObjects( CKA_ID ) failed: %d (%s)", kFunc, static_cast<int>(rv),
                   pk11errorString(rv));
    p11->C_FindObjectsFinal(h);
    return false;
  }
  rv = p11->C_FindObjectsFinal(h);
  if (rv != CKR_OK) {
    pkcs11_log_err("%s() : C_FindObjectsFinal( CKA_ID ) failed: %d (%s)", kFunc,
                   static_cast<int>(rv), pk11errorString(rv));
    return false;
  }
  return count > 0;
}

// The module reference and slot list of a listing; false with the
// message when either cannot be had.
bool listing_frame(const char* func, Pkcs11ModuleEntry** lib, std::vector<CK_SLOT_ID>* slots) {
  *lib = pkcs11_load_library();
  if (*lib == nullptr) {
    pkcs11_log_err("%s() : failed to load PKCS#11 library", func);
    return false;
  }
  const CK_RV rv = pkcs11_token_slots((*lib)->p11, slots);
  if (rv != CKR_OK) {
    pkcs11_log_err("%s() : C_GetSlotList() failed: %d (%s)", func, static_cast<int>(rv),
                   pk11errorString(rv));
    pkcs11_free_library(*lib);
    *lib = nullptr;
    return false;
  }
  return true;
}

}  // namespace

int pkcs11_enum_tokens(STACK_OF(OPENSSL_STRING) * *ids) {
  static const char kFunc[] = "pkcs11_enum_tokens";
  if (ids == nullptr) {
    pkcs11_log_err("%s() : ids is NULL", kFunc);
    return 0;
  }
  Pkcs11ModuleEntry* lib = nullptr;
  std::vector<CK_SLOT_ID> slots;
  if (!listing_frame(kFunc, &lib, &slots)) return 0;
  LibRef ref{lib};
  *ids = sk_OPENSSL_STRING_new_null();
  if (*ids == nullptr) return 0;
  for (CK_SLOT_ID slot : slots) {
    CK_TOKEN_INFO info;
    if (lib->p11->C_GetTokenInfo(slot, &info) != CKR_OK) continue;
    push_string(*ids, slot_text(slot));
    push_string(*ids, strdup_unpadded(std::string(reinterpret_cast<char*>(info.serialNumber),
                                                  sizeof(info.serialNumber))
                                          .c_str(),
                                      -1));
    push_string(*ids, strdup_unpadded(
                          std::string(reinterpret_cast<char*>(info.label), sizeof(info.label))
                              .c_str(),
                          -1));
  }
  return 1;
}

int pkcs11_enum_keys(STACK_OF(OPENSSL_STRING) * *ids) {
  static const char kFunc[] = "pkcs11_enum_keys";
  if (ids == nullptr) {
    pkcs11_log_err("%s() : ids is NULL", kFunc);
    return 0;
  }
  Pkcs11ModuleEntry* lib = nullptr;
  std::vector<CK_SLOT_ID> slots;
  if (!listing_frame(kFunc, &lib, &slots)) return 0;
  LibRef ref{lib};
  *ids = sk_OPENSSL_STRING_new_null();
  if (*ids == nullptr) return 0;
  for (CK_SLOT_ID slot : slots) {
    Session s{lib->p11};
    if (lib->p11->C_OpenSession(slot, CKF_SERIAL_SESSION, nullptr, nullptr, &s.h) != CKR_OK)
      continue;
    s.open = true;
    CK_OBJECT_CLASS cls = CKO_PUBLIC_KEY;
    CK_ATTRIBUTE t[] = {{CKA_CLASS, &cls, sizeof(cls)}};
    std::vector<CK_OBJECT_HANDLE> keys;
    if (!find(lib->p11, s.h, t, 1, kPkcs11MaxObjects, &keys)) continue;
    for (CK_OBJECT_HANDLE k : keys) {
      const auto id = attribute(lib->p11, s.h, k, CKA_ID, 1024);
      const auto label = attribute(lib->p11, s.h, k, CKA_LABEL, 1024);
      std::string hex;
      for (unsigned char b : id) {
        char two[3];
        snprintf(two, sizeof(two), "%02x", b);
        hex += two;
      }
      push_string(*ids, slot_text(slot));
      push_string(*ids, OPENSSL_strdup(hex.c_str()));
      push_string(*ids, OPENSSL_strndup(reinterpret_cast<const char*>(label.data()), label.size()));
    }
  }
  return 1;
}

int pkcs11_load_certs(int mode, STACK_OF(X509) * *certs) {
  static const char kFunc[] = "pkcs11_load_certs";
  if (certs == nullptr) {
    pkcs11_log_err("%s() : certs is NULL", kFunc);
    return 0;
  }
  Pkcs11ModuleEntry* lib = nullptr;
  std::vector<CK_SLOT_ID> slots;
  if (!listing_frame(kFunc, &lib, &slots)) return 0;
  LibRef ref{lib};
  *certs = sk_X509_new_null();
  if (*certs == nullptr) return 0;
  const std::string profile = std::string("token=") + lib->path;
  for (CK_SLOT_ID slot : slots) {
    Session s{lib->p11};
    if (lib->p11->C_OpenSession(slot, CKF_SERIAL_SESSION, nullptr, nullptr, &s.h) != CKR_OK)
      continue;
    s.open = true;
    CK_OBJECT_CLASS cls = CKO_CERTIFICATE;
    CK_ULONG ctype = CKC_X_509;
    CK_ATTRIBUTE t[] = {{CKA_CLASS, &cls, sizeof(cls)},
                        {CKA_CERTIFICATE_TYPE, &ctype, sizeof(ctype)}};
    std::vector<CK_OBJECT_HANDLE> objs;
    if (!find(lib->p11, s.h, t, 2, kPkcs11MaxObjects, &objs)) continue;
    for (CK_OBJECT_HANDLE obj : objs) {
      if (mode != 0 && mode != 1) continue;
      orvel::X509Ptr cert(pkcs11_get_cert(lib->p11, s.h, obj));
      if (!cert) continue;
      if (mode == 1) {
        if (!cert_is_private(lib->p11, s.h, obj) || !tag_profile(cert.get(), profile)) continue;
      }
      if (sk_X509_push(*certs, cert.get())) cert.release();
    }
  }
  return 1;
}
