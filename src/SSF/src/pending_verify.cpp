// Operations not built yet: each refuses with 4 and says so in the trace log.
#include "log.h"
#include "operations.h"

int ssf_verify_data(SsfDataBlob*, const SsfDataBlob*, const SsfDataBlob*, int, const SsfDataBlob*, const SsfDataBlob*, SigRcpSsfInformationList*, int) {
  log_err("%s() : operation not available", "ssf_verify_data");
  return SSF_API_NOMEMORY;
}

