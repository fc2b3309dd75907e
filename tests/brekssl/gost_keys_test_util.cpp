#include "gost_keys_test_util.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <nettle/gosthash94.h>
#include <nettle/streebog.h>
#include <openssl/engine.h>
#include <openssl/pem.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "engines/gost/gost_pkey_engine.h"
#include "engines/gost/gost_pkey_nids.h"
#include "objects/engine_loader.h"
#include "test_util.h"

namespace gost_keys_test {
namespace {

// ---- GOST digests from nettle ----

template <class Ctx, void (*Init)(Ctx*), void (*Update)(Ctx*, size_t, const uint8_t*),
          void (*Digest)(Ctx*, size_t, uint8_t*), size_t N>
struct NettleMd {
  static int init(EVP_MD_CTX* ctx) {
    Init(static_cast<Ctx*>(EVP_MD_CTX_md_data(ctx)));
    return 1;
  }
  static int update(EVP_MD_CTX* ctx, const void* data, size_t len) {
    Update(static_cast<Ctx*>(EVP_MD_CTX_md_data(ctx)), len, static_cast<const uint8_t*>(data));
    return 1;
  }
  static int final(EVP_MD_CTX* ctx, unsigned char* out) {
    Digest(static_cast<Ctx*>(EVP_MD_CTX_md_data(ctx)), N, out);
    return 1;
  }
  static bool add(int nid) {
    if (EVP_get_digestbynid(nid) != nullptr) return true;
    EVP_MD* md = EVP_MD_meth_new(nid, NID_undef);
    if (md == nullptr) return false;
    EVP_MD_meth_set_result_size(md, static_cast<int>(N));
    EVP_MD_meth_set_input_blocksize(md, 64);
    EVP_MD_meth_set_app_datasize(md, sizeof(Ctx));
    EVP_MD_meth_set_init(md, init);
    EVP_MD_meth_set_update(md, update);
    EVP_MD_meth_set_final(md, final);
    return add_test_digest(md);
  }
};

using Streebog256 = NettleMd<streebog256_ctx, nettle_streebog256_init, nettle_streebog512_update,
                             nettle_streebog256_digest, 32>;
using Streebog512 = NettleMd<streebog512_ctx, nettle_streebog512_init, nettle_streebog512_update,
                             nettle_streebog512_digest, 64>;
using Gosthash94cp = NettleMd<gosthash94cp_ctx, nettle_gosthash94_init, nettle_gosthash94cp_update,
                              nettle_gosthash94cp_digest, 32>;

bool g_ready = false;

// The toolkit's name table does not own the digests added to it.
struct TestDigests {
  std::vector<EVP_MD*> mds;
  ~TestDigests() {
    for (EVP_MD* md : mds) EVP_MD_meth_free(md);
  }
};

TestDigests& test_digests() {
  static TestDigests d;
  return d;
}

}  // namespace

bool add_test_digest(EVP_MD* md) {
  if (md == nullptr) return false;
  test_digests().mds.push_back(md);
  return EVP_add_digest(md) == 1;
}

bool setup() {
  static bool done = false;
  if (done) return g_ready;
  done = true;
  ssf_load_builtin_engines();
  if (!Streebog256::add(gost_nid_md_2012_256()) || !Streebog512::add(gost_nid_md_2012_512()) ||
      !Gosthash94cp::add(gost_nid_md_94()))
    return false;
  g_ready = gost_pkey_engine_ctx(gost_nid_key_2012_256()) != nullptr;
  return g_ready;
}

void set_pk_format(int format) {
  orvel::EnginePtr e(ENGINE_by_id("gost"));
  ASSERT_TRUE(e);
  ASSERT_EQ(ENGINE_ctrl_cmd_string(e.get(), "PK_FORMAT", format ? "MASKED" : "LEGACY", 0), 1);
}

orvel::EvpPkeyPtr generate(int key_nid, const char* paramset) {
  orvel::EvpPkeyCtxPtr ctx(EVP_PKEY_CTX_new_id(key_nid, nullptr));
  if (!ctx || EVP_PKEY_keygen_init(ctx.get()) <= 0) return nullptr;
  if (paramset != nullptr && EVP_PKEY_CTX_ctrl_str(ctx.get(), "paramset", paramset) <= 0)
    return nullptr;
  EVP_PKEY* pkey = nullptr;
  if (EVP_PKEY_keygen(ctx.get(), &pkey) <= 0) return nullptr;
  return orvel::EvpPkeyPtr(pkey);
}

std::vector<unsigned char> pkcs8_der(EVP_PKEY* pkey) {
  std::unique_ptr<PKCS8_PRIV_KEY_INFO, orvel::Free<PKCS8_PRIV_KEY_INFO, PKCS8_PRIV_KEY_INFO_free>>
      p8(EVP_PKEY2PKCS8(pkey));
  if (!p8) return {};
  unsigned char* der = nullptr;
  int len = i2d_PKCS8_PRIV_KEY_INFO(p8.get(), &der);
  if (len <= 0) return {};
  std::vector<unsigned char> out(der, der + len);
  OPENSSL_free(der);
  return out;
}

orvel::EvpPkeyPtr from_pkcs8_der(const std::vector<unsigned char>& der) {
  const unsigned char* p = der.data();
  return orvel::EvpPkeyPtr(d2i_AutoPrivateKey(nullptr, &p, static_cast<long>(der.size())));
}

std::vector<unsigned char> spki_der(EVP_PKEY* pkey) {
  unsigned char* der = nullptr;
  int len = i2d_PUBKEY(pkey, &der);
  if (len <= 0) return {};
  std::vector<unsigned char> out(der, der + len);
  OPENSSL_free(der);
  return out;
}

orvel::EvpPkeyPtr from_spki_der(const std::vector<unsigned char>& der) {
  const unsigned char* p = der.data();
  return orvel::EvpPkeyPtr(d2i_PUBKEY(nullptr, &p, static_cast<long>(der.size())));
}

orvel::EvpPkeyPtr read_private_pem(const std::string& path) {
  orvel::BioPtr bio(BIO_new_file(path.c_str(), "r"));
  if (!bio) return nullptr;
  return orvel::EvpPkeyPtr(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr));
}

