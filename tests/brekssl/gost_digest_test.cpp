// The GOST digest objects and the GOST 28147-89 MAC through the toolkit's
// EVP interface: against the crypto core and libgcrypt (GnuTLS for the MAC),
// random chunkings, context copies, the MAC's controls.
#include <gnutls/crypto.h>
#include <gnutls/gnutls.h>
#include <gtest/gtest.h>
#include <openssl/err.h>
#include <openssl/objects.h>

#include <string>

#include "engines/gost/gost_digests.h"
#include "engines/gost/gost_imit.h"
#include "engines/gost/gost_pkey_nids.h"
#include "gost3411_94.h"
#include "gost_engine_test_util.h"
#include "hash_low/gost_r3411_2012.h"
#include "objects/ssf_objects.h"

using namespace gost_engine_test;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {

Bytes gcrypt_hash(int algo, const Bytes& msg) {
  gcrypt_init();
  Bytes out(gcry_md_get_algo_dlen(algo));
  gcry_md_hash_buffer(algo, out.data(), msg.data(), msg.size());
  return out;
}

Bytes evp_digest(const EVP_MD* md, const Bytes& msg, const std::vector<size_t>& chunks = {}) {
  orvel::EvpMdCtxPtr ctx(EVP_MD_CTX_new());
  EXPECT_EQ(EVP_DigestInit_ex(ctx.get(), md, nullptr), 1);
  size_t pos = 0, k = 0;
  while (pos < msg.size()) {
    size_t n =
        chunks.empty() ? msg.size() - pos : std::min(chunks[k++ % chunks.size()], msg.size() - pos);
    EXPECT_EQ(EVP_DigestUpdate(ctx.get(), msg.data() + pos, n), 1);
    pos += n;
  }
  Bytes out(static_cast<size_t>(EVP_MD_get_size(md)));
  unsigned int len = 0;
  EXPECT_EQ(EVP_DigestFinal_ex(ctx.get(), out.data(), &len), 1);
  EXPECT_EQ(len, out.size());
  return out;
}

Bytes core_hash(int which, const Bytes& msg) {
  Bytes out(which == 512 ? 64 : 32);
  static const uint8_t kNothing = 0;
  const uint8_t* data = msg.empty() ? &kNothing : msg.data();
  if (which == 94) {
    // The one-shot refuses an empty message; the context takes it.
    Gost3411_94Context ctx;
    EXPECT_EQ(GOSTR3411_94_Init_ex(&ctx, GOSTR3411_94_GetDefaultPar()->sbox), 0);
    if (!msg.empty()) {
      EXPECT_EQ(GOSTR3411_94_Update(&ctx, data, static_cast<uint32_t>(msg.size())), 0);
    }
    EXPECT_EQ(GOSTR3411_94_Final(&ctx, out.data()), 0);
  } else {
    EXPECT_EQ(GOSTR3411_2012_Transform(static_cast<uint32_t>(out.size()), data,
                                       static_cast<uint32_t>(msg.size()), out.data()),
              0);
  }
  return out;
}

struct HashCase {
  const EVP_MD* (*md)();
  int core;
  int gcrypt;
  const char* name;
};

const HashCase kHashes[] = {
    {EVP_gosthash_94, 94, GCRY_MD_GOSTR3411_CP, "md_gost94"},
    {EVP_gosthash_2012_256, 256, GCRY_MD_STRIBOG256, "md_gost12_256"},
    {EVP_gosthash_2012_512, 512, GCRY_MD_STRIBOG512, "md_gost12_512"},
};

// The GOST 28147-89 MAC as the SSF core drives it: parameter set, key,
// initialise again, data; iv (if any) through control 0x1002.
Bytes evp_mac(const Bytes& key, const Bytes& msg, const Bytes* iv = nullptr, int nid = 0,
              const std::vector<size_t>& chunks = {}) {
  orvel::EvpMdCtxPtr ctx(EVP_MD_CTX_new());
  EXPECT_EQ(EVP_DigestInit_ex(ctx.get(), EVP_gostimito(), nullptr), 1);
  if (nid == 0) nid = ssf_nid_id_tc26_gost_28147_param_Z();
  EXPECT_EQ(EVP_MD_CTX_ctrl(ctx.get(), kVkcImitCtrlSetParamSet, nid, nullptr), 1);
  EXPECT_EQ(EVP_MD_CTX_ctrl(ctx.get(), kVkcImitCtrlSetKey, 32, const_cast<uint8_t*>(key.data())),
            1);
  if (iv != nullptr) {
    EXPECT_EQ(EVP_MD_CTX_ctrl(ctx.get(), kVkcImitCtrlSetIv, 8, const_cast<uint8_t*>(iv->data())),
              1);
  }
  EXPECT_EQ(EVP_DigestInit_ex(ctx.get(), EVP_gostimito(), nullptr), 1);
  size_t pos = 0, k = 0;
  while (pos < msg.size()) {
    size_t n =
        chunks.empty() ? msg.size() - pos : std::min(chunks[k++ % chunks.size()], msg.size() - pos);
    EXPECT_EQ(EVP_DigestUpdate(ctx.get(), msg.data() + pos, n), 1);
    pos += n;
  }
  Bytes out(4);
  unsigned int len = 0;
  EXPECT_EQ(EVP_DigestFinal_ex(ctx.get(), out.data(), &len), 1);
  EXPECT_EQ(len, 4u);
  return out;
}

Bytes core_mac(const Gost28147ParamSet* ps, const Bytes& key, const Bytes& msg,
               const Bytes* iv = nullptr) {
  Gost28147Context ctx;
  EXPECT_EQ(GOST28147_89_Init(&ctx, 1, ps->sbox, GOST28147_MODE_IMITO, 0, ps->key_meshing, 0,
                              iv != nullptr ? iv->data() : nullptr, key.data()),
            0);
  GostBuffer in = {static_cast<uint32_t>(msg.size()), const_cast<uint8_t*>(msg.data())};
  EXPECT_EQ(GOST28147_89_Update(&ctx, &in, nullptr), 0);
  EXPECT_EQ(GOST28147_89_Final(&ctx), 0);
  const uint8_t* mac = reinterpret_cast<const uint8_t*>(ctx.mac);
  return Bytes(mac, mac + 4);
}

Bytes gcrypt_mac(const char* oid, const Bytes& key, const Bytes& msg, const Bytes* iv = nullptr) {
  gcrypt_init();
  gcry_mac_hd_t h;
  EXPECT_EQ(gcry_mac_open(&h, GCRY_MAC_GOST28147_IMIT, 0, nullptr), 0u);
  EXPECT_EQ(gcry_mac_setkey(h, key.data(), key.size()), 0u);
  EXPECT_EQ(gcry_mac_ctl(h, GCRYCTL_SET_SBOX, const_cast<char*>(oid), 0), 0u);
  if (iv != nullptr) {
    EXPECT_EQ(gcry_mac_setiv(h, iv->data(), iv->size()), 0u);
  }
  EXPECT_EQ(gcry_mac_write(h, msg.data(), msg.size()), 0u);
  Bytes out(4);
  size_t n = out.size();
  EXPECT_EQ(gcry_mac_read(h, out.data(), &n), 0u);
  gcry_mac_close(h);
  return out;
}

}  // namespace

