// The system's X.509v3 extension methods and their entry points.
//
// The toolkit consults its built-in methods before any added one, so only
// methods it lacks can be added to it (S/MIME capabilities). For the
// private-key usage period and issuerSignTool the toolkit has methods of its
// own; building those extensions from configuration with the system's rules
// goes through SSF_X509V3_EXT_nconf_nid. Decoding and printing use the
// toolkit's methods (same DER).
#ifndef ORVEL_EXT_METHODS_H
#define ORVEL_EXT_METHODS_H

#include <openssl/conf.h>
#include <openssl/x509v3.h>

// Adds the methods the toolkit lacks and registers the error texts.
// Idempotent. 1 on success, 0 with the error queue set.
int ssf_register_x509v3_methods();

// As X509V3_EXT_nconf_nid, with the system's configuration functions for
// the private-key usage period and issuerSignTool; "critical," in front of
// the value marks the extension critical, "@section" takes the values from
// that section of conf. Every other extension goes to the toolkit.
X509_EXTENSION* SSF_X509V3_EXT_nconf_nid(CONF* conf, X509V3_CTX* ctx, int ext_nid,
                                         const char* value);

// Frees a decoded value of extension ext_nid with its method's ASN.1 type, or
// with the method's free function when it has no ASN.1 type. 1 on success
// (a null value included); 0 with an error when the extension has no method
// or the method no way to free.
int X509V3_EXT_free(int ext_nid, void* ext_data);

#endif
