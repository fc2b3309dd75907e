#include "password.h"

#include <openssl/evp.h>
#include <openssl/objects.h>

#include <vector>

#include "base64.h"
#include "log.h"
#include "ossl_ptr.h"

namespace {

// The one key of profile passwords, used for the cipher and for the MAC.
constexpr unsigned char kPasswordKey[32] = {
    0x5a, 0x1c, 0x9e, 0x37, 0xb0, 0x4d, 0x82, 0xf6, 0xe9, 0x13, 0xc5, 0xa7, 0xd0, 0x2b, 0x6f, 0x48,
    0xa7, 0xe3, 0x1d, 0x9c, 0x64, 0xb0, 0xf2, 0x58, 0x73, 0xac, 0x1e, 0x9d, 0x40, 0xb7, 0xc2, 0x6f};
constexpr int kIvLen = 8;
constexpr int kMacLen = 4;
// Control codes of the GOST cipher and MAC objects: parameter set, MAC key.
constexpr int kCtrlSetParamSet = 0x1001;
constexpr int kCtrlSetMacKey = 0x1004;
// id-tc26-gost-28147-param-Z.
constexpr char kParamZ[] = "1.2.643.7.1.2.5.1.1";

// Bytes wiped when they go.
class SecretBytes {
 public:
  explicit SecretBytes(size_t n) : v_(n) {}
  ~SecretBytes() {
    if (!v_.empty()) OPENSSL_cleanse(v_.data(), v_.size());
  }
  SecretBytes(const SecretBytes&) = delete;
  SecretBytes& operator=(const SecretBytes&) = delete;
  unsigned char* data() { return v_.data(); }
  size_t size() const { return v_.size(); }

 private:
  std::vector<unsigned char> v_;
};

// The GOST objects come from the "gost" engine; they are found by name.
const EVP_CIPHER* gost_cipher() {
  const EVP_CIPHER* c = EVP_get_cipherbyname(SN_id_Gost28147_89);
  return c != nullptr ? c : EVP_get_cipherbynid(NID_id_Gost28147_89);
}

const EVP_MD* gost_mac() {
  const EVP_MD* m = EVP_get_digestbyname(SN_id_Gost28147_89_MAC);
  return m != nullptr ? m : EVP_get_digestbynid(NID_id_Gost28147_89_MAC);
}

bool decrypt(const EVP_CIPHER* cipher, int param_nid, const unsigned char* iv,
             const unsigned char* in, int len, unsigned char* out) {
  orvel::EvpCipherCtxPtr ctx(EVP_CIPHER_CTX_new());
  int n = 0, m = 0;
  return ctx && EVP_DecryptInit_ex(ctx.get(), cipher, nullptr, nullptr, nullptr) == 1 &&
         EVP_CIPHER_CTX_ctrl(ctx.get(), kCtrlSetParamSet, param_nid, nullptr) > 0 &&
         EVP_DecryptInit_ex(ctx.get(), nullptr, nullptr, kPasswordKey, iv) == 1 &&
         EVP_CIPHER_CTX_set_padding(ctx.get(), 0) == 1 &&
         (len == 0 || EVP_DecryptUpdate(ctx.get(), out, &n, in, len) == 1) &&
         EVP_DecryptFinal_ex(ctx.get(), out + n, &m) == 1 && n + m == len;
}

bool mac(const EVP_MD* md, int param_nid, const unsigned char* iv, const unsigned char* text,
         size_t len, unsigned char out[EVP_MAX_MD_SIZE], unsigned int* out_len) {
  orvel::EvpMdCtxPtr ctx(EVP_MD_CTX_new());
  return ctx && EVP_DigestInit_ex(ctx.get(), md, nullptr) == 1 &&
         EVP_MD_CTX_ctrl(ctx.get(), kCtrlSetParamSet, param_nid, nullptr) > 0 &&
         EVP_MD_CTX_ctrl(ctx.get(), kCtrlSetMacKey, sizeof kPasswordKey,
                         const_cast<unsigned char*>(kPasswordKey)) > 0 &&
         EVP_DigestInit_ex(ctx.get(), md, nullptr) == 1 &&
         EVP_DigestUpdate(ctx.get(), iv, kIvLen) == 1 &&
         (len == 0 || EVP_DigestUpdate(ctx.get(), text, len) == 1) &&
         EVP_DigestFinal_ex(ctx.get(), out, out_len) == 1;
}

}  // namespace

char* DecryptPassword(const char* blob) {
  static const char kFunc[] = "DecryptPassword";
  if (blob == nullptr) return nullptr;
  SsfDataBlob in;
  in.pbData = reinterpret_cast<unsigned char*>(const_cast<char*>(blob));
  in.cbData = static_cast<SsfInt>(strnlen(blob, 1 << 20));
  SsfDataBlob raw;
  if (in.cbData == 0 || base64_decode(&raw, &in, 1) != 0) {
    // The text may be a plain password given by mistake, and a blob opens
    // with the library's own key: only its length is written.
    log_err("%s() 1 : base64_decode() failed for a text of %d characters", kFunc,
            static_cast<int>(in.cbData));
    return nullptr;
  }
  orvel::BytesPtr raw_owner(raw.pbData);
  const int text_len = raw.cbData - kIvLen - kMacLen;
  log_write("%s() : password len = %d", kFunc, text_len);
  // A ciphertext longer than the longest password is refused as well.
  if (text_len < 0 || text_len > kMaxPasswordLen) {
    log_err("%s() 2 : wrong password len from a text of %d characters", kFunc,
            static_cast<int>(in.cbData));
    return nullptr;
  }
  const EVP_CIPHER* cipher = gost_cipher();
  const EVP_MD* md = gost_mac();
  const int param_nid = OBJ_txt2nid(kParamZ);
  if (cipher == nullptr || md == nullptr || param_nid == NID_undef) {
    log_err("%s() : GOST 28147-89 cipher or MAC not available", kFunc);
    return nullptr;
  }
  const unsigned char* iv = raw.pbData;
  const unsigned char* expected_mac = raw.pbData + kIvLen + text_len;
  SecretBytes plain(static_cast<size_t>(text_len) + 1);
  if (!decrypt(cipher, param_nid, iv, raw.pbData + kIvLen, text_len, plain.data())) {
    log_err("%s() : password decryption failed", kFunc);
    print_brekssl_errors();
    return nullptr;
  }
  plain.data()[text_len] = 0;
  const size_t len = strlen(reinterpret_cast<const char*>(plain.data()));
  unsigned char tag[EVP_MAX_MD_SIZE];
  unsigned int tag_len = 0;
  if (!mac(md, param_nid, iv, plain.data(), len, tag, &tag_len) || tag_len < kMacLen ||
      CRYPTO_memcmp(tag, expected_mac, kMacLen) != 0) {
    log_err("%s() 3 : imito does not match", kFunc);
    return nullptr;
  }
  auto* out = static_cast<char*>(OPENSSL_malloc(len + 1));
  if (out == nullptr) return nullptr;
  memcpy(out, plain.data(), len + 1);
  return out;
}
