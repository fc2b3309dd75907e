// Revocation references and values: encodings as the system builds them,
// round trips of full values, the decoding edge cases, and the responder id
// against the toolkit's OCSP_RESPID.
#include <gtest/gtest.h>
#include <nettle/sha1.h>

#include "cades_revocation_types.h"
#include "cades_types_fixture.h"
#include "test_pki.h"

using orvel_test::Bytes;
using orvel_test::cat;
using orvel_test::tlv;
using orvel_test::to_der;

namespace {

template <typename T>
T* decode(const Bytes& der, T* (*d2i)(T**, const unsigned char**, long)) {
  const unsigned char* p = der.data();
  T* v = d2i(nullptr, &p, static_cast<long>(der.size()));
  if (v != nullptr && p != der.data() + der.size()) ADD_FAILURE() << "decoder stopped early";
  return v;
}

template <typename T>
Bytes round_trip(const Bytes& der, T* (*d2i)(T**, const unsigned char**, long),
                 int (*i2d)(const T*, unsigned char**), void (*free_fn)(T*)) {
  T* v = decode(der, d2i);
  if (v == nullptr) return {};
  Bytes again = to_der(v, i2d);
  free_fn(v);
  return again;
}

const Bytes kEmptyList = tlv(0x30, tlv(0x30, {}));  // CRL_LIST_ID / OCSP_LIST_ID without entries

}  // namespace

TEST(CadesRevocationTypes, EncodingsAsTheSystemBuildsThem) {
  // Fresh values: required parts present and empty, optional parts absent.
  orvel::CompleteRevocationRefsPtr refs(COMPLETE_REVOCATION_REFS_new());
  ASSERT_TRUE(refs);
  ASSERT_NE(refs->crlOcspRefs, nullptr);
  EXPECT_EQ(refs->crlOcspRefs->crlids, nullptr);
  EXPECT_EQ(refs->crlOcspRefs->ocspids, nullptr);
  orvel::RevocationValuesPtr values(REVOCATION_VALUES_new());
  ASSERT_TRUE(values);
  EXPECT_EQ(values->crlVals, nullptr);
  EXPECT_EQ(values->ocspVals, nullptr);

  // Both lists present and empty: both tagged fields are written.
  refs->crlOcspRefs->crlids = CRL_LIST_ID_new();
  refs->crlOcspRefs->ocspids = OCSP_LIST_ID_new();
  Bytes refs_der = tlv(0x30, tlv(0x30, cat({tlv(0xa0, kEmptyList), tlv(0xa1, kEmptyList)})));
  EXPECT_EQ(to_der(refs.get(), i2d_COMPLETE_REVOCATION_REFS), refs_der);
  EXPECT_EQ(round_trip(refs_der, d2i_COMPLETE_REVOCATION_REFS, i2d_COMPLETE_REVOCATION_REFS,
                       COMPLETE_REVOCATION_REFS_free),
            refs_der);

  values->crlVals = sk_X509_CRL_new_null();
  values->ocspVals = sk_OCSP_BASICRESP_new_null();
  Bytes values_der = tlv(0x30, cat({tlv(0xa0, tlv(0x30, {})), tlv(0xa1, tlv(0x30, {}))}));
  EXPECT_EQ(to_der(values.get(), i2d_REVOCATION_VALUES), values_der);
  EXPECT_EQ(round_trip(values_der, d2i_REVOCATION_VALUES, i2d_REVOCATION_VALUES,
                       REVOCATION_VALUES_free),
            values_der);

  // A responder id that was never set does not encode.
  orvel::OcspResponsesIdPtr ocsp(OCSP_RESPONSES_ID_new());
  ASSERT_TRUE(ocsp);
  EXPECT_EQ(ocsp->ocspRepHash, nullptr);
  unsigned char* out = nullptr;
  EXPECT_LE(i2d_OCSP_RESPONSES_ID(ocsp.get(), &out), 0);
  EXPECT_EQ(out, nullptr);
}

