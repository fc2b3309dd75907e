// Key transport against independent implementations: the published
// CryptoPro key-wrap values, transports made here and opened with nettle
// VKO and libgcrypt GOST 28147-89, and the reverse, and VKO agreement.
#include <gtest/gtest.h>
#include <openssl/err.h>
#include <openssl/objects.h>

#include <random>
#include <string>

#include "../vkc/vkc_kat_file.h"
#include "engines/gost/gost_ber_codec.h"
#include "engines/gost/gost_kt_asn1.h"
#include "engines/gost/gost_kt_wrap.h"
#include "gost28147.h"
#include "gost_keys_test_util.h"
#include "gost_kt_test_util.h"
#include "test_util.h"

using namespace gost_kt_test;

namespace {

std::string fixture_path(const std::string& name) {
  return orvel_test::data_dir() + "/gost_keys/" + name;
}

const Gost28147ParamSet* core_set(const std::string& dotted) {
  Gost28147ParamSet* ps = nullptr;
  EXPECT_EQ(GOST28147_89_FindParByDottedOid(dotted.c_str(), &ps), 0) << dotted;
  return ps;
}

// The published key-wrap blocks: CryptoPro wrap after diversification and
// the plain wrap of RFC 4357 6.1, for CryptoPro-A and TC26 Z.
TEST(GostKtVectors, CryptoProKeyWrap) {
  auto kat = vkc_kat::read_kat("gost28147_vectors.txt");
  for (const char* name : {"cryptopro-keywrap-cryptopro-a", "cryptopro-keywrap-tc26-z"}) {
    SCOPED_TRACE(name);
    auto& b = kat.at(name);
    const Gost28147ParamSet* ps = core_set(b.at("parameter_set_oid"));
    ASSERT_NE(ps, nullptr);
    Bytes kek = vkc_kat::hex(b.at("kek")), ukm = vkc_kat::hex(b.at("ukm")),
          cek = vkc_kat::hex(b.at("cek"));
    Bytes kek_ukm(32);
    ASSERT_EQ(GOST28147_89_KDF(ps->sbox, kek.data(), ukm.data(), kek_ukm.data()), 0);
    EXPECT_EQ(vkc_kat::to_hex(kek_ukm), b.at("kek_ukm"));
    Bytes enc(32), mac(4), back(32, 0xAA);
    ASSERT_TRUE(gost_kt_wrap(ps->sbox, ps->key_meshing, kek_ukm.data(), ukm.data(), cek.data(),
                             enc.data(), mac.data()));
    EXPECT_EQ(vkc_kat::to_hex(enc), b.at("cek_enc"));
    EXPECT_EQ(vkc_kat::to_hex(mac), b.at("cek_mac"));
    ASSERT_TRUE(gost_kt_unwrap(ps->sbox, ps->key_meshing, kek_ukm.data(), ukm.data(), enc.data(),
                               mac.data(), back.data()));
    EXPECT_EQ(back, cek);
  }
  for (const char* name :
       {"gost28147-keywrap-rfc4357-6.1-cryptopro-a", "gost28147-keywrap-rfc4357-6.1-tc26-z"}) {
    SCOPED_TRACE(name);
    auto& b = kat.at(name);
    const Gost28147ParamSet* ps = core_set(b.at("parameter_set_oid"));
    ASSERT_NE(ps, nullptr);
    Bytes kek = vkc_kat::hex(b.at("kek")), ukm = vkc_kat::hex(b.at("ukm")),
          cek = vkc_kat::hex(b.at("cek"));
    Bytes enc(32), mac(4);
    ASSERT_TRUE(gost_kt_wrap(ps->sbox, ps->key_meshing, kek.data(), ukm.data(), cek.data(),
                             enc.data(), mac.data()));
    EXPECT_EQ(vkc_kat::to_hex(enc) + vkc_kat::to_hex(mac), b.at("cek_enc") + b.at("cek_mac"));
  }
}

// A wrong MAC leaves nothing of the unwrapped key in the output.
TEST(GostKtVectors, WrongMacLeavesOutputAlone) {
  auto kat = vkc_kat::read_kat("gost28147_vectors.txt");
  auto& b = kat.at("gost28147-keywrap-rfc4357-6.1-cryptopro-a");
  const Gost28147ParamSet* ps = core_set(b.at("parameter_set_oid"));
  ASSERT_NE(ps, nullptr);
  Bytes kek = vkc_kat::hex(b.at("kek")), ukm = vkc_kat::hex(b.at("ukm")),
        enc = vkc_kat::hex(b.at("cek_enc")), mac = vkc_kat::hex(b.at("cek_mac"));
  for (size_t i = 0; i < mac.size(); i++) {
    Bytes bad = mac;
    bad[i] ^= 0x01;
    Bytes out(32, 0xAA);
    EXPECT_FALSE(gost_kt_unwrap(ps->sbox, ps->key_meshing, kek.data(), ukm.data(), enc.data(),
                                bad.data(), out.data()));
    EXPECT_EQ(out, Bytes(32, 0xAA));
  }
}

class GostKtInterop : public ::testing::TestWithParam<Fixture> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(gost_keys_test::setup());
    key_ = gost_keys_test::read_private_pem(fixture_path(std::string(GetParam().name) + ".key"));
    ASSERT_TRUE(key_);
  }
  orvel::EvpPkeyPtr key_;
};

