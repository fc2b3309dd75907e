#include "engines/gost/gost_pkey.h"

#include <cstdio>

#include "engines/gost/gost_ameth.h"
#include "engines/gost/gost_mac_keys.h"
#include "engines/gost/gost_pkey_engine.h"
#include "engines/gost/gost_pkey_nids.h"
#include "engines/gost/gost_pmeth.h"

int register_ameth_vkc(int nid, EVP_PKEY_ASN1_METHOD** ameth, const char* pemstr,
                       const char* info) {
  if (ameth == nullptr) return 0;
  *ameth = EVP_PKEY_asn1_new(nid, ASN1_PKEY_SIGPARAM_NULL, pemstr, info);
  if (*ameth == nullptr) return 0;
  if (gost_is_key_nid(nid)) {
    gost_ameth_set_full(*ameth);
  } else {
    // Any other NID keeps a bare method.
    gost_mac_ameth_set_slots(*ameth, nid);
  }
  gost_pkey_note_ameth(*ameth);
  return 1;
}

int register_pmeth_vkc(int nid, EVP_PKEY_METHOD** pmeth, int flags) {
  if (pmeth == nullptr) return 0;
  *pmeth = EVP_PKEY_meth_new(nid, flags);
  if (*pmeth == nullptr) return 0;
  if (gost_pmeth_set_slots(*pmeth, nid) || gost_mac_pmeth_set_slots(*pmeth, nid)) return 1;
  fprintf(stderr, "register_pmeth_vkc: Unsupported NID %d\n", nid);
  EVP_PKEY_meth_free(*pmeth);
  *pmeth = nullptr;
  return 0;
}
