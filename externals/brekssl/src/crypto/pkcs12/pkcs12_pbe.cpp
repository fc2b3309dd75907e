#include "pkcs12/pkcs12_pbe.h"

#include <openssl/asn1t.h>
#include <openssl/err.h>
#include <openssl/pkcs12.h>

#include <cstdint>
#include <memory>

#include "ossl_ptr.h"

namespace {

using PbeParamPtr = std::unique_ptr<PBEPARAM, orvel::Free<PBEPARAM, PBEPARAM_free>>;
using Pbe2ParamPtr = std::unique_ptr<PBE2PARAM, orvel::Free<PBE2PARAM, PBE2PARAM_free>>;
using Pbkdf2ParamPtr = std::unique_ptr<PBKDF2PARAM, orvel::Free<PBKDF2PARAM, PBKDF2PARAM_free>>;
using ScryptParamsPtr =
    std::unique_ptr<SCRYPT_PARAMS, orvel::Free<SCRYPT_PARAMS, SCRYPT_PARAMS_free>>;

// The scrypt parameters N, r and p; all 0 when they do not read.
struct ScryptCost {
  uint64_t n = 0, r = 0, p = 0;
  // N * r * p above the limit, without overflow.
  bool too_high() const {
    if (n == 0 || r == 0 || p == 0) return false;
    const unsigned __int128 nr = static_cast<unsigned __int128>(n) * r;
    return nr > kPkcs12MaxScryptCost || nr * p > kPkcs12MaxScryptCost;
  }
};

ScryptCost scrypt_cost(const ASN1_TYPE* parameter) {
  ScryptParamsPtr sp(static_cast<SCRYPT_PARAMS*>(
      ASN1_TYPE_unpack_sequence(ASN1_ITEM_rptr(SCRYPT_PARAMS), parameter)));
  ScryptCost c;
  if (!sp || !ASN1_INTEGER_get_uint64(&c.n, sp->costParameter) ||
      !ASN1_INTEGER_get_uint64(&c.r, sp->blockSize) ||
      !ASN1_INTEGER_get_uint64(&c.p, sp->parallelizationParameter))
    return {};
  return c;
}

// The iteration count the algorithm names; 0 when there is none to read.
// For scrypt the cost goes to *cost instead.
long iterations(const X509_ALGOR* alg, ScryptCost* cost) {
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
  if (!pbe2 || pbe2->keyfunc == nullptr) return 0;
  if (OBJ_obj2nid(pbe2->keyfunc->algorithm) == NID_id_scrypt) {
    *cost = scrypt_cost(pbe2->keyfunc->parameter);
    return 0;
  }
  if (OBJ_obj2nid(pbe2->keyfunc->algorithm) != NID_id_pbkdf2) return 0;
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
  ScryptCost cost;
  const long count = iterations(alg, &cost);
  ERR_pop_to_mark();
  if (cost.too_high()) {
    ERR_raise_data(ERR_LIB_PKCS12, PKCS12_R_DECODE_ERROR,
                   "PBE scrypt cost N*r*p = %llu*%llu*%llu is above the limit of %llu",
                   static_cast<unsigned long long>(cost.n), static_cast<unsigned long long>(cost.r),
                   static_cast<unsigned long long>(cost.p), kPkcs12MaxScryptCost);
    return false;
  }
  return ssf_pkcs12_iterations_ok("PBE", count);
}
