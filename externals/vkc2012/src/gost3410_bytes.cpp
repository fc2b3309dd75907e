// Byte forms of GOST R 34.10 values: private keys, digests, public keys and
// signatures, each n = 32 or 64 bytes per number, in several byte orders.
#include <string.h>

#include <algorithm>

#include "gost3410.h"
#include "vkc_ct.h"
#include "vkc_log.h"

namespace {

// Number -> n bytes, big-endian, optionally reversed.
void unload_num(const DIGIT_T* a, uint32_t nd, unsigned char* out, uint32_t n, bool le) {
  mpConvToOctets(a, nd, out, n);
  if (le) std::reverse(out, out + n);
}

void load_num(const unsigned char* in, DIGIT_T* a, uint32_t nd, uint32_t n, bool le) {
  unsigned char buf[64];
  memcpy(buf, in, n);
  if (le) std::reverse(buf, buf + n);
  mpSetZero(a, nd);
  mpConvFromOctets(a, nd, buf, n);
  vkc_ct::wipe(buf, sizeof buf);
}

template <class PT, class SIG, uint32_t ND, uint32_t NB>
struct Forms {
  static int load1(const char* name, const unsigned char* in, DIGIT_T* a, bool le) {
    if (in == nullptr || a == nullptr) {
      VKC_LOG("%s: bad params", name);
      return -2;
    }
    load_num(in, a, ND, NB, le);
    return 0;
  }
  static int unload1(const char* name, const DIGIT_T* a, unsigned char* out, bool le) {
    if (a == nullptr || out == nullptr) {
      VKC_LOG("%s: bad params", name);
      return -2;
    }
    unload_num(a, ND, out, NB, le);
    return 0;
  }
  static int load_pt(const char* name, const unsigned char* in, PT* Q, bool le) {
    if (in == nullptr || Q == nullptr) {
      VKC_LOG("%s: bad params", name);
      return -2;
    }
    load_num(in, Q->x, ND, NB, le);
    load_num(in + NB, Q->y, ND, NB, le);
    return 0;
  }
  static int unload_pt(const char* name, const PT* Q, unsigned char* out, bool le) {
    if (Q == nullptr || out == nullptr) {
      VKC_LOG("%s: bad params", name);
      return -2;
    }
    unload_num(Q->x, ND, out, NB, le);
    unload_num(Q->y, ND, out + NB, NB, le);
    return 0;
  }
  // sr: s in the first half, r in the second; else r first.
  static int load_sig(const char* name, const unsigned char* in, SIG* sig, bool sr) {
    if (in == nullptr || sig == nullptr) {
      VKC_LOG("%s: bad params", name);
      return -2;
    }
    load_num(in, sr ? sig->s : sig->r, ND, NB, false);
    load_num(in + NB, sr ? sig->r : sig->s, ND, NB, false);
    return 0;
  }
  static int unload_sig(const char* name, const SIG* sig, unsigned char* out, bool sr) {
    if (sig == nullptr || out == nullptr) {
      VKC_LOG("%s: bad params", name);
      return -2;
    }
    unload_num(sr ? sig->s : sig->r, ND, out, NB, false);
    unload_num(sr ? sig->r : sig->s, ND, out + NB, NB, false);
    return 0;
  }
};

using F256 = Forms<GostPoint, GostSignature, GOST256_NDIGITS, 32>;
using F512 = Forms<GostPoint512, GostSignature512, GOST512_NDIGITS, 64>;

}  // namespace

