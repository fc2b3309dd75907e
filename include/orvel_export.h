/* Export macro of liborvel-ssf-server: everything not marked with it stays
 * hidden (the library is built with -fvisibility=hidden). */
#ifndef ORVEL_EXPORT_H
#define ORVEL_EXPORT_H

#define ORVEL_EXPORT __attribute__((visibility("default")))

#ifdef __cplusplus
#define ORVEL_EXTERN_C_BEGIN extern "C" {
#define ORVEL_EXTERN_C_END }
#else
#define ORVEL_EXTERN_C_BEGIN
#define ORVEL_EXTERN_C_END
#endif

#endif
