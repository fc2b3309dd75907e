// The HTTP exchange of the on-line services (OCSP responders, time-stamp
// services, the certificate directory): URL splitting, a connect BIO with
// time-outs, optionally a TLS client filter on it, writing a request and
// reading the whole answer up to the close of the connection, and the
// status line and header handling of that answer.
#ifndef ORVEL_SSF_NET_CONN_H
#define ORVEL_SSF_NET_CONN_H

#include <openssl/bio.h>
#include <openssl/ssl.h>

#include <cstddef>
#include <memory>
#include <string>

#include "ossl_ptr.h"

namespace orvel::net {

// Time-outs of one exchange, so a dead service cannot hold the host's thread.
constexpr int kNetConnectTimeoutSeconds = 30;
constexpr int kNetIoTimeoutSeconds = 120;
// Largest answer kept in memory; a longer one is refused.
constexpr size_t kNetMaxAnswerBytes = 16u * 1024u * 1024u;
// The status line is read up to this many characters.
constexpr size_t kNetStatusLineMax = 511;

// Time-outs in milliseconds for the tests; 0 restores the constants above.
void set_timeouts_for_tests(int connect_ms, int io_ms);

// A URL split by the toolkit's OCSP URL parser ("http" and "https", default
// ports 80 and 443).
struct Url {
  std::string host;
  std::string port;
  std::string path;
  bool tls = false;
};

// false when the URL does not parse.
bool split_url(const char* url, Url* out);

enum ConnectResult {
  kConnected = 0,
  kConnectSetupFailed = -1,  // connection object, port or TLS context
  kConnectFailed = 1,        // refused, unreachable or timed out
};

using SslCtxPtr = std::unique_ptr<SSL_CTX, Free<SSL_CTX, SSL_CTX_free>>;

// One open connection: the connect BIO, with a TLS client filter on top for
// https. The TLS context lives as long as the connection.
class Connection {
 public:
  Connection() = default;
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Connects to host:port within the connect time-out and sets the I/O
  // time-outs on the socket; with tls a TLS client filter (automatic retry,
  // no peer verification: the answers are signed objects checked on their
  // own) is pushed on the connection.
  ConnectResult open(const std::string& host, const std::string& port, bool tls);

  // The same through an HTTP proxy: connects to the proxy; for tls a tunnel
  // to target ("host:port") is opened with CONNECT first (with a Basic
  // proxy authorisation when proxy_auth_b64 is not empty), so that TLS runs
  // with the service and not with the proxy.
  ConnectResult open_via_proxy(const std::string& proxy_host, const std::string& proxy_port,
                               const std::string& target, bool tls,
                               const std::string& proxy_auth_b64);

  // Writes all bytes; false on error or time-out.
  bool write_all(const void* data, size_t length);

  // Reads in pieces of up to 1,024 bytes until the peer closes; false on a
  // read error, a time-out or an answer above kNetMaxAnswerBytes.
  bool read_all(std::string* out);

  BIO* bio() const { return top_; }

 private:
  ConnectResult connect_plain(const std::string& host, const std::string& port, BioPtr* conn);
  ConnectResult push_tls(BioPtr conn);
  SslCtxPtr ctx_;
  BioPtr chain_;     // owns every BIO of the chain
  BIO* top_ = nullptr;
};

// Writes all bytes to the BIO; false on error or time-out.
bool write_all(BIO* bio, const void* data, size_t length);

// Reads the BIO in pieces of up to 1,024 bytes until the peer closes; false
// on a read error, a time-out or an answer above kNetMaxAnswerBytes.
bool read_all(BIO* bio, std::string* out);

// The body of an HTTP answer: the status line's code must be 200 and the
// header lines end at the first empty (or all-white-space) line. On failure
// the toolkit's error queue holds the reason ("Code=...,Reason=..." for a
// status other than 200) and false is returned.
bool http_answer_body(const std::string& answer, const unsigned char** body, size_t* length);

}  // namespace orvel::net

#endif
