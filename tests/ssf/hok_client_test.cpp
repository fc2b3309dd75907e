// The hok directory client against a fake SOAP service on loopback: the
// exact requests, the answer forms (PEM, bare Base64, character
// references), HTTP failures, several URLs, and a service that never
// answers.
#include "hok_client.h"

#include <gtest/gtest.h>
#include <openssl/err.h>

#define ZLIB_CONST
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstring>

#include "hok_test_env.h"
#include "net_conn.h"
#include "settings.h"
#include "test_hok.h"
#include "test_pki.h"
#include "test_servers.h"

namespace orvel_test {
namespace {

constexpr char kSnils[] = "123-456-789 01";

std::string expected_head(const std::string& op) {
  return std::string(
             "<soapenv:Envelope xmlns:soapenv=\"http://schemas.xmlsoap.org/soap/envelope/\" "
             "xmlns:ws=\"http://ws.hok.orvel.ru/\">\n<soapenv:Header/"
             ">\n\t<soapenv:Body>\n\t\t<ws:") +
         op +
         ">\n\t\t\t<arg0>\n\t\t\t<login>hok-user</login>\n\t\t\t<password>Hok-Secret-7</"
         "password>\n";
}

std::string expected_tail(const std::string& op) {
  return "\t\t\t<offset>0</offset>\n\t\t\t<limit>10</limit>\n\t\t\t</arg0>\n\t\t</ws:" + op +
         ">\n\t</soapenv:Body>\n</soapenv:Envelope>";
}

std::string expected_request(const std::string& path, int port, const std::string& body) {
  return "POST " + path +
         " HTTP/1.1\r\nAccept-Encoding: gzip,deflate\r\nContent-Type: text/xml;charset=UTF-8\r\n"
         "SOAPAction: \"\"\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\nHost: 127.0.0.1:" + std::to_string(port) +
         "\r\nConnection: close\r\n\r\n" + body;
}

class HokClient : public ::testing::Test {
 protected:
  void start(const std::string& urls) { start_with_hok(dir_, urls); }
  std::string log() const { return read_file(dir_.file("orvel-ssf-server.log")); }
  // The certificate the service answers for a <pkcs> text, or null.
  orvel::X509Ptr fetch(const std::string& pkcs_text, int* rc) {
    hok_.set_ids_answer(FakeHok::ok(FakeHok::certificate_body(pkcs_text)));
    X509* c = nullptr;
    *rc = hok_get_cert_by_fingerprint("aa bb", &c);
    return orvel::X509Ptr(c);
  }

