// System entropy for the VPRNG's keying: getrandom(2), replaceable for tests.
#ifndef ORVEL_VPRNG_ENTROPY_H
#define ORVEL_VPRNG_ENTROPY_H

#include <stddef.h>
#include <stdint.h>

// Fills buf with n bytes; 0 on success, -1 on failure.
using VprngEntropySource = int (*)(uint8_t* buf, size_t n);

// getrandom(2), blocking until the kernel's pool is initialised.
int vprng_system_entropy(uint8_t* buf, size_t n);
// The source in use (vprng_system_entropy unless replaced).
int vprng_entropy(uint8_t* buf, size_t n);
// Replaces the source (null restores getrandom); returns the previous one.
VprngEntropySource vprng_set_entropy_source(VprngEntropySource source);

#endif
