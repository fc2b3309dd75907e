// Base64 encoding and decoding through the toolkit's Base64 filter.
#ifndef ORVEL_SSF_BASE64_H
#define ORVEL_SSF_BASE64_H

#include "operations.h"

// mode 1 encodes, 0 decodes. Without no_line_feeds the encoder ends every
// 64 characters and the end with a line feed, and the decoder reads such
// lines. The output is a new buffer from the toolkit's allocator. Returns 0,
// 4 (no output bytes, or no memory) or -1 (the filter cannot be made).
int base64_enc_dec(int mode, SsfDataBlob* output, const SsfDataBlob* input, int no_line_feeds);

#endif
