// The error texts of the directory exchange, in an error library of the
// system's own (the toolkit has dropped the texts of its old HTTP client).
#ifndef ORVEL_SSF_HOK_TRANSPORT_H
#define ORVEL_SSF_HOK_TRANSPORT_H

enum HokErrorReason {
  kHokErrServerWrite = 1,          // "server write error"
  kHokErrServerRead = 2,           // "server read error"
  kHokErrServerResponseParse = 3,  // "server response parse error"
  kHokErrServerResponse = 4,       // "server response error"
  kHokErrNoContent = 5,            // "no content"
};

// The library number of these texts, loaded on first use.
int hok_err_lib();

#endif
