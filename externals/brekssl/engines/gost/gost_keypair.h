// The key object inside a toolkit key of a GOST R 34.10 type, and the
// parameter-set tables of the key types.
#ifndef ORVEL_GOST_KEYPAIR_H
#define ORVEL_GOST_KEYPAIR_H

#include <openssl/bio.h>
#include <openssl/evp.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>

struct VK_GOST2012_KEYPAIR {
  int key_nid;                 // GOST R 34.10-2001, 2012 256-bit or 2012 512-bit
  int param_nid;               // curve parameter set; NID_undef while unknown
  unsigned char pub_key[128];  // x then y, each little-endian; zero while unknown
  uint32_t pub_key_len;        // 64 or 128
  unsigned char priv_key[64];  // d, little-endian
  uint32_t priv_key_len;       // 32 or 64
  unsigned char key_id[20];    // SHA-1 of the DER OCTET STRING of pub_key
  uint32_t priv_present;       // 1 once a private value has been set
};

VK_GOST2012_KEYPAIR* VK_GOST2012_KEYPAIR_new();
void VK_GOST2012_KEYPAIR_free(VK_GOST2012_KEYPAIR* key);

// One parameter set a key type accepts.
struct GostParamsetRow {
  int nid;
  const char* oid;  // dotted form
};

// The 256-bit table (GOST R 34.10-2001 and 2012 256-bit keys) and the
// 512-bit table, each ending with a row of NID_undef.
const GostParamsetRow* gost_paramset_table_256();
const GostParamsetRow* gost_paramset_table_512();
// The table of a signing key NID, or nullptr.
const GostParamsetRow* gost_paramset_table(int key_nid);
// Row index of nid in a table, or -1.
int find_param_index_by_nid(const GostParamsetRow* table, int nid);

// Sets key NID, parameter set and value lengths when the set belongs to the
// key type; 1 on success, 0 with a message on stderr.
int fill_GOST2012_params(VK_GOST2012_KEYPAIR* key, int key_nid, int param_nid);

// DER of the identifier of an object (tag, length, content) into der, at
// most cap bytes; its length, or 0 when the object has no identifier.
uint32_t gost_oid_der(int nid, unsigned char* der, uint32_t cap);

// The key id of a public value; 1 on success.
int gost_key_id(const unsigned char* pub, uint32_t pub_len, unsigned char id[20]);
bool gost_key_id_is_zero(const VK_GOST2012_KEYPAIR* key);

// The key object of a toolkit key of a GOST R 34.10 type, else nullptr.
VK_GOST2012_KEYPAIR* gost_keypair_of(const EVP_PKEY* pkey);

// Assigns a key object to a toolkit key under the object's key NID.
int EVP_PKEY_assign_GOST3410(EVP_PKEY* pkey, VK_GOST2012_KEYPAIR* key);

// The public or private value of a toolkit key of a GOST R 34.10 type.
const unsigned char* vkc_get0_pub_key(const EVP_PKEY* pkey);
const unsigned char* vkc_get0_priv_key(const EVP_PKEY* pkey);

// Reverses a byte string in place.
void revert(unsigned char* buf, size_t len);

// Each byte as "0x%02X," followed by a blank, or by a newline after every
// sixteenth byte and after the last.
void fprint_hex(FILE* out, const unsigned char* buf, size_t len);
void bio_print_hex(BIO* out, const unsigned char* buf, size_t len);

#endif
