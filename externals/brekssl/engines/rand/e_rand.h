// The toolkit engine "rand": the VPRNG as the process's random source.
#ifndef ORVEL_E_RAND_H
#define ORVEL_E_RAND_H

// Makes the engine, starts the generator (a generator that cannot start ends
// the process), adds the engine to the toolkit's list and installs its
// random method as the toolkit's default.
void ENGINE_load_rand();

#endif
