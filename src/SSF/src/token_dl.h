// Thin wrappers around the dynamic loader (PKCS#11 modules of "token="
// profiles).
#ifndef ORVEL_SSF_TOKEN_DL_H
#define ORVEL_SSF_TOKEN_DL_H

// dlopen; null for a null file name.
void* mdlopen(const char* file, int flags);
// dlsym; null when the handle or the name is null.
void* mdlsym(void* handle, const char* name);
// dlclose; -1 for a null handle.
int mdlclose(void* handle);
// dlerror.
const char* mdlerror();

#endif
