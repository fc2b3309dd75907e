// The OCSP ResponderID as a type of the system's own: the toolkit keeps its
// OCSP_RESPID opaque and offers no copy of it. The encoding is the one of
// RFC 6960: byName [1] EXPLICIT Name, byKey [2] EXPLICIT OCTET STRING.
#ifndef ORVEL_SSF_CADES_RESPONDER_ID_H
#define ORVEL_SSF_CADES_RESPONDER_ID_H

#include <memory>

#include <openssl/asn1.h>
#include <openssl/ocsp.h>
#include <openssl/x509.h>

#include "ossl_ptr.h"

// type is V_OCSP_RESPID_NAME or V_OCSP_RESPID_KEY; -1 while nothing is set.
typedef struct SSF_RESPID_st {
  int type;
  union {
    X509_NAME* byName;
    ASN1_OCTET_STRING* byKey;
  } value;
} SSF_RESPID;

DECLARE_ASN1_FUNCTIONS(SSF_RESPID)

// A deep copy; null on failure.
SSF_RESPID* SSF_RESPID_dup(const SSF_RESPID* id);

// The toolkit's responder id in this form, through its DER; null on failure.
SSF_RESPID* SSF_RESPID_from_OCSP_RESPID(const OCSP_RESPID* id);

// The responder id of a basic OCSP response; null on failure.
SSF_RESPID* SSF_RESPID_from_basic_response(const OCSP_BASICRESP* bs);

namespace orvel {
using SsfRespIdPtr = std::unique_ptr<SSF_RESPID, Free<SSF_RESPID, SSF_RESPID_free>>;
}  // namespace orvel

#endif
