#include "gost_kt_test_util.h"

#include <gcrypt.h>
#include <gmp.h>
#include <gtest/gtest.h>
#include <nettle/ecc-curve.h>
#include <nettle/ecc.h>
#include <nettle/gostdsa.h>
#include <nettle/gosthash94.h>
#include <nettle/hmac.h>
#include <nettle/streebog.h>
#include <openssl/objects.h>

#include "ossl_ptr.h"

namespace gost_kt_test {

namespace {

void gcrypt_init() {
  static bool done = [] {
    gcry_check_version(nullptr);
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
    return true;
  }();
  (void)done;
}

struct Mpz {
  mpz_t z;
  Mpz() { mpz_init(z); }
  ~Mpz() { mpz_clear(z); }
};

void le_to_mpz(mpz_t z, const uint8_t* p, size_t n) { mpz_import(z, n, -1, 1, 0, 0, p); }

void mpz_to_le(const mpz_t z, uint8_t* p, size_t n) {
  std::fill(p, p + n, 0);
  size_t count = 0;
  mpz_export(p, &count, -1, 1, 0, 0, z);
}

const ecc_curve* curve(bool big) { return big ? nettle_get_gost_gc512a() : nettle_get_gost_gc256b(); }

}  // namespace

const std::vector<Fixture>& fixtures() {
  static const std::vector<Fixture> f = {
      {"gost01_CryptoPro-A", "1.2.643.2.2.31.1", false, true},
      {"gost12-256_CryptoPro-A", "1.2.643.7.1.2.5.1.1", false, false},
      {"gost12-512_TC26-512-A", "1.2.643.7.1.2.5.1.1", true, false},
  };
  return f;
}

Bytes gcrypt_ecb(const char* oid, const Bytes& key, const Bytes& in, bool encrypt) {
  gcrypt_init();
  gcry_cipher_hd_t h;
  EXPECT_EQ(gcry_cipher_open(&h, GCRY_CIPHER_GOST28147, GCRY_CIPHER_MODE_ECB, 0), 0u);
  EXPECT_EQ(gcry_cipher_setkey(h, key.data(), key.size()), 0u);
  EXPECT_EQ(gcry_cipher_ctl(h, GCRYCTL_SET_SBOX, const_cast<char*>(oid), 0), 0u);
  Bytes out(in.size());
  EXPECT_EQ(encrypt ? gcry_cipher_encrypt(h, out.data(), out.size(), in.data(), in.size())
                    : gcry_cipher_decrypt(h, out.data(), out.size(), in.data(), in.size()),
            0u);
  gcry_cipher_close(h);
  return out;
}

Bytes gcrypt_imit4(const char* oid, const Bytes& key, const Bytes& iv, const Bytes& msg) {
  gcrypt_init();
  gcry_mac_hd_t h;
  EXPECT_EQ(gcry_mac_open(&h, GCRY_MAC_GOST28147_IMIT, 0, nullptr), 0u);
  EXPECT_EQ(gcry_mac_setkey(h, key.data(), key.size()), 0u);
  EXPECT_EQ(gcry_mac_ctl(h, GCRYCTL_SET_SBOX, const_cast<char*>(oid), 0), 0u);
  EXPECT_EQ(gcry_mac_setiv(h, iv.data(), iv.size()), 0u);
  EXPECT_EQ(gcry_mac_write(h, msg.data(), msg.size()), 0u);
  Bytes out(4);
  size_t n = out.size();
  EXPECT_EQ(gcry_mac_read(h, out.data(), &n), 0u);
  gcry_mac_close(h);
  return out;
}

Bytes gcrypt_diversify(const char* oid, const Bytes& kek, const Bytes& ukm8) {
  gcrypt_init();
  Bytes k = kek;
  for (int i = 0; i < 8; i++) {
    uint32_t s1 = 0, s0 = 0;
    for (int j = 0; j < 8; j++) {
      uint32_t w = k[4 * j] | k[4 * j + 1] << 8 | k[4 * j + 2] << 16 |
                   static_cast<uint32_t>(k[4 * j + 3]) << 24;
      if (ukm8[i] >> j & 1)
        s1 += w;
      else
        s0 += w;
    }
    Bytes iv(8);
    for (int b = 0; b < 4; b++) {
      iv[b] = static_cast<uint8_t>(s1 >> (8 * b));
      iv[4 + b] = static_cast<uint8_t>(s0 >> (8 * b));
    }
    gcry_cipher_hd_t h;
    EXPECT_EQ(gcry_cipher_open(&h, GCRY_CIPHER_GOST28147, GCRY_CIPHER_MODE_CFB, 0), 0u);
    EXPECT_EQ(gcry_cipher_setkey(h, k.data(), k.size()), 0u);
    EXPECT_EQ(gcry_cipher_ctl(h, GCRYCTL_SET_SBOX, const_cast<char*>(oid), 0), 0u);
    EXPECT_EQ(gcry_cipher_setiv(h, iv.data(), iv.size()), 0u);
    Bytes next(32);
    EXPECT_EQ(gcry_cipher_encrypt(h, next.data(), next.size(), k.data(), k.size()), 0u);
    gcry_cipher_close(h);
    k = next;
  }
  return k;
}

Bytes nettle_vko(bool big, bool is_2001, const Bytes& priv, const Bytes& pub, const Bytes& ukm) {
  const ecc_curve* c = curve(big);
  size_t nb = big ? 64 : 32;
  Mpz d, x, y;
  le_to_mpz(d.z, priv.data(), nb);
  le_to_mpz(x.z, pub.data(), nb);
  le_to_mpz(y.z, pub.data() + nb, nb);
  ecc_scalar s;
  ecc_point p;
  ecc_scalar_init(&s, c);
  ecc_point_init(&p, c);
  EXPECT_EQ(ecc_scalar_set(&s, d.z), 1);
  EXPECT_EQ(ecc_point_set(&p, x.z, y.z), 1);
  Bytes point(2 * nb);
  gostdsa_vko(&s, &p, ukm.size(), ukm.data(), point.data());
  ecc_scalar_clear(&s);
  ecc_point_clear(&p);
  Bytes out(32);
  if (is_2001) {
    gosthash94cp_ctx h;
    gosthash94cp_init(&h);
    gosthash94cp_update(&h, point.size(), point.data());
    gosthash94cp_digest(&h, out.size(), out.data());
  } else {
    streebog256_ctx h;
    streebog256_init(&h);
    streebog256_update(&h, point.size(), point.data());
    streebog256_digest(&h, out.size(), out.data());
  }
  return out;
}

Bytes nettle_public(bool big, const Bytes& priv) {
  const ecc_curve* c = curve(big);
  size_t nb = big ? 64 : 32;
  Mpz d, x, y;
  le_to_mpz(d.z, priv.data(), nb);
  ecc_scalar s;
  ecc_point p;
  ecc_scalar_init(&s, c);
  ecc_point_init(&p, c);
  EXPECT_EQ(ecc_scalar_set(&s, d.z), 1);
  ecc_point_mul_g(&p, &s);
  ecc_point_get(&p, x.z, y.z);
  Bytes out(2 * nb);
  mpz_to_le(x.z, out.data(), nb);
  mpz_to_le(y.z, out.data() + nb, nb);
  ecc_scalar_clear(&s);
  ecc_point_clear(&p);
  return out;
}

Bytes nettle_kdf256(const Bytes& key, const Bytes& label, const Bytes& seed) {
  hmac_streebog256_ctx h;
  hmac_streebog256_set_key(&h, key.size(), key.data());
  Bytes msg = cat({{0x01}, label, {0x00}, seed, {0x01, 0x00}});
  hmac_streebog256_update(&h, msg.size(), msg.data());
  Bytes out(32);
  hmac_streebog256_digest(&h, out.size(), out.data());
  return out;
}

Bytes tlv(uint8_t tag, const Bytes& content) {
  Bytes out{tag};
  size_t n = content.size();
  if (n < 0x80) {
    out.push_back(static_cast<uint8_t>(n));
  } else if (n < 0x100) {
    out.insert(out.end(), {0x81, static_cast<uint8_t>(n)});
  } else {
    out.insert(out.end(), {0x82, static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)});
  }
  out.insert(out.end(), content.begin(), content.end());
  return out;
}

