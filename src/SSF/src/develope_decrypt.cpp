#include "develope_decrypt.h"

#include <openssl/err.h>
#include <openssl/objects.h>

#include <vector>

#include "log.h"
#include "ossl_ptr.h"
#include "token_keys.h"

namespace {

// The first RecipientInfo issued for the certificate, or null.
PKCS7_RECIP_INFO* find_recipient(STACK_OF(PKCS7_RECIP_INFO) * infos, X509* cert) {
  for (int i = 0; i < sk_PKCS7_RECIP_INFO_num(infos); ++i) {
    PKCS7_RECIP_INFO* ri = sk_PKCS7_RECIP_INFO_value(infos, i);
    if (ri == nullptr || ri->issuer_and_serial == nullptr) continue;
    if (X509_NAME_cmp(ri->issuer_and_serial->issuer, X509_get_issuer_name(cert)) == 0 &&
        ASN1_INTEGER_cmp(ri->issuer_and_serial->serial, X509_get0_serialNumber(cert)) == 0)
      return ri;
  }
  return nullptr;
}

// Key bytes that are wiped when they go.
struct SecretBytes {
  explicit SecretBytes(size_t n) : bytes(n) {}
  ~SecretBytes() { OPENSSL_cleanse(bytes.data(), bytes.size()); }
  std::vector<unsigned char> bytes;
};

}  // namespace

int SSF_EVP_PKEY_decrypt(unsigned char* dec_key, size_t capacity, const unsigned char* enc_key,
                         int enc_key_len, EVP_PKEY* private_key) {
  static const char kFunc[] = "SSF_EVP_PKEY_decrypt";
  dbg("%s() begin, dec_key = 0x%p, enc_key = 0x%p, enc_key_len = %d, private_key = 0x%p", kFunc,
      static_cast<void*>(dec_key), static_cast<const void*>(enc_key), enc_key_len,
      static_cast<void*>(private_key));
  int ret = -1;
  [&] {
    if (dec_key == nullptr || capacity < size_t(kContentKeyLen) || enc_key == nullptr ||
        enc_key_len <= 0 || private_key == nullptr)
      return;
    orvel::EvpPkeyCtxPtr ctx(EVP_PKEY_CTX_new(private_key, nullptr));
    if (!ctx) {
      log_err("%s() 1 : EVP_PKEY_CTX_new() failed", kFunc);
      print_brekssl_errors();
      return;
    }
    if (EVP_PKEY_decrypt_init(ctx.get()) <= 0) {
      log_err("%s() 2 : EVP_PKEY_decrypt_init() failed", kFunc);
      print_brekssl_errors();
      return;
    }
    size_t size = 0;
    if (EVP_PKEY_decrypt(ctx.get(), nullptr, &size, enc_key, size_t(enc_key_len)) <= 0) {
      log_err("%s() 3 : EVP_PKEY_decrypt() failed", kFunc);
      print_brekssl_errors();
      return;
    }
    // Only a key transport that yields the 32-byte content key is taken;
    // an RSA key answers with its modulus size and is refused here.
    if (size != size_t(kContentKeyLen)) {
      log_err("%s() 4 : dec_key_size is %d, not %d", kFunc, static_cast<int>(size), kContentKeyLen);
      return;
    }
    size_t out_len = size;
    if (EVP_PKEY_decrypt(ctx.get(), dec_key, &out_len, enc_key, size_t(enc_key_len)) <= 0) {
      log_err("%s() 5 : EVP_PKEY_decrypt() failed", kFunc);
      print_brekssl_errors();
      return;
    }
    if (out_len != size_t(kContentKeyLen)) {
      log_err("%s() 4 : dec_key_size is %d, not %d", kFunc, static_cast<int>(out_len),
              kContentKeyLen);
      return;
    }
    ret = kContentKeyLen;
  }();
  dbg("%s() end, return code = %d", kFunc, ret);
  return ret;
}

