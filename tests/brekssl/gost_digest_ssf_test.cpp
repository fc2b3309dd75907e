// SsfDigest with the GOST hash names, through the library as a host loads
// it: the digest in the PKCS#7 digestedData equals libgcrypt's.
#include <dlfcn.h>
#include <gcrypt.h>
#include <gtest/gtest.h>
#include <openssl/objects.h>
#include <openssl/pkcs7.h>

#include <cstdlib>
#include <cstring>
#include <ostream>
#include <string>

#include "orvel_ssf.h"
#include "ossl_ptr.h"
#include "test_util.h"

namespace {

using Bytes = std::vector<unsigned char>;

struct HashCase {
  const char* name;
  const char* oid;
  int gcrypt;
  const char* label;
};

void PrintTo(const HashCase& h, std::ostream* os) { *os << h.name; }

class SsfGostDigest : public ::testing::TestWithParam<HashCase> {};

Bytes data_content_info(const Bytes& content) {
  orvel::Pkcs7Ptr p7(PKCS7_new());
  EXPECT_TRUE(p7 && PKCS7_set_type(p7.get(), NID_pkcs7_data));
  EXPECT_EQ(ASN1_OCTET_STRING_set(p7->d.data, content.data(), static_cast<int>(content.size())), 1);
  unsigned char* der = nullptr;
  int n = i2d_PKCS7(p7.get(), &der);
  EXPECT_GT(n, 0);
  Bytes out(der, der + n);
  OPENSSL_free(der);
  return out;
}

}  // namespace

TEST_P(SsfGostDigest, DigestEqualsLibgcrypt) {
  const HashCase& h = GetParam();
  orvel_test::TempDir dir;
  orvel_test::write_file(dir.file("orvel-ssf-server.cfg"),
                         "[common]\nlog_dir = " + dir.path() + "\n");
  setenv("DIR_LIBRARY", dir.path().c_str(), 1);
  void* lib = dlopen(orvel_test::library_path().c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr) << dlerror();
  auto digest = reinterpret_cast<decltype(&SsfDigest)>(dlsym(lib, "SsfDigest"));
  auto del = reinterpret_cast<decltype(&SsfDELSsfOctetstring)>(dlsym(lib, "SsfDELSsfOctetstring"));
  ASSERT_NE(digest, nullptr);
  ASSERT_NE(del, nullptr);

  Bytes content(1500);
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<unsigned char>(i * 7 + 3);
  Bytes input = data_content_info(content);
  unsigned char* out = nullptr;
  SsfInt out_len = 0;
  SsfInt rc = digest("PKCS7", 5, 0, input.data(), static_cast<SsfInt>(input.size()), h.name,
                     static_cast<SsfInt>(strlen(h.name)), &out, &out_len);
  if (rc == SSF_API_NOMEMORY &&
      orvel_test::read_file(dir.file("orvel-ssf-server.log")).find("operation not available") !=
          std::string::npos) {
    GTEST_SKIP() << "the digest operation is not built in this tree";
  }
  ASSERT_EQ(rc, SSF_API_OK) << orvel_test::read_file(dir.file("orvel-ssf-server.log"));
  ASSERT_NE(out, nullptr);

  const unsigned char* p = out;
  orvel::Pkcs7Ptr p7(d2i_PKCS7(nullptr, &p, out_len));
  del(&out, &out_len);
  ASSERT_TRUE(p7);
  ASSERT_EQ(OBJ_obj2nid(p7->type), NID_pkcs7_digest);
  char oid[64] = {};
  OBJ_obj2txt(oid, sizeof oid, p7->d.digest->md->algorithm, 1);
  EXPECT_STREQ(oid, h.oid);
  const ASN1_OCTET_STRING* md = p7->d.digest->digest;

  gcry_check_version(nullptr);
  Bytes expect(gcry_md_get_algo_dlen(h.gcrypt));
  gcry_md_hash_buffer(h.gcrypt, expect.data(), content.data(), content.size());
  EXPECT_EQ(Bytes(md->data, md->data + md->length), expect);
}

INSTANTIATE_TEST_SUITE_P(
    GostHashes, SsfGostDigest,
    ::testing::Values(
        HashCase{"GOST-R-34.11-12-256", "1.2.643.7.1.1.2.2", GCRY_MD_STRIBOG256, "Gost2012_256"},
        HashCase{"GOST-R-34.11-12-512", "1.2.643.7.1.1.2.3", GCRY_MD_STRIBOG512, "Gost2012_512"},
        HashCase{"GOST-R-34.11-94", "1.2.643.2.2.9", GCRY_MD_GOSTR3411_CP, "Gost94"}),
    [](const ::testing::TestParamInfo<HashCase>& p) { return std::string(p.param.label); });
