// The multiple-precision layer against GMP on random operands of every digit
// count the system uses, plus the edge cases of the conversions.
#include "mp.h"

#include <gmp.h>
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "ec_test_util.h"

namespace {

using Num = std::vector<DIGIT_T>;

const uint32_t kCounts[] = {1, 2, 3, 8, 9, 16, 17, 18, 34};

struct Z {
  mpz_t z;
  Z() { mpz_init(z); }
  explicit Z(const Num& a) {
    mpz_init(z);
    ec_test::num_to_mpz(z, a.data(), static_cast<uint32_t>(a.size()));
  }
  ~Z() { mpz_clear(z); }
  Z(const Z&) = delete;
  Z& operator=(const Z&) = delete;
  operator mpz_ptr() { return z; }
};

Num from_z(mpz_srcptr z, uint32_t n) {
  Num a(n);
  ec_test::mpz_to_num(a.data(), n, z);
  return a;
}

// Random digits with a random significant length; digits drawn often from
// the values that stress carries and quotient estimates.
Num rnd(std::mt19937_64& rng, uint32_t n, bool full = false) {
  Num a(n, 0);
  uint32_t len = full ? n : 1 + static_cast<uint32_t>(rng() % n);
  for (uint32_t i = 0; i < len; i++) {
    switch (rng() % 6) {
      case 0:
        a[i] = 0xFFFFFFFFu;
        break;
      case 1:
        a[i] = 0;
        break;
      case 2:
        a[i] = 0x80000000u;
        break;
      default:
        a[i] = static_cast<DIGIT_T>(rng());
    }
  }
  if (a[len - 1] == 0) a[len - 1] = 1;
  return a;
}

std::string dec(mpz_srcptr z) {
  char* s = mpz_get_str(nullptr, 10, z);
  std::string r(s);
  void (*freefn)(void*, size_t);
  mp_get_memory_functions(nullptr, nullptr, &freefn);
  freefn(s, r.size() + 1);
  return r;
}

std::string numdec(const Num& a) {
  Z t(a);
  return dec(t);
}

#define EXPECT_NUM(a, zz) EXPECT_EQ(numdec(a), dec(zz))

}  // namespace

TEST(MpGmp, AddSubtractMultiplySquare) {
  std::mt19937_64 rng(1);
  for (uint32_t n : kCounts) {
    for (int it = 0; it < 200; it++) {
      Num u = rnd(rng, n, it % 2), v = rnd(rng, n, it % 3 == 0), w(n), w2(2 * n);
      Z zu(u), zv(v), t, mod;
      mpz_ui_pow_ui(mod, 2, 32 * n);
      DIGIT_T c = mpAdd(w.data(), u.data(), v.data(), n);
      mpz_add(t, zu, zv);
      EXPECT_EQ(c, mpz_cmp(t, mod) >= 0 ? 1u : 0u);
      mpz_mod(t, t, mod);
      EXPECT_NUM(w, t);
      DIGIT_T b = mpSubtract(w.data(), u.data(), v.data(), n);
      EXPECT_EQ(b, mpz_cmp(zu, zv) < 0 ? 1u : 0u);
      mpz_sub(t, zu, zv);
      mpz_mod(t, t, mod);
      EXPECT_NUM(w, t);
      mpMultiply(w2.data(), u.data(), v.data(), n);
      mpz_mul(t, zu, zv);
      EXPECT_NUM(w2, t);
      mpSquare(w2.data(), u.data(), n);
      mpz_mul(t, zu, zu);
      EXPECT_NUM(w2, t);
      // In place.
      Num x = u;
      mpAdd(x.data(), x.data(), v.data(), n);
      mpz_add(t, zu, zv);
      mpz_mod(t, t, mod);
      EXPECT_NUM(x, t);
    }
  }
}

