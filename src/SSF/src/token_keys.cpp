// Token keys: toolkit keys whose private operations run on a PKCS#11 token.
//
// GOST token keys are copies of the certificate's public key handled by key
// methods of their own: a copy of the "gost" engine's method for the key
// type with the sign slot replaced by token_gost_sign (and no software
// decrypt or derive, which would run on a missing private value). Those
// methods sit behind an engine object of the token code that is never put
// in the toolkit's engine list, so software keys of the same type keep the
// "gost" engine's methods. The token state hangs on the key itself (key
// extra data with a free callback): any free of the key closes its session.
//
// RSA token keys carry the token RSA method and keep their state in RSA
// extra-data slot 0.
#include <openssl/crypto.h>
#include <openssl/engine.h>
#include <openssl/err.h>

#include <array>

#include "codes.h"
#include "engines/gost/gost_pkey_nids.h"
#include "keys.h"
#include "log.h"
#include "ossl_ptr.h"
#include "token_context.h"

const RSA_METHOD* rsa_ops = nullptr;

namespace {

RSA_METHOD* rsa_meth = nullptr;
int (*g_default_rsa_finish)(RSA*) = nullptr;

// Live token keys per function list (a process holds very few modules).
struct LiveCount {
  const CK_FUNCTION_LIST* p11;
  int count;
};
std::array<LiveCount, 32> g_live{};

void live_add(const CK_FUNCTION_LIST* p11, int delta) {
  for (auto& l : g_live)
    if (l.p11 == p11 && l.count > 0) {
      l.count += delta;
      if (l.count == 0) l.p11 = nullptr;
      return;
    }
  if (delta <= 0) return;
  for (auto& l : g_live)
    if (l.count == 0) {
      l.p11 = p11;
      l.count = delta;
      return;
    }
}

void close_token(TokenKeyContext* token) {
  if (token == nullptr) return;
  if (token->p11 != nullptr) {
    token->p11->C_CloseSession(token->session);
    live_add(token->p11, -1);
  }
  OPENSSL_clear_free(token, sizeof(*token));
}

// Key extra data of GOST token keys.
void free_key_token(void* /*parent*/, void* ptr, CRYPTO_EX_DATA* /*ad*/, int /*idx*/,
                    long /*argl*/, void* /*argp*/) {
  close_token(static_cast<TokenKeyContext*>(ptr));
}

int token_index() {
  static int index = -1;
  if (index < 0)
    index = CRYPTO_get_ex_new_index(CRYPTO_EX_INDEX_EVP_PKEY, 0, nullptr, nullptr, nullptr,
                                    free_key_token);
  return index;
}

bool is_gost_type(int type) { return gost_is_signing_key_nid(type); }

// The token engine object and its key methods, one per GOST key type.
ENGINE* g_token_engine = nullptr;
std::array<EVP_PKEY_METHOD*, 3> g_token_pmeths{};
std::array<int, 3> g_token_nids{};

int token_pmeths(ENGINE* /*e*/, EVP_PKEY_METHOD** pmeth, const int** nids, int nid) {
  if (pmeth == nullptr) {
    *nids = g_token_nids.data();
    return static_cast<int>(g_token_nids.size());
  }
  for (size_t i = 0; i < g_token_nids.size(); i++)
    if (g_token_nids[i] == nid && g_token_pmeths[i] != nullptr) {
      *pmeth = g_token_pmeths[i];
      return 1;
    }
  *pmeth = nullptr;
  return 0;
}

int type_slot(int type) {
  for (size_t i = 0; i < g_token_nids.size(); i++)
    if (g_token_nids[i] == type) return static_cast<int>(i);
  return -1;
}

// The token key method of a GOST key type, made from the method the key's
// engine supplies for it; the token engine once per process.
bool ensure_token_method(EVP_PKEY* key, int type) {
  if (g_token_engine == nullptr) {
    g_token_nids = {gost_nid_key_2001(), gost_nid_key_2012_256(), gost_nid_key_2012_512()};
    ENGINE* e = ENGINE_new();
    if (e == nullptr) return false;
    if (!ENGINE_set_id(e, "ssf-token") || !ENGINE_set_name(e, "SSF token keys") ||
        !ENGINE_set_pkey_meths(e, token_pmeths)) {
      ENGINE_free(e);
      return false;
    }
    g_token_engine = e;
  }
  const int slot = type_slot(type);
  if (slot < 0) return false;
  if (g_token_pmeths[slot] != nullptr) return true;
  ENGINE* gost = EVP_PKEY_get0_engine(key);
  const EVP_PKEY_METHOD* src = gost ? ENGINE_get_pkey_meth(gost, type) : nullptr;
  if (src == nullptr) return false;
  int id = 0;
  int flags = 0;
  EVP_PKEY_meth_get0_info(&id, &flags, src);
  EVP_PKEY_METHOD* m = EVP_PKEY_meth_new(type, flags);
  if (m == nullptr) return false;
  EVP_PKEY_meth_copy(m, src);
  EVP_PKEY_meth_set_sign(m, nullptr, token_gost_sign);
  EVP_PKEY_meth_set_decrypt(m, nullptr, nullptr);
  EVP_PKEY_meth_set_derive(m, nullptr, nullptr);
  g_token_pmeths[slot] = m;
  return true;
}

EVP_PKEY* make_gost_token_key(EVP_PKEY* pub, int type, TokenKeyContext* token) {
  static const char kFunc[] = "MakeTokenPrivateKey";
  orvel::EvpPkeyPtr key(PublicKey_dup(pub));
  if (!key) {
    log_err("%s() 2 : PublicKey_dup() failed", kFunc);
    print_brekssl_errors();
    return nullptr;
  }
  if (!ensure_token_method(key.get(), type) || !EVP_PKEY_set1_engine(key.get(), g_token_engine)) {
    log_err("%s() 3 : no token key method for key type %d", kFunc, type);
    print_brekssl_errors();
    return nullptr;
  }
  token->key_type = type;
  if (!EVP_PKEY_set_ex_data(key.get(), token_index(), token)) {
    log_err("%s() 4 : EVP_PKEY_set_ex_data() failed", kFunc);
    return nullptr;
  }
  return key.release();
}

// RSA keys on a token do not decrypt. The toolkit calls the private
// decryption slot without a null check, so the slot refuses instead of
// being left empty.
int token_rsa_no_decrypt(int, const unsigned char*, unsigned char*, RSA*, int) {
  log_err("%s() : an RSA key on a token cannot decrypt", "token_rsa_decrypt");
  ERR_raise(ERR_LIB_RSA, ERR_R_OPERATION_FAIL);
  return -1;
}

bool ensure_rsa_method() {
  if (rsa_meth != nullptr) return true;
  const RSA_METHOD* def = RSA_get_default_method();
  RSA_METHOD* m = RSA_meth_dup(def);
  if (m == nullptr) return false;
  // The default finish frees the key's cached Montgomery contexts; the token
  // finish calls it after closing the session.
  g_default_rsa_finish = RSA_meth_get_finish(def);
  if (!RSA_meth_set1_name(m, "SSF token RSA method") ||
      !RSA_meth_set_priv_enc(m, token_rsa_encrypt) || !RSA_meth_set_priv_dec(m, token_rsa_no_decrypt) ||
      !RSA_meth_set_finish(m, token_rsa_privdata_free)) {
    RSA_meth_free(m);
    return false;
  }
  rsa_meth = m;
  rsa_ops = m;
  return true;
}

EVP_PKEY* make_rsa_token_key(EVP_PKEY* pub, TokenKeyContext* token) {
  static const char kFunc[] = "MakeTokenPrivateKey";
  const RSA* pub_rsa = EVP_PKEY_get0_RSA(pub);
  if (pub_rsa == nullptr || !ensure_rsa_method()) {
    log_err("%s() 5 : no RSA public key or token RSA method", kFunc);
    print_brekssl_errors();
    return nullptr;
  }
  RSA* rsa = RSAPublicKey_dup(pub_rsa);
  if (rsa == nullptr) return nullptr;
  // The method before the key goes into a toolkit key: the toolkit then
  // treats it as a key of its own kind and keeps it off its providers.
  if (!RSA_set_method(rsa, rsa_ops)) {
    RSA_free(rsa);
    return nullptr;
  }
  orvel::EvpPkeyPtr key(EVP_PKEY_new());
  if (!key || !EVP_PKEY_assign_RSA(key.get(), rsa)) {
    RSA_free(rsa);
    return nullptr;
  }
  token->key_type = 0;
  RSA_set_ex_data(rsa, 0, token);
  return key.release();
}

TokenKeyContext* rsa_token(const RSA* rsa) {
  if (rsa == nullptr || rsa_ops == nullptr || RSA_get_method(rsa) != rsa_ops) return nullptr;
  return static_cast<TokenKeyContext*>(RSA_get_ex_data(rsa, 0));
}

int sign_on_token(const char* func, const TokenKeyContext* token, CK_MECHANISM_TYPE mech_type,
                  const unsigned char* tbs, size_t tbslen, unsigned char* sig,
                  CK_ULONG* siglen) {
  CK_MECHANISM mech{mech_type, nullptr, 0};
  CK_RV rv = token->p11->C_SignInit(token->session, &mech, token->key);
  if (rv != CKR_OK) {
    log_err("%s() 1 : C_SignInit() failed, rv = 0x%p (%s)", func,
            reinterpret_cast<void*>(rv), pk11errorString(rv));
    return -1;
  }
  rv = token->p11->C_Sign(token->session, const_cast<unsigned char*>(tbs),
                          static_cast<CK_ULONG>(tbslen), sig, siglen);
  if (rv != CKR_OK) {
    log_err("%s() 2 : C_Sign() failed, rv = 0x%p (%s)", func, reinterpret_cast<void*>(rv),
            pk11errorString(rv));
    return -1;
  }
  return 0;
}

}  // namespace

