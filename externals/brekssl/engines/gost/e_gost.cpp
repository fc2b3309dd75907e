#include "engines/gost/e_gost.h"

#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/objects.h>
#include <stdio.h>
#include <string.h>

#include <array>

#include "engines/gost/e_gost_ctrl.h"
#include "engines/gost/gost_ciphers.h"
#include "engines/gost/gost_digests.h"
#include "engines/gost/gost_engine_ctx.h"
#include "engines/gost/gost_imit.h"
#include "engines/gost/gost_kuzmagma_ciphers.h"
#include "engines/gost/gost_kuzmagma_mac.h"
#include "engines/gost/gost_pkey.h"
#include "objects/ssf_objects.h"
#include "ossl_ptr.h"

namespace {

// DER of id-tc26-gost-28147-param-Z, the default GOST 28147-89 set.
constexpr unsigned char kParamZOid[] = {0x06, 0x09, 0x2A, 0x85, 0x03, 0x07,
                                        0x01, 0x02, 0x05, 0x01, 0x01};

// The engine whose context the ciphers and key methods read: the first one
// bound in this process, until it is destroyed.
ENGINE* g_bound_engine = nullptr;
// An engine that could not join the engine list (id taken): kept, since the
// toolkit's method tables point at it.
ENGINE* g_unlisted_engine = nullptr;

int nid_gost89() { return NID_id_Gost28147_89; }
int nid_gost89_cnt() { return NID_gost89_cnt; }
int nid_gosthash_94() { return NID_id_GostR3411_94; }
int nid_gost_mac() { return NID_id_Gost28147_89_MAC; }
int nid_gost2001() { return NID_id_GostR3410_2001; }
int nid_gost2001_dh() { return NID_id_GostR3410_2001DH; }

// Selector rows in the order of the engine's NID lists.
struct CipherRow {
  int (*nid)();
  const EVP_CIPHER* (*object)();
};
constexpr CipherRow kCipherRows[] = {
    {nid_gost89, EVP_gost28147},
    {nid_gost89_cnt, vkc_cipher_gost89_cnt},
    {ssf_nid_gost89_cbc, vkc_cipher_gost89_cbc},
    {ssf_nid_gost89_cbcstrict, vkc_cipher_gost89_cbcstrict},
    {ssf_nid_gost89_ecb, vkc_cipher_gost89_ecb},
    {ssf_nid_kuznechik_ecb, vkc_kuznechik_ecb},
    {ssf_nid_kuznechik_cbc, vkc_kuznechik_cbc},
    {ssf_nid_kuznechik_ctr, vkc_kuznechik_ctr},
    {ssf_nid_kuznechik_ofb, vkc_kuznechik_ofb},
    {ssf_nid_kuznechik_cfb, vkc_kuznechik_cfb},
    {ssf_nid_magma_ecb, vkc_magma_ecb},
    {ssf_nid_magma_cbc, vkc_magma_cbc},
    {ssf_nid_magma_ctr, vkc_magma_ctr},
    {ssf_nid_magma_ofb, vkc_magma_ofb},
    {ssf_nid_magma_cfb, vkc_magma_cfb},
};

struct DigestRow {
  int (*nid)();
  const EVP_MD* (*object)();
};
constexpr DigestRow kDigestRows[] = {
    {nid_gosthash_94, EVP_gosthash_94},
    {ssf_nid_md_gost12_256, EVP_gosthash_2012_256},
    {ssf_nid_md_gost12_512, EVP_gosthash_2012_512},
    {nid_gost_mac, EVP_gostimito},
    {ssf_nid_kuznechik_mac, vkc_kuznechik_mac_md},
    {ssf_nid_magma_mac, vkc_magma_mac_md},
};

// Key types, in the order of the engine's key-method NID list, with the PEM
// name and description of their key ASN.1 method.
struct PkeyRow {
  int (*nid)();
  const char* pem;
  const char* info;
};
constexpr PkeyRow kPkeyRows[] = {
    {nid_gost2001, "GOST2001", "GOST R 34.10-2001"},
    {ssf_nid_gost2012_256, "GOST2012_256", "GOST R 34.10-2012-256"},
    {ssf_nid_gost2012_512, "GOST2012_512", "GOST R 34.10-2012-512"},
    {nid_gost_mac, "GOST-MAC", "GOST 28147-89 MAC"},
    {nid_gost2001_dh, "GOST2001 DH", "GOST R 34.10-2001 DH"},
    {ssf_nid_id_tc26_agreement_gost_3410_2012_256, "GOST2012_256 DH", "GOST R 34.10-2012-256 DH"},
    {ssf_nid_id_tc26_agreement_gost_3410_2012_512, "GOST2012_512 DH", "GOST R 34.10-2012-512 DH"},
    {ssf_nid_kuznechik_mac, "KUZNECHIK-MAC", "KUZNECHIK MAC"},
    {ssf_nid_magma_mac, "MAGMA-MAC", "MAGMA MAC"},
};
constexpr size_t kPkeyCount = std::size(kPkeyRows);
// Creation order of the key methods: the signature keys, the MAC keys, the
// agreement types (rows of kPkeyRows).
constexpr std::array<size_t, kPkeyCount> kPkeyCreationOrder = {0, 1, 2, 3, 7, 8, 4, 5, 6};

// NID lists (0-terminated) as the selectors report them, filled at binding.
std::array<int, std::size(kCipherRows) + 1> g_cipher_nids{};
int g_cipher_count = 0;
std::array<int, std::size(kDigestRows) + 1> g_digest_nids{};
int g_digest_count = 0;
std::array<int, kPkeyCount + 1> g_pkey_nids{};

// Key methods and key ASN.1 methods of one engine. The toolkit frees an
// engine's methods with the engine, so every binding makes its own; they are
// held in an extra-data slot of the engine (this record is freed with it).
struct EngineMethods {
  std::array<EVP_PKEY_METHOD*, kPkeyCount> pmeths;
  std::array<EVP_PKEY_ASN1_METHOD*, kPkeyCount> ameths;
};

extern "C" void free_engine_methods(void* /*parent*/, void* ptr, CRYPTO_EX_DATA* /*ad*/,
                                    int /*idx*/, long /*argl*/, void* /*argp*/) {
  OPENSSL_free(ptr);
}

int methods_index() {
  static const int index =
      ENGINE_get_ex_new_index(0, nullptr, nullptr, nullptr, free_engine_methods);
  return index;
}

EngineMethods* methods_of(const ENGINE* e) {
  int index = methods_index();
  if (index < 0) return nullptr;
  return static_cast<EngineMethods*>(ENGINE_get_ex_data(e, index));
}

template <typename Row, size_t N, size_t M>
int fill_nids(const Row (&rows)[N], std::array<int, M>& out) {
  static_assert(M == N + 1);
  int n = 0;
  for (const Row& row : rows) {
    int nid = row.nid();
    if (row.object != nullptr && nid != NID_undef && row.object() != nullptr) out[n++] = nid;
  }
  out[n] = 0;
  return n;
}

bool fill_pkey_nids() {
  for (size_t i = 0; i < kPkeyCount; ++i) {
    g_pkey_nids[i] = kPkeyRows[i].nid();
    if (g_pkey_nids[i] == NID_undef) return false;
  }
  g_pkey_nids[kPkeyCount] = 0;
  return true;
}

extern "C" int vkc_ciphers(ENGINE* /*e*/, const EVP_CIPHER** cipher, const int** nids, int nid) {
  if (cipher == nullptr) {
    if (nids != nullptr) *nids = g_cipher_nids.data();
    return g_cipher_count;
  }
  *cipher = nullptr;
  if (nid == NID_undef) return 0;
  for (const CipherRow& row : kCipherRows) {
    if (row.object != nullptr && row.nid() == nid) *cipher = row.object();
  }
  return *cipher != nullptr ? 1 : 0;
}

extern "C" int vkc_digests(ENGINE* /*e*/, const EVP_MD** digest, const int** nids, int nid) {
  if (digest == nullptr) {
    if (nids != nullptr) *nids = g_digest_nids.data();
    return g_digest_count;
  }
  *digest = nullptr;
  if (nid == NID_undef) return 0;
  for (const DigestRow& row : kDigestRows) {
    if (row.object != nullptr && row.nid() == nid) *digest = row.object();
  }
  return *digest != nullptr ? 1 : 0;
}

template <typename Meth>
int select_pkey(const EngineMethods* m, std::array<Meth*, kPkeyCount> EngineMethods::*field,
                Meth** out, const int** nids, int nid) {
  if (out == nullptr) {
    if (nids != nullptr) *nids = g_pkey_nids.data();
    return static_cast<int>(kPkeyCount);
  }
  *out = nullptr;
  if (nid == NID_undef || m == nullptr) return 0;
  for (size_t i = 0; i < kPkeyCount; ++i) {
    if (g_pkey_nids[i] == nid) *out = (m->*field)[i];
  }
  return *out != nullptr ? 1 : 0;
}

extern "C" int vkc_pkey_meths(ENGINE* e, EVP_PKEY_METHOD** pmeth, const int** nids, int nid) {
  return select_pkey(methods_of(e), &EngineMethods::pmeths, pmeth, nids, nid);
}

extern "C" int vkc_pkey_asn1_meths(ENGINE* e, EVP_PKEY_ASN1_METHOD** ameth, const int** nids,
                                   int nid) {
  return select_pkey(methods_of(e), &EngineMethods::ameths, ameth, nids, nid);
}

extern "C" int vkc_engine_init(ENGINE* e) {
  if (vkc_engine_ctx_of(e) == nullptr) {
    fputs("ENGINE_get_ex_data failed\n", stderr);
    return 0;
  }
  return 1;
}

extern "C" int vkc_engine_finish(ENGINE* e) { return vkc_engine_init(e); }

extern "C" int vkc_engine_destroy(ENGINE* e) {
  VKC2012_ENGINE_CTX* ctx = vkc_engine_ctx_of(e);
  if (ctx == nullptr) {
    fputs("ENGINE_get_ex_data failed\n", stderr);
    return 0;
  }
  ENGINE_set_ex_data(e, kVkcEngineCtxIndex, nullptr);
  OPENSSL_clear_free(ctx, sizeof(*ctx));
  if (g_bound_engine == e) g_bound_engine = nullptr;
  return 1;
}

bool fail(const char* message) {
  fputs(message, stderr);
  return false;
}

// The key ASN.1 methods and key methods, in their creation order.
bool make_key_methods(ENGINE* e) {
  int index = methods_index();
  if (index < 0) return false;
  auto* m = static_cast<EngineMethods*>(OPENSSL_zalloc(sizeof(EngineMethods)));
  if (m == nullptr) return false;
  if (!ENGINE_set_ex_data(e, index, m)) {
    OPENSSL_free(m);
    return false;
  }
  for (size_t i : kPkeyCreationOrder) {
    if (!register_ameth_vkc(g_pkey_nids[i], &m->ameths[i], kPkeyRows[i].pem, kPkeyRows[i].info))
      return false;
  }
  for (size_t i : kPkeyCreationOrder) {
    if (!register_pmeth_vkc(g_pkey_nids[i], &m->pmeths[i], 0)) return false;
  }
  return true;
}

// Look-up by name and identifier, without naming the engine.
bool add_names() {
  for (const CipherRow& row : kCipherRows) {
    if (row.object == nullptr) continue;
    // An object whose row the registry could not resolve is neither listed
    // nor named; the others still are.
    const EVP_CIPHER* c = row.object();
    if (c != nullptr && !EVP_add_cipher(c)) return false;
  }
  for (const DigestRow& row : kDigestRows) {
    if (row.object == nullptr) continue;
    const EVP_MD* md = row.object();
    if (md != nullptr && !EVP_add_digest(md)) return false;
  }
  return true;
}

// Steps up to attaching the context; on failure the context is not left
// behind.
bool bind_context(ENGINE* e) {
  auto* ctx = static_cast<VKC2012_ENGINE_CTX*>(OPENSSL_zalloc(sizeof(VKC2012_ENGINE_CTX)));
  if (ctx == nullptr) return fail("VKC2012_ENGINE_CTX malloc failed\n");
  ctx->gost28147_param_nid = ssf_nid_id_tc26_gost_28147_param_Z();
  memcpy(ctx->gost28147_param_oid, kParamZOid, sizeof(kParamZOid));
  ctx->pbe_prf_nid = ssf_nid_id_tc26_hmac_gost_3411_2012_512();
  if (!ENGINE_set_ex_data(e, kVkcEngineCtxIndex, ctx)) {
    OPENSSL_free(ctx);
    return fail("ENGINE_set_ex_data failed\n");
  }
  return true;
}

void drop_context(ENGINE* e) {
  VKC2012_ENGINE_CTX* ctx = vkc_engine_ctx_of(e);
  ENGINE_set_ex_data(e, kVkcEngineCtxIndex, nullptr);
  OPENSSL_clear_free(ctx, sizeof(VKC2012_ENGINE_CTX));
}

bool bind_steps(ENGINE* e) {
  if (!ENGINE_set_id(e, kGostEngineId)) return fail("ENGINE_set_id failed\n");
  if (!ENGINE_set_name(e, kGostEngineName)) return fail("ENGINE_set_name failed\n");
  if (!bind_context(e)) return false;
  bool ok = false;
  if (!ENGINE_set_digests(e, vkc_digests)) {
    fail("ENGINE_set_digests failed\n");
  } else if (!ENGINE_set_ciphers(e, vkc_ciphers)) {
    fail("ENGINE_set_ciphers failed\n");
  } else if (!ENGINE_set_pkey_meths(e, vkc_pkey_meths)) {
    fail("ENGINE_set_pkey_meths failed\n");
  } else if (!ENGINE_set_pkey_asn1_meths(e, vkc_pkey_asn1_meths)) {
    fail("ENGINE_set_pkey_asn1_meths failed\n");
  } else if (!ENGINE_set_cmd_defns(e, vkc_cmds)) {
    fail("ENGINE_set_cmd_defns failed\n");
  } else if (!ENGINE_set_ctrl_function(e, vkc_control_func)) {
    fail("ENGINE_set_ctrl_func failed\n");
  } else {
    ok = ENGINE_set_destroy_function(e, vkc_engine_destroy) &&
         ENGINE_set_init_function(e, vkc_engine_init) &&
         ENGINE_set_finish_function(e, vkc_engine_finish);
  }
  if (!ok) {
    // Without the destroy callback nothing else frees the context.
    ENGINE_set_destroy_function(e, nullptr);
    drop_context(e);
    return false;
  }
  // From here on the destroy callback frees the context.
  return make_key_methods(e) && ENGINE_register_ciphers(e) && ENGINE_register_digests(e) &&
         ENGINE_register_pkey_meths(e) && ENGINE_register_pkey_asn1_meths(e) && add_names();
}

// The toolkit's method tables must not keep an engine that is freed.
void unregister_all(ENGINE* e) {
  ENGINE_unregister_ciphers(e);
  ENGINE_unregister_digests(e);
  ENGINE_unregister_pkey_meths(e);
  ENGINE_unregister_pkey_asn1_meths(e);
}

}  // namespace

