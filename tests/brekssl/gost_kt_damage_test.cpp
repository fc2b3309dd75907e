// Damaged and hostile key transports are refused without a crash and
// without leaving key material in the output; the sending side refuses
// bad CEK and UKM lengths.
#include <gtest/gtest.h>
#include <openssl/x509.h>

#include <random>
#include <string>

#include "engines/gost/gost_kt_asn1.h"
#include "gost_keys_test_util.h"
#include "gost_kt_test_util.h"
#include "test_util.h"

using namespace gost_kt_test;

namespace {

using KeyTransportPtr =
    std::unique_ptr<VKC_KEY_TRANSPORT, orvel::Free<VKC_KEY_TRANSPORT, VKC_KEY_TRANSPORT_free>>;

std::string fixture_path(const std::string& name) {
  return orvel_test::data_dir() + "/gost_keys/" + name;
}

const Bytes kSentinel(32, 0xEE);

KeyTransportPtr parse(const Bytes& der) {
  const unsigned char* p = der.data();
  return KeyTransportPtr(d2i_VKC_KEY_TRANSPORT(nullptr, &p, static_cast<long>(der.size())));
}

Bytes encode(VKC_KEY_TRANSPORT* kt) {
  unsigned char* out = nullptr;
  int len = i2d_VKC_KEY_TRANSPORT(kt, &out);
  if (len <= 0) return {};
  Bytes b(out, out + len);
  OPENSSL_free(out);
  return b;
}

class GostKtDamage : public ::testing::TestWithParam<Fixture> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(gost_keys_test::setup());
    key_ = gost_keys_test::read_private_pem(fixture_path(std::string(GetParam().name) + ".key"));
    ASSERT_TRUE(key_);
    cek_ = random_bytes(rng_, 32);
    der_ = kt_encrypt(key_.get(), cek_);
    ASSERT_FALSE(der_.empty());
  }

  // Decryption must fail and leave the output as it was.
  void expect_refused(const Bytes& der, const char* log = nullptr) {
    gost_keys_test::StderrCapture cap;
    Bytes out;
    int rc = kt_decrypt(key_.get(), der, &out);
    EXPECT_LE(rc, 0);
    if (!out.empty()) {
      EXPECT_EQ(out, kSentinel);
    }
    if (log != nullptr) {
      EXPECT_NE(cap.text().find(log), std::string::npos) << cap.text();
    }
  }

  std::mt19937 rng_{27};
  orvel::EvpPkeyPtr key_;
  Bytes cek_, der_;
};

TEST_P(GostKtDamage, WrongMacAfterBothKeks) {
  KeyTransportPtr kt = parse(der_);
  ASSERT_TRUE(kt);
  for (int i = 0; i < 4; i++) {
    KeyTransportPtr copy = parse(der_);
    copy->key_info->imit->data[i] ^= 0x80;
    expect_refused(encode(copy.get()), "t_gost3410_kek_dec. Wrong MAC");
  }
  // A changed encrypted key fails the MAC check as well.
  KeyTransportPtr copy = parse(der_);
  copy->key_info->encrypted_key->data[31] ^= 1;
  expect_refused(encode(copy.get()), "Wrong MAC");
  Bytes out;
  ASSERT_EQ(kt_decrypt(key_.get(), der_, &out), 1);
  EXPECT_EQ(out, cek_);
}

TEST_P(GostKtDamage, EphemeralPointNotOnCurve) {
  KeyTransportPtr kt = parse(der_);
  ASSERT_TRUE(kt);
  const unsigned char* pk = nullptr;
  int pk_len = 0;
  ASSERT_EQ(X509_PUBKEY_get0_param(nullptr, &pk, &pk_len, nullptr, kt->key_agreement_info->ephem_key),
            1);
  // Change one byte of y (the last byte of the value) in the message.
  Bytes pub(pk, pk + pk_len);
  for (size_t pos : {pub.size() - 1, pub.size() - 20}) {
    Bytes der = der_;
    auto it = std::search(der.begin(), der.end(), pub.begin(), pub.end());
    ASSERT_NE(it, der.end());
    *(it + static_cast<long>(pos)) ^= 0x04;
    expect_refused(der);
  }
  // The point (0, 0).
  Bytes der = der_;
  auto it = std::search(der.begin(), der.end(), pub.begin(), pub.end());
  size_t hdr = pub.size() > 130 ? 3 : 2;
  std::fill(it + static_cast<long>(hdr), it + static_cast<long>(pub.size()), 0);
  expect_refused(der);
}