int token_live_keys(const CK_FUNCTION_LIST* p11) {
  for (const auto& l : g_live)
    if (l.p11 == p11 && l.count > 0) return l.count;
  return 0;
}

EVP_PKEY* MakeTokenPrivateKey(X509* cert, TokenKeyContext* token) {
  static const char kFunc[] = "MakeTokenPrivateKey";
  EVP_PKEY* pub = X509_get0_pubkey(cert);
  if (pub == nullptr) {
    log_err("%s() 1 : pub is NULL", kFunc);
    ERR_clear_error();
    return nullptr;
  }
  const int type = EVP_PKEY_get_base_id(pub);
  EVP_PKEY* key = nullptr;
  if (is_gost_type(type)) {
    key = make_gost_token_key(pub, type, token);
  } else if (type == EVP_PKEY_RSA) {
    key = make_rsa_token_key(pub, token);
  } else {
    log_err("%s() : unsupported key type: %d", kFunc, type);
    return nullptr;
  }
  if (key != nullptr) live_add(token->p11, 1);
  return key;
}

int token_gost_sign(EVP_PKEY_CTX* ctx, unsigned char* sig, size_t* siglen,
                    const unsigned char* tbs, size_t tbslen) {
  static const char kFunc[] = "token_gost_sign";
  const TokenKeyContext* token = GetTokenPkey(EVP_PKEY_CTX_get0_pkey(ctx));
  if (token == nullptr || siglen == nullptr) return -1;
  const bool wide = token->key_type == gost_nid_key_2012_512();
  const size_t size = wide ? 128 : 64;
  if (sig == nullptr) {
    *siglen = size;
    return 1;
  }
  if (*siglen < size) return -1;
  CK_ULONG len = static_cast<CK_ULONG>(*siglen);
  if (sign_on_token(kFunc, token, wide ? CKM_TC26_GOSTR3410_512 : CKM_GOSTR3410, tbs, tbslen, sig,
                    &len) != 0)
    return -1;
  if (len > *siglen) return -1;
  // The toolkit takes the signature length from *siglen and success as 1.
  *siglen = len;
  return 1;
}

