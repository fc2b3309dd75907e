// The argument checks and the closing steps the exported functions share.
// Each check writes the function's own trace line: `func` is the function's
// name and `step` the text between "()" and ":" in that line (" 1 ", " " or
// ""), `name` the name of the host's argument.
#ifndef ORVEL_SSF_FRAME_CHECKS_H
#define ORVEL_SSF_FRAME_CHECKS_H

#include "orvel_ssf.h"

// Enters an exported function: one operation at a time, the library started.
void frame_begin();

// Leaves an exported function with "<func>() end, retcode = <rc>"; gives rc back.
SsfInt frame_end(const char* func, SsfInt rc);

// True when the host gave input bytes; otherwise writes
// "<func>()<step>: (<name> == NULL) || (<name>L <= 0)".
bool input_given(const char* func, const char* step, const char* name, const void* data,
                 SsfInt len);

// True when the format is one the library knows; otherwise writes
// "<func>()<step>: invalid format: '<format>'".
bool format_known(const char* func, const char* step, const char* format, SsfInt format_len);

// True when the host gave both halves of an output pair; otherwise writes
// "<func>()<step>: (<name> == NULL) || (<name>L == NULL)".
bool output_given(const char* func, const char* step, const char* name, unsigned char** data,
                  const SsfInt* len);

#endif
