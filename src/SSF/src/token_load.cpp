#include "token_load.h"

#include <openssl/crypto.h>
#include <openssl/err.h>

#include <dlfcn.h>

#include <cstring>
#include <string>
#include <vector>

#include "codes.h"
#include "keys.h"
#include "log.h"
#include "ossl_ptr.h"
#include "signer_id.h"
#include "token_context.h"
#include "engines/pkcs11/pk11_dl.h"
#include "x509_name.h"

namespace {

const char* const kFindCalls[] = {"C_FindObjectsInit", "C_FindObjects", "C_FindObjectsFinal"};

// One search: init, one C_FindObjects for up to kTokenMaxObjects handles,
// final. Returns the failing step's offset (0, 1, 2) or -1 on success.
int find_objects(CK_FUNCTION_LIST* p11, CK_SESSION_HANDLE session, CK_ATTRIBUTE* templ,
                 CK_ULONG count, std::vector<CK_OBJECT_HANDLE>* found, CK_RV* rv) {
  found->assign(kTokenMaxObjects, 0);
  *rv = p11->C_FindObjectsInit(session, templ, count);
  if (*rv != CKR_OK) return 0;
  CK_ULONG n = 0;
  *rv = p11->C_FindObjects(session, found->data(), kTokenMaxObjects, &n);
  if (*rv != CKR_OK) {
    p11->C_FindObjectsFinal(session);
    return 1;
  }
  // A module that reports more than it was allowed to write is not believed.
  if (n > kTokenMaxObjects) n = kTokenMaxObjects;
  found->resize(n);
  *rv = p11->C_FindObjectsFinal(session);
  if (*rv != CKR_OK) return 2;
  return -1;
}

// The certificate of one object, or null (the walk moves on).
X509* read_certificate(CK_FUNCTION_LIST* p11, CK_SESSION_HANDLE session, CK_OBJECT_HANDLE obj) {
  static const char kFunc[] = "ssf_find_cert_on_token";
  CK_ATTRIBUTE attr{CKA_VALUE, nullptr, 0};
  CK_RV rv = p11->C_GetAttributeValue(session, obj, &attr, 1);
  if (rv != CKR_OK) {
    log_err("%s() 5 : C_GetAttributeValue() failed: %d (%s)", kFunc, static_cast<int>(rv),
            pk11errorString(rv));
    return nullptr;
  }
  if (attr.ulValueLen == 0 || attr.ulValueLen > kTokenMaxCertLen) {
    log_err("%s() 6 : malloc( %d )", kFunc, static_cast<int>(attr.ulValueLen));
    return nullptr;
  }
  orvel::BytesPtr buf(static_cast<unsigned char*>(OPENSSL_malloc(attr.ulValueLen)));
  if (!buf) {
    log_err("%s() 6 : malloc( %d )", kFunc, static_cast<int>(attr.ulValueLen));
    return nullptr;
  }
  const CK_ULONG cap = attr.ulValueLen;
  attr.pValue = buf.get();
  rv = p11->C_GetAttributeValue(session, obj, &attr, 1);
  if (rv != CKR_OK || attr.ulValueLen > cap) {
    log_err("%s() 7 : C_GetAttributeValue() failed: %d (%s)", kFunc, static_cast<int>(rv),
            pk11errorString(rv));
    return nullptr;
  }
  const unsigned char* p = buf.get();
  X509* cert = d2i_X509(nullptr, &p, static_cast<long>(attr.ulValueLen));
  if (cert == nullptr) {
    log_err("%s() 8 : d2i_X509() failed", kFunc);
    print_brekssl_errors();
  }
  return cert;
}

bool cert_matches(X509* cert, const char* id) {
  if (compare_sha1id_and_rcpid(cert, id) == 0) return true;
  orvel::CharsPtr name(brek_x509_get_name_from_X509(cert));
  return name && strcmp(name.get(), id) == 0;
}

// Closes the session unless a token key took it over.
struct SessionGuard {
  CK_FUNCTION_LIST* p11;
  CK_SESSION_HANDLE session;
  bool open = false;
  ~SessionGuard() {
    if (open) p11->C_CloseSession(session);
  }
};

}  // namespace

