// Verification of enhanced signatures on stored material: archive stamps in
// time order, the status of chain certificates from stored CRLs, references
// against values, the attribute checks of an archive token's SignerInfo, the
// time-stamp authority's intermediate CAs, and the refusals of
// ssf_enhance_signatures.
#include <gtest/gtest.h>

#include <algorithm>

#include "cades_attr_ids.h"
#include "crl_stored.h"
#include "enhance_archive.h"
#include "enhance_material.h"
#include "enhance_seq_types.h"
#include "enhance_util.h"
#include "keys_test_env.h"
#include "operations.h"
#include "pkcs7/ess_attributes.h"
#include "verify_enh_archive.h"
#include "verify_enh_certs.h"
#include "verify_enh_hooks.h"
#include "verify_enh_status.h"
#include "verify_enhanced.h"

namespace enhance_test {
namespace {

using orvel_test::StartedLibrary;

constexpr time_t kT0 = 1800000000;  // 2027-01-15

long serial_of(const ArchiveStamp& s) { return ASN1_INTEGER_get(TS_TST_INFO_get_serial(s.tst.get())); }

Bytes der_of(const void* v, const ASN1_ITEM* it) {
  unsigned char* der = nullptr;
  const int n = ASN1_item_i2d(static_cast<const ASN1_VALUE*>(v), &der, it);
  Bytes out(der, der + (n > 0 ? n : 0));
  OPENSSL_free(der);
  return out;
}

// A SignerInfo of the leaf carrying the CAdES attributes an archive token's
// SignerInfo needs: signing certificate, certificate values and references,
// revocation values (CRLs of both CAs) and references.
class EnhancedSigner : public ::testing::Test {
 protected:
  void SetUp() override {
    p7_ = sign(pki_.leaf, "document");
    si_ = first_signer(p7_.get());
    ASSERT_EQ(PKCS7_add_ESSSigningCertV2_attribute(si_, pki_.leaf.cert.get(), EVP_sha256()), 1);
    pki::CrlOptions o;
    inter_crl_ = pki_.inter.crl(o);
    root_crl_ = pki_.root.crl(o);
  }
  // Writes the values and references; crls as given.
  void attach(std::vector<X509_CRL*> crls, std::initializer_list<X509*> certs) {
    orvel::RevocationValuesPtr vals(ssf_REVOCATION_VALUES_new());
    orvel::CompleteRevocationRefsPtr refs(ssf_COMPLETE_REVOCATION_REFS_new());
    for (X509_CRL* c : crls) {
      X509_CRL_up_ref(c);
      sk_X509_CRL_push(vals->crlVals, c);
      sk_CRL_VALIDATED_ID_push(refs->crlOcspRefs->crlids->crls, make_crl_id(c, EVP_sha256()));
    }
    set_attr(si_, cades::kNidRevocationValues, der_of(vals.get(), ASN1_ITEM_rptr(REVOCATION_VALUES)));
    set_attr(si_, cades::kNidRevocationRefs,
             der_of(refs.get(), ASN1_ITEM_rptr(COMPLETE_REVOCATION_REFS)));
    set_attr(si_, cades::kNidCertValues, certificates_der(certs));
    orvel::OtherCertIdStackPtr ids(sk_OTHERCERTID_new_null());
    for (X509* c : certs)
      if (X509_cmp(c, pki_.leaf.cert.get()) != 0)
        sk_OTHERCERTID_push(ids.get(), PKCS7_make_other_cert_id(c, EVP_sha256()));
    set_attr(si_, cades::kNidCertificateRefs, der_of(ids.get(), ASN1_ITEM_rptr(SSF_OTHERCERTIDS)));
  }
  void attach_default() {
    attach({inter_crl_.get(), root_crl_.get()},
           {pki_.leaf.cert.get(), pki_.inter.cert(), pki_.root.cert()});
  }
  int verify_attributes() {
    orvel::Asn1TimePtr now(ASN1_GENERALIZEDTIME_set(nullptr, time(nullptr)));
    return verify_archive_timestamp_rev_status(si_, now.get(), nullptr);
  }

