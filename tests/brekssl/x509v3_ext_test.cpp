// Extensions built from configuration text: S/MIME capabilities through the
// toolkit's own X509V3_EXT_nconf_nid (the method is added at start-up),
// issuerSignTool and the private-key usage period through the system's
// entry point, subjectSignTool through the toolkit; each round-trips through
// DER and prints. Also X509V3_EXT_free.
#include <gtest/gtest.h>
#include <openssl/conf.h>
#include <openssl/err.h>
#include <openssl/x509v3.h>

#include <cstring>
#include <ctime>
#include <string>

#include "objects/ssf_objects.h"
#include "ossl_ptr.h"
#include "x509v3/ext_methods.h"
#include "x509v3/sign_tool.h"
#include "x509v3/ssf_x509v3_err.h"

namespace {

using ExtPtr = std::unique_ptr<X509_EXTENSION, orvel::Free<X509_EXTENSION, X509_EXTENSION_free>>;
using ConfPtr = std::unique_ptr<CONF, orvel::Free<CONF, NCONF_free>>;

ConfPtr load_conf(const std::string& text) {
  ConfPtr conf(NCONF_new(nullptr));
  orvel::BioPtr bio(BIO_new_mem_buf(text.data(), static_cast<int>(text.size())));
  long line = 0;
  if (!conf || NCONF_load_bio(conf.get(), bio.get(), &line) <= 0) return nullptr;
  return conf;
}

// DER of the extension, decoded again.
ExtPtr round_trip(const X509_EXTENSION* ext) {
  unsigned char* der = nullptr;
  int len = i2d_X509_EXTENSION(ext, &der);
  orvel::BytesPtr owner(der);
  const unsigned char* p = der;
  return ExtPtr(len > 0 ? d2i_X509_EXTENSION(nullptr, &p, len) : nullptr);
}

std::string print(X509_EXTENSION* ext) {
  orvel::BioPtr bio(BIO_new(BIO_s_mem()));
  if (X509V3_EXT_print(bio.get(), ext, 0, 0) != 1) return "<print failed>";
  char* data = nullptr;
  long n = BIO_get_mem_data(bio.get(), &data);
  return std::string(data, static_cast<size_t>(n));
}

std::string hex(const ASN1_OCTET_STRING* s) {
  std::string out;
  char b[3];
  for (int i = 0; i < ASN1_STRING_length(s); ++i) {
    std::snprintf(b, sizeof(b), "%02x", ASN1_STRING_get0_data(s)[i]);
    out += b;
  }
  return out;
}

X509V3_CTX ctx_for(CONF* conf) {
  X509V3_CTX ctx;
  X509V3_set_ctx(&ctx, nullptr, nullptr, nullptr, nullptr, 0);
  if (conf != nullptr) X509V3_set_nconf(&ctx, conf);
  return ctx;
}

TEST(X509v3Ext, SmimeCapsMethodIsAddedAndRoundTrips) {
  EXPECT_EQ(X509V3_EXT_get_nid(NID_SMIMECapabilities), nullptr);
  ASSERT_EQ(ssf_register_objects(), 1);
  ASSERT_EQ(ssf_register_objects(), 1);
  ASSERT_NE(X509V3_EXT_get_nid(NID_SMIMECapabilities), nullptr);

  X509V3_CTX ctx = ctx_for(nullptr);
  ExtPtr ext(X509V3_EXT_nconf_nid(nullptr, &ctx, NID_SMIMECapabilities,
                                  "AES-128-CBC, 1.2.643.7.1.1.1.1, 1.2.3.4"));
  ASSERT_TRUE(ext);
  // SEQUENCE { SEQUENCE { aes128-cbc } SEQUENCE { 1.2.643.7.1.1.1.1 } SEQUENCE { 1.2.3.4 } }
  EXPECT_EQ(hex(X509_EXTENSION_get_data(ext.get())),
            "3020"
            "300b0609608648016503040102"
            "300a06082a85030701010101"
            "300506032a0304");
  ExtPtr back = round_trip(ext.get());
  ASSERT_TRUE(back);
  auto* caps = static_cast<STACK_OF(X509_ALGOR)*>(X509V3_EXT_d2i(back.get()));
  ASSERT_NE(caps, nullptr);
  EXPECT_EQ(sk_X509_ALGOR_num(caps), 3);
  int ptype = 0;
  X509_ALGOR_get0(nullptr, &ptype, nullptr, sk_X509_ALGOR_value(caps, 0));
  EXPECT_EQ(ptype, V_ASN1_UNDEF);
  EXPECT_EQ(X509V3_EXT_free(NID_SMIMECapabilities, caps), 1);
  EXPECT_EQ(print(back.get()),
            "aes-128-cbc (2.16.840.1.101.3.4.1.2)\n"
            "GOST R 34.10-2012 with 256 bit modulus (1.2.643.7.1.1.1.1)\n"
            "1.2.3.4 (1.2.3.4)");

  // The same through a section of a configuration and the system's entry.
  ConfPtr conf = load_conf("[caps]\ncap.1 = des-ede3-cbc\ncap.2 = gost2012_512\n");
  ASSERT_TRUE(conf);
  X509V3_CTX cctx = ctx_for(conf.get());
  ExtPtr sect(SSF_X509V3_EXT_nconf_nid(conf.get(), &cctx, NID_SMIMECapabilities, "@caps"));
  ASSERT_TRUE(sect);
  EXPECT_EQ(print(sect.get()),
            "des-ede3-cbc (1.2.840.113549.3.7)\n"
            "GOST R 34.10-2012 with 512 bit modulus (1.2.643.7.1.1.1.2)");
}

TEST(X509v3Ext, SmimeCapsRefusesUnknownNames) {
  ASSERT_EQ(ssf_register_objects(), 1);
  X509V3_CTX ctx = ctx_for(nullptr);
  ERR_clear_error();
  ExtPtr ext(
      X509V3_EXT_nconf_nid(nullptr, &ctx, NID_SMIMECapabilities, "AES-128-CBC, no-such-algo"));
  EXPECT_FALSE(ext);
  bool found = false;
  while (unsigned long e = ERR_get_error())
    if (ERR_GET_LIB(e) == ERR_LIB_X509V3 && ERR_GET_REASON(e) == X509V3_R_INVALID_OBJECT_IDENTIFIER)
      found = true;
  EXPECT_TRUE(found);
}

TEST(X509v3Ext, IssuerSignToolFourNamesInAnyOrder) {
  ASSERT_EQ(ssf_register_objects(), 1);
  ConfPtr conf = load_conf(
      "[ist]\n"
      "cAToolCert = CA tool certificate\n"
      "signToolCert = Sign tool certificate\n"
      "cATool = CA tool\n"
      "signTool = Sign tool\n");
  ASSERT_TRUE(conf);
  X509V3_CTX ctx = ctx_for(conf.get());
  ExtPtr ext(SSF_X509V3_EXT_nconf_nid(conf.get(), &ctx, ssf_nid_issuerSignTool(), "@ist"));
  ASSERT_TRUE(ext);
  ExtPtr back = round_trip(ext.get());
  ASSERT_TRUE(back);
  // The toolkit's own method decodes and prints the system's DER.
  std::string text = print(back.get());
  EXPECT_NE(text.find("signTool    : Sign tool"), std::string::npos) << text;
  EXPECT_NE(text.find("cATool      : CA tool"), std::string::npos) << text;
  EXPECT_NE(text.find("signToolCert: Sign tool certificate"), std::string::npos) << text;
  EXPECT_NE(text.find("cAToolCert  : CA tool certificate"), std::string::npos) << text;

  // Decoded as SIGN_TOOL_DESCR: the four strings in field order, one line each.
  const unsigned char* p = ASN1_STRING_get0_data(X509_EXTENSION_get_data(back.get()));
  SIGN_TOOL_DESCR* descr = reinterpret_cast<SIGN_TOOL_DESCR*>(
      ASN1_item_d2i(nullptr, &p, ASN1_STRING_length(X509_EXTENSION_get_data(back.get())),
                    ASN1_ITEM_rptr(SIGN_TOOL_DESCR)));
  ASSERT_NE(descr, nullptr);
  STACK_OF(CONF_VALUE)* lines = i2v_SIGN_TOOL_DESCR(nullptr, descr, nullptr);
  ASSERT_NE(lines, nullptr);
  ASSERT_EQ(sk_CONF_VALUE_num(lines), 4);
  const char* expected[] = {"Sign tool", "CA tool", "Sign tool certificate", "CA tool certificate"};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(sk_CONF_VALUE_value(lines, i)->name, nullptr);
    EXPECT_STREQ(sk_CONF_VALUE_value(lines, i)->value, expected[i]);
  }
  sk_CONF_VALUE_pop_free(lines, X509V3_conf_free);
  SIGN_TOOL_DESCR_free(descr);