using KeyTransportPtr =
    std::unique_ptr<VKC_KEY_TRANSPORT, orvel::Free<VKC_KEY_TRANSPORT, VKC_KEY_TRANSPORT_free>>;

// Made here, opened by nettle VKO + libgcrypt: the CryptoPro wrap under the
// diversified KEK, with the parameters each key type is sent with.
TEST_P(GostKtInterop, OursOpenedIndependently) {
  const Fixture& f = GetParam();
  std::mt19937 rng(4490);
  for (int round = 0; round < 4; round++) {
    Bytes cek = random_bytes(rng, 32);
    Bytes der = kt_encrypt(key_.get(), cek);
    ASSERT_FALSE(der.empty());
    const unsigned char* p = der.data();
    KeyTransportPtr kt(d2i_VKC_KEY_TRANSPORT(nullptr, &p, static_cast<long>(der.size())));
    ASSERT_TRUE(kt);
    char wrap[64];
    OBJ_obj2txt(wrap, sizeof(wrap), kt->key_agreement_info->cipher, 1);
    EXPECT_STREQ(wrap, f.wrap_oid);
    ASN1_OCTET_STRING* ukm_s = kt->key_agreement_info->eph_iv;
    Bytes ukm(ukm_s->data, ukm_s->data + ukm_s->length);
    EXPECT_EQ(ukm.size(), f.big ? 16u : 8u);
    // The ephemeral key: its parameters and its public value.
    X509_PUBKEY* eph = kt->key_agreement_info->ephem_key;
    ASSERT_NE(eph, nullptr);
    const unsigned char* pk = nullptr;
    int pk_len = 0;
    X509_ALGOR* alg = nullptr;
    ASSERT_EQ(X509_PUBKEY_get0_param(nullptr, &pk, &pk_len, &alg, eph), 1);
    const ASN1_STRING* params = nullptr;
    int ptype = 0;
    X509_ALGOR_get0(nullptr, &ptype, reinterpret_cast<const void**>(&params), alg);
    ASSERT_EQ(ptype, V_ASN1_SEQUENCE);
    std::string params_hex = orvel_test::to_hex(params->data, static_cast<size_t>(params->length));
    if (f.is_2001) {
      // CryptoPro GOST R 34.11-94 digest set 1.2.643.2.2.30.1.
      EXPECT_NE(params_hex.find("06072a85030202", 0), std::string::npos);
      EXPECT_EQ(params_hex.substr(params_hex.size() - 18), "06072a850302021e01");
    }
    std::unique_ptr<ASN1_OCTET_STRING, orvel::Free<ASN1_OCTET_STRING, ASN1_OCTET_STRING_free>>
        pub_os(d2i_ASN1_OCTET_STRING(nullptr, &pk, pk_len));
    ASSERT_TRUE(pub_os);
    Bytes eph_pub(pub_os->data, pub_os->data + pub_os->length);
    ASSERT_EQ(eph_pub.size(), f.big ? 128u : 64u);

    Bytes vko = nettle_vko(f.big, f.is_2001, priv_of(key_.get()), eph_pub, ukm);
    Bytes ukm8(ukm.begin(), ukm.begin() + 8);
    Bytes kek = gcrypt_diversify(f.wrap_oid, vko, ukm8);
    ASN1_OCTET_STRING* enc = kt->key_info->encrypted_key;
    Bytes got = gcrypt_ecb(f.wrap_oid, kek, Bytes(enc->data, enc->data + enc->length), false);
    EXPECT_EQ(got, cek);
    ASN1_OCTET_STRING* mac = kt->key_info->imit;
    EXPECT_EQ(gcrypt_imit4(f.wrap_oid, kek, ukm8, got), Bytes(mac->data, mac->data + mac->length));
  }
}

