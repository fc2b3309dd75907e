// A time-stamp token (or a whole time-stamp answer) checked as the
// time-stamp client checks a stored token: status, signature, the
// authority's chain (the fixture CA is trusted), the imprint over the
// document, and the extra checks of its kind.
#include <openssl/ts.h>

#include "fuzz_common.h"
#include "tsp_client.h"

using namespace orvel_fuzz;

namespace {

using TsRespPtr = std::unique_ptr<TS_RESP, orvel::Free<TS_RESP, TS_RESP_free>>;

void verify_token(const unsigned char* der, int len, int kind) {
  static const std::string document = read_fixture("document.txt");
  orvel::Asn1OctetStringPtr token(ASN1_OCTET_STRING_new());
  orvel::Asn1OctetStringPtr data(ASN1_OCTET_STRING_new());
  if (!token || !data || !ASN1_OCTET_STRING_set(token.get(), der, len) ||
      !ASN1_OCTET_STRING_set(data.get(), reinterpret_cast<const unsigned char*>(document.data()),
                             static_cast<int>(document.size())))
    return;
  orvel::X509StorePtr store = ca_store();
  ASN1_GENERALIZEDTIME* gen_time = nullptr;
  ssf_verify_TS(token.get(), data.get(), store.get(), kind, &gen_time, nullptr, nullptr);
  ASN1_GENERALIZEDTIME_free(gen_time);
}

}  // namespace

// Selector (modulo 6): the kind (1 signature, 2 ES-C, 3 archive time
// stamp) is selector % 3 + 1; from 3 on, the input is a whole answer.
int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in;
  if (!split(data, size, &in)) return 0;
  const Run run;
  const int kind = static_cast<int>(in.selector % 3) + 1;
  if (in.selector % 6 < 3) {
    verify_token(in.data, in.size, kind);
    return 0;
  }
  const unsigned char* p = in.data;
  TsRespPtr resp(d2i_TS_RESP(nullptr, &p, in.size));
  if (!resp || SSF_TS_check_status_info(resp.get()) != 1) return 0;
  unsigned char* der = nullptr;
  const int len = i2d_PKCS7(TS_RESP_get_token(resp.get()), &der);
  orvel::BytesPtr owner(der);
  if (len > 0) verify_token(der, len, kind);
  return 0;
}
