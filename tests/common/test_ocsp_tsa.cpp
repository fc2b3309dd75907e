#include "test_ocsp_tsa.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "test_servers.h"
#include "test_util.h"

namespace orvel_test {

namespace {

// Whether a socket listens on the port (IPv4 or IPv6), from /proc.
bool port_listens(int port) {
  char want[8];
  snprintf(want, sizeof want, ":%04X", port);
  for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
    FILE* f = fopen(table, "r");
    if (f == nullptr) continue;
    char line[512];
    bool found = false;
    while (!found && fgets(line, sizeof line, f) != nullptr) {
      char local[128] = "", remote[128] = "", state[8] = "";
      if (sscanf(line, "%*d: %127s %127s %7s", local, remote, state) != 3) continue;
      const size_t n = strlen(local);
      found = n > 5 && strcmp(local + n - 5, want) == 0 && strcmp(state, "0A") == 0;
    }
    fclose(f);
    if (found) return true;
  }
  return false;
}

}  // namespace

const std::string& RecordingHttpServer::silent() {
  static const std::string s("\x01silent\x01");
  return s;
}

RecordingHttpServer::RecordingHttpServer(Handler handler) : handler_(std::move(handler)) {
  start();
}

RecordingHttpServer::RecordingHttpServer(Handler handler, X509* cert, EVP_PKEY* key)
    : handler_(std::move(handler)) {
  tls_ = SSL_CTX_new(TLS_server_method());
  if (tls_ == nullptr || SSL_CTX_use_certificate(tls_, cert) != 1 ||
      SSL_CTX_use_PrivateKey(tls_, key) != 1)
    throw std::runtime_error("TLS fixture set-up failed");
  start();
}

void RecordingHttpServer::start() {
  listen_fd_ = listen_on_free_port(&port_);
  if (listen_fd_ < 0) throw std::runtime_error("no free port");
  thread_ = std::thread([this] { serve(); });
}

RecordingHttpServer::~RecordingHttpServer() {
  stop_ = true;
  thread_.join();
  close(listen_fd_);
  SSL_CTX_free(tls_);
}

std::string RecordingHttpServer::url(const std::string& path) const {
  return std::string(tls_ ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<std::string> RecordingHttpServer::requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

void RecordingHttpServer::serve() {
  while (!stop_) {
    pollfd p{listen_fd_, POLLIN, 0};
    if (poll(&p, 1, 50) <= 0) continue;
    const int fd = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    handle(fd);
    close(fd);
  }
}

void RecordingHttpServer::handle(int fd) {
  if (tls_ != nullptr) {
    SSL* ssl = SSL_new(tls_);
    SSL_set_fd(ssl, fd);
    // Generous: a client under a sanitizer verifies the chain slowly.
    timeval tv{10, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    if (SSL_accept(ssl) == 1) {
      std::string req;
      char buf[4096];
      for (;;) {
        const size_t hdr_end = req.find("\r\n\r\n");
        if (hdr_end != std::string::npos) {
          const size_t cl = req.find("Content-Length:");
          const size_t want = cl != std::string::npos && cl < hdr_end
                                  ? strtoul(req.c_str() + cl + 15, nullptr, 10)
                                  : 0;
          if (req.size() >= hdr_end + 4 + want) break;
        }
        const int n = SSL_read(ssl, buf, sizeof buf);
        if (n <= 0) break;
        req.append(buf, static_cast<size_t>(n));
      }
      {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(req);
      }
      const std::string answer = handler_(req);
      if (!answer.empty()) SSL_write(ssl, answer.data(), static_cast<int>(answer.size()));
      SSL_shutdown(ssl);
    }
    SSL_free(ssl);
    return;
  }
  const std::string req = read_http_request(fd);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(req);
  }
  const std::string answer = handler_(req);
  if (answer == silent()) {
    while (!stop_) usleep(20 * 1000);
    return;
  }
  const int pause_ms = trickle_ms_;
  size_t done = 0;
  while (done < answer.size() && !stop_) {
    const size_t want = pause_ms > 0 ? 1 : answer.size() - done;
    // A client that gave up must not end the test process with SIGPIPE.
    const ssize_t n = send(fd, answer.data() + done, want, MSG_NOSIGNAL);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
    if (pause_ms > 0) usleep(static_cast<useconds_t>(pause_ms) * 1000);
  }
  shutdown(fd, SHUT_WR);
}

TunnelProxy::TunnelProxy() {
  listen_fd_ = listen_on_free_port(&port_);
  if (listen_fd_ < 0) throw std::runtime_error("no free port");
  thread_ = std::thread([this] { serve(); });
}

TunnelProxy::~TunnelProxy() {
  stop_ = true;
  thread_.join();
  close(listen_fd_);
}

std::vector<std::string> TunnelProxy::requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

void TunnelProxy::serve() {
  while (!stop_) {
    pollfd lp{listen_fd_, POLLIN, 0};
    if (poll(&lp, 1, 50) <= 0) continue;
    const int fd = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    const std::string head = read_http_request(fd);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      requests_.push_back(head);
    }
    int port = 0;
    if (head.compare(0, 8, "CONNECT ") != 0 ||
        sscanf(head.c_str(), "CONNECT 127.0.0.1:%d ", &port) != 1) {
      const char no[] = "HTTP/1.0 405 Method Not Allowed\r\n\r\n";
      if (write(fd, no, sizeof no - 1) < 0) {
      }
      close(fd);
      continue;
    }
    int up = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(up, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
      const char bad[] = "HTTP/1.0 502 Bad Gateway\r\n\r\n";
      if (write(fd, bad, sizeof bad - 1) < 0) {
      }
      close(up);
      close(fd);
      continue;
    }
    const char ok[] = "HTTP/1.0 200 Connection established\r\n\r\n";
    if (write(fd, ok, sizeof ok - 1) < 0) {
    }
    // Pump both ways until one side closes.
    pollfd p[2] = {{fd, POLLIN, 0}, {up, POLLIN, 0}};
    char buf[4096];
    bool open = true;
    while (open && !stop_) {
      if (poll(p, 2, 100) <= 0) continue;
      for (int i = 0; i < 2 && open; ++i) {
        if (!(p[i].revents & (POLLIN | POLLHUP))) continue;
        const ssize_t n = read(p[i].fd, buf, sizeof buf);
        if (n <= 0 || write(p[1 - i].fd, buf, static_cast<size_t>(n)) != n) open = false;
      }
    }
    close(up);
    close(fd);
  }
}

std::string http_body(const std::string& request) {
  const size_t at = request.find("\r\n\r\n");
  return at == std::string::npos ? std::string() : request.substr(at + 4);
}

std::string http_ok(const std::string& content_type, const std::string& body) {
  return "HTTP/1.0 200 OK\r\nContent-Type: " + content_type +
         "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string relay(int port, const std::string& request) {
  std::string req = request;
  if (req.compare(0, 12, "POST http://") == 0) {
    const size_t path = req.find('/', 12);
    if (path != std::string::npos) req.erase(5, path - 5);
  }
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string answer;
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      write(fd, req.data(), req.size()) == static_cast<ssize_t>(req.size())) {
    char buf[4096];
    for (;;) {
      pollfd p{fd, POLLIN, 0};
      // Generous: a loaded machine (the whole suite in parallel) can hold
      // the child responder for seconds; the client's own deadline is 120 s.
      if (poll(&p, 1, 30000) <= 0) break;
      const ssize_t n = read(fd, buf, sizeof buf);
      if (n <= 0) break;
      answer.append(buf, static_cast<size_t>(n));
    }
  }
  close(fd);
  return answer;
}

