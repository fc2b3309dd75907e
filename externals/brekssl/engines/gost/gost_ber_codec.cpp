#include "engines/gost/gost_ber_codec.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <openssl/crypto.h>

namespace {

constexpr unsigned char kTagInteger = 0x02;
constexpr unsigned char kTagBitString = 0x03;
constexpr unsigned char kTagOctetString = 0x04;
constexpr unsigned char kTagOid = 0x06;
constexpr unsigned char kTagSequence = 0x30;
constexpr unsigned char kTagContext0 = 0xA0;

// Writes the length field of len at p; returns the bytes written.
uint32_t put_len(unsigned char* p, uint32_t len) {
  if (len < 0x80) {
    p[0] = static_cast<unsigned char>(len);
    return 1;
  }
  uint32_t n = len < 0x100 ? 1 : len < 0x10000 ? 2 : 3;
  p[0] = static_cast<unsigned char>(0x80 | n);
  for (uint32_t i = 0; i < n; i++) p[1 + i] = static_cast<unsigned char>(len >> (8 * (n - 1 - i)));
  return n + 1;
}

// One TLV from up to two content pieces (a prefix byte string and the
// content), in the two encoder modes.
int encode_tlv(const char* fn, unsigned char tag, int mode, unsigned char** out, uint32_t* out_len,
               const unsigned char* prefix, uint32_t prefix_len, const unsigned char* in,
               uint32_t in_len) {
  if (out_len == nullptr || (mode != kBerEncode && mode != kBerLength) ||
      (in == nullptr && in_len != 0) || in_len > kBerMaxLength - prefix_len ||
      (mode == kBerEncode && out == nullptr)) {
    fprintf(stderr, "%s:%d %s Function Failed\n", __FILE__, __LINE__, fn);
    return 0;
  }
  uint32_t content = prefix_len + in_len;
  uint32_t ll = len_of_len(content);
  if (ll == 0) return 0;
  uint32_t total = 1 + ll + content;
  if (mode == kBerLength) {
    *out_len = total;
    return 1;
  }
  auto* buf = static_cast<unsigned char*>(malloc(total));
  if (buf == nullptr) {
    fprintf(stderr, "%s:%d Not Enough Memory in Context\n", __FILE__, __LINE__);
    return 0;
  }
  buf[0] = tag;
  uint32_t pos = 1 + put_len(buf + 1, content);
  if (prefix_len != 0) memcpy(buf + pos, prefix, prefix_len);
  if (in_len != 0) memcpy(buf + pos + prefix_len, in, in_len);
  *out = buf;
  *out_len = total;
  return 1;
}

}  // namespace

uint32_t len_of_len(uint32_t len) {
  if (len < 0x80) return 1;
  if (len < 0x100) return 2;
  if (len < 0x10000) return 3;
  if (len <= kBerMaxLength) return 4;
  fprintf(stderr, "%s:%d %s Too large data length: %u\n", __FILE__, __LINE__, "len_of_len", len);
  return 0;
}

int ber_encode_INTEGER(int mode, unsigned char** out, uint32_t* out_len, const unsigned char* in,
                       uint32_t in_len) {
  // The caller's bytes pass unchanged: no sign byte, no minimal form.
  return encode_tlv("ber_encode_INTEGER", kTagInteger, mode, out, out_len, nullptr, 0, in, in_len);
}

int ber_encode_OCTET_STRING(int mode, unsigned char** out, uint32_t* out_len,
                            const unsigned char* in, uint32_t in_len) {
  return encode_tlv("ber_encode_OCTET_STRING", kTagOctetString, mode, out, out_len, nullptr, 0, in,
                    in_len);
}

int ber_encode_BIT_STRING(int mode, unsigned char** out, uint32_t* out_len, unsigned char unused,
                          const unsigned char* in, uint32_t in_len) {
  return encode_tlv("ber_encode_BIT_STRING", kTagBitString, mode, out, out_len, &unused, 1, in,
                    in_len);
}

int ber_encode_SEQUENCE(int mode, unsigned char** out, uint32_t* out_len, const unsigned char* in,
                        uint32_t in_len) {
  return encode_tlv("ber_encode_SEQUENCE", kTagSequence, mode, out, out_len, nullptr, 0, in,
                    in_len);
}

