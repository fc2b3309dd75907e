// The OCSP checks without a network: the freshness table against the time
// stamp, basic-response verification at a given time, the SingleResponse
// of odd answers, the reference predicates, and the Base64 and buffer
// helpers.
#include <gcrypt.h>
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/ocsp.h>
#include <openssl/x509v3.h>

#include <climits>
#include <cstring>

#include "cades_responder_id.h"
#include "ocsp_client.h"
#include "ocsp_test_env.h"
#include "settings.h"

namespace orvel_test {
namespace {

using OcspResponsePtr =
    std::unique_ptr<OCSP_RESPONSE, orvel::Free<OCSP_RESPONSE, OCSP_RESPONSE_free>>;

TEST(OcspFreshness, TableWithAndWithoutNextUpdate) {
  max_ocsp_age = 5;
  const time_t T = 1700000000;
  struct Row {
    time_t p, u;
    long next;  // offset of nextUpdate from T; LONG_MIN: none
    int good, pause;
  };
  const Row rows[] = {
      {T, T, 100, 1, 0},              // produced at the stamp
      {T + 10, T + 8, 100, 1, -10},   // later, thisUpdate within the age
      {T - 1, T - 1, 100, 0, 1},      // one second before the stamp: wait 1 s
      {T + 1, T - 4, 100, 1, -1},     // age exactly max_ocsp_age
      {T + 1, T - 5, 100, 0, -1},     // one second above: no sense to wait
      {T - 3, T - 9, 100, 0, -1},     // too old and before the stamp
      {T, T, 0, 0, 0},                // nextUpdate at the stamp
      {T + 100, T + 100, 100, 0, -100},  // produced at nextUpdate
      {T + 5, T + 5, 6, 1, -5},       // produced just before nextUpdate
      // Without nextUpdate only thisUpdate against the stamp counts.
      {T + 50, T, LONG_MIN, 1, 0},
      {T - 50, T + 1, LONG_MIN, 1, -1},
      {T + 50, T - 1, LONG_MIN, 0, 1},
  };
  for (const Row& r : rows) {
    orvel::Asn1TimePtr next;
    if (r.next != LONG_MIN) next = gentime(T + r.next);
    int pause = 12345;
    EXPECT_EQ(ocsp_resp_is_good(T, r.p, r.u, next.get(), &pause), r.good)
        << r.p - T << " " << r.u - T << " " << r.next;
    EXPECT_EQ(pause, r.pause) << r.p - T << " " << r.u - T << " " << r.next;
    EXPECT_EQ(ocsp_resp_is_good(T, r.p, r.u, next.get(), nullptr), r.good);
  }
  // A pause beyond an int stays a long pause.
  int pause = 0;
  EXPECT_EQ(ocsp_resp_is_good(T + 4000000000LL, T, T, nullptr, &pause), 0);
  EXPECT_EQ(pause, INT_MAX);
}

// A basic response about leaf, signed by signer with its certificates.
struct Signed {
  orvel::OcspBasicRespPtr bs;
  OcspResponsePtr resp;
};

Signed sign_status(X509* leaf, X509* issuer, X509* signer, EVP_PKEY* key, int status,
                   unsigned long flags = 0, const EVP_MD* md = EVP_sha256()) {
  Signed s;
  s.bs.reset(OCSP_BASICRESP_new());
  OCSP_CERTID* id = OCSP_cert_to_id(md, leaf, issuer);
  orvel::Asn1TimePtr now(X509_gmtime_adj(nullptr, 0)), next(X509_gmtime_adj(nullptr, 300));
  orvel::Asn1TimePtr revtime(X509_gmtime_adj(nullptr, -60));
  EXPECT_NE(OCSP_basic_add1_status(s.bs.get(), id, status, 0,
                                   status == V_OCSP_CERTSTATUS_REVOKED ? revtime.get() : nullptr,
                                   now.get(), next.get()),
            nullptr);
  OCSP_CERTID_free(id);
  EXPECT_EQ(OCSP_basic_sign(s.bs.get(), signer, key, EVP_sha256(), nullptr, flags), 1);
  s.resp.reset(OCSP_response_create(OCSP_RESPONSE_STATUS_SUCCESSFUL, s.bs.get()));
  return s;
}

class OcspChecks : public ::testing::Test {
 protected:
  OcspChecks() {
    pki::CertOptions r;
    r.subject = "CN=Delegate,O=Orvel Test,C=RU";
    r.key_usage = "critical,digitalSignature";
    r.extensions = {{NID_ext_key_usage, "OCSPSigning"}, {NID_id_pkix_OCSP_noCheck, "ignored"}};
    delegate_ = pki_.root().issue(r);
    pki::CertOptions w;
    w.subject = "CN=Not A Delegate,O=Orvel Test,C=RU";
    stranger_ = pki_.root().issue(w);
    leaf_ = pki_.leaf("");
  }
  OcspPki pki_;
  pki::Issued delegate_, stranger_, leaf_;
};

TEST_F(OcspChecks, BasicVerifyAtTimeAndResponderRoles) {
  auto store = pki_.store();
  const time_t now = time(nullptr);
  const time_t before = now - 2 * pki::kDay;
  Signed by_delegate = sign_status(leaf_.cert.get(), pki_.root().cert(), delegate_.cert.get(),
                                   delegate_.key.get(), V_OCSP_CERTSTATUS_GOOD);
  EXPECT_EQ(OCSP_basic_verify_time(&now, by_delegate.bs.get(), nullptr, store.get(), 0), 1);
  EXPECT_EQ(OCSP_basic_verify_time(nullptr, by_delegate.bs.get(), nullptr, store.get(), 0), 1);
  // The delegate's certificate is not valid yet two days ago.
  EXPECT_EQ(OCSP_basic_verify_time(&before, by_delegate.bs.get(), nullptr, store.get(), 0), 0);
  EXPECT_EQ(SSF_OCSP_basic_verify(&before, by_delegate.bs.get(), nullptr, store.get(), 0), 0);
  // Untrusted without the root.
  orvel::X509StorePtr empty(X509_STORE_new());
  EXPECT_EQ(OCSP_basic_verify_time(&now, by_delegate.bs.get(), nullptr, empty.get(), 0), 0);

  // The CA answering for itself needs no delegation.
  Signed by_ca = sign_status(leaf_.cert.get(), pki_.root().cert(), pki_.root().cert(),
                             pki_.root().key(), V_OCSP_CERTSTATUS_GOOD);
  EXPECT_EQ(OCSP_basic_verify_time(&now, by_ca.bs.get(), nullptr, store.get(), 0), 1);

  // A certificate of the CA without OCSP signing is no delegate, unless the
  // issuer checks are switched off.
  Signed by_stranger = sign_status(leaf_.cert.get(), pki_.root().cert(), stranger_.cert.get(),
                                   stranger_.key.get(), V_OCSP_CERTSTATUS_GOOD);
  EXPECT_EQ(OCSP_basic_verify_time(&now, by_stranger.bs.get(), nullptr, store.get(), 0), 0);
  EXPECT_EQ(OCSP_basic_verify_time(&now, by_stranger.bs.get(), nullptr, store.get(), OCSP_NOCHECKS),
            1);

  // Without its certificate in the response the signer comes from certs.
  Signed bare = sign_status(leaf_.cert.get(), pki_.root().cert(), delegate_.cert.get(),
                            delegate_.key.get(), V_OCSP_CERTSTATUS_GOOD, OCSP_NOCERTS);
  EXPECT_EQ(OCSP_basic_verify_time(&now, bare.bs.get(), nullptr, store.get(), 0), 0);
  orvel::X509StackPtr certs(sk_X509_new_null());
  X509_up_ref(delegate_.cert.get());
  sk_X509_push(certs.get(), delegate_.cert.get());
  EXPECT_EQ(SSF_OCSP_basic_verify(&now, bare.bs.get(), certs.get(), store.get(), 0), 1);
  EXPECT_EQ(OCSP_basic_verify_time(&now, by_delegate.bs.get(), certs.get(), store.get(),
                                   OCSP_NOINTERN),
            1);

  // A response whose signature was altered (the last octet of the DER).
  unsigned char* der = nullptr;
  const int len = i2d_OCSP_BASICRESP(bare.bs.get(), &der);
  der[len - 1] ^= 0x01;
  const unsigned char* p = der;
  orvel::OcspBasicRespPtr forged(d2i_OCSP_BASICRESP(nullptr, &p, len));
  OPENSSL_free(der);
  ASSERT_TRUE(forged);
  EXPECT_EQ(OCSP_basic_verify_time(&now, forged.get(), certs.get(), store.get(), 0), 0);
  EXPECT_EQ(OCSP_basic_verify_time(&now, forged.get(), certs.get(), store.get(), OCSP_NOSIGS), 1);
  ERR_clear_error();
}

TEST_F(OcspChecks, SingleResponseOfOddAnswers) {
  OCSP_BASICRESP* bs = reinterpret_cast<OCSP_BASICRESP*>(1);
  const ASN1_GENERALIZEDTIME* produced = nullptr;
  OcspResponsePtr later(OCSP_response_create(OCSP_RESPONSE_STATUS_TRYLATER, nullptr));
  EXPECT_EQ(get_SINGLE_RESP(later.get(), &bs, &produced), nullptr);
  EXPECT_EQ(bs, nullptr);

  // Signed but empty: the basic response comes back for the caller to free.
  orvel::OcspBasicRespPtr empty(OCSP_BASICRESP_new());
  ASSERT_EQ(OCSP_basic_sign(empty.get(), delegate_.cert.get(), delegate_.key.get(), EVP_sha256(),
                            nullptr, 0),
            1);
  OcspResponsePtr no_single(OCSP_response_create(OCSP_RESPONSE_STATUS_SUCCESSFUL, empty.get()));
  EXPECT_EQ(get_SINGLE_RESP(no_single.get(), &bs, &produced), nullptr);
  EXPECT_NE(bs, nullptr);
  OCSP_BASICRESP_free(bs);
  // An answer about nothing names no issuer for the delegate: refused, as
  // the toolkit refuses it.
  auto store = pki_.store();
  const time_t now = time(nullptr);
  EXPECT_EQ(OCSP_basic_verify_time(&now, empty.get(), nullptr, store.get(), 0),
            OCSP_basic_verify(empty.get(), nullptr, store.get(), 0));
  EXPECT_LT(OCSP_basic_verify_time(&now, empty.get(), nullptr, store.get(), 0), 1);
  ERR_clear_error();

  Signed good = sign_status(leaf_.cert.get(), pki_.root().cert(), delegate_.cert.get(),
                            delegate_.key.get(), V_OCSP_CERTSTATUS_GOOD);
  EXPECT_NE(get_SINGLE_RESP(good.resp.get(), &bs, &produced), nullptr);
  EXPECT_NE(produced, nullptr);
  OCSP_BASICRESP_free(bs);
  // The same genuine basic response under any other status is no answer.
  for (int status : {OCSP_RESPONSE_STATUS_MALFORMEDREQUEST, OCSP_RESPONSE_STATUS_INTERNALERROR,
                     OCSP_RESPONSE_STATUS_TRYLATER, OCSP_RESPONSE_STATUS_SIGREQUIRED,
                     OCSP_RESPONSE_STATUS_UNAUTHORIZED}) {
    OcspResponsePtr refused(OCSP_response_create(status, good.bs.get()));
    EXPECT_EQ(get_SINGLE_RESP(refused.get(), &bs, &produced), nullptr) << status;
    EXPECT_EQ(bs, nullptr);
  }
  EXPECT_EQ(ocsp_unprocessed_critical(good.bs.get(), nullptr), "");
  EXPECT_EQ(get_SINGLE_RESP(nullptr, &bs, &produced), nullptr);
}

std::string sha256_gcrypt(const unsigned char* p, size_t n) {
  std::string out(32, '\0');
  gcry_md_hash_buffer(GCRY_MD_SHA256, out.data(), p, n);
  return out;
}

TEST_F(OcspChecks, ReferencePredicates) {
  gcry_check_version(nullptr);
  Signed good = sign_status(leaf_.cert.get(), pki_.root().cert(), delegate_.cert.get(),
                            delegate_.key.get(), V_OCSP_CERTSTATUS_GOOD);
  // OCSP_BASICRESP_digest is over the whole DER of the basic response.
  unsigned char* der = nullptr;
  const int der_len = i2d_OCSP_BASICRESP(good.bs.get(), &der);
  const std::string expect = sha256_gcrypt(der, static_cast<size_t>(der_len));
  OPENSSL_free(der);
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  ASSERT_EQ(OCSP_BASICRESP_digest(good.bs.get(), EVP_sha256(), digest, &len), 1);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(digest), len), expect);

