// ESS certificate identifiers: encodings checked against hand-built DER with
// digests from nettle, and against the toolkit's own ESS types.
#include <gtest/gtest.h>

#include <algorithm>
#include <nettle/sha2.h>
#include <openssl/ess.h>

#include "pkcs7/ess_attributes.h"
#include "pkcs7/ess_types.h"
#include "test_pki.h"
#include "test_util.h"
#include "log.h"

using orvel_test::Bytes;
using orvel_test::cat;
using orvel_test::tlv;
using orvel_test::to_der;

namespace {

const Bytes kSha256Oid = {0x06, 0x09, 0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x01};
const Bytes kSha512Oid = {0x06, 0x09, 0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x03};
// SEQUENCE OF PolicyInformation holding anyPolicy.
const Bytes kPolicies = tlv(0x30, tlv(0x30, {0x06, 0x04, 0x55, 0x1d, 0x20, 0x00}));

Bytes nettle_sha256(const Bytes& in) {
  sha256_ctx ctx;
  sha256_init(&ctx);
  sha256_update(&ctx, in.size(), in.data());
  Bytes out(SHA256_DIGEST_SIZE);
  sha256_digest(&ctx, out.size(), out.data());
  return out;
}

Bytes nettle_sha512(const Bytes& in) {
  sha512_ctx ctx;
  sha512_init(&ctx);
  sha512_update(&ctx, in.size(), in.data());
  Bytes out(SHA512_DIGEST_SIZE);
  sha512_digest(&ctx, out.size(), out.data());
  return out;
}

class EssTypes : public ::testing::Test {
 protected:
  void SetUp() override {
    ca_key = orvel_test::make_rsa_key();
    ca = orvel_test::make_cert(ca_key.get(), "ESS CA", 1);
    key = orvel_test::make_rsa_key();
    // Serial 129 encodes with a leading zero octet.
    cert = orvel_test::make_cert(key.get(), "ESS signer", 129, ca.get(), ca_key.get(), false);
  }

  // issuerSerial as RFC 5035 writes it: GeneralNames with one directoryName
  // ([4], explicit because Name is a CHOICE) and the serial 129.
  Bytes expected_issuer_serial() const {
    Bytes name = orvel_test::der_of_name(X509_get_subject_name(ca.get()));
    return tlv(0x30, cat({tlv(0x30, tlv(0xa4, name)), Bytes{0x02, 0x02, 0x00, 0x81}}));
  }

  orvel::EvpPkeyPtr ca_key, key;
  orvel::X509Ptr ca, cert;
};

template <typename T>
Bytes round_trip(const Bytes& der, T* (*d2i)(T**, const unsigned char**, long),
                 int (*i2d)(const T*, unsigned char**), void (*free_fn)(T*)) {
  const unsigned char* p = der.data();
  T* v = d2i(nullptr, &p, static_cast<long>(der.size()));
  if (v == nullptr) return {};
  EXPECT_EQ(p, der.data() + der.size());
  Bytes again = to_der(v, i2d);
  free_fn(v);
  return again;
}

template <typename T>
bool decodes(const Bytes& der, T* (*d2i)(T**, const unsigned char**, long), void (*free_fn)(T*)) {
  const unsigned char* p = der.data();
  T* v = d2i(nullptr, &p, static_cast<long>(der.size()));
  if (v == nullptr) return false;
  free_fn(v);
  return true;
}

}  // namespace

TEST_F(EssTypes, OtherCertIdMatchesHandBuiltDer) {
  Bytes hash = nettle_sha256(orvel_test::der_of_cert(cert.get()));
  Bytes md = tlv(0x30, cat({tlv(0x30, kSha256Oid), tlv(0x04, hash)}));
  Bytes expected = tlv(0x30, cat({md, expected_issuer_serial()}));

  orvel::OtherCertIdPtr id(PKCS7_make_other_cert_id(cert.get(), EVP_sha256()));
  ASSERT_TRUE(id);
  EXPECT_EQ(to_der(id.get(), i2d_OTHERCERTID), expected);
  EXPECT_EQ(to_der(id->mD, i2d_MD), md);
  EXPECT_EQ(to_der(id->issuerSerial, i2d_ISSUER_SERIAL), expected_issuer_serial());

  orvel::OtherSigCertPtr osc(PKCS7_make_otherSigCert_attribute(cert.get(), EVP_sha256()));
  ASSERT_TRUE(osc);
  Bytes osc_der = tlv(0x30, tlv(0x30, expected));
  EXPECT_EQ(to_der(osc.get(), i2d_OTHERSIGCERT), osc_der);

  // Every type decodes what it encodes, to the same bytes.
  EXPECT_EQ(round_trip(md, d2i_MD, i2d_MD, MD_free), md);
  EXPECT_EQ(round_trip(expected_issuer_serial(), d2i_ISSUER_SERIAL, i2d_ISSUER_SERIAL,
                       ISSUER_SERIAL_free),
            expected_issuer_serial());
  EXPECT_EQ(round_trip(expected, d2i_OTHERCERTID, i2d_OTHERCERTID, OTHERCERTID_free), expected);
  EXPECT_EQ(round_trip(osc_der, d2i_OTHERSIGCERT, i2d_OTHERSIGCERT, OTHERSIGCERT_free), osc_der);
  // issuerSerial is optional.
  Bytes bare = tlv(0x30, md);
  EXPECT_EQ(round_trip(bare, d2i_OTHERCERTID, i2d_OTHERCERTID, OTHERCERTID_free), bare);
  // Several certificate ids in one OTHERSIGCERT.
  Bytes two = tlv(0x30, tlv(0x30, cat({expected, bare})));
  EXPECT_EQ(round_trip(two, d2i_OTHERSIGCERT, i2d_OTHERSIGCERT, OTHERSIGCERT_free), two);
}

