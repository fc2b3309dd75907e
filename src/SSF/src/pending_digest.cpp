// Operations not built yet: each refuses with 4 and says so in the trace log.
#include "log.h"
#include "operations.h"

int digest_data(SsfDataBlob*, const SsfDataBlob*, int, int) {
  log_err("%s() : operation not available", "digest_data");
  return SSF_API_NOMEMORY;
}

int base64_encode(SsfDataBlob*, const SsfDataBlob*, int) {
  log_err("%s() : operation not available", "base64_encode");
  return SSF_API_NOMEMORY;
}

int base64_decode(SsfDataBlob*, const SsfDataBlob*, int) {
  log_err("%s() : operation not available", "base64_decode");
  return SSF_API_NOMEMORY;
}

int encode_data(SsfDataBlob*, const SsfDataBlob*) {
  log_err("%s() : operation not available", "encode_data");
  return SSF_API_NOMEMORY;
}

int decode_data(SsfDataBlob*, const SsfDataBlob*) {
  log_err("%s() : operation not available", "decode_data");
  return SSF_API_NOMEMORY;
}

int ssf_query_properties(const char*, int, const char*, int, unsigned char**, SsfInt*) {
  log_err("%s() : operation not available", "ssf_query_properties");
  return SSF_API_NOMEMORY;
}

