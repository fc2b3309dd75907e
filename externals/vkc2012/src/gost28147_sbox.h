/* The stored GOST 28147-89 and GOST R 34.11-94 S-boxes in expanded form and
 * the CryptoPro key-meshing constant. The tables are constant data, built at
 * compile time; other parts of the core (the random engine) read them here. */
#ifndef VKC_GOST28147_SBOX_H
#define VKC_GOST28147_SBOX_H

#include <stdint.h>

#include "gost28147.h"

ORVEL_EXTERN_C_BEGIN

/* Rows: 0 id-Gost28147-89-TestParamSet, 1-4 CryptoPro-A..D, 5 param-Z. */
extern const Gost28147ExpandedSbox TZ_28147_89[6];
/* Rows: 0 id-GostR3411-94-TestParamSet, 1 id-GostR3411-94-CryptoProParamSet. */
extern const Gost28147ExpandedSbox TZ_3411_94[2];
/* The 32 bytes C of CryptoPro key meshing (RFC 4357 2.3), as published. */
extern const uint8_t GOST28147_89_KEY_MESHING_C[32];

ORVEL_EXTERN_C_END

#endif
