// Loopback fixtures of the OCSP and time-stamp tests: an HTTP server thread
// that records each request and answers it through a handler (a TSA, a
// proxy, a broken server or a silent one), and the OpenSSL OCSP responder.
#ifndef ORVEL_TEST_OCSP_TSA_H
#define ORVEL_TEST_OCSP_TSA_H

#include <openssl/ssl.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "test_servers.h"

namespace orvel_test {

// Answers every connection with handler(request bytes); a handler that
// returns std::nullopt-like kSilent keeps the connection open unanswered
// until the server stops.
class RecordingHttpServer {
 public:
  using Handler = std::function<std::string(const std::string& request)>;
  static const std::string& silent();

  explicit RecordingHttpServer(Handler handler);
  // The same over TLS with this certificate and key (https).
  RecordingHttpServer(Handler handler, X509* cert, EVP_PKEY* key);
  ~RecordingHttpServer();
  RecordingHttpServer(const RecordingHttpServer&) = delete;
  RecordingHttpServer& operator=(const RecordingHttpServer&) = delete;

  int port() const { return port_; }
  std::string url(const std::string& path = "/") const;
  std::vector<std::string> requests() const;
  // Plain HTTP answers go out one byte per interval from now on.
  void trickle(int interval_ms) { trickle_ms_ = interval_ms; }

 private:
  void serve();
  void handle(int fd);
  void start();
  Handler handler_;
  std::atomic<int> trickle_ms_{0};
  SSL_CTX* tls_ = nullptr;
  int listen_fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

// The body of an HTTP request (after the blank line).
std::string http_body(const std::string& request);
// "HTTP/1.0 200 OK" with the content type and body.
std::string http_ok(const std::string& content_type, const std::string& body);

// Sends the request to 127.0.0.1:port and returns everything the server
// answers until it closes. An absolute request target ("POST http://h:p/x")
// is turned into the origin form first, as a proxy does.
std::string relay(int port, const std::string& request);

// An HTTP proxy that opens CONNECT tunnels (and records the CONNECT
// requests); other requests are answered 405.
class TunnelProxy {
 public:
  TunnelProxy();
  ~TunnelProxy();
  TunnelProxy(const TunnelProxy&) = delete;
  TunnelProxy& operator=(const TunnelProxy&) = delete;
  int port() const { return port_; }
  std::vector<std::string> requests() const;

 private:
  void serve();
  int listen_fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

// `openssl ocsp -index` as a responder on a free port.
class OcspResponder : public ChildServer {
 public:
  // index: CA index file; ca, rsigner, rkey: PEM files; extra: further
  // options; port 0: a free one.
  OcspResponder(const std::string& index, const std::string& ca, const std::string& rsigner,
                const std::string& rkey, const std::vector<std::string>& extra = {},
                int port = 0);
  std::string url() const;
};

// A time-stamp service: `openssl ts -reply` over each request, behind a
// RecordingHttpServer. config: an openssl configuration with a [tsa] section.
class TsaServer {
 public:
  TsaServer(std::string dir, std::string config, std::string section = "tsa_config1");
  std::string url() const { return server_.url("/tsa"); }
  std::vector<std::string> requests() const { return server_.requests(); }

 private:
  std::string reply(const std::string& request);
  std::string dir_;
  std::string config_;
  std::string section_;
  std::atomic<int> count_{0};
  RecordingHttpServer server_;
};

}  // namespace orvel_test

#endif
