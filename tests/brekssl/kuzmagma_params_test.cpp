// Algorithm parameters of the Kuznyechik and Magma ciphers: the IV and the
// family identifier written, read back by a fresh context (also a 32-byte
// register), refusals of wrong IVs, and whole PKCS#7 envelopes with an RSA
// recipient for every cipher that has an object identifier.
#include <gtest/gtest.h>
#include <openssl/objects.h>
#include <openssl/pkcs7.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <random>
#include <string>

#include "engines/gost/gost_cipher_params.h"
#include "kuzmagma_test_util.h"
#include "objects/ssf_objects.h"

using namespace kuzmagma_test;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {

using Asn1TypePtr = std::unique_ptr<ASN1_TYPE, orvel::Free<ASN1_TYPE, ASN1_TYPE_free>>;
using ParamsPtr =
    std::unique_ptr<VKC_CIPHER_PARAMS, orvel::Free<VKC_CIPHER_PARAMS, VKC_CIPHER_PARAMS_free>>;

class KuzMagmaParams : public testing::Test {
 protected:
  void SetUp() override { gost_engine_test::load_engines(); }
};

ParamsPtr decode(const ASN1_TYPE* t) {
  if (t == nullptr || ASN1_TYPE_get(t) != V_ASN1_SEQUENCE) return nullptr;
  const unsigned char* p = ASN1_STRING_get0_data(t->value.sequence);
  return ParamsPtr(d2i_VKC_CIPHER_PARAMS(nullptr, &p, ASN1_STRING_length(t->value.sequence)));
}

// Decrypts with a context that learns its IV from the parameters only.
Bytes decrypt_from_params(const EVP_CIPHER* cipher, const Bytes& key, ASN1_TYPE* params,
                          const Bytes& ct) {
  orvel::EvpCipherCtxPtr ctx(EVP_CIPHER_CTX_new());
  EXPECT_EQ(EVP_DecryptInit_ex(ctx.get(), cipher, nullptr, nullptr, nullptr), 1);
  EXPECT_GT(EVP_CIPHER_asn1_to_param(ctx.get(), params), 0);
  EXPECT_EQ(EVP_DecryptInit_ex(ctx.get(), nullptr, nullptr, key.data(), nullptr), 1);
  return run_ctx(ctx.get(), ct);
}

TEST_F(KuzMagmaParams, WrittenIvAndFamilyReadBack) {
  std::mt19937 rng(4);
  for (const CipherCase& c : all_ciphers()) {
    SCOPED_TRACE(c.name);
    const Bytes key = random_bytes(rng, 32), iv = random_bytes(rng, default_iv_len(c));
    const Bytes pt = random_bytes(rng, 4 * c.n);
    orvel::EvpCipherCtxPtr ctx = keyed_ctx(c.object(), key, iv, true);
    Asn1TypePtr params(ASN1_TYPE_new());
    ASSERT_GT(EVP_CIPHER_param_to_asn1(ctx.get(), params.get()), 0);
    const Bytes ct = run_ctx(ctx.get(), pt);
    ParamsPtr gp = decode(params.get());
    ASSERT_TRUE(gp);
    EXPECT_EQ(Bytes(ASN1_STRING_get0_data(gp->iv),
                    ASN1_STRING_get0_data(gp->iv) + ASN1_STRING_length(gp->iv)),
              iv);
    char oid[64];
    OBJ_obj2txt(oid, sizeof(oid), gp->enc_param_set, 1);
    EXPECT_STREQ(oid, c.n == 16 ? "1.2.643.7.1.1.5.2" : "1.2.643.7.1.1.5.1");
    EXPECT_EQ(decrypt_from_params(c.object(), key, params.get(), ct), pt);
  }
}

// A longer register is written whole, and a receiver takes it over.
TEST_F(KuzMagmaParams, LongRegisterTravelsWhole) {
  std::mt19937 rng(5);
  for (const CipherCase& c : all_ciphers()) {
    if (c.mode == Mode::kEcb || c.mode == Mode::kCtr) continue;
    SCOPED_TRACE(c.name);
    const Bytes key = random_bytes(rng, 32), iv = random_bytes(rng, 32);
    const Bytes pt = random_bytes(rng, 6 * c.n);
    orvel::EvpCipherCtxPtr ctx = keyed_ctx(c.object(), key, iv, true, 32);
    Asn1TypePtr params(ASN1_TYPE_new());
    ASSERT_GT(EVP_CIPHER_param_to_asn1(ctx.get(), params.get()), 0);
    const Bytes ct = run_ctx(ctx.get(), pt);
    EXPECT_EQ(ct, reference_encrypt(c, key, iv, pt));
    ParamsPtr gp = decode(params.get());
    ASSERT_TRUE(gp);
    EXPECT_EQ(ASN1_STRING_length(gp->iv), 32);
    EXPECT_EQ(decrypt_from_params(c.object(), key, params.get(), ct), pt);
  }
}

TEST_F(KuzMagmaParams, WrongParametersAreRefused) {
  for (const CipherCase& c : all_ciphers()) {
    SCOPED_TRACE(c.name);
    orvel::EvpCipherCtxPtr ctx(EVP_CIPHER_CTX_new());
    ASSERT_EQ(EVP_DecryptInit_ex(ctx.get(), c.object(), nullptr, nullptr, nullptr), 1);
    // An IV of no length the mode takes: 5 bytes, or a long one for a
    // mode without a register.
    for (size_t len : {size_t{5}, size_t{40}, c.n * 2}) {
      if (len == c.n * 2 && c.mode != Mode::kEcb && c.mode != Mode::kCtr) continue;
      ParamsPtr gp(VKC_CIPHER_PARAMS_new());
      const Bytes iv(len, 0x5a);
      ASSERT_EQ(ASN1_OCTET_STRING_set(gp->iv, iv.data(), static_cast<int>(len)), 1);
      ASN1_OBJECT_free(gp->enc_param_set);
      gp->enc_param_set = OBJ_txt2obj("1.2.643.7.1.1.5.2", 1);
      unsigned char* der = nullptr;
      const int der_len = i2d_VKC_CIPHER_PARAMS(gp.get(), &der);
      ASSERT_GT(der_len, 0);
      ASN1_STRING* seq = ASN1_STRING_new();
      ASN1_STRING_set(seq, der, der_len);
      OPENSSL_free(der);
      Asn1TypePtr params(ASN1_TYPE_new());
      ASN1_TYPE_set(params.get(), V_ASN1_SEQUENCE, seq);
      CaptureStderr();
      EXPECT_LE(EVP_CIPHER_asn1_to_param(ctx.get(), params.get()), 0) << len;
      EXPECT_EQ(GetCapturedStderr(),
                std::string(c.family) + "_get_asn1_parameters: Invalid IV length\n");
    }
    // Not a SEQUENCE: refused without a message. Truncated DER: refused.
    Asn1TypePtr null_param(ASN1_TYPE_new());
    ASN1_TYPE_set(null_param.get(), V_ASN1_NULL, nullptr);
    CaptureStderr();
    EXPECT_LE(EVP_CIPHER_asn1_to_param(ctx.get(), null_param.get()), 0);
    EXPECT_EQ(GetCapturedStderr(), "");
    ASN1_STRING* seq = ASN1_STRING_new();
    const unsigned char cut[] = {0x30, 0x0c, 0x04, 0x08, 0x01, 0x02};
    ASN1_STRING_set(seq, cut, sizeof(cut));
    Asn1TypePtr truncated(ASN1_TYPE_new());
    ASN1_TYPE_set(truncated.get(), V_ASN1_SEQUENCE, seq);
    CaptureStderr();
    EXPECT_LE(EVP_CIPHER_asn1_to_param(ctx.get(), truncated.get()), 0);
    EXPECT_EQ(GetCapturedStderr(),
              std::string(c.family) + "_get_asn1_parameters: Invalid parameters\n");
  }
}

// A self-signed RSA certificate for an envelope recipient.
orvel::X509Ptr self_signed(EVP_PKEY* key) {
  orvel::X509Ptr x(X509_new());
  X509_set_version(x.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(x.get()), 7);
  X509_NAME* name = X509_get_subject_name(x.get());
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("kuzmagma"), -1, -1, 0);
  X509_set_issuer_name(x.get(), name);
  X509_gmtime_adj(X509_getm_notBefore(x.get()), -3600);
  X509_gmtime_adj(X509_getm_notAfter(x.get()), 3600);
  X509_set_pubkey(x.get(), key);
  EXPECT_GT(X509_sign(x.get(), key, EVP_sha256()), 0);
  return x;
}

