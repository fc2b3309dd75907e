#include "net_err.h"

namespace orvel::net {

namespace {

int g_lib = 0;

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
  if (g_lib == 0) {
    const int lib = ERR_get_next_error_library();
    g_strings[0].error = ERR_PACK(lib, 0, 0);
    ERR_load_strings(lib, g_strings);
    g_lib = lib;
  }
  return g_lib;
}

}  // namespace orvel::net
