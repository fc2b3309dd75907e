// The settings of the engine context that the key methods read: the
// private-key format of PKCS#8 output and the default parameter sets of key
// generation.
#ifndef ORVEL_GOST_PKEY_ENGINE_H
#define ORVEL_GOST_PKEY_ENGINE_H

#include <openssl/engine.h>

#include "engines/gost/gost_engine_ctx.h"

// The context of the engine that provides the GOST key methods for key_nid
// (an engine whose key ASN.1 method for it was made by register_ameth_vkc);
// nullptr when no such engine has a context attached.
const VKC2012_ENGINE_CTX* gost_pkey_engine_ctx(int key_nid);

// Notes a key ASN.1 method made by register_ameth_vkc.
void gost_pkey_note_ameth(const EVP_PKEY_ASN1_METHOD* ameth);
bool gost_pkey_is_own_ameth(const EVP_PKEY_ASN1_METHOD* ameth);

#endif
