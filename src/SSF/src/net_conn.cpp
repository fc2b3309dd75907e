#include "net_conn.h"

#include <openssl/err.h>
#include <openssl/ocsp.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <pthread.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>

#include "cert_check.h"
#include "log.h"
#include "net_err.h"
#include "settings.h"

namespace orvel::net {

namespace {

int g_connect_ms = 0;
int g_exchange_ms = 0;

int connect_ms() { return g_connect_ms > 0 ? g_connect_ms : kNetConnectTimeoutSeconds * 1000; }
int exchange_ms() { return g_exchange_ms > 0 ? g_exchange_ms : kNetExchangeTimeoutSeconds * 1000; }

Clock::time_point after_ms(int ms) { return Clock::now() + std::chrono::milliseconds(ms); }

// The exchange deadline travels with the BIO chain of a Connection, so the
// free read and write functions (which the clients call with a bare BIO)
// honour it.
int deadline_index() {
  static const int index = BIO_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
  return index;
}

void attach_deadline(BIO* bio, Clock::time_point* deadline) {
  if (deadline_index() >= 0) BIO_set_ex_data(bio, deadline_index(), deadline);
}

Clock::time_point deadline_of(BIO* bio) {
  if (deadline_index() >= 0) {
    if (const auto* d =
            static_cast<const Clock::time_point*>(BIO_get_ex_data(bio, deadline_index())))
      return *d;
  }
  return after_ms(exchange_ms());
}

enum class Wait { kReady, kDeadline, kFailed };

Wait wait_fd(int fd, short events, Clock::time_point deadline) {
  pollfd p{fd, events, 0};
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return Wait::kDeadline;
    const int r = poll(&p, 1, static_cast<int>(std::min<long long>(left, 60 * 60 * 1000)));
    if (r > 0) return Wait::kReady;
    if (r < 0 && errno != EINTR) return Wait::kFailed;
  }
}

void report_deadline(const char* func) {
  log_err("%s() : the exchange with the service did not end within %d ms, giving up", func,
          exchange_ms());
}

// Waits until the BIO can go on with the operation it asked to retry; false
// when it cannot (with an ERROR line when the deadline has passed).
bool wait_for_retry(BIO* bio, Clock::time_point deadline, const char* func) {
  int fd = -1;
  if (BIO_get_fd(bio, &fd) < 0 || fd < 0) return false;
  short events = POLLIN | POLLOUT;
  if (BIO_should_write(bio))
    events = POLLOUT;
  else if (BIO_should_read(bio))
    events = POLLIN;
  const Wait w = wait_fd(fd, events, deadline);
  if (w == Wait::kDeadline) report_deadline(func);
  return w == Wait::kReady;
}

bool past(Clock::time_point deadline, const char* func) {
  if (Clock::now() < deadline) return false;
  report_deadline(func);
  return true;
}

// Every wait on the socket is bounded by poll, so the socket never blocks.
void make_nonblocking(BIO* bio) {
  int fd = -1;
  if (BIO_get_fd(bio, &fd) >= 0 && fd >= 0) BIO_socket_nbio(fd, 1);
}

// Non-blocking connect, waiting at most the connect time-out and never past
// the exchange deadline.
bool connect_within(BIO* conn, Clock::time_point exchange_deadline) {
  static const char kFunc[] = "connect_within";
  BIO_set_nbio(conn, 1);
  const Clock::time_point deadline = std::min(exchange_deadline, after_ms(connect_ms()));
  for (;;) {
    if (BIO_do_connect(conn) > 0) return true;
    if (!BIO_should_retry(conn)) return false;
    int fd = -1;
    if (BIO_get_fd(conn, &fd) < 0 || fd < 0) return false;
    const Wait w = wait_fd(fd, POLLOUT, deadline);
    if (w == Wait::kDeadline) {
      log_err("%s() : connection not made before the time-out", kFunc);
      return false;
    }
    if (w == Wait::kFailed) return false;
  }
}

// The trust anchors of a TLS service: the system's CA certificates and the
// configured CA file.
bool trust_service_cas(SSL_CTX* ctx) {
  // A machine without a system CA bundle still verifies against the CA file.
  if (SSL_CTX_set_default_verify_paths(ctx) != 1) ERR_clear_error();
  if (CA_FILE == nullptr || *CA_FILE == '\0') return true;
  X509_LOOKUP* lookup = X509_STORE_add_lookup(SSL_CTX_get_cert_store(ctx), X509_LOOKUP_file());
  if (lookup == nullptr) return false;
  // An unreadable CA file is reported by the loader; the service may still
  // chain to a system CA.
  if (!load_ca_file(lookup, CA_FILE)) ERR_clear_error();
  return true;
}

// The name the service's certificate must carry: an IP address as an IP
// address SAN, anything else as a DNS name (also sent as SNI).
bool expect_peer_name(SSL* ssl, const std::string& host) {
  std::string name = host;
  if (name.size() > 2 && name.front() == '[' && name.back() == ']')
    name = name.substr(1, name.size() - 2);
  if (name.empty()) return false;
  X509_VERIFY_PARAM* param = SSL_get0_param(ssl);
  if (X509_VERIFY_PARAM_set1_ip_asc(param, name.c_str()) == 1) return true;
  ERR_clear_error();
  X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
  return SSL_set_tlsext_host_name(ssl, name.c_str()) == 1 &&
         X509_VERIFY_PARAM_set1_host(param, name.c_str(), 0) == 1;
}

bool all_digits(const std::string& s) {
  if (s.empty()) return false;
  for (unsigned char c : s)
    if (!isdigit(c)) return false;
  return true;
}

bool blank_line(std::string_view line) {
  for (unsigned char c : line)
    if (!isspace(c)) return false;
  return true;
}

bool is_space(char c) { return isspace(static_cast<unsigned char>(c)) != 0; }

}  // namespace

