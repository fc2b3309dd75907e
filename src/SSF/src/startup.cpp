#include "startup.h"

#include <openssl/conf.h>
#include <openssl/err.h>
#include <openssl/provider.h>
#include <openssl/ssl.h>
#include <sys/stat.h>
#include <syslog.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "cades_oids.h"
#include "config.h"
#include "list.h"
#include "log.h"
#include "objects/engine_loader.h"
#include "orvel_ssf.h"
#include "revision.h"
#include "settings.h"

namespace {

constexpr const char kFunc[] = "init_lib";
constexpr const char kAppName[] = "Orvel-SSF";
constexpr size_t kPathSize = 2048;

char g_config_file[kPathSize];

const char* on_off(int flag) { return flag ? "on" : "off"; }

bool is_yes(const char* value) { return value != nullptr && strcmp(value, "yes") == 0; }

void not_found(const char* step, const char* key) {
  log_write("%s() %s : '%s' parameter not found", kFunc, step, key);
}

// A private copy of a text setting (null when absent); an older copy, set
// by a host setter before start-up, is replaced.
char* take_text(char* old, const char* value) {
  free(old);
  return value ? strdup(value) : nullptr;
}

// Reads a flag: on only for exactly "yes".
int read_flag(const char* key, const char* step) {
  const char* v = qel_get_parameter(g_config_file, key);
  if (v == nullptr) not_found(step, key);
  return is_yes(v) ? 1 : 0;
}

void open_trace_log(const char* config_dir) {
  if (config_dir == nullptr) {
    set_log(get_default_log_file(), kAppName, 0);
    // Set but too long for the configuration-directory buffer: say so,
    // not that it is missing.
    if (getenv("DIR_LIBRARY") != nullptr) {
      log_err("'DIR_LIBRARY' is longer than %d characters", 1023);
      syslog(LOG_ERR, "'DIR_LIBRARY' is longer than %d characters", 1023);
    } else {
      log_err("'DIR_LIBRARY' environment variable not found");
      syslog(LOG_ERR, "'DIR_LIBRARY' environment variable not found");
    }
    return;
  }
  syslog(LOG_INFO, "'DIR_LIBRARY' = '%s'", config_dir);
  snprintf(g_config_file, sizeof g_config_file, "%s/%s", config_dir, kConfigFileName);
  struct stat st;
  if (stat(g_config_file, &st) != 0) {
    int err = errno;
    set_log(get_default_log_file(), kAppName, 0);
    log_err("stat( '%s' ) failed, errno = %d (%s)", g_config_file, err, strerror(err));
    syslog(LOG_ERR, "stat( '%s' ) failed, errno = %d (%s)", g_config_file, err, strerror(err));
    return;
  }
  syslog(LOG_INFO, "config file '%s' found", g_config_file);
  // A file that cannot be loaded (a line over 1023 characters, a binary or
  // unreadable file, no regular file) counts as absent, and every check then
  // is off: that is said on the system log and in the trace log.
  const bool loadable = qel_config_loadable(g_config_file);
  if (!loadable)
    syslog(LOG_ERR, "config file '%s' cannot be loaded: every key takes its default",
           g_config_file);
  const char* write_log = qel_get_parameter(g_config_file, "common:write_log");
  if (write_log != nullptr && !is_yes(write_log)) {
    syslog(LOG_WARNING, "logging is disabled");
    return;
  }
  char log_path[kPathSize];
  const char* log_dir = qel_get_parameter(g_config_file, "common:log_dir");
  snprintf(log_path, sizeof log_path, "%s/%s", log_dir ? log_dir : qel_get_default_log_dir(),
           kLogFileName);
  syslog(LOG_INFO, "log file '%s'", log_path);
  const int per_process = is_yes(qel_get_parameter(g_config_file, "common:server_mode")) ? 1 : 0;
  set_log(log_path, kAppName, per_process);
  if (!loadable)
    log_err("config file '%s' cannot be loaded: every key takes its default", g_config_file);
}

// The toolkit without its configuration file, with the built-in engines
// and the system's own.
void init_toolkit() {
  OPENSSL_init_crypto(OPENSSL_INIT_NO_LOAD_CONFIG | OPENSSL_INIT_ADD_ALL_CIPHERS |
                          OPENSSL_INIT_ADD_ALL_DIGESTS | OPENSSL_INIT_LOAD_CRYPTO_STRINGS,
                      nullptr);
  OPENSSL_init_ssl(OPENSSL_INIT_NO_LOAD_CONFIG | OPENSSL_INIT_LOAD_SSL_STRINGS, nullptr);
  OPENSSL_load_builtin_modules();
  ssf_load_builtin_engines();
  tzset();
}

// The "legacy" provider keeps older PKCS#12 files (RC2, 3DES) readable;
// loading it explicitly needs "default" loaded explicitly too.
OSSL_PROVIDER* g_providers[2] = {nullptr, nullptr};

// Registered after the toolkit's own clean-up, so it runs before it: the
// toolkit frees an explicitly loaded "legacy" provider only when it is
// unloaded first.
void unload_providers() {
  for (OSSL_PROVIDER*& p : g_providers) {
    if (p != nullptr) OSSL_PROVIDER_unload(p);
    p = nullptr;
  }
}

void load_providers() {
  static bool loaded = false;
  if (loaded) return;
  loaded = true;
  const char* names[2] = {"default", "legacy"};
  for (int i = 0; i < 2; ++i) {
    g_providers[i] = OSSL_PROVIDER_load(nullptr, names[i]);
    if (g_providers[i] == nullptr) {
      log_err("%s() : OSSL_PROVIDER_load( %s ) failed", kFunc, names[i]);
      print_brekssl_errors();
    }
  }
  atexit(unload_providers);
}

void read_cert_check_options() {
  const char* v = qel_get_parameter(g_config_file, "common:cert_check_options");
  if (v == nullptr) not_found("5", "common:cert_check_options");
  check_chain = v != nullptr && strstr(v, "check_chain") != nullptr ? 1 : 0;
  check_crl = v != nullptr && strstr(v, "check_crl") != nullptr ? 1 : 0;
  log_write("%s() 6 : Certificate check options :", kFunc);
  log_write("%s() : \tEnd certificate validity", kFunc);
  if (check_chain) log_write("%s() : \tCertificate chain validity", kFunc);
  if (check_crl) log_write("%s() : \tCRL validity", kFunc);
}

void read_crl_protocols() {
  const char* key = "common:crl_protocols";
  const char* v = qel_get_parameter(g_config_file, key);
  if (v == nullptr) {
    log_write("%s(): '%s' parameter not found", kFunc, key);
    return;
  }
  list_head* list = list_create();
  if (list == nullptr) return;
  ParseProtocols(list, v);
  proto_list = list;
  log_write("%s(): supported CRL protocols:", kFunc);
  int i = 1;
  for (list_node* n = list_first_it(list); n != nullptr; n = list_next_it(n), ++i)
    log_write("%s(): \t%d)\t'%s'", kFunc, i, static_cast<const char*>(list_get_element(n)));
}

// How a present text setting is reported: not at all, as "<name> is
// '<value>'", or so with the credentials of its URLs hidden.
enum class Report { kNone, kValue, kUrl };

// A text setting, reported when present as report says; when absent,
// "<name> is NOT USED" follows the not-found line if report_absent is set.
char* read_text(char* old, const char* key, const char* step, const char* name, Report report,
                bool report_absent) {
  const char* v = qel_get_parameter(g_config_file, key);
  char* value = take_text(old, v);
  if (value == nullptr) {
    not_found(step, key);
    if (report_absent) log_write("%s() : %s is NOT USED", kFunc, name);
  } else if (report != Report::kNone) {
    log_write("%s() : %s is '%s'", kFunc, name,
              report == Report::kUrl ? url_for_log(value).c_str() : value);
  }
  return value;
}

void read_proxy() {
  const char* key = "proxy:proxy_url";
  const char* v = qel_get_parameter(g_config_file, key);
  free(proxy_host);
  free(proxy_port);
  proxy_host = proxy_port = nullptr;
  if (v == nullptr) {
    not_found("25", key);
    log_write("%s() : proxy is NOT USED", kFunc);
    return;
  }
  split_proxy_url(v, &proxy_host, &proxy_port);
  log_write("%s() : '%s' is: host = '%s', port = '%s'", kFunc, key, proxy_host ? proxy_host : "",
            proxy_port ? proxy_port : "");
}

// A decimal number as strtol reads it; a value beyond the int range takes
// the nearest int rather than wrapping.
int to_int(const char* v) {
  const long n = strtol(v, nullptr, 10);
  return static_cast<int>(std::clamp<long>(n, INT_MIN, INT_MAX));
}

// A number setting; the default when absent.
int read_number(const char* key, const char* step, int absent_value) {
  const char* v = qel_get_parameter(g_config_file, key);
  if (v == nullptr) {
    not_found(step, key);
    return absent_value;
  }
  return to_int(v);
}

void read_settings() {
  read_cert_check_options();
  CA_FILE = read_text(CA_FILE, "common:ca_file", "7", "CA file", Report::kNone, false);
  if (CA_FILE) log_write("%s() : CA file = '%s'", kFunc, CA_FILE);
  if (check_crl) read_crl_protocols();

  const char* v = qel_get_parameter(g_config_file, "cades:tsp_server");
  tsp_server = take_text(tsp_server, v);
  if (tsp_server == nullptr)
    log_write("%s() 9 : '%s' parameter not found, default TSP server will be used", kFunc,
              "cades:tsp_server");
  else
    log_write("%s() : TSP server: '%s'", kFunc, url_for_log(tsp_server).c_str());
  v = qel_get_parameter(g_config_file, "cades:tsp_server_2012");
  tsp_server_2012 = take_text(tsp_server_2012, v);
  if (tsp_server_2012 == nullptr)
    log_write("%s() 9.1 : '%s' parameter not found, default TSP server will be used", kFunc,
              "cades:tsp_server_2012");
  else
    log_write("%s() : TSP 2012 server: '%s'", kFunc, url_for_log(tsp_server_2012).c_str());
  v = qel_get_parameter(g_config_file, "cades:ocsp_server");
  ocsp_server = take_text(ocsp_server, v);
  if (ocsp_server == nullptr)
    log_write("%s() 10 : '%s' parameter not found, default OCSP server will be used", kFunc,
              "cades:ocsp_server");
  else
    log_write("%s() : OCSP server: '%s'", kFunc, url_for_log(ocsp_server).c_str());

  use_profile_timestamp = read_flag("common:use_profile_timestamp", "12");
  log_write("%s() : use_profile_timestamp is '%s'", kFunc, on_off(use_profile_timestamp));

  default_password = read_text(default_password, "common:default_password", "14",
                               "default_password", Report::kNone, false);
  log_write("%s() : default_password %s", kFunc, default_password ? "used" : "NOT used");
  log_write("%s() : local encoding is '%s'", kFunc, local_encoding);

  v = qel_get_parameter(g_config_file, "common:server_encoding");
  if (v == nullptr) {
    not_found("15", "common:server_encoding");
    server_encoding = local_encoding;
  } else {
    server_encoding = strdup(v);
    if (server_encoding == nullptr) server_encoding = local_encoding;
  }
  log_write("%s() : server_encoding is '%s'", kFunc, server_encoding);

  use_heapdump = read_flag("common:use_heapdump", "17");
  log_write("%s() : use_heapdump is '%s'", kFunc, on_off(use_heapdump));
  // Only the debug lines follow this flag: the toolkit has no debugging
  // allocator any more; memory is checked with sanitizers instead.
  debug_mode = read_flag("common:debug_mode", "18");
  log_write("%s() : debug_mode is '%s'", kFunc, on_off(debug_mode));

  default_verify_name = read_text(default_verify_name, "common:default_verify_name", "20",
                                  "default_verify_name", Report::kValue, true);

  max_tsp_ocsp_diff = read_number("cades:max_tsp_ocsp_diff", "21", 60);
  log_write("%s() : max_tsp_ocsp_diff = %d", kFunc, max_tsp_ocsp_diff);

  default_crl_url = read_text(default_crl_url, "cades:default_crl_url", "22", "default_crl_url",
                              Report::kUrl, true);
  default_crl_url_2012 = read_text(default_crl_url_2012, "cades:default_crl_url_2012", "22.1",
                                   "default_crl_url_2012", Report::kUrl, true);

  password_caching = read_flag("common:password_caching", "23");
  log_write("%s() : password_caching is '%s'", kFunc, on_off(password_caching));
  use_only_default_crl_url = read_flag("cades:use_only_default_crl_url", "24");
  log_write("%s() : use_only_default_crl_url is '%s'", kFunc, on_off(use_only_default_crl_url));

  read_proxy();
  proxy_login_pwd = read_text(proxy_login_pwd, "proxy:proxy_login_pwd", "26", "proxy_login_pwd",
                              Report::kNone, true);
  if (proxy_login_pwd) log_write("%s() : proxy_login_pwd is used", kFunc);

  disable_ocsp_issuer_check = read_flag("cades:disable_ocsp_issuer_check", "27");
  log_write("%s() : disable_ocsp_issuer_check is '%s'", kFunc, on_off(disable_ocsp_issuer_check));
  verify_use_signing_time = read_flag("common:verify_use_signing_time", "28");
  log_write("%s() : verify_use_signing_time is '%s'", kFunc, on_off(verify_use_signing_time));
  disable_cades_crl_using = read_flag("cades:disable_cades_crl_using", "29");
  log_write("%s() : disable_cades_crl_using is '%s'", kFunc, on_off(disable_cades_crl_using));

  hok_urls = read_text(hok_urls, "hok:hok_urls", "31", "hok_urls", Report::kUrl, false);
  hok_login = read_text(hok_login, "hok:hok_login", "32", "hok_login", Report::kValue, false);
  // The password itself never reaches the trace log.
  hok_password =
      read_text(hok_password, "hok:hok_password", "33", "hok_password", Report::kNone, false);
  if (hok_password) log_write("%s() : hok_password is set", kFunc);

  v = qel_get_parameter(g_config_file, "common:verify_use_sha1_id");
  if (v == nullptr) {
    not_found("34", "common:verify_use_sha1_id");
    verify_use_sha1_id = 0;
  } else {
    verify_use_sha1_id = is_yes(v) ? 1 : 0;
    log_write("%s() : verify_use_sha1_id is '%s'", kFunc, on_off(verify_use_sha1_id));
  }

  v = qel_get_parameter(g_config_file, "cades:max_ocsp_age");
  if (v == nullptr) {
    not_found("35", "cades:max_ocsp_age");
    max_ocsp_age = 0;
  } else {
    max_ocsp_age = to_int(v);
    log_write("%s() : max_ocsp_age = %d", kFunc, max_ocsp_age);
  }

  use_profile_password_encryption = read_flag("common:use_profile_password_encryption", "36");
  log_write("%s() : use_profile_password_encryption is '%s'", kFunc,
            on_off(use_profile_password_encryption));
}

}  // namespace

