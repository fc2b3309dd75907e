// The module cache: one entry per module path, counted references, the
// module finalised and unloaded with the last one. Its own lock (a static
// mutex, trivially destructible) keeps look-up, insertion and counting
// whole.
#include <openssl/crypto.h>

#include <dlfcn.h>
#include <pthread.h>

#include <cstring>

#include "engines/pkcs11/pk11_dl.h"
#include "engines/pkcs11/pk11_errors.h"
#include "engines/pkcs11/pkcs11_engine.h"

namespace {

pthread_mutex_t g_lock = PTHREAD_MUTEX_INITIALIZER;
STACK_OF(void)* g_sk_libs = nullptr;

struct Lock {
  Lock() { pthread_mutex_lock(&g_lock); }
  ~Lock() { pthread_mutex_unlock(&g_lock); }
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;
};

Pkcs11ModuleEntry* find_entry(const char* path) {
  if (g_sk_libs == nullptr) return nullptr;
  for (int i = 0; i < sk_void_num(g_sk_libs); i++) {
    auto* e = static_cast<Pkcs11ModuleEntry*>(sk_void_value(g_sk_libs, i));
    if (strcmp(e->path, path) == 0) return e;
  }
  return nullptr;
}

}  // namespace

Pkcs11ModuleEntry* pkcs11_load_library() {
  static const char kFunc[] = "pkcs11_load_library";
  const char* path = pkcs11_param(0);
  if (path == nullptr) {
    pkcs11_log_err("%s() : PKCS#11 library not specified", kFunc);
    return nullptr;
  }
  Lock lock;
  if (Pkcs11ModuleEntry* e = find_entry(path)) {
    e->refs++;
    return e;
  }
  void* handle = mdlopen(path, RTLD_NOW);
  if (handle == nullptr) {
    pkcs11_log_err("%s() : DSO_load( '%s' ) failed", kFunc, path);
    return nullptr;
  }
  auto get_list = reinterpret_cast<CK_C_GetFunctionList>(mdlsym(handle, "C_GetFunctionList"));
  if (get_list == nullptr) {
    pkcs11_log_err("%s() : DSO_bind_func( '%s' ) failed", kFunc, "C_GetFunctionList");
    mdlclose(handle);
    return nullptr;
  }
  CK_FUNCTION_LIST* p11 = nullptr;
  CK_RV rv = get_list(&p11);
  if (rv != CKR_OK || p11 == nullptr) {
    pkcs11_log_err("%s() : C_GetFunctionList() failed, error code: %d (%s)", kFunc,
                   static_cast<int>(rv), pk11errorString(rv));
    mdlclose(handle);
    return nullptr;
  }
  rv = p11->C_Initialize(nullptr);
  if (rv != CKR_OK && rv != CKR_CRYPTOKI_ALREADY_INITIALIZED) {
    pkcs11_log_err("%s() : C_Initialize() failed: %d (%s)", kFunc, static_cast<int>(rv),
                   pk11errorString(rv));
    mdlclose(handle);
    return nullptr;
  }
  auto* e = static_cast<Pkcs11ModuleEntry*>(OPENSSL_zalloc(sizeof(Pkcs11ModuleEntry)));
  if (e == nullptr) {
    pkcs11_log_err("%s() : OPENSSL_malloc() 1 failed", kFunc);
    p11->C_Finalize(nullptr);
    mdlclose(handle);
    return nullptr;
  }
  e->path = OPENSSL_strdup(path);
  if (g_sk_libs == nullptr) g_sk_libs = sk_void_new_null();
  if (e->path == nullptr || g_sk_libs == nullptr || !sk_void_push(g_sk_libs, e)) {
    pkcs11_log_err("%s() : OPENSSL_malloc() 2 failed", kFunc);
    OPENSSL_free(e->path);
    OPENSSL_free(e);
    p11->C_Finalize(nullptr);
    mdlclose(handle);
    return nullptr;
  }
  e->handle = handle;
  e->p11 = p11;
  e->refs = 1;
  return e;
}

int pkcs11_free_library(Pkcs11ModuleEntry* entry) {
  if (entry == nullptr) return -1;
  Lock lock;
  if (entry->refs > 0) entry->refs--;
  if (entry->refs != 0) return -1;
  sk_void_delete_ptr(g_sk_libs, entry);
  OPENSSL_free(entry->path);
  entry->p11->C_Finalize(nullptr);
  mdlclose(entry->handle);
  OPENSSL_free(entry);
  return -1;
}

uint32_t pkcs11_library_refs(const char* path) {
  if (path == nullptr) return 0;
  Lock lock;
  const Pkcs11ModuleEntry* e = find_entry(path);
  return e != nullptr ? e->refs : 0;
}
