// The settings of the engine context that the key methods read: the
// private-key format of PKCS#8 output and the default parameter sets of key
// generation.
#ifndef ORVEL_GOST_PKEY_ENGINE_H
#define ORVEL_GOST_PKEY_ENGINE_H

#include <cstdint>

#include <openssl/engine.h>

// Layout of the engine context held in extra-data slot 0 of the "gost"
// engine (and of the "pkcs11" engine's own context).
struct GostPkeyEngineCtxView {
  unsigned char params_28147_oid[16];
  int params_28147_nid;
  int pbe_prf_nid;
  int paramset_2001;
  int paramset_2012_256;
  int paramset_2012_512;
  int pk_format;  // kGostPkFormatLegacy or kGostPkFormatMasked
};

inline constexpr int kGostPkFormatLegacy = 0;
inline constexpr int kGostPkFormatMasked = 1;

// The context of the engine that provides the GOST key methods for key_nid
// (an engine whose key ASN.1 method for it was made by register_ameth_vkc);
// nullptr when no such engine has a context attached.
const GostPkeyEngineCtxView* gost_pkey_engine_ctx(int key_nid);

// Notes a key ASN.1 method made by register_ameth_vkc.
void gost_pkey_note_ameth(const EVP_PKEY_ASN1_METHOD* ameth);
bool gost_pkey_is_own_ameth(const EVP_PKEY_ASN1_METHOD* ameth);

#endif
