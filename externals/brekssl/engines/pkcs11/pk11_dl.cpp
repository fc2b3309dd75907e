#include "engines/pkcs11/pk11_dl.h"

#include <dlfcn.h>

void* mdlopen(const char* file, int flags) { return file ? dlopen(file, flags) : nullptr; }

void* mdlsym(void* handle, const char* name) {
  return (handle && name) ? dlsym(handle, name) : nullptr;
}

int mdlclose(void* handle) { return handle ? dlclose(handle) : -1; }

const char* mdlerror() { return dlerror(); }