int token_rsa_encrypt(int flen, const unsigned char* from, unsigned char* to, RSA* rsa,
                      int padding) {
  static const char kFunc[] = "token_rsa_encrypt";
  const TokenKeyContext* token = rsa_token(rsa);
  if (token == nullptr || flen < 0) return -1;
  // The token pads with PKCS#1 v1.5 itself: input prepared for another
  // padding (PSS, none) would come out as a wrong signature.
  if (padding != RSA_PKCS1_PADDING) {
    log_err("%s() : unsupported padding %d, the token applies PKCS#1 v1.5", kFunc, padding);
    ERR_raise(ERR_LIB_RSA, RSA_R_UNKNOWN_PADDING_TYPE);
    return -1;
  }
  // The output buffer holds one modulus.
  CK_ULONG len = static_cast<CK_ULONG>(RSA_size(rsa));
  if (sign_on_token(kFunc, token, CKM_RSA_PKCS, from, static_cast<size_t>(flen), to, &len) != 0)
    return -1;
  if (len > static_cast<CK_ULONG>(RSA_size(rsa))) return -1;
  return static_cast<int>(len);
}

int token_rsa_privdata_free(RSA* rsa) {
  close_token(static_cast<TokenKeyContext*>(RSA_get_ex_data(rsa, 0)));
  RSA_set_ex_data(rsa, 0, nullptr);
  if (g_default_rsa_finish != nullptr) g_default_rsa_finish(rsa);
  return 0;
}

int IsTokenPkey(const EVP_PKEY* key) {
  if (key == nullptr) return 0;
  const int type = EVP_PKEY_get_base_id(key);
  if (is_gost_type(type)) return GetTokenPkey(key) != nullptr ? 1 : 0;
  if (type == EVP_PKEY_RSA) return rsa_token(EVP_PKEY_get0_RSA(key)) != nullptr ? 1 : 0;
  return 0;
}

TokenKeyContext* GetTokenPkey(const EVP_PKEY* key) {
  if (key == nullptr || !is_gost_type(EVP_PKEY_get_base_id(key)) || g_token_engine == nullptr)
    return nullptr;
  return static_cast<TokenKeyContext*>(EVP_PKEY_get_ex_data(key, token_index()));
}

void SSF_EVP_PKEY_free(EVP_PKEY* key) {
  // The token state goes with the key (extra-data free and RSA finish).
  EVP_PKEY_free(key);
}
