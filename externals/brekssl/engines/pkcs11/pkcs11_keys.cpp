// Token keys of the engine: toolkit keys made from the key objects of a
// token (GOST keys under this engine's key methods, RSA keys with the
// engine's RSA method) and their release.
#include <openssl/bn.h>
#include <openssl/crypto.h>
#include <openssl/err.h>

#include <cstring>

#include "engines/gost/gost_key_params.h"
#include "engines/gost/gost_pkey_nids.h"
#include "engines/pkcs11/pk11_errors.h"
#include "engines/pkcs11/pkcs11_engine.h"
#include "ossl_ptr.h"

namespace {

constexpr size_t kRsaBuffer = 10240;
constexpr size_t kPubBuffer = 1024;
constexpr size_t kParamBuffer = 20;

RSA_METHOD* g_rsa_method = nullptr;

using KeyParamsPtr = std::unique_ptr<VKC_GOST2012_KEY_PARAMS,
                                     orvel::Free<VKC_GOST2012_KEY_PARAMS, VKC_GOST2012_KEY_PARAMS_free>>;

CK_RV read_attr(const Pkcs11ModuleEntry* lib, CK_SESSION_HANDLE session, CK_OBJECT_HANDLE obj,
                CK_ATTRIBUTE_TYPE type, unsigned char* buf, CK_ULONG cap, CK_ULONG* len) {
  CK_ATTRIBUTE a{type, buf, cap};
  const CK_RV rv = lib->p11->C_GetAttributeValue(session, obj, &a, 1);
  if (rv == CKR_OK && a.ulValueLen > cap) return CKR_BUFFER_TOO_SMALL;
  *len = a.ulValueLen;
  return rv;
}

int pkcs11_rsa_priv_enc(int flen, const unsigned char* from, unsigned char* to, RSA* rsa,
                        int /*padding*/) {
  static const char kFunc[] = "pkcs11_rsa_priv_enc";
  auto* rec = static_cast<Pkcs11TokenKey*>(RSA_get_ex_data(rsa, 0));
  if (rec == nullptr || rec->lib == nullptr || flen < 0) return -1;
  CK_MECHANISM mech{CKM_RSA_PKCS, nullptr, 0};
  CK_RV rv = rec->lib->p11->C_SignInit(rec->session, &mech, rec->priv);
  if (rv != CKR_OK) {
    pkcs11_log_err("%s() 2 : C_SignInit() failed, rv = 0x%p (%s)", kFunc,
                   reinterpret_cast<void*>(rv), pk11errorString(rv));
    return -1;
  }
  const CK_ULONG cap = static_cast<CK_ULONG>(RSA_size(rsa));
  CK_ULONG len = cap;
  rv = rec->lib->p11->C_Sign(rec->session, const_cast<unsigned char*>(from),
                             static_cast<CK_ULONG>(flen), to, &len);
  if (rv != CKR_OK || len > cap) {
    pkcs11_log_err("%s() 3 : C_Sign() failed, rv = 0x%p (%s)", kFunc, reinterpret_cast<void*>(rv),
                   pk11errorString(rv));
    return -1;
  }
  return static_cast<int>(len);
}

int pkcs11_rsa_priv_dec(int flen, const unsigned char* from, unsigned char* to, RSA* rsa,
                        int /*padding*/) {
  static const char kFunc[] = "pkcs11_rsa_priv_dec";
  auto* rec = static_cast<Pkcs11TokenKey*>(RSA_get_ex_data(rsa, 0));
  if (rec == nullptr || rec->lib == nullptr || flen < 0) return -1;
  CK_MECHANISM mech{CKM_RSA_PKCS, nullptr, 0};
  CK_RV rv = rec->lib->p11->C_DecryptInit(rec->session, &mech, rec->priv);
  if (rv != CKR_OK) {
    pkcs11_log_err("%s() : C_DecryptInit() failed, rv = 0x%p (%s)", kFunc,
                   reinterpret_cast<void*>(rv), pk11errorString(rv));
    return -1;
  }
  // The output buffer holds one modulus; the plain text is shorter.
  const CK_ULONG cap = static_cast<CK_ULONG>(RSA_size(rsa));
  CK_ULONG len = static_cast<CK_ULONG>(flen) < cap ? static_cast<CK_ULONG>(flen) : cap;
  rv = rec->lib->p11->C_Decrypt(rec->session, const_cast<unsigned char*>(from),
                                static_cast<CK_ULONG>(flen), to, &len);
  if (rv != CKR_OK || len > cap) {
    pkcs11_log_err("%s() : C_Decrypt() failed, rv = 0x%p (%s)", kFunc,
                   reinterpret_cast<void*>(rv), pk11errorString(rv));
    return -1;
  }
  return static_cast<int>(len);
}

int pkcs11_rsa_free(RSA* rsa) {
  FreeTokenPKey(static_cast<Pkcs11TokenKey*>(RSA_get_ex_data(rsa, 0)));
  RSA_set_ex_data(rsa, 0, nullptr);
  // The cached Montgomery contexts of the public operations.
  int (*finish)(RSA*) = RSA_meth_get_finish(RSA_PKCS1_OpenSSL());
  if (finish != nullptr) finish(rsa);
  return 1;
}

EVP_PKEY* make_rsa_key(Pkcs11ModuleEntry* lib, CK_SESSION_HANDLE session, CK_OBJECT_HANDLE priv,
                       CK_OBJECT_HANDLE pub) {
  static const char kFunc[] = "MakeTokenPrivateKey";
  std::vector<unsigned char> mod(kRsaBuffer), exp(kRsaBuffer);
  CK_ULONG bits = 0, mod_len = 0, exp_len = 0, bits_len = 0;
  if (read_attr(lib, session, pub, CKA_MODULUS_BITS, reinterpret_cast<unsigned char*>(&bits),
                sizeof(bits), &bits_len) != CKR_OK ||
      read_attr(lib, session, pub, CKA_PUBLIC_EXPONENT, exp.data(), kRsaBuffer, &exp_len) !=
          CKR_OK ||
      read_attr(lib, session, pub, CKA_MODULUS, mod.data(), kRsaBuffer, &mod_len) != CKR_OK) {
    pkcs11_log_err("%s() : RSA public key attributes not readable", kFunc);
    return nullptr;
  }
  // Never more modulus bytes than the token gave.
  const CK_ULONG take = bits / 8 != 0 && bits / 8 < mod_len ? bits / 8 : mod_len;
  RSA* rsa = RSA_new_method(nullptr);
  BIGNUM* n = BN_bin2bn(mod.data(), static_cast<int>(take), nullptr);
  BIGNUM* e = BN_bin2bn(exp.data(), static_cast<int>(exp_len), nullptr);
  if (rsa == nullptr || n == nullptr || e == nullptr || !RSA_set0_key(rsa, n, e, nullptr)) {
    BN_free(n);
    BN_free(e);
    RSA_free(rsa);
    return nullptr;
  }
  RSA_set_method(rsa, g_rsa_method);
  auto* rec = static_cast<Pkcs11TokenKey*>(OPENSSL_zalloc(sizeof(Pkcs11TokenKey)));
  if (rec == nullptr) {
    RSA_free(rsa);
    return nullptr;
  }
  rec->lib = lib;
  rec->session = session;
  rec->priv = priv;
  RSA_set_ex_data(rsa, 0, rec);
  orvel::EvpPkeyPtr key(EVP_PKEY_new());
  if (!key || !EVP_PKEY_assign_RSA(key.get(), rsa)) {
    // The finish releases the record with the module reference; the caller
    // still owns both.
    rec->lib = nullptr;
    RSA_free(rsa);
    return nullptr;
  }
  return key.release();
}

// The GOST key type a digest parameter set implies.
int key_type_of_digest(int digest_nid) {
  if (digest_nid == gost_nid_md_2012_256()) return gost_nid_key_2012_256();
  if (digest_nid == gost_nid_md_2012_512()) return gost_nid_key_2012_512();
  if (digest_nid == NID_id_GostR3411_94_CryptoProParamSet) return gost_nid_key_2001();
  return 0;
}

EVP_PKEY* make_gost_key(ENGINE* engine, Pkcs11ModuleEntry* lib, CK_SESSION_HANDLE session,
                        CK_OBJECT_HANDLE priv, CK_OBJECT_HANDLE pub) {
  static const char kFunc[] = "MakeTokenPrivateKey";
  std::vector<unsigned char> value(kPubBuffer);
  CK_ULONG value_len = 0;
  if (read_attr(lib, session, pub, CKA_VALUE, value.data(), kPubBuffer, &value_len) != CKR_OK) {
    pkcs11_log_err("%s() : CKA_VALUE of the public key not readable", kFunc);
    return nullptr;
  }
  // A public value given as its DER OCTET STRING is taken out of it.
  const unsigned char* pv = value.data();
  if (value_len == 66 && pv[0] == 0x04 && pv[1] == 0x40) {
    pv += 2;
    value_len = 64;
  } else if (value_len == 131 && pv[0] == 0x04 && pv[1] == 0x81 && pv[2] == 0x80) {
    pv += 3;
    value_len = 128;
  }
  if (value_len != 64 && value_len != 128) {
    pkcs11_log_err("%s() : public value of %d bytes", kFunc, static_cast<int>(value_len));
    return nullptr;
  }
  unsigned char seq[2 + 2 * kParamBuffer];
  CK_ULONG p1 = 0, p2 = 0;
  if (read_attr(lib, session, priv, CKA_GOSTR3410_PARAMS, seq + 2, kParamBuffer, &p1) != CKR_OK ||
      read_attr(lib, session, priv, CKA_GOSTR3411_PARAMS, seq + 2 + p1, kParamBuffer, &p2) !=
          CKR_OK) {
    pkcs11_log_err("%s() : key parameters not readable", kFunc);
    return nullptr;
  }
  seq[0] = 0x30;
  seq[1] = static_cast<unsigned char>(p1 + p2);
  const unsigned char* p = seq;
  KeyParamsPtr params(d2i_VKC_GOST2012_KEY_PARAMS(nullptr, &p, static_cast<long>(2 + p1 + p2)));
  if (!params || params->key_params == nullptr) {
    pkcs11_log_err("%s() : key parameters not decodable", kFunc);
    ERR_clear_error();
    return nullptr;
  }
  const int type =
      params->hash_params != nullptr ? key_type_of_digest(OBJ_obj2nid(params->hash_params)) : 0;
  const size_t want = type == gost_nid_key_2012_512() ? 128 : 64;
  if (type == 0 || value_len != want) {
    pkcs11_log_err("%s() : unknown or unsupported key type: %d (%x)", kFunc, type,
                   static_cast<unsigned>(type));
    return nullptr;
  }
  auto* rec = static_cast<Pkcs11TokenKey*>(OPENSSL_zalloc(sizeof(Pkcs11TokenKey)));
  if (rec == nullptr) return nullptr;
  rec->key.key_nid = type;
  rec->key.param_nid = OBJ_obj2nid(params->key_params);
  memcpy(rec->key.pub_key, pv, value_len);
  rec->key.pub_key_len = static_cast<uint32_t>(value_len);
  CK_ULONG id_len = 0;
  if (read_attr(lib, session, priv, CKA_ID, rec->key.key_id, sizeof(rec->key.key_id), &id_len) != CKR_OK)
    memset(rec->key.key_id, 0, sizeof(rec->key.key_id));
  rec->lib = lib;
  rec->session = session;
  rec->priv = priv;
  EVP_PKEY* key = pkcs11_wrap_gost_key(engine, rec);
  if (key == nullptr) OPENSSL_free(rec);
  return key;
}

}  // namespace

