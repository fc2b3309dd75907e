// VKO known answers: the RFC 7836 examples of VKO GOST R 34.10-2012 (256-
// and 512-bit keys on tc26 512-bit paramSetA) and a VKO GOST R 34.10-2001
// example, from both sides of each exchange.
#include <gtest/gtest.h>

#include <string>

#include "gost28147.h"
#include "vkc_kat_file.h"
#include "vko_test_util.h"

namespace {

using vko_test::Bytes;

const vkc_kat::Block& block(const std::string& name) {
  static const auto blocks = vkc_kat::read_kat("vko_vectors.txt");
  const auto it = blocks.find(name);
  EXPECT_NE(it, blocks.end()) << name;
  static const vkc_kat::Block empty;
  return it == blocks.end() ? empty : it->second;
}

// The record of the row whose vector block the example names.
template <class S>
const typename S::Par* record(const vkc_kat::Block& b) {
  for (uint32_t i = 0; i < S::COUNT; i++)
    if (b.at("curve_text") == S::row(i)) return S::get(i);
  ADD_FAILURE() << "no record for " << b.at("curve_text");
  return nullptr;
}

template <class S>
struct Side {
  DIGIT_T d[S::ND] = {};
  typename S::Pt Q = {};
};

// Both key pairs of an example; the public keys are checked against the
// private keys.
template <class S>
void load_sides(const vkc_kat::Block& b, const typename S::Par* E, Side<S>* a, Side<S>* bb) {
  ec_test::hex_to_num(b.at("xA_be"), a->d, S::ND);
  ec_test::hex_to_num(b.at("xB_be"), bb->d, S::ND);
  ec_test::hex_to_num(b.at("YAx_be"), a->Q.x, S::ND);
  ec_test::hex_to_num(b.at("YAy_be"), a->Q.y, S::ND);
  ec_test::hex_to_num(b.at("YBx_be"), bb->Q.x, S::ND);
  ec_test::hex_to_num(b.at("YBy_be"), bb->Q.y, S::ND);
  for (const Side<S>* s : {a, bb}) {
    typename S::Pt P;
    ASSERT_EQ(S::pub(E, s->d, &P), 0);
    EXPECT_EQ(vko_test::encode<S>(P), vko_test::encode<S>(s->Q));
  }
}

TEST(VkoKat, Rfc7836Vko256On512BitCurve) {
  using S = vko_test::V512;
  const auto& b = block("vko.gostr3410-2012-256.rfc7836");
  const S::Par* E = record<S>(b);
  ASSERT_NE(E, nullptr);
  Side<S> A, B;
  load_sides<S>(b, E, &A, &B);
  const Bytes ukm = vkc_kat::hex(b.at("ukm"));
  const Bytes kek = vkc_kat::hex(b.at("kek"));
  DIGIT_T u[S::ND];
  vko_test::le_to_num<S>(u, ukm);
  for (const auto& [mine, theirs] : {std::make_pair(&A, &B), std::make_pair(&B, &A)}) {
    S::Pt K;
    ASSERT_EQ(GOSTR3410_2012_512_VKO_point(E, u, mine->d, &theirs->Q, &K), 0);
    EXPECT_EQ(vkc_kat::to_hex(vko_test::encode<S>(K)), b.at("vko_point_lsb_first"));
    Bytes out(32);
    ASSERT_EQ(GOSTR3410_2012_512_VKO_256(E, ukm.data(), static_cast<uint32_t>(ukm.size()), mine->d,
                                         &theirs->Q, out.data()),
              0);
    EXPECT_EQ(out, kek);
  }
}

TEST(VkoKat, Rfc7836Vko512) {
  using S = vko_test::V512;
  const auto& b = block("vko.gostr3410-2012-512.rfc7836");
  const S::Par* E = record<S>(b);
  ASSERT_NE(E, nullptr);
  Side<S> A, B;
  load_sides<S>(b, E, &A, &B);
  const Bytes ukm = vkc_kat::hex(b.at("ukm"));
  const Bytes kek = vkc_kat::hex(b.at("kek"));
  for (const auto& [mine, theirs] : {std::make_pair(&A, &B), std::make_pair(&B, &A)}) {
    Bytes out(64);
    ASSERT_EQ(GOSTR3410_2012_512_VKO_512(E, ukm.data(), static_cast<uint32_t>(ukm.size()), mine->d,
                                         &theirs->Q, out.data()),
              0);
    EXPECT_EQ(out, kek);
  }
}

TEST(VkoKat, Vko2001WithCryptoProHash) {
  using S = vko_test::V256;
  const auto& b = block("vko.gostr3410-2001.computed");
  const S::Par* E = record<S>(b);
  ASSERT_NE(E, nullptr);
  const Gost3411_94ParamSet* hp = nullptr;
  ASSERT_EQ(GOSTR3411_94_FindParByDottedOid("1.2.643.2.2.30.1", &hp), 0);
  Side<S> A, B;
  load_sides<S>(b, E, &A, &B);
  const Bytes ukm = vkc_kat::hex(b.at("ukm"));
  const Bytes kek = vkc_kat::hex(b.at("kek"));
  DIGIT_T u[S::ND];
  vko_test::le_to_num<S>(u, ukm);
  for (const auto& [mine, theirs] : {std::make_pair(&A, &B), std::make_pair(&B, &A)}) {
    S::Pt K;
    ASSERT_EQ(GOSTR3410_2001_VKO_point(E, u, mine->d, &theirs->Q, &K), 0);
    EXPECT_EQ(vkc_kat::to_hex(vko_test::encode<S>(K)), b.at("vko_point_lsb_first"));
    Bytes out(32);
    ASSERT_EQ(GOSTR3410_2001_VKO(E, hp, ukm.data(), static_cast<uint32_t>(ukm.size()), mine->d,
                                 &theirs->Q, out.data()),
              0);
    EXPECT_EQ(out, kek);
  }
  // The default GOST R 34.11-94 parameter set of the key transport is the
  // CryptoPro one.
  Bytes out(32);
  ASSERT_EQ(GOSTR3410_2001_VKO(E, GOSTR3411_94_GetDefaultPar(), ukm.data(),
                               static_cast<uint32_t>(ukm.size()), A.d, &B.Q, out.data()),
            0);
  EXPECT_EQ(out, kek);
}

}  // namespace
