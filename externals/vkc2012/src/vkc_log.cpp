#include "vkc_log.h"

#include <cstring>

extern "C" {

FILE* vkcflog = nullptr;

int vkc_set_log_file(const char* path) {
  // Close only what this function opened: never the standard error stream.
  if (vkcflog != nullptr && vkcflog != stderr) fclose(vkcflog);
  vkcflog = nullptr;
  if (path == nullptr) return 0;
  if (strcmp(path, "stderr") == 0) {
    vkcflog = stderr;
    return 0;
  }
  vkcflog = fopen(path, "ab");
  return 0;
}

int vkcVersion(void) { return 580; }

}  // extern "C"