  TempDir dir_;
  FakeHok hok_;
};

TEST_F(HokClient, OwnerRequestIsSentAsSpecifiedAndBothFingerprintsCome) {
  start(hok_.url("/dir/ws"));
  hok_.set_owner_answer(FakeHok::ok(FakeHok::fingerprints_body({"fp-one", "fp-two"})));
  char* run = nullptr;
  ASSERT_EQ(hok_get_fingerprint_by_snils(kSnils, &run), 0);
  orvel::CharsPtr owner(run);
  EXPECT_EQ(run_texts(run), (std::vector<std::string>{"fp-one", "fp-two"}));
  const std::string body = expected_head("getCertsByOwner") +
                           "\t\t\t<snils>12345678901</snils>\n\t\t\t<states><state>1</state>"
                           "</states>\n" +
                           expected_tail("getCertsByOwner");
  ASSERT_EQ(hok_.requests().size(), 1u);
  EXPECT_EQ(hok_.requests()[0], expected_request("/dir/ws", hok_.port(), body));
  // The password goes to the service, never into the trace.
  EXPECT_EQ(log().find(kHokPassword), std::string::npos);
  EXPECT_NE(log().find("-----BEGIN XOK REQUEST-----"), std::string::npos);
  // Nor does a password that holds the closing tag, in any part of it, in
  // the request or in an answer that echoes it.
  free(hok_password);
  hok_password = strdup("pw</password>TAILSECRET");
  hok_.set_owner_answer(FakeHok::ok(FakeHok::fingerprints_body({"fp-one"}) +
                                    "<password>pw</password>TAILSECRET</password>"));
  char* again = nullptr;
  ASSERT_EQ(hok_get_fingerprint_by_snils(kSnils, &again), 0);
  orvel::CharsPtr again_owner(again);
  ASSERT_EQ(hok_.requests().size(), 2u);
  EXPECT_NE(hok_.requests()[1].find("<password>pw</password>TAILSECRET</password>"),
            std::string::npos);
  EXPECT_EQ(log().find("TAILSECRET"), std::string::npos);
  // A short password is masked in its element only: masking it in the
  // request's fixed text would show what it is.
  free(hok_password);
  hok_password = strdup("ws");
  char* third = nullptr;
  ASSERT_EQ(hok_get_fingerprint_by_snils(kSnils, &third), 0);
  orvel::CharsPtr third_owner(third);
  EXPECT_NE(log().find("<password>********</password>"), std::string::npos);
  EXPECT_EQ(log().find("xmlns:********"), std::string::npos);
}

TEST_F(HokClient, IdsRequestCarriesTheFingerprintEscaped) {
  start(hok_.url("/ids"));
  orvel::EvpPkeyPtr key = make_rsa_key(1024);
  orvel::X509Ptr cert = make_cert(key.get(), "Hok Cert", 11);
  hok_.set_ids_answer(FakeHok::ok(FakeHok::certificate_body(pem_of(cert.get()))));
  X509* got = nullptr;
  ASSERT_EQ(hok_get_cert_by_fingerprint("CN=A&B <x>", &got), 0);
  orvel::X509Ptr owner(got);
  EXPECT_EQ(X509_cmp(got, cert.get()), 0);
  const std::string body = expected_head("getCertsByIds") +
                           "\t\t\t<fingerprints>\n\t\t\t\t<fingerprint>CN=A&amp;B &lt;x&gt;"
                           "</fingerprint>\n\t\t\t</fingerprints>\n" +
                           expected_tail("getCertsByIds");
  ASSERT_EQ(hok_.requests().size(), 1u);
  EXPECT_EQ(hok_.requests()[0], expected_request("/ids", hok_.port(), body));
}

TEST_F(HokClient, CertificateFormsReadAsTheSameCertificate) {
  start(hok_.url());
  orvel::EvpPkeyPtr key = make_rsa_key(1024);
  orvel::X509Ptr cert = make_cert(key.get(), "Hok Forms", 12);
  const auto lines = base64_lines(cert.get());
  std::string one_line, with_refs, pem_with_refs = "-----BEGIN CERTIFICATE-----&#13;\n";
  for (const auto& l : lines) {
    one_line += l;
    with_refs += l + "&#13;\n";
    pem_with_refs += l + "&#xD;\n";
  }
  pem_with_refs += "-----END CERTIFICATE-----&#13;\n";
  for (const std::string& text : {pem_of(cert.get()), one_line, with_refs, pem_with_refs}) {
    int rc = -1;
    orvel::X509Ptr got = fetch(text, &rc);
    ASSERT_EQ(rc, 0) << text;
    EXPECT_EQ(X509_cmp(got.get(), cert.get()), 0) << text;
  }
  // A certificate already held is replaced (and freed).
  hok_.set_ids_answer(FakeHok::ok(FakeHok::certificate_body(one_line)));
  X509* held = X509_dup(cert.get());
  ASSERT_EQ(hok_get_cert_by_fingerprint("aa", &held), 0);
  orvel::X509Ptr owner(held);
  EXPECT_EQ(X509_cmp(held, cert.get()), 0);
}

TEST_F(HokClient, EveryFailureIs26) {
  start(hok_.url());
  const std::vector<std::string> answers = {
      "HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\n\r\n",
      "garbage",
      "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\n",  // ends inside the headers
      FakeHok::ok("<return>no element here</return>"),
      FakeHok::ok("<pkcs>MIIB unterminated"),
      FakeHok::ok(FakeHok::certificate_body("bm90IGEgY2VydGlmaWNhdGU=")),
      FakeHok::ok(FakeHok::certificate_body("&#13;&#")),
      "",
  };
  for (const auto& a : answers) {
    hok_.set_ids_answer(a);
    hok_.set_owner_answer(a);
    X509* c = nullptr;
    EXPECT_EQ(hok_get_cert_by_fingerprint("aa", &c), kHokNotFound) << a;
    EXPECT_EQ(c, nullptr);
    char* run = nullptr;
    if (a.find("<fingerprint>") == std::string::npos) {
      EXPECT_EQ(hok_get_fingerprint_by_snils(kSnils, &run), kHokNotFound) << a;
      EXPECT_EQ(run, nullptr);
    }
  }
  EXPECT_NE(log().find("get_hok_resp() 6 : tag '<pkcs>' not found in response"), std::string::npos);
  EXPECT_NE(log().find("get_hok_resp() 7 : tag '</pkcs>' not found in response"),
            std::string::npos);
  EXPECT_NE(log().find("hok_get_cert_by_fingerprint() 6 : PEM_read_bio_X509("), std::string::npos);
  // Null arguments.
  X509* c = nullptr;
  char* run = nullptr;
  EXPECT_EQ(hok_get_cert_by_fingerprint(nullptr, &c), kHokNotFound);
  EXPECT_EQ(hok_get_cert_by_fingerprint("aa", nullptr), kHokNotFound);
  EXPECT_EQ(hok_get_fingerprint_by_snils(nullptr, &run), kHokNotFound);
  EXPECT_EQ(hok_get_fingerprint_by_snils(kSnils, nullptr), kHokNotFound);
}

TEST_F(HokClient, NotConfiguredIs26) {
  start("");
  EXPECT_EQ(hok_is_specified(), 0);
  char* run = nullptr;
  EXPECT_EQ(hok_get_fingerprint_by_snils(kSnils, &run), kHokNotFound);
  EXPECT_NE(log().find("create_url_list() 1 : urls is NULL"), std::string::npos);
  EXPECT_NE(log().find("hok_get_fingerprint_by_snils() 2 : create_url_list() failed"),
            std::string::npos);
}

TEST_F(HokClient, LaterUrlsAnswerWhenEarlierOnesFail) {
  const int refused = free_port();
  start(hok_.url());
  hok_.set_owner_answer(FakeHok::ok(FakeHok::fingerprints_body({"from-second"})));
  for (const std::string& urls :
       {"http://127.0.0.1:" + std::to_string(refused) + "/x," + hok_.url(), "," + hok_.url(),
        "ftp://127.0.0.1/x," + hok_.url()}) {
    use_hok_urls(urls);
    EXPECT_EQ(hok_is_specified(), 1);
    char* run = nullptr;
    ASSERT_EQ(hok_get_fingerprint_by_snils(kSnils, &run), 0) << urls;
    orvel::CharsPtr owner(run);
    EXPECT_STREQ(run, "from-second");
  }
  EXPECT_NE(log().find("get_hok_resp() 4 : BIO_do_connect( host = '127.0.0.1', port = '" +
                       std::to_string(refused) + "' ) failed"),
            std::string::npos);
  EXPECT_NE(log().find("get_hok_resp() 2 : OCSP_parse_url( '' ) failed"), std::string::npos);
}

TEST_F(HokClient, ServiceThatNeverAnswersTimesOut) {
  SilentPort silent;
  start("http://127.0.0.1:" + std::to_string(silent.port()) + "/x," + hok_.url());
  orvel::net::set_timeouts_for_tests(1000, 1000);
  hok_.set_owner_answer(FakeHok::ok(FakeHok::fingerprints_body({"after-timeout"})));
  const auto t0 = std::chrono::steady_clock::now();
  char* run = nullptr;
  ASSERT_EQ(hok_get_fingerprint_by_snils(kSnils, &run), 0);
  orvel::CharsPtr owner(run);
  EXPECT_STREQ(run, "after-timeout");
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(10));
  orvel::net::set_timeouts_for_tests(0, 0);
}

TEST(HokUrlList, SplitsAtEveryCommaWithoutTrimming) {
  list_head* l = create_url_list(",a, b,,");
  ASSERT_NE(l, nullptr);
  std::vector<std::string> urls;
  for (list_node* it = list_first_it(l); it; it = list_next_it(it))
    urls.emplace_back(static_cast<const char*>(list_get_element(it)));
  EXPECT_EQ(urls, (std::vector<std::string>{"", "a", " b", "", ""}));
  list_destroy(l, [](void* p) { OPENSSL_free(p); });
  EXPECT_EQ(create_url_list(nullptr), nullptr);
}

// The status line and headers of an answer, read from a real connection.
class HokExchange : public ::testing::Test {
 protected:
  // The body send_and_recv_hok_resp gives for the answer (null as "<null>").
  std::string exchange(const std::string& answer) {
    hok_.set_owner_answer(answer);
    orvel::BioPtr bio(BIO_new_connect(("127.0.0.1:" + std::to_string(hok_.port())).c_str()));
    EXPECT_EQ(BIO_do_connect(bio.get()), 1);
    ERR_clear_error();
    orvel::CharsPtr body(send_and_recv_hok_resp(bio.get(), "example.org", "443", "/p", "<b/>"));
    return body ? std::string(body.get()) : "<null>";
  }
  // The reason text and data of the last error, "" when there is none.
  static std::string last_error() {
    const char* data = nullptr;
    int flags = 0;
    const unsigned long e = ERR_peek_last_error_all(nullptr, nullptr, nullptr, &data, &flags);
    if (e == 0) return "";
    std::string s = ERR_reason_error_string(e) ? ERR_reason_error_string(e) : "?";
    if (data != nullptr && (flags & ERR_TXT_STRING)) s += std::string(" ") + data;
    return s;
  }
  FakeHok hok_;
};

TEST_F(HokExchange, StatusLineAndHeaders) {
  EXPECT_EQ(exchange(FakeHok::ok("<x/>")), "<x/>");
  EXPECT_NE(hok_.requests().back().find("\r\nHost: example.org:443\r\n"), std::string::npos);
  EXPECT_EQ(hok_.requests().back().rfind("POST /p HTTP/1.1\r\n", 0), 0u);

  EXPECT_EQ(exchange("HTTP/1.1 500 Internal Server Error\r\n\r\n"), "<null>");
  EXPECT_EQ(last_error(), "server response error Code=500,Reason=Internal Server Error");
  // No reason phrase: no ",Reason=".
  EXPECT_EQ(exchange("HTTP/1.0 404\r\n\r\n"), "<null>");
  EXPECT_EQ(last_error(), "server response error Code=404");
  EXPECT_EQ(exchange("garbage\r\n\r\n"), "<null>");
  EXPECT_EQ(last_error(), "server response parse error");
  // A status that is not a number fails without an error entry.
  EXPECT_EQ(exchange("HTTP/1.1 2x0 OK\r\n\r\nbody"), "<null>");
  EXPECT_EQ(last_error(), "");
  EXPECT_EQ(exchange("HTTP/1.1 200 OK\r\nA: b\r\n"), "<null>");
  EXPECT_EQ(last_error(), "no content");
  // Header lines of up to 511 bytes and a body with blank-only separator.
  EXPECT_EQ(exchange("HTTP/1.1 200 OK\r\nX: " + std::string(400, 'h') + "\r\n \t\r\nrest"), "rest");
}

// Data compressed by zlib: window_bits 15 zlib, -15 bare deflate, 31 gzip.
std::string compressed(const std::string& data, int window_bits) {
  z_stream zs{};
  EXPECT_EQ(deflateInit2(&zs, 9, Z_DEFLATED, window_bits, 9, Z_DEFAULT_STRATEGY), Z_OK);
  std::string out(deflateBound(&zs, data.size()), '\0');
  zs.next_in = reinterpret_cast<const Bytef*>(data.data());
  zs.avail_in = static_cast<uInt>(data.size());
  zs.next_out = reinterpret_cast<Bytef*>(out.data());
  zs.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&zs, Z_FINISH), Z_STREAM_END);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  return out;
}

