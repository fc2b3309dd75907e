#include "hmac_low/gost_r3411_2012_kdf.h"

#include <cstring>

#include "hmac_low/gost_r3411_2012_hmac.h"
#include "hmac_low/secure_buffer.h"
#include "vkc_log.h"

namespace {

using vkc::hmac_low::kErrNoMemory;
using vkc::hmac_low::SecureBuffer;
using vkc::hmac_low::WipeOnExit;

constexpr uint32_t kMaxPbkdf2Output = 0x7fffffffu;
constexpr uint32_t kKdfKeyLen = 32;

bool missing(const uint8_t* p, uint32_t len) { return p == nullptr && len != 0; }

// The argument checks that KDF_256 and KDF_TREE share.
bool kdf_args_ok(const uint8_t* key, uint32_t key_len, const uint8_t* label, uint32_t label_len,
                 const uint8_t* seed, uint32_t seed_len, const uint8_t* out) {
  return key != nullptr && key_len == kKdfKeyLen && out != nullptr && !missing(label, label_len) &&
         !missing(seed, seed_len);
}

// a + b + c in 32 bits, or false when the sum would wrap.
bool sum32(uint64_t a, uint64_t b, uint64_t c, uint32_t* sum) {
  const uint64_t s = a + b + c;
  if (s > 0xffffffffu) return false;
  *sum = static_cast<uint32_t>(s);
  return true;
}

void put_be(uint64_t v, uint32_t width, uint8_t* out) {
  for (uint32_t i = 0; i < width; ++i) out[width - 1 - i] = static_cast<uint8_t>(v >> (8 * i));
}

// TLSTREE masks of RFC 9189, applied to the big-endian sequence number.
constexpr uint64_t kTreeMasks[2][3] = {
    {0xffffffc000000000ull, 0xfffffffffe000000ull, 0xfffffffffffff000ull},  // Magma
    {0xffffffff00000000ull, 0xfffffffffff80000ull, 0xffffffffffffffc0ull},  // Kuznyechik
};
constexpr uint8_t kTreeLabels[3][6] = {
    {'l', 'e', 'v', 'e', 'l', '1'}, {'l', 'e', 'v', 'e', 'l', '2'}, {'l', 'e', 'v', 'e', 'l', '3'}};

}  // namespace

