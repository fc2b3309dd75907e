// Statistical tests of the VPRNG's output. Bits are read least significant
// first within a byte, bytes in order, unless noted.
#ifndef ORVEL_VPRNG_STAT_H
#define ORVEL_VPRNG_STAT_H

#include <stddef.h>
#include <stdint.h>

// For 32 bytes (a fresh key): one bits and bit changes in 100..156, longest
// run of zero bits below 25. 0, or -1 (null or empty), -8, -9, -11.
int make_little_test(const uint8_t* bytes, size_t len);
// For 102,400 bytes (the start-up test): one bits, bit changes and the
// differing bits of neighbouring bytes in their ranges. 0, or -1, -8, -9, -10.
int make_big_test(const uint8_t* bytes, size_t len);

#endif
