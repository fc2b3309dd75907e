#include "test_servers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace orvel_test {

namespace {

sockaddr_in loopback(int port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return a;
}

// BER helpers for the LDAP messages.
std::string ber_len(size_t n) {
  if (n < 0x80) return std::string(1, static_cast<char>(n));
  std::string b;
  while (n > 0) {
    b.insert(b.begin(), static_cast<char>(n & 0xff));
    n >>= 8;
  }
  return std::string(1, static_cast<char>(0x80 | b.size())) + b;
}

std::string tlv(unsigned char tag, const std::string& content) {
  return std::string(1, static_cast<char>(tag)) + ber_len(content.size()) + content;
}

std::string ber_int(long v) {
  std::string b;
  do {
    b.insert(b.begin(), static_cast<char>(v & 0xff));
    v >>= 8;
  } while (v > 0);
  if (static_cast<unsigned char>(b[0]) & 0x80) b.insert(b.begin(), '\0');
  return tlv(0x02, b);
}

std::string ldap_result(unsigned char app_tag) {
  // resultCode success, matchedDN "", diagnosticMessage "".
  return tlv(app_tag, tlv(0x0a, std::string(1, '\0')) + tlv(0x04, "") + tlv(0x04, ""));
}

std::string message(long id, const std::string& op) { return tlv(0x30, ber_int(id) + op); }

// Reads one BER element (tag, length, content) from a socket.
bool read_exact(int fd, unsigned char* p, size_t n) {
  while (n > 0) {
    ssize_t r = recv(fd, p, n, 0);
    if (r <= 0) return false;
    p += r;
    n -= static_cast<size_t>(r);
  }
  return true;
}

bool read_element(int fd, std::string* content) {
  unsigned char hdr[2];
  if (!read_exact(fd, hdr, 2)) return false;
  size_t len = hdr[1];
  if (len & 0x80) {
    size_t nb = len & 0x7f;
    if (nb == 0 || nb > 4) return false;
    unsigned char b[4];
    if (!read_exact(fd, b, nb)) return false;
    len = 0;
    for (size_t i = 0; i < nb; ++i) len = (len << 8) | b[i];
  }
  if (len > (1u << 20)) return false;
  content->resize(len);
  return len == 0 || read_exact(fd, reinterpret_cast<unsigned char*>(content->data()), len);
}

}  // namespace

int listen_on_free_port(int* port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a = loopback(0);
  socklen_t len = sizeof a;
  if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd, 16) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    close(fd);
    return -1;
  }
  *port = ntohs(a.sin_port);
  return fd;
}

void send_all(int fd, const std::string& s) {
  size_t off = 0;
  while (off < s.size()) {
    ssize_t w = send(fd, s.data() + off, s.size() - off, MSG_NOSIGNAL);
    if (w <= 0) return;
    off += static_cast<size_t>(w);
  }
}

std::string read_http_request(int fd) {
  std::string req;
  char buf[4096];
  for (;;) {
    const size_t hdr_end = req.find("\r\n\r\n");
    if (hdr_end != std::string::npos) {
      size_t want = 0;
      const size_t cl = req.find("Content-Length:");
      if (cl != std::string::npos && cl < hdr_end)
        want = strtoul(req.c_str() + cl + 15, nullptr, 10);
      if (req.size() >= hdr_end + 4 + want) return req;
    }
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 2000) <= 0) return req;
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) return req;
    req.append(buf, static_cast<size_t>(n));
  }
}

int free_port() {
  int port = 0;
  int fd = listen_on_free_port(&port);
  if (fd < 0) throw std::runtime_error("no free port");
  close(fd);
  return port;
}

bool wait_for_port(int port, int timeout_ms) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (std::chrono::steady_clock::now() < deadline) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = loopback(port);
    bool ok = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(fd);
    if (ok) return true;
    usleep(50 * 1000);
  }
  return false;
}

ChildServer::~ChildServer() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
  }
}

void ChildServer::start(const std::vector<std::string>& args) {
  port_ = free_port();
  std::vector<std::string> argv = args;
  for (auto& a : argv)
    if (a == "{port}") a = std::to_string(port_);
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
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
  if (!wait_for_port(port_)) throw std::runtime_error("server did not start: " + args[2]);
}

HttpServer::HttpServer(const std::string& dir) {
  start({"/usr/bin/python3", "-m", "http.server", "{port}", "--bind", "127.0.0.1", "--directory",
         dir});
}

std::string HttpServer::url(const std::string& file) const {
  return "http://127.0.0.1:" + std::to_string(port_) + "/" + file;
}

FtpServer::FtpServer(const std::string& dir) {
  start({"/usr/bin/python3", "-m", "pyftpdlib", "-i", "127.0.0.1", "-p", "{port}", "-d", dir});
}

std::string FtpServer::url(const std::string& file) const {
  return "ftp://127.0.0.1:" + std::to_string(port_) + "/" + file;
}

FakeLdapServer::FakeLdapServer(std::string attribute, std::string value)
    : attribute_(std::move(attribute)), value_(std::move(value)) {
  listen_fd_ = listen_on_free_port(&port_);
  if (listen_fd_ < 0) throw std::runtime_error("LDAP fixture: no port");
  thread_ = std::thread([this] { serve(); });
}

FakeLdapServer::~FakeLdapServer() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  close(listen_fd_);
}

std::string FakeLdapServer::url(const std::string& dn) const {
  std::string escaped;
  for (char c : dn) {
    if (c == ' ')
      escaped += "%20";
    else if (c == ',')
      escaped += "%2C";
    else
      escaped += c;
  }
  return "ldap://127.0.0.1:" + std::to_string(port_) + "/" + escaped + "?" + attribute_;
}

void FakeLdapServer::serve() {
  while (!stop_) {
    pollfd p{listen_fd_, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    int fd = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    timeval tv{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    handle(fd);
    close(fd);
  }
}

void FakeLdapServer::handle(int fd) {
  for (;;) {
    std::string msg;
    if (!read_element(fd, &msg)) return;
    // messageID INTEGER, then the protocol operation.
    if (msg.size() < 3 || msg[0] != 0x02) return;
    size_t id_len = static_cast<unsigned char>(msg[1]);
    if (2 + id_len >= msg.size()) return;
    long id = 0;
    for (size_t i = 0; i < id_len; ++i) id = (id << 8) | static_cast<unsigned char>(msg[2 + i]);
    unsigned char op = static_cast<unsigned char>(msg[2 + id_len]);
    if (op == 0x60) {  // bindRequest
      send_all(fd, message(id, ldap_result(0x61)));
    } else if (op == 0x63) {  // searchRequest
      ++searches_;
      std::string attr = tlv(0x30, tlv(0x04, attribute_) + tlv(0x31, tlv(0x04, value_)));
      std::string entry =
          tlv(0x64, tlv(0x04, "cn=Orvel Test Root,o=Orvel Test,c=RU") + tlv(0x30, attr));
      send_all(fd, message(id, entry) + message(id, ldap_result(0x65)));
    } else if (op == 0x42) {  // unbindRequest
      return;
    } else {
      return;
    }
  }
}

}  // namespace orvel_test
