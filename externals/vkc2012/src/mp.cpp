#include "mp.h"

#include <errno.h>
#include <malloc.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include "vkc_ct.h"

namespace {

constexpr uint32_t kBits = 32;

// A heap number of its own, wiped before it is freed.
class TmpNum {
 public:
  explicit TmpNum(uint32_t n) : n_(n), p_(mpAlloc(n)) {}
  ~TmpNum() { mpFree(&p_); }
  TmpNum(const TmpNum&) = delete;
  TmpNum& operator=(const TmpNum&) = delete;
  DIGIT_T* get() { return p_; }
  DIGIT_T& operator[](size_t i) { return p_[i]; }
  uint32_t size() const { return n_; }

 private:
  uint32_t n_;
  DIGIT_T* p_;
};

// A byte buffer of the text conversions, wiped before it is freed.
class TmpBytes {
 public:
  explicit TmpBytes(size_t n) : n_(n ? n : 1), p_(static_cast<unsigned char*>(calloc(n_, 1))) {
    if (p_ == nullptr) mpFail("ALLOC_BYTES: Unable to allocate memory.");
  }
  ~TmpBytes() {
    zeroise_bytes(p_, n_);
    free(p_);
  }
  TmpBytes(const TmpBytes&) = delete;
  TmpBytes& operator=(const TmpBytes&) = delete;
  unsigned char* get() { return p_; }
  size_t size() const { return n_; }

 private:
  size_t n_;
  unsigned char* p_;
};

// Significant bits of a in time that does not depend on its value: the
// octet conversion below writes private keys.
uint32_t bit_length_ct(const DIGIT_T a[], uint32_t ndigits) {
  if (a == nullptr) return 0;
  uint32_t bits = 0;
  for (uint32_t i = 0; i < ndigits; i++) {
    uint32_t x = a[i], len = 0;
    for (uint32_t s = 16; s > 0; s >>= 1) {
      const uint32_t hi = x >> s;
      const uint32_t m = static_cast<uint32_t>(vkc_ct::mask_nonzero(hi));
      len += s & m;
      x = (hi & m) | (x & ~m);
    }
    len += x;  // the top bit left over: 0 or 1
    const uint32_t m = static_cast<uint32_t>(vkc_ct::mask_nonzero(a[i]));
    bits = ((i * kBits + len) & m) | (bits & ~m);
  }
  return bits;
}

uint32_t clz32(DIGIT_T d) { return d == 0 ? 32 : static_cast<uint32_t>(__builtin_clz(d)); }

// w = u * v (one digit) added into w; returns the carry digit.
DIGIT_T mul_add_digit(DIGIT_T w[], const DIGIT_T u[], DIGIT_T v, uint32_t n) {
  uint64_t carry = 0;
  for (uint32_t i = 0; i < n; i++) {
    uint64_t t = static_cast<uint64_t>(u[i]) * v + w[i] + carry;
    w[i] = static_cast<DIGIT_T>(t);
    carry = t >> 32;
  }
  return static_cast<DIGIT_T>(carry);
}

// Knuth's Algorithm D on normalised copies: the caller's divisor is only read.
void knuth_divide(DIGIT_T q[], DIGIT_T r[], const DIGIT_T u[], uint32_t m, const DIGIT_T v[],
                  uint32_t t) {
  const uint32_t shift = clz32(v[t - 1]);
  TmpNum vn(t);
  TmpNum un(m + 1);
  mpShiftLeft(vn.get(), v, shift, t);
  un[m] = mpShiftLeft(un.get(), u, shift, m);
  const uint64_t vtop = vn[t - 1];
  const uint64_t vnext = vn[t - 2];
  for (uint32_t jj = m - t + 1; jj-- > 0;) {
    const uint32_t j = jj;
    uint64_t num = (static_cast<uint64_t>(un[j + t]) << 32) | un[j + t - 1];
    uint64_t qhat = num / vtop;
    uint64_t rhat = num % vtop;
    while (qhat > 0xFFFFFFFFull || qhat * vnext > ((rhat << 32) | un[j + t - 2])) {
      qhat--;
      rhat += vtop;
      if (rhat > 0xFFFFFFFFull) break;
    }
    // Subtract qhat * v from the window un[j .. j+t].
    int64_t borrow = 0;
    uint64_t carry = 0;
    for (uint32_t i = 0; i < t; i++) {
      uint64_t p = qhat * vn[i] + carry;
      carry = p >> 32;
      int64_t s =
          static_cast<int64_t>(un[i + j]) - borrow - static_cast<int64_t>(p & 0xFFFFFFFFull);
      un[i + j] = static_cast<DIGIT_T>(s);
      borrow = s < 0 ? 1 : 0;
    }
    int64_t s = static_cast<int64_t>(un[j + t]) - borrow - static_cast<int64_t>(carry);
    un[j + t] = static_cast<DIGIT_T>(s);
    if (s < 0) {
      // The estimate was one too large: add the divisor back once.
      qhat--;
      uint64_t c = 0;
      for (uint32_t i = 0; i < t; i++) {
        uint64_t a = static_cast<uint64_t>(un[i + j]) + vn[i] + c;
        un[i + j] = static_cast<DIGIT_T>(a);
        c = a >> 32;
      }
      un[j + t] = static_cast<DIGIT_T>(un[j + t] + c);
    }
    q[j] = static_cast<DIGIT_T>(qhat);
  }
  mpShiftRight(r, un.get(), shift, t);
}

DIGIT_T* alloc_digits(uint32_t n) {
  DIGIT_T* p = static_cast<DIGIT_T*>(calloc(n ? n : 1, sizeof(DIGIT_T)));
  if (p == nullptr) mpFail("mpAlloc: Unable to allocate memory.");
  return p;
}

// Small stack buffer with a heap fallback for long numbers (not wiped:
// modular addition and subtraction work on reduced public-size values).
class ScratchNum {
 public:
  explicit ScratchNum(uint32_t n) : p_(n <= kStack ? stack_ : alloc_digits(n)), n_(n) {
    memset(p_, 0, sizeof(DIGIT_T) * (n ? n : 1));
  }
  ~ScratchNum() {
    if (p_ != stack_) {
      zeroise_bytes(p_, sizeof(DIGIT_T) * n_);
      free(p_);
    }
  }
  ScratchNum(const ScratchNum&) = delete;
  ScratchNum& operator=(const ScratchNum&) = delete;
  DIGIT_T* get() { return p_; }

