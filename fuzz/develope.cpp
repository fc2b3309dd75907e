// SsfDevelope as the host calls it: the enveloped data from outside, opened
// with the RSA or the GOST R 34.10-2012 recipient's key.
#include "fuzz_common.h"

using namespace orvel_fuzz;

// Selector: bit 0 picks the recipient (0 RSA, 1 GOST).
int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in;
  if (!split(data, size, &in)) return 0;
  const Run run;
  const Party& who = party(in.selector);
  Record recipient(who.id, who.profile);
  Output out;
  SsfDevelope("PKCS7", 5, in.data, in.size, recipient.get(), &out.p, &out.n);
  return 0;
}
