#include "crl_delta.h"

#include <openssl/err.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <utility>

#include "crl_scope.h"
#include "crl_verify.h"
#include "ossl_ptr.h"

namespace {

// What a CRL says of a serial number, weakest first. A hold (reason
// certificateHold) may be released again; removeFromCRL, in a delta CRL,
// says the certificate left the list.
enum class Entry { kNone, kRemoved, kHold, kRevoked };

Entry entry_kind(const X509_REVOKED* r) {
  int crit = 0;
  ERR_set_mark();
  ASN1_ENUMERATED* reason =
      static_cast<ASN1_ENUMERATED*>(X509_REVOKED_get_ext_d2i(r, NID_crl_reason, &crit, nullptr));
  ERR_pop_to_mark();
  // No reason, an unreadable one or several: plainly revoked.
  const long code = reason != nullptr ? ASN1_ENUMERATED_get(reason) : -1;
  ASN1_ENUMERATED_free(reason);
  if (code == CRL_REASON_REMOVE_FROM_CRL) return Entry::kRemoved;
  if (code == CRL_REASON_CERTIFICATE_HOLD) return Entry::kHold;
  return Entry::kRevoked;
}

// The strongest entry of the serial number in a delta CRL (a CRL may list
// one serial twice).
Entry entry_of(X509_CRL* crl, const ASN1_INTEGER* serial) {
  Entry e = Entry::kNone;
  STACK_OF(X509_REVOKED)* revoked = X509_CRL_get_REVOKED(crl);
  for (int i = 0; i < sk_X509_REVOKED_num(revoked); ++i) {
    const X509_REVOKED* r = sk_X509_REVOKED_value(revoked, i);
    if (ASN1_INTEGER_cmp(X509_REVOKED_get0_serialNumber(r), serial) == 0)
      e = std::max(e, entry_kind(r));
  }
  return e;
}

// What a complete CRL says of the serial number: a hold only when a hold is
// its one entry for it. removeFromCRL belongs in delta CRLs; in a complete
// CRL it, and every entry beside another one, revokes.
Entry complete_entry_of(X509_CRL* crl, const ASN1_INTEGER* serial) {
  Entry e = Entry::kNone;
  STACK_OF(X509_REVOKED)* revoked = X509_CRL_get_REVOKED(crl);
  for (int i = 0; i < sk_X509_REVOKED_num(revoked); ++i) {
    const X509_REVOKED* r = sk_X509_REVOKED_value(revoked, i);
    if (ASN1_INTEGER_cmp(X509_REVOKED_get0_serialNumber(r), serial) != 0) continue;
    if (e != Entry::kNone || entry_kind(r) != Entry::kHold) return Entry::kRevoked;
    e = Entry::kHold;
  }
  return e;
}

// A CRL's integer extension (CRL number, delta CRL base), or null.
orvel::Asn1IntegerPtr crl_integer(X509_CRL* crl, int nid) {
  ERR_set_mark();
  orvel::Asn1IntegerPtr v(
      static_cast<ASN1_INTEGER*>(X509_CRL_get_ext_d2i(crl, nid, nullptr, nullptr)));
  ERR_pop_to_mark();
  return v;
}

}  // namespace

bool is_delta_crl(const X509_CRL* crl) {
  return X509_CRL_get_ext_by_NID(crl, NID_delta_crl, -1) >= 0;
}

bool names_delta_crl(const X509_CRL* crl) {
  return X509_CRL_get_ext_by_NID(crl, NID_freshest_crl, -1) >= 0;
}

bool delta_numbers_follow(X509_CRL* delta, X509_CRL* crl) {
  orvel::Asn1IntegerPtr base = crl_integer(delta, NID_delta_crl);
  orvel::Asn1IntegerPtr number = crl_integer(delta, NID_crl_number);
  orvel::Asn1IntegerPtr crl_number = crl_integer(crl, NID_crl_number);
  return base && number && crl_number && ASN1_INTEGER_cmp(base.get(), crl_number.get()) <= 0 &&
         ASN1_INTEGER_cmp(number.get(), crl_number.get()) > 0;
}

bool delta_follows(X509_CRL* delta, X509_CRL* crl) {
  return delta_numbers_follow(delta, crl) && same_scope(delta, crl) &&
         crl_unprocessed_critical(delta).empty() && !crl_is_indirect(delta);
}

std::string crl_number_text(X509_CRL* crl, int nid) {
  orvel::Asn1IntegerPtr n = crl_integer(crl, nid);
  char* text = n ? i2s_ASN1_INTEGER(nullptr, n.get()) : nullptr;
  std::string out = text != nullptr ? text : "none";
  OPENSSL_free(text);
  return out;
}

bool delta_revokes(const ASN1_INTEGER* serial, X509_CRL* delta) {
  const Entry e = entry_of(delta, serial);
  return e == Entry::kHold || e == Entry::kRevoked;
}

bool revoked_by_crls(const ASN1_INTEGER* serial, X509_CRL* crl,
                     const std::vector<X509_CRL*>& deltas, bool deltas_may_release) {
  // Each delta lists every change since its base: the newest that follows
  // the complete CRL tells whether a hold still stands. A CRL number names
  // one CRL; two deltas that share the highest one are the issuer's fault,
  // and the hold is released only when each of them releases it, whichever
  // was stored first.
  orvel::Asn1IntegerPtr newest_number;
  bool released = false;
  for (X509_CRL* delta : deltas) {
    if (delta_revokes(serial, delta)) return true;
    if (!deltas_may_release || !delta_follows(delta, crl)) continue;
    orvel::Asn1IntegerPtr number = crl_integer(delta, NID_crl_number);
    const bool removes = entry_of(delta, serial) == Entry::kRemoved;
    const int order = newest_number ? ASN1_INTEGER_cmp(number.get(), newest_number.get()) : 1;
    if (order > 0) {
      newest_number = std::move(number);
      released = removes;
    } else if (order == 0) {
      released = released && removes;
    }
  }
  const Entry e = complete_entry_of(crl, serial);
  return e == Entry::kHold ? !released : e != Entry::kNone;
}
