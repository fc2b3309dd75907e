// Envelope recipients named by SNILS or missing from the PAB directory:
// their fingerprints and certificates come from the hok directory (a fake
// SOAP service on loopback).
#include <gtest/gtest.h>

#include "envelope_test_env.h"
#include "hok_test_env.h"
#include "test_hok.h"

namespace orvel_test {
namespace {

constexpr char kSnils[] = "112-233-445 95";

struct HokService {
  FakeHok hok;
};

class EnvelopeHok : private HokService, public EnvelopeTest {
 protected:
  EnvelopeHok()
      : EnvelopeTest(std::string("[hok]\nhok_urls = ") + hok.url("/certs") +
                     "\nhok_login = " + kHokLogin + "\nhok_password = " + kHokPassword + "\n") {}
  void SetUp() override {
    alice_ = write_gost_recipient(host_.dir, gost_ca(), "Alice Recipient");
    carol_ = write_gost_recipient(host_.dir, gost_ca(), "Carol Outside");
    add_to_pab(alice_, "alice.pem");  // Carol is only in the directory
    hok.set_ids_answer(FakeHok::ok(FakeHok::certificate_body(pem_of(carol_.cert.get()))));
  }
  FakeHok& service() { return hok; }
  Recipient alice_, carol_;
};

TEST_F(EnvelopeHok, SnilsOfARecipientOutsideThePab) {
  const std::string fp = sha1_id_of(carol_.cert.get(), false);
  service().set_owner_answer(FakeHok::ok(FakeHok::fingerprints_body({fp, "second-fp"})));
  host_.mark();
  Outcome e = envelope({kSnils, alice_.sha1_id}, wrap(kDocument));
  ASSERT_EQ(e.rc, 0) << host_.since_mark();
  EXPECT_EQ(e.results, (std::vector<SsfInt>{0, 0}));
  const auto requests = service().requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_NE(requests[0].find("<snils>11223344595</snils>"), std::string::npos);
  EXPECT_NE(requests[1].find("<fingerprint>" + fp + "</fingerprint>"), std::string::npos);
  const std::string log = host_.since_mark();
  EXPECT_NE(log.find("get_cert_from_pab() : '112-233-445 95' is snils"), std::string::npos);
  // The directory password is sent but never traced.
  EXPECT_NE(requests[0].find(std::string("<password>") + kHokPassword + "</password>"),
            std::string::npos);
  EXPECT_EQ(host_.log().find(kHokPassword), std::string::npos);
  Outcome d = develope(carol_, e.output);
  ASSERT_EQ(d.rc, 0);
  EXPECT_EQ(unwrap(d.output), kDocument);
}

TEST_F(EnvelopeHok, SnilsWhoseCertificateIsInThePab) {
  service().set_owner_answer(FakeHok::ok(FakeHok::fingerprints_body({alice_.sha1_id})));
  Outcome e = envelope({kSnils}, wrap(kDocument));
  ASSERT_EQ(e.rc, 0);
  EXPECT_EQ(service().requests().size(), 1u);
  EXPECT_EQ(unwrap(develope(alice_, e.output).output), kDocument);
}

TEST_F(EnvelopeHok, IdMissingFromThePabIsAskedByFingerprint) {
  Outcome e = envelope({carol_.sha1_id}, wrap(kDocument));
  ASSERT_EQ(e.rc, 0);
  ASSERT_EQ(service().requests().size(), 1u);
  EXPECT_NE(service().requests()[0].find("<fingerprint>" + carol_.sha1_id + "</fingerprint>"),
            std::string::npos);
}

TEST_F(EnvelopeHok, OnlyTheCertificateAskedForIsUsed) {
  // The directory answers every request with Carol's certificate.
  const Recipient dave = write_gost_recipient(host_.dir, gost_ca(), "Dave Outside");
  const std::string dave_fp = sha1_id_of(dave.cert.get(), false);
  service().set_owner_answer(FakeHok::ok(FakeHok::fingerprints_body({dave_fp})));
  for (const std::string& id :
       {dave.sha1_id, std::string(kSnils), std::string("CN=Dave Outside")}) {
    host_.mark();
    Outcome e = envelope({id, alice_.sha1_id}, wrap(kDocument));
    EXPECT_EQ(e.rc, SSF_API_RECIPIENT_FAILED) << id;
    EXPECT_EQ(e.results, (std::vector<SsfInt>{SSF_CERT_NOT_FOUND, 0})) << id;
    EXPECT_NE(host_.since_mark().find("gave another certificate: '" + carol_.subject_text),
              std::string::npos)
        << id;
  }
  // An honest directory that writes the fingerprint in upper case.
  std::string upper = sha1_id_of(carol_.cert.get(), false);
  for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  service().set_owner_answer(FakeHok::ok(FakeHok::fingerprints_body({upper})));
  Outcome e = envelope({kSnils}, wrap(kDocument));
  ASSERT_EQ(e.rc, 0);
  EXPECT_EQ(unwrap(develope(carol_, e.output).output), kDocument);
}

TEST_F(EnvelopeHok, DirectoryFailuresGive26) {
  service().set_owner_answer("HTTP/1.1 500 Internal Server Error\r\n\r\n");
  service().set_ids_answer("HTTP/1.1 404 Not Found\r\n\r\n");
  Outcome e = envelope({kSnils, carol_.sha1_id, alice_.sha1_id}, wrap(kDocument));
  EXPECT_EQ(e.rc, SSF_API_RECIPIENT_FAILED);
  EXPECT_EQ(e.results, (std::vector<SsfInt>{SSF_CERT_NOT_FOUND, SSF_CERT_NOT_FOUND, 0}));
  EXPECT_NE(host_.log().find("get_cert_from_pab() 2 : hok_get_fingerprint_by_snils( "
                             "'112-233-445 95' ) failed"),
            std::string::npos);
  // An empty first fingerprint leaves the SNILS as the id: not a valid one.
  service().set_owner_answer(FakeHok::ok(FakeHok::fingerprints_body({""})));
  Outcome empty = envelope({kSnils}, wrap(kDocument));
  EXPECT_EQ(empty.results, (std::vector<SsfInt>{SSF_UNKNOWN_SIGNER}));
}

}  // namespace
}  // namespace orvel_test
