// Loading of the toolkit's built-in engines followed by the system's own,
// in the order the rest of the system relies on: "gost", "rand" (the random
// source must be the VPRNG before any key is made), "pkcs11" (reuses the
// "gost" engine's key methods).
#ifndef ORVEL_ENGINE_LOADER_H
#define ORVEL_ENGINE_LOADER_H

// Once per process; later calls return at once.
void ssf_load_builtin_engines();

#endif
