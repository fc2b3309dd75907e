// Enhanced signatures end to end: SsfSign in "CADES_XLT1" against a
// loopback time-stamp service (openssl ts -reply) and an OCSP responder of
// the test's own, SsfVerify and SsfEnhanceSignatures of the result, and the
// verification of damaged variants.
#include <gtest/gtest.h>
#include <openssl/ocsp.h>
#include <openssl/x509v3.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <set>
#include <thread>

#include "cades_attr_ids.h"
#include "codes.h"
#include "enhance_archive.h"
#include "enhance_material.h"
#include "enhance_seq_types.h"
#include "enhance_util.h"
#include "gost_pki.h"
#include "keys_test_env.h"
#include "orvel_ssf.h"
#include "pkcs7/ess_attributes.h"
#include "settings.h"
#include "sign_enhance.h"
#include "test_ocsp_tsa.h"
#include "tsp_client.h"
#include "tsp_test_env.h"
#include "verify_enh_archive.h"
#include "verify_enhanced.h"

namespace enhance_test {
namespace {

using orvel_test::read_file;
using orvel_test::StartedLibrary;
using orvel_test::TempDir;
using orvel_test::write_file;

const std::string kDoc = "An enhanced document.\n";

long next_serial() {
  static long serial = 7000;
  return ++serial;
}

// A certificate issued by ca with the extensions given as configuration
// texts (for example "critical,timeStamping" for extendedKeyUsage).
pki::Issued issue(const pki::Authority& ca, const std::string& cn,
                  const std::vector<std::pair<int, std::string>>& exts) {
  pki::Issued out;
  out.key = pki::make_rsa_key();
  out.cert.reset(X509_new());
  X509* c = out.cert.get();
  X509_set_version(c, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(c), next_serial());
  orvel::X509NamePtr name(X509_NAME_new());
  X509_NAME_add_entry_by_txt(name.get(), "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>(cn.c_str()), -1, -1, 0);
  X509_NAME_add_entry_by_txt(name.get(), "O", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("Orvel Test"), -1, -1, 0);
  X509_set_subject_name(c, name.get());
  X509_set_issuer_name(c, X509_get_subject_name(ca.cert()));
  X509_gmtime_adj(X509_getm_notBefore(c), -pki::kDay);
  X509_gmtime_adj(X509_getm_notAfter(c), 300 * pki::kDay);
  X509_set_pubkey(c, out.key.get());
  X509V3_CTX ctx;
  X509V3_set_ctx(&ctx, ca.cert(), c, nullptr, nullptr, 0);
  for (const auto& [nid, value] : exts) {
    X509_EXTENSION* e = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.c_str());
    EXPECT_NE(e, nullptr) << value;
    X509_add_ext(c, e, -1);
    X509_EXTENSION_free(e);
  }
  EXPECT_GT(X509_sign(c, ca.key(), EVP_sha256()), 0);
  return out;
}

// An OCSP responder answering from a set of revoked serials, signing with a
// delegated responder certificate (issued by signer_ca when given).
class Responder {
 public:
  // What a flawed responder does to its answers: another status of the
  // OCSPResponse (the basic response still inside), or an unknown critical
  // extension on the response data or on the SingleResponse.
  struct Flaw {
    int status = OCSP_RESPONSE_STATUS_SUCCESSFUL;
    bool critical_on_data = false, critical_on_single = false;
  };
  Flaw flaw;

  Responder(const pki::Authority& ca, std::set<long>* revoked,
            const pki::Authority* signer_ca = nullptr)
      : ca_(ca),
        signer_(issue(signer_ca ? *signer_ca : ca, "Enhance OCSP",
                      {{NID_ext_key_usage, "OCSPSigning"}, {NID_id_pkix_OCSP_noCheck, "ignored"}})),
        revoked_(revoked),
        server_([this](const std::string& req) { return answer(req); }) {}
  std::string url() const { return server_.url("/ocsp"); }
  int requests() const { return static_cast<int>(server_.requests().size()); }
  // A signed answer about cert with the status, made now.
  orvel::OcspBasicRespPtr basic(X509* cert, int status) const { return basic(cert, status, {}); }
  orvel::OcspBasicRespPtr basic(X509* cert, int status, const Flaw& f) const {
    OCSP_CERTID* id = OCSP_cert_to_id(EVP_sha1(), cert, ca_.cert());
    orvel::OcspBasicRespPtr bs = basic_of(id, status, f);
    OCSP_CERTID_free(id);
    return bs;
  }

 private:
  orvel::OcspBasicRespPtr basic_of(OCSP_CERTID* id, int status, const Flaw& f) const {
    orvel::OcspBasicRespPtr bs(OCSP_BASICRESP_new());
    orvel::Asn1TimePtr now(X509_gmtime_adj(nullptr, 0));
    orvel::Asn1TimePtr next(X509_gmtime_adj(nullptr, pki::kDay));
    OCSP_SINGLERESP* single = OCSP_basic_add1_status(
        bs.get(), id, status, OCSP_REVOKED_STATUS_KEYCOMPROMISE,
        status == V_OCSP_CERTSTATUS_REVOKED ? now.get() : nullptr, now.get(), next.get());
    const orvel::X509ExtensionPtr ext = pki::unknown_critical("1.3.6.1.4.1.99999.7");
    if (f.critical_on_data) OCSP_BASICRESP_add_ext(bs.get(), ext.get(), -1);
    if (f.critical_on_single) OCSP_SINGLERESP_add_ext(single, ext.get(), -1);
    OCSP_basic_sign(bs.get(), signer_.cert.get(), signer_.key.get(), EVP_sha256(), nullptr, 0);
    return bs;
  }

  std::string answer(const std::string& request) {
    const std::string body = orvel_test::http_body(request);
    const unsigned char* p = reinterpret_cast<const unsigned char*>(body.data());
    std::unique_ptr<OCSP_REQUEST, orvel::Free<OCSP_REQUEST, OCSP_REQUEST_free>> req(
        d2i_OCSP_REQUEST(nullptr, &p, static_cast<long>(body.size())));
    if (!req || OCSP_request_onereq_count(req.get()) < 1) return "HTTP/1.0 400 Bad\r\n\r\n";
    OCSP_CERTID* cid = OCSP_onereq_get0_id(OCSP_request_onereq_get0(req.get(), 0));
    ASN1_INTEGER* serial = nullptr;
    OCSP_id_get0_info(nullptr, nullptr, nullptr, &serial, cid);
    const int status = revoked_->count(ASN1_INTEGER_get(serial)) ? V_OCSP_CERTSTATUS_REVOKED
                                                                 : V_OCSP_CERTSTATUS_GOOD;
    orvel::OcspBasicRespPtr bs = basic_of(cid, status, flaw);
    std::unique_ptr<OCSP_RESPONSE, orvel::Free<OCSP_RESPONSE, OCSP_RESPONSE_free>> resp(
        OCSP_response_create(flaw.status, bs.get()));
    const Bytes der = orvel_test::to_der(resp.get(), i2d_OCSP_RESPONSE);
    return orvel_test::http_ok("application/ocsp-response", std::string(der.begin(), der.end()));
  }

