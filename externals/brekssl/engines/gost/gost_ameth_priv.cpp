// PKCS#8 private keys of the GOST R 34.10 key types: written in the LEGACY
// form (an OCTET STRING of d inside) or the MASKED form (d * m^-1 mod q and
// m), read in those forms (the LEGACY one also with its top zero bytes left
// out) and as an INTEGER.
#include <openssl/bn.h>
#include <openssl/objects.h>

#include <cstdio>
#include <cstring>

#include "engines/gost/gost_ameth.h"
#include "engines/gost/gost_key_params.h"
#include "engines/gost/gost_keypair_ops.h"
#include "engines/gost/gost_pkey_engine.h"
#include "engines/gost/gost_pkey_nids.h"
#include "ossl_ptr.h"

namespace {

using KeyParamsPtr =
    std::unique_ptr<VKC_GOST2012_KEY_PARAMS,
                    orvel::Free<VKC_GOST2012_KEY_PARAMS, VKC_GOST2012_KEY_PARAMS_free>>;

// Bytes that are wiped before they are freed.
struct SecretBytes {
  unsigned char* p = nullptr;
  size_t n = 0;
  ~SecretBytes() { OPENSSL_clear_free(p, n); }
  unsigned char* release() {
    unsigned char* r = p;
    p = nullptr;
    return r;
  }
};

bool maskable(int param_nid, bool big) {
  static const char* const kSmall[] = {
      "1.2.643.2.2.35.1",    "1.2.643.2.2.35.2",    "1.2.643.2.2.35.3",
      "1.2.643.2.2.36.0",    "1.2.643.2.2.36.1",    "1.2.643.7.1.2.1.1.1",
      "1.2.643.7.1.2.1.1.2", "1.2.643.7.1.2.1.1.3", "1.2.643.7.1.2.1.1.4"};
  static const char* const kBig[] = {"1.2.643.7.1.2.1.2.1", "1.2.643.7.1.2.1.2.2",
                                     "1.2.643.7.1.2.1.2.3"};
  if (big) {
    for (const char* oid : kBig)
      if (OBJ_txt2nid(oid) == param_nid) return true;
  } else {
    for (const char* oid : kSmall)
      if (OBJ_txt2nid(oid) == param_nid) return true;
  }
  return false;
}

// d from the DER inside the privateKey OCTET STRING.
bool read_der_private(VK_GOST2012_KEYPAIR* key, const unsigned char* buf, int len) {
  const uint32_t n = key->priv_key_len;
  if (len > 0 && buf[0] == V_ASN1_INTEGER) {
    const unsigned char* p = buf;
    orvel::Asn1IntegerPtr num(d2i_ASN1_INTEGER(nullptr, &p, len));
    if (!num || p != buf + len) return false;
    // DER drops leading zero bytes: read the number and pad it back to the
    // key size; refuse what does not fit.
    orvel::BigNumPtr bn(ASN1_INTEGER_to_BN(num.get(), nullptr));
    if (!bn || BN_is_negative(bn.get()) || BN_num_bytes(bn.get()) > static_cast<int>(n))
      return false;
    bool ok = BN_bn2lebinpad(bn.get(), key->priv_key, static_cast<int>(n)) == static_cast<int>(n);
    BN_clear(bn.get());
    return ok;
  }
  if (len > 0 && buf[0] == V_ASN1_OCTET_STRING) {
    const unsigned char* p = buf;
    orvel::Asn1OctetStringPtr octet(d2i_ASN1_OCTET_STRING(nullptr, &p, len));
    if (!octet || p != buf + len) return false;
    const unsigned char* v = ASN1_STRING_get0_data(octet.get());
    uint32_t v_len = static_cast<uint32_t>(ASN1_STRING_length(octet.get()));
    bool ok = false;
    if (v_len == 2 * n) {
      ok = gost_unmask_private_key(key, v) == 1;
    } else if (v_len > 0 && v_len <= n) {
      // Little-endian d. Some writers drop zero bytes at the top of the
      // number (one key in 256 has a zero top byte): pad them back.
      memset(key->priv_key, 0, n);
      memcpy(key->priv_key, v, v_len);
      ok = true;
    }
    OPENSSL_cleanse(octet->data, static_cast<size_t>(octet->length));
    return ok;
  }
  return false;
}

int create_private_key(VK_GOST2012_KEYPAIR* key, const unsigned char* buf, int len) {
  const char* fn = "create_private_key";
  bool ok = false;
  if (len == static_cast<int>(2 * key->priv_key_len)) {
    ok = gost_unmask_private_key(key, buf) == 1;
    if (!ok)
      fprintf(stderr,
              key->priv_key_len == 64 ? "%s: load_512_masked_key failed\n"
                                      : "%s: load_256_masked_key failed\n",
              fn);
  } else {
    ok = read_der_private(key, buf, len);
    if (!ok) fprintf(stderr, "Unrecognized private key value format\n");
  }
  if (ok) ok = vkc_gost2012_compute_public_wrapper(key) == 1;
  if (ok && !gost_key_id(key->pub_key, key->pub_key_len, key->key_id)) {
    fprintf(stderr, "%s: pkcs11_id_gen failed\n", fn);
    ok = false;
  }
  if (!ok) {
    OPENSSL_cleanse(key->priv_key, sizeof(key->priv_key));
    return 0;
  }
  key->priv_present = 1;
  return 1;
}

}  // namespace

