// Pieces every exported function shares: the hooks around an operation and
// the form in which trace lines print pointers.
#ifndef ORVEL_SSF_FRAME_H
#define ORVEL_SSF_FRAME_H

#include <openssl/crypto.h>

#include <cstdint>

// The host calls one operation at a time; these hooks do nothing.
inline void lock_mutex() {}
inline void release_mutex() {}
inline void print_brekssl_leaks() {}

// Trace lines print a pointer with "%#x": its low 32 bits.
inline unsigned low32(const void* p) {
  return static_cast<unsigned>(reinterpret_cast<uintptr_t>(p) & 0xffffffffu);
}

#include "operations.h"

// Hands an operation's output to the host's pair: the bytes on success,
// null and 0 (the bytes freed) on failure.
inline void hand_out(SsfDataBlob& out, int rc, unsigned char** data, SsfInt* len) {
  if (rc == 0) {
    *data = out.pbData;
    *len = out.cbData;
  } else {
    OPENSSL_free(out.pbData);
    *data = nullptr;
    *len = 0;
  }
  out.pbData = nullptr;
  out.cbData = 0;
}

// Sets an output pair to null and 0 where the host gave it.
inline void zero_output(unsigned char** data, SsfInt* len) {
  if (data != nullptr) *data = nullptr;
  if (len != nullptr) *len = 0;
}

// An input of the host as a blob; a null pointer or a negative length is an
// absent input.
inline SsfDataBlob input_blob(const void* data, SsfInt len) {
  SsfDataBlob b;
  if (data != nullptr && len > 0) {
    b.pbData = static_cast<unsigned char*>(const_cast<void*>(data));
    b.cbData = len;
  }
  return b;
}

// A text input of the host (the PAB path): an empty text is still a text, so
// the operation can tell "no PAB given" from "an empty PAB path".
inline SsfDataBlob text_blob(const char* data, SsfInt len) {
  SsfDataBlob b;
  if (data != nullptr && len >= 0) {
    b.pbData = reinterpret_cast<unsigned char*>(const_cast<char*>(data));
    b.cbData = len;
  }
  return b;
}

#endif
