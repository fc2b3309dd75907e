// Decryption of a transported content-encryption key with a GOST token key:
// the token computes the key-encryption key (VKO of its private key with the
// sender's ephemeral key), the CryptoPro key unwrap runs in software. Both
// steps are shared with the "pkcs11" engine; the order and the messages here
// are the provider's.
#include <openssl/crypto.h>

#include <cstring>
#include <memory>

#include "codes.h"
#include "engines/gost/gost_kt_asn1.h"
#include "engines/gost/gost_pkey_nids.h"
#include "engines/pkcs11/pk11_kek.h"
#include "gost28147.h"
#include "log.h"
#include "ossl_ptr.h"
#include "token_context.h"

namespace {

using KeyTransportPtr =
    std::unique_ptr<VKC_KEY_TRANSPORT, orvel::Free<VKC_KEY_TRANSPORT, VKC_KEY_TRANSPORT_free>>;

// Wipes a buffer when it goes out of scope.
struct Wipe {
  void* p;
  size_t n;
  ~Wipe() { OPENSSL_cleanse(p, n); }
};

// The sender's public value: the content of the DER OCTET STRING inside the
// ephemeral key's bit string, of the size the key type has.
bool sender_public(const VKC_KEY_AGREEMENT_INFO* kai, int key_type, const unsigned char** pub,
                   size_t* pub_len) {
  const unsigned char* bits = nullptr;
  int bits_len = 0;
  if (kai->ephem_key == nullptr ||
      !X509_PUBKEY_get0_param(nullptr, &bits, &bits_len, nullptr, kai->ephem_key))
    return false;
  const size_t header = key_type == gost_nid_key_2012_512() ? 3 : 2;
  const size_t want = key_type == gost_nid_key_2012_512() ? 128 : 64;
  if (bits == nullptr || static_cast<size_t>(bits_len) != header + want || bits[0] != 0x04)
    return false;
  if (header == 3 ? (bits[1] != 0x81 || bits[2] != 0x80) : bits[1] != 0x40) return false;
  *pub = bits + header;
  *pub_len = want;
  return true;
}

}  // namespace

int TOKEN_PKEY_decrypt(unsigned char* dec_key, const unsigned char* enc_key, size_t enc_key_len,
                       TokenKeyContext* token) {
  static const char kFunc[] = "TOKEN_PKEY_decrypt";
  if (dec_key == nullptr) {
    log_err("%s() : dec_key is NULL", kFunc);
    return -1;
  }
  if (token == nullptr || token->p11 == nullptr || enc_key == nullptr) return -1;
  const unsigned char* p = enc_key;
  KeyTransportPtr kt(d2i_VKC_KEY_TRANSPORT(nullptr, &p, static_cast<long>(enc_key_len)));
  if (!kt || kt->key_info == nullptr || kt->key_agreement_info == nullptr) {
    log_err("%s() : d2i_VKC_KEY_TRANSPORT failed", kFunc);
    return -1;
  }
  const VKC_KEY_INFO* ki = kt->key_info;
  const VKC_KEY_AGREEMENT_INFO* kai = kt->key_agreement_info;
  // Every length the unwrap reads is checked before it is read.
  if (ki->encrypted_key == nullptr ||
      ASN1_STRING_length(ki->encrypted_key) != static_cast<int>(kPk11CekLength) ||
      ki->imit == nullptr || ASN1_STRING_length(ki->imit) < static_cast<int>(kPk11MacLength) ||
      kai->cipher == nullptr || kai->eph_iv == nullptr ||
      ASN1_STRING_length(kai->eph_iv) < static_cast<int>(kPk11UkmLength) ||
      ASN1_STRING_length(kai->eph_iv) > static_cast<int>(kPk11UkmMaxLength)) {
    log_err("%s() : d2i_VKC_KEY_TRANSPORT failed", kFunc);
    return -1;
  }
  unsigned char oid_der[kPk11OidDerMax];
  const size_t oid_len = pk11_param_oid_der(kai->cipher, oid_der);
  if (oid_len == 0) {
    log_err("%s() : GOST28147_89_FindParByDerOid() failed: %d", kFunc, -1);
    return -1;
  }
  const unsigned char* ukm = ASN1_STRING_get0_data(kai->eph_iv);
  const size_t ukm_len = static_cast<size_t>(ASN1_STRING_length(kai->eph_iv));
  const unsigned char* pub = nullptr;
  size_t pub_len = 0;
  if (!sender_public(kai, token->key_type, &pub, &pub_len)) {
    log_err("%s() : d2i_VKC_KEY_TRANSPORT failed", kFunc);
    return -1;
  }
  dbg("%s() : pubkey->public_key->length: %u", kFunc, static_cast<unsigned>(pub_len));

  unsigned char kek[kPk11KekLength];
  unsigned char cek[kPk11CekLength];
  Wipe wk{kek, sizeof(kek)}, wc{cek, sizeof(cek)};
  const Pk11Log sink{log_err, dbg};
  const Pk11KeyRef ref{token->p11, token->session, token->key, token->key_type};
  if (TokenGenKek(sink, ref, oid_der, oid_len, pub, pub_len, ukm, ukm_len, kek) != 0) {
    log_err("%s() 2 : TokenGenKek() failed", kFunc);
    return -1;
  }
  Gost28147ParamSet* par = nullptr;
  const int32_t rc = GOST28147_89_FindParByDerOid(oid_der, static_cast<uint32_t>(oid_len), &par);
  if (rc != 0 || par == nullptr) {
    log_err("%s() : GOST28147_89_FindParByDerOid() failed: %d", kFunc, rc);
    return -1;
  }
  Pk11UnwrapFailure failure;
  if (!pk11_cryptopro_unwrap(*par, kek, ukm, ASN1_STRING_get0_data(ki->encrypted_key),
                             ASN1_STRING_get0_data(ki->imit), cek, &failure)) {
    switch (failure.step) {
      case Pk11UnwrapStep::kKdf:
        log_err("%s() : GOST28147_89_KDF() failed: %d", kFunc, failure.rc);
        break;
      case Pk11UnwrapStep::kEcbInit:
      case Pk11UnwrapStep::kMacInit:
        log_err("%s() : GOST28147_89_Init failed: %d", kFunc, failure.rc);
        break;
      case Pk11UnwrapStep::kEcbUpdate:
        log_err("%s() : GOST28147_89_Update failed(): %d", kFunc, failure.rc);
        break;
      case Pk11UnwrapStep::kMacUpdate:
        log_err("%s() : GOST28147_89_Update failed: %d", kFunc, failure.rc);
        break;
      case Pk11UnwrapStep::kEcbFinal:
      case Pk11UnwrapStep::kMacFinal:
        log_err("%s() : GOST28147_89_Final failed: %d", kFunc, failure.rc);
        break;
      case Pk11UnwrapStep::kWrongMac:
      case Pk11UnwrapStep::kNone:
        log_err("%s() : wrong MAC", kFunc);
        break;
    }
    return -1;
  }
  memcpy(dec_key, cek, kPk11CekLength);
  return static_cast<int>(kPk11CekLength);
}
