// Names the interface accepts, result texts, PKCS#11 names, interface
// strings.
#include <gtest/gtest.h>
#include <p11-kit/pkcs11.h>

#include <cstring>
#include <string>

#include "codes.h"
#include "log.h"
#include "sap_string.h"
#include "test_util.h"

namespace {
int len(const char* s) { return static_cast<int>(strlen(s)); }
}  // namespace

TEST(Codes, FormatNamesAndSignatureTypes) {
  struct {
    const char* name;
    int type;
  } formats[] = {{"PKCS7", 2},      {"CADES_BES", 3}, {"PKCS7_CADES", 4},
                 {"CADES_XLT1", 4}, {"PKCS7_ANY", 1}, {"BASE64", 0}};
  for (const auto& f : formats) {
    EXPECT_EQ(check_format(f.name, len(f.name)), 1) << f.name;
    EXPECT_EQ(get_signature_type(f.name, len(f.name)), f.type) << f.name;
  }
  EXPECT_EQ(check_format("PKCS7", 6), 0);  // trailing NUL counted
  EXPECT_EQ(check_format("PKCS7", 4), 0);
  EXPECT_EQ(check_format("pkcs7", 5), 0);
  EXPECT_EQ(check_format(nullptr, 5), 0);
  EXPECT_EQ(check_format("PKCS7", -1), 0);
  EXPECT_EQ(get_signature_type(nullptr, 5), 0);
  EXPECT_EQ(get_signature_type("PKCS7", 0), 0);
  EXPECT_EQ(get_signature_type("XML", 3), 0);
}

TEST(Codes, HashAndCipherNames) {
  EXPECT_EQ(check_hash_alg("GOST-R-34.11-94", 15), 4);
  EXPECT_EQ(check_hash_alg("MD5", 3), 5);
  EXPECT_EQ(check_hash_alg("SHA1", 4), 6);
  EXPECT_EQ(check_hash_alg("GOST-R-34.11-12-256", 19), 7);
  EXPECT_EQ(check_hash_alg("GOST-R-34.11-12-512", 19), 8);
  EXPECT_EQ(check_hash_alg("SHA1", 5), 0);
  EXPECT_EQ(check_hash_alg("SHA256", 6), 0);
  EXPECT_EQ(check_hash_alg(nullptr, 0), 0);
  EXPECT_EQ(check_encr_alg("GOST-28147-89", 13), 1);
  EXPECT_EQ(check_encr_alg("GOST-28147-89", 14), 0);
  EXPECT_EQ(check_encr_alg(nullptr, 13), 0);
}

TEST(Codes, SignerResultTexts) {
  EXPECT_STREQ(GetSignerErrorMessage(0), "Signature is valid");
  EXPECT_STREQ(GetSignerErrorMessage(28), "Initial value on input");
  EXPECT_STREQ(GetSignerErrorMessage(109), "Too big difference between TSP and OCSP clocks");
  EXPECT_STREQ(GetSignerErrorMessage(126),
               "An archival timestamp to be added is older than one of existing archival "
               "timestamps");
  for (int code : {-1, 1, 21, 29, 99, 127, 1000})
    EXPECT_STREQ(GetSignerErrorMessage(code), "<Unknown error code>");
  int known = 0;
  for (int code = 0; code < 200; ++code)
    if (strcmp(GetSignerErrorMessage(code), "<Unknown error code>") != 0) ++known;
  EXPECT_EQ(known, 35);
}

