#include "engines/gost/gost_key_params.h"

#include <openssl/objects.h>

#include "engines/gost/gost_pkey_nids.h"

// The digest parameter set is OPTIONAL here although RFC 4491 makes it
// mandatory: RFC 9215 omits it for 512-bit keys and the TC26 256-bit sets.
// Encoding always fills it.
ASN1_SEQUENCE(VKC_GOST2012_KEY_PARAMS) =
    {
        ASN1_SIMPLE(VKC_GOST2012_KEY_PARAMS, key_params, ASN1_OBJECT),
        ASN1_OPT(VKC_GOST2012_KEY_PARAMS, hash_params, ASN1_OBJECT),
        ASN1_OPT(VKC_GOST2012_KEY_PARAMS, cipher_params, ASN1_OBJECT),
} ASN1_SEQUENCE_END(VKC_GOST2012_KEY_PARAMS)

        IMPLEMENT_ASN1_FUNCTIONS(VKC_GOST2012_KEY_PARAMS)

            int gost2012_key_params_default_digest(int key_nid) {
  if (key_nid == gost_nid_key_2012_512()) return gost_nid_md_2012_512();
  if (key_nid == gost_nid_key_2012_256()) return gost_nid_md_2012_256();
  if (key_nid == gost_nid_key_2001()) return NID_id_GostR3411_94_CryptoProParamSet;
  return NID_undef;
}