SigpipeHold::SigpipeHold() {
  sigset_t pipe;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  held_ = pthread_sigmask(SIG_BLOCK, &pipe, &old_mask_) == 0;
  sigset_t pending;
  was_pending_ = held_ && sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
}

SigpipeHold::~SigpipeHold() {
  if (!held_) return;
  sigset_t pending;
  if (!was_pending_ && sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1) {
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    const timespec no_wait{0, 0};
    while (sigtimedwait(&pipe, nullptr, &no_wait) < 0 && errno == EINTR) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &old_mask_, nullptr);
}

void set_timeouts_for_tests(int connect_ms_value, int exchange_ms_value) {
  g_connect_ms = connect_ms_value;
  g_exchange_ms = exchange_ms_value;
}

bool split_url(const char* url, Url* out) {
  if (url == nullptr || out == nullptr) return false;
  char* host = nullptr;
  char* port = nullptr;
  char* path = nullptr;
  int ssl = 0;
  if (!OCSP_parse_url(url, &host, &port, &path, &ssl)) return false;
  CharsPtr h(host), p(port), pa(path);
  out->host = host;
  out->port = port;
  out->path = path;
  out->tls = ssl != 0;
  return true;
}

void Connection::use_chain(BioPtr chain) {
  chain_ = std::move(chain);
  top_ = chain_.get();
  attach_deadline(top_, &deadline_);
}

ConnectResult Connection::connect_plain(const std::string& host, const std::string& port,
                                        BioPtr* conn) {
  chain_.reset();
  ctx_.reset();
  top_ = nullptr;
  deadline_ = after_ms(exchange_ms());
  conn->reset(BIO_new_connect(host.c_str()));
  if (!*conn) return kConnectSetupFailed;
  if (BIO_set_conn_port(conn->get(), port.c_str()) <= 0) return kConnectSetupFailed;
  if (!connect_within(conn->get(), deadline_)) return kConnectFailed;
  attach_deadline(conn->get(), &deadline_);
  return kConnected;
}

