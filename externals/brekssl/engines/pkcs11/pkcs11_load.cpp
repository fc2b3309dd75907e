// The engine's private-key loader: a token key found by its certificate (a
// PEM file or PEM text) or by its CKA_ID ("ID:" and hex digits).
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>

#include <cstring>
#include <string>

#include "engines/pkcs11/pk11_errors.h"
#include "engines/pkcs11/pkcs11_engine.h"
#include "ossl_ptr.h"

namespace {

constexpr char kIdPrefix[] = "ID:";
constexpr char kPemPrefix[] = "-----BEGIN CERTIFICATE-----";

// One search of up to max objects; CKR_OK or the failing value, *step the
// failing call (0 init, 1 find, 2 final).
CK_RV search(CK_FUNCTION_LIST* p11, CK_SESSION_HANDLE session, CK_ATTRIBUTE* templ,
             CK_ULONG count, CK_ULONG max, std::vector<CK_OBJECT_HANDLE>* found, int* step) {
  found->assign(max, 0);
  *step = 0;
  CK_RV rv = p11->C_FindObjectsInit(session, templ, count);
  if (rv != CKR_OK) return rv;
  CK_ULONG n = 0;
  *step = 1;
  rv = p11->C_FindObjects(session, found->data(), max, &n);
  if (rv != CKR_OK) {
    p11->C_FindObjectsFinal(session);
    return rv;
  }
  found->resize(n < max ? n : max);
  *step = 2;
  return p11->C_FindObjectsFinal(session);
}

X509* read_cert(CK_FUNCTION_LIST* p11, CK_SESSION_HANDLE session, CK_OBJECT_HANDLE obj) {
  CK_ATTRIBUTE a{CKA_VALUE, nullptr, 0};
  if (p11->C_GetAttributeValue(session, obj, &a, 1) != CKR_OK || a.ulValueLen == 0 ||
      a.ulValueLen > 1024 * 1024)
    return nullptr;
  std::vector<unsigned char> buf(a.ulValueLen);
  const CK_ULONG cap = a.ulValueLen;
  a.pValue = buf.data();
  if (p11->C_GetAttributeValue(session, obj, &a, 1) != CKR_OK || a.ulValueLen > cap)
    return nullptr;
  const unsigned char* p = buf.data();
  X509* c = d2i_X509(nullptr, &p, static_cast<long>(a.ulValueLen));
  if (c == nullptr) ERR_clear_error();
  return c;
}

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The bytes of an "ID:" text: an even number of hex digits, at most 20
// bytes; false for anything else.
bool parse_id(const char* hex, unsigned char* id, CK_ULONG* len) {
  const size_t n = strlen(hex);
  if (n == 0 || n % 2 != 0 || n / 2 > kPkcs11MaxId) return false;
  for (size_t i = 0; i < n; i += 2) {
    const int hi = hex_value(hex[i]);
    const int lo = hex_value(hex[i + 1]);
    if (hi < 0 || lo < 0) return false;
    id[i / 2] = static_cast<unsigned char>(hi * 16 + lo);
  }
  *len = static_cast<CK_ULONG>(n / 2);
  return true;
}

}  // namespace

