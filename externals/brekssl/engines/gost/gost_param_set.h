// GOST 28147-89 parameter sets of the crypto core, found through the
// toolkit's objects: the ciphers and the MAC name their set by NID.
#ifndef ORVEL_GOST_PARAM_SET_H
#define ORVEL_GOST_PARAM_SET_H

#include <openssl/asn1.h>

#include "engines/gost/gost_engine_ctx.h"
#include "gost28147.h"

// The core's set named by an object's identifier; nullptr when the object
// has no identifier or the core does not know it. Prints nothing.
const Gost28147ParamSet* vkc_param_set_by_obj(const ASN1_OBJECT* obj);

// The core's set of a NID; nullptr when the toolkit has no identifier for
// the NID or the core does not know it. Leaves no "unknown nid" error
// behind. Prints nothing.
const Gost28147ParamSet* vkc_param_set_by_nid(int nid);

// The set a cipher or the MAC works with: that of nid, else the engine's
// default. On failure prints "GOST28147_89_FindParByDerOid failed, rc =
// 0x%x\n" and returns nullptr. *used_nid gets the NID of the chosen set.
const Gost28147ParamSet* vkc_choose_param_set(int nid, const VKC2012_ENGINE_CTX* ectx,
                                              int* used_nid);

#endif
