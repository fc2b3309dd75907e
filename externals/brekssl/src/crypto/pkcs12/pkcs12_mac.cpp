#include "pkcs12/pkcs12_mac.h"

#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/rand.h>

#include <cstring>
#include <vector>

#include "objects/ssf_objects.h"
#include "pkcs12/pkcs12_authsafe.h"
#include "pkcs12/pkcs12_kdf.h"

namespace {

// PBKDF2 output of the TC26 scheme and the HMAC key at its end.
constexpr size_t kTc26DerivedLen = 96;
constexpr size_t kTc26KeyLen = 32;
// Salt drawn when the caller gives no length.
constexpr int kDefaultSaltLen = 32;

bool is_gost_digest(int nid) {
  return nid != NID_undef && (nid == NID_id_GostR3411_94 || nid == ssf_nid_md_gost12_256() ||
                              nid == ssf_nid_md_gost12_512());
}

bool same_mac(const PKCS12* p12, const unsigned char* mac, unsigned int mac_len) {
  const ASN1_OCTET_STRING* stored = nullptr;
  PKCS12_get0_mac(&stored, nullptr, nullptr, nullptr, p12);
  return stored != nullptr && static_cast<unsigned int>(ASN1_STRING_length(stored)) == mac_len &&
         CRYPTO_memcmp(ASN1_STRING_get0_data(stored), mac, mac_len) == 0;
}

// The password as a big-endian BMPString with its two-byte terminator;
// text that is not UTF-8 is taken byte by byte, as the toolkit does.
class BmpPassword {
 public:
  BmpPassword() = default;
  ~BmpPassword() { OPENSSL_clear_free(bytes_, static_cast<size_t>(len_)); }
  BmpPassword(const BmpPassword&) = delete;
  BmpPassword& operator=(const BmpPassword&) = delete;
  bool set(const char* pass, int passlen) {
    if (pass == nullptr) return true;
    return OPENSSL_utf82uni(pass, passlen, &bytes_, &len_) != nullptr;
  }
  const unsigned char* data() const { return bytes_; }
  size_t size() const { return static_cast<size_t>(len_); }

 private:
  unsigned char* bytes_ = nullptr;
  int len_ = 0;
};

}  // namespace

int SSF_PKCS12_gen_mac(PKCS12* p12, const char* pass, int passlen, unsigned char* mac,
                       unsigned int* maclen) {
  Pkcs12MacInput in;
  if (!ssf_pkcs12_mac_input(p12, &in)) return 0;
  BmpPassword bmp;
  if (!bmp.set(pass, passlen)) {
    ERR_raise(ERR_LIB_PKCS12, PKCS12_R_KEY_GEN_ERROR);
    return 0;
  }
  unsigned char key[EVP_MAX_MD_SIZE];
  size_t key_len = static_cast<size_t>(EVP_MD_get_size(in.md));
  bool ok = ssf_pkcs12_kdf(in.md, bmp.data(), bmp.size(), in.salt, in.salt_len, PKCS12_MAC_ID,
                           in.iter, key, key_len);
  if (!ok) {
    ERR_raise(ERR_LIB_PKCS12, PKCS12_R_KEY_GEN_ERROR);
  } else if (!(ok = ssf_hmac(in.md, key, key_len, in.data, in.data_len, mac, maclen))) {
    ERR_raise(ERR_LIB_PKCS12, PKCS12_R_MAC_GENERATION_ERROR);
  }
  OPENSSL_cleanse(key, sizeof(key));
  return ok ? 1 : 0;
}

int SSF_PKCS12_gen_mac_tc26_v1(PKCS12* p12, const char* pass, int passlen, unsigned char* mac,
                               unsigned int* maclen) {
  Pkcs12MacInput in;
  if (!ssf_pkcs12_mac_input(p12, &in)) return 0;
  const bool given = pass != nullptr;
  if (pass == nullptr) {
    pass = "";
    passlen = 0;
  } else if (passlen < 0) {
    passlen = static_cast<int>(std::strlen(pass));
  }
  unsigned char derived[kTc26DerivedLen];
  if (!ssf_pbkdf2_hmac(in.md, reinterpret_cast<const unsigned char*>(pass),
                       static_cast<size_t>(passlen), in.salt, in.salt_len, in.iter, derived,
                       sizeof(derived))) {
    OPENSSL_cleanse(derived, sizeof(derived));
    if (given) ERR_raise(ERR_LIB_PKCS12, PKCS12_R_KEY_GEN_ERROR);
    return 0;
  }
  // A failing HMAC is a failure too, not a MAC of whatever the buffer held.
  bool ok = ssf_hmac(in.md, derived + kTc26DerivedLen - kTc26KeyLen, kTc26KeyLen, in.data,
                     in.data_len, mac, maclen);
  OPENSSL_cleanse(derived, sizeof(derived));
  if (!ok) ERR_raise(ERR_LIB_PKCS12, PKCS12_R_MAC_GENERATION_ERROR);
  return ok ? 1 : 0;
}

