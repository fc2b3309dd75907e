#include "engines/gost/gost_param_set.h"

#include <openssl/err.h>
#include <openssl/objects.h>
#include <stdio.h>

namespace {

// Longest DER identifier looked up; the core's sets have 9 and 11 bytes.
constexpr int kMaxDer = 64;

}  // namespace

const Gost28147ParamSet* vkc_param_set_by_obj(const ASN1_OBJECT* obj) {
  if (obj == nullptr || OBJ_length(obj) == 0) return nullptr;
  int n = i2d_ASN1_OBJECT(obj, nullptr);
  if (n <= 0 || n > kMaxDer) return nullptr;
  unsigned char der[kMaxDer];
  unsigned char* p = der;
  if (i2d_ASN1_OBJECT(obj, &p) != n) return nullptr;
  Gost28147ParamSet* ps = nullptr;
  if (GOST28147_89_FindParByDerOid(der, static_cast<uint32_t>(n), &ps) != 0) return nullptr;
  return ps;
}

const Gost28147ParamSet* vkc_param_set_by_nid(int nid) {
  if (nid == NID_undef) return nullptr;
  // OBJ_nid2obj queues "unknown nid" for a number it does not know.
  ERR_set_mark();
  const ASN1_OBJECT* obj = OBJ_nid2obj(nid);
  ERR_pop_to_mark();
  return vkc_param_set_by_obj(obj);
}

const Gost28147ParamSet* vkc_choose_param_set(int nid, const VKC2012_ENGINE_CTX* ectx,
                                              int* used_nid) {
  if (const Gost28147ParamSet* ps = vkc_param_set_by_nid(nid)) {
    *used_nid = nid;
    return ps;
  }
  Gost28147ParamSet* ps = nullptr;
  int32_t rc = GOST28147_89_FindParByDerOid(
      ectx->gost28147_param_oid, static_cast<uint32_t>(vkc_engine_param_oid_len(ectx)), &ps);
  if (rc != 0 || ps == nullptr) {
    fprintf(stderr, "GOST28147_89_FindParByDerOid failed, rc = 0x%x\n", static_cast<unsigned>(rc));
    return nullptr;
  }
  *used_nid = ectx->gost28147_param_nid;
  return ps;
}
