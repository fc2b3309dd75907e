// Decryption of a transported content-encryption key with a GOST token key:
// the token computes the key-encryption key (VKO of its private key with the
// sender's ephemeral key), the CryptoPro key unwrap runs in software.
#include <openssl/crypto.h>

#include <cstring>
#include <memory>

#include "codes.h"
#include "engines/gost/gost_kt_asn1.h"
#include "engines/gost/gost_pkey_nids.h"
#include "gost28147.h"
#include "log.h"
#include "ossl_ptr.h"
#include "token_context.h"

namespace {

constexpr int kCekLength = 32;
// The UKM: 8 bytes (16 from some senders of 512-bit keys); the unwrap
// reads its first 8.
constexpr int kUkmLength = 8;
constexpr int kUkmMaxLength = 16;
constexpr int kMacLength = 4;
constexpr size_t kMaxOidContent = 9;
constexpr size_t kMaxPacked2012Public = 140;

using KeyTransportPtr =
    std::unique_ptr<VKC_KEY_TRANSPORT, orvel::Free<VKC_KEY_TRANSPORT, VKC_KEY_TRANSPORT_free>>;

// Wipes a buffer when it goes out of scope.
struct Wipe {
  void* p;
  size_t n;
  ~Wipe() { OPENSSL_cleanse(p, n); }
};

// The 32-byte key-encryption key derived on the token; 0 on success.
int TokenGenKek(const TokenKeyContext* token, const unsigned char* oid_der, size_t oid_len,
                const unsigned char* pub, size_t pub_len, const unsigned char* ukm, size_t ukm_len,
                unsigned char kek[kCekLength]) {
  static const char kFunc[] = "TokenGenKek";
  dbg("%s() begin", kFunc);
  CK_RV rv = CKR_OK;
  auto end = [&](int rc) {
    dbg("%s() end, return code = %d (%s)", kFunc, rc, pk11errorString(rv));
    return rc;
  };
  CK_MECHANISM mech{};
  CK_GOSTR3410_DERIVE_PARAMS params{};
  unsigned char packed[12 + kMaxPacked2012Public + kUkmMaxLength];
  if (token->key_type == gost_nid_key_2001()) {
    params.kdf = CKD_NULL;
    params.pPublicData = const_cast<unsigned char*>(pub);
    params.ulPublicDataLen = pub_len;
    params.pUKM = const_cast<unsigned char*>(ukm);
    params.ulUKMLen = ukm_len;
    mech = {CKM_GOSTR3410_DERIVE, &params, sizeof(params)};
  } else {
    if (pub_len > kMaxPacked2012Public || ukm_len > kUkmMaxLength) return end(-1);
    const uint32_t kdf = 1;
    const uint32_t plen = static_cast<uint32_t>(pub_len);
    const uint32_t ulen = static_cast<uint32_t>(ukm_len);
    memcpy(packed, &kdf, 4);
    memcpy(packed + 4, &plen, 4);
    memcpy(packed + 8, pub, pub_len);
    memcpy(packed + 8 + pub_len, &ulen, 4);
    memcpy(packed + 12 + pub_len, ukm, ukm_len);
    mech = {CKM_TC26_GOSTR3410_2012_DERIVE, packed, pub_len + ukm_len + 12};
  }
  CK_OBJECT_CLASS cls = CKO_SECRET_KEY;
  CK_KEY_TYPE type = CKK_GOST28147;
  CK_BBOOL no = CK_FALSE;
  CK_BBOOL yes = CK_TRUE;
  CK_ATTRIBUTE templ[] = {{CKA_CLASS, &cls, sizeof(cls)},
                          {CKA_KEY_TYPE, &type, sizeof(type)},
                          {CKA_TOKEN, &no, 1},
                          {CKA_ENCRYPT, &yes, 1},
                          {CKA_DECRYPT, &yes, 1},
                          {CKA_GOST28147_PARAMS, const_cast<unsigned char*>(oid_der), oid_len}};
  CK_OBJECT_HANDLE derived = 0;
  rv = token->p11->C_DeriveKey(token->session, &mech, token->key, templ, 6, &derived);
  if (rv != CKR_OK) {
    log_err("%s() 2 : C_DeriveKey() failed, ret code = 0x%p (%s)", kFunc,
            reinterpret_cast<void*>(rv), pk11errorString(rv));
    return end(-1);
  }
  CK_ATTRIBUTE value{CKA_VALUE, nullptr, 0};
  rv = token->p11->C_GetAttributeValue(token->session, derived, &value, 1);
  if (rv != CKR_OK) {
    log_err("%s() 3 : C_GetAttributeValue() failed, ret code = 0x%p (%s)", kFunc,
            reinterpret_cast<void*>(rv), pk11errorString(rv));
    return end(-1);
  }
  // Only a 32-byte value is a key-encryption key.
  if (value.ulValueLen != kCekLength) {
    log_err("%s() 4 : derived value of %d bytes, 32 expected", kFunc,
            static_cast<int>(value.ulValueLen));
    return end(-1);
  }
  value.pValue = kek;
  rv = token->p11->C_GetAttributeValue(token->session, derived, &value, 1);
  if (rv != CKR_OK || value.ulValueLen != kCekLength) {
    log_err("%s() 5 : C_GetAttributeValue() failed, ret code = 0x%p (%s)", kFunc,
            reinterpret_cast<void*>(rv), pk11errorString(rv));
    OPENSSL_cleanse(kek, kCekLength);
    return end(-1);
  }
  return end(0);
}

// The sender's public value: the content of the DER OCTET STRING inside the
// ephemeral key's bit string, of the size the key type has.
bool sender_public(const VKC_KEY_AGREEMENT_INFO* kai, int key_type, const unsigned char** pub,
                   size_t* pub_len) {
  const unsigned char* bits = nullptr;
  int bits_len = 0;
  if (kai->ephem_key == nullptr ||
      !X509_PUBKEY_get0_param(nullptr, &bits, &bits_len, nullptr, kai->ephem_key))
    return false;
  const size_t header = key_type == gost_nid_key_2012_512() ? 3 : 2;
  const size_t want = key_type == gost_nid_key_2012_512() ? 128 : 64;
  if (bits == nullptr || static_cast<size_t>(bits_len) != header + want || bits[0] != 0x04)
    return false;
  if (header == 3 ? (bits[1] != 0x81 || bits[2] != 0x80) : bits[1] != 0x40) return false;
  *pub = bits + header;
  *pub_len = want;
  return true;
}

}  // namespace