TEST(GostDigest, AgainstCoreAndLibgcrypt) {
  load_engines();
  std::mt19937 rng(21);
  for (const HashCase& h : kHashes) {
    for (size_t len : {size_t{0}, size_t{1}, size_t{31}, size_t{32}, size_t{63}, size_t{64},
                       size_t{65}, size_t{1000}, size_t{4097}}) {
      Bytes msg = random_bytes(rng, len);
      Bytes got = evp_digest(h.md(), msg, random_chunks(rng));
      EXPECT_EQ(got, core_hash(h.core, msg)) << h.name << " " << len;
      EXPECT_EQ(got, gcrypt_hash(h.gcrypt, msg)) << h.name << " " << len;
      // Looked up by name, as the SSF core and the toolkit's PKCS#7 do.
      EXPECT_EQ(evp_digest(EVP_get_digestbyname(h.name), msg), got);
    }
  }
}

TEST(GostDigest, EmptyMessageAndProperties) {
  load_engines();
  // GOST R 34.11-2012 (256) of the empty message, least significant byte
  // first (the standard prints it reversed).
  EXPECT_EQ(to_hex(evp_digest(EVP_gosthash_2012_256(), {})),
            "3f539a213e97c802cc229d474c6aa32a825a360b2a933a949fd925208d9ce1bb");
  EXPECT_EQ(EVP_MD_get_size(EVP_gosthash_2012_256()), 32);
  EXPECT_EQ(EVP_MD_get_block_size(EVP_gosthash_2012_256()), 64);
  EXPECT_EQ(EVP_MD_get_size(EVP_gosthash_2012_512()), 64);
  EXPECT_EQ(EVP_MD_get_block_size(EVP_gosthash_2012_512()), 64);
  EXPECT_EQ(EVP_MD_get_size(EVP_gosthash_94()), 32);
  EXPECT_EQ(EVP_MD_get_block_size(EVP_gosthash_94()), 32);
  EXPECT_EQ(EVP_MD_get_type(EVP_gosthash_2012_256()), ssf_nid_md_gost12_256());
  EXPECT_EQ(EVP_MD_get_type(EVP_gosthash_94()), NID_id_GostR3411_94);
  EXPECT_EQ(EVP_MD_get_size(EVP_gostimito()), 4);
  EXPECT_EQ(EVP_MD_get_type(EVP_gostimito()), NID_id_Gost28147_89_MAC);
}

