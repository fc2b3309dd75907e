// Registration of the two CAdES attribute identifiers at start-up; their
// object numbers are kept in the globals of cades_oid_globals.h.
#ifndef ORVEL_SSF_CADES_OIDS_H
#define ORVEL_SSF_CADES_OIDS_H

#include "cades_oid_globals.h"

// Looks each identifier up by its OID and creates it when the toolkit lacks
// it: 0 on success, -1 on failure.
int SSF_register_additional_OIDS();

#endif