RSA_METHOD* pkcs11_rsa_method() {
  if (g_rsa_method == nullptr) {
    // The toolkit signs through the private encryption: no sign flag.
    g_rsa_method = RSA_meth_new("PKCS#11 RSA method", 0);
    if (g_rsa_method != nullptr) {
      RSA_meth_set_priv_enc(g_rsa_method, pkcs11_rsa_priv_enc);
      RSA_meth_set_priv_dec(g_rsa_method, pkcs11_rsa_priv_dec);
      RSA_meth_set_finish(g_rsa_method, pkcs11_rsa_free);
    }
  }
  return g_rsa_method;
}

int pkcs11_rsa_complete() {
  RSA_METHOD* m = pkcs11_rsa_method();
  if (m == nullptr) return 0;
  const RSA_METHOD* pkcs1 = RSA_PKCS1_OpenSSL();
  RSA_meth_set_pub_enc(m, RSA_meth_get_pub_enc(pkcs1));
  RSA_meth_set_pub_dec(m, RSA_meth_get_pub_dec(pkcs1));
  RSA_meth_set_mod_exp(m, RSA_meth_get_mod_exp(pkcs1));
  RSA_meth_set_bn_mod_exp(m, RSA_meth_get_bn_mod_exp(pkcs1));
  return 1;
}