  // The same DER as the toolkit's own method makes from the same section.
  ExtPtr stock(X509V3_EXT_nconf_nid(conf.get(), &ctx, ssf_nid_issuerSignTool(), "@ist"));
  ASSERT_TRUE(stock);
  EXPECT_EQ(hex(X509_EXTENSION_get_data(stock.get())), hex(X509_EXTENSION_get_data(ext.get())));

  // An empty list prints as no lines.
  SIGN_TOOL_DESCR* none = SIGN_TOOL_DESCR_new();
  STACK_OF(CONF_VALUE)* empty = i2v_SIGN_TOOL_DESCR(nullptr, none, nullptr);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(sk_CONF_VALUE_num(empty), 0);
  sk_CONF_VALUE_free(empty);
  SIGN_TOOL_DESCR_free(none);
}

struct BadSection {
  const char* name;
  const char* value;  // a section when it starts with '[', else a list
  int lib;            // 0: the system's X509V3 library
  int reason;
};

TEST(X509v3Ext, IssuerSignToolRefusals) {
  ASSERT_EQ(ssf_register_objects(), 1);
  const BadSection cases[] = {
      {"three names", "signTool = a\ncATool = b\nsignToolCert = c\n", 0,
       kSsfX509v3InvalidStringsNumber},
      {"lower case", "signtool = a\ncATool = b\nsignToolCert = c\ncAToolCert = d\n", ERR_LIB_X509V3,
       X509V3_R_INVALID_NAME},
      {"empty value", "signTool = a\ncATool =\nsignToolCert = c\ncAToolCert = d\n", 0,
       kSsfX509v3EmptyValue},
      // A configuration section keeps the last of two equal names; a list
      // keeps both.
      {"name twice", "signTool:a, signTool:a, cATool:b, signToolCert:c, cAToolCert:d", 0,
       kSsfX509v3InvalidStringsNumber},
      // Four values, one name twice and one missing: no SEQUENCE with a
      // hole in it.
      {"name twice, one missing", "signTool:a, signTool:a, cATool:b, signToolCert:c", 0,
       kSsfX509v3InvalidStringsNumber},
      {"lower case in a list", "signTool:a, catool:b, signToolCert:c, cAToolCert:d", ERR_LIB_X509V3,
       X509V3_R_INVALID_NAME},
  };
  for (const BadSection& c : cases) {
    SCOPED_TRACE(c.name);
    const bool list = std::strchr(c.value, '=') == nullptr;
    ConfPtr conf = load_conf(std::string("[ist]\n") + (list ? "" : c.value));
    ASSERT_TRUE(conf);
    X509V3_CTX ctx = ctx_for(conf.get());
    ERR_clear_error();
    ExtPtr ext(SSF_X509V3_EXT_nconf_nid(conf.get(), &ctx, ssf_nid_issuerSignTool(),
                                        list ? c.value : "@ist"));
    EXPECT_FALSE(ext);
    const char* data = nullptr;
    int flags = 0;
    unsigned long e = ERR_get_error_all(nullptr, nullptr, nullptr, &data, &flags);
    EXPECT_EQ(ERR_GET_LIB(e), c.lib != 0 ? c.lib : ssf_x509v3_err_lib());
    EXPECT_EQ(ERR_GET_REASON(e), c.reason);
    if (c.reason == X509V3_R_INVALID_NAME && !list) {
      EXPECT_STREQ(data, "section:ist,name:signtool,value:a");
    }
    if (c.reason == kSsfX509v3EmptyValue) {
      EXPECT_STREQ(ERR_reason_error_string(e), "empty value");
    }
    ERR_clear_error();
  }
  EXPECT_STREQ(
      ERR_reason_error_string(ERR_PACK(ssf_x509v3_err_lib(), 0, kSsfX509v3InvalidStringsNumber)),
      "invalid strings number");
}