  const pki::Authority& ca_;
  pki::Issued signer_;
  std::set<long>* revoked_;
  orvel_test::RecordingHttpServer server_;
};

class EnhanceEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    responder_ = std::make_unique<Responder>(root_, &revoked_);
    tsa_ = issue(root_, "Enhance TSA", {{NID_ext_key_usage, "critical,timeStamping"}});
    signer_ = issue(root_, "Enhance Signer",
                    {{NID_info_access, "OCSP;URI:" + responder_->url()},
                     {NID_key_usage, "digitalSignature,nonRepudiation"}});
    const std::string root_pem = dir_.file("root.pem");
    write_file(root_pem, pki::to_pem(root_.cert()));
    write_file(dir_.file("tsa.pem"), pki::to_pem(tsa_.cert.get()));
    write_file(dir_.file("tsa.key"), pki::key_to_pem(tsa_.key.get()));
    write_file(dir_.file("signer.pem"), pki::to_pem(signer_.cert.get()));
    write_file(dir_.file("signer.key"), pki::key_to_pem(signer_.key.get()));
    write_file(dir_.file("tsaserial"), "01\n");
    write_file(dir_.file("ts.cnf"), "[ tsa ]\ndefault_tsa = tsa_config1\n[ tsa_config1 ]\n"
                                    "dir = " + dir_.path() + "\nserial = $dir/tsaserial\n"
                                    "signer_cert = $dir/tsa.pem\nsigner_key = $dir/tsa.key\n"
                                    "signer_digest = sha256\ndefault_policy = 1.2.3.4.1\n"
                                    "digests = sha1, sha256\naccuracy = secs:1\n"
                                    "ess_cert_id_alg = sha1\n");
    tsa_server_ = std::make_unique<orvel_test::TsaServer>(dir_.path(), dir_.file("ts.cnf"));
    pab_ = dir_.file("pab");
    orvel_test::run_command("mkdir -p '" + pab_ + "'");
    write_file(pab_ + "/root.pem", pki::to_pem(root_.cert()));
    // A fixture of its own authority names it for both digest families.
    const std::string tsp = tsp_url_.empty() ? "tsp_server = " + tsa_server_->url()
                                             : "tsp_server = " + tsp_url_ +
                                                   "\ntsp_server_2012 = " + tsp_url_;
    lib_ = std::make_unique<StartedLibrary>("ca_file = " + root_pem + "\n" + common_extra_ +
                                            "[cades]\n" + tsp + "\nmax_ocsp_age = 60\n" +
                                            cades_extra_);
  }

  std::string profile() const {
    return profile_time_ + "certfile=" + dir_.file("signer.pem") + ",keyfile=" +
           dir_.file("signer.key");
  }

  // SsfSign of the document in the format; the signer's result out.
  std::string sign(const std::string& format, int* result, int expected_rc = 0) {
    return sign_as(enhance_subject(signer_.cert.get()), profile(), format, result, expected_rc);
  }
  std::string sign_as(const std::string& id, const std::string& prof, const std::string& format,
                      int* result, int expected_rc = 0) {
    SigRcpSsfInfo* rec = nullptr;
    EXPECT_EQ(SsfNEWSigRcpSsfInfo(id.data(), static_cast<SsfInt>(id.size()), nullptr, 0,
                                  prof.data(), static_cast<SsfInt>(prof.size()), nullptr, 0, 28,
                                  &rec),
              0);
    SigRcpSsfInformationList list = nullptr;
    EXPECT_EQ(SsfINSSigRcpSsfInfo(rec, &list), 0);
    const Bytes input = data_content_info(kDoc);
    unsigned char* out = nullptr;
    SsfInt out_len = 0;
    const std::string hash = "SHA1";
    EXPECT_EQ(SsfSign(format.data(), static_cast<SsfInt>(format.size()), hash.data(),
                      static_cast<SsfInt>(hash.size()), 1, 0, input.data(),
                      static_cast<SsfInt>(input.size()), list, &out, &out_len),
              expected_rc)
        << lib_->log();
    *result = rec->uResult;
    std::string der(reinterpret_cast<char*>(out), out ? static_cast<size_t>(out_len) : 0);
    SsfDELSsfOctetstring(&out, &out_len);
    SsfDELSigRcpSsfInfoList(&list);
    return der;
  }

  static Bytes data_content_info(const std::string& text) {
    orvel::Pkcs7Ptr p7(PKCS7_new());
    PKCS7_set_type(p7.get(), NID_pkcs7_data);
    ASN1_OCTET_STRING_set(p7->d.data, reinterpret_cast<const unsigned char*>(text.data()),
                          static_cast<int>(text.size()));
    return orvel_test::to_der(p7.get(), i2d_PKCS7);
  }

  // SsfVerify in the format; the result of the one signer (and its
  // record's profile when asked for).
  int ssf_verify(const std::string& format, const std::string& der, int* rc,
                 std::string* record_profile = nullptr) {
    SigRcpSsfInformationList results = nullptr;
    unsigned char* out = nullptr;
    SsfInt out_len = 0;
    *rc = SsfVerify(format.data(), static_cast<SsfInt>(format.size()), 1,
                    reinterpret_cast<const unsigned char*>(der.data()),
                    static_cast<SsfInt>(der.size()), nullptr, 0, pab_.data(),
                    static_cast<SsfInt>(pab_.size()), nullptr, 0, &results, &out, &out_len);
    const int result = results && results->ptrSigRcp ? results->ptrSigRcp->uResult : -1;
    if (record_profile != nullptr && results && results->ptrSigRcp &&
        results->ptrSigRcp->strSigRcpProfile)
      record_profile->assign(results->ptrSigRcp->strSigRcpProfile,
                             static_cast<size_t>(results->ptrSigRcp->strSigRcpProfileL));
    SsfDELSsfOctetstring(&out, &out_len);
    SsfDELSigRcpSsfInfoList(&results);
    return result;
  }

  // VerifyEnhancedSignature on the (edited) signedData, the root trusted.
  int verify_direct(PKCS7* p7) {
    orvel::BioPtr chain(PKCS7_dataInit(p7, nullptr));
    if (!chain) return -100;
    char buf[256];
    while (BIO_read(chain.get(), buf, sizeof buf) > 0) {
    }
    orvel::X509StackPtr trusted = stack_of({root_.cert()});
    return VerifyEnhancedSignature(chain.get(), p7, first_signer(p7), trusted.get());
  }

  static orvel::Pkcs7Ptr parse(const std::string& der) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(der.data());
    return orvel::Pkcs7Ptr(d2i_PKCS7(nullptr, &p, static_cast<long>(der.size())));
  }

  Bytes attr(PKCS7_SIGNER_INFO* si, int nid) {
    const ASN1_STRING* v = enhance_sequence_value(get_raw_attribute(si->unauth_attr, nid));
    return v ? Bytes(ASN1_STRING_get0_data(v), ASN1_STRING_get0_data(v) + ASN1_STRING_length(v))
             : Bytes();
  }

  TempDir dir_;
  pki::Authority root_ = pki::Authority::root("CN=Enhance E2E Root,O=Orvel Test,C=RU");
  std::set<long> revoked_;
  std::unique_ptr<Responder> responder_;
  pki::Issued tsa_, signer_;
  std::unique_ptr<orvel_test::TsaServer> tsa_server_;
  std::string pab_;
  std::unique_ptr<StartedLibrary> lib_;
  // Set by derived fixtures before SetUp: further [common] and [cades]
  // lines, the time-stamp service of both digest families, a signing time
  // of profiles.
  std::string common_extra_, cades_extra_, tsp_url_, profile_time_;
};

TEST_F(EnhanceEndToEnd, SignedInXlt1AndVerified) {
  int result = -1;
  const std::string der = sign("CADES_XLT1", &result);
  ASSERT_EQ(result, 0) << lib_->log();
  orvel::Pkcs7Ptr p7 = parse(der);
  ASSERT_TRUE(p7);
  PKCS7_SIGNER_INFO* si = first_signer(p7.get());
  for (int nid : {cades::kNidSignatureTimeStamp, cades::kNidRevocationValues,
                  cades::kNidRevocationRefs, cades::kNidCertValues, cades::kNidCertificateRefs,
                  cades::kNidEscTimeStamp})
    EXPECT_FALSE(attr(si, nid).empty()) << OBJ_nid2sn(nid);
  EXPECT_EQ(tsa_server_->requests().size(), 2u);
  EXPECT_EQ(responder_->requests(), 1);
  EXPECT_EQ(verify_direct(p7.get()), 0) << lib_->log();
  int rc = -1;
  for (const std::string format : {"CADES_XLT1", "PKCS7_CADES", "PKCS7_ANY"}) {
    EXPECT_EQ(ssf_verify(format, der, &rc), 0) << format << lib_->log();
    EXPECT_EQ(rc, 0) << format;
  }
}

