#include "ocsp_http.h"

#include <openssl/crypto.h>
#include <openssl/err.h>

#include "log.h"
#include "net_err.h"
#include "ocsp_client.h"
#include "settings.h"

namespace orvel::ocsp {

namespace {

bool set(const char* s) { return s != nullptr && *s != '\0'; }

void wipe(std::string* s) {
  if (!s->empty()) OPENSSL_cleanse(&(*s)[0], s->size());
  s->clear();
}

}  // namespace

bool make_route(const char* url, Route* route) {
  if (!orvel::net::split_url(url, &route->url)) return false;
  const orvel::net::Url& u = route->url;
  route->tunnel = false;
  route->credentials.clear();
  route->tunnel_auth.clear();
  if (!set(proxy_host)) {
    route->connect_host = u.host;
    route->connect_port = u.port;
    route->target = u.path;
    return true;
  }
  route->connect_host = proxy_host;
  route->connect_port = set(proxy_port) ? proxy_port : u.port;
  if (u.tls) {
    // TLS runs with the service inside the tunnel; the request inside it is
    // an ordinary one.
    route->tunnel = true;
    route->target = u.path;
    if (set(proxy_login_pwd)) {
      const char* b64 = encode_into_base64(proxy_login_pwd);
      if (b64 != nullptr) route->tunnel_auth = b64;
    }
  } else {
    // A proxy needs the absolute URL to know where the request goes.
    route->target = url;
    if (set(proxy_login_pwd)) route->credentials = proxy_login_pwd;
  }
  return true;
}

void clear_route(Route* route) {
  wipe(&route->credentials);
  wipe(&route->tunnel_auth);
}

orvel::net::ConnectResult connect_route(const Route& route, orvel::net::Connection* conn) {
  if (!set(proxy_host)) return conn->open(route.connect_host, route.connect_port, route.url.tls);
  return conn->open_via_proxy(route.connect_host, route.connect_port, route.url.host,
                              route.url.port, route.url.tls, route.tunnel_auth);
}

void* post_and_decode(BIO* conn, const std::string& head, const unsigned char* der, int der_len,
                      void* (*d2i)(const unsigned char** in, long len)) {
  if (conn == nullptr || der == nullptr || der_len <= 0) return nullptr;
  std::string request = head;
  request.append(reinterpret_cast<const char*>(der), static_cast<size_t>(der_len));
  const bool sent = orvel::net::write_all(conn, request.data(), request.size());
  wipe(&request);
  if (!sent) return nullptr;
  std::string answer;
  if (!orvel::net::read_all(conn, &answer)) return nullptr;
  const unsigned char* body = nullptr;
  size_t length = 0;
  if (!orvel::net::http_answer_body(answer, &body, &length)) return nullptr;
  const unsigned char* p = body;
  void* decoded = d2i(&p, static_cast<long>(length));
  if (decoded == nullptr) NET_RAISE(orvel::net::kNetErrResponseParseError);
  return decoded;
}

}  // namespace orvel::ocsp