TEST_F(EssTypes, CertIdV2MatchesHandBuiltDer) {
  Bytes hash = nettle_sha512(orvel_test::der_of_cert(cert.get()));
  Bytes id = tlv(0x30, cat({tlv(0x30, kSha512Oid), tlv(0x04, hash), expected_issuer_serial()}));
  Bytes expected = tlv(0x30, tlv(0x30, id));

  orvel::EssCertIdV2Ptr v(PKCS7_make_SigCertV2_attribute(cert.get(), EVP_sha512()));
  ASSERT_TRUE(v);
  EXPECT_EQ(to_der(v.get(), i2d_ESSCERTIDV2), expected);
  EXPECT_EQ(round_trip(expected, d2i_ESSCERTIDV2, i2d_ESSCERTIDV2, ESSCERTIDV2_free), expected);
  EXPECT_EQ(round_trip(id, d2i_CERTIDV2, i2d_CERTIDV2, CERTIDV2_free), id);
  Bytes no_serial = tlv(0x30, cat({tlv(0x30, kSha512Oid), tlv(0x04, hash)}));
  EXPECT_EQ(round_trip(no_serial, d2i_CERTIDV2, i2d_CERTIDV2, CERTIDV2_free), no_serial);
}

TEST_F(EssTypes, SigningCertificateV2AgainstToolkitTypes) {
  // Ours, read by the toolkit's ESS decoder: SHA-256 is written out even
  // though RFC 5035 makes it the default.
  orvel::EssCertIdV2Ptr v(PKCS7_make_SigCertV2_attribute(cert.get(), EVP_sha256()));
  ASSERT_TRUE(v);
  Bytes der = to_der(v.get(), i2d_ESSCERTIDV2);
  const unsigned char* p = der.data();
  ESS_SIGNING_CERT_V2* theirs = d2i_ESS_SIGNING_CERT_V2(nullptr, &p, static_cast<long>(der.size()));
  ASSERT_NE(theirs, nullptr);
  ESS_SIGNING_CERT_V2_free(theirs);
  ASSERT_GT(der.size(), 4u);
  EXPECT_NE(std::search(der.begin(), der.end(), kSha256Oid.begin(), kSha256Oid.end()), der.end());

  // The toolkit's, with SHA-384 (algorithm encoded), read by ours.
  ESS_SIGNING_CERT_V2* made = OSSL_ESS_signing_cert_v2_new_init(EVP_sha384(), cert.get(), nullptr, 1);
  ASSERT_NE(made, nullptr);
  Bytes tk = to_der(made, i2d_ESS_SIGNING_CERT_V2);
  ESS_SIGNING_CERT_V2_free(made);
  p = tk.data();
  orvel::EssCertIdV2Ptr ours(d2i_ESSCERTIDV2(nullptr, &p, static_cast<long>(tk.size())));
  ASSERT_TRUE(ours);
  ASSERT_EQ(sk_CERTIDV2_num(ours->Certs), 1);
  CERTIDV2* id = sk_CERTIDV2_value(ours->Certs, 0);
  EXPECT_EQ(OBJ_obj2nid(id->hashAlgorithm->algorithm), NID_sha384);
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  ASSERT_EQ(X509_digest(cert.get(), EVP_sha384(), digest, &len), 1);
  EXPECT_EQ(Bytes(id->hashValue->data, id->hashValue->data + id->hashValue->length),
            Bytes(digest, digest + len));
  ASSERT_NE(id->issuerSerial, nullptr);
  EXPECT_EQ(ASN1_INTEGER_cmp(id->issuerSerial->serial, X509_get0_serialNumber(cert.get())), 0);

  // The toolkit's with SHA-256 leaves hashAlgorithm out, which ours refuses.
  made = OSSL_ESS_signing_cert_v2_new_init(EVP_sha256(), cert.get(), nullptr, 1);
  ASSERT_NE(made, nullptr);
  tk = to_der(made, i2d_ESS_SIGNING_CERT_V2);
  ESS_SIGNING_CERT_V2_free(made);
  EXPECT_EQ(std::search(tk.begin(), tk.end(), kSha256Oid.begin(), kSha256Oid.end()), tk.end());
  EXPECT_FALSE(decodes(tk, d2i_ESSCERTIDV2, ESSCERTIDV2_free));
}