TEST_F(EnhanceEndToEnd, RevokedSignerIsNotEnhanced) {
  revoked_.insert(ASN1_INTEGER_get(X509_get0_serialNumber(signer_.cert.get())));
  int result = -1;
  sign("CADES_XLT1", &result, SSF_API_SIGNER_FAILED);
  EXPECT_EQ(result, 106);
}

TEST_F(EnhanceEndToEnd, EnhanceSignaturesOfAPlainSignature) {
  int result = -1;
  const std::string plain = sign("CADES_BES", &result);
  ASSERT_EQ(result, 0);
  SigRcpSsfInformationList results = nullptr;
  unsigned char* out = nullptr;
  SsfInt out_len = 0;
  EXPECT_EQ(SsfEnhanceSignatures(pab_.data(), static_cast<SsfInt>(pab_.size()),
                                 reinterpret_cast<const unsigned char*>(plain.data()),
                                 static_cast<SsfInt>(plain.size()), nullptr, 0, &results, &out,
                                 &out_len),
            0)
      << lib_->log();
  ASSERT_NE(results, nullptr);
  EXPECT_EQ(results->ptrSigRcp->uResult, 0);
  const std::string enhanced(reinterpret_cast<char*>(out), out ? static_cast<size_t>(out_len) : 0);
  SsfDELSsfOctetstring(&out, &out_len);
  SsfDELSigRcpSsfInfoList(&results);
  int rc = -1;
  EXPECT_EQ(ssf_verify("CADES_XLT1", enhanced, &rc), 0) << lib_->log();
  // Enhancing it again: 101, and the signedData comes back unchanged.
  EXPECT_EQ(SsfEnhanceSignatures(pab_.data(), static_cast<SsfInt>(pab_.size()),
                                 reinterpret_cast<const unsigned char*>(enhanced.data()),
                                 static_cast<SsfInt>(enhanced.size()), nullptr, 0, &results, &out,
                                 &out_len),
            0)
      << lib_->log();
  ASSERT_NE(results, nullptr);
  EXPECT_EQ(results->ptrSigRcp->uResult, 101);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out), static_cast<size_t>(out_len)), enhanced);
  SsfDELSsfOctetstring(&out, &out_len);
  SsfDELSigRcpSsfInfoList(&results);
  // A look-alike of the signer (its issuer and serial number, another
  // subject) in front of the message's certificates is not reported for it.
  orvel::Pkcs7Ptr p7 = parse(enhanced);
  ASSERT_TRUE(p7);
  orvel::X509Ptr fake(X509_dup(signer_.cert.get()));
  orvel::X509NamePtr victim(X509_NAME_new());
  X509_NAME_add_entry_by_txt(victim.get(), "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("Victim"), -1, -1, 0);
  X509_set_subject_name(fake.get(), victim.get());
  X509_sign(fake.get(), signer_.key.get(), EVP_sha256());
  ASSERT_GT(sk_X509_insert(p7->d.sign->cert, fake.release(), 0), 0);
  const Bytes with_fake = orvel_test::to_der(p7.get(), i2d_PKCS7);
  EXPECT_EQ(SsfEnhanceSignatures(pab_.data(), static_cast<SsfInt>(pab_.size()), with_fake.data(),
                                 static_cast<SsfInt>(with_fake.size()), nullptr, 0, &results, &out,
                                 &out_len),
            0)
      << lib_->log();
  ASSERT_NE(results, nullptr);
  EXPECT_EQ(results->ptrSigRcp->uResult, 101);
  const std::string id(results->ptrSigRcp->strSigRcpId,
                       static_cast<size_t>(results->ptrSigRcp->strSigRcpIdL));
  EXPECT_NE(id.find("Enhance Signer"), std::string::npos) << id;
  EXPECT_EQ(id.find("Victim"), std::string::npos) << id;
  SsfDELSsfOctetstring(&out, &out_len);
  SsfDELSigRcpSsfInfoList(&results);
}

TEST_F(EnhanceEndToEnd, DamagedVariantsAreRefused) {
  int result = -1;
  const std::string der = sign("CADES_XLT1", &result);
  ASSERT_EQ(result, 0) << lib_->log();

  {  // No certificate values.
    orvel::Pkcs7Ptr p7 = parse(der);
    PKCS7_SIGNER_INFO* si = first_signer(p7.get());
    X509_ATTRIBUTE_free(X509at_delete_attr(
        si->unauth_attr, X509at_get_attr_by_NID(si->unauth_attr, cades::kNidCertValues, -1)));
    EXPECT_EQ(verify_direct(p7.get()), 116);
  }
  {  // A referenced certificate (the TSA's) left out of the values.
    orvel::Pkcs7Ptr p7 = parse(der);
    PKCS7_SIGNER_INFO* si = first_signer(p7.get());
    set_attr(si, cades::kNidCertValues,
             certificates_der({signer_.cert.get(), root_.cert()}));
    EXPECT_EQ(verify_direct(p7.get()), 119) << lib_->log();
  }
  {  // An expired certificate among the values.
    pki::CertOptions o;
    o.subject = "CN=Expired,O=Orvel Test,C=RU";
    o.not_before = -10 * pki::kDay;
    o.not_after = -pki::kDay;
    pki::Issued expired = root_.issue(o);
    orvel::Pkcs7Ptr p7 = parse(der);
    PKCS7_SIGNER_INFO* si = first_signer(p7.get());
    Bytes values = attr(si, cades::kNidCertValues);
    const Bytes extra = orvel_test::der_of_cert(expired.cert.get());
    // SEQUENCE OF Certificate with one more element.
    Bytes content(values.begin() + get_disp(values.data(), static_cast<int>(values.size())),
                  values.end());
    content.insert(content.end(), extra.begin(), extra.end());
    const Bytes header = {0x30, 0x82, static_cast<unsigned char>(content.size() >> 8),
                          static_cast<unsigned char>(content.size() & 0xff)};
    set_attr(si, cades::kNidCertValues, orvel_test::cat({header, content}));
    EXPECT_EQ(verify_direct(p7.get()), 4) << lib_->log();
  }
  {  // The stored OCSP answer says revoked.
    orvel::Pkcs7Ptr p7 = parse(der);
    PKCS7_SIGNER_INFO* si = first_signer(p7.get());
    orvel::RevocationValuesPtr vals(ssf_REVOCATION_VALUES_new());
    sk_OCSP_BASICRESP_push(vals->ocspVals,
                           responder_->basic(signer_.cert.get(), V_OCSP_CERTSTATUS_REVOKED).release());
    unsigned char* d = nullptr;
    const int n = i2d_REVOCATION_VALUES(vals.get(), &d);
    set_attr(si, cades::kNidRevocationValues, Bytes(d, d + n));
    OPENSSL_free(d);
    EXPECT_EQ(verify_direct(p7.get()), 106) << lib_->log();
  }
  {  // A signature time stamp over other data.
    orvel::Pkcs7Ptr p7 = parse(der);
    PKCS7_SIGNER_INFO* si = first_signer(p7.get());
    ASN1_OCTET_STRING* tok = nullptr;
    orvel::X509StorePtr store = store_of({root_.cert()});
    const unsigned char other[] = "other data";
    ASSERT_EQ(make_time_stamp(TS_KIND_ESC, &tok, other, sizeof other, EVP_sha1(), store.get(),
                              nullptr, nullptr),
              0)
        << lib_->log();
    orvel::Asn1OctetStringPtr token(tok);
    const Bytes t(ASN1_STRING_get0_data(tok), ASN1_STRING_get0_data(tok) + ASN1_STRING_length(tok));
    set_attr(si, cades::kNidEscTimeStamp, t);
    EXPECT_EQ(verify_direct(p7.get()), 123) << lib_->log();
    set_attr(si, cades::kNidSignatureTimeStamp, t);
    EXPECT_EQ(verify_direct(p7.get()), 118) << lib_->log();
  }
}