TEST_F(KuzMagmaParams, Pkcs7EnvelopeRoundTrip) {
  orvel::EvpPkeyPtr key(EVP_RSA_gen(2048));
  ASSERT_TRUE(key);
  orvel::X509Ptr cert = self_signed(key.get());
  std::mt19937 rng(7);
  int with_oid = 0;
  for (const CipherCase& c : all_ciphers()) {
    // Ciphers known by name only cannot be named in an algorithm identifier.
    if (OBJ_length(OBJ_nid2obj(EVP_CIPHER_get_nid(c.object()))) == 0) continue;
    SCOPED_TRACE(c.name);
    ++with_oid;
    const Bytes msg = random_bytes(rng, whole_blocks(c) ? 8 * c.n : 301);
    orvel::X509StackPtr certs(sk_X509_new_null());
    sk_X509_push(certs.get(), cert.get());
    X509_up_ref(cert.get());
    orvel::BioPtr in(BIO_new_mem_buf(msg.data(), static_cast<int>(msg.size())));
    orvel::Pkcs7Ptr p7(PKCS7_encrypt(certs.get(), in.get(), c.object(), PKCS7_BINARY));
    ASSERT_TRUE(p7);
    // Through DER, as a receiver gets it.
    unsigned char* der = nullptr;
    const int der_len = i2d_PKCS7(p7.get(), &der);
    ASSERT_GT(der_len, 0);
    const unsigned char* p = der;
    orvel::Pkcs7Ptr back(d2i_PKCS7(nullptr, &p, der_len));
    OPENSSL_free(der);
    ASSERT_TRUE(back);
    const X509_ALGOR* alg = back->d.enveloped->enc_data->algorithm;
    EXPECT_EQ(OBJ_obj2nid(alg->algorithm), EVP_CIPHER_get_nid(c.object()));
    ParamsPtr gp = decode(alg->parameter);
    ASSERT_TRUE(gp);
    EXPECT_EQ(static_cast<size_t>(ASN1_STRING_length(gp->iv)), default_iv_len(c));
    orvel::BioPtr out(BIO_new(BIO_s_mem()));
    ASSERT_EQ(PKCS7_decrypt(back.get(), key.get(), cert.get(), out.get(), 0), 1);
    char* data = nullptr;
    const long len = BIO_get_mem_data(out.get(), &data);
    EXPECT_EQ(Bytes(data, data + len), msg);
  }
  EXPECT_GE(with_oid, 3);
}

}  // namespace
