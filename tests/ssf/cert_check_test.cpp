// Certificate checks for each combination of the chain and CRL options,
// with good, expired, not yet valid, revoked and unverifiable certificates.
#include "cert_check.h"

#include <gtest/gtest.h>

#include <memory>

#include "crl_check.h"
#include "crl_stored.h"
#include "crl_verify.h"
#include "crl_test_env.h"
#include "test_pki_builder.h"
#include "test_servers.h"

namespace orvel_test {
namespace {

using pki::Authority;
using pki::CertOptions;
using pki::CrlOptions;
using pki::kDay;

// The line after the one holding text, or "" (an ERROR block has the word
// ERROR on the line before its message).
std::string line_before(const std::string& log, const std::string& text) {
  size_t pos = log.find(text);
  if (pos == std::string::npos || pos < 2) return "";
  size_t end = log.rfind('\n', pos - 1);
  if (end == std::string::npos) return "";
  size_t start = log.rfind('\n', end - 1);
  return log.substr(start == std::string::npos ? 0 : start + 1,
                    end - (start == std::string::npos ? 0 : start + 1));
}

class CertCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = std::make_unique<Authority>(Authority::root());
    write_file(www_.file("ca.pem"), pki::to_pem(root_->cert()));
    CA_FILE = setting_text(www_.file("ca.pem"));
    protos_ = std::make_unique<TextList>(std::vector<std::string>{"http", "ldap", "file", "ftp"});
    proto_list = protos_->get();
  }

  std::string file_url(const std::string& name) const { return "file://" + www_.file(name); }

  // A leaf of the root whose distribution point is the file URL of name.
  pki::Issued leaf(const std::string& crl_name = "root.crl", CertOptions o = {}) {
    if (!crl_name.empty()) o.crl_urls.push_back(file_url(crl_name));
    return root_->issue(o);
  }

  void publish(const std::string& name, X509_CRL* crl) {
    write_file(www_.file(name), pki::crl_to_der(crl));
  }

  // A validity period that ended yesterday.
  static CertOptions expired_options() {
    CertOptions o;
    o.not_before = -30 * kDay;
    o.not_after = -kDay;
    return o;
  }

  // Three leaves with root.crl as distribution point: a good one, one the
  // published root.crl revokes and an expired one.
  struct Leaves {
    pki::Issued good, bad, old;
  };
  Leaves good_revoked_expired() {
    Leaves l{leaf(), leaf(), leaf("root.crl", expired_options())};
    CrlOptions o;
    o.revoked.push_back({l.bad.cert.get()});
    publish("root.crl", root_->crl(o).get());
    return l;
  }

  int check(X509* cert, int chain, int crl) {
    return IsCertificateValid(cert, chain, crl, nullptr);
  }

  TraceLog log_;
  TempDir www_;
  std::unique_ptr<Authority> root_;
  std::unique_ptr<TextList> protos_;
};

// ---- neither option: the validity period only ----

TEST_F(CertCheck, TimeOnlyGoodExpiredNotYetValid) {
  const CertOptions expired = expired_options();
  CertOptions future;
  future.not_before = kDay;
  future.not_after = 30 * kDay;
  auto good = leaf("");
  auto old = leaf("", expired);
  auto early = leaf("", future);
  EXPECT_EQ(check(good.cert.get(), 0, 0), 1);
  EXPECT_EQ(check(old.cert.get(), 0, 0), 0);
  EXPECT_EQ(check(early.cert.get(), 0, 0), 0);
  std::string log = log_.text();
  EXPECT_NE(
      log.find(
          "Neither CA nor CRL check requested. Certificate time-validity will be only checked"),
      std::string::npos);
  // Plain lines, not ERROR blocks.
  EXPECT_NE(log.find("verify_certificate() 4 : certificate expired"), std::string::npos);
  EXPECT_NE(line_before(log, "verify_certificate() 4 : certificate expired"), "ERROR");
  EXPECT_NE(log.find("verify_certificate() 2 : certificate is not valid yet"), std::string::npos);
  // An untrusted issuer does not matter without the chain option.
  Authority other = Authority::root("CN=Other Root,O=Elsewhere,C=RU");
  auto stranger = other.issue({});
  EXPECT_EQ(check(stranger.cert.get(), 0, 0), 1);
}

// ---- the chain option ----

TEST_F(CertCheck, ChainGoodExpiredNotYetValidUnverifiable) {
  const CertOptions expired = expired_options();
  CertOptions future;
  future.not_before = kDay;
  auto good = leaf("");
  STACK_OF(X509)* chain = nullptr;
  EXPECT_EQ(IsCertificateValid(good.cert.get(), 1, 0, &chain), 1);
  ASSERT_NE(chain, nullptr);
  EXPECT_EQ(sk_X509_num(chain), 2);
  EXPECT_EQ(X509_cmp(sk_X509_value(chain, 0), good.cert.get()), 0);
  sk_X509_pop_free(chain, X509_free);

  EXPECT_EQ(check(leaf("", expired).cert.get(), 1, 0), 0);
  EXPECT_TRUE(
      log_.contains("verify_certificate() 7 : certificate is invalid: certificate has expired"));
  EXPECT_EQ(check(leaf("", future).cert.get(), 1, 0), 0);
  EXPECT_TRUE(log_.contains("certificate is invalid: certificate is not yet valid"));

  Authority other = Authority::root("CN=Other Root,O=Elsewhere,C=RU");
  auto stranger = other.issue({});
  chain = nullptr;
  EXPECT_EQ(IsCertificateValid(stranger.cert.get(), 1, 0, &chain), 0);
  EXPECT_TRUE(log_.contains("certificate is invalid: unable to get local issuer certificate"));
  // The chain built so far is handed out whatever the result.
  ASSERT_NE(chain, nullptr);
  EXPECT_EQ(sk_X509_num(chain), 1);
  sk_X509_pop_free(chain, X509_free);
}

