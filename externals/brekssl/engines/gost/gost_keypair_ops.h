// Glue between the key object and the crypto core: key generation, public
// values, signing and verification.
#ifndef ORVEL_GOST_KEYPAIR_OPS_H
#define ORVEL_GOST_KEYPAIR_OPS_H

#include <cstddef>
#include <cstdint>

#include "engines/gost/gost_keypair.h"

// Generates a key pair into a key whose key NID and parameter set are set;
// 1 on success.
int vkc_gost2012_keygen_wrapper(VK_GOST2012_KEYPAIR* key);

// A new key object of key_nid with a generated pair on param_nid, or
// nullptr with a message.
VK_GOST2012_KEYPAIR* GOST3410_generate_key(int key_nid, int param_nid);

// Computes the public value from the private value; 1 on success.
int vkc_gost2012_compute_public_wrapper(VK_GOST2012_KEYPAIR* key);

// Signs a digest of 32 or 64 bytes, at least the key's size (the core reads
// that many), into sig, which holds sig_cap bytes; the signature is s then
// r, big-endian, 64 or 128 bytes. 1 on success.
int vkc_gost2012_do_sign(const unsigned char* dgst, size_t dgst_len, unsigned char* sig,
                         size_t sig_cap, const VK_GOST2012_KEYPAIR* key);

// 1 for a valid signature of exactly the key's signature size over a digest
// as for signing; 0 otherwise.
int vkc_gost2012_do_verify(const unsigned char* dgst, size_t dgst_len, const unsigned char* sig,
                           size_t sig_len, const VK_GOST2012_KEYPAIR* key);

// Verification on the curve named by a DER identifier; the lengths must
// match the public length. 1 for a valid signature.
int gost3410_verify(const unsigned char* sig, size_t sig_len, const unsigned char* dgst,
                    size_t dgst_len, const unsigned char* der, uint32_t der_len,
                    const unsigned char* pub, uint32_t pub_len);

// Writes (d * m^-1 mod q) || m, the masked form of the key's private value,
// with a fresh random m; out holds twice the private length. 1 on success.
int gost_mask_private_key(const VK_GOST2012_KEYPAIR* key, unsigned char* out);

// d = a * m mod q from a masked value of twice the private length, into the
// key's private value. 1 on success.
int gost_unmask_private_key(VK_GOST2012_KEYPAIR* key, const unsigned char* masked);

#endif
