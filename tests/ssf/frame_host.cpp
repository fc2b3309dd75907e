#include "frame_host.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>

namespace orvel_test {

namespace {

template <typename F>
void bind(void* lib, const char* name, F* fn) {
  *fn = reinterpret_cast<F>(dlsym(lib, name));
  if (*fn == nullptr) throw std::runtime_error(std::string("missing symbol ") + name);
}

}  // namespace

Host::Host(const std::string& extra_config) {
  write_file(dir.file("orvel-ssf-server.cfg"),
             "[common]\nlog_dir = " + dir.path() + "\ndebug_mode = yes\n" + extra_config);
  setenv("DIR_LIBRARY", dir.path().c_str(), 1);
  std::string error;
  if (!load(library_path(), &error)) throw std::runtime_error(error);
  bind(library, "set_tsp_server", &set_tsp_server);
  bind(library, "set_ocsp_server", &set_ocsp_server);
  // Start-up runs inside the first call; every test starts after it.
  DELSsfOctetstring(nullptr, nullptr);
  mark();
}

std::string error_block(const std::string& message) {
  const std::string dashes(61, '-');
  return "\nERROR\n" + message + "\n" + dashes + "\n";
}

}  // namespace orvel_test
