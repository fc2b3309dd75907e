#include "objects/engine_loader.h"

#include <openssl/engine.h>

#include "engines/gost/e_gost.h"
#include "engines/pkcs11/e_pkcs11.h"
#include "engines/rand/e_rand.h"
#include "error_sink.h"
#include "objects/ssf_objects.h"

namespace {
bool g_engines_loaded = false;
}  // namespace

void ssf_load_builtin_engines() {
  if (g_engines_loaded) return;
  g_engines_loaded = true;
  // The engines look their algorithms up by the registry's numbers.
  if (!ssf_register_objects())
    brek_log_err("ssf_load_builtin_engines() : ssf_register_objects() failed");
  ENGINE_load_builtin_engines();
  // The system's engines, in this order: gost, rand, pkcs11.
  ENGINE_load_gost();
  ENGINE_load_rand();
  ENGINE_load_pkcs11();
  ENGINE_register_all_complete();
}
