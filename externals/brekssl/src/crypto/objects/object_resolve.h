// Resolution of one row of the system's object table to a NID of this
// process: the toolkit's object where it already has the row, else a new one.
#ifndef ORVEL_OBJECT_RESOLVE_H
#define ORVEL_OBJECT_RESOLVE_H

#include "objects/ssf_objects.h"

// The row's NID, adding aliases or creating the object as needed; NID_undef
// (0) with the error queue set when the row conflicts with an object of the
// toolkit or cannot be added. Calling it again for a resolved row adds
// nothing.
int ssf_resolve_object_row(const SsfObjectRow& row);

#endif
