#include "engines/pkcs11/pk11_kek.h"

#include <openssl/crypto.h>
#include <openssl/objects.h>

#include <cstring>

#include "engines/gost/gost_pkey_nids.h"
#include "engines/pkcs11/pk11_errors.h"

namespace {

// Largest sender public value the packed derivation parameter takes.
constexpr size_t kMaxPacked2012Public = 140;

// Wipes a buffer when it goes out of scope.
struct Wipe {
  void* p;
  size_t n;
  ~Wipe() { OPENSSL_cleanse(p, n); }
};

}  // namespace

size_t pk11_param_oid_der(const ASN1_OBJECT* oid, unsigned char der[kPk11OidDerMax]) {
  if (oid == nullptr) return 0;
  const size_t content = static_cast<size_t>(OBJ_length(oid));
  if (content == 0 || content > kPk11MaxOidContent || OBJ_get0_data(oid) == nullptr) return 0;
  der[0] = 0x06;
  der[1] = static_cast<unsigned char>(content);
  memcpy(der + 2, OBJ_get0_data(oid), content);
  return 2 + content;
}

int TokenGenKek(const Pk11Log& sink, const Pk11KeyRef& token, const unsigned char* oid_der,
                size_t oid_len, const unsigned char* pub, size_t pub_len, const unsigned char* ukm,
                size_t ukm_len, unsigned char kek[kPk11KekLength]) {
  static const char kFunc[] = "TokenGenKek";
  if (sink.dbg != nullptr) sink.dbg("%s() begin", kFunc);
  CK_RV rv = CKR_OK;
  auto end = [&](int rc) {
    if (sink.dbg != nullptr)
      sink.dbg("%s() end, return code = %d (%s)", kFunc, rc, pk11errorString(rv));
    return rc;
  };
  if (token.p11 == nullptr) return end(-1);
  CK_MECHANISM mech{};
  CK_GOSTR3410_DERIVE_PARAMS params{};
  unsigned char packed[12 + kMaxPacked2012Public + kPk11UkmMaxLength];
  if (token.key_type == gost_nid_key_2001()) {
    params.kdf = CKD_NULL;
    params.pPublicData = const_cast<unsigned char*>(pub);
    params.ulPublicDataLen = pub_len;
    params.pUKM = const_cast<unsigned char*>(ukm);
    params.ulUKMLen = ukm_len;
    mech = {CKM_GOSTR3410_DERIVE, &params, sizeof(params)};
  } else {
    if (pub_len > kMaxPacked2012Public || ukm_len > kPk11UkmMaxLength) return end(-1);
    const uint32_t kdf = 1;
    const uint32_t plen = static_cast<uint32_t>(pub_len);
    const uint32_t ulen = static_cast<uint32_t>(ukm_len);
    memcpy(packed, &kdf, 4);
    memcpy(packed + 4, &plen, 4);
    memcpy(packed + 8, pub, pub_len);
    memcpy(packed + 8 + pub_len, &ulen, 4);
    memcpy(packed + 12 + pub_len, ukm, ukm_len);
    mech = {CKM_TC26_GOSTR3410_2012_DERIVE, packed, pub_len + ukm_len + 12};
  }
  CK_OBJECT_CLASS cls = CKO_SECRET_KEY;
  CK_KEY_TYPE type = CKK_GOST28147;
  CK_BBOOL no = CK_FALSE;
  CK_BBOOL yes = CK_TRUE;
  CK_ATTRIBUTE templ[] = {{CKA_CLASS, &cls, sizeof(cls)},
                          {CKA_KEY_TYPE, &type, sizeof(type)},
                          {CKA_TOKEN, &no, 1},
                          {CKA_ENCRYPT, &yes, 1},
                          {CKA_DECRYPT, &yes, 1},
                          {CKA_GOST28147_PARAMS, const_cast<unsigned char*>(oid_der), oid_len}};
  CK_OBJECT_HANDLE derived = 0;
  rv = token.p11->C_DeriveKey(token.session, &mech, token.key, templ, 6, &derived);
  if (rv != CKR_OK) {
    sink.err("%s() 2 : C_DeriveKey() failed, ret code = 0x%p (%s)", kFunc,
             reinterpret_cast<void*>(rv), pk11errorString(rv));
    return end(-1);
  }
  CK_ATTRIBUTE value{CKA_VALUE, nullptr, 0};
  rv = token.p11->C_GetAttributeValue(token.session, derived, &value, 1);
  if (rv != CKR_OK) {
    sink.err("%s() 3 : C_GetAttributeValue() failed, ret code = 0x%p (%s)", kFunc,
             reinterpret_cast<void*>(rv), pk11errorString(rv));
    return end(-1);
  }
  // Only a 32-byte value is a key-encryption key.
  if (value.ulValueLen != kPk11KekLength) {
    sink.err("%s() 4 : derived value of %d bytes, 32 expected", kFunc,
             static_cast<int>(value.ulValueLen));
    return end(-1);
  }
  value.pValue = kek;
  rv = token.p11->C_GetAttributeValue(token.session, derived, &value, 1);
  if (rv != CKR_OK || value.ulValueLen != kPk11KekLength) {
    sink.err("%s() 5 : C_GetAttributeValue() failed, ret code = 0x%p (%s)", kFunc,
             reinterpret_cast<void*>(rv), pk11errorString(rv));
    OPENSSL_cleanse(kek, kPk11KekLength);
    return end(-1);
  }
  return end(0);
}