TEST_F(CertCheck, ChainThroughIntermediate) {
  Authority sub = root_->intermediate("CN=Orvel Test Sub CA,O=Orvel Test,C=RU");
  auto cert = sub.issue({});
  EXPECT_EQ(check(cert.cert.get(), 1, 0), 0);  // the sub CA is not trusted yet
  write_file(www_.file("ca.pem"), pki::to_pem(root_->cert()) + pki::to_pem(sub.cert()));
  STACK_OF(X509)* chain = nullptr;
  EXPECT_EQ(IsCertificateValid(cert.cert.get(), 1, 0, &chain), 1);
  ASSERT_NE(chain, nullptr);
  EXPECT_EQ(sk_X509_num(chain), 3);
  sk_X509_pop_free(chain, X509_free);
}

TEST_F(CertCheck, CaFileForms) {
  auto good = leaf("");
  // A file URL keeps its absolute path.
  CA_FILE = setting_text("file://" + www_.file("ca.pem"));
  EXPECT_EQ(check(good.cert.get(), 1, 0), 1);
  // DER is tried when PEM fails.
  write_file(www_.file("ca.der"), pki::to_der(root_->cert()));
  CA_FILE = setting_text(www_.file("ca.der"));
  EXPECT_EQ(check(good.cert.get(), 1, 0), 1);
  EXPECT_TRUE(log_.contains("add_file() 1 : X509_LOOKUP_load_file( '" + www_.file("ca.der") +
                            "', PEM ) failed: "));
  EXPECT_TRUE(log_.contains("add_file() : file format is not PEM: trying ASN1"));
  // A file that is neither: the store cannot be set up.
  CA_FILE = setting_text(www_.file("missing.pem"));
  EXPECT_EQ(check(good.cert.get(), 1, 0), -1);
  EXPECT_TRUE(log_.contains("add_file() 2 : X509_LOOKUP_load_file( '" + www_.file("missing.pem") +
                            "', ASN1 ) failed: "));
  EXPECT_TRUE(log_.contains("verify_certificate() 5 : setup_store() failed: "));
  // No CA file: the store has no CA certificate, so no chain verifies.
  CA_FILE = nullptr;
  EXPECT_EQ(check(good.cert.get(), 1, 0), 0);
  EXPECT_TRUE(log_.contains("setup_store() : 'ca_file' parameter not specified"));
}

// ---- the CRL option ----

TEST_F(CertCheck, CrlOnlyGoodRevokedAndValidityIgnored) {
  auto [good, bad, old] = good_revoked_expired();
  EXPECT_EQ(check(good.cert.get(), 0, 1), 1);
  EXPECT_TRUE(log_.contains("verify_certificate() 10 :certificate has not been revoked"));
  EXPECT_TRUE(log_.contains("check_for_revocation() : found CDP '" + file_url("root.crl") + "'"));
  EXPECT_EQ(check(bad.cert.get(), 0, 1), 0);
  EXPECT_TRUE(log_.contains("verify_certificate() 9 : certificate has been revoked"));
  // With the CRL option alone the validity period is not looked at.
  EXPECT_EQ(check(old.cert.get(), 0, 1), 1);
}

TEST_F(CertCheck, BothOptions) {
  auto [good, bad, old] = good_revoked_expired();
  EXPECT_EQ(check(good.cert.get(), 1, 1), 1);
  EXPECT_EQ(check(bad.cert.get(), 1, 1), 0);
  // A failed chain stays a failure when the CRL is clean.
  EXPECT_EQ(check(old.cert.get(), 1, 1), 0);
  EXPECT_TRUE(log_.contains("certificate is invalid: certificate has expired"));
}

