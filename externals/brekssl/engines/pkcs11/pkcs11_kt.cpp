// Key-transport decryption with the engine's token keys: VKO on the token,
// the CryptoPro key unwrap in software (both shared with the provider's
// token keys), in the engine's order: the transport decoded and the
// parameter set looked up before the derivation; a transport without an
// ephemeral key takes the context's peer key. Messages go to the standard
// error stream.
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "engines/gost/gost_kt_asn1.h"
#include "engines/pkcs11/pk11_kek.h"
#include "engines/pkcs11/pkcs11_engine.h"
#include "gost28147.h"
#include "ossl_ptr.h"

namespace {

using KeyTransportPtr =
    std::unique_ptr<VKC_KEY_TRANSPORT, orvel::Free<VKC_KEY_TRANSPORT, VKC_KEY_TRANSPORT_free>>;

// Wipes a buffer when it goes out of scope.
struct Wipe {
  void* p;
  size_t n;
  ~Wipe() { OPENSSL_cleanse(p, n); }
};

// Every field the unwrap reads is there, with the length it reads.
bool transport_is_whole(const VKC_KEY_TRANSPORT* kt) {
  if (kt == nullptr || kt->key_info == nullptr || kt->key_agreement_info == nullptr) return false;
  const VKC_KEY_INFO* ki = kt->key_info;
  const VKC_KEY_AGREEMENT_INFO* kai = kt->key_agreement_info;
  return ki->encrypted_key != nullptr &&
         ASN1_STRING_length(ki->encrypted_key) == static_cast<int>(kPk11CekLength) &&
         ki->imit != nullptr && ASN1_STRING_length(ki->imit) >= static_cast<int>(kPk11MacLength) &&
         kai->cipher != nullptr && kai->eph_iv != nullptr &&
         ASN1_STRING_length(kai->eph_iv) >= static_cast<int>(kPk11UkmLength) &&
         ASN1_STRING_length(kai->eph_iv) <= static_cast<int>(kPk11UkmMaxLength);
}

// The sender's public value: the DER OCTET STRING inside the public key's
// bit string, decoded.
orvel::Asn1OctetStringPtr sender_public(const X509_PUBKEY* ephem) {
  const unsigned char* bits = nullptr;
  int bits_len = 0;
  if (ephem == nullptr || !X509_PUBKEY_get0_param(nullptr, &bits, &bits_len, nullptr, ephem) ||
      bits == nullptr)
    return nullptr;
  const unsigned char* p = bits;
  orvel::Asn1OctetStringPtr octet(d2i_ASN1_OCTET_STRING(nullptr, &p, bits_len));
  if (!octet || p != bits + bits_len || ASN1_STRING_length(octet.get()) <= 0) return nullptr;
  return octet;
}

// Key diversification, ECB decryption of the 32 encrypted bytes, their MAC
// with the UKM as IV and its comparison; 1 with the key in out, or 0.
int pkcs11_kek_dec(const Gost28147ParamSet* par, const unsigned char* kek, const unsigned char* ukm,
                   unsigned char* out, const unsigned char* mac, const unsigned char* enc) {
  static const char kFunc[] = "pkcs11_kek_dec";
  Pk11UnwrapFailure failure;
  if (pk11_cryptopro_unwrap(*par, kek, ukm, enc, mac, out, &failure)) return 1;
  const char* what = "Wrong MAC";
  switch (failure.step) {
    case Pk11UnwrapStep::kKdf:
      what = "GOST28147_89_KDF failed";
      break;
    case Pk11UnwrapStep::kEcbInit:
      what = "GOST28147_89_Init failed";
      break;
    case Pk11UnwrapStep::kMacInit:
      what = "GOST28147_89_Init_context failed";
      break;
    case Pk11UnwrapStep::kEcbUpdate:
    case Pk11UnwrapStep::kMacUpdate:
      what = "GOST28147_89_Update failed";
      break;
    case Pk11UnwrapStep::kEcbFinal:
    case Pk11UnwrapStep::kMacFinal:
      what = "GOST28147_89_Final failed";
      break;
    case Pk11UnwrapStep::kWrongMac:
    case Pk11UnwrapStep::kNone:
      break;
  }
  fprintf(stderr, "%s(): %s:%d . %s\n", kFunc, __FILE_NAME__, __LINE__, what);
  return 0;
}

}  // namespace

