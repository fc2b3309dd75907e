#include "ec256.h"

#include <stdio.h>
#include <string.h>

#include "ec_points.h"
#include "vkc_log.h"

using vkc_ec::Ec256T;

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

int epIsZero(const GostPoint* P) { return vkc_ec::pt_is_zero<Ec256T>(P) ? 1 : 0; }

int epIsEqual(const GostPoint* P, const GostPoint* Q) {
  return mpEqual(P->x, Q->x, GOST256_NDIGITS) == 1 && mpEqual(P->y, Q->y, GOST256_NDIGITS) == 1 ? 1
                                                                                                : 0;
}

int epSetZero(GostPoint* P) {
  vkc_ec::pt_set_zero<Ec256T>(P);
  return 0;
}

int epSetEqual(GostPoint* P, const GostPoint* Q) {
  if (P != Q) *P = *Q;
  return 0;
}

int epAdd(GostPoint* R, const GostPoint* P, const GostPoint* Q, const GOSTR3410_2012_256_PAR* E) {
  vkc_ec::ref_add<Ec256T>(R, P, Q, E);
  return 0;
}

int epSubtract(GostPoint* R, const GostPoint* P, const GostPoint* Q,
               const GOSTR3410_2012_256_PAR* E) {
  GostPoint nq;
  vkc_ec::ref_neg<Ec256T>(&nq, Q, E);
  vkc_ec::ref_add<Ec256T>(R, P, &nq, E);
  return 0;
}

int epMult(GostPoint* R, const GostPoint* P, const DIGIT_T* k, const GOSTR3410_2012_256_PAR* E) {
  if (R == nullptr || P == nullptr || k == nullptr || E == nullptr) {
    printf("epMult: bad arguments\n");
    return -1;
  }
  DIGIT_T kk[GOST256_NDIGITS];
  vkc_ec::abs_ct<GOST256_NDIGITS>(kk, k);
  vkc_ec::mult_any<Ec256T>(R, P, kk, E);
  vkc_ct::wipe(kk, sizeof kk);
  return 0;
}

int epA2J(GostJPoint* J, const GostPoint* P) {
  vkc_ec::ref_a2j<Ec256T>(J, P);
  return 0;
}

int epJ2A(GostPoint* P, const GostJPoint* J, const GOSTR3410_2012_256_PAR* E) {
  vkc_ec::ref_j2a<Ec256T>(P, J, E);
  return 0;
}

int epDublJ(GostJPoint* R, const GostJPoint* J, const GOSTR3410_2012_256_PAR* E) {
  vkc_ec::ref_dbl_j<Ec256T>(R, J, E);
  return 0;
}

int epAddJA(GostJPoint* R, const GostJPoint* J, const GostPoint* P,
            const GOSTR3410_2012_256_PAR* E) {
  vkc_ec::ref_add_ja<Ec256T>(R, J, P, E);
  return 0;
}

int epAddJChud(GostJPoint* R, const GostJPoint* J1, const GostJPoint* J2,
               const GOSTR3410_2012_256_PAR* E) {
  vkc_ec::ref_add_jj<Ec256T>(R, J1, J2, E);
  return 0;
}

int epMultJ(GostPoint* R, const GostPoint* P, const DIGIT_T* k, const GOSTR3410_2012_256_PAR* E) {
  if (R == nullptr || P == nullptr || k == nullptr || E == nullptr) return -1;
  vkc_ec::mult_any<Ec256T>(R, P, k, E);
  return 0;
}

int epMultPP(GostPoint* R, const DIGIT_T* k, const GOSTR3410_2012_256_PAR* E) {
  if (R == nullptr || k == nullptr || E == nullptr) return -1;
  vkc_ec::mult_base<Ec256T>(R, k, E);
  return 0;
}

int epConvToDecimal(const GostPoint* P, char* x, char* y, uint32_t size) {
  mpConvToDecimal(P->x, GOST256_NDIGITS, x, size);
  mpConvToDecimal(P->y, GOST256_NDIGITS, y, size);
  return 0;
}

int epConvToHex(const GostPoint* P, char* x, char* y, uint32_t size) {
  mpConvToHex(P->x, GOST256_NDIGITS, x, size);
  mpConvToHex(P->y, GOST256_NDIGITS, y, size);
  return 0;
}

int epConvFromDecimal(GostPoint* P, const char* x, const char* y) {
  mpConvFromDecimal(P->x, GOST256_NDIGITS, x);
  mpConvFromDecimal(P->y, GOST256_NDIGITS, y);
  return 0;
}

int epConvFromHex(GostPoint* P, const char* x, const char* y) {
  mpConvFromHex(P->x, GOST256_NDIGITS, x);
  mpConvFromHex(P->y, GOST256_NDIGITS, y);
  return 0;
}

const GOSTR3410_2012_256_PAR* GOSTR3410_2012_256_GetPar(uint32_t index) {
  return index < GOST256_PAR_COUNT ? &tc26_ecc_par[index] : nullptr;
}

const GOSTR3410_2012_256_PAR* GOSTR3410_2012_256_GetDefaultPar(void) {
  return default_tc26_ecc_par;
}

int GOSTR3410_2012_256_FindParByDerOid(const unsigned char* der, uint32_t len,
                                       const GOSTR3410_2012_256_PAR** par) {
  if (par == nullptr) return -1;
  *par = nullptr;
  if (der == nullptr) return -1;
  for (uint32_t i = 0; i < GOST256_PAR_COUNT; i++) {
    const GOSTR3410_2012_256_PAR* r = &tc26_ecc_par[i];
    if (der_matches(der, len, r->cp_oid_len, r->cp_oid) ||
        der_matches(der, len, r->oid_len, r->oid)) {
      *par = r;
      return 0;
    }
  }
  return -1;
}

int GOSTR3410_2012_256_FindParByDottedOid(const char* oid, const GOSTR3410_2012_256_PAR** par) {
  if (par == nullptr) return -1;
  *par = nullptr;
  if (oid == nullptr) return -1;
  for (uint32_t i = 0; i < GOST256_PAR_COUNT; i++) {
    const GOSTR3410_2012_256_PAR* r = &tc26_ecc_par[i];
    if (text_matches(oid, r->cp_str_oid) || text_matches(oid, r->str_oid)) {
      *par = r;
      return 0;
    }
  }
  return -1;
}

int GOSTR3410_2012_256_FindParByOidName(const char* name, const GOSTR3410_2012_256_PAR** par) {
  if (par == nullptr) return -1;
  *par = nullptr;
  if (name == nullptr) return -1;
  for (uint32_t i = 0; i < GOST256_PAR_COUNT; i++) {
    const GOSTR3410_2012_256_PAR* r = &tc26_ecc_par[i];
    if (text_matches(name, r->cp_oid_name) || text_matches(name, r->oid_name)) {
      *par = r;
      return 0;
    }
  }
  return -1;
}

const GOSTR3410_2012_256_PAR* GOSTR3410_2001_GetPar(uint32_t index) {
  return GOSTR3410_2012_256_GetPar(index);
}

const GOSTR3410_2012_256_PAR* GOSTR3410_2001_GetDefaultPar(void) {
  return GOSTR3410_2012_256_GetDefaultPar();
}

int GOSTR3410_2001_FindParByDerOid(const unsigned char* der, uint32_t len,
                                   const GOSTR3410_2012_256_PAR** par) {
  return GOSTR3410_2012_256_FindParByDerOid(der, len, par);
}

}  // extern "C"
