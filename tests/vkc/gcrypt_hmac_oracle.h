// HMAC-Streebog from libgcrypt, the oracle of the HMAC and KDF tests.
#ifndef ORVEL_TESTS_VKC_GCRYPT_HMAC_ORACLE_H
#define ORVEL_TESTS_VKC_GCRYPT_HMAC_ORACLE_H

#include <gcrypt.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace vkc_kat {

// n: 32 (GCRY_MD_STRIBOG256) or 64 (GCRY_MD_STRIBOG512).
inline std::vector<uint8_t> gcry_hmac(uint32_t n, const std::vector<uint8_t>& key,
                                      const std::vector<uint8_t>& data) {
  EXPECT_NE(gcry_check_version(nullptr), nullptr);
  const int algo = n == 32 ? GCRY_MD_STRIBOG256 : GCRY_MD_STRIBOG512;
  gcry_md_hd_t h = nullptr;
  EXPECT_EQ(gcry_md_open(&h, algo, GCRY_MD_FLAG_HMAC), 0u);
  EXPECT_EQ(gcry_md_setkey(h, key.data(), key.size()), 0u);
  if (!data.empty()) gcry_md_write(h, data.data(), data.size());
  const uint8_t* d = gcry_md_read(h, algo);
  std::vector<uint8_t> out(d, d + n);
  gcry_md_close(h);
  return out;
}

inline std::vector<uint8_t> cat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

}  // namespace vkc_kat

#endif