int ber_encode_CONTEXT_SPECIFIC(int mode, unsigned char** out, uint32_t* out_len,
                                const unsigned char* in, uint32_t in_len) {
  return encode_tlv("ber_encode_CONTEXT_SPECIFIC", kTagContext0, mode, out, out_len, nullptr, 0,
                    in, in_len);
}

int ber_decode_any(const unsigned char* tlv, uint32_t avail, unsigned char* tag,
                   const unsigned char** content, uint32_t* content_len, uint32_t* total_len) {
  if (tlv == nullptr || avail < 2) return 0;
  uint32_t len = tlv[1];
  uint32_t hdr = 2;
  if (len & 0x80) {
    // Long form of 1 to 3 bytes only; the indefinite form (0x80) is no
    // part of this codec.
    uint32_t n = len & 0x7F;
    if (n < 1 || n > 3 || avail < 2 + n) return 0;
    len = 0;
    for (uint32_t i = 0; i < n; i++) len = (len << 8) | tlv[2 + i];
    hdr += n;
  }
  if (len > avail - hdr) return 0;
  if (tag != nullptr) *tag = tlv[0];
  if (content != nullptr) *content = tlv + hdr;
  if (content_len != nullptr) *content_len = len;
  if (total_len != nullptr) *total_len = hdr + len;
  return 1;
}

namespace {

int decode_tagged(const char* fn, unsigned char want, const unsigned char* tlv, uint32_t avail,
                  const unsigned char** content, uint32_t* content_len, uint32_t* total_len) {
  unsigned char tag = 0;
  const unsigned char* c = nullptr;
  uint32_t clen = 0, tlen = 0;
  if (!ber_decode_any(tlv, avail, &tag, &c, &clen, &tlen) || tag != want) {
    fprintf(stderr, "%s:%d %s Function Failed\n", __FILE__, __LINE__, fn);
    return 0;
  }
  if (content != nullptr) *content = c;
  if (content_len != nullptr) *content_len = clen;
  if (total_len != nullptr) *total_len = tlen;
  return 1;
}

}  // namespace

int ber_decode_INTEGER(const unsigned char* tlv, uint32_t avail, const unsigned char** content,
                       uint32_t* content_len, uint32_t* total_len) {
  return decode_tagged("ber_decode_INTEGER", kTagInteger, tlv, avail, content, content_len,
                       total_len);
}

int ber_decode_OCTET_STRING(const unsigned char* tlv, uint32_t avail,
                            const unsigned char** content, uint32_t* content_len,
                            uint32_t* total_len) {
  return decode_tagged("ber_decode_OCTET_STRING", kTagOctetString, tlv, avail, content,
                       content_len, total_len);
}

int ber_decode_BIT_STRING(const unsigned char* tlv, uint32_t avail, const unsigned char** content,
                          uint32_t* content_len, uint32_t* total_len) {
  const unsigned char* c = nullptr;
  uint32_t clen = 0, tlen = 0;
  if (!decode_tagged("ber_decode_BIT_STRING", kTagBitString, tlv, avail, &c, &clen, &tlen))
    return 0;
  // The unused-bits byte must be there.
  if (clen < 1) {
    fprintf(stderr, "%s:%d %s Function Failed\n", __FILE__, __LINE__, "ber_decode_BIT_STRING");
    return 0;
  }
  if (content != nullptr) *content = c + 1;
  if (content_len != nullptr) *content_len = clen - 1;
  if (total_len != nullptr) *total_len = tlen;
  return 1;
}

int ber_decode_SEQUENCE(const unsigned char* tlv, uint32_t avail, const unsigned char** content,
                        uint32_t* content_len, uint32_t* total_len) {
  return decode_tagged("ber_decode_SEQUENCE", kTagSequence, tlv, avail, content, content_len,
                       total_len);
}

int ber_decode_CONTEXT_SPECIFIC(const unsigned char* tlv, uint32_t avail,
                                const unsigned char** content, uint32_t* content_len,
                                uint32_t* total_len) {
  return decode_tagged("ber_decode_CONTEXT_SPECIFIC", kTagContext0, tlv, avail, content,
                       content_len, total_len);
}

