// Every per-signer result and return code of SsfVerify from a real input,
// and the records and summary lines that go with them.
#include <gtest/gtest.h>

#include <ctime>

#include "verify_fixture.h"
#include "verify_signatures.h"

namespace orvel_test {
namespace {

class VerifyCodes : public VerifyTest {
 protected:
  explicit VerifyCodes(const std::string& config = "") : VerifyTest(config) {}
  void SetUp() override {
    VerifyTest::SetUp();
    leaf_ = root_->issue(cert_options("CN=Carol Signer,O=Orvel Test,C=RU"));
  }
  std::string carol_sign(const P7Options& o = {}) {
    return sign_p7(leaf_.cert.get(), leaf_.key.get(), kVerifyDocument, o);
  }
  // Verify expecting a return code and one record with a result.
  void expect(const std::string& format, const std::string& sig, const std::string& input, int rc,
              int result, bool use_certs = true) {
    Results res(host_);
    Output out(host_);
    EXPECT_EQ(verify(format, sig, input, &res, &out, use_certs), rc) << log();
    ASSERT_EQ(res.size(), 1);
    EXPECT_EQ(res.result(0), result) << log();
  }

  pki::Issued leaf_;
};

// ---- per-signer results ----

TEST_F(VerifyCodes, TamperedContentIs27) {
  std::string sig = library_sign("PKCS7", {&alice_});
  const size_t at = sig.find("Verified document");
  ASSERT_NE(at, std::string::npos);
  sig[at] ^= 0x20;
  expect("PKCS7", sig, "", 5, 27);
  EXPECT_TRUE(logged("ssf_verify_data() 12 : signature for signer '" + alice_.subject_text +
                     "' is invalid"));
  // Detached: data that differs from the signed data.
  const std::string det = library_sign("PKCS7", {&alice_}, true);
  std::string other = kVerifyDocument;
  other[0] ^= 1;
  Results res(host_);
  Output out(host_);
  EXPECT_EQ(verify("PKCS7", det, wrap_data(other), &res, &out), 5);
  EXPECT_EQ(res.result(0), 27);
  EXPECT_EQ(out.str(), wrap_data(other));  // the input as given
}

TEST_F(VerifyCodes, TamperedSignatureIs27) {
  const std::string sig = edit_signer(carol_sign(), [](PKCS7*, PKCS7_SIGNER_INFO* si) {
    si->enc_digest->data[si->enc_digest->length - 1] ^= 1;
  });
  expect("PKCS7", sig, "", 5, 27);
}

TEST_F(VerifyCodes, SignatureValueOfTheWrongLengthIs27) {
  for (int delta : {-1, 1, -255}) {
    const std::string sig = edit_signer(carol_sign(), [delta](PKCS7*, PKCS7_SIGNER_INFO* si) {
      std::string v(reinterpret_cast<char*>(si->enc_digest->data), si->enc_digest->length);
      v.resize(v.size() + delta, '\x01');
      ASN1_OCTET_STRING_set(si->enc_digest, reinterpret_cast<const unsigned char*>(v.data()),
                            static_cast<int>(v.size()));
    });
    expect("PKCS7", sig, "", 5, 27);
    EXPECT_TRUE(logged("does not fit a key of 256 bytes")) << delta;
  }
}

TEST_F(VerifyCodes, MessageDigestOfAnotherTypeIs27) {
  const std::string sig = edit_signer(carol_sign(), [](PKCS7*, PKCS7_SIGNER_INFO* si) {
    const int idx = X509at_get_attr_by_NID(si->auth_attr, NID_pkcs9_messageDigest, -1);
    X509_ATTRIBUTE_free(X509at_delete_attr(si->auth_attr, idx));
    ASN1_TYPE* b = ASN1_TYPE_new();
    ASN1_TYPE_set(b, V_ASN1_BOOLEAN, reinterpret_cast<void*>(0xff));
    PKCS7_add_signed_attribute(si, NID_pkcs9_messageDigest, V_ASN1_BOOLEAN,
                               reinterpret_cast<void*>(0xff));
    ASN1_TYPE_free(b);
  });
  expect("PKCS7", sig, "", 5, 27);
}

TEST_F(VerifyCodes, UnknownSignerIs22) {
  // A PAB that trusts another root.
  auto other = pki::Authority::root("CN=Other Root,O=Orvel Test,C=RU");
  const std::string pab = keys_.file("other-pab");
  sh("mkdir -p '" + pab + "'");
  write_file(pab + "/other.pem", pki::to_pem(other.cert()));
  Results res(host_);
  Output out(host_);
  EXPECT_EQ(verify("PKCS7", carol_sign(), "", &res, &out, true, &pab), 5);
  EXPECT_EQ(res.result(0), 22);
  EXPECT_TRUE(
      logged("GetCertificateTrustedStatus() : certificate is invalid: unable to get local "
             "issuer certificate (20)"));
  EXPECT_TRUE(logged("ssf_verify_data() : signer's certificate is not trusted"));
  EXPECT_EQ(out.str(), wrap_data(kVerifyDocument));  // handed back all the same
}

TEST_F(VerifyCodes, ExpiredSignerIs100) {
  pki::Issued old =
      root_->issue(cert_options("CN=Old Signer,O=Orvel Test,C=RU", -10 * pki::kDay, -pki::kDay));
  const std::string sig =
      sign_p7(old.cert.get(), old.key.get(), kVerifyDocument, at_time(-5 * pki::kDay));
  expect("PKCS7", sig, "", 5, 100);
  EXPECT_TRUE(logged("certificate is invalid: certificate has expired (10)"));
}

TEST_F(VerifyCodes, NoCertificateIs26WithTheFixedRecord) {
  // Without the message's certificates and with a PAB that lacks the signer.
  const std::string sig = carol_sign(at_time(-3600));
  Results res(host_);
  Output out(host_);
  EXPECT_EQ(verify("PKCS7", sig, "", &res, &out, false), 5);
  ASSERT_EQ(res.size(), 1);
  EXPECT_EQ(res.result(0), 26);
  EXPECT_EQ(res.id(0), "\"issuer-name/Noserialnumber\":CN=CA, OU=SSF-TEST, O=SAP-AG, C=DE/No-2)");
  EXPECT_EQ(res.id(0).size(), 69u);
  EXPECT_EQ(res.at(0).strSigRcpPassword, nullptr);
  EXPECT_EQ(res.at(0).strSigRcpPasswordL, 0);
  const std::string profile = res.profile(0);
  const size_t nul = profile.find('\0');
  ASSERT_NE(nul, std::string::npos);
  EXPECT_EQ(profile.substr(0, 13), "SigningTime= ");
  EXPECT_EQ(profile.substr(nul + 1), "serialNumber=<Unknown>");
  EXPECT_EQ(res.at(0).strSigRcpProfile[res.at(0).strSigRcpProfileL], '\0');
  EXPECT_TRUE(logged("\tFingerprint: N/A\n\tResult: 26\n"));
  EXPECT_TRUE(logged("ssf_verify_data() 10.3 : no certificate found for signer #0"));
}

TEST_F(VerifyCodes, EssMismatchIs27ForCadesBesAndAny) {
  const std::string sig = carol_sign(naming(alice_.cert.get()));
  expect("CADES_BES", sig, "", 5, 27);
  EXPECT_TRUE(
      logged("check_ess_signing_cert() 12 : digest of certificate and digest in CERTIDV2 "
             "don't match"));
  expect("PKCS7_ANY", sig, "", 5, 27);
  // Plain PKCS#7 does not look at the attribute.
  expect("PKCS7", sig, "", 0, 0);
  // The attribute naming the signer passes.
  expect("CADES_BES", carol_sign(naming(leaf_.cert.get())), "", 0, 0);
  // CADES_BES demands it, PKCS7_ANY does not.
  expect("CADES_BES", carol_sign(), "", 5, 27);
  expect("PKCS7_ANY", carol_sign(), "", 0, 0);
}

TEST_F(VerifyCodes, Base64FormatVerifiesAsPkcs7AndSaysSo) {
  const std::string sig = library_sign("PKCS7", {&alice_});
  Results res(host_);
  Output out(host_);
  EXPECT_EQ(verify("BASE64", sig, "", &res, &out), 0);
  const std::string l = log();
  const std::string line = "ssf_verify_data() 10.0 : sign_type = 0 - unknown";
  const size_t first = l.find(line);
  ASSERT_NE(first, std::string::npos);
  EXPECT_EQ(l.find(line, first + 1), std::string::npos);
}

TEST_F(VerifyCodes, EnhancedFormatsNeverValidHere) {
  // PKCS7_CADES without certValues: no certificate.
  expect("PKCS7_CADES", carol_sign(naming(leaf_.cert.get())), "", 5, 26);
  // A signature carrying every enhancement attribute (the unsigned ones
  // are not covered by the signature, so adding them keeps it intact).
  const std::string cert = pki::to_der(leaf_.cert.get());
  const std::string sig =
      edit_signer(carol_sign(naming(leaf_.cert.get())), [&](PKCS7*, PKCS7_SIGNER_INFO* si) {
        const std::string values = "\x30"s + static_cast<char>(0x82) +
                                   static_cast<char>(cert.size() >> 8) +
                                   static_cast<char>(cert.size() & 0xff) + cert;
        for (int nid : {NID_id_smime_aa_ets_RevocationRefs, NID_id_smime_aa_ets_revocationValues,
                        NID_id_smime_aa_ets_CertificateRefs, NID_id_smime_aa_ets_certValues,
                        NID_id_smime_aa_timeStampToken, NID_id_smime_aa_ets_escTimeStamp}) {
          const std::string v = nid == NID_id_smime_aa_ets_certValues ? values : "\x30\x00"s;
          ASN1_STRING* s = ASN1_STRING_new();
          ASN1_STRING_set(s, v.data(), static_cast<int>(v.size()));
          PKCS7_add_attribute(si, nid, V_ASN1_SEQUENCE, s);
        }
      });
  // Its time-stamp tokens are empty SEQUENCEs: never valid, whatever code
  // the token check gives.
  for (const std::string format : {"PKCS7_ANY", "PKCS7_CADES", "CADES_XLT1"}) {
    Results res(host_);
    Output out(host_);
    EXPECT_EQ(verify(format, sig, "", &res, &out, true), 5) << log();
    ASSERT_EQ(res.size(), 1);
    EXPECT_NE(res.result(0), 0) << format;
    EXPECT_TRUE(logged("ssf_verify_timeStampToken() 2 : ssf_verify_TS() failed")) << format;
    EXPECT_TRUE(logged("ssf_verify_data() 11 : enhanced signature for signer"));
    EXPECT_TRUE(logged("set_profile_data() 6 : timestamp time not found"));
  }
  // As plain PKCS#7 or CAdES-BES it is an ordinary valid signature.
  expect("PKCS7", sig, "", 0, 0);
  expect("CADES_BES", sig, "", 0, 0);
}

// ---- records ----

TEST_F(VerifyCodes, RecordLayout) {
  const std::string sig = carol_sign(at_time(-7200));
  Results res(host_);
  Output out(host_);
  ASSERT_EQ(verify("PKCS7", sig, "", &res, &out), 0) << log();
  const SigRcpSsfInfo& r = res.at(0);
  EXPECT_EQ(res.id(0), subject_text_of(leaf_.cert.get()));
  EXPECT_EQ(r.strSigRcpId[r.strSigRcpIdL], '\0');
  EXPECT_EQ(r.strSigRcpReserved, nullptr);
  EXPECT_EQ(r.strSigRcpReservedL, 0);
  EXPECT_EQ(res.cert_der(0), pki::to_der(leaf_.cert.get()));
  // The profile: signing time, NUL, serial number.
  auto p7 = parse_p7(sig);
  auto* si = sk_PKCS7_SIGNER_INFO_value(PKCS7_get_signer_info(p7.get()), 0);
  ASN1_TYPE* st = PKCS7_get_signed_attribute(si, NID_pkcs9_signingTime);
  ASSERT_TRUE(st);
  const std::string utc(reinterpret_cast<char*>(st->value.utctime->data),
                        st->value.utctime->length);
  struct tm tm = {};
  ASN1_TIME_to_tm(st->value.utctime, &tm);
  time_t t = timegm(&tm);
  char asc[64];
  asctime_r(localtime(&t), asc);
  std::string serial;
  const ASN1_INTEGER* sn = X509_get0_serialNumber(leaf_.cert.get());
  for (int i = 0; i < sn->length; ++i) {
    char b[4];
    snprintf(b, sizeof b, i ? " %02x" : "%02x", sn->data[i]);
    serial += b;
  }
  const std::string expected = "SigningTime= " + std::string(asc) + " (UTCTime: " + utc + ")" +
                               '\0' + "serialNumber=" + serial;
  EXPECT_EQ(res.profile(0), expected);
  EXPECT_EQ(r.strSigRcpProfile[r.strSigRcpProfileL], '\0');
  // The summary.
  const std::string fp = sha1_id_of(leaf_.cert.get());
  EXPECT_TRUE(logged("ssf_verify_data(): Verification results:"));
  EXPECT_TRUE(
      logged("\tSigner #0:\n\tID: '" + res.id(0) + "'\n\tFingerprint: " + fp + "\n\tResult: 0\n"));
  EXPECT_TRUE(logged("Total signers: 1\n"));
  EXPECT_TRUE(logged("Overall result: 0\n"));
}

TEST_F(VerifyCodes, SignatureWithoutSigningTimeHasUnknownTime) {
  const std::string sig = openssl_sign("cms", alice_, "-md sha256 -noattr");
  Results res(host_);
  Output out(host_);
  ASSERT_EQ(verify("PKCS7", sig, "", &res, &out), 0) << log();
  EXPECT_EQ(res.profile(0).substr(0, 10), "<Unknown>"s + '\0');
}

// ---- return codes ----

TEST_F(VerifyCodes, ReturnCodesOfTheMessage) {
  Results res(host_);
  Output out(host_);
  // Not decodable.
  EXPECT_EQ(verify("PKCS7", "not a PKCS#7 message", "", &res, &out), 12);
  EXPECT_TRUE(logged("ssf_verify_data() 2 : d2i_PKCS7_bio() failed"));
  EXPECT_TRUE(logged("Total signers: 0\nOverall result: 12\n"));
  // Not signedData.
  EXPECT_EQ(verify("PKCS7", wrap_data(kVerifyDocument), "", &res, &out), 2);
  EXPECT_TRUE(logged("ssf_verify_data() 3 : PKCS7 has wrong format"));
  // No SignerInfos.
  orvel::Pkcs7Ptr empty(PKCS7_new());
  PKCS7_set_type(empty.get(), NID_pkcs7_signed);
  PKCS7_content_new(empty.get(), NID_pkcs7_data);
  ASN1_OCTET_STRING_set(empty->d.sign->contents->d.data,
                        reinterpret_cast<const unsigned char*>("x"), 1);
  EXPECT_EQ(verify("PKCS7", p7_der(empty.get()), "", &res, &out), 2);
  EXPECT_TRUE(logged("ssf_verify_data() 6 : no signatures on data found"));
  EXPECT_EQ(res.size(), 0);
  EXPECT_EQ(out.data, nullptr);
  // A digest algorithm the toolkit does not know: the content cannot be read.
  const std::string unknown_md = edit_signer(carol_sign(), [](PKCS7* p7, PKCS7_SIGNER_INFO*) {
    X509_ALGOR* alg = sk_X509_ALGOR_value(p7->d.sign->md_algs, 0);
    X509_ALGOR_set0(alg, OBJ_txt2obj("1.2.3.4.5", 1), V_ASN1_UNDEF, nullptr);
  });
  EXPECT_EQ(verify("PKCS7", unknown_md, "", &res, &out), 2);
  EXPECT_TRUE(logged("ssf_verify_data() 9.1 : PKCS7_dataInit() failed"));
  EXPECT_EQ(res.size(), 0);
}

TEST_F(VerifyCodes, ReturnCodesOfTheInput) {
  const std::string det = library_sign("PKCS7", {&alice_}, true);
  {
    Results res(host_);
    Output out(host_);
    EXPECT_EQ(verify("PKCS7", det, "", &res, &out), 3);
    EXPECT_TRUE(logged("ssf_verify_data() 4 : no source data provided"));
    EXPECT_EQ(res.size(), 0);
  }
  {
    Results res(host_);
    Output out(host_);
    EXPECT_EQ(verify("PKCS7", det, "raw bytes, not PKCS#7", &res, &out), 12);
    EXPECT_TRUE(logged("ssf_verify_data() 4.1 : decode_data() returned 12"));
  }
  const std::string att = library_sign("PKCS7", {&alice_});
  std::string changed = kVerifyDocument;
  changed[3] ^= 1;
  struct Case {
    std::string input;
    const char* line;
  } cases[] = {
      {wrap_data(changed), "ssf_verify_data() 18 : provided and attached datasets are different"},
      {wrap_data(kVerifyDocument + "x"),
       "ssf_verify_data() 17 : provided and attached datasets are different"},
      {"raw bytes, not PKCS#7", "ssf_verify_data() 16 : decode_data() failed"},
  };
  for (const auto& c : cases) {
    Results res(host_);
    Output out(host_);
    EXPECT_EQ(verify("PKCS7", att, c.input, &res, &out), 3) << c.line;
    EXPECT_TRUE(logged(c.line)) << log();
    ASSERT_EQ(res.size(), 1);
    EXPECT_EQ(res.result(0), 0);
    EXPECT_EQ(out.str(), wrap_data(kVerifyDocument));  // the output stays with the host
  }
}

TEST_F(VerifyCodes, ReturnCodesOfThePab) {
  const std::string sig = library_sign("PKCS7", {&alice_});
  {
    Results res(host_);
    Output out(host_);
    const std::string missing = keys_.file("no-such-dir");
    EXPECT_EQ(verify("PKCS7", sig, "", &res, &out, true, &missing), 7);
    EXPECT_TRUE(logged("ssf_verify_data() 8 : load_certs_from_pab() returned NULL"));
    EXPECT_EQ(res.size(), 0);
  }
  {
    Results res(host_);
    Output out(host_);
    host_.mark();
    EXPECT_EQ(host_.Verify("PKCS7", 5, 1, reinterpret_cast<const unsigned char*>(sig.data()),
                           static_cast<SsfInt>(sig.size()), nullptr, 0, nullptr, 0, nullptr, 0,
                           &res.head, &out.data, &out.len),
              4);
    EXPECT_TRUE(logged("ssf_verify_data() 7 : get_sz_string_from_sap_string() failed"));
  }
  {
    // An empty PAB path is a path that names no directory.
    Results res(host_);
    Output out(host_);
    host_.mark();
    EXPECT_EQ(host_.Verify("PKCS7", 5, 1, reinterpret_cast<const unsigned char*>(sig.data()),
                           static_cast<SsfInt>(sig.size()), nullptr, 0, "", 0, nullptr, 0,
                           &res.head, &out.data, &out.len),
              7);
    EXPECT_TRUE(logged("ssf_verify_data() 8 : load_certs_from_pab() returned NULL"));
  }
}

TEST_F(VerifyCodes, PabFilesInDerPemAndBareBase64) {
  const std::string sig = library_sign("PKCS7", {&alice_});
  const std::string pem = pki::to_pem(root_->cert());
  std::string bare;
  for (const auto& line : {pem}) {
    size_t b = line.find('\n') + 1, e = line.find("-----END");
    bare = line.substr(b, e - b);
  }
  const std::pair<const char*, std::string> forms[] = {
      {"root.der", pki::to_der(root_->cert())}, {"root.pem", pem}, {"root.b64", bare}};
  for (const auto& [name, content] : forms) {
    const std::string pab = keys_.file(std::string("pab-") + name);
    sh("mkdir -p '" + pab + "'");
    write_file(pab + "/" + name, content);
    Results res(host_);
    Output out(host_);
    EXPECT_EQ(verify("PKCS7", sig, "", &res, &out, true, &pab), 0) << name << log();
    EXPECT_EQ(res.result(0), 0) << name;
    EXPECT_TRUE(logged("found 1 certificates in PAB '" + pab + "'")) << name;
  }
}

// ---- configuration ----

class VerifyHok : public VerifyCodes {
 protected:
  VerifyHok() : VerifyCodes("[hok]\nhok_urls = http://127.0.0.1:9/hok\n") {}
};

TEST_F(VerifyHok, MissingPabGoesOnWithAnEmptyOne) {
  const std::string sig = carol_sign();
  const std::string missing = keys_.file("no-such-dir");
  {
    Results res(host_);
    Output out(host_);
    EXPECT_EQ(verify("PKCS7", sig, "", &res, &out, false, &missing), 5);
    EXPECT_EQ(res.result(0), 26);
    EXPECT_TRUE(logged("ssf_verify_data() : will find root certificate in HOK"));
  }
  {
    Results res(host_);
    Output out(host_);
    EXPECT_EQ(verify("PKCS7", sig, "", &res, &out, true, &missing), 5);
    EXPECT_EQ(res.result(0), 22);
  }
}

class VerifySigningTime : public VerifyCodes {
 protected:
  VerifySigningTime() : VerifyCodes("verify_use_signing_time = yes\n") {}
};

TEST_F(VerifySigningTime, ExpiredSignerValidAtSigningTime) {
  // Inside the root's validity, which began a day ago.
  pki::Issued old =
      root_->issue(cert_options("CN=Old Signer,O=Orvel Test,C=RU", -20 * 3600, -10 * 3600));
  expect("PKCS7", sign_p7(old.cert.get(), old.key.get(), kVerifyDocument, at_time(-15 * 3600)), "",
         0, 0);
  // Signed after it expired: still 100.
  expect("PKCS7", sign_p7(old.cert.get(), old.key.get(), kVerifyDocument), "", 5, 100);
}

class VerifyNames : public VerifyCodes {
 protected:
  VerifyNames() : VerifyCodes("default_verify_name = Host Verifier\n") {}
};

TEST_F(VerifyNames, DefaultVerifyName) {
  Results res(host_);
  Output out(host_);
  ASSERT_EQ(verify("PKCS7", carol_sign(), "", &res, &out), 0);
  EXPECT_EQ(res.id(0), "Host Verifier");
}

class VerifySha1Names : public VerifyCodes {
 protected:
  VerifySha1Names()
      : VerifyCodes("default_verify_name = Host Verifier\nverify_use_sha1_id = yes\n") {}
};

TEST_F(VerifySha1Names, Sha1IdWinsOverDefaultName) {
  Results res(host_);
  Output out(host_);
  ASSERT_EQ(verify("PKCS7", carol_sign(), "", &res, &out), 0);
  EXPECT_EQ(res.id(0), sha1_id_of(leaf_.cert.get()));
  EXPECT_EQ(res.id(0).size(), 59u);
}

}  // namespace
}  // namespace orvel_test