namespace {

// The search of one slot; *cert_found tells whether the certificate was on
// the token.
int find_cert_on_slot(const char* id, const char* password, int is_signer, SigRcpSsfInfo* record,
                      CK_FUNCTION_LIST* p11, CK_SLOT_ID slot, X509** cert, EVP_PKEY** key,
                      char** pin_slot, bool* cert_found) {
  static const char kFunc[] = "ssf_find_cert_on_token";
  const int failed = load_failure_code(is_signer);
  dbg("%s() begin, signer = 0x%p, cert_id = 0x%p, p11 = 0x%p, slot_id = %d, ppCert = 0x%p, "
      "ppKey = 0x%p",
      kFunc, static_cast<const void*>(id), static_cast<void*>(record), static_cast<void*>(p11),
      static_cast<int>(slot), static_cast<void*>(cert), static_cast<void*>(key));
  auto end = [&](int rc) {
    dbg("%s() end, return value %d", kFunc, rc);
    return rc;
  };
  auto fail = [&](int result) {
    record->uResult = result;
    return end(failed);
  };

  SessionGuard guard{p11, 0};
  CK_RV rv = p11->C_OpenSession(slot, CKF_SERIAL_SESSION, nullptr, nullptr, &guard.session);
  if (rv != CKR_OK) {
    log_err("%s() 1 : C_OpenSession() failed: %d (%s)", kFunc, static_cast<int>(rv),
            pk11errorString(rv));
    return fail(SSF_PROFILE_NOT_USABLE);
  }
  guard.open = true;

  CK_OBJECT_CLASS cert_class = CKO_CERTIFICATE;
  CK_ATTRIBUTE cert_templ[] = {{CKA_CLASS, &cert_class, sizeof(cert_class)}};
  std::vector<CK_OBJECT_HANDLE> objects;
  int step = find_objects(p11, guard.session, cert_templ, 1, &objects, &rv);
  if (step >= 0) {
    log_err("%s() %d : %s() failed: %d (%s)", kFunc, 2 + step, kFindCalls[step],
            static_cast<int>(rv), pk11errorString(rv));
    return fail(SSF_PROFILE_NOT_USABLE);
  }
  if (objects.empty()) return fail(SSF_CERT_NOT_FOUND);

  orvel::X509Ptr found;
  CK_OBJECT_HANDLE cert_obj = 0;
  for (CK_OBJECT_HANDLE obj : objects) {
    orvel::X509Ptr c(read_certificate(p11, guard.session, obj));
    if (c && cert_matches(c.get(), id)) {
      found = std::move(c);
      cert_obj = obj;
      break;
    }
  }
  if (!found) return fail(SSF_CERT_NOT_FOUND);
  *cert_found = true;

  // The certificate's CKA_ID; an id longer than the buffer is refused before
  // it is read.
  unsigned char ckid[kTokenMaxIdLen];
  CK_ATTRIBUTE id_attr{CKA_ID, nullptr, 0};
  rv = p11->C_GetAttributeValue(guard.session, cert_obj, &id_attr, 1);
  if (rv == CKR_OK && id_attr.ulValueLen > sizeof(ckid)) rv = CKR_BUFFER_TOO_SMALL;
  if (rv == CKR_OK) {
    id_attr.pValue = ckid;
    id_attr.ulValueLen = sizeof(ckid);
    rv = p11->C_GetAttributeValue(guard.session, cert_obj, &id_attr, 1);
    if (rv == CKR_OK && id_attr.ulValueLen > sizeof(ckid)) rv = CKR_BUFFER_TOO_SMALL;
  }
  if (rv != CKR_OK) {
    log_err("%s() 9 : C_GetAttributeValue() failed: %d (%s)", kFunc, static_cast<int>(rv),
            pk11errorString(rv));
    return fail(SSF_PROFILE_NOT_USABLE);
  }

  if (password == nullptr) {
    log_err("%s() 11 : password is NULL", kFunc);
    return fail(SSF_INVALID_PASSWORD);
  }
  rv = p11->C_Login(guard.session, CKU_USER,
                    reinterpret_cast<CK_BYTE*>(const_cast<char*>(password)),
                    static_cast<CK_ULONG>(strlen(password)));
  if (rv != CKR_OK && rv != CKR_USER_ALREADY_LOGGED_IN) {
    log_err("%s() 12 : C_Login() failed: %d (%s)", kFunc, static_cast<int>(rv),
            pk11errorString(rv));
    return fail(SSF_INVALID_PASSWORD);
  }

  CK_OBJECT_CLASS key_class = CKO_PRIVATE_KEY;
  CK_ATTRIBUTE key_templ[] = {{CKA_CLASS, &key_class, sizeof(key_class)},
                              {CKA_ID, ckid, id_attr.ulValueLen}};
  step = find_objects(p11, guard.session, key_templ, 2, &objects, &rv);
  if (step >= 0) {
    log_err("%s() %d : %s() failed: %d (%s)", kFunc, 13 + step, kFindCalls[step],
            static_cast<int>(rv), pk11errorString(rv));
    return fail(SSF_PROFILE_NOT_USABLE);
  }
  if (objects.empty()) {
    log_err("%s() 16 : key_count == 0", kFunc);
    return fail(SSF_PROFILE_NOT_USABLE);
  }

  record->uResult = 0;
  auto* token = static_cast<TokenKeyContext*>(OPENSSL_zalloc(sizeof(TokenKeyContext)));
  if (token != nullptr) {
    token->p11 = p11;
    token->session = guard.session;
    token->key = objects[0];
    *key = MakeTokenPrivateKey(found.get(), token);
    if (*key != nullptr)
      guard.open = false;  // the session now belongs to the key
    else
      OPENSSL_free(token);
  }
  *cert = found.release();
  if (pin_slot != nullptr) *pin_slot = OPENSSL_strdup(password);
  return end(0);
}

}  // namespace

