// GOST 28147-89 as toolkit cipher objects: gamma with feedback (gost89, the
// system's content cipher), gamma (gost89-cnt), CBC (gost89-cbc), strict CBC
// (gost89-cbcstrict, key meshing leaves the chaining value alone) and simple
// substitution (gost89-ecb). The objects live for the process.
#ifndef ORVEL_GOST_CIPHERS_H
#define ORVEL_GOST_CIPHERS_H

#include <openssl/evp.h>

// Cipher controls of the GOST 28147-89 objects beyond the toolkit's own.
inline constexpr int kVkcCtrlSetParamSet = 0x1001;  // arg: parameter-set NID
inline constexpr int kVkcCtrlSetMode = 0x1002;      // gost89 only; arg: toolkit mode
inline constexpr int kVkcCtrlGetMode = 0x1003;      // gost89 only; ptr: int

// gost89: CFB; the core mode can be switched with kVkcCtrlSetMode.
const EVP_CIPHER* EVP_gost28147();
const EVP_CIPHER* vkc_cipher_gost89_cnt();
const EVP_CIPHER* vkc_cipher_gost89_cbc();
const EVP_CIPHER* vkc_cipher_gost89_cbcstrict();
const EVP_CIPHER* vkc_cipher_gost89_ecb();

#endif
