#include "crl_download.h"

#include <curl/curl.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <strings.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "log.h"
#include "ossl_ptr.h"

namespace {

size_t g_max_bytes = 0;

size_t max_bytes() { return g_max_bytes != 0 ? g_max_bytes : kCrlMaxBytes; }

struct Download {
  char* data = nullptr;
  size_t size = 0;
};

// Appends one piece and keeps a NUL behind the data. Returning less than
// the piece's size makes libcurl end the transfer with an error.
size_t WriteMemoryCallback(void* contents, size_t size, size_t nmemb, void* userp) {
  auto* d = static_cast<Download*>(userp);
  if (nmemb != 0 && size > (SIZE_MAX - 1 - d->size) / nmemb) return 0;
  size_t n = size * nmemb;
  if (n > max_bytes() - d->size) {
    log_err("%s() : CRL larger than %zu bytes, download cancelled", "WriteMemoryCallback",
            max_bytes());
    return 0;
  }
  size_t new_size = d->size + n + 1;
  auto* p = static_cast<char*>(realloc(d->data, new_size));
  if (p == nullptr) {
    log_err("%s() : myrealloc( new size = %d ) failed", "WriteMemoryCallback",
            static_cast<int>(new_size));
    return 0;
  }
  d->data = p;
  memcpy(d->data + d->size, contents, n);
  d->size += n;
  d->data[d->size] = '\0';
  return n;
}

// Runs one transfer on a new easy handle; the code of the failing step, or
// CURLE_OK.
int fetch(const char* url, Download* d) {
  static const char kFunc[] = "InstallCRLFromServer";
  CURL* curl = curl_easy_init();
  if (curl == nullptr) {
    log_err("%s() 5 : curl_easy_init() failed", kFunc);
    return -1;
  }
  int rc = CURLE_OK;
  struct Opt {
    int step;
    CURLcode code;
  };
  const Opt opts[] = {
      {6, curl_easy_setopt(curl, CURLOPT_URL, url)},
      {7, curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteMemoryCallback)},
      {8, curl_easy_setopt(curl, CURLOPT_WRITEDATA, static_cast<void*>(d))},
      {9, curl_easy_setopt(curl, CURLOPT_USERAGENT, "libcurl-agent/1.0")},
      {9, curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kCrlConnectTimeoutSeconds)},
      {9, curl_easy_setopt(curl, CURLOPT_TIMEOUT, kCrlTransferTimeoutSeconds)},
      // An HTTP error page is not a CRL.
      {9, curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L)},
  };
  for (const Opt& o : opts) {
    if (o.code != CURLE_OK) {
      log_err("%s() %d : curl_easy_setopt() failed, code = %d", kFunc, o.step, o.code);
      rc = o.code;
      break;
    }
  }
  if (rc == CURLE_OK) {
    CURLcode res = curl_easy_perform(curl);
    if (res != CURLE_OK) {
      log_err("%s() 10 : curl_easy_perform() failed, code = %d", kFunc, res);
      rc = res;
    }
  }
  curl_easy_cleanup(curl);
  return rc;
}

// libcurl prints an LDAP attribute as "\t<name>: <text>" or, for binary
// values, "\t<name>:: <base64>"; the CRL attribute may carry ";binary".
// Returns the offset of the value, or -1.
long find_ldap_crl_value(const char* data, size_t size) {
  static const char* const kMarkers[] = {"List: ", "List:: ", "List;binary: ", "List;binary:: "};
  std::string_view text(data, size);
  size_t best = std::string_view::npos;
  size_t best_len = 0;
  for (const char* m : kMarkers) {
    size_t pos = text.find(m);
    if (pos != std::string_view::npos && (best == std::string_view::npos || pos < best)) {
      best = pos;
      best_len = strlen(m);
    }
  }
  if (best == std::string_view::npos) return -1;
  return static_cast<long>(best + best_len);
}

bool is_ldap_url(const char* url) { return strncasecmp(url, "ldap", 4) == 0; }

X509_CRL* parse_der(const char* data, int length) {
  orvel::BioPtr bio(BIO_new_mem_buf(data, length));
  X509_CRL* crl = bio ? d2i_X509_CRL_bio(bio.get(), nullptr) : nullptr;
  if (crl == nullptr) {
    log_err("%s() : d2i_X509_CRL_bio() failed", "download_crl");
    print_brekssl_errors();
  }
  return crl;
}

