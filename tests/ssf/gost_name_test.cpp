// Subject texts with the Russian certificate attributes (INN, OGRN, SNILS,
// OGRNIP): printed by their short names, most specific first, recoded into
// the server encoding; and as signer ids of a certtool GOST certificate.
#include <gtest/gtest.h>
#include <openssl/x509.h>

#include <string>

#include "gost_pki.h"
#include "keys_test_env.h"
#include "objects/ssf_objects.h"
#include "ossl_ptr.h"
#include "settings.h"
#include "verify_fixture.h"
#include "x509_name.h"

namespace orvel_test {
namespace {

// "Иванов" in UTF-8.
const std::string kIvanovUtf8 = "\xd0\x98\xd0\xb2\xd0\xb0\xd0\xbd\xd0\xbe\xd0\xb2";

void add(X509_NAME* name, int nid, int type, const std::string& value) {
  ASSERT_NE(nid, NID_undef);
  ASSERT_EQ(X509_NAME_add_entry_by_NID(name, nid, type,
                                       reinterpret_cast<const unsigned char*>(value.data()),
                                       static_cast<int>(value.size()), -1, 0),
            1);
}

orvel::X509Ptr cert_with_russian_attributes() {
  orvel::X509Ptr cert(X509_new());
  X509_NAME* name = X509_get_subject_name(cert.get());
  add(name, NID_countryName, V_ASN1_PRINTABLESTRING, "RU");
  add(name, NID_organizationName, V_ASN1_UTF8STRING, "Orvel Test");
  add(name, ssf_nid_OGRN(), V_ASN1_NUMERICSTRING, "1027700132195");
  add(name, ssf_nid_INN(), V_ASN1_NUMERICSTRING, "007712345678");
  add(name, ssf_nid_SNILS(), V_ASN1_NUMERICSTRING, "12345678901");
  add(name, ssf_nid_OGRNIP(), V_ASN1_NUMERICSTRING, "304500116000157");
  add(name, NID_commonName, V_ASN1_UTF8STRING, kIvanovUtf8);
  return cert;
}

std::string text_of(X509* cert) {
  char* t = brek_x509_get_name_from_X509(cert);
  std::string s = t ? t : "";
  OPENSSL_free(t);
  return s;
}

TEST(GostSubjectText, RussianAttributesByShortName) {
  StartedLibrary lib;
  orvel::X509Ptr cert = cert_with_russian_attributes();
  // Characters beyond Latin-1 come out as the toolkit's \\UXXXX escapes
  // (no string flags), so recoding leaves them as they are.
  const std::string escaped = "\\U0418\\U0432\\U0430\\U043D\\U043E\\U0432";
  const std::string tail =
      ", OGRNIP=304500116000157, SNILS=12345678901, INN=007712345678, "
      "OGRN=1027700132195, O=Orvel Test, C=RU";
  EXPECT_EQ(text_of(cert.get()), "CN=" + escaped + tail);
  server_encoding = "CP1251";
  EXPECT_EQ(text_of(cert.get()), "CN=" + escaped + tail);
  server_encoding = "UTF-8";
  EXPECT_EQ(text_of(nullptr), "");
  EXPECT_TRUE(lib.logged("brek_x509_get_name_from_X509() 1 : x509 is NULL"));
}

// A certtool certificate whose subject carries the Russian attributes: its
// subject text names the signer, and verification hands the same text back.
TEST(GostSubjectText, SignerIdOfCerttoolCertificate) {
  TempDir keys;
  GostParty root = make_gost_party(keys, "GOST Root CA", "gost12-256", nullptr);
  GostParty signer = make_gost_party(keys, "Ivanov", "gost12-256", &root, "",
                                     "dn = \"CN=" + kIvanovUtf8 +
                                         ",INN=007712345678,OGRN=1027700132195,"
                                         "SNILS=12345678901,C=RU\"\n");
  ASSERT_NE(signer.subject_text.find("INN=007712345678"), std::string::npos) << signer.subject_text;
  ASSERT_NE(signer.subject_text.find("OGRN=1027700132195"), std::string::npos);
  ASSERT_NE(signer.subject_text.find("SNILS=12345678901"), std::string::npos);

  Host host;
  Records r(host);
  r.add(signer.subject_text, signer.profile());
  Output out(host);
  ASSERT_EQ(host_sign(host, "PKCS7", wrap_data("named by INN"), r, &out), 0) << host.log();
  EXPECT_EQ(r.result(0), 0);

  const std::string pab = keys.file("pab");
  sh("mkdir -p '" + pab + "'");
  write_file(pab + "/root.pem", read_file(root.cert_pem));
  const std::string sig = out.str();
  Results res(host);
  Output content(host);
  ASSERT_EQ(host.Verify("PKCS7", 5, 1, reinterpret_cast<const unsigned char*>(sig.data()),
                        static_cast<SsfInt>(sig.size()), nullptr, 0, pab.data(),
                        static_cast<SsfInt>(pab.size()), nullptr, 0, &res.head, &content.data,
                        &content.len),
            0)
      << host.log();
  ASSERT_EQ(res.size(), 1);
  EXPECT_EQ(res.id(0), signer.subject_text);
}

}  // namespace
}  // namespace orvel_test
