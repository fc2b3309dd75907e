// Token keys in process: GOST keys on the tests' own PKCS#11 module loaded
// through the provider's token loader. Key transports made by the "gost"
// engine are decrypted on the token; the token key method stays apart from
// software keys of the same type.
#include <gtest/gtest.h>
#include <openssl/err.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "engines/gost/gost_kt_asn1.h"
#include "gost_keys_test_util.h"
#include "gost_kt_test_util.h"
#include "keys.h"
#include "ossl_ptr.h"
#include "signer_id.h"
#include "test_util.h"
#include "token_context.h"
#include "token_keys.h"
#include "token_util.h"

namespace {

using gost_kt_test::Bytes;

constexpr char kPin[] = "2468";

std::string fixture(const std::string& name) {
  return orvel_test::data_dir() + "/gost_keys/" + name;
}

struct TokenKey {
  orvel::X509Ptr cert;
  orvel::EvpPkeyPtr key;
  int rc = -1;
  int result = 0;
};

// The key pair of a gost_keys fixture on the test module, loaded as a
// recipient's token key.
TokenKey load_token_key(const std::string& name, const std::string& faults = "") {
  const std::string slot = fixture(name + ".pem") + "|" + fixture(name + ".key");
  setenv("ORVEL_P11_SLOTS", slot.c_str(), 1);
  setenv("ORVEL_P11_PIN", kPin, 1);
  setenv("ORVEL_P11_FAULTS", faults.c_str(), 1);
  TokenKey t;
  orvel::X509Ptr file_cert = gost_keys_test::read_cert_pem(fixture(name + ".pem"));
  if (!file_cert) return t;
  orvel::CharsPtr id(calc_sha1id(file_cert.get()));
  SigRcpSsfInfo record{};
  record.uResult = 28;
  X509* cert = nullptr;
  EVP_PKEY* key = nullptr;
  t.rc = ssf_load_cert_and_key_token(ORVEL_TEST_P11_MODULE, kPin, id.get(), &record, 0, &cert,
                                     &key, nullptr);
  t.cert.reset(cert);
  t.key.reset(key);
  t.result = record.uResult;
  return t;
}

class TokenKeys : public ::testing::TestWithParam<gost_kt_test::Fixture> {
 protected:
  void SetUp() override { ASSERT_TRUE(gost_keys_test::setup()); }
};

TEST_P(TokenKeys, KeyTransportIsDecryptedOnTheToken) {
  TokenKey t = load_token_key(GetParam().name);
  ASSERT_EQ(t.rc, 0);
  ASSERT_TRUE(t.key);
  EXPECT_EQ(IsTokenPkey(t.key.get()), 1);
  TokenKeyContext* token = GetTokenPkey(t.key.get());
  ASSERT_NE(token, nullptr);

  std::mt19937 rng(7);
  for (int i = 0; i < 4; i++) {
    const Bytes cek = gost_kt_test::random_bytes(rng, 32);
    const Bytes kt = gost_kt_test::kt_encrypt(X509_get0_pubkey(t.cert.get()), cek);
    ASSERT_FALSE(kt.empty());
    unsigned char out[32] = {};
    ASSERT_EQ(TOKEN_PKEY_decrypt(out, kt.data(), kt.size(), token), 32);
    EXPECT_EQ(Bytes(out, out + 32), cek);
  }
}

TEST_P(TokenKeys, DamagedKeyTransportsAreRefused) {
  TokenKey t = load_token_key(GetParam().name);
  ASSERT_TRUE(t.key);
  TokenKeyContext* token = GetTokenPkey(t.key.get());
  ASSERT_NE(token, nullptr);
  const Bytes cek(32, 0x5a);
  const Bytes kt = gost_kt_test::kt_encrypt(X509_get0_pubkey(t.cert.get()), cek);
  ASSERT_FALSE(kt.empty());
  unsigned char out[32];

  EXPECT_EQ(TOKEN_PKEY_decrypt(nullptr, kt.data(), kt.size(), token), -1);
  for (size_t cut : {size_t{0}, size_t{1}, kt.size() / 2, kt.size() - 1})
    EXPECT_EQ(TOKEN_PKEY_decrypt(out, kt.data(), cut, token), -1) << cut;

  // One field changed at a time, re-encoded.
  auto altered = [&](auto change) {
    const unsigned char* p = kt.data();
    VKC_KEY_TRANSPORT* v = d2i_VKC_KEY_TRANSPORT(nullptr, &p, static_cast<long>(kt.size()));
    EXPECT_NE(v, nullptr);
    if (v == nullptr) return Bytes();
    change(v);
    unsigned char* der = nullptr;
    const int n = i2d_VKC_KEY_TRANSPORT(v, &der);
    Bytes b(der, der + (n > 0 ? n : 0));
    OPENSSL_free(der);
    VKC_KEY_TRANSPORT_free(v);
    return b;
  };
  const Bytes bad_mac = altered([](VKC_KEY_TRANSPORT* v) {
    unsigned char* m = ASN1_STRING_data(v->key_info->imit);
    m[0] ^= 1;
  });
  EXPECT_EQ(TOKEN_PKEY_decrypt(out, bad_mac.data(), bad_mac.size(), token), -1);
  const Bytes short_ukm = altered([](VKC_KEY_TRANSPORT* v) {
    ASN1_OCTET_STRING_set(v->key_agreement_info->eph_iv, ASN1_STRING_get0_data(v->key_agreement_info->eph_iv), 4);
  });
  EXPECT_EQ(TOKEN_PKEY_decrypt(out, short_ukm.data(), short_ukm.size(), token), -1);
  const Bytes short_mac = altered([](VKC_KEY_TRANSPORT* v) {
    ASN1_OCTET_STRING_set(v->key_info->imit, ASN1_STRING_get0_data(v->key_info->imit), 2);
  });
  EXPECT_EQ(TOKEN_PKEY_decrypt(out, short_mac.data(), short_mac.size(), token), -1);
  const Bytes long_key = altered([](VKC_KEY_TRANSPORT* v) {
    unsigned char big[64] = {};
    ASN1_OCTET_STRING_set(v->key_info->encrypted_key, big, sizeof(big));
  });
  EXPECT_EQ(TOKEN_PKEY_decrypt(out, long_key.data(), long_key.size(), token), -1);
  const Bytes no_ephemeral = altered([](VKC_KEY_TRANSPORT* v) {
    X509_PUBKEY_free(v->key_agreement_info->ephem_key);
    v->key_agreement_info->ephem_key = nullptr;
  });
  EXPECT_EQ(TOKEN_PKEY_decrypt(out, no_ephemeral.data(), no_ephemeral.size(), token), -1);
  const Bytes long_oid = altered([](VKC_KEY_TRANSPORT* v) {
    ASN1_OBJECT_free(v->key_agreement_info->cipher);
    v->key_agreement_info->cipher = OBJ_txt2obj("1.2.643.2.2.31.1.2.3.4.5.6", 1);
  });
  EXPECT_EQ(TOKEN_PKEY_decrypt(out, long_oid.data(), long_oid.size(), token), -1);

  // A token whose derived key is wrong: the MAC check catches it.
  t = TokenKey{};
  TokenKey wrong = load_token_key(GetParam().name, "bad_kek");
  ASSERT_TRUE(wrong.key);
  EXPECT_EQ(TOKEN_PKEY_decrypt(out, kt.data(), kt.size(), GetTokenPkey(wrong.key.get())), -1);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, TokenKeys, ::testing::ValuesIn(gost_kt_test::fixtures()),
                         [](const ::testing::TestParamInfo<gost_kt_test::Fixture>& p) {
                           std::string n = p.param.name;
                           for (auto& c : n)
                             if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                           return n;
                         });

// Software keys of a type that has token keys keep signing in software and
// are never taken for token keys; a token key signs on the token.
TEST(TokenKeyMethods, SoftwareKeysStayApartFromTokenKeys) {
  ASSERT_TRUE(gost_keys_test::setup());
  const std::string name = "gost12-256_CryptoPro-A";
  TokenKey t = load_token_key(name);
  ASSERT_TRUE(t.key);
  orvel::EvpPkeyPtr soft = gost_keys_test::read_private_pem(fixture(name + ".key"));
  ASSERT_TRUE(soft);
  EXPECT_EQ(IsTokenPkey(soft.get()), 0);
  EXPECT_EQ(GetTokenPkey(soft.get()), nullptr);
  EXPECT_EQ(IsTokenPkey(nullptr), 0);

  const unsigned char digest[32] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  auto sign_and_verify = [&](EVP_PKEY* signer) {
    orvel::EvpPkeyCtxPtr ctx(EVP_PKEY_CTX_new(signer, nullptr));
    if (!ctx || EVP_PKEY_sign_init(ctx.get()) != 1) return false;
    size_t len = 0;
    if (EVP_PKEY_sign(ctx.get(), nullptr, &len, digest, sizeof(digest)) != 1 || len != 64)
      return false;
    unsigned char sig[64];
    if (EVP_PKEY_sign(ctx.get(), sig, &len, digest, sizeof(digest)) != 1 || len != 64)
      return false;
    orvel::EvpPkeyCtxPtr vctx(EVP_PKEY_CTX_new(X509_get0_pubkey(t.cert.get()), nullptr));
    return vctx && EVP_PKEY_verify_init(vctx.get()) == 1 &&
           EVP_PKEY_verify(vctx.get(), sig, len, digest, sizeof(digest)) == 1;
  };
  EXPECT_TRUE(sign_and_verify(t.key.get()));
  EXPECT_TRUE(sign_and_verify(soft.get()));
  // Freeing the token key closes its session; the software key still signs.
  t.key.reset();
  EXPECT_TRUE(sign_and_verify(soft.get()));
}

TEST(TokenUtil, ReversedCopyAndPinPrompt) {
  const unsigned char src[] = {1, 2, 3, 4};
  unsigned char dst[4] = {};
  EXPECT_EQ(memcpy_rev(dst, src, 4), 4);
  EXPECT_EQ(Bytes(dst, dst + 4), (Bytes{4, 3, 2, 1}));
  EXPECT_EQ(memcpy_rev(dst, src, 0), 0);
  EXPECT_EQ(memcpy_rev(dst, src, -3), 0);

  CK_TOKEN_INFO info;
  memset(&info, ' ', sizeof(info));
  memcpy(info.label, "My Token", 8);
  memcpy(info.serialNumber, "0042", 4);
  EXPECT_STREQ(make_token_pin_prompt(&info), "Token: 'My Token' (#0042)");
  memset(info.label, 'L', sizeof(info.label));
  memset(info.serialNumber, 'S', sizeof(info.serialNumber));
  EXPECT_EQ(std::string(make_token_pin_prompt(&info)),
            "Token: '" + std::string(32, 'L') + "' (#" + std::string(16, 'S') + ")");
}

}  // namespace
