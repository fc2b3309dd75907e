// SsfDecode as the host calls it: Base64 text or a PKCS#7 data ContentInfo.
#include "fuzz_common.h"

using namespace orvel_fuzz;

// Selector: bit 0 picks the format (0 BASE64, 1 PKCS7).
int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in;
  if (!split(data, size, &in)) return 0;
  const Run run;
  const bool pkcs7 = (in.selector & 1) != 0;
  Output out;
  SsfDecode(pkcs7 ? "PKCS7" : "BASE64", pkcs7 ? 5 : 6, in.data, in.size, &out.p, &out.n);
  return 0;
}
