// One exchange with the directory: connect (TLS for https), POST the SOAP
// body, read the answer until the peer closes, check the status line and
// cut the texts between two tags out of the body. Every connection has
// time-outs for connecting and for each read and write, so a dead service
// cannot hang the host.
#include "hok_transport.h"

#include <openssl/err.h>
#include <openssl/ocsp.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <cctype>
#include <cstring>
#include <ctime>
#include <string>

#include "hok_client.h"
#include "log.h"
#include "ossl_ptr.h"

namespace {

constexpr int kPiece = 1024;
constexpr int kLineSize = 512;

long g_connect_timeout = kHokConnectTimeoutSeconds;
long g_io_timeout = kHokIoTimeoutSeconds;

ERR_STRING_DATA g_strings[] = {
    {0, "SSF hok client"},
    {ERR_PACK(0, 0, kHokErrServerWrite), "server write error"},
    {ERR_PACK(0, 0, kHokErrServerRead), "server read error"},
    {ERR_PACK(0, 0, kHokErrServerResponseParse), "server response parse error"},
    {ERR_PACK(0, 0, kHokErrServerResponse), "server response error"},
    {ERR_PACK(0, 0, kHokErrNoContent), "no content"},
    {0, nullptr},
};
int g_lib = 0;

void raise(int reason) { ERR_raise(hok_err_lib(), reason); }

using SslCtxPtr = std::unique_ptr<SSL_CTX, orvel::Free<SSL_CTX, SSL_CTX_free>>;

// The parts of a URL as the toolkit's OCSP URL parser gives them.
struct Url {
  orvel::CharsPtr host, port, path;
  int ssl = 0;
};

void set_socket_timeouts(int fd, long seconds) {
  timeval tv{};
  tv.tv_sec = seconds;
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

// Connects a non-blocking connect BIO, waiting at most the time-out. A
// refused connection fails at once (the toolkit's retrying connect would
// keep trying a dead URL for the whole time-out).
bool connect_within(BIO* conn, long seconds) {
  const time_t deadline = time(nullptr) + seconds;
  for (;;) {
    if (BIO_do_connect(conn) > 0) return true;
    if (!BIO_should_retry(conn)) return false;
    if (BIO_wait(conn, deadline, 100) <= 0) return false;
  }
}

// A connected BIO to the URL's host and port (TLS pushed on it for https),
// or null with the step's ERROR line.
BIO* open_connection(const char* func, const Url& u) {
  orvel::BioPtr conn(BIO_new_connect(u.host.get()));
  if (!conn || BIO_set_conn_port(conn.get(), u.port.get()) <= 0) {
    log_err("%s() 3 : BIO_new_connect( '%s' ) failed", func, u.host.get());
    print_brekssl_errors();
    return nullptr;
  }
  // Non-blocking while connecting, so the connect time-out holds; blocking
  // with socket time-outs afterwards.
  BIO_set_nbio(conn.get(), 1);
  if (!connect_within(conn.get(), g_connect_timeout)) {
    log_err("%s() 4 : BIO_do_connect( host = '%s', port = '%s' ) failed", func, u.host.get(),
            u.port.get());
    print_brekssl_errors();
    return nullptr;
  }
  const int fd = static_cast<int>(BIO_get_fd(conn.get(), nullptr));
  if (fd < 0 || !BIO_socket_nbio(fd, 0)) {
    log_err("%s() 4 : BIO_do_connect( host = '%s', port = '%s' ) failed", func, u.host.get(),
            u.port.get());
    return nullptr;
  }
  set_socket_timeouts(fd, g_io_timeout);
  if (!u.ssl) return conn.release();

  // No certificate verification: the directory is reached as configured.
  SslCtxPtr ctx(SSL_CTX_new(TLS_client_method()));
  if (!ctx) {
    print_brekssl_errors();
    return nullptr;
  }
  SSL_CTX_set_mode(ctx.get(), SSL_MODE_AUTO_RETRY);
  orvel::BioPtr ssl(BIO_new_ssl(ctx.get(), 1));
  if (!ssl) {
    print_brekssl_errors();
    return nullptr;
  }
  SSL* s = nullptr;
  BIO_get_ssl(ssl.get(), &s);
  if (s != nullptr) SSL_set_tlsext_host_name(s, u.host.get());
  BIO_push(ssl.get(), conn.release());
  return ssl.release();
}

bool write_all(BIO* bio, const char* data, size_t len) {
  while (len > 0) {
    const int n = BIO_write(bio, data, static_cast<int>(len > 0x10000 ? 0x10000 : len));
    if (n <= 0) return false;
    data += n;
    len -= size_t(n);
  }
  return true;
}

bool blank_line(const char* line) {
  for (; *line; ++line)
    if (!isspace(static_cast<unsigned char>(*line))) return false;
  return true;
}

// The status line: version, white space, code, white space, reason. False
// (with the toolkit's error where there is one) unless the code is 200.
bool status_ok(char* line) {
  char* p = line;
  while (*p && !isspace(static_cast<unsigned char>(*p))) ++p;
  while (*p && isspace(static_cast<unsigned char>(*p))) ++p;
  char* q = p;
  while (*q && !isspace(static_cast<unsigned char>(*q))) ++q;
  if (*p == '\0' || *q == '\0') {
    raise(kHokErrServerResponseParse);
    return false;
  }
  *q++ = '\0';
  for (const char* d = p; *d; ++d)
    if (!isdigit(static_cast<unsigned char>(*d))) return false;
  while (*q && isspace(static_cast<unsigned char>(*q))) ++q;
  size_t n = strlen(q);
  while (n > 0 && isspace(static_cast<unsigned char>(q[n - 1]))) q[--n] = '\0';
  if (strcmp(p, "200") == 0) return true;
  raise(kHokErrServerResponse);
  if (*q == '\0')
    ERR_add_error_data(2, "Code=", p);
  else
    ERR_add_error_data(4, "Code=", p, ",Reason=", q);
  return false;
}

// The texts between begin and end tags, each with a NUL, and a closing
// NUL; empty when there is none.
std::string cut_run(const char* func, const char* response, const char* begin_tag,
                    const char* end_tag) {
  std::string run;
  const size_t begin_len = strlen(begin_tag);
  const char* p = strstr(response, begin_tag);
  if (p == nullptr) {
    log_err("%s() 6 : tag '%s' not found in response '%s'", func, begin_tag, response);
    return run;
  }
  while (p != nullptr) {
    const char* start = p + begin_len;
    const char* stop = strstr(start, end_tag);
    if (stop == nullptr) {
      log_err("%s() 7 : tag '%s' not found in response '%s'", func, end_tag, response);
      break;
    }
    run.append(start, size_t(stop - start));
    run.push_back('\0');
    p = strstr(stop + strlen(end_tag), begin_tag);
  }
  return run;
}

}  // namespace

int hok_err_lib() {
  if (g_lib == 0) {
    const int lib = ERR_get_next_error_library();
    g_strings[0].error = ERR_PACK(lib, 0, 0);
    ERR_load_strings(lib, g_strings);
    g_lib = lib;
  }
  return g_lib;
}

void orvel::hok_set_timeouts(long connect_seconds, long io_seconds) {
  g_connect_timeout = connect_seconds > 0 ? connect_seconds : kHokConnectTimeoutSeconds;
  g_io_timeout = io_seconds > 0 ? io_seconds : kHokIoTimeoutSeconds;
}

char* send_and_recv_hok_resp(BIO* bio, const char* host, const char* port, const char* path,
                             const char* body) {
  if (bio == nullptr || host == nullptr || port == nullptr || path == nullptr || body == nullptr)
    return nullptr;
  char header[4096];
  const int header_len =
      snprintf(header, sizeof header,
               "POST %s HTTP/1.1\r\nAccept-Encoding: gzip,deflate\r\nContent-Type: "
               "text/xml;charset=UTF-8\r\nSOAPAction: \"\"\r\nContent-Length: %d\r\nHost: "
               "%s:%s\r\nConnection: close\r\n\r\n",
               path, static_cast<int>(strlen(body)), host, port);
  if (header_len < 0 || size_t(header_len) >= sizeof header) {
    raise(kHokErrServerWrite);
    return nullptr;
  }
  dbg("-----BEGIN XOK REQUEST-----");
  dbg("%s", header);
  // The body carries the directory password: the trace shows it masked.
  std::string shown(body);
  if (const size_t a = shown.find("<password>"), b = shown.find("</password>");
      a != std::string::npos && b != std::string::npos && b > a)
    shown.replace(a + 10, b - a - 10, "********");
  dbg("%s", shown.c_str());
  dbg("-----END XOK REQUEST-----");
  if (!write_all(bio, header, size_t(header_len)) || !write_all(bio, body, strlen(body)) ||
      BIO_flush(bio) <= 0) {
    raise(kHokErrServerWrite);
    return nullptr;
  }

  orvel::BioPtr answer(BIO_new(BIO_s_mem()));
  if (!answer) return nullptr;
  dbg("-----BEGIN HOK RESPONSE-----");
  char piece[kPiece + 1];
  for (;;) {
    const int n = BIO_read(bio, piece, kPiece);
    if (n == 0) break;
    if (n < 0) {
      raise(kHokErrServerRead);
      dbg("-----END HOK RESPONSE ERROR-----");
      return nullptr;
    }
    piece[n] = '\0';
    dbg("%s", piece);
    if (BIO_write(answer.get(), piece, n) != n) return nullptr;
  }
  dbg("-----END HOK RESPONSE-----");

  char line[kLineSize];
  if (BIO_gets(answer.get(), line, sizeof line) <= 0) {
    raise(kHokErrServerResponseParse);
    return nullptr;
  }
  if (!status_ok(line)) return nullptr;
  for (;;) {
    if (BIO_gets(answer.get(), line, sizeof line) <= 0) {
      raise(kHokErrNoContent);
      return nullptr;
    }
    if (blank_line(line)) break;
  }
  std::string content;
  int n;
  while ((n = BIO_read(answer.get(), piece, kPiece)) > 0) content.append(piece, size_t(n));
  auto* out = static_cast<char*>(OPENSSL_malloc(content.size() + 1));
  if (out == nullptr) return nullptr;
  memcpy(out, content.data(), content.size());
  out[content.size()] = '\0';
  return out;
}

char* get_hok_resp(const char* url, const char* body, const char* begin_tag, const char* end_tag) {
  static const char kFunc[] = "get_hok_resp";
  if (url == nullptr || body == nullptr || begin_tag == nullptr || end_tag == nullptr) {
    log_err("%s() 1 : url or req or begin_tag or end_tag is NULL", kFunc);
    return nullptr;
  }
  Url u;
  char *host = nullptr, *port = nullptr, *path = nullptr;
  const int parsed = OCSP_parse_url(url, &host, &port, &path, &u.ssl);
  u.host.reset(host);
  u.port.reset(port);
  u.path.reset(path);
  // The toolkit's parser takes an empty text for a URL with an empty host.
  if (!parsed || !u.host || *u.host == '\0' || !u.port || !u.path) {
    log_err("%s() 2 : OCSP_parse_url( '%s' ) failed", kFunc, url);
    print_brekssl_errors();
    return nullptr;
  }
  orvel::BioPtr conn(open_connection(kFunc, u));
  if (!conn) return nullptr;
  orvel::CharsPtr response(
      send_and_recv_hok_resp(conn.get(), u.host.get(), u.port.get(), u.path.get(), body));
  if (!response) {
    log_err("%s() 5 : send_and_recv_hok_resp( '%s' ) failed", kFunc, url);
    print_brekssl_errors();
    return nullptr;
  }
  const std::string run = cut_run(kFunc, response.get(), begin_tag, end_tag);
  if (run.empty()) return nullptr;
  auto* out = static_cast<char*>(OPENSSL_malloc(run.size() + 1));
  if (out == nullptr) {
    log_err("%s() 8 : OPENSSL_realloc( %d ) failed", kFunc, static_cast<int>(run.size() + 1));
    return nullptr;
  }
  memcpy(out, run.data(), run.size());
  out[run.size()] = '\0';
  return out;
}
