// Constant-time check, run under valgrind's memcheck: private keys, the
// random source's output and the masks are marked undefined, so a branch or
// a memory index that depends on them is reported as a use of an
// uninitialised value, which --error-exitcode makes fatal. Values that are
// public by design (public keys, signatures, digests) are marked defined
// again before they are compared; the code under test declares the few values
// it makes public on purpose (vkc_ct::declassify).
//
// Covered: GOST R 34.10-2012 key generation and signing of both sizes, the
// key glue of the "gost" engine (key generation, public value, signing,
// masking and unmasking of private keys) and the OMAC subkeys of the
// GOST R 34.13-2015 MAC. The table S-boxes of the block ciphers and of the
// hash are left out (they index tables by secret bytes by design), so the
// check never encrypts with a secret key.
#include <openssl/objects.h>
#include <openssl/rand.h>
#include <valgrind/memcheck.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "engines/gost/gost_keypair.h"
#include "engines/gost/gost_keypair_ops.h"
#include "gost3410.h"
#include "gost3413_util.h"
#include "objects/ssf_objects.h"

namespace {

void secret(const void* p, size_t n) { VALGRIND_MAKE_MEM_UNDEFINED(p, n); }
void make_public(const void* p, size_t n) { VALGRIND_MAKE_MEM_DEFINED(p, n); }

int g_passed = 0;
int g_failed = 0;

void check(bool ok, const char* what, const char* set) {
  if (ok) {
    ++g_passed;
  } else {
    ++g_failed;
    fprintf(stderr, "FAILED: %s (%s)\n", what, set);
  }
}

// Deterministic bytes (splitmix64): the run is the same every time.
uint64_t g_state = 0x243f6a8885a308d3ull;
uint64_t next_word() {
  uint64_t z = (g_state += 0x9e3779b97f4a7c15ull);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
  return z ^ (z >> 31);
}
void fill(unsigned char* buf, size_t len) {
  for (size_t i = 0; i < len; i++) buf[i] = static_cast<unsigned char>(next_word());
}

// The random source of the core functions: its bytes are secret.
int secret_rnd(unsigned char* buf, uint32_t len) {
  fill(buf, len);
  secret(buf, len);
  return 0;
}

// The toolkit's random source, which the engine glue draws from: the same.
int rand_bytes(unsigned char* buf, int num) {
  if (num < 0) return 0;
  return secret_rnd(buf, static_cast<uint32_t>(num)) == 0 ? 1 : 0;
}
int rand_status() { return 1; }
const RAND_METHOD kSecretRand = {nullptr, rand_bytes, nullptr, nullptr, rand_bytes, rand_status};

// The crypto core's functions of one size class.
struct Core256 {
  using Par = GOSTR3410_2012_256_PAR;
  using Point = GostPoint;
  using Sig = GostSignature;
  static constexpr uint32_t kDigits = GOST256_NDIGITS;
  static constexpr uint32_t kBytes = 32;
  static int find(const char* name, const Par** par) {
    return GOSTR3410_2012_256_FindParByOidName(name, par);
  }
  static int keypair(const Par* par, DIGIT_T* d, Point* q) {
    return GOSTR3410_2012_256_GenerateKeyPair(par, secret_rnd, d, q);
  }
  static int pub(const Par* par, const DIGIT_T* d, Point* q) {
    return GOSTR3410_2012_256_GeneratePublicKey(par, d, q);
  }
  static int sign(const Par* par, const DIGIT_T* e, const DIGIT_T* d, Sig* s) {
    return GOSTR3410_2012_256_Sign(par, e, secret_rnd, d, s);
  }
  static int verify(const Par* par, const DIGIT_T* e, const Point* q, const Sig* s) {
    return GOSTR3410_2012_256_Verify(par, e, q, s);
  }
  static int load_digest(const unsigned char* in, DIGIT_T* e) {
    return GOSTR3410_2012_256_LoadDigestValue(in, e);
  }
};

struct Core512 {
  using Par = GOSTR3410_2012_512_PAR;
  using Point = GostPoint512;
  using Sig = GostSignature512;
  static constexpr uint32_t kDigits = GOST512_NDIGITS;
  static constexpr uint32_t kBytes = 64;
  static int find(const char* name, const Par** par) {
    return GOSTR3410_2012_512_FindParByOidName(name, par);
  }
  static int keypair(const Par* par, DIGIT_T* d, Point* q) {
    return GOSTR3410_2012_512_GenerateKeyPair(par, secret_rnd, d, q);
  }
  static int pub(const Par* par, const DIGIT_T* d, Point* q) {
    return GOSTR3410_2012_512_GeneratePublicKey(par, d, q);
  }
  static int sign(const Par* par, const DIGIT_T* e, const DIGIT_T* d, Sig* s) {
    return GOSTR3410_2012_512_Sign(par, e, secret_rnd, d, s);
  }
  static int verify(const Par* par, const DIGIT_T* e, const Point* q, const Sig* s) {
    return GOSTR3410_2012_512_Verify(par, e, q, s);
  }
  static int load_digest(const unsigned char* in, DIGIT_T* e) {
    return GOSTR3410_2012_512_LoadDigestValue(in, e);
  }
};

constexpr int kRounds = 2;

// Key generation, public key from the private key, signing: the exported
// functions of the crypto core.
template <class S>
void core(const char* set) {
  const typename S::Par* par = nullptr;
  check(S::find(set, &par) == 0 && par != nullptr, "curve look-up", set);
  if (par == nullptr) return;
  for (int round = 0; round < kRounds; round++) {
    DIGIT_T d[S::kDigits];
    typename S::Point q{}, q2{};
    const int rc = S::keypair(par, d, &q);
    make_public(&q, sizeof q);
    check(rc == 0, "GenerateKeyPair", set);
    // The private key marked secret again: generation may declare nothing
    // about it.
    secret(d, sizeof d);
    check(S::pub(par, d, &q2) == 0, "GeneratePublicKey", set);
    make_public(&q2, sizeof q2);
    check(memcmp(&q, &q2, sizeof q) == 0, "public key from the private key", set);

    unsigned char digest[S::kBytes];
    fill(digest, sizeof digest);
    DIGIT_T e[S::kDigits];
    S::load_digest(digest, e);
    typename S::Sig sig{};
    const int src = S::sign(par, e, d, &sig);
    make_public(&sig, sizeof sig);
    check(src == 0, "Sign", set);
    check(S::verify(par, e, &q, &sig) == 0, "signature verifies", set);
  }
}

// The engine's key glue on a key object: generation, public value, signing,
// masking and unmasking.
void glue(int key_nid, int param_nid, const char* set) {
  VK_GOST2012_KEYPAIR* key = VK_GOST2012_KEYPAIR_new();
  VK_GOST2012_KEYPAIR* other = VK_GOST2012_KEYPAIR_new();
  check(key != nullptr && other != nullptr && fill_GOST2012_params(key, key_nid, param_nid) == 1,
        "key object", set);
  if (key == nullptr || other == nullptr || key->priv_key_len == 0) {
    VK_GOST2012_KEYPAIR_free(key);
    VK_GOST2012_KEYPAIR_free(other);
    return;
  }
  const size_t n = key->priv_key_len;
  for (int round = 0; round < kRounds; round++) {
    const int rc = vkc_gost2012_keygen_wrapper(key);
    make_public(key->pub_key, sizeof key->pub_key);
    make_public(key->key_id, sizeof key->key_id);
    check(rc == 1, "vkc_gost2012_keygen_wrapper", set);
    secret(key->priv_key, sizeof key->priv_key);

    *other = *key;
    memset(other->pub_key, 0, sizeof other->pub_key);
    const int prc = vkc_gost2012_compute_public_wrapper(other);
    make_public(other->pub_key, sizeof other->pub_key);
    check(prc == 1 && memcmp(other->pub_key, key->pub_key, sizeof key->pub_key) == 0,
          "vkc_gost2012_compute_public_wrapper", set);

    unsigned char digest[64], sig[128];
    fill(digest, sizeof digest);
    const int src = vkc_gost2012_do_sign(digest, n, sig, sizeof sig, key);
    make_public(sig, sizeof sig);
    check(src == 1, "vkc_gost2012_do_sign", set);
    check(vkc_gost2012_do_verify(digest, n, sig, 2 * n, key) == 1, "signature verifies", set);

    // Masked form (d m^-1 mod q, m) and back.
    unsigned char masked[128];
    const int mrc = gost_mask_private_key(key, masked);
    check(mrc == 1, "gost_mask_private_key", set);
    memset(other->priv_key, 0, sizeof other->priv_key);
    const int urc = gost_unmask_private_key(other, masked);
    check(urc == 1, "gost_unmask_private_key", set);
    // A masked value as read from a file, halves not reduced: all secret.
    fill(masked, sizeof masked);
    secret(masked, sizeof masked);
    VK_GOST2012_KEYPAIR* third = VK_GOST2012_KEYPAIR_new();
    if (third != nullptr) {
      *third = *key;
      check(gost_unmask_private_key(third, masked) == 1, "gost_unmask_private_key, unreduced",
            set);
      VK_GOST2012_KEYPAIR_free(third);
    }
    // Only the comparison's outcome leaves the check.
    unsigned char a[64], b[64];
    memcpy(a, key->priv_key, sizeof a);
    memcpy(b, other->priv_key, sizeof b);
    make_public(a, sizeof a);
    make_public(b, sizeof b);
    check(memcmp(a, b, n) == 0, "unmasked key equals the key", set);
  }
  VK_GOST2012_KEYPAIR_free(key);
  VK_GOST2012_KEYPAIR_free(other);
}

// The MAC subkeys from a secret L = E_K(0): the block cipher itself is left
// out, so L is given to the derivation directly.
struct Kuz {
  static constexpr uint64_t kBlock = 16;
  static constexpr uint8_t kBn = 0x87;
};
struct Mag {
  static constexpr uint64_t kBlock = 8;
  static constexpr uint8_t kBn = 0x1b;
};

template <class C>
void mac_subkeys(const char* name) {
  for (int round = 0; round < 4; round++) {
    uint8_t l[C::kBlock], k1[C::kBlock], k2[C::kBlock], bn[C::kBlock] = {};
    bn[C::kBlock - 1] = C::kBn;
    fill(l, sizeof l);
    // Both values of the top bit.
    l[0] = static_cast<uint8_t>((l[0] & 0x7f) | (round % 2 ? 0x80 : 0));
    uint8_t expect1[C::kBlock];
    const bool top = (l[0] & 0x80) != 0;
    for (uint64_t i = 0; i < C::kBlock; i++) {
      expect1[i] = static_cast<uint8_t>(l[i] << 1 | (i + 1 < C::kBlock ? l[i + 1] >> 7 : 0));
    }
    if (top) expect1[C::kBlock - 1] ^= C::kBn;
    secret(l, sizeof l);
    vkc::modes::VkcMacSubkey(l, bn, k1, C::kBlock);
    vkc::modes::VkcMacSubkey(k1, bn, k2, C::kBlock);
    make_public(k1, sizeof k1);
    make_public(k2, sizeof k2);
    check(memcmp(k1, expect1, sizeof k1) == 0, "MAC subkey K1", name);
  }
}

}  // namespace

