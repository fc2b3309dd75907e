// GOST key transport workers: a 32-byte content-encryption key (CEK)
// wrapped for a GOST R 34.10 key (ephemeral key, VKO, CryptoPro KEK
// diversification, GOST 28147-89 ECB and MAC) and unwrapped again, and
// plain VKO agreement. 1 for success, 0 for failure (printed on stderr).
#ifndef ORVEL_GOST_KT_WRAP_H
#define ORVEL_GOST_KT_WRAP_H

#include <cstdint>

#include "engines/gost/gost_keypair.h"
#include "gost28147.h"

inline constexpr uint32_t kGostCekLength = 32;
inline constexpr uint32_t kGostKtMacLength = 4;

// Writes the GostR3410-KeyTransport of cek for the recipient key; without
// out only the length. With out, *out_len holds its capacity on entry. A
// peer key, when given, must be of the recipient's key type.
int gost3410_kek_enc(const VK_GOST2012_KEYPAIR* recp, const VK_GOST2012_KEYPAIR* peer,
                     const unsigned char* wrap_oid, uint32_t wrap_oid_len,
                     const unsigned char* ukm, uint32_t ukm_len, const unsigned char* cek,
                     uint32_t cek_len, unsigned char* out, uint32_t* out_len);

// Unwraps a key transport with the recipient's private value and the
// sender's (ephemeral) public key. The CEK is written to out (32 bytes)
// only after its MAC has been checked; *out_len becomes 32.
int gost3410_kek_dec(const unsigned char* priv, uint32_t priv_len,
                     const VK_GOST2012_KEYPAIR* sender, const unsigned char* in, uint32_t in_len,
                     unsigned char* out, uint32_t* out_len);

// The 32-byte VKO value of a private value (32 or 64 bytes) and a peer's
// public value on the curve of param_oid (DER), or the default curve of
// the size when the core does not know that set.
int vkc_dh_gost3410_derive(unsigned char* out, uint32_t* out_len, int key_nid,
                           const unsigned char* priv, uint32_t priv_len,
                           const unsigned char* param_oid, uint32_t param_oid_len,
                           const unsigned char* peer_pub, uint32_t peer_pub_len,
                           const unsigned char* ukm, uint32_t ukm_len);

// The CryptoPro key wrap (RFC 4357 6.3) under an already diversified KEK,
// and its check: the unwrapped CEK reaches cek only when the MAC matches
// (compared in constant time); nothing of it is left otherwise.
bool gost_kt_wrap(const Gost28147ExpandedSbox* sbox, uint32_t key_meshing,
                  const unsigned char kek[32], const unsigned char ukm8[8],
                  const unsigned char cek[32], unsigned char enc[32], unsigned char mac[4]);
bool gost_kt_unwrap(const Gost28147ExpandedSbox* sbox, uint32_t key_meshing,
                    const unsigned char kek[32], const unsigned char ukm8[8],
                    const unsigned char enc[32], const unsigned char mac[4], unsigned char cek[32]);

#endif
