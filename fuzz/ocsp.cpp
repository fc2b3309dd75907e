// An OCSP responder's answer checked as the OCSP client checks it: its
// first SingleResponse, the freshness against a time-stamp time, its
// critical extensions, the signature and the responder's chain at that
// time (the fixture CA is trusted), and the digest that names the answer in
// a reference.
#include <openssl/ocsp.h>

#include <ctime>

#include "fuzz_common.h"
#include "ocsp_client.h"

using namespace orvel_fuzz;

namespace {

bool seconds_of(const ASN1_TIME* t, time_t* out) {
  struct tm tm = {};
  if (t == nullptr || !ASN1_TIME_to_tm(t, &tm)) return false;
  *out = timegm(&tm);
  return true;
}

}  // namespace

int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Run run;
  const unsigned char* p = data;
  std::unique_ptr<OCSP_RESPONSE, orvel::Free<OCSP_RESPONSE, OCSP_RESPONSE_free>> resp(
      d2i_OCSP_RESPONSE(nullptr, &p, static_cast<long>(size)));
  if (!resp) return 0;
  OCSP_BASICRESP* raw = nullptr;
  const ASN1_GENERALIZEDTIME* produced = nullptr;
  OCSP_SINGLERESP* single = get_SINGLE_RESP(resp.get(), &raw, &produced);
  orvel::OcspBasicRespPtr bs(raw);
  const time_t at = time(nullptr);
  if (single != nullptr) {
    ASN1_GENERALIZEDTIME *this_update = nullptr, *next_update = nullptr;
    OCSP_single_get0_status(single, nullptr, nullptr, &this_update, &next_update);
    time_t made = 0, updated = 0;
    int pause = 0;
    if (seconds_of(produced, &made) && seconds_of(this_update, &updated))
      ocsp_resp_is_good(at, made, updated, next_update, &pause);
    ocsp_unprocessed_critical(bs.get(), single);
  }
  if (bs) {
    orvel::X509StorePtr store = ca_store();
    OCSP_basic_verify_time(&at, bs.get(), nullptr, store.get(), 0);
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int md_len = 0;
    OCSP_BASICRESP_digest(bs.get(), EVP_sha256(), md, &md_len);
  }
  return 0;
}
