#include "hmac_low/gost_r3411_2012_prf.h"

#include <cstring>

#include "hmac_low/gost_r3411_2012_hmac.h"
#include "hmac_low/secure_buffer.h"
#include "vkc_log.h"

namespace {

using vkc::hmac_low::kErrNoMemory;
using vkc::hmac_low::SecureBuffer;
using vkc::hmac_low::WipeOnExit;

bool missing(const uint8_t* p, uint32_t len) { return p == nullptr && len != 0; }

const char* one_shot_name(uint32_t n) {
  return n == 32 ? "GOSTR3411_2012_HMAC_256" : "GOSTR3411_2012_HMAC_512";
}

// An HMAC context keyed once with the secret and restarted per block.
class KeyedHmac {
 public:
  KeyedHmac() = default;
  ~KeyedHmac() { vkc::hmac_low::wipe(&ctx_, sizeof(ctx_)); }
  KeyedHmac(const KeyedHmac&) = delete;
  KeyedHmac& operator=(const KeyedHmac&) = delete;

  int32_t init(uint32_t n, const uint8_t* key, uint32_t key_len) {
    const int32_t rc = GOSTR3411_2012_HMAC_Init(&ctx_, n, key, key_len);
    if (rc != 0) VKC_LOG("%s_Init failed, rc = 0x%x", one_shot_name(n), static_cast<unsigned>(rc));
    return rc;
  }
  int32_t update(const uint8_t* data, uint32_t len) {
    const int32_t rc = GOSTR3411_2012_HMAC_Update(&ctx_, data, len);
    if (rc != 0) VKC_LOG("GOSTR3411_2012_HMAC_Update failed, rc = 0x%x", static_cast<unsigned>(rc));
    return rc;
  }
  // Final, then Reset for the next block.
  int32_t finish(uint8_t* out) {
    int32_t rc = GOSTR3411_2012_HMAC_Final(&ctx_, out);
    if (rc != 0) {
      VKC_LOG("GOSTR3411_2012_HMAC_Final failed, rc = 0x%x", static_cast<unsigned>(rc));
      return rc;
    }
    rc = GOSTR3411_2012_HMAC_Reset(&ctx_);
    if (rc != 0) VKC_LOG("GOSTR3411_2012_HMAC_Reset failed, rc = 0x%x", static_cast<unsigned>(rc));
    return rc;
  }

 private:
  Gost3411_2012HmacContext ctx_{};
};

bool output_ok(const uint8_t* out, uint32_t out_len, const char* name) {
  if (out == nullptr || out_len == 0) {
    VKC_LOG("%s: NULL output buffer", name);
    return false;
  }
  return true;
}

// P_hash of TLS 1.2: A(1) = HMAC(secret, S), block i = HMAC(secret, A(i) || S),
// A(i+1) = HMAC(secret, A(i)); S = label || seed.
int32_t prf_tls(uint32_t n, const char* name, const uint8_t* secret, uint32_t secret_len,
                const uint8_t* label, uint32_t label_len, const uint8_t* seed, uint32_t seed_len,
                uint8_t* out, uint32_t out_len) {
  if (!output_ok(out, out_len, name)) return -1;
  if (missing(label, label_len) || missing(seed, seed_len) ||
      uint64_t{label_len} + seed_len > 0xffffffffu) {
    return -1;
  }
  const uint32_t s_len = label_len + seed_len;
  const uint64_t blocks = (uint64_t{out_len} + n - 1) / n;
  SecureBuffer s(s_len == 0 ? 1 : s_len);
  SecureBuffer result(blocks * n);
  if (!s.ok() || !result.ok()) return kErrNoMemory;
  if (label_len != 0) memcpy(s.data(), label, label_len);
  if (seed_len != 0) memcpy(s.data() + label_len, seed, seed_len);

  uint8_t a[64];
  WipeOnExit<uint8_t[64]> wipe_a(a);
  int32_t rc = GOSTR3411_2012_HMAC(n, s.data(), s_len, secret, secret_len, a);
  if (rc != 0) {
    VKC_LOG("%s failed, rc = 0x%x", one_shot_name(n), static_cast<unsigned>(rc));
    return rc;
  }
  KeyedHmac hmac;
  if ((rc = hmac.init(n, secret, secret_len)) != 0) return rc;
  for (uint64_t i = 1; i <= blocks; ++i) {
    if ((rc = hmac.update(a, n)) != 0 || (rc = hmac.update(s.data(), s_len)) != 0 ||
        (rc = hmac.finish(result.data() + (i - 1) * n)) != 0) {
      return rc;
    }
    if (i < blocks && (rc = GOSTR3411_2012_HMAC(n, a, n, secret, secret_len, a)) != 0) {
      VKC_LOG("%s failed, rc = 0x%x", one_shot_name(n), static_cast<unsigned>(rc));
      return rc;
    }
  }
  memcpy(out, result.data(), out_len);
  return 0;
}

// IKEv1 KEYMAT: K1 = HMAC(key, S), Ki = HMAC(key, K(i-1) || S).
// IKEv2 prf+:   T1 = HMAC(key, S || 01), Ti = HMAC(key, T(i-1) || S || i);
// its one-byte counter limits the output to 255 blocks.
int32_t ipsec_expand(bool prf_plus, uint32_t n, const char* name, const uint8_t* key,
                     uint32_t key_len, const uint8_t* data, uint32_t data_len, uint8_t* out,
                     uint32_t out_len) {
  if (!output_ok(out, out_len, name)) return -1;
  if (missing(data, data_len)) return -1;
  const uint64_t blocks = (uint64_t{out_len} + n - 1) / n;
  if (prf_plus && blocks > 255) return -1;
  SecureBuffer result(blocks * n);
  if (!result.ok()) return kErrNoMemory;

  KeyedHmac hmac;
  int32_t rc = hmac.init(n, key, key_len);
  if (rc != 0) return rc;
  for (uint64_t i = 1; i <= blocks; ++i) {
    uint8_t* block = result.data() + (i - 1) * n;
    if (i > 1 && (rc = hmac.update(block - n, n)) != 0) return rc;
    if ((rc = hmac.update(data, data_len)) != 0) return rc;
    if (prf_plus) {
      const uint8_t counter = static_cast<uint8_t>(i);
      if ((rc = hmac.update(&counter, 1)) != 0) return rc;
    }
    if ((rc = hmac.finish(block)) != 0) return rc;
  }
  memcpy(out, result.data(), out_len);
  return 0;
}

}  // namespace