EVP_PKEY* pkcs11_wrap_gost_key(ENGINE* e, Pkcs11TokenKey* rec) {
  orvel::EvpPkeyPtr key(EVP_PKEY_new());
  if (!key || !pkcs11_assign_gost_key(e, key.get(), rec)) return nullptr;
  return key.release();
}

int pkcs11_assign_gost_key(ENGINE* e, EVP_PKEY* key, Pkcs11TokenKey* rec) {
  // The toolkit takes a key type's methods from the default engine for the
  // type: this engine for the moment of the assignment, then the engines
  // that were the defaults before, for both kinds of method.
  const unsigned int kWhich = ENGINE_METHOD_PKEY_METHS | ENGINE_METHOD_PKEY_ASN1_METHS;
  ENGINE* prev_ameth = ENGINE_get_pkey_asn1_meth_engine(rec->key.key_nid);
  ENGINE* prev_pmeth = ENGINE_get_pkey_meth_engine(rec->key.key_nid);
  ENGINE_set_default(e, kWhich);
  const bool ok = EVP_PKEY_assign(key, rec->key.key_nid, rec) == 1 && EVP_PKEY_get0_engine(key) == e;
  if (prev_ameth != nullptr) ENGINE_set_default(prev_ameth, ENGINE_METHOD_PKEY_ASN1_METHS);
  if (prev_pmeth != nullptr) ENGINE_set_default(prev_pmeth, ENGINE_METHOD_PKEY_METHS);
  // Without an engine default before, this engine leaves the tables again
  // (it registers itself for no algorithm).
  if (prev_ameth == nullptr) ENGINE_unregister_pkey_asn1_meths(e);
  if (prev_pmeth == nullptr) ENGINE_unregister_pkey_meths(e);
  ENGINE_finish(prev_ameth);
  ENGINE_finish(prev_pmeth);
  if (!ok) {
    // The record stays the caller's.
    if (EVP_PKEY_get0(key) == rec) EVP_PKEY_assign(key, rec->key.key_nid, nullptr);
    return 0;
  }
  return 1;
}