int init_lib() {
  if (library_is_inited) return 0;
  local_encoding = "UTF-8";

  g_config_file[0] = '\0';
  const char* config_dir = qel_get_config_dir();
  open_trace_log(config_dir);
  log_write("%s(): Revision info: '%s'", kFunc, get_ssf_svn_info());
  log_write("%s(): Version info: '%s'", kFunc, kSsfVersionBanner);

  log_write("config_dir = '%s'", config_dir ? config_dir : "<NULL>");
  log_write("config_file = '%s'", g_config_file);

  init_toolkit();

  log_write("%s(): BREKSSL revision info: '%s'", kFunc, get_brekssl_svn_info());
  log_write("%s(): libiconv revision info: '%s'", kFunc, get_libiconv_svn_info());

  const int registered = SSF_register_additional_OIDS();
  load_providers();
  if (registered != 0) {
    log_err("%s() 4.1 : SSF_register_additional_OIDS() failed", kFunc);
    return -1;
  }

  read_settings();

  library_is_inited = 1;
  return 0;
}

void set_tsp_server(const char* url) {
  // Start-up first, so that it does not later replace the host's value.
  init_lib();
  free(tsp_server);
  tsp_server = url ? strdup(url) : nullptr;
  log_write("%s() : tsp_server is now '%s'", __func__,
            tsp_server ? url_for_log(tsp_server).c_str() : "<NULL>");
}

void set_ocsp_server(const char* url) {
  init_lib();
  free(ocsp_server);
  ocsp_server = url ? strdup(url) : nullptr;
  log_write("%s() : ocsp_server is now '%s'", __func__,
            ocsp_server ? url_for_log(ocsp_server).c_str() : "<NULL>");
}
