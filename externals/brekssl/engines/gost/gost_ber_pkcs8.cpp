#include "engines/gost/gost_ber_pkcs8.h"

#include <openssl/crypto.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "engines/gost/gost_ber_codec.h"

namespace {

constexpr unsigned char kVersion0 = 0x00;
constexpr unsigned char kNull[] = {0x05, 0x00};
constexpr unsigned char kTagInteger = 0x02;
constexpr unsigned char kTagNull = 0x05;
constexpr unsigned char kTagOid = 0x06;

// id-PBES2 and id-PBKDF2 with their tag and length.
constexpr unsigned char pkcs5PBES2oid[11] = {0x06, 0x09, 0x2A, 0x86, 0x48, 0x86,
                                             0xF7, 0x0D, 0x01, 0x05, 0x0D};
constexpr unsigned char pBKDF2oid[11] = {0x06, 0x09, 0x2A, 0x86, 0x48, 0x86,
                                         0xF7, 0x0D, 0x01, 0x05, 0x0C};

// Reading position inside one constructed element.
struct Cursor {
  const unsigned char* p;
  const unsigned char* end;
  uint32_t left() const { return static_cast<uint32_t>(end - p); }
};

// The next element whole, with its tag; false when it leaves the cursor.
bool next_whole(Cursor& c, unsigned char* tag, const unsigned char** at, uint32_t* len) {
  uint32_t total = 0;
  if (!ber_decode_any(c.p, c.left(), tag, nullptr, nullptr, &total)) return false;
  *at = c.p;
  *len = total;
  c.p += total;
  return true;
}

using DecodeFn = int (*)(const unsigned char*, uint32_t, const unsigned char**, uint32_t*,
                         uint32_t*);

// The next element by content through a primitive decoder.
bool next_content(Cursor& c, DecodeFn dec, Cursor* inner) {
  const unsigned char* content = nullptr;
  uint32_t clen = 0, total = 0;
  if (!dec(c.p, c.left(), &content, &clen, &total)) return false;
  c.p += total;
  *inner = {content, content + clen};
  return true;
}

void set(const unsigned char** p, uint32_t* n, const unsigned char* v, uint32_t len) {
  if (p != nullptr) *p = v;
  if (n != nullptr) *n = len;
}

}  // namespace

int ber_encode_GOST3410PrivateKey(int mode, unsigned char** out, uint32_t* out_len,
                                  const unsigned char* alg_oid, uint32_t alg_oid_len,
                                  const unsigned char* param_oid, uint32_t param_oid_len,
                                  const unsigned char* digest_oid, uint32_t digest_oid_len,
                                  const unsigned char* key, uint32_t key_len) {
  if (alg_oid == nullptr || param_oid == nullptr || key == nullptr || key_len == 0 ||
      (mode != kBerEncode && mode != kBerLength)) {
    fprintf(stderr, "%s:%d %s Function Failed\n", __FILE__, __LINE__,
            "ber_encode_GOST3410PrivateKey");
    return 0;
  }
  if (digest_oid == nullptr || digest_oid_len == 0) {
    digest_oid = kNull;
    digest_oid_len = sizeof(kNull);
  }
  BerTlv version, params, alg, inner;
  if (!ber_encode_INTEGER(kBerEncode, &version.p, &version.n, &kVersion0, 1)) {
    fprintf(stderr, "%s:%d Encode INTEGER Failed\n", __FILE__, __LINE__);
    return 0;
  }
  const BerPiece p1[] = {{param_oid, param_oid_len}, {digest_oid, digest_oid_len}};
  const BerPiece p2[] = {{alg_oid, alg_oid_len}, {nullptr, 0}};
  if (!ber_encode_concat(ber_encode_SEQUENCE, kBerEncode, &params.p, &params.n, p1, 2)) {
    fprintf(stderr, "%s:%d Encode Sequence Failed\n", __FILE__, __LINE__);
    return 0;
  }
  const BerPiece p3[] = {p2[0], params.piece()};
  if (!ber_encode_concat(ber_encode_SEQUENCE, kBerEncode, &alg.p, &alg.n, p3, 2)) {
    fprintf(stderr, "%s:%d Encode Sequence Failed\n", __FILE__, __LINE__);
    return 0;
  }
  if (!ber_encode_OCTET_STRING(kBerEncode, &inner.p, &inner.n, key, key_len)) {
    fprintf(stderr, "%s:%d Encode Octet String Failed\n", __FILE__, __LINE__);
    return 0;
  }
  BerTlv outer_key;
  if (!ber_encode_OCTET_STRING(kBerEncode, &outer_key.p, &outer_key.n, inner.p, inner.n)) {
    fprintf(stderr, "%s:%d Encode Octet String Failed\n", __FILE__, __LINE__);
    return 0;
  }
  const BerPiece all[] = {version.piece(), alg.piece(), outer_key.piece()};
  if (!ber_encode_concat(ber_encode_SEQUENCE, mode, out, out_len, all, 3)) {
    fprintf(stderr, "%s:%d Encode Sequence Failed\n", __FILE__, __LINE__);
    return 0;
  }
  return 1;
}

