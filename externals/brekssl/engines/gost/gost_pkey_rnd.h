// The random function handed to the crypto core for key generation,
// signing and key masking.
#ifndef ORVEL_GOST_PKEY_RND_H
#define ORVEL_GOST_PKEY_RND_H

#include <cstdint>

// Fills buf from the toolkit's random source (the VPRNG of the "rand"
// engine); 0 on success, -1 when the source fails.
int rnd_bytes(unsigned char* buf, uint32_t len);

#endif
