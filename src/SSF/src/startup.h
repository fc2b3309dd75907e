// Start-up of the library, run at the entry of every exported function
// until it has once succeeded.
#ifndef ORVEL_SSF_STARTUP_H
#define ORVEL_SSF_STARTUP_H

// 0 when the library is (now or already) started, -1 when the CAdES
// identifiers could not be registered (the next call tries again).
int init_lib();

#endif