OcspResponder::OcspResponder(const std::string& index, const std::string& ca,
                             const std::string& rsigner, const std::string& rkey,
                             const std::vector<std::string>& extra, int port) {
  // The port is chosen before the certificates that name it are made.
  port_ = port ? port : free_port();
  std::vector<std::string> argv = {
      "/usr/bin/openssl", "ocsp",  "-index", index, "-CA",   ca,
      "-rsigner",         rsigner, "-rkey",  rkey,  "-port", std::to_string(port_),
      "-ignore_err"};
  argv.insert(argv.end(), extra.begin(), extra.end());
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);  // no orphan when a test dies
    int devnull = open("/dev/null", O_RDWR);
    dup2(devnull, 0);
    dup2(devnull, 1);
    dup2(devnull, 2);
    std::vector<char*> cargv;
    for (auto& a : argv) cargv.push_back(a.data());
    cargv.push_back(nullptr);
    execv(cargv[0], cargv.data());
    _exit(127);
  }
  // Probing with a connection would wedge `openssl ocsp`, which spins on a
  // connection closed without a request: wait until the port listens.
  for (int i = 0; i < 200; ++i) {
    if (port_listens(port_)) return;
    usleep(50 * 1000);
  }
  throw std::runtime_error("OCSP responder did not start");
}

std::string OcspResponder::url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }

TsaServer::TsaServer(std::string dir, std::string config, std::string section)
    : dir_(std::move(dir)),
      config_(std::move(config)),
      section_(std::move(section)),
      server_([this](const std::string& req) { return reply(req); }) {}

std::string TsaServer::reply(const std::string& request) {
  const int n = ++count_;
  const std::string query = dir_ + "/q" + std::to_string(n) + ".tsq";
  const std::string answer = dir_ + "/r" + std::to_string(n) + ".tsr";
  write_file(query, http_body(request));
  const std::string cmd = "openssl ts -reply -config '" + config_ + "' -section " + section_ +
                          " -queryfile '" + query + "' -out '" + answer + "'";
  if (run_command(cmd) != 0) return "HTTP/1.0 500 Internal Server Error\r\n\r\n";
  return http_ok("application/timestamp-reply", read_file(answer));
}

}  // namespace orvel_test