TEST_F(CertCheck, DeltaCrl) {
  auto in_base = leaf("root.crl");
  auto in_delta = leaf("root.crl");
  auto clean = leaf("root.crl");
  auto held = leaf("root.crl");
  CrlOptions base;
  base.crl_number = 10;
  base.revoked.push_back({in_base.cert.get()});
  base.revoked.push_back({held.cert.get(), 0, -7200, CRL_REASON_CERTIFICATE_HOLD});
  base.freshest_urls.push_back(file_url("delta.crl"));
  publish("root.crl", root_->crl(base).get());
  // The delta takes the hold off again; its release of in_base (revoked,
  // not held) changes nothing.
  CrlOptions delta;
  delta.crl_number = 11;
  delta.delta_base = 10;
  delta.revoked.push_back({in_delta.cert.get()});
  delta.revoked.push_back({held.cert.get(), 0, -3600, CRL_REASON_REMOVE_FROM_CRL});
  delta.revoked.push_back({in_base.cert.get(), 0, -3600, CRL_REASON_REMOVE_FROM_CRL});
  publish("delta.crl", root_->crl(delta).get());

  EXPECT_EQ(check(clean.cert.get(), 1, 1), 1);
  EXPECT_TRUE(
      log_.contains("check_for_revocation() : Delta CRL DP: '" + file_url("delta.crl") + "'"));
  EXPECT_EQ(check(in_delta.cert.get(), 1, 1), 0);
  EXPECT_EQ(check(held.cert.get(), 1, 1), 1);
  // Listed in the base CRL, absent from the delta: still revoked.
  EXPECT_EQ(check(in_base.cert.get(), 0, 1), 0);
  // A release from a delta older than the base, or from a complete CRL in
  // the delta's place, takes no hold off.
  CrlOptions old_delta = delta;
  old_delta.crl_number = 8;
  old_delta.delta_base = 5;
  publish("delta.crl", root_->crl(old_delta).get());
  EXPECT_EQ(check(held.cert.get(), 1, 1), 0);
  CrlOptions not_delta = delta;
  not_delta.delta_base.reset();
  publish("delta.crl", root_->crl(not_delta).get());
  EXPECT_EQ(check(held.cert.get(), 1, 1), 0);
  // Nor does one of another scope than the base (which has none), nor one
  // of an indirect CRL (its entry may be of another CA's certificate).
  CrlOptions other_scope = delta;
  other_scope.issuing_dp = "fullname:URI:" + file_url("root.crl");
  publish("delta.crl", root_->crl(other_scope).get());
  EXPECT_EQ(check(held.cert.get(), 1, 1), 0);
  CrlOptions indirect_base = base;
  indirect_base.issuing_dp = other_scope.issuing_dp = "indirectCRL:TRUE";
  publish("root.crl", root_->crl(indirect_base).get());
  publish("delta.crl", root_->crl(other_scope).get());
  EXPECT_EQ(check(held.cert.get(), 1, 1), 0);
  publish("root.crl", root_->crl(base).get());

  // A delta of another scope, or with an unknown critical extension, may
  // not clear (the end-to-end cases show the forged, older, expired and
  // complete ones): a certificate it does not list has no usable CRL.
  CrlOptions critical = delta;
  critical.critical_oid = "1.3.6.1.4.1.99999.7";
  other_scope.issuing_dp = "fullname:URI:" + file_url("root.crl");
  for (const CrlOptions* d : {&other_scope, &critical}) {
    publish("delta.crl", root_->crl(*d).get());
    EXPECT_EQ(check(clean.cert.get(), 1, 1), -1);
    EXPECT_EQ(check(in_delta.cert.get(), 1, 1), 0);  // what it lists still revokes
  }
  EXPECT_TRUE(
      log_.contains("check_for_revocation() : delta crl issued by 'CN=Orvel Test Root, "
                    "O=Orvel Test, C=RU' and the crl differ in scope"));
  publish("delta.crl", root_->crl(delta).get());
  // A freshest-CRL extension named twice names no delta one could know.
  orvel::X509CrlPtr twice = root_->crl(base);
  X509_CRL_add_ext(
      twice.get(),
      X509_CRL_get_ext(twice.get(), X509_CRL_get_ext_by_NID(twice.get(), NID_freshest_crl, -1)),
      -1);
  ASSERT_GT(X509_CRL_sign(twice.get(), root_->key(), EVP_sha256()), 0);
  publish("root.crl", twice.get());
  EXPECT_EQ(check(clean.cert.get(), 1, 1), -1);
  EXPECT_TRUE(log_.contains("the freshest crl extension of the crl cannot be read"));
  publish("root.crl", root_->crl(base).get());

  // The CRL and the delta CRL are handed out on success.
  orvel::X509StorePtr store(X509_STORE_new());
  X509_STORE_add_cert(store.get(), root_->cert());
  orvel::X509StoreCtxPtr ctx(X509_STORE_CTX_new());
  X509_STORE_CTX_init(ctx.get(), store.get(), clean.cert.get(), nullptr);
  X509_CRL* crl = nullptr;
  X509_CRL* dcrl = nullptr;
  EXPECT_EQ(check_for_revocation(clean.cert.get(), ctx.get(), proto_list, &crl, &dcrl), 1);
  ASSERT_NE(crl, nullptr);
  ASSERT_NE(dcrl, nullptr);
  EXPECT_EQ(X509_CRL_get_ext_by_NID(dcrl, NID_delta_crl, -1) >= 0, true);
  X509_CRL_free(crl);
  X509_CRL_free(dcrl);

  // A delta CRL past its nextUpdate is still read.
  CrlOptions stale = delta;
  stale.last_update = -10 * kDay;
  stale.next_update = -kDay;
  stale.revoked.push_back({clean.cert.get()});
  publish("delta.crl", root_->crl(stale).get());
  EXPECT_EQ(check(clean.cert.get(), 0, 1), 0);
  EXPECT_TRUE(log_.contains("verify_crl() 8 : crl has expired"));
  // ... for what it adds: it releases no hold.
  EXPECT_EQ(check(held.cert.get(), 0, 1), 0);

  // A delta CRL of another issuer is refused.
  Authority other = Authority::root("CN=Other Root,O=Elsewhere,C=RU");
  publish("delta.crl", other.crl(delta).get());
  EXPECT_EQ(check(clean.cert.get(), 0, 1), -1);
  EXPECT_TRUE(
      log_.contains("check_for_revocation() : delta crl issuer and certificate issuer not match"));

  // A delta CRL that cannot be fetched makes the check fail.
  remove(www_.file("delta.crl").c_str());
  EXPECT_EQ(check(clean.cert.get(), 0, 1), -1);
  EXPECT_TRUE(log_.contains("downloading the delta crl failed for all distribution points"));

  // A delta CRL served as the CRL itself says nothing of the base's entries.
  publish("root.crl", root_->crl(delta).get());
  EXPECT_EQ(check(in_base.cert.get(), 0, 1), -1);
  EXPECT_TRUE(log_.contains("check_for_revocation() : the crl is a delta crl, its base crl is "
                            "missing"));
}

