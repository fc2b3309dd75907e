#include "x509v3/ssf_x509v3_err.h"

#include <openssl/err.h>

#include "err_library.h"

namespace {

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
  static const int lib = brek_register_err_library(g_strings);
  return lib;
}