TEST(MpGmp, DivideAndModulo) {
  std::mt19937_64 rng(2);
  for (uint32_t n : kCounts) {
    for (int it = 0; it < 400; it++) {
      Num u = rnd(rng, 2 * n, it % 2), v = rnd(rng, n, it % 4 == 0), q(2 * n), r(2 * n), rm(n);
      const Num vcopy = v;
      Z zu(u), zv(v), zq, zr;
      ASSERT_EQ(mpDivide(q.data(), r.data(), u.data(), 2 * n, v.data(), n), 0);
      mpz_tdiv_qr(zq, zr, zu, zv);
      EXPECT_NUM(q, zq) << n;
      EXPECT_NUM(r, zr) << n;
      EXPECT_EQ(v, vcopy);
      mpModulo(rm.data(), u.data(), 2 * n, v.data(), n);
      EXPECT_NUM(rm, zr);
      DIGIT_T d = v[0] | 1;
      Num qs(2 * n);
      DIGIT_T rem = mpShortDiv(qs.data(), u.data(), d, 2 * n);
      EXPECT_EQ(rem, mpz_fdiv_q_ui(zq, zu, d));
      EXPECT_NUM(qs, zq);
      EXPECT_EQ(mpShortMod(u.data(), d, 2 * n), rem);
    }
  }
  Num zero(3), q(3, 7), r(3, 7), u = {1, 2, 3};
  EXPECT_EQ(mpDivide(q.data(), r.data(), u.data(), 3, zero.data(), 3), -1);
  EXPECT_EQ(q, Num(3));
  EXPECT_EQ(r, Num(3));
  // Divisor of one significant digit: remainder in r[0] only.
  Num v1 = {7, 0, 0};
  mpDivide(q.data(), r.data(), u.data(), 3, v1.data(), 3);
  EXPECT_EQ(r[1], 0u);
  EXPECT_EQ(r[2], 0u);
  // u shorter than v.
  Num big = {0, 0, 5};
  Num small = {9, 0, 0};
  mpDivide(q.data(), r.data(), small.data(), 3, big.data(), 3);
  EXPECT_EQ(r, small);
  EXPECT_EQ(q, Num(3));
  Num qq = {5};
  EXPECT_EQ(mpShortDiv(qq.data(), u.data(), 0, 1), 0u);
  EXPECT_EQ(qq[0], 5u);
}

// Whether Knuth's step D6 (add back) runs for u / v, traced the way the
// algorithm estimates its quotient digits.
bool needs_add_back(Num u, Num v) {
  uint32_t t = mpSizeof(v.data(), static_cast<uint32_t>(v.size()));
  uint32_t m = mpSizeof(u.data(), static_cast<uint32_t>(u.size()));
  uint32_t s = static_cast<uint32_t>(__builtin_clz(v[t - 1]));
  Z zu(u), zv(v);
  mpz_mul_2exp(zu, zu, s);
  mpz_mul_2exp(zv, zv, s);
  Num un = from_z(zu, m + 1), vn = from_z(zv, t);
  bool found = false;
  for (int j = static_cast<int>(m - t); j >= 0; j--) {
    uint64_t num = (static_cast<uint64_t>(un[j + t]) << 32) | un[j + t - 1];
    uint64_t qhat = num / vn[t - 1], rhat = num % vn[t - 1];
    while (qhat > 0xFFFFFFFFull || qhat * vn[t - 2] > ((rhat << 32) | un[j + t - 2])) {
      qhat--;
      rhat += vn[t - 1];
      if (rhat > 0xFFFFFFFFull) break;
    }
    // Window value minus qhat * v.
    Z win, prod;
    Num w(un.begin() + j, un.begin() + j + t + 1);
    ec_test::num_to_mpz(win, w.data(), t + 1);
    ec_test::num_to_mpz(prod, vn.data(), t);
    mpz_mul_ui(prod, prod, static_cast<unsigned long>(qhat));
    mpz_sub(win, win, prod);
    if (mpz_sgn(win.z) < 0) {
      found = true;
      mpz_add(win, win, Z(vn));
      qhat--;
    }
    Num nw = from_z(win, t + 1);
    for (uint32_t i = 0; i <= t; i++) un[j + i] = nw[i];
  }
  return found;
}

