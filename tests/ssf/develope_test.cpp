// SsfDevelope: the wrong recipient, damaged envelopes, and RSA envelopes
// exchanged with the openssl command line both ways (its envelopes opened
// here; ours opened with openssl's RSA decryption and GnuTLS's GOST
// 28147-89).
#include <gnutls/crypto.h>
#include <gnutls/gnutls.h>
#include <gtest/gtest.h>
#include <openssl/objects.h>

#include "engines/gost/gost_cipher_params.h"
#include "envelope_test_env.h"

namespace orvel_test {
namespace {

class Develope : public EnvelopeTest {
 protected:
  void SetUp() override {
    alice_ = write_rsa_recipient(host_.dir, ca(), "Alice Recipient");
    bob_ = write_rsa_recipient(host_.dir, ca(), "Bob Recipient");
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

TEST_F(Develope, EnvelopesOfTheOpensslCommandLineOpen) {
  write_file(host_.dir.file("doc.txt"), kDocument);
  for (const std::string tool : {"smime", "cms"}) {
    const std::string out = host_.dir.file(tool + ".der");
    sh("openssl " + tool + " -encrypt -binary -aes256 -outform DER -in '" +
       host_.dir.file("doc.txt") + "' -out '" + out + "' '" + alice_.cert_pem + "' '" +
       bob_.cert_pem + "'");
    for (const Recipient* r : {&alice_, &bob_}) {
      Outcome d = develope(*r, read_file(out));
      ASSERT_EQ(d.rc, 0) << tool;
      EXPECT_EQ(unwrap(d.output), kDocument) << tool;
    }
  }
  // Content keys other than 32 bytes (here 3DES) are refused.
  sh("openssl smime -encrypt -binary -des3 -outform DER -in '" + host_.dir.file("doc.txt") +
     "' -out '" + host_.dir.file("des3.der") + "' '" + alice_.cert_pem + "'");
  expect_decrypt_failure(read_file(host_.dir.file("des3.der")), "3DES");
  EXPECT_NE(host_.log().find("SSF_EVP_PKEY_decrypt() 4 : dec_key_size is 24, not 32"),
            std::string::npos);
}

TEST_F(Develope, OurEnvelopeOpensIndependently) {
  orvel::Pkcs7Ptr p7 = parse_p7(enveloped_);
  ASSERT_TRUE(p7);
  // The content key through openssl's RSA decryption.
  PKCS7_RECIP_INFO* ri = first_ri(p7.get());
  write_file(host_.dir.file("enc-key.bin"),
             std::string(reinterpret_cast<const char*>(ri->enc_key->data), ri->enc_key->length));
  sh("openssl pkeyutl -decrypt -inkey '" + alice_.key_pem + "' -in '" +
     host_.dir.file("enc-key.bin") + "' -out '" + host_.dir.file("cek.bin") + "'");
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
