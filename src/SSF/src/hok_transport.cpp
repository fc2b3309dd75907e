// One exchange with the directory over the shared network layer (connect
// and exchange deadline, verified TLS for https, read until the peer closes,
// the status line): POST the SOAP body, undo the chunked and gzip/deflate
// codings an HTTP/1.1 answer may carry, and cut the texts between two tags
// out of the answer.
#include <openssl/err.h>

#include <cstring>
#include <string>

#include "hok_client.h"
#include "http_coding.h"
#include "log.h"
#include "net_conn.h"
#include "ossl_ptr.h"
#include "settings.h"

namespace {

// A text for the trace with the directory password masked wherever the
// password element stands (in the request, and in an answer that echoes
// it). The element is masked whole: the password goes in as it stands, so
// it may itself hold "</password>"; and its bare text is left alone
// elsewhere, since masking a short password in the fixed text of the
// request would show what it is.
std::string masked(const std::string& text) {
  std::string shown(text);
  if (hok_password == nullptr || *hok_password == '\0') return shown;
  const std::string element = std::string("<password>") + hok_password + "</password>";
  constexpr char kMasked[] = "<password>********</password>";
  for (size_t at = shown.find(element); at != std::string::npos;
       at = shown.find(element, at + strlen(kMasked)))
    shown.replace(at, element.size(), kMasked);
  return shown;
}

// The texts between begin and end tags, each with a NUL, and a closing
// NUL; empty when there is none.
std::string cut_run(const char* func, const char* response, const char* begin_tag,
                    const char* end_tag) {
  std::string run;
  const size_t begin_len = strlen(begin_tag);
  const char* p = strstr(response, begin_tag);
  if (p == nullptr) {
    log_err("%s() 6 : tag '%s' not found in response '%s'", func, begin_tag,
            masked(response).c_str());
    return run;
  }
  while (p != nullptr) {
    const char* start = p + begin_len;
    const char* stop = strstr(start, end_tag);
    if (stop == nullptr) {
      log_err("%s() 7 : tag '%s' not found in response '%s'", func, end_tag,
              masked(response).c_str());
      break;
    }
    run.append(start, size_t(stop - start));
    run.push_back('\0');
    p = strstr(stop + strlen(end_tag), begin_tag);
  }
  return run;
}

char* toolkit_copy(const char* data, size_t len) {
  auto* out = static_cast<char*>(OPENSSL_malloc(len + 1));
  if (out == nullptr) return nullptr;
  memcpy(out, data, len);
  out[len] = '\0';
  return out;
}

}  // namespace

char* send_and_recv_hok_resp(BIO* bio, const char* host, const char* port, const char* path,
                             const char* body) {
  if (bio == nullptr || host == nullptr || port == nullptr || path == nullptr || body == nullptr)
    return nullptr;
  const std::string header = std::string("POST ") + path +
                             " HTTP/1.1\r\nAccept-Encoding: gzip,deflate\r\nContent-Type: "
                             "text/xml;charset=UTF-8\r\nSOAPAction: \"\"\r\nContent-Length: " +
                             std::to_string(strlen(body)) + "\r\nHost: " + host + ":" + port +
                             "\r\nConnection: close\r\n\r\n";
  dbg("-----BEGIN XOK REQUEST-----");
  dbg("%s", header.c_str());
  dbg("%s", masked(body).c_str());
  dbg("-----END XOK REQUEST-----");
  std::string request = header + body;
  const bool sent = orvel::net::write_all(bio, request.data(), request.size());
  OPENSSL_cleanse(request.data(), request.size());
  if (!sent) return nullptr;
  std::string answer;
  dbg("-----BEGIN HOK RESPONSE-----");
  if (!orvel::net::read_all(bio, &answer)) {
    dbg("-----END HOK RESPONSE ERROR-----");
    return nullptr;
  }
  dbg("%s", masked(answer).c_str());
  dbg("-----END HOK RESPONSE-----");
  const unsigned char* content = nullptr;
  size_t length = 0;
  std::string_view headers;
  if (!orvel::net::http_answer_body(answer, &content, &length, &headers)) return nullptr;
  std::string decoded;
  if (!orvel::net::http_decode_body(
          headers, std::string_view(reinterpret_cast<const char*>(content), length), &decoded))
    return nullptr;
  return toolkit_copy(decoded.data(), decoded.size());
}

char* get_hok_resp(const char* url, const char* body, const char* begin_tag, const char* end_tag) {
  static const char kFunc[] = "get_hok_resp";
  if (url == nullptr || body == nullptr || begin_tag == nullptr || end_tag == nullptr) {
    log_err("%s() 1 : url or req or begin_tag or end_tag is NULL", kFunc);
    return nullptr;
  }
  orvel::net::Url u;
  // The toolkit's parser takes an empty text for a URL with an empty host.
  if (!orvel::net::split_url(url, &u) || u.host.empty()) {
    log_err("%s() 2 : OCSP_parse_url( '%s' ) failed", kFunc, url_for_log(url).c_str());
    print_brekssl_errors();
    return nullptr;
  }
  orvel::net::Connection conn;
  const orvel::net::ConnectResult r = conn.open(u.host, u.port, u.tls);
  if (r == orvel::net::kConnectSetupFailed) {
    log_err("%s() 3 : BIO_new_connect( '%s' ) failed", kFunc, u.host.c_str());
    print_brekssl_errors();
    return nullptr;
  }
  if (r != orvel::net::kConnected) {
    log_err("%s() 4 : BIO_do_connect( host = '%s', port = '%s' ) failed", kFunc, u.host.c_str(),
            u.port.c_str());
    print_brekssl_errors();
    return nullptr;
  }
  orvel::CharsPtr response(
      send_and_recv_hok_resp(conn.bio(), u.host.c_str(), u.port.c_str(), u.path.c_str(), body));
  if (!response) {
    log_err("%s() 5 : send_and_recv_hok_resp( '%s' ) failed", kFunc, url_for_log(url).c_str());
    print_brekssl_errors();
    return nullptr;
  }
  const std::string run = cut_run(kFunc, response.get(), begin_tag, end_tag);
  if (run.empty()) return nullptr;
  char* out = toolkit_copy(run.data(), run.size());
  if (out == nullptr)
    log_err("%s() 8 : OPENSSL_realloc( %d ) failed", kFunc, static_cast<int>(run.size() + 1));
  return out;
}
