// ssf_query_properties: the property table, byte for byte, without a NUL.
#include <gtest/gtest.h>
#include <openssl/crypto.h>

#include <string>
#include <vector>

#include "crl_test_env.h"
#include "operations.h"

namespace orvel_test {
namespace {

int query(const std::string& name, std::string* value) {
  unsigned char* out = nullptr;
  SsfInt len = -1;
  int rc = ssf_query_properties(name.data(), static_cast<int>(name.size()), nullptr, 0, &out, &len);
  value->assign(out ? std::string(reinterpret_cast<char*>(out), len) : std::string());
  if (rc != 0) {
    EXPECT_EQ(out, nullptr);
  }
  OPENSSL_free(out);
  return rc;
}

TEST(Properties, EveryPropertyOfTheTable) {
  TraceLog log;
  const std::pair<const char*, const char*> table[] = {
      {"PROPERTIES", "FORMATS;HASHALGS;ENCRALGS;SSF_POPUPS"},
      {"SSF_POPUPS", "1"},
      {"FORMATS", "PKCS7;PKCS7_CADES;CADES_BES;CADES_XLT1;PKCS7_ANY;BASE64"},
      {"HASHALGS", "GOST-R-34.11-94;GOST-R-34.11-12-256;GOST-R-34.11-12-512;MD5;SHA1"},
      {"ENCRALGS", "GOST-28147-89"},
  };
  for (const auto& [name, expected] : table) {
    std::string value;
    ASSERT_EQ(query(name, &value), 0) << name;
    EXPECT_EQ(value, expected) << name;
  }
  std::string formats;
  ASSERT_EQ(query("FORMATS", &formats), 0);
  EXPECT_EQ(formats.size(), 55u);
  EXPECT_TRUE(log.contains("ssf_query_properties() : 'FORMATS' property was acquired"));
}

TEST(Properties, UnknownNamesGive3) {
  TraceLog log;
  std::string value;
  for (const std::string& name :
       std::vector<std::string>{"formats", "FORMAT", "FORMATSX", std::string("FORMATS\0", 8), ""})
    EXPECT_EQ(query(name, &value), SSF_API_NOINPUT) << name;
  EXPECT_TRUE(log.contains("ssf_query_properties() 1 : NO DATA (propname='formats')"));
  EXPECT_TRUE(log.contains("ssf_query_properties() end, return code = 3"));
}

TEST(Properties, NullOutputGives13) {
  TraceLog log;
  SsfInt len = 0;
  unsigned char* out = nullptr;
  EXPECT_EQ(ssf_query_properties("FORMATS", 7, nullptr, 0, nullptr, &len), SSF_API_CRYPTO_FAILED);
  EXPECT_EQ(ssf_query_properties("FORMATS", 7, nullptr, 0, &out, nullptr), SSF_API_CRYPTO_FAILED);
  EXPECT_TRUE(log.contains("fill_prop: bad param"));
  EXPECT_TRUE(log.contains("s=(nil) l="));
}

}  // namespace
}  // namespace orvel_test
