#include "engines/gost/gost_pkey_rnd.h"

#include <openssl/rand.h>

#include <climits>

int rnd_bytes(unsigned char* buf, uint32_t len) {
  if (buf == nullptr || len > INT_MAX) return -1;
  // A failing source must not hand the core a buffer it takes for random.
  return RAND_bytes(buf, static_cast<int>(len)) == 1 ? 0 : -1;
}