TEST(CadesRevocationTypes, FullValuesRoundTrip) {
  cades_test::RevocationPki pki;

  orvel::CrlIdentifierPtr crl_id(pki.make_crl_identifier());
  Bytes crl_id_der = to_der(crl_id.get(), i2d_CRL_IDENTIFIER);
  // Name, UTCTime 2023-11-14 22:13:20, CRL number 7.
  Bytes utc = {'2', '3', '1', '1', '1', '4', '2', '2', '1', '3', '2', '0', 'Z'};
  EXPECT_EQ(crl_id_der,
            tlv(0x30, cat({orvel_test::der_of_name(X509_get_subject_name(pki.ca.get())),
                           tlv(0x17, utc), Bytes{0x02, 0x01, 0x07}})));
  EXPECT_EQ(round_trip(crl_id_der, d2i_CRL_IDENTIFIER, i2d_CRL_IDENTIFIER, CRL_IDENTIFIER_free),
            crl_id_der);

  orvel::CrlValidatedIdPtr validated(pki.make_crl_validated_id());
  Bytes validated_der = to_der(validated.get(), i2d_CRL_VALIDATED_ID);
  ASSERT_FALSE(validated_der.empty());
  EXPECT_EQ(round_trip(validated_der, d2i_CRL_VALIDATED_ID, i2d_CRL_VALIDATED_ID,
                       CRL_VALIDATED_ID_free),
            validated_der);

  orvel::CrlListIdPtr crl_list(pki.make_crl_list_id());
  Bytes crl_list_der = to_der(crl_list.get(), i2d_CRL_LIST_ID);
  orvel::CrlListIdPtr crl_list2(decode(crl_list_der, d2i_CRL_LIST_ID));
  ASSERT_TRUE(crl_list2);
  ASSERT_EQ(sk_CRL_VALIDATED_ID_num(crl_list2->crls), 2);
  EXPECT_NE(sk_CRL_VALIDATED_ID_value(crl_list2->crls, 0)->crlIdentifier, nullptr);
  EXPECT_EQ(sk_CRL_VALIDATED_ID_value(crl_list2->crls, 1)->crlIdentifier, nullptr);
  EXPECT_EQ(to_der(crl_list2.get(), i2d_CRL_LIST_ID), crl_list_der);

  orvel::OcspListIdPtr ocsp_list(pki.make_ocsp_list_id());
  Bytes ocsp_list_der = to_der(ocsp_list.get(), i2d_OCSP_LIST_ID);
  orvel::OcspListIdPtr ocsp_list2(decode(ocsp_list_der, d2i_OCSP_LIST_ID));
  ASSERT_TRUE(ocsp_list2);
  ASSERT_EQ(sk_OCSP_RESPONSES_ID_num(ocsp_list2->OcspRespIds), 2);
  OCSP_RESPONSES_ID* first = sk_OCSP_RESPONSES_ID_value(ocsp_list2->OcspRespIds, 0);
  OCSP_RESPONSES_ID* second = sk_OCSP_RESPONSES_ID_value(ocsp_list2->OcspRespIds, 1);
  EXPECT_EQ(first->OcspIdentifier->responderId->type, V_OCSP_RESPID_KEY);
  EXPECT_NE(first->ocspRepHash, nullptr);
  EXPECT_EQ(second->OcspIdentifier->responderId->type, V_OCSP_RESPID_NAME);
  EXPECT_EQ(second->ocspRepHash, nullptr);
  EXPECT_EQ(ASN1_TIME_compare(first->OcspIdentifier->producedAt,
                              OCSP_resp_get0_produced_at(pki.by_key.get())),
            0);
  EXPECT_EQ(to_der(ocsp_list2.get(), i2d_OCSP_LIST_ID), ocsp_list_der);
  Bytes one_ocsp = to_der(first, i2d_OCSP_RESPONSES_ID);
  EXPECT_EQ(round_trip(one_ocsp, d2i_OCSP_RESPONSES_ID, i2d_OCSP_RESPONSES_ID,
                       OCSP_RESPONSES_ID_free),
            one_ocsp);

  orvel::CompleteRevocationRefsPtr refs(pki.make_refs());
  Bytes refs_der = to_der(refs.get(), i2d_COMPLETE_REVOCATION_REFS);
  EXPECT_EQ(refs_der, tlv(0x30, tlv(0x30, cat({tlv(0xa0, crl_list_der),
                                               tlv(0xa1, ocsp_list_der)}))));
  EXPECT_EQ(round_trip(refs_der, d2i_COMPLETE_REVOCATION_REFS, i2d_COMPLETE_REVOCATION_REFS,
                       COMPLETE_REVOCATION_REFS_free),
            refs_der);

  orvel::RevocationValuesPtr values(pki.make_values());
  Bytes values_der = to_der(values.get(), i2d_REVOCATION_VALUES);
  orvel::RevocationValuesPtr values2(decode(values_der, d2i_REVOCATION_VALUES));
  ASSERT_TRUE(values2);
  EXPECT_EQ(to_der(values2.get(), i2d_REVOCATION_VALUES), values_der);
  // The values inside are usable toolkit objects.
  ASSERT_EQ(sk_X509_CRL_num(values2->crlVals), 1);
  EXPECT_EQ(X509_CRL_verify(sk_X509_CRL_value(values2->crlVals, 0), pki.ca_key.get()), 1);
  ASSERT_EQ(sk_OCSP_BASICRESP_num(values2->ocspVals), 2);
  orvel::X509StorePtr store(X509_STORE_new());
  X509_STORE_add_cert(store.get(), pki.ca.get());
  STACK_OF(X509)* certs = sk_X509_new_null();
  sk_X509_push(certs, pki.ca.get());
  for (int i = 0; i < 2; ++i)
    EXPECT_EQ(OCSP_basic_verify(sk_OCSP_BASICRESP_value(values2->ocspVals, i), certs, store.get(),
                                OCSP_TRUSTOTHER),
              1);
  sk_X509_free(certs);
}

