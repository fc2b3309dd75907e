/* GOST 28147-89: expanded S-boxes, streaming context, one-shot modes, block
 * workers, CryptoPro key meshing and key diversification, parameter sets.
 *
 * Byte order: blocks, IVs and MAC values are two 32-bit words and keys eight,
 * each word read and written little-endian. All functions return 0 for
 * success and a negative code for failure unless noted. */
#ifndef VKC_GOST28147_H
#define VKC_GOST28147_H

#include <stdint.h>

#include "orvel_export.h"

ORVEL_EXTERN_C_BEGIN

/* An S-box in expanded form (4,100 bytes): table k maps byte k of a word to
 * the substituted nibbles of that byte, shifted into place and rotated left
 * by 11, so that one round function is the XOR of four look-ups. The last
 * word is the "initialised" mark (1 in every stored table). */
typedef struct Gost28147ExpandedSbox {
  uint32_t table[4][256];
  uint32_t initialised;
} Gost28147ExpandedSbox;

/* Data argument of the streaming and one-shot functions. For an output it
 * carries the capacity on entry and the number of bytes written on return. */
typedef struct GostBuffer {
  uint32_t length;
  uint8_t* data;
} GostBuffer;

/* Mode codes. */
enum {
  GOST28147_MODE_ECB = 1,
  GOST28147_MODE_CFB = 2,
  GOST28147_MODE_CNT = 3,
  GOST28147_MODE_CBC = 4,
  GOST28147_MODE_IMITO = 5,
  GOST28147_MODE_CBC_KEEP_IV = 6
};

/* Flags of the one-shots and of the context. */
enum { GOST28147_FLAG_FIRST = 1, GOST28147_FLAG_LAST = 2 };

/* Return codes. */
enum {
  GOST28147_ERR_PARAM = -1,
  GOST28147_ERR_SBOX = -2,
  GOST28147_ERR_LENGTH = -4,
  GOST28147_ERR_PARTIAL = -6,
  GOST28147_ERR_UNINIT = -152,
  GOST28147_ERR_NO_DATA = -153,
  GOST28147_ERR_MODE = -1102
};

/* Streaming context; owned by the caller, no allocation inside. */
typedef struct Gost28147Context {
  Gost28147ExpandedSbox sbox; /* private copy taken by Init */
  uint32_t mode;
  uint32_t reserved1;
  uint32_t key_meshing; /* 1 = CryptoPro key meshing */
  uint32_t reserved2;
  uint32_t key[8];      /* replaced at each key meshing */
  uint32_t reg[2];      /* IV, chaining value, feedback or counter register */
  uint32_t mesh_count;  /* bytes since the last key meshing, 0..1024 */
  uint8_t partial[8];   /* buffered input, or the last gamma block */
  uint32_t mac[2];      /* running MAC; after Final the 8 MAC bytes */
  uint32_t buffered;
  uint8_t initialised;
  uint8_t encrypt;
  uint8_t flags;
} Gost28147Context;

/* GOST 28147-89 parameter set; linked into the registry through next. */
typedef struct Gost28147ParamSet {
  uint32_t oid_len;
  const uint8_t* oid_der;
  const char* oid_dotted;
  const char* name;
  const Gost28147ExpandedSbox* sbox;
  uint8_t mode;
  uint8_t key_meshing;
  struct Gost28147ParamSet* next;
} Gost28147ParamSet;

/* GOST R 34.11-94 parameter set. */
typedef struct Gost3411_94ParamSet {
  uint32_t oid_len;
  const uint8_t* oid_der;
  const char* oid_dotted;
  const char* name;
  const Gost28147ExpandedSbox* sbox;
} Gost3411_94ParamSet;

/* Argument of GOST28147_89_crypto_pro_key_meshing. */
typedef struct Gost28147KeyMeshingRecord {
  void* reserved;
  GostBuffer* sbox; /* data: the expanded S-box */
  GostBuffer* key;  /* data: the eight key words */
  uint32_t reg[2];
} Gost28147KeyMeshingRecord;

/* Streaming context. */
ORVEL_EXPORT int32_t GOST28147_89_Init(Gost28147Context* ctx, uint8_t encrypt,
                                       const Gost28147ExpandedSbox* sbox, uint32_t mode,
                                       uint32_t reserved1, uint32_t key_meshing,
                                       uint32_t reserved2, const uint8_t* iv,
                                       const uint8_t* key);
ORVEL_EXPORT int32_t GOST28147_89_Update(Gost28147Context* ctx, const GostBuffer* in,
                                         GostBuffer* out);
ORVEL_EXPORT int32_t GOST28147_89_Final(Gost28147Context* ctx);
ORVEL_EXPORT int32_t GOST28147_89_Reset(Gost28147Context* ctx);

/* CryptoPro key diversification (RFC 4357 6.5); out may be key. */
ORVEL_EXPORT int32_t GOST28147_89_KDF(const Gost28147ExpandedSbox* sbox, const uint8_t* key,
                                      const uint8_t* ukm, uint8_t* out);

/* One-shot modes over caller-kept register and key words. */
ORVEL_EXPORT int32_t VKC_Gost_SS_m(const Gost28147ExpandedSbox* sbox, const GostBuffer* in,
                                   GostBuffer* out, const uint32_t* key, uint8_t encrypt);
