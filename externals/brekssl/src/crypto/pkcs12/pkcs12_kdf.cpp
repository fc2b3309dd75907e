#include "pkcs12/pkcs12_kdf.h"

#include <openssl/crypto.h>
#include <openssl/hmac.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "ossl_ptr.h"

namespace {

using HmacCtxPtr = std::unique_ptr<HMAC_CTX, orvel::Free<HMAC_CTX, HMAC_CTX_free>>;

// Bytes wiped when they go out of scope.
class Secret {
 public:
  explicit Secret(size_t n) : bytes_(n) {}
  ~Secret() { OPENSSL_cleanse(bytes_.data(), bytes_.size()); }
  Secret(const Secret&) = delete;
  Secret& operator=(const Secret&) = delete;
  unsigned char* data() { return bytes_.data(); }
  size_t size() const { return bytes_.size(); }

 private:
  std::vector<unsigned char> bytes_;
};

bool hmac_block(HMAC_CTX* ctx, const unsigned char* a, size_t a_len, const unsigned char* b,
                size_t b_len, unsigned char* out) {
  unsigned int n = 0;
  // A null key and digest restart the context with the key it holds.
  return HMAC_Init_ex(ctx, nullptr, 0, nullptr, nullptr) &&
         (a_len == 0 || HMAC_Update(ctx, a, a_len)) && (b_len == 0 || HMAC_Update(ctx, b, b_len)) &&
         HMAC_Final(ctx, out, &n);
}

// The digest of a || b, iterated: H(H(...H(a || b))) with iter digests.
bool digest_iter(EVP_MD_CTX* ctx, const EVP_MD* md, const unsigned char* a, size_t a_len,
                 const unsigned char* b, size_t b_len, int iter, unsigned char* out) {
  unsigned int n = 0;
  if (!EVP_DigestInit_ex(ctx, md, nullptr) || !EVP_DigestUpdate(ctx, a, a_len) ||
      (b_len != 0 && !EVP_DigestUpdate(ctx, b, b_len)) || !EVP_DigestFinal_ex(ctx, out, &n))
    return false;
  for (int j = 1; j < iter; ++j) {
    if (!EVP_DigestInit_ex(ctx, md, nullptr) || !EVP_DigestUpdate(ctx, out, n) ||
        !EVP_DigestFinal_ex(ctx, out, &n))
      return false;
  }
  return true;
}

// Fills dst with copies of src; an empty src leaves dst empty.
void fill_repeated(unsigned char* dst, size_t dst_len, const unsigned char* src, size_t src_len) {
  for (size_t i = 0; i < dst_len; ++i) dst[i] = src[i % src_len];
}

size_t round_up(size_t n, size_t v) { return (n + v - 1) / v * v; }

}  // namespace

bool ssf_pbkdf2_hmac(const EVP_MD* md, const unsigned char* pass, size_t pass_len,
                     const unsigned char* salt, size_t salt_len, int iter, unsigned char* out,
                     size_t out_len) {
  int h_len = md != nullptr ? EVP_MD_get_size(md) : 0;
  if (h_len <= 0 || h_len > EVP_MAX_MD_SIZE || iter < 1 || pass_len > INT32_MAX) return false;
  HmacCtxPtr ctx(HMAC_CTX_new());
  static const unsigned char kEmpty = 0;
  if (!ctx || !HMAC_Init_ex(ctx.get(), pass_len != 0 ? pass : &kEmpty, static_cast<int>(pass_len),
                            md, nullptr))
    return false;
  Secret u(static_cast<size_t>(h_len)), t(static_cast<size_t>(h_len));
  for (uint32_t block = 1; out_len > 0; ++block) {
    const unsigned char index[4] = {
        static_cast<unsigned char>(block >> 24), static_cast<unsigned char>(block >> 16),
        static_cast<unsigned char>(block >> 8), static_cast<unsigned char>(block)};
    // U1 = HMAC(P, S || INT(i)).
    if (!hmac_block(ctx.get(), salt, salt_len, index, sizeof(index), u.data())) return false;
    std::memcpy(t.data(), u.data(), u.size());
    for (int j = 1; j < iter; ++j) {
      if (!hmac_block(ctx.get(), u.data(), u.size(), nullptr, 0, u.data())) return false;
      for (size_t k = 0; k < t.size(); ++k) t.data()[k] ^= u.data()[k];
    }
    size_t n = std::min(out_len, t.size());
    std::memcpy(out, t.data(), n);
    out += n;
    out_len -= n;
  }
  return true;
}

bool ssf_pkcs12_kdf(const EVP_MD* md, const unsigned char* bmp_pass, size_t bmp_len,
                    const unsigned char* salt, size_t salt_len, unsigned char id, int iter,
                    unsigned char* out, size_t out_len) {
  int u_len = md != nullptr ? EVP_MD_get_size(md) : 0;
  int v_len = md != nullptr ? EVP_MD_get_block_size(md) : 0;
  if (u_len <= 0 || u_len > EVP_MAX_MD_SIZE || v_len <= 0 || iter < 1) return false;
  const size_t u = static_cast<size_t>(u_len), v = static_cast<size_t>(v_len);
  const size_t s_len = salt_len != 0 ? round_up(salt_len, v) : 0;
  const size_t p_len = bmp_len != 0 ? round_up(bmp_len, v) : 0;
  // I = S || P, each the source repeated up to a multiple of v bytes.
  Secret d(v), i_buf(s_len + p_len), a(u), b(v);
  std::memset(d.data(), id, v);
  fill_repeated(i_buf.data(), s_len, salt, salt_len);
  fill_repeated(i_buf.data() + s_len, p_len, bmp_pass, bmp_len);
  orvel::EvpMdCtxPtr ctx(EVP_MD_CTX_new());
  if (!ctx) return false;
  for (;;) {
    if (!digest_iter(ctx.get(), md, d.data(), v, i_buf.data(), i_buf.size(), iter, a.data()))
      return false;
    size_t n = std::min(out_len, u);
    std::memcpy(out, a.data(), n);
    out += n;
    out_len -= n;
    if (out_len == 0) return true;
    // Every v-byte block of I becomes I_j + B + 1 modulo 2^(8v), B = A repeated.
    fill_repeated(b.data(), v, a.data(), u);
    for (size_t j = 0; j < i_buf.size(); j += v) {
      unsigned carry = 1;
      for (size_t k = v; k-- > 0;) {
        carry += static_cast<unsigned>(i_buf.data()[j + k]) + b.data()[k];
        i_buf.data()[j + k] = static_cast<unsigned char>(carry);
        carry >>= 8;
      }
    }
  }
}

bool ssf_hmac(const EVP_MD* md, const unsigned char* key, size_t key_len, const unsigned char* data,
              size_t data_len, unsigned char* out, unsigned int* out_len) {
  if (md == nullptr || key_len > INT32_MAX) return false;
  HmacCtxPtr ctx(HMAC_CTX_new());
  static const unsigned char kEmpty = 0;
  return ctx &&
         HMAC_Init_ex(ctx.get(), key_len != 0 ? key : &kEmpty, static_cast<int>(key_len), md,
                      nullptr) &&
         (data_len == 0 || HMAC_Update(ctx.get(), data, data_len)) &&
         HMAC_Final(ctx.get(), out, out_len);
}
