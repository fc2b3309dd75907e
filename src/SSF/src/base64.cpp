#include "base64.h"

#include <openssl/bio.h>
#include <openssl/evp.h>

#include <cstring>
#include <string>

#include "log.h"
#include "ossl_ptr.h"

namespace {

// Copies what the chain produced into a new toolkit buffer.
int take_output(SsfDataBlob* output, const unsigned char* data, size_t len) {
  auto* out = len > 0 ? static_cast<unsigned char*>(OPENSSL_malloc(len)) : nullptr;
  if (out == nullptr) {
    log_err("%s() : OPENSSL_malloc( %d ) failed", "base64_enc_dec", static_cast<int>(len));
    return SSF_API_NOMEMORY;
  }
  memcpy(out, data, len);
  output->pbData = out;
  output->cbData = static_cast<SsfInt>(len);
  return SSF_API_OK;
}

int encode(SsfDataBlob* output, const SsfDataBlob* input, int no_line_feeds) {
  orvel::BioPtr b64(BIO_new(BIO_f_base64()));
  BIO* mem = BIO_new(BIO_s_mem());
  if (!b64 || mem == nullptr) {
    BIO_free(mem);
    return -1;
  }
  if (no_line_feeds) BIO_set_flags(b64.get(), BIO_FLAGS_BASE64_NO_NL);
  BIO* chain = BIO_push(b64.get(), mem);
  if (input->cbData > 0 && BIO_write(chain, input->pbData, input->cbData) != input->cbData)
    return take_output(output, nullptr, 0);
  if (BIO_flush(chain) != 1) return take_output(output, nullptr, 0);
  char* p = nullptr;
  long n = BIO_get_mem_data(mem, &p);
  return take_output(output, reinterpret_cast<unsigned char*>(p), n > 0 ? size_t(n) : 0);
}

int decode(SsfDataBlob* output, const SsfDataBlob* input, int no_line_feeds) {
  // The toolkit's decoder drops a last line that has no line feed, so one
  // is added when the text does not end in one.
  std::string text;
  if (input->cbData > 0) text.assign(reinterpret_cast<const char*>(input->pbData), input->cbData);
  if (!no_line_feeds && !text.empty() && text.back() != '\n') text.push_back('\n');

  orvel::BioPtr b64(BIO_new(BIO_f_base64()));
  BIO* mem = BIO_new_mem_buf(text.data(), static_cast<int>(text.size()));
  if (!b64 || mem == nullptr) {
    BIO_free(mem);
    return -1;
  }
  if (no_line_feeds) BIO_set_flags(b64.get(), BIO_FLAGS_BASE64_NO_NL);
  BIO* chain = BIO_push(b64.get(), mem);
  std::string out;
  unsigned char buf[4096];
  for (;;) {
    int n = BIO_read(chain, buf, sizeof buf);
    if (n <= 0) break;
    out.append(reinterpret_cast<const char*>(buf), static_cast<size_t>(n));
  }
  return take_output(output, reinterpret_cast<const unsigned char*>(out.data()), out.size());
}

}  // namespace

int base64_enc_dec(int mode, SsfDataBlob* output, const SsfDataBlob* input, int no_line_feeds) {
  try {
    return mode ? encode(output, input, no_line_feeds) : decode(output, input, no_line_feeds);
  } catch (...) {
    return SSF_API_NOMEMORY;
  }
}

int base64_encode(SsfDataBlob* output, const SsfDataBlob* input, int no_line_feeds) {
  int rc = base64_enc_dec(1, output, input, no_line_feeds);
  if (rc != 0) log_err("%s() : base64_enc_dec( 1 ) failed", "base64_encode");
  return rc;
}

int base64_decode(SsfDataBlob* output, const SsfDataBlob* input, int no_line_feeds) {
  int rc = base64_enc_dec(0, output, input, no_line_feeds);
  if (rc != 0) log_err("%s() : base64_enc_dec( 0 ) failed", "base64_decode");
  return rc;
}
