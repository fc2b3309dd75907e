// Point types of the fast code and the fixed-base comb tables that are
// compiled in (ec_comb_tables.cpp, written by tools/gen_ec_tables.py).
#ifndef VKC_EC_COMB_H
#define VKC_EC_COMB_H

#include <stddef.h>

#include "ec_field.h"

namespace vkc_ec {

template <int NL>
struct Proj {
  u64 X[NL], Y[NL], Z[NL];
};

template <int NL>
struct Aff {
  u64 x[NL], y[NL];
};

// Signed windows of kCombW bits (Booth recoding): digits -32 .. 32.
constexpr int kCombW = 6;
constexpr int kCombEntries = 1 << (kCombW - 1);

// The comb of one curve: row t holds j * 2^(kCombW passes t) * G for
// j = 1 .. kCombEntries (affine, the field's own form). A scalar's window i
// is looked up in row i / passes and added after (i mod passes) rounds of
// kCombW doublings.
template <int NL>
struct CombTable {
  u64 p[NL], a[NL], b[NL], gx[NL], gy[NL];  // the curve the table belongs to
  int passes;
  int rows;
  const Aff<NL>* pts;  // rows * kCombEntries points
};

// Tables for the curves whose prime folds (2^256 - 617, 2^512 - 569), with
// coordinates in plain form.
extern const CombTable<4> kComb256[];
extern const size_t kComb256Count;
extern const CombTable<8> kComb512[];
extern const size_t kComb512Count;

template <int NL>
inline const CombTable<NL>* comb_tables(size_t* count);

template <>
inline const CombTable<4>* comb_tables<4>(size_t* count) {
  *count = kComb256Count;
  return kComb256;
}

template <>
inline const CombTable<8>* comb_tables<8>(size_t* count) {
  *count = kComb512Count;
  return kComb512;
}

// Passes of a comb built at run time: more passes, smaller tables, more
// doublings. A compiled table carries its own.
constexpr int comb_passes(int nl) { return nl <= 4 ? 4 : 8; }

}  // namespace vkc_ec

#endif
