// The argument checks and the closing steps the exported functions share.
#include "frame_checks.h"

#include "codes.h"
#include "frame.h"
#include "log.h"
#include "operations.h"
#include "sap_string.h"
#include "startup.h"

void frame_begin() {
  lock_mutex();
  init_lib();
}

SsfInt frame_end(const char* func, SsfInt rc) {
  release_mutex();
  print_brekssl_leaks();
  dbg("%s() end, retcode = %d", func, rc);
  return rc;
}

bool input_given(const char* func, const char* step, const char* name, const void* data,
                 SsfInt len) {
  if (data != nullptr && len > 0) return true;
  log_err("%s()%s: (%s == NULL) || (%sL <= 0)", func, step, name, name);
  return false;
}

bool format_known(const char* func, const char* step, const char* format, SsfInt format_len) {
  if (check_format(format, format_len)) return true;
  log_err("%s()%s: invalid format: '%s'", func, step,
          orvel::SapText(format, format_len).c_str());
  return false;
}

bool output_given(const char* func, const char* step, const char* name, unsigned char** data,
                  const SsfInt* len) {
  if (data != nullptr && len != nullptr) return true;
  log_err("%s()%s: (%s == NULL) || (%sL == NULL)", func, step, name, name);
  return false;
}