  // A reference to the response: responder id, producedAt, hash.
  orvel::OcspResponsesIdPtr ref(OCSP_RESPONSES_ID_new());
  SSF_RESPID_free(ref->OcspIdentifier->responderId);
  ref->OcspIdentifier->responderId = SSF_RESPID_from_basic_response(good.bs.get());
  ASN1_STRING_copy(ref->OcspIdentifier->producedAt, OCSP_resp_get0_produced_at(good.bs.get()));
  EXPECT_EQ(ocspid_and_ocsp_match(ref.get(), good.bs.get()), 1);
  ref->ocspRepHash = MD_new();
  X509_ALGOR_set0(ref->ocspRepHash->hashAlgorithm, OBJ_nid2obj(NID_sha256), V_ASN1_UNDEF, nullptr);
  ASN1_OCTET_STRING_set(ref->ocspRepHash->hashValue,
                        reinterpret_cast<const unsigned char*>(expect.data()), 32);
  EXPECT_EQ(ocspid_and_ocsp_match(ref.get(), good.bs.get()), 1);
  Signed other = sign_status(stranger_.cert.get(), pki_.root().cert(), delegate_.cert.get(),
                             delegate_.key.get(), V_OCSP_CERTSTATUS_GOOD);
  ASN1_STRING_copy(ref->OcspIdentifier->producedAt, OCSP_resp_get0_produced_at(other.bs.get()));
  EXPECT_EQ(ocspid_and_ocsp_match(ref.get(), other.bs.get()), 0);  // hash differs
  // Responder ids: by name against by key.
  orvel::SsfRespIdPtr by_name(SSF_RESPID_from_basic_response(good.bs.get()));
  Signed keyed = sign_status(leaf_.cert.get(), pki_.root().cert(), delegate_.cert.get(),
                             delegate_.key.get(), V_OCSP_CERTSTATUS_GOOD, OCSP_RESPID_KEY);
  orvel::SsfRespIdPtr by_key(SSF_RESPID_from_basic_response(keyed.bs.get()));
  ASSERT_TRUE(by_name && by_key);
  EXPECT_EQ(ssf_OCSP_RESPID_cmp(by_name.get(), by_name.get()), 0);
  EXPECT_EQ(ssf_OCSP_RESPID_cmp(by_key.get(), by_key.get()), 0);
  EXPECT_EQ(ssf_OCSP_RESPID_cmp(by_name.get(), by_key.get()), 1);
  EXPECT_EQ(ssf_OCSP_RESPID_cmp(nullptr, by_key.get()), 1);
  EXPECT_EQ(ocspid_and_ocsp_match(nullptr, good.bs.get()), 0);

