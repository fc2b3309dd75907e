// Entry points of the toolkit's dynamic-engine interface, for a build of the
// engine as a loadable module. Inside the library they are hidden and
// nothing calls them.
#ifndef ORVEL_E_GOST_DYNAMIC_H
#define ORVEL_E_GOST_DYNAMIC_H

#include <openssl/engine.h>

// The interface version the loader offers must be this toolkit's or newer;
// returns the version served, 0 to refuse.
extern "C" unsigned long v_check(unsigned long v);

// Adopts the loader's memory functions when its toolkit state differs from
// this one's, refuses any id but "gost", then binds the engine. 1 or 0.
extern "C" int bind_engine(ENGINE* e, const char* id, const dynamic_fns* fns);

#endif
