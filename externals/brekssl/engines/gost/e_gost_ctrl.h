// Control commands of the "gost" engine: defaults of its context.
#ifndef ORVEL_E_GOST_CTRL_H
#define ORVEL_E_GOST_CTRL_H

#include <openssl/engine.h>

enum : int {
  kVkcCmdParamsGost28147 = ENGINE_CMD_BASE,  // 200
  kVkcCmdPbePrfHmac,
  kVkcCmdParamsGost2001,
  kVkcCmdParamsGost2012_256,
  kVkcCmdParamsGost2012_512,
  kVkcCmdPkFormat,
  kVkcCmdReserved,  // 206: accepted, does nothing
};

// Returned for command numbers the engine does not define (treated by the
// toolkit as success).
inline constexpr int kVkcCtrlUnknownCommand = 119;

extern const ENGINE_CMD_DEFN vkc_cmds[];

extern "C" int vkc_control_func(ENGINE* e, int cmd, long i, void* p, void (*f)(void));

#endif