TEST_F(CertCheck, CrlValidity) {
  auto cert = leaf();
  CrlOptions expired;
  expired.last_update = -10 * kDay;
  expired.next_update = -kDay;
  publish("root.crl", root_->crl(expired).get());
  EXPECT_EQ(check(cert.cert.get(), 0, 1), 0);
  EXPECT_TRUE(log_.contains("verify_crl() 8 : crl has expired"));

  CrlOptions future;
  future.last_update = kDay;
  publish("root.crl", root_->crl(future).get());
  EXPECT_EQ(check(cert.cert.get(), 0, 1), 0);
  EXPECT_TRUE(log_.contains("verify_crl() 6 : crl is not yet valid"));

  // A CRL with a critical extension that is not processed (here on an
  // entry) may revoke but shows nothing unrevoked.
  auto listed = leaf();
  CrlOptions on_entry;
  on_entry.entry_critical_oid = "1.3.6.1.4.1.99999.8";
  on_entry.revoked.push_back({listed.cert.get()});
  publish("root.crl", root_->crl(on_entry).get());
  EXPECT_EQ(check(cert.cert.get(), 1, 1), -1);
  EXPECT_EQ(check(listed.cert.get(), 1, 1), 0);
  EXPECT_TRUE(
      log_.contains("check_for_revocation() : crl issued by 'CN=Orvel Test Root, O=Orvel "
                    "Test, C=RU' has the critical extension 1.3.6.1.4.1.99999.8, which is "
                    "not processed"));
  // A certificate whose first point serves some reasons only (keyCompromise
  // and cACompromise): its other point is asked first, and a CRL of the
  // first point's scope, wherever it comes from, clears nothing.
  CertOptions partial;
  partial.crl_urls = {file_url("part1.crl")};
  partial.crl_reason_bits = {1, 2};
  auto two_points = leaf("root.crl", partial);
  publish("part1.crl", root_->crl({}).get());
  publish("root.crl", root_->crl({}).get());
  EXPECT_EQ(check(two_points.cert.get(), 1, 1), 1);
  CrlOptions of_part1;
  of_part1.issuing_dp = "fullname:URI:" + file_url("part1.crl");
  publish("root.crl", root_->crl(of_part1).get());
  EXPECT_EQ(check(two_points.cert.get(), 1, 1), -1);
  EXPECT_TRUE(
      log_.contains("check_for_revocation() : crl issued by 'CN=Orvel Test Root, O=Orvel Test, "
                    "C=RU' covers the certificate for some revocation reasons only"));
  remove(www_.file("root.crl").c_str());  // only the first point answers
  EXPECT_EQ(check(two_points.cert.get(), 1, 1), -1);

  CrlOptions open_ended;  // no nextUpdate: no expiry to check
  open_ended.next_update.reset();
  publish("root.crl", root_->crl(open_ended).get());
  EXPECT_EQ(check(cert.cert.get(), 0, 1), 1);

  // A CRL of the certificate's own distribution point counts; one of CA
  // certificates only, of some reasons only or of another point (a CA
  // that splits its certificates among CRLs) is no CRL for it.
  CrlOptions own_point;
  own_point.issuing_dp = "fullname:URI:" + file_url("root.crl");
  publish("root.crl", root_->crl(own_point).get());
  EXPECT_EQ(check(cert.cert.get(), 1, 1), 1);
  own_point.issuing_dp = "fullname:URI:FILE://" + www_.file("root.crl");  // scheme in any case
  publish("root.crl", root_->crl(own_point).get());
  EXPECT_EQ(check(cert.cert.get(), 1, 1), 1);
  // A point that names a CRL issuer is served by that issuer's indirect
  // CRL alone: the CA's own CRL there clears nothing.
  CertOptions delegated;
  delegated.crl_issuer = "CN=Delegated CRL Authority,O=Orvel Test,C=RU";
  auto by_delegate = leaf("root.crl", delegated);
  publish("root.crl", root_->crl({}).get());
  EXPECT_EQ(check(by_delegate.cert.get(), 1, 1), -1);
  EXPECT_TRUE(log_.contains("check_for_revocation() : every distribution point of certificate "
                            "'CN=Test Leaf, O=Orvel Test, C=RU' names a crl issuer"));
  // Beside a point of the CA, such a point is asked last: the authority's
  // indirect CRL there would end the check.
  delegated.crl_urls = {file_url("delegated.crl")};
  auto also_direct = leaf("root.crl", delegated);
  CrlOptions indirect;
  indirect.issuing_dp = "indirectCRL:TRUE";
  publish("delegated.crl",
          Authority::root("CN=Delegated CRL Authority,O=Orvel Test,C=RU").crl(indirect).get());
  EXPECT_EQ(check(also_direct.cert.get(), 1, 1), 1);
  for (const std::string& scope : std::vector<std::string>{"onlyCA:TRUE",
                                                           "onlysomereasons:keyCompromise",
                                                           "fullname:URI:" + file_url("part2.crl"),
                                                           "indirectCRL:TRUE"}) {
    CrlOptions scoped;
    scoped.issuing_dp = scope;
    publish("root.crl", root_->crl(scoped).get());
    EXPECT_EQ(check(cert.cert.get(), 1, 1), -1) << scope;
  }
  EXPECT_TRUE(log_.contains("check_for_revocation() : crl issued by 'CN=Orvel Test Root, "
                            "O=Orvel Test, C=RU' does not cover certificate 'CN=Test Leaf"));

  auto wrong_key = pki::make_rsa_key();
  CrlOptions forged;
  forged.sign_key = wrong_key.get();
  publish("root.crl", root_->crl(forged).get());
  ERR_clear_error();
  EXPECT_EQ(check(cert.cert.get(), 0, 1), 0);
  EXPECT_TRUE(log_.contains("verify_crl() 4 : crl is invalid"));
  EXPECT_EQ(ERR_peek_error(), 0ul);  // the result says it all
}

TEST_F(CertCheck, CrlOfAnotherIssuerOrWithoutTrustedIssuer) {
  auto cert = leaf();
  Authority other = Authority::root("CN=Other Root,O=Elsewhere,C=RU");
  publish("root.crl", other.crl({}).get());
  EXPECT_EQ(check(cert.cert.get(), 0, 1), -1);
  EXPECT_TRUE(
      log_.contains("check_for_revocation() : crl issuer and certificate issuer not match "
                    "('CN=Other Root, O=Elsewhere, C=RU' "
                    "and 'CN=Orvel Test Root, O=Orvel Test, C=RU')"))
      << log_.text();
  EXPECT_TRUE(log_.contains("verify_certificate() 8 : check_for_revocation() failed: "));

  publish("root.crl", root_->crl({}).get());
  CA_FILE = nullptr;
  EXPECT_EQ(check(cert.cert.get(), 0, 1), -1);
  EXPECT_TRUE(log_.contains("verify_crl() 1 : getting the certificate of the crl-issuer failed"));
  EXPECT_TRUE(log_.contains("check_for_revocation() : verify_crl() failed"));
}

