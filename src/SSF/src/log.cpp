#include "log.h"

#include <fcntl.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>

#include "error_sink.h"
#include "ossl_ptr.h"
#include "settings.h"
#include "url_text.h"

namespace {

constexpr size_t kBufSize = 102400;
constexpr const char kEqualsLine[] =
    "=============================================================";
constexpr const char kDashLine[] = "-------------------------------------------------------------";

char log_file[kBufSize];
const char* g_log_file = nullptr;
char g_app_name[kBufSize];

// Says once per process, on the system log, that the trace path is no
// regular file and its lines are dropped.
void report_not_regular() {
  static bool reported = false;
  if (reported) return;
  reported = true;
  syslog(LOG_ERR, "trace log '%s' is not a regular file: no trace log is written", g_log_file);
}

// Opens the trace file for appending. The default directory is /tmp, where
// anybody can plant a symbolic link or a FIFO: a link is not followed, and
// the open does not wait (a FIFO without a reader would hold the host's call
// for good). Only a regular file takes the line.
FILE* open_trace_file() {
  if (g_log_file == nullptr) return nullptr;
  int fd =
      open(g_log_file,
           O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644);
  if (fd < 0) {
    // A FIFO without a reader, a symbolic link, a directory.
    if (errno == ENXIO || errno == ELOOP || errno == EISDIR) report_not_regular();
    return nullptr;
  }
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    report_not_regular();
    return nullptr;
  }
  FILE* f = fdopen(fd, "a");
  if (f == nullptr) close(fd);
  return f;
}

void append_line(const char* text) {
  FILE* f = open_trace_file();
  if (f == nullptr) return;
  fputs(text, f);
  fputc('\n', f);
  fclose(f);
}

// Formats into a buffer of this call; a text longer than the line buffer
// size is cut.
ORVEL_PRINTF(1, 0) std::unique_ptr<char[]> vformat(const char* format, va_list ap) {
  va_list measure;
  va_copy(measure, ap);
  const int n = vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  if (n < 0) return nullptr;
  const size_t size = std::min(static_cast<size_t>(n) + 1, kBufSize);
  std::unique_ptr<char[]> text(new (std::nothrow) char[size]);
  if (text) vsnprintf(text.get(), size, format, ap);
  return text;
}

ORVEL_PRINTF(1, 0) void vwrite_line(const char* format, va_list ap) {
  if (auto line = vformat(format, ap)) append_line(line.get());
}

ORVEL_PRINTF(2, 0) void write_block(const char* kind, const char* format, va_list ap) {
  auto message = vformat(format, ap);
  if (!message) return;
  append_line(kDashLine);
  log_write("%s %s", g_app_name, get_time_string());
  append_line(kind);
  append_line(message.get());  // written as it stands: '%' in the text stays '%'
  append_line(kDashLine);
}

}  // namespace

int set_log(const char* path, const char* app_name, int per_process) {
  if (path == nullptr) return -1;
  if (g_log_file != nullptr) return 1;
  if (strlen(path) >= kBufSize) return -1;
  int n;
  if (per_process)
    n = snprintf(log_file, sizeof log_file, "%s_%s", path, get_pid_string());
  else
    n = snprintf(log_file, sizeof log_file, "%s", path);
  if (n < 0 || static_cast<size_t>(n) >= sizeof log_file) return -1;
  snprintf(g_app_name, sizeof g_app_name, "%s", app_name ? app_name : "UNKNOWNAPP");
  g_log_file = log_file;
  // The toolkit additions report their failures here too.
  brek_set_error_sink([](const char* text) { log_err("%s", text); });
  if (FILE* f = open_trace_file()) fclose(f);
  append_line(kEqualsLine);
  log_write(" Trace file started on %s", get_time_string());
  append_line(kEqualsLine);
  return 0;
}

const char* get_log_file() { return g_log_file; }

void log_write(const char* format, ...) {
  if (format == nullptr || g_log_file == nullptr) return;
  va_list ap;
  va_start(ap, format);
  vwrite_line(format, ap);
  va_end(ap);
}

void log_write_nomutex(const char* format, ...) {
  if (format == nullptr || g_log_file == nullptr) return;
  va_list ap;
  va_start(ap, format);
  vwrite_line(format, ap);
  va_end(ap);
}

void log_err(const char* format, ...) {
  if (format == nullptr || g_log_file == nullptr) return;
  va_list ap;
  va_start(ap, format);
  write_block("ERROR", format, ap);
  va_end(ap);
}

