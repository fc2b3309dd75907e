// The VPRNG: GOST 28147-89 gamma (counter mode, param-Z S-box by default)
// under a key that is replaced from the generator's own output, mixed with
// fresh system entropy, every 2,048 requested bytes; statistical self-tests
// before it serves. One context per generator; the caller serialises its use.
#ifndef ORVEL_VPRNG_H
#define ORVEL_VPRNG_H

#include <stddef.h>
#include <stdint.h>
#include <sys/types.h>

#include "gost28147.h"
#include "gost28147_sbox.h"

// Failure codes of the generator and of its statistical tests.
enum {
  VPRNG_ERR_PARAM = -1,        // bad argument or empty length
  VPRNG_ERR_NOT_READY = -2,    // context not started
  VPRNG_ERR_TAIL = -5,         // partial block on the first call after keying
  VPRNG_ERR_SELFTEST = -6,     // start-up test failed three times
  VPRNG_ERR_NO_SEED = -7,      // no fresh seed passed the little test in three tries
  VPRNG_ERR_ONES = -8,         // number of one bits out of range
  VPRNG_ERR_CHANGES = -9,      // number of bit changes out of range
  VPRNG_ERR_NEIGHBOURS = -10,  // differing bits of neighbouring bytes out of range
  VPRNG_ERR_ZERO_RUN = -11,    // run of zero bits too long
  VPRNG_ERR_NO_MEMORY = -12,   // no memory for the test buffer
  VPRNG_ERR_ENTROPY = -13      // the system's entropy source failed
};

inline constexpr size_t kVprngSeedLen = 40;  // 8 counter bytes + 32 key bytes
inline constexpr uint32_t kVprngRekeyBytes = 2048;
inline constexpr size_t kVprngSelfTestBytes = 102400;
inline constexpr uint8_t kVprngTableZ = 5;

// The generator context.
struct VPRNG_CTX {
  uint32_t ready;                     // 1 when the generator may serve
  const Gost28147ExpandedSbox* sbox;  // expanded S-box in use
  uint8_t key[32];
  uint32_t counter[2];               // gamma registers, host order
  uint32_t bytes_left;               // requested bytes before the next rekey
  uint32_t first_call;               // 1 right after keying, 3 afterwards
  uint8_t next_seed[kVprngSeedLen];  // material of the next rekey
  pid_t pid;                         // process that made the current key
};

// The expanded S-boxes the generator may use: the crypto core's own tables
// (test, CryptoPro A, B, C, D, TC26 Z), not a copy.
inline constexpr const Gost28147ExpandedSbox (&VPRNG_TZ_28147_89)[6] = TZ_28147_89;

// Starts ctx with the TC26 Z table; see VPRNG_init_ex.
int VPRNG_init(VPRNG_CTX* ctx, const uint8_t* seed, uint8_t* new_seed);
// Starts ctx: keys it from the 40 seed bytes mixed with system entropy, runs
// the start-up test and, when new_seed is not null, draws 40 bytes into it.
// 0 or a negative code; on failure the context is not ready.
int VPRNG_init_ex(VPRNG_CTX* ctx, const Gost28147ExpandedSbox* sbox, const uint8_t* seed,
                  uint8_t* new_seed);
// n bytes of output, rekeying on the way. 0 or a negative code (the output
// may then be partly written).
int VPRNG_get_random_bytes(VPRNG_CTX* ctx, uint8_t* out, size_t n);

// Table 0-5, else null with a message on the standard error stream.
const Gost28147ExpandedSbox* VPRNG_TZ_by_id(uint8_t id);
// "tz_test", "tz_a", "tz_b", "tz_c", "tz_d", "tz_z"; else null with a message.
const Gost28147ExpandedSbox* VPRNG_TZ_by_name(const char* name);

// The current time of day.
void cross_gettimeofday(uint32_t* sec, uint32_t* usec);

// Steps of the generator, also used by the tests.

// The gamma of GOST 28147-89 counter mode written to out, without key
// meshing. first_call 1: the counter is first encrypted, and len must be a
// multiple of 8. A partial last block takes the first bytes of a whole one.
int VPRNG_Gost_Gamm_rng_m(uint8_t* out, uint32_t len, const Gost28147ExpandedSbox* sbox,
                          uint32_t* counter, const uint8_t* key, uint32_t first_call);
// Keys ctx from 40 bytes of seed material and 40 bytes of system entropy,
// then draws the next seed: steps 1-3 of VPRNG_init_ex, leaving the context
// ready without the start-up test.
int vprng_rng_start(VPRNG_CTX* ctx, const Gost28147ExpandedSbox* sbox, const uint8_t* seed);

#endif
