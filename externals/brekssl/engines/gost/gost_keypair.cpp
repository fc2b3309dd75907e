#include "engines/gost/gost_keypair.h"

#include <openssl/crypto.h>
#include <openssl/objects.h>

#include <cstdio>
#include <cstring>

#include "engines/gost/gost_pkey_nids.h"
#include "ossl_ptr.h"

namespace {

constexpr int kTable256Rows = 10;
constexpr int kTable512Rows = 4;

const char* const kOids256[kTable256Rows] = {
    "1.2.643.2.2.35.0",    "1.2.643.2.2.35.1",    "1.2.643.2.2.35.2",    "1.2.643.2.2.35.3",
    "1.2.643.2.2.36.0",    "1.2.643.2.2.36.1",    "1.2.643.7.1.2.1.1.1", "1.2.643.7.1.2.1.1.2",
    "1.2.643.7.1.2.1.1.3", "1.2.643.7.1.2.1.1.4",
};
const char* const kOids512[kTable512Rows] = {
    "1.2.643.7.1.2.1.2.0",
    "1.2.643.7.1.2.1.2.1",
    "1.2.643.7.1.2.1.2.2",
    "1.2.643.7.1.2.1.2.3",
};

struct Tables {
  GostParamsetRow t256[kTable256Rows + 1];
  GostParamsetRow t512[kTable512Rows + 1];
};

// The numbers are this process's: resolved once, after the object registry.
const Tables& tables() {
  static const Tables t = [] {
    Tables r{};
    ssf_register_objects();
    for (int i = 0; i < kTable256Rows; i++) r.t256[i] = {OBJ_txt2nid(kOids256[i]), kOids256[i]};
    for (int i = 0; i < kTable512Rows; i++) r.t512[i] = {OBJ_txt2nid(kOids512[i]), kOids512[i]};
    r.t256[kTable256Rows] = {NID_undef, nullptr};
    r.t512[kTable512Rows] = {NID_undef, nullptr};
    return r;
  }();
  return t;
}

}  // namespace

VK_GOST2012_KEYPAIR* VK_GOST2012_KEYPAIR_new() {
  return static_cast<VK_GOST2012_KEYPAIR*>(OPENSSL_zalloc(sizeof(VK_GOST2012_KEYPAIR)));
}

void VK_GOST2012_KEYPAIR_free(VK_GOST2012_KEYPAIR* key) {
  if (key == nullptr) return;
  // The private value does not outlive the key object.
  OPENSSL_clear_free(key, sizeof(*key));
}

const GostParamsetRow* gost_paramset_table_256() { return tables().t256; }
const GostParamsetRow* gost_paramset_table_512() { return tables().t512; }

const GostParamsetRow* gost_paramset_table(int key_nid) {
  if (key_nid == NID_undef) return nullptr;
  if (key_nid == gost_nid_key_2001() || key_nid == gost_nid_key_2012_256())
    return gost_paramset_table_256();
  if (key_nid == gost_nid_key_2012_512()) return gost_paramset_table_512();
  return nullptr;
}

int find_param_index_by_nid(const GostParamsetRow* table, int nid) {
  if (table == nullptr || nid == NID_undef) return -1;
  for (int i = 0; table[i].nid != NID_undef; i++)
    if (table[i].nid == nid) return i;
  return -1;
}

int fill_GOST2012_params(VK_GOST2012_KEYPAIR* key, int key_nid, int param_nid) {
  const GostParamsetRow* table = gost_paramset_table(key_nid);
  if (table == nullptr) {
    fprintf(stderr, "fill_GOST2012_params: unsupported alg NID\n");
    return 0;
  }
  if (find_param_index_by_nid(table, param_nid) < 0) {
    fprintf(stderr, "fill_GOST2012_params: unsupported parameter set\n");
    return 0;
  }
  bool big = key_nid == gost_nid_key_2012_512();
  key->key_nid = key_nid;
  key->param_nid = param_nid;
  key->priv_key_len = big ? 64 : 32;
  key->pub_key_len = big ? 128 : 64;
  return 1;
}

uint32_t gost_oid_der(int nid, unsigned char* der, uint32_t cap) {
  const ASN1_OBJECT* obj = OBJ_nid2obj(nid);
  if (obj == nullptr || OBJ_length(obj) == 0) return 0;
  int len = i2d_ASN1_OBJECT(obj, nullptr);
  if (len <= 0 || static_cast<uint32_t>(len) > cap) return 0;
  unsigned char* p = der;
  return i2d_ASN1_OBJECT(obj, &p) == len ? static_cast<uint32_t>(len) : 0;
}

int gost_key_id(const unsigned char* pub, uint32_t pub_len, unsigned char id[20]) {
  if (pub_len != 64 && pub_len != 128) return 0;
  unsigned char der[3 + 128];
  size_t hdr = 0;
  der[hdr++] = 0x04;
  if (pub_len >= 128) der[hdr++] = 0x81;
  der[hdr++] = static_cast<unsigned char>(pub_len);
  memcpy(der + hdr, pub, pub_len);
  unsigned int n = 0;
  return EVP_Digest(der, hdr + pub_len, id, &n, EVP_sha1(), nullptr) == 1 && n == 20;
}

bool gost_key_id_is_zero(const VK_GOST2012_KEYPAIR* key) {
  for (unsigned char b : key->key_id)
    if (b != 0) return false;
  return true;
}

VK_GOST2012_KEYPAIR* gost_keypair_of(const EVP_PKEY* pkey) {
  if (pkey == nullptr || !gost_is_signing_key_nid(EVP_PKEY_get_base_id(pkey))) return nullptr;
  return static_cast<VK_GOST2012_KEYPAIR*>(EVP_PKEY_get0(pkey));
}

int EVP_PKEY_assign_GOST3410(EVP_PKEY* pkey, VK_GOST2012_KEYPAIR* key) {
  if (pkey == nullptr || key == nullptr) return 0;
  return EVP_PKEY_assign(pkey, key->key_nid, key);
}

const unsigned char* vkc_get0_pub_key(const EVP_PKEY* pkey) {
  VK_GOST2012_KEYPAIR* key = gost_keypair_of(pkey);
  return key != nullptr ? key->pub_key : nullptr;
}

const unsigned char* vkc_get0_priv_key(const EVP_PKEY* pkey) {
  VK_GOST2012_KEYPAIR* key = gost_keypair_of(pkey);
  return key != nullptr ? key->priv_key : nullptr;
}

void revert(unsigned char* buf, size_t len) {
  for (size_t i = 0, j = len; i + 1 < j; i++, j--) {
    unsigned char t = buf[i];
    buf[i] = buf[j - 1];
    buf[j - 1] = t;
  }
}

void fprint_hex(FILE* out, const unsigned char* buf, size_t len) {
  for (size_t i = 0; i < len; i++)
    fprintf(out, "0x%02X,%c", buf[i], (i % 16 == 15 || i + 1 == len) ? '\n' : ' ');
}

void bio_print_hex(BIO* out, const unsigned char* buf, size_t len) {
  for (size_t i = 0; i < len; i++)
    BIO_printf(out, "0x%02X,%c", buf[i], (i % 16 == 15 || i + 1 == len) ? '\n' : ' ');
}
