#include "engines/gost/gost_keypair_ops.h"

#include <openssl/crypto.h>

#include <cstdio>
#include <cstring>

#include "engines/gost/gost_pkey_nids.h"
#include "engines/gost/gost_pkey_rnd.h"
#include "gost3410.h"
#include "gost3410_modq.h"
#include "vkc_ct.h"

namespace {

// A digest of 32 or 64 bytes; the core reads as many bytes as the key size
// (the first 32 of a 64-byte digest for 256-bit keys), so a 32-byte digest
// cannot serve a 512-bit key.
bool digest_fits(size_t dgst_len, uint32_t key_bytes) {
  return (dgst_len == 32 || dgst_len == 64) && dgst_len >= key_bytes;
}

// The crypto core's functions of one size class.
struct Size256 {
  using Par = GOSTR3410_2012_256_PAR;
  using Point = GostPoint;
  using Sig = GostSignature;
  static constexpr uint32_t kBytes = 32;
  static constexpr uint32_t kDigits = GOST256_NDIGITS;
  static constexpr const char* kName = "GOSTR3410_2012_256";
  static int find(const unsigned char* der, uint32_t len, const Par** par) {
    return GOSTR3410_2012_256_FindParByDerOid(der, len, par);
  }
  static const Par* default_par() { return GOSTR3410_2012_256_GetDefaultPar(); }
  static int keypair(const Par* par, DIGIT_T* d, Point* q) {
    return GOSTR3410_2012_256_GenerateKeyPair(par, rnd_bytes, d, q);
  }
  static int pub(const Par* par, const DIGIT_T* d, Point* q) {
    return GOSTR3410_2012_256_GeneratePublicKey(par, d, q);
  }
  static int check(const Par* par, const Point* q) {
    return GOSTR3410_2012_256_CheckPublicKey(par, q);
  }
  static int sign(const Par* par, const DIGIT_T* e, const DIGIT_T* d, Sig* s) {
    return GOSTR3410_2012_256_Sign(par, e, rnd_bytes, d, s);
  }
  static int verify(const Par* par, const DIGIT_T* e, const Point* q, const Sig* s) {
    return GOSTR3410_2012_256_Verify(par, e, q, s);
  }
  static int load_priv(const unsigned char* in, DIGIT_T* d) {
    return GOSTR3410_2012_256_LoadPrivateKeyValue(in, d);
  }
  static int unload_priv(const DIGIT_T* d, unsigned char* out) {
    return GOSTR3410_2012_256_UnloadPrivateKeyValue(d, out);
  }
  static int load_digest(const unsigned char* in, DIGIT_T* e) {
    return GOSTR3410_2012_256_LoadDigestValue(in, e);
  }
  static int load_pub(const unsigned char* in, Point* q) {
    return GOSTR3410_2012_256_LoadPublicKeyValue(in, q);
  }
  static int unload_pub(const Point* q, unsigned char* out) {
    return GOSTR3410_2012_256_UnloadPublicKeyValue(q, out);
  }
  static int load_sig(const unsigned char* in, Sig* s) {
    return GOSTR3410_2012_256_LoadSignatureValue(in, s);
  }
  static int unload_sig(const Sig* s, unsigned char* out) {
    return GOSTR3410_2012_256_UnloadSignatureValue(s, out);
  }
};

struct Size512 {
  using Par = GOSTR3410_2012_512_PAR;
  using Point = GostPoint512;
  using Sig = GostSignature512;
  static constexpr uint32_t kBytes = 64;
  static constexpr uint32_t kDigits = GOST512_NDIGITS;
  static constexpr const char* kName = "GOSTR3410_2012_512";
  static int find(const unsigned char* der, uint32_t len, const Par** par) {
    return GOSTR3410_2012_512_FindParByDerOid(der, len, par);
  }
  static const Par* default_par() { return GOSTR3410_2012_512_GetDefaultPar(); }
  static int keypair(const Par* par, DIGIT_T* d, Point* q) {
    return GOSTR3410_2012_512_GenerateKeyPair(par, rnd_bytes, d, q);
  }
  static int pub(const Par* par, const DIGIT_T* d, Point* q) {
    return GOSTR3410_2012_512_GeneratePublicKey(par, d, q);
  }
  static int check(const Par* par, const Point* q) {
    return GOSTR3410_2012_512_CheckPublicKey(par, q);
  }
  static int sign(const Par* par, const DIGIT_T* e, const DIGIT_T* d, Sig* s) {
    return GOSTR3410_2012_512_Sign(par, e, rnd_bytes, d, s);
  }
  static int verify(const Par* par, const DIGIT_T* e, const Point* q, const Sig* s) {
    return GOSTR3410_2012_512_Verify(par, e, q, s);
  }
  static int load_priv(const unsigned char* in, DIGIT_T* d) {
    return GOSTR3410_2012_512_LoadPrivateKeyValue(in, d);
  }
  static int unload_priv(const DIGIT_T* d, unsigned char* out) {
    return GOSTR3410_2012_512_UnloadPrivateKeyValue(d, out);
  }
  static int load_digest(const unsigned char* in, DIGIT_T* e) {
    return GOSTR3410_2012_512_LoadDigestValue(in, e);
  }
  static int load_pub(const unsigned char* in, Point* q) {
    return GOSTR3410_2012_512_LoadPublicKeyValue(in, q);
  }
  static int unload_pub(const Point* q, unsigned char* out) {
    return GOSTR3410_2012_512_UnloadPublicKeyValue(q, out);
  }
  static int load_sig(const unsigned char* in, Sig* s) {
    return GOSTR3410_2012_512_LoadSignatureValue(in, s);
  }
  static int unload_sig(const Sig* s, unsigned char* out) {
    return GOSTR3410_2012_512_UnloadSignatureValue(s, out);
  }
};

// Wipes a number of the core's format when it goes out of scope.
template <uint32_t N>
struct SecretNumber {
  DIGIT_T v[N] = {};
  ~SecretNumber() { OPENSSL_cleanse(v, sizeof(v)); }
};

bool is_512(const VK_GOST2012_KEYPAIR* key) { return key->priv_key_len == 64; }

// The curve record of the key's parameter set.
template <class S>
const typename S::Par* find_par(const VK_GOST2012_KEYPAIR* key, int* rc) {
  unsigned char der[32];
  uint32_t len = gost_oid_der(key->param_nid, der, sizeof(der));
  const typename S::Par* par = nullptr;
  *rc = len != 0 ? S::find(der, len, &par) : -1;
  return *rc == 0 ? par : nullptr;
}

template <class S>
int keygen(VK_GOST2012_KEYPAIR* key) {
  int rc = 0;
  const typename S::Par* par = find_par<S>(key, &rc);
  if (par == nullptr) {
    fprintf(stderr, "%s_FindParByDerOid failed, rc = 0x%x\n", S::kName, rc);
    return 0;
  }
  SecretNumber<S::kDigits> d;
  typename S::Point q{};
  if ((rc = S::keypair(par, d.v, &q)) != 0) {
    fprintf(stderr, "%s_GenerateKeyPair failed, rc = 0x%x\n", S::kName, rc);
    return 0;
  }
  if ((rc = S::unload_priv(d.v, key->priv_key)) != 0) {
    fprintf(stderr, "%s_UnloadPrivateKeyValue failed, rc = 0x%x\n", S::kName, rc);
    OPENSSL_cleanse(key->priv_key, sizeof(key->priv_key));
    return 0;
  }
  if ((rc = S::unload_pub(&q, key->pub_key)) != 0) {
    fprintf(stderr, "%s_UnloadPublicKeyValue failed, rc = 0x%x\n", S::kName, rc);
    OPENSSL_cleanse(key->priv_key, sizeof(key->priv_key));
    return 0;
  }
  key->priv_key_len = S::kBytes;
  key->pub_key_len = 2 * S::kBytes;
  if (!gost_key_id(key->pub_key, key->pub_key_len, key->key_id)) {
    fprintf(stderr, "create_private_key: pkcs11_id_gen failed\n");
    OPENSSL_cleanse(key->priv_key, sizeof(key->priv_key));
    return 0;
  }
  key->priv_present = 1;
  return 1;
}

template <class S>
int compute_public(VK_GOST2012_KEYPAIR* key) {
  int rc = 0;
  const typename S::Par* par = find_par<S>(key, &rc);
  if (par == nullptr) par = S::default_par();
  SecretNumber<S::kDigits> d;
  typename S::Point q{};
  if ((rc = S::load_priv(key->priv_key, d.v)) != 0) {
    fprintf(stderr, "%s_LoadPrivateKeyValue failed, rc = %d\n", S::kName, rc);
    return 0;
  }
  if ((rc = S::pub(par, d.v, &q)) != 0) {
    fprintf(stderr, "%s_GeneratePublicKey failed, rc = %d\n", S::kName, rc);
    return 0;
  }
  if ((rc = S::unload_pub(&q, key->pub_key)) != 0) {
    fprintf(stderr, "%s_UnloadPublicKeyValue failed, rc = %d\n", S::kName, rc);
    return 0;
  }
  key->pub_key_len = 2 * S::kBytes;
  return 1;
}

template <class S>
int sign(const unsigned char* dgst, unsigned char* sig, const VK_GOST2012_KEYPAIR* key) {
  int rc = 0;
  const typename S::Par* par = find_par<S>(key, &rc);
  if (par == nullptr) {
    fprintf(stderr, "%s_FindParByDerOid failed, rc = 0x%x\n", S::kName, rc);
    return 0;
  }
  SecretNumber<S::kDigits> d;
  typename S::Sig s{};
  DIGIT_T e[S::kDigits] = {};
  if ((rc = S::load_priv(key->priv_key, d.v)) != 0) {
    fprintf(stderr, "%s_LoadPrivateKeyValue failed, rc = 0x%x\n", S::kName, rc);
    return 0;
  }
  if ((rc = S::load_digest(dgst, e)) != 0) {
    fprintf(stderr, "%s_LoadDigestValue failed, rc = 0x%x\n", S::kName, rc);
    return 0;
  }
  if ((rc = S::sign(par, e, d.v, &s)) != 0) {
    fprintf(stderr, "%s_Sign failed, rc = 0x%x\n", S::kName, rc);
    return 0;
  }
  if ((rc = S::unload_sig(&s, sig)) != 0) {
    fprintf(stderr, "%s_UnloadSignatureValue failed, rc = 0x%x\n", S::kName, rc);
    return 0;
  }
  return 1;
}

template <class S>
int verify(const unsigned char* sig, const unsigned char* dgst, const unsigned char* der,
           uint32_t der_len, const unsigned char* pub) {
  const typename S::Par* par = nullptr;
  int rc = S::find(der, der_len, &par);
  if (rc != 0) {
    fprintf(stderr, "%s_FindParByDerOid failed, rc = 0x%x\n", S::kName, rc);
    return 0;
  }
  typename S::Point q{};
  typename S::Sig s{};
  DIGIT_T e[S::kDigits] = {};
  if ((rc = S::load_pub(pub, &q)) != 0) {
    fprintf(stderr, "%s_LoadPublicKeyValue failed, rc = 0x%x\n", S::kName, rc);
    return 0;
  }
  if ((rc = S::check(par, &q)) != 0) {
    fprintf(stderr, "%s_CheckPublicKey failed, rc = 0x%x\n", S::kName, rc);
    return 0;
  }
  if ((rc = S::load_sig(sig, &s)) != 0) {
    fprintf(stderr, "%s_LoadSignatureValue failed, rc = 0x%x\n", S::kName, rc);
    return 0;
  }
  if ((rc = S::load_digest(dgst, e)) != 0) {
    fprintf(stderr, "%s_LoadDigestValue failed, rc = 0x%x\n", S::kName, rc);
    return 0;
  }
  if ((rc = S::verify(par, e, &q, &s)) != 0) {
    fprintf(stderr, "%s_Verify failed, rc = 0x%x\n", S::kName, rc);
    return 0;
  }
  return 1;
}

bool is_zero_ct(const DIGIT_T* a, uint32_t n) {
  DIGIT_T acc = 0;
  for (uint32_t i = 0; i < n; i++) acc |= a[i];
  return acc == 0;
}

// The mask and the private key are secret: the arithmetic modulo q is the
// constant-time one of signing, not the digit layer's division and Euclid.
template <class S>
int mask(const VK_GOST2012_KEYPAIR* key, unsigned char* out) {
  int rc = 0;
  const typename S::Par* par = find_par<S>(key, &rc);
  if (par == nullptr) {
    fprintf(stderr, "%s: GOSTR3410_2012_FindParByDerOid failed, rc = %d\n", "priv_encode_gost2012",
            rc);
    return 0;
  }
  SecretNumber<S::kDigits> d, m, raw, inv, r;
  unsigned char mbytes[S::kBytes];
  // m must be invertible modulo q: draw again for m = 0 (only that outcome
  // of a draw becomes known).
  do {
    if (rnd_bytes(mbytes, S::kBytes) != 0) {
      OPENSSL_cleanse(mbytes, sizeof(mbytes));
      return 0;
    }
    S::load_priv(mbytes, raw.v);
    vkc_modq::reduce(par, m.v, raw.v);
  } while (vkc_ct::declassify(is_zero_ct(m.v, S::kDigits)));
  OPENSSL_cleanse(mbytes, sizeof(mbytes));
  S::load_priv(key->priv_key, raw.v);
  vkc_modq::reduce(par, d.v, raw.v);
  vkc_modq::inv(par, inv.v, m.v);
  vkc_modq::mul(par, r.v, d.v, inv.v);
  S::unload_priv(r.v, out);
  S::unload_priv(m.v, out + S::kBytes);
  return 1;
}

template <class S>
int unmask(VK_GOST2012_KEYPAIR* key, const unsigned char* masked) {
  int rc = 0;
  const typename S::Par* par = find_par<S>(key, &rc);
  if (par == nullptr) return 0;
  SecretNumber<S::kDigits> raw, a, m, d;
  S::load_priv(masked, raw.v);
  vkc_modq::reduce(par, a.v, raw.v);
  S::load_priv(masked + S::kBytes, raw.v);
  vkc_modq::reduce(par, m.v, raw.v);
  vkc_modq::mul(par, d.v, a.v, m.v);
  return S::unload_priv(d.v, key->priv_key) == 0;
}

}  // namespace