std::string answer_with(const std::string& headers, const std::string& body) {
  return "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\n" + headers + "\r\n" + body;
}

std::string chunked(const std::string& body, size_t piece) {
  std::string out;
  for (size_t at = 0; at < body.size(); at += piece) {
    const std::string part = body.substr(at, piece);
    char size[16];
    snprintf(size, sizeof size, "%zx", part.size());
    out += std::string(size) + (at == 0 ? ";ext=1" : "") + "\r\n" + part + "\r\n";
  }
  return out + "0\r\nTrailer: x\r\n\r\n";
}

// An HTTP/1.1 service may answer in chunks and with the content codings the
// request accepts; the body is read as it was before them, and a
// compressed answer cannot grow past the answer cap.
TEST_F(HokExchange, ChunkedAndCompressedAnswersAreDecoded) {
  const std::string body = FakeHok::fingerprints_body({"fp-coded", std::string(3000, 'f')});
  const std::string gz = compressed(body, 31);
  const std::vector<std::string> decoded = {
      answer_with("Transfer-Encoding: chunked\r\n", chunked(body, 1000)),
      answer_with("Content-Encoding: gzip\r\n", gz),
      answer_with("Content-Encoding: deflate\r\n", compressed(body, 15)),
      answer_with("Content-Encoding: deflate\r\n", compressed(body, -15)),
      answer_with("content-encoding: GZIP\r\nTransfer-Encoding: chunked\r\n", chunked(gz, 100)),
      // Two gzip members in a row.
      answer_with("Content-Encoding: gzip\r\n",
                  compressed(body.substr(0, 1000), 31) + compressed(body.substr(1000), 31)),
  };
  for (const std::string& a : decoded) EXPECT_EQ(exchange(a), body) << a.substr(0, 80);

  const std::string bomb = compressed(std::string(orvel::net::kNetMaxAnswerBytes + 1, '\0'), 31);
  ASSERT_LT(bomb.size(), 100000u);
  const std::vector<std::string> refused = {
      answer_with("Content-Encoding: gzip\r\n", bomb),
      answer_with("Content-Encoding: gzip\r\n", gz.substr(0, gz.size() / 2)),
      answer_with("Content-Encoding: br\r\n", body),
      answer_with("Content-Encoding: identity, identity, identity, identity, identity\r\n", body),
      answer_with("Transfer-Encoding: chunked\r\n", chunked(body, 1000).substr(0, 1500)),
      answer_with("Transfer-Encoding: chunked\r\n", "zz\r\n" + body),
  };
  for (const std::string& a : refused) {
    EXPECT_EQ(exchange(a), "<null>") << a.substr(0, 80);
    EXPECT_EQ(last_error().rfind("server response parse error", 0), 0u) << a.substr(0, 80);
  }
}

}  // namespace
}  // namespace orvel_test
