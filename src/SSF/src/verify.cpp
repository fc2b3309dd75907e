// ssf_verify_data: the signatures of a signedData, one result record per
// SignerInfo, the content handed back, and a summary in the trace log.
#include <openssl/err.h>

#include <cstring>
#include <string>

#include "codes.h"
#include "encode.h"
#include "frame.h"
#include "hok_client.h"
#include "log.h"
#include "op_guard.h"
#include "ossl_ptr.h"
#include "pab.h"
#include "pkcs7_verify.h"
#include "result_records.h"
#include "sap_string.h"
#include "settings.h"
#include "time_util.h"
#include "trust.h"
#include "verify_enhanced.h"
#include "verify_ess.h"
#include "x509_name.h"

namespace {

constexpr char kFunc[] = "ssf_verify_data";
constexpr int kReadStep = 4096;

// The time the signer's certificate is checked at: now, or with
// common:verify_use_signing_time the signingTime attribute when present.
time_t trust_time(PKCS7_SIGNER_INFO* si) {
  if (!verify_use_signing_time) return -1;
  ASN1_TYPE* t = PKCS7_get_signed_attribute(si, NID_pkcs9_signingTime);
  if (t == nullptr || (t->type != V_ASN1_UTCTIME && t->type != V_ASN1_GENERALIZEDTIME)) return -1;
  const time_t at = ASN1_TIME_to_time_t(t->value.asn1_string);
  // A malformed time converts to 0; checking at 1970 would only mislead.
  return at != 0 ? at : -1;
}

// Everything one call holds; freed on every path.
struct Verification {
  orvel::Pkcs7Ptr p7;
  orvel::BytesPtr input_bytes;  // unwrapped input of a detached signature
  SsfInt input_len = 0;
  orvel::BioPtr chain;  // PKCS7_dataInit chain
  orvel::CharsPtr pab_path;
  orvel::X509StackPtr pab_certs;
  orvel::X509RefStackPtr signer_certs;
  orvel::X509StackPtr attr_certs;  // references taken from certValues
  std::string content;             // attached content as read
  bool detached = false;
};

// The certificate of SignerInfo i, or null.
X509* signer_certificate(Verification& v, PKCS7_SIGNER_INFO* si, int i, int type) {
  X509* from_list = sk_X509_value(v.signer_certs.get(), i);
  if (type != SIG_TYPE_PKCS7_ANY && type != SIG_TYPE_CADES) return from_list;
  X509* cert = ssf_GetSubjectCertificateFromAttrs(si);
  if (cert != nullptr) {
    if (sk_X509_push(v.attr_certs.get(), cert) <= 0) {
      X509_free(cert);
      return nullptr;
    }
    return cert;
  }
  if (type == SIG_TYPE_CADES) return nullptr;
  log_err("%s() 10.1 : no certificate found for signer #%d, si = %#X", kFunc, i, low32(si));
  log_write("%s() : trying to get certificate from PAB and included certs", kFunc);
  if (from_list == nullptr)
    log_err("%s() 10.2 : no certificate found in PAB and included certs", kFunc);
  return from_list;
}

// The result code of one SignerInfo.
int verify_signer(Verification& v, PKCS7_SIGNER_INFO* si, X509* cert, bool enhanced, int type) {
  orvel::CharsPtr name(brek_x509_get_name_from_X509(cert));
  if (!name) log_err("%s() 10.4 : signer_name is NULL", kFunc);
  const char* signer = name ? name.get() : "";
  if (enhanced) {
    const int rc = VerifyEnhancedSignature(v.chain.get(), v.p7.get(), si, v.pab_certs.get());
    if (rc != 0) log_err("%s() 11 : enhanced signature for signer '%s' is invalid", kFunc, signer);
    return rc;
  }
  if (type == SIG_TYPE_CADES_BES || (type == SIG_TYPE_PKCS7_ANY && ess_signing_cert_present(si))) {
    if (check_ess_signing_cert(si, cert) != 1) {
      log_err("%s() 11.1 : check_ess_signing_cert for signer '%s' failed", kFunc, signer);
      return SSF_SIGNATURE_INVALID;
    }
  }
  if (SSF_PKCS7_signatureVerify(v.chain.get(), v.p7.get(), si, cert) <= 0) {
    log_err("%s() 12 : signature for signer '%s' is invalid", kFunc, signer);
    print_brekssl_errors();
    return SSF_SIGNATURE_INVALID;
  }
  const int rc = GetCertificateTrustedStatus(cert, v.pab_certs.get(), trust_time(si));
  if (rc == 0)
    log_write("%s() : signer's certificate is trusted", kFunc);
  else
    log_err("%s() : signer's certificate is not trusted", kFunc);
  return rc;
}

// Steps 1 to 6: the message, the content, the PAB and the signer list.
int prepare(Verification& v, const SsfDataBlob* input, const SsfDataBlob* signed_data,
            int bUseCerts, const SsfDataBlob* pab) {
  orvel::BioPtr in(BIO_new_mem_buf(signed_data->pbData, signed_data->cbData));
  if (!in) {
    log_err("%s() 1 : BIO_new_mem_buf() failed", kFunc);
    return SSF_API_NOMEMORY;
  }
  v.p7.reset(d2i_PKCS7_bio(in.get(), nullptr));
  if (!v.p7) {
    log_err("%s() 2 : d2i_PKCS7_bio() failed", kFunc);
    print_brekssl_errors();
    return SSF_API_DECODE_FAILED;
  }
  if (!PKCS7_type_is_signed(v.p7.get())) {
    log_err("%s() 3 : PKCS7 has wrong format", kFunc);
    return SSF_API_UNKNOWN_FORMAT;
  }
  v.detached = PKCS7_get_detached(v.p7.get()) != 0;
  orvel::BioPtr data_in;
  if (v.detached) {
    if (input == nullptr || input->pbData == nullptr || input->cbData <= 0) {
      log_err("%s() 4 : no source data provided", kFunc);
      return SSF_API_NOINPUT;
    }
    SsfDataBlob dec;
    const int rc = decode_data(&dec, input);
    v.input_bytes.reset(dec.pbData);
    v.input_len = dec.cbData;
    if (rc != 0) {
      log_err("%s() 4.1 : decode_data() returned %d", kFunc, rc);
      return rc;
    }
    data_in.reset(BIO_new_mem_buf(v.input_bytes.get(), v.input_len));
    if (!data_in) {
      log_err("%s() 5 : BIO_new_mem_buf() failed", kFunc);
      return SSF_API_NOMEMORY;
    }
  }
  STACK_OF(PKCS7_SIGNER_INFO)* infos = PKCS7_get_signer_info(v.p7.get());
  if (sk_PKCS7_SIGNER_INFO_num(infos) <= 0) {
    log_err("%s() 6 : no signatures on data found", kFunc);
    return SSF_API_UNKNOWN_FORMAT;
  }
  v.pab_path.reset(
      get_sz_string_from_sap_string(reinterpret_cast<const char*>(pab->pbData), pab->cbData));
  if (!v.pab_path) {
    log_err("%s() 7 : get_sz_string_from_sap_string() failed", kFunc);
    return SSF_API_NOMEMORY;
  }
  v.pab_certs.reset(load_certs_from_pab(v.pab_path.get()));
  if (!v.pab_certs) {
    log_err("%s() 8 : load_certs_from_pab() returned NULL", kFunc);
    if (!hok_is_specified()) return SSF_API_PAB_FAILED;
    log_write("%s() : will find root certificate in HOK", kFunc);
    v.pab_certs.reset(sk_X509_new_null());
    if (!v.pab_certs) return SSF_API_NOMEMORY;
  } else {
    log_write("%s() : found %d certificates in PAB '%s'", kFunc, sk_X509_num(v.pab_certs.get()),
              v.pab_path.get());
  }
  v.signer_certs.reset(
      SSF_PKCS7_get0_signers(v.p7.get(), v.pab_certs.get(), bUseCerts ? 0 : PKCS7_NOINTERN));
  if (!v.signer_certs) {
    log_err("%s() 9: no signers' certificates found in PAB '%s'", kFunc, v.pab_path.get());
    print_brekssl_errors();
    return SSF_API_UNKNOWN_FORMAT;
  }
  v.attr_certs.reset(sk_X509_new_null());
  if (!v.attr_certs) return SSF_API_NOMEMORY;
  v.chain.reset(PKCS7_dataInit(v.p7.get(), data_in.get()));
  if (!v.chain) {
    // A digest algorithm the toolkit does not know, or content it cannot
    // read: nothing can be checked.
    log_err("%s() 9.1 : PKCS7_dataInit() failed", kFunc);
    print_brekssl_errors();
    return SSF_API_UNKNOWN_FORMAT;
  }
  data_in.release();  // the chain owns it now
  char buf[kReadStep];
  int n;
  while ((n = BIO_read(v.chain.get(), buf, sizeof buf)) > 0)
    if (!v.detached) v.content.append(buf, static_cast<size_t>(n));
  return SSF_API_OK;
}

// Steps 8 and 9: the output, and the comparison with the given data.
int hand_back(Verification& v, SsfDataBlob* output, const SsfDataBlob* input, int overall) {
  if (v.detached) {
    if (!copy_to_blob(output, input->pbData, static_cast<size_t>(input->cbData))) {
      log_err("%s() 15 : OPENSSL_malloc( %d ) failed", kFunc, input->cbData);
      return SSF_API_NOMEMORY;
    }
    return overall;
  }
  SsfDataBlob content;
  content.pbData = reinterpret_cast<unsigned char*>(v.content.empty() ? nullptr : v.content.data());
  content.cbData = static_cast<SsfInt>(v.content.size());
  const int rc = encode_data(output, &content);
  if (rc != 0) {
    log_err("%s() 13 : encode_data() failed", kFunc);
    return rc;
  }
  if (overall != 0 || input == nullptr || input->pbData == nullptr || input->cbData <= 0)
    return overall;
  log_write("%s() : included_len = %d, source_len = %d", kFunc, content.cbData, input->cbData);
  SsfDataBlob dec;
  const int drc = decode_data(&dec, input);
  orvel::BytesPtr dec_owner(dec.pbData);
  if (drc != 0) {
    log_err("%s() 16 : decode_data() failed", kFunc);
    return SSF_API_NOINPUT;
  }
  log_write("%s() : dec_in->cbData = %d", kFunc, dec.cbData);
  if (dec.cbData != content.cbData) {
    log_err("%s() 17 : provided and attached datasets are different", kFunc);
    return SSF_API_NOINPUT;
  }
  if (dec.cbData > 0 && memcmp(dec.pbData, content.pbData, static_cast<size_t>(dec.cbData)) != 0) {
    log_err("%s() 18 : provided and attached datasets are different", kFunc);
    return SSF_API_NOINPUT;
  }
  return SSF_API_OK;
}

int verify(SsfDataBlob* output, const SsfDataBlob* input, const SsfDataBlob* signed_data,
           int bUseCerts, const SsfDataBlob* pab, SigRcpSsfInformationList* results, int type) {
  Verification v;
  const int rc = prepare(v, input, signed_data, bUseCerts, pab);
  if (rc != 0) return rc;
  int overall = SSF_API_OK;
  STACK_OF(PKCS7_SIGNER_INFO)* infos = PKCS7_get_signer_info(v.p7.get());
  for (int i = 0; i < sk_PKCS7_SIGNER_INFO_num(infos); ++i) {
    PKCS7_SIGNER_INFO* si = sk_PKCS7_SIGNER_INFO_value(infos, i);
    if (type == SIG_TYPE_NONE) log_write("%s() 10.0 : sign_type = %d - unknown", kFunc, type);
    const bool enhanced =
        type == SIG_TYPE_CADES || (type == SIG_TYPE_PKCS7_ANY && ssf_signature_is_enhanced(si, 0));
    X509* cert = signer_certificate(v, si, i, type);
    int result;
    if (cert == nullptr) {
      log_err("%s() 10.3 : no certificate found for signer #%d, si = %#X", kFunc, i, low32(si));
      result = SSF_CERT_NOT_FOUND;
    } else {
      result = verify_signer(v, si, cert, enhanced, type);
    }
    if (result != 0) overall = SSF_API_SIGNER_FAILED;
    SigRcpSsfInfo* rec = nullptr;
    if (set_profile_data(enhanced ? 1 : 0, &rec, si, cert, result) != 0) {
      log_err("%s() 12.1 : set_profile_data() failed", kFunc);
    } else if (SsfINSSigRcpSsfInfo(rec, results) != 0) {
      free_result_record(rec);
    }
  }
  return hand_back(v, output, input, overall);
}

}  // namespace

int ssf_verify_data(SsfDataBlob* output, const SsfDataBlob* input, const SsfDataBlob* signed_data,
                    int bUseCerts, const SsfDataBlob* pab, const SsfDataBlob* /*pab_password*/,
                    SigRcpSsfInformationList* signerResultList, int type) {
  dbg("%s() begin at %s", kFunc, get_time_string());
  // The records are appended behind those the host's list already holds.
  SigRcpSsfInformationList host_tail = nullptr;
  if (signerResultList != nullptr)
    for (auto* e = *signerResultList; e != nullptr; e = e->next) host_tail = e;
  const int rc = run_guarded(kFunc, SSF_API_NOMEMORY, [&] {
    return verify(output, input, signed_data, bUseCerts, pab, signerResultList, type);
  });
  ERR_clear_error();
  SigRcpSsfInformationList list = signerResultList ? *signerResultList : nullptr;
  log_verification_summary(kFunc, list, host_tail ? host_tail->next : list, rc);
  return rc;
}
