#include "byte_word_conv.h"

extern "C" {

uint32_t Uint8ToUint32(const uint8_t* in) {
  return static_cast<uint32_t>(in[0]) | (static_cast<uint32_t>(in[1]) << 8) |
         (static_cast<uint32_t>(in[2]) << 16) | (static_cast<uint32_t>(in[3]) << 24);
}

void Uint32ToUint8(uint32_t w, uint8_t* out) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(w >> (8 * i));
}

uint64_t Uint8ToUint64(const uint8_t* in) {
  uint64_t w = 0;
  for (int i = 7; i >= 0; --i) w = (w << 8) | in[i];
  return w;
}

void Uint64ToUint8(uint64_t w, uint8_t* out) {
  for (int i = 0; i < 8; ++i) out[i] = static_cast<uint8_t>(w >> (8 * i));
}

}  // extern "C"
