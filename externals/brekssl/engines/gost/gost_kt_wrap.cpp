#include "engines/gost/gost_kt_wrap.h"

#include <openssl/crypto.h>
#include <openssl/objects.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engines/gost/gost_ber_codec.h"
#include "engines/gost/gost_pkey_nids.h"
#include "engines/gost/gost_pkey_rnd.h"
#include "gost3410.h"
#include "hmac_low/gost_r3411_2012_kdf.h"
#include "vko.h"

namespace {

// Label of the first KEK that the receiving side tries.
constexpr unsigned char kdf_label[4] = {0x26, 0xBD, 0xB8, 0x78};

// Longest DER of a parameter-set OID: 30 content bytes on the sending side
// (14 for the wrap set), 126 on the receiving side.
constexpr uint32_t kSendOidMax = 2 + 30;
constexpr uint32_t kWrapOidMax = 2 + 14;
constexpr uint32_t kRecvOidMax = 2 + 126;

// Wipes an object or buffer when it goes out of scope.
struct Wipe {
  void* p;
  size_t n;
  ~Wipe() { OPENSSL_cleanse(p, n); }
};

// The digest parameter of a key type: GOST R 34.11-2012 of the key's size
// for the 2012 keys, the CryptoPro GOST R 34.11-94 set for 2001 keys.
int digest_nid_of(int key_nid, bool sending) {
  if (key_nid == gost_nid_key_2001()) return NID_id_GostR3411_94_CryptoProParamSet;
  if (key_nid == gost_nid_key_2012_256()) return gost_nid_md_2012_256();
  if (key_nid == gost_nid_key_2012_512()) return gost_nid_md_2012_512();
  // Other types take the 512-bit road when sending and the 2001 one when
  // receiving.
  return sending ? gost_nid_md_2012_512() : NID_id_GostR3411_94_CryptoProParamSet;
}

bool digest_der(int digest_nid, unsigned char* der, uint32_t cap, uint32_t* len) {
  *len = gost_oid_der(digest_nid, der, cap);
  if (*len != 0) return true;
  if (digest_nid == NID_id_GostR3411_94_CryptoProParamSet)
    fprintf(stderr, "Invalid digest param nid %d\n", digest_nid);
  else
    fprintf(stderr, "Invalid digest nid %d\n", digest_nid);
  return false;
}

// Ephemeral pair and VKO on the 256-bit curves. hash94 selects VKO
// GOST R 34.10-2001 (GOST R 34.11-94 under that set), else 2012 VKO_256.
struct Curve256 {
  using Par = GOSTR3410_2012_256_PAR;
  using Point = GostPoint;
  static constexpr uint32_t kDigits = GOST256_NDIGITS;
  static int find(const unsigned char* der, uint32_t len, const Par** par) {
    return GOSTR3410_2012_256_FindParByDerOid(der, len, par);
  }
  static const Par* default_par() { return GOSTR3410_2012_256_GetDefaultPar(); }
  static int keypair(const Par* par, DIGIT_T* d, Point* q) {
    return GOSTR3410_2012_256_GenerateKeyPair(par, rnd_bytes, d, q);
  }
  static int load_pub(const unsigned char* in, Point* q) {
    return GOSTR3410_2012_256_LoadPublicKeyValue(in, q);
  }
  static int unload_pub(const Point* q, unsigned char* out) {
    return GOSTR3410_2012_256_UnloadPublicKeyValue(q, out);
  }
  static int load_priv(const unsigned char* in, DIGIT_T* d) {
    return GOSTR3410_2012_256_LoadPrivateKeyValue(in, d);
  }
  static int vko(const Par* par, const Gost3411_94ParamSet* hash94, const unsigned char* ukm,
                 uint32_t ukm_len, const DIGIT_T* d, const Point* q, unsigned char* out) {
    if (hash94 != nullptr) return GOSTR3410_2001_VKO(par, hash94, ukm, ukm_len, d, q, out);
    return GOSTR3410_2012_256_VKO_256(par, ukm, ukm_len, d, q, out);
  }
  static constexpr const char* kVkoName = "GOSTR3410_2012_256_VKO_256";
};

struct Curve512 {
  using Par = GOSTR3410_2012_512_PAR;
  using Point = GostPoint512;
  static constexpr uint32_t kDigits = GOST512_NDIGITS;
  static int find(const unsigned char* der, uint32_t len, const Par** par) {
    return GOSTR3410_2012_512_FindParByDerOid(der, len, par);
  }
  static const Par* default_par() { return GOSTR3410_2012_512_GetDefaultPar(); }
  static int keypair(const Par* par, DIGIT_T* d, Point* q) {
    return GOSTR3410_2012_512_GenerateKeyPair(par, rnd_bytes, d, q);
  }
  static int load_pub(const unsigned char* in, Point* q) {
    return GOSTR3410_2012_512_LoadPublicKeyValue(in, q);
  }
  static int unload_pub(const Point* q, unsigned char* out) {
    return GOSTR3410_2012_512_UnloadPublicKeyValue(q, out);
  }
  static int load_priv(const unsigned char* in, DIGIT_T* d) {
    return GOSTR3410_2012_512_LoadPrivateKeyValue(in, d);
  }
  static int vko(const Par* par, const Gost3411_94ParamSet*, const unsigned char* ukm,
                 uint32_t ukm_len, const DIGIT_T* d, const Point* q, unsigned char* out) {
    return GOSTR3410_2012_512_VKO_256(par, ukm, ukm_len, d, q, out);
  }
  static constexpr const char* kVkoName = "GOSTR3410_2012_512_VKO_256";
};

// Sending side: a fresh ephemeral pair on par, its public value into
// eph_pub, and the VKO value with the recipient's public value.
template <class C>
bool ephemeral_vko(const typename C::Par* par, const Gost3411_94ParamSet* hash94,
                   const unsigned char* recp_pub, const unsigned char* ukm, uint32_t ukm_len,
                   unsigned char* eph_pub, unsigned char vko[32]) {
  DIGIT_T d[C::kDigits] = {};
  Wipe wd{d, sizeof(d)};
  typename C::Point eph{}, q{};
  Wipe we{&eph, sizeof(eph)};
  int rc = C::keypair(par, d, &eph);
  if (rc != 0) {
    fprintf(stderr, "%s:%d t_gost3410_kek_enc. %s failed\n", __FILE__, __LINE__,
            "GenerateKeyPair");
    return false;
  }
  if (C::unload_pub(&eph, eph_pub) != 0 || C::load_pub(recp_pub, &q) != 0) {
    fprintf(stderr, "%s:%d t_gost3410_kek_enc. %s failed\n", __FILE__, __LINE__,
            "LoadPublicKeyValue");
    return false;
  }
  // The core checks that the recipient's point lies on the curve.
  rc = C::vko(par, hash94, ukm, ukm_len, d, &q, vko);
  if (rc != 0) {
    fprintf(stderr, "%s:%d t_gost3410_kek_enc. %s failed\n", __FILE__, __LINE__,
            hash94 != nullptr ? "GOSTR3410_2001_VKO" : C::kVkoName);
    return false;
  }
  return true;
}

// Receiving side: the VKO value of the own private value and the sender's
// public value; the core refuses a point that is not on the curve.
template <class C>
bool receiving_vko(const typename C::Par* par, const Gost3411_94ParamSet* hash94,
                   const unsigned char* priv, const unsigned char* pub, const unsigned char* ukm,
                   uint32_t ukm_len, unsigned char vko[32], const char* who) {
  DIGIT_T d[C::kDigits] = {};
  Wipe wd{d, sizeof(d)};
  typename C::Point q{};
  int rc = C::load_priv(priv, d);
  if (rc != 0) {
    fprintf(stderr, "%s:%d %s. Loading VKC private key failed\n", __FILE__, __LINE__, who);
    return false;
  }
  rc = C::load_pub(pub, &q);
  if (rc != 0) {
    fprintf(stderr, "%s:%d %s. Loading VKC public key failed\n", __FILE__, __LINE__, who);
    return false;
  }
  rc = C::vko(par, hash94, ukm, ukm_len, d, &q, vko);
  if (rc != 0) {
    fprintf(stderr, "%s:%d %s. %s failed, rc = 0x%x\n", __FILE__, __LINE__, who,
            hash94 != nullptr ? "GOSTR3410_2001_VKO" : C::kVkoName, static_cast<unsigned>(rc));
    return false;
  }
  return true;
}

// The whole key transport; ephemeral values may be placeholders when only
// the length is wanted.
bool encode_transport(const unsigned char* enc, const unsigned char* mac,
                      const unsigned char* wrap_oid, uint32_t wrap_oid_len,
                      const unsigned char* alg_oid, uint32_t alg_oid_len,
                      const unsigned char* param_oid, uint32_t param_oid_len,
                      const unsigned char* digest_oid, uint32_t digest_oid_len,
                      const unsigned char* pub, uint32_t pub_len, const unsigned char* ukm,
                      uint32_t ukm_len, BerTlv* out) {
  BerTlv ek, pki, tp;
  return ber_encode_Gost28147_89_EncryptedKey(kBerEncode, &ek.p, &ek.n, enc, kGostCekLength, mac,
                                              kGostKtMacLength) &&
         ber_encode_PublicKeyInfo(kBerEncode, &pki.p, &pki.n, alg_oid, alg_oid_len, param_oid,
                                  param_oid_len, digest_oid, digest_oid_len, pub, pub_len) &&
         ber_encode_GostR3410_TransportParameters(kBerEncode, &tp.p, &tp.n, wrap_oid,
                                                  wrap_oid_len, pki.p, pki.n, ukm, ukm_len) &&
         ber_encode_GostR3410_KeyTransport(kBerEncode, &out->p, &out->n, ek.p, ek.n, tp.p, tp.n);
}

}  // namespace

