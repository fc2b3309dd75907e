// Signature-algorithm pairs (signature, digest, key type) and PBE PRF rows
// (HMAC PRF to digest) of GOST R 34.10-2012 / 34.11-2012 that the toolkit
// needs for certificates, CRLs and PBES2 data.
#ifndef ORVEL_ALGORITHM_PAIRS_H
#define ORVEL_ALGORITHM_PAIRS_H

// Adds the pairs and rows the toolkit lacks; a pair the toolkit already has
// must agree. 1 on success, 0 with the error queue set.
int ssf_register_algorithm_pairs();

#endif
