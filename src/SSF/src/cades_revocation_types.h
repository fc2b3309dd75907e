// Revocation references and values of CAdES signatures (RFC 5126
// CompleteRevocationRefs and RevocationValues) as ASN.1 template types.
// Differences from RFC 5126: COMPLETE_REVOCATION_REFS holds exactly one
// CRL_OCSP_REF (the encoding of a one-element CompleteRevocationRefs), and
// neither otherRev nor otherRevVals is known.
#ifndef ORVEL_SSF_CADES_REVOCATION_TYPES_H
#define ORVEL_SSF_CADES_REVOCATION_TYPES_H

#include <memory>

#include <openssl/asn1.h>
#include <openssl/ocsp.h>
#include <openssl/safestack.h>
#include <openssl/x509.h>

#include "cades_responder_id.h"
#include "ossl_ptr.h"
#include "pkcs7/ess_types.h"

// The toolkit declares no stack helpers for basic responses.
DEFINE_STACK_OF(OCSP_BASICRESP)

typedef struct CRL_IDENTIFIER_st {
  X509_NAME* crlIssuer;
  ASN1_UTCTIME* crlIssuedTime;
  ASN1_INTEGER* crlNumber;  // OPTIONAL
} CRL_IDENTIFIER;

typedef struct CRL_VALIDATED_ID_st {
  MD* crlHash;
  CRL_IDENTIFIER* crlIdentifier;  // OPTIONAL
} CRL_VALIDATED_ID;

DEFINE_STACK_OF(CRL_VALIDATED_ID)

typedef struct CRL_LIST_ID_st {
  STACK_OF(CRL_VALIDATED_ID) * crls;
} CRL_LIST_ID;

typedef struct OCSP_IDENTIFIER_st {
  SSF_RESPID* responderId;
  ASN1_GENERALIZEDTIME* producedAt;
} OCSP_IDENTIFIER;

typedef struct OCSP_RESPONSES_ID_st {
  OCSP_IDENTIFIER* OcspIdentifier;
  MD* ocspRepHash;  // OPTIONAL
} OCSP_RESPONSES_ID;

DEFINE_STACK_OF(OCSP_RESPONSES_ID)

typedef struct OCSP_LIST_ID_st {
  STACK_OF(OCSP_RESPONSES_ID) * OcspRespIds;
} OCSP_LIST_ID;

typedef struct CRL_OCSP_REF_st {
  CRL_LIST_ID* crlids;    // [0] EXPLICIT, OPTIONAL
  OCSP_LIST_ID* ocspids;  // [1] EXPLICIT, OPTIONAL
} CRL_OCSP_REF;

typedef struct COMPLETE_REVOCATION_REFS_st {
  CRL_OCSP_REF* crlOcspRefs;
} COMPLETE_REVOCATION_REFS;

typedef struct REVOCATION_VALUES_st {
  STACK_OF(X509_CRL) * crlVals;          // [0] EXPLICIT, OPTIONAL
  STACK_OF(OCSP_BASICRESP) * ocspVals;  // [1] EXPLICIT, OPTIONAL
} REVOCATION_VALUES;

DECLARE_ASN1_FUNCTIONS(CRL_IDENTIFIER)
DECLARE_ASN1_FUNCTIONS(CRL_VALIDATED_ID)
DECLARE_ASN1_FUNCTIONS(CRL_LIST_ID)
DECLARE_ASN1_ITEM(OCSP_IDENTIFIER)
DECLARE_ASN1_FUNCTIONS(OCSP_RESPONSES_ID)
DECLARE_ASN1_FUNCTIONS(OCSP_LIST_ID)
DECLARE_ASN1_ITEM(CRL_OCSP_REF)
DECLARE_ASN1_FUNCTIONS(COMPLETE_REVOCATION_REFS)
DECLARE_ASN1_FUNCTIONS(REVOCATION_VALUES)

namespace orvel {

using CrlIdentifierPtr = std::unique_ptr<CRL_IDENTIFIER, Free<CRL_IDENTIFIER, CRL_IDENTIFIER_free>>;
using CrlValidatedIdPtr =
    std::unique_ptr<CRL_VALIDATED_ID, Free<CRL_VALIDATED_ID, CRL_VALIDATED_ID_free>>;
using CrlListIdPtr = std::unique_ptr<CRL_LIST_ID, Free<CRL_LIST_ID, CRL_LIST_ID_free>>;
using OcspResponsesIdPtr =
    std::unique_ptr<OCSP_RESPONSES_ID, Free<OCSP_RESPONSES_ID, OCSP_RESPONSES_ID_free>>;
using OcspListIdPtr = std::unique_ptr<OCSP_LIST_ID, Free<OCSP_LIST_ID, OCSP_LIST_ID_free>>;
using CompleteRevocationRefsPtr =
    std::unique_ptr<COMPLETE_REVOCATION_REFS,
                    Free<COMPLETE_REVOCATION_REFS, COMPLETE_REVOCATION_REFS_free>>;
using RevocationValuesPtr =
    std::unique_ptr<REVOCATION_VALUES, Free<REVOCATION_VALUES, REVOCATION_VALUES_free>>;

}  // namespace orvel

#endif
