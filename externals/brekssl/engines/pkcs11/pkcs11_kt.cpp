// Key-transport decryption with the engine's token keys: the provider's
// token decryption (VKO on the token, CryptoPro unwrap in software) over the
// key's token fields; a transport without an ephemeral key takes the
// context's peer key.
#include <openssl/crypto.h>
#include <openssl/x509.h>

#include <memory>

#include "engines/gost/gost_kt_asn1.h"
#include "engines/pkcs11/pkcs11_engine.h"
#include "ossl_ptr.h"
#include "token_context.h"

namespace {

using KeyTransportPtr =
    std::unique_ptr<VKC_KEY_TRANSPORT, orvel::Free<VKC_KEY_TRANSPORT, VKC_KEY_TRANSPORT_free>>;

}  // namespace

int TOKEN_PKEY_decrypt(EVP_PKEY_CTX* ctx, unsigned char* out, size_t* outlen,
                       const unsigned char* in, size_t inlen) {
  static const char kFunc[] = "TOKEN_PKEY_decrypt";
  const unsigned char* p = in;
  KeyTransportPtr kt(in != nullptr
                         ? d2i_VKC_KEY_TRANSPORT(nullptr, &p, static_cast<long>(inlen))
                         : nullptr);
  if (!kt || kt->key_info == nullptr || kt->key_info->encrypted_key == nullptr ||
      kt->key_agreement_info == nullptr) {
    pkcs11_log_err("%s() 1 : d2i_VKC_KEY_TRANSPORT() failed, ret = %d", kFunc, 0);
    return -1;
  }
  if (out == nullptr) {
    const int n = ASN1_STRING_length(kt->key_info->encrypted_key);
    if (outlen != nullptr) *outlen = static_cast<size_t>(n);
    return n;
  }
  const Pkcs11TokenKey* rec = pkcs11_token_key_of(EVP_PKEY_CTX_get0_pkey(ctx));
  if (rec == nullptr || rec->lib == nullptr) return -1;
  std::vector<unsigned char> transport(in, in + inlen);
  if (kt->key_agreement_info->ephem_key == nullptr) {
    EVP_PKEY* peer = EVP_PKEY_CTX_get0_peerkey(ctx);
    if (peer == nullptr ||
        !X509_PUBKEY_set(&kt->key_agreement_info->ephem_key, peer)) {
      pkcs11_log_err("%s() 3 : X509_PUBKEY_set() failed, ret = %d", kFunc, 0);
      return -1;
    }
    if (EVP_PKEY_CTX_ctrl(ctx, -1, -1, EVP_PKEY_CTRL_PEER_KEY, 3, nullptr) <= 0) {
      fprintf(stderr, "%s: EVP_PKEY_CTX_ctrl failed\n", kFunc);
      return -1;
    }
    unsigned char* der = nullptr;
    const int n = i2d_VKC_KEY_TRANSPORT(kt.get(), &der);
    if (n <= 0) return -1;
    transport.assign(der, der + n);
    OPENSSL_free(der);
  }
  TokenKeyContext token{rec->lib->p11, rec->session, rec->priv, rec->key.key_nid};
  const int rc = TOKEN_PKEY_decrypt(out, transport.data(), transport.size(), &token);
  if (rc != 32) {
    pkcs11_log_err("%s() 5 : pkcs11_kek_dec() failed, ret code = %d", kFunc, rc);
    if (outlen != nullptr) *outlen = 0;
    return -1;
  }
  if (outlen != nullptr) *outlen = 32;
  return 32;
}