  StartedLibrary lib_;
  Chain pki_;
  orvel::Pkcs7Ptr p7_;
  PKCS7_SIGNER_INFO* si_ = nullptr;
  orvel::X509CrlPtr inter_crl_, root_crl_;
};

TEST_F(EnhancedSigner, ArchiveTokenAttributesVerifyOnStoredCrls) {
  attach_default();
  EXPECT_EQ(verify_attributes(), 0) << lib_.log();
  EXPECT_TRUE(lib_.logged("get_cert_status() : OCSP URL NOT found in certificate"));
}

TEST_F(EnhancedSigner, NotEnhancedWithoutTheValues) {
  EXPECT_EQ(verify_attributes(), 118);
  EXPECT_TRUE(lib_.logged("VerifyEnhancedSignatureAttributes() 0.2 : it is not enhanced signature"));
}

TEST_F(EnhancedSigner, RevokedSignerInTheStoredCrl) {
  pki::CrlOptions o;
  o.revoked.push_back({pki_.leaf.cert.get()});
  orvel::X509CrlPtr revoking = pki_.inter.crl(o);
  attach({revoking.get(), root_crl_.get()},
         {pki_.leaf.cert.get(), pki_.inter.cert(), pki_.root.cert()});
  EXPECT_EQ(verify_attributes(), 107);
  EXPECT_TRUE(lib_.logged("get_cert_status() 17 : certificate found in CRL, certificate is invalid"));
}

TEST_F(EnhancedSigner, DeltaCrlAfterTheFirstRevokesOrReleasesAHold) {
  pki::CrlOptions d;
  d.revoked.push_back({pki_.leaf.cert.get()});
  d.crl_number = 2;
  d.delta_base = 1;
  orvel::X509CrlPtr delta = pki_.inter.crl(d);
  const std::initializer_list<X509*> certs = {pki_.leaf.cert.get(), pki_.inter.cert(),
                                              pki_.root.cert()};
  attach({inter_crl_.get(), delta.get(), root_crl_.get()}, certs);
  EXPECT_EQ(verify_attributes(), 107);

  // A delta entry removeFromCRL takes the base's hold off; it releases no
  // other revocation.
  d.revoked = {{pki_.leaf.cert.get(), 0, -3600, CRL_REASON_REMOVE_FROM_CRL}};
  orvel::X509CrlPtr release = pki_.inter.crl(d);
  pki::CrlOptions b;
  b.revoked = {{pki_.leaf.cert.get(), 0, -7200, CRL_REASON_CERTIFICATE_HOLD}};
  orvel::X509CrlPtr hold = pki_.inter.crl(b);
  attach({hold.get(), release.get(), root_crl_.get()}, certs);
  EXPECT_EQ(verify_attributes(), 0) << lib_.log();
  b.revoked[0].reason = CRL_REASON_KEY_COMPROMISE;
  orvel::X509CrlPtr compromised = pki_.inter.crl(b);
  attach({compromised.get(), release.get(), root_crl_.get()}, certs);
  EXPECT_EQ(verify_attributes(), 107);
  // Nor does a delta with a critical extension that is not processed.
  d.critical_oid = "1.3.6.1.4.1.99999.7";
  orvel::X509CrlPtr odd_release = pki_.inter.crl(d);
  attach({hold.get(), odd_release.get(), root_crl_.get()}, certs);
  EXPECT_EQ(verify_attributes(), 107);
}

TEST_F(EnhancedSigner, NoCrlOfTheIssuerIsUnknown) {
  attach({root_crl_.get()}, {pki_.leaf.cert.get(), pki_.inter.cert(), pki_.root.cert()});
  EXPECT_EQ(verify_attributes(), 107);
  EXPECT_TRUE(lib_.logged("get_cert_status() 18 : revocation info not found for certificate '"));
  // The issuer's CRL of CA certificates only is none for the signer.
  pki::CrlOptions arl;
  arl.issuing_dp = "onlyCA:TRUE";
  orvel::X509CrlPtr ca_only = pki_.inter.crl(arl);
  attach({ca_only.get(), root_crl_.get()},
         {pki_.leaf.cert.get(), pki_.inter.cert(), pki_.root.cert()});
  EXPECT_EQ(verify_attributes(), 107);
  EXPECT_TRUE(lib_.logged("get_cert_status() 20 : CRL issued by '"));
  // The signer names no point: the CRL of one part of a split list is none
  // for it, and one with an unknown critical extension clears nothing.
  pki::CrlOptions part, unknown;
  part.issuing_dp = "fullname:URI:http://127.0.0.1:1/part2.crl";
  unknown.critical_oid = "1.3.6.1.4.1.99999.7";
  for (const pki::CrlOptions* o : {&part, &unknown}) {
    orvel::X509CrlPtr crl = pki_.inter.crl(*o);
    attach({crl.get(), root_crl_.get()},
           {pki_.leaf.cert.get(), pki_.inter.cert(), pki_.root.cert()});
    EXPECT_EQ(verify_attributes(), 107);
    // The issuer's next complete CRL decides in its place.
    attach({crl.get(), inter_crl_.get(), root_crl_.get()},
           {pki_.leaf.cert.get(), pki_.inter.cert(), pki_.root.cert()});
    EXPECT_EQ(verify_attributes(), 0) << lib_.log();
  }
  EXPECT_TRUE(
      lib_.logged("get_cert_status() 21 : CRL issued by 'CN=Enhance CA, O=Orvel Test, "
                  "C=RU' has the critical extension 1.3.6.1.4.1.99999.7, which is not "
                  "processed"));
  // A CRL that names a delta CRL clears only beside a stored delta CRL that
  // follows it: a signer may not leave out the delta that lists him.
  pki::CrlOptions base, delta, older;
  base.freshest_urls = {"http://127.0.0.1:1/delta.crl"};
  base.crl_number = 5;
  delta.crl_number = 6;
  delta.delta_base = 5;
  older.crl_number = 4;
  older.delta_base = 3;
  orvel::X509CrlPtr named = pki_.inter.crl(base), following = pki_.inter.crl(delta),
                    stale = pki_.inter.crl(older);
  const std::initializer_list<X509*> certs = {pki_.leaf.cert.get(), pki_.inter.cert(),
                                              pki_.root.cert()};
  attach({named.get(), root_crl_.get()}, certs);
  EXPECT_EQ(verify_attributes(), 107);
  attach({named.get(), stale.get(), root_crl_.get()}, certs);
  EXPECT_EQ(verify_attributes(), 107);
  EXPECT_TRUE(lib_.logged("names a delta crl, and no valid delta crl that follows it is at hand"));
  attach({named.get(), following.get(), root_crl_.get()}, certs);
  EXPECT_EQ(verify_attributes(), 0) << lib_.log();
}

// Both stored roads (the signer's chain, a time-stamp authority's chain)
// read the stored CRLs by one rule, in any order: every current CRL of the
// issuer that lists the signer revokes, whatever its scope; a complete CRL
// that may clear, current at the time, clears.
TEST_F(EnhancedSigner, StoredCrlsReadByOneRuleInAnyOrder) {
  X509* leaf = pki_.leaf.cert.get();
  auto entry = [leaf](int reason) { return pki::Revoked{leaf, 0, -7200, reason}; };
  pki::CrlOptions clean, expired, some_reasons, held, newer, twice, release, rival, silent, early,
      late;
  expired.last_update = -10 * pki::kDay;
  expired.next_update = -pki::kDay;
  some_reasons.issuing_dp = "onlysomereasons:keyCompromise";
  some_reasons.revoked = {{leaf}};
  held.revoked = {entry(CRL_REASON_CERTIFICATE_HOLD)};
  newer.crl_number = 3;
  twice.revoked = {entry(CRL_REASON_CERTIFICATE_HOLD), entry(CRL_REASON_REMOVE_FROM_CRL)};
  release.crl_number = 2;
  release.delta_base = 1;
  release.revoked = {entry(CRL_REASON_REMOVE_FROM_CRL)};
  rival.crl_number = 2;  // the release's number again, listing nothing
  rival.delta_base = 1;
  silent.crl_number = 3;  // a newer delta of the same base: the hold stands again
  silent.delta_base = 1;
  // Issued after the time the CRLs are judged at, within max_tsp_ocsp_diff
  // (60 s) and beyond it.
  early.last_update = 30;
  late.last_update = 120;
  struct Row {
    const char* what;
    std::vector<const pki::CrlOptions*> crls;
    bool clear;
  };
  const Row rows[] = {
      {"a CRL of some reasons lists the signer", {&clean, &some_reasons}, false},
      {"an expired CRL beside a current one", {&expired, &clean}, true},
      {"a released hold beside another complete CRL", {&held, &release, &newer}, true},
      {"a hold and removeFromCRL in one complete CRL", {&twice, &release}, false},
      {"a newer delta no longer lists the release", {&held, &release, &silent}, false},
      {"a delta of the release's number does not list it", {&held, &release, &rival}, false},
      {"issued within max_tsp_ocsp_diff after the time", {&early}, true},
      {"issued later than that", {&late}, false},
  };
  orvel::X509StorePtr store = store_of({pki_.root.cert(), pki_.inter.cert()});
  for (const Row& row : rows) {
    std::vector<orvel::X509CrlPtr> made;
    for (const pki::CrlOptions* o : row.crls) made.push_back(pki_.inter.crl(*o));
    for (bool reversed : {false, true}) {
      SCOPED_TRACE(std::string(row.what) + (reversed ? ", reversed" : ""));
      std::vector<X509_CRL*> crls;
      for (const orvel::X509CrlPtr& c : made) crls.push_back(c.get());
      if (reversed) std::reverse(crls.begin(), crls.end());
      orvel::X509CrlStackPtr stack(sk_X509_CRL_new_null());
      for (X509_CRL* c : crls) sk_X509_CRL_push(stack.get(), X509_CRL_dup(c));
      crls.push_back(root_crl_.get());
      attach(crls, {leaf, pki_.inter.cert(), pki_.root.cert()});
      EXPECT_EQ(verify_attributes(), row.clear ? 0 : 107) << lib_.log();
      EXPECT_EQ(check_revoked_crl(leaf, stack.get(), store.get(), time(nullptr), pki_.inter.cert()),
                row.clear ? 1 : 0);
    }
  }
}

TEST_F(EnhancedSigner, ReferencesMustMatchValues) {
  attach_default();
  // The references name a CRL the values do not carry.
  pki::CrlOptions o;
  o.crl_number = 9;
  orvel::X509CrlPtr other = pki_.root.crl(o);
  orvel::CompleteRevocationRefsPtr refs(ssf_COMPLETE_REVOCATION_REFS_new());
  sk_CRL_VALIDATED_ID_push(refs->crlOcspRefs->crlids->crls, make_crl_id(other.get(), EVP_sha256()));
  set_attr(si_, cades::kNidRevocationRefs,
           der_of(refs.get(), ASN1_ITEM_rptr(COMPLETE_REVOCATION_REFS)));
  EXPECT_EQ(check_rev_and_cert_refs_and_vals(si_), 119);
  EXPECT_TRUE(lib_.logged("check_rev_and_cert_refs_and_vals() 4 : CRL not found for crlid #0"));
  EXPECT_EQ(verify_attributes(), 119);
  // References that do not decode.
  set_attr(si_, cades::kNidRevocationRefs, Bytes{0x30, 0x01, 0x05});
  EXPECT_EQ(check_rev_and_cert_refs_and_vals(si_), 119);
}

TEST_F(EnhancedSigner, MissingCertValuesIs116) {
  attach_default();
  X509_ATTRIBUTE_free(X509at_delete_attr(
      si_->unauth_attr, X509at_get_attr_by_NID(si_->unauth_attr, cades::kNidCertValues, -1)));
  // Not enhanced any more: the certificate values belong to the set.
  EXPECT_EQ(verify_attributes(), 118);
  set_attr(si_, cades::kNidCertValues, Bytes{0x30, 0x00});
  EXPECT_EQ(verify_attributes(), 110);  // no signer among empty values
  set_attr(si_, cades::kNidCertValues, Bytes{0x31, 0x00});
  EXPECT_EQ(verify_attributes(), 116);
}

TEST_F(EnhancedSigner, StoredCertificateOutsideItsValidityIs4) {
  pki::CertOptions o;
  o.subject = "CN=Expired,O=Orvel Test,C=RU";
  o.not_before = -10 * pki::kDay;
  o.not_after = -pki::kDay;
  pki::Issued expired = pki_.root.issue(o);
  attach({inter_crl_.get(), root_crl_.get()},
         {pki_.leaf.cert.get(), pki_.inter.cert(), pki_.root.cert(), expired.cert.get()});
  EXPECT_EQ(verify_attributes(), 4);
  EXPECT_TRUE(lib_.logged("VerifyEnhancedSignatureAttributes() 7 : not all certificates are valid"));
}

TEST_F(EnhancedSigner, SigningCertificateOfAnotherSignerIs110) {
  attach_default();
  orvel::Pkcs7Ptr other = sign(pki_.tsa, "document");
  PKCS7_SIGNER_INFO* osi = first_signer(other.get());
  ASSERT_EQ(PKCS7_add_ESSSigningCertV2_attribute(osi, pki_.tsa.cert.get(), EVP_sha256()), 1);
  // The tsa's SignerInfo with the leaf's values: its signer is not among them.
  for (int nid : {cades::kNidRevocationValues, cades::kNidRevocationRefs, cades::kNidCertValues,
                  cades::kNidCertificateRefs}) {
    const ASN1_STRING* v = enhance_sequence_value(get_raw_attribute(si_->unauth_attr, nid));
    set_attr(osi, nid, Bytes(ASN1_STRING_get0_data(v), ASN1_STRING_get0_data(v) + ASN1_STRING_length(v)));
  }
  orvel::Asn1TimePtr now(ASN1_GENERALIZEDTIME_set(nullptr, time(nullptr)));
  EXPECT_EQ(verify_archive_timestamp_rev_status(osi, now.get(), nullptr), 110);
}

TEST_F(EnhancedSigner, TsaIntermediateNeedsAStoredCrl) {
  orvel::X509StackPtr two = stack_of({pki_.tsa.cert.get(), pki_.root.cert()});
  orvel::X509StorePtr store = store_of({pki_.root.cert(), pki_.inter.cert()});
  EXPECT_EQ(verify_signature_timestamp_rev_status(si_, two.get(), store.get(), nullptr), 0);
  EXPECT_EQ(verify_signature_timestamp_rev_status(nullptr, two.get(), store.get(), nullptr), 28);
  orvel::X509StackPtr three =
      stack_of({pki_.leaf.cert.get(), pki_.inter.cert(), pki_.root.cert()});
  EXPECT_EQ(verify_signature_timestamp_rev_status(si_, three.get(), store.get(), nullptr), 114);
  EXPECT_TRUE(lib_.logged("verify_signature_timestamp_rev_status() 2 : no revocation values found"));
  attach({inter_crl_.get()}, {pki_.leaf.cert.get(), pki_.inter.cert(), pki_.root.cert()});
  EXPECT_EQ(verify_signature_timestamp_rev_status(si_, three.get(), store.get(), nullptr), 114);
  EXPECT_TRUE(lib_.logged("revocation check failed for intermediate CA #1"));
  attach({inter_crl_.get(), root_crl_.get()},
         {pki_.leaf.cert.get(), pki_.inter.cert(), pki_.root.cert()});
  EXPECT_EQ(verify_signature_timestamp_rev_status(si_, three.get(), store.get(), nullptr), 0);
  pki::CrlOptions o;
  o.revoked.push_back({pki_.inter.cert()});
  orvel::X509CrlPtr revoking = pki_.root.crl(o);
  attach({revoking.get()}, {pki_.leaf.cert.get(), pki_.inter.cert(), pki_.root.cert()});
  EXPECT_EQ(verify_signature_timestamp_rev_status(si_, three.get(), store.get(), nullptr), 114);
}

// ---- archive stamps ----

class ArchiveOrder : public ::testing::Test {
 protected:
  void add(time_t t, long serial) {
    append_attr(si_, enhance_archive_nid(), make_token(pki_.tsa, Bytes{1, 2, 3}, t, serial));
  }
  std::vector<long> order() {
    std::vector<ArchiveStamp> stamps;
    EXPECT_EQ(get_arch_timestamps(si_, &stamps), 1);
    std::vector<long> serials;
    for (const auto& s : stamps) serials.push_back(serial_of(s));
    return serials;
  }
  StartedLibrary lib_;
  Chain pki_;
  orvel::Pkcs7Ptr p7_ = sign(pki_.leaf, "document");
  PKCS7_SIGNER_INFO* si_ = first_signer(p7_.get());
};

TEST_F(ArchiveOrder, SortedByGenTimeWhateverTheStoredOrder) {
  EXPECT_TRUE(order().empty());
  const std::vector<std::vector<int>> orders = {{0, 1, 2}, {2, 1, 0}, {1, 2, 0}, {2, 0, 1}};
  for (const auto& o : orders) {
    p7_ = sign(pki_.leaf, "document");
    si_ = first_signer(p7_.get());
    for (int k : o) add(kT0 + 60 * k, 100 + k);
    EXPECT_EQ(order(), (std::vector<long>{100, 101, 102}));
  }
}

TEST_F(ArchiveOrder, EqualTimesLaterFoundFirst) {
  add(kT0, 1);
  add(kT0 + 5, 2);
  add(kT0, 3);
  EXPECT_EQ(order(), (std::vector<long>{3, 1, 2}));
}

TEST_F(ArchiveOrder, UndecodableStampFailsTheList) {
  add(kT0, 1);
  append_attr(si_, enhance_archive_nid(), Bytes{0x30, 0x03, 0x02, 0x01, 0x01});
  std::vector<ArchiveStamp> stamps;
  EXPECT_EQ(get_arch_timestamps(si_, &stamps), 0);
  EXPECT_TRUE(stamps.empty());
  EXPECT_TRUE(lib_.logged("get_arch_timestamps() 2 : d2i_PKCS7() failed"));
  // A token that is signed data but holds no TSTInfo.
  p7_ = sign(pki_.leaf, "document");
  si_ = first_signer(p7_.get());
  append_attr(si_, enhance_archive_nid(),
              orvel_test::to_der(sign(pki_.tsa, "not a TSTInfo").get(), i2d_PKCS7));
  EXPECT_EQ(get_arch_timestamps(si_, &stamps), 0);
  EXPECT_TRUE(lib_.logged("get_arch_timestamps() 3 : PKCS7_to_TS_TST_INFO() failed, bad timestamp"));
  ASN1_GENERALIZEDTIME* oldest = nullptr;
  EXPECT_EQ(VerifyAllArchiveTimestamps(p7_.get(), nullptr, si_, nullptr, &oldest), 28);
  EXPECT_EQ(oldest, nullptr);
}

TEST_F(ArchiveOrder, StampInputCoversContentCertificatesAndSignerInfo) {
  std::vector<unsigned char> tbs;
  ASSERT_EQ(get_arch_timestamp_tbs(p7_.get(), nullptr, si_, &tbs), 1);
  const Bytes content = orvel_test::to_der(p7_->d.sign->contents, i2d_PKCS7);
  const Bytes certs = certificates_der({pki_.leaf.cert.get()});
  const Bytes signer = orvel_test::to_der(si_, i2d_PKCS7_SIGNER_INFO);
  EXPECT_EQ(Bytes(tbs.begin(), tbs.end()), orvel_test::cat({content, certs, signer}));
  // Detached: the data read again from the start of the stream's source.
  orvel::Pkcs7Ptr d = sign(pki_.leaf, "detached data", true);
  BIO* mem = BIO_new_mem_buf("detached data", 13);
  orvel::BioPtr chain(PKCS7_dataInit(d.get(), mem));
  char buf[64];
  while (BIO_read(chain.get(), buf, sizeof buf) > 0) {
  }
  ASSERT_EQ(get_arch_timestamp_tbs(d.get(), chain.get(), first_signer(d.get()), &tbs), 1);
  const Bytes dcontent = orvel_test::to_der(d->d.sign->contents, i2d_PKCS7);
  const std::string data = "detached data";
  EXPECT_EQ(Bytes(tbs.begin(), tbs.begin() + static_cast<long>(dcontent.size() + data.size())),
            orvel_test::cat({dcontent, Bytes(data.begin(), data.end())}));
  EXPECT_EQ(get_arch_timestamp_tbs(d.get(), nullptr, first_signer(d.get()), &tbs), 0);
}

// ---- ssf_enhance_signatures refusals ----

class EnhanceRefusals : public ::testing::Test {
 protected:
  int run(const Bytes& der, const std::string& data, SigRcpSsfInformationList* results) {
    unsigned char* out = nullptr;
    SsfInt out_len = 0;
    const int rc = ssf_enhance_signatures(
        nullptr, 0, der.data(), static_cast<SsfInt>(der.size()),
        reinterpret_cast<const unsigned char*>(data.data()), static_cast<SsfInt>(data.size()),
        results, &out, &out_len);
    EXPECT_EQ(out, nullptr);
    OPENSSL_free(out);
    return rc;
  }
  StartedLibrary lib_;
  Chain pki_;
};

TEST_F(EnhanceRefusals, InputChecks) {
  SigRcpSsfInformationList results = nullptr;
  EXPECT_EQ(run(Bytes{0x30, 0x03, 0x01, 0x01}, "", &results), 12);
  EXPECT_TRUE(lib_.logged("ssf_enhance_signatures() 1 : d2i_X509() failed"));
  orvel::Pkcs7Ptr data(PKCS7_new());
  PKCS7_set_type(data.get(), NID_pkcs7_data);
  EXPECT_EQ(run(orvel_test::to_der(data.get(), i2d_PKCS7), "", &results), 12);
  EXPECT_TRUE(lib_.logged("ssf_enhance_signatures() 2 : it is not PKCS7-Signed"));
  const Bytes detached = orvel_test::to_der(sign(pki_.leaf, "abc", true).get(), i2d_PKCS7);
  EXPECT_EQ(run(detached, "", &results), 3);
  EXPECT_TRUE(lib_.logged("ssf_enhance_signatures() 3 : original data not provided"));
  const Bytes attached = orvel_test::to_der(sign(pki_.leaf, "abc").get(), i2d_PKCS7);
  EXPECT_EQ(run(attached, "abd", &results), 3);
  EXPECT_EQ(run(attached, "abcd", &results), 3);
  EXPECT_TRUE(lib_.logged("ssf_enhance_signatures() 4 : provided and attached datasets are different"));
  orvel::Pkcs7Ptr empty(PKCS7_new());
  PKCS7_set_type(empty.get(), NID_pkcs7_signed);
  PKCS7_content_new(empty.get(), NID_pkcs7_data);
  EXPECT_EQ(run(orvel_test::to_der(empty.get(), i2d_PKCS7), "", &results), 12);
  EXPECT_TRUE(lib_.logged("ssf_enhance_signatures() 5 : no signer info found"));
  EXPECT_EQ(results, nullptr);
}

TEST_F(EnhanceRefusals, SignatureThatDoesNotVerifyIsNotEnhanced) {
  orvel::Pkcs7Ptr p7 = sign(pki_.leaf, "abc", true);
  const Bytes der = orvel_test::to_der(p7.get(), i2d_PKCS7);
  SigRcpSsfInformationList results = nullptr;
  EXPECT_EQ(run(der, "abX", &results), 5);
  ASSERT_NE(results, nullptr);
  EXPECT_EQ(results->ptrSigRcp->uResult, 27);
  EXPECT_TRUE(lib_.logged("ssf_enhance_signatures() 8 : PKCS7_signatureVerify() failed for signer #0"));
  SsfDELSigRcpSsfInfoList(&results);
}

}  // namespace
}  // namespace enhance_test
