// One-shot GOST 28147-89 modes over caller-kept key and register words, and
// the mode dispatcher of the streaming context.
#include <string.h>

#include "gost28147.h"
#include "gost28147_bulk.h"
#include "gost28147_internal.h"
#include "gost28147_rounds.h"
#include "vkc_log.h"

using namespace vkc::gost28147;

namespace {

// Common checks of the one-shots: -1 null, -4 length, -2 S-box mark.
int32_t check_buffers(const char* fn, const Gost28147ExpandedSbox* sbox, const GostBuffer* in,
                      const GostBuffer* out, const uint32_t* key) {
  if (sbox == nullptr || in == nullptr || out == nullptr || key == nullptr) {
    VKC_LOG("%s: bad params", fn);
    return GOST28147_ERR_PARAM;
  }
  if (in->data == nullptr || out->data == nullptr) {
    VKC_LOG("%s: NULL data pointer", fn);
    return GOST28147_ERR_PARAM;
  }
  if (in->length == 0 || in->length > out->length) {
    VKC_LOG("%s: invalid buffer length", fn);
    return GOST28147_ERR_LENGTH;
  }
  if (!sbox_marked(sbox)) {
    VKC_LOG("%s: TZ not initialized", fn);
    return GOST28147_ERR_SBOX;
  }
  return 0;
}

int32_t check_whole_blocks(const char* fn, uint32_t length) {
  if (length % 8 != 0) {
    VKC_LOG("%s: input data length should be multiple of block size", fn);
    return GOST28147_ERR_PARTIAL;
  }
  return 0;
}

enum class Stream { kGamma, kFeedback };

// Gamma and gamma with feedback: whole blocks, then a zero-padded tail of
// which only the tail bytes are written.
int32_t stream_mode(Stream kind, const char* fn, const Gost28147ExpandedSbox* sbox,
                    const GostBuffer* in, GostBuffer* out, uint32_t* reg, const uint32_t* key,
                    bool encrypt, uint8_t flags) {
  int32_t rc = check_buffers(fn, sbox, in, out, key);
  if (rc == 0 && reg == nullptr) rc = GOST28147_ERR_PARAM;
  if (rc != 0) return rc;
  uint8_t tail_in[8] = {0};
  uint8_t tail_out[8];
  uint32_t tail = 0, whole = 0;
  rc = make_last_block(in->data, in->length, tail_in, &tail, &whole, flags);
  if (rc != 0) {
    VKC_LOG("make_last_block failed, rc = 0x%x", static_cast<unsigned>(rc));
    return rc;
  }
  if (kind == Stream::kGamma) {
    if (flags & GOST28147_FLAG_FIRST) encrypt_block(reg, reg, key, sbox);
    cnt_blocks(sbox, in->data, out->data, whole, reg, key);
    if (tail != 0) cnt_blocks(sbox, tail_in, tail_out, 1, reg, key);
  } else {
    cfb_blocks(sbox, in->data, out->data, whole, reg, key, encrypt);
    if (tail != 0) cfb_blocks(sbox, tail_in, tail_out, 1, reg, key, encrypt);
  }
  if (tail != 0) memcpy(out->data + 8 * static_cast<size_t>(whole), tail_out, tail);
  explicit_bzero(tail_in, sizeof(tail_in));
  explicit_bzero(tail_out, sizeof(tail_out));
  out->length = in->length;
  return 0;
}

}  // namespace

