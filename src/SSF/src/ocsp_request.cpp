// One OCSP exchange: the request text, the connection (direct or through
// the proxy, TLS for https) and the decoded answer.
#include <openssl/err.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "codes.h"
#include "log.h"
#include "ocsp_client.h"
#include "ocsp_http.h"
#include "ossl_ptr.h"
#include "settings.h"

namespace {

// Shared by every request; the next request overwrites (and the sender
// wipes) it.
char g_base64[10240];

void* d2i_ocsp_response(const unsigned char** in, long len) {
  return d2i_OCSP_RESPONSE(nullptr, in, len);
}

}  // namespace

const char* encode_into_base64(const char* text) {
  if (text == nullptr) return nullptr;
  orvel::BioPtr mem(BIO_new(BIO_s_mem()));
  BIO* b64 = BIO_new(BIO_f_base64());
  if (!mem || b64 == nullptr) {
    BIO_free(b64);
    return nullptr;
  }
  // One line however long the credentials are: a header cannot be folded.
  BIO_set_flags(b64, BIO_FLAGS_BASE64_NO_NL);
  BIO* chain = BIO_push(b64, mem.release());
  orvel::BioPtr owner(chain);
  const int len = static_cast<int>(strlen(text));
  if ((len > 0 && BIO_write(chain, text, len) != len) || BIO_flush(chain) != 1) return nullptr;
  char* data = nullptr;
  const long n = BIO_get_mem_data(BIO_next(chain), &data);
  if (n < 0 || static_cast<size_t>(n) >= sizeof g_base64) {
    if (n > 0) OPENSSL_cleanse(data, static_cast<size_t>(n));
    return nullptr;
  }
  size_t out = static_cast<size_t>(n);
  while (out > 0 && (data[out - 1] == '\n' || data[out - 1] == '\r')) --out;
  if (out > 0) memcpy(g_base64, data, out);
  g_base64[out] = '\0';
  if (n > 0) OPENSSL_cleanse(data, static_cast<size_t>(n));
  return g_base64;
}

OCSP_RESPONSE* my_OCSP_sendreq_bio(const char* proxy_credentials, BIO* conn, const char* host,
                                   const char* path, OCSP_REQUEST* req) {
  if (conn == nullptr || host == nullptr || path == nullptr || req == nullptr) return nullptr;
  unsigned char* der = nullptr;
  const int der_len = i2d_OCSP_REQUEST(req, &der);
  if (der_len <= 0) return nullptr;
  orvel::BytesPtr der_owner(der);
  std::string head;
  if (proxy_credentials != nullptr) {
    const char* b64 = encode_into_base64(proxy_credentials);
    if (b64 == nullptr) return nullptr;
    static const char kForm[] =
        "POST %s HTTP/1.0\r\nContent-type: application/ocsp-request\r\nHost: %s\r\n"
        "Content-Length: %d\r\nProxy-Authorization: Basic %s\r\n\r\n";
    const int n = snprintf(nullptr, 0, kForm, path, host, der_len, b64);
    head.resize(static_cast<size_t>(n) + 1);
    snprintf(&head[0], head.size(), kForm, path, host, der_len, b64);
    OPENSSL_cleanse(g_base64, sizeof g_base64);
  } else {
    static const char kForm[] =
        "POST %s HTTP/1.0\r\nContent-Type: application/ocsp-request\r\nHost: %s\r\n"
        "Content-Length: %d\r\n\r\n";
    const int n = snprintf(nullptr, 0, kForm, path, host, der_len);
    head.resize(static_cast<size_t>(n) + 1);
    snprintf(&head[0], head.size(), kForm, path, host, der_len);
  }
  head.pop_back();  // the NUL snprintf needed room for
  void* resp = orvel::ocsp::post_and_decode(conn, head, der, der_len, d2i_ocsp_response);
  OPENSSL_cleanse(&head[0], head.size());
  return static_cast<OCSP_RESPONSE*>(resp);
}

int get_OCSP_response(OCSP_REQUEST* req, const char* url, OCSP_RESPONSE** resp) {
  static const char kFunc[] = "get_OCSP_response";
  if (resp == nullptr) return SSF_API_CRYPTO_FAILED;
  *resp = nullptr;
  orvel::ocsp::Route route;
  if (!orvel::ocsp::make_route(url, &route)) {
    log_err("%s() 1 : OCSP_parse_url( '%s' ) failed", kFunc, url ? url : "");
    print_brekssl_errors();
    return SSF_RC_OCSP_URL_INVALID;
  }
  if (proxy_host != nullptr && *proxy_host != '\0') log_write("%s() : using proxy '%s'", kFunc, proxy_host);
  orvel::net::Connection conn;
  const orvel::net::ConnectResult r = orvel::ocsp::connect_route(route, &conn);
  if (r == orvel::net::kConnectSetupFailed) {
    log_err("%s() 3 : connection set-up for '%s' failed", kFunc, url);
    print_brekssl_errors();
    orvel::ocsp::clear_route(&route);
    return -1;
  }
  if (r != orvel::net::kConnected) {
    log_err("%s() 4 : BIO_do_connect( host = '%s', port = '%s' ) failed", kFunc,
            route.connect_host.c_str(), route.connect_port.c_str());
    print_brekssl_errors();
    orvel::ocsp::clear_route(&route);
    return SSF_RC_OCSP_UNREACHABLE;
  }
  *resp = my_OCSP_sendreq_bio(route.credentials.empty() ? nullptr : route.credentials.c_str(),
                              conn.bio(), route.url.host.c_str(), route.target.c_str(), req);
  orvel::ocsp::clear_route(&route);
  if (*resp == nullptr) {
    log_err("%s() 8 : my_OCSP_sendreq_bio( '%s' ) failed", kFunc, url);
    print_brekssl_errors();
    return SSF_RC_OCSP_BAD_RESPONSE;
  }
  return 0;
}
