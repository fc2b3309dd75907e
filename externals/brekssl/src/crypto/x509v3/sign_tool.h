// The issuerSignTool extension of Russian qualified certificates in the
// system's form: SIGN_TOOL_DESCR, a SEQUENCE OF UTF8String that holds, when
// built from configuration, exactly the four strings signTool, cATool,
// signToolCert and cAToolCert in that order.
//
// The toolkit has a method of its own for issuerSignTool (same DER, looser
// configuration rules) that it always prefers; the system's method is reached
// through SSF_X509V3_EXT_nconf_nid (ext_methods.h).
#ifndef ORVEL_SIGN_TOOL_H
#define ORVEL_SIGN_TOOL_H

#include <openssl/asn1t.h>
#include <openssl/x509v3.h>

typedef STACK_OF(ASN1_UTF8STRING) SIGN_TOOL_DESCR;
DECLARE_ASN1_ITEM(SIGN_TOOL_DESCR)

SIGN_TOOL_DESCR* SIGN_TOOL_DESCR_new();
void SIGN_TOOL_DESCR_free(SIGN_TOOL_DESCR* d);

// Configuration values name = value, the names case-sensitive; every name
// exactly once, every value non-empty. Null with the error queue set
// otherwise.
SIGN_TOOL_DESCR* v2i_SIGN_TOOL_DESCR(const X509V3_EXT_METHOD* method, X509V3_CTX* ctx,
                                     STACK_OF(CONF_VALUE) * values);
// One value line without name per string.
STACK_OF(CONF_VALUE) * i2v_SIGN_TOOL_DESCR(const X509V3_EXT_METHOD* method, SIGN_TOOL_DESCR* descr,
                                           STACK_OF(CONF_VALUE) * out);

// The system's method for issuerSignTool (NID of this process filled in).
const X509V3_EXT_METHOD* ssf_v3_issuer_sign_tool();

#endif
