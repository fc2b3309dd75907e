// Data the toolkit allocates beside every GOST 28147-89 cipher context and
// every GOST 28147-89 MAC context.
#ifndef ORVEL_GOST_CIPHER_DATA_H
#define ORVEL_GOST_CIPHER_DATA_H

#include <cstdint>

#include "gost28147.h"

inline constexpr int kGost89KeyLength = 32;
inline constexpr int kGost89IvLength = 8;
inline constexpr int kGost89BlockSize = 8;

struct VkcCipherData {
  Gost28147Context core;
  uint32_t param_nid;  // chosen set (control 0x1001, ASN.1 parameters)
  uint8_t key[kGost89KeyLength];
  uint32_t key_set;
  uint32_t mode;  // core mode; 0 = the variant's default
  // Set the last keyed init worked with: param_nid, or the engine's
  // default when the core does not know param_nid. Written into the ASN.1
  // parameters, so that a receiver decrypts with the same set.
  uint32_t used_nid;
  // MAC only: the IV of control 0x1002, used as the start of the MAC.
  uint8_t mac_iv[kGost89IvLength];
  uint32_t mac_iv_set;
};

#endif
