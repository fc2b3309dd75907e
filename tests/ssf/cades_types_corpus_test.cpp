// Damaged encodings of every CAdES and ESS type: every truncation and every
// single-bit flip of a fully populated value, plus random multi-byte damage.
// Nothing may crash or leak (the sanitizer build checks both); a truncated
// value never decodes, and whatever decodes encodes again.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <random>
#include <string>

#include "cades_revocation_types.h"
#include "cades_types_fixture.h"
#include "pkcs7/ess_attributes.h"
#include "pkcs7/ess_types.h"
#include "test_pki.h"

using orvel_test::Bytes;

namespace {

struct Sample {
  const ASN1_ITEM* item;
  Bytes der;
};

Bytes item_der(const void* value, const ASN1_ITEM* item) {
  unsigned char* out = nullptr;
  int n = ASN1_item_i2d(static_cast<const ASN1_VALUE*>(value), &out, item);
  if (n <= 0) return {};
  Bytes b(out, out + n);
  OPENSSL_free(out);
  return b;
}

template <typename T>
Bytes owned_der(T* value, const ASN1_ITEM* item) {
  Bytes b = item_der(value, item);
  ASN1_item_free(reinterpret_cast<ASN1_VALUE*>(value), item);
  return b;
}

Sample make_sample(const std::string& name) {
  static cades_test::RevocationPki pki;
  const X509* cert = pki.leaf.get();
  if (name == "OTHERCERTID")
    return {ASN1_ITEM_rptr(OTHERCERTID),
            owned_der(PKCS7_make_other_cert_id(cert, EVP_sha256()), ASN1_ITEM_rptr(OTHERCERTID))};
  if (name == "MD" || name == "ISSUER_SERIAL") {
    orvel::OtherCertIdPtr id(PKCS7_make_other_cert_id(cert, EVP_sha256()));
    if (name == "MD") return {ASN1_ITEM_rptr(MD), item_der(id->mD, ASN1_ITEM_rptr(MD))};
    return {ASN1_ITEM_rptr(ISSUER_SERIAL),
            item_der(id->issuerSerial, ASN1_ITEM_rptr(ISSUER_SERIAL))};
  }
  if (name == "OTHERSIGCERT")
    return {ASN1_ITEM_rptr(OTHERSIGCERT),
            owned_der(PKCS7_make_otherSigCert_attribute(cert, EVP_sha384()),
                      ASN1_ITEM_rptr(OTHERSIGCERT))};
  if (name == "ESSCERTIDV2" || name == "CERTIDV2") {
    orvel::EssCertIdV2Ptr v(PKCS7_make_SigCertV2_attribute(cert, EVP_sha512()));
    if (name == "ESSCERTIDV2")
      return {ASN1_ITEM_rptr(ESSCERTIDV2), item_der(v.get(), ASN1_ITEM_rptr(ESSCERTIDV2))};
    return {ASN1_ITEM_rptr(CERTIDV2),
            item_der(sk_CERTIDV2_value(v->Certs, 0), ASN1_ITEM_rptr(CERTIDV2))};
  }
  if (name == "CRL_IDENTIFIER")
    return {ASN1_ITEM_rptr(CRL_IDENTIFIER),
            owned_der(pki.make_crl_identifier(), ASN1_ITEM_rptr(CRL_IDENTIFIER))};
  if (name == "CRL_VALIDATED_ID")
    return {ASN1_ITEM_rptr(CRL_VALIDATED_ID),
            owned_der(pki.make_crl_validated_id(), ASN1_ITEM_rptr(CRL_VALIDATED_ID))};
  if (name == "CRL_LIST_ID")
    return {ASN1_ITEM_rptr(CRL_LIST_ID),
            owned_der(pki.make_crl_list_id(), ASN1_ITEM_rptr(CRL_LIST_ID))};
  if (name == "OCSP_IDENTIFIER" || name == "SSF_RESPID") {
    orvel::OcspResponsesIdPtr id(pki.make_ocsp_responses_id(pki.by_name.get(), false));
    if (name == "SSF_RESPID")
      return {ASN1_ITEM_rptr(SSF_RESPID),
              item_der(id->OcspIdentifier->responderId, ASN1_ITEM_rptr(SSF_RESPID))};
    return {ASN1_ITEM_rptr(OCSP_IDENTIFIER),
            item_der(id->OcspIdentifier, ASN1_ITEM_rptr(OCSP_IDENTIFIER))};
  }
  if (name == "OCSP_RESPONSES_ID")
    return {ASN1_ITEM_rptr(OCSP_RESPONSES_ID),
            owned_der(pki.make_ocsp_responses_id(pki.by_key.get(), true),
                      ASN1_ITEM_rptr(OCSP_RESPONSES_ID))};
  if (name == "OCSP_LIST_ID")
    return {ASN1_ITEM_rptr(OCSP_LIST_ID),
            owned_der(pki.make_ocsp_list_id(), ASN1_ITEM_rptr(OCSP_LIST_ID))};
  if (name == "COMPLETE_REVOCATION_REFS" || name == "CRL_OCSP_REF") {
    orvel::CompleteRevocationRefsPtr refs(pki.make_refs());
    if (name == "CRL_OCSP_REF")
      return {ASN1_ITEM_rptr(CRL_OCSP_REF),
              item_der(refs->crlOcspRefs, ASN1_ITEM_rptr(CRL_OCSP_REF))};
    return {ASN1_ITEM_rptr(COMPLETE_REVOCATION_REFS),
            item_der(refs.get(), ASN1_ITEM_rptr(COMPLETE_REVOCATION_REFS))};
  }
  if (name == "REVOCATION_VALUES")
    return {ASN1_ITEM_rptr(REVOCATION_VALUES),
            owned_der(pki.make_values(), ASN1_ITEM_rptr(REVOCATION_VALUES))};
  return {nullptr, {}};
}

// Decodes; when that succeeds, encodes again. Returns whether it decoded.
bool try_decode(const ASN1_ITEM* item, const Bytes& der) {
  const unsigned char* p = der.data();
  ASN1_VALUE* v = ASN1_item_d2i(nullptr, &p, static_cast<long>(der.size()), item);
  if (v == nullptr) return false;
  EXPECT_LE(p, der.data() + der.size());
  unsigned char* out = nullptr;
  int n = ASN1_item_i2d(v, &out, item);
  if (n > 0) OPENSSL_free(out);
  ASN1_item_free(v, item);
  return true;
}

class CadesTypesCorpus : public ::testing::TestWithParam<const char*> {};

}  // namespace

