// Operations not built yet: each refuses with 4 and says so in the trace log.
#include "log.h"
#include "operations.h"

int envelope_data(SsfDataBlob*, const SsfDataBlob*, const SsfDataBlob*, const SsfDataBlob*, SigRcpSsfInformationList, int) {
  log_err("%s() : operation not available", "envelope_data");
  return SSF_API_NOMEMORY;
}

int develope_data(SsfDataBlob*, const SsfDataBlob*, SigRcpSsfInfo*, int) {
  log_err("%s() : operation not available", "develope_data");
  return SSF_API_NOMEMORY;
}

