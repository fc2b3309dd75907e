#include "pkcs12/pkcs12_parse.h"

#include <openssl/err.h>
#include <openssl/x509.h>

#include "ossl_ptr.h"
#include "pkcs12/pkcs12_authsafe.h"
#include "pkcs12/pkcs12_mac.h"
#include "pkcs12/pkcs12_pbe.h"

namespace {

using orvel::EvpPkeyPtr;
using orvel::X509Ptr;
using orvel::X509StackPtr;

void free_safebags(STACK_OF(PKCS12_SAFEBAG) * s) {
  sk_PKCS12_SAFEBAG_pop_free(s, PKCS12_SAFEBAG_free);
}
void free_p7s(STACK_OF(PKCS7) * s) { sk_PKCS7_pop_free(s, PKCS7_free); }
using SafeBagsPtr =
    std::unique_ptr<STACK_OF(PKCS12_SAFEBAG), orvel::Free<STACK_OF(PKCS12_SAFEBAG), free_safebags>>;
using Pkcs7StackPtr = std::unique_ptr<STACK_OF(PKCS7), orvel::Free<STACK_OF(PKCS7), free_p7s>>;
using P8Ptr = std::unique_ptr<PKCS8_PRIV_KEY_INFO,
                              orvel::Free<PKCS8_PRIV_KEY_INFO, PKCS8_PRIV_KEY_INFO_free>>;

// Nested safeContents bags deeper than this are refused.
constexpr int kMaxBagDepth = 8;

struct Found {
  EvpPkeyPtr key;
  X509StackPtr certs{sk_X509_new_null()};
};

bool parse_bags(const STACK_OF(PKCS12_SAFEBAG) * bags, const char* pass, bool want_key,
                Found* found, int depth);

bool take_key(const PKCS8_PRIV_KEY_INFO* p8, Found* found) {
  found->key.reset(EVP_PKCS82PKEY(p8));
  return static_cast<bool>(found->key);
}

// Sets the certificate's local key id and friendly name from the bag.
bool copy_cert_attributes(const PKCS12_SAFEBAG* bag, X509* x) {
  const ASN1_TYPE* lkid = PKCS12_SAFEBAG_get0_attr(bag, NID_localKeyID);
  if (lkid != nullptr && lkid->type == V_ASN1_OCTET_STRING &&
      !X509_keyid_set1(x, lkid->value.octet_string->data, lkid->value.octet_string->length))
    return false;
  const ASN1_TYPE* fname = PKCS12_SAFEBAG_get0_attr(bag, NID_friendlyName);
  if (fname != nullptr && fname->type == V_ASN1_BMPSTRING) {
    unsigned char* utf8 = nullptr;
    int len = ASN1_STRING_to_UTF8(&utf8, fname->value.bmpstring);
    orvel::BytesPtr owner(utf8);
    if (len >= 0 && !X509_alias_set1(x, utf8, len)) return false;
  }
  return true;
}

bool parse_bag(const PKCS12_SAFEBAG* bag, const char* pass, bool want_key, Found* found,
               int depth) {
  switch (PKCS12_SAFEBAG_get_nid(bag)) {
    case NID_keyBag:
      if (!want_key || found->key) return true;
      return take_key(PKCS12_SAFEBAG_get0_p8inf(bag), found);
    case NID_pkcs8ShroudedKeyBag: {
      if (!want_key || found->key) return true;
      const X509_ALGOR* alg = nullptr;
      if (const X509_SIG* sig = PKCS12_SAFEBAG_get0_pkcs8(bag); sig != nullptr)
        X509_SIG_get0(sig, &alg, nullptr);
      if (!ssf_pkcs12_pbe_ok(alg)) return false;
      P8Ptr p8(PKCS12_decrypt_skey(bag, pass, -1));
      return p8 && take_key(p8.get(), found);
    }
    case NID_certBag: {
      if (PKCS12_SAFEBAG_get_bag_nid(bag) != NID_x509Certificate) return true;
      X509Ptr x(PKCS12_SAFEBAG_get1_cert(bag));
      if (!x || !copy_cert_attributes(bag, x.get()) || !sk_X509_push(found->certs.get(), x.get()))
        return false;
      x.release();
      return true;
    }
    case NID_safeContentsBag:
      if (depth >= kMaxBagDepth) {
        ERR_raise(ERR_LIB_PKCS12, PKCS12_R_PARSE_ERROR);
        return false;
      }
      return parse_bags(PKCS12_SAFEBAG_get0_safes(bag), pass, want_key, found, depth + 1);
    default:
      // CRL and secret bags are not the caller's business.
      return true;
  }
}

bool parse_bags(const STACK_OF(PKCS12_SAFEBAG) * bags, const char* pass, bool want_key,
                Found* found, int depth) {
  for (int i = 0; i < sk_PKCS12_SAFEBAG_num(bags); ++i)
    if (!parse_bag(sk_PKCS12_SAFEBAG_value(bags, i), pass, want_key, found, depth)) return false;
  return true;
}

bool parse_auth_safes(PKCS12* p12, const char* pass, bool want_key, Found* found) {
  Pkcs7StackPtr safes(PKCS12_unpack_authsafes(p12));
  if (!safes) return false;
  for (int i = 0; i < sk_PKCS7_num(safes.get()); ++i) {
    PKCS7* p7 = sk_PKCS7_value(safes.get(), i);
    SafeBagsPtr bags;
    switch (OBJ_obj2nid(p7->type)) {
      case NID_pkcs7_data:
        bags.reset(PKCS12_unpack_p7data(p7));
        break;
      case NID_pkcs7_encrypted:
        if (p7->d.encrypted != nullptr && p7->d.encrypted->enc_data != nullptr &&
            !ssf_pkcs12_pbe_ok(p7->d.encrypted->enc_data->algorithm))
          return false;
        bags.reset(PKCS12_unpack_p7encdata(p7, pass, -1));
        break;
      default:
        continue;
    }
    if (!bags || !parse_bags(bags.get(), pass, want_key, found, 0)) return false;
  }
  return true;
}

// The password that opens the MAC (null, "" or pass), or false.
bool check_mac(PKCS12* p12, const char** pass) {
  // What keeps every MAC from being computed (no MAC data, an iteration
  // count above the limit) is reported once, before any derivation.
  if (Pkcs12MacInput in; !ssf_pkcs12_mac_input(p12, &in)) {
    ERR_raise(ERR_LIB_PKCS12, PKCS12_R_MAC_VERIFY_FAILURE);
    return false;
  }
  if (*pass == nullptr || **pass == '\0') {
    // No password and an empty one are different PKCS#12 passwords.
    if (SSF_PKCS12_verify_mac(p12, nullptr, 0)) {
      *pass = nullptr;
    } else if (SSF_PKCS12_verify_mac(p12, "", 0)) {
      *pass = "";
    } else {
      ERR_raise(ERR_LIB_PKCS12, PKCS12_R_MAC_VERIFY_FAILURE);
      return false;
    }
    return true;
  }
  if (!SSF_PKCS12_verify_mac(p12, *pass, -1)) {
    ERR_raise(ERR_LIB_PKCS12, PKCS12_R_MAC_VERIFY_FAILURE);
    return false;
  }
  return true;
}

}  // namespace