X509_CRL* parse_base64(const char* data, int length) {
  std::string pem = "-----BEGIN X509 CRL-----\n";
  pem.append(data, static_cast<size_t>(length));
  // Without a line feed the END line would be glued to the last Base64 line.
  if (pem.back() != '\n') pem.push_back('\n');
  pem += "-----END X509 CRL-----";
  orvel::BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  X509_CRL* crl = bio ? PEM_read_bio_X509_CRL(bio.get(), nullptr, nullptr, nullptr) : nullptr;
  if (crl == nullptr) {
    log_err("%s() : PEM_read_bio_X509_CRL() failed", "download_crl");
    print_brekssl_errors();
  }
  return crl;
}

X509_CRL* parse_crl(const char* data, int length) {
  static const char kFunc[] = "download_crl";
  if (length <= 0) {
    log_err("%s() : empty CRL data", kFunc);
    return nullptr;
  }
  unsigned char first = static_cast<unsigned char>(data[0]);
  if (first == '0') {
    log_write("%s() : crl is DER-encoded", kFunc);
    return parse_der(data, length);
  }
  if (first == 'M') {
    log_write("%s() : crl is Base64-encoded", kFunc);
    return parse_base64(data, length);
  }
  log_err("%s() : unknown format: data[ 0 ] = 0x%02x (%c)", kFunc, first,
          isprint(first) ? first : '?');
  return nullptr;
}

}  // namespace

void set_crl_max_bytes_for_tests(size_t max_bytes_value) { g_max_bytes = max_bytes_value; }

void mfree(void* p) {
  if (p != nullptr) free(p);
}

int InstallCRLFromServer(const char* url, char** data, int* length) {
  static const char kFunc[] = "InstallCRLFromServer";
  if (url == nullptr || data == nullptr || length == nullptr) return -1;
  *data = nullptr;
  *length = 0;
  log_write("%s() : '%s'", kFunc, url_for_log(url).c_str());

  CURLcode init = curl_global_init(CURL_GLOBAL_WIN32);
  if (init != CURLE_OK) {
    log_err("%s() 4 : curl_global_init() failed, code = %d", kFunc, init);
    return init;
  }
  Download d;
  int rc = fetch(url, &d);
  if (rc == CURLE_OK) {
    const char* body = d.data ? d.data : "";
    size_t size = d.size;
    if (is_ldap_url(url)) {
      long off = find_ldap_crl_value(body, size);
      if (off < 0) {
        log_err("%s() 11 : couldn't parse server response", kFunc);
        rc = -1;
      } else {
        body += off;
        size -= static_cast<size_t>(off);
        // The value line and the entry end in line feeds.
        while (size > 0 && isspace(static_cast<unsigned char>(body[size - 1]))) --size;
        log_write("%s(): crl_length = %d", kFunc, static_cast<int>(size));
      }
    }
    if (rc == CURLE_OK && size > INT32_MAX - 1) rc = -1;
    if (rc == CURLE_OK) {
      auto* out = static_cast<char*>(malloc(size + 1));
      if (out == nullptr) {
        rc = -1;
      } else {
        memcpy(out, body, size);
        out[size] = '\0';
        *data = out;
        *length = static_cast<int>(size);
      }
    }
  }
  free(d.data);
  curl_global_cleanup();
  return rc;
}

X509_CRL* download_crl(const char* url) {
  char* data = nullptr;
  int length = 0;
  if (InstallCRLFromServer(url, &data, &length) != 0) {
    log_err("InstallCRLFromServer() failed:");
    return nullptr;
  }
  X509_CRL* crl = parse_crl(data, length);
  free(data);
  if (crl == nullptr) log_err("%s() : failed to parse CRL", "download_crl");
  return crl;
}

X509_CRL* download_crl_from_list(const list_head* url_list, const list_head* proto_list,
                                 const char** url_out) {
  static const char kFunc[] = "download_crl_from_list";
  for (list_node* p = list_first_it(proto_list); p != nullptr; p = list_next_it(p)) {
    const auto* proto = static_cast<const char*>(list_get_element(p));
    if (proto == nullptr) continue;
    size_t plen = strlen(proto);
    for (list_node* u = list_first_it(url_list); u != nullptr; u = list_next_it(u)) {
      const auto* url = static_cast<const char*>(list_get_element(u));
      if (url == nullptr || strncasecmp(url, proto, plen) != 0 ||
          strncmp(url + plen, "://", 3) != 0)
        continue;
      log_write("%s() : downloading CRL from %s ...", kFunc, url_for_log(url).c_str());
      if (X509_CRL* crl = download_crl(url)) {
        log_write("%s() : OK", kFunc);
        if (url_out != nullptr) *url_out = url;
        return crl;
      }
      log_err("%s() : can't download CRL from %s", kFunc, url_for_log(url).c_str());
    }
  }
  return nullptr;
}
