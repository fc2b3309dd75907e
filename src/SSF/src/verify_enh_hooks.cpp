// The signer lookup of enhanced signatures and time-stamp tokens, and the
// serial-number text of the trace lines.
#include "verify_enh_hooks.h"

#include <cstdio>
#include <string>

#include "cades_attr_ids.h"
#include "log.h"
#include "ossl_ptr.h"
#include "pab.h"
#include "pkcs7_verify.h"

namespace {

// A counted reference to the certificate of the list with si's issuer and
// serial, or null.
X509* find_by_issuer_serial(STACK_OF(X509) * certs, PKCS7_SIGNER_INFO* si) {
  if (certs == nullptr || si->issuer_and_serial == nullptr) return nullptr;
  X509* found = X509_find_by_issuer_and_serial(certs, si->issuer_and_serial->issuer,
                                               si->issuer_and_serial->serial);
  if (found == nullptr || !X509_up_ref(found)) return nullptr;
  return found;
}

}  // namespace

X509* ssf_find_signer_in_attrs(PKCS7_SIGNER_INFO* si, STACK_OF(X509) * certs, const char* pab,
                               int pab_len) {
  static const char kFunc[] = "ssf_find_signer_in_attrs";
  if (si == nullptr) return nullptr;
  if (PKCS7_get_attribute(si, cades::kNidCertValues) != nullptr) {
    X509* cert = ssf_GetSubjectCertificateFromAttrs(si);
    if (cert != nullptr) return cert;
  }
  if (X509* cert = find_by_issuer_serial(certs, si)) return cert;
  if (pab == nullptr || pab_len <= 0) return nullptr;
  const std::string dir(pab, static_cast<size_t>(pab_len));
  orvel::X509StackPtr pab_certs(load_certs_from_pab(dir.c_str()));
  if (X509* cert = find_by_issuer_serial(pab_certs.get(), si)) return cert;
  log_err("%s() 5 : signer's certificate not found in PAB '%s'", kFunc, dir.c_str());
  return nullptr;
}

const char* ASN1_INTEGER_to_string(const ASN1_INTEGER* value) {
  // Room for 341 octets ("xx " each) and the NUL; longer integers are cut.
  static char text[1024];
  text[0] = '\0';
  if (value == nullptr) return text;
  const unsigned char* p = ASN1_STRING_get0_data(value);
  const int n = ASN1_STRING_length(value);
  size_t at = 0;
  for (int i = 0; i < n && at + 3 < sizeof text; ++i) {
    if (i > 0) text[at++] = ' ';
    snprintf(text + at, sizeof text - at, "%02x", p[i]);
    at += 2;
  }
  text[at] = '\0';
  return text;
}