#define VKC_BYTE_FORMS(SZ, F, PT, SIG)                                                        \
  int GOSTR3410_2012_##SZ##_LoadPrivateKeyValue(const unsigned char* in, DIGIT_T* d) {        \
    return F::load1("GOSTR3410_2012_" #SZ "_LoadPrivateKeyValue", in, d, true);               \
  }                                                                                           \
  int GOSTR3410_2012_##SZ##_LoadPrivateKeyValueLE(const unsigned char* in, DIGIT_T* d) {      \
    return F::load1("GOSTR3410_2012_" #SZ "_LoadPrivateKeyValueLE", in, d, true);             \
  }                                                                                           \
  int GOSTR3410_2012_##SZ##_LoadPrivateKeyValueBE(const unsigned char* in, DIGIT_T* d) {      \
    return F::load1("GOSTR3410_2012_" #SZ "_LoadPrivateKeyValueBE", in, d, false);            \
  }                                                                                           \
  int GOSTR3410_2012_##SZ##_LoadDigestValue(const unsigned char* in, DIGIT_T* e) {            \
    return F::load1("GOSTR3410_2012_" #SZ "_LoadDigestValue", in, e, true);                   \
  }                                                                                           \
  int GOSTR3410_2012_##SZ##_LoadDigestValueLE(const unsigned char* in, DIGIT_T* e) {          \
    return F::load1("GOSTR3410_2012_" #SZ "_LoadDigestValueLE", in, e, true);                 \
  }                                                                                           \
  int GOSTR3410_2012_##SZ##_LoadDigestValueBE(const unsigned char* in, DIGIT_T* e) {          \
    return F::load1("GOSTR3410_2012_" #SZ "_LoadDigestValueBE", in, e, false);                \
  }                                                                                           \
  int GOSTR3410_2012_##SZ##_LoadPublicKeyValue(const unsigned char* in, PT* Q) {              \
    return F::load_pt("GOSTR3410_2012_" #SZ "_LoadPublicKeyValue", in, Q, true);              \
  }                                                                                           \
  int GOSTR3410_2012_##SZ##_LoadPublicKeyValueXYLE(const unsigned char* in, PT* Q) {          \
    return F::load_pt("GOSTR3410_2012_" #SZ "_LoadPublicKeyValueXYLE", in, Q, true);          \
  }                                                                                           \
  int GOSTR3410_2012_##SZ##_LoadPublicKeyValueXYBE(const unsigned char* in, PT* Q) {          \
    return F::load_pt("GOSTR3410_2012_" #SZ "_LoadPublicKeyValueXYBE", in, Q, false);         \
  }                                                                                           \
  int GOSTR3410_2012_##SZ##_LoadSignatureValue(const unsigned char* in, SIG* sig) {           \
    return F::load_sig("GOSTR3410_2012_" #SZ "_LoadSignatureValue", in, sig, true);           \
  }                                                                                           \
  int GOSTR3410_2012_##SZ##_LoadSignatureValueSRBE(const unsigned char* in, SIG* sig) {       \
    return F::load_sig("GOSTR3410_2012_" #SZ "_LoadSignatureValueSRBE", in, sig, true);       \
  }                                                                                           \
  int GOSTR3410_2012_##SZ##_LoadSignatureValueRSBE(const unsigned char* in, SIG* sig) {       \
    return F::load_sig("GOSTR3410_2012_" #SZ "_LoadSignatureValueRSBE", in, sig, false);      \
  }                                                                                           \
  int GOSTR3410_2012_##SZ##_UnloadPrivateKeyValue(const DIGIT_T* d, unsigned char* out) {     \
    return F::unload1("GOSTR3410_2012_" #SZ "_UnloadPrivateKeyValue", d, out, true);          \
  }                                                                                           \
  int GOSTR3410_2012_##SZ##_UnloadPrivateKeyValueLE(const DIGIT_T* d, unsigned char* out) {   \
    return F::unload1("GOSTR3410_2012_" #SZ "_UnloadPrivateKeyValueLE", d, out, true);        \
  }                                                                                           \
  int GOSTR3410_2012_##SZ##_UnloadPrivateKeyValueBE(const DIGIT_T* d, unsigned char* out) {   \
    return F::unload1("GOSTR3410_2012_" #SZ "_UnloadPrivateKeyValueBE", d, out, false);       \
  }                                                                                           \
  int GOSTR3410_2012_##SZ##_UnloadDigestValue(const DIGIT_T* e, unsigned char* out) {         \
    return F::unload1("GOSTR3410_2012_" #SZ "_UnloadDigestValue", e, out, true);              \
  }                                                                                           \
  int GOSTR3410_2012_##SZ##_UnloadDigestValueLE(const DIGIT_T* e, unsigned char* out) {       \
    return F::unload1("GOSTR3410_2012_" #SZ "_UnloadDigestValueLE", e, out, true);            \
  }                                                                                           \
  int GOSTR3410_2012_##SZ##_UnloadDigestValueBE(const DIGIT_T* e, unsigned char* out) {       \
    return F::unload1("GOSTR3410_2012_" #SZ "_UnloadDigestValueBE", e, out, false);           \
  }                                                                                           \
  int GOSTR3410_2012_##SZ##_UnloadPublicKeyValue(const PT* Q, unsigned char* out) {           \
    return F::unload_pt("GOSTR3410_2012_" #SZ "_UnloadPublicKeyValue", Q, out, true);         \
  }                                                                                           \
  int GOSTR3410_2012_##SZ##_UnloadPublicKeyValueXYLE(const PT* Q, unsigned char* out) {       \
    return F::unload_pt("GOSTR3410_2012_" #SZ "_UnloadPublicKeyValueXYLE", Q, out, true);     \
  }                                                                                           \
  int GOSTR3410_2012_##SZ##_UnloadPublicKeyValueXYBE(const PT* Q, unsigned char* out) {       \
    return F::unload_pt("GOSTR3410_2012_" #SZ "_UnloadPublicKeyValueXYBE", Q, out, false);    \
  }                                                                                           \
  int GOSTR3410_2012_##SZ##_UnloadSignatureValue(const SIG* sig, unsigned char* out) {        \
    return F::unload_sig("GOSTR3410_2012_" #SZ "_UnloadSignatureValue", sig, out, true);      \
  }                                                                                           \
  int GOSTR3410_2012_##SZ##_UnloadSignatureValueSRBE(const SIG* sig, unsigned char* out) {    \
    return F::unload_sig("GOSTR3410_2012_" #SZ "_UnloadSignatureValueSRBE", sig, out, true);  \
  }                                                                                           \
  int GOSTR3410_2012_##SZ##_UnloadSignatureValueRSBE(const SIG* sig, unsigned char* out) {    \
    return F::unload_sig("GOSTR3410_2012_" #SZ "_UnloadSignatureValueRSBE", sig, out, false); \
  }