TEST_P(GostKtDamage, EphemeralKeyOfAnotherCurveOrType) {
  const Fixture& f = GetParam();
  // The same key type on another curve, and a key of the other size.
  const char* others[] = {f.big ? "gost12-256_CryptoPro-A" : "gost12-512_TC26-512-A",
                          f.is_2001 ? "gost12-256_CryptoPro-A" : "gost12-256_CryptoPro-XchA"};
  for (const char* other : others) {
    SCOPED_TRACE(other);
    orvel::X509Ptr cert = gost_keys_test::read_cert_pem(fixture_path(std::string(other) + ".pem"));
    ASSERT_TRUE(cert);
    KeyTransportPtr kt = parse(der_);
    ASSERT_EQ(X509_PUBKEY_set(&kt->key_agreement_info->ephem_key, X509_get0_pubkey(cert.get())), 1);
    expect_refused(encode(kt.get()));
  }
}

TEST_P(GostKtDamage, UkmOfOtherLengths) {
  for (size_t n : {0, 1, 4, 7}) {
    KeyTransportPtr kt = parse(der_);
    Bytes ukm(n, 0x5A);
    ASSERT_EQ(ASN1_OCTET_STRING_set(kt->key_agreement_info->eph_iv, ukm.data(),
                                    static_cast<int>(n)),
              1);
    expect_refused(encode(kt.get()), "ber_decode_GostR3410_KeyTransport failed");
  }
  // A longer UKM than the one the key was wrapped with only fails the MAC.
  KeyTransportPtr kt = parse(der_);
  Bytes ukm(kt->key_agreement_info->eph_iv->data,
            kt->key_agreement_info->eph_iv->data + kt->key_agreement_info->eph_iv->length);
  ukm.push_back(1);
  ASN1_OCTET_STRING_set(kt->key_agreement_info->eph_iv, ukm.data(), static_cast<int>(ukm.size()));
  expect_refused(encode(kt.get()));
}

TEST_P(GostKtDamage, TruncatedAndBadLengths) {
  for (size_t n = 0; n < der_.size(); n++) {
    Bytes cut(der_.begin(), der_.begin() + static_cast<long>(n));
    if (cut.empty()) cut.push_back(0x30);
    expect_refused(cut);
  }
  // Outer length forms that no encoder writes: indefinite, 4 length bytes,
  // and a length beyond the input.
  for (uint8_t b : {0x80, 0x84, 0xFF}) {
    Bytes der = der_;
    der[1] = b;
    expect_refused(der);
  }
  // Inner lengths grown by one: the element leaves its parent.
  for (size_t pos : {3u, 5u, 39u}) {
    Bytes der = der_;
    size_t off = (der[1] & 0x80) ? (der[1] & 0x7F) : 0;
    der[pos + off] = static_cast<uint8_t>(der[pos + off] + 1);
    expect_refused(der);
  }
}

TEST_P(GostKtDamage, PeerKeyInsteadOfEphemeralKey) {
  KeyTransportPtr kt = parse(der_);
  orvel::EvpPkeyPtr eph(X509_PUBKEY_get(kt->key_agreement_info->ephem_key));
  ASSERT_TRUE(eph);
  X509_PUBKEY_free(kt->key_agreement_info->ephem_key);
  kt->key_agreement_info->ephem_key = nullptr;
  Bytes der = encode(kt.get());
  // Without a peer key in the context the transport cannot be opened.
  expect_refused(der, "NULL peer key");
  // With the sender's key as the context's peer key it can.
  orvel::EvpPkeyCtxPtr ctx(EVP_PKEY_CTX_new(key_.get(), nullptr));
  ASSERT_EQ(EVP_PKEY_decrypt_init(ctx.get()), 1);
  ASSERT_EQ(EVP_PKEY_derive_set_peer(ctx.get(), eph.get()), 1);
  Bytes out(32);
  size_t len = out.size();
  ASSERT_EQ(EVP_PKEY_decrypt(ctx.get(), out.data(), &len, der.data(), der.size()), 1);
  EXPECT_EQ(out, cek_);
}

