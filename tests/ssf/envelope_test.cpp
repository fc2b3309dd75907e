// SsfEnvelope: recipients found in the PAB directory by subject prefix and
// SHA-1 id, the envelopedData built for them in order, and the failures of
// input, PAB and recipient ids. The recipients hold GOST keys, so that
// every envelope is also opened again.
#include <gtest/gtest.h>
#include <openssl/objects.h>

#include "envelope_test_env.h"

namespace orvel_test {
namespace {

class Envelope : public EnvelopeTest {
 protected:
  void SetUp() override {
    alice_ = write_gost_recipient(host_.dir, gost_ca(), "Alice Recipient");
    bob_ = write_gost_recipient(host_.dir, gost_ca(), "Bob Recipient", "gost12-512");
    carol_ = write_gost_recipient(host_.dir, gost_ca(), "Carol Recipient");
    add_to_pab(alice_, "alice.pem");
    add_to_pab(bob_, "bob.pem");
    add_to_pab(carol_, "carol.pem");
  }
  Recipient alice_, bob_, carol_;
};

// Every certificate has exactly one RecipientInfo with its issuer and
// serial number, and there are no others. The DER encoding sorts the SET OF
// RecipientInfos, so their order is the encoding's, not the recipients'.
void expect_recipients(const std::string& der, const std::vector<X509*>& certs) {
  orvel::Pkcs7Ptr p7 = parse_p7(der);
  ASSERT_TRUE(p7);
  ASSERT_TRUE(PKCS7_type_is_enveloped(p7.get()));
  EXPECT_EQ(OBJ_obj2nid(p7->d.enveloped->enc_data->algorithm->algorithm), NID_id_Gost28147_89);
  STACK_OF(PKCS7_RECIP_INFO)* ris = p7->d.enveloped->recipientinfo;
  ASSERT_EQ(sk_PKCS7_RECIP_INFO_num(ris), int(certs.size()));
  for (size_t i = 0; i < certs.size(); ++i) {
    int found = 0;
    for (int j = 0; j < sk_PKCS7_RECIP_INFO_num(ris); ++j) {
      PKCS7_ISSUER_AND_SERIAL* is = sk_PKCS7_RECIP_INFO_value(ris, j)->issuer_and_serial;
      found += ASN1_INTEGER_cmp(is->serial, X509_get0_serialNumber(certs[i])) == 0 &&
               X509_NAME_cmp(is->issuer, X509_get_issuer_name(certs[i])) == 0;
    }
    EXPECT_EQ(found, 1) << i;
  }
}

TEST_F(Envelope, SeveralRecipientsByPrefixAndSha1IdEachDevelope) {
  const std::string no_blanks = sha1_id_of(carol_.cert.get(), false);
  host_.mark();
  Outcome e = envelope({"CN=Alice", bob_.sha1_id, no_blanks}, wrap(kDocument));
  ASSERT_EQ(e.rc, 0);
  EXPECT_EQ(e.results, (std::vector<SsfInt>{0, 0, 0}));
  expect_recipients(e.output, {alice_.cert.get(), bob_.cert.get(), carol_.cert.get()});
  const std::string log = host_.since_mark();
  EXPECT_NE(log.find("envelope_data() 6.1 : found 3 certificates in PAB '" + pab_ + "'"),
            std::string::npos);
  EXPECT_NE(log.find("get_cert_from_pab() : current recipient = 'CN=Alice'"), std::string::npos);
  EXPECT_NE(log.find("get_cert_from_pab() : certificate found by full ID"), std::string::npos);
  EXPECT_NE(log.find("get_cert_from_pab() : certificate found by SHA1 ID"), std::string::npos);
  for (const Recipient* r : {&alice_, &bob_, &carol_}) {
    Outcome d = develope(*r, e.output);
    ASSERT_EQ(d.rc, 0) << r->subject_text;
    EXPECT_EQ(d.results[0], 0);
    EXPECT_EQ(unwrap(d.output), kDocument);
  }
}

TEST_F(Envelope, InputForms) {
  // Not PKCS#7 at all.
  Outcome e = envelope({bob_.sha1_id}, kDocument);
  EXPECT_EQ(e.rc, SSF_API_DECODE_FAILED);
  EXPECT_TRUE(e.output.empty());
  // A signedData (here: an envelopedData) is encrypted whole and comes back whole.
  Outcome inner = envelope({bob_.sha1_id}, wrap(kDocument));
  ASSERT_EQ(inner.rc, 0);
  Outcome outer = envelope({alice_.sha1_id}, inner.output);
  ASSERT_EQ(outer.rc, 0);
  Outcome d = develope(alice_, outer.output);
  ASSERT_EQ(d.rc, 0);
  EXPECT_EQ(d.output, inner.output);
  Outcome d2 = develope(bob_, d.output);
  ASSERT_EQ(d2.rc, 0);
  EXPECT_EQ(unwrap(d2.output), kDocument);
}

TEST_F(Envelope, UnknownRecipientFailsTheCallButEveryRecordGetsItsResult) {
  Outcome e =
      envelope({alice_.sha1_id, "CN=Nobody Here", "not an id", bob_.sha1_id}, wrap(kDocument));
  EXPECT_EQ(e.rc, SSF_API_RECIPIENT_FAILED);
  EXPECT_TRUE(e.output.empty());
  EXPECT_EQ(e.results, (std::vector<SsfInt>{0, SSF_CERT_NOT_FOUND, SSF_UNKNOWN_SIGNER, 0}));
  const std::string log = host_.log();
  EXPECT_NE(log.find("get_cert_from_pab() 3 : unknown recipient: 'not an id'"), std::string::npos);
  EXPECT_NE(log.find("envelope_data() 7 : no certificate found for: 'CN=Nobody Here'"),
            std::string::npos);
  EXPECT_NE(log.find("get_cert_from_pab() 5 : hok_get_cert_by_fingerprint() failed"),
            std::string::npos);
}

TEST_F(Envelope, PabFailuresGive7) {
  const std::string input = wrap(kDocument);
  EXPECT_EQ(envelope({alice_.sha1_id}, input, "/nonexistent/pab").rc, SSF_API_PAB_FAILED);
  EXPECT_EQ(envelope({alice_.sha1_id}, input, "", 0).rc, SSF_API_PAB_FAILED);
  EXPECT_EQ(envelope({alice_.sha1_id}, input, nullptr, -2).rc, SSF_API_PAB_FAILED);
  EXPECT_NE(host_.log().find("envelope_data() 6 : load_certs_from_pab( '/nonexistent/pab' ) "
                             "failed"),
            std::string::npos);
}

TEST_F(Envelope, LongRecipientIdsAreRefusedWithoutOverflow) {
  const std::string input = wrap(kDocument);
  // 1023 hex digits still fit (and are looked for); 1024 bytes and more do not.
  Outcome e = envelope({std::string(1023, 'a')}, input);
  EXPECT_EQ(e.results, (std::vector<SsfInt>{SSF_CERT_NOT_FOUND}));
  for (size_t n : {size_t(1024), size_t(1025), size_t(70000)}) {
    Outcome o = envelope({std::string(n, 'a'), alice_.sha1_id}, input);
    EXPECT_EQ(o.rc, SSF_API_RECIPIENT_FAILED) << n;
    EXPECT_EQ(o.results, (std::vector<SsfInt>{SSF_UNKNOWN_SIGNER, 0})) << n;
  }
  EXPECT_NE(host_.log().find("get_cert_from_pab() 1 : recipient id of 1024 bytes is too long"),
            std::string::npos);
  // A name prefix longer than any subject text matches nothing.
  Outcome p = envelope({alice_.subject_text + ", CN=more"}, input);
  EXPECT_EQ(p.results, (std::vector<SsfInt>{SSF_CERT_NOT_FOUND}));
}

TEST_F(Envelope, ExpiredRecipientIsStillEncryptedFor) {
  Recipient dave = write_gost_recipient(host_.dir, gost_ca(), "Dave Expired", "gost12-256",
                                        "activation_date = \"2020-01-01 00:00:00\"\n"
                                        "expiration_date = \"2021-01-01 00:00:00\"\n");
  add_to_pab(dave, "dave.pem");
  host_.mark();
  Outcome e = envelope({"CN=Dave"}, wrap(kDocument));
  ASSERT_EQ(e.rc, 0);
  EXPECT_EQ(e.results, (std::vector<SsfInt>{0}));
  EXPECT_NE(host_.since_mark().find("get_cert_from_pab() 6 : IsCertificateValid() failed for "
                                    "'CN=Dave'"),
            std::string::npos);
  Outcome d = develope(dave, e.output);
  ASSERT_EQ(d.rc, 0);
  EXPECT_EQ(unwrap(d.output), kDocument);
}

}  // namespace
}  // namespace orvel_test
