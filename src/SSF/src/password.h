// Profile passwords: the encrypted form kept in configurations and records
// (Base64 of IV, GOST 28147-89 ciphertext and a 4-byte MAC), and an owner
// that wipes password texts when they are freed.
#ifndef ORVEL_SSF_PASSWORD_H
#define ORVEL_SSF_PASSWORD_H

#include <openssl/crypto.h>

#include <cstring>
#include <memory>

// Longest password a blob may carry.
constexpr int kMaxPasswordLen = 1023;

// The password in a Base64 blob (without line breaks): new text from the
// toolkit's allocator, or null when the blob does not decode, is too short
// or too long, the cipher is not available or the MAC does not match.
char* DecryptPassword(const char* blob);

namespace orvel {

// A NUL-terminated secret from the toolkit's allocator, wiped when freed.
struct SecretFree {
  void operator()(char* p) const noexcept {
    if (p != nullptr) OPENSSL_clear_free(p, strlen(p));
  }
};
using SecretTextPtr = std::unique_ptr<char, SecretFree>;

}  // namespace orvel

#endif