bool gost_kt_wrap(const Gost28147ExpandedSbox* sbox, uint32_t key_meshing,
                  const unsigned char kek[32], const unsigned char ukm8[8],
                  const unsigned char cek[32], unsigned char enc[32], unsigned char mac[4]) {
  Gost28147Context ctx;
  Wipe wc{&ctx, sizeof(ctx)};
  GostBuffer in = {kGostCekLength, const_cast<uint8_t*>(cek)};
  if (GOST28147_89_Init(&ctx, 1, sbox, GOST28147_MODE_IMITO, 0, key_meshing, 0, ukm8, kek) != 0 ||
      GOST28147_89_Update(&ctx, &in, nullptr) != 0 || GOST28147_89_Final(&ctx) != 0)
    return false;
  memcpy(mac, ctx.mac, kGostKtMacLength);
  GostBuffer out = {kGostCekLength, enc};
  if (GOST28147_89_Init(&ctx, 1, sbox, GOST28147_MODE_ECB, 0, key_meshing, 0, nullptr, kek) != 0 ||
      GOST28147_89_Update(&ctx, &in, &out) != 0 || out.length != kGostCekLength)
    return false;
  return true;
}

bool gost_kt_unwrap(const Gost28147ExpandedSbox* sbox, uint32_t key_meshing,
                    const unsigned char kek[32], const unsigned char ukm8[8],
                    const unsigned char enc[32], const unsigned char mac[4],
                    unsigned char cek[32]) {
  Gost28147Context ctx;
  Wipe wc{&ctx, sizeof(ctx)};
  unsigned char tmp[kGostCekLength];
  Wipe wt{tmp, sizeof(tmp)};
  GostBuffer in = {kGostCekLength, const_cast<uint8_t*>(enc)};
  GostBuffer out = {kGostCekLength, tmp};
  if (GOST28147_89_Init(&ctx, 0, sbox, GOST28147_MODE_ECB, 0, key_meshing, 0, nullptr, kek) != 0 ||
      GOST28147_89_Update(&ctx, &in, &out) != 0 || out.length != kGostCekLength)
    return false;
  GostBuffer plain = {kGostCekLength, tmp};
  if (GOST28147_89_Init(&ctx, 1, sbox, GOST28147_MODE_IMITO, 0, key_meshing, 0, ukm8, kek) != 0 ||
      GOST28147_89_Update(&ctx, &plain, nullptr) != 0 || GOST28147_89_Final(&ctx) != 0)
    return false;
  // Constant-time comparison; the CEK leaves only after a match.
  if (CRYPTO_memcmp(ctx.mac, mac, kGostKtMacLength) != 0) return false;
  memcpy(cek, tmp, kGostCekLength);
  return true;
}

