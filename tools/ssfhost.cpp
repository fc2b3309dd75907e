// Stand-in host: loads liborvel-ssf-server with dlopen and calls it as the
// application server would.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  const char* lib = getenv("ORVEL_LIBRARY");
  if (lib == nullptr) lib = ORVEL_DEFAULT_LIBRARY;
  void* h = dlopen(lib, RTLD_NOW | RTLD_LOCAL);
  if (h == nullptr) {
    fprintf(stderr, "ssfhost: %s\n", dlerror());
    return 1;
  }
  (void)argc;
  (void)argv;
  dlclose(h);
  return 0;
}