  // Certificate references: hash of the DER, then the issuer and serial.
  X509* cert = leaf_.cert.get();
  der = nullptr;
  const int cert_len = i2d_X509(cert, &der);
  const std::string cert_hash = sha256_gcrypt(der, static_cast<size_t>(cert_len));
  OPENSSL_free(der);
  orvel::OtherCertIdPtr id(OTHERCERTID_new());
  X509_ALGOR_set0(id->mD->hashAlgorithm, OBJ_nid2obj(NID_sha256), V_ASN1_UNDEF, nullptr);
  ASN1_OCTET_STRING_set(id->mD->hashValue,
                        reinterpret_cast<const unsigned char*>(cert_hash.data()), 32);
  EXPECT_EQ(certid_and_cert_match(id.get(), cert), 1);
  EXPECT_EQ(certid_and_cert_match(id.get(), stranger_.cert.get()), 0);
  id->issuerSerial = ISSUER_SERIAL_new();
  GENERAL_NAME* uri = GENERAL_NAME_new();
  ASN1_IA5STRING* text = ASN1_IA5STRING_new();
  ASN1_STRING_set(text, "http://x/", -1);
  GENERAL_NAME_set0_value(uri, GEN_URI, text);
  sk_GENERAL_NAME_push(id->issuerSerial->issuer, uri);
  // Only a URI: no directoryName to compare.
  ASN1_INTEGER_set(id->issuerSerial->serial, 0);
  ASN1_STRING_copy(id->issuerSerial->serial, X509_get0_serialNumber(cert));
  EXPECT_EQ(ssf_ISSUER_SERIAL_cmp(id->issuerSerial, X509_get_issuer_name(cert),
                                  X509_get0_serialNumber(cert)),
            -1);
  EXPECT_EQ(certid_and_cert_match(id.get(), cert), 0);
  GENERAL_NAME* dir = GENERAL_NAME_new();
  GENERAL_NAME_set0_value(dir, GEN_DIRNAME, X509_NAME_dup(X509_get_issuer_name(cert)));
  sk_GENERAL_NAME_push(id->issuerSerial->issuer, dir);
  EXPECT_EQ(certid_and_cert_match(id.get(), cert), 1);
  ASN1_INTEGER_set(id->issuerSerial->serial, 999999);
  EXPECT_EQ(certid_and_cert_match(id.get(), cert), 0);
}

