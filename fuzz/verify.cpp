// SsfVerify as the host calls it: the signed data from outside, the format
// and the flags from the selector, a PAB holding the trusted certificates.
#include <cstring>

#include "fuzz_common.h"

using namespace orvel_fuzz;

// Selector: format (bits 0-2, modulo 5), 8 the document is given (the
// signed data of a detached signature, or compared with attached content),
// 16 the certificates in the message are used.
int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const char* const kFormats[] = {"PKCS7_ANY", "PKCS7", "CADES_BES", "PKCS7_CADES",
                                         "CADES_XLT1"};
  static const std::string document = read_fixture("document.p7");
  static const std::string pab = fixture("pab");
  Input in;
  if (!split(data, size, &in)) return 0;
  const Run run;
  const char* format = kFormats[(in.selector & 7) % 5];
  const bool given = (in.selector & 8) != 0;
  ResultList results;
  Output out;
  SsfVerify(format, static_cast<SsfInt>(strlen(format)), (in.selector & 16) != 0, in.data, in.size,
            given ? reinterpret_cast<const unsigned char*>(document.data()) : nullptr,
            given ? static_cast<SsfInt>(document.size()) : 0, pab.data(),
            static_cast<SsfInt>(pab.size()), nullptr, 0, &results.head, &out.p, &out.n);
  return 0;
}
