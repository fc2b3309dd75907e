#include "engines/gost/gost_pkey_engine.h"

#include <array>
#include <cstddef>

namespace {

// Binding creates nine methods; a process that binds the engine again adds
// nine more. Written at start-up only.
std::array<const EVP_PKEY_ASN1_METHOD*, 128> g_own_ameths{};
std::size_t g_own_count = 0;

const VKC2012_ENGINE_CTX* ctx_of(ENGINE* e, int key_nid) {
  if (e == nullptr) return nullptr;
  ENGINE_PKEY_ASN1_METHS_PTR sel = ENGINE_get_pkey_asn1_meths(e);
  if (sel == nullptr) return nullptr;
  EVP_PKEY_ASN1_METHOD* m = nullptr;
  if (sel(e, &m, nullptr, key_nid) != 1 || !gost_pkey_is_own_ameth(m)) return nullptr;
  return vkc_engine_ctx_of(e);
}

}  // namespace

void gost_pkey_note_ameth(const EVP_PKEY_ASN1_METHOD* ameth) {
  if (ameth != nullptr && g_own_count < g_own_ameths.size()) g_own_ameths[g_own_count++] = ameth;
}

bool gost_pkey_is_own_ameth(const EVP_PKEY_ASN1_METHOD* ameth) {
  if (ameth == nullptr) return false;
  for (std::size_t i = 0; i < g_own_count; i++)
    if (g_own_ameths[i] == ameth) return true;
  return false;
}

const VKC2012_ENGINE_CTX* gost_pkey_engine_ctx(int key_nid) {
  // The engine registered as the default for the key type, else any engine
  // in the toolkit's list that carries these key methods.
  ENGINE* e = ENGINE_get_pkey_asn1_meth_engine(key_nid);
  const VKC2012_ENGINE_CTX* ctx = ctx_of(e, key_nid);
  if (e != nullptr) ENGINE_finish(e);
  if (ctx != nullptr) return ctx;
  for (ENGINE* it = ENGINE_get_first(); it != nullptr; it = ENGINE_get_next(it)) {
    ctx = ctx_of(it, key_nid);
    if (ctx != nullptr) {
      ENGINE_free(it);
      return ctx;
    }
  }
  return nullptr;
}
