#include "x509v3/ssf_x509v3_err.h"

#include <openssl/err.h>

namespace {

int g_lib = 0;

// ERR_load_strings keeps pointers to the table and fills in the library.
ERR_STRING_DATA g_strings[] = {
    {0, "SSF X509V3 additions"},
    {ERR_PACK(0, 0, kSsfX509v3CannotFindFreeFunction), "cannot find free function"},
    {ERR_PACK(0, 0, kSsfX509v3InvalidStringsNumber), "invalid strings number"},
    {ERR_PACK(0, 0, kSsfX509v3EmptyValue), "empty value"},
    {0, nullptr},
};

}  // namespace

int ssf_x509v3_err_lib() {
  if (g_lib == 0) {
    int lib = ERR_get_next_error_library();
    g_strings[0].error = ERR_PACK(lib, 0, 0);
    ERR_load_strings(lib, g_strings);
    g_lib = lib;
  }
  return g_lib;
}
