// SsfEnhanceSignatures as the host calls it, on signed data from outside.
// No time-stamp or OCSP service is configured: enhancement reaches every
// check of the input and then fails fast instead of going to the network.
#include "fuzz_common.h"

using namespace orvel_fuzz;

// Selector: bit 0, the document is given (the data of a detached signature).
int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string document = read_fixture("document.p7");
  static const std::string pab = fixture("pab");
  Input in;
  if (!split(data, size, &in)) return 0;
  const Run run;
  const bool given = (in.selector & 1) != 0;
  ResultList results;
  Output out;
  SsfEnhanceSignatures(pab.data(), static_cast<SsfInt>(pab.size()), in.data, in.size,
                       given ? reinterpret_cast<const unsigned char*>(document.data()) : nullptr,
                       given ? static_cast<SsfInt>(document.size()) : 0, &results.head, &out.p,
                       &out.n);
  return 0;
}
