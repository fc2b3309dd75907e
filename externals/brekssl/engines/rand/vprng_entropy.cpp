#include "engines/rand/vprng_entropy.h"

#include <errno.h>
#include <sys/random.h>

namespace {
VprngEntropySource g_source = vprng_system_entropy;
}  // namespace

int vprng_system_entropy(uint8_t* buf, size_t n) {
  while (n > 0) {
    ssize_t got = getrandom(buf, n, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    buf += got;
    n -= static_cast<size_t>(got);
  }
  return 0;
}

int vprng_entropy(uint8_t* buf, size_t n) { return g_source(buf, n); }

VprngEntropySource vprng_set_entropy_source(VprngEntropySource source) {
  VprngEntropySource old = g_source;
  g_source = source != nullptr ? source : vprng_system_entropy;
  return old;
}