int ber_encode_concat(BerEncodeFn enc, int mode, unsigned char** out, uint32_t* out_len,
                      const BerPiece* pieces, size_t count) {
  uint64_t total = 0;
  for (size_t i = 0; i < count; i++) total += pieces[i].n;
  if (total > kBerMaxLength) {
    fprintf(stderr, "%s:%d %s Too large data length: %u\n", __FILE__, __LINE__,
            "ber_encode_concat", static_cast<unsigned>(total));
    return 0;
  }
  if (mode == kBerLength) return enc(mode, out, out_len, nullptr, static_cast<uint32_t>(total));
  auto* buf = static_cast<unsigned char*>(malloc(total == 0 ? 1 : total));
  if (buf == nullptr) {
    fprintf(stderr, "%s:%d Not Enough Memory in Context\n", __FILE__, __LINE__);
    return 0;
  }
  uint32_t pos = 0;
  for (size_t i = 0; i < count; i++) {
    if (pieces[i].n != 0) memcpy(buf + pos, pieces[i].p, pieces[i].n);
    pos += pieces[i].n;
  }
  int ok = enc(mode, out, out_len, buf, pos);
  // The pieces may hold a private key.
  OPENSSL_cleanse(buf, pos);
  free(buf);
  return ok;
}

BerTlv::~BerTlv() {
  if (p != nullptr) OPENSSL_cleanse(p, n);
  free(p);
}

namespace {

template <size_t N>
int encode_constructed(BerEncodeFn enc, int mode, unsigned char** out, uint32_t* out_len,
                       const BerPiece (&pieces)[N]) {
  return ber_encode_concat(enc, mode, out, out_len, pieces, N);
}

using Tlv = BerTlv;
using Piece = BerPiece;

}  // namespace

int ber_encode_Gost28147_89_EncryptedKey(int mode, unsigned char** out, uint32_t* out_len,
                                         const unsigned char* enc_key, uint32_t enc_key_len,
                                         const unsigned char* mac, uint32_t mac_len) {
  Tlv k, m;
  if (!ber_encode_OCTET_STRING(kBerEncode, &k.p, &k.n, enc_key, enc_key_len) ||
      !ber_encode_OCTET_STRING(kBerEncode, &m.p, &m.n, mac, mac_len)) {
    fprintf(stderr, "%s:%d Encode Octet String Failed\n", __FILE__, __LINE__);
    return 0;
  }
  const Piece pieces[] = {k.piece(), m.piece()};
  if (!encode_constructed(ber_encode_SEQUENCE, mode, out, out_len, pieces)) {
    fprintf(stderr, "%s:%d Encode Sequence Failed\n", __FILE__, __LINE__);
    return 0;
  }
  return 1;
}

int ber_encode_PublicKeyInfo(int mode, unsigned char** out, uint32_t* out_len,
                             const unsigned char* alg_oid, uint32_t alg_oid_len,
                             const unsigned char* param_oid, uint32_t param_oid_len,
                             const unsigned char* digest_oid, uint32_t digest_oid_len,
                             const unsigned char* pub, uint32_t pub_len) {
  Tlv params, alg, key, bits;
  const Piece p1[] = {{param_oid, param_oid_len}, {digest_oid, digest_oid_len}};
  if (!encode_constructed(ber_encode_SEQUENCE, kBerEncode, &params.p, &params.n, p1)) {
    fprintf(stderr, "%s:%d Encode Sequence Failed\n", __FILE__, __LINE__);
    return 0;
  }
  const Piece p2[] = {{alg_oid, alg_oid_len}, params.piece()};
  if (!encode_constructed(ber_encode_SEQUENCE, kBerEncode, &alg.p, &alg.n, p2)) {
    fprintf(stderr, "%s:%d Encode Sequence Failed\n", __FILE__, __LINE__);
    return 0;
  }
  if (!ber_encode_OCTET_STRING(kBerEncode, &key.p, &key.n, pub, pub_len)) {
    fprintf(stderr, "%s:%d Encode Octet String Failed\n", __FILE__, __LINE__);
    return 0;
  }
  if (!ber_encode_BIT_STRING(kBerEncode, &bits.p, &bits.n, 0, key.p, key.n)) {
    fprintf(stderr, "%s:%d Encode Bit String Failed\n", __FILE__, __LINE__);
    return 0;
  }
  const Piece p3[] = {alg.piece(), bits.piece()};
  if (!encode_constructed(ber_encode_CONTEXT_SPECIFIC, mode, out, out_len, p3)) {
    fprintf(stderr, "%s:%d Encode Context Specific Failed\n", __FILE__, __LINE__);
    return 0;
  }
  return 1;
}

