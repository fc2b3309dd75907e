// GOST 28147-89 parameter sets, their registry, and the GOST R 34.11-94
// parameter sets.
#include "gost28147_params.h"

#include <stdlib.h>
#include <string.h>

#include "gost28147_sbox.h"
#include "vkc_log.h"

namespace {

bool oid_equal(const Gost28147ParamSet* p, const uint8_t* der, uint32_t len) {
  return p->oid_len == len && p->oid_der != nullptr && memcmp(p->oid_der, der, len) == 0;
}

bool oid_equal(const Gost3411_94ParamSet* p, const uint8_t* der, uint32_t len) {
  return p->oid_len == len && p->oid_der != nullptr && memcmp(p->oid_der, der, len) == 0;
}

bool text_equal(const char* a, const char* b) { return a != nullptr && strcmp(a, b) == 0; }

bool is_registered(const Gost28147ParamSet* par) {
  for (const Gost28147ParamSet* p = gost28147_89_reg_par; p != nullptr; p = p->next)
    if (p == par) return true;
  return false;
}

// The look-ups link the stored rows on first use.
bool ensure_registry() {
  if (gost28147_89_reg_par != nullptr) return true;
  if (GOST28147_89_RegisterCryptoProPar() != 0) {
    VKC_LOG("GOST28147_89_RegisterCryptoProPar failed");
    return false;
  }
  return true;
}

template <typename Match>
int32_t find_par(const char* fn, Gost28147ParamSet** out, Match match) {
  *out = nullptr;
  if (!ensure_registry()) return -1;
  for (Gost28147ParamSet* p = gost28147_89_reg_par; p != nullptr; p = p->next) {
    if (match(p)) {
      *out = p;
      return 0;
    }
  }
  VKC_LOG("%s: unsupported OID", fn);
  return -1;
}

template <typename Match>
int32_t find_hash_par(const char* fn, const Gost3411_94ParamSet** out, Match match) {
  *out = nullptr;
  for (const Gost3411_94ParamSet& p : cp_gostr3411_94_par) {
    if (match(&p)) {
      *out = &p;
      return 0;
    }
  }
  VKC_LOG("%s: unsupported OID", fn);
  return -1;
}

}  // namespace

