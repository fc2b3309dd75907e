#include "engines/gost/e_gost_ctrl.h"

#include <openssl/objects.h>
#include <stdio.h>
#include <string.h>

#include "engines/gost/gost_engine_ctx.h"
#include "objects/ssf_objects.h"

const ENGINE_CMD_DEFN vkc_cmds[] = {
    {kVkcCmdParamsGost28147, "PARAMS_GOST28147", "GOST 28147 CryptoPro param set",
     ENGINE_CMD_FLAG_STRING},
    {kVkcCmdPbePrfHmac, "PBE_PRF_HMAC", "PBE PRF HMAC OID", ENGINE_CMD_FLAG_STRING},
    {kVkcCmdParamsGost2001, "PARAMS_GOST2001", "GOST R 34.10-2001 key parameter set",
     ENGINE_CMD_FLAG_STRING},
    {kVkcCmdParamsGost2012_256, "PARAMS_GOST2012_256",
     "GOST R 34.10-2012 (256 bit) key parameter set", ENGINE_CMD_FLAG_STRING},
    {kVkcCmdParamsGost2012_512, "PARAMS_GOST2012_512",
     "GOST R 34.10-2012 (512 bit) key parameter set", ENGINE_CMD_FLAG_STRING},
    {kVkcCmdPkFormat, "PK_FORMAT", "Private key format param", ENGINE_CMD_FLAG_STRING},
    {0, nullptr, nullptr, 0},
};

namespace {

// The default GOST 28147-89 set; returns the NID set before, or with no
// text the current NID. The identifier must fit the context's buffer.
int params_gost28147(VKC2012_ENGINE_CTX* ctx, const char* s) {
  if (s == nullptr) return ctx->gost28147_param_nid;
  int nid = OBJ_txt2nid(s);
  if (nid == NID_undef) {
    fprintf(stderr, "Invalid PARAMS_GOST28147: %s\n", s);
    return 0;
  }
  const ASN1_OBJECT* obj = OBJ_nid2obj(nid);
  int n = obj != nullptr && OBJ_length(obj) > 0 ? i2d_ASN1_OBJECT(obj, nullptr) : 0;
  unsigned char der[kVkcParamOidMax];
  unsigned char* p = der;
  if (n <= 0 || n > kVkcParamOidMax || i2d_ASN1_OBJECT(obj, &p) != n) {
    fprintf(stderr, "Can't build ASN1_OBJECT from PARAMS_GOST28147: %s\n", s);
    return 0;
  }
  memset(ctx->gost28147_param_oid, 0, sizeof(ctx->gost28147_param_oid));
  memcpy(ctx->gost28147_param_oid, der, static_cast<size_t>(n));
  int previous = ctx->gost28147_param_nid;
  ctx->gost28147_param_nid = nid;
  return previous;
}

int pbe_prf_hmac(VKC2012_ENGINE_CTX* ctx, const char* s) {
  if (s == nullptr) {
    fputs("Can't build PBE_PRF_HMAC ASN1_OBJECT from NULL\n", stderr);
    return 0;
  }
  int nid = OBJ_txt2nid(s);
  if (nid == NID_undef) {
    fprintf(stderr, "Invalid PBE_PRF_HMAC: %s\n", s);
    return 0;
  }
  if (nid != ssf_nid_id_tc26_hmac_gost_3411_2012_512() && nid != NID_id_HMACGostR3411_94) {
    fprintf(stderr, "Unsupported PBE_PRF_HMAC: %s\n", s);
    return 0;
  }
  ctx->pbe_prf_nid = nid;
  return 1;
}

bool is_gost2001_param_set(int nid) {
  return nid == NID_id_GostR3410_2001_TestParamSet ||
         nid == NID_id_GostR3410_2001_CryptoPro_A_ParamSet ||
         nid == NID_id_GostR3410_2001_CryptoPro_B_ParamSet ||
         nid == NID_id_GostR3410_2001_CryptoPro_C_ParamSet ||
         nid == NID_id_GostR3410_2001_CryptoPro_XchA_ParamSet ||
         nid == NID_id_GostR3410_2001_CryptoPro_XchB_ParamSet;
}

bool is_gost2012_512_param_set(int nid) {
  return nid != NID_undef && (nid == ssf_nid_id_tc26_gost_3410_2012_512_paramSetTest() ||
                              nid == ssf_nid_id_tc26_gost_3410_2012_512_paramSetA() ||
                              nid == ssf_nid_id_tc26_gost_3410_2012_512_paramSetB());
}

// A default key parameter set; with no text nothing changes. The 2001 and
// 2012 (256 bit) defaults take the six GOST R 34.10-2001 sets, the 512-bit
// default the three sets of its own.
int key_params(int32_t* field, const char* s, bool long_keys) {
  if (s == nullptr) return 1;
  int nid = OBJ_txt2nid(s);
  if (nid == NID_undef) {
    if (long_keys)
      fprintf(stderr, "Unknown PARAMS_GOST2012_512: %s\n", s);
    else
      fprintf(stderr, "Unknown PARAMS_GOST2001/2012_256: %s\n", s);
    return 0;
  }
  if (long_keys ? !is_gost2012_512_param_set(nid) : !is_gost2001_param_set(nid)) {
    if (long_keys)
      fprintf(stderr, "Unsupported PARAMS_GOST2012_512: %s\n", s);
    else
      fprintf(stderr, "Unsupported PARAMS_GOST2001/2012_256: %s\n", s);
    return 0;
  }
  *field = nid;
  return 1;
}

int pk_format(VKC2012_ENGINE_CTX* ctx, const char* s) {
  if (s == nullptr) return 1;
  if (strcmp(s, "MASKED") == 0) {
    ctx->pk_format = kVkcPkFormatMasked;
  } else if (strcmp(s, "LEGACY") == 0) {
    ctx->pk_format = kVkcPkFormatLegacy;
  } else {
    fprintf(stderr, "Unsupported PK_FORMAT: '%s'\n", s);
    return 0;
  }
  return 1;
}

}  // namespace

int vkc_control_func(ENGINE* e, int cmd, long /*i*/, void* p, void (* /*f*/)(void)) {
  VKC2012_ENGINE_CTX* ctx = vkc_engine_ctx_of(e);
  if (ctx == nullptr) {
    fputs("ENGINE_get_ex_data failed\n", stderr);
    return 0;
  }
  const char* s = static_cast<const char*>(p);
  switch (cmd) {
    case kVkcCmdParamsGost28147:
      return params_gost28147(ctx, s);
    case kVkcCmdPbePrfHmac:
      return pbe_prf_hmac(ctx, s);
    case kVkcCmdParamsGost2001:
      return key_params(&ctx->gost2001_param_nid, s, false);
    case kVkcCmdParamsGost2012_256:
      return key_params(&ctx->gost2012_256_param_nid, s, false);
    case kVkcCmdParamsGost2012_512:
      return key_params(&ctx->gost2012_512_param_nid, s, true);
    case kVkcCmdPkFormat:
      return pk_format(ctx, s);
    case kVkcCmdReserved:
      return 1;
    default:
      return kVkcCtrlUnknownCommand;
  }
}