TEST_P(GostKtDamage, OutputTooSmall) {
  orvel::EvpPkeyCtxPtr ctx(EVP_PKEY_CTX_new(key_.get(), nullptr));
  ASSERT_EQ(EVP_PKEY_decrypt_init(ctx.get()), 1);
  Bytes out(31, 0xEE);
  size_t len = out.size();
  EXPECT_LE(EVP_PKEY_decrypt(ctx.get(), out.data(), &len, der_.data(), der_.size()), 0);
  EXPECT_EQ(out, Bytes(31, 0xEE));
}

TEST_P(GostKtDamage, SendingSideRefusals) {
  const Fixture& f = GetParam();
  {
    gost_keys_test::StderrCapture cap;
    EXPECT_TRUE(kt_encrypt(key_.get(), Bytes(31, 1)).empty());
    EXPECT_TRUE(kt_encrypt(key_.get(), Bytes(33, 1)).empty());
    EXPECT_NE(cap.text().find("Invalid input key data length: 31"), std::string::npos);
  }
  for (size_t n : {1, 7, 9, 12, 32}) {
    gost_keys_test::StderrCapture cap;
    Bytes ukm(n, 0x11);
    EXPECT_TRUE(kt_encrypt(key_.get(), cek_, &ukm).empty()) << n;
    EXPECT_NE(cap.text().find("Should be 8 or 16"), std::string::npos);
  }
  // A UKM set in the context is the one sent, and the transport opens.
  for (size_t n : {8, 16}) {
    Bytes ukm = random_bytes(rng_, n);
    Bytes der = kt_encrypt(key_.get(), cek_, &ukm);
    ASSERT_FALSE(der.empty());
    KeyTransportPtr kt = parse(der);
    ASN1_OCTET_STRING* s = kt->key_agreement_info->eph_iv;
    EXPECT_EQ(Bytes(s->data, s->data + s->length), ukm);
    Bytes out;
    ASSERT_EQ(kt_decrypt(key_.get(), der, &out), 1);
    EXPECT_EQ(out, cek_);
  }
  (void)f;
}

TEST_P(GostKtDamage, DeriveRefusesBadUkm) {
  const Fixture& f = GetParam();
  orvel::EvpPkeyPtr peer =
      gost_keys_test::read_private_pem(fixture_path(std::string(f.name) + ".key"));
  auto derive = [&](const Bytes* ukm) {
    orvel::EvpPkeyCtxPtr ctx(EVP_PKEY_CTX_new(key_.get(), nullptr));
    EXPECT_EQ(EVP_PKEY_derive_init(ctx.get()), 1);
    if (ukm != nullptr) {
      EXPECT_GT(EVP_PKEY_CTX_ctrl(ctx.get(), -1, -1, EVP_PKEY_CTRL_SET_IV,
                                  static_cast<int>(ukm->size()), const_cast<uint8_t*>(ukm->data())),
                0);
    }
    EXPECT_EQ(EVP_PKEY_derive_set_peer(ctx.get(), peer.get()), 1);
    Bytes out(32);
    size_t len = out.size();
    return EVP_PKEY_derive(ctx.get(), out.data(), &len);
  };
  size_t want = f.big ? 16 : 8;
  {
    gost_keys_test::StderrCapture cap;
    EXPECT_LE(derive(nullptr), 0);
    EXPECT_NE(cap.text().find("pkey_vkc_derive: UKM not set"), std::string::npos);
  }
  {
    gost_keys_test::StderrCapture cap;
    Bytes zero(want, 0);
    EXPECT_LE(derive(&zero), 0);
    EXPECT_NE(cap.text().find("pkey_vkc_derive: Illegal zero UKM"), std::string::npos);
  }
  Bytes shorter(want - 1, 3);
  EXPECT_LE(derive(&shorter), 0);
  Bytes good(want, 3);
  EXPECT_EQ(derive(&good), 1);
}

INSTANTIATE_TEST_SUITE_P(Keys, GostKtDamage, ::testing::ValuesIn(fixtures()),
                         [](const ::testing::TestParamInfo<Fixture>& i) {
                           std::string n = i.param.name;
                           for (char& c : n)
                             if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                           return n;
                         });

}  // namespace