ConnectResult Connection::push_tls(BioPtr conn, const std::string& host) {
  static const char kFunc[] = "tls_handshake";
  ctx_.reset(SSL_CTX_new(TLS_client_method()));
  if (!ctx_) return kConnectSetupFailed;
  SSL_CTX_set_mode(ctx_.get(), SSL_MODE_AUTO_RETRY);
  if (!trust_service_cas(ctx_.get())) return kConnectSetupFailed;
  SSL_CTX_set_verify(ctx_.get(), SSL_VERIFY_PEER, nullptr);
  BioPtr ssl_bio(BIO_new_ssl(ctx_.get(), 1));
  if (!ssl_bio) return kConnectSetupFailed;
  SSL* ssl = nullptr;
  BIO_get_ssl(ssl_bio.get(), &ssl);
  if (ssl == nullptr || !expect_peer_name(ssl, host)) return kConnectSetupFailed;
  BIO_push(ssl_bio.get(), conn.release());
  use_chain(std::move(ssl_bio));
  // The handshake runs now, so that a service that is not verified counts
  // as not reached.
  for (;;) {
    if (BIO_do_handshake(top_) > 0) return kConnected;
    if (!BIO_should_retry(top_)) break;
    if (!wait_for_retry(top_, deadline_, kFunc)) return kConnectFailed;
  }
  const long verified = SSL_get_verify_result(ssl);
  if (verified != X509_V_OK)
    log_err("%s() : certificate of '%s' not verified: %s", kFunc, host.c_str(),
            X509_verify_cert_error_string(verified));
  else
    log_err("%s() : TLS handshake with '%s' failed: %s", kFunc, host.c_str(), toolkit_error_text());
  return kConnectFailed;
}

ConnectResult Connection::open(const std::string& host, const std::string& port, bool tls) {
  BioPtr conn;
  const ConnectResult r = connect_plain(host, port, &conn);
  if (r != kConnected) return r;
  if (tls) return push_tls(std::move(conn), host);
  use_chain(std::move(conn));
  return kConnected;
}

ConnectResult Connection::open_via_proxy(const std::string& proxy_host,
                                         const std::string& proxy_port, const std::string& host,
                                         const std::string& port, bool tls,
                                         const std::string& proxy_auth_b64) {
  BioPtr conn;
  const ConnectResult r = connect_plain(proxy_host, proxy_port, &conn);
  if (r != kConnected) return r;
  if (!tls) {
    use_chain(std::move(conn));
    return kConnected;
  }
  // An IPv6 address goes in brackets; one from a URL has them already.
  const bool bare_ipv6 = host.find(':') != std::string::npos && host.front() != '[';
  const std::string target = (bare_ipv6 ? "[" + host + "]" : host) + ":" + port;
  std::string head = "CONNECT " + target + " HTTP/1.0\r\nHost: " + target + "\r\n";
  if (!proxy_auth_b64.empty()) head += "Proxy-Authorization: Basic " + proxy_auth_b64 + "\r\n";
  head += "\r\n";
  const bool sent = net::write_all(conn.get(), head.data(), head.size());
  OPENSSL_cleanse(&head[0], head.size());
  if (!sent) return kConnectFailed;
  // The proxy's answer ends with an empty line; read it byte by byte so that
  // nothing of the TLS stream behind it is taken.
  std::string answer;
  while (answer.size() < 8192) {
    char ch = 0;
    const int n = BIO_read(conn.get(), &ch, 1);
    if (n != 1) {
      if (BIO_should_retry(conn.get()) && wait_for_retry(conn.get(), deadline_, "open_via_proxy"))
        continue;
      return kConnectFailed;
    }
    answer.push_back(ch);
    const size_t len = answer.size();
    if ((len >= 4 && answer.compare(len - 4, 4, "\r\n\r\n") == 0) ||
        (len >= 2 && answer.compare(len - 2, 2, "\n\n") == 0)) {
      const unsigned char* body = nullptr;
      size_t length = 0;
      if (!http_answer_body(answer, &body, &length)) return kConnectFailed;
      return push_tls(std::move(conn), host);
    }
  }
  return kConnectFailed;
}

bool Connection::write_all(const void* data, size_t length) {
  return net::write_all(top_, data, length);
}

bool Connection::read_all(std::string* out) { return net::read_all(top_, out); }

bool write_all(BIO* bio, const void* data, size_t length) {
  static const char kFunc[] = "write_all";
  if (bio == nullptr) {
    NET_RAISE(kNetErrServerWriteError);
    return false;
  }
  const SigpipeHold hold;
  make_nonblocking(bio);
  const Clock::time_point deadline = deadline_of(bio);
  const unsigned char* p = static_cast<const unsigned char*>(data);
  while (length > 0) {
    const int chunk = length > 65536 ? 65536 : static_cast<int>(length);
    const int n = BIO_write(bio, p, chunk);
    if (n > 0) {
      p += n;
      length -= static_cast<size_t>(n);
      if (length > 0 && past(deadline, kFunc)) break;
      continue;
    }
    if (!BIO_should_retry(bio) || !wait_for_retry(bio, deadline, kFunc)) break;
  }
  while (length == 0) {
    if (BIO_flush(bio) > 0) return true;
    if (!BIO_should_retry(bio) || !wait_for_retry(bio, deadline, kFunc)) break;
  }
  NET_RAISE(kNetErrServerWriteError);
  return false;
}