namespace orvel_test {
namespace {

class VerifyCrl : public VerifyCodes {
 protected:
  VerifyCrl() : VerifyCodes("cert_check_options = check_crl\ncrl_protocols = file\n") {}
};

TEST_F(VerifyCrl, RevokedSignerIs22) {
  const std::string crl_file = keys_.file("root.crl");
  pki::CertOptions good = cert_options("CN=Good Signer,O=Orvel Test,C=RU");
  good.crl_urls.push_back("file://" + crl_file);
  pki::CertOptions bad = good;
  bad.subject = "CN=Revoked Signer,O=Orvel Test,C=RU";
  pki::Issued g = root_->issue(good), r = root_->issue(bad);
  pki::CrlOptions co;
  co.revoked.push_back({r.cert.get()});
  write_file(crl_file, pki::crl_to_der(root_->crl(co).get()));
  expect("PKCS7", sign_p7(r.cert.get(), r.key.get(), kVerifyDocument), "", 5, 22);
  EXPECT_TRUE(logged("GetCertificateTrustedStatus() : certificate has been revoked"));
  expect("PKCS7", sign_p7(g.cert.get(), g.key.get(), kVerifyDocument), "", 0, 0);
  EXPECT_TRUE(logged("GetCertificateTrustedStatus() : certificate has not been revoked"));
}

}  // namespace
}  // namespace orvel_test