ORVEL_EXPORT int32_t VKC_Gost_CBC_m(const Gost28147ExpandedSbox* sbox, const GostBuffer* in,
                                    GostBuffer* out, uint32_t* reg, const uint32_t* key,
                                    uint8_t encrypt);
ORVEL_EXPORT int32_t VKC_Gost_Gamm_m(const Gost28147ExpandedSbox* sbox, const GostBuffer* in,
                                     GostBuffer* out, uint32_t* reg, const uint32_t* key,
                                     uint8_t flags);
ORVEL_EXPORT int32_t VKC_Gost_GFB_m(const Gost28147ExpandedSbox* sbox, const GostBuffer* in,
                                    GostBuffer* out, uint32_t* reg, const uint32_t* key,
                                    uint8_t encrypt, uint8_t flags);
ORVEL_EXPORT int32_t VKC_Gost_Imito_m(const Gost28147ExpandedSbox* sbox, const GostBuffer* in,
                                      GostBuffer* out, const uint32_t* key, uint8_t flags);
ORVEL_EXPORT int32_t make_last_block(const uint8_t* in, uint32_t length, uint8_t* block,
                                     uint32_t* tail, uint32_t* whole_blocks, uint8_t flags);

/* Key meshing. */
ORVEL_EXPORT int32_t GOST28147_89_crypto_pro_key_meshing_engine(
    const Gost28147ExpandedSbox* sbox, uint32_t* reg, uint32_t* key);
ORVEL_EXPORT int32_t GOST28147_89_crypto_pro_key_meshing(Gost28147KeyMeshingRecord* rec);
ORVEL_EXPORT int32_t GOST28147_89_make_key_meshing(Gost28147Context* ctx);

/* 64-bit block workers. */
ORVEL_EXPORT void vkc_gost_encr_64_m(const uint32_t* in, uint32_t* out, const uint32_t* key,
                                     const Gost28147ExpandedSbox* sbox);
ORVEL_EXPORT void vkc_gost_decr_64_m(const uint32_t* in, uint32_t* out, const uint32_t* key,
                                     const Gost28147ExpandedSbox* sbox);
ORVEL_EXPORT void vkc_gost_imito_64_m(const uint32_t* in, uint32_t* mac, const uint32_t* key,
                                      const Gost28147ExpandedSbox* sbox);
ORVEL_EXPORT void vkc_gost_gamm_64_m(const uint32_t* in, uint32_t* out, uint32_t* reg,
                                     const uint32_t* key, const Gost28147ExpandedSbox* sbox);
ORVEL_EXPORT void vkc_gost_GFB_64_m(const uint32_t* in, uint32_t* out, uint32_t* reg,
                                    const uint32_t* key, const Gost28147ExpandedSbox* sbox,
                                    uint8_t encrypt);
ORVEL_EXPORT void vkc_gost_cbc_64_m(const uint32_t* in, uint32_t* out, uint32_t* reg,
                                    const uint32_t* key, const Gost28147ExpandedSbox* sbox,
                                    uint8_t encrypt);

/* Parameter sets and their registry. */
ORVEL_EXPORT Gost28147ParamSet* GOST28147_89_GetPar(uint32_t index);
ORVEL_EXPORT Gost28147ParamSet* GOST28147_89_GetDefaultPar(void);
ORVEL_EXPORT int32_t GOST28147_89_RegisterPar(Gost28147ParamSet* par);
ORVEL_EXPORT int32_t GOST28147_89_UnregisterPar(const uint8_t* oid_der, uint32_t oid_len);
ORVEL_EXPORT int32_t GOST28147_89_RegisterCryptoProPar(void);
ORVEL_EXPORT int32_t GOST28147_89_FindParByDerOid(const uint8_t* oid_der, uint32_t oid_len,
                                                  Gost28147ParamSet** out);
ORVEL_EXPORT int32_t GOST28147_89_FindParByOidName(const char* name, Gost28147ParamSet** out);
ORVEL_EXPORT int32_t GOST28147_89_FindParByDottedOid(const char* dotted,
                                                     Gost28147ParamSet** out);
ORVEL_EXPORT int32_t GOST28147_89_CopyPar(const Gost28147ParamSet* par, Gost28147ParamSet** out);
ORVEL_EXPORT int32_t GOST28147_89_SetModePar(Gost28147ParamSet* par, uint8_t mode);
ORVEL_EXPORT int32_t GOST28147_89_SetKeyMeshingPar(Gost28147ParamSet* par, uint8_t flag);
ORVEL_EXPORT int32_t GOST28147_89_SetOIDPar(Gost28147ParamSet* par, const uint8_t* oid_der,
                                            uint32_t oid_len, const char* oid_dotted,
                                            const char* name);

ORVEL_EXPORT const Gost3411_94ParamSet* GOSTR3411_94_GetPar(uint32_t index);
ORVEL_EXPORT const Gost3411_94ParamSet* GOSTR3411_94_GetDefaultPar(void);
ORVEL_EXPORT int32_t GOSTR3411_94_FindParByDerOid(const uint8_t* oid_der, uint32_t oid_len,
                                                  const Gost3411_94ParamSet** out);
ORVEL_EXPORT int32_t GOSTR3411_94_FindParByOidName(const char* name,
                                                   const Gost3411_94ParamSet** out);
ORVEL_EXPORT int32_t GOSTR3411_94_FindParByDottedOid(const char* dotted,
                                                     const Gost3411_94ParamSet** out);

ORVEL_EXTERN_C_END

#endif
