// Kuznyechik and Magma through the toolkit's EVP interface (the engine's
// cipher objects and MAC digests) against GnuTLS's CTR-ACPKM and OMAC.
#include <benchmark/benchmark.h>
#include <gnutls/crypto.h>
#include <gnutls/gnutls.h>
#include <openssl/evp.h>

#include <vector>

#include "engines/gost/gost_kuzmagma_ciphers.h"
#include "engines/gost/gost_kuzmagma_mac.h"
#include "objects/engine_loader.h"

namespace {

constexpr size_t kLen = 64 * 1024;

std::vector<uint8_t> buffer(size_t n, uint8_t seed) {
  std::vector<uint8_t> b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i * 31 + seed);
  return b;
}

const std::vector<uint8_t> kKey = buffer(32, 7);
const std::vector<uint8_t> kIv = buffer(16, 9);

void evp_cipher(benchmark::State& state, const EVP_CIPHER* (*object)()) {
  ssf_load_builtin_engines();
  auto in = buffer(kLen, 1), out = buffer(kLen + 32, 2);
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  EVP_EncryptInit_ex(ctx, object(), nullptr, kKey.data(), kIv.data());
  for (auto _ : state) {
    int outl = 0;
    if (EVP_EncryptUpdate(ctx, out.data(), &outl, in.data(), static_cast<int>(kLen)) != 1)
      state.SkipWithError("update failed");
    benchmark::DoNotOptimize(out.data());
  }
  EVP_CIPHER_CTX_free(ctx);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kLen);
}

void evp_mac(benchmark::State& state, const EVP_MD* (*object)()) {
  ssf_load_builtin_engines();
  auto in = buffer(kLen, 1);
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  EVP_DigestInit_ex(ctx, object(), nullptr);
  EVP_MD_CTX_ctrl(ctx, kKuzMagmaMacCtrlSetKey, 32, const_cast<uint8_t*>(kKey.data()));
  for (auto _ : state) {
    if (EVP_DigestUpdate(ctx, in.data(), kLen) != 1) state.SkipWithError("update failed");
  }
  EVP_MD_CTX_free(ctx);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kLen);
}

void gnutls_ctr(benchmark::State& state, gnutls_cipher_algorithm_t algo, unsigned iv_len) {
  auto in = buffer(kLen, 1), out = buffer(kLen, 2);
  gnutls_datum_t k{const_cast<uint8_t*>(kKey.data()), 32};
  gnutls_datum_t v{const_cast<uint8_t*>(kIv.data()), iv_len};
  gnutls_cipher_hd_t h;
  gnutls_cipher_init(&h, algo, &k, &v);
  for (auto _ : state) {
    gnutls_cipher_encrypt2(h, in.data(), kLen, out.data(), kLen);
    benchmark::DoNotOptimize(out.data());
  }
  gnutls_cipher_deinit(h);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kLen);
}

void gnutls_omac(benchmark::State& state, gnutls_mac_algorithm_t algo) {
  auto in = buffer(kLen, 1);
  gnutls_hmac_hd_t h;
  gnutls_hmac_init(&h, algo, kKey.data(), 32);
  for (auto _ : state) gnutls_hmac(h, in.data(), kLen);
  uint8_t tag[16];
  gnutls_hmac_deinit(h, tag);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kLen);
}

void BM_KuznechikCtr_Evp(benchmark::State& s) { evp_cipher(s, vkc_kuznechik_ctr); }
void BM_KuznechikCtr_Gnutls(benchmark::State& s) {
  gnutls_ctr(s, GNUTLS_CIPHER_KUZNYECHIK_CTR_ACPKM, 8);
}
void BM_KuznechikCbc_Evp(benchmark::State& s) { evp_cipher(s, vkc_kuznechik_cbc); }
void BM_KuznechikMac_Evp(benchmark::State& s) { evp_mac(s, vkc_kuznechik_mac_md); }
void BM_KuznechikMac_Gnutls(benchmark::State& s) { gnutls_omac(s, GNUTLS_MAC_KUZNYECHIK_OMAC); }
void BM_MagmaCtr_Evp(benchmark::State& s) { evp_cipher(s, vkc_magma_ctr); }
void BM_MagmaCtr_Gnutls(benchmark::State& s) { gnutls_ctr(s, GNUTLS_CIPHER_MAGMA_CTR_ACPKM, 4); }
void BM_MagmaMac_Evp(benchmark::State& s) { evp_mac(s, vkc_magma_mac_md); }
void BM_MagmaMac_Gnutls(benchmark::State& s) { gnutls_omac(s, GNUTLS_MAC_MAGMA_OMAC); }

}  // namespace

BENCHMARK(BM_KuznechikCtr_Evp);
BENCHMARK(BM_KuznechikCtr_Gnutls);
BENCHMARK(BM_KuznechikCbc_Evp);
BENCHMARK(BM_KuznechikMac_Evp);
BENCHMARK(BM_KuznechikMac_Gnutls);
BENCHMARK(BM_MagmaCtr_Evp);
BENCHMARK(BM_MagmaCtr_Gnutls);
BENCHMARK(BM_MagmaMac_Evp);
BENCHMARK(BM_MagmaMac_Gnutls);
