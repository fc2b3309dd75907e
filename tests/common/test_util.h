// Shared helpers of the test binaries.
#ifndef ORVEL_TEST_UTIL_H
#define ORVEL_TEST_UTIL_H

#include <string>
#include <vector>

namespace orvel_test {

// Directory of the project's test data (tests/data).
std::string data_dir();
// Path of the built shared library and of the stand-in host.
std::string library_path();
std::string ssfhost_path();

// A fresh directory under /tmp, removed with its content when the object dies.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& content);
std::vector<unsigned char> from_hex(const std::string& hex);
std::string to_hex(const unsigned char* p, size_t n);

// Runs a shell command; returns its exit status and collects stdout+stderr.
int run_command(const std::string& cmd, std::string* output = nullptr);

}  // namespace orvel_test

#endif
