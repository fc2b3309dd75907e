// The hok directory client's answer scanner: the status line and headers
// of the HTTP answer, the texts between the tags, the certificate text. A
// loopback service answers the library's request with the input.
#include <openssl/crypto.h>

#include <string>

#include "fuzz_common.h"
#include "hok_client.h"

using namespace orvel_fuzz;

namespace {

Responder& responder() {
  static Responder r;
  return r;
}

}  // namespace

int LLVMFuzzerInitialize(int*, char***) {
  start("[hok]\nhok_urls = http://127.0.0.1:" + std::to_string(responder().port()) + "/hok/ws\n");
  return 0;
}

// Selector: bit 0 picks the request (0 the fingerprints of a SNILS owner,
// through the exported look-up; 1 a certificate by fingerprint).
int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in;
  if (!split(data, size, &in)) return 0;
  const Run run;
  responder().set_answer(in.data, static_cast<size_t>(in.size));
  if ((in.selector & 1) == 0) {
    OPENSSL_free(hok_get_single_fingerprint_by_snils("123-456-789 01"));
  } else {
    X509* cert = nullptr;
    hok_get_cert_by_fingerprint("00112233445566778899aabbccddeeff00112233", &cert);
    X509_free(cert);
  }
  return 0;
}
