// Base64 encoding and decoding (checked against nettle's Base64), and the
// PKCS#7 data wrapping of host data.
#include <gtest/gtest.h>
#include <nettle/base64.h>

#include <string>

#include "base64.h"
#include "crl_test_env.h"
#include "operations.h"
#include "ossl_ptr.h"
#include "test_pki_builder.h"

namespace orvel_test {
namespace {

SsfDataBlob blob_of(const std::string& s) {
  SsfDataBlob b;
  b.pbData = reinterpret_cast<unsigned char*>(const_cast<char*>(s.data()));
  b.cbData = static_cast<SsfInt>(s.size());
  return b;
}

// Runs an operation and returns its output as text ("" and rc on failure).
template <typename F>
int run(F f, const std::string& input, std::string* output) {
  SsfDataBlob in = blob_of(input), out;
  int rc = f(&out, &in);
  output->assign(out.pbData ? std::string(reinterpret_cast<char*>(out.pbData), out.cbData)
                            : std::string());
  OPENSSL_free(out.pbData);
  return rc;
}

// nettle's Base64 in one piece.
std::string nettle_base64(const std::string& data) {
  std::string raw(BASE64_ENCODE_RAW_LENGTH(data.size()), '\0');
  nettle_base64_encode_raw(reinterpret_cast<char*>(raw.data()), data.size(),
                           reinterpret_cast<const uint8_t*>(data.data()));
  return raw;
}

// nettle's Base64, cut into lines of 64 characters, each ending in a line feed.
std::string nettle_base64_lines(const std::string& data) {
  std::string raw = nettle_base64(data);
  std::string out;
  for (size_t i = 0; i < raw.size(); i += 64) out += raw.substr(i, 64) + "\n";
  return out;
}

std::string bytes(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 131 + 17) & 0xff);
  return s;
}

auto enc(int nl) {
  return [nl](SsfDataBlob* o, const SsfDataBlob* i) { return base64_encode(o, i, nl); };
}
auto dec(int nl) {
  return [nl](SsfDataBlob* o, const SsfDataBlob* i) { return base64_decode(o, i, nl); };
}

TEST(Base64, AbcGivesOneLine) {
  TraceLog log;
  std::string out;
  ASSERT_EQ(run(enc(0), "abc", &out), 0);
  EXPECT_EQ(out, "YWJj\n");
  ASSERT_EQ(run(dec(0), "YWJj\n", &out), 0);
  EXPECT_EQ(out, "abc");
  // Text without a final line feed decodes too.
  ASSERT_EQ(run(dec(0), "YWJj", &out), 0);
  EXPECT_EQ(out, "abc");
}

TEST(Base64, RoundTripsAgainstNettleOverLengthsAndLineBoundaries) {
  TraceLog log;
  for (size_t n = 1; n <= 200; ++n) {
    std::string data = bytes(n), text, back;
    ASSERT_EQ(run(enc(0), data, &text), 0) << n;
    EXPECT_EQ(text, nettle_base64_lines(data)) << n;
    ASSERT_EQ(run(dec(0), text, &back), 0) << n;
    EXPECT_EQ(back, data) << n;
    // Without the last line feed (the last line may be a full 64 characters).
    ASSERT_EQ(run(dec(0), text.substr(0, text.size() - 1), &back), 0) << n;
    EXPECT_EQ(back, data) << n;
    // The form without line feeds.
    ASSERT_EQ(run(enc(1), data, &text), 0) << n;
    EXPECT_EQ(text, nettle_base64(data)) << n;
    ASSERT_EQ(run(dec(1), text, &back), 0) << n;
    EXPECT_EQ(back, data) << n;
  }
  std::string big = bytes(48 * 1000 + 1), text, back;
  ASSERT_EQ(run(enc(0), big, &text), 0);
  EXPECT_EQ(text, nettle_base64_lines(big));
  ASSERT_EQ(run(dec(0), text, &back), 0);
  EXPECT_EQ(back, big);
}

TEST(Base64, NothingToOutputGives4) {
  TraceLog log;
  std::string out;
  EXPECT_EQ(run(enc(0), "", &out), SSF_API_NOMEMORY);
  EXPECT_TRUE(log.contains("base64_encode() : base64_enc_dec( 1 ) failed"));
  EXPECT_EQ(run(dec(0), "\n", &out), SSF_API_NOMEMORY);
  EXPECT_EQ(run(dec(0), "!!!!\n", &out), SSF_API_NOMEMORY);
  EXPECT_TRUE(log.contains("base64_enc_dec() : OPENSSL_malloc( 0 ) failed"));
  EXPECT_TRUE(log.contains("base64_decode() : base64_enc_dec( 0 ) failed"));
}

// ---- PKCS#7 data wrapping ----

std::string der_of(PKCS7* p7) {
  unsigned char* der = nullptr;
  int n = i2d_PKCS7(p7, &der);
  std::string s(reinterpret_cast<char*>(der), n);
  OPENSSL_free(der);
  return s;
}