int SSF_PKCS12_parse(PKCS12* p12, const char* pass, EVP_PKEY** pkey, X509** cert,
                     STACK_OF(X509) * *ca) {
  if (pkey != nullptr) *pkey = nullptr;
  if (cert != nullptr) *cert = nullptr;
  if (p12 == nullptr) {
    ERR_raise(ERR_LIB_PKCS12, PKCS12_R_INVALID_NULL_PKCS12_POINTER);
    return 0;
  }
  if (!check_mac(p12, &pass)) return 0;
  Found found;
  if (!found.certs) {
    ERR_raise(ERR_LIB_PKCS12, ERR_R_MALLOC_FAILURE);
    return 0;
  }
  if (!parse_auth_safes(p12, pass, pkey != nullptr, &found)) {
    ERR_raise(ERR_LIB_PKCS12, PKCS12_R_PARSE_ERROR);
    return 0;
  }

  // The first certificate that matches the key is the key's; the others, in
  // file order, go to the CA list.
  X509Ptr key_cert;
  X509StackPtr others(sk_X509_new_null());
  if (!others) return 0;
  while (X509* raw = sk_X509_shift(found.certs.get())) {
    X509Ptr x(raw);
    if (found.key && cert != nullptr && !key_cert) {
      ERR_set_mark();
      int match = X509_check_private_key(x.get(), found.key.get());
      ERR_pop_to_mark();
      if (match == 1) {
        key_cert = std::move(x);
        continue;
      }
    }
    if (ca != nullptr) {
      if (!sk_X509_push(others.get(), x.get())) return 0;
      x.release();
    }
  }
  if (ca != nullptr && sk_X509_num(others.get()) > 0) {
    bool created = *ca == nullptr;
    if (created && (*ca = sk_X509_new_null()) == nullptr) return 0;
    const int before = sk_X509_num(*ca);
    while (X509* raw = sk_X509_shift(others.get())) {
      if (!sk_X509_push(*ca, raw)) {
        X509_free(raw);
        // Leave the caller's list as it was.
        while (sk_X509_num(*ca) > before) X509_free(sk_X509_pop(*ca));
        if (created) {
          sk_X509_free(*ca);
          *ca = nullptr;
        }
        ERR_raise(ERR_LIB_PKCS12, ERR_R_MALLOC_FAILURE);
        return 0;
      }
    }
  }
  if (pkey != nullptr) *pkey = found.key.release();
  if (cert != nullptr) *cert = key_cert.release();
  return 1;
}
