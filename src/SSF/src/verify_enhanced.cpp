// VerifyEnhancedSignature: archive stamps, the signature, and the CAdES
// attributes of one SignerInfo checked on the material it carries.
#include "verify_enhanced.h"

#include "verify_enh_hooks.h"

#include <openssl/err.h>

#include <string>
#include <vector>

#include "cades_attr_ids.h"
#include "crl_stored.h"
#include "enhance_deps.h"
#include "enhance_util.h"
#include "log.h"
#include "orvel_ssf.h"
#include "ossl_ptr.h"
#include "pkcs7_verify.h"
#include "verify_enh_archive.h"
#include "verify_enh_certs.h"
#include "verify_enh_status.h"
#include "verify_ess.h"

namespace {

constexpr char kFunc[] = "VerifyEnhancedSignatureAttributes";
constexpr int kEssMismatch = 110;
constexpr int kBadValues = 116;
constexpr int kNoSignatureStamp = 118;
constexpr int kNoChain = 120;
constexpr int kNoEscStamp = 123;
constexpr int kTsaBad = 114;

// The attribute's token as an octet string; null when absent.
ASN1_OCTET_STRING* token_of(PKCS7_SIGNER_INFO* si, int nid) {
  const ASN1_STRING* v = enhance_sequence_value(get_raw_attribute(si->unauth_attr, nid));
  if (v == nullptr) return nullptr;
  ASN1_OCTET_STRING* s = ASN1_OCTET_STRING_new();
  if (s != nullptr && !ASN1_OCTET_STRING_set(s, ASN1_STRING_get0_data(v), ASN1_STRING_length(v))) {
    ASN1_OCTET_STRING_free(s);
    return nullptr;
  }
  return s;
}

orvel::Asn1OctetStringPtr octets(const std::vector<unsigned char>& v) {
  orvel::Asn1OctetStringPtr s(ASN1_OCTET_STRING_new());
  if (s && !ASN1_OCTET_STRING_set(s.get(), v.data(), static_cast<int>(v.size()))) s.reset();
  return s;
}

// The signer's chain at the signature time, its revocation status from the
// stored values, and its root among the trusted certificates.
int check_signer_chain(PKCS7_SIGNER_INFO* si, X509* signer, X509_STORE* store,
                       STACK_OF(X509) * certs, STACK_OF(X509) * trusted,
                       const ASN1_GENERALIZEDTIME* sig_time) {
  constexpr char kName[] = "ssf_verify_cert";
  time_t t = -1;
  if (sig_time != nullptr && (t = enhance_gentime_to_time_t(sig_time)) == -1) {
    log_err("%s() 2 : signature time does not convert", kName);
    return SSF_SIGNATURE_INVALID;
  }
  STACK_OF(X509)* ch = nullptr;
  std::string reason;
  const int rc = enhance_build_chain(signer, store, t, &ch, &reason);
  orvel::X509StackPtr chain(ch);
  if (rc != 0) {
    log_err("%s() 3 : signer's certificate is invalid, reason:  '%s'", kName, reason.c_str());
    return SSF_SIGNATURE_INVALID;
  }
  orvel::RevocationValuesPtr vals(enhance_get_revocation_values(si));
  if (!vals) {
    log_err("%s() 4 : revocationValues attribute not found or does not decode", kName);
    return kBadValues;
  }
  const int n = sk_X509_num(chain.get());
  for (int i = 0; i + 1 < n; ++i) {
    const int status = get_cert_status(sk_X509_value(chain.get(), i),
                                       sk_X509_value(chain.get(), i + 1), t == -1 ? nullptr : &t,
                                       vals.get(), store, certs, trusted);
    if (status != 0) {
      log_err("%s() 5 : status of certificate #%d is %d", kName, i, status);
      return status;
    }
  }
  if (!find_certificate_in_trusted_root(sk_X509_value(chain.get(), n - 1), store, trusted)) {
    log_err("%s() 11 : signer's root CA certificate not found in trusted roots", kName);
    return kNoChain;
  }
  return 0;
}

// The ES-C stamp over the data with headers, else without; its genTime out.
int check_esc_stamp(PKCS7_SIGNER_INFO* si, X509_STORE* store, STACK_OF(X509) * trusted,
                    const ASN1_GENERALIZEDTIME* at, orvel::Asn1TimePtr* esc_time) {
  constexpr char kName[] = "ssf_verify_escTimeStamp";
  orvel::Asn1OctetStringPtr token(token_of(si, cades::kNidEscTimeStamp));
  if (!token) {
    log_err("%s() 1 : escTimeStamp not found", kName);
    return kNoEscStamp;
  }
  for (bool headers : {true, false}) {
    std::vector<unsigned char> esc;
    orvel::Asn1OctetStringPtr input;
    if (get_esc_data(si, headers, &esc)) input = octets(esc);
    ASN1_GENERALIZEDTIME* gt = nullptr;
    const int rc =
        input ? ssf_verify_TS(token.get(), input.get(), store, TS_KIND_ESC, &gt, trusted, at) : -1;
    esc_time->reset(gt);
    if (rc == 0) return 0;
    if (headers)
      log_err("%s() 2 : escTimeStamp with headers is not valid, trying to verify escTimeStamp "
              "w/o headers",
              kName);
  }
  log_err("%s() 3 : escTimeStamp is not valid", kName);
  return kNoEscStamp;
}

}  // namespace

