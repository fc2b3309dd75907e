// GOST R 34.11-2012 throughput: this core against libgcrypt, nettle and
// GnuTLS on the same long message.
#include <benchmark/benchmark.h>
#include <gcrypt.h>
#include <gnutls/crypto.h>
#include <gnutls/gnutls.h>
#include <nettle/streebog.h>

#include <cstdint>
#include <vector>

#include "hash_low/gost_r3411_2012.h"

namespace {

constexpr size_t kMessage = 1 << 20;

const std::vector<uint8_t>& message() {
  static const std::vector<uint8_t> m = [] {
    std::vector<uint8_t> v(kMessage);
    for (size_t i = 0; i < v.size(); ++i) v[i] = static_cast<uint8_t>(i * 131 + 7);
    return v;
  }();
  return m;
}

void BM_Streebog_Orvel(benchmark::State& state) {
  const uint32_t size = static_cast<uint32_t>(state.range(0));
  const auto& m = message();
  uint8_t out[64];
  for (auto _ : state) {
    GOSTR3411_2012_Transform(size, m.data(), static_cast<uint32_t>(m.size()), out);
    benchmark::DoNotOptimize(out);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * m.size()));
}

void BM_Streebog_Libgcrypt(benchmark::State& state) {
  gcry_check_version(nullptr);
  const int algo = state.range(0) == 32 ? GCRY_MD_STRIBOG256 : GCRY_MD_STRIBOG512;
  const auto& m = message();
  uint8_t out[64];
  for (auto _ : state) {
    gcry_md_hash_buffer(algo, out, m.data(), m.size());
    benchmark::DoNotOptimize(out);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * m.size()));
}

void BM_Streebog_Nettle(benchmark::State& state) {
  const auto& m = message();
  uint8_t out[64];
  for (auto _ : state) {
    if (state.range(0) == 32) {
      streebog256_ctx c;
      streebog256_init(&c);
      streebog256_update(&c, m.size(), m.data());
      streebog256_digest(&c, 32, out);
    } else {
      streebog512_ctx c;
      streebog512_init(&c);
      streebog512_update(&c, m.size(), m.data());
      streebog512_digest(&c, 64, out);
    }
    benchmark::DoNotOptimize(out);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * m.size()));
}

void BM_Streebog_Gnutls(benchmark::State& state) {
  const auto algo = state.range(0) == 32 ? GNUTLS_DIG_STREEBOG_256 : GNUTLS_DIG_STREEBOG_512;
  const auto& m = message();
  uint8_t out[64];
  for (auto _ : state) {
    gnutls_hash_fast(algo, m.data(), m.size(), out);
    benchmark::DoNotOptimize(out);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * m.size()));
}

}  // namespace

BENCHMARK(BM_Streebog_Orvel)->Arg(32)->Arg(64);
BENCHMARK(BM_Streebog_Libgcrypt)->Arg(32)->Arg(64);
BENCHMARK(BM_Streebog_Nettle)->Arg(32)->Arg(64);
BENCHMARK(BM_Streebog_Gnutls)->Arg(32)->Arg(64);