TEST(GostDigest, CopiesAndReuse) {
  load_engines();
  std::mt19937 rng(22);
  for (const HashCase& h : kHashes) {
    Bytes a = random_bytes(rng, 100), b = random_bytes(rng, 77);
    orvel::EvpMdCtxPtr ctx(EVP_MD_CTX_new()), copy(EVP_MD_CTX_new());
    ASSERT_EQ(EVP_DigestInit_ex(ctx.get(), h.md(), nullptr), 1);
    ASSERT_EQ(EVP_DigestUpdate(ctx.get(), a.data(), a.size()), 1);
    ASSERT_EQ(EVP_MD_CTX_copy_ex(copy.get(), ctx.get()), 1);
    ASSERT_EQ(EVP_DigestUpdate(copy.get(), b.data(), b.size()), 1);
    Bytes ab = a;
    ab.insert(ab.end(), b.begin(), b.end());
    Bytes out(64);
    unsigned int len = 0;
    ASSERT_EQ(EVP_DigestFinal_ex(copy.get(), out.data(), &len), 1);
    out.resize(len);
    EXPECT_EQ(out, core_hash(h.core, ab)) << h.name;
    // The original goes on from where it was.
    ASSERT_EQ(EVP_DigestFinal_ex(ctx.get(), out.data(), &len), 1);
    EXPECT_EQ(out, core_hash(h.core, a)) << h.name;
    // Initialised again, the context starts afresh.
    ASSERT_EQ(EVP_DigestInit_ex(ctx.get(), nullptr, nullptr), 1);
    ASSERT_EQ(EVP_DigestUpdate(ctx.get(), b.data(), b.size()), 1);
    ASSERT_EQ(EVP_DigestFinal_ex(ctx.get(), out.data(), &len), 1);
    EXPECT_EQ(out, core_hash(h.core, b)) << h.name;
  }
}

