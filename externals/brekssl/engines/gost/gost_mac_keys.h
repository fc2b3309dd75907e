// Key types of the GOST MACs (GOST 28147-89, Kuznyechik, Magma): a 32-byte
// key that the MAC digest takes at digest init.
#ifndef ORVEL_GOST_MAC_KEYS_H
#define ORVEL_GOST_MAC_KEYS_H

#include <openssl/evp.h>

inline constexpr int kGostMacKeyLen = 32;
// Digest control that hands the key to a MAC digest.
inline constexpr int kGostMdCtrlSetKey = 0x1004;

struct GostMacPkeyCtxData {
  const EVP_MD* md;
  unsigned int key_set;
  unsigned char key[kGostMacKeyLen];
};

// Slots of the key method and of the key ASN.1 method of a MAC NID; false
// for another NID.
bool gost_mac_pmeth_set_slots(EVP_PKEY_METHOD* pmeth, int nid);
bool gost_mac_ameth_set_slots(EVP_PKEY_ASN1_METHOD* ameth, int nid);

#endif
