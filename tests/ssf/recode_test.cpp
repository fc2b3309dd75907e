// Character-set recoding and the subject texts of certificates.
#include "recode.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "crl_test_env.h"
#include "ossl_ptr.h"
#include "test_pki_builder.h"
#include "x509_name.h"

namespace orvel_test {
namespace {

const std::string kPrivetUtf8 = "\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82";  // Привет
const std::string kPrivetCp1251 = "\xcf\xf0\xe8\xe2\xe5\xf2";

TEST(Recode, Utf8ToCp1251AndBack) {
  char out[64];
  int n = recode("UTF-8", "CP1251", kPrivetUtf8.data(), static_cast<int>(kPrivetUtf8.size()), out,
                 sizeof out);
  ASSERT_EQ(n, 6);
  EXPECT_EQ(std::string(out, n), kPrivetCp1251);
  EXPECT_EQ(out[n], '\0');
  // Without an output only the length comes back.
  EXPECT_EQ(recode("UTF-8", "CP1251", kPrivetUtf8.data(), static_cast<int>(kPrivetUtf8.size()),
                   nullptr, 0),
            6);
  n = recode("CP1251", "UTF-8", kPrivetCp1251.data(), 6, out, sizeof out);
  ASSERT_EQ(n, 12);
  EXPECT_EQ(std::string(out, n), kPrivetUtf8);
}

TEST(Recode, NeverWritesPastItsOutput) {
  char out[16];
  memset(out, 'X', sizeof out);
  // 12 bytes of UTF-8 give 12 bytes plus a NUL: a 12-byte output is too small.
  EXPECT_EQ(recode("CP1251", "UTF-8", kPrivetCp1251.data(), 6, out, 12), -5);
  EXPECT_EQ(out[12], 'X');
  EXPECT_EQ(recode("CP1251", "UTF-8", kPrivetCp1251.data(), 6, out, 13), 12);
  EXPECT_EQ(out[13], 'X');
  // The converted text is limited to 10240 bytes whatever the input.
  std::string big(20000, 'a');
  std::string sink(30000, 'X');
  EXPECT_EQ(
      recode("UTF-8", "CP1251", big.data(), static_cast<int>(big.size()), sink.data(), sink.size()),
      -5);
  std::string fits(kRecodeMaxOutput, 'b');
  EXPECT_EQ(recode("UTF-8", "CP1251", fits.data(), static_cast<int>(fits.size()), sink.data(),
                   sink.size()),
            static_cast<int>(kRecodeMaxOutput));
  // Characters that grow: three times the input is the limit.
  std::string cp(1, '\xcf');
  EXPECT_EQ(recode("CP1251", "UTF-8", cp.data(), 1, sink.data(), sink.size()), 2);
}

TEST(Recode, Failures) {
  char out[64];
  EXPECT_EQ(recode("UTF-8", "CP1251", nullptr, 3, out, sizeof out), -1);
  EXPECT_EQ(recode("UTF-8", "CP1251", "abc", 0, out, sizeof out), -1);
  EXPECT_EQ(recode("UTF-8", "NO-SUCH-CHARSET", "abc", 3, out, sizeof out), -4);
  // Invalid UTF-8, and a character CP1251 lacks.
  EXPECT_EQ(recode("UTF-8", "CP1251", "\xe9, x", 4, out, sizeof out), -5);
  EXPECT_EQ(recode("UTF-8", "CP1251", "\xe4\xb8\xad", 3, out, sizeof out), -5);
}

TEST(Recode, FromUnicodeEscapes) {
  TraceLog log;
  EXPECT_EQ(xdigit_to_num('7'), 7);
  EXPECT_EQ(xdigit_to_num('b'), 11);
  EXPECT_EQ(xdigit_to_num('F'), 15);
  EXPECT_EQ(xdigit_to_num('g'), -1);

  std::string text = "CN=\\U041F\\U0440\\u0438\\U04x0 \\U0432";
  orvel::CharsPtr utf8(from_unicode(text.data(), static_cast<int>(text.size()), "UTF-8"));
  // "\u" is not an escape; "\U04x0" is not one either.
  EXPECT_STREQ(utf8.get(), "CN=\xd0\x9f\xd1\x80\\u0438\\U04x0 \xd0\xb2");
  orvel::CharsPtr cp(from_unicode(text.data(), static_cast<int>(text.size()), "CP1251"));
  EXPECT_STREQ(cp.get(), "CN=\xcf\xf0\\u0438\\U04x0 \xe2");
  // A character the set lacks stops the conversion there.
  orvel::CharsPtr ascii(from_unicode(text.data(), static_cast<int>(text.size()), "ASCII"));
  EXPECT_STREQ(ascii.get(), "CN=");
  EXPECT_TRUE(log.contains("from_unicode() : brekiconv() failed, symb_idx = 3"));
  orvel::CharsPtr none(from_unicode(text.data(), static_cast<int>(text.size()), "NO-SUCH-CHARSET"));
  EXPECT_STREQ(none.get(), "");
  EXPECT_TRUE(log.contains("from_unicode() : brekiconv_open() failed"));
  EXPECT_STREQ(gost_get_rus_symbols_charset(), "UTF-8");
}

TEST(SubjectText, OneLineMostSpecificFirstRecoded) {
  TraceLog log;
  pki::Authority ca = pki::Authority::root();
  pki::CertOptions o;
  o.subject = "CN=Ivanov,OU=Dept,O=Orvel Test,L=Moscow,C=RU";
  auto cert = ca.issue(o);
  orvel::CharsPtr name(brek_x509_get_name_from_X509(cert.cert.get()));
  EXPECT_STREQ(name.get(), "CN=Ivanov, OU=Dept, O=Orvel Test, L=Moscow, C=RU");

  // Characters above 0xFF appear in the toolkit's \UXXXX form.
  o.subject = "CN=" + kPrivetUtf8 + ",C=RU";
  auto cyr = ca.issue(o);
  orvel::CharsPtr cyr_name(brek_x509_get_name_from_X509(cyr.cert.get()));
  EXPECT_STREQ(cyr_name.get(), "CN=\\U041F\\U0440\\U0438\\U0432\\U0435\\U0442, C=RU");
  EXPECT_FALSE(log.contains("failed to recode"));

  // A character between 0x80 and 0xFF is printed as a raw byte, which is
  // not UTF-8: the text is shown unrecoded and an ERROR block written.
  o.subject = "CN=Caf\xc3\xa9,C=FR";
  auto latin = ca.issue(o);
  orvel::CharsPtr latin_name(brek_x509_get_name_from_X509(latin.cert.get()));
  EXPECT_STREQ(latin_name.get(), "CN=Caf\xe9, C=FR");
  EXPECT_TRUE(
      log.contains("brek_x509_get_name_from_X509() : failed to recode 'CN=Caf\xe9, C=FR' from "
                   "'UTF-8' to 'CP1251'"));

  EXPECT_EQ(brek_x509_get_name_from_X509(nullptr), nullptr);
  EXPECT_TRUE(log.contains("brek_x509_get_name_from_X509() 1 : x509 is NULL"));
}

TEST(SubjectText, PrintNameIsBounded) {
  pki::Authority ca = pki::Authority::root("CN=" + std::string(60, 'n') + ",O=Orvel Test,C=RU");
  char buf[32];
  memset(buf, 'X', sizeof buf);
  int n = print_X509_NAME(buf, 20, X509_get_subject_name(ca.cert()));
  EXPECT_EQ(n, 19);
  EXPECT_EQ(buf[19], '\0');
  EXPECT_EQ(buf[20], 'X');
  char big[kNameBufSize];
  n = print_X509_NAME(big, sizeof big, X509_get_subject_name(ca.cert()));
  EXPECT_EQ(std::string(big), "CN=" + std::string(60, 'n') + ", O=Orvel Test, C=RU");
  EXPECT_EQ(n, static_cast<int>(strlen(big)));
  EXPECT_EQ(print_X509_NAME(big, sizeof big, nullptr), 0);
  EXPECT_STREQ(big, "");
}

}  // namespace
}  // namespace orvel_test
