// The key-transport BER codec and the PKCS#8 containers of GOST keys: the
// decoders called directly, and the toolkit type of the key transport. The
// decoders return pointers into the input; reading every byte they point
// at lets the address sanitizer catch a range that leaves the input.
#include <cstdint>

#include "engines/gost/gost_ber_codec.h"
#include "engines/gost/gost_ber_pkcs8.h"
#include "engines/gost/gost_kt_asn1.h"
#include "fuzz_common.h"

using namespace orvel_fuzz;

namespace {

unsigned touch(const unsigned char* p, uint32_t n) {
  unsigned sum = 0;
  for (uint32_t i = 0; p != nullptr && i < n; ++i) sum += p[i];
  return sum;
}

void key_transport(const unsigned char* p, uint32_t n) {
  BerKeyTransport kt{};
  if (ber_decode_GostR3410_KeyTransport(p, n, &kt) != 1) return;
  volatile unsigned sum = touch(kt.enc_key, kt.enc_key_len) + touch(kt.mac, kt.mac_len) +
                          touch(kt.wrap_oid, kt.wrap_oid_len) + touch(kt.alg_oid, kt.alg_oid_len) +
                          touch(kt.param_oid, kt.param_oid_len) +
                          touch(kt.digest_oid, kt.digest_oid_len) + touch(kt.pub, kt.pub_len) +
                          touch(kt.ukm, kt.ukm_len);
  (void)sum;
}

void private_key_info(const unsigned char* p, uint32_t n) {
  const unsigned char *alg = nullptr, *param = nullptr, *digest = nullptr;
  uint32_t alg_len = 0, param_len = 0, digest_len = 0, key_len = 0;
  unsigned char key[ORVEL_GOST_PRIVATE_KEY_MAX];
  if (ber_decode_GOST3410PrivateKey(p, n, &alg, &alg_len, &param, &param_len, &digest, &digest_len,
                                    key, &key_len) != 1)
    return;
  volatile unsigned sum = touch(alg, alg_len) + touch(param, param_len) +
                          touch(digest, digest_len) + touch(key, key_len);
  (void)sum;
}

void encrypted_private_key_info(const unsigned char* p, uint32_t n) {
  const unsigned char *salt = nullptr, *iter = nullptr, *prf = nullptr, *prf_params = nullptr,
                      *cipher = nullptr, *paramset = nullptr, *iv = nullptr, *key = nullptr;
  uint32_t salt_len = 0, iter_len = 0, prf_len = 0, prf_params_len = 0, cipher_len = 0,
           paramset_len = 0, iv_len = 0, key_len = 0;
  if (ber_decode_PKCS8_PrivateKeyBag(p, n, &salt, &salt_len, &iter, &iter_len, &prf, &prf_len,
                                     &prf_params, &prf_params_len, &cipher, &cipher_len, &paramset,
                                     &paramset_len, &iv, &iv_len, &key, &key_len) != 1)
    return;
  volatile unsigned sum = touch(salt, salt_len) + touch(iter, iter_len) + touch(prf, prf_len) +
                          touch(prf_params, prf_params_len) + touch(cipher, cipher_len) +
                          touch(paramset, paramset_len) + touch(iv, iv_len) + touch(key, key_len);
  (void)sum;
}

void transport_type(const unsigned char* p, uint32_t n) {
  VKC_KEY_TRANSPORT* kt = d2i_VKC_KEY_TRANSPORT(nullptr, &p, n);
  if (kt == nullptr) return;
  unsigned char* der = nullptr;
  if (i2d_VKC_KEY_TRANSPORT(kt, &der) > 0) OPENSSL_free(der);
  VKC_KEY_TRANSPORT_free(kt);
}

}  // namespace

// Selector (modulo 4): 0 GostR3410-KeyTransport, 1 PrivateKeyInfo,
// 2 EncryptedPrivateKeyInfo, 3 the toolkit type VKC_KEY_TRANSPORT.
int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in;
  if (!split(data, size, &in)) return 0;
  const Run run;
  const auto n = static_cast<uint32_t>(in.size);
  switch (in.selector % 4) {
    case 0:
      key_transport(in.data, n);
      break;
    case 1:
      private_key_info(in.data, n);
      break;
    case 2:
      encrypted_private_key_info(in.data, n);
      break;
    default:
      transport_type(in.data, n);
  }
  return 0;
}
