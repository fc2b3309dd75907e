// Key methods of the engine's GOST token keys: signing on the token,
// verification in software, key transport, key-pair generation on a token,
// and the controls.
#include <openssl/crypto.h>
#include <openssl/engine.h>
#include <openssl/err.h>
#include <openssl/objects.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engines/gost/gost_keypair.h"
#include "engines/gost/gost_keypair_ops.h"
#include "engines/gost/gost_kt_pmeth.h"
#include "engines/gost/gost_pkey_nids.h"
#include "engines/pkcs11/e_pkcs11.h"
#include "engines/pkcs11/pk11_errors.h"
#include "engines/pkcs11/pkcs11_ameth.h"
#include "engines/pkcs11/pkcs11_engine.h"
#include "objects/ssf_objects.h"

namespace {

std::array<int, 3> g_nids{};
std::array<EVP_PKEY_METHOD*, 3> g_pmeths{};
std::array<EVP_PKEY_ASN1_METHOD*, 3> g_ameths{};

Pkcs11PkeyData* data_of(EVP_PKEY_CTX* ctx) {
  return static_cast<Pkcs11PkeyData*>(EVP_PKEY_CTX_get_data(ctx));
}

// The sets the parameter-set control takes: CryptoPro A, B, C, XchA and
// XchB, the three 512-bit TC26 sets (test, A, B) and TC26 256-bit set A.
bool accepted_paramset(int nid) {
  return nid != NID_undef &&
         (nid == NID_id_GostR3410_2001_CryptoPro_A_ParamSet ||
          nid == NID_id_GostR3410_2001_CryptoPro_B_ParamSet ||
          nid == NID_id_GostR3410_2001_CryptoPro_C_ParamSet ||
          nid == NID_id_GostR3410_2001_CryptoPro_XchA_ParamSet ||
          nid == NID_id_GostR3410_2001_CryptoPro_XchB_ParamSet ||
          nid == ssf_nid_id_tc26_gost_3410_2012_512_paramSetTest() ||
          nid == ssf_nid_id_tc26_gost_3410_2012_512_paramSetA() ||
          nid == ssf_nid_id_tc26_gost_3410_2012_512_paramSetB() ||
          nid == ssf_nid_id_tc26_gost_3410_2012_256_paramSetA());
}

// The key-operation data of a context: the key's parameter set, or the
// default set of the method's key type when there is no key yet.
int pkey_pkcs11_init_type(EVP_PKEY_CTX* ctx, int type) {
  EVP_PKEY* key = EVP_PKEY_CTX_get0_pkey(ctx);
  int param = type == gost_nid_key_2012_512() ? ssf_nid_id_tc26_gost_3410_2012_512_paramSetA()
                                              : NID_id_GostR3410_2001_CryptoPro_XchA_ParamSet;
  if (key != nullptr) {
    const auto* rec = static_cast<const Pkcs11TokenKey*>(EVP_PKEY_get0(key));
    if (EVP_PKEY_get_base_id(key) != type || rec == nullptr) return 0;
    param = rec->key.param_nid;
  }
  auto* d = static_cast<Pkcs11PkeyData*>(OPENSSL_zalloc(sizeof(Pkcs11PkeyData)));
  if (d == nullptr) return 0;
  d->gost.key_nid = type;
  d->gost.param_nid = param;
  EVP_PKEY_CTX_set_data(ctx, d);
  return 1;
}

template <size_t I>
int pkey_pkcs11_init(EVP_PKEY_CTX* ctx) {
  return pkey_pkcs11_init_type(ctx, g_nids[I]);
}

void pkey_pkcs11_cleanup(EVP_PKEY_CTX* ctx) {
  Pkcs11PkeyData* d = data_of(ctx);
  if (d == nullptr) return;
  OPENSSL_free(d->gost.ukm);
  OPENSSL_free(d->label);
  OPENSSL_free(d);
  EVP_PKEY_CTX_set_data(ctx, nullptr);
}

int pkey_pkcs11_copy(EVP_PKEY_CTX* dst, const EVP_PKEY_CTX* src) {
  const auto* s = static_cast<const Pkcs11PkeyData*>(
      EVP_PKEY_CTX_get_data(const_cast<EVP_PKEY_CTX*>(src)));
  if (s == nullptr) return 1;
  auto* d = static_cast<Pkcs11PkeyData*>(OPENSSL_memdup(s, sizeof(*s)));
  if (d == nullptr) return 0;
  d->gost.ukm = nullptr;
  d->gost.ukm_len = 0;
  d->label = s->label != nullptr ? OPENSSL_strdup(s->label) : nullptr;
  EVP_PKEY_CTX_set_data(dst, d);
  return 1;
}

int pkey_pkcs11_ctrl(EVP_PKEY_CTX* ctx, int type, int p1, void* p2) {
  static const char kFunc[] = "pkey_pkcs11_ctrl";
  Pkcs11PkeyData* d = data_of(ctx);
  if (d == nullptr) return 0;
  switch (type) {
    case EVP_PKEY_CTRL_MD: {
      const int md = p2 != nullptr ? EVP_MD_get_type(static_cast<const EVP_MD*>(p2)) : NID_undef;
      if (md != gost_nid_md_2012_256() && md != gost_nid_md_2012_512() &&
          md != NID_id_GostR3411_94)
        return 0;
      d->gost.md = static_cast<const EVP_MD*>(p2);
      return 1;
    }
    case EVP_PKEY_CTRL_PEER_KEY:
      if (p1 == 0 || p1 == 1) return 1;
      if (p1 == 2) return static_cast<int>(d->gost.peer_key);
      if (p1 == 3) {
        d->gost.peer_key = 1;
        return 1;
      }
      return -2;
    case EVP_PKEY_CTRL_SET_IV: {
      OPENSSL_free(d->gost.ukm);
      d->gost.ukm = nullptr;
      d->gost.ukm_len = 0;
      if (p1 <= 0 || p2 == nullptr) return 1;
      d->gost.ukm = static_cast<unsigned char*>(OPENSSL_memdup(p2, static_cast<size_t>(p1)));
      if (d->gost.ukm == nullptr) return 0;
      d->gost.ukm_len = static_cast<uint32_t>(p1);
      return 1;
    }
    case kPkcs11CtrlLabel:
      OPENSSL_free(d->label);
      d->label = p2 != nullptr ? OPENSSL_strdup(static_cast<const char*>(p2)) : nullptr;
      return 1;
    case kPkcs11CtrlSlot:
      d->slot = p1;
      return 1;
    case kPkcs11CtrlParamset:
      if (!accepted_paramset(p1)) {
        fprintf(stderr, "%s() : unsupported sign parameter NID: %d\n", kFunc, p1);
        return -2;
      }
      d->gost.param_nid = p1;
      return 1;
    case EVP_PKEY_CTRL_DIGESTINIT:
    case EVP_PKEY_CTRL_PKCS7_ENCRYPT:
    case EVP_PKEY_CTRL_PKCS7_DECRYPT:
    case EVP_PKEY_CTRL_PKCS7_SIGN:
    case EVP_PKEY_CTRL_CMS_ENCRYPT:
    case EVP_PKEY_CTRL_CMS_DECRYPT:
    case EVP_PKEY_CTRL_CMS_SIGN:
      return 1;
    default:
      fprintf(stderr, "%s() : unsupported type: %d\n", kFunc, type);
      return -2;
  }
}

int engine_ctrl_string(int cmd, const char* value) {
  ENGINE* e = ENGINE_by_id(kPkcs11EngineId);
  if (e == nullptr) {
    ERR_clear_error();
    return 0;
  }
  const int rc = ENGINE_ctrl(e, cmd, 0, const_cast<char*>(value), nullptr);
  ENGINE_free(e);
  return rc;
}

int pkey_pkcs11_ctrl_str(EVP_PKEY_CTX* ctx, const char* type, const char* value) {
  if (type == nullptr || value == nullptr) return -2;
  if (strcmp(type, "label") == 0)
    return pkey_pkcs11_ctrl(ctx, kPkcs11CtrlLabel, 0, const_cast<char*>(value));
  if (strcmp(type, "slot") == 0)
    return pkey_pkcs11_ctrl(ctx, kPkcs11CtrlSlot, atoi(value), nullptr);
  if (strcmp(type, "paramset") == 0)
    return pkey_pkcs11_ctrl(ctx, kPkcs11CtrlParamset, OBJ_txt2nid(value), nullptr);
  if (strcmp(type, "libname") == 0) return engine_ctrl_string(kPkcs11CmdAttachApi, value);
  if (strcmp(type, "pin") == 0) return engine_ctrl_string(kPkcs11CmdLogin, value);
  return -2;
}

int pkcs11_gost_sign(EVP_PKEY_CTX* ctx, unsigned char* sig, size_t* siglen,
                     const unsigned char* tbs, size_t tbslen) {
  static const char kFunc[] = "pkcs11_gost_sign";
  const Pkcs11TokenKey* rec = pkcs11_token_key_of(EVP_PKEY_CTX_get0_pkey(ctx));
  if (rec == nullptr || siglen == nullptr) return -1;
  const bool wide = rec->key.key_nid == gost_nid_key_2012_512();
  const size_t size = wide ? 128 : 64;
  if (sig == nullptr) {
    *siglen = size;
    return 1;
  }
  if (*siglen < size || rec->lib == nullptr) return -1;
  CK_MECHANISM mech{wide ? CKM_TC26_GOSTR3410_512 : CKM_GOSTR3410, nullptr, 0};
  CK_RV rv = rec->lib->p11->C_SignInit(rec->session, &mech, rec->priv);
  if (rv != CKR_OK) {
    pkcs11_log_err("%s() 1 : C_SignInit() failed, rv = 0x%p (%s)", kFunc,
                   reinterpret_cast<void*>(rv), pk11errorString(rv));
    return -1;
  }
  CK_ULONG len = static_cast<CK_ULONG>(*siglen);
  rv = rec->lib->p11->C_Sign(rec->session, const_cast<unsigned char*>(tbs),
                             static_cast<CK_ULONG>(tbslen), sig, &len);
  if (rv != CKR_OK || len > *siglen) {
    pkcs11_log_err("%s() 2 : C_Sign() failed, rv = 0x%p (%s)", kFunc, reinterpret_cast<void*>(rv),
                   pk11errorString(rv));
    return -1;
  }
  *siglen = len;
  // The toolkit reads success as 1 and the length from *siglen.
  return 1;
}

int pkey_pkcs11_verify(EVP_PKEY_CTX* ctx, const unsigned char* sig, size_t siglen,
                       const unsigned char* tbs, size_t tbslen) {
  const Pkcs11TokenKey* rec = pkcs11_token_key_of(EVP_PKEY_CTX_get0_pkey(ctx));
  if (rec == nullptr || sig == nullptr) return 0;
  unsigned char der[32];
  const uint32_t der_len = gost_oid_der(rec->key.param_nid, der, sizeof(der));
  if (der_len == 0) return 0;
  return gost3410_verify(sig, siglen, tbs, tbslen, der, der_len, rec->key.pub_key, rec->key.pub_key_len);
}

int pkey_pkcs11_encrypt(EVP_PKEY_CTX* ctx, unsigned char* out, size_t* outlen,
                        const unsigned char* in, size_t inlen) {
  return pkey_vkc_encrypt(ctx, out, outlen, in, inlen);
}

int pkey_pkcs11_decrypt(EVP_PKEY_CTX* ctx, unsigned char* out, size_t* outlen,
                        const unsigned char* in, size_t inlen) {
  return TOKEN_PKEY_decrypt(ctx, out, outlen, in, inlen) == 32 ? 1 : -1;
}

bool oid_der_of(const char* dotted, std::vector<unsigned char>* der) {
  ASN1_OBJECT* obj = OBJ_txt2obj(dotted, 1);
  if (obj == nullptr) return false;
  const int n = i2d_ASN1_OBJECT(obj, nullptr);
  der->resize(n > 0 ? static_cast<size_t>(n) : 0);
  unsigned char* p = der->data();
  const bool ok = n > 0 && i2d_ASN1_OBJECT(obj, &p) == n;
  ASN1_OBJECT_free(obj);
  return ok;
}

int pkey_pkcs11_keygen(EVP_PKEY_CTX* ctx, EVP_PKEY* pkey) {
  static const char kFunc[] = "pkey_pkcs11_keygen";
  Pkcs11PkeyData* d = data_of(ctx);
  if (d == nullptr || !gost_is_signing_key_nid(d->gost.key_nid)) return -1;
  const int key_type = d->gost.key_nid;
  Pkcs11ModuleEntry* lib = pkcs11_load_library();
  if (lib == nullptr) return -1;
  std::vector<CK_SLOT_ID> slots;
  CK_RV rv = pkcs11_token_slots(lib->p11, &slots);
  if (rv != CKR_OK || slots.empty()) {
    if (rv != CKR_OK)
      pkcs11_log_err("%s() : C_GetSlotList() failed, ret code = %d (%s)", kFunc,
                     static_cast<int>(rv), pk11errorString(rv));
    else
      pkcs11_log_err("%s() : no token found", kFunc);
    pkcs11_free_library(lib);
    return -1;
  }
  CK_SESSION_HANDLE session = 0;
  const CK_SLOT_ID slot = d->slot != 0 ? static_cast<CK_SLOT_ID>(d->slot) : slots[0];
  rv = lib->p11->C_OpenSession(slot, CKF_SERIAL_SESSION | CKF_RW_SESSION, nullptr, nullptr,
                               &session);
  if (rv != CKR_OK) {
    pkcs11_log_err("%s() : C_OpenSession() failed, ret code = %d (%s)", kFunc,
                   static_cast<int>(rv), pk11errorString(rv));
    pkcs11_free_library(lib);
    return -1;
  }
  auto fail = [&]() {
    lib->p11->C_CloseSession(session);
    pkcs11_free_library(lib);
    return -1;
  };
  const char* pin = pkcs11_param(1);
  if (pin != nullptr) {
    rv = lib->p11->C_Login(session, CKU_USER, reinterpret_cast<CK_BYTE*>(const_cast<char*>(pin)),
                           static_cast<CK_ULONG>(strlen(pin)));
    if (rv != CKR_OK && rv != CKR_USER_ALREADY_LOGGED_IN) {
      pkcs11_log_err("%s() : C_Login() failed: %d (%s)", kFunc, static_cast<int>(rv),
                     pk11errorString(rv));
      return fail();
    }
  }
  const bool wide = key_type == gost_nid_key_2012_512();
  std::vector<unsigned char> digest_der, param_der;
  const char* digest_oid = key_type == gost_nid_key_2001() ? "1.2.643.2.2.30.1"
                           : wide                          ? "1.2.643.7.1.1.2.3"
                                                           : "1.2.643.7.1.1.2.2";
  ASN1_OBJECT* param_obj = OBJ_nid2obj(d->gost.param_nid);
  char param_text[64] = {};
  if (param_obj == nullptr || OBJ_obj2txt(param_text, sizeof(param_text), param_obj, 1) <= 0 ||
      !oid_der_of(digest_oid, &digest_der) || !oid_der_of(param_text, &param_der))
    return fail();
  CK_KEY_TYPE ck_type = wide ? CKK_TC26_GOSTR3410_512 : CKK_GOSTR3410;
  CK_BBOOL yes = CK_TRUE;
  const char* label = d->label != nullptr ? d->label : "";
  CK_ATTRIBUTE pub_t[] = {
      {CKA_KEY_TYPE, &ck_type, sizeof(ck_type)},
      {CKA_GOSTR3411_PARAMS, digest_der.data(), digest_der.size()},
      {CKA_GOSTR3410_PARAMS, param_der.data(), param_der.size()},
      {CKA_LABEL, const_cast<char*>(label), strlen(label)},
      {CKA_TOKEN, &yes, 1}};
  CK_ATTRIBUTE priv_t[] = {{CKA_LABEL, const_cast<char*>(label), strlen(label)},
                           {CKA_TOKEN, &yes, 1},
                           {CKA_PRIVATE, &yes, 1},
                           {CKA_DERIVE, &yes, 1}};
  CK_MECHANISM mech{wide ? CKM_TC26_GOSTR3410_512_KEY_PAIR_GEN : CKM_GOSTR3410_KEY_PAIR_GEN,
                    nullptr, 0};
  CK_OBJECT_HANDLE pub = 0, priv = 0;
  rv = lib->p11->C_GenerateKeyPair(session, &mech, pub_t, 5, priv_t, 4, &pub, &priv);
  if (rv != CKR_OK) {
    pkcs11_log_err("%s() : C_GenerateKeyPair() failed, ret code = %d (%s)", kFunc,
                   static_cast<int>(rv), pk11errorString(rv));
    return fail();
  }
  auto* rec = static_cast<Pkcs11TokenKey*>(OPENSSL_zalloc(sizeof(Pkcs11TokenKey)));
  if (rec == nullptr) return fail();
  std::vector<unsigned char> value(1024);
  CK_ATTRIBUTE va{CKA_VALUE, value.data(), value.size()};
  const size_t want = wide ? 128 : 64;
  if (lib->p11->C_GetAttributeValue(session, pub, &va, 1) != CKR_OK || va.ulValueLen != want) {
    OPENSSL_free(rec);
    return fail();
  }
  rec->key.key_nid = key_type;
  rec->key.param_nid = d->gost.param_nid;
  memcpy(rec->key.pub_key, value.data(), want);
  rec->key.pub_key_len = static_cast<uint32_t>(want);
  // The key id: SHA-1 of the public value alone, given to both objects.
  if (!EVP_Digest(rec->key.pub_key, rec->key.pub_key_len, rec->key.key_id, nullptr, EVP_sha1(), nullptr)) {
    OPENSSL_free(rec);
    return fail();
  }
  CK_ATTRIBUTE id_attr{CKA_ID, rec->key.key_id, sizeof(rec->key.key_id)};
  lib->p11->C_SetAttributeValue(session, pub, &id_attr, 1);
  lib->p11->C_SetAttributeValue(session, priv, &id_attr, 1);
  rec->lib = lib;
  rec->session = session;
  rec->priv = priv;
  ENGINE* engine = ENGINE_by_id(kPkcs11EngineId);
  const int assigned = engine != nullptr && pkcs11_assign_gost_key(engine, pkey, rec);
  ENGINE_free(engine);
  if (!assigned) {
    OPENSSL_free(rec);
    return fail();
  }
  char hex[41];
  for (size_t i = 0; i < sizeof(rec->key.key_id); i++) snprintf(hex + 2 * i, 3, "%02x", rec->key.key_id[i]);
  printf("key ID = %s\n", hex);
  return 1;
}

int slot_of(int nid) {
  for (size_t i = 0; i < g_nids.size(); i++)
    if (g_nids[i] == nid) return static_cast<int>(i);
  return -1;
}

}  // namespace

