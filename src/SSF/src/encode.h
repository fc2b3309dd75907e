// Host data wrapping: data crosses the interface as a DER PKCS#7 data
// ContentInfo; signedData and envelopedData pass as they are.
// encode_data and decode_data are declared in operations.h.
#ifndef ORVEL_SSF_ENCODE_H
#define ORVEL_SSF_ENCODE_H

#include <cstddef>

#include "operations.h"

// A new toolkit buffer holding a copy of the bytes; false when no bytes or
// no memory.
bool copy_to_blob(SsfDataBlob* output, const unsigned char* data, size_t len);

#endif
