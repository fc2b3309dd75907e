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
  void* lib = dlopen(library_path().c_str(), RTLD_NOW | RTLD_LOCAL);
  if (lib == nullptr) throw std::runtime_error(dlerror());
  bind(lib, "SsfSign", &Sign);
  bind(lib, "SsfVerify", &Verify);
  bind(lib, "SsfEnvelope", &Envelope);
  bind(lib, "SsfDevelope", &Develope);
  bind(lib, "SsfAddSign", &AddSign);
  bind(lib, "SsfDigest", &Digest);
  bind(lib, "SsfEncode", &Encode);
  bind(lib, "SsfDecode", &Decode);
  bind(lib, "SsfQueryProperties", &QueryProperties);
  bind(lib, "SsfVersion", &Version);
  bind(lib, "SsfEnhanceSignatures", &EnhanceSignatures);
  bind(lib, "SsfNEWSigRcpSsfInfo", &NEW);
  bind(lib, "SsfINSSigRcpSsfInfo", &INS);
  bind(lib, "SsfDELSigRcpSsfInfo", &DEL);
  bind(lib, "SsfDELSigRcpSsfInfoList", &DELList);
  bind(lib, "SsfDELSsfOctetstring", &DELOctets);
  bind(lib, "set_tsp_server", &set_tsp_server);
  bind(lib, "set_ocsp_server", &set_ocsp_server);
  // Start-up runs inside the first call; every test starts after it.
  DELOctets(nullptr, nullptr);
  mark();
}

std::string error_block(const std::string& message) {
  const std::string dashes(61, '-');
  return "\nERROR\n" + message + "\n" + dashes + "\n";
}

}  // namespace orvel_test
