// Binding and control commands of the "pkcs11" engine.
#include "engines/pkcs11/e_pkcs11.h"

#include <openssl/crypto.h>
#include <openssl/engine.h>
#include <openssl/err.h>
#include <openssl/pem.h>

#include <cstdio>
#include <cstring>

#include "engines/gost/gost_engine_ctx.h"
#include "engines/pkcs11/pkcs11_engine.h"
#include "objects/ssf_objects.h"
#include "ossl_ptr.h"

namespace {

const ENGINE_CMD_DEFN pkcs11_cmds[] = {
    {kPkcs11CmdAttachApi, "ATTACH_API", "Attach to PKCS#11 API library", ENGINE_CMD_FLAG_STRING},
    {kPkcs11CmdLogin, "LOGIN", "Set PIN for current session", ENGINE_CMD_FLAG_STRING},
    {kPkcs11CmdEnumTokens, "ENUM_TOKENS", "Enumerate tokens", ENGINE_CMD_FLAG_NO_INPUT},
    {kPkcs11CmdShowTokens, "SHOW_TOKENS", "Show tokens", ENGINE_CMD_FLAG_NO_INPUT},
    {kPkcs11CmdEnumKeys, "ENUM_KEYS", "Enumerate keys", ENGINE_CMD_FLAG_NO_INPUT},
    {kPkcs11CmdShowKeys, "SHOW_KEYS", "Show keys", ENGINE_CMD_FLAG_NO_INPUT},
    {kPkcs11CmdLoadCerts, "LOAD_CERTS", "Load certificates", ENGINE_CMD_FLAG_NUMERIC},
    {kPkcs11CmdShowCerts, "SHOW_CERTS", "Show certificates", ENGINE_CMD_FLAG_NUMERIC},
    {0, nullptr, nullptr, 0}};

// DER of GOST 28147-89 TC26 parameter set Z.
const unsigned char kParamZOid[] = {0x06, 0x09, 0x2a, 0x85, 0x03, 0x07, 0x01,
                                    0x02, 0x05, 0x01, 0x01};

void free_string(char* s) { OPENSSL_free(s); }
void free_strings(STACK_OF(OPENSSL_STRING) * s) { sk_OPENSSL_STRING_pop_free(s, free_string); }

// Prints each triple of a listing with the line of its command.
int show_triples(int (*list)(STACK_OF(OPENSSL_STRING) * *), const char* func, const char* what,
                 bool tokens) {
  STACK_OF(OPENSSL_STRING)* s = nullptr;
  if (!list(&s)) {
    pkcs11_log_err("%s() : %s() failed", func, what);
    free_strings(s);
    return 0;
  }
  for (int i = 0; i + 2 < sk_OPENSSL_STRING_num(s); i += 3) {
    const char* a = sk_OPENSSL_STRING_value(s, i);
    const char* b = sk_OPENSSL_STRING_value(s, i + 1);
    const char* c = sk_OPENSSL_STRING_value(s, i + 2);
    if (tokens)
      printf("Token: slot = %s, id = %s, label = '%s'\n", a, b, c);
    else
      printf("Slot: %s, Key: ID = %s, label = '%s'\n", a, b, c);
  }
  free_strings(s);
  return 1;
}

int show_certs(int mode) {
  STACK_OF(X509)* certs = nullptr;
  if (!pkcs11_load_certs(mode, &certs)) {
    pkcs11_log_err("%s() : pkcs11_load_certs() failed", "pkcs11_show_certs");
    sk_X509_pop_free(certs, X509_free);
    return 0;
  }
  printf("Total: %d certificates\n", sk_X509_num(certs));
  orvel::BioPtr out(BIO_new_fp(stdout, BIO_NOCLOSE));
  for (int i = 0; out && i < sk_X509_num(certs); i++) {
    X509_print(out.get(), sk_X509_value(certs, i));
    PEM_write_bio_X509(out.get(), sk_X509_value(certs, i));
  }
  sk_X509_pop_free(certs, X509_free);
  return 1;
}

int pkcs11_ctrl(ENGINE* /*e*/, int cmd, long number, void* ptr, void (*/*f*/)()) {
  switch (cmd) {
    case kPkcs11CmdAttachApi:
      return pkcs11_set_default_param(0, static_cast<const char*>(ptr));
    case kPkcs11CmdLogin:
      return pkcs11_set_default_param(1, static_cast<const char*>(ptr));
    case kPkcs11CmdEnumTokens:
      return pkcs11_enum_tokens(static_cast<STACK_OF(OPENSSL_STRING)**>(ptr));
    case kPkcs11CmdShowTokens:
      return show_triples(pkcs11_enum_tokens, "pkcs11_show_tokens", "pkcs11_enum_tokens", true);
    case kPkcs11CmdEnumKeys:
      return pkcs11_enum_keys(static_cast<STACK_OF(OPENSSL_STRING)**>(ptr));
    case kPkcs11CmdShowKeys:
      return show_triples(pkcs11_enum_keys, "pkcs11_show_keys", "pkcs11_enum_keys", false);
    case kPkcs11CmdLoadCerts:
      return pkcs11_load_certs(static_cast<int>(number), static_cast<STACK_OF(X509)**>(ptr));
    case kPkcs11CmdShowCerts:
      return show_certs(static_cast<int>(number));
    case kPkcs11CmdLast:
      pkcs11_log_err("%s() : wrong parameter number: %d", "pkcs11_perform_cmd", 8);
      return 0;
    default:
      return -1;
  }
}

int pkcs11_init(ENGINE* /*e*/) { return pkcs11_rsa_complete(); }

int pkcs11_finish(ENGINE* /*e*/) { return 1; }

// The toolkit destroys the engine at its clean-up: the context goes with it.
int pkcs11_destroy(ENGINE* e) {
  auto* ctx = static_cast<VKC2012_ENGINE_CTX*>(ENGINE_get_ex_data(e, kVkcEngineCtxIndex));
  ENGINE_set_ex_data(e, kVkcEngineCtxIndex, nullptr);
  OPENSSL_free(ctx);
  // The toolkit has freed the key methods the engine listed.
  pkcs11_forget_methods();
  return 1;
}

bool bind_pkcs11(ENGINE* e) {
  static const char kFunc[] = "bind_pkcs11";
  auto* ctx = static_cast<VKC2012_ENGINE_CTX*>(OPENSSL_zalloc(sizeof(VKC2012_ENGINE_CTX)));
  if (ctx == nullptr) {
    fprintf(stderr, "%s() : VKC2012_ENGINE_CTX malloc failed\n", kFunc);
    return false;
  }
  memcpy(ctx->gost28147_param_oid, kParamZOid, sizeof(kParamZOid));
  ctx->gost28147_param_nid = ssf_nid_id_tc26_gost_28147_param_Z();
  ctx->pbe_prf_nid = NID_id_HMACGostR3411_94;
  if (!ENGINE_set_ex_data(e, kVkcEngineCtxIndex, ctx)) {
    fprintf(stderr, "%s() : ENGINE_set_ex_data failed\n", kFunc);
    OPENSSL_free(ctx);
    return false;
  }
  if (!ENGINE_set_id(e, kPkcs11EngineId) || !ENGINE_set_name(e, kPkcs11EngineName) ||
      !ENGINE_set_init_function(e, pkcs11_init) ||
      !ENGINE_set_destroy_function(e, pkcs11_destroy) || !ENGINE_set_finish_function(e, pkcs11_finish) ||
      !ENGINE_set_ctrl_function(e, pkcs11_ctrl) ||
      !ENGINE_set_flags(e, ENGINE_FLAGS_NO_REGISTER_ALL) || !ENGINE_set_cmd_defns(e, pkcs11_cmds) ||
      !ENGINE_set_load_privkey_function(e, pkcs11_load_privkey) ||
      !ENGINE_set_pkey_meths(e, pkcs11_pkey_meths) ||
      !ENGINE_set_pkey_asn1_meths(e, pkcs11_pkey_asn1_meths) || !pkcs11_build_methods() ||
      pkcs11_rsa_method() == nullptr)
    return false;
  return true;
}

}  // namespace

void ENGINE_load_pkcs11() {
  ENGINE* e = ENGINE_new();
  if (e == nullptr) return;
  if (!bind_pkcs11(e)) {
    auto* ctx = static_cast<VKC2012_ENGINE_CTX*>(ENGINE_get_ex_data(e, kVkcEngineCtxIndex));
    ENGINE_set_ex_data(e, kVkcEngineCtxIndex, nullptr);
    OPENSSL_free(ctx);
    ENGINE_free(e);
    return;
  }
  if (!ENGINE_add(e)) {
    // An engine of that id is already listed (a host configuration's): the
    // system's engine is not added, and says so.
    fprintf(stderr, "ENGINE_load_pkcs11() : engine id '%s' is already taken\n", kPkcs11EngineId);
    auto* ctx = static_cast<VKC2012_ENGINE_CTX*>(ENGINE_get_ex_data(e, kVkcEngineCtxIndex));
    ENGINE_set_ex_data(e, kVkcEngineCtxIndex, nullptr);
    OPENSSL_free(ctx);
  }
  ENGINE_free(e);
  ERR_clear_error();
}
