// EnhanceSignature: a signature time stamp, revocation and certificate
// references and values, and an ES-C time stamp over them, added to one
// SignerInfo as unsigned attributes.
#include "sign_enhance.h"

#include <openssl/err.h>

#include <string>
#include <vector>

#include "cades_attr_ids.h"
#include "codes.h"
#include "enhance_deps.h"
#include "enhance_util.h"
#include "enhance_values.h"
#include "log.h"
#include "ossl_ptr.h"
#include "settings.h"

namespace {

constexpr char kFunc[] = "EnhanceSignature";

using GenTimePtr = orvel::Asn1TimePtr;

// A time stamp of the kind over the data, added as the attribute; the
// authority certificate and genTime go out. 0 or the code of the stamp.
int add_time_stamp(const char* name, int kind, int nid, PKCS7_SIGNER_INFO* si,
                   const unsigned char* data, int len, const EVP_MD* md, X509_STORE* store,
                   X509** tsa_cert, GenTimePtr* gen_time) {
  ASN1_OCTET_STRING* tok = nullptr;
  ASN1_GENERALIZEDTIME* t = nullptr;
  const int rc = make_time_stamp(kind, &tok, data, len, md, store, tsa_cert, &t);
  orvel::Asn1OctetStringPtr token(tok);
  gen_time->reset(t);
  if (rc != 0) {
    log_err("%s() 1 : make_time_stamp() failed", name);
    return rc;
  }
  if (!token || !enhance_set_unsigned_attr(si, nid, ASN1_STRING_get0_data(token.get()),
                                           ASN1_STRING_length(token.get()))) {
    log_err("%s() 2 : PKCS7_add_attribute() failed", name);
    print_brekssl_errors();
    return SSF_API_NOMEMORY;
  }
  return 0;
}

int enhance(PKCS7_SIGNER_INFO* si, X509* cert, X509_STORE* store, const std::string& signer) {
  const EVP_MD* md =
      si->digest_alg ? EVP_get_digestbyobj(si->digest_alg->algorithm) : nullptr;
  if (md == nullptr) {
    log_err("%s() 0 : failed to get digest algorithm for '%s'", kFunc, signer.c_str());
    return -1;
  }
  log_write("%s() : digest algorithm for signer '%s' is '%s'", kFunc, signer.c_str(),
            OBJ_nid2ln(EVP_MD_type(md)));

  X509* tsa = nullptr;
  GenTimePtr ts_time;
  int rc = add_time_stamp("add_timeStampToken_attribute", TS_KIND_SIGNATURE,
                          cades::kNidSignatureTimeStamp, si,
                          ASN1_STRING_get0_data(si->enc_digest),
                          ASN1_STRING_length(si->enc_digest), md, store, &tsa, &ts_time);
  orvel::X509Ptr tsa_cert(tsa);
  if (rc != 0) {
    log_err("%s() 2 : add_timeStampToken_attribute() failed for '%s'", kFunc, signer.c_str());
    return rc;
  }
  if (!ts_time) {
    log_err("%s() 3 : ts_time is NULL", kFunc);
    return SSF_SIGNATURE_INVALID;
  }
  orvel::X509StackPtr working(sk_X509_new_null());
  if (!working || (tsa_cert && !add_cert(working.get(), tsa_cert.get()))) return -1;

  rc = add_revValues_attribute(si, cert, store, md, ts_time.get(), working.get());
  if (rc != 0) {
    log_err("%s() 4 : add_revValues_attribute() failed for '%s'", kFunc, signer.c_str());
    return rc;
  }
  STACK_OF(X509)* col = nullptr;
  const int cv = add_certValues_attribute(si, md, working.get(), store, &col);
  orvel::X509StackPtr collected(col);
  if (cv != 1) {
    log_err("%s() 5 : add_certValues_attribute() failed for '%s'", kFunc, signer.c_str());
    return SSF_API_NOMEMORY;
  }

  std::vector<unsigned char> esc;
  if (!get_esc_data(si, true, &esc)) {
    log_err("%s() 6 : get_esc_data() failed", kFunc);
    return SSF_API_NOMEMORY;
  }
  GenTimePtr esc_time;
  rc = add_time_stamp("add_escTimeStamp_attribute", TS_KIND_ESC, cades::kNidEscTimeStamp, si,
                      esc.data(), static_cast<int>(esc.size()), md, store, nullptr, &esc_time);
  if (rc != 0) {
    log_err("%s() 6 : add_escTimeStamp_attribute() failed for '%s'", kFunc, signer.c_str());
    return rc;
  }
  if (!esc_time) {
    log_err("%s() 7 : esc_time is NULL", kFunc);
    return SSF_SIGNATURE_INVALID;
  }
  const time_t at = enhance_gentime_to_time_t(esc_time.get());
  if (at == -1 || !check_certs_validity(collected.get(), at)) {
    log_err("%s() 8 : not all certificates are valid at ES-C timestamp time", kFunc);
    return SSF_API_NOMEMORY;
  }
  return 0;
}

}  // namespace