 private:
  static constexpr uint32_t kStack = 68;
  DIGIT_T stack_[kStack];
  DIGIT_T* p_;
  uint32_t n_;
};

uint32_t conv_to_base(const DIGIT_T a[], uint32_t ndigits, char* s, uint32_t smax, int base) {
  static const char kDigits[] = "0123456789abcdef";
  if (base != 10 && base != 16) return 0;
  if (s != nullptr && smax > 0) {
    memset(s, '0', smax - 1);
    s[smax - 1] = '\0';
  }
  if (mpIsZero(a, ndigits) != 0) {
    if (s != nullptr && smax > 1) s[1] = '\0';
    return 1;
  }
  const uint32_t nbytes = ndigits * 4;
  TmpBytes bytes(nbytes);
  mpConvToOctets(a, ndigits, bytes.get(), nbytes);
  const uint32_t sig = (mpBitLength(a, ndigits) + 7) / 8;
  // Digits needed for sig bytes: at most ceil(sig * log(256)/log(base)).
  const size_t outlen =
      base == 10 ? (static_cast<size_t>(sig) * 240825 + 99999) / 100000 : 2u * sig;
  TmpBytes out(outlen);
  unsigned char* o = out.get();
  for (uint32_t i = nbytes - sig; i < nbytes; i++) {
    uint32_t carry = bytes.get()[i];
    for (size_t j = outlen; j-- > 0;) {
      uint32_t t = o[j] * 256u + carry;
      o[j] = static_cast<unsigned char>(t % base);
      carry = t / base;
    }
  }
  size_t first = 0;
  while (first < outlen && o[first] == 0) first++;
  const uint32_t nchars = static_cast<uint32_t>(outlen - first);
  if (s != nullptr && smax > 0) {
    uint32_t j = 0;
    for (size_t i = first; i < outlen && j < smax - 1; i++, j++) s[j] = kDigits[o[i]];
    s[j] = '\0';
  }
  return nchars;
}

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

uint32_t conv_from_base(DIGIT_T a[], uint32_t ndigits, const char* s, int base) {
  mpSetZero(a, ndigits);
  if (s == nullptr) return 0;
  const size_t len = strlen(s);
  if (len == 0) return 0;
  // Bytes for len digits: log(10)/log(256) = 0.415241..., so 0.41525 always
  // suffices (0.41524 falls one byte short for some lengths).
  const size_t nbytes = base == 10 ? (len * 41525 + 99999) / 100000 : (len + 1) / 2;
  TmpBytes buf(nbytes);
  unsigned char* b = buf.get();
  for (size_t i = 0; i < len; i++) {
    int d = base == 10 ? (s[i] >= '0' && s[i] <= '9' ? s[i] - '0' : -1) : hex_value(s[i]);
    if (d < 0) continue;
    uint32_t carry = static_cast<uint32_t>(d);
    for (size_t j = nbytes; j-- > 0;) {
      uint32_t t = b[j] * static_cast<uint32_t>(base) + carry;
      b[j] = static_cast<unsigned char>(t);
      carry = t >> 8;
    }
  }
  return mpConvFromOctets(a, ndigits, b, static_cast<uint32_t>(nbytes));
}

// Modular product into a double-length heap temporary.
void mod_mult(DIGIT_T w[], const DIGIT_T u[], const DIGIT_T v[], const DIGIT_T m[], uint32_t n) {
  TmpNum p(2 * n);
  mpMultiply(p.get(), u, v, n);
  mpModulo(w, p.get(), 2 * n, m, n);
}

void print_digits(const DIGIT_T* a, uint32_t ndigits, bool trim, bool nl) {
  uint32_t n = ndigits;
  if (trim) {
    n = mpSizeof(a, ndigits);
    if (n == 0) n = 1;
  }
  uint32_t count = 0;
  for (uint32_t i = n; i-- > 0;) {
    printf("%08x ", a[i]);
    if (nl && ++count % 8 == 0 && i > 0) printf("\n");
  }
  if (nl) printf("\n");
}

}  // namespace