int main() {
  if (ssf_register_objects() != 1) {
    fprintf(stderr, "ssf_register_objects failed\n");
    return 1;
  }
  if (RAND_set_rand_method(&kSecretRand) != 1) {
    fprintf(stderr, "RAND_set_rand_method failed\n");
    return 1;
  }
  // a = -3 and a twisted Edwards curve of each size.
  core<Core256>("id-GostR3410-2001-CryptoPro-A-ParamSet");
  core<Core256>("id-tc26-gost-3410-2012-256-paramSetA");
  core<Core512>("id-tc26-gost-3410-2012-512-paramSetA");
  core<Core512>("id-tc26-gost-3410-2012-512-paramSetC");
  glue(NID_id_GostR3410_2001, NID_id_GostR3410_2001_CryptoPro_A_ParamSet, "2001, CryptoPro A");
  glue(ssf_nid_gost2012_256(), ssf_nid_id_tc26_gost_3410_2012_256_paramSetA(), "2012-256, TC26 A");
  glue(ssf_nid_gost2012_512(), ssf_nid_id_tc26_gost_3410_2012_512_paramSetA(), "2012-512, TC26 A");
  glue(ssf_nid_gost2012_512(), ssf_nid_id_tc26_gost_3410_2012_512_paramSetC(), "2012-512, TC26 C");
  mac_subkeys<Kuz>("Kuznyechik");
  mac_subkeys<Mag>("Magma");
  printf("ct_check: %d passed, %d failed\n", g_passed, g_failed);
  return g_failed == 0 ? 0 : 1;
}
