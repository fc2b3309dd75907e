#include "enhance_material.h"

#include <gtest/gtest.h>
#include <openssl/ts.h>

#include <stdexcept>

#include "enhance_seq_types.h"
#include "enhance_util.h"

namespace enhance_test {

namespace {

void check(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(what);
}

pki::CertOptions named(const std::string& subject, bool ca = false) {
  pki::CertOptions o;
  o.subject = subject;
  o.is_ca = ca;
  return o;
}

}  // namespace

Chain::Chain()
    : root(pki::Authority::root("CN=Enhance Root,O=Orvel Test,C=RU")),
      inter(root.intermediate("CN=Enhance CA,O=Orvel Test,C=RU")),
      leaf(inter.issue(named("CN=Enhance Signer,O=Orvel Test,C=RU"))),
      tsa(root.issue(named("CN=Enhance TSA,O=Orvel Test,C=RU"))) {}

time_t cert_time(const ASN1_TIME* t) {
  struct tm tm = {};
  check(ASN1_TIME_to_tm(t, &tm) == 1, "ASN1_TIME_to_tm");
  return timegm(&tm);
}

orvel::Pkcs7Ptr sign(const pki::Issued& who, const std::string& data, bool detached) {
  orvel::BioPtr in(BIO_new_mem_buf(data.data(), static_cast<int>(data.size())));
  int flags = PKCS7_BINARY | PKCS7_NOSMIMECAP;
  if (detached) flags |= PKCS7_DETACHED;
  orvel::Pkcs7Ptr p7(PKCS7_sign(who.cert.get(), who.key.get(), nullptr, in.get(), flags));
  check(p7 != nullptr, "PKCS7_sign");
  return p7;
}

PKCS7_SIGNER_INFO* first_signer(PKCS7* p7) {
  return sk_PKCS7_SIGNER_INFO_value(PKCS7_get_signer_info(p7), 0);
}

Bytes make_token(const pki::Issued& who, const Bytes& data, time_t gen_time, long serial) {
  orvel::TsTstInfoPtr tst(TS_TST_INFO_new());
  check(tst != nullptr, "TS_TST_INFO_new");
  TS_TST_INFO_set_version(tst.get(), 1);
  orvel::Asn1ObjectPtr policy(OBJ_txt2obj("1.2.3.4.1", 1));
  TS_TST_INFO_set_policy_id(tst.get(), policy.get());
  TS_MSG_IMPRINT* imprint = TS_MSG_IMPRINT_new();
  X509_ALGOR* alg = X509_ALGOR_new();
  X509_ALGOR_set0(alg, OBJ_nid2obj(NID_sha256), V_ASN1_NULL, nullptr);
  TS_MSG_IMPRINT_set_algo(imprint, alg);
  X509_ALGOR_free(alg);
  unsigned char md[32];
  unsigned int n = 0;
  EVP_Digest(data.data(), data.size(), md, &n, EVP_sha256(), nullptr);
  TS_MSG_IMPRINT_set_msg(imprint, md, static_cast<int>(n));
  TS_TST_INFO_set_msg_imprint(tst.get(), imprint);
  TS_MSG_IMPRINT_free(imprint);
  orvel::Asn1IntegerPtr sn(ASN1_INTEGER_new());
  ASN1_INTEGER_set(sn.get(), serial);
  TS_TST_INFO_set_serial(tst.get(), sn.get());
  orvel::Asn1TimePtr t(ASN1_GENERALIZEDTIME_set(nullptr, gen_time));
  TS_TST_INFO_set_time(tst.get(), t.get());

  // The token: a signedData whose content is the TSTInfo.
  orvel::Pkcs7Ptr p7(PKCS7_new());
  check(p7 && PKCS7_set_type(p7.get(), NID_pkcs7_signed), "PKCS7_set_type");
  PKCS7_add_certificate(p7.get(), who.cert.get());
  PKCS7_SIGNER_INFO* si = PKCS7_add_signature(p7.get(), who.cert.get(), who.key.get(), EVP_sha256());
  check(si != nullptr, "PKCS7_add_signature");
  PKCS7_add_signed_attribute(si, NID_pkcs9_contentType, V_ASN1_OBJECT,
                             OBJ_nid2obj(NID_id_smime_ct_TSTInfo));
  PKCS7* content = PKCS7_new();
  content->d.other = ASN1_TYPE_new();
  content->type = OBJ_nid2obj(NID_id_smime_ct_TSTInfo);
  ASN1_TYPE_set(content->d.other, V_ASN1_OCTET_STRING, ASN1_OCTET_STRING_new());
  check(PKCS7_set_content(p7.get(), content) == 1, "PKCS7_set_content");
  orvel::BioPtr bio(PKCS7_dataInit(p7.get(), nullptr));
  check(bio != nullptr, "PKCS7_dataInit");
  check(i2d_TS_TST_INFO_bio(bio.get(), tst.get()) == 1, "i2d_TS_TST_INFO_bio");
  check(PKCS7_dataFinal(p7.get(), bio.get()) == 1, "PKCS7_dataFinal");
  return orvel_test::to_der(p7.get(), i2d_PKCS7);
}

void set_attr(PKCS7_SIGNER_INFO* si, int nid, const Bytes& der) {
  check(enhance_set_unsigned_attr(si, nid, der.data(), static_cast<int>(der.size())) == 1,
        "enhance_set_unsigned_attr");
}

void append_attr(PKCS7_SIGNER_INFO* si, int nid, const Bytes& der) {
  check(enhance_append_unsigned_attr(si, nid, der.data(), static_cast<int>(der.size())) == 1,
        "enhance_append_unsigned_attr");
}

orvel::X509StackPtr stack_of(std::initializer_list<X509*> certs) {
  orvel::X509StackPtr s(sk_X509_new_null());
  for (X509* c : certs) {
    X509_up_ref(c);
    sk_X509_push(s.get(), c);
  }
  return s;
}

orvel::X509StorePtr store_of(std::initializer_list<X509*> certs) {
  orvel::X509StorePtr s(X509_STORE_new());
  for (X509* c : certs) X509_STORE_add_cert(s.get(), c);
  return s;
}

Bytes certificates_der(std::initializer_list<X509*> certs) {
  orvel::X509StackPtr s = stack_of(certs);
  unsigned char* der = nullptr;
  const int len = ASN1_item_i2d(reinterpret_cast<ASN1_VALUE*>(s.get()), &der,
                                ASN1_ITEM_rptr(SSF_CERTIFICATES));
  Bytes out(der, der + (len > 0 ? len : 0));
  OPENSSL_free(der);
  return out;
}

}  // namespace enhance_test
