// digest_data: PKCS#7 digestedData over the unwrapped host data, checked
// with the openssl command line (cms -digest_verify) and nettle's digests.
#include "digest.h"

#include <gtest/gtest.h>
#include <nettle/md5.h>
#include <nettle/sha1.h>

#include <string>

#include "crl_test_env.h"
#include "operations.h"
#include "ossl_ptr.h"
#include "test_pki_builder.h"

namespace orvel_test {
namespace {

std::string blob_text(const SsfDataBlob& b) {
  return std::string(reinterpret_cast<char*>(b.pbData), b.cbData);
}

SsfDataBlob blob_of(const std::string& s) {
  SsfDataBlob b;
  b.pbData = reinterpret_cast<unsigned char*>(const_cast<char*>(s.data()));
  b.cbData = static_cast<SsfInt>(s.size());
  return b;
}

std::string wrap(const std::string& data) {
  SsfDataBlob in = blob_of(data), out;
  EXPECT_EQ(encode_data(&out, &in), 0);
  std::string der = blob_text(out);
  OPENSSL_free(out.pbData);
  return der;
}

std::string nettle_digest(int hash_id, const std::string& data) {
  std::string out;
  if (hash_id == SSF_HASH_SHA1) {
    sha1_ctx c;
    sha1_init(&c);
    sha1_update(&c, data.size(), reinterpret_cast<const uint8_t*>(data.data()));
    out.resize(SHA1_DIGEST_SIZE);
    sha1_digest(&c, out.size(), reinterpret_cast<uint8_t*>(out.data()));
  } else {
    md5_ctx c;
    md5_init(&c);
    md5_update(&c, data.size(), reinterpret_cast<const uint8_t*>(data.data()));
    out.resize(MD5_DIGEST_SIZE);
    md5_digest(&c, out.size(), reinterpret_cast<uint8_t*>(out.data()));
  }
  return out;
}

struct DigestCase {
  int hash_id;
  bool detached;
};

class DigestData : public ::testing::TestWithParam<DigestCase> {
 protected:
  TraceLog log_;
};

TEST_P(DigestData, AcceptedByOpensslCmsAndMatchesNettle) {
  const DigestCase c = GetParam();
  for (size_t size : {1u, 63u, 1000u, 100000u}) {
    std::string data(size, '\0');
    for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>((i * 7 + 3) & 0xff);
    std::string input = wrap(data);
    SsfDataBlob in = blob_of(input), out;
    ASSERT_EQ(digest_data(&out, &in, c.hash_id, c.detached), 0);
    std::string der = blob_text(out);
    OPENSSL_free(out.pbData);

    const unsigned char* p = reinterpret_cast<const unsigned char*>(der.data());
    orvel::Pkcs7Ptr p7(d2i_PKCS7(nullptr, &p, static_cast<long>(der.size())));
    ASSERT_TRUE(p7);
    ASSERT_TRUE(PKCS7_type_is_digest(p7.get()));
    EXPECT_EQ(OBJ_obj2nid(p7->d.digest->md->algorithm),
              c.hash_id == SSF_HASH_SHA1 ? NID_sha1 : NID_md5);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(p7->d.digest->digest->data),
                          p7->d.digest->digest->length),
              nettle_digest(c.hash_id, data));
    EXPECT_TRUE(PKCS7_type_is_data(p7->d.digest->contents));
    EXPECT_EQ(p7->d.digest->contents->d.data == nullptr, c.detached);

    write_file(log_.dir().file("d.der"), der);
    write_file(log_.dir().file("data.bin"), data);
    std::string cmd = "openssl cms -digest_verify -inform DER -in " + log_.dir().file("d.der") +
                      " -out " + log_.dir().file("out.bin");
    if (c.detached) cmd += " -content " + log_.dir().file("data.bin");
    std::string output;
    ASSERT_EQ(run_command(cmd, &output), 0) << output;
    EXPECT_NE(output.find("Verification successful"), std::string::npos);
    EXPECT_EQ(read_file(log_.dir().file("out.bin")), data);

    // A changed digest is refused by the same tool.
    size_t pos = der.rfind(nettle_digest(c.hash_id, data));
    ASSERT_NE(pos, std::string::npos);
    der[pos] ^= 1;
    write_file(log_.dir().file("d.der"), der);
    EXPECT_NE(run_command(cmd, &output), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Sha1AndMd5, DigestData,
                         ::testing::Values(DigestCase{SSF_HASH_SHA1, false},
                                           DigestCase{SSF_HASH_SHA1, true},
                                           DigestCase{SSF_HASH_MD5, false},
                                           DigestCase{SSF_HASH_MD5, true}));

TEST(DigestDataInput, SignedDataIsDigestedWhole) {
  TraceLog log;
  pki::Authority ca = pki::Authority::root();
  pki::Issued signer = ca.issue({});
  orvel::BioPtr content(BIO_new_mem_buf("signed content", -1));
  orvel::Pkcs7Ptr signed_data(
      PKCS7_sign(signer.cert.get(), signer.key.get(), nullptr, content.get(), PKCS7_BINARY));
  ASSERT_TRUE(signed_data);
  unsigned char* der = nullptr;
  int n = i2d_PKCS7(signed_data.get(), &der);
  std::string whole(reinterpret_cast<char*>(der), n);
  OPENSSL_free(der);

  SsfDataBlob in = blob_of(whole), out;
  ASSERT_EQ(digest_data(&out, &in, SSF_HASH_SHA1, 1), 0);
  const unsigned char* p = out.pbData;
  orvel::Pkcs7Ptr p7(d2i_PKCS7(nullptr, &p, out.cbData));
  OPENSSL_free(out.pbData);
  ASSERT_TRUE(p7);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(p7->d.digest->digest->data),
                        p7->d.digest->digest->length),
            nettle_digest(SSF_HASH_SHA1, whole));
}

TEST(DigestDataInput, RefusedInputsAndDigests) {
  TraceLog log;
  std::string input = wrap("abc");
  SsfDataBlob in = blob_of(input), out;
  EXPECT_EQ(digest_data(&out, &in, 0, 0), SSF_API_UNKNOWN_HASH);
  EXPECT_EQ(digest_data(&out, &in, 9, 0), SSF_API_UNKNOWN_HASH);
  EXPECT_TRUE(log.contains("digest_data() 1 : md is NULL"));
  // The GOST digests come with the GOST engine; until it is loaded they are
  // refused like any missing digest.
  for (int id : {SSF_HASH_GOSTR3411_94, SSF_HASH_GOSTR3411_2012_256, SSF_HASH_GOSTR3411_2012_512}) {
    if (get_EVP_MD_by_alg(id) == nullptr) {
      EXPECT_EQ(digest_data(&out, &in, id, 0), SSF_API_UNKNOWN_HASH);
    } else {
      ASSERT_EQ(digest_data(&out, &in, id, 1), 0);
      OPENSSL_free(out.pbData);
      out = {};
    }
  }

  std::string raw = "not a PKCS#7 structure";
  SsfDataBlob bad = blob_of(raw);
  EXPECT_EQ(digest_data(&out, &bad, SSF_HASH_SHA1, 0), SSF_API_DECODE_FAILED);
  EXPECT_TRUE(log.contains("digest_data() 2: decoding failed"));
  std::string truncated = input.substr(0, input.size() - 1);
  SsfDataBlob cut = blob_of(truncated);
  EXPECT_EQ(digest_data(&out, &cut, SSF_HASH_SHA1, 0), SSF_API_DECODE_FAILED);
  EXPECT_EQ(out.pbData, nullptr);
}

}  // namespace
}  // namespace orvel_test
