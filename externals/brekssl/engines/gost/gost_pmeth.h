// Key methods of the GOST R 34.10 key types and their agreement
// identifiers: parameter and key generation, signing, verification and
// controls, and the key-transport slots of gost_kt_pmeth.h.
#ifndef ORVEL_GOST_PMETH_H
#define ORVEL_GOST_PMETH_H

#include <openssl/evp.h>

#include <cstddef>
#include <cstdint>

// Key-method context data of the GOST R 34.10 key types.
struct GostPkeyCtxData {
  int key_nid;
  int param_nid;
  const EVP_MD* md;
  int second_nid;
  unsigned char* ukm;  // own copy
  uint32_t ukm_len;
  uint32_t peer_key;
};

// Key-context control codes of the system.
inline constexpr int kGostCtrlParamset = 0x1001;   // EVP_PKEY_ALG_CTRL + 1
inline constexpr int kGostCtrlSecondNid = 0x1004;  // EVP_PKEY_ALG_CTRL + 4

// Fills a key method of a GOST R 34.10 key NID or agreement identifier;
// false for another NID.
bool gost_pmeth_set_slots(EVP_PKEY_METHOD* pmeth, int nid);

int pkey_gost2012_sign(EVP_PKEY_CTX* ctx, unsigned char* sig, size_t* siglen,
                       const unsigned char* tbs, size_t tbslen);
int pkey_gost2012_verify(EVP_PKEY_CTX* ctx, const unsigned char* sig, size_t siglen,
                         const unsigned char* tbs, size_t tbslen);
int pkey_vkc_ctrl(EVP_PKEY_CTX* ctx, int type, int p1, void* p2);
int pkey_vkc_ctrl_gost2012_str(EVP_PKEY_CTX* ctx, const char* type, const char* value);

#endif
