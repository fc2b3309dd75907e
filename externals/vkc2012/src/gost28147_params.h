/* Stored GOST 28147-89 and GOST R 34.11-94 parameter sets and the DER
 * object identifiers that name them. Internal header. */
#ifndef VKC_GOST28147_PARAMS_H
#define VKC_GOST28147_PARAMS_H

#include <stdint.h>

#include "gost28147.h"

ORVEL_EXTERN_C_BEGIN

extern const uint8_t VKC_PAR_CIPHER_0_OID[9];
extern const uint8_t VKC_PAR_CIPHER_A_OID[9];
extern const uint8_t VKC_PAR_CIPHER_B_OID[9];
extern const uint8_t VKC_PAR_CIPHER_C_OID[9];
extern const uint8_t VKC_PAR_CIPHER_D_OID[9];
extern const uint8_t VKC_PAR_CIPHER_0S_OID[9];
extern const uint8_t VKC_PAR_CIPHER_SA_OID[9];
extern const uint8_t VKC_PAR_CIPHER_SB_OID[9];
extern const uint8_t VKC_PAR_CIPHER_SC_OID[9];
extern const uint8_t VKC_PAR_CIPHER_SD_OID[9];
extern const uint8_t VKC_PAR_CIPHER_Z_OID[11];
extern const uint8_t VKC_PAR_HASH_0_OID[9];
extern const uint8_t VKC_PAR_HASH_1_OID[9];

/* The eleven stored records; their next links belong to the registry. */
extern Gost28147ParamSet cp_gost28147_89_par[11];
extern Gost28147ParamSet* const cp_gost28147_89_default_par;
/* Head of the process-wide registry; NULL until the first registration. */
extern Gost28147ParamSet* gost28147_89_reg_par;

extern const Gost3411_94ParamSet cp_gostr3411_94_par[2];
extern const Gost3411_94ParamSet* const cp_gostr3411_94_default_par;

ORVEL_EXTERN_C_END

#endif
