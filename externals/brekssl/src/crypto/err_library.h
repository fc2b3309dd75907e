// Error libraries of our own beside the toolkit's: each gets the next free
// library number once per process, with its texts.
#ifndef BREKSSL_ERR_LIBRARY_H
#define BREKSSL_ERR_LIBRARY_H

#include <openssl/err.h>

// Registers the table (its first entry names the library, the reasons
// follow with library 0, a null string ends it) under a new library number
// and returns the number. The toolkit keeps pointers into the table. Call it
// from one function-local static per table, which makes it once only even
// when the first callers run on several threads.
int brek_register_err_library(ERR_STRING_DATA* strings);

#endif
