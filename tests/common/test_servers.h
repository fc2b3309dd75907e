// Network fixtures on loopback for the tests: an HTTP server and an FTP
// server (python3's http.server and pyftpdlib) over a directory, and a small
// LDAP server of our own that answers every search with one attribute.
// Each picks a free port and is stopped when the object dies.
#ifndef ORVEL_TEST_SERVERS_H
#define ORVEL_TEST_SERVERS_H

#include <sys/types.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace orvel_test {

// A TCP port on 127.0.0.1 that nothing listens on at the moment.
int free_port();

// A socket listening on a free loopback port (its number in *port), or -1.
int listen_on_free_port(int* port);

// Writes all of s (or until the peer goes away).
void send_all(int fd, const std::string& s);

// Reads an HTTP request: the head up to the blank line and Content-Length
// bytes of body, or what came until the peer closed or two seconds passed
// without data.
std::string read_http_request(int fd);

// Waits until something accepts connections on the port.
bool wait_for_port(int port, int timeout_ms = 10000);

// A child process serving a directory.
class ChildServer {
 public:
  ~ChildServer();
  ChildServer(const ChildServer&) = delete;
  ChildServer& operator=(const ChildServer&) = delete;
  int port() const { return port_; }
  bool running() const { return pid_ > 0; }

 protected:
  ChildServer() = default;
  void start(const std::vector<std::string>& argv);
  pid_t pid_ = -1;
  int port_ = 0;
};

class HttpServer : public ChildServer {
 public:
  explicit HttpServer(const std::string& dir);
  std::string url(const std::string& file) const;
};

class FtpServer : public ChildServer {
 public:
  explicit FtpServer(const std::string& dir);
  std::string url(const std::string& file) const;
};

// Answers bind with success, every search with one entry holding one
// attribute (name and binary value as given), and stops at unbind.
class FakeLdapServer {
 public:
  FakeLdapServer(std::string attribute, std::string value);
  ~FakeLdapServer();
  FakeLdapServer(const FakeLdapServer&) = delete;
  FakeLdapServer& operator=(const FakeLdapServer&) = delete;
  int port() const { return port_; }
  // An LDAP URL asking for the attribute of an entry.
  std::string url(const std::string& dn = "cn=Orvel Test Root,o=Orvel Test,c=RU") const;
  int searches() const { return searches_; }

 private:
  void serve();
  void handle(int fd);
  std::string attribute_;
  std::string value_;
  int listen_fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> searches_{0};
  std::thread thread_;
};

}  // namespace orvel_test

#endif
