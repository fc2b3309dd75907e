#include "http_coding.h"

#include <openssl/crypto.h>
#include <strings.h>

#define ZLIB_CONST
#include <zlib.h>

#include <cctype>
#include <vector>

#include "log.h"
#include "net_conn.h"
#include "net_err.h"

namespace orvel::net {

namespace {

constexpr char kFunc[] = "http_decode_body";
constexpr size_t kMaxCodings = 4;

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && is_space(s.front())) s.remove_prefix(1);
  while (!s.empty() && is_space(s.back())) s.remove_suffix(1);
  return s;
}

// The codings the header lines with this name list, in the order in which
// they were applied; repeated header lines continue the list.
std::vector<std::string> codings(std::string_view headers, std::string_view name) {
  std::vector<std::string> out;
  while (!headers.empty()) {
    const size_t nl = headers.find('\n');
    const std::string_view line = headers.substr(0, nl);
    headers.remove_prefix(nl == std::string_view::npos ? headers.size() : nl + 1);
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string_view key = trim(line.substr(0, colon));
    if (key.size() != name.size() || strncasecmp(key.data(), name.data(), name.size()) != 0)
      continue;
    std::string_view list = line.substr(colon + 1);
    while (!list.empty()) {
      const size_t comma = list.find(',');
      std::string_view item = list.substr(0, comma);
      list.remove_prefix(comma == std::string_view::npos ? list.size() : comma + 1);
      item = trim(item.substr(0, item.find(';')));
      if (item.empty()) continue;
      std::string lower(item);
      for (char& c : lower) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
      out.push_back(lower);
    }
  }
  return out;
}

bool fail(const char* what) {
  log_err("%s() : %s", kFunc, what);
  NET_RAISE_DATA(kNetErrResponseParseError, "%s", what);
  return false;
}

// Chunks: a hexadecimal size (extensions after ';' ignored), a line end,
// that many bytes, a line end; a size of 0 ends them (trailers ignored).
bool dechunk(std::string_view in, std::string* out) {
  out->clear();
  for (;;) {
    const size_t nl = in.find('\n');
    if (nl == std::string_view::npos) return fail("chunked body ends inside a chunk size line");
    const std::string_view size_line = in.substr(0, nl);
    const std::string_view size_text = trim(size_line.substr(0, size_line.find(';')));
    in.remove_prefix(nl + 1);
    if (size_text.empty() || size_text.size() > 8) return fail("bad chunk size");
    size_t size = 0;
    for (char c : size_text) {
      const int digit = OPENSSL_hexchar2int(static_cast<unsigned char>(c));
      if (digit < 0) return fail("bad chunk size");
      size = size * 16 + static_cast<size_t>(digit);
    }
    if (size == 0) return true;
    if (size > in.size()) return fail("chunked body ends inside a chunk");
    out->append(in.data(), size);
    in.remove_prefix(size);
    if (!in.empty() && in.front() == '\r') in.remove_prefix(1);
    if (in.empty() || in.front() != '\n') return fail("chunk not followed by a line end");
    in.remove_prefix(1);
  }
}

// gzip (one member or several in a row), zlib or raw deflate data, decoded
// up to kNetMaxAnswerBytes.
bool inflate_body(std::string_view in, bool gzip, std::string* out) {
  int window_bits = 16 + MAX_WBITS;
  if (!gzip) {
    // "deflate" is the zlib format; some servers send bare deflate data.
    const bool zlib_header =
        in.size() >= 2 && (static_cast<unsigned char>(in[0]) & 0x0f) == 8 &&
        ((static_cast<unsigned char>(in[0]) << 8) | static_cast<unsigned char>(in[1])) % 31 == 0;
    window_bits = zlib_header ? MAX_WBITS : -MAX_WBITS;
  }
  z_stream zs{};
  if (inflateInit2(&zs, window_bits) != Z_OK) return fail("inflateInit2() failed");
  struct End {
    z_stream* z;
    ~End() { inflateEnd(z); }
  } end{&zs};
  zs.next_in = reinterpret_cast<const Bytef*>(in.data());
  zs.avail_in = static_cast<uInt>(in.size());
  out->clear();
  unsigned char buf[16384];
  for (;;) {
    zs.next_out = buf;
    zs.avail_out = sizeof buf;
    const int rc = inflate(&zs, Z_NO_FLUSH);
    const size_t got = sizeof buf - zs.avail_out;
    if (out->size() + got > kNetMaxAnswerBytes)
      return fail("decompressed answer exceeds the answer cap");
    out->append(reinterpret_cast<const char*>(buf), got);
    if (rc == Z_STREAM_END) {
      if (gzip && zs.avail_in > 0 && zs.next_in[0] == 0x1f) {
        if (inflateReset(&zs) != Z_OK) return fail("inflateReset() failed");
        continue;
      }
      return true;
    }
    if (rc != Z_OK)
      return fail(zs.avail_in == 0 ? "compressed answer is cut short"
                                   : "compressed answer does not decode");
  }
}

// Undoes one coding; false for one the request did not advertise.
bool undo(const std::string& coding, std::string* data) {
  if (coding == "identity") return true;
  std::string decoded;
  if (coding == "gzip" || coding == "x-gzip") {
    if (!inflate_body(*data, true, &decoded)) return false;
  } else if (coding == "deflate") {
    if (!inflate_body(*data, false, &decoded)) return false;
  } else {
    log_err("%s() : unsupported coding '%s'", kFunc, coding.c_str());
    NET_RAISE_DATA(kNetErrResponseParseError, "coding %s", coding.c_str());
    return false;
  }
  data->swap(decoded);
  return true;
}

}  // namespace

bool http_decode_body(std::string_view headers, std::string_view body, std::string* out) {
  std::vector<std::string> transfer = codings(headers, "Transfer-Encoding");
  const std::vector<std::string> content = codings(headers, "Content-Encoding");
  // A server applies one or two codings; a long list of them would only
  // make each stage inflate the last one's output again.
  if (transfer.size() + content.size() > kMaxCodings) {
    log_err("%s() : %d codings, at most %d are undone", kFunc,
            static_cast<int>(transfer.size() + content.size()), static_cast<int>(kMaxCodings));
    NET_RAISE_DATA(kNetErrResponseParseError, "%d codings",
                   static_cast<int>(transfer.size() + content.size()));
    return false;
  }
  if (!transfer.empty() && transfer.back() == "chunked") {
    transfer.pop_back();
    if (!dechunk(body, out)) return false;
  } else {
    out->assign(body.data(), body.size());
  }
  for (auto it = transfer.rbegin(); it != transfer.rend(); ++it)
    if (!undo(*it, out)) return false;
  for (auto it = content.rbegin(); it != content.rend(); ++it)
    if (!undo(*it, out)) return false;
  return true;
}

}  // namespace orvel::net
