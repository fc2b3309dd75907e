#include "url_text.h"

namespace orvel {

size_t authority_end(std::string_view url, size_t start) {
  const size_t end = url.find_first_of("/?#", start);
  return end == std::string_view::npos ? url.size() : end;
}

size_t userinfo_end(std::string_view url, size_t start, size_t end) {
  if (end <= start) return std::string_view::npos;
  const size_t at = url.rfind('@', end - 1);
  return at != std::string_view::npos && at >= start ? at : std::string_view::npos;
}

}  // namespace orvel
