// Shared types and helpers of the "pkcs11" engine: the module cache, the
// token key record, the key-operation data and the engine's parameters.
#ifndef ORVEL_PKCS11_ENGINE_H
#define ORVEL_PKCS11_ENGINE_H

#include <openssl/engine.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/safestack.h>
#include <openssl/x509.h>

#include <cstdint>
#include <vector>

#include "engines/gost/gost_keypair.h"
#include "engines/gost/gost_pmeth.h"
#include "engines/pkcs11/pk11_types.h"

// One loaded PKCS#11 module, shared by every key and operation that uses
// its path.
struct Pkcs11ModuleEntry {
  char* path;
  void* handle;
  CK_FUNCTION_LIST* p11;
  uint32_t refs;
};

// The inner key of a token key: the "gost" engine's key object first, so
// that its printing and verification read the key as one of their own (no
// private value is ever set), then the token's fields. A public key decoded
// by this engine's methods has no token (lib null). RSA token keys use the
// token fields only.
struct Pkcs11TokenKey {
  VK_GOST2012_KEYPAIR key;  // key_nid 0 for RSA keys
  Pkcs11ModuleEntry* lib;
  CK_SESSION_HANDLE session;
  CK_OBJECT_HANDLE priv;
};

// Key-operation data: the "gost" engine's fields first (its key-transport
// encryption reads them), then the token's.
struct Pkcs11PkeyData {
  GostPkeyCtxData gost;
  char* label;
  int32_t slot;  // 0: the first slot with a token
};

// Control commands.
inline constexpr int kPkcs11CmdAttachApi = 200;
inline constexpr int kPkcs11CmdLogin = 201;
inline constexpr int kPkcs11CmdEnumTokens = 202;
inline constexpr int kPkcs11CmdShowTokens = 203;
inline constexpr int kPkcs11CmdEnumKeys = 204;
inline constexpr int kPkcs11CmdShowKeys = 205;
inline constexpr int kPkcs11CmdLoadCerts = 206;
inline constexpr int kPkcs11CmdShowCerts = 207;
inline constexpr int kPkcs11CmdLast = 208;

// Key-context controls of the token key methods.
inline constexpr int kPkcs11CtrlLabel = 0x1001;
inline constexpr int kPkcs11CtrlSlot = 0x1002;
inline constexpr int kPkcs11CtrlParamset = 0x1003;

inline constexpr CK_ULONG kPkcs11MaxObjects = 256;
inline constexpr size_t kPkcs11MaxId = 20;

// Parameters: 0 module path (ATTACH_API), 1 user PIN (LOGIN); 2-8 kept.
const char* pkcs11_param(int index);
int pkcs11_set_default_param(int index, const char* value);

// Module cache. load takes a reference of the module named by parameter 0
// (loading and initialising it on first use); free drops one.
Pkcs11ModuleEntry* pkcs11_load_library();
int pkcs11_free_library(Pkcs11ModuleEntry* entry);
// References held on a module path (0 when it is not loaded).
uint32_t pkcs11_library_refs(const char* path);

// Slots with a token, at most kPkcs11MaxObjects; CKR_OK or the failing value.
CK_RV pkcs11_token_slots(CK_FUNCTION_LIST* p11, std::vector<CK_SLOT_ID>* slots);

// Diagnostics on the standard error stream.
void pkcs11_log_err(const char* format, ...) __attribute__((format(printf, 1, 2)));
void pkcs11_log_write(const char* format, ...) __attribute__((format(printf, 1, 2)));

// A copy without trailing blanks (length below 0: the string's length).
char* strdup_unpadded(const char* text, int length);
// SHA-1 over the DER OCTET STRING of a public value; 1.
int pkcs11_id_gen(const unsigned char* value, uint32_t length, unsigned char id[20]);

// Token keys.
EVP_PKEY* MakeTokenPrivateKey(ENGINE* e, Pkcs11ModuleEntry* lib, CK_SESSION_HANDLE session,
                              CK_OBJECT_HANDLE priv, CK_OBJECT_HANDLE pub);
int FreeTokenPKey(Pkcs11TokenKey* key);
// The toolkit key of a key record made while this engine's methods are the
// default for the key type; takes the record on success.
EVP_PKEY* pkcs11_wrap_gost_key(ENGINE* e, Pkcs11TokenKey* rec);
// The same for a given toolkit key; 1 on success.
int pkcs11_assign_gost_key(ENGINE* e, EVP_PKEY* key, Pkcs11TokenKey* rec);

// RSA method, completed by the engine's init.
RSA_METHOD* pkcs11_rsa_method();
int pkcs11_rsa_complete();

// One slot's search for the key of a certificate (or, without one, of the
// "ID:" text in key_id); 0 with *key set, or 5.
int find_cert_on_token(ENGINE* e, X509* cert, const char* key_id, const char* pin,
                       Pkcs11ModuleEntry* lib, CK_SLOT_ID slot, EVP_PKEY** key);

// Private-key loader of the engine.
EVP_PKEY* pkcs11_load_privkey(ENGINE* e, const char* key_id, UI_METHOD* ui, void* cb_data);

// Listings.
int pkcs11_enum_tokens(STACK_OF(OPENSSL_STRING) * *ids);
int pkcs11_enum_keys(STACK_OF(OPENSSL_STRING) * *ids);
// Mode 1 (certificates backed by a key pair only) puts the "token=<module>"
// profile text into each certificate's extra-data slot 0; the text goes
// with the certificate.
int pkcs11_load_certs(int mode, STACK_OF(X509) * *certs);

// Key methods.
bool pkcs11_build_methods();
// Drops the pointers to the methods after the toolkit freed them with the
// engine.
void pkcs11_forget_methods();
int pkcs11_pkey_meths(ENGINE* e, EVP_PKEY_METHOD** pmeth, const int** nids, int nid);
int pkcs11_pkey_asn1_meths(ENGINE* e, EVP_PKEY_ASN1_METHOD** ameth, const int** nids, int nid);
// The record of a key handled by this engine's GOST methods, else nullptr.
Pkcs11TokenKey* pkcs11_token_key_of(const EVP_PKEY* pkey);

// Key-transport decryption on the token (the engine's decrypt slot): 32
// with the key in out, the size query (no out) answered with 32, -1 on
// failure, a buffer of fewer than 32 bytes included.
int TOKEN_PKEY_decrypt(EVP_PKEY_CTX* ctx, unsigned char* out, size_t* outlen,
                       const unsigned char* in, size_t inlen);

#endif
