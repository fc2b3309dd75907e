// The Kuznyechik and Magma MAC digests: the standard's examples through the
// digest controls and through EVP_DigestSign with the MAC key types, random
// messages in random pieces against GnuTLS's OMAC, copies of a running MAC,
// the key controls.
#include <gnutls/crypto.h>
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/objects.h>

#include <random>
#include <string>

#include "engines/gost/gost_kuzmagma_mac.h"
#include "kuzmagma_test_util.h"
#include "objects/ssf_objects.h"

using namespace kuzmagma_test;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {

struct MacCase {
  const char* name;
  const EVP_MD* (*object)();
  int (*nid)();
  size_t size;
  size_t block;
  gnutls_mac_algorithm_t peer;
  const char* kat;
};

const MacCase kMacs[] = {
    {"kuznechik-mac", vkc_kuznechik_mac_md, ssf_nid_kuznechik_mac, 8, 16,
     GNUTLS_MAC_KUZNYECHIK_OMAC, "gost3413-kuznyechik-mac"},
    {"magma-mac", vkc_magma_mac_md, ssf_nid_magma_mac, 4, 8, GNUTLS_MAC_MAGMA_OMAC,
     "gost3413-magma-mac"},
};

// The MAC through the digest with the key given by its control, the
// message fed in the given pieces (cycled; empty: one call).
Bytes digest_mac(const EVP_MD* md, const Bytes& key, const Bytes& msg,
                 const std::vector<size_t>& chunks = {}) {
  orvel::EvpMdCtxPtr ctx(EVP_MD_CTX_new());
  EXPECT_EQ(EVP_DigestInit_ex(ctx.get(), md, nullptr), 1);
  EXPECT_EQ(
      EVP_MD_CTX_ctrl(ctx.get(), kKuzMagmaMacCtrlSetKey, 32, const_cast<uint8_t*>(key.data())), 1);
  size_t pos = 0, k = 0;
  while (pos < msg.size()) {
    size_t n =
        chunks.empty() ? msg.size() - pos : std::min(chunks[k++ % chunks.size()], msg.size() - pos);
    EXPECT_EQ(EVP_DigestUpdate(ctx.get(), msg.data() + pos, n), 1);
    pos += n;
  }
  Bytes out(EVP_MAX_MD_SIZE);
  unsigned int len = 0;
  EXPECT_EQ(EVP_DigestFinal_ex(ctx.get(), out.data(), &len), 1);
  out.resize(len);
  return out;
}

orvel::EvpPkeyPtr mac_key(int nid, const Bytes& key) {
  orvel::EvpPkeyCtxPtr ctx(EVP_PKEY_CTX_new_id(nid, nullptr));
  EXPECT_TRUE(ctx);
  EXPECT_EQ(EVP_PKEY_keygen_init(ctx.get()), 1);
  EXPECT_EQ(EVP_PKEY_CTX_ctrl_str(ctx.get(), "hexkey", to_hex(key).c_str()), 1);
  EVP_PKEY* raw = nullptr;
  EXPECT_EQ(EVP_PKEY_keygen(ctx.get(), &raw), 1);
  return orvel::EvpPkeyPtr(raw);
}

Bytes sign_mac(const MacCase& m, const Bytes& key, const Bytes& msg) {
  orvel::EvpPkeyPtr pkey = mac_key(m.nid(), key);
  orvel::EvpMdCtxPtr ctx(EVP_MD_CTX_new());
  EXPECT_EQ(EVP_DigestSignInit(ctx.get(), nullptr, m.object(), nullptr, pkey.get()), 1);
  EXPECT_EQ(EVP_DigestSignUpdate(ctx.get(), msg.data(), msg.size()), 1);
  size_t len = 0;
  EXPECT_EQ(EVP_DigestSignFinal(ctx.get(), nullptr, &len), 1);
  Bytes out(len);
  EXPECT_EQ(EVP_DigestSignFinal(ctx.get(), out.data(), &len), 1);
  out.resize(len);
  return out;
}

class KuzMagmaMac : public testing::Test {
 protected:
  void SetUp() override { gost_engine_test::load_engines(); }
};

TEST_F(KuzMagmaMac, ObjectShapeAndNames) {
  for (const MacCase& m : kMacs) {
    SCOPED_TRACE(m.name);
    const EVP_MD* md = m.object();
    ASSERT_NE(md, nullptr);
    EXPECT_EQ(static_cast<size_t>(EVP_MD_get_size(md)), m.size);
    EXPECT_EQ(static_cast<size_t>(EVP_MD_get_block_size(md)), m.block);
    EXPECT_EQ(EVP_MD_get_type(md), m.nid());
    EXPECT_STREQ(OBJ_nid2sn(EVP_MD_get_type(md)), m.name);
    EXPECT_EQ(EVP_get_digestbyname(m.name), md);
    EXPECT_EQ(EVP_get_digestbynid(m.nid()), md);
  }
}

// The published tags are the leading bytes of the full OMAC value.
TEST_F(KuzMagmaMac, StandardExamples) {
  const auto kat = read_kat("gost3413_modes_kat.txt");
  for (const MacCase& m : kMacs) {
    SCOPED_TRACE(m.name);
    const Block& v = kat.at(m.kat);
    const Bytes key = hex(v.at("key")), pt = hex(v.at("pt"));
    EXPECT_EQ(to_hex(digest_mac(m.object(), key, pt)), v.at("mac_full").substr(0, 2 * m.size));
    EXPECT_EQ(to_hex(digest_mac(m.object(), key, pt, {1, 5, 0, 17})),
              v.at("mac_full").substr(0, 2 * m.size));
    EXPECT_EQ(to_hex(sign_mac(m, key, pt)), v.at("mac_full").substr(0, 2 * m.size));
  }
  const Block& k = kat.at("gost3413-kuznyechik-mac");
  const Bytes kkey = hex(k.at("key"));
  EXPECT_EQ(to_hex(digest_mac(vkc_kuznechik_mac_md(), kkey, hex(k.at("mac_40_msg")))),
            k.at("mac_40_full").substr(0, 16));
  EXPECT_EQ(to_hex(digest_mac(vkc_kuznechik_mac_md(), kkey, {})), k.at("mac_0_full").substr(0, 16));
  const Block& g = kat.at("gost3413-magma-mac");
  EXPECT_EQ(to_hex(digest_mac(vkc_magma_mac_md(), hex(g.at("key")), hex(g.at("mac_20_msg")))),
            g.at("mac_20_full").substr(0, 8));
}

TEST_F(KuzMagmaMac, RandomMessagesMatchGnutlsOmac) {
  std::mt19937 rng(212);
  for (const MacCase& m : kMacs) {
    for (int round = 0; round < 40; ++round) {
      const Bytes key = random_bytes(rng, 32);
      const size_t len =
          round < 3 * static_cast<int>(m.block) ? static_cast<size_t>(round) : rng() % 400;
      const Bytes msg = random_bytes(rng, len);
      Bytes want(m.block);
      ASSERT_EQ(gnutls_hmac_fast(m.peer, key.data(), 32, msg.data(), msg.size(), want.data()), 0);
      want.resize(m.size);
      ASSERT_EQ(digest_mac(m.object(), key, msg, gost_engine_test::random_chunks(rng)), want)
          << m.name << " " << len;
      if (round % 8 == 0) {
        ASSERT_EQ(sign_mac(m, key, msg), want) << m.name << " " << len;
      }
    }
  }
}

TEST_F(KuzMagmaMac, VerifyAndCopyOfARunningMac) {
  std::mt19937 rng(17);
  for (const MacCase& m : kMacs) {
    SCOPED_TRACE(m.name);
    const Bytes key = random_bytes(rng, 32), a = random_bytes(rng, 21), b = random_bytes(rng, 9);
    Bytes ab = a;
    ab.insert(ab.end(), b.begin(), b.end());
    orvel::EvpMdCtxPtr ctx(EVP_MD_CTX_new());
    ASSERT_EQ(EVP_DigestInit_ex(ctx.get(), m.object(), nullptr), 1);
    ASSERT_EQ(
        EVP_MD_CTX_ctrl(ctx.get(), kKuzMagmaMacCtrlSetKey, 32, const_cast<uint8_t*>(key.data())),
        1);
    ASSERT_EQ(EVP_DigestUpdate(ctx.get(), a.data(), a.size()), 1);
    orvel::EvpMdCtxPtr copy(EVP_MD_CTX_new());
    ASSERT_EQ(EVP_MD_CTX_copy_ex(copy.get(), ctx.get()), 1);
    unsigned char out1[EVP_MAX_MD_SIZE], out2[EVP_MAX_MD_SIZE];
    unsigned int l1 = 0, l2 = 0;
    ASSERT_EQ(EVP_DigestFinal_ex(ctx.get(), out1, &l1), 1);
    ctx.reset();
    ASSERT_EQ(EVP_DigestUpdate(copy.get(), b.data(), b.size()), 1);
    ASSERT_EQ(EVP_DigestFinal_ex(copy.get(), out2, &l2), 1);
    EXPECT_EQ(Bytes(out1, out1 + l1), digest_mac(m.object(), key, a));
    EXPECT_EQ(Bytes(out2, out2 + l2), digest_mac(m.object(), key, ab));

    orvel::EvpPkeyPtr pkey = mac_key(m.nid(), key);
    const Bytes tag = sign_mac(m, key, ab);
    for (size_t cut : {size_t{0}, size_t{1}}) {
      orvel::EvpMdCtxPtr v(EVP_MD_CTX_new());
      ASSERT_EQ(EVP_DigestVerifyInit(v.get(), nullptr, m.object(), nullptr, pkey.get()), 1);
      ASSERT_EQ(EVP_DigestVerifyUpdate(v.get(), ab.data(), ab.size()), 1);
      EXPECT_EQ(EVP_DigestVerifyFinal(v.get(), tag.data(), tag.size() - cut), cut == 0 ? 1 : 0);
    }
  }
}

TEST_F(KuzMagmaMac, KeyControls) {
  for (const MacCase& m : kMacs) {
    SCOPED_TRACE(m.name);
    orvel::EvpMdCtxPtr ctx(EVP_MD_CTX_new());
    ASSERT_EQ(EVP_DigestInit_ex(ctx.get(), m.object(), nullptr), 1);
    int key_len = 0;
    EXPECT_EQ(EVP_MD_CTX_ctrl(ctx.get(), kKuzMagmaMacCtrlKeyLength, 0, &key_len), 1);
    EXPECT_EQ(key_len, 32);
    unsigned char key16[16] = {};
    CaptureStderr();
    EXPECT_LE(EVP_MD_CTX_ctrl(ctx.get(), kKuzMagmaMacCtrlSetKey, 16, key16), 0);
    EXPECT_EQ(GetCapturedStderr(), std::string("vkc_") + (m.size == 8 ? "kuznechik" : "magma") +
                                       "_mac_ctrl: Invalid key length 16\n");
    EXPECT_LE(EVP_MD_CTX_ctrl(ctx.get(), 0x1001, 0, nullptr), 0);
  }
}

}  // namespace
