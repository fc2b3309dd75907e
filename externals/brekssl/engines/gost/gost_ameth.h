// Key ASN.1 method slots of the GOST R 34.10 key types (and of their
// agreement identifiers): certificates' public keys, PKCS#8 private keys,
// parameters, comparison, printing. The "pkcs11" engine reuses them.
#ifndef ORVEL_GOST_AMETH_H
#define ORVEL_GOST_AMETH_H

#include <openssl/evp.h>
#include <openssl/x509.h>

#include "engines/gost/gost_keypair.h"

// The VKC_GOST2012_KEY_PARAMS of a key as a SEQUENCE string; nullptr with a
// message when the key has no key object or encoding fails.
ASN1_STRING* encode_gost2012_algor_params(const EVP_PKEY* pkey);
// Reads the algorithm parameters into the toolkit key (type from the
// algorithm, agreement identifiers read as their signing types); 1 on
// success.
int decode_gost2012_algor_params(EVP_PKEY* pkey, const X509_ALGOR* palg);

// The key object of pkey, created and assigned under the signing type of
// key_nid when missing; nullptr on failure.
VK_GOST2012_KEYPAIR* gost_keypair_get_or_create(EVP_PKEY* pkey, int key_nid);

int pub_decode_gost2012(EVP_PKEY* pk, const X509_PUBKEY* pub);
int pub_encode_gost2012(X509_PUBKEY* pub, const EVP_PKEY* pk);
int pub_cmp_gost2012(const EVP_PKEY* a, const EVP_PKEY* b);
int priv_decode_gost2012(EVP_PKEY* pk, const PKCS8_PRIV_KEY_INFO* p8);
int priv_encode_gost2012(PKCS8_PRIV_KEY_INFO* p8, const EVP_PKEY* pk);
int pkey_size_gost2012(const EVP_PKEY* pk);
int pkey_bits_gost2012(const EVP_PKEY* pk);
int gost2012_param_decode(EVP_PKEY* pk, const unsigned char** pder, int derlen);
int gost2012_param_encode(const EVP_PKEY* pk, unsigned char** pder);
int param_missing_gost2012(const EVP_PKEY* pk);
int param_copy_gost2012(EVP_PKEY* to, const EVP_PKEY* from);
int param_cmp_gost2012(const EVP_PKEY* a, const EVP_PKEY* b);
void pkey_free_gost2012(EVP_PKEY* pk);
int pkey_ctrl_gost2012(EVP_PKEY* pk, int op, long arg1, void* arg2);
int pub_print_gost2012(BIO* out, const EVP_PKEY* pk, int indent, ASN1_PCTX* pctx);
int priv_print_gost2012(BIO* out, const EVP_PKEY* pk, int indent, ASN1_PCTX* pctx);
int param_print_gost2012(BIO* out, const EVP_PKEY* pk, int indent, ASN1_PCTX* pctx);

// Puts the full set of slots into a key ASN.1 method.
void gost_ameth_set_full(EVP_PKEY_ASN1_METHOD* ameth);

#endif
