// SsfDevelope: the wrong recipient, damaged envelopes and content ciphers
// other than GOST 28147-89 with GOST recipient keys; RSA recipient keys,
// in our envelopes and in those of the openssl command line, refused; our
// RSA envelopes opened independently (openssl's RSA decryption and
// GnuTLS's GOST 28147-89); the plaintext buffer when it cannot grow.
#include <gnutls/crypto.h>
#include <gnutls/gnutls.h>
#include <gtest/gtest.h>
#include <openssl/crypto.h>
#include <openssl/objects.h>

#include "engines/gost/gost_cipher_params.h"
#include "envelope_test_env.h"

namespace orvel_test {
namespace {

class Develope : public EnvelopeTest {
 protected:
  void SetUp() override {
    alice_ = write_gost_recipient(host_.dir, gost_ca(), "Alice Recipient");
    bob_ = write_gost_recipient(host_.dir, gost_ca(), "Bob Recipient", "gost12-512");
    add_to_pab(alice_, "alice.pem");
    enveloped_ = envelope({alice_.sha1_id}, wrap(kDocument)).output;
    ASSERT_FALSE(enveloped_.empty());
  }
  // The envelope after a change to its parsed structure.
  std::string changed(void (*change)(PKCS7*)) {
    orvel::Pkcs7Ptr p7 = parse_p7(enveloped_);
    change(p7.get());
    unsigned char* der = nullptr;
    const int n = i2d_PKCS7(p7.get(), &der);
    std::string out = as_string(der, n);
    OPENSSL_free(der);
    return out;
  }
  static PKCS7_RECIP_INFO* first_ri(PKCS7* p7) {
    return sk_PKCS7_RECIP_INFO_value(p7->d.enveloped->recipientinfo, 0);
  }
  void expect_decrypt_failure(const std::string& der, const std::string& why) {
    Outcome d = develope(alice_, der);
    EXPECT_EQ(d.rc, SSF_API_RECIPIENT_FAILED) << why;
    EXPECT_EQ(d.results[0], SSF_SIGNATURE_INVALID) << why;
    EXPECT_TRUE(d.output.empty()) << why;
  }
  Recipient alice_, bob_;
  std::string enveloped_;
};

TEST_F(Develope, RecipientWithoutRecipientInfo) {
  host_.mark();
  Outcome d = develope(bob_, enveloped_);
  EXPECT_EQ(d.rc, SSF_API_RECIPIENT_FAILED);
  EXPECT_EQ(d.results[0], SSF_SIGNATURE_INVALID);
  const std::string log = host_.since_mark();
  EXPECT_NE(log.find("develope_data() 9 : my_PKCS7_decrypt() failed"), std::string::npos);
  EXPECT_NE(log.find("no recipient matches certificate"), std::string::npos);
  // A profile whose key does not load is the key loader's failure.
  Recipient broken = recipient_from_files(bob_.cert_pem, host_.dir.file("missing-key.pem"));
  Outcome k = develope(broken, enveloped_);
  EXPECT_EQ(k.rc, SSF_API_RECIPIENT_FAILED);
  EXPECT_NE(k.results[0], 0);
  EXPECT_NE(host_.log().find("develope_data() 1 : ssf_load_cert_and_key() failed"),
            std::string::npos);
}

TEST_F(Develope, DamagedEnvelopes) {
  EXPECT_EQ(develope(alice_, enveloped_.substr(0, enveloped_.size() / 2)).rc,
            SSF_API_DECODE_FAILED);
  EXPECT_EQ(develope(alice_, "not DER at all").rc, SSF_API_DECODE_FAILED);
  EXPECT_EQ(develope(alice_, wrap(kDocument)).rc, SSF_API_UNKNOWN_FORMAT);
  expect_decrypt_failure(changed([](PKCS7* p7) { first_ri(p7)->enc_key->data[7] ^= 0x40; }),
                         "damaged encrypted key");
  expect_decrypt_failure(changed([](PKCS7* p7) {
                           ASN1_TYPE_set(p7->d.enveloped->enc_data->algorithm->parameter,
                                         V_ASN1_NULL, nullptr);
                         }),
                         "parameters of the content cipher");
  expect_decrypt_failure(changed([](PKCS7* p7) {
                           ASN1_OBJECT_free(p7->d.enveloped->enc_data->algorithm->algorithm);
                           p7->d.enveloped->enc_data->algorithm->algorithm =
                               OBJ_txt2obj("1.2.3.4.5", 1);
                         }),
                         "unknown content cipher");
  expect_decrypt_failure(changed([](PKCS7* p7) {
                           ASN1_OCTET_STRING_free(p7->d.enveloped->enc_data->enc_data);
                           p7->d.enveloped->enc_data->enc_data = nullptr;
                         }),
                         "no encrypted content");
}

TEST_F(Develope, EmptyEncryptedContentIsAnEmptyDataMessage) {
  const std::string empty = changed(
      [](PKCS7* p7) { ASN1_OCTET_STRING_set(p7->d.enveloped->enc_data->enc_data, nullptr, 0); });
  Outcome d = develope(alice_, empty);
  ASSERT_EQ(d.rc, 0);
  EXPECT_EQ(d.results[0], 0);
  EXPECT_EQ(unwrap(d.output), "");
}

TEST_F(Develope, RsaRecipientKeysAreRefused) {
  // An RSA key's decryption size query gives its modulus size, not the
  // 32 bytes of a content key: our envelope and those of the openssl
  // command line (AES-256 and 3DES content) are all refused.
  Recipient rsa = write_rsa_recipient(host_.dir, ca(), "Rsa Recipient");
  add_to_pab(rsa, "rsa.pem");
  Outcome e = envelope({rsa.sha1_id}, wrap(kDocument));
  ASSERT_EQ(e.rc, 0);
  std::vector<std::pair<std::string, std::string>> envelopes = {{"ours", e.output}};
  write_file(host_.dir.file("doc.txt"), kDocument);
  for (const std::string cmd : {"smime -aes256", "cms -aes256", "smime -des3"}) {
    const std::string out = host_.dir.file("openssl.der");
    sh("openssl " + cmd + " -encrypt -binary -outform DER -in '" + host_.dir.file("doc.txt") +
       "' -out '" + out + "' '" + rsa.cert_pem + "'");
    envelopes.emplace_back(cmd, read_file(out));
  }
  for (const auto& [what, der] : envelopes) {
    host_.mark();
    Outcome d = develope(rsa, der);
    EXPECT_EQ(d.rc, SSF_API_RECIPIENT_FAILED) << what;
    EXPECT_EQ(d.results[0], SSF_SIGNATURE_INVALID) << what;
    EXPECT_TRUE(d.output.empty()) << what;
    const std::string log = host_.since_mark();
    EXPECT_NE(log.find("SSF_EVP_PKEY_decrypt() 4 : dec_key_size is 256, not 32"), std::string::npos)
        << what;
    EXPECT_NE(log.find("develope_data() 9 : my_PKCS7_decrypt() failed"), std::string::npos) << what;
  }
}

TEST_F(Develope, OtherContentCipherOpensWithAGostKey) {
  // No tool at hand makes GOST key transport: the toolkit builds the
  // envelope here, with AES-256 content and the key transport that the
  // loaded library (started by SetUp) registered in this process.
  orvel::X509RefStackPtr certs(sk_X509_new_null());
  ASSERT_TRUE(certs);
  ASSERT_GT(sk_X509_push(certs.get(), alice_.cert.get()), 0);
  orvel::BioPtr in(BIO_new_mem_buf(kDocument, -1));
  orvel::Pkcs7Ptr p7(PKCS7_encrypt(certs.get(), in.get(), EVP_aes_256_cbc(), PKCS7_BINARY));
  ASSERT_TRUE(p7);
  unsigned char* der = nullptr;
  const int n = i2d_PKCS7(p7.get(), &der);
  ASSERT_GT(n, 0);
  const std::string aes = as_string(der, n);
  OPENSSL_free(der);
  Outcome d = develope(alice_, aes);
  ASSERT_EQ(d.rc, 0) << host_.log();
  EXPECT_EQ(d.results[0], 0);
  EXPECT_EQ(unwrap(d.output), kDocument);
}

// The toolkit's allocator for the whole process (the loaded library shares
// the toolkit): while armed, an allocation of exactly that size fails.
size_t g_fail_size = 0;
int g_failures = 0;
bool fails(size_t n) {
  if (g_fail_size == 0 || n != g_fail_size) return false;
  ++g_failures;
  return true;
}
void* failing_malloc(size_t n, const char*, int) { return fails(n) ? nullptr : malloc(n); }
void* failing_realloc(void* p, size_t n, const char*, int) {
  return fails(n) ? nullptr : realloc(p, n);
}
void plain_free(void* p, const char*, int) { free(p); }

class DevelopeBuffer : public Develope {
 protected:
  static void SetUpTestSuite() {
    // Works only before the toolkit's first allocation in this process.
    installed_ = CRYPTO_set_mem_functions(failing_malloc, failing_realloc, plain_free) == 1;
  }
  void SetUp() override {
    if (!installed_) GTEST_SKIP() << "toolkit allocated before the test started";
    Develope::SetUp();
  }
  static inline bool installed_ = false;
};

TEST_F(DevelopeBuffer, PlaintextBufferThatCannotGrowGives4) {
  // 70,001 bytes of plaintext: the buffer grows to all of it at once (one
  // growth, not one per 65,536-byte step), and that growth fails.
  const std::string document(70001, 'p');
  Outcome e = envelope({alice_.sha1_id}, wrap(document));
  ASSERT_EQ(e.rc, 0);
  host_.mark();
  g_fail_size = document.size();
  Outcome d = develope(alice_, e.output);
  g_fail_size = 0;
  EXPECT_EQ(d.rc, SSF_API_NOMEMORY);
  EXPECT_TRUE(d.output.empty());
  EXPECT_EQ(g_failures, 1);
  EXPECT_NE(host_.since_mark().find("develope_data() 10 : realloc( 70001 ) failed"),
            std::string::npos);
  // Without the failure the same envelope opens.
  Outcome ok = develope(alice_, e.output);
  ASSERT_EQ(ok.rc, 0);
  EXPECT_EQ(unwrap(ok.output), document);
  // Nor does a larger plaintext grow it step by step (that copies the
  // buffer once per step): 200,000 bytes never ask for two steps' room.
  const std::string large(200000, 'q');
  Outcome e2 = envelope({alice_.sha1_id}, wrap(large));
  ASSERT_EQ(e2.rc, 0);
  g_failures = 0;
  g_fail_size = 2 * 65536;
  Outcome ok2 = develope(alice_, e2.output);
  g_fail_size = 0;
  ASSERT_EQ(ok2.rc, 0) << host_.log();
  EXPECT_EQ(g_failures, 0);
  EXPECT_EQ(unwrap(ok2.output), large);
}

TEST_F(Develope, OurRsaEnvelopeOpensIndependently) {
  Recipient rsa = write_rsa_recipient(host_.dir, ca(), "Rsa Recipient");
  add_to_pab(rsa, "rsa.pem");
  Outcome e = envelope({rsa.sha1_id}, wrap(kDocument));
  ASSERT_EQ(e.rc, 0);
  orvel::Pkcs7Ptr p7 = parse_p7(e.output);
  ASSERT_TRUE(p7);
  // The content key through openssl's RSA decryption.
  PKCS7_RECIP_INFO* ri = first_ri(p7.get());
  write_file(host_.dir.file("enc-key.bin"),
             std::string(reinterpret_cast<const char*>(ri->enc_key->data), ri->enc_key->length));
  sh("openssl pkeyutl -decrypt -inkey '" + rsa.key_pem + "' -in '" + host_.dir.file("enc-key.bin") +
     "' -out '" + host_.dir.file("cek.bin") + "'");
  std::string cek = read_file(host_.dir.file("cek.bin"));
  ASSERT_EQ(cek.size(), 32u);
  // IV and parameter set (TC26 Z) of the content cipher.
  X509_ALGOR* alg = p7->d.enveloped->enc_data->algorithm;
  ASSERT_EQ(ASN1_TYPE_get(alg->parameter), V_ASN1_SEQUENCE);
  const unsigned char* p = alg->parameter->value.sequence->data;
  VKC_CIPHER_PARAMS* params =
      d2i_VKC_CIPHER_PARAMS(nullptr, &p, alg->parameter->value.sequence->length);
  ASSERT_NE(params, nullptr);
  char oid[64];
  OBJ_obj2txt(oid, sizeof oid, params->enc_param_set, 1);
  EXPECT_STREQ(oid, "1.2.643.7.1.2.5.1.1");
  std::string iv(reinterpret_cast<const char*>(params->iv->data), params->iv->length);
  VKC_CIPHER_PARAMS_free(params);
  ASSERT_EQ(iv.size(), 8u);
  // The content through GnuTLS's GOST 28147-89 CFB.
  ASN1_OCTET_STRING* ct = p7->d.enveloped->enc_data->enc_data;
  std::string plain(size_t(ct->length), '\0');
  gnutls_cipher_hd_t h;
  gnutls_datum_t k = {reinterpret_cast<unsigned char*>(cek.data()), 32};
  gnutls_datum_t v = {reinterpret_cast<unsigned char*>(iv.data()), 8};
  ASSERT_EQ(gnutls_cipher_init(&h, GNUTLS_CIPHER_GOST28147_TC26Z_CFB, &k, &v), 0);
  ASSERT_EQ(gnutls_cipher_decrypt2(h, ct->data, size_t(ct->length), plain.data(), plain.size()), 0);
  gnutls_cipher_deinit(h);
  OPENSSL_cleanse(cek.data(), cek.size());
  // The envelope holds the unwrapped document.
  EXPECT_EQ(plain, kDocument);
}

}  // namespace
}  // namespace orvel_test