TEST_F(EnhanceEndToEnd, SignerInfoOfAnotherSignature) {
  int result = -1;
  const std::string a = sign("CADES_XLT1", &result);
  ASSERT_EQ(result, 0);
  // A plain signature of other content by the same signer, given a's
  // SignerInfo: the signature does not verify over the content.
  orvel::BioPtr in(BIO_new_mem_buf("other content", 13));
  orvel::Pkcs7Ptr b(PKCS7_sign(signer_.cert.get(), signer_.key.get(), nullptr, in.get(),
                               PKCS7_BINARY | PKCS7_NOSMIMECAP));
  orvel::Pkcs7Ptr pa = parse(a);
  PKCS7_SIGNER_INFO* copy = static_cast<PKCS7_SIGNER_INFO*>(
      ASN1_item_dup(ASN1_ITEM_rptr(PKCS7_SIGNER_INFO), first_signer(pa.get())));
  STACK_OF(PKCS7_SIGNER_INFO)* infos = PKCS7_get_signer_info(b.get());
  PKCS7_SIGNER_INFO* own = sk_PKCS7_SIGNER_INFO_value(infos, 0);
  sk_PKCS7_SIGNER_INFO_set(infos, 0, copy);
  PKCS7_SIGNER_INFO_free(own);
  EXPECT_EQ(verify_direct(b.get()), 27) << lib_->log();
  // b's own SignerInfo given a's unsigned attributes: the stamps cover
  // another signature value.
  orvel::Pkcs7Ptr b2(PKCS7_sign(signer_.cert.get(), signer_.key.get(), nullptr,
                                orvel::BioPtr(BIO_new_mem_buf("other content", 13)).get(),
                                PKCS7_BINARY | PKCS7_NOSMIMECAP));
  PKCS7_SIGNER_INFO* bsi = first_signer(b2.get());
  PKCS7_add_ESSSigningCertV2_attribute(bsi, signer_.cert.get(), EVP_sha1());
  for (int nid : {cades::kNidSignatureTimeStamp, cades::kNidRevocationValues,
                  cades::kNidRevocationRefs, cades::kNidCertValues, cades::kNidCertificateRefs,
                  cades::kNidEscTimeStamp})
    set_attr(bsi, nid, attr(first_signer(pa.get()), nid));
  EXPECT_NE(VerifyEnhancedSignatureAttributes(bsi, 0, stack_of({root_.cert()}).get(), nullptr), 0);
}

TEST_F(EnhanceEndToEnd, EscStampWithoutHeadersAndASecondEnhancement) {
  int result = -1;
  const std::string der = sign("CADES_XLT1", &result);
  ASSERT_EQ(result, 0) << lib_->log();
  orvel::Pkcs7Ptr p7 = parse(der);
  PKCS7_SIGNER_INFO* si = first_signer(p7.get());
  // An ES-C stamp over the attributes without their outer tag and length.
  std::vector<unsigned char> bare;
  ASSERT_EQ(get_esc_data(si, false, &bare), 1);
  orvel::X509StorePtr store = store_of({root_.cert()});
  ASN1_OCTET_STRING* tok = nullptr;
  ASSERT_EQ(make_time_stamp(TS_KIND_ESC, &tok, bare.data(), static_cast<int>(bare.size()),
                            EVP_sha1(), store.get(), nullptr, nullptr),
            0);
  orvel::Asn1OctetStringPtr token(tok);
  set_attr(si, cades::kNidEscTimeStamp,
           Bytes(ASN1_STRING_get0_data(tok), ASN1_STRING_get0_data(tok) + ASN1_STRING_length(tok)));
  EXPECT_EQ(verify_direct(p7.get()), 0) << lib_->log();
  EXPECT_TRUE(lib_->logged("escTimeStamp with headers is not valid, trying to verify escTimeStamp "
                           "w/o headers"));
  // Enhancing the same SignerInfo again replaces each attribute.
  ASSERT_EQ(EnhanceSignature(p7.get(), si, signer_.cert.get(), store.get()), 0) << lib_->log();
  for (int nid : {cades::kNidSignatureTimeStamp, cades::kNidRevocationValues,
                  cades::kNidRevocationRefs, cades::kNidCertValues, cades::kNidCertificateRefs,
                  cades::kNidEscTimeStamp}) {
    int count = 0;
    for (int i = -1; (i = X509at_get_attr_by_NID(si->unauth_attr, nid, i)) >= 0;) ++count;
    EXPECT_EQ(count, 1) << OBJ_nid2sn(nid);
  }
  EXPECT_EQ(verify_direct(p7.get()), 0) << lib_->log();
}

// ---- an authority of the test's own: GOST imprints and archive stamps ----

// One in-process authority answers every time-stamp request, whatever its
// imprint algorithm (archive stamps ask GOST R 34.11-94, GOST R 34.10-2012
// signers GOST R 34.11-2012), with SigningCertificateV2 and, when chosen, a
// fixed genTime. Its certificate names the test's OCSP responder, so an
// archive stamp carries the responder's answer about it.
class EnhanceOwnAuthority : public EnhanceEndToEnd {
 protected:
  void SetUp() override {
    authority_ = std::make_unique<orvel_test::RecordingHttpServer>(
        [this](const std::string& req) { return reply(req); });
    tsp_url_ = authority_->url("/tsa");
    common_extra_ = "use_profile_timestamp = yes\n";
    profile_time_ = "20250301120000";
    EnhanceEndToEnd::SetUp();
    authority_tsa_ = issue(root_, "Own TSA", {{NID_ext_key_usage, "critical,timeStamping"},
                                              {NID_info_access, "OCSP;URI:" + responder_->url()}});
  }

  std::string reply(const std::string& request) {
    const std::string body = orvel_test::http_body(request);
    const unsigned char* p = reinterpret_cast<const unsigned char*>(body.data());
    std::unique_ptr<TS_REQ, orvel::Free<TS_REQ, TS_REQ_free>> req(
        d2i_TS_REQ(nullptr, &p, static_cast<long>(body.size())));
    if (!req) return "HTTP/1.0 400 Bad\r\n\r\n";
    imprints_.push_back(OBJ_obj2nid(
        TS_MSG_IMPRINT_get_algo(TS_REQ_get_msg_imprint(req.get()))->algorithm));
    choices_.ess_md = EVP_sha256();
    return orvel_test::http_ok(
        "application/timestamp-reply",
        orvel_test::tsa_reply(body, authority_tsa_.cert.get(), authority_tsa_.key.get(), nullptr,
                              EVP_get_digestbynid(imprints_.back()), choices_));
  }

  // add_archival_timestamp with the genTime given, the root trusted.
  int add_stamp(PKCS7* p7, time_t sec, long usec) {
    choices_.sec = sec;
    choices_.usec = usec;
    orvel::BioPtr chain(PKCS7_dataInit(p7, nullptr));
    char buf[256];
    while (chain && BIO_read(chain.get(), buf, sizeof buf) > 0) {
    }
    const int rc =
        add_archival_timestamp(p7, chain.get(), first_signer(p7), stack_of({root_.cert()}).get());
    choices_.sec = 0;
    return rc;
  }

  static std::string gentime_text(time_t sec, long usec) {
    orvel::Asn1TimePtr t(ASN1_GENERALIZEDTIME_set(nullptr, sec));
    std::string s(reinterpret_cast<const char*>(ASN1_STRING_get0_data(t.get())),
                  static_cast<size_t>(ASN1_STRING_length(t.get())));
    if (usec != 0) {  // milliseconds without trailing zeros
      std::string frac = std::to_string(1000 + usec / 1000).substr(1);
      while (frac.back() == '0') frac.pop_back();
      s.insert(s.size() - 1, "." + frac);
    }
    return s;
  }

  pki::Issued authority_tsa_;
  orvel_test::TsaChoices choices_;
  std::vector<int> imprints_;
  std::unique_ptr<orvel_test::RecordingHttpServer> authority_;
};

