#include "engines/rand/vprng_stat.h"

#include "engines/rand/vprng.h"

namespace {

struct Range {
  uint64_t lo, hi;
  bool holds(uint64_t v) const { return v >= lo && v <= hi; }
};

constexpr Range kLittleOnes{100, 156};
constexpr Range kLittleChanges{100, 156};
constexpr int kLittleMaxZeroRun = 24;
constexpr Range kBigOnes{407792, 411408};
constexpr Range kBigChanges{407792, 411407};
constexpr Range kBigNeighbours{407788, 411404};

uint64_t count_ones(const uint8_t* p, size_t len) {
  uint64_t n = 0;
  for (size_t i = 0; i < len; ++i) n += static_cast<unsigned>(__builtin_popcount(p[i]));
  return n;
}

// Changes between consecutive bits; the bit before the first counts as 0.
uint64_t count_changes(const uint8_t* p, size_t len) {
  uint64_t n = 0;
  unsigned prev = 0;
  for (size_t i = 0; i < len; ++i) {
    unsigned x = p[i];
    n += (x & 1u) ^ prev;
    n += static_cast<unsigned>(__builtin_popcount((x ^ (x >> 1)) & 0x7fu));
    prev = x >> 7;
  }
  return n;
}

// Longest run of zero bits that a one bit ends, reading each byte from its
// most significant bit down; runs carry over byte boundaries.
int longest_closed_zero_run(const uint8_t* p, size_t len) {
  int run = 0, longest = 0;
  for (size_t i = 0; i < len; ++i) {
    for (int b = 7; b >= 0; --b) {
      if ((p[i] >> b) & 1) {
        if (run > longest) longest = run;
        run = 0;
      } else {
        ++run;
      }
    }
  }
  return longest;
}

uint64_t count_neighbour_differences(const uint8_t* p, size_t len) {
  uint64_t n = 0;
  for (size_t i = 0; i + 1 < len; ++i)
    n += static_cast<unsigned>(__builtin_popcount(static_cast<unsigned>(p[i] ^ p[i + 1])));
  return n;
}

}  // namespace

int make_little_test(const uint8_t* bytes, size_t len) {
  if (bytes == nullptr || len == 0) return VPRNG_ERR_PARAM;
  if (!kLittleOnes.holds(count_ones(bytes, len))) return VPRNG_ERR_ONES;
  if (!kLittleChanges.holds(count_changes(bytes, len))) return VPRNG_ERR_CHANGES;
  if (longest_closed_zero_run(bytes, len) > kLittleMaxZeroRun) return VPRNG_ERR_ZERO_RUN;
  return 0;
}

int make_big_test(const uint8_t* bytes, size_t len) {
  if (bytes == nullptr || len == 0) return VPRNG_ERR_PARAM;
  if (!kBigOnes.holds(count_ones(bytes, len))) return VPRNG_ERR_ONES;
  if (!kBigChanges.holds(count_changes(bytes, len))) return VPRNG_ERR_CHANGES;
  if (!kBigNeighbours.holds(count_neighbour_differences(bytes, len))) return VPRNG_ERR_NEIGHBOURS;
  return 0;
}
