// The ASN.1 parameters of the GOST 28147-89 ciphers (Gost28147-89-Parameters:
// IV and parameter-set identifier): written and read through the toolkit,
// refusals of foreign values, and a PKCS#7 envelopedData made and opened by
// the toolkit with gost89 content encryption for an RSA recipient, whose
// content GnuTLS decrypts independently.
#include "engines/gost/gost_cipher_params.h"

#include <gnutls/crypto.h>
#include <gnutls/gnutls.h>
#include <gtest/gtest.h>
#include <openssl/err.h>
#include <openssl/objects.h>
#include <openssl/pkcs7.h>
#include <openssl/rsa.h>

#include <string>

#include "engines/gost/gost_ciphers.h"
#include "gost_engine_test_util.h"
#include "objects/ssf_objects.h"
#include "test_pki.h"

using namespace gost_engine_test;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {

using Asn1TypePtr = std::unique_ptr<ASN1_TYPE, orvel::Free<ASN1_TYPE, ASN1_TYPE_free>>;

// The DER of a parameter value (a SEQUENCE) written by the cipher.
Bytes params_der(EVP_CIPHER_CTX* ctx) {
  Asn1TypePtr t(ASN1_TYPE_new());
  EXPECT_EQ(EVP_CIPHER_param_to_asn1(ctx, t.get()), 1);
  if (ASN1_TYPE_get(t.get()) != V_ASN1_SEQUENCE) return {};
  const ASN1_STRING* s = t->value.sequence;
  return Bytes(ASN1_STRING_get0_data(s), ASN1_STRING_get0_data(s) + ASN1_STRING_length(s));
}

Asn1TypePtr sequence_param(const Bytes& der) {
  Asn1TypePtr t(ASN1_TYPE_new());
  ASN1_STRING* s = ASN1_STRING_new();
  ASN1_STRING_set(s, der.data(), static_cast<int>(der.size()));
  ASN1_TYPE_set(t.get(), V_ASN1_SEQUENCE, s);
  return t;
}

// Decrypts with the parameters read from der, as the toolkit's PKCS#7 code
// does: init without key, parameters, init with the key only.
Bytes decrypt_with_params(const Bytes& der, const Bytes& key, const Bytes& ct, int* rc) {
  orvel::EvpCipherCtxPtr ctx(EVP_CIPHER_CTX_new());
  EXPECT_EQ(EVP_DecryptInit_ex(ctx.get(), EVP_gost28147(), nullptr, nullptr, nullptr), 1);
  Asn1TypePtr t = sequence_param(der);
  *rc = EVP_CIPHER_asn1_to_param(ctx.get(), t.get());
  if (*rc <= 0) return {};
  EXPECT_EQ(EVP_DecryptInit_ex(ctx.get(), nullptr, nullptr, key.data(), nullptr), 1);
  Bytes out(ct.size());
  int outl = 0;
  EXPECT_EQ(EVP_DecryptUpdate(ctx.get(), out.data(), &outl, ct.data(), static_cast<int>(ct.size())),
            1);
  return out;
}

const char kParamZDer[] = "06092a8503070102050101";

// SEQUENCE { OCTET STRING iv, the DER of an identifier } in hex.
std::string params_hex(const std::string& iv_hex, const std::string& oid_der_hex) {
  return to_hex(orvel_test::tlv(
      0x30, orvel_test::cat({orvel_test::tlv(0x04, hex(iv_hex)), hex(oid_der_hex)})));
}

}  // namespace

