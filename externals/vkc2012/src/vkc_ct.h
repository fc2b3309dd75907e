// Constant-time helpers: masks and selects on secret values, kept away from
// the optimiser's branch conversion by a value barrier.
#ifndef VKC_CT_H
#define VKC_CT_H

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#if defined(__has_include)
#if __has_include(<valgrind/memcheck.h>)
#include <valgrind/memcheck.h>
#define VKC_CT_HAVE_MEMCHECK 1
#endif
#endif

namespace vkc_ct {

inline uint64_t value_barrier(uint64_t v) {
  __asm__("" : "+r"(v));
  return v;
}

// All ones when v is non-zero, else zero.
inline uint64_t mask_nonzero(uint64_t v) { return value_barrier(0 - ((v | (0 - v)) >> 63)); }
inline uint64_t mask_zero(uint64_t v) { return ~mask_nonzero(v); }
inline uint64_t mask_eq(uint64_t a, uint64_t b) { return mask_zero(a ^ b); }
// All ones when bit 0 of b is set.
inline uint64_t mask_bit(uint64_t b) { return value_barrier(0 - (b & 1)); }

// r = mask ? a : b, word by word.
inline void select(uint64_t* r, const uint64_t* a, const uint64_t* b, size_t n, uint64_t mask) {
  for (size_t i = 0; i < n; i++) r[i] = (a[i] & mask) | (b[i] & ~mask);
}

// r |= a & mask, word by word (table scans).
inline void or_masked(uint64_t* r, const uint64_t* a, size_t n, uint64_t mask) {
  for (size_t i = 0; i < n; i++) r[i] |= a[i] & mask;
}

// Wipes a buffer in a way the compiler keeps: the barrier tells it that the
// zeroed memory is read afterwards.
inline void wipe(void* p, size_t n) {
  memset(p, 0, n);
  __asm__ __volatile__("" : : "r"(p) : "memory");
}

// Marks a value derived from secrets as public from here on: a signature,
// a public key, or a one-bit outcome such as "the nonce is zero". Under
// valgrind's memcheck (where a constant-time check marks the secrets
// undefined) the bytes become defined; elsewhere nothing happens.
inline void declassify(const void* p, size_t n) {
#ifdef VKC_CT_HAVE_MEMCHECK
  (void)VALGRIND_MAKE_MEM_DEFINED(p, n);
#else
  (void)p;
  (void)n;
#endif
}

}  // namespace vkc_ct

#endif