TEST_F(EnhanceOwnAuthority, ArchiveStampsAddedAndVerifiedOldestFirst) {
  int result = -1;
  const std::string der = sign("CADES_XLT1", &result);
  ASSERT_EQ(result, 0) << lib_->log();
  orvel::Pkcs7Ptr p7 = parse(der);
  ASSERT_TRUE(p7);
  // Three stamps in one second: a whole second first, then fractions of it.
  const time_t t = time(nullptr);
  const long usecs[] = {0, 500000, 750000};
  for (long usec : usecs) ASSERT_EQ(add_stamp(p7.get(), t, usec), 0) << lib_->log();
  EXPECT_EQ(imprints_.back(), NID_id_GostR3411_94);
  // Stored in DER order, verified and listed in time order; each stamp is
  // checked with the revocation material it carries.
  const Bytes archived = orvel_test::to_der(p7.get(), i2d_PKCS7);
  int rc = -1;
  std::string profile;
  EXPECT_EQ(ssf_verify("PKCS7_CADES", std::string(archived.begin(), archived.end()), &rc, &profile),
            0)
      << lib_->log();
  EXPECT_EQ(rc, 0);
  std::vector<std::string> times;
  for (size_t at = profile.find("\nArchiveTimeStampTime= "); at != std::string::npos;
       at = profile.find("\nArchiveTimeStampTime= ", at + 1)) {
    const size_t open = profile.find("(UTCTime: ", at) + 10;
    times.push_back(profile.substr(open, profile.find(')', open) - open));
  }
  EXPECT_EQ(times, (std::vector<std::string>{gentime_text(t, 0), gentime_text(t, 500000),
                                             gentime_text(t, 750000)}))
      << profile;
  EXPECT_LT(profile.find("\nTimeStampTime= "), profile.find("\nArchiveTimeStampTime= "));
}

TEST_F(EnhanceOwnAuthority, ArchiveStampNotLaterThanAnExistingOneIs126) {
  int result = -1;
  const std::string der = sign("CADES_XLT1", &result);
  ASSERT_EQ(result, 0) << lib_->log();
  orvel::Pkcs7Ptr p7 = parse(der);
  ASSERT_TRUE(p7);
  const time_t t = time(nullptr);
  ASSERT_EQ(add_stamp(p7.get(), t, 500000), 0) << lib_->log();
  // The same moment, and an earlier one in the same second.
  for (long usec : {500000L, 250000L}) {
    EXPECT_EQ(add_stamp(p7.get(), t, usec), 126);
    EXPECT_TRUE(lib_->logged("add_archival_timestamp() 6 : new stamp (" + gentime_text(t, usec) +
                             ") is older than existing stamp #0 (" + gentime_text(t, 500000) +
                             ")"))
        << lib_->log();
  }
  std::vector<ArchiveStamp> stamps;
  ASSERT_EQ(get_arch_timestamps(first_signer(p7.get()), &stamps), 1);
  EXPECT_EQ(stamps.size(), 1u);
}

TEST_F(EnhanceOwnAuthority, Gost2012SignerThroughTheWholeRoad) {
  // certtool issues a GOST R 34.10-2012 key under the root, naming the
  // responder.
  orvel_test::GostParty root;
  root.cert_pem = dir_.file("root.pem");
  root.key_pem = dir_.file("root.key");
  write_file(root.key_pem, pki::key_to_pem(root_.key()));
  const orvel_test::GostParty gost = orvel_test::make_gost_party(
      dir_, "GOST 2012 Signer", "gost12-256", &root, "", "ocsp_uri = " + responder_->url() + "\n");
  ASSERT_TRUE(gost.cert);
  int result = -1;
  const std::string der =
      sign_as(gost.subject_text, profile_time_ + gost.profile(), "CADES_XLT1", &result);
  ASSERT_EQ(result, 0) << lib_->log();
  // Both stamps asked with the signature's own digest, from tsp_server_2012.
  EXPECT_EQ(imprints_, (std::vector<int>{NID_id_GostR3411_2012_256, NID_id_GostR3411_2012_256}));
  EXPECT_EQ(responder_->requests(), 1);
  int rc = -1;
  EXPECT_EQ(ssf_verify("CADES_XLT1", der, &rc), 0) << lib_->log();
  EXPECT_EQ(rc, 0);
}

// ---- Trust in what the signature and the services bring along ----

// The signedData with the first signer's certificate values (unsigned,
// outside every stamp) given one more certificate.
std::string with_cert_value(const std::string& der, X509* extra) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(der.data());
  orvel::Pkcs7Ptr p7(d2i_PKCS7(nullptr, &p, static_cast<long>(der.size())));
  PKCS7_SIGNER_INFO* si = first_signer(p7.get());
  orvel::X509StackPtr certs(ssf_d2i_certificates(
      enhance_sequence_value(get_raw_attribute(si->unauth_attr, cades::kNidCertValues))));
  EXPECT_TRUE(certs);
  X509_up_ref(extra);
  sk_X509_push(certs.get(), extra);
  unsigned char* out = nullptr;
  const int len = ASN1_item_i2d(reinterpret_cast<ASN1_VALUE*>(certs.get()), &out,
                                ASN1_ITEM_rptr(SSF_CERTIFICATES));
  set_attr(si, cades::kNidCertValues, Bytes(out, out + (len > 0 ? len : 0)));
  OPENSSL_free(out);
  const Bytes edited = orvel_test::to_der(p7.get(), i2d_PKCS7);
  return std::string(edited.begin(), edited.end());
}

// The signedData with the first signer's revocation values replaced by
// these CRLs and OCSP answers.
std::string with_revocation_values(const std::string& der, std::initializer_list<X509_CRL*> crls,
                                   std::initializer_list<OCSP_BASICRESP*> answers = {}) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(der.data());
  orvel::Pkcs7Ptr p7(d2i_PKCS7(nullptr, &p, static_cast<long>(der.size())));
  orvel::RevocationValuesPtr vals(ssf_REVOCATION_VALUES_new());
  for (X509_CRL* crl : crls) sk_X509_CRL_push(vals->crlVals, X509_CRL_dup(crl));
  if (answers.size() > 0 && vals->ocspVals == nullptr)
    vals->ocspVals = sk_OCSP_BASICRESP_new_null();
  for (OCSP_BASICRESP* bs : answers)
    sk_OCSP_BASICRESP_push(vals->ocspVals, static_cast<OCSP_BASICRESP*>(
                                               ASN1_item_dup(ASN1_ITEM_rptr(OCSP_BASICRESP), bs)));
  unsigned char* out = nullptr;
  const int len = i2d_REVOCATION_VALUES(vals.get(), &out);
  set_attr(first_signer(p7.get()), cades::kNidRevocationValues,
           Bytes(out, out + (len > 0 ? len : 0)));
  OPENSSL_free(out);
  const Bytes edited = orvel_test::to_der(p7.get(), i2d_PKCS7);
  return std::string(edited.begin(), edited.end());
}

// The signer below an intermediate CA, both without a responder, so that
// CRLs (from file distribution points) are stored. The look-alike CA has
// the intermediate's name and another key. A delta CRL alone (its base,
// which the values leave out, may list the signer) decides nothing.
enum class StoredCrl { kGood, kRevoked, kLookAlike, kDeltaOnly };

