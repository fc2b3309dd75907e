// The reasons the HTTP exchange of the on-line service clients leaves in the
// toolkit's error queue, with the texts the toolkit's own OCSP request
// function gave them before 3.0 removed it.
#ifndef ORVEL_SSF_NET_ERR_H
#define ORVEL_SSF_NET_ERR_H

#include <openssl/err.h>

namespace orvel::net {

enum NetErrReason {
  kNetErrServerWriteError = 100,    // "server write error"
  kNetErrServerReadError = 101,     // "server read error"
  kNetErrResponseParseError = 102,  // "server response parse error"
  kNetErrResponseError = 103,       // "server response error"
  kNetErrNoContent = 104,           // "no content"
};

// The error library of these reasons, registered on first use.
int net_err_lib();

}  // namespace orvel::net

#define NET_RAISE(reason) ERR_raise(orvel::net::net_err_lib(), (reason))
#define NET_RAISE_DATA(reason, ...) ERR_raise_data(orvel::net::net_err_lib(), (reason), __VA_ARGS__)

#endif
