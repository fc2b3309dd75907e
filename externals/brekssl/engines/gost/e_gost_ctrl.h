// Control commands of the "gost" engine: defaults of its context.
#ifndef ORVEL_E_GOST_CTRL_H
#define ORVEL_E_GOST_CTRL_H

#include <openssl/engine.h>

inline constexpr int kVkcCmdParamsGost28147 = ENGINE_CMD_BASE;  // 200
inline constexpr int kVkcCmdPbePrfHmac = ENGINE_CMD_BASE + 1;
inline constexpr int kVkcCmdParamsGost2001 = ENGINE_CMD_BASE + 2;
inline constexpr int kVkcCmdParamsGost2012_256 = ENGINE_CMD_BASE + 3;
inline constexpr int kVkcCmdParamsGost2012_512 = ENGINE_CMD_BASE + 4;
inline constexpr int kVkcCmdPkFormat = ENGINE_CMD_BASE + 5;
inline constexpr int kVkcCmdReserved = ENGINE_CMD_BASE + 6;  // accepted, does nothing

// Returned for command numbers the engine does not define (treated by the
// toolkit as success).
inline constexpr int kVkcCtrlUnknownCommand = 119;

extern const ENGINE_CMD_DEFN vkc_cmds[];

extern "C" int vkc_control_func(ENGINE* e, int cmd, long i, void* p, void (*f)(void));

#endif
