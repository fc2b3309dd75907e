#include "crl_verify.h"

#include <openssl/err.h>
#include <openssl/x509v3.h>

#include "critical_ext.h"
#include "log.h"
#include "ossl_ptr.h"
#include "settings.h"
#include "time_util.h"
#include "x509_name.h"

namespace {

using AuthKeyIdPtr =
    std::unique_ptr<AUTHORITY_KEYID, orvel::Free<AUTHORITY_KEYID, AUTHORITY_KEYID_free>>;

// Seconds of an ASN.1 time; false when it cannot be read.
bool asn1_time_to_seconds(const ASN1_TIME* t, time_t* out) {
  struct tm tm {};
  if (t == nullptr || ASN1_TIME_to_tm(t, &tm) != 1) return false;
  *out = timegm(&tm);
  return true;
}

// -1 when a GOST R 34.10-2001 CRL was issued at or after the cut-off.
int check_crl_gost2001(X509_CRL* crl) {
  if (X509_CRL_get_signature_nid(crl) != NID_id_GostR3411_94_with_GostR3410_2001) return 1;
  time_t last = 0;
  if (asn1_time_to_seconds(X509_CRL_get0_lastUpdate(crl), &last) &&
      last >= get_gost2001_exp_time()) {
    log_err("%s() 1 : Gost R 34.10-2001 expired", "check_crl_gost2001");
    return -1;
  }
  return 1;
}

// Whether a store certificate satisfies a CRL's authority key identifier.
bool matches_akid(X509* cert, const AUTHORITY_KEYID* akid) {
  if (akid->issuer != nullptr) {
    for (int i = 0; i < sk_GENERAL_NAME_num(akid->issuer); ++i) {
      const GENERAL_NAME* gn = sk_GENERAL_NAME_value(akid->issuer, i);
      if (gn->type == GEN_DIRNAME &&
          X509_NAME_cmp(gn->d.directoryName, X509_get_issuer_name(cert)) != 0)
        return false;
    }
  }
  if (akid->keyid != nullptr) {
    const ASN1_OCTET_STRING* skid = X509_get0_subject_key_id(cert);
    if (skid == nullptr || ASN1_OCTET_STRING_cmp(akid->keyid, skid) != 0) return false;
  }
  if (akid->serial != nullptr && ASN1_INTEGER_cmp(akid->serial, X509_get0_serialNumber(cert)) != 0)
    return false;
  return true;
}

// How long after a time stamp a CRL may be issued and still count as
// current at the stamp's time.
time_t stamp_grace() { return max_tsp_ocsp_diff > 0 ? max_tsp_ocsp_diff : 0; }

// verify_crl once the issuing CA is known: its signature on the CRL, the
// CRL's times against at (0: now) and the GOST R 34.10-2001 cut-off. A
// lastUpdate up to grace seconds after at still counts as current.
int check_crl_of(X509_CRL* crl, X509* issuer, time_t at, time_t grace = 0) {
  static const char kFunc[] = "verify_crl";
  EVP_PKEY* key = issuer ? X509_get0_pubkey(issuer) : nullptr;
  if (key == nullptr) {
    log_err("%s() 2 : getting the issuer's public key failed", kFunc);
    return -1;
  }
  // A CA whose key usage leaves out cRLSign has not made this key a CRL
  // signer.
  if ((X509_get_extension_flags(issuer) & EXFLAG_KUSAGE) != 0 &&
      (X509_get_key_usage(issuer) & KU_CRL_SIGN) == 0) {
    log_err("%s() 2.1 : the key usage of the crl-issuer does not allow signing crls", kFunc);
    return -1;
  }
  // A signature that does not verify leaves the toolkit's reason behind;
  // the result says it.
  ERR_set_mark();
  int s = X509_CRL_verify(crl, key);
  if (s >= 0) ERR_pop_to_mark();
  if (s < 0) {
    log_err("%s() 3 : X509_CRL_verify() failed", kFunc);
    print_brekssl_errors();
    return -1;
  }
  if (s == 0) {
    log_err("%s() 4 : crl is invalid", kFunc);
    return 0;
  }
  time_t when = at != 0 ? at : time(nullptr);
  time_t issued_by = when + grace;
  int c = X509_cmp_time(X509_CRL_get0_lastUpdate(crl), &issued_by);
  if (c == 0) {
    log_err("%s() 5 : crl has an invalid 'lastUpdate' field", kFunc);
    return -1;
  }
  if (c > 0) {
    log_err("%s() 6 : crl is not yet valid", kFunc);
    return 0;
  }
  // A CRL without nextUpdate has no expiry to check.
  if (const ASN1_TIME* next = X509_CRL_get0_nextUpdate(crl)) {
    c = X509_cmp_time(next, &when);
    if (c == 0) {
      log_err("%s() 7 : crl has an invalid 'nextUpdate' field", kFunc);
      return -1;
    }
    if (c < 0) {
      log_err("%s() 8 : crl has expired", kFunc);
      return 0;
    }
  }
  if (check_crl_gost2001(crl) < 0) {
    log_err("%s() 9 : Gost R 34.10-2001 not allowed for CRLs", kFunc);
    return -1;
  }
  return 1;
}

}  // namespace

