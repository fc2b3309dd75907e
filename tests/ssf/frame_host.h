// A host for the tests: a private configuration directory (debug mode on,
// trace log inside it) and the library loaded with dlopen, as the
// application server loads it.
#ifndef ORVEL_TESTS_FRAME_HOST_H
#define ORVEL_TESTS_FRAME_HOST_H

#include <string>

#include "orvel_ssf.h"
#include "ssf_api.h"
#include "test_util.h"

namespace orvel_test {

// The library's function table is the stand-in host's own (tools/ssf_api.h);
// the host for the tests adds the two server setters and the configuration.
struct Host : SsfApi {
  void (*set_tsp_server)(const char*) = nullptr;
  void (*set_ocsp_server)(const char*) = nullptr;

  // Writes the configuration (extra lines appended to a [common] section
  // with debug mode on), points DIR_LIBRARY at it and loads the library.
  explicit Host(const std::string& extra_config = "");

  std::string log_path() const { return dir.file("orvel-ssf-server.log"); }
  std::string log() const { return read_file(log_path()); }
  // The trace log written since the last call of mark().
  void mark() { mark_ = log().size(); }
  std::string since_mark() const { return log().substr(mark_); }

  TempDir dir;

 private:
  size_t mark_ = 0;
};

// The five lines of an ERROR block with this message.
std::string error_block(const std::string& message);

}  // namespace orvel_test

#endif