EVP_PKEY* MakeTokenPrivateKey(ENGINE* e, Pkcs11ModuleEntry* lib, CK_SESSION_HANDLE session,
                              CK_OBJECT_HANDLE priv, CK_OBJECT_HANDLE pub) {
  static const char kFunc[] = "MakeTokenPrivateKey";
  CK_KEY_TYPE type = 0;
  CK_ULONG len = 0;
  const CK_RV rv = read_attr(lib, session, priv, CKA_KEY_TYPE,
                             reinterpret_cast<unsigned char*>(&type), sizeof(type), &len);
  if (rv != CKR_OK) {
    pkcs11_log_err("%s() : failed to determine key type: %s (%x)", kFunc, pk11errorString(rv),
                   static_cast<unsigned>(rv));
    type = 0;
  }
  if (type == CKK_RSA) return make_rsa_key(lib, session, priv, pub);
  if (type == CKK_GOSTR3410 || type == CKK_TC26_GOSTR3410_512)
    return make_gost_key(e, lib, session, priv, pub);
  pkcs11_log_err("%s() : unknown or unsupported key type: %d (%x)", kFunc, static_cast<int>(type),
                 static_cast<unsigned>(type));
  return nullptr;
}

int FreeTokenPKey(Pkcs11TokenKey* key) {
  if (key == nullptr) return 0;
  if (key->lib != nullptr && key->lib->p11 != nullptr) {
    key->lib->p11->C_Logout(key->session);
    key->lib->p11->C_CloseSession(key->session);
    pkcs11_free_library(key->lib);
  }
  OPENSSL_clear_free(key, sizeof(*key));
  return 0;
}