TEST(DataWrapping, EncodeGivesDataContentInfo) {
  TraceLog log;
  std::string out;
  ASSERT_EQ(run(encode_data, "abc", &out), 0);
  EXPECT_EQ(to_hex(reinterpret_cast<const unsigned char*>(out.data()), out.size()),
            "301206092a864886f70d010701a0050403616263");
  std::string back;
  ASSERT_EQ(run(decode_data, out, &back), 0);
  EXPECT_EQ(back, "abc");
  // A data ContentInfo is wrapped once more.
  std::string twice;
  ASSERT_EQ(run(encode_data, out, &twice), 0);
  EXPECT_NE(twice, out);
  ASSERT_EQ(run(decode_data, twice, &back), 0);
  EXPECT_EQ(back, out);
  // Binary data of many lengths round-trips; the openssl tool reads it.
  for (size_t n : {1u, 127u, 128u, 65536u}) {
    std::string data = bytes(n), wrapped;
    ASSERT_EQ(run(encode_data, data, &wrapped), 0);
    ASSERT_EQ(run(decode_data, wrapped, &back), 0);
    EXPECT_EQ(back, data);
  }
  write_file(log.dir().file("w.der"), out);
  std::string text;
  ASSERT_EQ(run_command("openssl asn1parse -inform DER -in " + log.dir().file("w.der"), &text), 0);
  EXPECT_NE(text.find("pkcs7-data"), std::string::npos);
  EXPECT_NE(text.find("OCTET STRING      :abc"), std::string::npos);
}

TEST(DataWrapping, SignedAndEnvelopedDataPassWhole) {
  TraceLog log;
  pki::Authority ca = pki::Authority::root();
  pki::Issued who = ca.issue({});
  orvel::BioPtr content(BIO_new_mem_buf("content", -1));
  orvel::Pkcs7Ptr sd(
      PKCS7_sign(who.cert.get(), who.key.get(), nullptr, content.get(), PKCS7_BINARY));
  orvel::X509StackPtr rcpts(sk_X509_new_null());
  X509_up_ref(who.cert.get());
  sk_X509_push(rcpts.get(), who.cert.get());
  orvel::BioPtr content2(BIO_new_mem_buf("content", -1));
  orvel::Pkcs7Ptr ed(PKCS7_encrypt(rcpts.get(), content2.get(), EVP_aes_128_cbc(), PKCS7_BINARY));
  ASSERT_TRUE(sd && ed);
  for (PKCS7* p7 : {sd.get(), ed.get()}) {
    std::string der = der_of(p7), out;
    ASSERT_EQ(run(encode_data, der, &out), 0);
    EXPECT_EQ(out, der);
    ASSERT_EQ(run(decode_data, der, &out), 0);
    EXPECT_EQ(out, der);
  }
}

TEST(DataWrapping, DecodeRefusals) {
  TraceLog log;
  std::string out;
  EXPECT_EQ(run(decode_data, "plain bytes", &out), SSF_API_DECODE_FAILED);
  EXPECT_TRUE(log.contains("decode_data() 1 : d2i_PKCS7() failed"));
  std::string wrapped;
  ASSERT_EQ(run(encode_data, "abcdef", &wrapped), 0);
  for (size_t cut = 1; cut < wrapped.size(); ++cut)
    EXPECT_EQ(run(decode_data, wrapped.substr(0, cut), &out), SSF_API_DECODE_FAILED) << cut;
  // A length field claiming far more than is there.
  EXPECT_EQ(run(decode_data, std::string("\x30\x84\x7f\xff\xff\xff\x06\x09", 8), &out),
            SSF_API_DECODE_FAILED);

  // A data ContentInfo with empty content has nothing to copy.
  orvel::Pkcs7Ptr empty(PKCS7_new());
  PKCS7_set_type(empty.get(), NID_pkcs7_data);
  EXPECT_EQ(run(decode_data, der_of(empty.get()), &out), SSF_API_NOMEMORY);
  EXPECT_TRUE(log.contains("decode_data() 3 : OPENSSL_malloc( 0 ) failed"));

  // A data ContentInfo whose optional content is absent altogether.
  const std::string no_content("\x30\x0b\x06\x09\x2a\x86\x48\x86\xf7\x0d\x01\x07\x01", 13);
  EXPECT_EQ(run(decode_data, no_content, &out), SSF_API_DECODE_FAILED);
  EXPECT_TRUE(log.contains("decode_data() 2 : PKCS7 data has no content"));

  // A digestedData is neither data nor passed whole.
  orvel::Pkcs7Ptr digested(PKCS7_new());
  PKCS7_set_type(digested.get(), NID_pkcs7_digest);
  PKCS7_set_digest(digested.get(), EVP_sha1());
  orvel::Pkcs7Ptr inner(PKCS7_new());
  PKCS7_set_type(inner.get(), NID_pkcs7_data);
  PKCS7_set_content(digested.get(), inner.release());
  EXPECT_EQ(run(decode_data, der_of(digested.get()), &out), SSF_API_DECODE_FAILED);
  EXPECT_TRUE(log.contains("decode_data() 2 : PKCS7 type is not data"));
}

}  // namespace
}  // namespace orvel_test
