// PKCS#7 envelopedData through the toolkit with GOST recipients: the
// toolkit's PKCS7_encrypt and PKCS7_decrypt reach the key-transport slots.
#include <gtest/gtest.h>
#include <openssl/err.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include <string>
#include <vector>

#include "engines/gost/gost_ciphers.h"
#include "engines/gost/gost_kt_asn1.h"
#include "gost_keys_test_util.h"
#include "test_util.h"

using namespace gost_keys_test;

namespace {

const char* const kRecipients[] = {"gost01_CryptoPro-A", "gost12-256_CryptoPro-A",
                                   "gost12-256_TC26-256-B", "gost12-256_CryptoPro-XchA",
                                   "gost12-512_TC26-512-A"};

std::string fixture(const std::string& name) {
  return orvel_test::data_dir() + "/gost_keys/" + name;
}

std::vector<unsigned char> envelope(X509* cert, const std::string& msg) {
  orvel::X509StackPtr certs(sk_X509_new_null());
  X509_up_ref(cert);
  sk_X509_push(certs.get(), cert);
  orvel::BioPtr in(BIO_new_mem_buf(msg.data(), static_cast<int>(msg.size())));
  orvel::Pkcs7Ptr p7(PKCS7_encrypt(certs.get(), in.get(), EVP_gost28147(), PKCS7_BINARY));
  if (!p7) return {};
  unsigned char* der = nullptr;
  int len = i2d_PKCS7(p7.get(), &der);
  if (len <= 0) return {};
  std::vector<unsigned char> out(der, der + len);
  OPENSSL_free(der);
  return out;
}

bool develope(const std::vector<unsigned char>& der, EVP_PKEY* key, X509* cert,
              std::string* msg) {
  const unsigned char* p = der.data();
  orvel::Pkcs7Ptr p7(d2i_PKCS7(nullptr, &p, static_cast<long>(der.size())));
  if (!p7) return false;
  orvel::BioPtr out(BIO_new(BIO_s_mem()));
  if (PKCS7_decrypt(p7.get(), key, cert, out.get(), PKCS7_BINARY) != 1) return false;
  char* data = nullptr;
  long n = BIO_get_mem_data(out.get(), &data);
  msg->assign(data, static_cast<size_t>(n));
  return true;
}

// The key transport inside the first RecipientInfo.
std::vector<unsigned char> recipient_key(const std::vector<unsigned char>& der) {
  const unsigned char* p = der.data();
  orvel::Pkcs7Ptr p7(d2i_PKCS7(nullptr, &p, static_cast<long>(der.size())));
  if (!p7 || !PKCS7_type_is_enveloped(p7.get())) return {};
  PKCS7_RECIP_INFO* ri = sk_PKCS7_RECIP_INFO_value(p7->d.enveloped->recipientinfo, 0);
  return {ri->enc_key->data, ri->enc_key->data + ri->enc_key->length};
}

class GostKtPkcs7 : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override { ASSERT_TRUE(setup()); }
};

TEST_P(GostKtPkcs7, EnvelopeAndDevelope) {
  orvel::X509Ptr cert = read_cert_pem(fixture(std::string(GetParam()) + ".pem"));
  orvel::EvpPkeyPtr key = read_private_pem(fixture(std::string(GetParam()) + ".key"));
  ASSERT_TRUE(cert);
  ASSERT_TRUE(key);
  const std::string msg = "GOST envelope test message, longer than one block of the cipher.";
  std::vector<unsigned char> a = envelope(cert.get(), msg);
  ASSERT_FALSE(a.empty()) << ERR_error_string(ERR_get_error(), nullptr);
  std::string got;
  ASSERT_TRUE(develope(a, key.get(), cert.get(), &got))
      << ERR_error_string(ERR_get_error(), nullptr);
  EXPECT_EQ(got, msg);
  // A second envelope of the same message carries another key transport
  // (fresh ephemeral key and UKM) and opens as well.
  std::vector<unsigned char> b = envelope(cert.get(), msg);
  ASSERT_FALSE(b.empty());
  EXPECT_NE(recipient_key(a), recipient_key(b));
  ASSERT_TRUE(develope(b, key.get(), cert.get(), &got));
  EXPECT_EQ(got, msg);
}

INSTANTIATE_TEST_SUITE_P(Recipients, GostKtPkcs7, ::testing::ValuesIn(kRecipients));

}  // namespace