int vkc_gost2012_keygen_wrapper(VK_GOST2012_KEYPAIR* key) {
  if (key == nullptr) return 0;
  if (OBJ_nid2obj(key->param_nid) == nullptr || key->param_nid == NID_undef) {
    fprintf(stderr, "vkc_gost2012_keygen_wrapper: OBJ_nid2obj can't understand param_nid %d\n",
            key->param_nid);
    return 0;
  }
  if (key->key_nid == gost_nid_key_2001() || key->key_nid == gost_nid_key_2012_256())
    return keygen<Size256>(key);
  if (key->key_nid == gost_nid_key_2012_512()) return keygen<Size512>(key);
  fprintf(stderr, "vkc_gost2012_keygen_wrapper: unsupported pkey_nid %d\n", key->key_nid);
  return 0;
}

VK_GOST2012_KEYPAIR* GOST3410_generate_key(int key_nid, int param_nid) {
  const char* fn = "GOST3410_generate_key";
  VK_GOST2012_KEYPAIR* key = VK_GOST2012_KEYPAIR_new();
  if (key == nullptr) {
    fprintf(stderr, "%s: OPENSSL_malloc failed\n", fn);
    return nullptr;
  }
  if (!fill_GOST2012_params(key, key_nid, param_nid) || vkc_gost2012_keygen_wrapper(key) != 1) {
    fprintf(stderr, "%s: vkc_gost2012_keygen_wrapper failed\n", fn);
    VK_GOST2012_KEYPAIR_free(key);
    return nullptr;
  }
  return key;
}

