// The property texts of SsfQueryProperties (ssf_query_properties, declared
// in operations.h).
#ifndef ORVEL_SSF_PROPERTIES_H
#define ORVEL_SSF_PROPERTIES_H

// The value of a property by its exact name, or null.
const char* find_ssf_property(const char* name, int name_len);

#endif