// The names checked against the values of p11-kit's PKCS#11 header.
TEST(Codes, Pkcs11Names) {
#define NAMED(x) \
  { x, #x }
  const struct {
    unsigned long rv;
    const char* name;
  } names[] = {
      NAMED(CKR_OK),
      NAMED(CKR_CANCEL),
      NAMED(CKR_HOST_MEMORY),
      NAMED(CKR_SLOT_ID_INVALID),
      NAMED(CKR_GENERAL_ERROR),
      NAMED(CKR_FUNCTION_FAILED),
      NAMED(CKR_ARGUMENTS_BAD),
      NAMED(CKR_NO_EVENT),
      NAMED(CKR_NEED_TO_CREATE_THREADS),
      NAMED(CKR_CANT_LOCK),
      NAMED(CKR_ATTRIBUTE_READ_ONLY),
      NAMED(CKR_ATTRIBUTE_SENSITIVE),
      NAMED(CKR_ATTRIBUTE_TYPE_INVALID),
      NAMED(CKR_ATTRIBUTE_VALUE_INVALID),
      NAMED(CKR_DATA_INVALID),
      NAMED(CKR_DATA_LEN_RANGE),
      NAMED(CKR_DEVICE_ERROR),
      NAMED(CKR_DEVICE_MEMORY),
      NAMED(CKR_DEVICE_REMOVED),
      NAMED(CKR_ENCRYPTED_DATA_INVALID),
      NAMED(CKR_ENCRYPTED_DATA_LEN_RANGE),
      NAMED(CKR_FUNCTION_CANCELED),
      NAMED(CKR_FUNCTION_NOT_PARALLEL),
      NAMED(CKR_FUNCTION_NOT_SUPPORTED),
      NAMED(CKR_KEY_HANDLE_INVALID),
      NAMED(CKR_KEY_SIZE_RANGE),
      NAMED(CKR_KEY_TYPE_INCONSISTENT),
      NAMED(CKR_KEY_NOT_NEEDED),
      NAMED(CKR_KEY_CHANGED),
      NAMED(CKR_KEY_NEEDED),
      NAMED(CKR_KEY_INDIGESTIBLE),
      NAMED(CKR_KEY_FUNCTION_NOT_PERMITTED),
      NAMED(CKR_KEY_NOT_WRAPPABLE),
      NAMED(CKR_KEY_UNEXTRACTABLE),
      NAMED(CKR_MECHANISM_INVALID),
      NAMED(CKR_MECHANISM_PARAM_INVALID),
      NAMED(CKR_OBJECT_HANDLE_INVALID),
      NAMED(CKR_OPERATION_ACTIVE),
      NAMED(CKR_OPERATION_NOT_INITIALIZED),
      NAMED(CKR_PIN_INCORRECT),
      NAMED(CKR_PIN_INVALID),
      NAMED(CKR_PIN_LEN_RANGE),
      NAMED(CKR_PIN_EXPIRED),
      NAMED(CKR_PIN_LOCKED),
      NAMED(CKR_SESSION_CLOSED),
      NAMED(CKR_SESSION_COUNT),
      NAMED(CKR_SESSION_HANDLE_INVALID),
      NAMED(CKR_SESSION_PARALLEL_NOT_SUPPORTED),
      NAMED(CKR_SESSION_READ_ONLY),
      NAMED(CKR_SESSION_EXISTS),
      NAMED(CKR_SESSION_READ_ONLY_EXISTS),
      NAMED(CKR_SESSION_READ_WRITE_SO_EXISTS),
      NAMED(CKR_SIGNATURE_INVALID),
      NAMED(CKR_SIGNATURE_LEN_RANGE),
      NAMED(CKR_TEMPLATE_INCOMPLETE),
      NAMED(CKR_TEMPLATE_INCONSISTENT),
      NAMED(CKR_TOKEN_NOT_PRESENT),
      NAMED(CKR_TOKEN_NOT_RECOGNIZED),
      NAMED(CKR_TOKEN_WRITE_PROTECTED),
      NAMED(CKR_UNWRAPPING_KEY_HANDLE_INVALID),
      NAMED(CKR_UNWRAPPING_KEY_SIZE_RANGE),
      NAMED(CKR_UNWRAPPING_KEY_TYPE_INCONSISTENT),
      NAMED(CKR_USER_ALREADY_LOGGED_IN),
      NAMED(CKR_USER_NOT_LOGGED_IN),
      NAMED(CKR_USER_PIN_NOT_INITIALIZED),
      NAMED(CKR_USER_TYPE_INVALID),
      NAMED(CKR_USER_ANOTHER_ALREADY_LOGGED_IN),
      NAMED(CKR_USER_TOO_MANY_TYPES),
      NAMED(CKR_WRAPPED_KEY_INVALID),
      NAMED(CKR_WRAPPED_KEY_LEN_RANGE),
      NAMED(CKR_WRAPPING_KEY_HANDLE_INVALID),
      NAMED(CKR_WRAPPING_KEY_SIZE_RANGE),
      NAMED(CKR_WRAPPING_KEY_TYPE_INCONSISTENT),
      NAMED(CKR_RANDOM_SEED_NOT_SUPPORTED),
      NAMED(CKR_RANDOM_NO_RNG),
      NAMED(CKR_DOMAIN_PARAMS_INVALID),
      NAMED(CKR_BUFFER_TOO_SMALL),
      NAMED(CKR_SAVED_STATE_INVALID),
      NAMED(CKR_INFORMATION_SENSITIVE),
      NAMED(CKR_STATE_UNSAVEABLE),
      NAMED(CKR_CRYPTOKI_NOT_INITIALIZED),
      NAMED(CKR_CRYPTOKI_ALREADY_INITIALIZED),
      NAMED(CKR_MUTEX_BAD),
      NAMED(CKR_MUTEX_NOT_LOCKED),
      NAMED(CKR_VENDOR_DEFINED),
  };
#undef NAMED
  EXPECT_EQ(sizeof names / sizeof names[0], 85u);
  for (const auto& n : names) EXPECT_STREQ(pk11errorString(n.rv), n.name);
  for (unsigned long rv : {4ul, 0x0bul, 0x61ul, 0x111ul, 0x1a2ul, 0x80000001ul, 0xfffffffful})
    EXPECT_STREQ(pk11errorString(rv), "unknown PKCS11 error") << rv;
  int known = 0;
  for (unsigned long rv = 0; rv < 0x400; ++rv)
    if (strcmp(pk11errorString(rv), "unknown PKCS11 error") != 0) ++known;
  EXPECT_EQ(known, 84);
}

TEST(SapString, CopyAndCompare) {
  orvel_test::TempDir dir;
  ASSERT_EQ(set_log(dir.file("t.log").c_str(), "Orvel-SSF", 0), 0);
  char* s = get_sz_string_from_sap_string("SHA1xyz", 4);
  ASSERT_NE(s, nullptr);
  EXPECT_STREQ(s, "SHA1");
  OPENSSL_free(s);
  s = get_sz_string_from_sap_string("abc", 0);
  ASSERT_NE(s, nullptr);
  EXPECT_STREQ(s, "");
  OPENSSL_free(s);
  EXPECT_EQ(get_sz_string_from_sap_string(nullptr, 3), nullptr);
  EXPECT_EQ(get_sz_string_from_sap_string("abc", -2), nullptr);
  const std::string log = orvel_test::read_file(dir.file("t.log"));
  EXPECT_NE(log.find("\nERROR\nget_sz_string_from_sap_string() 1 : Error: str = 0\n"),
            std::string::npos);
  EXPECT_NE(log.find("\nERROR\nget_sz_string_from_sap_string() 1 : Error: strL = -2\n"),
            std::string::npos);

  EXPECT_EQ(cmp_cstr_sapstr("SHA1", "SHA1....", 4), 1);
  EXPECT_EQ(cmp_cstr_sapstr("SHA1", "SHA1....", 5), 0);
  EXPECT_EQ(cmp_cstr_sapstr("SHA1", "SHA2", 4), 0);
  EXPECT_EQ(cmp_cstr_sapstr("", nullptr, 0), 1);
  EXPECT_EQ(cmp_cstr_sapstr("SHA1", nullptr, 4), 0);
  EXPECT_EQ(cmp_cstr_sapstr("SHA1", "SHA1", -4), 0);
  EXPECT_TRUE(is_enhanced_signature("PKCS7_CADES", 11));
  EXPECT_FALSE(is_enhanced_signature("PKCS7_CADES", 12));
  EXPECT_FALSE(is_enhanced_signature("CADES_XLT1", 10));
}