extern "C" {

VKC_BYTE_FORMS(256, F256, GostPoint, GostSignature)
VKC_BYTE_FORMS(512, F512, GostPoint512, GostSignature512)

int GOSTR3410_2001_LoadPrivateKeyValue(const unsigned char* in, DIGIT_T* d) {
  return GOSTR3410_2012_256_LoadPrivateKeyValue(in, d);
}
int GOSTR3410_2001_LoadDigestValue(const unsigned char* in, DIGIT_T* e) {
  return GOSTR3410_2012_256_LoadDigestValue(in, e);
}
int GOSTR3410_2001_LoadPublicKeyValue(const unsigned char* in, GostPoint* Q) {
  return GOSTR3410_2012_256_LoadPublicKeyValue(in, Q);
}
int GOSTR3410_2001_LoadSignatureValue(const unsigned char* in, GostSignature* sig) {
  return GOSTR3410_2012_256_LoadSignatureValue(in, sig);
}
int GOSTR3410_2001_UnloadPrivateKeyValue(const DIGIT_T* d, unsigned char* out) {
  return GOSTR3410_2012_256_UnloadPrivateKeyValue(d, out);
}
int GOSTR3410_2001_UnloadDigestValue(const DIGIT_T* e, unsigned char* out) {
  return GOSTR3410_2012_256_UnloadDigestValue(e, out);
}
int GOSTR3410_2001_UnloadPublicKeyValue(const GostPoint* Q, unsigned char* out) {
  return GOSTR3410_2012_256_UnloadPublicKeyValue(Q, out);
}
int GOSTR3410_2001_UnloadSignatureValue(const GostSignature* sig, unsigned char* out) {
  return GOSTR3410_2012_256_UnloadSignatureValue(sig, out);
}

}  // extern "C"
