// Fully populated values of the CAdES revocation types, made from a CRL and
// basic OCSP responses of a small test PKI.
#ifndef ORVEL_TEST_CADES_TYPES_FIXTURE_H
#define ORVEL_TEST_CADES_TYPES_FIXTURE_H

#include "cades_revocation_types.h"
#include "test_pki.h"

namespace cades_test {

struct RevocationPki {
  RevocationPki();

  // SHA-256 of der, as an MD.
  MD* make_md(const orvel_test::Bytes& der) const;
  CRL_IDENTIFIER* make_crl_identifier() const;
  // With crlIdentifier.
  CRL_VALIDATED_ID* make_crl_validated_id() const;
  // Two entries: one with crlIdentifier, one without.
  CRL_LIST_ID* make_crl_list_id() const;
  OCSP_RESPONSES_ID* make_ocsp_responses_id(const OCSP_BASICRESP* bs, bool with_hash) const;
  // Two entries: by key with a hash, by name without.
  OCSP_LIST_ID* make_ocsp_list_id() const;
  COMPLETE_REVOCATION_REFS* make_refs() const;
  // One CRL and both responses.
  REVOCATION_VALUES* make_values() const;

  orvel::EvpPkeyPtr ca_key, key;
  orvel::X509Ptr ca, leaf;
  orvel::X509CrlPtr crl;
  orvel::OcspBasicRespPtr by_key, by_name;
};

}  // namespace cades_test

#endif