Bytes oid_der(const char* dotted) {
  orvel::Asn1ObjectPtr o(OBJ_txt2obj(dotted, 1));
  EXPECT_TRUE(o);
  int len = i2d_ASN1_OBJECT(o.get(), nullptr);
  Bytes out(static_cast<size_t>(len));
  unsigned char* p = out.data();
  i2d_ASN1_OBJECT(o.get(), &p);
  return out;
}

Bytes cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& b : parts) out.insert(out.end(), b.begin(), b.end());
  return out;
}

Bytes priv_of(EVP_PKEY* pkey) {
  const VK_GOST2012_KEYPAIR* k = gost_keypair_of(pkey);
  return Bytes(k->priv_key, k->priv_key + k->priv_key_len);
}

Bytes pub_of(EVP_PKEY* pkey) {
  const VK_GOST2012_KEYPAIR* k = gost_keypair_of(pkey);
  return Bytes(k->pub_key, k->pub_key + k->pub_key_len);
}

Bytes kt_encrypt(EVP_PKEY* recp, const Bytes& cek, const Bytes* ukm) {
  orvel::EvpPkeyCtxPtr ctx(EVP_PKEY_CTX_new(recp, nullptr));
  if (!ctx || EVP_PKEY_encrypt_init(ctx.get()) <= 0) return {};
  if (ukm != nullptr &&
      EVP_PKEY_CTX_ctrl(ctx.get(), -1, EVP_PKEY_OP_ENCRYPT, EVP_PKEY_CTRL_SET_IV,
                        static_cast<int>(ukm->size()), const_cast<uint8_t*>(ukm->data())) <= 0)
    return {};
  size_t len = 0;
  if (EVP_PKEY_encrypt(ctx.get(), nullptr, &len, cek.data(), cek.size()) <= 0) return {};
  Bytes out(len);
  if (EVP_PKEY_encrypt(ctx.get(), out.data(), &len, cek.data(), cek.size()) <= 0) return {};
  out.resize(len);
  return out;
}

int kt_decrypt(EVP_PKEY* recp, const Bytes& kt, Bytes* cek) {
  orvel::EvpPkeyCtxPtr ctx(EVP_PKEY_CTX_new(recp, nullptr));
  if (!ctx || EVP_PKEY_decrypt_init(ctx.get()) <= 0) return -100;
  size_t len = 0;
  int rc = EVP_PKEY_decrypt(ctx.get(), nullptr, &len, kt.data(), kt.size());
  if (rc <= 0) return rc;
  cek->assign(len, 0xEE);
  rc = EVP_PKEY_decrypt(ctx.get(), cek->data(), &len, kt.data(), kt.size());
  if (rc > 0) cek->resize(len);
  return rc;
}

Bytes random_bytes(std::mt19937& rng, size_t n) {
  Bytes b(n);
  for (auto& x : b) x = static_cast<uint8_t>(rng());
  return b;
}

}  // namespace gost_kt_test