bool pk11_cryptopro_unwrap(const Gost28147ParamSet& par, const unsigned char kek[kPk11KekLength],
                           const unsigned char ukm[kPk11UkmLength],
                           const unsigned char enc[kPk11CekLength],
                           const unsigned char mac[kPk11MacLength],
                           unsigned char cek[kPk11CekLength], Pk11UnwrapFailure* failure) {
  unsigned char key[kPk11KekLength];
  unsigned char plain[kPk11CekLength];
  Gost28147Context ctx;
  Wipe wk{key, sizeof(key)}, wp{plain, sizeof(plain)}, wx{&ctx, sizeof(ctx)};
  auto fail = [failure](Pk11UnwrapStep step, int32_t rc) {
    failure->step = step;
    failure->rc = rc;
    return false;
  };
  int32_t rc = GOST28147_89_KDF(par.sbox, kek, ukm, key);
  if (rc != 0) return fail(Pk11UnwrapStep::kKdf, rc);
  memset(&ctx, 0, sizeof(ctx));
  rc =
      GOST28147_89_Init(&ctx, 0, par.sbox, GOST28147_MODE_ECB, 0, par.key_meshing, 0, nullptr, key);
  if (rc != 0) return fail(Pk11UnwrapStep::kEcbInit, rc);
  GostBuffer in{kPk11CekLength, const_cast<unsigned char*>(enc)};
  GostBuffer out{kPk11CekLength, plain};
  rc = GOST28147_89_Update(&ctx, &in, &out);
  if (rc != 0 || out.length != kPk11CekLength) return fail(Pk11UnwrapStep::kEcbUpdate, rc);
  rc = GOST28147_89_Final(&ctx);
  if (rc != 0) return fail(Pk11UnwrapStep::kEcbFinal, rc);
  memset(&ctx, 0, sizeof(ctx));
  rc = GOST28147_89_Init(&ctx, 1, par.sbox, GOST28147_MODE_IMITO, 0, par.key_meshing, 0, ukm, key);
  if (rc != 0) return fail(Pk11UnwrapStep::kMacInit, rc);
  GostBuffer data{kPk11CekLength, plain};
  rc = GOST28147_89_Update(&ctx, &data, nullptr);
  if (rc != 0) return fail(Pk11UnwrapStep::kMacUpdate, rc);
  rc = GOST28147_89_Final(&ctx);
  if (rc != 0) return fail(Pk11UnwrapStep::kMacFinal, rc);
  if (CRYPTO_memcmp(ctx.mac, mac, kPk11MacLength) != 0) return fail(Pk11UnwrapStep::kWrongMac, 0);
  memcpy(cek, plain, kPk11CekLength);
  return true;
}
