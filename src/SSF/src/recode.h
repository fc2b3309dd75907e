// Character-set conversion through iconv, for certificate names shown to
// the host in its own character set.
#ifndef ORVEL_SSF_RECODE_H
#define ORVEL_SSF_RECODE_H

#include <iconv.h>

#include <cstddef>

// The largest converted text recode() produces.
constexpr size_t kRecodeMaxOutput = 10240;

// Thin wrappers of iconv: opened with the target first, the source second.
iconv_t brekiconv_open(const char* to_charset, const char* from_charset);
size_t brekiconv(iconv_t cd, char** in, size_t* in_left, char** out, size_t* out_left);
int brekiconv_close(iconv_t cd);

// Converts length bytes of text from one character set into another. The
// converted text may take at most three times the input length and at most
// kRecodeMaxOutput bytes. When output is given it receives the text and a
// NUL; output_size is its capacity, and a text that does not fit it fails
// with -5. Returns the converted length, or -1 (null text or length < 1),
// -2/-3 (no memory), -4 (converter cannot be opened), -5 (conversion
// failed), -6 (closing the converter failed).
int recode(const char* from_charset, const char* to_charset, const char* text, int length,
           char* output, size_t output_size);

// One hexadecimal digit (either case) as a number; -1 for another character.
int xdigit_to_num(char c);

// A copy of the text in which every "\UXXXX" (the toolkit's form of a
// character above 0xFF) is replaced by that UCS-2 character in the given
// character set. New buffer from the toolkit's allocator.
char* from_unicode(const char* text, int length, const char* charset);

// The character set of Russian text inside the library.
const char* gost_get_rus_symbols_charset();

#endif