int gost3410_kek_enc(const VK_GOST2012_KEYPAIR* recp, const VK_GOST2012_KEYPAIR* peer,
                     const unsigned char* wrap_oid, uint32_t wrap_oid_len,
                     const unsigned char* ukm, uint32_t ukm_len, const unsigned char* cek,
                     uint32_t cek_len, unsigned char* out, uint32_t* out_len) {
  if (cek_len != kGostCekLength || cek == nullptr) {
    fprintf(stderr, "%s:%d t_gost3410_kek_enc. Invalid input key data length: %ld\n", __FILE__,
            __LINE__, static_cast<long>(cek_len));
    return 0;
  }
  if (recp == nullptr || out_len == nullptr || wrap_oid == nullptr) return 0;
  int key_nid = gost_signing_key_nid(recp->key_nid);
  unsigned char param_der[kSendOidMax], digest_oid[kSendOidMax], alg_oid[kSendOidMax];
  uint32_t param_len = gost_oid_der(recp->param_nid, param_der, sizeof(param_der));
  if (param_len == 0) {
    fprintf(stderr, "Invalid param_nid %d\n", recp->param_nid);
    return 0;
  }
  uint32_t digest_len = 0;
  if (!digest_der(digest_nid_of(key_nid, true), digest_oid, sizeof(digest_oid), &digest_len))
    return 0;
  uint32_t alg_len = gost_oid_der(key_nid, alg_oid, sizeof(alg_oid));
  if (alg_len == 0) {
    fprintf(stderr, "Invalid param_nid %d\n", key_nid);
    return 0;
  }
  if (peer != nullptr && gost_signing_key_nid(peer->key_nid) != key_nid) {
    fprintf(stderr, "%s:%d Incompatible keys\n", __FILE__, __LINE__);
    return 0;
  }
  if (ukm == nullptr || (ukm_len != 8 && ukm_len != 16)) {
    fprintf(stderr, "%s:%d Usupported UKM length: %d. Should be 8 or 16\n", __FILE__, __LINE__,
            static_cast<int>(ukm_len));
    return 0;
  }
  Gost28147ParamSet* ps = nullptr;
  if (wrap_oid_len > kWrapOidMax || GOST28147_89_FindParByDerOid(wrap_oid, wrap_oid_len, &ps) != 0 ||
      ps == nullptr) {
    fprintf(stderr, "%s:%d t_gost3410_kek_enc. GOST28147_89_FindParByDerOid failed\n", __FILE__,
            __LINE__);
    return 0;
  }
  bool small = key_nid == gost_nid_key_2001() || key_nid == gost_nid_key_2012_256();
  uint32_t pub_len = small ? 64 : 128;
  if (recp->pub_key_len != pub_len) {
    fprintf(stderr, "%s:%d t_gost3410_kek_enc. Invalid recipient public key 3410 OID\n", __FILE__,
            __LINE__);
    return 0;
  }
  unsigned char eph_pub[128] = {};
  unsigned char enc[kGostCekLength] = {}, mac[kGostKtMacLength] = {};
  BerTlv der;
  if (out == nullptr) {
    // Only the length: every field has a fixed size, so placeholders do.
    if (!encode_transport(enc, mac, wrap_oid, wrap_oid_len, alg_oid, alg_len, param_der,
                          param_len, digest_oid, digest_len, eph_pub, pub_len, ukm, ukm_len, &der))
      return 0;
    *out_len = der.n;
    return 1;
  }
  unsigned char vko[32], kek[32];
  Wipe wv{vko, sizeof(vko)}, wk{kek, sizeof(kek)};
  if (small) {
    const Curve256::Par* par = nullptr;
    if (Curve256::find(param_der, param_len, &par) != 0 || par == nullptr) {
      fprintf(stderr, "%s:%d t_gost3410_kek_enc. Invalid recipient public key 3410 OID\n",
              __FILE__, __LINE__);
      return 0;
    }
    const Gost3411_94ParamSet* hash94 = nullptr;
    if (key_nid == gost_nid_key_2001() &&
        (GOSTR3411_94_FindParByDerOid(digest_oid, digest_len, &hash94) != 0 ||
         hash94 == nullptr)) {
      fprintf(stderr, "%s:%d t_gost3410_kek_enc. Invalid recipient public key 3411 OID\n",
              __FILE__, __LINE__);
      return 0;
    }
    if (!ephemeral_vko<Curve256>(par, hash94, recp->pub_key, ukm, ukm_len, eph_pub, vko))
      return 0;
  } else {
    const Curve512::Par* par = nullptr;
    if (Curve512::find(param_der, param_len, &par) != 0 || par == nullptr) {
      fprintf(stderr, "%s:%d t_gost3410_kek_enc. Invalid recipient public key 3410 OID\n",
              __FILE__, __LINE__);
      return 0;
    }
    if (!ephemeral_vko<Curve512>(par, nullptr, recp->pub_key, ukm, ukm_len, eph_pub, vko))
      return 0;
  }
  int rc = GOST28147_89_KDF(ps->sbox, vko, ukm, kek);
  if (rc != 0) {
    fprintf(stderr, "%s:%d GOST28147_89_KDF failed, rc = 0x%x\n", __FILE__, __LINE__,
            static_cast<unsigned>(rc));
    return 0;
  }
  if (!gost_kt_wrap(ps->sbox, ps->key_meshing, kek, ukm, cek, enc, mac)) {
    fprintf(stderr, "%s:%d t_gost3410_kek_enc. GOST28147_89 wrap failed\n", __FILE__, __LINE__);
    return 0;
  }
  if (!encode_transport(enc, mac, wrap_oid, wrap_oid_len, alg_oid, alg_len, param_der, param_len,
                        digest_oid, digest_len, eph_pub, pub_len, ukm, ukm_len, &der))
    return 0;
  if (*out_len < der.n) {
    fprintf(stderr, "%s:%d t_gost3410_kek_enc. Output buffer too small\n", __FILE__, __LINE__);
    return 0;
  }
  memcpy(out, der.p, der.n);
  *out_len = der.n;
  return 1;
}