TEST_F(CertCheck, DistributionPointOfTheIssuer) {
  // The root names the CRL; its leaf names none.
  CertOptions ro;
  ro.crl_urls.push_back(file_url("root.crl"));
  root_ = std::make_unique<Authority>(Authority::root("CN=Orvel Test Root,O=Orvel Test,C=RU", ro));
  write_file(www_.file("ca.pem"), pki::to_pem(root_->cert()));
  auto cert = leaf("");
  publish("root.crl", root_->crl({}).get());
  EXPECT_EQ(check(cert.cert.get(), 0, 1), 1);

  // Without the root in the store there is nothing to ask, default URL or not.
  default_crl_url = setting_text(file_url("root.crl"));
  CA_FILE = nullptr;
  EXPECT_EQ(check(cert.cert.get(), 0, 1), -1);
  EXPECT_TRUE(log_.contains("check_for_revocation() 1 : no dedicated ca certificate available"));
}

TEST_F(CertCheck, NeitherCertificateNorIssuerNamesACrl) {
  auto cert = leaf("");
  EXPECT_EQ(check(cert.cert.get(), 0, 1), -1);
  EXPECT_TRUE(
      log_.contains("check_for_revocation() 2 : neither the user nor the ca certificate does "
                    "contain a crl distribution point"));
}

TEST_F(CertCheck, DefaultUrl) {
  CertOptions o;
  o.crl_urls.push_back("ftp://127.0.0.1:1/root.crl");
  auto cert = root_->issue(o);
  publish("default.crl", root_->crl({}).get());
  // Only http allowed: the ftp point is skipped; no default URL yet.
  TextList http_only({"http"});
  proto_list = http_only.get();
  EXPECT_EQ(check(cert.cert.get(), 0, 1), -1);
  EXPECT_TRUE(log_.contains("check_for_revocation() 3 : downloading the crl failed for all CDPs"));
  EXPECT_TRUE(log_.contains("check_for_revocation() 3.2 : default URL not specified"));
  EXPECT_TRUE(log_.contains("check_for_revocation(): signature type is NOT 2012"));

  // The default URL does not depend on the protocol list.
  default_crl_url = setting_text(file_url("default.crl"));
  EXPECT_EQ(check(cert.cert.get(), 0, 1), 1);
  EXPECT_TRUE(log_.contains("check_for_revocation() : trying to download CRL from default URL: '" +
                            file_url("default.crl") + "'"));

  default_crl_url = setting_text(file_url("missing.crl"));
  EXPECT_EQ(check(cert.cert.get(), 0, 1), -1);
  EXPECT_TRUE(
      log_.contains("check_for_revocation() 3.1 : downloading the crl failed for default URL: '" +
                    file_url("missing.crl") + "'"));
}

TEST_F(CertCheck, OnlyDefaultUrl) {
  auto cert = leaf("root.crl");
  CrlOptions revoking;
  revoking.revoked.push_back({cert.cert.get()});
  publish("root.crl", root_->crl(revoking).get());
  publish("default.crl", root_->crl({}).get());
  use_only_default_crl_url = 1;
  default_crl_url = setting_text(file_url("default.crl"));
  EXPECT_EQ(check(cert.cert.get(), 0, 1), 1);
  EXPECT_TRUE(log_.contains("use_only_default_crl_url is ON, skipping CDPs in certificate"));
  // A certificate that names no point is covered by a CRL of a split list
  // only when the CRL's point is the URL the CRL came from.
  auto bare = leaf("");
  CrlOptions part;
  part.issuing_dp = "fullname:URI:" + file_url("part2.crl");
  publish("default.crl", root_->crl(part).get());
  EXPECT_EQ(check(bare.cert.get(), 1, 1), -1);
  EXPECT_TRUE(
      log_.contains("check_for_revocation() : crl issued by 'CN=Orvel Test Root, O=Orvel "
                    "Test, C=RU' does not cover certificate 'CN=Test Leaf"));
  part.issuing_dp = "fullname:URI:" + file_url("default.crl");
  publish("default.crl", root_->crl(part).get());
  EXPECT_EQ(check(bare.cert.get(), 1, 1), 1);
  use_only_default_crl_url = 0;
  EXPECT_EQ(check(cert.cert.get(), 0, 1), 0);
}

TEST_F(CertCheck, IssuerChosenByAuthorityKeyIdentifier) {
  // Two CAs with one subject name and different keys, the wrong one first.
  Authority twin = Authority::root("CN=Orvel Test Root,O=Orvel Test,C=RU");
  write_file(www_.file("ca.pem"), pki::to_pem(twin.cert()) + pki::to_pem(root_->cert()));
  auto cert = leaf();
  publish("root.crl", root_->crl({}).get());
  EXPECT_EQ(check(cert.cert.get(), 0, 1), 1);

  // Without a key identifier the namesake whose key verifies the CRL is its
  // signer; a CRL that none verifies is invalid.
  CrlOptions no_akid;
  no_akid.authority_key_id = false;
  publish("root.crl", root_->crl(no_akid).get());
  EXPECT_EQ(check(cert.cert.get(), 0, 1), 1);
  EXPECT_EQ(check(cert.cert.get(), 1, 1), 1);
  auto rogue = pki::make_rsa_key();
  no_akid.sign_key = rogue.get();
  publish("root.crl", root_->crl(no_akid).get());
  EXPECT_EQ(check(cert.cert.get(), 0, 1), 0);
  EXPECT_TRUE(log_.contains("verify_crl() 4 : crl is invalid"));

  // The namesake's own CRL and delta CRL, which name the namesake's key, are
  // no CRL for the root's certificate, with the chain verified or without.
  publish("root.crl", twin.crl({}).get());
  EXPECT_EQ(check(cert.cert.get(), 1, 1), -1);
  EXPECT_EQ(check(cert.cert.get(), 0, 1), -1);
  EXPECT_TRUE(log_.contains("check_for_revocation() : crl issued by 'CN=Orvel Test Root, "
                            "O=Orvel Test, C=RU' is not signed by the issuer of certificate "
                            "'CN=Test Leaf, O=Orvel Test, C=RU'"));
  CrlOptions base;
  base.freshest_urls.push_back(file_url("delta.crl"));
  publish("root.crl", root_->crl(base).get());
  CrlOptions delta;
  delta.crl_number = 2;
  delta.delta_base = 1;
  publish("delta.crl", twin.crl(delta).get());
  EXPECT_EQ(check(cert.cert.get(), 1, 1), -1);
  EXPECT_TRUE(log_.contains("check_for_revocation() : delta crl issued by"));

  orvel::X509StorePtr store(X509_STORE_new());
  X509_STORE_add_cert(store.get(), twin.cert());
  orvel::X509StoreCtxPtr ctx(X509_STORE_CTX_new());
  X509_STORE_CTX_init(ctx.get(), store.get(), cert.cert.get(), nullptr);
  orvel::X509CrlPtr crl = root_->crl({});
  X509* found = nullptr;
  EXPECT_EQ(X509_STORE_get_ca_cert_for_crl(ctx.get(), crl.get(), &found), -1);
  EXPECT_EQ(found, nullptr);
}

