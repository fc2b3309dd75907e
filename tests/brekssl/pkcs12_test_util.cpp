#include "pkcs12_test_util.h"

#include <gcrypt.h>
#include <gtest/gtest.h>
#include <nettle/pbkdf2.h>
#include <openssl/err.h>
#include <openssl/provider.h>

#include <cstring>

#include "objects/ssf_objects.h"
#include "test_util.h"

namespace p12_test {

namespace {

void gcrypt_init() {
  static bool done = [] {
    gcry_check_version(nullptr);
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
    return true;
  }();
  (void)done;
}

// Reads one DER header at p; returns the header length, sets the content
// length; 0 on a malformed header.
size_t der_header(const unsigned char* p, size_t avail, size_t* len) {
  if (avail < 2) return 0;
  size_t h = 2;
  size_t n = p[1];
  if (n & 0x80) {
    size_t k = n & 0x7f;
    if (k == 0 || k > 4 || avail < 2 + k) return 0;
    n = 0;
    for (size_t i = 0; i < k; ++i) n = (n << 8) | p[2 + i];
    h += k;
  }
  if (n > avail - h) return 0;
  *len = n;
  return h;
}

// --- the stand-in Streebog digests -----------------------------------------

size_t g_fail_longer_than = 0;

struct StandinData {
  gcry_md_hd_t h;
};

int algo_of(const EVP_MD_CTX* ctx) {
  return EVP_MD_get_size(EVP_MD_CTX_get0_md(ctx)) == 32 ? GCRY_MD_STRIBOG256 : GCRY_MD_STRIBOG512;
}

int standin_init(EVP_MD_CTX* ctx) {
  auto* d = static_cast<StandinData*>(EVP_MD_CTX_get0_md_data(ctx));
  if (d->h != nullptr) {
    gcry_md_reset(d->h);
    return 1;
  }
  return gcry_md_open(&d->h, algo_of(ctx), 0) == 0 ? 1 : 0;
}

int standin_update(EVP_MD_CTX* ctx, const void* data, size_t count) {
  if (g_fail_longer_than != 0 && count > g_fail_longer_than) return 0;
  auto* d = static_cast<StandinData*>(EVP_MD_CTX_get0_md_data(ctx));
  gcry_md_write(d->h, data, count);
  return 1;
}

int standin_final(EVP_MD_CTX* ctx, unsigned char* md) {
  auto* d = static_cast<StandinData*>(EVP_MD_CTX_get0_md_data(ctx));
  int algo = algo_of(ctx);
  std::memcpy(md, gcry_md_read(d->h, algo), gcry_md_get_algo_dlen(algo));
  return 1;
}

int standin_copy(EVP_MD_CTX* to, const EVP_MD_CTX* from) {
  auto* dt = static_cast<StandinData*>(EVP_MD_CTX_get0_md_data(to));
  auto* df = static_cast<StandinData*>(EVP_MD_CTX_get0_md_data(from));
  dt->h = nullptr;
  if (df->h == nullptr) return 1;
  return gcry_md_copy(&dt->h, df->h) == 0 ? 1 : 0;
}

int standin_cleanup(EVP_MD_CTX* ctx) {
  auto* d = static_cast<StandinData*>(EVP_MD_CTX_get0_md_data(ctx));
  if (d != nullptr && d->h != nullptr) {
    gcry_md_close(d->h);
    d->h = nullptr;
  }
  return 1;
}

EVP_MD* make_standin(int nid, int size) {
  EVP_MD* md = EVP_MD_meth_new(nid, NID_undef);
  EVP_MD_meth_set_result_size(md, size);
  EVP_MD_meth_set_input_blocksize(md, 64);
  EVP_MD_meth_set_app_datasize(md, sizeof(StandinData));
  EVP_MD_meth_set_init(md, standin_init);
  EVP_MD_meth_set_update(md, standin_update);
  EVP_MD_meth_set_final(md, standin_final);
  EVP_MD_meth_set_copy(md, standin_copy);
  EVP_MD_meth_set_cleanup(md, standin_cleanup);
  EVP_add_digest(md);
  return md;
}

}  // namespace

std::string fixture(const std::string& name) { return orvel_test::data_dir() + "/pkcs12/" + name; }

orvel::Pkcs12Ptr p12_from_der(const Bytes& der) {
  const unsigned char* p = der.data();
  return orvel::Pkcs12Ptr(d2i_PKCS12(nullptr, &p, static_cast<long>(der.size())));
}

orvel::Pkcs12Ptr load_p12(const std::string& name) {
  return p12_from_der(to_bytes(orvel_test::read_file(fixture(name))));
}

Bytes p12_to_der(const PKCS12* p12) {
  unsigned char* der = nullptr;
  int n = i2d_PKCS12(p12, &der);
  Bytes out(der, der + (n > 0 ? n : 0));
  OPENSSL_free(der);
  return out;
}

Bytes authsafe_content(const PKCS12* p12) {
  Bytes der = p12_to_der(p12);
  size_t len = 0;
  size_t h = der_header(der.data(), der.size(), &len);  // PFX
  if (h == 0) return {};
  const unsigned char* p = der.data() + h;
  size_t avail = len;
  size_t vlen = 0, vh = der_header(p, avail, &vlen);  // version
  if (vh == 0) return {};
  p += vh + vlen;
  avail -= vh + vlen;
  size_t clen = 0, ch = der_header(p, avail, &clen);  // ContentInfo
  if (ch == 0) return {};
  const unsigned char* q = p;
  orvel::Pkcs7Ptr ci(d2i_PKCS7(nullptr, &q, static_cast<long>(ch + clen)));
  if (!ci || !PKCS7_type_is_data(ci.get()) || ci->d.data == nullptr) return {};
  return Bytes(ci->d.data->data, ci->d.data->data + ci->d.data->length);
}

Bytes stored_mac(const PKCS12* p12) {
  const ASN1_OCTET_STRING* mac = nullptr;
  PKCS12_get0_mac(&mac, nullptr, nullptr, nullptr, p12);
  if (mac == nullptr) return {};
  return Bytes(ASN1_STRING_get0_data(mac), ASN1_STRING_get0_data(mac) + ASN1_STRING_length(mac));
}

Bytes stored_salt(const PKCS12* p12) {
  const ASN1_OCTET_STRING* salt = nullptr;
  PKCS12_get0_mac(nullptr, nullptr, &salt, nullptr, p12);
  if (salt == nullptr) return {};
  return Bytes(ASN1_STRING_get0_data(salt), ASN1_STRING_get0_data(salt) + ASN1_STRING_length(salt));
}

long stored_iter(const PKCS12* p12) {
  const ASN1_INTEGER* iter = nullptr;
  PKCS12_get0_mac(nullptr, nullptr, nullptr, &iter, p12);
  return iter == nullptr ? 1 : ASN1_INTEGER_get(iter);
}

void store_mac(PKCS12* p12, const Bytes& mac) {
  const ASN1_OCTET_STRING* stored = nullptr;
  PKCS12_get0_mac(&stored, nullptr, nullptr, nullptr, p12);
  ASSERT_NE(stored, nullptr);
  ASSERT_EQ(ASN1_OCTET_STRING_set(const_cast<ASN1_OCTET_STRING*>(stored), mac.data(),
                                  static_cast<int>(mac.size())),
            1);
}

Bytes gcry_pbkdf2(int gcry_md, const Bytes& pass, const Bytes& salt, unsigned long iter, size_t n) {
  gcrypt_init();
  Bytes out(n);
  if (pass.empty()) {
    // libgcrypt refuses an empty passphrase; nettle takes it.
    if (gcry_md == GCRY_MD_SHA1) {
      pbkdf2_hmac_sha1(0, nullptr, iter, salt.size(), salt.data(), n, out.data());
    } else if (gcry_md == GCRY_MD_SHA256) {
      pbkdf2_hmac_sha256(0, nullptr, iter, salt.size(), salt.data(), n, out.data());
    } else if (gcry_md == GCRY_MD_SHA512) {
      pbkdf2_hmac_sha512(0, nullptr, iter, salt.size(), salt.data(), n, out.data());
    } else {
      ADD_FAILURE() << "no reference for an empty password with this digest";
    }
    return out;
  }
  EXPECT_EQ(gcry_kdf_derive(pass.data(), pass.size(), GCRY_KDF_PBKDF2, gcry_md, salt.data(),
                            salt.size(), iter, n, out.data()),
            0u);
  return out;
}

Bytes gcry_hmac(int gcry_md, const Bytes& key, const Bytes& data) {
  gcrypt_init();
  gcry_md_hd_t h;
  EXPECT_EQ(gcry_md_open(&h, gcry_md, GCRY_MD_FLAG_HMAC), 0u);
  EXPECT_EQ(gcry_md_setkey(h, key.data(), key.size()), 0u);
  gcry_md_write(h, data.data(), data.size());
  const unsigned char* r = gcry_md_read(h, gcry_md);
  Bytes out(r, r + gcry_md_get_algo_dlen(gcry_md));
  gcry_md_close(h);
  return out;
}

Bytes gcry_tc26_mac(int gcry_md, const Bytes& pass, const Bytes& salt, unsigned long iter,
                    const Bytes& data) {
  Bytes derived = gcry_pbkdf2(gcry_md, pass, salt, iter, 96);
  Bytes key(derived.end() - 32, derived.end());
  return gcry_hmac(gcry_md, key, data);
}

Bytes to_bytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

const EVP_MD* standin_streebog(int bits) {
  gcrypt_init();
  static const EVP_MD* md256 = make_standin(ssf_nid_md_gost12_256(), 32);
  static const EVP_MD* md512 = make_standin(ssf_nid_md_gost12_512(), 64);
  return bits == 256 ? md256 : md512;
}

void standin_fail_updates_longer_than(size_t n) { g_fail_longer_than = n; }

void load_legacy_provider() {
  // Unloaded at exit, before the toolkit's own clean-up runs.
  struct Providers {
    OSSL_PROVIDER* def = OSSL_PROVIDER_load(nullptr, "default");
    OSSL_PROVIDER* legacy = OSSL_PROVIDER_load(nullptr, "legacy");
    ~Providers() {
      if (legacy != nullptr) OSSL_PROVIDER_unload(legacy);
      if (def != nullptr) OSSL_PROVIDER_unload(def);
    }
  };
  static Providers providers;
  ASSERT_NE(providers.legacy, nullptr);
}

int first_error_reason() { return ERR_GET_REASON(ERR_peek_error()); }

bool error_queue_has(int lib, int reason) {
  bool found = false;
  unsigned long e;
  // Empties the queue on the way.
  while ((e = ERR_get_error()) != 0)
    if (ERR_GET_LIB(e) == lib && ERR_GET_REASON(e) == reason) found = true;
  return found;
}

}  // namespace p12_test
