// Operations not built yet: each refuses with 4 and says so in the trace log.
#include "log.h"
#include "operations.h"

int ssf_enhance_signatures(const char*, SsfInt, const unsigned char*, SsfInt, const unsigned char*, SsfInt, SigRcpSsfInformationList*, unsigned char**, SsfInt*) {
  log_err("%s() : operation not available", "ssf_enhance_signatures");
  return SSF_API_NOMEMORY;
}

