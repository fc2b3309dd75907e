// get_revValue against `openssl ocsp` on loopback: good, revoked and
// unknown answers, the responder checks, the pause before a second
// question, failing and broken responders, the CRL fallback, and the exact
// request bytes, direct and through a proxy.
#include <gtest/gtest.h>
#include <openssl/ocsp.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <chrono>
#include <thread>

#include "codes.h"
#include "net_conn.h"
#include "ocsp_client.h"
#include "ocsp_test_env.h"
#include "settings.h"
#include "test_pki.h"

namespace orvel_test {
namespace {

std::vector<unsigned> g_pauses;
void recording_sleep(unsigned seconds) {
  g_pauses.push_back(seconds);
  std::this_thread::sleep_for(std::chrono::milliseconds(seconds * 1000 + 200));
}

class OcspClient : public ::testing::Test {
 protected:
  void SetUp() override {
    max_ocsp_age = 5;  // the responder's two clocks may fall in two seconds
    max_tsp_ocsp_diff = 60;
    g_pauses.clear();
    orvel::ocsp::set_sleep_for_tests(recording_sleep);
  }
  void TearDown() override { orvel::ocsp::set_sleep_for_tests(nullptr); }

  struct Result {
    int code = 0;
    orvel::X509Ptr responder;
    orvel::OcspBasicRespPtr bs;
    orvel::X509CrlPtr crl, delta;
  };
  Result ask(X509* cert, X509_STORE* store, time_t tsp, const EVP_MD* md = EVP_sha256()) {
    Result r;
    X509* responder = nullptr;
    OCSP_BASICRESP* bs = nullptr;
    X509_CRL* crl = nullptr;
    X509_CRL* delta = nullptr;
    auto t = gentime(tsp);
    r.code = get_revValue(cert, pki_.root().cert(), store, md, t.get(), &responder, &bs, &crl,
                          &delta);
    r.responder.reset(responder);
    r.bs.reset(bs);
    r.crl.reset(crl);
    r.delta.reset(delta);
    return r;
  }
  std::string aia(int port) const { return "OCSP;URI:http://127.0.0.1:" + std::to_string(port) + "/"; }

