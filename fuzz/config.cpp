// The configuration file: the INI reader and the values start-up derives
// from its keys (certificate check options, CRL protocols, the proxy, the
// hok URLs, numbers, the server encoding). The input is written to a file
// of its own: the library's own configuration stays as it started.
#include "config.h"

#include <openssl/crypto.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_common.h"
#include "hok_client.h"
#include "list.h"
#include "recode.h"

using namespace orvel_fuzz;

namespace {

std::string g_file;

void free_malloced(void* p) { free(p); }
void free_toolkit(void* p) { OPENSSL_free(p); }

// The value of a key as start-up reads it (a copy: the reader's buffer is
// reused by the next look-up).
std::string value(const char* key, bool* found) {
  const char* v = qel_get_parameter(g_file.c_str(), key);
  *found = v != nullptr;
  return v != nullptr ? v : "";
}

}  // namespace

int LLVMFuzzerInitialize(int*, char***) {
  start();
  char tmpl[] = "/tmp/orvel-fuzz-cfg-XXXXXX";
  const int fd = mkstemp(tmpl);
  if (fd < 0) abort();
  close(fd);
  g_file = tmpl;
  atexit([] { unlink(g_file.c_str()); });
  return 0;
}

int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Run run;
  FILE* f = fopen(g_file.c_str(), "wb");
  if (f == nullptr) abort();
  if (size > 0 && fwrite(data, 1, size, f) != size) abort();
  fclose(f);
  bool found = false;
  value("common:cert_check_options", &found);
  value("cades:max_ocsp_age", &found);
  const std::string protocols = value("common:crl_protocols", &found);
  if (found) {
    list_head* list = list_create();
    ParseProtocols(list, protocols.c_str());
    list_destroy(list, free_malloced);
  }
  const std::string proxy = value("proxy:proxy_url", &found);
  if (found) {
    char *host = nullptr, *port = nullptr;
    split_proxy_url(proxy.c_str(), &host, &port);
    free(host);
    free(port);
  }
  const std::string urls = value("hok:hok_urls", &found);
  if (found) list_destroy(create_url_list(urls.c_str()), free_toolkit);
  const std::string encoding = value("common:server_encoding", &found);
  if (found) {
    static const char kText[] = "CN=Проверка, C=RU";
    char out[256];
    recode("UTF-8", encoding.c_str(), kText, static_cast<int>(strlen(kText)), out, sizeof out);
  }
  return 0;
}
