// SsfSign through the loaded library, with RSA keys from PEM and PKCS#12
// files; every signature is checked with the openssl command line.
#include <gtest/gtest.h>

#include <memory>

#include "sign_records.h"
#include "sign_test_pki.h"

namespace orvel_test {
namespace {

const std::string kDocument = "A document to sign.\r\nSecond line, binary \x01\x02 bytes.\n";

class SignTest : public ::testing::Test {
 protected:
  explicit SignTest(const std::string& config = "") : host_(config) {}
  void SetUp() override {
    root_ = std::make_unique<pki::Authority>(pki::Authority::root());
    ca_file_ = keys_.file("ca.pem");
    write_file(ca_file_, pki::to_pem(root_->cert()));
    alice_ = write_signer(keys_, *root_, "Alice Signer");
  }

  std::string sign_ok(const std::string& format, Records& r, bool inc = true, bool det = false,
                      const std::string& input = wrap_data(kDocument)) {
    Output out(host_);
    EXPECT_EQ(host_sign(host_, format, input, r, &out, inc, det), 0) << host_.since_mark();
    return out.str();
  }

  Host host_;
  TempDir keys_;
  std::unique_ptr<pki::Authority> root_;
  std::string ca_file_;
  SignerFiles alice_;
};

// ---- every kind of key store, attached and detached ----

struct StoreCase {
  const char* name;
  std::string (*profile)(const SignerFiles&);
  bool password;
};

const StoreCase kStores[] = {
    {"PemKeyApart", [](const SignerFiles& f) { return f.profile_pem(); }, false},
    {"PemKeyApartEncrypted", [](const SignerFiles& f) { return f.profile_pem_enc(); }, true},
    {"PemKeyInCertFile", [](const SignerFiles& f) { return f.profile_both(); }, false},
    {"PemKeyInCertFileEncrypted", [](const SignerFiles& f) { return f.profile_both_enc(); }, true},
    {"Pkcs12Aes", [](const SignerFiles& f) { return f.p12_aes; }, true},
    {"Pkcs12LegacyRc2TripleDes", [](const SignerFiles& f) { return f.p12_legacy; }, true},
};

class SignStores : public SignTest,
                   public ::testing::WithParamInterface<std::tuple<StoreCase, bool>> {};

TEST_P(SignStores, SignatureVerifiesWithOpenssl) {
  const auto& [store, detached] = GetParam();
  Records r(host_);
  r.add(alice_.subject_text, store.profile(alice_), store.password ? kKeyPassword : "");
  const std::string sig = sign_ok("PKCS7", r, true, detached);
  EXPECT_EQ(r.result(0), 0);
  const std::string content_opt =
      detached ? "-content '" + keys_.file("doc.bin") + "'" : std::string();
  if (detached) write_file(keys_.file("doc.bin"), kDocument);
  std::string log;
  EXPECT_TRUE(openssl_verifies(keys_, "smime", sig, ca_file_, kDocument, content_opt, &log)) << log;
  EXPECT_TRUE(openssl_verifies(keys_, "cms", sig, ca_file_, kDocument, content_opt, &log)) << log;
  auto p7 = parse_p7(sig);
  ASSERT_TRUE(p7);
  EXPECT_EQ(PKCS7_is_detached(p7.get()), detached ? 1 : 0);
  // SHA-1, whatever key type RSA: the call's hash name only passes the check.
  auto* si = sk_PKCS7_SIGNER_INFO_value(PKCS7_get_signer_info(p7.get()), 0);
  EXPECT_EQ(OBJ_obj2nid(si->digest_alg->algorithm), NID_sha1);
}

INSTANTIATE_TEST_SUITE_P(AllStores, SignStores,
                         ::testing::Combine(::testing::ValuesIn(kStores), ::testing::Bool()),
                         [](const auto& p) {
                           return std::string(std::get<0>(p.param).name) +
                                  (std::get<1>(p.param) ? "Detached" : "Attached");
                         });

// ---- the digest follows the key, not the hash name ----

TEST_F(SignTest, NonGostKeysSignWithSha1WhateverTheHashName) {
  // An EC key made by the command line, beside the RSA key.
  const std::string ec_cert = keys_.file("ec-cert.pem"), ec_key = keys_.file("ec-key.pem");
  sh("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 2 "
     "-subj '/C=RU/O=Orvel Test/CN=EC Signer' -keyout '" +
     ec_key + "' -out '" + ec_cert + "'");
  write_file(keys_.file("both-ca.pem"), read_file(ca_file_) + read_file(ec_cert));
  const std::string input = wrap_data(kDocument);
  for (const std::string hash : {"GOST-R-34.11-12-256", "GOST-R-34.11-94", "MD5"}) {
    Records r(host_);
    r.add(alice_.subject_text, alice_.profile_pem());
    r.add("CN=EC Signer, O=Orvel Test, C=RU", "certfile=" + ec_cert + ",keyfile=" + ec_key);
    Output out(host_);
    ASSERT_EQ(host_.Sign("PKCS7", 5, hash.data(), static_cast<SsfInt>(hash.size()), 1, 0,
                         reinterpret_cast<const unsigned char*>(input.data()),
                         static_cast<SsfInt>(input.size()), r.head(), &out.data, &out.len),
              0)
        << hash;
    auto p7 = parse_p7(out.str());
    ASSERT_TRUE(p7);
    auto* infos = PKCS7_get_signer_info(p7.get());
    ASSERT_EQ(sk_PKCS7_SIGNER_INFO_num(infos), 2);
    for (int i = 0; i < 2; ++i)
      EXPECT_EQ(OBJ_obj2nid(sk_PKCS7_SIGNER_INFO_value(infos, i)->digest_alg->algorithm), NID_sha1);
    std::string log;
    EXPECT_TRUE(
        openssl_verifies(keys_, "cms", out.str(), keys_.file("both-ca.pem"), kDocument, "", &log))
        << log;
  }
}

// ---- several signers ----

TEST_F(SignTest, SeveralSignersAllVerify) {
  SignerFiles bob = write_signer(keys_, *root_, "Bob Signer");
  Records r(host_);
  r.add(alice_.sha1_id, alice_.p12_aes, kKeyPassword);
  r.add(bob.subject_text, bob.profile_pem());
  const std::string sig = sign_ok("PKCS7", r);
  auto p7 = parse_p7(sig);
  ASSERT_TRUE(p7);
  EXPECT_EQ(sk_PKCS7_SIGNER_INFO_num(PKCS7_get_signer_info(p7.get())), 2);
  std::string log;
  EXPECT_TRUE(openssl_verifies(keys_, "cms", sig, ca_file_, kDocument, "", &log)) << log;
  EXPECT_TRUE(openssl_verifies(keys_, "smime", sig, ca_file_, kDocument, "", &log)) << log;
}

TEST_F(SignTest, OneFailingSignerGivesFiveAndNoOutput) {
  SignerFiles bob = write_signer(keys_, *root_, "Bob Signer");
  Records r(host_);
  r.add(alice_.subject_text, alice_.profile_pem());
  r.add(bob.subject_text, bob.p12_aes, "wrong password");
  r.add(bob.subject_text, bob.profile_pem());
  Output out(host_);
  EXPECT_EQ(host_sign(host_, "PKCS7", wrap_data(kDocument), r, &out), 5);
  EXPECT_EQ(out.data, nullptr);
  EXPECT_EQ(out.len, 0);
  EXPECT_EQ(r.result(0), 0);
  EXPECT_EQ(r.result(1), 25);
  EXPECT_EQ(r.result(2), 0);
  EXPECT_NE(host_.since_mark().find("ssf_sign_data() 8.2 : ssf_load_cert_and_key() failed"),
            std::string::npos);
}

TEST_F(SignTest, EmptySignerListGivesSignedDataWithoutSigners) {
  Records r(host_);
  const std::string sig = sign_ok("PKCS7", r);
  auto p7 = parse_p7(sig);
  ASSERT_TRUE(p7);
  EXPECT_TRUE(PKCS7_type_is_signed(p7.get()));
  EXPECT_EQ(sk_PKCS7_SIGNER_INFO_num(PKCS7_get_signer_info(p7.get())), 0);
}

// ---- CAdES-BES ----

TEST_F(SignTest, CadesBesCarriesSigningCertificateV2) {
  Records r(host_);
  r.add(alice_.subject_text, alice_.profile_pem());
  const std::string sig = sign_ok("CADES_BES", r);
  std::string log;
  EXPECT_TRUE(openssl_verifies(keys_, "cms", sig, ca_file_, kDocument, "-cades", &log)) << log;
  write_file(keys_.file("doc.bin"), kDocument);
  const std::string detached = sign_ok("CADES_BES", r, false, true);
  EXPECT_TRUE(openssl_verifies(
      keys_, "cms", detached, ca_file_, kDocument,
      "-cades -certfile '" + alice_.cert_pem + "' -content '" + keys_.file("doc.bin") + "'", &log))
      << log;
}

TEST_F(SignTest, PlainPkcs7HasNoSigningCertificateV2) {
  Records r(host_);
  r.add(alice_.subject_text, alice_.profile_pem());
  const std::string sig = sign_ok("PKCS7", r);
  EXPECT_TRUE(openssl_verifies(keys_, "cms", sig, ca_file_, kDocument));
  EXPECT_FALSE(openssl_verifies(keys_, "cms", sig, ca_file_, kDocument, "-cades"));
}

TEST_F(SignTest, SignedAttributesAndCertificates) {
  Records r(host_);
  r.add(alice_.subject_text, alice_.profile_pem());
  auto p7 = parse_p7(sign_ok("CADES_BES", r));
  ASSERT_TRUE(p7);
  auto* si = sk_PKCS7_SIGNER_INFO_value(PKCS7_get_signer_info(p7.get()), 0);
  ASN1_TYPE* ct = PKCS7_get_signed_attribute(si, NID_pkcs9_contentType);
  ASSERT_NE(ct, nullptr);
  EXPECT_EQ(OBJ_obj2nid(ct->value.object), NID_pkcs7_data);
  EXPECT_NE(PKCS7_get_signed_attribute(si, NID_pkcs9_messageDigest), nullptr);
  EXPECT_NE(PKCS7_get_signed_attribute(si, OBJ_txt2nid("1.2.840.113549.1.9.16.2.47")), nullptr);
  // Without chain checks only the signer's certificate goes in.
  ASSERT_EQ(sk_X509_num(p7->d.sign->cert), 1);
  EXPECT_EQ(X509_cmp(sk_X509_value(p7->d.sign->cert, 0), alice_.cert.get()), 0);

  auto none = parse_p7(sign_ok("PKCS7", r, false));
  ASSERT_TRUE(none);
  EXPECT_LE(sk_X509_num(none->d.sign->cert), 0);
}

// ---- inputs ----

TEST_F(SignTest, SignedDataInputIsSignedWhole) {
  Records r(host_);
  r.add(alice_.subject_text, alice_.profile_pem());
  const std::string inner = sign_ok("PKCS7", r);
  const std::string outer = sign_ok("PKCS7", r, true, false, inner);
  EXPECT_TRUE(openssl_verifies(keys_, "cms", outer, ca_file_, inner));
}

TEST_F(SignTest, EnvelopedDataInputIsSignedWhole) {
  write_file(keys_.file("doc.bin"), kDocument);
  sh("openssl smime -encrypt -binary -aes256 -outform DER -in '" + keys_.file("doc.bin") +
     "' -out '" + keys_.file("env.der") + "' '" + alice_.cert_pem + "'");
  const std::string env = read_file(keys_.file("env.der"));
  auto p7 = parse_p7(env);
  ASSERT_TRUE(p7);
  ASSERT_TRUE(PKCS7_type_is_enveloped(p7.get()));
  Records r(host_);
  r.add(alice_.subject_text, alice_.profile_pem());
  std::string log;
  EXPECT_TRUE(openssl_verifies(keys_, "smime", sign_ok("PKCS7", r, true, false, env), ca_file_, env,
                               "", &log))
      << log;
}

TEST_F(SignTest, DataContentInfoWithoutContentIsRefused) {
  Records r(host_);
  r.add(alice_.subject_text, alice_.profile_pem());
  // ContentInfo { id-data } with its content left out.
  const std::string no_content("\x30\x0b\x06\x09\x2a\x86\x48\x86\xf7\x0d\x01\x07\x01", 13);
  ASSERT_TRUE(parse_p7(no_content));
  Output out(host_);
  EXPECT_EQ(host_sign(host_, "PKCS7", no_content, r, &out), 12);
  EXPECT_EQ(out.data, nullptr);
  const std::string empty = wrap_data("");
  EXPECT_EQ(host_sign(host_, "PKCS7", empty, r, &out), 12);
  EXPECT_NE(host_.since_mark().find("ssf_sign_data() 4: decoding failed"), std::string::npos);
}

TEST_F(SignTest, InputThatIsNoDataSignedOrEnvelopedDataIsRefused) {
  Records r(host_);
  r.add(alice_.subject_text, alice_.profile_pem());
  Output out(host_);
  EXPECT_EQ(host_sign(host_, "PKCS7", "plain bytes, not PKCS#7", r, &out), 12);
  EXPECT_NE(host_.since_mark().find("ssf_sign_data() 2 : d2i_PKCS7_bio() failed"),
            std::string::npos);
  // A digestedData.
  Output digest(host_);
  const std::string data = wrap_data(kDocument);
  ASSERT_EQ(host_.Digest("PKCS7", 5, 0, reinterpret_cast<const unsigned char*>(data.data()),
                         static_cast<SsfInt>(data.size()), "SHA1", 4, &digest.data, &digest.len),
            0);
  Output out2(host_);
  EXPECT_EQ(host_sign(host_, "PKCS7", digest.str(), r, &out2), 12);
  EXPECT_NE(host_.since_mark().find("ssf_sign_data() 3 : PKCS7 is invalid"), std::string::npos);
  EXPECT_EQ(out2.data, nullptr);
}

TEST_F(SignTest, RefusedFormatMarksRecordsWithInitialValue) {
  Records r(host_);
  r.add(alice_.subject_text, alice_.profile_pem());
  Output out(host_);
  EXPECT_EQ(host_sign(host_, "PKCS7 ", wrap_data(kDocument), r, &out), 2);
  EXPECT_EQ(r.result(0), 28);
}

// ---- enhanced formats are not returned unenhanced ----

TEST_F(SignTest, EnhancedFormatFailsWithoutOutput) {
  for (const char* format : {"PKCS7_CADES", "CADES_XLT1"}) {
    Records r(host_);
    r.add(alice_.subject_text, alice_.profile_pem());
    Output out(host_);
    EXPECT_EQ(host_sign(host_, format, wrap_data(kDocument), r, &out), 5) << format;
    EXPECT_EQ(out.data, nullptr);
    EXPECT_NE(r.result(0), 0);
    EXPECT_NE(host_.since_mark().find("ssf_sign_data() 13 : EnhanceSignatures() failed"),
              std::string::npos);
  }
}

// ---- the chain with bIncCerts and check_chain ----

// The CA file's directory exists before the host reads its configuration.
struct ChainDir {
  TempDir chain_dir_;
};

class SignChainTest : public ChainDir, public SignTest {
 protected:
  SignChainTest()
      : SignTest("cert_check_options = check_chain\nca_file = " + chain_dir_.file("ca.pem") +
                 "\n") {}
};

TEST_F(SignChainTest, EveryChainCertificateIsIncludedSignerFirst) {
  // The configuration names a CA file in a directory made before the host.
  pki::Authority sub = root_->intermediate("CN=Orvel Test Sub CA,O=Orvel Test,C=RU");
  write_file(chain_dir_.file("ca.pem"), pki::to_pem(root_->cert()) + pki::to_pem(sub.cert()));
  SignerFiles carol = write_signer(keys_, sub, "Carol Signer");
  Records r(host_);
  r.add(carol.subject_text, carol.profile_pem());
  auto p7 = parse_p7(sign_ok("PKCS7", r));
  ASSERT_TRUE(p7);
  STACK_OF(X509)* certs = p7->d.sign->cert;
  ASSERT_EQ(sk_X509_num(certs), 3);
  EXPECT_EQ(X509_cmp(sk_X509_value(certs, 0), carol.cert.get()), 0);
  EXPECT_EQ(X509_cmp(sk_X509_value(certs, 1), sub.cert()), 0);
  EXPECT_EQ(X509_cmp(sk_X509_value(certs, 2), root_->cert()), 0);
}

TEST_F(SignChainTest, SignerOutsideTheTrustedChainGets26) {
  write_file(chain_dir_.file("ca.pem"), pki::to_pem(root_->cert()));
  pki::Authority other = pki::Authority::root("CN=Other Root,O=Elsewhere,C=RU");
  SignerFiles dave = write_signer(keys_, other, "Dave Signer");
  Records r(host_);
  r.add(dave.subject_text, dave.profile_pem());
  Output out(host_);
  EXPECT_EQ(host_sign(host_, "PKCS7", wrap_data(kDocument), r, &out), 5);
  EXPECT_EQ(r.result(0), 26);
  EXPECT_NE(
      host_.since_mark().find("ssf_load_cert_and_key() 11 : IsCertificateValid() failed for '" +
                              dave.subject_text + "'"),
      std::string::npos);
}

// ---- the signing time of the profile ----

class SignProfileTimeTest : public SignTest {
 protected:
  SignProfileTimeTest() : SignTest("use_profile_timestamp = yes\n") {}

