// Digest objects for the hash ids of the interface, and the digestedData
// operation (digest_data, declared in operations.h).
#ifndef ORVEL_SSF_DIGEST_H
#define ORVEL_SSF_DIGEST_H

#include <openssl/evp.h>

// Hash ids passed on by the interface's hash-name check.
enum SsfHashId {
  SSF_HASH_GOSTR3411_94 = 4,
  SSF_HASH_MD5 = 5,
  SSF_HASH_SHA1 = 6,
  SSF_HASH_GOSTR3411_2012_256 = 7,
  SSF_HASH_GOSTR3411_2012_512 = 8
};

// The digest object of a hash id, or null (unknown id, or a GOST digest
// that no engine has registered).
const EVP_MD* get_EVP_MD_by_alg(int hash_id);

// The GOST digests, found through the toolkit by their short names, so the
// ones the "gost" engine registers are found; null while none is there.
const EVP_MD* SSF_EVP_gosthash();
const EVP_MD* SSF_EVP_gosthash_2012_256();
const EVP_MD* SSF_EVP_gosthash_2012_512();

#endif
