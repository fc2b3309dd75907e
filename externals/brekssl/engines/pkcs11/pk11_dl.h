// Thin wrappers around the dynamic loader, through which PKCS#11 modules
// are loaded (the provider's "token=" profiles and the "pkcs11" engine).
#ifndef ORVEL_PK11_DL_H
#define ORVEL_PK11_DL_H

// dlopen; null for a null file name.
void* mdlopen(const char* file, int flags);
// dlsym; null when the handle or the name is null.
void* mdlsym(void* handle, const char* name);
// dlclose; -1 for a null handle.
int mdlclose(void* handle);
// dlerror.
const char* mdlerror();

#endif
