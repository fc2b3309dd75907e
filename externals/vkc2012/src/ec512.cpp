#include "ec512.h"

#include <stdio.h>
#include <string.h>

#include "ec_points.h"
#include "vkc_log.h"

using vkc_ec::Ec512T;

namespace {

bool der_matches(const unsigned char* der, uint32_t len, uint32_t oid_len,
                 const unsigned char* oid) {
  return oid != nullptr && oid_len == len && memcmp(oid, der, len) == 0;
}

bool text_matches(const char* s, const char* field) {
  return field != nullptr && strcmp(s, field) == 0;
}

}  // namespace

extern "C" {

int depIsZero(const GostPoint512* P) { return vkc_ec::pt_is_zero<Ec512T>(P) ? 1 : 0; }

int depIsEqual(const GostPoint512* P, const GostPoint512* Q) {
  return mpEqual(P->x, Q->x, GOST512_NDIGITS) == 1 && mpEqual(P->y, Q->y, GOST512_NDIGITS) == 1 ? 1
                                                                                                : 0;
}

int depSetZero(GostPoint512* P) {
  vkc_ec::pt_set_zero<Ec512T>(P);
  return 0;
}

int depSetEqual(GostPoint512* P, const GostPoint512* Q) {
  if (P != Q) *P = *Q;
  return 0;
}

int depAdd(GostPoint512* R, const GostPoint512* P, const GostPoint512* Q,
           const GOSTR3410_2012_512_PAR* E) {
  vkc_ec::ref_add<Ec512T>(R, P, Q, E);
  return 0;
}

int depSubtract(GostPoint512* R, const GostPoint512* P, const GostPoint512* Q,
                const GOSTR3410_2012_512_PAR* E) {
  GostPoint512 nq;
  vkc_ec::ref_neg<Ec512T>(&nq, Q, E);
  vkc_ec::ref_add<Ec512T>(R, P, &nq, E);
  return 0;
}

int depMult(GostPoint512* R, const GostPoint512* P, const DIGIT_T* k,
            const GOSTR3410_2012_512_PAR* E) {
  if (R == nullptr || P == nullptr || k == nullptr || E == nullptr) {
    printf("depMult: bad arguments\n");
    return -1;
  }
  DIGIT_T kk[GOST512_NDIGITS];
  vkc_ec::abs_ct<GOST512_NDIGITS>(kk, k);
  vkc_ec::mult_any<Ec512T>(R, P, kk, E);
  vkc_ct::wipe(kk, sizeof kk);
  return 0;
}

int depA2J(GostJPoint512* J, const GostPoint512* P) {
  vkc_ec::ref_a2j<Ec512T>(J, P);
  return 0;
}

int depJ2A(GostPoint512* P, const GostJPoint512* J, const GOSTR3410_2012_512_PAR* E) {
  vkc_ec::ref_j2a<Ec512T>(P, J, E);
  return 0;
}

int depDublJ(GostJPoint512* R, const GostJPoint512* J, const GOSTR3410_2012_512_PAR* E) {
  vkc_ec::ref_dbl_j<Ec512T>(R, J, E);
  return 0;
}

int depAddJA(GostJPoint512* R, const GostJPoint512* J, const GostPoint512* P,
             const GOSTR3410_2012_512_PAR* E) {
  vkc_ec::ref_add_ja<Ec512T>(R, J, P, E);
  return 0;
}

int depAddJChud(GostJPoint512* R, const GostJPoint512* J1, const GostJPoint512* J2,
                const GOSTR3410_2012_512_PAR* E) {
  vkc_ec::ref_add_jj<Ec512T>(R, J1, J2, E);
  return 0;
}

int depMultJ(GostPoint512* R, const GostPoint512* P, const DIGIT_T* k,
             const GOSTR3410_2012_512_PAR* E) {
  if (R == nullptr || P == nullptr || k == nullptr || E == nullptr) return -1;
  vkc_ec::mult_any<Ec512T>(R, P, k, E);
  return 0;
}

int depMultPP(GostPoint512* R, const DIGIT_T* k, const GOSTR3410_2012_512_PAR* E) {
  if (R == nullptr || k == nullptr || E == nullptr) return -1;
  vkc_ec::mult_base<Ec512T>(R, k, E);
  return 0;
}

int depConvToDecimal(const GostPoint512* P, char* x, char* y, uint32_t size) {
  mpConvToDecimal(P->x, GOST512_NDIGITS, x, size);
  mpConvToDecimal(P->y, GOST512_NDIGITS, y, size);
  return 0;
}

int depConvToHex(const GostPoint512* P, char* x, char* y, uint32_t size) {
  mpConvToHex(P->x, GOST512_NDIGITS, x, size);
  mpConvToHex(P->y, GOST512_NDIGITS, y, size);
  return 0;
}

int depConvFromDecimal(GostPoint512* P, const char* x, const char* y) {
  mpConvFromDecimal(P->x, GOST512_NDIGITS, x);
  mpConvFromDecimal(P->y, GOST512_NDIGITS, y);
  return 0;
}

int depConvFromHex(GostPoint512* P, const char* x, const char* y) {
  mpConvFromHex(P->x, GOST512_NDIGITS, x);
  mpConvFromHex(P->y, GOST512_NDIGITS, y);
  return 0;
}

const GOSTR3410_2012_512_PAR* GOSTR3410_2012_512_GetPar(uint32_t index) {
  return index < GOST512_PAR_COUNT ? &tc26_decc_par[index] : nullptr;
}

const GOSTR3410_2012_512_PAR* GOSTR3410_2012_512_GetDefaultPar(void) {
  return default_tc26_decc_par;
}

int GOSTR3410_2012_512_FindParByDerOid(const unsigned char* der, uint32_t len,
                                       const GOSTR3410_2012_512_PAR** par) {
  if (par == nullptr) return -1;
  *par = nullptr;
  if (der == nullptr) return -1;
  for (uint32_t i = 0; i < GOST512_PAR_COUNT; i++) {
    const GOSTR3410_2012_512_PAR* r = &tc26_decc_par[i];
    if (der_matches(der, len, r->oid_len, r->oid)) {
      *par = r;
      return 0;
    }
  }
  return -1;
}

int GOSTR3410_2012_512_FindParByDottedOid(const char* oid, const GOSTR3410_2012_512_PAR** par) {
  if (par == nullptr) return -1;
  *par = nullptr;
  if (oid == nullptr) return -1;
  for (uint32_t i = 0; i < GOST512_PAR_COUNT; i++) {
    const GOSTR3410_2012_512_PAR* r = &tc26_decc_par[i];
    if (text_matches(oid, r->str_oid)) {
      *par = r;
      return 0;
    }
  }
  return -1;
}

int GOSTR3410_2012_512_FindParByOidName(const char* name, const GOSTR3410_2012_512_PAR** par) {
  if (par == nullptr) return -1;
  *par = nullptr;
  if (name == nullptr) return -1;
  for (uint32_t i = 0; i < GOST512_PAR_COUNT; i++) {
    const GOSTR3410_2012_512_PAR* r = &tc26_decc_par[i];
    if (text_matches(name, r->oid_name)) {
      *par = r;
      return 0;
    }
  }
  return -1;
}

}  // extern "C"
