// Operations not built yet: each refuses with 4 and says so in the trace log.
#include "log.h"
#include "operations.h"

int ssf_sign_data(SsfDataBlob*, const SsfDataBlob*, int, int, SigRcpSsfInformationList, int) {
  log_err("%s() : operation not available", "ssf_sign_data");
  return SSF_API_NOMEMORY;
}

int add_sign_data(SsfDataBlob*, const SsfDataBlob*, const SsfDataBlob*, int, SigRcpSsfInfo*, int) {
  log_err("%s() : operation not available", "add_sign_data");
  return SSF_API_NOMEMORY;
}