TEST_F(EssTypes, RefusedEncodings) {
  Bytes hash(32, 0xab);
  // ESSCertIDv2 without hashAlgorithm, as RFC 5035 allows for SHA-256.
  Bytes no_alg = tlv(0x30, cat({tlv(0x04, hash), expected_issuer_serial()}));
  EXPECT_FALSE(decodes(no_alg, d2i_CERTIDV2, CERTIDV2_free));
  EXPECT_FALSE(decodes(tlv(0x30, tlv(0x30, no_alg)), d2i_ESSCERTIDV2, ESSCERTIDV2_free));

  // A policies list after the certificate ids.
  Bytes id2 = tlv(0x30, cat({tlv(0x30, kSha256Oid), tlv(0x04, hash)}));
  Bytes certs2 = tlv(0x30, id2);
  EXPECT_TRUE(decodes(tlv(0x30, certs2), d2i_ESSCERTIDV2, ESSCERTIDV2_free));
  EXPECT_FALSE(decodes(tlv(0x30, cat({certs2, kPolicies})), d2i_ESSCERTIDV2, ESSCERTIDV2_free));

  Bytes md = tlv(0x30, cat({tlv(0x30, kSha256Oid), tlv(0x04, hash)}));
  Bytes certs1 = tlv(0x30, tlv(0x30, md));
  EXPECT_TRUE(decodes(tlv(0x30, certs1), d2i_OTHERSIGCERT, OTHERSIGCERT_free));
  EXPECT_FALSE(decodes(tlv(0x30, cat({certs1, kPolicies})), d2i_OTHERSIGCERT, OTHERSIGCERT_free));

  // The bare SHA-1 choice of OtherHash is not an MD.
  Bytes sha1_only = tlv(0x30, tlv(0x30, tlv(0x04, Bytes(20, 1))));
  EXPECT_FALSE(decodes(tlv(0x30, sha1_only), d2i_OTHERSIGCERT, OTHERSIGCERT_free));
}

TEST_F(EssTypes, BuildersRefuseBadArguments) {
  orvel_test::TempDir dir;
  std::string log = dir.file("trace.log");
  ASSERT_EQ(set_log(log.c_str(), "ess", 0), 0);

  EXPECT_EQ(PKCS7_make_other_cert_id(nullptr, EVP_sha256()), nullptr);
  EXPECT_EQ(PKCS7_make_other_cert_id(cert.get(), nullptr), nullptr);
  EXPECT_EQ(PKCS7_make_otherSigCert_attribute(nullptr, EVP_sha256()), nullptr);
  EXPECT_EQ(PKCS7_make_otherSigCert_attribute(cert.get(), nullptr), nullptr);
  EXPECT_EQ(PKCS7_make_SigCertV2_attribute(nullptr, EVP_sha256()), nullptr);
  EXPECT_EQ(PKCS7_make_SigCertV2_attribute(cert.get(), nullptr), nullptr);
  orvel::Asn1OctetStringPtr os(ASN1_OCTET_STRING_new());
  EXPECT_EQ(hash_cert(nullptr, EVP_sha256(), os.get()), 0);
  EXPECT_EQ(hash_cert(cert.get(), EVP_sha256(), nullptr), 0);
  EXPECT_EQ(hash_cert(cert.get(), EVP_sha256(), os.get()), 1);
  EXPECT_EQ(os->length, 32);

  // A digest without an object identifier names no algorithm: nothing is
  // built and nothing leaks (the sanitizer build checks the latter).
  EXPECT_EQ(PKCS7_make_other_cert_id(cert.get(), EVP_md_null()), nullptr);
  EXPECT_EQ(PKCS7_make_otherSigCert_attribute(cert.get(), EVP_md_null()), nullptr);
  EXPECT_EQ(PKCS7_make_SigCertV2_attribute(cert.get(), EVP_md_null()), nullptr);
  std::string text = orvel_test::read_file(log);
  EXPECT_NE(text.find("PKCS7_make_other_cert_id() 1 : digest has no object identifier"),
            std::string::npos);
  EXPECT_NE(text.find("PKCS7_make_SigCertV2_attribute() 1 : digest has no object identifier"),
            std::string::npos);
}
