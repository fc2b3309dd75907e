// Context of the "gost" engine: the defaults its ciphers, key methods and
// PKCS#8 code read. Held in the engine's extra-data slot 0 (the toolkit
// keeps slot 0 of every class for this use and never frees it itself).
#ifndef ORVEL_GOST_ENGINE_CTX_H
#define ORVEL_GOST_ENGINE_CTX_H

#include <openssl/engine.h>

#include <cstdint>

// DER of the default GOST 28147-89 parameter-set identifier: tag, length,
// at most 14 content bytes; zero-filled after the DER.
inline constexpr int kVkcParamOidMax = 16;

struct VKC2012_ENGINE_CTX {
  uint8_t gost28147_param_oid[kVkcParamOidMax];
  int32_t gost28147_param_nid;
  int32_t pbe_prf_nid;
  int32_t gost2001_param_nid;
  int32_t gost2012_256_param_nid;
  int32_t gost2012_512_param_nid;
  int32_t pk_format;  // 1 MASKED, 0 LEGACY
};

inline constexpr int kVkcEngineCtxIndex = 0;
inline constexpr int32_t kVkcPkFormatLegacy = 0;
inline constexpr int32_t kVkcPkFormatMasked = 1;

// The context attached to an engine; nullptr when there is none.
VKC2012_ENGINE_CTX* vkc_engine_ctx_of(const ENGINE* e);

// The context of the bound "gost" engine; nullptr (after printing
// "ENGINE_get_ex_data failed\n") when no engine is bound or it has none.
VKC2012_ENGINE_CTX* vkc_engine_ctx();

// Length of the DER identifier held in a context (0 when it holds none).
int vkc_engine_param_oid_len(const VKC2012_ENGINE_CTX* ctx);

#endif