orvel::X509Ptr read_cert_pem(const std::string& path) {
  orvel::BioPtr bio(BIO_new_file(path.c_str(), "r"));
  if (!bio) return nullptr;
  return orvel::X509Ptr(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
}

const EVP_MD* key_digest(EVP_PKEY* pkey) {
  int nid = NID_undef;
  if (EVP_PKEY_get_default_digest_nid(pkey, &nid) <= 0) return nullptr;
  return EVP_get_digestbynid(nid);
}

std::vector<unsigned char> digest_sign(EVP_PKEY* pkey, const std::string& msg) {
  orvel::EvpMdCtxPtr ctx(EVP_MD_CTX_new());
  size_t len = 0;
  if (!ctx || EVP_DigestSignInit(ctx.get(), nullptr, key_digest(pkey), nullptr, pkey) != 1 ||
      EVP_DigestSign(ctx.get(), nullptr, &len, reinterpret_cast<const unsigned char*>(msg.data()),
                     msg.size()) != 1)
    return {};
  std::vector<unsigned char> sig(len);
  if (EVP_DigestSign(ctx.get(), sig.data(), &len,
                     reinterpret_cast<const unsigned char*>(msg.data()), msg.size()) != 1)
    return {};
  sig.resize(len);
  return sig;
}

int digest_verify(EVP_PKEY* pkey, const std::string& msg, const std::vector<unsigned char>& sig) {
  orvel::EvpMdCtxPtr ctx(EVP_MD_CTX_new());
  if (!ctx || EVP_DigestVerifyInit(ctx.get(), nullptr, key_digest(pkey), nullptr, pkey) != 1)
    return -1;
  return EVP_DigestVerify(ctx.get(), sig.data(), sig.size(),
                          reinterpret_cast<const unsigned char*>(msg.data()), msg.size());
}

StderrCapture::StderrCapture() {
  char tmpl[] = "/tmp/gost_keys_stderr_XXXXXX";
  int fd = mkstemp(tmpl);
  if (fd < 0) return;
  path_ = tmpl;
  fflush(stderr);
  saved_ = dup(2);
  dup2(fd, 2);
  close(fd);
}

StderrCapture::~StderrCapture() {
  text();
  if (!path_.empty()) unlink(path_.c_str());
}

std::string StderrCapture::text() {
  if (saved_ >= 0) {
    fflush(stderr);
    dup2(saved_, 2);
    close(saved_);
    saved_ = -1;
  }
  return path_.empty() ? std::string() : orvel_test::read_file(path_);
}

}  // namespace gost_keys_test