TEST(MpGmp, KnuthAddBackStep) {
  // Classic operands that need the add-back step, then random ones found by
  // tracing the quotient estimates.
  std::vector<std::pair<Num, Num>> cases = {
      {{0x00000003, 0x00000000, 0x80000000, 0x00000000}, {0x00000001, 0x00000000, 0x20000000}},
      {{0x00000003, 0x00000000, 0x00008000, 0x00000000}, {0x00000001, 0x00000000, 0x00002000}},
      {{0x00000000, 0x00000000, 0x00008000, 0x00007fff}, {0x00000001, 0x00000000, 0x00008000}},
  };
  // u = (q0 + 1) v - 1 with non-zero low digits of v: the estimate from the
  // top digits is q0 + 1, one too large, so the step must add back.
  std::mt19937_64 rng(3);
  for (uint32_t n : {3u, 8u, 9u, 17u, 34u}) {
    for (int it = 0; it < 4; it++) {
      Num v(n), u(2 * n);
      for (uint32_t i = 0; i < n; i++) v[i] = static_cast<DIGIT_T>(rng());
      v[n - 1] |= 0x80000000u;
      v[0] |= 1;
      Z zv(v), zu;
      mpz_mul_ui(zu, zv, (rng() & 0x7FFFFFFFu) + 1);
      mpz_sub_ui(zu, zu, 1);
      u = from_z(zu, 2 * n);
      EXPECT_TRUE(needs_add_back(u, v)) << n;
      cases.push_back({u, v});
    }
  }
  int traced = 0;
  for (auto& [u, v] : cases) {
    const uint32_t ud = static_cast<uint32_t>(u.size()), vd = static_cast<uint32_t>(v.size());
    traced += needs_add_back(u, v) ? 1 : 0;
    Num q(ud), r(ud);
    ASSERT_EQ(mpDivide(q.data(), r.data(), u.data(), ud, v.data(), vd), 0);
    Z zu(u), zv(v), zq, zr;
    mpz_tdiv_qr(zq, zr, zu, zv);
    EXPECT_NUM(q, zq);
    EXPECT_NUM(r, zr);
  }
  EXPECT_GE(traced, 20);
}

TEST(MpGmp, ModularArithmetic) {
  std::mt19937_64 rng(4);
  for (uint32_t n : kCounts) {
    for (int it = 0; it < 100; it++) {
      // Moduli with and without the top bit: the carry and borrow matter.
      Num m = rnd(rng, n, true);
      m[0] |= 1;
      if (it % 2) m[n - 1] |= 0x80000000u;
      Num u = rnd(rng, n), v = rnd(rng, n), w(n);
      Z zm(m), zu(u), zv(v), t;
      mpModAdd(w.data(), u.data(), v.data(), m.data(), n);
      mpz_add(t, zu, zv);
      mpz_mod(t, t, zm);
      EXPECT_NUM(w, t);
      mpModSub(w.data(), u.data(), v.data(), m.data(), n);
      mpz_sub(t, zu, zv);
      mpz_mod(t, t, zm);
      EXPECT_NUM(w, t);
      mpModMult(w.data(), u.data(), v.data(), m.data(), n);
      mpz_mul(t, zu, zv);
      mpz_mod(t, t, zm);
      EXPECT_NUM(w, t);
      int inv_ok = mpz_invert(t, zu, zm);
      int rc = mpModInv(w.data(), u.data(), m.data(), n);
      if (inv_ok) {
        EXPECT_EQ(rc, 0);
        EXPECT_NUM(w, t);
      } else {
        EXPECT_EQ(rc, 1);
        EXPECT_EQ(mpIsZero(w.data(), n), 1);
      }
      Num e = rnd(rng, n > 2 ? 2 : n);
      e.resize(n, 0);
      Z ze(e);
      int erc = mpModExp(w.data(), u.data(), e.data(), m.data(), n);
      mpz_powm(t, zu, ze, zm);
      EXPECT_NUM(w, t) << n;
      EXPECT_EQ(erc, mpz_sizeinbase(ze, 2) <= 1 ? 1 : 0);
      mpGcd(w.data(), u.data(), v.data(), n);
      mpz_gcd(t, zu, zv);
      EXPECT_NUM(w, t);
      EXPECT_EQ(mpJacobi(u.data(), m.data(), n), mpz_jacobi(zu, zm));  // m is odd
      mpSqrt(w.data(), u.data(), n);
      mpz_sqrt(t, zu);
      EXPECT_NUM(w, t);
      mpCubeRoot(w.data(), u.data(), n);
      mpz_root(t, zu, 3);
      EXPECT_NUM(w, t);
    }
  }
  // 15- and 16-bit exponents: plain and windowed paths agree with GMP.
  Num m = {0xFFFFFFC5u, 0xFFFFFFFFu, 0}, x = {12345, 678, 0}, y(3);
  for (DIGIT_T ex : {0x7FFFu, 0xFFFFu, 0x12345u}) {
    Num e = {ex, 0, 0};
    EXPECT_EQ(mpModExp(y.data(), x.data(), e.data(), m.data(), 3), 0);
    Z zx(x), ze(e), zm(m), t;
    mpz_powm(t, zx, ze, zm);
    EXPECT_NUM(y, t);
  }
  Num zero(3), one = {1, 0, 0};
  EXPECT_EQ(mpModExp(y.data(), zero.data(), zero.data(), m.data(), 3), 1);
  EXPECT_EQ(y, one);
  EXPECT_EQ(mpModExp(y.data(), m.data(), one.data(), m.data(), 3), 1);
  EXPECT_EQ(y, zero);
  EXPECT_EQ(mpModInv(y.data(), zero.data(), m.data(), 3), 1);
  EXPECT_EQ(y, zero);
}