TEST_P(CadesTypesCorpus, DamagedEncodings) {
  Sample s = make_sample(GetParam());
  ASSERT_NE(s.item, nullptr);
  ASSERT_FALSE(s.der.empty());
  EXPECT_TRUE(try_decode(s.item, s.der));

  for (size_t n = 0; n < s.der.size(); ++n)
    EXPECT_FALSE(try_decode(s.item, Bytes(s.der.begin(), s.der.begin() + n))) << "length " << n;

  size_t decoded = 0;
  for (size_t i = 0; i < s.der.size(); ++i) {
    for (int bit = 0; bit < 8; ++bit) {
      Bytes d = s.der;
      d[i] ^= static_cast<unsigned char>(1u << bit);
      decoded += try_decode(s.item, d) ? 1 : 0;
    }
  }

  std::mt19937 rng(0x5eed);
  for (int round = 0; round < 3000; ++round) {
    Bytes d = s.der;
    int edits = 1 + static_cast<int>(rng() % 8);
    for (int e = 0; e < edits; ++e) {
      size_t at = rng() % d.size();
      switch (rng() % 4) {
        case 0: d[at] = static_cast<unsigned char>(rng()); break;
        case 1: d[at] = 0xff; break;
        case 2: d.erase(d.begin() + static_cast<long>(at)); break;
        default: d.insert(d.begin() + static_cast<long>(at), static_cast<unsigned char>(rng()));
      }
      if (d.empty()) d.push_back(0x30);
    }
    try_decode(s.item, d);
  }
  ERR_clear_error();
  RecordProperty("flips_decoded", static_cast<int>(decoded));
}

INSTANTIATE_TEST_SUITE_P(
    Types, CadesTypesCorpus,
    ::testing::Values("MD", "ISSUER_SERIAL", "OTHERCERTID", "OTHERSIGCERT", "CERTIDV2",
                      "ESSCERTIDV2", "CRL_IDENTIFIER", "CRL_VALIDATED_ID", "CRL_LIST_ID",
                      "OCSP_IDENTIFIER", "OCSP_RESPONSES_ID", "OCSP_LIST_ID", "CRL_OCSP_REF",
                      "COMPLETE_REVOCATION_REFS", "REVOCATION_VALUES", "SSF_RESPID"),
    [](const ::testing::TestParamInfo<const char*>& p) { return std::string(p.param); });
