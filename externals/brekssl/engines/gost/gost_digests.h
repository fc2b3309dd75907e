// GOST R 34.11-94 (CryptoPro parameter set) and GOST R 34.11-2012 (256 and
// 512 bits) as toolkit digest objects. Digests come out as the crypto core
// writes them, least significant byte first.
#ifndef ORVEL_GOST_DIGESTS_H
#define ORVEL_GOST_DIGESTS_H

#include <openssl/evp.h>

const EVP_MD* EVP_gosthash_94();
const EVP_MD* EVP_gosthash_2012_256();
const EVP_MD* EVP_gosthash_2012_512();

#endif