int AddCACertsToStore(X509* /*cert*/, X509_STORE* store) {
  constexpr char kName[] = "AddCACertsToStore";
  if (CA_FILE == nullptr || *CA_FILE == '\0') {
    log_write("%s() : CA file not specified", kName);
    return 0;
  }
  X509_LOOKUP* lookup = store ? X509_STORE_add_lookup(store, X509_LOOKUP_file()) : nullptr;
  if (lookup == nullptr || X509_LOOKUP_load_file(lookup, CA_FILE, X509_FILETYPE_PEM) <= 0) {
    log_err("%s() 3 : X509_LOOKUP_load_file( %s ) failed", kName, CA_FILE);
    print_brekssl_errors();
    return -1;
  }
  return 0;
}

int EnhanceSignature(PKCS7* p7, PKCS7_SIGNER_INFO* si, X509* cert, X509_STORE* store) {
  if (p7 == nullptr || si == nullptr || cert == nullptr || store == nullptr ||
      si->enc_digest == nullptr) {
    log_err("%s() : bad args", kFunc);
    return SSF_API_CRYPTO_FAILED;
  }
  const std::string signer = enhance_subject(cert);
  const int rc = enhance(si, cert, store, signer);
  ERR_clear_error();
  log_write("%s() : end, retcode = %d (%s)", kFunc, rc, GetSignerErrorMessage(rc));
  return rc;
}

int EnhanceAllSignatures(PKCS7* p7, STACK_OF(X509) * certs, SigRcpSsfInformationList signers,
                         X509_STORE* store) {
  STACK_OF(PKCS7_SIGNER_INFO)* infos = PKCS7_get_signer_info(p7);
  int rc = 0;
  SigRcpSsfInformationList e = signers;
  for (int i = 0; i < sk_PKCS7_SIGNER_INFO_num(infos); ++i, e = e ? e->next : nullptr) {
    // Each signer starts from the trusted certificates alone, whatever an
    // earlier signer's enhancement met on its way.
    orvel::X509StorePtr own(enhance_store_copy(store));
    const int code = own ? EnhanceSignature(p7, sk_PKCS7_SIGNER_INFO_value(infos, i),
                                            sk_X509_value(certs, i), own.get())
                         : SSF_API_NOMEMORY;
    if (code == 0) continue;
    log_err("%s() 1 : EnhanceSignature( '%s' ) failed, idx = %d", "EnhanceAllSignatures",
            e && e->ptrSigRcp && e->ptrSigRcp->strSigRcpId ? e->ptrSigRcp->strSigRcpId : "", i);
    if (e != nullptr && e->ptrSigRcp != nullptr) e->ptrSigRcp->uResult = code;
    rc = SSF_API_SIGNER_FAILED;
  }
  return rc;
}
