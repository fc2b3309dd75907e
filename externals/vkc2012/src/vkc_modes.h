/* GOST R 34.13-2015 modes of operation for Kuznyechik (n = 16) and Magma
 * (n = 8): ECB, CBC, OFB, CFB, CTR and the MAC (OMAC), with the padding of
 * the standard's procedure 2 and the known-answer self-tests that every
 * initialisation runs.
 *
 * Keys, blocks, IVs, counters and tags are byte strings as the standard
 * prints them, most significant byte first. m is the register length (the
 * IV length of CBC, OFB and CFB, a multiple of n), s the segment length
 * (OFB, CFB, CTR) or the tag length (MAC). Every context carries its state
 * from one update call to the next, so a message fed in pieces gives the
 * same output as in one piece. Input and output of an update may be the
 * same buffer (or not overlap at all).
 *
 * Codes: 0 success; -1 NULL pointer; -4 zero length of an update, m or s
 * out of range; -6 length or m not a multiple of n; -14 the mode's
 * known-answer test failed; -15 no valid padding; -152 context not
 * initialised for this mode and cipher. A failing call writes no output
 * and leaves the context as it was. */
#ifndef VKC_MODES_H
#define VKC_MODES_H

#include <stdint.h>

#include "orvel_export.h"

ORVEL_EXTERN_C_BEGIN

#define VKC_MODE_MAX_REGISTER 256 /* bytes; Magma allows 128 */
#define VKC_MODE_MAX_BLOCK 16

/* Caller-owned mode state, filled by an init (which zeroes it first);
 * nothing inside is allocated. The caller wipes it when done. */
typedef struct VkcModeContext {
  uint8_t key[32];
  uint8_t encrypt; /* non-zero: encrypt */
  union {
    uint8_t kuznyechik[160]; /* ten 16-byte round keys (decryption keys for ECB/CBC decrypt) */
    uint32_t magma[8];       /* K1..K8 */
  } round_keys;
  uint8_t iv[VKC_MODE_MAX_REGISTER];      /* CBC: the IV as given */
  uint8_t reg[VKC_MODE_MAX_REGISTER];     /* register R (CBC, OFB, CFB) */
  uint8_t scratch[VKC_MODE_MAX_REGISTER]; /* register repacking */
  uint64_t m;                             /* register length */
  uint64_t s;                             /* segment or tag length */
  uint8_t counter[VKC_MODE_MAX_BLOCK];    /* CTR counter block */
  uint8_t gamma[VKC_MODE_MAX_BLOCK];      /* Y of the current segment */
  uint8_t segment[VKC_MODE_MAX_BLOCK];    /* CFB: ciphertext of the current segment */
  uint64_t position;                      /* bytes of the current segment used */
  /* MAC */
  uint8_t k1[VKC_MODE_MAX_BLOCK];
  uint8_t k2[VKC_MODE_MAX_BLOCK];
  uint8_t b_n[VKC_MODE_MAX_BLOCK];  /* constant B_n */
  uint8_t l[VKC_MODE_MAX_BLOCK];    /* E_K(0^n) */
  uint8_t c[VKC_MODE_MAX_BLOCK];    /* running value C */
  uint8_t held[VKC_MODE_MAX_BLOCK]; /* the last 1..n bytes, not yet absorbed */
  uint64_t held_len;
  uint8_t initialised; /* 0, or the mode and cipher it was initialised for */
} VkcModeContext;

ORVEL_EXPORT int32_t vkc_kuznyechik_ecb_init(VkcModeContext* ctx, uint8_t encrypt,
                                             const uint8_t* key);
ORVEL_EXPORT int32_t vkc_kuznyechik_cbc_init(VkcModeContext* ctx, uint8_t encrypt,
                                             const uint8_t* key, const uint8_t* iv, uint64_t m);
ORVEL_EXPORT int32_t vkc_kuznyechik_ofb_init(VkcModeContext* ctx, uint8_t encrypt,
                                             const uint8_t* key, uint64_t s, const uint8_t* iv,
                                             uint64_t m);
ORVEL_EXPORT int32_t vkc_kuznyechik_cfb_init(VkcModeContext* ctx, uint8_t encrypt,
                                             const uint8_t* key, uint64_t s, const uint8_t* iv,
                                             uint64_t m);
/* iv: n/2 = 8 bytes. */
ORVEL_EXPORT int32_t vkc_kuznyechik_ctr_init(VkcModeContext* ctx, uint8_t encrypt,
                                             const uint8_t* key, uint64_t s, const uint8_t* iv);
ORVEL_EXPORT int32_t vkc_kuznyechik_mac_init(VkcModeContext* ctx, const uint8_t* key, uint64_t s);