TEST(X509v3Ext, SubjectSignToolThroughTheToolkit) {
  ASSERT_EQ(ssf_register_objects(), 1);
  X509V3_CTX ctx = ctx_for(nullptr);
  ExtPtr ext(X509V3_EXT_nconf_nid(nullptr, &ctx, ssf_nid_subjectSignTool(), "КриптоПро CSP 5.0"));
  ASSERT_TRUE(ext);
  ExtPtr back = round_trip(ext.get());
  ASSERT_TRUE(back);
  EXPECT_EQ(print(back.get()), "КриптоПро CSP 5.0");
  EXPECT_EQ(OBJ_obj2nid(X509_EXTENSION_get_object(back.get())), ssf_nid_subjectSignTool());
}

TEST(X509v3Ext, PrivateKeyUsagePeriodFromDays) {
  ASSERT_EQ(ssf_register_objects(), 1);
  X509V3_CTX ctx = ctx_for(nullptr);
  time_t before = time(nullptr);
  ExtPtr ext(
      SSF_X509V3_EXT_nconf_nid(nullptr, &ctx, NID_private_key_usage_period, "critical, 365"));
  time_t after = time(nullptr);
  ASSERT_TRUE(ext);
  EXPECT_EQ(X509_EXTENSION_get_critical(ext.get()), 1);
  ExtPtr back = round_trip(ext.get());
  ASSERT_TRUE(back);
  auto* period = static_cast<PKEY_USAGE_PERIOD*>(X509V3_EXT_d2i(back.get()));
  ASSERT_NE(period, nullptr);
  ASSERT_NE(period->notBefore, nullptr);
  ASSERT_NE(period->notAfter, nullptr);
  EXPECT_EQ(ASN1_STRING_type(period->notBefore), V_ASN1_GENERALIZEDTIME);
  EXPECT_EQ(ASN1_STRING_type(period->notAfter), V_ASN1_GENERALIZEDTIME);
  int days = -1, secs = -1;
  ASSERT_EQ(ASN1_TIME_diff(&days, &secs, period->notBefore, period->notAfter), 1);
  EXPECT_EQ(static_cast<long>(days) * 86400 + secs, 31536000L);
  EXPECT_GE(ASN1_TIME_cmp_time_t(period->notBefore, before), 0);
  EXPECT_LE(ASN1_TIME_cmp_time_t(period->notBefore, after), 0);
  EXPECT_EQ(X509V3_EXT_free(NID_private_key_usage_period, period), 1);
  std::string text = print(back.get());
  EXPECT_NE(text.find("Not Before: "), std::string::npos) << text;
  EXPECT_NE(text.find("Not After: "), std::string::npos) << text;

  // Without "critical," the extension is not critical.
  ExtPtr plain(SSF_X509V3_EXT_nconf_nid(nullptr, &ctx, NID_private_key_usage_period, "1"));
  ASSERT_TRUE(plain);
  EXPECT_EQ(X509_EXTENSION_get_critical(plain.get()), 0);
}