int VerifyEnhancedSignatureAttributes(PKCS7_SIGNER_INFO* si, int skip_timestamps,
                                      STACK_OF(X509) * trusted, const ASN1_GENERALIZEDTIME* at) {
  if (!ssf_signature_is_enhanced(si, skip_timestamps)) {
    log_err("%s() 0.2 : it is not enhanced signature, skipping CAdES verification", kFunc);
    return kNoSignatureStamp;
  }
  STACK_OF(X509)* l = nullptr;
  X509_STORE* s = nullptr;
  X509* signer_cert = nullptr;
  const int loaded = LoadCertificates(&l, &s, &signer_cert, si);
  orvel::X509StackPtr certs(l);
  orvel::X509StorePtr store(s);
  orvel::X509Ptr signer(signer_cert);
  if (loaded != 1) return kBadValues;
  if (!signer || check_ess_signing_cert(si, signer.get()) != 1) {
    log_err("%s() 0.3 : signing-certificate attribute does not name the signer", kFunc);
    return kEssMismatch;
  }

  orvel::Asn1TimePtr sig_time_owner;
  const ASN1_GENERALIZEDTIME* sig_time = at;
  if (!skip_timestamps) {
    constexpr char kName[] = "ssf_verify_timeStampToken";
    orvel::Asn1OctetStringPtr token(token_of(si, cades::kNidSignatureTimeStamp));
    if (!token) {
      log_err("%s() 1 : timeStampToken not found", kName);
      return kNoSignatureStamp;
    }
    orvel::Asn1OctetStringPtr value(ASN1_OCTET_STRING_dup(si->enc_digest));
    ASN1_GENERALIZEDTIME* gt = nullptr;
    const int rc = value ? ssf_verify_TS(token.get(), value.get(), store.get(), TS_KIND_SIGNATURE,
                                         &gt, trusted, at)
                         : SSF_API_NOMEMORY;
    sig_time_owner.reset(gt);
    if (rc != 0) {
      log_err("%s() 2 : ssf_verify_TS() failed, returned %d", kName, rc);
      return rc;
    }
    if (!sig_time_owner) return kNoSignatureStamp;
    sig_time = sig_time_owner.get();
  }

  int rc = check_signer_chain(si, signer.get(), store.get(), certs.get(), trusted, sig_time);
  if (rc != 0) return rc;

  orvel::Asn1TimePtr esc_time;
  if (!skip_timestamps) {
    rc = check_esc_stamp(si, store.get(), trusted, at, &esc_time);
    if (rc != 0) return rc;
  }
  rc = check_rev_and_cert_refs_and_vals(si);
  if (rc != 0) return rc;

  const ASN1_GENERALIZEDTIME* validity_time = skip_timestamps ? at : esc_time.get();
  const time_t t = validity_time ? enhance_gentime_to_time_t(validity_time) : time(nullptr);
  if (t == -1 || !check_certs_validity(certs.get(), t)) {
    log_err("%s() 7 : not all certificates are valid at ES-C timestamp time", kFunc);
    return SSF_API_NOMEMORY;
  }
  return 0;
}

