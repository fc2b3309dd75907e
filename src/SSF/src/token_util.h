// Small helpers of the token code.
#ifndef ORVEL_SSF_TOKEN_UTIL_H
#define ORVEL_SSF_TOKEN_UTIL_H

#include <cstddef>

#include "engines/pkcs11/pk11_types.h"

// Copies n bytes in reverse order (the last source byte first); returns n,
// or 0 (copying nothing) when n is below 1.
int memcpy_rev(void* dst, const void* src, int n);

// "Token: '<label>' (#<serial>)" from a token information record, label and
// serial number without trailing white space. A static buffer that the next
// call overwrites.
const char* make_token_pin_prompt(const CK_TOKEN_INFO* info);

#endif