class EnhanceStoredCrl : public EnhanceEndToEnd,
                         public ::testing::WithParamInterface<StoredCrl> {
 protected:
  void SetUp() override {
    EnhanceEndToEnd::SetUp();
    const std::string ca_name = "CN=Enhance E2E CA,O=Orvel Test,C=RU";
    pki::CertOptions io;
    io.crl_urls = {"file://" + dir_.file("root.crl")};
    inter_.emplace(root_.intermediate(ca_name, io));
    look_alike_.emplace(pki::Authority::root(ca_name));
    pki::CertOptions lo;
    lo.subject = "CN=Enhance CRL Signer,O=Orvel Test,C=RU";
    lo.crl_urls = {"file://" + dir_.file("ca.crl")};
    signer_ = inter_->issue(lo);
    write_file(dir_.file("signer.pem"), pki::to_pem(signer_.cert.get()));
    write_file(dir_.file("signer.key"), pki::key_to_pem(signer_.key.get()));
    root_crl_ = root_.crl({});
    write_file(dir_.file("root.crl"), pki::crl_to_der(root_crl_.get()));
    orvel::X509CrlPtr ca_crl = inter_->crl({});
    write_file(dir_.file("ca.crl"), pki::crl_to_der(ca_crl.get()));
    // The signing side's CA file; the verifier trusts the root and the CA.
    write_file(dir_.file("root.pem"), pki::to_pem(root_.cert()) + pki::to_pem(inter_->cert()));
    write_file(pab_ + "/ca.pem", pki::to_pem(inter_->cert()));
  }
  std::optional<pki::Authority> inter_, look_alike_;
  orvel::X509CrlPtr root_crl_;
};

std::string stored_crl_name(const ::testing::TestParamInfo<StoredCrl>& p) {
  static const char* const kNames[] = {"Good", "Revoked", "LookAlike", "DeltaOnly"};
  return kNames[static_cast<int>(p.param)];
}

TEST_P(EnhanceStoredCrl, OnlyTheVerifiedIssuerVouchesForTheSigner) {
  int result = -1;
  std::string der = sign("CADES_XLT1", &result);
  ASSERT_EQ(result, 0) << lib_->log();
  int expected = 0;
  if (GetParam() == StoredCrl::kRevoked) {
    pki::CrlOptions o;
    o.revoked.push_back({signer_.cert.get()});
    orvel::X509CrlPtr revoking = inter_->crl(o);
    der = with_revocation_values(der, {revoking.get(), root_crl_.get()});
    expected = 107;
  } else if (GetParam() == StoredCrl::kLookAlike) {
    // The signing side takes no CRL of the look-alike: it is put in by hand.
    orvel::X509CrlPtr fake = look_alike_->crl({});
    der = with_revocation_values(with_cert_value(der, look_alike_->cert()),
                                 {fake.get(), root_crl_.get()});
    expected = 107;
  } else if (GetParam() == StoredCrl::kDeltaOnly) {
    pki::CrlOptions o;
    o.crl_number = 2;
    o.delta_base = 1;
    orvel::X509CrlPtr delta = inter_->crl(o);
    der = with_revocation_values(der, {delta.get(), root_crl_.get()});
    expected = 107;
  }
  int rc = -1;
  EXPECT_EQ(ssf_verify("CADES_XLT1", der, &rc), expected) << lib_->log();
  EXPECT_EQ(lib_->logged("not signed by the issuer of certificate"),
            GetParam() == StoredCrl::kLookAlike);
}

INSTANTIATE_TEST_SUITE_P(Cases, EnhanceStoredCrl,
                         ::testing::Values(StoredCrl::kGood, StoredCrl::kRevoked,
                                           StoredCrl::kLookAlike, StoredCrl::kDeltaOnly),
                         stored_crl_name);

// A CA that re-keyed: its two key generations I and I2 share the name, and
// both sit in the CA file and in the PAB directory, I first. The signer of
// I is good; what I2's signer's distribution point (and the delta CRL URL
// that I2's complete CRL #5 names) serves decides for the signer of I2,
// which is revoked after #5 where a delta CRL #6 lists it. Only data
// signed with I2's key, current, in scope and fully understood clears it.
enum class Served {
  kNewKeyCrl,          // I2's CRL lists the signer
  kOldKeyCrl,          // I's genuine empty CRL in its place
  kNoKeyIdCrl,         // I2's empty CRL without authority key identifier
  kCriticalExt,        // I2's empty CRL with an unknown critical extension
  kPartition,          // for a signer naming no point: another part of I2's list
  kDeltaLists,         // #5 with the real delta #6, which lists the signer
  kDeltaMissing,       // #5, nothing at the delta URL
  kDeltaForged,        // #5, a delta #6 without the signer, signed by a stranger
  kDeltaIsComplete,    // #5, and #5 itself at the delta URL
  kDeltaOldExpired,    // #5, I2's genuine delta #4 (base 3), expired
  kDeltaOldCurrent,    // #5, I2's genuine delta #4 (base 3), still current
  kDeltaReleasesHold,  // #5 holds the signer, delta #6 takes it off
  kDeltaClean,         // #5 with a real delta #6 that does not list the signer
  kCrlIssuer,          // the signer's point names a CRL issuer; I2's own empty CRL there
  kIndirectFlag,       // I2's empty CRL #7 flagged as an indirect CRL
  kFreshCrl,           // I2's empty CRL, made at its download after the signature's stamp
  kFreshDelta,         // #5, the empty delta #6 made at its download after the stamp
  kFreshCrlTooLate,    // as kFreshCrl, with max_tsp_ocsp_diff 0
};

struct ServedCase {
  Served served;
  const char* name;
  bool new_signer_good;
  const char* logged;  // a line that tells why (null: none tells more than the codes)
  int xlt1 = -1;       // the signer of I2's CADES_XLT1 result, when not that of its PKCS7 calls
};

class EnhanceRekeyedCa : public EnhanceEndToEnd, public ::testing::WithParamInterface<ServedCase> {
 protected:
  void SetUp() override {
    common_extra_ = "cert_check_options = check_chain check_crl\ncrl_protocols = http file\n";
    cades_extra_ = "default_crl_url = " + url("default.crl") + "\n";
    EnhanceEndToEnd::SetUp();
    const std::string ca_name = "CN=Enhance E2E CA,O=Orvel Test,C=RU";
    pki::CertOptions io;
    io.crl_urls = {url("root.crl")};
    old_ca_.emplace(root_.intermediate(ca_name, io));
    new_ca_.emplace(root_.intermediate(ca_name, io));
    // No OCSP URL: the enhancement stores the CRLs.
    pki::CertOptions lo;
    lo.subject = "CN=Enhance Old Key Signer,O=Orvel Test,C=RU";
    lo.crl_urls = {url("old.crl")};
    signer_ = old_ca_->issue(lo);
    lo.subject = "CN=Enhance New Key Signer,O=Orvel Test,C=RU";
    lo.crl_urls = {url("new.crl")};
    if (served() == Served::kPartition) lo.crl_urls.clear();
    if (served() == Served::kCrlIssuer)
      lo.crl_issuer = "CN=Delegated CRL Authority,O=Orvel Test,C=RU";
    if (served() == Served::kFreshCrl || served() == Served::kFreshCrlTooLate)
      lo.crl_urls = {crl_server_.url("/new.crl")};
    new_signer_ = new_ca_->issue(lo);
    for (const auto& [name, who] : {std::pair<std::string, const pki::Issued*>{"signer", &signer_},
                                    {"new_signer", &new_signer_}}) {
      write_file(dir_.file(name + ".pem"), pki::to_pem(who->cert.get()));
      write_file(dir_.file(name + ".key"), pki::key_to_pem(who->key.get()));
    }
    write_file(dir_.file("root.crl"), pki::crl_to_der(root_.crl({}).get()));
    orvel::X509CrlPtr old_crl = old_ca_->crl({});
    write_file(dir_.file("old.crl"), pki::crl_to_der(old_crl.get()));
    serve_new_key_crls(old_crl.get());
    // The PAB directory takes one certificate a file.
    write_file(dir_.file("root.pem"), pki::to_pem(root_.cert()) + pki::to_pem(old_ca_->cert()) +
                                          pki::to_pem(new_ca_->cert()));
    write_file(pab_ + "/old_ca.pem", pki::to_pem(old_ca_->cert()));
    write_file(pab_ + "/new_ca.pem", pki::to_pem(new_ca_->cert()));
  }

  Served served() const { return GetParam().served; }
  std::string url(const std::string& name) const { return "file://" + dir_.file(name); }

