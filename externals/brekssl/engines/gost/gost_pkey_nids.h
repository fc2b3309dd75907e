// This process's numbers of the objects the GOST key types work with. Stock
// objects use the toolkit's names; the others come from the object registry.
#ifndef ORVEL_GOST_PKEY_NIDS_H
#define ORVEL_GOST_PKEY_NIDS_H

#include <openssl/obj_mac.h>

#include "objects/ssf_objects.h"

inline int gost_nid_key_2001() { return NID_id_GostR3410_2001; }
inline int gost_nid_key_2012_256() { return ssf_nid_gost2012_256(); }
inline int gost_nid_key_2012_512() { return ssf_nid_gost2012_512(); }
inline int gost_nid_dh_2001() { return NID_id_GostR3410_2001DH; }
inline int gost_nid_dh_2012_256() { return ssf_nid_id_tc26_agreement_gost_3410_2012_256(); }
inline int gost_nid_dh_2012_512() { return ssf_nid_id_tc26_agreement_gost_3410_2012_512(); }
inline int gost_nid_mac_28147() { return NID_id_Gost28147_89_MAC; }
inline int gost_nid_mac_kuznechik() { return ssf_nid_kuznechik_mac(); }
inline int gost_nid_mac_magma() { return ssf_nid_magma_mac(); }
inline int gost_nid_md_94() { return NID_id_GostR3411_94; }
inline int gost_nid_md_2012_256() { return ssf_nid_md_gost12_256(); }
inline int gost_nid_md_2012_512() { return ssf_nid_md_gost12_512(); }

// The signing key type an agreement identifier is read as (the type itself
// for the signing types and every other NID).
inline int gost_signing_key_nid(int nid) {
  if (nid == gost_nid_dh_2001()) return gost_nid_key_2001();
  if (nid == gost_nid_dh_2012_256()) return gost_nid_key_2012_256();
  if (nid == gost_nid_dh_2012_512()) return gost_nid_key_2012_512();
  return nid;
}

inline bool gost_is_signing_key_nid(int nid) {
  return nid != NID_undef && (nid == gost_nid_key_2001() || nid == gost_nid_key_2012_256() ||
                              nid == gost_nid_key_2012_512());
}

inline bool gost_is_key_nid(int nid) {
  return gost_is_signing_key_nid(nid) ||
         (nid != NID_undef && (nid == gost_nid_dh_2001() || nid == gost_nid_dh_2012_256() ||
                               nid == gost_nid_dh_2012_512()));
}

#endif
