#include "verify_ess.h"

#include <openssl/asn1t.h>
#include <openssl/evp.h>
#include <openssl/x509v3.h>

#include <cstring>
#include <memory>

#include "cades_attr_ids.h"
#include "cades_oid_globals.h"
#include "log.h"
#include "ossl_ptr.h"
#include "pkcs7/ess_types.h"

namespace {

constexpr char kFunc[] = "check_ess_signing_cert";

// ESSCertIDv2 as received: hashAlgorithm may be left out (its default,
// SHA-256), and SigningCertificateV2 may carry policies. The signing side
// always writes hashAlgorithm, so its own type makes it mandatory.
struct SSF_CERTIDV2_IN {
  X509_ALGOR* hashAlgorithm;
  ASN1_OCTET_STRING* hashValue;
  ISSUER_SERIAL* issuerSerial;
};

DEFINE_STACK_OF(SSF_CERTIDV2_IN)

struct SSF_SIGCERTV2_IN {
  STACK_OF(SSF_CERTIDV2_IN) * certs;
  STACK_OF(POLICYINFO) * policies;
};

ASN1_SEQUENCE(SSF_CERTIDV2_IN) =
    {
        ASN1_OPT(SSF_CERTIDV2_IN, hashAlgorithm, X509_ALGOR),
        ASN1_SIMPLE(SSF_CERTIDV2_IN, hashValue, ASN1_OCTET_STRING),
        ASN1_OPT(SSF_CERTIDV2_IN, issuerSerial, ISSUER_SERIAL),
} static_ASN1_SEQUENCE_END(SSF_CERTIDV2_IN)

        ASN1_SEQUENCE(SSF_SIGCERTV2_IN) =
            {
                ASN1_SEQUENCE_OF(SSF_SIGCERTV2_IN, certs, SSF_CERTIDV2_IN),
                ASN1_SEQUENCE_OF_OPT(SSF_SIGCERTV2_IN, policies, POLICYINFO),
} static_ASN1_SEQUENCE_END(SSF_SIGCERTV2_IN)

