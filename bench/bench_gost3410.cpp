// GOST R 34.10 signing and verification: this library side by side with
// libgcrypt and nettle on the same curves (256-bit: CryptoPro-A = tc26
// paramSetB = nettle gc256b; 512-bit: tc26 paramSetA = nettle gc512a).
// After the runs a table gives each peer's time over ours (above 1: we are
// faster), from the CPU time of each run, or the median when the runs are
// repeated. On a busy machine pin one core and interleave the repetitions,
// so that every library sees the same load:
//   taskset -c 3 orvel_bench --benchmark_filter='GOST(256|512)/' \
//     --benchmark_repetitions=9 --benchmark_enable_random_interleaving=true \
//     --benchmark_min_time=0.1 --benchmark_report_aggregates_only=true
// The binary's other benchmarks run under the same main.
#include <benchmark/benchmark.h>
#include <gcrypt.h>
#include <gmp.h>
#include <nettle/ecc-curve.h>
#include <nettle/ecc.h>
#include <nettle/gostdsa.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "gost3410.h"

namespace {

int bench_rnd(unsigned char* buf, uint32_t len) {
  static std::mt19937_64 rng(1);
  for (uint32_t i = 0; i < len; i++) buf[i] = static_cast<unsigned char>(rng());
  return 0;
}

void nettle_rnd(void*, size_t len, uint8_t* dst) { bench_rnd(dst, static_cast<uint32_t>(len)); }

// ---- this library ----

template <bool Big>
struct Ours;

template <>
struct Ours<false> {
  const GOSTR3410_2012_256_PAR* par = GOSTR3410_2012_256_GetPar(1);
  DIGIT_T d[9], e[9] = {0x11111111, 0x22222222, 0x33333333, 0x44444444, 5, 6, 7, 8, 0};
  GostPoint Q;
  GostSignature sig;
  Ours() {
    GOSTR3410_2012_256_GenerateKeyPair(par, bench_rnd, d, &Q);
    GOSTR3410_2012_256_Sign(par, e, bench_rnd, d, &sig);
  }
  int sign() { return GOSTR3410_2012_256_Sign(par, e, bench_rnd, d, &sig); }
  int verify() { return GOSTR3410_2012_256_Verify(par, e, &Q, &sig); }
};

template <>
struct Ours<true> {
  const GOSTR3410_2012_512_PAR* par = GOSTR3410_2012_512_GetPar(1);
  DIGIT_T d[17], e[17] = {0x11111111, 0x22222222, 0x33333333, 0x44444444, 5,  6,  7,  8, 9,
                          10,         11,         12,         13,         14, 15, 16, 0};
  GostPoint512 Q;
  GostSignature512 sig;
  Ours() {
    GOSTR3410_2012_512_GenerateKeyPair(par, bench_rnd, d, &Q);
    GOSTR3410_2012_512_Sign(par, e, bench_rnd, d, &sig);
  }
  int sign() { return GOSTR3410_2012_512_Sign(par, e, bench_rnd, d, &sig); }
  int verify() { return GOSTR3410_2012_512_Verify(par, e, &Q, &sig); }
};

template <bool Big>
void BM_Ours_Sign(benchmark::State& st) {
  Ours<Big> o;
  for (auto _ : st) benchmark::DoNotOptimize(o.sign());
}
template <bool Big>
void BM_Ours_Verify(benchmark::State& st) {
  Ours<Big> o;
  if (o.verify() != 0) st.SkipWithError("verify failed");
  for (auto _ : st) benchmark::DoNotOptimize(o.verify());
}

// ---- libgcrypt ----

struct Gcry {
  gcry_sexp_t key = nullptr, pub = nullptr, data = nullptr, sig = nullptr;
  explicit Gcry(bool big) {
    gcry_check_version(nullptr);
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
    gcry_sexp_t parms = nullptr;
    gcry_sexp_build(&parms, nullptr, "(genkey (ecc (curve %s)))",
                    big ? "GOST2012-512-tc26-A" : "GOST2001-CryptoPro-A");
    gcry_pk_genkey(&key, parms);
    gcry_sexp_release(parms);
    pub = gcry_sexp_find_token(key, "public-key", 0);
    gcry_sexp_t priv = gcry_sexp_find_token(key, "private-key", 0);
    gcry_sexp_release(key);
    key = priv;
    std::vector<unsigned char> v(big ? 64 : 32, 0x5a);
    gcry_sexp_build(&data, nullptr, "(data (flags gost) (value %b))", static_cast<int>(v.size()),
                    v.data());
    gcry_pk_sign(&sig, data, key);
  }
  ~Gcry() {
    gcry_sexp_release(key);
    gcry_sexp_release(pub);
    gcry_sexp_release(data);
    gcry_sexp_release(sig);
  }
};

template <bool Big>
void BM_Gcrypt_Sign(benchmark::State& st) {
  Gcry g(Big);
  for (auto _ : st) {
    gcry_sexp_t s = nullptr;
    benchmark::DoNotOptimize(gcry_pk_sign(&s, g.data, g.key));
    gcry_sexp_release(s);
  }
}
template <bool Big>
void BM_Gcrypt_Verify(benchmark::State& st) {
  Gcry g(Big);
  if (gcry_pk_verify(g.sig, g.data, g.pub) != 0) st.SkipWithError("verify failed");
  for (auto _ : st) benchmark::DoNotOptimize(gcry_pk_verify(g.sig, g.data, g.pub));
}

// ---- nettle ----

struct Nettle {
  const ecc_curve* curve;
  ecc_point pub;
  ecc_scalar key;
  dsa_signature sig;
  std::vector<uint8_t> digest;
  explicit Nettle(bool big) : curve(big ? nettle_get_gost_gc512a() : nettle_get_gost_gc256b()) {
    ecc_point_init(&pub, curve);
    ecc_scalar_init(&key, curve);
    dsa_signature_init(&sig);
    ecdsa_generate_keypair(&pub, &key, nullptr, nettle_rnd);
    digest.assign(big ? 64 : 32, 0x5a);
    gostdsa_sign(&key, nullptr, nettle_rnd, digest.size(), digest.data(), &sig);
  }
  ~Nettle() {
    ecc_point_clear(&pub);
    ecc_scalar_clear(&key);
    dsa_signature_clear(&sig);
  }
};

template <bool Big>
void BM_Nettle_Sign(benchmark::State& st) {
  Nettle n(Big);
  for (auto _ : st)
    gostdsa_sign(&n.key, nullptr, nettle_rnd, n.digest.size(), n.digest.data(), &n.sig);
}
template <bool Big>
void BM_Nettle_Verify(benchmark::State& st) {
  Nettle n(Big);
  if (!gostdsa_verify(&n.pub, n.digest.size(), n.digest.data(), &n.sig))
    st.SkipWithError("verify failed");
  for (auto _ : st)
    benchmark::DoNotOptimize(gostdsa_verify(&n.pub, n.digest.size(), n.digest.data(), &n.sig));
}

// Console output as usual, and the CPU time per operation of every GOST run
// kept by name (the median replaces single runs when there is one).
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      const std::string& name = r.run_name.function_name;
      if (name.rfind("GOST", 0) != 0 || r.error_occurred) continue;
      const double ns = r.GetAdjustedCPUTime() * unit_ns(r.time_unit);
      if (r.run_type == Run::RT_Aggregate) {
        if (r.aggregate_name == "median") median_[name] = ns;
      } else {
        single_[name] = ns;
      }
    }
  }

  void PrintRatios() const {
    static const char* const kOps[] = {"GOST256/Sign", "GOST256/Verify", "GOST512/Sign",
                                       "GOST512/Verify"};
    bool header = false;
    for (const char* op : kOps) {
      const double ours = time(std::string(op) + "/orvel");
      if (ours <= 0) continue;
      if (!header) {
        printf("\n%-16s %12s %12s %12s %14s %17s\n", "operation", "orvel us", "nettle us",
               "libgcrypt us", "nettle/orvel", "libgcrypt/orvel");
        header = true;
      }
      const double nettle = time(std::string(op) + "/nettle");
      const double gcry = time(std::string(op) + "/libgcrypt");
      printf("%-16s %12.1f %12.1f %12.1f %13.2fx %16.2fx\n", op, ours / 1e3, nettle / 1e3,
             gcry / 1e3, nettle / ours, gcry / ours);
    }
  }

 private:
  static double unit_ns(benchmark::TimeUnit u) {
    switch (u) {
      case benchmark::kSecond:
        return 1e9;
      case benchmark::kMillisecond:
        return 1e6;
      case benchmark::kMicrosecond:
        return 1e3;
      default:
        return 1;
    }
  }
  double time(const std::string& name) const {
    auto m = median_.find(name);
    if (m != median_.end()) return m->second;
    auto s = single_.find(name);
    return s != single_.end() ? s->second : 0;
  }
  std::map<std::string, double> median_, single_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}

BENCHMARK(BM_Ours_Sign<false>)->Name("GOST256/Sign/orvel");
BENCHMARK(BM_Gcrypt_Sign<false>)->Name("GOST256/Sign/libgcrypt");
BENCHMARK(BM_Nettle_Sign<false>)->Name("GOST256/Sign/nettle");
BENCHMARK(BM_Ours_Verify<false>)->Name("GOST256/Verify/orvel");
BENCHMARK(BM_Gcrypt_Verify<false>)->Name("GOST256/Verify/libgcrypt");
BENCHMARK(BM_Nettle_Verify<false>)->Name("GOST256/Verify/nettle");
BENCHMARK(BM_Ours_Sign<true>)->Name("GOST512/Sign/orvel");
BENCHMARK(BM_Gcrypt_Sign<true>)->Name("GOST512/Sign/libgcrypt");
BENCHMARK(BM_Nettle_Sign<true>)->Name("GOST512/Sign/nettle");
BENCHMARK(BM_Ours_Verify<true>)->Name("GOST512/Verify/orvel");
BENCHMARK(BM_Gcrypt_Verify<true>)->Name("GOST512/Verify/libgcrypt");
BENCHMARK(BM_Nettle_Verify<true>)->Name("GOST512/Verify/nettle");
