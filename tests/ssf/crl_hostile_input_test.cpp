// Damaged input: mutated and truncated PKCS#7 data and CRLs are refused
// with their codes, never a crash (the suite also runs under ASan).
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "crl_download.h"
#include "crl_test_env.h"
#include "operations.h"
#include "test_pki_builder.h"

namespace orvel_test {
namespace {

std::string mutate(std::string s, std::mt19937& rng) {
  int edits = 1 + static_cast<int>(rng() % 4);
  for (int i = 0; i < edits && !s.empty(); ++i) {
    size_t pos = rng() % s.size();
    switch (rng() % 3) {
      case 0:
        s[pos] = static_cast<char>(rng());
        break;
      case 1:
        s.erase(pos, 1 + rng() % 8);
        break;
      default:
        s.insert(pos, 1, static_cast<char>(rng()));
        break;
    }
  }
  return s;
}

TEST(HostileInput, MutatedDataWrappingAndDigest) {
  TraceLog log;
  std::string data(300, 'x');
  SsfDataBlob in, wrapped;
  in.pbData = reinterpret_cast<unsigned char*>(data.data());
  in.cbData = static_cast<SsfInt>(data.size());
  ASSERT_EQ(encode_data(&wrapped, &in), 0);
  std::string good(reinterpret_cast<char*>(wrapped.pbData), wrapped.cbData);
  OPENSSL_free(wrapped.pbData);
  std::mt19937 rng(1234);
  for (int i = 0; i < 2000; ++i) {
    std::string bad = mutate(good, rng);
    SsfDataBlob b, out;
    b.pbData = reinterpret_cast<unsigned char*>(bad.data());
    b.cbData = static_cast<SsfInt>(bad.size());
    int rc = decode_data(&out, &b);
    EXPECT_TRUE(rc == 0 || rc == SSF_API_DECODE_FAILED || rc == SSF_API_NOMEMORY) << rc;
    OPENSSL_free(out.pbData);
    out = {};
    rc = digest_data(&out, &b, 6, i & 1);
    EXPECT_TRUE(rc == 0 || rc == SSF_API_DECODE_FAILED) << rc;
    OPENSSL_free(out.pbData);
  }
}

TEST(HostileInput, MutatedCrlsAreRefusedOrRead) {
  TraceLog log;
  pki::Authority ca = pki::Authority::root();
  pki::CrlOptions o;
  o.revoked.push_back({nullptr, 77});
  orvel::X509CrlPtr crl = ca.crl(o);
  std::string der = pki::crl_to_der(crl.get());
  std::string b64 = pki::crl_to_bare_base64(crl.get());
  std::mt19937 rng(99);
  for (int i = 0; i < 150; ++i) {
    std::string bad = mutate(i % 2 ? der : b64, rng);
    write_file(log.dir().file("bad.crl"), bad);
    orvel::X509CrlPtr got(download_crl(("file://" + log.dir().file("bad.crl")).c_str()));
    if (got) {
      EXPECT_GT(pki::crl_to_der(got.get()).size(), 0u);
    }
  }
}

}  // namespace
}  // namespace orvel_test