VKC2012_ENGINE_CTX* vkc_engine_ctx_of(const ENGINE* e) {
  if (e == nullptr) return nullptr;
  return static_cast<VKC2012_ENGINE_CTX*>(ENGINE_get_ex_data(e, kVkcEngineCtxIndex));
}

VKC2012_ENGINE_CTX* vkc_engine_ctx() {
  VKC2012_ENGINE_CTX* ctx = vkc_engine_ctx_of(g_bound_engine);
  if (ctx == nullptr) fputs("ENGINE_get_ex_data failed\n", stderr);
  return ctx;
}

int vkc_engine_param_oid_len(const VKC2012_ENGINE_CTX* ctx) {
  const uint8_t* der = ctx->gost28147_param_oid;
  if (der[0] != V_ASN1_OBJECT || der[1] > kVkcParamOidMax - 2) return 0;
  return der[1] + 2;
}

int bind_vkc_2012(ENGINE* e) {
  // The NID lists come from the object registry.
  g_cipher_count = fill_nids(kCipherRows, g_cipher_nids);
  g_digest_count = fill_nids(kDigestRows, g_digest_nids);
  if (!fill_pkey_nids()) return 0;
  if (!bind_steps(e)) return 0;
  if (g_bound_engine == nullptr) g_bound_engine = e;
  return 1;
}

void ENGINE_load_gost() {
  orvel::EnginePtr e(ENGINE_new());
  if (!e) {
    fputs("ENGINE_new failed\n", stderr);
    return;
  }
  if (!bind_vkc_2012(e.get())) {
    unregister_all(e.get());
    if (g_bound_engine == e.get()) g_bound_engine = nullptr;
    return;
  }
  if (!ENGINE_add(e.get())) {
    // The id is taken (a host configuration may have loaded an engine of
    // that name). The system's methods stay registered: the engine is kept
    // for the process, outside the engine list.
    fputs("ENGINE_add failed: engine id \"gost\" is already in use\n", stderr);
    g_unlisted_engine = e.release();
  }
  ERR_clear_error();
}