int ber_encode_GostR3410_TransportParameters(int mode, unsigned char** out, uint32_t* out_len,
                                             const unsigned char* wrap_oid, uint32_t wrap_oid_len,
                                             const unsigned char* pki, uint32_t pki_len,
                                             const unsigned char* ukm, uint32_t ukm_len) {
  Tlv u;
  if (!ber_encode_OCTET_STRING(kBerEncode, &u.p, &u.n, ukm, ukm_len)) {
    fprintf(stderr, "%s:%d Encode Octet String Failed\n", __FILE__, __LINE__);
    return 0;
  }
  const Piece pieces[] = {{wrap_oid, wrap_oid_len}, {pki, pki == nullptr ? 0 : pki_len}, u.piece()};
  if (!encode_constructed(ber_encode_CONTEXT_SPECIFIC, mode, out, out_len, pieces)) {
    fprintf(stderr, "%s:%d Encode Context Specific Failed\n", __FILE__, __LINE__);
    return 0;
  }
  return 1;
}

int ber_encode_GostR3410_KeyTransport(int mode, unsigned char** out, uint32_t* out_len,
                                      const unsigned char* enc_key_info, uint32_t enc_key_info_len,
                                      const unsigned char* transport_params,
                                      uint32_t transport_params_len) {
  const Piece pieces[] = {{enc_key_info, enc_key_info_len},
                          {transport_params, transport_params_len}};
  if (!encode_constructed(ber_encode_SEQUENCE, mode, out, out_len, pieces)) {
    fprintf(stderr, "%s:%d Encode Sequence Failed\n", __FILE__, __LINE__);
    return 0;
  }
  return 1;
}

namespace {

// A whole OID element inside [p, end).
bool take_oid(const unsigned char*& p, const unsigned char* end, const unsigned char** oid,
              uint32_t* oid_len) {
  unsigned char tag = 0;
  uint32_t total = 0;
  if (!ber_decode_any(p, static_cast<uint32_t>(end - p), &tag, nullptr, nullptr, &total) ||
      tag != kTagOid) {
    fprintf(stderr, "%s:%d Decode OBJECT IDENTIFIER Failed\n", __FILE__, __LINE__);
    return false;
  }
  *oid = p;
  *oid_len = total;
  p += total;
  return true;
}

uint32_t left(const unsigned char* p, const unsigned char* end) {
  return static_cast<uint32_t>(end - p);
}

// The [0] ephemeral key: SEQUENCE {alg OID, SEQUENCE {param OID, digest
// OID}}, BIT STRING {00, OCTET STRING pub}, nothing else.
bool decode_ephemeral(const unsigned char* c, uint32_t clen, BerKeyTransport* kt) {
  const unsigned char* end = c + clen;
  const unsigned char* alg = nullptr;
  uint32_t alg_len = 0, total = 0;
  if (!ber_decode_SEQUENCE(c, clen, &alg, &alg_len, &total)) {
    fprintf(stderr, "%s:%d Decode SEQUENCE Failed\n", __FILE__, __LINE__);
    return false;
  }
  const unsigned char* bits_at = c + total;
  const unsigned char* alg_end = alg + alg_len;
  if (!take_oid(alg, alg_end, &kt->alg_oid, &kt->alg_oid_len)) return false;
  const unsigned char* par = nullptr;
  uint32_t par_len = 0;
  if (!ber_decode_SEQUENCE(alg, left(alg, alg_end), &par, &par_len, &total) ||
      alg + total != alg_end) {
    fprintf(stderr, "%s:%d Decode SEQUENCE Failed\n", __FILE__, __LINE__);
    return false;
  }
  const unsigned char* par_end = par + par_len;
  if (!take_oid(par, par_end, &kt->param_oid, &kt->param_oid_len) ||
      !take_oid(par, par_end, &kt->digest_oid, &kt->digest_oid_len))
    return false;
  if (par != par_end) {
    fprintf(stderr, "%s:%d Decode SEQUENCE Failed\n", __FILE__, __LINE__);
    return false;
  }
  const unsigned char* bits = nullptr;
  uint32_t bits_len = 0;
  if (!ber_decode_BIT_STRING(bits_at, left(bits_at, end), &bits, &bits_len, &total) ||
      bits_at + total != end || bits[-1] != 0) {
    fprintf(stderr, "%s:%d Decode BIT STRING Failed\n", __FILE__, __LINE__);
    return false;
  }
  if (!ber_decode_OCTET_STRING(bits, bits_len, &kt->pub, &kt->pub_len, &total) ||
      total != bits_len) {
    fprintf(stderr, "%s:%d Decode OCTET STRING Failed\n", __FILE__, __LINE__);
    return false;
  }
  return true;
}

}  // namespace

