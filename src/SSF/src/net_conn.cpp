#include "net_conn.h"

#include <openssl/err.h>
#include <openssl/http.h>
#include <openssl/httperr.h>
#include <openssl/ocsp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <cctype>
#include <ctime>

#include "log.h"

namespace orvel::net {

namespace {

int g_connect_ms = 0;
int g_io_ms = 0;

int connect_ms() { return g_connect_ms > 0 ? g_connect_ms : kNetConnectTimeoutSeconds * 1000; }
int io_ms() { return g_io_ms > 0 ? g_io_ms : kNetIoTimeoutSeconds * 1000; }

// Non-blocking connect, waiting for it at most the connect time-out.
bool connect_within(BIO* conn) {
  BIO_set_nbio(conn, 1);
  const long deadline_ms = connect_ms();
  struct timespec start;
  clock_gettime(CLOCK_MONOTONIC, &start);
  for (;;) {
    const int rc = BIO_do_connect(conn);
    if (rc > 0) return true;
    if (!BIO_should_retry(conn)) return false;
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    const long spent = (now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000;
    if (spent >= deadline_ms) return false;
    int fd = -1;
    if (BIO_get_fd(conn, &fd) < 0 || fd < 0) return false;
    struct pollfd pfd;
    pfd.fd = fd;
    pfd.events = POLLOUT;
    pfd.revents = 0;
    if (poll(&pfd, 1, static_cast<int>(deadline_ms - spent)) < 0) return false;
  }
}

// Blocking I/O from now on, each read and write bounded by the I/O time-out.
bool set_io_timeouts(BIO* conn) {
  int fd = -1;
  if (BIO_get_fd(conn, &fd) < 0 || fd < 0) return false;
  if (!BIO_socket_nbio(fd, 0)) return false;
  BIO_set_nbio(conn, 0);
  struct timeval tv;
  tv.tv_sec = io_ms() / 1000;
  tv.tv_usec = (io_ms() % 1000) * 1000;
  return setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) == 0 &&
         setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv) == 0;
}

bool all_digits(const std::string& s) {
  if (s.empty()) return false;
  for (unsigned char c : s)
    if (!isdigit(c)) return false;
  return true;
}

bool blank_line(const std::string& line) {
  for (unsigned char c : line)
    if (!isspace(c)) return false;
  return true;
}

}  // namespace

void set_timeouts_for_tests(int connect_ms_value, int io_ms_value) {
  g_connect_ms = connect_ms_value;
  g_io_ms = io_ms_value;
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

ConnectResult Connection::connect_plain(const std::string& host, const std::string& port,
                                         BioPtr* conn) {
  chain_.reset();
  ctx_.reset();
  top_ = nullptr;
  conn->reset(BIO_new_connect(host.c_str()));
  if (!*conn) return kConnectSetupFailed;
  if (BIO_set_conn_port(conn->get(), port.c_str()) <= 0) return kConnectSetupFailed;
  if (!connect_within(conn->get())) return kConnectFailed;
  if (!set_io_timeouts(conn->get())) return kConnectFailed;
  return kConnected;
}

ConnectResult Connection::push_tls(BioPtr conn) {
  ctx_.reset(SSL_CTX_new(TLS_client_method()));
  if (!ctx_) return kConnectSetupFailed;
  SSL_CTX_set_mode(ctx_.get(), SSL_MODE_AUTO_RETRY);
  SSL_CTX_set_verify(ctx_.get(), SSL_VERIFY_NONE, nullptr);
  BIO* ssl = BIO_new_ssl(ctx_.get(), 1);
  if (ssl == nullptr) return kConnectSetupFailed;
  BIO_push(ssl, conn.release());
  chain_.reset(ssl);
  top_ = chain_.get();
  return kConnected;
}

ConnectResult Connection::open(const std::string& host, const std::string& port, bool tls) {
  BioPtr conn;
  const ConnectResult r = connect_plain(host, port, &conn);
  if (r != kConnected) return r;
  if (tls) return push_tls(std::move(conn));
  chain_ = std::move(conn);
  top_ = chain_.get();
  return kConnected;
}

ConnectResult Connection::open_via_proxy(const std::string& proxy_host,
                                         const std::string& proxy_port, const std::string& target,
                                         bool tls, const std::string& proxy_auth_b64) {
  BioPtr conn;
  const ConnectResult r = connect_plain(proxy_host, proxy_port, &conn);
  if (r != kConnected) return r;
  if (!tls) {
    chain_ = std::move(conn);
    top_ = chain_.get();
    return kConnected;
  }
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
    if (BIO_read(conn.get(), &ch, 1) != 1) return kConnectFailed;
    answer.push_back(ch);
    const size_t n = answer.size();
    if ((n >= 4 && answer.compare(n - 4, 4, "\r\n\r\n") == 0) ||
        (n >= 2 && answer.compare(n - 2, 2, "\n\n") == 0)) {
      const unsigned char* body = nullptr;
      size_t length = 0;
      if (!http_answer_body(answer, &body, &length)) return kConnectFailed;
      return push_tls(std::move(conn));
    }
  }
  return kConnectFailed;
}

