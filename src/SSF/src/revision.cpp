#include "revision.h"

#include <cstdio>

const char kSsfVersionBanner[] =
    "Orvel-SSF Server Linux Version 1.14.0.647; Used Russian cryptography standards: "
    "GOST R 34.11-2012, GOST R 34.10-2012, GOST R 34.11-94, GOST R 34.10-2001, GOST 28147-89";

namespace {
constexpr const char kRevisionFormat[] = "Revision number: %s Repository URL: %s";
}  // namespace

const char* get_ssf_svn_info() {
  static char text[1024];
  snprintf(text, sizeof text, kRevisionFormat, "647", "ssf/trunk");
  return text;
}

const char* get_brekssl_svn_info() {
  static char text[1024];
  snprintf(text, sizeof text, kRevisionFormat, "1278", "brekssl/branches/1.0.2h");
  return text;
}

const char* get_libiconv_svn_info() {
  return "Revision number: 30, Repository URL: libiconv_cmake/trunk";
}