int ber_decode_GostR3410_KeyTransport(const unsigned char* in, uint32_t in_len,
                                      BerKeyTransport* kt) {
  if (kt == nullptr) return 0;
  *kt = BerKeyTransport{};
  if (in == nullptr || in_len == 0) {
    fprintf(stderr, "%s:%d %s Function Failed\n", __FILE__, __LINE__,
            "ber_decode_GostR3410_KeyTransport");
    return 0;
  }
  BerKeyTransport r{};
  const unsigned char* body = nullptr;
  uint32_t body_len = 0, total = 0;
  if (!ber_decode_SEQUENCE(in, in_len, &body, &body_len, &total)) {
    fprintf(stderr, "%s:%d Decode Sequence Failed\n", __FILE__, __LINE__);
    return 0;
  }
  const unsigned char* end = body + body_len;
  const unsigned char* ek = nullptr;
  uint32_t ek_len = 0;
  if (!ber_decode_SEQUENCE(body, body_len, &ek, &ek_len, &total)) {
    fprintf(stderr, "%s:%d Decode SEQUENCE Failed\n", __FILE__, __LINE__);
    return 0;
  }
  const unsigned char* tp_at = body + total;
  const unsigned char* ek_end = ek + ek_len;
  if (!ber_decode_OCTET_STRING(ek, ek_len, &r.enc_key, &r.enc_key_len, &total) ||
      r.enc_key_len != 32) {
    fprintf(stderr, "%s:%d Decode OCTET STRING Failed\n", __FILE__, __LINE__);
    return 0;
  }
  ek += total;
  if (!ber_decode_OCTET_STRING(ek, left(ek, ek_end), &r.mac, &r.mac_len, &total) ||
      r.mac_len != 4 || ek + total != ek_end) {
    fprintf(stderr, "%s:%d Decode OCTET STRING Failed\n", __FILE__, __LINE__);
    return 0;
  }
  const unsigned char* tp = nullptr;
  uint32_t tp_len = 0;
  if (!ber_decode_CONTEXT_SPECIFIC(tp_at, left(tp_at, end), &tp, &tp_len, &total) ||
      tp_at + total != end) {
    fprintf(stderr, "%s:%d Decode CONTEXT SPECIFIC Failed\n", __FILE__, __LINE__);
    return 0;
  }
  const unsigned char* tp_end = tp + tp_len;
  if (!take_oid(tp, tp_end, &r.wrap_oid, &r.wrap_oid_len)) return 0;
  if (tp < tp_end && *tp == kTagContext0) {
    const unsigned char* eph = nullptr;
    uint32_t eph_len = 0;
    if (!ber_decode_CONTEXT_SPECIFIC(tp, left(tp, tp_end), &eph, &eph_len, &total)) {
      fprintf(stderr, "%s:%d Decode CONTEXT SPECIFIC Failed\n", __FILE__, __LINE__);
      return 0;
    }
    if (!decode_ephemeral(eph, eph_len, &r)) return 0;
    tp += total;
  }
  if (!ber_decode_OCTET_STRING(tp, left(tp, tp_end), &r.ukm, &r.ukm_len, &total) ||
      tp + total != tp_end || r.ukm_len < 8) {
    fprintf(stderr, "%s:%d Decode OCTET STRING Failed\n", __FILE__, __LINE__);
    return 0;
  }
  *kt = r;
  return 1;
}
