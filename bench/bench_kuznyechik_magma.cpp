// Kuznyechik and Magma throughput: this core's block functions over a long
// message (ECB) against GnuTLS's CTR-ACPKM and libgcrypt's GOST 28147-89
// (param-Z, which is Magma up to byte order).
#include <benchmark/benchmark.h>
#include <gcrypt.h>
#include <gnutls/crypto.h>
#include <gnutls/gnutls.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "kuznyechik_optimized.h"
#include "magma.h"

namespace {

constexpr size_t kMessage = 1 << 20;

std::vector<uint8_t> buffer() {
  std::vector<uint8_t> v(kMessage);
  for (size_t i = 0; i < v.size(); ++i) v[i] = static_cast<uint8_t>(i * 29 + 3);
  return v;
}

uint8_t kKey[32] = {0x88, 0x99, 0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff, 0x00, 0x11, 0x22,
                    0x33, 0x44, 0x55, 0x66, 0x77, 0xfe, 0xdc, 0xba, 0x98, 0x76, 0x54,
                    0x32, 0x10, 0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef};

void BM_Kuznyechik_Orvel_ECB_Encrypt(benchmark::State& state) {
  auto buf = buffer();
  uint8_t rk[160];
  ExpandEncryptKey_K(kKey, rk);
  for (auto _ : state) {
    for (size_t off = 0; off < buf.size(); off += 16) Encrypt_K(&buf[off], &buf[off], rk);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * buf.size()));
}

void BM_Kuznyechik_Orvel_ECB_Decrypt(benchmark::State& state) {
  auto buf = buffer();
  uint8_t rk[160];
  ExpandDecryptKey_K(kKey, rk);
  for (auto _ : state) {
    for (size_t off = 0; off < buf.size(); off += 16) Decrypt_K(&buf[off], &buf[off], rk);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * buf.size()));
}

void gnutls_ctr_acpkm(benchmark::State& state, gnutls_cipher_algorithm_t algo, unsigned iv_len) {
  auto buf = buffer();
  uint8_t iv[16] = {0x12, 0x34, 0x56, 0x78, 0x90, 0xab, 0xce, 0xf0};
  gnutls_datum_t k{kKey, 32};
  gnutls_datum_t v{iv, iv_len};
  gnutls_cipher_hd_t h;
  gnutls_cipher_init(&h, algo, &k, &v);
  for (auto _ : state) {
    gnutls_cipher_encrypt(h, buf.data(), buf.size());
    benchmark::ClobberMemory();
  }
  gnutls_cipher_deinit(h);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * buf.size()));
}

void BM_Kuznyechik_Gnutls_CTR_ACPKM(benchmark::State& state) {
  gnutls_ctr_acpkm(state, GNUTLS_CIPHER_KUZNYECHIK_CTR_ACPKM, 16);
}

void BM_Magma_Orvel_ECB_Encrypt(benchmark::State& state) {
  auto buf = buffer();
  uint32_t k[8];
  for (int i = 0; i < 8; ++i) {
    k[i] = (uint32_t{kKey[4 * i]} << 24) | (uint32_t{kKey[4 * i + 1]} << 16) |
           (uint32_t{kKey[4 * i + 2]} << 8) | kKey[4 * i + 3];
  }
  for (auto _ : state) {
    for (size_t off = 0; off < buf.size(); off += 8) Encrypt_M(&buf[off], &buf[off], k);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * buf.size()));
}

void BM_Magma_Gnutls_CTR_ACPKM(benchmark::State& state) {
  gnutls_ctr_acpkm(state, GNUTLS_CIPHER_MAGMA_CTR_ACPKM, 8);
}

void BM_Magma_Libgcrypt_GOST28147Z_ECB(benchmark::State& state) {
  gcry_check_version(nullptr);
  auto buf = buffer();
  gcry_cipher_hd_t h;
  gcry_cipher_open(&h, GCRY_CIPHER_GOST28147, GCRY_CIPHER_MODE_ECB, 0);
  const char oid[] = "1.2.643.7.1.2.5.1.1";
  gcry_cipher_ctl(h, GCRYCTL_SET_SBOX, const_cast<char*>(oid), strlen(oid));
  gcry_cipher_setkey(h, kKey, 32);
  for (auto _ : state) {
    gcry_cipher_encrypt(h, buf.data(), buf.size(), nullptr, 0);
    benchmark::ClobberMemory();
  }
  gcry_cipher_close(h);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * buf.size()));
}

}  // namespace

BENCHMARK(BM_Kuznyechik_Orvel_ECB_Encrypt);
BENCHMARK(BM_Kuznyechik_Orvel_ECB_Decrypt);
BENCHMARK(BM_Kuznyechik_Gnutls_CTR_ACPKM);
BENCHMARK(BM_Magma_Orvel_ECB_Encrypt);
BENCHMARK(BM_Magma_Gnutls_CTR_ACPKM);
BENCHMARK(BM_Magma_Libgcrypt_GOST28147Z_ECB);
