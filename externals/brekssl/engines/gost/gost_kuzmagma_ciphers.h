// Kuznyechik and Magma in the GOST R 34.13-2015 modes ECB, CBC, CTR, OFB
// and CFB as toolkit cipher objects. The objects live for the process.
#ifndef ORVEL_GOST_KUZMAGMA_CIPHERS_H
#define ORVEL_GOST_KUZMAGMA_CIPHERS_H

#include <openssl/evp.h>

// Cipher control: IV length of the register modes (CBC, OFB, CFB), a whole
// number of blocks up to 32 bytes; 0 returns to the cipher's IV length at
// cleanup. The IV given at the next init is read with this length.
inline constexpr int kKuzMagmaCtrlSetIvLength = 0x1004;

const EVP_CIPHER* vkc_kuznechik_ecb();
const EVP_CIPHER* vkc_kuznechik_cbc();
const EVP_CIPHER* vkc_kuznechik_ctr();
const EVP_CIPHER* vkc_kuznechik_ofb();
const EVP_CIPHER* vkc_kuznechik_cfb();
const EVP_CIPHER* vkc_magma_ecb();
const EVP_CIPHER* vkc_magma_cbc();
const EVP_CIPHER* vkc_magma_ctr();
const EVP_CIPHER* vkc_magma_ofb();
const EVP_CIPHER* vkc_magma_cfb();

#endif