// 0 with *key set, or 5.
int find_cert_on_token(ENGINE* e, X509* cert, const char* key_id, const char* pin,
                       Pkcs11ModuleEntry* lib, CK_SLOT_ID slot, EVP_PKEY** key) {
  static const char kFunc[] = "find_cert_on_token";
  if (pin == nullptr) {
    pkcs11_log_err("%s() 0 : password not specified", kFunc);
    return 5;
  }
  CK_FUNCTION_LIST* p11 = lib->p11;
  CK_SESSION_HANDLE session = 0;
  CK_RV rv = p11->C_OpenSession(slot, CKF_SERIAL_SESSION, nullptr, nullptr, &session);
  if (rv != CKR_OK) {
    pkcs11_log_err("%s() 1 : C_OpenSession() failed: %d (%s)", kFunc, static_cast<int>(rv),
                   pk11errorString(rv));
    return 5;
  }
  auto fail = [&]() {
    p11->C_CloseSession(session);
    return 5;
  };
  unsigned char id[kPkcs11MaxId];
  CK_ULONG id_len = 0;
  std::vector<CK_OBJECT_HANDLE> found;
  int step = 0;
  static const char* const kCalls[] = {"C_FindObjectsInit", "C_FindObjects", "C_FindObjectsFinal"};
  if (cert != nullptr) {
    CK_OBJECT_CLASS cls = CKO_CERTIFICATE;
    CK_ATTRIBUTE templ[] = {{CKA_CLASS, &cls, sizeof(cls)}};
    rv = search(p11, session, templ, 1, kPkcs11MaxObjects, &found, &step);
    if (rv != CKR_OK) {
      pkcs11_log_err("%s() %d : %s() failed: %d (%s)", kFunc, 2 + step, kCalls[step],
                     static_cast<int>(rv), pk11errorString(rv));
      return fail();
    }
    CK_OBJECT_HANDLE match = 0;
    bool matched = false;
    for (CK_OBJECT_HANDLE obj : found) {
      orvel::X509Ptr c(read_cert(p11, session, obj));
      if (c && X509_cmp(c.get(), cert) == 0) {
        match = obj;
        matched = true;
        break;
      }
    }
    if (!matched) {
      pkcs11_log_err("%s() 15 : no certificate found on token", kFunc);
      return fail();
    }
    // The id is refused, not copied, when it is longer than its buffer.
    CK_ATTRIBUTE a{CKA_ID, nullptr, 0};
    rv = p11->C_GetAttributeValue(session, match, &a, 1);
    if (rv == CKR_OK && a.ulValueLen > sizeof(id)) rv = CKR_BUFFER_TOO_SMALL;
    if (rv == CKR_OK) {
      a.pValue = id;
      a.ulValueLen = sizeof(id);
      rv = p11->C_GetAttributeValue(session, match, &a, 1);
    }
    if (rv != CKR_OK) {
      pkcs11_log_err("%s() 9 : C_GetAttributeValue() failed: %d (%s)", kFunc,
                     static_cast<int>(rv), pk11errorString(rv));
      return fail();
    }
    id_len = a.ulValueLen;
  } else if (!parse_id(key_id + strlen(kIdPrefix), id, &id_len)) {
    return fail();
  }

  CK_OBJECT_CLASS pub_class = CKO_PUBLIC_KEY;
  CK_ATTRIBUTE pub_templ[] = {{CKA_CLASS, &pub_class, sizeof(pub_class)}, {CKA_ID, id, id_len}};
  rv = search(p11, session, pub_templ, 2, kPkcs11MaxObjects, &found, &step);
  if (rv != CKR_OK) {
    pkcs11_log_err("%s() %d : %s() failed: %d (%s)", kFunc, 10 + step, kCalls[step],
                   static_cast<int>(rv), pk11errorString(rv));
    return fail();
  }
  if (found.empty()) {
    if (cert != nullptr) pkcs11_log_err("%s() 13 : pub key_count == 0", kFunc);
    return fail();
  }
  const CK_OBJECT_HANDLE pub = found[0];
  rv = p11->C_Login(session, CKU_USER, reinterpret_cast<CK_BYTE*>(const_cast<char*>(pin)),
                    static_cast<CK_ULONG>(strlen(pin)));
  if (rv != CKR_OK && rv != CKR_USER_ALREADY_LOGGED_IN) {
    if (cert != nullptr)
      pkcs11_log_err("%s() 14 : C_Login() failed: %d (%s)", kFunc, static_cast<int>(rv),
                     pk11errorString(rv));
    else
      pkcs11_log_err("%s() : C_Login() failed: %d (%s)", kFunc, static_cast<int>(rv),
                     pk11errorString(rv));
    return fail();
  }
  CK_OBJECT_CLASS priv_class = CKO_PRIVATE_KEY;
  CK_ATTRIBUTE priv_templ[] = {{CKA_CLASS, &priv_class, sizeof(priv_class)},
                               {CKA_ID, id, id_len}};
  rv = search(p11, session, priv_templ, 2, kPkcs11MaxObjects, &found, &step);
  if (rv != CKR_OK) {
    pkcs11_log_err("%s() %d : %s() failed: %d (%s)", kFunc, 15 + step, kCalls[step],
                   static_cast<int>(rv), pk11errorString(rv));
    return fail();
  }
  if (found.empty()) {
    if (cert != nullptr) pkcs11_log_err("%s() 18 : priv key_count == 0", kFunc);
    return fail();
  }
  *key = MakeTokenPrivateKey(e, lib, session, found[0], pub);
  if (*key == nullptr) return fail();
  return 0;
}

EVP_PKEY* pkcs11_load_privkey(ENGINE* e, const char* key_id, UI_METHOD* ui, void* cb_data) {
  static const char kFunc[] = "pkcs11_load_privkey";
  if (key_id == nullptr) return nullptr;
  const char* pin = (ui != nullptr && cb_data != nullptr) ? static_cast<const char*>(cb_data)
                                                          : pkcs11_param(1);
  Pkcs11ModuleEntry* lib = pkcs11_load_library();
  if (lib == nullptr) {
    pkcs11_log_err("%s() : failed to load PKCS#11 library", kFunc);
    return nullptr;
  }
  orvel::X509Ptr cert;
  if (strncmp(key_id, kIdPrefix, strlen(kIdPrefix)) != 0) {
    const bool pem_text = strncmp(key_id, kPemPrefix, strlen(kPemPrefix)) == 0;
    orvel::BioPtr bio(pem_text ? BIO_new_mem_buf(key_id, -1) : BIO_new_file(key_id, "rb"));
    if (!bio) {
      pkcs11_log_err("%s() : BIO_new_file( '%s' ) failed", kFunc, key_id);
      ERR_clear_error();
      pkcs11_free_library(lib);
      return nullptr;
    }
    cert.reset(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
    if (!cert) {
      pkcs11_log_err("%s() : d2i_X509_bio( '%s' ) failed", kFunc, pem_text ? "PEM" : key_id);
      ERR_clear_error();
      pkcs11_free_library(lib);
      return nullptr;
    }
  }
  std::vector<CK_SLOT_ID> slots;
  const CK_RV rv = pkcs11_token_slots(lib->p11, &slots);
  if (rv != CKR_OK || slots.empty()) {
    if (rv != CKR_OK)
      pkcs11_log_err("%s() : C_GetSlotList() 1 failed, ret code = %d (%s)", kFunc,
                     static_cast<int>(rv), pk11errorString(rv));
    else
      pkcs11_log_err("%s() : no token found", kFunc);
    pkcs11_free_library(lib);
    return nullptr;
  }
  for (size_t i = 0; i < slots.size(); i++) {
    EVP_PKEY* key = nullptr;
    if (find_cert_on_token(e, cert.get(), key_id, pin, lib, slots[i], &key) == 0) return key;
    pkcs11_log_err("%s() : find_cert_on_token() failed on slot #%d", kFunc, static_cast<int>(i));
  }
  pkcs11_free_library(lib);
  return nullptr;
}