TEST_F(CertCheck, VerifyCrlAtAGivenTime) {
  orvel::X509StorePtr store(X509_STORE_new());
  X509_STORE_add_cert(store.get(), root_->cert());
  orvel::X509StoreCtxPtr ctx(X509_STORE_CTX_new());
  X509_STORE_CTX_init(ctx.get(), store.get(), root_->cert(), nullptr);
  CrlOptions o;
  o.last_update = -kDay;
  o.next_update = kDay;
  orvel::X509CrlPtr crl = root_->crl(o);
  time_t now = time(nullptr);
  EXPECT_EQ(verify_crl(crl.get(), ctx.get(), 0), 1);
  EXPECT_EQ(verify_crl(crl.get(), ctx.get(), now), 1);
  EXPECT_EQ(verify_crl(crl.get(), ctx.get(), now - 2 * kDay), 0);
  EXPECT_EQ(verify_crl(crl.get(), ctx.get(), now + 2 * kDay), 0);
}

TEST_F(CertCheck, CheckRevokedCrlAgainstCarriedCrls) {
  auto cert = leaf("");
  auto revoked = leaf("");
  Authority other = Authority::root("CN=Other Root,O=Elsewhere,C=RU");
  CrlOptions o;
  o.revoked.push_back({revoked.cert.get()});
  orvel::X509StorePtr store(X509_STORE_new());
  X509_STORE_add_cert(store.get(), root_->cert());
  orvel::X509CrlStackPtr crls(sk_X509_CRL_new_null());
  sk_X509_CRL_push(crls.get(), other.crl({}).release());
  EXPECT_EQ(check_revoked_crl(cert.cert.get(), crls.get(), store.get(), 0), 0);
  EXPECT_TRUE(log_.contains("check_revoked_crl() 2 : no relevant CRL found"));
  // A delta CRL of the issuer alone is no CRL either.
  CrlOptions d;
  d.crl_number = 2;
  d.delta_base = 1;
  orvel::X509CrlStackPtr deltas(sk_X509_CRL_new_null());
  sk_X509_CRL_push(deltas.get(), root_->crl(d).release());
  EXPECT_EQ(check_revoked_crl(cert.cert.get(), deltas.get(), store.get(), 0), 0);
  sk_X509_CRL_push(crls.get(), root_->crl(o).release());
  EXPECT_EQ(check_revoked_crl(cert.cert.get(), crls.get(), store.get(), 0), 1);
  EXPECT_EQ(check_revoked_crl(revoked.cert.get(), crls.get(), store.get(), 0), 0);
  EXPECT_TRUE(
      log_.contains("check_revoked_crl() 5 : certificate found in CRL, certificate is invalid"));
  // At a time before the CRL was issued it is not valid.
  EXPECT_EQ(check_revoked_crl(cert.cert.get(), crls.get(), store.get(), time(nullptr) - 30 * kDay),
            0);
  EXPECT_TRUE(log_.contains("check_revoked_crl() 4 : verify_crl() failed"));
  // A delta entry removeFromCRL takes a hold of the complete CRL off.
  CrlOptions hold;
  hold.revoked.push_back({cert.cert.get(), 0, -7200, CRL_REASON_CERTIFICATE_HOLD});
  d.revoked.push_back({cert.cert.get(), 0, -3600, CRL_REASON_REMOVE_FROM_CRL});
  orvel::X509CrlStackPtr held(sk_X509_CRL_new_null());
  sk_X509_CRL_push(held.get(), root_->crl(d).release());
  sk_X509_CRL_push(held.get(), root_->crl(hold).release());
  EXPECT_EQ(check_revoked_crl(cert.cert.get(), held.get(), store.get(), 0, root_->cert()), 1);
  // Without the verified issuer the release does not count.
  EXPECT_EQ(check_revoked_crl(cert.cert.get(), held.get(), store.get(), 0), 0);
  // A CRL of CA certificates only counts as none for an end certificate.
  CrlOptions arl;
  arl.issuing_dp = "onlyCA:TRUE";
  orvel::X509CrlStackPtr arls(sk_X509_CRL_new_null());
  sk_X509_CRL_push(arls.get(), root_->crl(arl).release());
  EXPECT_EQ(check_revoked_crl(cert.cert.get(), arls.get(), store.get(), 0, root_->cert()), 0);
  EXPECT_TRUE(log_.contains("check_revoked_crl() 2.2 : CRL issued by"));
  // The certificate names no point: a CRL of a split list covers it only
  // at the configured default URL or at its issuer's point.
  CrlOptions part;
  part.issuing_dp = "fullname:URI:" + file_url("part1.crl");
  orvel::X509CrlStackPtr parts(sk_X509_CRL_new_null());
  sk_X509_CRL_push(parts.get(), root_->crl(part).release());
  EXPECT_EQ(check_revoked_crl(cert.cert.get(), parts.get(), store.get(), 0, root_->cert()), 0);
  // A certificate whose first point serves some reasons only: that point's
  // CRL clears nothing, but does not keep the CRL of the whole from it.
  CertOptions partial;
  partial.crl_urls = {file_url("part1.crl"), file_url("root.crl")};
  partial.crl_reason_bits = {1};
  auto two_points = root_->issue(partial);
  EXPECT_EQ(check_revoked_crl(two_points.cert.get(), parts.get(), store.get(), 0, root_->cert()),
            0);
  EXPECT_TRUE(
      log_.contains("check_revoked_crl() 6 : CRL issued by 'CN=Orvel Test Root, O=Orvel "
                    "Test, C=RU' covers the certificate for some revocation reasons only"));
  sk_X509_CRL_push(parts.get(), root_->crl({}).release());
  EXPECT_EQ(check_revoked_crl(two_points.cert.get(), parts.get(), store.get(), 0, root_->cert()),
            1);
  CertOptions pointed;  // ... at the issuer's own point
  pointed.crl_urls = {file_url("part1.crl")};
  Authority named_root = Authority::root("CN=Pointed Root,O=Orvel Test,C=RU", pointed);
  orvel::X509CrlStackPtr named_parts(sk_X509_CRL_new_null());
  sk_X509_CRL_push(named_parts.get(), named_root.crl(part).release());
  EXPECT_EQ(check_revoked_crl(named_root.issue({}).cert.get(), named_parts.get(), store.get(), 0,
                              named_root.cert()),
            1);
  default_crl_url = setting_text(file_url("part1.crl"));
  EXPECT_EQ(check_revoked_crl(cert.cert.get(), parts.get(), store.get(), 0, root_->cert()), 1);
  // A stored CRL without a scope may have come from either point, though
  // the default URL is the first point's.
  orvel::X509CrlStackPtr whole(sk_X509_CRL_new_null());
  sk_X509_CRL_push(whole.get(), root_->crl({}).release());
  EXPECT_EQ(check_revoked_crl(two_points.cert.get(), whole.get(), store.get(), 0, root_->cert()),
            1);
  // An unknown critical extension: the CRL shows nothing unrevoked.
  CrlOptions unknown;
  unknown.critical_oid = "1.3.6.1.4.1.99999.7";
  orvel::X509CrlStackPtr unknowns(sk_X509_CRL_new_null());
  sk_X509_CRL_push(unknowns.get(), root_->crl(unknown).release());
  EXPECT_EQ(check_revoked_crl(cert.cert.get(), unknowns.get(), store.get(), 0, root_->cert()), 0);
  // Point URLs match with the scheme and the host in any case, and the
  // path as it stands; a point naming a CRL issuer takes no CRL of the CA.
  CertOptions pointed_at;
  pointed_at.crl_urls = {"http://Crl.Example/Root.crl"};
  auto named = root_->issue(pointed_at);
  pointed_at.crl_issuer = "CN=Delegated CRL Authority,O=Orvel Test,C=RU";
  auto delegated = root_->issue(pointed_at);
  const std::pair<std::string, int> by_url[] = {{"HTTP://crl.EXAMPLE/Root.crl", 1},
                                                {"http://crl.example/root.crl", 0}};
  for (const auto& [url, expected] : by_url) {
    CrlOptions scoped;
    scoped.issuing_dp = "fullname:URI:" + url;
    orvel::X509CrlStackPtr one(sk_X509_CRL_new_null());
    sk_X509_CRL_push(one.get(), root_->crl(scoped).release());
    EXPECT_EQ(check_revoked_crl(named.cert.get(), one.get(), store.get(), 0, root_->cert()),
              expected)
        << url;
  }
  EXPECT_EQ(check_revoked_crl(delegated.cert.get(), crls.get(), store.get(), 0, root_->cert()), 0);
  EXPECT_TRUE(
      log_.contains("check_revoked_crl() 6 : CRL issued by 'CN=Orvel Test Root, O=Orvel "
                    "Test, C=RU' has the critical extension 1.3.6.1.4.1.99999.7"));
  // A CA whose key usage leaves out cRLSign signs no CRL.
  CertOptions ku;
  ku.key_usage = "critical,keyCertSign";
  Authority no_crl_sign = Authority::root("CN=No CRL Sign,O=Orvel Test,C=RU", ku);
  auto its = no_crl_sign.issue({});
  orvel::X509CrlStackPtr its_crls(sk_X509_CRL_new_null());
  sk_X509_CRL_push(its_crls.get(), no_crl_sign.crl({}).release());
  EXPECT_EQ(check_revoked_crl(its.cert.get(), its_crls.get(), store.get(), 0, no_crl_sign.cert()),
            0);
  EXPECT_TRUE(log_.contains(
      "verify_crl() 2.1 : the key usage of the crl-issuer does not allow signing crls"));
  EXPECT_EQ(check_revoked_crl(nullptr, crls.get(), store.get(), 0), 0);
  EXPECT_TRUE(log_.contains("check_revoked_crl() 1 : bad_args"));
}

