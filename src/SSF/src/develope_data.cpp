// develope_data: an envelopedData opened with the key and certificate of
// one recipient; the plaintext goes back wrapped as PKCS#7 data.
#include <openssl/err.h>
#include <openssl/pkcs7.h>

#include <limits>

#include "develope_decrypt.h"
#include "keys.h"
#include "log.h"
#include "op_guard.h"
#include "operations.h"
#include "ossl_ptr.h"
#include "time_util.h"
#include "token_keys.h"

namespace {

constexpr char kFunc[] = "develope_data";
constexpr int kReadStep = 4096;
constexpr size_t kDrainStep = 65536;

// A memory BIO whose plaintext is wiped before it is freed.
struct WipedMemBio {
  orvel::BioPtr bio{BIO_new(BIO_s_mem())};
  ~WipedMemBio() {
    BUF_MEM* mem = nullptr;
    if (bio && BIO_get_mem_ptr(bio.get(), &mem) > 0 && mem != nullptr && mem->data != nullptr)
      OPENSSL_cleanse(mem->data, mem->max);
  }
};

// The plaintext in one buffer grown by reallocation; the old block of each
// growth and the last one are wiped before they are freed.
struct PlainBuffer {
  unsigned char* data = nullptr;
  size_t capacity = 0;
  size_t used = 0;
  PlainBuffer() = default;
  PlainBuffer(const PlainBuffer&) = delete;
  PlainBuffer& operator=(const PlainBuffer&) = delete;
  ~PlainBuffer() { OPENSSL_clear_free(data, capacity); }
  // False when the allocation fails; the buffer is then left as it was.
  bool grow(size_t new_capacity) {
    void* p = OPENSSL_clear_realloc(data, capacity, new_capacity);
    if (p == nullptr) return false;
    data = static_cast<unsigned char*>(p);
    capacity = new_capacity;
    return true;
  }
};

// Drains the memory BIO into the buffer in steps of at most 65,536 bytes.
// When a step does not fit, the buffer grows by all that is pending: growing
// by single steps would copy the whole buffer once per step. SSF_API_OK, or
// SSF_API_NOMEMORY with its line when the buffer cannot grow.
int drain(BIO* plain, PlainBuffer* text) {
  constexpr size_t kMaxBlob = size_t(std::numeric_limits<SsfInt>::max());
  for (;;) {
    const size_t pending = BIO_ctrl_pending(plain);
    if (pending == 0) return SSF_API_OK;
    const size_t step = pending < kDrainStep ? pending : kDrainStep;
    const size_t new_size = text->used + pending;
    if (text->capacity < text->used + step && (new_size > kMaxBlob || !text->grow(new_size))) {
      log_err("%s() 10 : realloc( %d ) failed", kFunc,
              static_cast<int>(new_size > kMaxBlob ? kMaxBlob : new_size));
      return SSF_API_NOMEMORY;
    }
    const int n = BIO_read(plain, text->data + text->used, static_cast<int>(step));
    if (n <= 0) return SSF_API_OK;
    text->used += size_t(n);
  }
}

int develope(SsfDataBlob* output, const SsfDataBlob* input, SigRcpSsfInfo* recipient) {
  X509* c = nullptr;
  EVP_PKEY* k = nullptr;
  const int load_rc = ssf_load_cert_and_key(recipient, &c, &k, 0, nullptr, nullptr);
  orvel::X509Ptr cert(c);
  SsfPkeyPtr key(k);  // releases a token key's session as well
  if (load_rc != 0) {
    log_err("%s() 1 : ssf_load_cert_and_key() failed", kFunc);
    return load_rc;
  }
  if (input == nullptr || input->pbData == nullptr || input->cbData <= 0) {
    log_err("%s() 6 : d2i_PKCS7_bio() failed", kFunc);
    return SSF_API_DECODE_FAILED;
  }
  orvel::BioPtr in(BIO_new_mem_buf(input->pbData, input->cbData));
  if (!in) {
    log_err("%s() 5 : BIO_new_mem_buf() failed", kFunc);
    return SSF_API_NOMEMORY;
  }
  orvel::Pkcs7Ptr p7(d2i_PKCS7_bio(in.get(), nullptr));
  if (!p7) {
    log_err("%s() 6 : d2i_PKCS7_bio() failed", kFunc);
    print_brekssl_errors();
    return SSF_API_DECODE_FAILED;
  }
  if (!PKCS7_type_is_enveloped(p7.get())) {
    log_err("%s() 7 : PKCS7 has wrong format", kFunc);
    return SSF_API_UNKNOWN_FORMAT;
  }
  WipedMemBio plain;
  if (!plain.bio) {
    log_err("%s() 8 : BIO_new( BIO_s_mem() ) failed", kFunc);
    return SSF_API_NOMEMORY;
  }

  orvel::BioPtr chain(my_PKCS7_decrypt(p7.get(), key.get(), cert.get()));
  bool decrypted = static_cast<bool>(chain);
  if (decrypted) {
    unsigned char buf[kReadStep];
    int n;
    while ((n = BIO_read(chain.get(), buf, sizeof buf)) > 0) {
      if (BIO_write(plain.bio.get(), buf, n) != n) {
        OPENSSL_cleanse(buf, sizeof buf);
        log_err("%s() 10 : BIO_write( %d ) failed", kFunc, n);
        return SSF_API_NOMEMORY;
      }
    }
    OPENSSL_cleanse(buf, sizeof buf);
    decrypted = n == 0 && BIO_get_cipher_status(chain.get()) == 1;
  }
  if (!decrypted) {
    ERR_raise(ERR_LIB_PKCS7, PKCS7_R_DECRYPT_ERROR);
    log_err("%s() 9 : my_PKCS7_decrypt() failed", kFunc);
    print_brekssl_errors();
    recipient->uResult = SSF_SIGNATURE_INVALID;
    return SSF_API_RECIPIENT_FAILED;
  }

  PlainBuffer text;
  if (const int rc = drain(plain.bio.get(), &text); rc != SSF_API_OK) return rc;
  SsfDataBlob plaintext;
  plaintext.pbData = text.data;
  plaintext.cbData = static_cast<SsfInt>(text.used);
  if (encode_data(output, &plaintext) != 0) {
    log_err("%s() 11 : encode_data() failed", kFunc);
    return SSF_API_ENCODE_FAILED;
  }
  recipient->uResult = SSF_SIGNATURE_VALID;
  return SSF_API_OK;
}

}  // namespace

int develope_data(SsfDataBlob* output, const SsfDataBlob* input, SigRcpSsfInfo* recipient,
                  int /*type*/) {
  dbg("%s() begin at %s", kFunc, get_time_string());
  const int rc = run_output_op(kFunc, output, [&] { return develope(output, input, recipient); });
  dbg("%s() end at %s, retcode = %d", kFunc, get_time_string(), rc);
  return rc;
}