bool read_all(BIO* bio, std::string* out) {
  static const char kFunc[] = "read_all";
  if (bio == nullptr || out == nullptr) {
    NET_RAISE(kNetErrServerReadError);
    return false;
  }
  // A TLS read may write too (alerts, key updates).
  const SigpipeHold hold;
  out->clear();
  make_nonblocking(bio);
  const Clock::time_point deadline = deadline_of(bio);
  unsigned char piece[1024];
  for (;;) {
    const int n = BIO_read(bio, piece, sizeof piece);
    if (n > 0) {
      if (out->size() + static_cast<size_t>(n) > kNetMaxAnswerBytes) {
        NET_RAISE_DATA(kNetErrServerReadError, "answer longer than %zu bytes", kNetMaxAnswerBytes);
        return false;
      }
      out->append(reinterpret_cast<const char*>(piece), static_cast<size_t>(n));
      // A service that keeps sending does not extend the exchange.
      if (past(deadline, kFunc)) break;
      continue;
    }
    if (BIO_should_retry(bio)) {
      if (wait_for_retry(bio, deadline, kFunc)) continue;
      break;
    }
    if (n == 0 || BIO_eof(bio)) {
      // A TLS peer that closes without close_notify still ends the answer.
      ERR_clear_error();
      return true;
    }
    break;
  }
  NET_RAISE(kNetErrServerReadError);
  return false;
}

bool http_answer_body(const std::string& answer, const unsigned char** body, size_t* length,
                      std::string_view* headers) {
  size_t pos = answer.find('\n');
  // The status line as far as it is read: up to its line feed, at most
  // kNetStatusLineMax characters; the rest of a longer one goes with the
  // headers.
  const size_t line_end = pos == std::string::npos ? answer.size() : pos + 1;
  const std::string line = answer.substr(0, std::min(line_end, kNetStatusLineMax));
  // A word (the protocol), white space, the code, white space, the reason.
  size_t i = 0;
  while (i < line.size() && !is_space(line[i])) ++i;
  while (i < line.size() && is_space(line[i])) ++i;
  size_t j = i;
  while (j < line.size() && !is_space(line[j])) ++j;
  if (i == line.size() || j == line.size()) {
    NET_RAISE(kNetErrResponseParseError);
    return false;
  }
  const std::string code = line.substr(i, j - i);
  // Not a number: refused without an error entry, as the toolkit did.
  if (!all_digits(code)) return false;
  size_t r0 = j;
  while (r0 < line.size() && is_space(line[r0])) ++r0;
  size_t r1 = line.size();
  while (r1 > r0 && is_space(line[r1 - 1])) --r1;
  const std::string reason = line.substr(r0, r1 - r0);
  if (code.size() > 9 || strtoul(code.c_str(), nullptr, 10) != 200) {
    if (reason.empty())
      NET_RAISE_DATA(kNetErrResponseError, "Code=%s", code.c_str());
    else
      NET_RAISE_DATA(kNetErrResponseError, "Code=%s,Reason=%s", code.c_str(), reason.c_str());
    return false;
  }
  // Header lines up to the first empty one.
  const size_t headers_start = pos == std::string::npos ? answer.size() : pos + 1;
  for (;;) {
    if (pos == std::string::npos) {
      NET_RAISE(kNetErrNoContent);
      return false;
    }
    const size_t start = pos + 1;
    pos = answer.find('\n', start);
    if (pos == std::string::npos && start >= answer.size()) {
      NET_RAISE(kNetErrNoContent);
      return false;
    }
    const std::string_view header(answer.data() + start,
                                  (pos == std::string::npos ? answer.size() : pos) - start);
    if (blank_line(header)) {
      const size_t body_start = pos == std::string::npos ? answer.size() : pos + 1;
      *body = reinterpret_cast<const unsigned char*>(answer.data()) + body_start;
      *length = answer.size() - body_start;
      if (headers != nullptr)
        *headers = std::string_view(answer.data() + headers_start, start - headers_start);
      return true;
    }
  }
}

}  // namespace orvel::net
