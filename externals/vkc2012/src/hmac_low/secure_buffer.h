// Zeroing byte buffers for the key-derivation functions: every buffer that
// held key material is wiped before it is released, on every path.
#ifndef VKC_HMAC_LOW_SECURE_BUFFER_H
#define VKC_HMAC_LOW_SECURE_BUFFER_H

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

namespace vkc::hmac_low {

// Wipes n bytes at p in a way the compiler may not drop.
inline void wipe(void* p, size_t n) {
  if (p != nullptr && n != 0) explicit_bzero(p, n);
}

// A zero-filled heap buffer, wiped and freed by its destructor. Check ok()
// after construction: allocation failure leaves it empty.
class SecureBuffer {
 public:
  explicit SecureBuffer(size_t size)
      : data_(size == 0 ? nullptr : static_cast<uint8_t*>(calloc(size, 1))),
        size_(data_ == nullptr ? 0 : size) {}
  ~SecureBuffer() {
    wipe(data_, size_);
    free(data_);
  }
  SecureBuffer(const SecureBuffer&) = delete;
  SecureBuffer& operator=(const SecureBuffer&) = delete;

  bool ok() const { return data_ != nullptr; }
  uint8_t* data() { return data_; }
  size_t size() const { return size_; }

 private:
  uint8_t* data_;
  size_t size_;
};

// Wipes a stack object when the scope ends.
template <typename T>
class WipeOnExit {
 public:
  explicit WipeOnExit(T& obj) : obj_(obj) {}
  ~WipeOnExit() { wipe(&obj_, sizeof(T)); }
  WipeOnExit(const WipeOnExit&) = delete;
  WipeOnExit& operator=(const WipeOnExit&) = delete;

 private:
  T& obj_;
};

// Code of the key-derivation functions for a failed allocation.
constexpr int32_t kErrNoMemory = -2;

}  // namespace vkc::hmac_low

#endif
