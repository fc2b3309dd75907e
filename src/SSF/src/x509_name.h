// One-line texts of certificate names.
#ifndef ORVEL_SSF_X509_NAME_H
#define ORVEL_SSF_X509_NAME_H

#include <openssl/x509.h>

#include <cstddef>

// The toolkit's one-line form of a name: short attribute names, the most
// specific component first, components separated by ", ".
constexpr unsigned long kOneLineNameFlags = XN_FLAG_SEP_CPLUS_SPC | XN_FLAG_DN_REV;

// The subject text of a certificate, recoded from UTF-8 into
// server_encoding (the unrecoded text when recoding gives nothing). New
// buffer from the toolkit's allocator; null for a null certificate.
char* brek_x509_get_name_from_X509(X509* x509);

// Writes a name in one line, without recoding, with a NUL; a longer text is
// cut to size - 1 bytes. Returns the length written.
int print_X509_NAME(char* buffer, size_t size, const X509_NAME* name);

// The buffer size the callers of print_X509_NAME use.
constexpr size_t kNameBufSize = 1024;

#endif
