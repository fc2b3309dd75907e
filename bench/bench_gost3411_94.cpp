// GOST R 34.11-94 throughput (CryptoPro parameter set): ours against GnuTLS,
// libgcrypt and nettle.
#include <benchmark/benchmark.h>
#include <gcrypt.h>
#include <gnutls/crypto.h>
#include <gnutls/gnutls.h>
#include <nettle/gosthash94.h>

#include <vector>

#include "gost28147_params.h"
#include "gost3411_94.h"

namespace {

constexpr size_t kLen = 64 * 1024;

std::vector<uint8_t> message() {
  std::vector<uint8_t> b(kLen);
  for (size_t i = 0; i < kLen; ++i) b[i] = static_cast<uint8_t>(i * 13 + 5);
  return b;
}

void BM_Gost3411_94_Ours(benchmark::State& state) {
  auto msg = message();
  uint8_t d[32];
  for (auto _ : state) {
    GOSTR3411_94_Transform(VKC_PAR_HASH_1_OID, 9, msg.data(), kLen, d);
    benchmark::DoNotOptimize(d);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kLen);
}

void BM_Gost3411_94_Gnutls(benchmark::State& state) {
  auto msg = message();
  uint8_t d[32];
  for (auto _ : state) {
    gnutls_hash_fast(GNUTLS_DIG_GOSTR_94, msg.data(), kLen, d);
    benchmark::DoNotOptimize(d);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kLen);
}

void BM_Gost3411_94_Libgcrypt(benchmark::State& state) {
  gcry_check_version(nullptr);
  auto msg = message();
  uint8_t d[32];
  for (auto _ : state) {
    gcry_md_hash_buffer(GCRY_MD_GOSTR3411_CP, d, msg.data(), kLen);
    benchmark::DoNotOptimize(d);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kLen);
}

void BM_Gost3411_94_Nettle(benchmark::State& state) {
  auto msg = message();
  uint8_t d[32];
  for (auto _ : state) {
    gosthash94_ctx c;
    gosthash94cp_init(&c);
    gosthash94cp_update(&c, kLen, msg.data());
    gosthash94cp_digest(&c, 32, d);
    benchmark::DoNotOptimize(d);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kLen);
}

}  // namespace

BENCHMARK(BM_Gost3411_94_Ours);
BENCHMARK(BM_Gost3411_94_Gnutls);
BENCHMARK(BM_Gost3411_94_Libgcrypt);
BENCHMARK(BM_Gost3411_94_Nettle);