  void serve_new_key_crls(X509_CRL* old_crl) {
    X509* signer = new_signer_.cert.get();
    pki::CrlOptions full, delta;
    full.crl_number = 5;
    delta.crl_number = 6;
    delta.delta_base = 5;
    switch (served()) {
      case Served::kNewKeyCrl:
        full.revoked = {{signer}};
        break;
      case Served::kOldKeyCrl:
        write_file(dir_.file("new.crl"), pki::crl_to_der(old_crl));
        return;
      case Served::kNoKeyIdCrl:
        full.authority_key_id = false;
        break;
      case Served::kCriticalExt:
        full.critical_oid = "1.3.6.1.4.1.99999.7";
        break;
      case Served::kPartition:
        full.issuing_dp = "fullname:URI:" + url("part2.crl");
        write_file(dir_.file("default.crl"), pki::crl_to_der(new_ca_->crl(full).get()));
        return;
      case Served::kCrlIssuer:
        break;
      case Served::kIndirectFlag:
        full.crl_number = 7;
        full.issuing_dp = "indirectCRL:TRUE";
        break;
      case Served::kFreshCrl:
      case Served::kFreshCrlTooLate:
        made_at_download_ = full;
        return;
      case Served::kFreshDelta:
        full.freshest_urls = {crl_server_.url("/delta.crl")};
        break;
      default:
        full.freshest_urls = {url("delta.crl")};
        break;
    }
    write_file(dir_.file("new.crl"), pki::crl_to_der(new_ca_->crl(full).get()));
    if (full.freshest_urls.empty()) return;
    orvel::EvpPkeyPtr stranger = pki::make_rsa_key();
    switch (served()) {
      case Served::kDeltaLists:
        delta.revoked = {{signer}};
        break;
      case Served::kDeltaMissing:
        return;
      case Served::kDeltaForged:
        delta.sign_key = stranger.get();
        break;
      case Served::kDeltaIsComplete:
        delta = full;
        break;
      case Served::kDeltaOldExpired:
        delta.last_update = -10 * pki::kDay;
        delta.next_update = -pki::kDay;
        [[fallthrough]];
      case Served::kDeltaOldCurrent:
        delta.crl_number = 4;
        delta.delta_base = 3;
        break;
      case Served::kDeltaReleasesHold:
        full.revoked = {{signer, 0, -7200, CRL_REASON_CERTIFICATE_HOLD}};
        write_file(dir_.file("new.crl"), pki::crl_to_der(new_ca_->crl(full).get()));
        delta.revoked = {{signer, 0, -3600, CRL_REASON_REMOVE_FROM_CRL}};
        break;
      case Served::kFreshDelta:
        made_at_download_ = delta;
        return;
      default:
        break;
    }
    write_file(dir_.file("delta.crl"), pki::crl_to_der(new_ca_->crl(delta).get()));
  }

  // The stamp's genTime and the CRL's thisUpdate are whole seconds, and the
  // stamp is accurate to a second: two seconds put thisUpdate past both.
  std::string made_now() {
    std::this_thread::sleep_for(std::chrono::seconds(2));
    pki::CrlOptions o = made_at_download_;
    o.last_update = 0;
    return orvel_test::http_ok("application/pkix-crl", pki::crl_to_der(new_ca_->crl(o).get()));
  }

  std::optional<pki::Authority> old_ca_, new_ca_;
  pki::Issued new_signer_;
  pki::CrlOptions made_at_download_;
  orvel_test::RecordingHttpServer crl_server_{[this](const std::string&) { return made_now(); }};
};

TEST_P(EnhanceRekeyedCa, OnlyDataOfTheIssuingKeyClearsTheSigner) {
  struct Row {
    const pki::Issued* who;
    std::string prof;
    bool good;
  };
  const Row rows[] = {
      {&signer_, profile(), true},
      {&new_signer_,
       "certfile=" + dir_.file("new_signer.pem") + ",keyfile=" + dir_.file("new_signer.key"),
       GetParam().new_signer_good}};
  // No second between the stamp and the CRL: one issued after it never fits.
  const int kept_diff = max_tsp_ocsp_diff;
  if (served() == Served::kFreshCrlTooLate) max_tsp_ocsp_diff = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.who == &signer_ ? "signer of I" : "signer of I2");
    // The signer of I2 naming no point is looked up at the default URL only.
    use_only_default_crl_url = row.who == &new_signer_ && served() == Served::kPartition;
    const std::string id = enhance_subject(row.who->cert.get());
    const int fail = row.good ? 0 : SSF_API_SIGNER_FAILED;
    int result = -1;
    sign_as(id, row.prof, "PKCS7", &result, fail);
    EXPECT_EQ(result, row.good ? 0 : SSF_CERT_NOT_FOUND) << lib_->log();
    const Bytes p7 = orvel_test::to_der(enhance_test::sign(*row.who, kDoc).get(), i2d_PKCS7);
    int rc = -1;
    EXPECT_EQ(ssf_verify("PKCS7", std::string(p7.begin(), p7.end()), &rc),
              row.good ? 0 : SSF_UNKNOWN_SIGNER)
        << lib_->log();
    EXPECT_EQ(rc, fail);
    int xlt1 = row.good ? 0 : SSF_RC_CERT_UNKNOWN;
    if (row.who == &new_signer_ && GetParam().xlt1 >= 0) xlt1 = GetParam().xlt1;
    // Without the CRL check of the signer at loading, the enhancement's own
    // fallback to the CRL decides.
    check_crl = 0;
    const std::string der =
        sign_as(id, row.prof, "CADES_XLT1", &result, xlt1 ? SSF_API_SIGNER_FAILED : 0);
    check_crl = 1;
    EXPECT_EQ(result, xlt1) << lib_->log();
    if (xlt1 != 0) continue;
    // What the library makes must verify with the library.
    EXPECT_EQ(ssf_verify("CADES_XLT1", der, &rc), 0) << lib_->log();
    EXPECT_EQ(rc, 0);
  }
  use_only_default_crl_url = 0;
  max_tsp_ocsp_diff = kept_diff;
  if (GetParam().logged != nullptr) {
    EXPECT_TRUE(lib_->logged(GetParam().logged)) << lib_->log();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Served, EnhanceRekeyedCa,
    ::testing::Values(
        ServedCase{Served::kNewKeyCrl, "NewKeyCrl", false, "certificate has been revoked"},
        ServedCase{Served::kOldKeyCrl, "OldKeyCrl", false,
                   "is not signed by the issuer of certificate"},
        ServedCase{Served::kNoKeyIdCrl, "NoKeyIdCrl", true, nullptr},
        ServedCase{Served::kCriticalExt, "CriticalExtension", false,
                   "has the critical extension 1.3.6.1.4.1.99999.7, which is not processed"},
        ServedCase{Served::kPartition, "Partition", false, "does not cover certificate"},
        ServedCase{Served::kDeltaLists, "DeltaLists", false, "certificate has been revoked"},
        ServedCase{Served::kDeltaMissing, "DeltaMissing", false,
                   "downloading the delta crl failed for all distribution points"},
        ServedCase{Served::kDeltaForged, "DeltaForged", false, "verify_crl() 4 : crl is invalid"},
        ServedCase{Served::kDeltaIsComplete, "DeltaIsComplete", false,
                   "carries no delta crl indicator"},
        ServedCase{Served::kDeltaOldExpired, "DeltaOldExpired", false,
                   "verify_crl() 8 : crl has expired"},
        ServedCase{Served::kDeltaOldCurrent, "DeltaOldCurrent", false,
                   "does not follow the crl (base crl number 3, crl number 4; the crl's number 5)"},
        ServedCase{Served::kDeltaReleasesHold, "DeltaReleasesHold", true, "Delta CRL DP: '"},
        ServedCase{Served::kDeltaClean, "DeltaClean", true, "Delta CRL DP: '"},
        ServedCase{Served::kCrlIssuer, "CrlIssuerPoint", false, "names a crl issuer"},
        ServedCase{Served::kIndirectFlag, "IndirectFlag", false, "is flagged as an indirect crl"},
        ServedCase{Served::kFreshCrl, "FreshCrl", true, nullptr},
        ServedCase{Served::kFreshDelta, "FreshDelta", true, nullptr},
        ServedCase{Served::kFreshCrlTooLate, "FreshCrlTooLate", true,
                   "is not current at the time stamp (issued more than max_tsp_ocsp_diff",
                   SSF_RC_CERT_UNKNOWN}),
    [](const ::testing::TestParamInfo<ServedCase>& p) { return std::string(p.param.name); });

