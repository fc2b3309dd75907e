// Independent key transport for the tests: VKO from nettle, GOST 28147-89
// ECB, CFB and MAC from libgcrypt, the KDF from nettle's HMAC, and a DER
// writer of the test's own.
#ifndef ORVEL_GOST_KT_TEST_UTIL_H
#define ORVEL_GOST_KT_TEST_UTIL_H

#include <openssl/evp.h>

#include <cstdint>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "engines/gost/gost_keypair.h"

namespace gost_kt_test {

using Bytes = std::vector<uint8_t>;

// A recipient fixture: the certificate and key files under gost_keys.
struct Fixture {
  const char* name;
  const char* wrap_oid;  // the wrap set this system sends for the key type
  bool big;              // 512-bit
  bool is_2001;
};
const std::vector<Fixture>& fixtures();
inline void PrintTo(const Fixture& f, std::ostream* os) { *os << f.name; }

// libgcrypt GOST 28147-89 with the S-box of a dotted parameter-set OID.
Bytes gcrypt_ecb(const char* oid, const Bytes& key, const Bytes& in, bool encrypt);
Bytes gcrypt_imit4(const char* oid, const Bytes& key, const Bytes& iv, const Bytes& msg);
// CryptoPro KEK diversification (RFC 4357 6.5) over libgcrypt CFB.
Bytes gcrypt_diversify(const char* oid, const Bytes& kek, const Bytes& ukm8);

// nettle VKO: the hashed shared value (GOST R 34.11-94 CryptoPro for 2001
// keys, else Streebog-256) of a private value and a public value, both in
// the key object's byte layout (little-endian).
Bytes nettle_vko(bool big, bool is_2001, const Bytes& priv, const Bytes& pub, const Bytes& ukm);
// nettle: the public value of a private value (little-endian layout).
Bytes nettle_public(bool big, const Bytes& priv);
// KDF_GOSTR3411_2012_256 with nettle's HMAC-Streebog-256.
Bytes nettle_kdf256(const Bytes& key, const Bytes& label, const Bytes& seed);

// DER of one element, and of an OID in dotted form.
Bytes tlv(uint8_t tag, const Bytes& content);
Bytes oid_der(const char* dotted);
Bytes cat(std::initializer_list<Bytes> parts);

// The key object's values as byte strings.
Bytes priv_of(EVP_PKEY* pkey);
Bytes pub_of(EVP_PKEY* pkey);

// Key transport with the toolkit's EVP_PKEY_encrypt / EVP_PKEY_decrypt
// (optionally with a UKM set through the context control). decrypt
// returns the toolkit's result and the CEK in *cek.
Bytes kt_encrypt(EVP_PKEY* recp, const Bytes& cek, const Bytes* ukm = nullptr);
int kt_decrypt(EVP_PKEY* recp, const Bytes& kt, Bytes* cek);

Bytes random_bytes(std::mt19937& rng, size_t n);

}  // namespace gost_kt_test

#endif
