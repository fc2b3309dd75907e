#include "test_hok.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "test_servers.h"

namespace orvel_test {
namespace {

int listen_loopback_or_throw(int* port) {
  const int fd = listen_on_free_port(port);
  if (fd < 0) throw std::runtime_error("listen on loopback");
  return fd;
}

}  // namespace

FakeHok::FakeHok() {
  listen_fd_ = listen_loopback_or_throw(&port_);
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
  const std::string req = read_http_request(fd);
  std::string answer;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(req);
    answer = req.find("getCertsByIds") != std::string::npos ? ids_answer_ : owner_answer_;
  }
  send_all(fd, answer);
  shutdown(fd, SHUT_WR);
}

SilentPort::SilentPort() { fd_ = listen_loopback_or_throw(&port_); }

SilentPort::~SilentPort() { close(fd_); }

}  // namespace orvel_test
