// The GOST 28147-89 MAC (imitovstavka) as a toolkit digest object "gost-mac":
// 4-byte MAC, key and parameter set given through the digest's controls.
#ifndef ORVEL_GOST_IMIT_H
#define ORVEL_GOST_IMIT_H

#include <openssl/evp.h>

// Digest controls of the MAC.
inline constexpr int kVkcImitCtrlSetParamSet = 0x1001;  // p1: parameter-set NID
inline constexpr int kVkcImitCtrlSetIv = 0x1002;        // p1: 8, p2: the IV
inline constexpr int kVkcImitCtrlKeyLength = 0x1003;    // p2: int, gets 32
inline constexpr int kVkcImitCtrlSetKey = 0x1004;       // p1: 32, p2: the key

inline constexpr int kVkcImitSize = 4;

const EVP_MD* EVP_gostimito();

#endif
