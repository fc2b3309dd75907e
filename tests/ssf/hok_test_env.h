// The hok client inside the test process: a configuration whose [hok]
// section names the given URLs, start-up run on it, and small readers of
// response runs and certificate forms.
#ifndef ORVEL_TESTS_HOK_TEST_ENV_H
#define ORVEL_TESTS_HOK_TEST_ENV_H

#include <openssl/pem.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "hok_client.h"
#include "ossl_ptr.h"
#include "settings.h"
#include "startup.h"
#include "test_util.h"

namespace orvel_test {

inline constexpr char kHokLogin[] = "hok-user";
inline constexpr char kHokPassword[] = "Hok-Secret-7";

// Starts the library in this process with hok:hok_urls set to urls (no
// [hok] key when urls is empty).
inline void start_with_hok(const TempDir& dir, const std::string& urls) {
  std::string cfg = "[common]\nlog_dir = " + dir.path() + "\ndebug_mode = yes\n";
  if (!urls.empty())
    cfg += "[hok]\nhok_urls = " + urls + "\nhok_login = " + kHokLogin +
           "\nhok_password = " + kHokPassword + "\n";
  write_file(dir.file("orvel-ssf-server.cfg"), cfg);
  setenv("DIR_LIBRARY", dir.path().c_str(), 1);
  init_lib();
  orvel::hok_reset_url_list();
}

// Points hok:hok_urls at other URLs after start-up.
inline void use_hok_urls(const std::string& urls) {
  free(hok_urls);
  hok_urls = strdup(urls.c_str());
  orvel::hok_reset_url_list();
}

// The texts of a response run.
inline std::vector<std::string> run_texts(const char* run) {
  std::vector<std::string> v;
  for (const char* p = run; p != nullptr && *p != '\0'; p += strlen(p) + 1) v.emplace_back(p);
  return v;
}

inline std::string pem_of(X509* cert) {
  orvel::BioPtr bio(BIO_new(BIO_s_mem()));
  PEM_write_bio_X509(bio.get(), cert);
  char* p = nullptr;
  const long n = BIO_get_mem_data(bio.get(), &p);
  return std::string(p, size_t(n));
}

// The Base64 lines of the PEM, without the PEM lines.
inline std::vector<std::string> base64_lines(X509* cert) {
  std::vector<std::string> lines;
  const std::string pem = pem_of(cert);
  size_t pos = 0;
  while (pos < pem.size()) {
    const size_t nl = pem.find('\n', pos);
    const std::string line = pem.substr(pos, nl - pos);
    if (line.rfind("-----", 0) != 0 && !line.empty()) lines.push_back(line);
    pos = nl == std::string::npos ? pem.size() : nl + 1;
  }
  return lines;
}

}  // namespace orvel_test

#endif