int TOKEN_PKEY_decrypt(unsigned char* dec_key, const unsigned char* enc_key, size_t enc_key_len,
                       TokenKeyContext* token) {
  static const char kFunc[] = "TOKEN_PKEY_decrypt";
  if (dec_key == nullptr) {
    log_err("%s() : dec_key is NULL", kFunc);
    return -1;
  }
  if (token == nullptr || token->p11 == nullptr || enc_key == nullptr) return -1;
  const unsigned char* p = enc_key;
  KeyTransportPtr kt(d2i_VKC_KEY_TRANSPORT(nullptr, &p, static_cast<long>(enc_key_len)));
  if (!kt || kt->key_info == nullptr || kt->key_agreement_info == nullptr) {
    log_err("%s() : d2i_VKC_KEY_TRANSPORT failed", kFunc);
    return -1;
  }
  const VKC_KEY_INFO* ki = kt->key_info;
  const VKC_KEY_AGREEMENT_INFO* kai = kt->key_agreement_info;
  // Every length the unwrap reads is checked before it is read.
  if (ki->encrypted_key == nullptr || ASN1_STRING_length(ki->encrypted_key) != kCekLength ||
      ki->imit == nullptr || ASN1_STRING_length(ki->imit) < kMacLength || kai->cipher == nullptr ||
      kai->eph_iv == nullptr || ASN1_STRING_length(kai->eph_iv) < kUkmLength ||
      ASN1_STRING_length(kai->eph_iv) > kUkmMaxLength) {
    log_err("%s() : d2i_VKC_KEY_TRANSPORT failed", kFunc);
    return -1;
  }
  const size_t oid_content = static_cast<size_t>(OBJ_length(kai->cipher));
  if (oid_content == 0 || oid_content > kMaxOidContent) {
    log_err("%s() : GOST28147_89_FindParByDerOid() failed: %d", kFunc, -1);
    return -1;
  }
  unsigned char oid_der[2 + kMaxOidContent];
  oid_der[0] = 0x06;
  oid_der[1] = static_cast<unsigned char>(oid_content);
  memcpy(oid_der + 2, OBJ_get0_data(kai->cipher), oid_content);
  const size_t oid_len = 2 + oid_content;
  const unsigned char* ukm = ASN1_STRING_get0_data(kai->eph_iv);
  const size_t ukm_len = static_cast<size_t>(ASN1_STRING_length(kai->eph_iv));
  const unsigned char* pub = nullptr;
  size_t pub_len = 0;
  if (!sender_public(kai, token->key_type, &pub, &pub_len)) {
    log_err("%s() : d2i_VKC_KEY_TRANSPORT failed", kFunc);
    return -1;
  }
  dbg("%s() : pubkey->public_key->length: %u", kFunc, static_cast<unsigned>(pub_len));

  unsigned char kek[kCekLength];
  unsigned char cek[kCekLength];
  Gost28147Context ctx;
  Wipe wk{kek, sizeof(kek)}, wc{cek, sizeof(cek)}, wx{&ctx, sizeof(ctx)};
  if (TokenGenKek(token, oid_der, oid_len, pub, pub_len, ukm, ukm_len, kek) != 0) {
    log_err("%s() 2 : TokenGenKek() failed", kFunc);
    return -1;
  }
  Gost28147ParamSet* par = nullptr;
  int32_t rc = GOST28147_89_FindParByDerOid(oid_der, static_cast<uint32_t>(oid_len), &par);
  if (rc != 0 || par == nullptr) {
    log_err("%s() : GOST28147_89_FindParByDerOid() failed: %d", kFunc, rc);
    return -1;
  }
  rc = GOST28147_89_KDF(par->sbox, kek, ukm, kek);
  if (rc != 0) {
    log_err("%s() : GOST28147_89_KDF() failed: %d", kFunc, rc);
    return -1;
  }
  memset(&ctx, 0, sizeof(ctx));
  rc = GOST28147_89_Init(&ctx, 0, par->sbox, GOST28147_MODE_ECB, 0, par->key_meshing, 0, nullptr,
                         kek);
  if (rc != 0) {
    log_err("%s() : GOST28147_89_Init failed: %d", kFunc, rc);
    return -1;
  }
  GostBuffer in{kCekLength, const_cast<unsigned char*>(ASN1_STRING_get0_data(ki->encrypted_key))};
  GostBuffer out{kCekLength, cek};
  rc = GOST28147_89_Update(&ctx, &in, &out);
  if (rc != 0 || out.length != kCekLength) {
    log_err("%s() : GOST28147_89_Update failed(): %d", kFunc, rc);
    return -1;
  }
  rc = GOST28147_89_Final(&ctx);
  if (rc != 0) {
    log_err("%s() : GOST28147_89_Final failed: %d", kFunc, rc);
    return -1;
  }
  memset(&ctx, 0, sizeof(ctx));
  rc = GOST28147_89_Init(&ctx, 1, par->sbox, GOST28147_MODE_IMITO, 0, par->key_meshing, 0, ukm,
                         kek);
  if (rc != 0) {
    log_err("%s() : GOST28147_89_Init failed: %d", kFunc, rc);
    return -1;
  }
  GostBuffer plain{kCekLength, cek};
  rc = GOST28147_89_Update(&ctx, &plain, nullptr);
  if (rc != 0) {
    log_err("%s() : GOST28147_89_Update failed: %d", kFunc, rc);
    return -1;
  }
  rc = GOST28147_89_Final(&ctx);
  if (rc != 0) {
    log_err("%s() : GOST28147_89_Final failed: %d", kFunc, rc);
    return -1;
  }
  if (CRYPTO_memcmp(ctx.mac, ASN1_STRING_get0_data(ki->imit), kMacLength) != 0) {
    log_err("%s() : wrong MAC", kFunc);
    return -1;
  }
  memcpy(dec_key, cek, kCekLength);
  return kCekLength;
}
