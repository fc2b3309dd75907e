// PKCS#8 containers of GOST private keys written and read with the BER
// codec: a PrivateKeyInfo, and an EncryptedPrivateKeyInfo protected by
// PBES2 with PBKDF2 (RFC 5208, RFC 8018). Exported with the library; the
// system itself does not call them. 1 for success, 0 for failure.
#ifndef ORVEL_GOST_BER_PKCS8_H
#define ORVEL_GOST_BER_PKCS8_H

#include <stdint.h>

#include "orvel_export.h"

ORVEL_EXTERN_C_BEGIN

// Longest private value the decoder writes into its key buffer.
#define ORVEL_GOST_PRIVATE_KEY_MAX 64

// Mode 1 reports the total length only; mode 0 hands over the encoding
// (malloc; the caller frees it). Without a digest OID (null or length 0)
// NULL (05 00) takes its place.
ORVEL_EXPORT int ber_encode_GOST3410PrivateKey(int mode, unsigned char** out, uint32_t* out_len,
                                               const unsigned char* alg_oid, uint32_t alg_oid_len,
                                               const unsigned char* param_oid,
                                               uint32_t param_oid_len,
                                               const unsigned char* digest_oid,
                                               uint32_t digest_oid_len, const unsigned char* key,
                                               uint32_t key_len);

// Reports the two OIDs and the digest parameter whole (pointers into the
// input) and the private value into key (ORVEL_GOST_PRIVATE_KEY_MAX bytes,
// or null to learn the length only). An INTEGER key element is read
// big-endian and written least significant byte first; an OCTET STRING
// element is copied unchanged. A value that does not fit 32 or 64 bytes is
// refused.
ORVEL_EXPORT int ber_decode_GOST3410PrivateKey(const unsigned char* in, uint32_t in_len,
                                               const unsigned char** alg_oid,
                                               uint32_t* alg_oid_len,
                                               const unsigned char** param_oid,
                                               uint32_t* param_oid_len,
                                               const unsigned char** digest,
                                               uint32_t* digest_len, unsigned char* key,
                                               uint32_t* key_len);

// EncryptedPrivateKeyInfo with PBES2/PBKDF2 around the given values, which
// pass unchanged (the iteration count as INTEGER content bytes).
ORVEL_EXPORT int ber_encode_PKCS8_PrivateKeyBag(
    int mode, unsigned char** out, uint32_t* out_len, const unsigned char* salt, uint32_t salt_len,
    const unsigned char* iter, uint32_t iter_len, const unsigned char* prf_oid,
    uint32_t prf_oid_len, const unsigned char* prf_params, uint32_t prf_params_len,
    const unsigned char* cipher_oid, uint32_t cipher_oid_len, const unsigned char* iv,
    uint32_t iv_len, const unsigned char* paramset_oid, uint32_t paramset_oid_len,
    const unsigned char* enc_key, uint32_t enc_key_len);

// The eight values back (pointers into the input): salt, iteration count,
// IV and encrypted key by content, the OIDs and PRF parameters whole.
ORVEL_EXPORT int ber_decode_PKCS8_PrivateKeyBag(
    const unsigned char* in, uint32_t in_len, const unsigned char** salt, uint32_t* salt_len,
    const unsigned char** iter, uint32_t* iter_len, const unsigned char** prf_oid,
    uint32_t* prf_oid_len, const unsigned char** prf_params, uint32_t* prf_params_len,
    const unsigned char** cipher_oid, uint32_t* cipher_oid_len, const unsigned char** paramset_oid,
    uint32_t* paramset_oid_len, const unsigned char** iv, uint32_t* iv_len,
    const unsigned char** enc_key, uint32_t* enc_key_len);

ORVEL_EXTERN_C_END

#endif
