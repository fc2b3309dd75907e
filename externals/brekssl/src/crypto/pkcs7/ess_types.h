// ESS certificate identifiers of CAdES signatures (RFC 5126 OtherSigningCertificate,
// RFC 5035 SigningCertificateV2) as ASN.1 template types, so that the toolkit
// encodes, decodes, allocates and frees them.
#ifndef ORVEL_BREKSSL_PKCS7_ESS_TYPES_H
#define ORVEL_BREKSSL_PKCS7_ESS_TYPES_H

#include <memory>

#include <openssl/asn1.h>
#include <openssl/safestack.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include "ossl_ptr.h"

// OtherHashAlgAndValue. Always this form: never the bare SHA-1 choice of OtherHash.
typedef struct MD_st {
  X509_ALGOR* hashAlgorithm;
  ASN1_OCTET_STRING* hashValue;
} MD;

typedef struct ISSUER_SERIAL_st {
  STACK_OF(GENERAL_NAME) * issuer;
  ASN1_INTEGER* serial;
} ISSUER_SERIAL;

typedef struct OTHERCERTID_st {
  MD* mD;
  ISSUER_SERIAL* issuerSerial;  // OPTIONAL
} OTHERCERTID;

DEFINE_STACK_OF(OTHERCERTID)

// OtherSigningCertificate without the policies field.
typedef struct OTHERSIGCERT_st {
  STACK_OF(OTHERCERTID) * Certs;
} OTHERSIGCERT;

// ESSCertIDv2 with hashAlgorithm always present: it is always encoded, and a
// value that leaves it out does not decode.
typedef struct CERTIDV2_st {
  X509_ALGOR* hashAlgorithm;
  ASN1_OCTET_STRING* hashValue;
  ISSUER_SERIAL* issuerSerial;  // OPTIONAL
} CERTIDV2;

DEFINE_STACK_OF(CERTIDV2)

// SigningCertificateV2 without the policies field.
typedef struct ESSCERTIDV2_st {
  STACK_OF(CERTIDV2) * Certs;
} ESSCERTIDV2;

DECLARE_ASN1_FUNCTIONS(MD)
DECLARE_ASN1_FUNCTIONS(ISSUER_SERIAL)
DECLARE_ASN1_FUNCTIONS(OTHERCERTID)
DECLARE_ASN1_FUNCTIONS(OTHERSIGCERT)
DECLARE_ASN1_FUNCTIONS(CERTIDV2)
DECLARE_ASN1_FUNCTIONS(ESSCERTIDV2)

namespace orvel {

using MdPtr = std::unique_ptr<MD, Free<MD, MD_free>>;
using IssuerSerialPtr = std::unique_ptr<ISSUER_SERIAL, Free<ISSUER_SERIAL, ISSUER_SERIAL_free>>;
using OtherCertIdPtr = std::unique_ptr<OTHERCERTID, Free<OTHERCERTID, OTHERCERTID_free>>;
using OtherSigCertPtr = std::unique_ptr<OTHERSIGCERT, Free<OTHERSIGCERT, OTHERSIGCERT_free>>;
using CertIdV2Ptr = std::unique_ptr<CERTIDV2, Free<CERTIDV2, CERTIDV2_free>>;
using EssCertIdV2Ptr = std::unique_ptr<ESSCERTIDV2, Free<ESSCERTIDV2, ESSCERTIDV2_free>>;

}  // namespace orvel

#endif