TEST(GostCipherParams, WrittenAndReadBack) {
  load_engines();
  std::mt19937 rng(11);
  Bytes key = random_bytes(rng, 32), iv = random_bytes(rng, 8), msg = random_bytes(rng, 300);
  orvel::EvpCipherCtxPtr ctx(EVP_CIPHER_CTX_new());
  ASSERT_EQ(EVP_EncryptInit_ex(ctx.get(), EVP_gost28147(), nullptr, nullptr, nullptr), 1);
  ASSERT_EQ(EVP_EncryptInit_ex(ctx.get(), nullptr, nullptr, key.data(), iv.data()), 1);
  Bytes der = params_der(ctx.get());
  // SEQUENCE { OCTET STRING iv, OID id-tc26-gost-28147-param-Z }
  EXPECT_EQ(to_hex(der), params_hex(to_hex(iv), kParamZDer));
  Bytes ct = evp_cipher(EVP_gost28147(), key, iv, msg, true);
  int rc = 0;
  EXPECT_EQ(decrypt_with_params(der, key, ct, &rc), msg);
  EXPECT_EQ(rc, 1);

  // Another set travels with the parameters.
  ASSERT_EQ(
      EVP_CIPHER_CTX_ctrl(ctx.get(), 0x1001, NID_id_Gost28147_89_CryptoPro_B_ParamSet, nullptr), 1);
  der = params_der(ctx.get());
  EXPECT_EQ(to_hex(der), params_hex(to_hex(iv), "06072a850302021f02"));
  ct =
      evp_cipher(EVP_gost28147(), key, iv, msg, true, {}, NID_id_Gost28147_89_CryptoPro_B_ParamSet);
  EXPECT_EQ(decrypt_with_params(der, key, ct, &rc), msg);

  // The parameters through the type's own functions.
  const unsigned char* p = der.data();
  VKC_CIPHER_PARAMS* gp = d2i_VKC_CIPHER_PARAMS(nullptr, &p, static_cast<long>(der.size()));
  ASSERT_NE(gp, nullptr);
  EXPECT_EQ(OBJ_obj2nid(gp->enc_param_set), NID_id_Gost28147_89_CryptoPro_B_ParamSet);
  EXPECT_EQ(Bytes(gp->iv->data, gp->iv->data + gp->iv->length), iv);
  unsigned char* out = nullptr;
  int n = i2d_VKC_CIPHER_PARAMS(gp, &out);
  EXPECT_EQ(Bytes(out, out + n), der);
  OPENSSL_free(out);
  VKC_CIPHER_PARAMS_free(gp);
}

// A set the core does not know is written as the set the cipher fell back
// to, so the receiver decrypts with the same S-box.
TEST(GostCipherParams, FallbackSetIsWhatIsWritten) {
  load_engines();
  std::mt19937 rng(12);
  Bytes key = random_bytes(rng, 32), iv = random_bytes(rng, 8), msg = random_bytes(rng, 50);
  orvel::EvpCipherCtxPtr ctx(EVP_CIPHER_CTX_new());
  ASSERT_EQ(EVP_EncryptInit_ex(ctx.get(), EVP_gost28147(), nullptr, key.data(), iv.data()), 1);
  ASSERT_EQ(
      EVP_CIPHER_CTX_ctrl(ctx.get(), 0x1001, NID_id_GostR3410_2001_CryptoPro_A_ParamSet, nullptr),
      1);
  Bytes der = params_der(ctx.get());
  EXPECT_EQ(to_hex(der), params_hex(to_hex(iv), kParamZDer));
}

TEST(GostCipherParams, ForeignValuesRefused) {
  load_engines();
  std::mt19937 rng(13);
  Bytes key = random_bytes(rng, 32), ct = random_bytes(rng, 16);
  int rc = 0;
  // A 16-byte IV.
  CaptureStderr();
  decrypt_with_params(hex(params_hex(std::string(32, 'a'), kParamZDer)), key, ct, &rc);
  EXPECT_EQ(GetCapturedStderr(), "gost89_get_asn1_parameters: Invalid IV length\n");
  EXPECT_LE(rc, 0);
  // A set the crypto core does not know: a GOST R 34.11-94 set, an
  // identifier the toolkit does not know either.
  for (const char* oid : {"06072a850302021e01", "06062a0304050607"}) {
    CaptureStderr();
    decrypt_with_params(hex(params_hex("0102030405060708", oid)), key, ct, &rc);
    EXPECT_EQ(GetCapturedStderr(), "gost89_get_asn1_parameters: Unsupported parameter set\n")
        << oid;
    EXPECT_LE(rc, 0);
  }
  // Damaged DER: truncated, trailing bytes, wrong inner type.
  for (const char* der : {"3013040801020304050607080609",
                          "3015"
                          "04080102030405060708"
                          "06092a8503070102050101"
                          "0500",
                          "3015"
                          "03080102030405060708"
                          "06092a8503070102050101"}) {
    CaptureStderr();
    decrypt_with_params(hex(der), key, ct, &rc);
    EXPECT_EQ(GetCapturedStderr(), "gost89_get_asn1_parameters: Invalid parameters\n") << der;
    EXPECT_LE(rc, 0);
  }
  // Not a SEQUENCE: refused without a message.
  orvel::EvpCipherCtxPtr ctx(EVP_CIPHER_CTX_new());
  ASSERT_EQ(EVP_DecryptInit_ex(ctx.get(), EVP_gost28147(), nullptr, nullptr, nullptr), 1);
  Asn1TypePtr null_param(ASN1_TYPE_new());
  ASN1_TYPE_set(null_param.get(), V_ASN1_NULL, nullptr);
  CaptureStderr();
  EXPECT_LE(EVP_CIPHER_asn1_to_param(ctx.get(), null_param.get()), 0);
  EXPECT_EQ(GetCapturedStderr(), "");
  ERR_clear_error();
}

