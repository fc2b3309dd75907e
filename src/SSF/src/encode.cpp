#include "encode.h"

#include <openssl/err.h>
#include <openssl/pkcs7.h>

#include <cstring>

#include "log.h"
#include "ossl_ptr.h"

namespace {

orvel::Pkcs7Ptr parse_pkcs7(const SsfDataBlob* input) {
  if (input == nullptr || input->pbData == nullptr || input->cbData <= 0) return nullptr;
  const unsigned char* p = input->pbData;
  return orvel::Pkcs7Ptr(d2i_PKCS7(nullptr, &p, input->cbData));
}

bool passes_whole(const PKCS7* p7) {
  return PKCS7_type_is_signed(p7) || PKCS7_type_is_enveloped(p7);
}

}  // namespace

bool copy_to_blob(SsfDataBlob* output, const unsigned char* data, size_t len) {
  auto* out = len > 0 ? static_cast<unsigned char*>(OPENSSL_malloc(len)) : nullptr;
  if (out == nullptr) return false;
  memcpy(out, data, len);
  output->pbData = out;
  output->cbData = static_cast<SsfInt>(len);
  return true;
}

int encode_data(SsfDataBlob* output, const SsfDataBlob* input) {
  orvel::Pkcs7Ptr in = parse_pkcs7(input);
  ERR_clear_error();
  if (in && passes_whole(in.get())) {
    if (!copy_to_blob(output, input->pbData, static_cast<size_t>(input->cbData))) {
      log_err("%s() 1 : OPENSSL_malloc( %d ) failed", "encode_data", input->cbData);
      return SSF_API_NOMEMORY;
    }
    return SSF_API_OK;
  }
  orvel::Pkcs7Ptr p7(PKCS7_new());
  if (!p7 || !PKCS7_set_type(p7.get(), NID_pkcs7_data) ||
      !ASN1_OCTET_STRING_set(p7->d.data, input ? input->pbData : nullptr,
                             input && input->cbData > 0 ? input->cbData : 0)) {
    log_err("%s() 2 : PKCS7_new() failed", "encode_data");
    print_brekssl_errors();
    return SSF_API_NOMEMORY;
  }
  unsigned char* der = nullptr;
  int n = i2d_PKCS7(p7.get(), &der);
  if (n <= 0 || der == nullptr) {
    log_err("%s() 3 : i2d_PKCS7() failed", "encode_data");
    print_brekssl_errors();
    return SSF_API_NOMEMORY;
  }
  output->pbData = der;
  output->cbData = n;
  return SSF_API_OK;
}

int decode_data(SsfDataBlob* output, const SsfDataBlob* input) {
  orvel::Pkcs7Ptr p7 = parse_pkcs7(input);
  if (!p7) {
    log_err("%s() 1 : d2i_PKCS7() failed", "decode_data");
    print_brekssl_errors();
    return SSF_API_DECODE_FAILED;
  }
  const unsigned char* data = nullptr;
  size_t len = 0;
  if (PKCS7_type_is_data(p7.get())) {
    // A data ContentInfo may come without its content: nothing to hand back.
    ASN1_OCTET_STRING* os = PKCS7_get_octet_string(p7.get());
    if (os == nullptr) {
      log_err("%s() 2 : PKCS7 data has no content", "decode_data");
      return SSF_API_DECODE_FAILED;
    }
    data = ASN1_STRING_get0_data(os);
    len = static_cast<size_t>(ASN1_STRING_length(os));
  } else if (passes_whole(p7.get())) {
    data = input->pbData;
    len = static_cast<size_t>(input->cbData);
  } else {
    log_err("%s() 2 : PKCS7 type is not data", "decode_data");
    return SSF_API_DECODE_FAILED;
  }
  if (!copy_to_blob(output, data, len)) {
    log_err("%s() 3 : OPENSSL_malloc( %d ) failed", "decode_data", static_cast<int>(len));
    return SSF_API_NOMEMORY;
  }
  return SSF_API_OK;
}