int TOKEN_PKEY_decrypt(EVP_PKEY_CTX* ctx, unsigned char* out, size_t* outlen,
                       const unsigned char* in, size_t inlen) {
  static const char kFunc[] = "TOKEN_PKEY_decrypt";
  const unsigned char* p = in;
  KeyTransportPtr kt(in != nullptr ? d2i_VKC_KEY_TRANSPORT(nullptr, &p, static_cast<long>(inlen))
                                   : nullptr);
  if (!transport_is_whole(kt.get())) {
    pkcs11_log_err("%s() 1 : d2i_VKC_KEY_TRANSPORT() failed, ret = %d", kFunc, 0);
    return -1;
  }
  if (outlen == nullptr) return -1;
  // The key is always 32 bytes; the key method leaves the room check here.
  if (out == nullptr) {
    *outlen = kPk11CekLength;
    return static_cast<int>(kPk11CekLength);
  }
  if (*outlen < kPk11CekLength) {
    pkcs11_log_err("%s() : output buffer of %zu bytes, %zu needed", kFunc, *outlen, kPk11CekLength);
    ERR_raise(ERR_LIB_EVP, EVP_R_BUFFER_TOO_SMALL);
    return -1;
  }
  const Pkcs11TokenKey* rec = pkcs11_token_key_of(EVP_PKEY_CTX_get0_pkey(ctx));
  if (rec == nullptr || rec->lib == nullptr) return -1;
  VKC_KEY_AGREEMENT_INFO* kai = kt->key_agreement_info;

  unsigned char oid_der[kPk11OidDerMax];
  const size_t oid_len = pk11_param_oid_der(kai->cipher, oid_der);
  Gost28147ParamSet* par = nullptr;
  const int32_t rc =
      oid_len != 0 ? GOST28147_89_FindParByDerOid(oid_der, static_cast<uint32_t>(oid_len), &par)
                   : -1;
  if (rc != 0 || par == nullptr) {
    pkcs11_log_err("%s() 2 : GOST28147_89_FindParByDerOid() failed, ret = %d", kFunc, rc);
    return -1;
  }

  if (kai->ephem_key == nullptr) {
    EVP_PKEY* peer = EVP_PKEY_CTX_get0_peerkey(ctx);
    if (peer == nullptr || !X509_PUBKEY_set(&kai->ephem_key, peer)) {
      pkcs11_log_err("%s() 3 : X509_PUBKEY_set() failed, ret = %d", kFunc, 0);
      return -1;
    }
    if (EVP_PKEY_CTX_ctrl(ctx, -1, -1, EVP_PKEY_CTRL_PEER_KEY, 3, nullptr) <= 0) {
      fprintf(stderr, "%s: EVP_PKEY_CTX_ctrl failed\n", kFunc);
      return -1;
    }
  }

  const unsigned char* ukm = ASN1_STRING_get0_data(kai->eph_iv);
  const size_t ukm_len = static_cast<size_t>(ASN1_STRING_length(kai->eph_iv));
  unsigned char kek[kPk11KekLength];
  Wipe wk{kek, sizeof(kek)};
  const orvel::Asn1OctetStringPtr pub = sender_public(kai->ephem_key);
  const Pk11Log sink{pkcs11_log_err, nullptr};
  const Pk11KeyRef ref{rec->lib->p11, rec->session, rec->priv, rec->key.key_nid};
  if (!pub ||
      TokenGenKek(sink, ref, oid_der, oid_len, ASN1_STRING_get0_data(pub.get()),
                  static_cast<size_t>(ASN1_STRING_length(pub.get())), ukm, ukm_len, kek) != 0) {
    pkcs11_log_err("%s() 4 : TokenGenKek() failed", kFunc);
    return -1;
  }

  const int ok = pkcs11_kek_dec(par, kek, ukm, out, ASN1_STRING_get0_data(kt->key_info->imit),
                                ASN1_STRING_get0_data(kt->key_info->encrypted_key));
  if (ok != 1) {
    pkcs11_log_err("%s() 5 : pkcs11_kek_dec() failed, ret code = %d", kFunc, ok);
    return -1;
  }
  *outlen = kPk11CekLength;
  return static_cast<int>(kPk11CekLength);
}