int VerifyEnhancedSignature(BIO* bio, PKCS7* p7, PKCS7_SIGNER_INFO* si, STACK_OF(X509) * trusted) {
  constexpr char kName[] = "VerifyEnhancedSignature";
  if (bio == nullptr || p7 == nullptr || si == nullptr) {
    log_err("%s() 0 : bad args", kName);
    return SSF_INITIAL_VALUE;
  }
  ASN1_GENERALIZEDTIME* o = nullptr;
  int rc = VerifyAllArchiveTimestamps(p7, bio, si, trusted, &o);
  orvel::Asn1TimePtr oldest(o);
  if (rc != 0) return rc;

  STACK_OF(X509)* l = nullptr;
  X509_STORE* s = nullptr;
  X509* signer_cert = nullptr;
  const int loaded = LoadCertificates(&l, &s, &signer_cert, si);
  orvel::X509StackPtr certs(l);
  orvel::X509StorePtr store(s);
  orvel::X509Ptr signer(signer_cert);
  if (loaded != 1) {
    log_err("%s() 1 : failed to load certificates", kName);
    return kBadValues;
  }
  if (!signer) {
    log_err("%s() 2 : signer's certificate not found", kName);
    return 117;
  }
  if (SSF_PKCS7_signatureVerify(bio, p7, si, signer.get()) <= 0) {
    log_err("%s() 3 : signature is invalid", kName);
    print_brekssl_errors();
    return SSF_SIGNATURE_INVALID;
  }
  rc = VerifyEnhancedSignatureAttributes(si, 0, trusted, oldest.get());
  ERR_clear_error();
  return rc;
}

int verify_signature_timestamp_rev_status(PKCS7_SIGNER_INFO* si, STACK_OF(X509) * chain,
                                          X509_STORE* store, const time_t* at) {
  constexpr char kName[] = "verify_signature_timestamp_rev_status";
  if (si == nullptr || chain == nullptr) return SSF_INITIAL_VALUE;
  if (check_rev_and_cert_refs_and_vals(si) != 0) {
    log_err("%s() 1 : references and values of the timestamp don't match", kName);
    return kTsaBad;
  }
  const int n = sk_X509_num(chain);
  if (n <= 2) {
    log_write("%s() : no intermediate CA found in TSA certificate chain", kName);
    return 0;
  }
  orvel::RevocationValuesPtr vals(enhance_get_revocation_values(si));
  if (!vals) {
    log_err("%s() 2 : no revocation values found in timestamp", kName);
    return kTsaBad;
  }
  const time_t t = at ? *at : 0;
  for (int i = 1; i + 1 < n; ++i) {
    X509* ca = sk_X509_value(chain, i);
    // Without a stored CRL of its issuer nothing shows the CA unrevoked.
    bool has_crl = false;
    for (int j = 0; !has_crl && j < sk_X509_CRL_num(vals->crlVals); ++j)
      has_crl = X509_NAME_cmp(X509_CRL_get_issuer(sk_X509_CRL_value(vals->crlVals, j)),
                              X509_get_issuer_name(ca)) == 0;
    if (t == -1 || !has_crl ||
        check_revoked_crl(ca, vals->crlVals, store, t, sk_X509_value(chain, i + 1)) != 1) {
      log_err("%s() 4 : revocation check failed for intermediate CA #%d (name = '%s')", kName, i,
              enhance_subject(ca).c_str());
      return kTsaBad;
    }
  }
  return 0;
}

int verify_archive_timestamp_rev_status(PKCS7_SIGNER_INFO* si, const ASN1_GENERALIZEDTIME* gen_time,
                                        STACK_OF(X509) * trusted) {
  return VerifyEnhancedSignatureAttributes(si, 1, trusted, gen_time);
}