// A transport written by the test with nettle and libgcrypt.
Bytes independent_transport(const Fixture& f, EVP_PKEY* recp, const Bytes& eph_priv,
                            const Bytes& ukm, const Bytes& cek, bool kdf2012,
                            Bytes* eph_pub_out = nullptr) {
  Bytes eph_pub = nettle_public(f.big, eph_priv);
  if (eph_pub_out != nullptr) *eph_pub_out = eph_pub;
  Bytes vko = nettle_vko(f.big, f.is_2001, eph_priv, pub_of(recp), ukm);
  Bytes ukm8(ukm.begin(), ukm.begin() + 8);
  Bytes kek = kdf2012 ? nettle_kdf256(vko, {0x26, 0xBD, 0xB8, 0x78}, ukm)
                      : gcrypt_diversify(f.wrap_oid, vko, ukm8);
  Bytes enc = gcrypt_ecb(f.wrap_oid, kek, cek, true);
  Bytes mac = gcrypt_imit4(f.wrap_oid, kek, ukm8, cek);
  const VK_GOST2012_KEYPAIR* k = gost_keypair_of(recp);
  char param[80];
  OBJ_obj2txt(param, sizeof(param), OBJ_nid2obj(k->param_nid), 1);
  const char* alg = f.is_2001 ? "1.2.643.2.2.19" : f.big ? "1.2.643.7.1.1.1.2" : "1.2.643.7.1.1.1.1";
  const char* digest = f.is_2001 ? "1.2.643.2.2.30.1" : f.big ? "1.2.643.7.1.1.2.3"
                                                              : "1.2.643.7.1.1.2.2";
  Bytes spki_alg = tlv(0x30, cat({oid_der(alg), tlv(0x30, cat({oid_der(param), oid_der(digest)}))}));
  Bytes bits = tlv(0x03, cat({{0x00}, tlv(0x04, eph_pub)}));
  Bytes tp = tlv(0xA0, cat({oid_der(f.wrap_oid), tlv(0xA0, cat({spki_alg, bits})),
                            tlv(0x04, ukm)}));
  return tlv(0x30, cat({tlv(0x30, cat({tlv(0x04, enc), tlv(0x04, mac)})), tp}));
}

// Made by the test, opened here: both KEK derivations are accepted.
TEST_P(GostKtInterop, IndependentOpenedHere) {
  const Fixture& f = GetParam();
  std::mt19937 rng(4357);
  for (bool kdf2012 : {false, true}) {
    for (int round = 0; round < 3; round++) {
      Bytes eph = random_bytes(rng, f.big ? 64 : 32);
      eph[eph.size() - 1] &= 0x3F;  // below the group order
      eph[0] |= 1;
      Bytes ukm = random_bytes(rng, f.big ? 16 : 8);
      ukm[0] |= 1;
      Bytes cek = random_bytes(rng, 32);
      Bytes der = independent_transport(f, key_.get(), eph, ukm, cek, kdf2012);
      Bytes got;
      ASSERT_EQ(kt_decrypt(key_.get(), der, &got), 1) << "kdf2012 " << kdf2012;
      EXPECT_EQ(got, cek);
    }
  }
}

// VKO agreement through EVP_PKEY_derive matches nettle's, both ways.
TEST_P(GostKtInterop, DeriveMatchesNettle) {
  const Fixture& f = GetParam();
  std::mt19937 rng(7836);
  // The peer: the test's own key on the same curve, as a public key only.
  orvel::EvpPkeyPtr peer =
      gost_keys_test::read_private_pem(fixture_path(std::string(f.name) + ".key"));
  ASSERT_TRUE(peer);
  VK_GOST2012_KEYPAIR* pk = gost_keypair_of(peer.get());
  Bytes peer_priv = random_bytes(rng, f.big ? 64 : 32);
  peer_priv[peer_priv.size() - 1] &= 0x3F;
  Bytes peer_pub = nettle_public(f.big, peer_priv);
  memcpy(pk->pub_key, peer_pub.data(), peer_pub.size());
  Bytes ukm = random_bytes(rng, f.big ? 16 : 8);
  orvel::EvpPkeyCtxPtr ctx(EVP_PKEY_CTX_new(key_.get(), nullptr));
  ASSERT_EQ(EVP_PKEY_derive_init(ctx.get()), 1);
  ASSERT_GT(EVP_PKEY_CTX_ctrl(ctx.get(), -1, -1, EVP_PKEY_CTRL_SET_IV,
                              static_cast<int>(ukm.size()), ukm.data()),
            0);
  ASSERT_EQ(EVP_PKEY_derive_set_peer(ctx.get(), peer.get()), 1);
  size_t len = 0;
  ASSERT_EQ(EVP_PKEY_derive(ctx.get(), nullptr, &len), 1);
  ASSERT_EQ(len, 32u);
  Bytes out(len);
  ASSERT_EQ(EVP_PKEY_derive(ctx.get(), out.data(), &len), 1);
  // The 2001 agreement hashes with the default GOST R 34.11-94 set.
  if (!f.is_2001) {
    EXPECT_EQ(out, nettle_vko(f.big, false, priv_of(key_.get()), peer_pub, ukm));
    EXPECT_EQ(out, nettle_vko(f.big, false, peer_priv, pub_of(key_.get()), ukm));
  }
}

INSTANTIATE_TEST_SUITE_P(Keys, GostKtInterop, ::testing::ValuesIn(fixtures()),
                         [](const ::testing::TestParamInfo<Fixture>& i) {
                           std::string n = i.param.name;
                           for (char& c : n)
                             if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                           return n;
                         });

}  // namespace