int SSF_PKCS12_verify_mac(PKCS12* p12, const char* pass, int passlen) {
  if (p12 == nullptr || !PKCS12_mac_present(p12)) {
    ERR_raise(ERR_LIB_PKCS12, PKCS12_R_MAC_ABSENT);
    return 0;
  }
  unsigned char mac[EVP_MAX_MD_SIZE];
  unsigned int mac_len = 0;
  if (!SSF_PKCS12_gen_mac(p12, pass, passlen, mac, &mac_len)) {
    ERR_raise(ERR_LIB_PKCS12, PKCS12_R_MAC_GENERATION_ERROR);
    return 0;
  }
  if (same_mac(p12, mac, mac_len)) return 1;

  // Only a GOST R 34.11 MAC may have been made with the TC26 scheme.
  const X509_ALGOR* alg = nullptr;
  PKCS12_get0_mac(nullptr, &alg, nullptr, nullptr, p12);
  const ASN1_OBJECT* md_obj = nullptr;
  X509_ALGOR_get0(&md_obj, nullptr, nullptr, alg);
  if (!is_gost_digest(OBJ_obj2nid(md_obj))) return 0;
  if (!SSF_PKCS12_gen_mac_tc26_v1(p12, pass, passlen, mac, &mac_len)) {
    if (pass != nullptr) ERR_raise(ERR_LIB_PKCS12, PKCS12_R_MAC_GENERATION_ERROR);
    return 0;
  }
  return same_mac(p12, mac, mac_len) ? 1 : 0;
}

int SSF_PKCS12_setup_mac(PKCS12* p12, int iter, const unsigned char* salt, int saltlen,
                         const EVP_MD* md) {
  if (p12 == nullptr || md == nullptr || saltlen < 0) {
    ERR_raise(ERR_LIB_PKCS12, PKCS12_R_INVALID_NULL_ARGUMENT);
    return 0;
  }
  if (saltlen == 0) saltlen = kDefaultSaltLen;
  std::vector<unsigned char> drawn;
  if (salt == nullptr) {
    drawn.resize(static_cast<size_t>(saltlen));
    if (RAND_bytes(drawn.data(), saltlen) <= 0) return 0;
    salt = drawn.data();
  }
  // The toolkit stores the iteration count only above 1 and writes the
  // digest's identifier with a NULL parameter; given a salt it copies it.
  return PKCS12_setup_mac(p12, iter, const_cast<unsigned char*>(salt), saltlen, md) == 1 ? 1 : 0;
}

int SSF_PKCS12_set_mac(PKCS12* p12, const char* pass, int passlen, const unsigned char* salt,
                       int saltlen, int iter, const EVP_MD* md) {
  if (md == nullptr) md = EVP_sha1();
  if (!SSF_PKCS12_setup_mac(p12, iter, salt, saltlen, md)) {
    ERR_raise(ERR_LIB_PKCS12, PKCS12_R_MAC_SETUP_ERROR);
    return 0;
  }
  unsigned char mac[EVP_MAX_MD_SIZE];
  unsigned int mac_len = 0;
  if (is_gost_digest(EVP_MD_get_type(md))) {
    if (!SSF_PKCS12_gen_mac_tc26_v1(p12, pass, passlen, mac, &mac_len)) {
      ERR_raise(ERR_LIB_PKCS12, PKCS12_R_KEY_GEN_ERROR);
      return 0;
    }
  } else if (!SSF_PKCS12_gen_mac(p12, pass, passlen, mac, &mac_len)) {
    ERR_raise(ERR_LIB_PKCS12, PKCS12_R_MAC_GENERATION_ERROR);
    return 0;
  }
  // The MAC data belongs to p12; the toolkit only hands it out read-only.
  const ASN1_OCTET_STRING* stored = nullptr;
  PKCS12_get0_mac(&stored, nullptr, nullptr, nullptr, p12);
  if (stored == nullptr || !ASN1_OCTET_STRING_set(const_cast<ASN1_OCTET_STRING*>(stored), mac,
                                                  static_cast<int>(mac_len))) {
    ERR_raise(ERR_LIB_PKCS12, PKCS12_R_MAC_STRING_SET_ERROR);
    return 0;
  }
  return 1;
}
