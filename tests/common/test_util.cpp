#include "test_util.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace orvel_test {

namespace {

// The tests run in UTC unless the environment says otherwise (ctest's
// ENVIRONMENT property carries only its first entry through discovery).
const bool g_utc_default = [] {
  setenv("TZ", "UTC", 0);
  tzset();
  return true;
}();

std::string env_or(const char* name, const char* fallback) {
  const char* v = getenv(name);
  return v ? v : fallback;
}
}  // namespace

std::string data_dir() { return env_or("ORVEL_TEST_DATA", ORVEL_TEST_DATA_DEFAULT); }
std::string library_path() { return env_or("ORVEL_LIBRARY", ORVEL_LIBRARY_DEFAULT); }
std::string ssfhost_path() { return env_or("ORVEL_SSFHOST", ORVEL_SSFHOST_DEFAULT); }

TempDir::TempDir() {
  char tmpl[] = "/tmp/orvel-test-XXXXXX";
  if (mkdtemp(tmpl) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void write_file(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

std::vector<unsigned char> from_hex(const std::string& hex) {
  std::vector<unsigned char> out;
  int hi = -1;
  for (char c : hex) {
    int v;
    if (c >= '0' && c <= '9') v = c - '0';
    else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
    else continue;
    if (hi < 0) {
      hi = v;
    } else {
      out.push_back(static_cast<unsigned char>(hi << 4 | v));
      hi = -1;
    }
  }
  return out;
}

std::string to_hex(const unsigned char* p, size_t n) {
  static const char digits[] = "0123456789abcdef";
  std::string s;
  s.reserve(2 * n);
  for (size_t i = 0; i < n; ++i) {
    s.push_back(digits[p[i] >> 4]);
    s.push_back(digits[p[i] & 15]);
  }
  return s;
}

int run_command(const std::string& cmd, std::string* output) {
  std::string full = cmd + " 2>&1";
  FILE* p = popen(full.c_str(), "r");
  if (p == nullptr) return -1;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0)
    if (output) output->append(buf, n);
  int st = pclose(p);
  return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

}  // namespace orvel_test
