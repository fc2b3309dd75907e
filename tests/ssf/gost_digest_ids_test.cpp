// digest_data with the GOST hash ids once start-up has loaded the GOST
// engine: digestedData with the GOST digest identifiers, the digests equal
// to libgcrypt's, attached and detached.
#include <gcrypt.h>
#include <gtest/gtest.h>
#include <openssl/pkcs7.h>

#include <string>

#include "digest.h"
#include "keys_test_env.h"
#include "operations.h"
#include "ossl_ptr.h"
#include "sign_test_pki.h"

namespace orvel_test {
namespace {

struct IdCase {
  int id;
  const char* oid;
  int gcrypt;
};

const IdCase kIds[] = {{SSF_HASH_GOSTR3411_94, "1.2.643.2.2.9", GCRY_MD_GOSTR3411_CP},
                       {SSF_HASH_GOSTR3411_2012_256, "1.2.643.7.1.1.2.2", GCRY_MD_STRIBOG256},
                       {SSF_HASH_GOSTR3411_2012_512, "1.2.643.7.1.1.2.3", GCRY_MD_STRIBOG512}};

TEST(GostDigestIds, DigestedDataEqualsLibgcrypt) {
  StartedLibrary lib;
  gcry_check_version(nullptr);
  std::string content(3000, '\0');
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 13 + 5);
  const std::string wrapped = wrap_data(content);
  for (const IdCase& c : kIds) {
    ASSERT_NE(get_EVP_MD_by_alg(c.id), nullptr) << c.id;
    for (int detached : {0, 1}) {
      SsfDataBlob in{static_cast<SsfInt>(wrapped.size()),
                     reinterpret_cast<unsigned char*>(const_cast<char*>(wrapped.data()))};
      SsfDataBlob out{};
      ASSERT_EQ(digest_data(&out, &in, c.id, detached), 0) << c.id << "\n" << lib.log();
      const std::string der(reinterpret_cast<char*>(out.pbData), static_cast<size_t>(out.cbData));
      OPENSSL_free(out.pbData);
      auto p7 = parse_p7(der);
      ASSERT_TRUE(p7);
      ASSERT_EQ(OBJ_obj2nid(p7->type), NID_pkcs7_digest);
      char oid[64] = {};
      OBJ_obj2txt(oid, sizeof oid, p7->d.digest->md->algorithm, 1);
      EXPECT_STREQ(oid, c.oid);
      std::string expect(gcry_md_get_algo_dlen(c.gcrypt), '\0');
      gcry_md_hash_buffer(c.gcrypt, expect.data(), content.data(), content.size());
      const ASN1_OCTET_STRING* md = p7->d.digest->digest;
      EXPECT_EQ(
          std::string(reinterpret_cast<const char*>(md->data), static_cast<size_t>(md->length)),
          expect)
          << c.id;
    }
  }
}

}  // namespace
}  // namespace orvel_test
