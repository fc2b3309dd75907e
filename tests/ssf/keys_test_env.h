// The process set up as start-up leaves it (toolkit, providers, trace log
// in a temporary directory), for tests that call the key loaders directly;
// and signer records over test strings.
#ifndef ORVEL_TESTS_KEYS_TEST_ENV_H
#define ORVEL_TESTS_KEYS_TEST_ENV_H

#include <cstdlib>
#include <string>

#include "orvel_ssf.h"
#include "startup.h"
#include "test_util.h"

namespace orvel_test {

class StartedLibrary {
 public:
  explicit StartedLibrary(const std::string& extra_config = "") {
    write_file(dir_.file("orvel-ssf-server.cfg"),
               "[common]\nlog_dir = " + dir_.path() + "\ndebug_mode = yes\n" + extra_config);
    setenv("DIR_LIBRARY", dir_.path().c_str(), 1);
    init_lib();
  }
  std::string log() const { return read_file(dir_.file("orvel-ssf-server.log")); }
  bool logged(const std::string& s) const { return log().find(s) != std::string::npos; }

 private:
  TempDir dir_;
};

// A record whose strings live in the object (NUL-terminated, as the
// record functions make them); an empty string is absent.
class TestRecord {
 public:
  TestRecord(std::string id, std::string profile, std::string password = "")
      : id_(std::move(id)), profile_(std::move(profile)), password_(std::move(password)) {
    rec_.strSigRcpId = id_.empty() ? nullptr : id_.data();
    rec_.strSigRcpIdL = static_cast<SsfInt>(id_.size());
    rec_.strSigRcpProfile = profile_.empty() ? nullptr : profile_.data();
    rec_.strSigRcpProfileL = static_cast<SsfInt>(profile_.size());
    rec_.strSigRcpPassword = password_.empty() ? nullptr : password_.data();
    rec_.strSigRcpPasswordL = static_cast<SsfInt>(password_.size());
    rec_.uResult = 28;
  }
  TestRecord(const TestRecord&) = delete;
  TestRecord& operator=(const TestRecord&) = delete;
  SigRcpSsfInfo* get() { return &rec_; }
  int result() const { return rec_.uResult; }

 private:
  std::string id_, profile_, password_;
  SigRcpSsfInfo rec_{};
};

}  // namespace orvel_test

#endif
