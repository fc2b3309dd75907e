// The HTTP exchange of the on-line services (OCSP responders, time-stamp
// services, the certificate directory): URL splitting, a connect BIO with
// one deadline for the whole exchange, optionally a TLS client filter on it
// that verifies the service, writing a request and reading the whole answer
// up to the close of the connection, and the status line and header handling
// of that answer.
#ifndef ORVEL_SSF_NET_CONN_H
#define ORVEL_SSF_NET_CONN_H

#include <openssl/bio.h>
#include <openssl/ssl.h>
#include <signal.h>

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "ossl_ptr.h"

namespace orvel::net {

// The connect itself gives up after this long.
constexpr int kNetConnectTimeoutSeconds = 30;
// One exchange (connect, TLS handshake, request, the whole answer) ends
// after this long, however slowly the service keeps sending.
constexpr int kNetExchangeTimeoutSeconds = 120;
// Largest answer kept in memory; a longer one is refused.
constexpr size_t kNetMaxAnswerBytes = 16u * 1024u * 1024u;
// The status line is read up to this many characters.
constexpr size_t kNetStatusLineMax = 511;

// Time-outs in milliseconds for the tests; 0 restores the constants above.
void set_timeouts_for_tests(int connect_ms, int exchange_ms);

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
  kConnectSetupFailed = -1,  // connection object, port or TLS context
  kConnected = 0,
  kConnectFailed = 1,  // refused, unreachable, timed out, or the TLS
                       // peer not verified
};

using SslCtxPtr = std::unique_ptr<SSL_CTX, Free<SSL_CTX, SSL_CTX_free>>;
using Clock = std::chrono::steady_clock;

// Holds SIGPIPE back for this thread while it lives: a write to a service
// that has hung up must fail, not end the host's process. A SIGPIPE raised
// meanwhile is taken off before the old signal mask returns.
class SigpipeHold {
 public:
  SigpipeHold();
  ~SigpipeHold();
  SigpipeHold(const SigpipeHold&) = delete;
  SigpipeHold& operator=(const SigpipeHold&) = delete;

 private:
  sigset_t old_mask_;
  bool held_ = false;
  bool was_pending_ = false;
};

// One open connection: the connect BIO, with a TLS client filter on top for
// https. The deadline of the exchange starts when the connection is opened
// and holds for every read and write through bio().
class Connection {
 public:
  Connection() = default;
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Connects to host:port; with tls the TLS handshake runs at once and the
  // service must present a chain to the configured CA file or the system's
  // CA certificates that names host (an IP address as an IP address SAN).
  // A handshake or verification failure is a failed connection, with an
  // ERROR line.
  ConnectResult open(const std::string& host, const std::string& port, bool tls);

  // The same through an HTTP proxy: connects to the proxy; for tls a tunnel
  // to host:port is opened with CONNECT first (with a Basic proxy
  // authorisation when proxy_auth_b64 is not empty), so that TLS runs with
  // the service, and is verified for it, and not with the proxy.
  ConnectResult open_via_proxy(const std::string& proxy_host, const std::string& proxy_port,
                               const std::string& host, const std::string& port, bool tls,
                               const std::string& proxy_auth_b64);

  // Writes all bytes; false on error or when the deadline passes.
  bool write_all(const void* data, size_t length);

  // Reads in pieces of up to 1,024 bytes until the peer closes; false on a
  // read error, the deadline, or an answer above kNetMaxAnswerBytes.
  bool read_all(std::string* out);

  BIO* bio() const { return top_; }

 private:
  ConnectResult connect_plain(const std::string& host, const std::string& port, BioPtr* conn);
  ConnectResult push_tls(BioPtr conn, const std::string& host);
  void use_chain(BioPtr chain);
  // First member, so that it also covers the close_notify of the end.
  SigpipeHold sigpipe_hold_;
  Clock::time_point deadline_{};  // the BIOs of the chain point here
  SslCtxPtr ctx_;
  BioPtr chain_;  // owns every BIO of the chain
  BIO* top_ = nullptr;
};

// Writes all bytes to the BIO; false on error or when the exchange's
// deadline passes (a BIO not opened by Connection gets a deadline of its
// own from now). Failures leave "server write error" in the error queue.
bool write_all(BIO* bio, const void* data, size_t length);

// Reads the BIO in pieces of up to 1,024 bytes until the peer closes; false
// on a read error, the deadline, or an answer above kNetMaxAnswerBytes, with
// "server read error" in the error queue.
bool read_all(BIO* bio, std::string* out);

// The body of an HTTP answer: the status line is a word, white space, the
// status code (all decimal digits; else false without an error entry),
// white space and an optional reason; the code must be 200 and the header
// lines end at the first empty (or all-white-space) line. On failure the
// error queue holds "server response parse error", "server response error"
// (data "Code=..." and, with a reason, ",Reason=...") or "no content".
// headers, when given, receives the header lines (without the status line
// and the empty line).
bool http_answer_body(const std::string& answer, const unsigned char** body, size_t* length,
                      std::string_view* headers = nullptr);

}  // namespace orvel::net

#endif
