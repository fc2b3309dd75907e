// Token keys are not built yet: no key is a token key.
#include "token_keys.h"

int IsTokenPkey(const EVP_PKEY* /*key*/) { return 0; }

TokenKeyContext* GetTokenPkey(const EVP_PKEY* /*key*/) { return nullptr; }

int TOKEN_PKEY_decrypt(unsigned char* /*dec_key*/, const unsigned char* /*enc_key*/,
                       size_t /*enc_key_len*/, TokenKeyContext* /*token*/) {
  return -1;
}

void SSF_EVP_PKEY_free(EVP_PKEY* key) { EVP_PKEY_free(key); }
