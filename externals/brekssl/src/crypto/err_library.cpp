#include "err_library.h"

int brek_register_err_library(ERR_STRING_DATA* strings) {
  const int lib = ERR_get_next_error_library();
  strings[0].error = ERR_PACK(lib, 0, 0);
  ERR_load_strings(lib, strings);
  return lib;
}
