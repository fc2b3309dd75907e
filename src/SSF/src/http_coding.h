// Undoing the codings of an HTTP/1.1 answer body: the chunked transfer
// coding and the gzip and deflate content codings that a request may
// advertise in its Accept-Encoding header.
#ifndef ORVEL_SSF_HTTP_CODING_H
#define ORVEL_SSF_HTTP_CODING_H

#include <string>
#include <string_view>

namespace orvel::net {

// The body as it was before the codings that the header lines (as
// http_answer_body hands them out) name in Transfer-Encoding and
// Content-Encoding were applied. The decoded body is at most
// kNetMaxAnswerBytes long, so a small compressed answer cannot grow without
// bound. false, with an ERROR line and "server response parse error" in the
// error queue, for an unknown coding, a broken chunk or compressed stream,
// or a body above the cap.
bool http_decode_body(std::string_view headers, std::string_view body, std::string* out);

}  // namespace orvel::net

#endif
