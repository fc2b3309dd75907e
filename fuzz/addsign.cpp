// SsfAddSign as the host calls it: a signature added to signed data from
// outside, by the RSA or the GOST fixture signer.
#include "fuzz_common.h"

using namespace orvel_fuzz;

// Selector: 1 CADES_BES (else PKCS7), 2 the document is given (the data
// of a detached signature), 4 the GOST signer (else RSA).
int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string document = read_fixture("document.p7");
  Input in;
  if (!split(data, size, &in)) return 0;
  const Run run;
  const bool cades = (in.selector & 1) != 0;
  const bool given = (in.selector & 2) != 0;
  const Party& who = party(in.selector >> 2);
  Record signer(who.id, who.profile);
  Output out;
  SsfAddSign(cades ? "CADES_BES" : "PKCS7", cades ? 9 : 5, "SHA1", 4, 1, in.data, in.size,
             given ? reinterpret_cast<const unsigned char*>(document.data()) : nullptr,
             given ? static_cast<SsfInt>(document.size()) : 0, signer.get(), &out.p, &out.n);
  return 0;
}