// As the profile-password check runs it: 8 bytes of IV, then the text.
// GnuTLS meshes the key after each 1,024 bytes as the core does.
TEST(GostImit, AgainstCoreLibgcryptAndGnuTls) {
  load_engines();
  std::mt19937 rng(23);
  const Gost28147ParamSet* z = core_set("id-tc26-gost-28147-param-Z");
  for (size_t len :
       {size_t{9}, size_t{16}, size_t{17}, size_t{100}, size_t{1024}, size_t{1032}, size_t{3001}}) {
    Bytes key = random_bytes(rng, 32), msg = random_bytes(rng, len);
    Bytes got = evp_mac(key, msg, nullptr, 0, random_chunks(rng));
    EXPECT_EQ(got, core_mac(z, key, msg)) << len;
    // libgcrypt's MAC knows no key meshing.
    if (len <= 1024) {
      EXPECT_EQ(got, gcrypt_mac("1.2.643.7.1.2.5.1.1", key, msg)) << len;
    }
    Bytes gnutls(4);
    ASSERT_EQ(gnutls_hmac_fast(GNUTLS_MAC_GOST28147_TC26Z_IMIT, key.data(), key.size(), msg.data(),
                               msg.size(), gnutls.data()),
              0);
    EXPECT_EQ(got, gnutls) << len;
  }
  // Another parameter set.
  Bytes key = random_bytes(rng, 32), msg = random_bytes(rng, 200);
  EXPECT_EQ(evp_mac(key, msg, nullptr, NID_id_Gost28147_89_CryptoPro_A_ParamSet),
            gcrypt_mac("1.2.643.2.2.31.1", key, msg));
}

// Control 0x1002 keeps the IV in the MAC's own data; the MAC continues
// from it.
TEST(GostImit, IvControl) {
  load_engines();
  std::mt19937 rng(24);
  const Gost28147ParamSet* z = core_set("id-tc26-gost-28147-param-Z");
  Bytes key = random_bytes(rng, 32), iv = random_bytes(rng, 8), msg = random_bytes(rng, 61);
  Bytes got = evp_mac(key, msg, &iv);
  EXPECT_EQ(got, core_mac(z, key, msg, &iv));
  EXPECT_EQ(got, gcrypt_mac("1.2.643.7.1.2.5.1.1", key, msg, &iv));

  orvel::EvpMdCtxPtr ctx(EVP_MD_CTX_new());
  ASSERT_EQ(EVP_DigestInit_ex(ctx.get(), EVP_gostimito(), nullptr), 1);
  CaptureStderr();
  EXPECT_EQ(EVP_MD_CTX_ctrl(ctx.get(), kVkcImitCtrlSetIv, 4, iv.data()), 0);
  EXPECT_EQ(EVP_MD_CTX_ctrl(ctx.get(), kVkcImitCtrlSetIv, 8, nullptr), 0);
  EXPECT_EQ(GetCapturedStderr(),
            "vkc_imit_ctrl: Invalid IV length 4\nvkc_imit_ctrl: Invalid IV length 8\n");
  ERR_clear_error();
}

// At init the MAC takes as its IV the UKM of the GOST key-method context
// that the digest context carries.
TEST(GostImit, UkmOfTheKeyMethodContextIsTheIv) {
  load_engines();
  std::mt19937 rng(27);
  const Gost28147ParamSet* z = core_set("id-tc26-gost-28147-param-Z");
  Bytes key = random_bytes(rng, 32), ukm = random_bytes(rng, 8), msg = random_bytes(rng, 45);
  orvel::EvpPkeyCtxPtr pctx(EVP_PKEY_CTX_new_id(gost_nid_key_2012_256(), nullptr));
  ASSERT_TRUE(pctx);
  // The toolkit's digest init sends a control to a context with an operation.
  ASSERT_EQ(EVP_PKEY_sign_init(pctx.get()), 1);
  ASSERT_GT(EVP_PKEY_CTX_ctrl(pctx.get(), -1, -1, EVP_PKEY_CTRL_SET_IV, 8, ukm.data()), 0);
  orvel::EvpMdCtxPtr ctx(EVP_MD_CTX_new());
  EVP_MD_CTX_set_pkey_ctx(ctx.get(), pctx.get());
  ASSERT_EQ(EVP_DigestInit_ex(ctx.get(), EVP_gostimito(), nullptr), 1);
  ASSERT_EQ(EVP_MD_CTX_ctrl(ctx.get(), kVkcImitCtrlSetParamSet,
                            ssf_nid_id_tc26_gost_28147_param_Z(), nullptr),
            1);
  ASSERT_EQ(EVP_MD_CTX_ctrl(ctx.get(), kVkcImitCtrlSetKey, 32, key.data()), 1);
  ASSERT_EQ(EVP_DigestUpdate(ctx.get(), msg.data(), msg.size()), 1);
  Bytes out(4);
  unsigned int len = 0;
  ASSERT_EQ(EVP_DigestFinal_ex(ctx.get(), out.data(), &len), 1);
  EXPECT_EQ(out, core_mac(z, key, msg, &ukm));
  EXPECT_EQ(out, gcrypt_mac("1.2.643.7.1.2.5.1.1", key, msg, &ukm));
}