int gost3410_kek_dec(const unsigned char* priv, uint32_t priv_len,
                     const VK_GOST2012_KEYPAIR* sender, const unsigned char* in, uint32_t in_len,
                     unsigned char* out, uint32_t* out_len) {
  static const char* const kWho = "t_gost3410_kek_dec";
  BerKeyTransport kt{};
  if (!ber_decode_GostR3410_KeyTransport(in, in_len, &kt)) {
    fprintf(stderr, "%s:%d t_gost3410_kek_dec. ber_decode_GostR3410_KeyTransport failed: 0x%x\n",
            __FILE__, __LINE__, 0u);
    return 0;
  }
  if (sender == nullptr || priv == nullptr || out_len == nullptr) return 0;
  int key_nid = gost_signing_key_nid(sender->key_nid);
  unsigned char param_der[kRecvOidMax], digest_oid[kRecvOidMax];
  uint32_t param_len = gost_oid_der(sender->param_nid, param_der, sizeof(param_der));
  if (param_len == 0) {
    fprintf(stderr, "Invalid param_nid %d\n", sender->param_nid);
    return 0;
  }
  uint32_t digest_len = 0;
  if (!digest_der(digest_nid_of(key_nid, false), digest_oid, sizeof(digest_oid), &digest_len))
    return 0;
  if (kt.pub != nullptr) {
    if (kt.pub_len != sender->pub_key_len ||
        memcmp(kt.pub, sender->pub_key, sender->pub_key_len) != 0) {
      fprintf(stderr, "%s:%d Public key value doesn't match to input data\n", __FILE__,
              __LINE__);
      return 0;
    }
    if (kt.param_oid_len != param_len || memcmp(kt.param_oid, param_der, param_len) != 0) {
      fprintf(stderr, "%s:%d Public key OID 3410 doesn't match to input data\n", __FILE__,
              __LINE__);
      return 0;
    }
  }
  Gost28147ParamSet* ps = nullptr;
  if (kt.wrap_oid_len > kRecvOidMax ||
      GOST28147_89_FindParByDerOid(kt.wrap_oid, kt.wrap_oid_len, &ps) != 0 || ps == nullptr) {
    fprintf(stderr, "%s:%d t_gost3410_kek_dec. GOST28147_89_FindParByDerOid failed\n", __FILE__,
            __LINE__);
    return 0;
  }
  unsigned char vko[32], kek[32];
  Wipe wv{vko, sizeof(vko)}, wk{kek, sizeof(kek)};
  if (sender->pub_key_len == 128) {
    const Curve512::Par* par = nullptr;
    if (priv_len != 64) {
      fprintf(stderr, "%s:%d t_gost3410_kek_dec. Loading VKC private key failed\n", __FILE__,
              __LINE__);
      return 0;
    }
    if (Curve512::find(param_der, param_len, &par) != 0 || par == nullptr) {
      fprintf(stderr, "%s:%d t_gost3410_kek_dec. Invalid sender public key 3410 OID\n", __FILE__,
              __LINE__);
      return 0;
    }
    if (!receiving_vko<Curve512>(par, nullptr, priv, sender->pub_key, kt.ukm, kt.ukm_len, vko,
                                 kWho))
      return 0;
  } else {
    const Curve256::Par* par = nullptr;
    if (priv_len != 32 || sender->pub_key_len != 64) {
      fprintf(stderr, "%s:%d t_gost3410_kek_dec. Loading VKC private key failed\n", __FILE__,
              __LINE__);
      return 0;
    }
    if (Curve256::find(param_der, param_len, &par) != 0 || par == nullptr) {
      fprintf(stderr, "%s:%d t_gost3410_kek_dec. Invalid sender public key 3410 OID\n", __FILE__,
              __LINE__);
      return 0;
    }
    const Gost3411_94ParamSet* hash94 = nullptr;
    if (key_nid != gost_nid_key_2012_256() &&
        (GOSTR3411_94_FindParByDerOid(digest_oid, digest_len, &hash94) != 0 ||
         hash94 == nullptr)) {
      fprintf(stderr, "%s:%d t_gost3410_kek_dec. Invalid sender public key 3411 OID\n", __FILE__,
              __LINE__);
      return 0;
    }
    if (!receiving_vko<Curve256>(par, hash94, priv, sender->pub_key, kt.ukm, kt.ukm_len, vko,
                                 kWho))
      return 0;
  }
  unsigned char cek[kGostCekLength];
  Wipe wc{cek, sizeof(cek)};
  int rc = GOSTR3411_2012_256_KDF(vko, sizeof(vko), kdf_label, sizeof(kdf_label), kt.ukm,
                                  kt.ukm_len, kek);
  if (rc != 0) {
    fprintf(stderr, "%s:%d GOSTR3411_2012_256_KDF failed, rc = 0x%x\n", __FILE__, __LINE__,
            static_cast<unsigned>(rc));
    return 0;
  }
  if (!gost_kt_unwrap(ps->sbox, ps->key_meshing, kek, kt.ukm, kt.enc_key, kt.mac, cek)) {
    // Second KEK: the CryptoPro diversification that this system sends.
    rc = GOST28147_89_KDF(ps->sbox, vko, kt.ukm, kek);
    if (rc != 0) {
      fprintf(stderr, "%s:%d GOST28147_89_KDF failed, rc = 0x%x\n", __FILE__, __LINE__,
              static_cast<unsigned>(rc));
      return 0;
    }
    if (!gost_kt_unwrap(ps->sbox, ps->key_meshing, kek, kt.ukm, kt.enc_key, kt.mac, cek)) {
      fprintf(stderr, "%s:%d t_gost3410_kek_dec. Wrong MAC\n", __FILE__, __LINE__);
      return 0;
    }
  }
  if (out != nullptr) memcpy(out, cek, kGostCekLength);
  *out_len = kGostCekLength;
  return 1;
}

