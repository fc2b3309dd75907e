#include "net_err.h"

#include "err_library.h"

namespace orvel::net {

namespace {

// ERR_load_strings keeps pointers to the table and fills in the library.
ERR_STRING_DATA g_strings[] = {
    {0, "SSF HTTP exchange"},
    {ERR_PACK(0, 0, kNetErrServerWriteError), "server write error"},
    {ERR_PACK(0, 0, kNetErrServerReadError), "server read error"},
    {ERR_PACK(0, 0, kNetErrResponseParseError), "server response parse error"},
    {ERR_PACK(0, 0, kNetErrResponseError), "server response error"},
    {ERR_PACK(0, 0, kNetErrNoContent), "no content"},
    {0, nullptr},
};

}  // namespace

int net_err_lib() {
  static const int lib = brek_register_err_library(g_strings);
  return lib;
}

}  // namespace orvel::net