// ---- every download scheme, good and revoked ----

enum class Scheme { kFile, kHttp, kFtp, kLdap };

class CertCheckScheme : public CertCheck, public ::testing::WithParamInterface<Scheme> {
 protected:
  // Serves a CRL under a name and returns its URL.
  std::string serve(const std::string& name, X509_CRL* crl) {
    publish(name, crl);
    switch (GetParam()) {
      case Scheme::kFile:
        return file_url(name);
      case Scheme::kHttp:
        if (!http_) http_ = std::make_unique<HttpServer>(www_.path());
        return http_->url(name);
      case Scheme::kFtp:
        if (!ftp_) ftp_ = std::make_unique<FtpServer>(www_.path());
        return ftp_->url(name);
      case Scheme::kLdap:
        ldap_.push_back(std::make_unique<FakeLdapServer>("certificateRevocationList;binary",
                                                         pki::crl_to_der(crl)));
        return ldap_.back()->url();
    }
    return "";
  }
  std::unique_ptr<HttpServer> http_;
  std::unique_ptr<FtpServer> ftp_;
  std::vector<std::unique_ptr<FakeLdapServer>> ldap_;
};

TEST_P(CertCheckScheme, GoodRevokedInBaseRevokedInDelta) {
  // The leaves are issued before the URLs are known: serial numbers first.
  CertOptions probe;
  auto placeholder = root_->issue(probe);
  (void)placeholder;
  long next = ASN1_INTEGER_get(X509_get0_serialNumber(placeholder.cert.get())) + 1;
  CrlOptions base;
  base.crl_number = 20;
  base.revoked.push_back({nullptr, next + 1});
  CrlOptions delta;
  delta.crl_number = 21;
  delta.delta_base = 20;
  delta.revoked.push_back({nullptr, next + 2});
  // The delta URL must be in the base CRL: for LDAP each CRL has its server.
  std::string delta_url = serve("delta.crl", root_->crl(delta).get());
  base.freshest_urls.push_back(delta_url);
  std::string base_url = serve("root.crl", root_->crl(base).get());

  CertOptions o;
  o.crl_urls.push_back(base_url);
  auto good = root_->issue(o);
  auto in_base = root_->issue(o);
  auto in_delta = root_->issue(o);
  ASSERT_EQ(ASN1_INTEGER_get(X509_get0_serialNumber(in_delta.cert.get())), next + 2);

  EXPECT_EQ(check(good.cert.get(), 1, 1), 1);
  EXPECT_EQ(check(in_base.cert.get(), 1, 1), 0);
  EXPECT_EQ(check(in_delta.cert.get(), 0, 1), 0);
  EXPECT_TRUE(
      log_.contains("download_crl_from_list() : downloading CRL from " + base_url + " ..."));
  EXPECT_TRUE(log_.contains("download_crl_from_list() : OK"));
}

