// SEQUENCE OF Certificate and SEQUENCE OF OTHERCERTID as ASN.1 items: the
// values of the certValues and CertificateRefs attributes.
#ifndef ORVEL_SSF_ENHANCE_SEQ_TYPES_H
#define ORVEL_SSF_ENHANCE_SEQ_TYPES_H

#include <openssl/asn1t.h>
#include <openssl/x509.h>

#include <memory>

#include "pkcs7/ess_types.h"

DECLARE_ASN1_ITEM(SSF_CERTIFICATES)
DECLARE_ASN1_ITEM(SSF_OTHERCERTIDS)
DECLARE_ASN1_ITEM(SSF_CRLS)

// Decodes a SEQUENCE OF Certificate; null on failure.
STACK_OF(X509) * ssf_d2i_certificates(const ASN1_STRING* der);
// Decodes a SEQUENCE OF OTHERCERTID; null on failure.
STACK_OF(OTHERCERTID) * ssf_d2i_other_cert_ids(const ASN1_STRING* der);

namespace orvel {
inline void ossl_free_other_cert_id_stack(STACK_OF(OTHERCERTID) * s) {
  sk_OTHERCERTID_pop_free(s, OTHERCERTID_free);
}
using OtherCertIdStackPtr =
    std::unique_ptr<STACK_OF(OTHERCERTID),
                    Free<STACK_OF(OTHERCERTID), ossl_free_other_cert_id_stack>>;
}  // namespace orvel

#endif