extern "C" {

int32_t make_last_block(const uint8_t* in, uint32_t length, uint8_t* block, uint32_t* tail,
                        uint32_t* whole_blocks, uint8_t flags) {
  if (in == nullptr || block == nullptr || tail == nullptr || whole_blocks == nullptr)
    return GOST28147_ERR_PARAM;
  *whole_blocks = length / 8;
  *tail = 0;
  uint32_t t = length % 8;
  if (t == 0) return 0;
  if ((flags & GOST28147_FLAG_LAST) == 0) return GOST28147_ERR_PARTIAL;
  *tail = t;
  memset(block, 0, 8);
  memcpy(block, in + (length - t), t);
  return 0;
}

int32_t VKC_Gost_SS_m(const Gost28147ExpandedSbox* sbox, const GostBuffer* in, GostBuffer* out,
                      const uint32_t* key, uint8_t encrypt) {
  int32_t rc = check_buffers("VKC_Gost_SS_m", sbox, in, out, key);
  if (rc == 0) rc = check_whole_blocks("VKC_Gost_SS_m", in->length);
  if (rc != 0) return rc;
  ecb_blocks(sbox, in->data, out->data, in->length / 8, key, encrypt != 0);
  out->length = in->length;
  return 0;
}

int32_t VKC_Gost_CBC_m(const Gost28147ExpandedSbox* sbox, const GostBuffer* in, GostBuffer* out,
                       uint32_t* reg, const uint32_t* key, uint8_t encrypt) {
  int32_t rc = check_buffers("VKC_Gost_CBC_m", sbox, in, out, key);
  if (rc == 0 && reg == nullptr) rc = GOST28147_ERR_PARAM;
  if (rc == 0) rc = check_whole_blocks("VKC_Gost_CBC_m", in->length);
  if (rc != 0) return rc;
  cbc_blocks(sbox, in->data, out->data, in->length / 8, reg, key, encrypt != 0);
  out->length = in->length;
  return 0;
}

int32_t VKC_Gost_Gamm_m(const Gost28147ExpandedSbox* sbox, const GostBuffer* in, GostBuffer* out,
                        uint32_t* reg, const uint32_t* key, uint8_t flags) {
  return stream_mode(Stream::kGamma, "VKC_Gost_Gamm_m", sbox, in, out, reg, key, true, flags);
}

int32_t VKC_Gost_GFB_m(const Gost28147ExpandedSbox* sbox, const GostBuffer* in, GostBuffer* out,
                       uint32_t* reg, const uint32_t* key, uint8_t encrypt, uint8_t flags) {
  return stream_mode(Stream::kFeedback, "VKC_Gost_GFB_m", sbox, in, out, reg, key, encrypt != 0,
                     flags);
}

// MAC of the input; the running register starts from the output's 8 bytes
// (zeroed first with the first flag), and its first 4 bytes are the MAC.
int32_t VKC_Gost_Imito_m(const Gost28147ExpandedSbox* sbox, const GostBuffer* in,
                         GostBuffer* out, const uint32_t* key, uint8_t flags) {
  if (sbox == nullptr || in == nullptr || out == nullptr || key == nullptr ||
      in->data == nullptr || out->data == nullptr) {
    VKC_LOG("VKC_Gost_Imito_m: bad params");
    return GOST28147_ERR_PARAM;
  }
  if (in->length == 0 || out->length != 8) {
    VKC_LOG("VKC_Gost_Imito_m: invalid buffer length");
    return GOST28147_ERR_LENGTH;
  }
  if (!sbox_marked(sbox)) {
    VKC_LOG("VKC_Gost_Imito_m: TZ not initialized");
    return GOST28147_ERR_SBOX;
  }
  uint8_t tail_in[8] = {0};
  uint32_t tail = 0, whole = 0;
  int32_t rc = make_last_block(in->data, in->length, tail_in, &tail, &whole, flags);
  if (rc != 0) {
    VKC_LOG("make_last_block failed, rc = 0x%x", static_cast<unsigned>(rc));
    return rc;
  }
  if (flags & GOST28147_FLAG_FIRST) memset(out->data, 0, 8);
  uint32_t mac[2] = {load_le32(out->data), load_le32(out->data + 4)};
  imito_blocks(sbox, in->data, whole, mac, key);
  if (tail != 0) imito_blocks(sbox, tail_in, 1, mac, key);
  store_le32(out->data, mac[0]);
  explicit_bzero(tail_in, sizeof(tail_in));
  return 0;
}

int32_t vkc_crpt_crypto_engine(uint32_t mode, const Gost28147ExpandedSbox* sbox,
                               const GostBuffer* in, GostBuffer* out, uint32_t* reg,
                               const uint32_t* key, uint8_t encrypt, uint8_t flags) {
  switch (mode) {
    case GOST28147_MODE_ECB:
      return VKC_Gost_SS_m(sbox, in, out, key, encrypt);
    case GOST28147_MODE_CFB:
      return VKC_Gost_GFB_m(sbox, in, out, reg, key, encrypt, flags);
    case GOST28147_MODE_CNT:
      return VKC_Gost_Gamm_m(sbox, in, out, reg, key, flags);
    case GOST28147_MODE_CBC:
    case GOST28147_MODE_CBC_KEEP_IV:
      return VKC_Gost_CBC_m(sbox, in, out, reg, key, encrypt);
    default:
      return GOST28147_ERR_MODE;
  }
}

}  // extern "C"