                struct SigCertV2Free {
  void operator()(SSF_SIGCERTV2_IN* p) const noexcept {
    ASN1_item_free(reinterpret_cast<ASN1_VALUE*>(p), ASN1_ITEM_rptr(SSF_SIGCERTV2_IN));
  }
};

int nid_sig_cert_v2() {
  return g_nNID_id_smime_aa_ets_SigCertV2 != 0 ? g_nNID_id_smime_aa_ets_SigCertV2
                                               : NID_id_smime_aa_signingCertificateV2;
}

// The DER of a SEQUENCE attribute value; null for any other value.
const ASN1_STRING* sequence_value(ASN1_TYPE* t) {
  if (t == nullptr || t->type != V_ASN1_SEQUENCE || t->value.sequence == nullptr) return nullptr;
  return t->value.sequence;
}

// 0 when the first directoryName of the GeneralNames is the certificate's
// issuer and the serial numbers are equal, -1 otherwise.
int issuer_serial_cmp(const ISSUER_SERIAL* is, X509* cert) {
  if (is == nullptr || is->serial == nullptr) return -1;
  for (int i = 0; i < sk_GENERAL_NAME_num(is->issuer); ++i) {
    const GENERAL_NAME* gn = sk_GENERAL_NAME_value(is->issuer, i);
    if (gn == nullptr || gn->type != GEN_DIRNAME) continue;
    if (X509_NAME_cmp(gn->d.directoryName, X509_get_issuer_name(cert)) != 0) return -1;
    return ASN1_INTEGER_cmp(is->serial, X509_get0_serialNumber(cert)) == 0 ? 0 : -1;
  }
  log_err("%s() 2 : GEN_DIRNAME name not found in certid->issuerSerial->issuer",
          "ssf_ISSUER_SERIAL_cmp");
  return -1;
}

// 1 when the digest of the certificate's DER under md equals value; 0 when
// not, -1 when the digest cannot be made.
int digest_matches(X509* cert, const EVP_MD* md, const ASN1_OCTET_STRING* value) {
  unsigned char buf[EVP_MAX_MD_SIZE];
  unsigned int n = 0;
  if (!X509_digest(cert, md, buf, &n)) return -1;
  return value != nullptr && ASN1_STRING_length(value) == static_cast<int>(n) &&
                 memcmp(ASN1_STRING_get0_data(value), buf, n) == 0
             ? 1
             : 0;
}

bool other_sig_cert_matches(const ASN1_STRING* der, X509* cert) {
  const unsigned char* p = der ? ASN1_STRING_get0_data(der) : nullptr;
  orvel::OtherSigCertPtr osc(p ? d2i_OTHERSIGCERT(nullptr, &p, ASN1_STRING_length(der)) : nullptr);
  if (!osc) {
    log_err("%s() 3 : d2i_OTHERSIGCERT() failed", kFunc);
    print_brekssl_errors();
    return false;
  }
  if (sk_OTHERCERTID_num(osc->Certs) <= 0) {
    log_err("%s() 4 : OtherSigningCertificate attribute is empty", kFunc);
    return false;
  }
  const OTHERCERTID* id = sk_OTHERCERTID_value(osc->Certs, 0);
  if (id == nullptr || id->mD == nullptr) {
    log_err("%s() 5 : no OTHERCERTID found in OtherSigningCertificate attribute", kFunc);
    return false;
  }
  const EVP_MD* md =
      id->mD->hashAlgorithm ? EVP_get_digestbyobj(id->mD->hashAlgorithm->algorithm) : nullptr;
  if (md == nullptr || digest_matches(cert, md, id->mD->hashValue) != 1 ||
      (id->issuerSerial != nullptr && issuer_serial_cmp(id->issuerSerial, cert) != 0)) {
    log_err(
        "%s() 6 : OTHERCERTID in OtherSigningCertificate attribute and signer's certificate "
        "don't match",
        kFunc);
    return false;
  }
  return true;
}

bool sig_cert_v2_matches(const ASN1_STRING* der, X509* cert) {
  std::unique_ptr<SSF_SIGCERTV2_IN, SigCertV2Free> sc;
  if (der != nullptr) {
    const unsigned char* p = ASN1_STRING_get0_data(der);
    sc.reset(static_cast<SSF_SIGCERTV2_IN*>(static_cast<void*>(
        ASN1_item_d2i(nullptr, &p, ASN1_STRING_length(der), ASN1_ITEM_rptr(SSF_SIGCERTV2_IN)))));
  }
  if (!sc) {
    log_err("%s() 7 : d2i_ESSCERTIDV2() failed", kFunc);
    print_brekssl_errors();
    return false;
  }
  if (sk_SSF_CERTIDV2_IN_num(sc->certs) <= 0) {
    log_err("%s() 8 : SigningCertificateV2 attribute is empty", kFunc);
    return false;
  }
  const SSF_CERTIDV2_IN* id = sk_SSF_CERTIDV2_IN_value(sc->certs, 0);
  if (id == nullptr) {
    log_err("%s() 9 : no CERTIDV2 found in SigningCertificateV2 attribute", kFunc);
    return false;
  }
  const EVP_MD* md =
      id->hashAlgorithm ? EVP_get_digestbyobj(id->hashAlgorithm->algorithm) : EVP_sha256();
  if (md == nullptr) {
    log_err("%s() 10 : EVP_get_digestbyobj() failed", kFunc);
    return false;
  }
  const int match = digest_matches(cert, md, id->hashValue);
  if (match < 0) {
    log_err("%s() 11 : X509_digest() failed", kFunc);
    print_brekssl_errors();
    return false;
  }
  if (match == 0) {
    log_err("%s() 12 : digest of certificate and digest in CERTIDV2 don't match", kFunc);
    return false;
  }
  if (id->issuerSerial != nullptr && issuer_serial_cmp(id->issuerSerial, cert) != 0) {
    log_err("%s() 13 : issuer and serial number in certificate and in CERTIDV2 don't match", kFunc);
    return false;
  }
  return true;
}

}  // namespace

int ess_signing_cert_present(PKCS7_SIGNER_INFO* si) {
  return si != nullptr && PKCS7_get_signed_attribute(si, nid_sig_cert_v2()) != nullptr ? 1 : 0;
}

int ssf_signature_is_enhanced(PKCS7_SIGNER_INFO* si, int skip_timestamps) {
  if (si == nullptr) return 0;
  if (PKCS7_get_signed_attribute(si, cades::kNidOtherSigCert) == nullptr &&
      PKCS7_get_signed_attribute(si, nid_sig_cert_v2()) == nullptr)
    return 0;
  for (int nid : {cades::kNidRevocationRefs, cades::kNidRevocationValues,
                  cades::kNidCertificateRefs, cades::kNidCertValues})
    if (PKCS7_get_attribute(si, nid) == nullptr) return 0;
  if (!skip_timestamps && (PKCS7_get_attribute(si, cades::kNidSignatureTimeStamp) == nullptr ||
                           PKCS7_get_attribute(si, cades::kNidEscTimeStamp) == nullptr))
    return 0;
  return 1;
}

int check_ess_signing_cert(PKCS7_SIGNER_INFO* si, X509* cert) {
  if (si == nullptr || cert == nullptr) return 0;
  ASN1_TYPE* other = PKCS7_get_signed_attribute(si, cades::kNidOtherSigCert);
  ASN1_TYPE* v2 = PKCS7_get_signed_attribute(si, nid_sig_cert_v2());
  if (other == nullptr && v2 == nullptr) {
    log_err("%s() 2 : neither OtherSigningCertificate nor SigningCertificateV2 attribute found",
            kFunc);
    return 0;
  }
  if (other != nullptr && !other_sig_cert_matches(sequence_value(other), cert)) return 0;
  if (v2 != nullptr && !sig_cert_v2_matches(sequence_value(v2), cert)) return 0;
  return 1;
}