int ber_decode_GOST3410PrivateKey(const unsigned char* in, uint32_t in_len,
                                  const unsigned char** alg_oid, uint32_t* alg_oid_len,
                                  const unsigned char** param_oid, uint32_t* param_oid_len,
                                  const unsigned char** digest, uint32_t* digest_len,
                                  unsigned char* key, uint32_t* key_len) {
  if (in == nullptr || in_len == 0 || key_len == nullptr) {
    fprintf(stderr, "%s:%d %s Function Failed\n", __FILE__, __LINE__,
            "ber_decode_GOST3410PrivateKey");
    return 0;
  }
  Cursor all{in, in + in_len}, pki{}, alg{}, params{}, pk{};
  if (!next_content(all, ber_decode_SEQUENCE, &pki)) {
    fprintf(stderr, "%s:%d Decode SEQUENCE Failed\n", __FILE__, __LINE__);
    return 0;
  }
  Cursor version{};
  if (!next_content(pki, ber_decode_INTEGER, &version)) {
    fprintf(stderr, "%s:%d Decode INTEGER Failed\n", __FILE__, __LINE__);
    return 0;
  }
  if (!next_content(pki, ber_decode_SEQUENCE, &alg)) {
    fprintf(stderr, "%s:%d Decode SEQUENCE Failed\n", __FILE__, __LINE__);
    return 0;
  }
  unsigned char tag = 0;
  const unsigned char *a = nullptr, *ps = nullptr, *dg = nullptr;
  uint32_t a_len = 0, ps_len = 0, dg_len = 0;
  if (!next_whole(alg, &tag, &a, &a_len) || !next_content(alg, ber_decode_SEQUENCE, &params) ||
      !next_whole(params, &tag, &ps, &ps_len) || !next_whole(params, &tag, &dg, &dg_len)) {
    fprintf(stderr, "%s:%d Decode SEQUENCE Failed\n", __FILE__, __LINE__);
    return 0;
  }
  if (!next_content(pki, ber_decode_OCTET_STRING, &pk)) {
    fprintf(stderr, "%s:%d Decode OCTET STRING Failed\n", __FILE__, __LINE__);
    return 0;
  }
  const unsigned char* kv = nullptr;
  uint32_t kv_len = 0, total = 0;
  if (!ber_decode_any(pk.p, pk.left(), &tag, &kv, &kv_len, &total)) {
    fprintf(stderr, "%s:%d Decode OCTET STRING Failed\n", __FILE__, __LINE__);
    return 0;
  }
  uint32_t out_len = 0;
  if (tag == kTagInteger) {
    // Big-endian INTEGER; a leading zero byte is no part of the value.
    if (kv_len == 0) {
      fprintf(stderr, "%s:%d Decode INTEGER Failed\n", __FILE__, __LINE__);
      return 0;
    }
    out_len = kv_len <= 33 ? 32 : 64;
    const unsigned char* v = kv;
    uint32_t v_len = kv_len;
    while (v_len > out_len && *v == 0) {
      v++;
      v_len--;
    }
    if (v_len > out_len) {
      fprintf(stderr, "%s:%d Decode INTEGER Failed\n", __FILE__, __LINE__);
      return 0;
    }
    if (key != nullptr) {
      memset(key, 0, out_len);
      for (uint32_t i = 0; i < v_len; i++) key[i] = v[v_len - 1 - i];
    }
  } else {
    if (kv_len == 0 || kv_len > ORVEL_GOST_PRIVATE_KEY_MAX) {
      fprintf(stderr, "%s:%d Decode OCTET STRING Failed\n", __FILE__, __LINE__);
      return 0;
    }
    out_len = kv_len;
    if (key != nullptr) memcpy(key, kv, kv_len);
  }
  set(alg_oid, alg_oid_len, a, a_len);
  set(param_oid, param_oid_len, ps, ps_len);
  set(digest, digest_len, dg, dg_len);
  *key_len = out_len;
  return 1;
}