// Answers that may not show the signer good: an OCSPResponse that is not
// successful (the genuine basic response still inside), or a good answer
// with an unknown critical extension on the response data or on the
// SingleResponse. Signing fails with 105; stored in a signature, such an
// answer fails its verification with 105 as well.
class EnhanceOcspFlaw
    : public EnhanceEndToEnd,
      public ::testing::WithParamInterface<std::pair<const char*, Responder::Flaw>> {};

TEST_P(EnhanceOcspFlaw, NoAnswerForGood) {
  const Responder::Flaw flaw = GetParam().second;
  const bool critical = flaw.critical_on_data || flaw.critical_on_single;
  int result = -1;
  sign("CADES_XLT1", &result);
  ASSERT_EQ(result, 0) << lib_->log();
  responder_->flaw = flaw;
  sign("CADES_XLT1", &result, SSF_API_SIGNER_FAILED);
  EXPECT_EQ(result, SSF_RC_OCSP_BAD_RESPONSE) << lib_->log();
  EXPECT_TRUE(lib_->logged(critical ? "get_revValue() 19.1 : OCSP response has the critical "
                                      "extension 1.3.6.1.4.1.99999.7, which is not processed"
                                    : "get_SINGLE_RESP() 1.0 : OCSP response status is '"))
      << lib_->log();
}

INSTANTIATE_TEST_SUITE_P(
    Flaws, EnhanceOcspFlaw,
    ::testing::Values(
        std::make_pair("TryLater", Responder::Flaw{OCSP_RESPONSE_STATUS_TRYLATER}),
        std::make_pair("Unauthorized", Responder::Flaw{OCSP_RESPONSE_STATUS_UNAUTHORIZED}),
        std::make_pair("CriticalOnData",
                       Responder::Flaw{OCSP_RESPONSE_STATUS_SUCCESSFUL, true, false}),
        std::make_pair("CriticalOnSingle",
                       Responder::Flaw{OCSP_RESPONSE_STATUS_SUCCESSFUL, false, true})),
    [](const auto& p) { return std::string(p.param.first); });

TEST_F(EnhanceEndToEnd, StoredAnswerWithACriticalExtensionIsBad) {
  int result = -1;
  const std::string der = sign("CADES_XLT1", &result);
  ASSERT_EQ(result, 0) << lib_->log();
  for (const Responder::Flaw& flaw :
       {Responder::Flaw{OCSP_RESPONSE_STATUS_SUCCESSFUL, true, false},
        Responder::Flaw{OCSP_RESPONSE_STATUS_SUCCESSFUL, false, true}}) {
    orvel::OcspBasicRespPtr stored =
        responder_->basic(signer_.cert.get(), V_OCSP_CERTSTATUS_GOOD, flaw);
    int rc = -1;
    EXPECT_EQ(ssf_verify("CADES_XLT1", with_revocation_values(der, {}, {stored.get()}), &rc),
              SSF_RC_OCSP_BAD_RESPONSE)
        << lib_->log();
  }
  EXPECT_TRUE(
      lib_->logged("get_cert_status() 14 : OCSP_BASICRESP #0 has the critical extension "
                   "1.3.6.1.4.1.99999.7, which is not processed"));
}

// With the issuer checks of stored OCSP answers off, a responder certified
// by a root that only the signature carries (true) vouches for nothing.
class EnhanceOcspAnchor : public EnhanceEndToEnd, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    EnhanceEndToEnd::SetUp();
    disable_ocsp_issuer_check = 1;
    if (!GetParam()) return;
    responder_ = std::make_unique<Responder>(root_, &revoked_, &rogue_root_);
    signer_ = issue(root_, "Enhance Signer", {{NID_info_access, "OCSP;URI:" + responder_->url()}});
    write_file(dir_.file("signer.pem"), pki::to_pem(signer_.cert.get()));
    write_file(dir_.file("signer.key"), pki::key_to_pem(signer_.key.get()));
    // The signing side trusts the rogue root; the verifier does not.
    write_file(dir_.file("root.pem"), pki::to_pem(root_.cert()) + pki::to_pem(rogue_root_.cert()));
  }
  void TearDown() override { disable_ocsp_issuer_check = 0; }
  pki::Authority rogue_root_ = pki::Authority::root("CN=Rogue OCSP Root,O=Orvel Test,C=RU");
};

TEST_P(EnhanceOcspAnchor, ResponderChainEndsAtATrustedRoot) {
  int result = -1;
  const std::string der = sign("CADES_XLT1", &result);
  ASSERT_EQ(result, 0) << lib_->log();
  int rc = -1;
  EXPECT_EQ(ssf_verify("CADES_XLT1", der, &rc), GetParam() ? SSF_SIGNATURE_INVALID : 0)
      << lib_->log();
  EXPECT_EQ(lib_->logged("OCSP responder's root 'CN=Rogue OCSP Root"), GetParam()) << lib_->log();
}

INSTANTIATE_TEST_SUITE_P(Responders, EnhanceOcspAnchor, ::testing::Bool());

// The ES-C stamp comes from an authority whose root only its token carries
// (as certificate values of the token's SignerInfo).
TEST_F(EnhanceEndToEnd, EscStampOfAnUntrustedAuthorityFailsAtSigning) {
  pki::Authority rogue_root = pki::Authority::root("CN=Rogue TSA Root,O=Orvel Test,C=RU");
  pki::Issued rogue = issue(rogue_root, "Rogue TSA", {{NID_ext_key_usage, "critical,timeStamping"}});
  auto rogue_reply = [&](const std::string& request) {
    const std::string reply = orvel_test::tsa_reply(request, rogue.cert.get(), rogue.key.get(),
                                                    nullptr, EVP_sha1());
    const unsigned char* p = reinterpret_cast<const unsigned char*>(reply.data());
    std::unique_ptr<TS_RESP, orvel::Free<TS_RESP, TS_RESP_free>> resp(
        d2i_TS_RESP(nullptr, &p, static_cast<long>(reply.size())));
    set_attr(first_signer(TS_RESP_get_token(resp.get())), cades::kNidCertValues,
             certificates_der({rogue.cert.get(), rogue_root.cert()}));
    const Bytes der = orvel_test::to_der(resp.get(), i2d_TS_RESP);
    return std::string(der.begin(), der.end());
  };
  std::atomic<int> seen{0};
  orvel_test::RecordingHttpServer server([&](const std::string& req) {
    const std::string body = orvel_test::http_body(req);
    return orvel_test::http_ok(
        "application/timestamp-reply",
        seen++ == 0 ? orvel_test::tsa_reply(body, tsa_.cert.get(), tsa_.key.get(), nullptr,
                                            EVP_sha1())
                    : rogue_reply(body));
  });
  struct KeepSetting {
    char* configured = tsp_server;
    ~KeepSetting() { tsp_server = configured; }
  } keep;
  std::string url = server.url("/tsa");
  tsp_server = url.data();
  int result = -1;
  const std::string der = sign("CADES_XLT1", &result, SSF_API_SIGNER_FAILED);
  EXPECT_EQ(result, SSF_RC_NO_ESC_TIMESTAMP) << lib_->log();
  EXPECT_TRUE(lib_->logged("ssf_verify_TS_token() 5 : X509_verify_cert() failed")) << lib_->log();
  EXPECT_TRUE(der.empty());
  EXPECT_EQ(seen.load(), 2);
}

}  // namespace
}  // namespace enhance_test