extern "C" {

int32_t GOSTR3411_2012_256_PRF_TLS(const uint8_t* secret, uint32_t secret_len, const uint8_t* label,
                                   uint32_t label_len, const uint8_t* seed, uint32_t seed_len,
                                   uint8_t* out, uint32_t out_len) {
  return prf_tls(32, "GOSTR3411_2012_256_PRF_TLS", secret, secret_len, label, label_len, seed,
                 seed_len, out, out_len);
}

int32_t GOSTR3411_2012_512_PRF_TLS(const uint8_t* secret, uint32_t secret_len, const uint8_t* label,
                                   uint32_t label_len, const uint8_t* seed, uint32_t seed_len,
                                   uint8_t* out, uint32_t out_len) {
  return prf_tls(64, "GOSTR3411_2012_512_PRF_TLS", secret, secret_len, label, label_len, seed,
                 seed_len, out, out_len);
}

int32_t GOSTR3411_2012_256_PRF_IPSEC_KEYMAT(const uint8_t* key, uint32_t key_len,
                                            const uint8_t* data, uint32_t data_len, uint8_t* out,
                                            uint32_t out_len) {
  return ipsec_expand(false, 32, "GOSTR3411_2012_256_PRF_IPSEC_KEYMAT", key, key_len, data,
                      data_len, out, out_len);
}

int32_t GOSTR3411_2012_512_PRF_IPSEC_KEYMAT(const uint8_t* key, uint32_t key_len,
                                            const uint8_t* data, uint32_t data_len, uint8_t* out,
                                            uint32_t out_len) {
  return ipsec_expand(false, 64, "GOSTR3411_2012_512_PRF_IPSEC_KEYMAT", key, key_len, data,
                      data_len, out, out_len);
}

int32_t GOSTR3411_2012_256_PRF_IPSEC_PRFPLUS(const uint8_t* key, uint32_t key_len,
                                             const uint8_t* data, uint32_t data_len, uint8_t* out,
                                             uint32_t out_len) {
  return ipsec_expand(true, 32, "GOSTR3411_2012_256_PRF_IPSEC_PRFPLUS", key, key_len, data,
                      data_len, out, out_len);
}

int32_t GOSTR3411_2012_512_PRF_IPSEC_PRFPLUS(const uint8_t* key, uint32_t key_len,
                                             const uint8_t* data, uint32_t data_len, uint8_t* out,
                                             uint32_t out_len) {
  return ipsec_expand(true, 64, "GOSTR3411_2012_512_PRF_IPSEC_PRFPLUS", key, key_len, data,
                      data_len, out, out_len);
}

}  // extern "C"
