#include "pkcs7_sign.h"

#include <openssl/objects.h>

#include "codes.h"
#include "digest.h"
#include "log.h"
#include "ossl_ptr.h"
#include "pkcs7/ess_attributes.h"
#include "profile.h"
#include "settings.h"
#include "time_util.h"

const EVP_MD* ssf_signing_digest(EVP_PKEY* key, bool* refused) {
  *refused = false;
  switch (EVP_PKEY_get_base_id(key)) {
    case NID_id_GostR3410_2012_256:
      return SSF_EVP_gosthash_2012_256();
    case NID_id_GostR3410_2012_512:
      return SSF_EVP_gosthash_2012_512();
    case NID_id_GostR3410_2001:
      if (gost2001_expired()) {
        *refused = true;
        return nullptr;
      }
      return SSF_EVP_gosthash();
    default:
      return EVP_sha1();
  }
}

PKCS7_SIGNER_INFO* SSF_PKCS7_add_signature(PKCS7* p7, X509* cert, EVP_PKEY* key, const EVP_MD* md,
                                           const char* profile, int type) {
  static const char kFunc[] = "SSF_PKCS7_add_signature";
  PKCS7_SIGNER_INFO* si = PKCS7_add_signature(p7, cert, key, md);
  if (si == nullptr) {
    log_err("%s() 1 : PKCS7_add_signature() failed", kFunc);
    print_brekssl_errors();
    return nullptr;
  }
  // The SignerInfo belongs to p7 from here on; a failure leaves it there and
  // the caller drops the whole signedData.
  if ((type == SIG_TYPE_CADES_BES || type == SIG_TYPE_CADES) &&
      !PKCS7_add_ESSSigningCertV2_attribute(si, cert, md)) {
    log_err("%s() 3 : PKCS7_add_ESSSigningCertV2_attribute() failed", kFunc);
    print_brekssl_errors();
    return nullptr;
  }
  if (use_profile_timestamp) {
    int time_type = V_ASN1_UTCTIME;
    int step = 5;
    orvel::Asn1TimePtr t(profile_signing_time(profile, &time_type, &step));
    if (!t) {
      if (step == 4)
        log_err("%s() 4 : ASN1_UTCTIME_new() failed", kFunc);
      else
        log_err("%s() 5 : ASN1_UTCTIME_set_string( '%s' ) failed", kFunc, profile ? profile : "");
      return nullptr;
    }
    if (!PKCS7_add_signed_attribute(si, NID_pkcs9_signingTime, time_type, t.get())) {
      log_err("%s() 6 : PKCS7_add_signed_attribute() failed", kFunc);
      print_brekssl_errors();
      return nullptr;
    }
    t.release();
  }
  return si;
}

int ssf_add_content_type(PKCS7_SIGNER_INFO* si) {
  return PKCS7_add_signed_attribute(si, NID_pkcs9_contentType, V_ASN1_OBJECT,
                                    OBJ_nid2obj(NID_pkcs7_data));
}

int ssf_add_signer_certs(PKCS7* p7, X509* cert, STACK_OF(X509) * chain) {
  if (chain != nullptr && sk_X509_num(chain) > 0) {
    for (int i = 0; i < sk_X509_num(chain); ++i)
      if (!PKCS7_add_certificate(p7, sk_X509_value(chain, i))) return 0;
    return 1;
  }
  return PKCS7_add_certificate(p7, cert);
}