TEST(MpGmp, ShiftsBitsAndComparisons) {
  std::mt19937_64 rng(5);
  for (uint32_t n : kCounts) {
    for (uint32_t sh : {0u, 1u, 31u, 32u, 33u, 63u, 32 * n - 1, 32 * n, 32 * n + 5, 100000u}) {
      Num u = rnd(rng, n, true), w(n);
      Z zu(u), t, mod;
      mpz_ui_pow_ui(mod, 2, 32 * n);
      mpShiftLeft(w.data(), u.data(), sh, n);
      mpz_mul_2exp(t, zu, sh);
      mpz_mod(t, t, mod);
      EXPECT_NUM(w, t) << n << " << " << sh;
      mpShiftRight(w.data(), u.data(), sh, n);
      mpz_tdiv_q_2exp(t, zu, sh);
      EXPECT_NUM(w, t) << n << " >> " << sh;
    }
    Num u = rnd(rng, n, true), v = u;
    EXPECT_EQ(mpCompare(u.data(), v.data(), n), 0);
    EXPECT_EQ(mpEqual(u.data(), v.data(), n), 1);
    v[0] ^= 1;
    EXPECT_EQ(mpCompare(u.data(), v.data(), n), (u[0] & 1) ? 1 : -1);
    EXPECT_EQ(mpBitLength(u.data(), n), static_cast<uint32_t>(mpz_sizeinbase(Z(u), 2)));
  }
  Num a = {0x80000001u, 0};
  EXPECT_EQ(mpShiftLeft(a.data(), a.data(), 4, 2), 0u);
  EXPECT_EQ(a[1], 8u);
  Num b = {0x12345678u};
  EXPECT_EQ(mpShiftLeft(b.data(), b.data(), 8, 1), 0x12u);
  Num c = {0x12345678u};
  EXPECT_EQ(mpShiftRight(c.data(), c.data(), 8, 1), 0x78000000u);
  EXPECT_EQ(mpEqual(a.data(), a.data(), 0), -1);
  EXPECT_EQ(mpIsZero(a.data(), 0), -1);
  EXPECT_EQ(mpCompare(a.data(), b.data(), 0), 0);
  EXPECT_EQ(mpShortCmp(a.data(), 3, 0), -1);
  EXPECT_EQ(mpShortCmp(a.data(), 0, 0), 0);
  EXPECT_EQ(mpBitLength(nullptr, 3), 0u);
  Num bits(2);
  EXPECT_EQ(mpSetBit(bits.data(), 2, 63, 1), 0);
  EXPECT_EQ(mpGetBit(bits.data(), 2, 63), 1);
  EXPECT_EQ(mpSetBit(bits.data(), 2, 64, 1), -1);
  EXPECT_EQ(mpGetBit(bits.data(), 2, 64), -1);
  uint8_t byte = 0;
  EXPECT_EQ(mpSetByte(bits.data(), 2, 4, 0x1AB), 0);
  EXPECT_EQ(mpGetByte(bits.data(), 2, 4, &byte), 0);
  EXPECT_EQ(byte, 0xAB);
  EXPECT_EQ(mpGetByte(bits.data(), 2, 8, &byte), -1);
  EXPECT_EQ(mpSetByte(bits.data(), 2, 8, 1), -1);
  mpModPowerOf2(bits.data(), 2, 36);
  EXPECT_EQ(bits[1], 0xBu);
  Num neg(2), pos = {5, 0};
  EXPECT_EQ(mpChs(neg.data(), pos.data(), 2), 0);
  EXPECT_EQ(mpIsNegative(neg.data(), 2), 1);
  Num back(2);
  EXPECT_EQ(mpAbs(back.data(), neg.data(), 2), 1);
  EXPECT_EQ(back, pos);
  DIGIT_T p[2], q, r;
  spMultiply(p, 0xFFFFFFFFu, 0xFFFFFFFFu);
  EXPECT_EQ(p[1], 0xFFFFFFFEu);
  EXPECT_EQ(p[0], 1u);
  const DIGIT_T uu[2] = {5, 0x90000000u};
  EXPECT_EQ(spDivide(&q, &r, uu, 0x80000001u), 1u);
  EXPECT_EQ(spDivide(&q, &r, uu, 0x7FFFFFFFu), 0xFFFFFFFFu);
  EXPECT_EQ(q, 0u);
  EXPECT_EQ(r, 0u);
}

