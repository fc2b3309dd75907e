// Text form of GOST R 34.10 keys: algorithm, parameter sets, and at higher
// levels the public and private values.
#include <openssl/bio.h>
#include <openssl/objects.h>

#include <cstdio>

#include "engines/gost/gost_ameth.h"
#include "engines/gost/gost_key_params.h"
#include "engines/gost/gost_pkey_nids.h"

namespace {

constexpr int kMaxIndent = 128;
constexpr int kMaxPubIndent = 256;

enum Level { kParams = 0, kPublic = 1, kPrivate = 2 };

const char* long_name(int nid) {
  const char* ln = OBJ_nid2ln(nid);
  return ln != nullptr ? ln : "<undefined>";
}

// Each byte as "%.2x:", sixteen to a line, each line indented.
int print_bytes_indent(BIO* out, const unsigned char* buf, size_t len, int indent) {
  for (size_t i = 0; i < len; i++) {
    if (i % 16 == 0 && (BIO_puts(out, "\n") <= 0 || !BIO_indent(out, indent, kMaxPubIndent)))
      return 0;
    if (BIO_printf(out, "%.2x:", buf[i]) <= 0) return 0;
  }
  return BIO_puts(out, "\n") > 0;
}

int print_gost2012(BIO* out, const EVP_PKEY* pk, int indent, Level level) {
  const VK_GOST2012_KEYPAIR* key = gost_keypair_of(pk);
  if (key == nullptr) return 0;
  if (indent > kMaxIndent) indent = kMaxIndent;
  if (!BIO_indent(out, indent, kMaxIndent) || BIO_printf(out, "Key algorithm: \n") <= 0 ||
      !BIO_indent(out, indent, kMaxIndent) ||
      BIO_printf(out, "    %s\n", long_name(key->key_nid)) <= 0)
    return 0;
  if (!BIO_indent(out, indent, kMaxIndent) || BIO_printf(out, "Parameters: \n") <= 0 ||
      !BIO_indent(out, indent, kMaxIndent) ||
      BIO_printf(out, "%4ssign_params: %s\n", "", long_name(key->param_nid)) <= 0 ||
      !BIO_indent(out, indent, kMaxIndent) ||
      BIO_printf(out, "%4shash_params: %s\n", "",
                 long_name(gost2012_key_params_default_digest(key->key_nid))) <= 0)
    return 0;
  if (level >= kPrivate) {
    if (!BIO_indent(out, indent, kMaxIndent) || BIO_printf(out, "Private key: ") <= 0) return 0;
    if (key->priv_present) {
      if (!print_bytes_indent(out, key->priv_key, key->priv_key_len, indent + 4)) return 0;
    } else if (BIO_printf(out, "<undefined>\n") <= 0) {
      return 0;
    }
  }
  if (level >= kPublic) {
    if (!BIO_indent(out, indent, kMaxIndent) || BIO_printf(out, "Public key: ") <= 0) return 0;
    if (key->pub_key_len == 64 || key->pub_key_len == 128) {
      if (!print_bytes_indent(out, key->pub_key, key->pub_key_len, indent + 4)) return 0;
    } else if (BIO_printf(out, "<undefined>\n") <= 0) {
      return 0;
    }
  }
  return 1;
}

}  // namespace

int pub_print_gost2012(BIO* out, const EVP_PKEY* pk, int indent, ASN1_PCTX*) {
  return print_gost2012(out, pk, indent, kPublic);
}

int priv_print_gost2012(BIO* out, const EVP_PKEY* pk, int indent, ASN1_PCTX*) {
  return print_gost2012(out, pk, indent, kPrivate);
}

int param_print_gost2012(BIO* out, const EVP_PKEY* pk, int indent, ASN1_PCTX*) {
  return print_gost2012(out, pk, indent, kParams);
}