int ber_encode_PKCS8_PrivateKeyBag(int mode, unsigned char** out, uint32_t* out_len,
                                   const unsigned char* salt, uint32_t salt_len,
                                   const unsigned char* iter, uint32_t iter_len,
                                   const unsigned char* prf_oid, uint32_t prf_oid_len,
                                   const unsigned char* prf_params, uint32_t prf_params_len,
                                   const unsigned char* cipher_oid, uint32_t cipher_oid_len,
                                   const unsigned char* iv, uint32_t iv_len,
                                   const unsigned char* paramset_oid, uint32_t paramset_oid_len,
                                   const unsigned char* enc_key, uint32_t enc_key_len) {
  BerTlv s, it, prf, kdf_params, kdf, civ, cparams, scheme, pbes2_params, enc_alg, data;
  auto seq = [](BerTlv& t, std::initializer_list<BerPiece> pieces) {
    if (ber_encode_concat(ber_encode_SEQUENCE, kBerEncode, &t.p, &t.n, pieces.begin(),
                          pieces.size()))
      return true;
    fprintf(stderr, "%s:%d Encode SEQUENCE Failed\n", __FILE__, __LINE__);
    return false;
  };
  if (!ber_encode_OCTET_STRING(kBerEncode, &s.p, &s.n, salt, salt_len) ||
      !ber_encode_OCTET_STRING(kBerEncode, &civ.p, &civ.n, iv, iv_len) ||
      !ber_encode_OCTET_STRING(kBerEncode, &data.p, &data.n, enc_key, enc_key_len)) {
    fprintf(stderr, "%s:%d Encode OCTET STRING Failed\n", __FILE__, __LINE__);
    return 0;
  }
  if (!ber_encode_INTEGER(kBerEncode, &it.p, &it.n, iter, iter_len)) {
    fprintf(stderr, "%s:%d Encode INTEGER Failed\n", __FILE__, __LINE__);
    return 0;
  }
  if (!seq(prf, {{prf_oid, prf_oid_len}, {prf_params, prf_params_len}}) ||
      !seq(kdf_params, {s.piece(), it.piece(), prf.piece()}) ||
      !seq(kdf, {{pBKDF2oid, sizeof(pBKDF2oid)}, kdf_params.piece()}) ||
      !seq(cparams, {civ.piece(), {paramset_oid, paramset_oid_len}}) ||
      !seq(scheme, {{cipher_oid, cipher_oid_len}, cparams.piece()}) ||
      !seq(pbes2_params, {kdf.piece(), scheme.piece()}) ||
      !seq(enc_alg, {{pkcs5PBES2oid, sizeof(pkcs5PBES2oid)}, pbes2_params.piece()})) {
    return 0;
  }
  const BerPiece all[] = {enc_alg.piece(), data.piece()};
  if (!ber_encode_concat(ber_encode_SEQUENCE, mode, out, out_len, all, 2)) {
    fprintf(stderr, "%s:%d Encode SEQUENCE Failed\n", __FILE__, __LINE__);
    return 0;
  }
  return 1;
}