TEST(OcspHelpers, Base64OfCredentialsOnOneLine) {
  EXPECT_STREQ(encode_into_base64("user:pass"), "dXNlcjpwYXNz");
  EXPECT_STREQ(encode_into_base64(""), "");
  EXPECT_EQ(encode_into_base64(nullptr), nullptr);
  // Longer than one Base64 line: still one line, as `openssl base64 -A` has it.
  const std::string longer(100, 'k');
  std::string expect(200, '\0');
  const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(expect.data()),
                                reinterpret_cast<const unsigned char*>(longer.data()), 100);
  expect.resize(static_cast<size_t>(n));
  EXPECT_EQ(encode_into_base64(longer.c_str()), expect);
  EXPECT_EQ(encode_into_base64(std::string(9000, 'x').c_str()), nullptr);  // does not fit
}

TEST(OcspHelpers, AddBufAppendsAndFreesOnFailure) {
  int len = 0;
  unsigned char* buf = add_buf(nullptr, &len, reinterpret_cast<const unsigned char*>("abc"), 3);
  ASSERT_NE(buf, nullptr);
  buf = add_buf(buf, &len, reinterpret_cast<const unsigned char*>("defg"), 4);
  buf = add_buf(buf, &len, nullptr, 0);
  ASSERT_NE(buf, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), static_cast<size_t>(len)), "abcdefg");
  // A count that would overflow the length, or a negative one, ends the
  // buffer (freed, so nothing leaks) instead of writing out of bounds.
  len = INT_MAX - 2;
  EXPECT_EQ(add_buf(buf, &len, reinterpret_cast<const unsigned char*>("xyz"), 3), nullptr);
  int small = 0;
  unsigned char* other = add_buf(nullptr, &small, reinterpret_cast<const unsigned char*>("x"), 1);
  EXPECT_EQ(add_buf(other, &small, reinterpret_cast<const unsigned char*>("x"), -1), nullptr);
  void* p = my_realloc(nullptr, 10);
  p = my_realloc(p, 100);
  ASSERT_NE(p, nullptr);
  OPENSSL_free(p);
}

}  // namespace
}  // namespace orvel_test
