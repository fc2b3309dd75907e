// The process's generator behind the toolkit's random-number interface: its
// state, the random method, the engine's control function and its command.
// Every generator and pool operation runs under one lock of its own.
#ifndef ORVEL_E_RAND_METH_H
#define ORVEL_E_RAND_METH_H

#include <openssl/engine.h>
#include <openssl/rand.h>
#include <stdint.h>

#include "engines/rand/vprng.h"

inline constexpr int kVprngCmdSeed = ENGINE_CMD_BASE;  // "SEED"
inline constexpr int kVprngCmdReserved = ENGINE_CMD_BASE + 1;

// Process-wide state of the engine. Plain data: the toolkit's exit-time
// cleanup may run after the C++ static destructors.
struct VprngEngineState {
  VPRNG_CTX ctx;
  uint8_t seed_pool[kVprngSeedLen];  // input of RAND_add/RAND_seed; read at each start
  int32_t idx;                       // position in the pool
  uint8_t new_seed[kVprngSeedLen];   // drawn after the start-up test
  int32_t initialized;
  char* seed_path;              // kept by the SEED command
  void (*seed_callback)(void);  // kept by the SEED command
};

// The state itself, for the tests; take vprng_lock() around any use.
VprngEngineState& vprng_engine_state();
void vprng_lock();
void vprng_unlock();

// Starts the generator from the pool. Returns 1; a generator that cannot
// start ends the process with exit status 255 after printing its code.
int vprng_init();

extern const ENGINE_CMD_DEFN vprng_cmds[];
extern const RAND_METHOD rand_vprng_meth;

extern "C" {
int vprng_rand_seed(const void* buf, int num);
int vprng_rand_bytes(unsigned char* buf, int num);
void vprng_rand_cleanup(void);
int vprng_rand_add(const void* buf, int num, double entropy);
int vprng_rand_pseudo_bytes(unsigned char* buf, int num);
int vprng_rand_status(void);
int vprng_control_func(ENGINE* e, int cmd, long i, void* p, void (*f)(void));
}

#endif
