#include "engines/gost/e_gost_dynamic.h"

#include <openssl/crypto.h>
#include <string.h>

#include "engines/gost/e_gost.h"

unsigned long v_check(unsigned long v) {
  return v >= OSSL_DYNAMIC_OLDEST ? OSSL_DYNAMIC_VERSION : 0;
}

int bind_engine(ENGINE* e, const char* id, const dynamic_fns* fns) {
  if (fns != nullptr && ENGINE_get_static_state() != fns->static_state) {
    if (!CRYPTO_set_mem_functions(fns->mem_fns.malloc_fn, fns->mem_fns.realloc_fn,
                                  fns->mem_fns.free_fn))
      return 0;
    OPENSSL_init_crypto(OPENSSL_INIT_NO_ATEXIT, nullptr);
  }
  if (id != nullptr && strcmp(id, kGostEngineId) != 0) return 0;
  return bind_vkc_2012(e);
}