extern "C" {

const uint8_t VKC_PAR_CIPHER_0_OID[9] = {0x06, 0x07, 0x2a, 0x85, 0x03, 0x02, 0x02, 0x1f, 0x00};
const uint8_t VKC_PAR_CIPHER_A_OID[9] = {0x06, 0x07, 0x2a, 0x85, 0x03, 0x02, 0x02, 0x1f, 0x01};
const uint8_t VKC_PAR_CIPHER_B_OID[9] = {0x06, 0x07, 0x2a, 0x85, 0x03, 0x02, 0x02, 0x1f, 0x02};
const uint8_t VKC_PAR_CIPHER_C_OID[9] = {0x06, 0x07, 0x2a, 0x85, 0x03, 0x02, 0x02, 0x1f, 0x03};
const uint8_t VKC_PAR_CIPHER_D_OID[9] = {0x06, 0x07, 0x2a, 0x85, 0x03, 0x02, 0x02, 0x1f, 0x04};
const uint8_t VKC_PAR_CIPHER_0S_OID[9] = {0x06, 0x07, 0x2a, 0x85, 0x03, 0x02, 0x02, 0x1f, 0x05};
const uint8_t VKC_PAR_CIPHER_SA_OID[9] = {0x06, 0x07, 0x2a, 0x85, 0x03, 0x02, 0x02, 0x1f, 0x06};
const uint8_t VKC_PAR_CIPHER_SB_OID[9] = {0x06, 0x07, 0x2a, 0x85, 0x03, 0x02, 0x02, 0x1f, 0x07};
const uint8_t VKC_PAR_CIPHER_SC_OID[9] = {0x06, 0x07, 0x2a, 0x85, 0x03, 0x02, 0x02, 0x1f, 0x08};
const uint8_t VKC_PAR_CIPHER_SD_OID[9] = {0x06, 0x07, 0x2a, 0x85, 0x03, 0x02, 0x02, 0x1f, 0x09};
const uint8_t VKC_PAR_CIPHER_Z_OID[11] = {0x06, 0x09, 0x2a, 0x85, 0x03, 0x07,
                                          0x01, 0x02, 0x05, 0x01, 0x01};
const uint8_t VKC_PAR_HASH_0_OID[9] = {0x06, 0x07, 0x2a, 0x85, 0x03, 0x02, 0x02, 0x1e, 0x00};
const uint8_t VKC_PAR_HASH_1_OID[9] = {0x06, 0x07, 0x2a, 0x85, 0x03, 0x02, 0x02, 0x1e, 0x01};

Gost28147ParamSet cp_gost28147_89_par[11] = {
    {9, VKC_PAR_CIPHER_0_OID, "1.2.643.2.2.31.0", "id-Gost28147-89-TestParamSet", &TZ_28147_89[0],
     3, 0, nullptr},
    {9, VKC_PAR_CIPHER_A_OID, "1.2.643.2.2.31.1", "id-Gost28147-89-CryptoPro-A-ParamSet",
     &TZ_28147_89[1], 2, 1, nullptr},
    {9, VKC_PAR_CIPHER_B_OID, "1.2.643.2.2.31.2", "id-Gost28147-89-CryptoPro-B-ParamSet",
     &TZ_28147_89[2], 2, 1, nullptr},
    {9, VKC_PAR_CIPHER_C_OID, "1.2.643.2.2.31.3", "id-Gost28147-89-CryptoPro-C-ParamSet",
     &TZ_28147_89[3], 2, 1, nullptr},
    {9, VKC_PAR_CIPHER_D_OID, "1.2.643.2.2.31.4", "id-Gost28147-89-CryptoPro-D-ParamSet",
     &TZ_28147_89[4], 2, 1, nullptr},
    {9, VKC_PAR_CIPHER_0S_OID, "1.2.643.2.2.31.5", "id-Gost28147-89-CryptoPro-Oscar-1-1-ParamSet",
     &TZ_28147_89[0], 3, 0, nullptr},
    {9, VKC_PAR_CIPHER_SA_OID, "1.2.643.2.2.31.6", "id-Gost28147-89-CryptoPro-Oscar-1-0-ParamSet",
     &TZ_28147_89[1], 2, 0, nullptr},
    {9, VKC_PAR_CIPHER_SB_OID, "1.2.643.2.2.31.7", "id-Gost28147-89-CryptoPro-RIC-1-ParamSet",
     &TZ_28147_89[2], 2, 0, nullptr},
    {9, VKC_PAR_CIPHER_SC_OID, "1.2.643.2.2.31.8", "id-Gost28147-89-CryptoPro-Simple-C-ParamSet",
     &TZ_28147_89[3], 2, 0, nullptr},
    {9, VKC_PAR_CIPHER_SD_OID, "1.2.643.2.2.31.9", "id-Gost28147-89-CryptoPro-Simple-D-ParamSet",
     &TZ_28147_89[4], 2, 0, nullptr},
    {11, VKC_PAR_CIPHER_Z_OID, "1.2.643.7.1.2.5.1.1", "id-tc26-gost-28147-param-Z",
     &TZ_28147_89[5], 2, 1, nullptr},
};

Gost28147ParamSet* const cp_gost28147_89_default_par = &cp_gost28147_89_par[10];
Gost28147ParamSet* gost28147_89_reg_par = nullptr;

const Gost3411_94ParamSet cp_gostr3411_94_par[2] = {
    {9, VKC_PAR_HASH_0_OID, "1.2.643.2.2.30.0", "id-GostR3411-94-TestParamSet", &TZ_3411_94[0]},
    {9, VKC_PAR_HASH_1_OID, "1.2.643.2.2.30.1", "id-GostR3411-94-CryptoProParamSet",
     &TZ_3411_94[1]},
};
const Gost3411_94ParamSet* const cp_gostr3411_94_default_par = &cp_gostr3411_94_par[1];

Gost28147ParamSet* GOST28147_89_GetPar(uint32_t index) {
  return index < 11 ? &cp_gost28147_89_par[index] : nullptr;
}

Gost28147ParamSet* GOST28147_89_GetDefaultPar(void) { return cp_gost28147_89_default_par; }

int32_t GOST28147_89_RegisterPar(Gost28147ParamSet* par) {
  if (par == nullptr) return -1;
  // A record already in the list stays where it is: relinking it at the
  // tail would cut the list behind it.
  if (is_registered(par)) return 0;
  par->next = nullptr;
  Gost28147ParamSet** link = &gost28147_89_reg_par;
  while (*link != nullptr) link = &(*link)->next;
  *link = par;
  return 0;
}

int32_t GOST28147_89_UnregisterPar(const uint8_t* oid_der, uint32_t oid_len) {
  if (gost28147_89_reg_par == nullptr) {
    VKC_LOG("GOST28147_89_UnregisterPar: no registered params");
    return -1;
  }
  if (oid_der == nullptr) return -1;
  for (Gost28147ParamSet** link = &gost28147_89_reg_par; *link != nullptr;
       link = &(*link)->next) {
    Gost28147ParamSet* p = *link;
    if (oid_equal(p, oid_der, oid_len)) {
      *link = p->next;
      p->next = nullptr;
      return 0;
    }
  }
  VKC_LOG("GOST28147_89_UnregisterPar: no params found for OID");
  return -2;
}

int32_t GOST28147_89_RegisterCryptoProPar(void) {
  for (Gost28147ParamSet& p : cp_gost28147_89_par) {
    if (GOST28147_89_RegisterPar(&p) != 0) {
      VKC_LOG("GOST28147_89_RegisterCryptoProPar failed");
      return -1;
    }
  }
  return 0;
}

int32_t GOST28147_89_FindParByDerOid(const uint8_t* oid_der, uint32_t oid_len,
                                     Gost28147ParamSet** out) {
  if (out == nullptr) return -1;
  if (oid_der == nullptr) {
    *out = nullptr;
    return -1;
  }
  return find_par("GOST28147_89_FindParByDerOid", out,
                  [&](const Gost28147ParamSet* p) { return oid_equal(p, oid_der, oid_len); });
}

int32_t GOST28147_89_FindParByOidName(const char* name, Gost28147ParamSet** out) {
  if (out == nullptr) return -1;
  if (name == nullptr) {
    *out = nullptr;
    return -1;
  }
  return find_par("GOST28147_89_FindParByOidName", out,
                  [&](const Gost28147ParamSet* p) { return text_equal(p->name, name); });
}

int32_t GOST28147_89_FindParByDottedOid(const char* dotted, Gost28147ParamSet** out) {
  if (out == nullptr) return -1;
  if (dotted == nullptr) {
    *out = nullptr;
    return -1;
  }
  return find_par("GOST28147_89_FindParByDottedOid", out,
                  [&](const Gost28147ParamSet* p) { return text_equal(p->oid_dotted, dotted); });
}

int32_t GOST28147_89_CopyPar(const Gost28147ParamSet* par, Gost28147ParamSet** out) {
  if (par == nullptr || out == nullptr) return -1;
  auto* copy = static_cast<Gost28147ParamSet*>(malloc(sizeof(Gost28147ParamSet)));
  if (copy == nullptr) {
    VKC_LOG("GOST28147_89_CopyPar: out of memory");
    *out = nullptr;
    return -1;
  }
  *copy = *par;
  copy->next = nullptr;
  *out = copy;
  return 0;
}

int32_t GOST28147_89_SetModePar(Gost28147ParamSet* par, uint8_t mode) {
  if (par == nullptr) return -1;
  par->mode = mode;
  return 0;
}

int32_t GOST28147_89_SetKeyMeshingPar(Gost28147ParamSet* par, uint8_t flag) {
  if (par == nullptr) return -1;
  par->key_meshing = flag;
  return 0;
}

int32_t GOST28147_89_SetOIDPar(Gost28147ParamSet* par, const uint8_t* oid_der, uint32_t oid_len,
                               const char* oid_dotted, const char* name) {
  if (par == nullptr) return -1;
  par->oid_der = oid_der;
  par->oid_len = oid_len;
  par->oid_dotted = oid_dotted;
  par->name = name;
  return 0;
}

const Gost3411_94ParamSet* GOSTR3411_94_GetPar(uint32_t index) {
  return index < 2 ? &cp_gostr3411_94_par[index] : nullptr;
}

const Gost3411_94ParamSet* GOSTR3411_94_GetDefaultPar(void) {
  return cp_gostr3411_94_default_par;
}

int32_t GOSTR3411_94_FindParByDerOid(const uint8_t* oid_der, uint32_t oid_len,
                                     const Gost3411_94ParamSet** out) {
  if (out == nullptr) return -1;
  if (oid_der == nullptr) {
    *out = nullptr;
    return -1;
  }
  return find_hash_par("GOSTR3411_94_FindParByDerOid", out, [&](const Gost3411_94ParamSet* p) {
    return oid_equal(p, oid_der, oid_len);
  });
}

int32_t GOSTR3411_94_FindParByOidName(const char* name, const Gost3411_94ParamSet** out) {
  if (out == nullptr) return -1;
  if (name == nullptr) {
    *out = nullptr;
    return -1;
  }
  return find_hash_par("GOSTR3411_94_FindParByOidName", out,
                       [&](const Gost3411_94ParamSet* p) { return text_equal(p->name, name); });
}

int32_t GOSTR3411_94_FindParByDottedOid(const char* dotted, const Gost3411_94ParamSet** out) {
  if (out == nullptr) return -1;
  if (dotted == nullptr) {
    *out = nullptr;
    return -1;
  }
  return find_hash_par("GOSTR3411_94_FindParByDottedOid", out,
                       [&](const Gost3411_94ParamSet* p) {
                         return text_equal(p->oid_dotted, dotted);
                       });
}

}  // extern "C"