Pkcs11TokenKey* pkcs11_token_key_of(const EVP_PKEY* pkey) {
  if (pkey == nullptr) return nullptr;
  const int slot = slot_of(EVP_PKEY_get_base_id(pkey));
  if (slot < 0) return nullptr;
  const EVP_PKEY_ASN1_METHOD* ameth = nullptr;
  ENGINE* e = EVP_PKEY_get0_engine(pkey);
  if (e == nullptr) return nullptr;
  ENGINE_PKEY_ASN1_METHS_PTR sel = ENGINE_get_pkey_asn1_meths(e);
  EVP_PKEY_ASN1_METHOD* m = nullptr;
  if (sel == nullptr || sel(e, &m, nullptr, EVP_PKEY_get_base_id(pkey)) != 1) return nullptr;
  ameth = m;
  if (ameth != g_ameths[static_cast<size_t>(slot)]) return nullptr;
  return static_cast<Pkcs11TokenKey*>(EVP_PKEY_get0(const_cast<EVP_PKEY*>(pkey)));
}

bool pkcs11_build_methods() {
  static const char* const kNames[3][2] = {
      {"GOST3410-2001-PKCS11", "GOST R 34.10-2001 PKCS11"},
      {"GOST3410-2012-256-PKCS11", "GOST R 34.10-2012-256 PKCS11"},
      {"GOST3410-2012-512-PKCS11", "GOST R 34.10-2012-512 PKCS11"}};
  g_nids = {gost_nid_key_2001(), gost_nid_key_2012_256(), gost_nid_key_2012_512()};
  for (size_t i = 0; i < g_nids.size(); i++) {
    if (g_nids[i] == NID_undef) {
      fprintf(stderr, "register_pmeth_pkcs11: Unsupported NID %d\n", g_nids[i]);
      return false;
    }
    if (g_ameths[i] == nullptr) {
      g_ameths[i] = EVP_PKEY_asn1_new(g_nids[i], ASN1_PKEY_SIGPARAM_NULL, kNames[i][0], kNames[i][1]);
      if (g_ameths[i] == nullptr) return false;
      pkcs11_fill_ameth(g_ameths[i]);
    }
    if (g_pmeths[i] == nullptr) {
      EVP_PKEY_METHOD* m = EVP_PKEY_meth_new(g_nids[i], 0);
      if (m == nullptr) return false;
      static int (*const kInits[3])(EVP_PKEY_CTX*) = {pkey_pkcs11_init<0>, pkey_pkcs11_init<1>,
                                                      pkey_pkcs11_init<2>};
      EVP_PKEY_meth_set_init(m, kInits[i]);
      EVP_PKEY_meth_set_copy(m, pkey_pkcs11_copy);
      EVP_PKEY_meth_set_cleanup(m, pkey_pkcs11_cleanup);
      EVP_PKEY_meth_set_keygen(m, nullptr, pkey_pkcs11_keygen);
      EVP_PKEY_meth_set_sign(m, nullptr, pkcs11_gost_sign);
      EVP_PKEY_meth_set_verify(m, nullptr, pkey_pkcs11_verify);
      EVP_PKEY_meth_set_encrypt(m, nullptr, pkey_pkcs11_encrypt);
      EVP_PKEY_meth_set_decrypt(m, nullptr, pkey_pkcs11_decrypt);
      EVP_PKEY_meth_set_ctrl(m, pkey_pkcs11_ctrl, pkey_pkcs11_ctrl_str);
      g_pmeths[i] = m;
    }
  }
  return true;
}

void pkcs11_forget_methods() {
  g_pmeths = {};
  g_ameths = {};
}

int pkcs11_pkey_meths(ENGINE* /*e*/, EVP_PKEY_METHOD** pmeth, const int** nids, int nid) {
  if (pmeth == nullptr) {
    *nids = g_nids.data();
    return static_cast<int>(g_nids.size());
  }
  const int slot = slot_of(nid);
  *pmeth = slot >= 0 ? g_pmeths[static_cast<size_t>(slot)] : nullptr;
  return *pmeth != nullptr ? 1 : 0;
}

int pkcs11_pkey_asn1_meths(ENGINE* /*e*/, EVP_PKEY_ASN1_METHOD** ameth, const int** nids,
                           int nid) {
  if (ameth == nullptr) {
    *nids = g_nids.data();
    return static_cast<int>(g_nids.size());
  }
  const int slot = slot_of(nid);
  *ameth = slot >= 0 ? g_ameths[static_cast<size_t>(slot)] : nullptr;
  return *ameth != nullptr ? 1 : 0;
}