void info(const char* format, ...) {
  if (format == nullptr || g_log_file == nullptr) return;
  va_list ap;
  va_start(ap, format);
  write_block("INFO", format, ap);
  va_end(ap);
}

void dbg(const char* format, ...) {
  if (!debug_mode || format == nullptr || g_log_file == nullptr) return;
  va_list ap;
  va_start(ap, format);
  vwrite_line(format, ap);
  va_end(ap);
}

void dbg_hex_dump(const void* data, int length, const char* label) {
  if (!debug_mode || g_log_file == nullptr || data == nullptr || length < 1 || length > 4096)
    return;
  FILE* f = open_trace_file();
  if (f == nullptr) return;
  fprintf(f, "\n%s: size=%d:", label ? label : "", length);
  const auto* p = static_cast<const unsigned char*>(data);
  for (int i = 0; i < length; ++i) fprintf(f, " %02x", p[i]);
  fputc('\n', f);
  fclose(f);
}

void dbg_print(const char* text, int n, const char* label) {
  if (!debug_mode || text == nullptr) return;
  if (n < 0) return;
  if (static_cast<size_t>(n) < kBufSize) {
    dbg("%s='%.*s'", label ? label : "", n, text);
  } else {
    dbg("dbg_print: ERROR! string is too long, len=%d", n);
    dbg("dbg_print: maximum allowed length=%d", static_cast<int>(kBufSize));
  }
}

const char* strip_file_name(const char* path) {
  if (path == nullptr) return "";
  if (const char* s = strrchr(path, '/')) return s + 1;
  if (const char* s = strrchr(path, '\\')) return s + 1;
  return path;
}

void detail_log(const char* kind, const char* file, long line, const char* text) {
  if (text == nullptr || g_log_file == nullptr) return;
  append_line(kDashLine);
  log_write("%s %s", g_app_name, get_time_string());
  log_write("%s %s line %ld", kind ? kind : "", strip_file_name(file), line);
  append_line(text);
  append_line(kDashLine);
}

int log_write_char_array(const unsigned char* data, int length, const char* label) {
  if (g_log_file == nullptr || data == nullptr || length <= 0) return -1;
  FILE* f = open_trace_file();
  if (f == nullptr) return -1;
  fprintf(f, "%s > ", get_time_string());
  if (label != nullptr) fprintf(f, "%s:", label);
  for (int i = 0; i < length; ++i) {
    if (data[i] >= 0x20 && data[i] < 0x7f)
      fputc(data[i], f);
    else
      fprintf(f, "%x", data[i]);
  }
  fputc('\n', f);
  fclose(f);
  return 0;
}

std::string url_for_log(const char* url) {
  if (url == nullptr) return std::string();
  std::string shown(url);
  // A URL without a scheme (curl takes one) has its authority first.
  size_t start = shown.find("://") == std::string::npos ? 0 : shown.find("://") + 3;
  while (start != std::string::npos) {
    const size_t at = orvel::userinfo_end(shown, start, orvel::authority_end(shown, start));
    if (at != std::string::npos) {
      shown.replace(start, at - start, "<credentials>");
      start += strlen("<credentials>");
    }
    start = shown.find("://", start);
    if (start != std::string::npos) start += 3;
  }
  return shown;
}

const char* toolkit_error_text() {
  static thread_local char buf[256];
  unsigned long e = ERR_peek_last_error();
  if (e == 0) return "";
  ERR_error_string_n(e, buf, sizeof buf);
  return buf;
}

void print_brekssl_errors() {
  // Without a trace file the queue is still emptied, so stale errors never
  // show up under a later operation.
  if (g_log_file == nullptr) {
    ERR_clear_error();
    return;
  }
  append_line("------BEGIN BREKSSL ERRORS-----");
  if (FILE* f = open_trace_file()) {
    orvel::BioPtr bio(BIO_new_fp(f, BIO_CLOSE));
    if (bio) {
      ERR_print_errors(bio.get());
    } else {
      fclose(f);
    }
  }
  ERR_clear_error();
  append_line("-------END BREKSSL ERRORS------");
}

const char* get_pid_string() {
  static char pid[16];
  snprintf(pid, sizeof pid, "%.8x", static_cast<unsigned>(getpid()));
  return pid;
}

const char* get_time_string() {
  static char text[64];
  time_t now = time(nullptr);
  struct tm tmv;
  if (localtime_r(&now, &tmv) == nullptr || asctime_r(&tmv, text) == nullptr) {
    text[0] = '\0';
    return text;
  }
  if (char* nl = strchr(text, '\n')) *nl = '\0';
  return text;
}
