// Size classes of the GOST curves for the shared point and signature code.
#ifndef VKC_EC_TRAITS_H
#define VKC_EC_TRAITS_H

#include "ec256.h"
#include "ec512.h"

namespace vkc_ec {

struct Ec256T {
  using Point = GostPoint;
  using JPoint = GostJPoint;
  using Par = GOSTR3410_2012_256_PAR;
  static constexpr uint32_t ND = GOST256_NDIGITS;
  static constexpr int NL = 4;
  static constexpr uint32_t kParCount = GOST256_PAR_COUNT;
  static constexpr uint32_t kBytes = 32;
  static const Par* table() { return tc26_ecc_par; }
};

struct Ec512T {
  using Point = GostPoint512;
  using JPoint = GostJPoint512;
  using Par = GOSTR3410_2012_512_PAR;
  static constexpr uint32_t ND = GOST512_NDIGITS;
  static constexpr int NL = 8;
  static constexpr uint32_t kParCount = GOST512_PAR_COUNT;
  static constexpr uint32_t kBytes = 64;
  static const Par* table() { return tc26_decc_par; }
};

}  // namespace vkc_ec

#endif
