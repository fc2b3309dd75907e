// The HTTP exchange shared by the OCSP, time-stamp and directory clients:
// URL splitting, answers read to the close, status lines and headers, and
// the time-outs against a server that accepts and never answers.
#include <gtest/gtest.h>
#include <openssl/err.h>

#include <chrono>
#include <string>
#include <thread>

#include "net_conn.h"
#include "test_ocsp_tsa.h"

namespace {

using orvel::net::Connection;
using orvel::net::http_answer_body;

std::string body_of(const std::string& answer, bool* ok) {
  const unsigned char* body = nullptr;
  size_t len = 0;
  *ok = http_answer_body(answer, &body, &len);
  return *ok ? std::string(reinterpret_cast<const char*>(body), len) : std::string();
}

std::string last_error_data() {
  const char* data = nullptr;
  int flags = 0;
  unsigned long e = 0, last = 0;
  const char* last_data = "";
  while ((e = ERR_get_error_all(nullptr, nullptr, nullptr, &data, &flags)) != 0) {
    last = e;
    last_data = (flags & ERR_TXT_STRING) ? data : "";
  }
  return last != 0 ? std::string(last_data) : std::string();
}

TEST(NetConn, SplitsUrlsWithDefaultPorts) {
  orvel::net::Url u;
  ASSERT_TRUE(orvel::net::split_url("http://ocsp.example.org/path/x", &u));
  EXPECT_EQ(u.host, "ocsp.example.org");
  EXPECT_EQ(u.port, "80");
  EXPECT_EQ(u.path, "/path/x");
  EXPECT_FALSE(u.tls);
  ASSERT_TRUE(orvel::net::split_url("https://tsa.example.org", &u));
  EXPECT_EQ(u.port, "443");
  EXPECT_EQ(u.path, "/");
  EXPECT_TRUE(u.tls);
  ASSERT_TRUE(orvel::net::split_url("http://127.0.0.1:8080/a", &u));
  EXPECT_EQ(u.port, "8080");
  EXPECT_FALSE(orvel::net::split_url("ftp://x/", &u));
  EXPECT_FALSE(orvel::net::split_url("http://host:port/", &u));
  EXPECT_FALSE(orvel::net::split_url("http://[::1/", &u));
  EXPECT_FALSE(orvel::net::split_url(nullptr, &u));
}

TEST(NetConn, StatusLineHeadersAndBody) {
  bool ok = false;
  EXPECT_EQ(body_of("HTTP/1.0 200 OK\r\nA: b\r\n\r\nBODY\r\n", &ok), "BODY\r\n");
  EXPECT_TRUE(ok);
  // A header terminator of white space only, and bare line feeds.
  EXPECT_EQ(body_of("HTTP/1.1 200 OK\nX: y\n \t\r\nxyz", &ok), "xyz");
  EXPECT_TRUE(ok);
  EXPECT_EQ(body_of("HTTP/1.0 200\r\n\r\n", &ok), "");
  EXPECT_TRUE(ok);

  ERR_clear_error();
  body_of("HTTP/1.0 404 Not Found  \r\n\r\n", &ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(last_error_data(), "Code=404,Reason=Not Found");

  for (const char* bad : {"", "HTTP/1.0\r\n\r\n", "HTTP/1.0 2OO OK\r\n\r\nx",
                          "HTTP/1.0 200 OK\r\nNo-End: of headers\r\n", "HTTP/1.0 200 OK"}) {
    body_of(bad, &ok);
    EXPECT_FALSE(ok) << bad;
  }
  // A status line beyond 511 characters is cut there; the rest of it is
  // skipped with the headers.
  std::string longline = "HTTP/1.0 200 " + std::string(600, 'R') + "\r\n\r\nB";
  EXPECT_EQ(body_of(longline, &ok), "B");
  EXPECT_TRUE(ok);
  ERR_clear_error();
}

TEST(NetConn, WritesRequestAndReadsAnswerToClose) {
  const std::string big(5000, 'z');
  orvel_test::RecordingHttpServer server(
      [&](const std::string&) { return orvel_test::http_ok("text/plain", big); });
  Connection c;
  ASSERT_EQ(c.open("127.0.0.1", std::to_string(server.port()), false), orvel::net::kConnected);
  const std::string req = "POST / HTTP/1.0\r\nContent-Length: 3\r\n\r\nabc";
  ASSERT_TRUE(c.write_all(req.data(), req.size()));
  std::string answer;
  ASSERT_TRUE(c.read_all(&answer));
  bool ok = false;
  EXPECT_EQ(body_of(answer, &ok), big);
  ASSERT_EQ(server.requests().size(), 1u);
  EXPECT_EQ(server.requests()[0], req);
}

// Writing to a service that has hung up fails; the SIGPIPE it raises must
// not end the process.
TEST(NetConn, WriteAfterThePeerHungUpFails) {
  orvel_test::RecordingHttpServer server(
      [](const std::string&) { return orvel_test::http_ok("text/plain", "bye"); });
  Connection c;
  ASSERT_EQ(c.open("127.0.0.1", std::to_string(server.port()), false), orvel::net::kConnected);
  const std::string req = "GET / HTTP/1.0\r\n\r\n";
  ASSERT_TRUE(c.write_all(req.data(), req.size()));
  std::string answer;
  ASSERT_TRUE(c.read_all(&answer));  // the service has closed its end
  const std::string more(64 * 1024, 'x');
  bool written = true;
  for (int i = 0; i < 50 && written; ++i) {
    written = c.write_all(more.data(), more.size());
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_FALSE(written);
  ERR_clear_error();
}

TEST(NetConn, RefusedPortFailsToConnect) {
  Connection c;
  EXPECT_EQ(c.open("127.0.0.1", std::to_string(orvel_test::free_port()), false),
            orvel::net::kConnectFailed);
  EXPECT_EQ(c.open("127.0.0.1", "notaport", false), orvel::net::kConnectFailed);
  ERR_clear_error();
}

TEST(NetConn, SilentServerTimesOut) {
  orvel::net::set_timeouts_for_tests(2000, 300);
  orvel_test::RecordingHttpServer server(
      [](const std::string&) { return orvel_test::RecordingHttpServer::silent(); });
  for (bool tls : {false, true}) {
    Connection c;
    const auto start = std::chrono::steady_clock::now();
    // Over TLS the handshake already waits for the silent server.
    const std::string req = "GET / HTTP/1.0\r\n\r\n";
    std::string answer;
    const bool ok =
        c.open("127.0.0.1", std::to_string(server.port()), tls) == orvel::net::kConnected &&
        c.write_all(req.data(), req.size()) && c.read_all(&answer);
    EXPECT_FALSE(ok) << tls;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  }
  orvel::net::set_timeouts_for_tests(0, 0);
  ERR_clear_error();
}

}  // namespace
