#include "ec256.h"

#include "ec_point_api.h"
#include "vkc_log.h"

using vkc_ec::Ec256T;
namespace api = vkc_ec::api;

extern "C" {

int epIsZero(const GostPoint* P) { return vkc_ec::pt_is_zero<Ec256T>(P) ? 1 : 0; }

int epIsEqual(const GostPoint* P, const GostPoint* Q) { return api::is_equal<Ec256T>(P, Q); }

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
  return api::subtract<Ec256T>(R, P, Q, E);
}

int epMult(GostPoint* R, const GostPoint* P, const DIGIT_T* k, const GOSTR3410_2012_256_PAR* E) {
  return api::mult_abs<Ec256T>(R, P, k, E, "epMult");
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
  return api::mult_j<Ec256T>(R, P, k, E);
}

int epMultPP(GostPoint* R, const DIGIT_T* k, const GOSTR3410_2012_256_PAR* E) {
  return api::mult_pp<Ec256T>(R, k, E);
}

int epConvToDecimal(const GostPoint* P, char* x, char* y, uint32_t size) {
  return api::to_decimal<Ec256T>(P, x, y, size);
}

int epConvToHex(const GostPoint* P, char* x, char* y, uint32_t size) {
  return api::to_hex<Ec256T>(P, x, y, size);
}

int epConvFromDecimal(GostPoint* P, const char* x, const char* y) {
  return api::from_decimal<Ec256T>(P, x, y);
}

int epConvFromHex(GostPoint* P, const char* x, const char* y) {
  return api::from_hex<Ec256T>(P, x, y);
}

const GOSTR3410_2012_256_PAR* GOSTR3410_2012_256_GetPar(uint32_t index) {
  return index < GOST256_PAR_COUNT ? &tc26_ecc_par[index] : nullptr;
}

const GOSTR3410_2012_256_PAR* GOSTR3410_2012_256_GetDefaultPar(void) {
  return default_tc26_ecc_par;
}

int GOSTR3410_2012_256_FindParByDerOid(const unsigned char* der, uint32_t len,
                                       const GOSTR3410_2012_256_PAR** par) {
  return api::find_par<Ec256T>(der, par, [&](const GOSTR3410_2012_256_PAR& r) {
    return api::der_matches(der, len, r.cp_oid_len, r.cp_oid) ||
           api::der_matches(der, len, r.oid_len, r.oid);
  });
}

int GOSTR3410_2012_256_FindParByDottedOid(const char* oid, const GOSTR3410_2012_256_PAR** par) {
  return api::find_par<Ec256T>(oid, par, [&](const GOSTR3410_2012_256_PAR& r) {
    return api::text_matches(oid, r.cp_str_oid) || api::text_matches(oid, r.str_oid);
  });
}

int GOSTR3410_2012_256_FindParByOidName(const char* name, const GOSTR3410_2012_256_PAR** par) {
  return api::find_par<Ec256T>(name, par, [&](const GOSTR3410_2012_256_PAR& r) {
    return api::text_matches(name, r.cp_oid_name) || api::text_matches(name, r.oid_name);
  });
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