TEST(GostImit, KeyControlsAndCopy) {
  load_engines();
  std::mt19937 rng(25);
  const Gost28147ParamSet* z = core_set("id-tc26-gost-28147-param-Z");
  Bytes key = random_bytes(rng, 32), a = random_bytes(rng, 24), b = random_bytes(rng, 19);
  orvel::EvpMdCtxPtr ctx(EVP_MD_CTX_new());
  ASSERT_EQ(EVP_DigestInit_ex(ctx.get(), EVP_gostimito(), nullptr), 1);
  int key_len = 0;
  EXPECT_EQ(EVP_MD_CTX_ctrl(ctx.get(), kVkcImitCtrlKeyLength, 0, &key_len), 1);
  EXPECT_EQ(key_len, 32);
  CaptureStderr();
  EXPECT_EQ(EVP_MD_CTX_ctrl(ctx.get(), kVkcImitCtrlSetKey, 16, key.data()), 0);
  EXPECT_EQ(GetCapturedStderr(), "vkc_imit_ctrl: Invalid key length 16\n");
  EXPECT_EQ(EVP_MD_CTX_ctrl(ctx.get(), 0x2000, 0, nullptr), 0);
  ERR_clear_error();
  ASSERT_EQ(EVP_MD_CTX_ctrl(ctx.get(), kVkcImitCtrlSetKey, 32, key.data()), 1);
  ASSERT_EQ(EVP_DigestUpdate(ctx.get(), a.data(), a.size()), 1);
  orvel::EvpMdCtxPtr copy(EVP_MD_CTX_new());
  ASSERT_EQ(EVP_MD_CTX_copy_ex(copy.get(), ctx.get()), 1);
  ASSERT_EQ(EVP_DigestUpdate(copy.get(), b.data(), b.size()), 1);
  Bytes ab = a;
  ab.insert(ab.end(), b.begin(), b.end());
  Bytes out(4);
  unsigned int len = 0;
  ASSERT_EQ(EVP_DigestFinal_ex(copy.get(), out.data(), &len), 1);
  EXPECT_EQ(out, core_mac(z, key, ab));
  ASSERT_EQ(EVP_DigestFinal_ex(ctx.get(), out.data(), &len), 1);
  EXPECT_EQ(out, core_mac(z, key, a));
}

TEST(GostImit, ParamSetFallbackAndEmptyMessage) {
  load_engines();
  std::mt19937 rng(26);
  Bytes key = random_bytes(rng, 32), msg = random_bytes(rng, 40);
  // A NID that is not a GOST 28147-89 set: the engine's default.
  EXPECT_EQ(evp_mac(key, msg, nullptr, NID_id_GostR3410_2001_CryptoPro_A_ParamSet),
            evp_mac(key, msg));
  // Nothing to MAC and no IV: the core refuses, the toolkit reports failure.
  orvel::EvpMdCtxPtr ctx(EVP_MD_CTX_new());
  ASSERT_EQ(EVP_DigestInit_ex(ctx.get(), EVP_gostimito(), nullptr), 1);
  ASSERT_EQ(EVP_MD_CTX_ctrl(ctx.get(), kVkcImitCtrlSetKey, 32, key.data()), 1);
  Bytes out(4);
  unsigned int len = 0;
  CaptureStderr();
  EXPECT_EQ(EVP_DigestFinal_ex(ctx.get(), out.data(), &len), 0);
  EXPECT_EQ(GetCapturedStderr(), "GOST28147_89_Final failed, rc = 0xffffff67\n");
  ERR_clear_error();
}