BIO* my_PKCS7_decrypt(PKCS7* p7, EVP_PKEY* private_key, X509* cert) {
  if (p7 == nullptr || private_key == nullptr || cert == nullptr || !PKCS7_type_is_enveloped(p7) ||
      p7->d.enveloped == nullptr || p7->d.enveloped->enc_data == nullptr ||
      p7->d.enveloped->enc_data->algorithm == nullptr) {
    ERR_raise(ERR_LIB_PKCS7, PKCS7_R_WRONG_CONTENT_TYPE);
    return nullptr;
  }
  PKCS7_ENC_CONTENT* enc = p7->d.enveloped->enc_data;
  const int nid = OBJ_obj2nid(enc->algorithm->algorithm);
  const char* sn = nid != NID_undef ? OBJ_nid2sn(nid) : nullptr;
  const EVP_CIPHER* cipher = sn != nullptr ? EVP_get_cipherbyname(sn) : nullptr;
  if (cipher == nullptr) {
    ERR_raise(ERR_LIB_PKCS7, PKCS7_R_UNSUPPORTED_CIPHER_TYPE);
    return nullptr;
  }
  orvel::BioPtr cipher_bio(BIO_new(BIO_f_cipher()));
  if (!cipher_bio) {
    ERR_raise(ERR_LIB_PKCS7, ERR_R_BIO_LIB);
    return nullptr;
  }
  PKCS7_RECIP_INFO* ri = find_recipient(p7->d.enveloped->recipientinfo, cert);
  if (ri == nullptr || ri->enc_key == nullptr) {
    ERR_raise(ERR_LIB_PKCS7, PKCS7_R_NO_RECIPIENT_MATCHES_CERTIFICATE);
    return nullptr;
  }
  // The key's size plus 10 bytes, and never less than the content key.
  const int key_size = EVP_PKEY_get_size(private_key);
  SecretBytes key(size_t(key_size > kContentKeyLen ? key_size : kContentKeyLen) + 10);
  // GOST keys on a token derive on the token. Other keys go through their
  // key method; RSA keys, on a token or not, are refused by the size check.
  int key_len = -1;
  TokenKeyContext* token = IsTokenPkey(private_key) ? GetTokenPkey(private_key) : nullptr;
  if (token != nullptr) {
    key_len = TOKEN_PKEY_decrypt(key.bytes.data(), ri->enc_key->data,
                                 size_t(ri->enc_key->length > 0 ? ri->enc_key->length : 0), token);
  } else {
    key_len = SSF_EVP_PKEY_decrypt(key.bytes.data(), key.bytes.size(), ri->enc_key->data,
                                   ri->enc_key->length, private_key);
  }
  if (key_len < 1) {
    ERR_raise(ERR_LIB_PKCS7, ERR_R_EVP_LIB);
    return nullptr;
  }

  EVP_CIPHER_CTX* ctx = nullptr;  // owned by the cipher BIO
  if (BIO_get_cipher_ctx(cipher_bio.get(), &ctx) <= 0 || ctx == nullptr ||
      EVP_CipherInit_ex(ctx, cipher, nullptr, nullptr, nullptr, 0) <= 0 ||
      enc->algorithm->parameter == nullptr ||
      EVP_CIPHER_asn1_to_param(ctx, enc->algorithm->parameter) <= 0)
    return nullptr;
  if (key_len != EVP_CIPHER_CTX_get_key_length(ctx) &&
      EVP_CIPHER_CTX_set_key_length(ctx, key_len) <= 0) {
    ERR_raise_data(ERR_LIB_PKCS7, PKCS7_R_DECRYPT_ERROR, "decrypted key is wrong length");
    return nullptr;
  }
  if (EVP_CipherInit_ex(ctx, nullptr, nullptr, key.bytes.data(), nullptr, 0) <= 0) return nullptr;

  // The encrypted content; an empty one reads as an empty memory BIO.
  ASN1_OCTET_STRING* data = enc->enc_data;
  if (data == nullptr) {
    ERR_raise(ERR_LIB_PKCS7, PKCS7_R_NO_CONTENT);
    return nullptr;
  }
  orvel::BioPtr source(data->length > 0 ? BIO_new_mem_buf(data->data, data->length)
                                        : BIO_new(BIO_s_mem()));
  if (!source) {
    ERR_raise(ERR_LIB_PKCS7, ERR_R_BIO_LIB);
    return nullptr;
  }
  BIO_set_mem_eof_return(source.get(), 0);
  BIO_push(cipher_bio.get(), source.release());
  return cipher_bio.release();
}
