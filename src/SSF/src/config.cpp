#include "config.h"

#include <iniparser.h>
#include <sys/stat.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "list.h"
#include "log.h"
#include "url_text.h"

namespace {

constexpr size_t kValueSize = 1024;

// iniparser reports syntax and I/O problems through this callback: they go
// to the trace log instead of the standard error stream. Only the first
// line is written: the second one quotes the faulty configuration line,
// which may hold a password.
__attribute__((format(printf, 1, 2))) int iniparser_error_to_log(const char* format, ...) {
  char text[1024];
  va_list ap;
  va_start(ap, format);
  int n = vsnprintf(text, sizeof text, format, ap);
  va_end(ap);
  text[strcspn(text, "\r\n")] = '\0';
  log_write("%s", text);
  return n;
}

// Loads the file only when it is a regular file: a FIFO would hold the
// host's call until a writer came, and a device or a directory is no
// configuration either.
dictionary* load_config(const char* file) {
  struct stat st;
  if (stat(file, &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
  iniparser_set_error_callback(iniparser_error_to_log);
  return iniparser_load(file);
}

}  // namespace

bool qel_config_loadable(const char* file) {
  if (file == nullptr) return false;
  dictionary* dict = load_config(file);
  if (dict == nullptr) return false;
  iniparser_freedict(dict);
  return true;
}

const char* qel_get_parameter(const char* file, const char* key) {
  static char value[kValueSize];
  if (file == nullptr || key == nullptr) return nullptr;
  dictionary* dict = load_config(file);
  if (dict == nullptr) {
    log_write("%s() : couldn't parse file '%s'", __func__, file);
    return nullptr;
  }
  const char* found = iniparser_getstring(dict, key, nullptr);
  const char* result = nullptr;
  if (found != nullptr) {
    snprintf(value, sizeof value, "%s", found);
    result = value;
  }
  iniparser_freedict(dict);
  return result;
}

const char* qel_get_config_dir() {
  static char dir[kValueSize];
  const char* env = getenv("DIR_LIBRARY");
  if (env == nullptr || strlen(env) >= sizeof dir) return nullptr;
  snprintf(dir, sizeof dir, "%s", env);
  return dir;
}

const char* qel_get_default_log_dir() {
  static char dir[kValueSize];
  snprintf(dir, sizeof dir, "%s", "/tmp/");
  return dir;
}

const char* get_default_log_file() { return "/tmp/orvel-ssf-server.log"; }

int ParseProtocols(list_head* list, const char* text) {
  if (list == nullptr || text == nullptr) return -1;
  int count = 0;
  const char* start = text;
  for (;;) {
    const char* blank = strchr(start, ' ');
    size_t len = blank ? static_cast<size_t>(blank - start) : strlen(start);
    auto* entry = static_cast<char*>(malloc(len + 1));
    if (entry == nullptr) return count;
    memcpy(entry, start, len);
    entry[len] = '\0';
    list_node* node = list_node_create(entry);
    if (node == nullptr) {
      free(entry);
      return count;
    }
    list_push(list, node);
    ++count;
    if (blank == nullptr) break;
    start = blank + 1;
  }
  return count;
}

void split_proxy_url(const char* url, char** host, char** port) {
  *host = nullptr;
  *port = nullptr;
  if (url == nullptr) return;
  const char* rest = url;
  if (const char* slashes = strstr(url, "//")) rest = slashes + 2;
  // Credentials come from proxy:proxy_login_pwd; a "user:password@" here
  // would otherwise be taken for the host and, with the host, for the port.
  const std::string_view text(rest);
  const size_t at = orvel::userinfo_end(text, 0, orvel::authority_end(text, 0));
  if (at != std::string_view::npos) rest += at + 1;
  const char* colon = strchr(rest, ':');
  if (colon == nullptr) {
    *host = strdup(rest);
    return;
  }
  *host = strndup(rest, static_cast<size_t>(colon - rest));
  *port = strdup(colon + 1);
}