  StartedLibrary lib_;
  OcspPki pki_;
};

TEST_F(OcspClient, GoodRevokedAndUnknownAnswers) {
  const int port = free_port();
  auto good = pki_.leaf(aia(port));
  auto revoked = pki_.leaf(aia(port));
  auto unknown = pki_.leaf(aia(port));
  pki_.list(good.cert.get(), false);
  pki_.list(revoked.cert.get(), true);
  auto responder = pki_.start(port);
  auto store = pki_.store();
  const time_t tsp = time(nullptr) - 10;

  Result r = ask(good.cert.get(), store.get(), tsp);
  ASSERT_EQ(r.code, 0) << lib_.log();
  ASSERT_TRUE(r.bs);
  ASSERT_TRUE(r.responder);
  EXPECT_GE(X509_get_ext_by_NID(r.responder.get(), NID_id_pkix_OCSP_noCheck, -1), 0);
  EXPECT_FALSE(r.crl);
  EXPECT_EQ(ask(revoked.cert.get(), store.get(), tsp).code, SSF_RC_CERT_REVOKED);
  EXPECT_EQ(ask(unknown.cert.get(), store.get(), tsp).code, SSF_RC_CERT_UNKNOWN);
  EXPECT_TRUE(lib_.logged("certificate revoked"));
  EXPECT_TRUE(g_pauses.empty());
}

TEST_F(OcspClient, RevokedAnswerIsFinalAndFailingFirstResponderIsSkipped) {
  const int port = free_port();
  RecordingHttpServer second([](const std::string&) { return std::string("HTTP/1.0 500 X\r\n\r\n"); });
  RecordingHttpServer broken(
      [](const std::string&) { return std::string("HTTP/1.0 404 Not Found\r\n\r\n"); });
  const std::string second_url = "OCSP;URI:" + second.url("/");
  auto revoked = pki_.leaf(aia(port) + "," + second_url);
  auto good = pki_.leaf("OCSP;URI:" + broken.url("/") + "," + aia(port));
  pki_.list(revoked.cert.get(), true);
  pki_.list(good.cert.get(), false);
  auto responder = pki_.start(port);
  auto store = pki_.store();
  const time_t tsp = time(nullptr) - 10;
  EXPECT_EQ(ask(revoked.cert.get(), store.get(), tsp).code, SSF_RC_CERT_REVOKED);
  EXPECT_TRUE(second.requests().empty());
  EXPECT_EQ(ask(good.cert.get(), store.get(), tsp).code, 0) << lib_.log();
  EXPECT_EQ(broken.requests().size(), 1u);
}

TEST_F(OcspClient, ResponderMustBeTrustedAndCarryNoCheck) {
  const int port = free_port();
  const int plain_port = free_port();
  auto leaf = pki_.leaf(aia(port));
  auto plain_leaf = pki_.leaf(aia(plain_port));
  pki_.list(leaf.cert.get(), false);
  pki_.list(plain_leaf.cert.get(), false);
  pki_.add_plain_responder("plain");
  const time_t tsp = time(nullptr) - 10;
  {
    auto responder = pki_.start(plain_port, {"-nmin", "5"}, "plain");
    auto store = pki_.store();
    EXPECT_EQ(ask(plain_leaf.cert.get(), store.get(), tsp).code, SSF_RC_OCSP_BAD_RESPONSE);
    EXPECT_TRUE(lib_.logged("id-pkix-ocsp-nocheck extension not found in response"));
  }
  {
    // The plain responder's answer with the no-check responder's certificate
    // put in front of the signer's: the extension must be on the signer.
    using ResponsePtr =
        std::unique_ptr<OCSP_RESPONSE, orvel::Free<OCSP_RESPONSE, OCSP_RESPONSE_free>>;
    orvel::BioPtr pem(BIO_new_file(pki_.dir().file("ocsp.pem").c_str(), "r"));
    orvel::X509Ptr nocheck(PEM_read_bio_X509(pem.get(), nullptr, nullptr, nullptr));
    ASSERT_TRUE(nocheck);
    RecordingHttpServer front([&](const std::string& req) {
      const std::string body = http_body(relay(plain_port, req));
      const unsigned char* p = reinterpret_cast<const unsigned char*>(body.data());
      ResponsePtr resp(d2i_OCSP_RESPONSE(nullptr, &p, static_cast<long>(body.size())));
      orvel::OcspBasicRespPtr bs(resp ? OCSP_response_get1_basic(resp.get()) : nullptr);
      if (!bs) return std::string("HTTP/1.0 500 X\r\n\r\n");
      X509_up_ref(nocheck.get());
      sk_X509_insert(const_cast<STACK_OF(X509)*>(OCSP_resp_get0_certs(bs.get())), nocheck.get(), 0);
      ResponsePtr out(OCSP_response_create(OCSP_RESPONSE_STATUS_SUCCESSFUL, bs.get()));
      const Bytes der = to_der(out.get(), i2d_OCSP_RESPONSE);
      return http_ok("application/ocsp-response", std::string(der.begin(), der.end()));
    });
    auto fronted = pki_.leaf("OCSP;URI:" + front.url("/"));
    pki_.list(fronted.cert.get(), false);
    auto responder = pki_.start(plain_port, {"-nmin", "5"}, "plain");
    auto store = pki_.store();
    EXPECT_EQ(ask(fronted.cert.get(), store.get(), tsp).code, SSF_RC_OCSP_BAD_RESPONSE)
        << lib_.log();
    EXPECT_EQ(front.requests().size(), 1u);
  }
  auto responder = pki_.start(port);
  orvel::X509StorePtr empty(X509_STORE_new());
  EXPECT_EQ(ask(leaf.cert.get(), empty.get(), tsp).code, SSF_RC_OCSP_BAD_RESPONSE);
  EXPECT_TRUE(lib_.logged("OCSP_basic_verify_time() failed"));
  // The responder's certificate did not exist yet at a stamp two days ago.
  auto store = pki_.store();
  EXPECT_EQ(ask(leaf.cert.get(), store.get(), time(nullptr) - 2 * pki::kDay).code,
            SSF_RC_OCSP_BAD_RESPONSE);
}

TEST_F(OcspClient, AnswerOlderThanStampIsAskedAgainAfterPause) {
  const int port = free_port();
  auto leaf = pki_.leaf(aia(port));
  pki_.list(leaf.cert.get(), false);
  auto responder = pki_.start(port);
  auto store = pki_.store();
  // The stamp lies two seconds ahead: the first answer is older, the
  // second (after the pause) is not.
  Result r = ask(leaf.cert.get(), store.get(), time(nullptr) + 2);
  EXPECT_EQ(r.code, 0) << lib_.log();
  ASSERT_EQ(g_pauses.size(), 1u);
  EXPECT_GE(g_pauses[0], 1u);
  EXPECT_LE(g_pauses[0], 2u);
  EXPECT_TRUE(lib_.logged("making pause in"));

  // A pause beyond max_tsp_ocsp_diff is not taken.
  g_pauses.clear();
  EXPECT_EQ(ask(leaf.cert.get(), store.get(), time(nullptr) + 100).code, SSF_RC_TSP_OCSP_CLOCKS);
  EXPECT_TRUE(g_pauses.empty());
  EXPECT_TRUE(lib_.logged("exceeds max_tsp_ocsp_diff (60)"));
}

TEST_F(OcspClient, ProducedLongAfterThisUpdateIsNotWaitedFor) {
  const int port = free_port();
  auto leaf = pki_.leaf(aia(port));
  pki_.list(leaf.cert.get(), false);
  auto responder = pki_.start(port);
  auto store = pki_.store();
  max_ocsp_age = -1;  // producedAt - thisUpdate (0 or 1) is always above
  EXPECT_EQ(ask(leaf.cert.get(), store.get(), time(nullptr) - 10).code, SSF_RC_TSP_OCSP_CLOCKS);
  EXPECT_TRUE(g_pauses.empty());
  EXPECT_TRUE(lib_.logged("no sense to wait"));
}

TEST_F(OcspClient, BrokenAndUnreachableResponders) {
  orvel::net::set_timeouts_for_tests(2000, 300);
  const int port = free_port();
  auto good = pki_.leaf(aia(port));
  pki_.list(good.cert.get(), false);
  auto responder = pki_.start(port);
  // A real answer to cut and to replay for another certificate.
  std::string real;
  RecordingHttpServer recorder([&](const std::string& req) {
    real = relay(port, req);
    return real;
  });
  auto store = pki_.store();
  const time_t tsp = time(nullptr) - 10;
  ASSERT_EQ(ask(pki_.leaf("OCSP;URI:" + recorder.url("/")).cert.get(), store.get(), tsp).code,
            SSF_RC_CERT_UNKNOWN);
  ASSERT_GT(real.size(), 100u);
  const std::string canned = real;

  struct Case {
    std::string answer;
    int code;
  };
  const std::vector<Case> cases = {
      {"HTTP/1.0 404 Not Found\r\n\r\n", SSF_RC_OCSP_BAD_RESPONSE},
      {http_ok("application/ocsp-response", "garbage"), SSF_RC_OCSP_BAD_RESPONSE},
      {canned.substr(0, canned.size() - 40), SSF_RC_OCSP_BAD_RESPONSE},
      {"HTTP/1.0 200 OK\r\nContent-Length: 3\r\n", SSF_RC_OCSP_BAD_RESPONSE},
      {"", SSF_RC_OCSP_BAD_RESPONSE},
      // A genuine answer about another certificate: CertIDs differ.
      {canned, SSF_RC_OCSP_BAD_RESPONSE},
      {RecordingHttpServer::silent(), SSF_RC_OCSP_BAD_RESPONSE},
  };
  for (const Case& c : cases) {
    RecordingHttpServer server([&](const std::string&) { return c.answer; });
    auto leaf = pki_.leaf("OCSP;URI:" + server.url("/"));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ask(leaf.cert.get(), store.get(), tsp).code, c.code) << c.answer.substr(0, 40);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  }
  EXPECT_TRUE(lib_.logged("OCSP_CERTID's in request and response don't match"));
  EXPECT_EQ(ask(pki_.leaf(aia(free_port())).cert.get(), store.get(), tsp).code,
            SSF_RC_OCSP_UNREACHABLE);
  EXPECT_EQ(ask(pki_.leaf("OCSP;URI:http://127.0.0.1:port/").cert.get(), store.get(), tsp).code,
            SSF_RC_OCSP_URL_INVALID);
  orvel::net::set_timeouts_for_tests(0, 0);
}

TEST_F(OcspClient, WithoutResponderTheCrlDecides) {
  const std::string crl_path = pki_.dir().file("root.crl");
  auto revoked_leaf = pki_.leaf("", {"file://" + crl_path});
  pki::CrlOptions crl_opts;
  crl_opts.revoked.push_back({revoked_leaf.cert.get()});
  auto crl = pki_.root().crl(crl_opts);
  write_file(crl_path, pki::crl_to_der(crl.get()));
  auto store = pki_.store();
  const time_t tsp = time(nullptr) - 10;

  auto plain = pki_.leaf("", {"file://" + crl_path});
  Result r = ask(plain.cert.get(), store.get(), tsp);
  EXPECT_EQ(r.code, 0) << lib_.log();
  EXPECT_TRUE(r.crl);
  EXPECT_FALSE(r.bs);
  EXPECT_TRUE(lib_.logged("no OCSP URL found in certificate, using CRL"));
  EXPECT_EQ(ask(revoked_leaf.cert.get(), store.get(), tsp).code, SSF_RC_CERT_UNKNOWN);

  // With CRLs disabled a certificate without the extension is refused; one
  // whose extension names only the issuer's certificate still uses CRLs.
  disable_cades_crl_using = 1;
  EXPECT_EQ(ask(plain.cert.get(), store.get(), tsp).code, SSF_RC_CERT_UNKNOWN);
  EXPECT_TRUE(lib_.logged("'disable_cades_crl_using' is on"));
  auto ca_issuers = pki_.leaf("caIssuers;URI:http://127.0.0.1:1/root.cer", {"file://" + crl_path});
  EXPECT_EQ(ask(ca_issuers.cert.get(), store.get(), tsp).code, 0) << lib_.log();
  disable_cades_crl_using = 0;
}

TEST_F(OcspClient, RequestBytesDirectAndThroughProxy) {
  const int port = free_port();
  auto leaf = pki_.leaf(aia(port));
  pki_.list(leaf.cert.get(), false);
  RecordingHttpServer direct([&](const std::string& req) { return relay(port, req); });
  auto via_direct = pki_.leaf("OCSP;URI:" + direct.url("/ocsp/x"));
  pki_.list(via_direct.cert.get(), false);
  auto responder = pki_.start(port);
  auto store = pki_.store();
  const time_t tsp = time(nullptr) - 10;
  ASSERT_EQ(ask(via_direct.cert.get(), store.get(), tsp).code, 0) << lib_.log();
  ASSERT_EQ(direct.requests().size(), 1u);
  const std::string body = http_body(direct.requests()[0]);
  EXPECT_EQ(direct.requests()[0],
            "POST /ocsp/x HTTP/1.0\r\nContent-Type: application/ocsp-request\r\nHost: 127.0.0.1\r\n"
            "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
  // The request: one CertID with the given digest, nothing else.
  const unsigned char* p = reinterpret_cast<const unsigned char*>(body.data());
  std::unique_ptr<OCSP_REQUEST, orvel::Free<OCSP_REQUEST, OCSP_REQUEST_free>> req(
      d2i_OCSP_REQUEST(nullptr, &p, static_cast<long>(body.size())));
  ASSERT_TRUE(req);
  EXPECT_EQ(OCSP_request_onereq_count(req.get()), 1);
  EXPECT_FALSE(OCSP_request_is_signed(req.get()));
  EXPECT_EQ(OCSP_REQUEST_get_ext_count(req.get()), 0);
  ASN1_OBJECT* alg = nullptr;
  OCSP_id_get0_info(nullptr, &alg, nullptr, nullptr,
                    OCSP_onereq_get0_id(OCSP_request_onereq_get0(req.get(), 0)));
  EXPECT_EQ(OBJ_obj2nid(alg), NID_sha256);

  // Through the proxy, with and without credentials: the absolute URL.
  RecordingHttpServer proxy([&](const std::string& r) { return relay(port, r); });
  const std::string proxy_port_text = std::to_string(proxy.port());
  proxy_host = strdup("127.0.0.1");
  proxy_port = strdup(proxy_port_text.c_str());
  proxy_login_pwd = strdup("user:pass");
  ASSERT_EQ(ask(leaf.cert.get(), store.get(), tsp).code, 0) << lib_.log();
  free(proxy_login_pwd);
  proxy_login_pwd = nullptr;
  ASSERT_EQ(ask(leaf.cert.get(), store.get(), tsp).code, 0) << lib_.log();
  ASSERT_EQ(proxy.requests().size(), 2u);
  const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/";
  const std::string b0 = http_body(proxy.requests()[0]);
  EXPECT_EQ(proxy.requests()[0],
            "POST " + url + " HTTP/1.0\r\nContent-type: application/ocsp-request\r\n"
            "Host: 127.0.0.1\r\nContent-Length: " + std::to_string(b0.size()) +
            "\r\nProxy-Authorization: Basic dXNlcjpwYXNz\r\n\r\n" + b0);
  const std::string b1 = http_body(proxy.requests()[1]);
  EXPECT_EQ(proxy.requests()[1],
            "POST " + url + " HTTP/1.0\r\nContent-Type: application/ocsp-request\r\n"
            "Host: 127.0.0.1\r\nContent-Length: " + std::to_string(b1.size()) + "\r\n\r\n" + b1);
  EXPECT_TRUE(lib_.logged("using proxy '127.0.0.1'"));
  free(proxy_host);
  free(proxy_port);
  proxy_host = proxy_port = nullptr;
}

TEST_F(OcspClient, TlsResponderDirectAndThroughProxyTunnel) {
  const int port = free_port();
  pki::CertOptions server_opts;
  server_opts.subject = "CN=127.0.0.1,O=Orvel Test,C=RU";
  server_opts.extensions = {{NID_subject_alt_name, "IP:127.0.0.1"}};
  pki::Issued server_cert = pki_.root().issue(server_opts);
  // The service is trusted through the configured CA file.
  std::string ca_file = pki_.root_pem();
  CA_FILE = ca_file.data();
  RecordingHttpServer tls([&](const std::string& req) { return relay(port, req); },
                          server_cert.cert.get(), server_cert.key.get());
  auto leaf = pki_.leaf("OCSP;URI:" + tls.url("/"));
  pki_.list(leaf.cert.get(), false);
  auto responder = pki_.start(port);
  auto store = pki_.store();
  const time_t tsp = time(nullptr) - 10;
  ASSERT_EQ(ask(leaf.cert.get(), store.get(), tsp).code, 0) << lib_.log();
  ASSERT_EQ(tls.requests().size(), 1u);
  EXPECT_EQ(tls.requests()[0].compare(0, 22, "POST / HTTP/1.0\r\nConte"), 0);

  // Through the proxy TLS runs inside a CONNECT tunnel, the credentials go
  // with the CONNECT, and the request inside is an ordinary one.
  TunnelProxy proxy;
  const std::string proxy_port_text = std::to_string(proxy.port());
  proxy_host = strdup("127.0.0.1");
  proxy_port = strdup(proxy_port_text.c_str());
  proxy_login_pwd = strdup("user:pass");
  EXPECT_EQ(ask(leaf.cert.get(), store.get(), tsp).code, 0) << lib_.log();
  ASSERT_EQ(proxy.requests().size(), 1u);
  const std::string target = "127.0.0.1:" + std::to_string(tls.port());
  EXPECT_EQ(proxy.requests()[0], "CONNECT " + target + " HTTP/1.0\r\nHost: " + target +
                                     "\r\nProxy-Authorization: Basic dXNlcjpwYXNz\r\n\r\n");
  ASSERT_EQ(tls.requests().size(), 2u);
  EXPECT_EQ(tls.requests()[1].find("Proxy-Authorization"), std::string::npos);
  EXPECT_EQ(tls.requests()[1].compare(0, 16, "POST / HTTP/1.0\r"), 0);

  // An IPv6 address keeps the one pair of brackets of its URL (this proxy
  // tunnels to 127.0.0.1 only, so the exchange itself fails).
  const std::string v6_target = "[::1]:" + std::to_string(tls.port());
  auto v6 = pki_.leaf("OCSP;URI:https://" + v6_target + "/");
  EXPECT_NE(ask(v6.cert.get(), store.get(), tsp).code, 0);
  ASSERT_EQ(proxy.requests().size(), 2u);
  EXPECT_EQ(proxy.requests()[1], "CONNECT " + v6_target + " HTTP/1.0\r\nHost: " + v6_target +
                                     "\r\nProxy-Authorization: Basic dXNlcjpwYXNz\r\n\r\n");
  free(proxy_host);
  free(proxy_port);
  free(proxy_login_pwd);
  proxy_host = proxy_port = proxy_login_pwd = nullptr;
  CA_FILE = nullptr;
}

}  // namespace
}  // namespace orvel_test