int X509_STORE_get_ca_cert_for_crl(X509_STORE_CTX* ctx, X509_CRL* crl, X509** out) {
  if (ctx == nullptr || crl == nullptr || out == nullptr) return -1;
  ERR_set_mark();
  AuthKeyIdPtr akid(static_cast<AUTHORITY_KEYID*>(
      X509_CRL_get_ext_d2i(crl, NID_authority_key_identifier, nullptr, nullptr)));
  ERR_pop_to_mark();
  auto matches = [&akid](X509* c) { return !akid || matches_akid(c, akid.get()); };
  X509_STORE* store = X509_STORE_CTX_get0_store(ctx);
  X509* cert = nullptr;
  // Without a key identifier the name alone does not tell the key
  // generations of a CA apart: the one whose key verifies the CRL is taken.
  if (!akid || akid->keyid == nullptr)
    cert = first_in_store(store, X509_CRL_get_issuer(crl),
                          [&](X509* c) { return matches(c) && crl_signed_by(crl, c); });
  if (cert == nullptr) cert = first_in_store(store, X509_CRL_get_issuer(crl), matches);
  if (cert == nullptr) return -1;
  *out = cert;
  return 1;
}

namespace {

int verify_crl_in_store(X509_CRL* crl, X509_STORE_CTX* ctx, time_t at, time_t grace) {
  static const char kFunc[] = "verify_crl";
  dbg("%s() begin, crl = 0x%p, ctx = 0x%p", kFunc, static_cast<void*>(crl),
      static_cast<void*>(ctx));
  X509* issuer_raw = nullptr;
  int rc = -1;
  if (crl == nullptr || X509_STORE_get_ca_cert_for_crl(ctx, crl, &issuer_raw) != 1) {
    log_err("%s() 1 : getting the certificate of the crl-issuer failed", kFunc);
  } else {
    orvel::X509Ptr issuer(issuer_raw);
    rc = check_crl_of(crl, issuer.get(), at, grace);
  }
  dbg("%s() end, return code = %d", kFunc, rc);
  return rc;
}

int verify_crl_of_issuer(X509_CRL* crl, X509* issuer, time_t at, time_t grace) {
  static const char kFunc[] = "verify_crl";
  dbg("%s() begin, crl = 0x%p, issuer = 0x%p", kFunc, static_cast<void*>(crl),
      static_cast<void*>(issuer));
  const int rc = crl != nullptr ? check_crl_of(crl, issuer, at, grace) : -1;
  dbg("%s() end, return code = %d", kFunc, rc);
  return rc;
}

}  // namespace

int verify_crl(X509_CRL* crl, X509_STORE_CTX* ctx, time_t at) {
  return verify_crl_in_store(crl, ctx, at, 0);
}

int verify_crl_by_issuer(X509_CRL* crl, X509* issuer, time_t at) {
  return verify_crl_of_issuer(crl, issuer, at, 0);
}

int verify_stored_crl(X509_CRL* crl, X509* issuer, X509_STORE_CTX* ctx, time_t at) {
  const time_t grace = at != 0 ? stamp_grace() : 0;
  return issuer != nullptr ? verify_crl_of_issuer(crl, issuer, at, grace)
                           : verify_crl_in_store(crl, ctx, at, grace);
}

bool crl_signed_by(X509_CRL* crl, X509* issuer) {
  EVP_PKEY* key = crl && issuer ? X509_get0_pubkey(issuer) : nullptr;
  ERR_set_mark();
  const bool ok = key != nullptr && X509_CRL_verify(crl, key) == 1;
  ERR_pop_to_mark();
  return ok;
}

std::string crl_unprocessed_critical(const X509_CRL* crl) {
  const STACK_OF(X509_EXTENSION)* exts = X509_CRL_get0_extensions(crl);
  std::string oid = first_unprocessed_critical(
      sk_X509_EXTENSION_num(exts), [exts](int i) { return sk_X509_EXTENSION_value(exts, i); },
      {NID_authority_key_identifier, NID_crl_number, NID_delta_crl, NID_issuing_distribution_point,
       NID_freshest_crl});
  STACK_OF(X509_REVOKED)* revoked = X509_CRL_get_REVOKED(const_cast<X509_CRL*>(crl));
  for (int i = 0; oid.empty() && i < sk_X509_REVOKED_num(revoked); ++i) {
    const STACK_OF(X509_EXTENSION)* entry =
        X509_REVOKED_get0_extensions(sk_X509_REVOKED_value(revoked, i));
    // Only the reason is read of an entry; a certificate issuer (of an
    // indirect CRL) is not.
    oid = first_unprocessed_critical(sk_X509_EXTENSION_num(entry),
                                     [entry](int j) { return sk_X509_EXTENSION_value(entry, j); },
                                     {NID_crl_reason});
  }
  return oid;
}

std::string crl_name_text(const X509_NAME* name) {
  char buf[kNameBufSize];
  print_X509_NAME(buf, sizeof buf, name);
  return buf;
}

bool crl_same_issuer(X509_CRL* crl, X509* x509) {
  return X509_NAME_cmp(X509_CRL_get_issuer(crl), X509_get_issuer_name(x509)) == 0;
}