TEST(MpConversions, OctetsDecimalHex) {
  Num a(9, 0);
  EXPECT_EQ(mpConvToOctets(a.data(), 9, std::vector<unsigned char>(32).data(), 32), 0u);
  for (int i = 0; i < 8; i++) a[i] = 0x01020304u + i;
  std::vector<unsigned char> out(32);
  EXPECT_EQ(mpConvToOctets(a.data(), 9, out.data(), 32), 32u);
  EXPECT_EQ(out[31], 0x04);
  std::vector<unsigned char> in(40, 0);
  in[0] = 0xEE;  // beyond 36 bytes: ignored
  in[39] = 7;
  in[4] = 0x11;
  EXPECT_EQ(mpConvFromOctets(a.data(), 9, in.data(), 40), 9u);
  EXPECT_EQ(a[0], 7u);
  EXPECT_EQ(a[8], 0x11000000u);
  Num v = {12345};
  char s[3];
  EXPECT_EQ(mpConvToDecimal(v.data(), 1, nullptr, 0), 5u);
  EXPECT_EQ(mpConvToDecimal(v.data(), 1, s, 3), 5u);
  EXPECT_STREQ(s, "12");
  Num h(2);
  mpConvFromHex(h.data(), 2, "0x1F");
  EXPECT_EQ(h[0], 31u);
  Num zero(2);
  char z[8];
  EXPECT_EQ(mpConvToHex(zero.data(), 2, z, sizeof z), 1u);
  EXPECT_STREQ(z, "0");
  // Decimal and hexadecimal text against GMP, every digit count.
  std::mt19937_64 rng(6);
  for (uint32_t n : kCounts) {
    Num u = rnd(rng, n, true);
    Z zu(u);
    std::string want = dec(zu);
    std::vector<char> buf(mpConvToDecimal(u.data(), n, nullptr, 0) + 1);
    mpConvToDecimal(u.data(), n, buf.data(), static_cast<uint32_t>(buf.size()));
    EXPECT_EQ(std::string(buf.data()), want);
    Num back(n);
    mpConvFromDecimal(back.data(), n, want.c_str());
    EXPECT_EQ(back, u);
    char* hx = mpz_get_str(nullptr, 16, zu);
    std::vector<char> hb(mpConvToHex(u.data(), n, nullptr, 0) + 1);
    mpConvToHex(u.data(), n, hb.data(), static_cast<uint32_t>(hb.size()));
    EXPECT_STREQ(hb.data(), hx);
    Num hback(n);
    mpConvFromHex(hback.data(), n, hx);
    EXPECT_EQ(hback, u);
    void (*freefn)(void*, size_t);
    mp_get_memory_functions(nullptr, nullptr, &freefn);
    freefn(hx, strlen(hx) + 1);
  }
  // The significant byte count (counted without branches on the value) for
  // every bit length, against GMP.
  for (uint32_t bits = 0; bits <= 9 * 32; bits++) {
    Num x(9, 0);
    for (uint32_t b = 0; b + 1 < bits; b++) x[b / 32] |= static_cast<DIGIT_T>(rng() & 1) << (b % 32);
    if (bits > 0) x[(bits - 1) / 32] |= DIGIT_T{1} << ((bits - 1) % 32);
    std::vector<unsigned char> oct(36);
    Z zx(x);
    const uint32_t want = bits == 0 ? 0 : static_cast<uint32_t>(mpz_sizeinbase(zx, 256));
    EXPECT_EQ(mpConvToOctets(x.data(), 9, oct.data(), 36), want) << bits;
  }
  // Decimal lengths where 0.41524 bytes per digit fall one byte short.
  for (size_t len : {1811u, 2408u, 4000u}) {
    std::string nines(len, '9');
    const uint32_t n = static_cast<uint32_t>(len / 9 + 2);
    Num big(n);
    mpConvFromDecimal(big.data(), n, nines.c_str());
    Z t;
    mpz_set_str(t, nines.c_str(), 10);
    EXPECT_NUM(big, t) << len;
  }
}

TEST(MpHeap, AllocFreeAndVersion) {
  DIGIT_T* p = mpAlloc(0);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p[0], 0u);
  mpFree(&p);
  EXPECT_EQ(p, nullptr);
  mpFree(&p);
  EXPECT_EQ(mpVersion(), 2400);
  unsigned char buf[4] = {1, 2, 3, 4};
  zeroise_bytes(buf, sizeof buf);
  EXPECT_EQ(buf[0] | buf[3], 0);
}
