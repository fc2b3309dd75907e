#include "engines/rand/e_rand.h"

#include <openssl/engine.h>
#include <openssl/err.h>
#include <openssl/rand.h>
#include <stdio.h>

#include "engines/rand/e_rand_meth.h"
#include "ossl_ptr.h"

namespace {

constexpr const char* kEngineId = "rand";
constexpr const char* kEngineName = "KESTRUM-Soft BrekSSL Internal RAND engine";

extern "C" int vprng_engine_noop(ENGINE* /*e*/) { return 1; }

bool fail(const char* message) {
  fputs(message, stderr);
  return false;
}

bool bind_rand(ENGINE* e) {
  if (!ENGINE_set_name(e, kEngineName)) return fail("ENGINE_set_name failed\n");
  if (!ENGINE_set_id(e, kEngineId)) return fail("ENGINE_set_id failed\n");
  if (!ENGINE_set_cmd_defns(e, vprng_cmds)) return fail("ENGINE_set_cmd_defns failed\n");
  if (!ENGINE_set_ctrl_function(e, vprng_control_func))
    return fail("ENGINE_set_ctrl_func failed\n");
  if (!ENGINE_set_init_function(e, vprng_engine_noop) ||
      !ENGINE_set_finish_function(e, vprng_engine_noop) ||
      !ENGINE_set_destroy_function(e, vprng_engine_noop))
    return fail("ENGINE_set_init/finish/destroy_function failed\n");
  if (!ENGINE_set_RAND(e, &rand_vprng_meth)) return fail("ENGINE_set_RAND failed\n");
  return true;
}

}  // namespace

void ENGINE_load_rand() {
  orvel::EnginePtr e(ENGINE_new());
  if (!e) {
    fputs("ENGINE_new failed\n", stderr);
    return;
  }
  if (!bind_rand(e.get())) return;
  if (!ENGINE_register_RAND(e.get())) {
    fputs("ENGINE_register_RAND failed\n", stderr);
    return;
  }
  vprng_init();
  if (ENGINE_add(e.get())) {
    // The default of the engine table too, for code that asks the table.
    if (!ENGINE_set_default_RAND(e.get())) fputs("ENGINE_set_default_RAND failed\n", stderr);
  } else {
    // The id is taken (a host configuration may have loaded an engine of
    // that name). The generator is still installed below; the engine leaves
    // the RAND table, which would keep a pointer to it once it is freed.
    fputs("ENGINE_add failed: engine id \"rand\" is already in use\n", stderr);
    ENGINE_unregister_RAND(e.get());
  }
  // The toolkit fixes its default random method at the first use of its
  // random functions; only this call replaces it afterwards.
  if (!RAND_set_rand_engine(e.get())) fputs("RAND_set_rand_engine failed\n", stderr);
  e.reset();
  ERR_clear_error();
}
