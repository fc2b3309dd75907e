/* Diagnostic stream and version of the crypto core. */
#ifndef VKC_LOG_H
#define VKC_LOG_H

#include <stdio.h>

#include "orvel_export.h"

ORVEL_EXTERN_C_BEGIN

/* The crypto core's diagnostic stream; null (silent) unless
 * vkc_set_log_file switched it on. */
ORVEL_EXPORT extern FILE* vkcflog;

/* null: off; "stderr": the standard error stream; else appended to the file
 * (a failed open leaves the log off). Always returns 0. */
ORVEL_EXPORT int vkc_set_log_file(const char* path);

ORVEL_EXPORT int vkcVersion(void);

ORVEL_EXTERN_C_END

/* One diagnostic line, only when the stream is set. */
#define VKC_LOG(...)                      \
  do {                                    \
    if (vkcflog != NULL) {                \
      fprintf(vkcflog, __VA_ARGS__);      \
      fputc('\n', vkcflog);               \
      fflush(vkcflog);                    \
    }                                     \
  } while (0)

#endif