int vkc_dh_gost3410_derive(unsigned char* out, uint32_t* out_len, int key_nid,
                           const unsigned char* priv, uint32_t priv_len,
                           const unsigned char* param_oid, uint32_t param_oid_len,
                           const unsigned char* peer_pub, uint32_t peer_pub_len,
                           const unsigned char* ukm, uint32_t ukm_len) {
  static const char* const kWho = "vkc_dh_gost3410_derive";
  if (out == nullptr || out_len == nullptr || priv == nullptr || peer_pub == nullptr) return 0;
  auto zero = [](const unsigned char* p, uint32_t n) {
    unsigned char acc = 0;
    for (uint32_t i = 0; i < n; i++) acc |= p[i];
    return acc == 0;
  };
  uint32_t want_ukm = 0, want_pub = 0;
  if (priv_len == 32) {
    want_ukm = 8;
    want_pub = 64;
  } else if (priv_len == 64) {
    want_ukm = 16;
    want_pub = 128;
  } else {
    fprintf(stderr, "vkc_dh_gost3410_derive: Invalid private key length %d\n",
            static_cast<int>(priv_len));
    return 0;
  }
  if (ukm == nullptr || ukm_len != want_ukm || zero(ukm, ukm_len)) {
    fprintf(stderr, "vkc_dh_gost3410_derive: wrong UKM\n");
    return 0;
  }
  if (peer_pub_len != want_pub) {
    fprintf(stderr, "vkc_dh_gost3410_derive: wrong public key\n");
    return 0;
  }
  unsigned char vko[32];
  Wipe wv{vko, sizeof(vko)};
  if (priv_len == 32) {
    const Curve256::Par* par = nullptr;
    if (param_oid == nullptr || Curve256::find(param_oid, param_oid_len, &par) != 0 ||
        par == nullptr)
      par = Curve256::default_par();
    const Gost3411_94ParamSet* hash94 = nullptr;
    if (gost_signing_key_nid(key_nid) != gost_nid_key_2012_256())
      hash94 = GOSTR3411_94_GetDefaultPar();
    if (par == nullptr ||
        !receiving_vko<Curve256>(par, hash94, priv, peer_pub, ukm, ukm_len, vko, kWho))
      return 0;
  } else {
    const Curve512::Par* par = nullptr;
    if (param_oid == nullptr || Curve512::find(param_oid, param_oid_len, &par) != 0 ||
        par == nullptr)
      par = Curve512::default_par();
    if (par == nullptr ||
        !receiving_vko<Curve512>(par, nullptr, priv, peer_pub, ukm, ukm_len, vko, kWho))
      return 0;
  }
  memcpy(out, vko, sizeof(vko));
  *out_len = sizeof(vko);
  return 1;
}
