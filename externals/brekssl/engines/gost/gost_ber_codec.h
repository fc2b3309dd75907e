// A small BER codec of definite-length TLVs: the primitive encoders and
// decoders, and the GostR3410-KeyTransport (RFC 4490) that key transport
// writes and reads. Buffers come from malloc and are freed with free.
// Every function returns 1 for success and 0 for failure and prints the
// failure to the standard error stream.
#ifndef ORVEL_GOST_BER_CODEC_H
#define ORVEL_GOST_BER_CODEC_H

#include <cstddef>
#include <cstdint>

// Encoder modes: kBerLength reports the total length only, kBerEncode
// allocates the whole TLV and hands it over.
inline constexpr int kBerEncode = 0;
inline constexpr int kBerLength = 1;

// Longest content a length field of at most 3 bytes after 0x83 can carry.
inline constexpr uint32_t kBerMaxLength = 0xFFFFFF;

// Bytes of the length field for a content length; 0 (with a message) for
// a length beyond kBerMaxLength.
uint32_t len_of_len(uint32_t len);

// Primitive encoders: (mode, output, output length, content, content length).
int ber_encode_INTEGER(int mode, unsigned char** out, uint32_t* out_len, const unsigned char* in,
                       uint32_t in_len);
int ber_encode_OCTET_STRING(int mode, unsigned char** out, uint32_t* out_len,
                            const unsigned char* in, uint32_t in_len);
int ber_encode_BIT_STRING(int mode, unsigned char** out, uint32_t* out_len, unsigned char unused,
                          const unsigned char* in, uint32_t in_len);
int ber_encode_SEQUENCE(int mode, unsigned char** out, uint32_t* out_len, const unsigned char* in,
                        uint32_t in_len);
int ber_encode_CONTEXT_SPECIFIC(int mode, unsigned char** out, uint32_t* out_len,
                                const unsigned char* in, uint32_t in_len);

// Primitive decoders: the TLV at tlv, of which avail bytes are readable;
// the tag must match and the whole element must lie within avail. The
// content pointer points into the input.
int ber_decode_INTEGER(const unsigned char* tlv, uint32_t avail, const unsigned char** content,
                       uint32_t* content_len, uint32_t* total_len);
int ber_decode_OCTET_STRING(const unsigned char* tlv, uint32_t avail,
                            const unsigned char** content, uint32_t* content_len,
                            uint32_t* total_len);
// Content after the unused-bits byte, and its length.
int ber_decode_BIT_STRING(const unsigned char* tlv, uint32_t avail, const unsigned char** content,
                          uint32_t* content_len, uint32_t* total_len);
int ber_decode_SEQUENCE(const unsigned char* tlv, uint32_t avail, const unsigned char** content,
                        uint32_t* content_len, uint32_t* total_len);
int ber_decode_CONTEXT_SPECIFIC(const unsigned char* tlv, uint32_t avail,
                                const unsigned char** content, uint32_t* content_len,
                                uint32_t* total_len);
// Any tag: the tag byte, content and total length.
int ber_decode_any(const unsigned char* tlv, uint32_t avail, unsigned char* tag,
                   const unsigned char** content, uint32_t* content_len, uint32_t* total_len);

// Building blocks of constructed elements: byte strings concatenated and
// wrapped by one of the primitive encoders; the work buffer is wiped.
using BerEncodeFn = int (*)(int, unsigned char**, uint32_t*, const unsigned char*, uint32_t);
struct BerPiece {
  const unsigned char* p;
  uint32_t n;
};
int ber_encode_concat(BerEncodeFn enc, int mode, unsigned char** out, uint32_t* out_len,
                      const BerPiece* pieces, size_t count);

// A TLV from kBerEncode, wiped and freed when it goes out of scope.
struct BerTlv {
  unsigned char* p = nullptr;
  uint32_t n = 0;
  BerTlv() = default;
  BerTlv(const BerTlv&) = delete;
  BerTlv& operator=(const BerTlv&) = delete;
  ~BerTlv();
  BerPiece piece() const { return {p, n}; }
};

// Key transport pieces, in the modes of the primitive encoders.
int ber_encode_Gost28147_89_EncryptedKey(int mode, unsigned char** out, uint32_t* out_len,
                                         const unsigned char* enc_key, uint32_t enc_key_len,
                                         const unsigned char* mac, uint32_t mac_len);
int ber_encode_PublicKeyInfo(int mode, unsigned char** out, uint32_t* out_len,
                             const unsigned char* alg_oid, uint32_t alg_oid_len,
                             const unsigned char* param_oid, uint32_t param_oid_len,
                             const unsigned char* digest_oid, uint32_t digest_oid_len,
                             const unsigned char* pub, uint32_t pub_len);
// pki may be null (length 0): the ephemeral key is then left out.
int ber_encode_GostR3410_TransportParameters(int mode, unsigned char** out, uint32_t* out_len,
                                             const unsigned char* wrap_oid, uint32_t wrap_oid_len,
                                             const unsigned char* pki, uint32_t pki_len,
                                             const unsigned char* ukm, uint32_t ukm_len);
int ber_encode_GostR3410_KeyTransport(int mode, unsigned char** out, uint32_t* out_len,
                                      const unsigned char* enc_key_info, uint32_t enc_key_info_len,
                                      const unsigned char* transport_params,
                                      uint32_t transport_params_len);

// The parts of a received GostR3410-KeyTransport; pointers into the input.
// OIDs are whole TLVs; pub is the content of the OCTET STRING inside the
// BIT STRING. The ephemeral key's fields stay null when it is absent.
struct BerKeyTransport {
  const unsigned char* enc_key;
  uint32_t enc_key_len;
  const unsigned char* mac;
  uint32_t mac_len;
  const unsigned char* wrap_oid;
  uint32_t wrap_oid_len;
  const unsigned char* alg_oid;
  uint32_t alg_oid_len;
  const unsigned char* param_oid;
  uint32_t param_oid_len;
  const unsigned char* digest_oid;
  uint32_t digest_oid_len;
  const unsigned char* pub;
  uint32_t pub_len;
  const unsigned char* ukm;
  uint32_t ukm_len;
};

// Refuses any element outside the input, an encrypted key other than 32
// bytes, a MAC other than 4 bytes and a UKM shorter than 8 bytes.
int ber_decode_GostR3410_KeyTransport(const unsigned char* in, uint32_t in_len,
                                      BerKeyTransport* kt);

#endif
