// Critical extensions that this library does not process. RFC 5280 (5.2,
// 5.3) and RFC 6960 (4.4) forbid ignoring them: a CRL or OCSP answer that
// carries one may still revoke, but never shows a certificate good.
#ifndef ORVEL_SSF_CRITICAL_EXT_H
#define ORVEL_SSF_CRITICAL_EXT_H

#include <openssl/x509.h>

#include <initializer_list>
#include <string>

// The dotted object identifier of ext when it is critical and its type is
// not among processed; "" otherwise.
std::string unprocessed_critical(const X509_EXTENSION* ext, std::initializer_list<int> processed);

// The first of count extensions (get(i) gives the i-th) that
// unprocessed_critical names; "" when none.
template <typename Get>
std::string first_unprocessed_critical(int count, Get&& get, std::initializer_list<int> processed) {
  for (int i = 0; i < count; ++i) {
    std::string oid = unprocessed_critical(get(i), processed);
    if (!oid.empty()) return oid;
  }
  return std::string();
}

#endif
