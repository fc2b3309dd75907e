/* Kuznyechik's constant tables, computed by the compiler (constant
 * initialisation: nothing runs at load time).
 *
 * A 16-byte value v is kept as two 64-bit words whose memory bytes are the
 * bytes of v in order: Left = bytes 0..7, Right = bytes 8..15. */
#ifndef VKC_KUZNYECHIK_TABLES_H
#define VKC_KUZNYECHIK_TABLES_H

#include <array>
#include <cstdint>

#include "kuznyechik_pi.h"

namespace vkc::kuznyechik {

using Block = std::array<uint8_t, 16>;

// Multiplication in GF(2^8) modulo x^8 + x^7 + x^6 + x + 1.
constexpr uint8_t gf_mul(uint8_t a, uint8_t b) {
  unsigned r = 0, x = a;
  for (; b != 0; b >>= 1) {
    if (b & 1) r ^= x;
    x <<= 1;
    if (x & 0x100) x ^= 0x1c3;
  }
  return static_cast<uint8_t>(r);
}

// Coefficients of l for a15 (byte 0) .. a0 (byte 15).
inline constexpr std::array<uint8_t, 16> kLinear = {148, 32,  133, 16, 194, 192, 1,   251,
                                                    1,   192, 194, 16, 133, 32,  148, 1};

// R(a15..a0) = l(a15..a0) || a15 .. a1.
constexpr Block transform_r(const Block& a) {
  uint8_t l = 0;
  for (int k = 0; k < 16; ++k) l ^= gf_mul(kLinear[k], a[k]);
  Block r{};
  r[0] = l;
  for (int k = 1; k < 16; ++k) r[k] = a[k - 1];
  return r;
}

// R^-1(a15..a0) = a14 .. a0 || l(a14, .., a0, a15).
constexpr Block transform_inv_r(const Block& a) {
  Block r{};
  for (int k = 0; k < 15; ++k) r[k] = a[k + 1];
  r[15] = a[0];
  uint8_t l = 0;
  for (int k = 0; k < 16; ++k) l ^= gf_mul(kLinear[k], r[k]);
  r[15] = l;
  return r;
}

constexpr Block transform_l(Block a) {
  for (int i = 0; i < 16; ++i) a = transform_r(a);
  return a;
}

constexpr Block transform_inv_l(Block a) {
  for (int i = 0; i < 16; ++i) a = transform_inv_r(a);
  return a;
}

constexpr uint64_t half_word(const Block& v, int half) {
  uint64_t w = 0;
  for (int k = 7; k >= 0; --k) w = (w << 8) | v[8 * half + k];
  return w;
}

// One 16-byte table value: its first 8 bytes (Left) and last 8 bytes
// (Right), side by side so that a single 128-bit load fetches both.
struct alignas(16) TableEntry {
  uint64_t left;
  uint64_t right;
};

using LsTable = std::array<std::array<TableEntry, 256>, 16>;

// Multiplies every byte of w by x in GF(2^8): a set top bit reduces by
// x^8 = x^7 + x^6 + x + 1 (0xc3); the lanes cannot carry into each other.
constexpr uint64_t xtime_lanes(uint64_t w) {
  const uint64_t top = (w >> 7) & 0x0101010101010101ULL;
  return ((w & 0x7f7f7f7f7f7f7f7fULL) << 1) ^ (top * 0xc3);
}

// s * column for every byte s. s -> s * column is linear over GF(2), so the
// 256 multiples come from the eight powers of x by XOR.
constexpr std::array<TableEntry, 256> multiples_of(const Block& column) {
  std::array<TableEntry, 256> multiple{};
  TableEntry power{half_word(column, 0), half_word(column, 1)};
  for (int bit = 1; bit < 256; bit <<= 1) {
    multiple[bit] = power;
    power = TableEntry{xtime_lanes(power.left), xtime_lanes(power.right)};
  }
  for (int s = 3; s < 256; ++s) {
    const int low = s & -s;
    if (s == low) continue;
    multiple[s] = TableEntry{multiple[s ^ low].left ^ multiple[low].left,
                             multiple[s ^ low].right ^ multiple[low].right};
  }
  return multiple;
}

// Column i of L (or of L^-1): the image of the unit vector e_i. The only
// place where the transforms run at compile time, each column once: every
// table below is built from these columns, which keeps each constant
// evaluation well inside every compiler's default step limit.
template <bool kInverse>
constexpr std::array<Block, 16> make_columns() {
  std::array<Block, 16> columns{};
  for (int i = 0; i < 16; ++i) {
    Block unit{};
    unit[i] = 1;
    columns[i] = kInverse ? transform_inv_l(unit) : transform_l(unit);
  }
  return columns;
}

inline constexpr std::array<Block, 16> kLColumns = make_columns<false>();
inline constexpr std::array<Block, 16> kInvLColumns = make_columns<true>();

// Entry [i][b]: lin(s(b) at byte i, zeros elsewhere). lin is linear over
// GF(2^8), so each entry is s(b) times column i.
template <bool kInverse>
constexpr LsTable make_ls_table() {
  LsTable t{};
  for (int i = 0; i < 16; ++i) {
    const auto multiple = multiples_of(kInverse ? kInvLColumns[i] : kLColumns[i]);
    for (int b = 0; b < 256; ++b) t[i][b] = multiple[kInverse ? kGostInvPi[b] : kGostPi[b]];
  }
  return t;
}

struct RoundConstants {
  std::array<uint64_t, 32> left;
  std::array<uint64_t, 32> right;
};

// C_i = L(Vec128(i)), i = 1..32: i in the last byte (a0), so C_i is i times
// column 15 of L.
constexpr RoundConstants make_round_constants() {
  RoundConstants c{};
  const auto multiple = multiples_of(kLColumns[15]);
  for (int i = 1; i <= 32; ++i) {
    c.left[i - 1] = multiple[i].left;
    c.right[i - 1] = multiple[i].right;
  }
  return c;
}

inline constexpr const std::array<uint8_t, 256>& Pi = kGostPi;
inline constexpr const std::array<uint8_t, 256>& InvPi = kGostInvPi;

inline constexpr RoundConstants kRoundConstants = make_round_constants();
inline constexpr const std::array<uint64_t, 32>& roundConstLeft = kRoundConstants.left;
inline constexpr const std::array<uint64_t, 32>& roundConstRight = kRoundConstants.right;

// LS (precLSTable) and L^-1 after S^-1 (precInvLSTable), 64 KB each.
alignas(64) inline constexpr LsTable precLSTable = make_ls_table<false>();
alignas(64) inline constexpr LsTable precInvLSTable = make_ls_table<true>();

}  // namespace vkc::kuznyechik

#endif