bool Connection::write_all(const void* data, size_t length) {
  return net::write_all(top_, data, length);
}

bool Connection::read_all(std::string* out) { return net::read_all(top_, out); }

bool write_all(BIO* bio, const void* data, size_t length) {
  if (bio == nullptr) return false;
  const unsigned char* p = static_cast<const unsigned char*>(data);
  while (length > 0) {
    const int chunk = length > 65536 ? 65536 : static_cast<int>(length);
    const int n = BIO_write(bio, p, chunk);
    if (n <= 0) return false;
    p += n;
    length -= static_cast<size_t>(n);
  }
  return BIO_flush(bio) > 0;
}

bool read_all(BIO* bio, std::string* out) {
  if (bio == nullptr || out == nullptr) return false;
  out->clear();
  unsigned char piece[1024];
  for (;;) {
    const int n = BIO_read(bio, piece, sizeof piece);
    if (n > 0) {
      if (out->size() + static_cast<size_t>(n) > kNetMaxAnswerBytes) {
        ERR_raise_data(ERR_LIB_HTTP, HTTP_R_MAX_RESP_LEN_EXCEEDED, "max=%zu", kNetMaxAnswerBytes);
        return false;
      }
      out->append(reinterpret_cast<const char*>(piece), static_cast<size_t>(n));
      continue;
    }
    if (n == 0 || BIO_eof(bio)) {
      // A TLS peer that closes without close_notify still ends the answer.
      ERR_clear_error();
      return true;
    }
    ERR_raise(ERR_LIB_HTTP, HTTP_R_ERROR_RECEIVING);
    return false;
  }
}

bool http_answer_body(const std::string& answer, const unsigned char** body, size_t* length) {
  size_t pos = answer.find('\n');
  const size_t line_end = pos == std::string::npos ? answer.size() : pos;
  std::string line = answer.substr(0, line_end < kNetStatusLineMax ? line_end : kNetStatusLineMax);
  // Skip the protocol word, take the code, the rest is the reason.
  size_t i = 0;
  while (i < line.size() && !isspace(static_cast<unsigned char>(line[i]))) ++i;
  while (i < line.size() && isspace(static_cast<unsigned char>(line[i]))) ++i;
  size_t j = i;
  while (j < line.size() && !isspace(static_cast<unsigned char>(line[j]))) ++j;
  const std::string code = line.substr(i, j - i);
  if (!all_digits(code)) {
    ERR_raise(ERR_LIB_HTTP, HTTP_R_RESPONSE_PARSE_ERROR);
    return false;
  }
  size_t r0 = j;
  while (r0 < line.size() && isspace(static_cast<unsigned char>(line[r0]))) ++r0;
  size_t r1 = line.size();
  while (r1 > r0 && isspace(static_cast<unsigned char>(line[r1 - 1]))) --r1;
  const std::string reason = line.substr(r0, r1 - r0);
  if (code != "200") {
    ERR_raise_data(ERR_LIB_HTTP, HTTP_R_RECEIVED_ERROR, "Code=%s,Reason=%s", code.c_str(),
                   reason.c_str());
    return false;
  }
  // Header lines up to the first empty one.
  for (;;) {
    if (pos == std::string::npos) {
      ERR_raise(ERR_LIB_HTTP, HTTP_R_HEADER_PARSE_ERROR);
      return false;
    }
    const size_t start = pos + 1;
    pos = answer.find('\n', start);
    const std::string header =
        answer.substr(start, (pos == std::string::npos ? answer.size() : pos) - start);
    if (pos == std::string::npos && start >= answer.size()) {
      ERR_raise(ERR_LIB_HTTP, HTTP_R_HEADER_PARSE_ERROR);
      return false;
    }
    if (blank_line(header)) {
      const size_t body_start = pos == std::string::npos ? answer.size() : pos + 1;
      *body = reinterpret_cast<const unsigned char*>(answer.data()) + body_start;
      *length = answer.size() - body_start;
      return true;
    }
  }
}

}  // namespace orvel::net