extern "C" {

int32_t GOSTR3411_2012_PKCS5_PBKDF2(const uint8_t* password, uint32_t password_len,
                                    const uint8_t* salt, uint32_t salt_len, uint32_t iterations,
                                    uint8_t* out, uint32_t out_len) {
  if (out == nullptr || out_len == 0 || out_len > kMaxPbkdf2Output) {
    VKC_LOG("GOSTR3411_2012_PKCS5_PBKDF2: Invalid output buffer");
    return -1;
  }
  SecureBuffer work(out_len);
  if (!work.ok()) return kErrNoMemory;

  struct State {
    Gost3411_2012HmacContext hmac;
    uint8_t u[64];
  } st;
  WipeOnExit<State> wipe_state(st);

  int32_t rc = GOSTR3411_2012_HMAC_512_Init(&st.hmac, password, password_len);
  if (rc != 0) {
    VKC_LOG("GOSTR3411_2012_HMAC_512_Init returned 0x%x", static_cast<unsigned>(rc));
    return rc;
  }
  uint32_t done = 0;
  for (uint32_t block = 1; done < out_len; ++block) {
    const uint32_t take = out_len - done < 64 ? out_len - done : 64;
    uint8_t* t = work.data() + done;
    uint8_t index[4];
    put_be(block, 4, index);
    if ((rc = GOSTR3411_2012_HMAC_512_Reset(&st.hmac)) != 0) {
      VKC_LOG("GOSTR3411_2012_HMAC_512_Reset returned 0x%x", static_cast<unsigned>(rc));
      return rc;
    }
    if ((rc = GOSTR3411_2012_HMAC_512_Update(&st.hmac, salt, salt_len)) != 0 ||
        (rc = GOSTR3411_2012_HMAC_512_Update(&st.hmac, index, 4)) != 0) {
      VKC_LOG("GOSTR3411_2012_HMAC_512_Update returned 0x%x", static_cast<unsigned>(rc));
      return rc;
    }
    if ((rc = GOSTR3411_2012_HMAC_512_Final(&st.hmac, st.u)) != 0) {
      VKC_LOG("GOSTR3411_2012_HMAC_512_Final returned 0x%x", static_cast<unsigned>(rc));
      return rc;
    }
    memcpy(t, st.u, take);
    for (uint32_t j = 2; j <= iterations; ++j) {
      if ((rc = GOSTR3411_2012_HMAC_512_Reset(&st.hmac)) != 0) {
        VKC_LOG("GOSTR3411_2012_HMAC_512_Reset returned 0x%x", static_cast<unsigned>(rc));
        return rc;
      }
      if ((rc = GOSTR3411_2012_HMAC_512_Update(&st.hmac, st.u, 64)) != 0) {
        VKC_LOG("GOSTR3411_2012_HMAC_512_Update returned 0x%x", static_cast<unsigned>(rc));
        return rc;
      }
      if ((rc = GOSTR3411_2012_HMAC_512_Final(&st.hmac, st.u)) != 0) {
        VKC_LOG("GOSTR3411_2012_HMAC_512_Final returned 0x%x", static_cast<unsigned>(rc));
        return rc;
      }
      for (uint32_t k = 0; k < take; ++k) t[k] ^= st.u[k];
    }
    done += take;
  }
  memcpy(out, work.data(), out_len);
  return 0;
}

int32_t GOSTR3411_2012_256_KDF(const uint8_t* key, uint32_t key_len, const uint8_t* label,
                               uint32_t label_len, const uint8_t* seed, uint32_t seed_len,
                               uint8_t* out) {
  uint32_t msg_len = 0;
  if (!kdf_args_ok(key, key_len, label, label_len, seed, seed_len, out) ||
      !sum32(label_len, seed_len, 4, &msg_len)) {
    return -1;
  }
  SecureBuffer msg(msg_len);
  if (!msg.ok()) return kErrNoMemory;
  uint8_t* p = msg.data();
  *p++ = 0x01;
  if (label_len != 0) memcpy(p, label, label_len);
  p += label_len;
  *p++ = 0x00;
  if (seed_len != 0) memcpy(p, seed, seed_len);
  p += seed_len;
  *p++ = 0x01;  // 256 output bits, 16-bit big-endian
  *p = 0x00;
  const int32_t rc = GOSTR3411_2012_HMAC_256(msg.data(), msg_len, key, key_len, out);
  if (rc != 0) VKC_LOG("GOSTR3411_2012_HMAC failed, rc = %d", rc);
  return rc;
}

int32_t GOSTR3411_2012_256_KDF_TREE(const uint8_t* key, uint32_t key_len, const uint8_t* label,
                                    uint32_t label_len, const uint8_t* seed, uint32_t seed_len,
                                    uint32_t counter_len, uint32_t out_len, uint8_t* out) {
  uint32_t msg_len = 0;
  if (!kdf_args_ok(key, key_len, label, label_len, seed, seed_len, out) || counter_len < 1 ||
      counter_len > 4 || !sum32(uint64_t{counter_len} + label_len, seed_len, 3, &msg_len)) {
    return -1;
  }
  // The counter runs from 1 to n in counter_len bytes and the output length
  // in bits fills a 16-bit field: refuse what either cannot hold rather
  // than repeat a block.
  const uint64_t bits = uint64_t{out_len} * 8;
  const uint64_t blocks = (uint64_t{out_len} + 31) / 32;
  const uint64_t max_counter = (uint64_t{1} << (8 * counter_len)) - 1;
  if (bits > 0xffff || blocks > max_counter) return -1;
  if (out_len == 0) return 0;

  SecureBuffer result(blocks * 32);
  SecureBuffer msg(msg_len);
  if (!result.ok() || !msg.ok()) return kErrNoMemory;
  uint8_t* p = msg.data() + counter_len;
  if (label_len != 0) memcpy(p, label, label_len);
  p += label_len;
  *p++ = 0x00;
  if (seed_len != 0) memcpy(p, seed, seed_len);
  p += seed_len;
  put_be(bits, 2, p);

  for (uint64_t i = 1; i <= blocks; ++i) {
    put_be(i, counter_len, msg.data());
    const int32_t rc =
        GOSTR3411_2012_HMAC_256(msg.data(), msg_len, key, key_len, result.data() + (i - 1) * 32);
    if (rc != 0) {
      VKC_LOG("GOSTR3411_2012_HMAC failed, rc = 0x%x", static_cast<unsigned>(rc));
      return rc;
    }
  }
  memcpy(out, result.data(), out_len);
  return 0;
}

int32_t GOSTR3411_2012_256_TLS_TREE(const uint8_t* key, uint32_t key_len, uint32_t key_type,
                                    uint64_t seq_num, uint8_t* out) {
  if (key_type != 1 && key_type != 2) {
    VKC_LOG("GOSTR3411_2012_256_TLS_TREE failed(unsupported key type), rc = %d", -13);
    return -13;
  }
  if (out == nullptr) return -1;
  const uint64_t* masks = kTreeMasks[key_type - 1];
  // The intermediate keys stay here, so a failure leaves no key in out.
  uint8_t k[kKdfKeyLen];
  WipeOnExit<uint8_t[kKdfKeyLen]> wipe_k(k);
  const uint8_t* in_key = key;
  for (int level = 0; level < 3; ++level) {
    uint8_t d[8];
    put_be(seq_num & masks[level], 8, d);
    const int32_t rc = GOSTR3411_2012_256_KDF(in_key, key_len, kTreeLabels[level], 6, d, 8, k);
    if (rc != 0) {
      VKC_LOG("GOSTR3411_2012_256_KDF failed, rc = %d", rc);
      return rc;
    }
    in_key = k;
  }
  memcpy(out, k, kKdfKeyLen);
  return 0;
}

}  // extern "C"