  // The signingTime attribute of a signature made with the time prefix.
  ASN1_TYPE* signing_time(const std::string& prefix, orvel::Pkcs7Ptr* keep) {
    Records r(host_);
    r.add(alice_.subject_text, prefix + alice_.profile_pem());
    *keep = parse_p7(sign_ok("PKCS7", r));
    if (!*keep) return nullptr;
    auto* si = sk_PKCS7_SIGNER_INFO_value(PKCS7_get_signer_info(keep->get()), 0);
    return PKCS7_get_signed_attribute(si, NID_pkcs9_signingTime);
  }
};

TEST_F(SignProfileTimeTest, LastSecondOf2019IsAUtcTime) {
  orvel::Pkcs7Ptr p7;
  ASN1_TYPE* t = signing_time("20191231235959", &p7);
  ASSERT_NE(t, nullptr);
  ASSERT_EQ(t->type, V_ASN1_UTCTIME);
  EXPECT_EQ(as_string(t->value.utctime->data, t->value.utctime->length), "191231235959Z");
}

TEST_F(SignProfileTimeTest, YearsOutside1950To2049AreGeneralizedTimes) {
  for (const char* prefix : {"20500101000000", "19491231235959"}) {
    orvel::Pkcs7Ptr p7;
    ASN1_TYPE* t = signing_time(prefix, &p7);
    ASSERT_NE(t, nullptr) << prefix;
    ASSERT_EQ(t->type, V_ASN1_GENERALIZEDTIME) << prefix;
    EXPECT_EQ(as_string(t->value.generalizedtime->data, t->value.generalizedtime->length),
              std::string(prefix) + "Z");
  }
  orvel::Pkcs7Ptr p7;
  ASN1_TYPE* t = signing_time("19500101000000", &p7);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->type, V_ASN1_UTCTIME);
}

TEST_F(SignProfileTimeTest, BadTimeAndShortProfileGiveTheirCodes) {
  Records r(host_);
  r.add(alice_.subject_text, "20191301000000" + alice_.profile_pem());
  r.add(alice_.subject_text, "20191231235959");
  Output out(host_);
  EXPECT_EQ(host_sign(host_, "PKCS7", wrap_data(kDocument), r, &out), 5);
  EXPECT_EQ(r.result(0), 24);
  EXPECT_EQ(r.result(1), 23);
}

}  // namespace
}  // namespace orvel_test
