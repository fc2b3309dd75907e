// PBKDF2, KDF_256, KDF_TREE, TLSTREE and the TLS and IPsec PRFs: published
// answers, limits, and compositions of libgcrypt's HMAC-Streebog.
#include <gcrypt.h>
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "gcrypt_hmac_oracle.h"
#include "hmac_low/gost_r3411_2012_kdf.h"
#include "hmac_low/gost_r3411_2012_prf.h"
#include "vkc_kat_file.h"
#include "vkc_log.h"

namespace {

using namespace vkc_kat;

uint32_t u32(size_t n) { return static_cast<uint32_t>(n); }

Bytes be(uint64_t v, size_t width) {
  Bytes out(width);
  for (size_t i = 0; i < width; ++i) out[width - 1 - i] = static_cast<uint8_t>(v >> (8 * i));
  return out;
}

// ---- PBKDF2 ---------------------------------------------------------------

TEST(Pbkdf2, PublishedExamples) {
  const auto kat = read_kat("hmac_kdf_kat.txt");
  for (const char* name :
       {"pbkdf2.hmac-gostr3411-2012-512.c1", "pbkdf2.hmac-gostr3411-2012-512.c2",
        "pbkdf2.hmac-gostr3411-2012-512.c4096", "pbkdf2.hmac-gostr3411-2012-512.long-password",
        "pbkdf2.hmac-gostr3411-2012-512.nul-bytes"}) {
    const Block& v = kat.at(name);
    const Bytes p = hex(v.at("P")), s = hex(v.at("S"));
    Bytes dk(std::stoul(v.at("dkLen_dec")));
    ASSERT_EQ(
        GOSTR3411_2012_PKCS5_PBKDF2(p.data(), u32(p.size()), s.data(), u32(s.size()),
                                    u32(std::stoul(v.at("c_dec"))), dk.data(), u32(dk.size())),
        0);
    EXPECT_EQ(to_hex(dk), v.at("DK")) << name;
  }
}

TEST(Pbkdf2, RandomAgainstLibgcrypt) {
  ASSERT_NE(gcry_check_version(nullptr), nullptr);
  std::mt19937 rng(9337);
  for (size_t out_len : {1u, 63u, 64u, 65u, 100u, 128u, 200u}) {
    for (uint32_t c : {1u, 2u, 7u}) {
      const Bytes pw = random_bytes(rng, rng() % 100), salt = random_bytes(rng, 1 + rng() % 40);
      Bytes want(out_len), got(out_len);
      ASSERT_EQ(gcry_kdf_derive(pw.data(), pw.size(), GCRY_KDF_PBKDF2, GCRY_MD_STRIBOG512,
                                salt.data(), salt.size(), c, out_len, want.data()),
                0u);
      ASSERT_EQ(GOSTR3411_2012_PKCS5_PBKDF2(pw.data(), u32(pw.size()), salt.data(),
                                            u32(salt.size()), c, got.data(), u32(out_len)),
                0);
      ASSERT_EQ(got, want) << out_len << " " << c;
    }
  }
}

TEST(Pbkdf2, ZeroIterationsCountAsOneAndBadArguments) {
  const uint8_t pw[] = "password", salt[] = "salt";
  uint8_t a[100], b[100];
  ASSERT_EQ(GOSTR3411_2012_PKCS5_PBKDF2(pw, 8, salt, 4, 0, a, 100), 0);
  ASSERT_EQ(GOSTR3411_2012_PKCS5_PBKDF2(pw, 8, salt, 4, 1, b, 100), 0);
  EXPECT_EQ(memcmp(a, b, 100), 0);

  memset(a, 0x5a, sizeof(a));
  EXPECT_EQ(GOSTR3411_2012_PKCS5_PBKDF2(pw, 8, salt, 4, 1, nullptr, 64), -1);
  EXPECT_EQ(GOSTR3411_2012_PKCS5_PBKDF2(pw, 8, salt, 4, 1, a, 0), -1);
  EXPECT_EQ(GOSTR3411_2012_PKCS5_PBKDF2(pw, 8, salt, 4, 1, a, 0x80000000u), -1);
  EXPECT_EQ(GOSTR3411_2012_PKCS5_PBKDF2(nullptr, 8, salt, 4, 1, a, 64), -1);
  EXPECT_EQ(GOSTR3411_2012_PKCS5_PBKDF2(pw, 8, nullptr, 4, 1, a, 64), -1);
  for (uint8_t x : a) ASSERT_EQ(x, 0x5a);
}

// ---- KDF_256 --------------------------------------------------------------

TEST(Kdf256, Rfc7836ExampleAndOutputOverKey) {
  const Block v = read_kat("hmac_kdf_kat.txt").at("kdf.gostr3411-2012-256.rfc7836");
  Bytes key = hex(v.at("K_in"));
  const Bytes label = hex(v.at("label")), seed = hex(v.at("seed"));
  Bytes out(32);
  ASSERT_EQ(GOSTR3411_2012_256_KDF(key.data(), 32, label.data(), 4, seed.data(), 8, out.data()), 0);
  EXPECT_EQ(to_hex(out), v.at("K_out"));
  EXPECT_EQ(gcry_hmac(32, key, hex(v.at("hmac_input"))), out);
  ASSERT_EQ(GOSTR3411_2012_256_KDF(key.data(), 32, label.data(), 4, seed.data(), 8, key.data()), 0);
  EXPECT_EQ(key, out);
}

TEST(Kdf256, BadArguments) {
  const uint8_t key[32] = {}, label[4] = {}, seed[8] = {};
  uint8_t out[32];
  memset(out, 0x77, sizeof(out));
  EXPECT_EQ(GOSTR3411_2012_256_KDF(key, 16, label, 4, seed, 8, out), -1);
  EXPECT_EQ(GOSTR3411_2012_256_KDF(nullptr, 32, label, 4, seed, 8, out), -1);
  EXPECT_EQ(GOSTR3411_2012_256_KDF(key, 32, nullptr, 4, seed, 8, out), -1);
  EXPECT_EQ(GOSTR3411_2012_256_KDF(key, 32, label, 4, nullptr, 8, out), -1);
  EXPECT_EQ(GOSTR3411_2012_256_KDF(key, 32, label, 4, seed, 8, nullptr), -1);
  // Lengths whose sum does not fit 32 bits are refused before any read.
  EXPECT_EQ(GOSTR3411_2012_256_KDF(key, 32, label, 0xfffffffdu, seed, 8, out), -1);
  for (uint8_t x : out) ASSERT_EQ(x, 0x77);
  EXPECT_EQ(GOSTR3411_2012_256_KDF(key, 32, nullptr, 0, nullptr, 0, out), 0);
  EXPECT_EQ(Bytes(out, out + 32), gcry_hmac(32, Bytes(key, key + 32), {0x01, 0x00, 0x01, 0x00}));
}

// ---- KDF_TREE -------------------------------------------------------------

// RFC 7836's KDF_TREE built from libgcrypt's HMAC.
Bytes tree_oracle(const Bytes& key, const Bytes& label, const Bytes& seed, uint32_t r,
                  uint32_t len) {
  Bytes out;
  for (uint64_t i = 1; out.size() < len; ++i) {
    const Bytes k = gcry_hmac(32, key, cat({be(i, r), label, {0x00}, seed, be(8ull * len, 2)}));
    out.insert(out.end(), k.begin(), k.end());
  }
  out.resize(len);
  return out;
}

TEST(KdfTree, Rfc7836Example) {
  const Block v = read_kat("hmac_kdf_kat.txt").at("kdf-tree.gostr3411-2012-256.rfc7836");
  const Bytes key = hex(v.at("K_in")), label = hex(v.at("label")), seed = hex(v.at("seed"));
  Bytes out(64);
  ASSERT_EQ(GOSTR3411_2012_256_KDF_TREE(key.data(), 32, label.data(), 4, seed.data(), 8, 1, 64,
                                        out.data()),
            0);
  EXPECT_EQ(to_hex(out), v.at("K_out"));
}

TEST(KdfTree, CounterWidthsAndLengthsAgainstComposition) {
  std::mt19937 rng(4);
  const Bytes key = random_bytes(rng, 32), label = random_bytes(rng, 8),
              seed = random_bytes(rng, 8);
  for (uint32_t r = 1; r <= 4; ++r) {
    for (uint32_t len : {1u, 31u, 32u, 40u, 64u, 100u, 8000u}) {
      Bytes out(len);
      ASSERT_EQ(GOSTR3411_2012_256_KDF_TREE(key.data(), 32, label.data(), 8, seed.data(), 8, r, len,
                                            out.data()),
                0);
      ASSERT_EQ(out, tree_oracle(key, label, seed, r, len)) << r << " " << len;
    }
  }
}

// 256 blocks need a counter of two bytes; more than 16 bits of output
// length do not fit the length field. Neither may repeat a block.
TEST(KdfTree, LimitsOfCounterAndLengthField) {
  std::mt19937 rng(5);
  const Bytes key = random_bytes(rng, 32), label = random_bytes(rng, 4),
              seed = random_bytes(rng, 8);
  Bytes out(8191, 0x33);
  EXPECT_EQ(GOSTR3411_2012_256_KDF_TREE(key.data(), 32, label.data(), 4, seed.data(), 8, 1, 8161,
                                        out.data()),
            -1);
  EXPECT_EQ(out, Bytes(8191, 0x33));
  EXPECT_EQ(GOSTR3411_2012_256_KDF_TREE(key.data(), 32, label.data(), 4, seed.data(), 8, 1, 8160,
                                        out.data()),
            0);
  ASSERT_EQ(GOSTR3411_2012_256_KDF_TREE(key.data(), 32, label.data(), 4, seed.data(), 8, 2, 8191,
                                        out.data()),
            0);
  EXPECT_EQ(out, tree_oracle(key, label, seed, 2, 8191));
  Bytes big(8192, 0x44);
  EXPECT_EQ(GOSTR3411_2012_256_KDF_TREE(key.data(), 32, label.data(), 4, seed.data(), 8, 4, 8192,
                                        big.data()),
            -1);
  EXPECT_EQ(big, Bytes(8192, 0x44));
}

TEST(KdfTree, BadArguments) {
  const uint8_t key[32] = {}, label[4] = {}, seed[8] = {};
  uint8_t out[64];
  memset(out, 0x11, sizeof(out));
  EXPECT_EQ(GOSTR3411_2012_256_KDF_TREE(key, 32, label, 4, seed, 8, 5, 64, out), -1);
  EXPECT_EQ(GOSTR3411_2012_256_KDF_TREE(key, 32, label, 4, seed, 8, 0, 64, out), -1);
  EXPECT_EQ(GOSTR3411_2012_256_KDF_TREE(key, 31, label, 4, seed, 8, 1, 64, out), -1);
  EXPECT_EQ(GOSTR3411_2012_256_KDF_TREE(nullptr, 32, label, 4, seed, 8, 1, 64, out), -1);
  EXPECT_EQ(GOSTR3411_2012_256_KDF_TREE(key, 32, nullptr, 4, seed, 8, 1, 64, out), -1);
  EXPECT_EQ(GOSTR3411_2012_256_KDF_TREE(key, 32, label, 4, nullptr, 8, 1, 64, out), -1);
  EXPECT_EQ(GOSTR3411_2012_256_KDF_TREE(key, 32, label, 4, seed, 8, 1, 64, nullptr), -1);
  EXPECT_EQ(GOSTR3411_2012_256_KDF_TREE(key, 32, label, 4, seed, 0xfffffffcu, 1, 64, out), -1);
  EXPECT_EQ(GOSTR3411_2012_256_KDF_TREE(key, 32, label, 4, seed, 8, 1, 0, out), 0);
  for (uint8_t x : out) ASSERT_EQ(x, 0x11);
}

// ---- TLSTREE --------------------------------------------------------------

Bytes kdf_oracle(const Bytes& key, const std::string& label, const Bytes& seed) {
  return gcry_hmac(32, key,
                   cat({{0x01}, Bytes(label.begin(), label.end()), {0x00}, seed, {0x01, 0x00}}));
}

Bytes tls_tree_oracle(const Bytes& key, int type, uint64_t seq) {
  const uint64_t masks[2][3] = {
      {0xffffffc000000000ull, 0xfffffffffe000000ull, 0xfffffffffffff000ull},
      {0xffffffff00000000ull, 0xfffffffffff80000ull, 0xffffffffffffffc0ull}};
  Bytes k = key;
  for (int level = 0; level < 3; ++level) {
    k = kdf_oracle(k, "level" + std::to_string(level + 1), be(seq & masks[type - 1][level], 8));
  }
  return k;
}

TEST(TlsTree, BothKeyTypesAgainstComposition) {
  std::mt19937_64 rng(9189);
  for (uint32_t type : {1u, 2u}) {
    for (int round = 0; round < 20; ++round) {
      std::mt19937 r32(static_cast<uint32_t>(rng()));
      const Bytes key = random_bytes(r32, 32);
      const uint64_t seq = round < 3 ? static_cast<uint64_t>(round) : rng();
      Bytes out(32);
      ASSERT_EQ(GOSTR3411_2012_256_TLS_TREE(key.data(), 32, type, seq, out.data()), 0);
      ASSERT_EQ(out, tls_tree_oracle(key, static_cast<int>(type), seq)) << type << " " << seq;
    }
  }
}

TEST(TlsTree, LowBitsOfTheSequenceNumberShareAKey) {
  std::mt19937 rng(6);
  Bytes key = random_bytes(rng, 32);
  Bytes a(32), b(32), c(32);
  ASSERT_EQ(GOSTR3411_2012_256_TLS_TREE(key.data(), 32, 1, 0x123456789abc000ull, a.data()), 0);
  ASSERT_EQ(GOSTR3411_2012_256_TLS_TREE(key.data(), 32, 1, 0x123456789abcfffull, b.data()), 0);
  ASSERT_EQ(GOSTR3411_2012_256_TLS_TREE(key.data(), 32, 1, 0x123456789abd000ull, c.data()), 0);
  EXPECT_EQ(a, b);
  EXPECT_NE(a, c);
  ASSERT_EQ(GOSTR3411_2012_256_TLS_TREE(key.data(), 32, 2, 0x40, a.data()), 0);
  ASSERT_EQ(GOSTR3411_2012_256_TLS_TREE(key.data(), 32, 2, 0x7f, b.data()), 0);
  ASSERT_EQ(GOSTR3411_2012_256_TLS_TREE(key.data(), 32, 2, 0x80, c.data()), 0);
  EXPECT_EQ(a, b);
  EXPECT_NE(a, c);
  // The output may be the key's buffer.
  const Bytes want = tls_tree_oracle(key, 2, 77);
  ASSERT_EQ(GOSTR3411_2012_256_TLS_TREE(key.data(), 32, 2, 77, key.data()), 0);
  EXPECT_EQ(key, want);
}

TEST(TlsTree, BadArgumentsWriteNothing) {
  const uint8_t key[32] = {9};
  uint8_t out[32];
  memset(out, 0x66, sizeof(out));
  EXPECT_EQ(GOSTR3411_2012_256_TLS_TREE(key, 32, 3, 1, out), -13);
  EXPECT_EQ(GOSTR3411_2012_256_TLS_TREE(key, 32, 0, 1, out), -13);
  EXPECT_EQ(GOSTR3411_2012_256_TLS_TREE(key, 16, 1, 1, out), -1);
  EXPECT_EQ(GOSTR3411_2012_256_TLS_TREE(nullptr, 32, 1, 1, out), -1);
  EXPECT_EQ(GOSTR3411_2012_256_TLS_TREE(key, 32, 1, 1, nullptr), -1);
  for (uint8_t x : out) ASSERT_EQ(x, 0x66);
}

// ---- PRFs -----------------------------------------------------------------

Bytes p_hash_oracle(uint32_t n, const Bytes& secret, const Bytes& s, size_t len) {
  Bytes out, a = gcry_hmac(n, secret, s);
  while (out.size() < len) {
    const Bytes b = gcry_hmac(n, secret, cat({a, s}));
    out.insert(out.end(), b.begin(), b.end());
    a = gcry_hmac(n, secret, a);
  }
  out.resize(len);
  return out;
}

Bytes keymat_oracle(uint32_t n, const Bytes& key, const Bytes& s, size_t len) {
  Bytes out, k;
  while (out.size() < len) {
    k = gcry_hmac(n, key, cat({k, s}));
    out.insert(out.end(), k.begin(), k.end());
  }
  out.resize(len);
  return out;
}

Bytes prf_plus_oracle(uint32_t n, const Bytes& key, const Bytes& s, size_t len) {
  Bytes out, t;
  for (uint8_t c = 1; out.size() < len; ++c) {
    t = gcry_hmac(n, key, cat({t, s, {c}}));
    out.insert(out.end(), t.begin(), t.end());
  }
  out.resize(len);
  return out;
}

TEST(Prf, TlsAndIpsecAgainstComposition) {
  std::mt19937 rng(7296);
  for (uint32_t n : {32u, 64u}) {
    for (size_t len : {1u, 32u, 33u, 64u, 65u, 150u, 1000u}) {
      const Bytes secret = random_bytes(rng, 1 + rng() % 80);
      const Bytes label = random_bytes(rng, rng() % 20), seed = random_bytes(rng, rng() % 70);
      const Bytes s = cat({label, seed});
      Bytes out(len);
      auto tls = n == 32 ? GOSTR3411_2012_256_PRF_TLS : GOSTR3411_2012_512_PRF_TLS;
      ASSERT_EQ(tls(secret.data(), u32(secret.size()), label.data(), u32(label.size()), seed.data(),
                    u32(seed.size()), out.data(), u32(len)),
                0);
      ASSERT_EQ(out, p_hash_oracle(n, secret, s, len)) << n << " " << len;

      auto keymat =
          n == 32 ? GOSTR3411_2012_256_PRF_IPSEC_KEYMAT : GOSTR3411_2012_512_PRF_IPSEC_KEYMAT;
      ASSERT_EQ(
          keymat(secret.data(), u32(secret.size()), s.data(), u32(s.size()), out.data(), u32(len)),
          0);
      ASSERT_EQ(out, keymat_oracle(n, secret, s, len)) << n << " " << len;

      auto plus =
          n == 32 ? GOSTR3411_2012_256_PRF_IPSEC_PRFPLUS : GOSTR3411_2012_512_PRF_IPSEC_PRFPLUS;
      ASSERT_EQ(
          plus(secret.data(), u32(secret.size()), s.data(), u32(s.size()), out.data(), u32(len)),
          0);
      ASSERT_EQ(out, prf_plus_oracle(n, secret, s, len)) << n << " " << len;
    }
  }
}

// prf+ counts blocks in one byte: 255 blocks at most, never a repeat.
TEST(Prf, PrfPlusStopsAt255Blocks) {
  const uint8_t key[32] = {1}, s[4] = {2};
  Bytes out(255 * 64 + 1, 0x21);
  EXPECT_EQ(GOSTR3411_2012_256_PRF_IPSEC_PRFPLUS(key, 32, s, 4, out.data(), 255 * 32), 0);
  EXPECT_EQ(GOSTR3411_2012_256_PRF_IPSEC_PRFPLUS(key, 32, s, 4, out.data(), 255 * 32 + 1), -1);
  EXPECT_EQ(GOSTR3411_2012_512_PRF_IPSEC_PRFPLUS(key, 32, s, 4, out.data(), 255 * 64), 0);
  Bytes fresh(255 * 64 + 1, 0x21);
  EXPECT_EQ(GOSTR3411_2012_512_PRF_IPSEC_PRFPLUS(key, 32, s, 4, fresh.data(), 255 * 64 + 1), -1);
  EXPECT_EQ(fresh, Bytes(255 * 64 + 1, 0x21));
}

TEST(Prf, BadArguments) {
  const uint8_t key[32] = {1}, s[4] = {2};
  uint8_t out[40];
  memset(out, 0x42, sizeof(out));
  for (auto f : {GOSTR3411_2012_256_PRF_IPSEC_KEYMAT, GOSTR3411_2012_512_PRF_IPSEC_KEYMAT,
                 GOSTR3411_2012_256_PRF_IPSEC_PRFPLUS, GOSTR3411_2012_512_PRF_IPSEC_PRFPLUS}) {
    EXPECT_EQ(f(key, 32, s, 4, nullptr, 40), -1);
    EXPECT_EQ(f(key, 32, s, 4, out, 0), -1);
    EXPECT_EQ(f(nullptr, 32, s, 4, out, 40), -1);
    EXPECT_EQ(f(key, 32, nullptr, 4, out, 40), -1);
  }
  for (auto f : {GOSTR3411_2012_256_PRF_TLS, GOSTR3411_2012_512_PRF_TLS}) {
    EXPECT_EQ(f(key, 32, s, 4, s, 4, nullptr, 40), -1);
    EXPECT_EQ(f(key, 32, s, 4, s, 4, out, 0), -1);
    EXPECT_EQ(f(nullptr, 32, s, 4, s, 4, out, 40), -1);
    EXPECT_EQ(f(key, 32, nullptr, 4, s, 4, out, 40), -1);
    EXPECT_EQ(f(key, 32, s, 4, nullptr, 4, out, 40), -1);
    EXPECT_EQ(f(key, 32, s, 0xffffffffu, s, 4, out, 40), -1);
  }
  for (uint8_t x : out) ASSERT_EQ(x, 0x42);
}

TEST(KdfDiagnostics, FailureLines) {
  orvel_test::TempDir dir;
  const std::string log = dir.file("vkc.log");
  ASSERT_EQ(vkc_set_log_file(log.c_str()), 0);
  const uint8_t key[32] = {};
  uint8_t out[32];
  EXPECT_EQ(GOSTR3411_2012_256_TLS_TREE(key, 32, 3, 0, out), -13);
  EXPECT_EQ(GOSTR3411_2012_256_TLS_TREE(key, 16, 1, 0, out), -1);
  EXPECT_EQ(GOSTR3411_2012_PKCS5_PBKDF2(key, 1, key, 1, 1, out, 0), -1);
  EXPECT_EQ(GOSTR3411_2012_256_PRF_TLS(key, 32, key, 1, key, 1, nullptr, 1), -1);
  EXPECT_EQ(GOSTR3411_2012_512_PRF_IPSEC_KEYMAT(key, 32, key, 1, out, 0), -1);
  vkc_set_log_file(nullptr);
  EXPECT_EQ(orvel_test::read_file(log),
            "GOSTR3411_2012_256_TLS_TREE failed(unsupported key type), rc = -13\n"
            "GOSTR3411_2012_256_KDF failed, rc = -1\n"
            "GOSTR3411_2012_PKCS5_PBKDF2: Invalid output buffer\n"
            "GOSTR3411_2012_256_PRF_TLS: NULL output buffer\n"
            "GOSTR3411_2012_512_PRF_IPSEC_KEYMAT: NULL output buffer\n");
}

}  // namespace
