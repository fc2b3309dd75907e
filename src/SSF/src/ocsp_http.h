// The requests of the OCSP and time-stamp clients over the network layer:
// the connection to a service (directly, or through the configured HTTP
// proxy) and one POST exchange whose answer must be a 200 with a body.
#ifndef ORVEL_SSF_OCSP_HTTP_H
#define ORVEL_SSF_OCSP_HTTP_H

#include <string>

#include "net_conn.h"

namespace orvel::ocsp {

// How a request reaches its service.
struct Route {
  orvel::net::Url url;         // the service's URL, split
  std::string connect_host;    // the service, or the proxy
  std::string connect_port;
  bool tunnel = false;         // https through the proxy: CONNECT first
  std::string target;          // request target: the path, or the whole URL
                               // for plain HTTP through the proxy
  std::string credentials;     // proxy login and password for the request
                               // head (plain HTTP through the proxy only)
  std::string tunnel_auth;     // Base64 credentials for CONNECT
};

// Splits the URL and fills the route from the proxy settings; false when
// the URL does not parse.
bool make_route(const char* url, Route* route);

// Wipes the credentials of the route.
void clear_route(Route* route);

// Connects for the route.
orvel::net::ConnectResult connect_route(const Route& route, orvel::net::Connection* conn);

// Writes head and body, reads the answer and decodes its 200 body with d2i.
// Null on any failure, the reason in the toolkit's error queue.
void* post_and_decode(BIO* conn, const std::string& head, const unsigned char* der, int der_len,
                      void* (*d2i)(const unsigned char** in, long len));

}  // namespace orvel::ocsp

#endif
