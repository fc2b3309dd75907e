// Steps of the key-transport decryption with a GOST key on a token that the
// provider's token keys and the "pkcs11" engine's keys share: the
// key-encryption key derived on the token (VKO of the token's private key
// with the sender's public value) and the CryptoPro key unwrap of RFC 4357
// in software. Each caller keeps its own order and its own messages around
// them.
#ifndef ORVEL_PK11_KEK_H
#define ORVEL_PK11_KEK_H

#include <openssl/asn1.h>

#include <cstddef>
#include <cstdint>

#include "engines/pkcs11/pk11_types.h"
#include "gost28147.h"

inline constexpr size_t kPk11KekLength = 32;
inline constexpr size_t kPk11CekLength = 32;
inline constexpr size_t kPk11MacLength = 4;
// The UKM: 8 bytes (16 from some senders of 512-bit keys); the unwrap reads
// its first 8.
inline constexpr size_t kPk11UkmLength = 8;
inline constexpr size_t kPk11UkmMaxLength = 16;
// Content bytes of a GOST 28147-89 parameter-set identifier.
inline constexpr size_t kPk11MaxOidContent = 9;
inline constexpr size_t kPk11OidDerMax = 2 + kPk11MaxOidContent;

// Where the messages of the shared steps go: the provider hands its trace
// log, the engine the standard error stream. dbg may be null.
typedef void (*Pk11LogFn)(const char* format, ...) __attribute__((format(printf, 1, 2)));
struct Pk11Log {
  Pk11LogFn err;
  Pk11LogFn dbg;
};

// The token side of a GOST key.
struct Pk11KeyRef {
  CK_FUNCTION_LIST* p11;
  CK_SESSION_HANDLE session;
  CK_OBJECT_HANDLE key;  // the private key object
  int key_type;          // NID of the GOST key type
};

// DER of a parameter-set identifier (06, length, content); its length, or
// 0 for an identifier that is empty or has more than kPk11MaxOidContent
// content bytes.
size_t pk11_param_oid_der(const ASN1_OBJECT* oid, unsigned char der[kPk11OidDerMax]);

// The 32-byte key-encryption key derived on the token, with the mechanism of
// the key type; the derived object is left to the session. 0 on success,
// -1 with its message ("TokenGenKek").
int TokenGenKek(const Pk11Log& sink, const Pk11KeyRef& token, const unsigned char* oid_der,
                size_t oid_len, const unsigned char* pub, size_t pub_len, const unsigned char* ukm,
                size_t ukm_len, unsigned char kek[kPk11KekLength]);

// The step at which the unwrap stopped, with the crypto core's code.
enum class Pk11UnwrapStep {
  kNone,
  kKdf,
  kEcbInit,
  kEcbUpdate,
  kEcbFinal,
  kMacInit,
  kMacUpdate,
  kMacFinal,
  kWrongMac
};
struct Pk11UnwrapFailure {
  Pk11UnwrapStep step = Pk11UnwrapStep::kNone;
  int32_t rc = 0;
};

// The CryptoPro key unwrap: the key-encryption key diversified with the UKM
// (its first 8 bytes), the 32 encrypted bytes decrypted in ECB mode, their
// MAC with the UKM as IV compared in constant time with the 4 MAC bytes.
// cek gets the key only when the MAC matches; true then, else false with
// the failing step. Work values are wiped.
bool pk11_cryptopro_unwrap(const Gost28147ParamSet& par, const unsigned char kek[kPk11KekLength],
                           const unsigned char ukm[kPk11UkmLength],
                           const unsigned char enc[kPk11CekLength],
                           const unsigned char mac[kPk11MacLength],
                           unsigned char cek[kPk11CekLength], Pk11UnwrapFailure* failure);

#endif