TEST(X509v3Ext, PrivateKeyUsagePeriodRefusals) {
  ASSERT_EQ(ssf_register_objects(), 1);
  X509V3_CTX ctx = ctx_for(nullptr);
  for (const char* value : {"0", "-5", "30, 60", "abc", "12x", "99999999999", "3000000", ""}) {
    SCOPED_TRACE(value);
    ERR_clear_error();
    ExtPtr ext(SSF_X509V3_EXT_nconf_nid(nullptr, &ctx, NID_private_key_usage_period, value));
    EXPECT_FALSE(ext);
    EXPECT_NE(ERR_peek_error(), 0u);
  }
  // A section needs a configuration.
  EXPECT_FALSE(SSF_X509V3_EXT_nconf_nid(nullptr, &ctx, NID_private_key_usage_period, "@period"));
  ERR_clear_error();
}

TEST(X509v3Ext, OtherExtensionsGoToTheToolkit) {
  ASSERT_EQ(ssf_register_objects(), 1);
  X509V3_CTX ctx = ctx_for(nullptr);
  ExtPtr ext(SSF_X509V3_EXT_nconf_nid(nullptr, &ctx, NID_basic_constraints, "critical,CA:TRUE"));
  ASSERT_TRUE(ext);
  EXPECT_EQ(print(ext.get()), "CA:TRUE");
}

TEST(X509v3Ext, ExtFree) {
  ASSERT_EQ(ssf_register_objects(), 1);
  X509V3_CTX ctx = ctx_for(nullptr);
  ExtPtr ext(X509V3_EXT_nconf_nid(nullptr, &ctx, NID_basic_constraints, "CA:TRUE,pathlen:3"));
  ASSERT_TRUE(ext);
  void* value = X509V3_EXT_d2i(ext.get());
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(X509V3_EXT_free(NID_basic_constraints, value), 1);
  EXPECT_EQ(X509V3_EXT_free(NID_basic_constraints, nullptr), 1);
  ERR_clear_error();
  // An extension without method: nothing freed, an error.
  EXPECT_EQ(X509V3_EXT_free(ssf_nid_SNILS(), nullptr), 0);
  unsigned long e = ERR_get_error();
  EXPECT_EQ(ERR_GET_LIB(e), ssf_x509v3_err_lib());
  EXPECT_EQ(ERR_GET_REASON(e), kSsfX509v3CannotFindFreeFunction);
  EXPECT_STREQ(ERR_reason_error_string(e), "cannot find free function");
  ERR_clear_error();
}

}  // namespace
