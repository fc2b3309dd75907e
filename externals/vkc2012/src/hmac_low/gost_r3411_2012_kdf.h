/* Key derivation over HMAC_GOSTR3411_2012: PBKDF2 (R 50.1.111-2016),
 * KDF_GOSTR3411_2012_256 and KDF_TREE_GOSTR3411_2012_256 (RFC 7836) and
 * TLSTREE (RFC 9189).
 *
 * Byte strings are first byte first. Functions return 0 for success, -1 for
 * a bad argument, -2 when a work buffer cannot be allocated, else the code
 * of the failing HMAC step; a failed call writes no output. Work buffers
 * are wiped before they are released. */
#ifndef VKC_HMAC_LOW_GOST_R3411_2012_KDF_H
#define VKC_HMAC_LOW_GOST_R3411_2012_KDF_H

#include <stdint.h>

#include "orvel_export.h"

ORVEL_EXTERN_C_BEGIN

/* PBKDF2 with HMAC_GOSTR3411_2012_512; an iteration count of 0 counts as 1;
 * out_len from 1 to 2^31 - 1. */
ORVEL_EXPORT int32_t GOSTR3411_2012_PKCS5_PBKDF2(const uint8_t* password, uint32_t password_len,
                                                 const uint8_t* salt, uint32_t salt_len,
                                                 uint32_t iterations, uint8_t* out,
                                                 uint32_t out_len);

/* HMAC_256(key, 01 || label || 00 || seed || 01 00) into out (32 bytes,
 * which may be the key's buffer). key_len must be 32. */
ORVEL_EXPORT int32_t GOSTR3411_2012_256_KDF(const uint8_t* key, uint32_t key_len,
                                            const uint8_t* label, uint32_t label_len,
                                            const uint8_t* seed, uint32_t seed_len, uint8_t* out);

/* L output bytes, block i = HMAC_256(key, [i]_R || label || 00 || seed ||
 * [8L]_2); R (1..4) is the counter width in bytes. -1 also when the counter
 * or the 16-bit length field cannot hold the output's block count or bit
 * length. */
ORVEL_EXPORT int32_t GOSTR3411_2012_256_KDF_TREE(const uint8_t* key, uint32_t key_len,
                                                 const uint8_t* label, uint32_t label_len,
                                                 const uint8_t* seed, uint32_t seed_len,
                                                 uint32_t counter_len, uint32_t out_len,
                                                 uint8_t* out);

/* TLSTREE key for a record sequence number; key type 1 Magma, 2 Kuznyechik
 * (-13 otherwise). out (32 bytes) may be the key's buffer. */
ORVEL_EXPORT int32_t GOSTR3411_2012_256_TLS_TREE(const uint8_t* key, uint32_t key_len,
                                                 uint32_t key_type, uint64_t seq_num, uint8_t* out);

ORVEL_EXTERN_C_END

#endif
