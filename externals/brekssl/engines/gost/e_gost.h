// The toolkit engine "gost": GOST ciphers, digests, MACs and key types of
// the crypto core behind the toolkit's engine interface.
#ifndef ORVEL_E_GOST_H
#define ORVEL_E_GOST_H

#include <openssl/engine.h>

inline constexpr const char* kGostEngineId = "gost";
inline constexpr const char* kGostEngineName = "KESTRUM-Soft BrekSSL Internal GOST engine";

// Makes the engine, binds it and adds it to the toolkit's engine list. An
// engine id already taken (a host configuration may have loaded a foreign
// engine of that name) is reported on the standard error stream; the
// engine's methods stay registered and the engine is kept for the process.
void ENGINE_load_gost();

// Binds an engine object as the "gost" engine: identity, context, selectors,
// commands, callbacks, key methods, registration in the toolkit's tables and
// name tables. 1 on success, 0 on failure (with a message on stderr).
int bind_vkc_2012(ENGINE* e);

#endif