TEST(GostCipherParams, Pkcs7EnvelopeWithRsaRecipient) {
  load_engines();
  orvel::EvpPkeyPtr key = orvel_test::make_rsa_key(2048);
  ASSERT_TRUE(key);
  orvel::X509Ptr cert = orvel_test::make_cert(key.get(), "recipient", 7);
  ASSERT_TRUE(cert);
  std::mt19937 rng(14);
  Bytes msg = random_bytes(rng, 3000);

  orvel::X509StackPtr certs(sk_X509_new_null());
  ASSERT_EQ(sk_X509_push(certs.get(), X509_dup(cert.get())), 1);
  orvel::BioPtr in(BIO_new_mem_buf(msg.data(), static_cast<int>(msg.size())));
  orvel::Pkcs7Ptr p7(PKCS7_encrypt(certs.get(), in.get(), EVP_gost28147(), PKCS7_BINARY));
  ASSERT_TRUE(p7) << ERR_error_string(ERR_get_error(), nullptr);

  // The content-encryption algorithm: gost89 with IV and param-Z.
  PKCS7_ENC_CONTENT* enc = p7->d.enveloped->enc_data;
  EXPECT_EQ(OBJ_obj2nid(enc->algorithm->algorithm), NID_id_Gost28147_89);
  ASSERT_EQ(ASN1_TYPE_get(enc->algorithm->parameter), V_ASN1_SEQUENCE);
  const ASN1_STRING* seq = enc->algorithm->parameter->value.sequence;
  const unsigned char* p = ASN1_STRING_get0_data(seq);
  VKC_CIPHER_PARAMS* gp = d2i_VKC_CIPHER_PARAMS(nullptr, &p, ASN1_STRING_length(seq));
  ASSERT_NE(gp, nullptr);
  EXPECT_EQ(OBJ_obj2nid(gp->enc_param_set), ssf_nid_id_tc26_gost_28147_param_Z());
  Bytes iv(gp->iv->data, gp->iv->data + gp->iv->length);
  VKC_CIPHER_PARAMS_free(gp);
  ASSERT_EQ(iv.size(), 8u);

  // GnuTLS opens the content with the key the recipient info carries.
  PKCS7_RECIP_INFO* ri = sk_PKCS7_RECIP_INFO_value(p7->d.enveloped->recipientinfo, 0);
  orvel::EvpPkeyCtxPtr pctx(EVP_PKEY_CTX_new(key.get(), nullptr));
  ASSERT_EQ(EVP_PKEY_decrypt_init(pctx.get()), 1);
  ASSERT_EQ(EVP_PKEY_CTX_set_rsa_padding(pctx.get(), RSA_PKCS1_PADDING), 1);
  Bytes cek(256);
  size_t cek_len = cek.size();
  ASSERT_EQ(EVP_PKEY_decrypt(pctx.get(), cek.data(), &cek_len, ri->enc_key->data,
                             static_cast<size_t>(ri->enc_key->length)),
            1);
  cek.resize(cek_len);
  ASSERT_EQ(cek.size(), 32u);
  Bytes ct(enc->enc_data->data, enc->enc_data->data + enc->enc_data->length);
  ASSERT_EQ(ct.size(), msg.size());
  gnutls_cipher_hd_t h;
  gnutls_datum_t k = {cek.data(), 32};
  gnutls_datum_t v = {iv.data(), 8};
  ASSERT_EQ(gnutls_cipher_init(&h, GNUTLS_CIPHER_GOST28147_TC26Z_CFB, &k, &v), 0);
  Bytes plain(ct.size());
  ASSERT_EQ(gnutls_cipher_decrypt2(h, ct.data(), ct.size(), plain.data(), plain.size()), 0);
  gnutls_cipher_deinit(h);
  EXPECT_EQ(plain, msg);

  // The toolkit's own decryption, after a trip through DER.
  unsigned char* der = nullptr;
  int n = i2d_PKCS7(p7.get(), &der);
  ASSERT_GT(n, 0);
  const unsigned char* dp = der;
  orvel::Pkcs7Ptr back(d2i_PKCS7(nullptr, &dp, n));
  OPENSSL_free(der);
  ASSERT_TRUE(back);
  orvel::BioPtr out(BIO_new(BIO_s_mem()));
  ASSERT_EQ(PKCS7_decrypt(back.get(), key.get(), cert.get(), out.get(), PKCS7_BINARY), 1)
      << ERR_error_string(ERR_get_error(), nullptr);
  char* data = nullptr;
  long len = BIO_get_mem_data(out.get(), &data);
  EXPECT_EQ(Bytes(data, data + len), msg);
}
