#include "engines/rand/e_rand_meth.h"

#include <openssl/crypto.h>
#include <openssl/err.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

// Always on, and trivially destructible: the toolkit calls the cleanup slot
// at exit, possibly after the C++ static destructors have run.
pthread_mutex_t g_lock = PTHREAD_MUTEX_INITIALIZER;
pthread_once_t g_atfork_once = PTHREAD_ONCE_INIT;
VprngEngineState g_state;

// A fork while another thread holds the lock would leave the child's copy
// locked for ever: the lock is taken across fork.
void atfork_prepare() { pthread_mutex_lock(&g_lock); }
void atfork_release() { pthread_mutex_unlock(&g_lock); }
void register_atfork() { pthread_atfork(atfork_prepare, atfork_release, atfork_release); }

class Locked {
 public:
  Locked() { vprng_lock(); }
  ~Locked() { vprng_unlock(); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;
};

// Caller holds the lock. 0 or the generator's code.
int start_locked() {
  int rc = VPRNG_init(&g_state.ctx, g_state.seed_pool, g_state.new_seed);
  g_state.initialized = rc == 0 ? 1 : 0;
  return rc;
}

// Caller holds the lock; it is released before the process ends, since the
// toolkit's exit handlers call the cleanup slot, which takes it.
[[noreturn]] void die_unlocking(int rc) {
  vprng_unlock();
  ERR_raise(ERR_LIB_RAND, RAND_R_ERROR_INITIALISING_DRBG);
  fprintf(stderr, "\n######## RNG_INIT = %d\n", rc);
  exit(-1);
}

// Caller holds the lock: starts the generator when it is not running.
void ensure_started_locked() {
  if (g_state.initialized) return;
  int rc = start_locked();
  if (rc != 0) die_unlocking(rc);
}

}  // namespace

VprngEngineState& vprng_engine_state() { return g_state; }

void vprng_lock() {
  pthread_once(&g_atfork_once, register_atfork);
  pthread_mutex_lock(&g_lock);
}

void vprng_unlock() { pthread_mutex_unlock(&g_lock); }

int vprng_init() {
  vprng_lock();
  int rc = start_locked();
  if (rc != 0) die_unlocking(rc);
  vprng_unlock();
  return 1;
}

const ENGINE_CMD_DEFN vprng_cmds[] = {
    {kVprngCmdSeed, "SEED", "VPRNG seed path and callback", ENGINE_CMD_FLAG_STRING},
    {0, nullptr, nullptr, 0}};

const RAND_METHOD rand_vprng_meth = {vprng_rand_seed, vprng_rand_bytes,        vprng_rand_cleanup,
                                     vprng_rand_add,  vprng_rand_pseudo_bytes, vprng_rand_status};

extern "C" {

int vprng_rand_bytes(unsigned char* buf, int num) {
  Locked lock;
  ensure_started_locked();
  if (num <= 0) return 1;
  if (buf == nullptr) return 0;
  // 0, not -1: the toolkit reads -1 as "not supported".
  return VPRNG_get_random_bytes(&g_state.ctx, buf, static_cast<size_t>(num)) == 0 ? 1 : 0;
}

int vprng_rand_pseudo_bytes(unsigned char* buf, int num) { return vprng_rand_bytes(buf, num); }

// The k-th byte goes to position (p + k) mod 40 from the previous position p.
int vprng_rand_add(const void* buf, int num, double /*entropy*/) {
  Locked lock;
  ensure_started_locked();
  if (num <= 0 || buf == nullptr) return 1;
  const auto* in = static_cast<const uint8_t*>(buf);
  size_t p = static_cast<size_t>(g_state.idx);
  for (size_t k = 0; k < static_cast<size_t>(num); ++k) {
    p = (p + k) % kVprngSeedLen;
    g_state.seed_pool[p] ^= in[k];
  }
  g_state.idx = static_cast<int32_t>(p);
  return 1;
}

int vprng_rand_seed(const void* buf, int num) { return vprng_rand_add(buf, num, num); }

int vprng_rand_status(void) {
  Locked lock;
  ensure_started_locked();
  return 1;
}

void vprng_rand_cleanup(void) {
  Locked lock;
  g_state.initialized = 0;
  explicit_bzero(&g_state.ctx, sizeof(g_state.ctx));
  explicit_bzero(g_state.new_seed, sizeof(g_state.new_seed));
  g_state.idx = 0;
  OPENSSL_free(g_state.seed_path);
  g_state.seed_path = nullptr;
}

int vprng_control_func(ENGINE* /*e*/, int cmd, long /*i*/, void* p, void (*f)(void)) {
  switch (cmd) {
    case kVprngCmdSeed: {
      {
        Locked lock;
        if (p != nullptr) {
          char* copy = OPENSSL_strdup(static_cast<const char*>(p));
          if (copy == nullptr) return 0;
          OPENSSL_free(g_state.seed_path);
          g_state.seed_path = copy;
        }
        if (f != nullptr) g_state.seed_callback = f;
      }
      return vprng_init();
    }
    case kVprngCmdReserved:
      return 1;
    default:
      // A failure, not a success: the toolkit treats any non-zero result as
      // success.
      ERR_raise(ERR_LIB_ENGINE, ENGINE_R_CTRL_COMMAND_NOT_IMPLEMENTED);
      return 0;
  }
}

}  // extern "C"