extern "C" {

void zeroise_bytes(volatile void* buf, size_t len) {
  if (buf == nullptr) return;
  volatile unsigned char* p = static_cast<volatile unsigned char*>(buf);
  while (len > 0) p[--len] = 0;
}

void mpFail(const char* msg) {
  perror(msg);
  exit(1);
}

DIGIT_T* mpAlloc(uint32_t ndigits) { return alloc_digits(ndigits); }

void mpFree(DIGIT_T** p) {
  if (p == nullptr || *p == nullptr) return;
  // The digit count is not recorded: wipe through the allocator's usable size.
  zeroise_bytes(*p, malloc_usable_size(*p));
  free(*p);
  *p = nullptr;
}

DIGIT_T mpAdd(DIGIT_T w[], const DIGIT_T u[], const DIGIT_T v[], uint32_t ndigits) {
  uint64_t carry = 0;
  for (uint32_t i = 0; i < ndigits; i++) {
    uint64_t t = static_cast<uint64_t>(u[i]) + v[i] + carry;
    w[i] = static_cast<DIGIT_T>(t);
    carry = t >> 32;
  }
  return static_cast<DIGIT_T>(carry);
}

DIGIT_T mpSubtract(DIGIT_T w[], const DIGIT_T u[], const DIGIT_T v[], uint32_t ndigits) {
  uint64_t borrow = 0;
  for (uint32_t i = 0; i < ndigits; i++) {
    uint64_t t = static_cast<uint64_t>(u[i]) - v[i] - borrow;
    w[i] = static_cast<DIGIT_T>(t);
    borrow = (t >> 32) & 1;
  }
  return static_cast<DIGIT_T>(borrow);
}

int mpMultiply(DIGIT_T w[], const DIGIT_T u[], const DIGIT_T v[], uint32_t ndigits) {
  mpSetZero(w, 2 * ndigits);
  for (uint32_t j = 0; j < ndigits; j++) {
    if (v[j] == 0) continue;
    w[j + ndigits] = mul_add_digit(w + j, u, v[j], ndigits);
  }
  return 0;
}

int mpSquare(DIGIT_T w[], const DIGIT_T x[], uint32_t ndigits) {
  mpSetZero(w, 2 * ndigits);
  if (ndigits == 0) return 0;
  // Cross products once, doubled, then the squares on the diagonal.
  for (uint32_t i = 0; i + 1 < ndigits; i++) {
    if (x[i] == 0) continue;
    w[i + ndigits] =
        mul_add_digit(w + 2 * i + 1, x + i + 1, x[i], ndigits - i - 1) + w[i + ndigits];
  }
  mpShiftLeft(w, w, 1, 2 * ndigits);
  uint64_t carry = 0;
  for (uint32_t i = 0; i < ndigits; i++) {
    uint64_t sq = static_cast<uint64_t>(x[i]) * x[i];
    uint64_t t = static_cast<uint64_t>(w[2 * i]) + static_cast<DIGIT_T>(sq) + carry;
    w[2 * i] = static_cast<DIGIT_T>(t);
    t = static_cast<uint64_t>(w[2 * i + 1]) + (sq >> 32) + (t >> 32);
    w[2 * i + 1] = static_cast<DIGIT_T>(t);
    carry = t >> 32;
  }
  return 0;
}

int mpDivide(DIGIT_T q[], DIGIT_T r[], const DIGIT_T u[], uint32_t udigits, const DIGIT_T v[],
             uint32_t vdigits) {
  const uint32_t m = mpSizeof(u, udigits);
  const uint32_t t = mpSizeof(v, vdigits);
  // Read the operands before the outputs are cleared: q or r may alias u.
  TmpNum ucopy(udigits);
  mpSetEqual(ucopy.get(), u, udigits);
  mpSetZero(q, udigits);
  mpSetZero(r, udigits);
  if (t == 0) return -1;
  if (t == 1) {
    r[0] = mpShortDiv(q, ucopy.get(), v[0], m);
    return 0;
  }
  if (m < t) {
    mpSetEqual(r, ucopy.get(), m);
    return 0;
  }
  if (m == t) {
    int cmp = mpCompare(ucopy.get(), v, t);
    if (cmp < 0) {
      mpSetEqual(r, ucopy.get(), m);
      return 0;
    }
    if (cmp == 0) {
      q[0] = 1;
      return 0;
    }
  }
  knuth_divide(q, r, ucopy.get(), m, v, t);
  return 0;
}

int mpModulo(DIGIT_T r[], const DIGIT_T u[], uint32_t udigits, const DIGIT_T v[],
             uint32_t vdigits) {
  const uint32_t nn = std::max(udigits, vdigits);
  TmpNum qq(nn);
  TmpNum rr(nn);
  TmpNum uu(nn);
  mpSetEqual(uu.get(), u, udigits);
  mpDivide(qq.get(), rr.get(), uu.get(), nn, v, vdigits);
  mpSetEqual(r, rr.get(), vdigits);
  return 0;
}

DIGIT_T mpShortAdd(DIGIT_T w[], const DIGIT_T u[], DIGIT_T d, uint32_t ndigits) {
  uint64_t carry = d;
  for (uint32_t i = 0; i < ndigits; i++) {
    uint64_t t = static_cast<uint64_t>(u[i]) + carry;
    w[i] = static_cast<DIGIT_T>(t);
    carry = t >> 32;
  }
  return static_cast<DIGIT_T>(carry);
}

DIGIT_T mpShortSub(DIGIT_T w[], const DIGIT_T u[], DIGIT_T d, uint32_t ndigits) {
  uint64_t borrow = d;
  for (uint32_t i = 0; i < ndigits; i++) {
    uint64_t t = static_cast<uint64_t>(u[i]) - borrow;
    w[i] = static_cast<DIGIT_T>(t);
    borrow = (t >> 32) & 1;
  }
  return static_cast<DIGIT_T>(borrow);
}

DIGIT_T mpShortMult(DIGIT_T w[], const DIGIT_T u[], DIGIT_T d, uint32_t ndigits) {
  if (d == 0) {
    mpSetZero(w, ndigits);
    return 0;
  }
  uint64_t carry = 0;
  for (uint32_t i = 0; i < ndigits; i++) {
    uint64_t t = static_cast<uint64_t>(u[i]) * d + carry;
    w[i] = static_cast<DIGIT_T>(t);
    carry = t >> 32;
  }
  return static_cast<DIGIT_T>(carry);
}

DIGIT_T mpShortDiv(DIGIT_T q[], const DIGIT_T u[], DIGIT_T d, uint32_t ndigits) {
  if (d == 0 || ndigits == 0) return 0;
  uint64_t rem = 0;
  for (uint32_t i = ndigits; i-- > 0;) {
    uint64_t num = (rem << 32) | u[i];
    q[i] = static_cast<DIGIT_T>(num / d);
    rem = num % d;
  }
  return static_cast<DIGIT_T>(rem);
}

DIGIT_T mpShortMod(const DIGIT_T u[], DIGIT_T d, uint32_t ndigits) {
  TmpNum q(2 * ndigits);
  return mpShortDiv(q.get(), u, d, ndigits);
}

int spMultiply(DIGIT_T p[2], DIGIT_T x, DIGIT_T y) {
  uint64_t t = static_cast<uint64_t>(x) * y;
  p[0] = static_cast<DIGIT_T>(t);
  p[1] = static_cast<DIGIT_T>(t >> 32);
  return 0;
}

DIGIT_T spDivide(DIGIT_T* q, DIGIT_T* r, const DIGIT_T u[2], DIGIT_T v) {
  if ((v & 0x80000000u) == 0) {
    *q = 0;
    *r = 0;
    return 0xFFFFFFFFu;
  }
  uint64_t hi = u[1];
  DIGIT_T overflow = 0;
  if (hi >= v) {
    hi -= v;
    overflow = 1;
  }
  uint64_t num = (hi << 32) | u[0];
  *q = static_cast<DIGIT_T>(num / v);
  *r = static_cast<DIGIT_T>(num % v);
  return overflow;
}

int mpEqual(const DIGIT_T a[], const DIGIT_T b[], uint32_t ndigits) {
  if (ndigits == 0) return -1;
  for (uint32_t i = 0; i < ndigits; i++)
    if (a[i] != b[i]) return 0;
  return 1;
}

int mpCompare(const DIGIT_T a[], const DIGIT_T b[], uint32_t ndigits) {
  for (uint32_t i = ndigits; i-- > 0;) {
    if (a[i] > b[i]) return 1;
    if (a[i] < b[i]) return -1;
  }
  return 0;
}

int mpShortCmp(const DIGIT_T a[], DIGIT_T d, uint32_t ndigits) {
  if (ndigits == 0) return d != 0 ? -1 : 0;
  for (uint32_t i = 1; i < ndigits; i++)
    if (a[i] != 0) return 1;
  if (a[0] < d) return -1;
  if (a[0] > d) return 1;
  return 0;
}

int mpIsZero(const DIGIT_T a[], uint32_t ndigits) {
  if (ndigits == 0) return -1;
  for (uint32_t i = 0; i < ndigits; i++)
    if (a[i] != 0) return 0;
  return 1;
}

int mpIsNegative(const DIGIT_T a[], uint32_t ndigits) {
  if (ndigits == 0) return 0;
  return (a[ndigits - 1] >> 31) & 1;
}

uint32_t mpSizeof(const DIGIT_T a[], uint32_t ndigits) {
  while (ndigits > 0 && a[ndigits - 1] == 0) ndigits--;
  return ndigits;
}

uint32_t mpBitLength(const DIGIT_T a[], uint32_t ndigits) {
  if (a == nullptr || ndigits == 0) return 0;
  uint32_t n = mpSizeof(a, ndigits);
  if (n == 0) return 0;
  return (n - 1) * kBits + (kBits - clz32(a[n - 1]));
}

void mpSetEqual(DIGIT_T a[], const DIGIT_T b[], uint32_t ndigits) {
  if (a != b && ndigits > 0) memmove(a, b, sizeof(DIGIT_T) * ndigits);
}

void mpSetZero(DIGIT_T a[], uint32_t ndigits) {
  for (uint32_t i = 0; i < ndigits; i++) a[i] = 0;
}

void mpSetDigit(DIGIT_T a[], DIGIT_T d, uint32_t ndigits) {
  if (ndigits == 0) return;
  mpSetZero(a, ndigits);
  a[0] = d;
}

int mpChs(DIGIT_T w[], const DIGIT_T u[], uint32_t ndigits) {
  int sign = mpIsNegative(u, ndigits);
  uint64_t borrow = 0;
  for (uint32_t i = 0; i < ndigits; i++) {
    uint64_t t = 0ull - u[i] - borrow;
    w[i] = static_cast<DIGIT_T>(t);
    borrow = (t >> 32) & 1;
  }
  return sign;
}

int mpAbs(DIGIT_T w[], const DIGIT_T u[], uint32_t ndigits) {
  int sign = mpIsNegative(u, ndigits);
  if (sign)
    mpChs(w, u, ndigits);
  else
    mpSetEqual(w, u, ndigits);
  return sign;
}

DIGIT_T mpShiftLeft(DIGIT_T a[], const DIGIT_T b[], uint32_t shift, uint32_t ndigits) {
  if (ndigits == 0) return 0;
  if (shift >= kBits) {
    const uint32_t nw = shift / kBits;
    if (nw >= ndigits) {
      mpSetZero(a, ndigits);
      return 0;
    }
    for (uint32_t i = ndigits; i-- > nw;) a[i] = b[i - nw];
    for (uint32_t i = 0; i < nw; i++) a[i] = 0;
    return mpShiftLeft(a, a, shift % kBits, ndigits);
  }
  if (shift == 0) {
    mpSetEqual(a, b, ndigits);
    return 0;
  }
  DIGIT_T carry = 0;
  for (uint32_t i = 0; i < ndigits; i++) {
    DIGIT_T next = b[i] >> (kBits - shift);
    a[i] = (b[i] << shift) | carry;
    carry = next;
  }
  return carry;
}

DIGIT_T mpShiftRight(DIGIT_T a[], const DIGIT_T b[], uint32_t shift, uint32_t ndigits) {
  if (ndigits == 0) return 0;
  if (shift >= kBits) {
    const uint32_t nw = shift / kBits;
    if (nw >= ndigits) {
      mpSetZero(a, ndigits);
      return 0;
    }
    for (uint32_t i = 0; i + nw < ndigits; i++) a[i] = b[i + nw];
    for (uint32_t i = ndigits - nw; i < ndigits; i++) a[i] = 0;
    return mpShiftRight(a, a, shift % kBits, ndigits);
  }
  if (shift == 0) {
    mpSetEqual(a, b, ndigits);
    return 0;
  }
  DIGIT_T carry = 0;
  for (uint32_t i = ndigits; i-- > 0;) {
    DIGIT_T next = b[i] << (kBits - shift);
    a[i] = (b[i] >> shift) | carry;
    carry = next;
  }
  return carry;
}

int mpSetBit(DIGIT_T a[], uint32_t ndigits, uint32_t bit, int value) {
  const uint32_t i = bit / kBits;
  if (i >= ndigits) return -1;
  const DIGIT_T mask = 1u << (bit % kBits);
  if (value)
    a[i] |= mask;
  else
    a[i] &= ~mask;
  return 0;
}

int mpGetBit(const DIGIT_T a[], uint32_t ndigits, uint32_t bit) {
  const uint32_t i = bit / kBits;
  if (i >= ndigits) return -1;
  return (a[i] >> (bit % kBits)) & 1;
}

int mpGetByte(const DIGIT_T a[], uint32_t ndigits, uint32_t index, uint8_t* out) {
  const uint32_t i = index / 4;
  if (i >= ndigits) return -1;
  if (out != nullptr) *out = static_cast<uint8_t>(a[i] >> (8 * (index % 4)));
  return 0;
}

int mpSetByte(DIGIT_T a[], uint32_t ndigits, uint32_t index, int value) {
  const uint32_t i = index / 4;
  if (i >= ndigits) return -1;
  const uint32_t sh = 8 * (index % 4);
  a[i] = (a[i] & ~(0xFFu << sh)) | ((static_cast<DIGIT_T>(value) & 0xFFu) << sh);
  return 0;
}

void mpModPowerOf2(DIGIT_T a[], uint32_t ndigits, uint32_t L) {
  const uint32_t i = L / kBits;
  if (i >= ndigits) return;
  a[i] &= (1u << (L % kBits)) - 1u;
  for (uint32_t j = i + 1; j < ndigits; j++) a[j] = 0;
}

void mpXorBits(DIGIT_T w[], const DIGIT_T u[], const DIGIT_T v[], uint32_t ndigits) {
  for (uint32_t i = 0; i < ndigits; i++) w[i] = u[i] ^ v[i];
}

void mpOrBits(DIGIT_T w[], const DIGIT_T u[], const DIGIT_T v[], uint32_t ndigits) {
  for (uint32_t i = 0; i < ndigits; i++) w[i] = u[i] | v[i];
}

void mpAndBits(DIGIT_T w[], const DIGIT_T u[], const DIGIT_T v[], uint32_t ndigits) {
  for (uint32_t i = 0; i < ndigits; i++) w[i] = u[i] & v[i];
}

void mpNotBits(DIGIT_T w[], const DIGIT_T u[], uint32_t ndigits) {
  for (uint32_t i = 0; i < ndigits; i++) w[i] = ~u[i];
}

int mpModAdd(DIGIT_T w[], const DIGIT_T u[], const DIGIT_T v[], const DIGIT_T m[],
             uint32_t ndigits) {
  ScratchNum a(ndigits), b(ndigits);
  mpModulo(a.get(), u, ndigits, m, ndigits);
  mpModulo(b.get(), v, ndigits, m, ndigits);
  DIGIT_T carry = mpAdd(w, a.get(), b.get(), ndigits);
  // The true sum is carry:w; it lies below 2m, so one subtraction suffices.
  if (carry != 0 || mpCompare(w, m, ndigits) >= 0) mpSubtract(w, w, m, ndigits);
  return 0;
}

int mpModSub(DIGIT_T w[], const DIGIT_T u[], const DIGIT_T v[], const DIGIT_T m[],
             uint32_t ndigits) {
  ScratchNum a(ndigits), b(ndigits);
  mpModulo(a.get(), u, ndigits, m, ndigits);
  mpModulo(b.get(), v, ndigits, m, ndigits);
  DIGIT_T borrow = mpSubtract(w, a.get(), b.get(), ndigits);
  if (borrow != 0) mpAdd(w, w, m, ndigits);
  return 0;
}

int mpModMult(DIGIT_T w[], const DIGIT_T u[], const DIGIT_T v[], const DIGIT_T m[],
              uint32_t ndigits) {
  mod_mult(w, u, v, m, ndigits);
  return 0;
}

int mpModInv(DIGIT_T inv[], const DIGIT_T u[], const DIGIT_T m[], uint32_t ndigits) {
  const uint32_t n = ndigits;
  TmpNum a1(n), a3(n), b1(n), b3(n), t1(n), t3(n), q(n), w(2 * n);
  a1[0] = 1;
  mpSetEqual(a3.get(), u, n);
  mpSetEqual(b3.get(), m, n);
  int odd = 0;
  while (mpIsZero(b3.get(), n) == 0) {
    mpDivide(q.get(), t3.get(), a3.get(), n, b3.get(), n);
    mpMultiply(w.get(), q.get(), b1.get(), n);
    mpAdd(t1.get(), a1.get(), w.get(), n);
    mpSetEqual(a1.get(), b1.get(), n);
    mpSetEqual(b1.get(), t1.get(), n);
    mpSetEqual(a3.get(), b3.get(), n);
    mpSetEqual(b3.get(), t3.get(), n);
    odd = !odd;
  }
  if (mpShortCmp(a3.get(), 1, n) != 0) {
    mpSetZero(inv, n);
    return 1;
  }
  if (odd)
    mpSubtract(inv, m, a1.get(), n);
  else
    mpSetEqual(inv, a1.get(), n);
  // Modulo 1 every number is 0, its own inverse.
  if (mpCompare(inv, m, n) >= 0) mpModulo(inv, inv, n, m, n);
  return 0;
}

int mpModExp(DIGIT_T y[], const DIGIT_T x[], const DIGIT_T e[], const DIGIT_T m[],
             uint32_t ndigits) {
  const uint32_t t = mpBitLength(e, ndigits);
  if (t == 0) {
    mpSetDigit(y, 1, ndigits);
    return 1;
  }
  if (t == 1) {
    mpModulo(y, x, ndigits, m, ndigits);
    return 1;
  }
  return mpModExp_windowed(y, x, e, m, ndigits);
}

int mpModExp_windowed(DIGIT_T y[], const DIGIT_T x[], const DIGIT_T e[], const DIGIT_T m[],
                      uint32_t ndigits) {
  static const uint32_t kWindowLen[] = {5, 16, 64, 240, 768, 1024, 2048, 4096};
  const uint32_t n = ndigits;
  const uint32_t t = mpBitLength(e, n);
  if (t == 0) {
    mpSetDigit(y, 1, n);
    return 0;
  }
  uint32_t k = 8;
  for (uint32_t i = 0; i < 8; i++) {
    if (kWindowLen[i] > t) {
      k = i;
      break;
    }
  }
  if (k < 2) k = 1;  // plain square-and-multiply
  const uint32_t npow = 1u << (k - 1);
  DIGIT_T* g = mpAlloc(n * npow);  // odd powers x, x^3, ..., x^(2^k - 1)
  TmpNum x2(n), acc(n);
  mpModulo(g, x, n, m, n);
  mod_mult(x2.get(), g, g, m, n);
  for (uint32_t i = 1; i < npow; i++) mod_mult(g + i * n, g + (i - 1) * n, x2.get(), m, n);
  bool started = false;
  int32_t i = static_cast<int32_t>(t) - 1;
  while (i >= 0) {
    if (mpGetBit(e, n, static_cast<uint32_t>(i)) == 0) {
      mod_mult(acc.get(), acc.get(), acc.get(), m, n);
      i--;
      continue;
    }
    // Longest window of at most k bits from bit i that ends in a one.
    int32_t l = std::max(i - static_cast<int32_t>(k) + 1, 0);
    while (mpGetBit(e, n, static_cast<uint32_t>(l)) == 0) l++;
    uint32_t val = 0;
    for (int32_t j = i; j >= l; j--)
      val = (val << 1) | static_cast<uint32_t>(mpGetBit(e, n, static_cast<uint32_t>(j)));
    const DIGIT_T* pw = g + ((val - 1) / 2) * n;
    if (!started) {
      mpSetEqual(acc.get(), pw, n);
      started = true;
    } else {
      for (int32_t j = i; j >= l; j--) mod_mult(acc.get(), acc.get(), acc.get(), m, n);
      mod_mult(acc.get(), acc.get(), pw, m, n);
    }
    i = l - 1;
  }
  mpSetEqual(y, acc.get(), n);
  mpSetZero(g, n * npow);
  mpFree(&g);
  return 0;
}

int mpGcd(DIGIT_T g[], const DIGIT_T x[], const DIGIT_T y[], uint32_t ndigits) {
  const uint32_t n = ndigits;
  TmpNum a(n), b(n), r(n), q(n);
  if (mpCompare(x, y, n) >= 0) {
    mpSetEqual(a.get(), x, n);
    mpSetEqual(b.get(), y, n);
  } else {
    mpSetEqual(a.get(), y, n);
    mpSetEqual(b.get(), x, n);
  }
  if (mpIsZero(b.get(), n) == 1) {
    mpSetEqual(g, a.get(), n);
    return 0;
  }
  mpDivide(q.get(), r.get(), a.get(), n, b.get(), n);
  mpSetEqual(a.get(), b.get(), n);
  mpSetEqual(b.get(), r.get(), n);
  if (mpIsZero(b.get(), n) == 1) {
    mpSetEqual(g, a.get(), n);
    return 0;
  }
  uint32_t shift = 0;
  while ((a[0] & 1) == 0 && (b[0] & 1) == 0) {
    mpShiftRight(a.get(), a.get(), 1, n);
    mpShiftRight(b.get(), b.get(), 1, n);
    shift++;
  }
  while (mpIsZero(a.get(), n) == 0) {
    while ((a[0] & 1) == 0) mpShiftRight(a.get(), a.get(), 1, n);
    while ((b[0] & 1) == 0) mpShiftRight(b.get(), b.get(), 1, n);
    if (mpCompare(a.get(), b.get(), n) >= 0) {
      mpSubtract(a.get(), a.get(), b.get(), n);
      mpShiftRight(a.get(), a.get(), 1, n);
    } else {
      mpSubtract(b.get(), b.get(), a.get(), n);
      mpShiftRight(b.get(), b.get(), 1, n);
    }
  }
  mpShiftLeft(g, b.get(), shift, n);
  return 0;
}

int mpSqrt(DIGIT_T s[], const DIGIT_T x[], uint32_t ndigits) {
  const uint32_t n = ndigits;
  if (mpShortCmp(x, 1, n) <= 0) {
    mpSetEqual(s, x, n);
    return 0;
  }
  TmpNum x0(n + 1), y(n + 1), q(n + 1), r(n + 1), xx(n + 1);
  mpSetEqual(xx.get(), x, n);
  mpSetEqual(x0.get(), x, n);
  for (;;) {
    mpDivide(q.get(), r.get(), xx.get(), n + 1, x0.get(), n + 1);
    mpAdd(y.get(), x0.get(), q.get(), n + 1);
    mpShiftRight(y.get(), y.get(), 1, n + 1);
    if (mpCompare(y.get(), x0.get(), n + 1) >= 0) break;
    mpSetEqual(x0.get(), y.get(), n + 1);
  }
  mpSetEqual(s, x0.get(), n);
  return 0;
}

int mpCubeRoot(DIGIT_T s[], const DIGIT_T x[], uint32_t ndigits) {
  const uint32_t n = ndigits;
  if (mpShortCmp(x, 1, n) <= 0) {
    mpSetEqual(s, x, n);
    return 0;
  }
  TmpNum x0(n + 1), y(n + 1), q(n + 1), r(n + 1), xx(n + 1), t(n + 1);
  mpSetEqual(xx.get(), x, n);
  mpSetEqual(x0.get(), x, n);
  for (;;) {
    mpDivide(q.get(), r.get(), xx.get(), n + 1, x0.get(), n + 1);
    mpDivide(t.get(), r.get(), q.get(), n + 1, x0.get(), n + 1);
    mpShiftLeft(q.get(), x0.get(), 1, n + 1);
    mpAdd(t.get(), t.get(), q.get(), n + 1);
    mpShortDiv(y.get(), t.get(), 3, n + 1);
    if (mpCompare(y.get(), x0.get(), n + 1) >= 0) break;
    mpSetEqual(x0.get(), y.get(), n + 1);
  }
  mpSetEqual(s, x0.get(), n);
  return 0;
}

int mpJacobi(const DIGIT_T a[], const DIGIT_T m[], uint32_t ndigits) {
  const uint32_t n = ndigits;
  TmpNum aa(n), mm(n), r(n), q(n);
  mpSetEqual(aa.get(), a, n);
  mpSetEqual(mm.get(), m, n);
  int s = 1;
  for (;;) {
    if (mpIsZero(aa.get(), n) == 1) return 0;
    if (mpShortCmp(aa.get(), 1, n) == 0) return s;
    uint32_t e = 0;
    while ((aa[0] & 1) == 0) {
      mpShiftRight(aa.get(), aa.get(), 1, n);
      e++;
    }
    const DIGIT_T m8 = mm[0] & 7;
    if (e & 1) {
      if (m8 == 3 || m8 == 5) s = -s;
    }
    if ((mm[0] & 3) == 3 && (aa[0] & 3) == 3) s = -s;
    if (mpShortCmp(aa.get(), 1, n) == 0) return s;
    // (m mod a1 / a1)
    mpDivide(q.get(), r.get(), mm.get(), n, aa.get(), n);
    mpSetEqual(mm.get(), aa.get(), n);
    mpSetEqual(aa.get(), r.get(), n);
  }
}

uint32_t mpConvFromOctets(DIGIT_T a[], uint32_t ndigits, const unsigned char* c, uint32_t nbytes) {
  mpSetZero(a, ndigits);
  uint32_t i = 0;
  int64_t j = static_cast<int64_t>(nbytes) - 1;
  for (; i < ndigits && j >= 0; i++) {
    DIGIT_T t = 0;
    for (uint32_t k = 0; j >= 0 && k < kBits; j--, k += 8) t |= static_cast<DIGIT_T>(c[j]) << k;
    a[i] = t;
  }
  return i;
}

uint32_t mpConvToOctets(const DIGIT_T a[], uint32_t ndigits, unsigned char* c, uint32_t nbytes) {
  for (uint32_t b = 0; b < nbytes; b++) {
    const uint32_t idx = b;  // byte number from the least significant end
    const uint32_t d = idx / 4;
    c[nbytes - 1 - b] = d < ndigits ? static_cast<unsigned char>(a[d] >> (8 * (idx % 4))) : 0;
  }
  return (bit_length_ct(a, ndigits) + 7) / 8;
}

uint32_t mpConvToDecimal(const DIGIT_T a[], uint32_t ndigits, char* s, uint32_t smax) {
  return conv_to_base(a, ndigits, s, smax, 10);
}

uint32_t mpConvToHex(const DIGIT_T a[], uint32_t ndigits, char* s, uint32_t smax) {
  return conv_to_base(a, ndigits, s, smax, 16);
}

uint32_t mpConvFromDecimal(DIGIT_T a[], uint32_t ndigits, const char* s) {
  return conv_from_base(a, ndigits, s, 10);
}

uint32_t mpConvFromHex(DIGIT_T a[], uint32_t ndigits, const char* s) {
  return conv_from_base(a, ndigits, s, 16);
}

void mpPrint(const DIGIT_T* a, uint32_t ndigits) { print_digits(a, ndigits, false, false); }
void mpPrintNL(const DIGIT_T* a, uint32_t ndigits) { print_digits(a, ndigits, false, true); }
void mpPrintTrim(const DIGIT_T* a, uint32_t ndigits) { print_digits(a, ndigits, true, false); }
void mpPrintTrimNL(const DIGIT_T* a, uint32_t ndigits) { print_digits(a, ndigits, true, true); }

void mpPrintHex(const char* prefix, const DIGIT_T* a, uint32_t ndigits, const char* suffix) {
  if (prefix != nullptr) printf("%s", prefix);
  uint32_t n = mpSizeof(a, ndigits);
  if (n == 0) {
    printf("0");
  } else {
    printf("%x", a[n - 1]);
    for (uint32_t i = n - 1; i-- > 0;) printf("%08x", a[i]);
  }
  if (suffix != nullptr) printf("%s", suffix);
}

void mpPrintDecimal(const char* prefix, const DIGIT_T* a, uint32_t ndigits, const char* suffix) {
  uint32_t len = mpConvToDecimal(a, ndigits, nullptr, 0);
  TmpBytes buf(len + 1);
  char* s = reinterpret_cast<char*>(buf.get());
  mpConvToDecimal(a, ndigits, s, len + 1);
  if (prefix != nullptr) printf("%s", prefix);
  printf("%s", s);
  if (suffix != nullptr) printf("%s", suffix);
}

int mpVersion(void) { return 2400; }

}  // extern "C"
