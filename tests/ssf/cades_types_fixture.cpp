#include "cades_types_fixture.h"

#include <stdexcept>

namespace cades_test {

namespace {
void check(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(std::string("revocation fixture: ") + what);
}
}  // namespace

RevocationPki::RevocationPki() {
  ca_key = orvel_test::make_rsa_key();
  ca = orvel_test::make_cert(ca_key.get(), "Revocation CA", 100);
  key = orvel_test::make_rsa_key();
  leaf = orvel_test::make_cert(key.get(), "Revocation leaf", 101, ca.get(), ca_key.get(), false);
  crl = orvel_test::make_crl(ca.get(), ca_key.get(), 55);
  by_key = orvel_test::make_basic_response(leaf.get(), ca.get(), ca.get(), ca_key.get(), true);
  by_name = orvel_test::make_basic_response(leaf.get(), ca.get(), ca.get(), ca_key.get(), false);
}

MD* RevocationPki::make_md(const orvel_test::Bytes& der) const {
  MD* md = MD_new();
  check(md != nullptr, "MD_new");
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  check(X509_ALGOR_set0(md->hashAlgorithm, OBJ_nid2obj(NID_sha256), V_ASN1_UNDEF, nullptr) == 1,
        "algorithm");
  check(EVP_Digest(der.data(), der.size(), digest, &len, EVP_sha256(), nullptr) == 1, "digest");
  check(ASN1_OCTET_STRING_set(md->hashValue, digest, static_cast<int>(len)) == 1, "hash");
  return md;
}

CRL_IDENTIFIER* RevocationPki::make_crl_identifier() const {
  CRL_IDENTIFIER* id = CRL_IDENTIFIER_new();
  check(id != nullptr, "CRL_IDENTIFIER_new");
  check(X509_NAME_set(&id->crlIssuer, X509_CRL_get_issuer(crl.get())) == 1, "issuer");
  check(ASN1_UTCTIME_set(id->crlIssuedTime, 1700000000) != nullptr, "time");
  id->crlNumber =
      static_cast<ASN1_INTEGER*>(X509_CRL_get_ext_d2i(crl.get(), NID_crl_number, nullptr, nullptr));
  check(id->crlNumber != nullptr, "CRL number");
  return id;
}

CRL_VALIDATED_ID* RevocationPki::make_crl_validated_id() const {
  CRL_VALIDATED_ID* id = CRL_VALIDATED_ID_new();
  check(id != nullptr, "CRL_VALIDATED_ID_new");
  MD_free(id->crlHash);
  id->crlHash = make_md(orvel_test::to_der(crl.get(), i2d_X509_CRL));
  id->crlIdentifier = make_crl_identifier();
  return id;
}

CRL_LIST_ID* RevocationPki::make_crl_list_id() const {
  CRL_LIST_ID* list = CRL_LIST_ID_new();
  check(list != nullptr, "CRL_LIST_ID_new");
  sk_CRL_VALIDATED_ID_push(list->crls, make_crl_validated_id());
  CRL_VALIDATED_ID* bare = make_crl_validated_id();
  CRL_IDENTIFIER_free(bare->crlIdentifier);
  bare->crlIdentifier = nullptr;
  sk_CRL_VALIDATED_ID_push(list->crls, bare);
  return list;
}

OCSP_RESPONSES_ID* RevocationPki::make_ocsp_responses_id(const OCSP_BASICRESP* bs,
                                                         bool with_hash) const {
  OCSP_RESPONSES_ID* id = OCSP_RESPONSES_ID_new();
  check(id != nullptr, "OCSP_RESPONSES_ID_new");
  SSF_RESPID_free(id->OcspIdentifier->responderId);
  id->OcspIdentifier->responderId = SSF_RESPID_from_basic_response(bs);
  check(id->OcspIdentifier->responderId != nullptr, "responder id");
  check(ASN1_STRING_copy(id->OcspIdentifier->producedAt, OCSP_resp_get0_produced_at(bs)) == 1,
        "producedAt");
  if (with_hash) id->ocspRepHash = make_md(orvel_test::to_der(bs, i2d_OCSP_BASICRESP));
  return id;
}

OCSP_LIST_ID* RevocationPki::make_ocsp_list_id() const {
  OCSP_LIST_ID* list = OCSP_LIST_ID_new();
  check(list != nullptr, "OCSP_LIST_ID_new");
  sk_OCSP_RESPONSES_ID_push(list->OcspRespIds, make_ocsp_responses_id(by_key.get(), true));
  sk_OCSP_RESPONSES_ID_push(list->OcspRespIds, make_ocsp_responses_id(by_name.get(), false));
  return list;
}

COMPLETE_REVOCATION_REFS* RevocationPki::make_refs() const {
  COMPLETE_REVOCATION_REFS* refs = COMPLETE_REVOCATION_REFS_new();
  check(refs != nullptr, "COMPLETE_REVOCATION_REFS_new");
  refs->crlOcspRefs->crlids = make_crl_list_id();
  refs->crlOcspRefs->ocspids = make_ocsp_list_id();
  return refs;
}

REVOCATION_VALUES* RevocationPki::make_values() const {
  REVOCATION_VALUES* v = REVOCATION_VALUES_new();
  check(v != nullptr, "REVOCATION_VALUES_new");
  v->crlVals = sk_X509_CRL_new_null();
  v->ocspVals = sk_OCSP_BASICRESP_new_null();
  check(v->crlVals && v->ocspVals, "stacks");
  sk_X509_CRL_push(v->crlVals, X509_CRL_dup(crl.get()));
  for (const OCSP_BASICRESP* bs : {by_key.get(), by_name.get()})
    sk_OCSP_BASICRESP_push(v->ocspVals, static_cast<OCSP_BASICRESP*>(ASN1_item_dup(
                                            ASN1_ITEM_rptr(OCSP_BASICRESP), bs)));
  return v;
}

}  // namespace cades_test
