#include "pkcs12/pkcs12_pbe.h"

#include <openssl/asn1t.h>
#include <openssl/err.h>
#include <openssl/pkcs12.h>

#include <memory>

#include "ossl_ptr.h"

namespace {

using PbeParamPtr = std::unique_ptr<PBEPARAM, orvel::Free<PBEPARAM, PBEPARAM_free>>;
using Pbe2ParamPtr = std::unique_ptr<PBE2PARAM, orvel::Free<PBE2PARAM, PBE2PARAM_free>>;
using Pbkdf2ParamPtr = std::unique_ptr<PBKDF2PARAM, orvel::Free<PBKDF2PARAM, PBKDF2PARAM_free>>;

// The iteration count the algorithm names; 0 when there is none to read.
long iterations(const X509_ALGOR* alg) {
  const ASN1_OBJECT* obj = nullptr;
  int ptype = V_ASN1_UNDEF;
  const void* pval = nullptr;
  X509_ALGOR_get0(&obj, &ptype, &pval, alg);
  if (ptype != V_ASN1_SEQUENCE || pval == nullptr) return 0;
  ASN1_TYPE param{};
  param.type = V_ASN1_SEQUENCE;
  param.value.sequence = static_cast<ASN1_STRING*>(const_cast<void*>(pval));
  if (OBJ_obj2nid(obj) != NID_pbes2) {
    PbeParamPtr pbe(
        static_cast<PBEPARAM*>(ASN1_TYPE_unpack_sequence(ASN1_ITEM_rptr(PBEPARAM), &param)));
    return pbe && pbe->iter != nullptr ? ASN1_INTEGER_get(pbe->iter) : 0;
  }
  Pbe2ParamPtr pbe2(
      static_cast<PBE2PARAM*>(ASN1_TYPE_unpack_sequence(ASN1_ITEM_rptr(PBE2PARAM), &param)));
  if (!pbe2 || pbe2->keyfunc == nullptr || OBJ_obj2nid(pbe2->keyfunc->algorithm) != NID_id_pbkdf2)
    return 0;
  Pbkdf2ParamPtr kdf(static_cast<PBKDF2PARAM*>(
      ASN1_TYPE_unpack_sequence(ASN1_ITEM_rptr(PBKDF2PARAM), pbe2->keyfunc->parameter)));
  return kdf && kdf->iter != nullptr ? ASN1_INTEGER_get(kdf->iter) : 0;
}

}  // namespace

bool ssf_pkcs12_iterations_ok(const char* what, long count) {
  if (count <= kPkcs12MaxIterations) return true;
  ERR_raise_data(ERR_LIB_PKCS12, PKCS12_R_DECODE_ERROR,
                 "%s iteration count %ld is above the limit of %d", what, count,
                 kPkcs12MaxIterations);
  return false;
}

bool ssf_pkcs12_pbe_ok(const X509_ALGOR* alg) {
  if (alg == nullptr) return true;
  // Reading the parameters must leave no error behind when they do not parse.
  ERR_set_mark();
  const long count = iterations(alg);
  ERR_pop_to_mark();
  return ssf_pkcs12_iterations_ok("PBE", count);
}