int vkc_gost2012_compute_public_wrapper(VK_GOST2012_KEYPAIR* key) {
  if (key == nullptr) return 0;
  int ok = 0;
  if (key->priv_key_len == 32) {
    ok = compute_public<Size256>(key);
  } else if (key->priv_key_len == 64) {
    ok = compute_public<Size512>(key);
  } else {
    fprintf(stderr, "Unsupported private key length %d\n", static_cast<int>(key->priv_key_len));
  }
  if (!ok) fprintf(stderr, "gost3410_public_key_derive failed\n");
  return ok;
}

int vkc_gost2012_do_sign(const unsigned char* dgst, size_t dgst_len, unsigned char* sig,
                         size_t sig_cap, const VK_GOST2012_KEYPAIR* key) {
  if (dgst == nullptr || key == nullptr || sig == nullptr) return 0;
  if (!digest_fits(dgst_len, key->priv_key_len) ||
      sig_cap < 2 * static_cast<size_t>(key->priv_key_len))
    return 0;
  if (key->param_nid == NID_undef || OBJ_nid2obj(key->param_nid) == nullptr) {
    fprintf(stderr, "vkc_gost2012_do_sign: unsupported param_nid %d\n", key->param_nid);
    return 0;
  }
  int ok = 0;
  if (key->priv_key_len == 32) {
    ok = sign<Size256>(dgst, sig, key);
  } else if (key->priv_key_len == 64) {
    ok = sign<Size512>(dgst, sig, key);
  } else {
    fprintf(stderr, "Unsupported priv_key_len %d\n", static_cast<int>(key->priv_key_len));
    return 0;
  }
  if (!ok) fprintf(stderr, "vkc_gost2012_do_sign: gost3410_sign failed\n");
  return ok;
}