int ber_decode_PKCS8_PrivateKeyBag(
    const unsigned char* in, uint32_t in_len, const unsigned char** salt, uint32_t* salt_len,
    const unsigned char** iter, uint32_t* iter_len, const unsigned char** prf_oid,
    uint32_t* prf_oid_len, const unsigned char** prf_params, uint32_t* prf_params_len,
    const unsigned char** cipher_oid, uint32_t* cipher_oid_len, const unsigned char** paramset_oid,
    uint32_t* paramset_oid_len, const unsigned char** iv, uint32_t* iv_len,
    const unsigned char** enc_key, uint32_t* enc_key_len) {
  if (in == nullptr || in_len == 0) {
    fprintf(stderr, "%s:%d %s Function Failed\n", __FILE__, __LINE__,
            "ber_decode_PKCS8_PrivateKeyBag");
    return 0;
  }
  set(salt, salt_len, nullptr, 0);
  set(iter, iter_len, nullptr, 0);
  set(prf_oid, prf_oid_len, nullptr, 0);
  set(prf_params, prf_params_len, nullptr, 0);
  set(cipher_oid, cipher_oid_len, nullptr, 0);
  set(paramset_oid, paramset_oid_len, nullptr, 0);
  set(iv, iv_len, nullptr, 0);
  set(enc_key, enc_key_len, nullptr, 0);

  auto seq_failed = [] {
    fprintf(stderr, "%s:%d Decode SEQUENCE Failed\n", __FILE__, __LINE__);
    return 0;
  };
  auto octets_failed = [] {
    fprintf(stderr, "%s:%d Decode OCTET STRING Failed\n", __FILE__, __LINE__);
    return 0;
  };
  Cursor all{in, in + in_len}, epki{}, enc_alg{}, data{}, pbes2{}, kdf{}, kdf_params{}, s{}, it{},
      prf{}, scheme{}, cparams{}, civ{};
  if (!next_content(all, ber_decode_SEQUENCE, &epki) ||
      !next_content(epki, ber_decode_SEQUENCE, &enc_alg))
    return seq_failed();
  if (!next_content(epki, ber_decode_OCTET_STRING, &data)) return octets_failed();

  unsigned char tag = 0;
  const unsigned char* at = nullptr;
  uint32_t len = 0;
  if (!next_whole(enc_alg, &tag, &at, &len) || tag != kTagOid) {
    fprintf(stderr, "%s:%d Decode OID pkcs5PBES2 Failed\n", __FILE__, __LINE__);
    return 0;
  }
  if (!next_content(enc_alg, ber_decode_SEQUENCE, &pbes2) ||
      !next_content(pbes2, ber_decode_SEQUENCE, &kdf))
    return seq_failed();
  if (!next_whole(kdf, &tag, &at, &len) || tag != kTagOid) {
    fprintf(stderr, "%s:%d Decode OID pBKDF2 Failed\n", __FILE__, __LINE__);
    return 0;
  }
  if (!next_content(kdf, ber_decode_SEQUENCE, &kdf_params)) return seq_failed();
  if (!next_content(kdf_params, ber_decode_OCTET_STRING, &s)) return octets_failed();
  if (!next_content(kdf_params, ber_decode_INTEGER, &it)) {
    fprintf(stderr, "%s:%d Decode INTEGER Failed\n", __FILE__, __LINE__);
    return 0;
  }
  // No keyLength: the prf follows the iteration count directly.
  if (!next_content(kdf_params, ber_decode_SEQUENCE, &prf)) return seq_failed();
  const unsigned char *po = nullptr, *pp = nullptr, *co = nullptr, *pso = nullptr;
  uint32_t po_len = 0, pp_len = 0, co_len = 0, pso_len = 0;
  if (!next_whole(prf, &tag, &po, &po_len) || tag != kTagOid) {
    fprintf(stderr, "%s:%d Decode OID GOSTR3411 Algorithm Failed\n", __FILE__, __LINE__);
    return 0;
  }
  if (!next_whole(prf, &tag, &pp, &pp_len) || (tag != kTagNull && tag != kTagOid)) {
    fprintf(stderr, "%s:%d Decode OID GOSTR3411 Params Failed\n", __FILE__, __LINE__);
    return 0;
  }
  if (!next_content(pbes2, ber_decode_SEQUENCE, &scheme)) return seq_failed();
  if (!next_whole(scheme, &tag, &co, &co_len) || tag != kTagOid) {
    fprintf(stderr, "%s:%d Decode OID GOST28147 Algorithm Failed\n", __FILE__, __LINE__);
    return 0;
  }
  if (!next_content(scheme, ber_decode_SEQUENCE, &cparams)) return seq_failed();
  if (!next_content(cparams, ber_decode_OCTET_STRING, &civ)) return octets_failed();
  if (!next_whole(cparams, &tag, &pso, &pso_len) || tag != kTagOid) {
    fprintf(stderr, "%s:%d Decode OID GOST28147 Params Failed\n", __FILE__, __LINE__);
    return 0;
  }
  set(salt, salt_len, s.p, s.left());
  set(iter, iter_len, it.p, it.left());
  set(prf_oid, prf_oid_len, po, po_len);
  set(prf_params, prf_params_len, pp, pp_len);
  set(cipher_oid, cipher_oid_len, co, co_len);
  set(paramset_oid, paramset_oid_len, pso, pso_len);
  set(iv, iv_len, civ.p, civ.left());
  set(enc_key, enc_key_len, data.p, data.left());
  return 1;
}
