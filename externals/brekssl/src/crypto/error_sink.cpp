#include "error_sink.h"

#include <cstdarg>
#include <cstdio>

namespace {
BrekErrorSink g_sink = nullptr;
}  // namespace

void brek_set_error_sink(BrekErrorSink sink) { g_sink = sink; }

void brek_log_err(const char* format, ...) {
  if (g_sink == nullptr || format == nullptr) return;
  char text[1024];
  va_list ap;
  va_start(ap, format);
  vsnprintf(text, sizeof text, format, ap);
  va_end(ap);
  g_sink(text);
}
