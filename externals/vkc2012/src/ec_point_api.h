// Bodies shared by the exported point functions and parameter look-ups of
// both curve sizes (ec256.cpp, ec512.cpp); T is Ec256T or Ec512T.
#ifndef VKC_EC_POINT_API_H
#define VKC_EC_POINT_API_H

#include <stdio.h>
#include <string.h>

#include "ec_points.h"

namespace vkc_ec::api {

inline bool der_matches(const unsigned char* der, uint32_t len, uint32_t oid_len,
                        const unsigned char* oid) {
  return oid != nullptr && oid_len == len && memcmp(oid, der, len) == 0;
}

inline bool text_matches(const char* s, const char* field) {
  return field != nullptr && strcmp(s, field) == 0;
}

// First row of the size's table that `match` accepts; -1 (and *par null)
// when none does or an argument is missing.
template <class T, class Key, class Match>
int find_par(const Key* key, const typename T::Par** par, Match match) {
  if (par == nullptr) return -1;
  *par = nullptr;
  if (key == nullptr) return -1;
  for (uint32_t i = 0; i < T::kParCount; i++) {
    const typename T::Par* r = &T::table()[i];
    if (match(*r)) {
      *par = r;
      return 0;
    }
  }
  return -1;
}

template <class T>
int is_equal(const typename T::Point* P, const typename T::Point* Q) {
  return mpEqual(P->x, Q->x, T::ND) == 1 && mpEqual(P->y, Q->y, T::ND) == 1 ? 1 : 0;
}

template <class T>
int subtract(typename T::Point* R, const typename T::Point* P, const typename T::Point* Q,
             const typename T::Par* E) {
  typename T::Point nq;
  ref_neg<T>(&nq, Q, E);
  ref_add<T>(R, P, &nq, E);
  return 0;
}

// k is taken by absolute value; `name` is the exported function's own name
// for its complaint about missing arguments.
template <class T>
int mult_abs(typename T::Point* R, const typename T::Point* P, const DIGIT_T* k,
             const typename T::Par* E, const char* name) {
  if (R == nullptr || P == nullptr || k == nullptr || E == nullptr) {
    printf("%s: bad arguments\n", name);
    return -1;
  }
  DIGIT_T kk[T::ND];
  abs_ct<T::ND>(kk, k);
  mult_any<T>(R, P, kk, E);
  vkc_ct::wipe(kk, sizeof kk);
  return 0;
}

template <class T>
int mult_j(typename T::Point* R, const typename T::Point* P, const DIGIT_T* k,
           const typename T::Par* E) {
  if (R == nullptr || P == nullptr || k == nullptr || E == nullptr) return -1;
  mult_any<T>(R, P, k, E);
  return 0;
}

template <class T>
int mult_pp(typename T::Point* R, const DIGIT_T* k, const typename T::Par* E) {
  if (R == nullptr || k == nullptr || E == nullptr) return -1;
  mult_base<T>(R, k, E);
  return 0;
}

template <class T>
int to_decimal(const typename T::Point* P, char* x, char* y, uint32_t size) {
  mpConvToDecimal(P->x, T::ND, x, size);
  mpConvToDecimal(P->y, T::ND, y, size);
  return 0;
}

template <class T>
int to_hex(const typename T::Point* P, char* x, char* y, uint32_t size) {
  mpConvToHex(P->x, T::ND, x, size);
  mpConvToHex(P->y, T::ND, y, size);
  return 0;
}

template <class T>
int from_decimal(typename T::Point* P, const char* x, const char* y) {
  mpConvFromDecimal(P->x, T::ND, x);
  mpConvFromDecimal(P->y, T::ND, y);
  return 0;
}

template <class T>
int from_hex(typename T::Point* P, const char* x, const char* y) {
  mpConvFromHex(P->x, T::ND, x);
  mpConvFromHex(P->y, T::ND, y);
  return 0;
}

}  // namespace vkc_ec::api

#endif