int gost3410_verify(const unsigned char* sig, size_t sig_len, const unsigned char* dgst,
                    size_t dgst_len, const unsigned char* der, uint32_t der_len,
                    const unsigned char* pub, uint32_t pub_len) {
  if (sig == nullptr || dgst == nullptr || der == nullptr || pub == nullptr) return 0;
  int ok = 0;
  if (pub_len == 64 || pub_len == 128) {
    // A signature of another size than the key's, or a digest shorter than
    // the key size, would be over-read by the core.
    if (sig_len != pub_len || !digest_fits(dgst_len, pub_len / 2)) return 0;
    ok = pub_len == 64 ? verify<Size256>(sig, dgst, der, der_len, pub)
                       : verify<Size512>(sig, dgst, der, der_len, pub);
  } else {
    fprintf(stderr, "gost3410_verify: Unsupported public key length %d\n",
            static_cast<int>(pub_len));
  }
  if (!ok) fprintf(stderr, "gost3410_verify failed\n");
  return ok;
}

int vkc_gost2012_do_verify(const unsigned char* dgst, size_t dgst_len, const unsigned char* sig,
                           size_t sig_len, const VK_GOST2012_KEYPAIR* key) {
  if (dgst == nullptr || sig == nullptr || key == nullptr) return 0;
  unsigned char der[32];
  uint32_t der_len = gost_oid_der(key->param_nid, der, sizeof(der));
  if (der_len == 0) return 0;
  return gost3410_verify(sig, sig_len, dgst, dgst_len, der, der_len, key->pub_key,
                         key->pub_key_len);
}

int gost_mask_private_key(const VK_GOST2012_KEYPAIR* key, unsigned char* out) {
  return is_512(key) ? mask<Size512>(key, out) : mask<Size256>(key, out);
}

int gost_unmask_private_key(VK_GOST2012_KEYPAIR* key, const unsigned char* masked) {
  return is_512(key) ? unmask<Size512>(key, masked) : unmask<Size256>(key, masked);
}
