// A fake hok SOAP directory on loopback: answers getCertsByOwner and
// getCertsByIds with canned HTTP answers, records every request, and a port
// that accepts connections but never answers. Each picks a free port and is
// stopped when the object dies.
#ifndef ORVEL_TEST_HOK_H
#define ORVEL_TEST_HOK_H

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace orvel_test {

class FakeHok {
 public:
  FakeHok();
  ~FakeHok();
  FakeHok(const FakeHok&) = delete;
  FakeHok& operator=(const FakeHok&) = delete;

  int port() const { return port_; }
  std::string url(const std::string& path = "/hok/ws") const;

  // Whole HTTP answers (status line, headers, body) for the two requests.
  void set_owner_answer(const std::string& answer);
  void set_ids_answer(const std::string& answer);

  // Every request received (request line, headers and body) in order.
  std::vector<std::string> requests() const;

  // A 200 answer carrying the body, and a SOAP body with the elements.
  static std::string ok(const std::string& body);
  static std::string fingerprints_body(const std::vector<std::string>& fingerprints);
  static std::string certificate_body(const std::string& pkcs_text);

 private:
  void serve();
  void handle(int fd);
  int listen_fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::string owner_answer_, ids_answer_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

// A listening socket that is never accepted from: a connection succeeds and
// then nothing is ever answered.
class SilentPort {
 public:
  SilentPort();
  ~SilentPort();
  SilentPort(const SilentPort&) = delete;
  SilentPort& operator=(const SilentPort&) = delete;
  int port() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
};

}  // namespace orvel_test

#endif