ORVEL_EXPORT int32_t vkc_magma_ecb_init(VkcModeContext* ctx, uint8_t encrypt, const uint8_t* key);
ORVEL_EXPORT int32_t vkc_magma_cbc_init(VkcModeContext* ctx, uint8_t encrypt, const uint8_t* key,
                                        const uint8_t* iv, uint64_t m);
ORVEL_EXPORT int32_t vkc_magma_ofb_init(VkcModeContext* ctx, uint8_t encrypt, const uint8_t* key,
                                        uint64_t s, const uint8_t* iv, uint64_t m);
ORVEL_EXPORT int32_t vkc_magma_cfb_init(VkcModeContext* ctx, uint8_t encrypt, const uint8_t* key,
                                        uint64_t s, const uint8_t* iv, uint64_t m);
/* iv: n/2 = 4 bytes. */
ORVEL_EXPORT int32_t vkc_magma_ctr_init(VkcModeContext* ctx, uint8_t encrypt, const uint8_t* key,
                                        uint64_t s, const uint8_t* iv);
ORVEL_EXPORT int32_t vkc_magma_mac_init(VkcModeContext* ctx, const uint8_t* key, uint64_t s);

/* The output receives exactly len bytes. ECB and CBC take whole blocks. */
ORVEL_EXPORT int32_t vkc_kuznyechik_ecb_update(VkcModeContext* ctx, const uint8_t* in, uint8_t* out,
                                               uint64_t len);
ORVEL_EXPORT int32_t vkc_kuznyechik_cbc_update(VkcModeContext* ctx, const uint8_t* in, uint8_t* out,
                                               uint64_t len);
ORVEL_EXPORT int32_t vkc_kuznyechik_ofb_update(VkcModeContext* ctx, const uint8_t* in, uint8_t* out,
                                               uint64_t len);
ORVEL_EXPORT int32_t vkc_kuznyechik_cfb_update(VkcModeContext* ctx, const uint8_t* in, uint8_t* out,
                                               uint64_t len);
ORVEL_EXPORT int32_t vkc_kuznyechik_ctr_update(VkcModeContext* ctx, const uint8_t* in, uint8_t* out,
                                               uint64_t len);
ORVEL_EXPORT int32_t vkc_magma_ecb_update(VkcModeContext* ctx, const uint8_t* in, uint8_t* out,
                                          uint64_t len);
ORVEL_EXPORT int32_t vkc_magma_cbc_update(VkcModeContext* ctx, const uint8_t* in, uint8_t* out,
                                          uint64_t len);
ORVEL_EXPORT int32_t vkc_magma_ofb_update(VkcModeContext* ctx, const uint8_t* in, uint8_t* out,
                                          uint64_t len);
ORVEL_EXPORT int32_t vkc_magma_cfb_update(VkcModeContext* ctx, const uint8_t* in, uint8_t* out,
                                          uint64_t len);
ORVEL_EXPORT int32_t vkc_magma_ctr_update(VkcModeContext* ctx, const uint8_t* in, uint8_t* out,
                                          uint64_t len);

/* MAC: updates of any length (0 does nothing); final writes s tag bytes and
 * changes nothing, so later updates continue the same message. */
ORVEL_EXPORT int32_t vkc_kuznyechik_mac_update(VkcModeContext* ctx, const uint8_t* data,
                                               uint64_t len);
ORVEL_EXPORT int32_t vkc_kuznyechik_mac_final(VkcModeContext* ctx, uint8_t* tag);
ORVEL_EXPORT int32_t vkc_magma_mac_update(VkcModeContext* ctx, const uint8_t* data, uint64_t len);
ORVEL_EXPORT int32_t vkc_magma_mac_final(VkcModeContext* ctx, uint8_t* tag);

/* One-shot MACs: self-test, then init, update and final on a context of
 * their own, wiped afterwards. */
ORVEL_EXPORT int32_t vkc_kuznyechik_mac(const uint8_t* key, uint64_t s, const uint8_t* data,
                                        uint64_t len, uint8_t* tag);
ORVEL_EXPORT int32_t vkc_magma_mac(const uint8_t* key, uint64_t s, const uint8_t* data,
                                   uint64_t len, uint8_t* tag);

/* Padding procedure 2: 0x80 at buf[len], then zeros up to the next multiple
 * of block_size (a whole block for aligned data); the caller provides the
 * room. Returns the new length; -1 for a NULL buffer or a block size of 0;
 * vkc_padd_back also -4 for len 0. */
ORVEL_EXPORT int64_t vkc_padd(uint8_t* buf, uint64_t len, uint64_t block_size);
ORVEL_EXPORT int64_t vkc_padd_back(uint8_t* buf, uint64_t len, uint64_t block_size);
/* Length without the padding: -1 NULL buffer, -4 len 0, -15 no valid
 * padding (also for len below 2). */
ORVEL_EXPORT int64_t vkc_unpadd(const uint8_t* buf, uint64_t len);

ORVEL_EXTERN_C_END

#endif
