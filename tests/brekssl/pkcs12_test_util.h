// Helpers of the PKCS#12 tests: fixture loading, an independent reading of
// the authSafe, libgcrypt as the reference for PBKDF2/HMAC, and a
// libgcrypt-backed stand-in for an engine's GOST R 34.11-2012 digest.
#ifndef ORVEL_TEST_PKCS12_TEST_UTIL_H
#define ORVEL_TEST_PKCS12_TEST_UTIL_H

#include <openssl/evp.h>
#include <openssl/pkcs12.h>

#include <string>
#include <vector>

#include "ossl_ptr.h"

namespace p12_test {

using Bytes = std::vector<unsigned char>;

inline const char kPass[] = "Pässwort-1";       // the openssl-made files
inline const char kGostPass[] = "пароль-GOST";  // the certtool-made files

std::string fixture(const std::string& name);
orvel::Pkcs12Ptr load_p12(const std::string& name);
orvel::Pkcs12Ptr p12_from_der(const Bytes& der);
Bytes p12_to_der(const PKCS12* p12);

// The content octets of the authSafe, read from the DER with a small walker
// of this test (PFX SEQUENCE, version, ContentInfo) and the toolkit's PKCS7
// decoder.
Bytes authsafe_content(const PKCS12* p12);
Bytes stored_mac(const PKCS12* p12);
Bytes stored_salt(const PKCS12* p12);
long stored_iter(const PKCS12* p12);
// Overwrites the stored MAC.
void store_mac(PKCS12* p12, const Bytes& mac);

// libgcrypt references.
Bytes gcry_pbkdf2(int gcry_md, const Bytes& pass, const Bytes& salt, unsigned long iter, size_t n);
Bytes gcry_hmac(int gcry_md, const Bytes& key, const Bytes& data);
// The TC26 MAC as the GOST PKCS#12 recommendations define it.
Bytes gcry_tc26_mac(int gcry_md, const Bytes& pass, const Bytes& salt, unsigned long iter,
                    const Bytes& data);
Bytes to_bytes(const std::string& s);

// Registers (once) legacy digests named md_gost12_256 / md_gost12_512 that
// run libgcrypt's Streebog, as an engine would add them.
const EVP_MD* standin_streebog(int bits);
// Makes the stand-in digests fail every update longer than n bytes (0: never).
void standin_fail_updates_longer_than(size_t n);

// Loads the toolkit's "default" and "legacy" providers (RC2/3DES bags).
void load_legacy_provider();

// The reason code of the oldest error in the queue (the queue is left).
int first_error_reason();
bool error_queue_has(int lib, int reason);

}  // namespace p12_test

#endif