int ssf_find_cert_on_token(const char* id, const char* password, int is_signer,
                           SigRcpSsfInfo* record, CK_FUNCTION_LIST* p11, CK_SLOT_ID slot,
                           X509** cert, EVP_PKEY** key, char** pin_slot) {
  bool cert_found = false;
  return find_cert_on_slot(id, password, is_signer, record, p11, slot, cert, key, pin_slot,
                           &cert_found);
}

int ssf_load_cert_and_key_token(const char* module, const char* password, const char* id,
                                SigRcpSsfInfo* record, int is_signer, X509** cert, EVP_PKEY** key,
                                char** pin_slot) {
  static const char kFunc[] = "ssf_load_cert_and_key_token";
  const int failed = load_failure_code(is_signer);
  *cert = nullptr;
  *key = nullptr;
  dbg("%s() begin, p11_file = 0x%p, password = 0x%p, signer = 0x%p, is_signer = %d, ppCert = "
      "0x%p, ppKey = 0x%p",
      kFunc, static_cast<const void*>(module), static_cast<const void*>(password),
      static_cast<void*>(record), is_signer, static_cast<void*>(cert), static_cast<void*>(key));
  CK_FUNCTION_LIST* p11 = nullptr;
  auto end = [&](int rc) {
    // A module that failed is finalised, but not while token keys of it are
    // alive: that would end their sessions.
    if (rc != 0 && p11 != nullptr && token_live_keys(p11) == 0) p11->C_Finalize(nullptr);
    dbg("%s() end, rc = %d", kFunc, rc);
    return rc;
  };
  auto fail = [&](int result) {
    record->uResult = result;
    return end(failed);
  };

  const std::string path = module ? module : "";
  void* handle = mdlopen(path.c_str(), RTLD_NOW);
  if (handle == nullptr) {
    log_err("%s() 1 : mdlopen( '%s', 'rb' ) failed", kFunc, path.c_str());
    return fail(SSF_PROFILE_NOT_FOUND);
  }
  auto get_list = reinterpret_cast<CK_C_GetFunctionList>(mdlsym(handle, "C_GetFunctionList"));
  if (get_list == nullptr) {
    log_err("%s() 2 : C_GetFunctionList() not found in module '%s'", kFunc, path.c_str());
    return fail(SSF_PROFILE_NOT_USABLE);
  }
  CK_FUNCTION_LIST* list = nullptr;
  CK_RV rv = get_list(&list);
  if (rv != CKR_OK || list == nullptr) {
    log_err("%s() 3 : C_GetFunctionList() failed: %d (%s)", kFunc, static_cast<int>(rv),
            pk11errorString(rv));
    return fail(SSF_PROFILE_NOT_USABLE);
  }
  p11 = list;
  rv = p11->C_Initialize(nullptr);
  if (rv != CKR_OK && rv != CKR_CRYPTOKI_ALREADY_INITIALIZED) {
    log_err("%s() 4 : C_Initialize() failed: %d (%s)", kFunc, static_cast<int>(rv),
            pk11errorString(rv));
    return fail(SSF_PROFILE_NOT_USABLE);
  }
  CK_ULONG count = 0;
  rv = p11->C_GetSlotList(CK_TRUE, nullptr, &count);
  if (rv != CKR_OK) {
    log_err("%s() 5 : C_GetSlotList() failed: %d (%s)", kFunc, static_cast<int>(rv),
            pk11errorString(rv));
    return fail(SSF_PROFILE_NOT_USABLE);
  }
  dbg("%s() : num_slots = %d", kFunc, static_cast<int>(count));
  if (count == 0) {
    log_err("%s() 5.1 : No tokens found", kFunc);
    return fail(SSF_PROFILE_NOT_FOUND);
  }
  if (count > kTokenMaxObjects) {
    log_err("%s() 6 : malloc( %d ) failed", kFunc, static_cast<int>(count * 8));
    return fail(SSF_PROFILE_NOT_USABLE);
  }
  orvel::BytesPtr slot_mem(
      static_cast<unsigned char*>(OPENSSL_malloc(count * sizeof(CK_SLOT_ID))));
  if (!slot_mem) {
    log_err("%s() 6 : malloc( %d ) failed", kFunc, static_cast<int>(count * 8));
    return fail(SSF_PROFILE_NOT_USABLE);
  }
  auto* slots = reinterpret_cast<CK_SLOT_ID*>(slot_mem.get());
  const CK_ULONG cap = count;
  rv = p11->C_GetSlotList(CK_TRUE, slots, &count);
  if (rv != CKR_OK) {
    log_err("%s() 7 : C_GetSlotList() failed: %d (%s)", kFunc, static_cast<int>(rv),
            pk11errorString(rv));
    return fail(SSF_PROFILE_NOT_USABLE);
  }
  if (count > cap) count = cap;
  if (count == 0) {
    log_err("%s() 8 : num_slots = %d", kFunc, static_cast<int>(count));
    return fail(SSF_PROFILE_NOT_FOUND);
  }
  log_write("%s() :  total %d slots", kFunc, static_cast<int>(count));
  // The result of the token that holds the certificate (a wrong PIN there)
  // is the one reported, not that of a later token without it.
  int found_result = 0;
  for (CK_ULONG i = 0; i < count; i++) {
    bool cert_found = false;
    if (find_cert_on_slot(id, password, is_signer, record, p11, slots[i], cert, key, pin_slot,
                          &cert_found) == 0)
      return end(0);
    if (cert_found && found_result == 0) found_result = record->uResult;
    log_err("%s() 9 : ssf_find_cert_on_token() failed on slot #%d", kFunc, static_cast<int>(i));
  }
  if (found_result != 0) record->uResult = found_result;
  if (record->uResult == SSF_INITIAL_VALUE) record->uResult = SSF_CERT_NOT_FOUND;
  return end(failed);
}
