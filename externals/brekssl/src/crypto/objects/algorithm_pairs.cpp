#include "objects/algorithm_pairs.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/objects.h>

#include "objects/ssf_objects.h"

namespace {

struct SigPair {
  SsfObject sig;
  SsfObject md;
  SsfObject key;
};

constexpr SigPair kSigPairs[] = {
    {SsfObject::id_tc26_signwithdigest_gost3410_2012_256, SsfObject::md_gost12_256,
     SsfObject::gost2012_256},
    {SsfObject::id_tc26_signwithdigest_gost3410_2012_512, SsfObject::md_gost12_512,
     SsfObject::gost2012_512},
};

struct PrfRow {
  SsfObject prf;
  SsfObject md;
};

constexpr PrfRow kPrfRows[] = {
    {SsfObject::id_tc26_hmac_gost_3411_2012_256, SsfObject::md_gost12_256},
    {SsfObject::id_tc26_hmac_gost_3411_2012_512, SsfObject::md_gost12_512},
};

bool register_sig_pair(const SigPair& p) {
  int sig = ssf_object_nid(p.sig), md = ssf_object_nid(p.md), key = ssf_object_nid(p.key);
  if (sig == NID_undef || md == NID_undef || key == NID_undef) return false;
  int have_md = NID_undef, have_key = NID_undef;
  if (OBJ_find_sigid_algs(sig, &have_md, &have_key)) {
    if (have_md == md && have_key == key) return true;
    ERR_raise(ERR_LIB_OBJ, OBJ_R_OID_EXISTS);
    ERR_add_error_data(2, "signature pair differs: ", OBJ_nid2sn(sig));
    return false;
  }
  return OBJ_add_sigid(sig, md, key) == 1;
}

bool register_prf(const PrfRow& r) {
  int prf = ssf_object_nid(r.prf), md = ssf_object_nid(r.md);
  if (prf == NID_undef || md == NID_undef) return false;
  int have_md = NID_undef;
  if (EVP_PBE_find(EVP_PBE_TYPE_PRF, prf, nullptr, &have_md, nullptr)) {
    if (have_md == md) return true;
    ERR_raise(ERR_LIB_EVP, EVP_R_UNKNOWN_PBE_ALGORITHM);
    ERR_add_error_data(2, "PRF row differs: ", OBJ_nid2sn(prf));
    return false;
  }
  return EVP_PBE_alg_add_type(EVP_PBE_TYPE_PRF, prf, -1, md, nullptr) == 1;
}

}  // namespace

int ssf_register_algorithm_pairs() {
  for (const SigPair& p : kSigPairs)
    if (!register_sig_pair(p)) return 0;
  for (const PrfRow& r : kPrfRows)
    if (!register_prf(r)) return 0;
  return 1;
}
