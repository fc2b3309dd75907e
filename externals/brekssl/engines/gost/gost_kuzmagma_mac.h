// The Kuznyechik and Magma MACs (OMAC of GOST R 34.13-2015) as toolkit
// digest objects "kuznechik-mac" (8-byte MAC) and "magma-mac" (4-byte MAC).
// The key comes through the digest's control, as the MAC key types send it.
#ifndef ORVEL_GOST_KUZMAGMA_MAC_H
#define ORVEL_GOST_KUZMAGMA_MAC_H

#include <openssl/evp.h>

// Digest controls of the MACs.
inline constexpr int kKuzMagmaMacCtrlKeyLength = 0x1003;  // p2: int, gets 32
inline constexpr int kKuzMagmaMacCtrlSetKey = 0x1004;     // p1: 32, p2: the key

inline constexpr int kKuznechikMacSize = 8;
inline constexpr int kMagmaMacSize = 4;

const EVP_MD* vkc_kuznechik_mac_md();
const EVP_MD* vkc_magma_mac_md();

#endif
