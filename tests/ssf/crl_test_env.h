// Shared pieces of the certificate and CRL tests: a trace log in a temp
// directory, protocol and URL lists, and the settings the checks read.
#ifndef ORVEL_CRL_TEST_ENV_H
#define ORVEL_CRL_TEST_ENV_H

#include <cstdlib>
#include <cstring>
#include <list>
#include <string>
#include <vector>

#include "list.h"
#include "log.h"
#include "settings.h"
#include "test_util.h"

namespace orvel_test {

// Opens the process's trace log in its own directory (once per process:
// every test case runs in a process of its own).
class TraceLog {
 public:
  TraceLog() : path_(dir_.file("trace.log")) {
    set_log(path_.c_str(), "Orvel-SSF", 0);
    debug_mode = 1;
  }
  std::string text() const { return read_file(path_); }
  bool contains(const std::string& s) const { return text().find(s) != std::string::npos; }
  const TempDir& dir() const { return dir_; }

 private:
  TempDir dir_;
  std::string path_;
};

// A list of malloc'd texts, freed with them.
class TextList {
 public:
  explicit TextList(const std::vector<std::string>& items) : list_(list_create()) {
    for (const auto& s : items) list_push(list_, list_node_create(strdup(s.c_str())));
  }
  ~TextList() { list_destroy(list_, free); }
  TextList(const TextList&) = delete;
  TextList& operator=(const TextList&) = delete;
  list_head* get() const { return list_; }

 private:
  list_head* list_;
};

// A copy of a text for a text setting; it lives as long as the process.
inline char* setting_text(const std::string& s) {
  static std::list<std::string> keep;
  keep.push_back(s);
  return keep.back().data();
}

}  // namespace orvel_test

#endif
