// Helpers of the VPRNG tests: replacement entropy sources and the GOST
// 28147-89 counter-mode gamma from independent implementations.
#ifndef ORVEL_VPRNG_TEST_UTIL_H
#define ORVEL_VPRNG_TEST_UTIL_H

#include <gcrypt.h>
#include <gnutls/crypto.h>
#include <gnutls/gnutls.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "engines/rand/vprng.h"
#include "engines/rand/vprng_entropy.h"

namespace vprng_test {

using Bytes = std::vector<uint8_t>;

inline Bytes random_bytes(std::mt19937& rng, size_t n) {
  Bytes b(n);
  for (auto& x : b) x = static_cast<uint8_t>(rng());
  return b;
}

inline Bytes slice(const Bytes& b, size_t from, size_t n) {
  return Bytes(b.begin() + static_cast<long>(from), b.begin() + static_cast<long>(from + n));
}

inline Bytes concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

inline uint32_t le32(const uint8_t* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// Entropy sources for the tests.
inline int zero_entropy(uint8_t* buf, size_t n) {
  memset(buf, 0, n);
  return 0;
}

inline int failing_entropy(uint8_t*, size_t) { return -1; }

// A fixed pattern: byte i of every draw is 0xa5 ^ i.
inline int pattern_entropy(uint8_t* buf, size_t n) {
  for (size_t i = 0; i < n; ++i) buf[i] = static_cast<uint8_t>(0xa5 ^ i);
  return 0;
}

// Counts the draws and the bytes drawn, passing through to getrandom.
struct EntropyCount {
  static inline int calls = 0;
  static inline size_t bytes = 0;
  static int source(uint8_t* buf, size_t n) {
    ++calls;
    bytes += n;
    return vprng_system_entropy(buf, n);
  }
};

// Replaces the entropy source for the life of the object.
class EntropySource {
 public:
  explicit EntropySource(VprngEntropySource s) : old_(vprng_set_entropy_source(s)) {}
  ~EntropySource() { vprng_set_entropy_source(old_); }
  EntropySource(const EntropySource&) = delete;
  EntropySource& operator=(const EntropySource&) = delete;

 private:
  VprngEntropySource old_;
};

// GnuTLS's GOST 28147-89 counter mode with the TC26 Z S-box over zeros.
// GnuTLS meshes the key every 1,024 bytes (CryptoPro), so it gives the plain
// gamma for the first 1,024 bytes only.
inline Bytes gnutls_gamma(const Bytes& key, const Bytes& iv, size_t n) {
  gnutls_cipher_hd_t h;
  gnutls_datum_t k = {const_cast<uint8_t*>(key.data()), static_cast<unsigned>(key.size())};
  gnutls_datum_t v = {const_cast<uint8_t*>(iv.data()), static_cast<unsigned>(iv.size())};
  Bytes zeros(n, 0), out(n);
  EXPECT_EQ(gnutls_cipher_init(&h, GNUTLS_CIPHER_GOST28147_TC26Z_CNT, &k, &v), 0);
  EXPECT_EQ(gnutls_cipher_encrypt2(h, zeros.data(), n, out.data(), n), 0);
  gnutls_cipher_deinit(h);
  return out;
}

// The gamma of GOST 28147-89 counter mode without key meshing, from
// libgcrypt's block cipher (TC26 Z S-box) and the standard's counter
// arithmetic: the counter is encrypted once, then before each block word 0
// gains 0x01010101 mod 2^32 and word 1 gains 0x01010104 mod 2^32-1.
// counter_out, when given, receives the counter after the last block.
inline Bytes reference_gamma(const Bytes& key, const Bytes& iv, size_t blocks,
                             uint32_t* counter_out = nullptr) {
  static bool ready = [] {
    gcry_check_version(nullptr);
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
    return true;
  }();
  (void)ready;
  gcry_cipher_hd_t h;
  EXPECT_EQ(gcry_cipher_open(&h, GCRY_CIPHER_GOST28147, GCRY_CIPHER_MODE_ECB, 0), 0u);
  EXPECT_EQ(gcry_cipher_setkey(h, key.data(), key.size()), 0u);
  EXPECT_EQ(gcry_cipher_ctl(h, GCRYCTL_SET_SBOX, const_cast<char*>("1.2.643.7.1.2.5.1.1"), 0), 0u);
  auto encrypt = [&](const uint8_t* in, uint8_t* out) {
    EXPECT_EQ(gcry_cipher_encrypt(h, out, 8, in, 8), 0u);
  };
  uint8_t reg[8];
  encrypt(iv.data(), reg);
  uint32_t n0 = le32(reg), n1 = le32(reg + 4);
  Bytes out(8 * blocks);
  for (size_t b = 0; b < blocks; ++b) {
    n0 += 0x01010101u;
    uint32_t t = n1 + 0x01010104u;
    n1 = t + (t < n1 ? 1u : 0u);
    uint8_t ctr[8];
    for (int i = 0; i < 4; ++i) {
      ctr[i] = static_cast<uint8_t>(n0 >> (8 * i));
      ctr[4 + i] = static_cast<uint8_t>(n1 >> (8 * i));
    }
    encrypt(ctr, out.data() + 8 * b);
  }
  gcry_cipher_close(h);
  if (counter_out != nullptr) {
    counter_out[0] = n0;
    counter_out[1] = n1;
  }
  return out;
}

// Keystream of a keying from 40 bytes of material (counter bytes 0-7, key
// bytes 8-39), as the generator makes it when the entropy source gives zeros.
inline Bytes stream_of(const Bytes& material, size_t blocks) {
  return reference_gamma(slice(material, 8, 32), slice(material, 0, 8), blocks);
}

}  // namespace vprng_test

#endif