TEST(CadesRevocationTypes, CompleteRevocationRefsHoldsExactlyOneElement) {
  cades_test::RevocationPki pki;
  orvel::CrlListIdPtr crls(pki.make_crl_list_id());
  Bytes one = tlv(0x30, tlv(0xa0, to_der(crls.get(), i2d_CRL_LIST_ID)));
  Bytes other = tlv(0x30, tlv(0xa1, kEmptyList));

  orvel::CompleteRevocationRefsPtr ok(
      decode(tlv(0x30, one), d2i_COMPLETE_REVOCATION_REFS));
  ASSERT_TRUE(ok);
  EXPECT_NE(ok->crlOcspRefs->crlids, nullptr);
  EXPECT_EQ(ok->crlOcspRefs->ocspids, nullptr);

  Bytes two = tlv(0x30, cat({one, other}));
  const unsigned char* p = two.data();
  EXPECT_EQ(d2i_COMPLETE_REVOCATION_REFS(nullptr, &p, static_cast<long>(two.size())), nullptr);
  // Nor does an empty list, nor a CrlOcspRef carrying otherRev [2].
  Bytes none = tlv(0x30, {});
  p = none.data();
  EXPECT_EQ(d2i_COMPLETE_REVOCATION_REFS(nullptr, &p, static_cast<long>(none.size())), nullptr);
  Bytes other_rev = tlv(0x30, tlv(0x30, tlv(0xa2, tlv(0x30, {0x06, 0x01, 0x2a}))));
  p = other_rev.data();
  EXPECT_EQ(d2i_COMPLETE_REVOCATION_REFS(nullptr, &p, static_cast<long>(other_rev.size())),
            nullptr);
}

TEST(CadesRevocationTypes, RevocationValuesFieldsAreOptional) {
  cades_test::RevocationPki pki;
  Bytes crl = to_der(pki.crl.get(), i2d_X509_CRL);
  Bytes bs = to_der(pki.by_name.get(), i2d_OCSP_BASICRESP);
  Bytes crls = tlv(0xa0, tlv(0x30, crl));
  Bytes ocsps = tlv(0xa1, tlv(0x30, bs));

  for (const Bytes& der : {tlv(0x30, crls), tlv(0x30, ocsps), tlv(0x30, {})}) {
    orvel::RevocationValuesPtr v(decode(der, d2i_REVOCATION_VALUES));
    ASSERT_TRUE(v);
    EXPECT_EQ(to_der(v.get(), i2d_REVOCATION_VALUES), der);
  }
  orvel::RevocationValuesPtr only_ocsp(decode(tlv(0x30, ocsps), d2i_REVOCATION_VALUES));
  ASSERT_TRUE(only_ocsp);
  EXPECT_EQ(only_ocsp->crlVals, nullptr);
  EXPECT_EQ(sk_OCSP_BASICRESP_num(only_ocsp->ocspVals), 1);

  // otherRevVals [2] is not known.
  Bytes other = tlv(0xa2, tlv(0x30, {0x06, 0x01, 0x2a}));
  for (const Bytes& der : {tlv(0x30, cat({crls, ocsps, other})), tlv(0x30, other)}) {
    const unsigned char* p = der.data();
    EXPECT_EQ(d2i_REVOCATION_VALUES(nullptr, &p, static_cast<long>(der.size())), nullptr);
  }
  // The fields keep their order.
  Bytes swapped = tlv(0x30, cat({ocsps, crls}));
  const unsigned char* p = swapped.data();
  EXPECT_EQ(d2i_REVOCATION_VALUES(nullptr, &p, static_cast<long>(swapped.size())), nullptr);
}

