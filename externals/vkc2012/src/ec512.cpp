#include "ec512.h"

#include "ec_point_api.h"
#include "vkc_log.h"

using vkc_ec::Ec512T;
namespace api = vkc_ec::api;

extern "C" {

int depIsZero(const GostPoint512* P) { return vkc_ec::pt_is_zero<Ec512T>(P) ? 1 : 0; }

int depIsEqual(const GostPoint512* P, const GostPoint512* Q) { return api::is_equal<Ec512T>(P, Q); }

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
  return api::subtract<Ec512T>(R, P, Q, E);
}

int depMult(GostPoint512* R, const GostPoint512* P, const DIGIT_T* k,
            const GOSTR3410_2012_512_PAR* E) {
  return api::mult_abs<Ec512T>(R, P, k, E, "depMult");
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
  return api::mult_j<Ec512T>(R, P, k, E);
}

int depMultPP(GostPoint512* R, const DIGIT_T* k, const GOSTR3410_2012_512_PAR* E) {
  return api::mult_pp<Ec512T>(R, k, E);
}

int depConvToDecimal(const GostPoint512* P, char* x, char* y, uint32_t size) {
  return api::to_decimal<Ec512T>(P, x, y, size);
}

int depConvToHex(const GostPoint512* P, char* x, char* y, uint32_t size) {
  return api::to_hex<Ec512T>(P, x, y, size);
}

int depConvFromDecimal(GostPoint512* P, const char* x, const char* y) {
  return api::from_decimal<Ec512T>(P, x, y);
}

int depConvFromHex(GostPoint512* P, const char* x, const char* y) {
  return api::from_hex<Ec512T>(P, x, y);
}

const GOSTR3410_2012_512_PAR* GOSTR3410_2012_512_GetPar(uint32_t index) {
  return index < GOST512_PAR_COUNT ? &tc26_decc_par[index] : nullptr;
}

const GOSTR3410_2012_512_PAR* GOSTR3410_2012_512_GetDefaultPar(void) {
  return default_tc26_decc_par;
}

int GOSTR3410_2012_512_FindParByDerOid(const unsigned char* der, uint32_t len,
                                       const GOSTR3410_2012_512_PAR** par) {
  return api::find_par<Ec512T>(der, par, [&](const GOSTR3410_2012_512_PAR& r) {
    return api::der_matches(der, len, r.oid_len, r.oid);
  });
}

int GOSTR3410_2012_512_FindParByDottedOid(const char* oid, const GOSTR3410_2012_512_PAR** par) {
  return api::find_par<Ec512T>(
      oid, par, [&](const GOSTR3410_2012_512_PAR& r) { return api::text_matches(oid, r.str_oid); });
}

int GOSTR3410_2012_512_FindParByOidName(const char* name, const GOSTR3410_2012_512_PAR** par) {
  return api::find_par<Ec512T>(name, par, [&](const GOSTR3410_2012_512_PAR& r) {
    return api::text_matches(name, r.oid_name);
  });
}

}  // extern "C"
