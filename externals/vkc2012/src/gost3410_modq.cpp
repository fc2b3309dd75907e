#include "gost3410_modq.h"

#include <memory>

#include "gost3410_impl.h"

namespace {

using vkc_ec::Ec256T;
using vkc_ec::Ec512T;

// The arithmetic of signing on the curve context of par.
template <class T, class F>
void with_q(const typename T::Par* par, F f) {
  std::unique_ptr<vkc_ec::CurveCtx<T::NL>> own;
  const vkc_gost3410::QArith<T> q(par, vkc_ec::get_ctx<T>(par, own));
  f(q);
}

}  // namespace

namespace vkc_modq {

void reduce(const GOSTR3410_2012_256_PAR* par, DIGIT_T* r, const DIGIT_T* a) {
  with_q<Ec256T>(par, [&](const auto& q) { q.reduce(r, a); });
}
void reduce(const GOSTR3410_2012_512_PAR* par, DIGIT_T* r, const DIGIT_T* a) {
  with_q<Ec512T>(par, [&](const auto& q) { q.reduce(r, a); });
}

void mul(const GOSTR3410_2012_256_PAR* par, DIGIT_T* r, const DIGIT_T* a, const DIGIT_T* b) {
  with_q<Ec256T>(par, [&](const auto& q) { q.mul(r, a, b); });
}
void mul(const GOSTR3410_2012_512_PAR* par, DIGIT_T* r, const DIGIT_T* a, const DIGIT_T* b) {
  with_q<Ec512T>(par, [&](const auto& q) { q.mul(r, a, b); });
}

void inv(const GOSTR3410_2012_256_PAR* par, DIGIT_T* r, const DIGIT_T* a) {
  with_q<Ec256T>(par, [&](const auto& q) { q.inv(r, a); });
}
void inv(const GOSTR3410_2012_512_PAR* par, DIGIT_T* r, const DIGIT_T* a) {
  with_q<Ec512T>(par, [&](const auto& q) { q.inv(r, a); });
}

}  // namespace vkc_modq