int priv_decode_gost2012(EVP_PKEY* pk, const PKCS8_PRIV_KEY_INFO* p8) {
  const char* fn = "priv_decode_gost2012";
  const ASN1_OBJECT* alg_obj = nullptr;
  const unsigned char* buf = nullptr;
  int len = 0;
  const X509_ALGOR* palg = nullptr;
  if (!PKCS8_pkey_get0(&alg_obj, &buf, &len, &palg, p8)) return 0;
  int alg_nid = OBJ_obj2nid(alg_obj);
  if (gost_pkey_engine_ctx(alg_nid) == nullptr) {
    fprintf(stderr, "%s: ENGINE_get_ex_data failed\n", fn);
    return 0;
  }
  int ptype = V_ASN1_UNDEF;
  const void* pval = nullptr;
  X509_ALGOR_get0(nullptr, &ptype, &pval, palg);
  KeyParamsPtr params;
  if (ptype == V_ASN1_SEQUENCE && pval != nullptr) {
    const auto* seq = static_cast<const ASN1_STRING*>(pval);
    const unsigned char* p = ASN1_STRING_get0_data(seq);
    params.reset(d2i_VKC_GOST2012_KEY_PARAMS(nullptr, &p, ASN1_STRING_length(seq)));
    if (params && p != ASN1_STRING_get0_data(seq) + ASN1_STRING_length(seq)) params.reset();
  }
  if (!params) {
    fprintf(stderr, "%s: Invalid key parameters format\n", fn);
    return 0;
  }
  int param_nid = OBJ_obj2nid(params->key_params);
  if (param_nid == NID_undef) {
    fprintf(stderr, "%s: Invalid param_nid %d\n", fn, param_nid);
    return 0;
  }
  int key_nid = gost_signing_key_nid(alg_nid);
  VK_GOST2012_KEYPAIR* key = gost_keypair_get_or_create(pk, key_nid);
  if (key == nullptr || !fill_GOST2012_params(key, key_nid, param_nid) ||
      !create_private_key(key, buf, len)) {
    fprintf(stderr, "priv_decode_gost2012: create_private_key failed\n");
    return 0;
  }
  return 1;
}

int priv_encode_gost2012(PKCS8_PRIV_KEY_INFO* p8, const EVP_PKEY* pk) {
  const char* fn = "priv_encode_gost2012";
  int key_nid = EVP_PKEY_get_base_id(pk);
  const VKC2012_ENGINE_CTX* ctx = gost_pkey_engine_ctx(key_nid);
  if (ctx == nullptr) {
    fprintf(stderr, "%s: ENGINE_get_ex_data failed\n", fn);
    return 0;
  }
  const VK_GOST2012_KEYPAIR* key = gost_keypair_of(pk);
  if (key == nullptr || !key->priv_present) {
    fprintf(stderr, key == nullptr ? "get_priv_key_value: NULL vkc_gost2012_key\n"
                                   : "get_priv_key_value: no real private key in keypair "
                                     "structure\n");
    fprintf(stderr, "priv_encode_gost2012: get_priv_key_value failed\n");
    return 0;
  }
  const uint32_t n = key->priv_key_len;
  SecretBytes value;
  if (ctx->pk_format == kVkcPkFormatMasked) {
    if (!maskable(key->param_nid, n == 64)) {
      fprintf(stderr, "%s: unknown param NID = %d\n", fn, key->param_nid);
      return 0;
    }
    value.n = 2 * n;
    value.p = static_cast<unsigned char*>(OPENSSL_malloc(value.n));
    if (value.p == nullptr || !gost_mask_private_key(key, value.p)) return 0;
  } else {
    // An OCTET STRING of d, little-endian, inside the privateKey.
    value.n = 2 + n;
    value.p = static_cast<unsigned char*>(OPENSSL_malloc(value.n));
    if (value.p == nullptr) return 0;
    value.p[0] = V_ASN1_OCTET_STRING;
    value.p[1] = static_cast<unsigned char>(n);
    memcpy(value.p + 2, key->priv_key, n);
  }
  orvel::Asn1StringPtr params(encode_gost2012_algor_params(pk));
  if (!params) return 0;
  int value_len = static_cast<int>(value.n);
  if (!PKCS8_pkey_set0(p8, OBJ_nid2obj(key_nid), 0, V_ASN1_SEQUENCE, params.get(), value.p,
                       value_len))
    return 0;
  params.release();
  value.release();
  return 1;
}