TEST_P(CertCheckScheme, MissingCrlFallsBackToNothing) {
  CertOptions o;
  switch (GetParam()) {
    case Scheme::kFile:
      o.crl_urls.push_back(file_url("missing.crl"));
      break;
    case Scheme::kHttp:
      http_ = std::make_unique<HttpServer>(www_.path());
      o.crl_urls.push_back(http_->url("missing.crl"));
      break;
    case Scheme::kFtp:
      ftp_ = std::make_unique<FtpServer>(www_.path());
      o.crl_urls.push_back(ftp_->url("missing.crl"));
      break;
    case Scheme::kLdap:  // nothing listens there
      o.crl_urls.push_back("ldap://127.0.0.1:" + std::to_string(free_port()) +
                           "/cn=x?certificateRevocationList");
      break;
  }
  auto cert = root_->issue(o);
  EXPECT_EQ(check(cert.cert.get(), 0, 1), -1);
  EXPECT_TRUE(log_.contains("download_crl_from_list() : can't download CRL from " + o.crl_urls[0]));
}

INSTANTIATE_TEST_SUITE_P(Schemes, CertCheckScheme,
                         ::testing::Values(Scheme::kFile, Scheme::kHttp, Scheme::kFtp,
                                           Scheme::kLdap),
                         [](const auto& pi) {
                           switch (pi.param) {
                             case Scheme::kFile:
                               return std::string("file");
                             case Scheme::kHttp:
                               return std::string("http");
                             case Scheme::kFtp:
                               return std::string("ftp");
                             case Scheme::kLdap:
                               return std::string("ldap");
                           }
                           return std::string("x");
                         });

}  // namespace
}  // namespace orvel_test

namespace orvel_test {
namespace {

TEST(CertCheckStore, CallersStoreAndSignatureHelper) {
  TraceLog log;
  TempDir www;
  pki::Authority root = pki::Authority::root();
  pki::CertOptions o;
  o.crl_urls.push_back("file://" + www.file("root.crl"));
  auto cert = root.issue(o);
  pki::CrlOptions revoking;
  revoking.revoked.push_back({cert.cert.get()});
  write_file(www.file("root.crl"), pki::crl_to_der(root.crl(revoking).get()));
  TextList protos({"file"});
  orvel::X509StorePtr store(X509_STORE_new());
  EXPECT_EQ(verify_certificate_store(store.get(), cert.cert.get(), 0, 1, protos.get()), 0);
  X509_STORE_add_cert(store.get(), root.cert());
  EXPECT_EQ(verify_certificate_store(store.get(), cert.cert.get(), 0, 1, protos.get()), 1);
  EXPECT_EQ(verify_certificate_store(store.get(), cert.cert.get(), 1, 1, protos.get()), 0);
  EXPECT_TRUE(log.contains("verify_certificate_store() 9 : certificate has been revoked"));
  EXPECT_EQ(verify_certificate_store(store.get(), cert.cert.get(), 0, 0, protos.get()), 1);

  // A SHA-1 signature over data, made by the toolkit, verifies once.
  const std::string data = "signed bytes";
  orvel::EvpMdCtxPtr md(EVP_MD_CTX_new());
  unsigned char sig[512];
  unsigned int sig_len = 0;
  ASSERT_EQ(EVP_SignInit(md.get(), EVP_sha1()), 1);
  ASSERT_EQ(EVP_SignUpdate(md.get(), data.data(), data.size()), 1);
  ASSERT_EQ(EVP_SignFinal(md.get(), sig, &sig_len, cert.key.get()), 1);
  auto p = reinterpret_cast<const unsigned char*>(data.data());
  EXPECT_EQ(verify_signature(cert.cert.get(), p, static_cast<int>(data.size()), sig,
                             static_cast<int>(sig_len)),
            0);
  sig[0] ^= 1;
  EXPECT_EQ(verify_signature(cert.cert.get(), p, static_cast<int>(data.size()), sig,
                             static_cast<int>(sig_len)),
            -1);
  EXPECT_TRUE(log.contains("EVP_VerifyFinal() failed: "));
  EXPECT_EQ(verify_signature(nullptr, p, 1, sig, 1), -1);
  EXPECT_TRUE(log.contains("X509_get_pubkey() failed: "));
}

}  // namespace
}  // namespace orvel_test
