#include "test_ocsp_tsa.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

#include "test_util.h"

namespace orvel_test {

namespace {

int listen_loopback(int* port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd, 16) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    close(fd);
    return -1;
  }
  *port = ntohs(a.sin_port);
  return fd;
}

// Reads until the headers and Content-Length bytes of body are in, the peer
// closes, or two seconds pass without data.
std::string read_request(int fd) {
  std::string req;
  char buf[4096];
  for (;;) {
    const size_t hdr_end = req.find("\r\n\r\n");
    if (hdr_end != std::string::npos) {
      size_t want = 0;
      const size_t cl = req.find("Content-Length:");
      if (cl != std::string::npos && cl < hdr_end) want = strtoul(req.c_str() + cl + 15, nullptr, 10);
      if (req.size() >= hdr_end + 4 + want) return req;
    }
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 2000) <= 0) return req;
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) return req;
    req.append(buf, static_cast<size_t>(n));
  }
}

}  // namespace

const std::string& RecordingHttpServer::silent() {
  static const std::string s("\x01silent\x01");
  return s;
}

RecordingHttpServer::RecordingHttpServer(Handler handler) : handler_(std::move(handler)) {
  listen_fd_ = listen_loopback(&port_);
  if (listen_fd_ < 0) throw std::runtime_error("no free port");
  thread_ = std::thread([this] { serve(); });
}

RecordingHttpServer::~RecordingHttpServer() {
  stop_ = true;
  thread_.join();
  close(listen_fd_);
}

std::string RecordingHttpServer::url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
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
  const std::string req = read_request(fd);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(req);
  }
  const std::string answer = handler_(req);
  if (answer == silent()) {
    while (!stop_) usleep(20 * 1000);
    return;
  }
  size_t done = 0;
  while (done < answer.size()) {
    const ssize_t n = write(fd, answer.data() + done, answer.size() - done);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  shutdown(fd, SHUT_WR);
}

std::string http_body(const std::string& request) {
  const size_t at = request.find("\r\n\r\n");
  return at == std::string::npos ? std::string() : request.substr(at + 4);
}

std::string http_ok(const std::string& content_type, const std::string& body) {
  return "HTTP/1.0 200 OK\r\nContent-Type: " + content_type +
         "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

OcspResponder::OcspResponder(const std::string& index, const std::string& ca,
                             const std::string& rsigner, const std::string& rkey,
                             const std::vector<std::string>& extra) {
  port_ = free_port();
  std::vector<std::string> argv = {"openssl", "ocsp",    "-index", index,       "-CA",
                                   ca,        "-rsigner", rsigner, "-rkey",     rkey,
                                   "-port",   std::to_string(port_), "-ignore_err"};
  argv.insert(argv.end(), extra.begin(), extra.end());
  start(argv);
  if (!wait_for_port(port_)) throw std::runtime_error("OCSP responder did not start");
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
