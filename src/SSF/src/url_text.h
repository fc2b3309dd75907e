// The authority of a URL read as text (CRL scopes, the trace, the proxy
// setting): it runs from just after "//" to the first '/', '?' or '#', and
// its user information, when there is any, ends at its last '@'.
#ifndef ORVEL_SSF_URL_TEXT_H
#define ORVEL_SSF_URL_TEXT_H

#include <string_view>

namespace orvel {

// The end of the authority that begins at start.
size_t authority_end(std::string_view url, size_t start);

// The '@' that ends the user information of the authority [start, end), or
// npos when the authority has none.
size_t userinfo_end(std::string_view url, size_t start, size_t end);

}  // namespace orvel

#endif
