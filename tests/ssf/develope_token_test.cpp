// SsfDevelope with keys on PKCS#11 tokens: GOST keys on the tests' own
// module (the key derivation runs on the token); an RSA key on softhsm2 is
// refused, as every RSA key is.
#include <gtest/gtest.h>

#include <sstream>

#include "envelope_test_env.h"
#include "token_test_env.h"

namespace orvel_test {
namespace {

class DevelopeToken : public EnvelopeTest {
 protected:
  Outcome develope_on_token(const Recipient& r, const std::string& module,
                            const std::string& enveloped) {
    RecordList list(host_);
    EXPECT_EQ(list.add(r.sha1_id, "token=" + module, kTokenPin), 0);
    OctetString out(host_);
    Outcome o;
    o.rc = host_.Develope("PKCS7", 5, reinterpret_cast<const unsigned char*>(enveloped.data()),
                          SsfInt(enveloped.size()), list.head()->ptrSigRcp, &out.data, &out.len);
    o.output = as_string(out.data, out.len);
    o.results.push_back(list.head()->ptrSigRcp->uResult);
    return o;
  }
};

TEST_F(DevelopeToken, GostKeysDeriveOnTheToken) {
  const std::string trace = host_.dir.file("module.trace");
  for (const char* name : {"gost12-256_CryptoPro-A", "gost12-512_TC26-512-A"}) {
    SCOPED_TRACE(name);
    Recipient r = gost_recipient(name);
    add_to_pab(r, std::string(name) + ".pem");
    Outcome e = envelope({r.sha1_id}, wrap(kDocument));
    ASSERT_EQ(e.rc, 0);
    configure_gost_module(r.cert_pem + "|" + r.key_pem, "", trace);
    write_file(trace, "");
    Outcome d = develope_on_token(r, gost_module_path(), e.output);
    ASSERT_EQ(d.rc, 0) << host_.log();
    EXPECT_EQ(unwrap(d.output), kDocument);
    std::istringstream lines(read_file(trace));
    bool derived = false;
    for (std::string line; std::getline(lines, line);) derived |= line.rfind("derive", 0) == 0;
    EXPECT_TRUE(derived) << read_file(trace);
    // Another recipient's envelope does not open with this token key.
    Recipient other = write_rsa_recipient(host_.dir, ca(), std::string("Other ") + name);
    add_to_pab(other, std::string("other-") + name + ".pem");
    Outcome e2 = envelope({other.sha1_id}, wrap(kDocument));
    Outcome d2 = develope_on_token(r, gost_module_path(), e2.output);
    EXPECT_EQ(d2.rc, SSF_API_RECIPIENT_FAILED);
    EXPECT_EQ(d2.results[0], SSF_SIGNATURE_INVALID);
  }
  EXPECT_EQ(host_.log().find(kTokenPin), std::string::npos);
}

TEST_F(DevelopeToken, RsaKeyOnSoftHsmIsRefusedCleanly) {
  // Refused by the size of its decryption, before the token is asked.
  Recipient r = write_rsa_recipient(host_.dir, ca(), "Rsa Token Recipient");
  add_to_pab(r, "rsa.pem");
  TempDir hsm;
  ASSERT_TRUE(make_softhsm_token(hsm, r.key_pem, r.cert_pem));
  Outcome e = envelope({r.sha1_id}, wrap(kDocument));
  ASSERT_EQ(e.rc, 0);
  Outcome d = develope_on_token(r, kSoftHsmModule, e.output);
  EXPECT_EQ(d.rc, SSF_API_RECIPIENT_FAILED);
  EXPECT_EQ(d.results[0], SSF_SIGNATURE_INVALID);
  EXPECT_NE(host_.log().find("SSF_EVP_PKEY_decrypt() 4 : dec_key_size is 256, not 32"),
            std::string::npos);
}

}  // namespace
}  // namespace orvel_test