TEST(CadesResponderId, MatchesTheToolkitEncoding) {
  cades_test::RevocationPki pki;

  // By key: [2] EXPLICIT OCTET STRING with the SHA-1 of the public key bits.
  const ASN1_BIT_STRING* bits = X509_get0_pubkey_bitstr(pki.ca.get());
  sha1_ctx ctx;
  sha1_init(&ctx);
  sha1_update(&ctx, static_cast<size_t>(bits->length), bits->data);
  Bytes key_hash(SHA1_DIGEST_SIZE);
  sha1_digest(&ctx, key_hash.size(), key_hash.data());
  Bytes by_key = tlv(0xa2, tlv(0x04, key_hash));
  Bytes by_name = tlv(0xa1, orvel_test::der_of_name(X509_get_subject_name(pki.ca.get())));

  orvel::SsfRespIdPtr from_bs(SSF_RESPID_from_basic_response(pki.by_key.get()));
  ASSERT_TRUE(from_bs);
  EXPECT_EQ(from_bs->type, V_OCSP_RESPID_KEY);
  EXPECT_EQ(to_der(from_bs.get(), i2d_SSF_RESPID), by_key);
  from_bs.reset(SSF_RESPID_from_basic_response(pki.by_name.get()));
  ASSERT_TRUE(from_bs);
  EXPECT_EQ(from_bs->type, V_OCSP_RESPID_NAME);
  EXPECT_EQ(to_der(from_bs.get(), i2d_SSF_RESPID), by_name);

  // Through the toolkit's own responder id.
  for (bool key : {true, false}) {
    OCSP_RESPID* theirs = OCSP_RESPID_new();
    ASSERT_NE(theirs, nullptr);
    ASSERT_EQ(key ? OCSP_RESPID_set_by_key(theirs, pki.ca.get())
                  : OCSP_RESPID_set_by_name(theirs, pki.ca.get()),
              1);
    Bytes their_der = to_der(theirs, i2d_OCSP_RESPID);
    orvel::SsfRespIdPtr ours(SSF_RESPID_from_OCSP_RESPID(theirs));
    OCSP_RESPID_free(theirs);
    ASSERT_TRUE(ours);
    EXPECT_EQ(to_der(ours.get(), i2d_SSF_RESPID), key ? by_key : by_name);
    EXPECT_EQ(their_der, key ? by_key : by_name);
    orvel::SsfRespIdPtr copy(SSF_RESPID_dup(ours.get()));
    ASSERT_TRUE(copy);
    EXPECT_NE(copy.get(), ours.get());
    EXPECT_EQ(to_der(copy.get(), i2d_SSF_RESPID), key ? by_key : by_name);
  }

  EXPECT_EQ(SSF_RESPID_dup(nullptr), nullptr);
  EXPECT_EQ(SSF_RESPID_from_OCSP_RESPID(nullptr), nullptr);
  EXPECT_EQ(SSF_RESPID_from_basic_response(nullptr), nullptr);
  // A responder id with neither choice set is refused by the toolkit's
  // encoder, so nothing is made from it.
  OCSP_RESPID* empty = OCSP_RESPID_new();
  EXPECT_EQ(SSF_RESPID_from_OCSP_RESPID(empty), nullptr);
  OCSP_RESPID_free(empty);
  ERR_clear_error();
}
