#include "test_hok.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace orvel_test {
namespace {

int listen_loopback(int* port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("socket");
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd, 16) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    close(fd);
    throw std::runtime_error("bind/listen");
  }
  *port = ntohs(a.sin_port);
  return fd;
}

// Reads a request: the head up to the blank line and Content-Length bytes
// of body (or what comes within two seconds).
std::string read_request(int fd) {
  std::string req;
  size_t want = std::string::npos;
  char buf[4096];
  for (;;) {
    if (want != std::string::npos && req.size() >= want) break;
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 2000) <= 0) break;
    const ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n <= 0) break;
    req.append(buf, size_t(n));
    const size_t head_end = req.find("\r\n\r\n");
    if (want == std::string::npos && head_end != std::string::npos) {
      const size_t cl = req.find("Content-Length: ");
      const size_t body_len = cl != std::string::npos && cl < head_end
                                  ? strtoul(req.c_str() + cl + 16, nullptr, 10)
                                  : 0;
      want = head_end + 4 + body_len;
    }
  }
  return req;
}

}  // namespace

FakeHok::FakeHok() {
  listen_fd_ = listen_loopback(&port_);
  thread_ = std::thread([this] { serve(); });
}

FakeHok::~FakeHok() {
  stop_ = true;
  thread_.join();
  close(listen_fd_);
}

std::string FakeHok::url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void FakeHok::set_owner_answer(const std::string& answer) {
  std::lock_guard<std::mutex> lock(mutex_);
  owner_answer_ = answer;
}

void FakeHok::set_ids_answer(const std::string& answer) {
  std::lock_guard<std::mutex> lock(mutex_);
  ids_answer_ = answer;
}

std::vector<std::string> FakeHok::requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

std::string FakeHok::ok(const std::string& body) {
  return "HTTP/1.1 200 OK\r\nContent-Type: text/xml;charset=UTF-8\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

std::string FakeHok::fingerprints_body(const std::vector<std::string>& fingerprints) {
  std::string b =
      "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body>"
      "<ns2:getCertsByOwnerResponse xmlns:ns2=\"http://ws.hok.orvel.ru/\"><return>";
  for (const auto& f : fingerprints) b += "<cert><fingerprint>" + f + "</fingerprint></cert>";
  return b + "</return></ns2:getCertsByOwnerResponse></soap:Body></soap:Envelope>";
}

std::string FakeHok::certificate_body(const std::string& pkcs_text) {
  return "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body>"
         "<ns2:getCertsByIdsResponse xmlns:ns2=\"http://ws.hok.orvel.ru/\"><return><cert><pkcs>" +
         pkcs_text +
         "</pkcs></cert></return></ns2:getCertsByIdsResponse></soap:Body></soap:Envelope>";
}

void FakeHok::serve() {
  while (!stop_) {
    pollfd p{listen_fd_, POLLIN, 0};
    if (poll(&p, 1, 50) <= 0) continue;
    const int fd = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    handle(fd);
    close(fd);
  }
}

void FakeHok::handle(int fd) {
  const std::string req = read_request(fd);
  std::string answer;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(req);
    answer = req.find("getCertsByIds") != std::string::npos ? ids_answer_ : owner_answer_;
  }
  size_t off = 0;
  while (off < answer.size()) {
    const ssize_t n = send(fd, answer.data() + off, answer.size() - off, MSG_NOSIGNAL);
    if (n <= 0) break;
    off += size_t(n);
  }
  shutdown(fd, SHUT_WR);
}

SilentPort::SilentPort() { fd_ = listen_loopback(&port_); }

SilentPort::~SilentPort() { close(fd_); }

}  // namespace orvel_test
