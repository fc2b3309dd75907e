#include "codes.h"

#include <cstring>

namespace {

struct NamedValue {
  const char* name;
  int value;
};

bool same_name(const char* expected, const char* name, int32_t len) {
  if (name == nullptr || len < 0) return false;
  return strlen(expected) == static_cast<size_t>(len) && memcmp(expected, name, len) == 0;
}

constexpr NamedValue kFormats[] = {
    {"PKCS7", SIG_TYPE_PKCS7},         {"CADES_BES", SIG_TYPE_CADES_BES},
    {"PKCS7_CADES", SIG_TYPE_CADES},   {"CADES_XLT1", SIG_TYPE_CADES},
    {"PKCS7_ANY", SIG_TYPE_PKCS7_ANY}, {"BASE64", SIG_TYPE_NONE},
};

constexpr NamedValue kHashAlgs[] = {
    {"GOST-R-34.11-94", 4},     {"MD5", 5}, {"SHA1", 6}, {"GOST-R-34.11-12-256", 7},
    {"GOST-R-34.11-12-512", 8},
};

struct CodeText {
  int code;
  const char* text;
};

constexpr CodeText kSignerTexts[] = {
    {0, "Signature is valid"},
    {22, "Unknown signer"},
    {23, "Security profile not found"},
    {24, "Security profile not usable"},
    {25, "Invalid password"},
    {26, "Certificate not found"},
    {27, "Signature is invalid"},
    {28, "Initial value on input"},
    {100, "Signer's certificate expired"},
    {101, "Signature already enhanced"},
    {102, "OCSP service URL not specified"},
    {103, "Invalid OCSP service URL"},
    {104, "OCSP service unreachable"},
    {105, "Bad OCSP response"},
    {106, "Signer's certificate revoked"},
    {107, "Signer's certificate unknown"},
    {108, "OCSP service certificate untrusted"},
    {109, "Too big difference between TSP and OCSP clocks"},
    {110, "Enhanced signature signer's certificate invalid"},
    {111, "TSP service URL not specified"},
    {112, "Invalid TSP service URL"},
    {113, "TSP service unreachable"},
    {114, "Bad TSP response"},
    {115, "TSP service certificate untrusted"},
    {116, "Invalid ES references and values"},
    {117, "ES signer's certificate not found"},
    {118, "No valid signature timestamp found"},
    {119, "ES references and values don't match"},
    {120, "Failed to build certificate chain"},
    {121, "Signer's certificate revocation error"},
    {122, "Certificate chain revocation error"},
    {123, "No valid ES-C timestamp found"},
    {124, "Cancelled by user"},
    {125, "No valid archival timestamp found"},
    {126, "An archival timestamp to be added is older than one of existing archival timestamps"},
};

struct Pk11Name {
  unsigned long rv;
  const char* name;
};

// PKCS#11 v2.20 return values.
constexpr Pk11Name kPk11Names[] = {
    {0x000, "CKR_OK"},
    {0x001, "CKR_CANCEL"},
    {0x002, "CKR_HOST_MEMORY"},
    {0x003, "CKR_SLOT_ID_INVALID"},
    {0x005, "CKR_GENERAL_ERROR"},
    {0x006, "CKR_FUNCTION_FAILED"},
    {0x007, "CKR_ARGUMENTS_BAD"},
    {0x008, "CKR_NO_EVENT"},
    {0x009, "CKR_NEED_TO_CREATE_THREADS"},
    {0x00A, "CKR_CANT_LOCK"},
    {0x010, "CKR_ATTRIBUTE_READ_ONLY"},
    {0x011, "CKR_ATTRIBUTE_SENSITIVE"},
    {0x012, "CKR_ATTRIBUTE_TYPE_INVALID"},
    {0x013, "CKR_ATTRIBUTE_VALUE_INVALID"},
    {0x020, "CKR_DATA_INVALID"},
    {0x021, "CKR_DATA_LEN_RANGE"},
    {0x030, "CKR_DEVICE_ERROR"},
    {0x031, "CKR_DEVICE_MEMORY"},
    {0x032, "CKR_DEVICE_REMOVED"},
    {0x040, "CKR_ENCRYPTED_DATA_INVALID"},
    {0x041, "CKR_ENCRYPTED_DATA_LEN_RANGE"},
    {0x050, "CKR_FUNCTION_CANCELED"},
    {0x051, "CKR_FUNCTION_NOT_PARALLEL"},
    {0x054, "CKR_FUNCTION_NOT_SUPPORTED"},
    {0x060, "CKR_KEY_HANDLE_INVALID"},
    {0x062, "CKR_KEY_SIZE_RANGE"},
    {0x063, "CKR_KEY_TYPE_INCONSISTENT"},
    {0x064, "CKR_KEY_NOT_NEEDED"},
    {0x065, "CKR_KEY_CHANGED"},
    {0x066, "CKR_KEY_NEEDED"},
    {0x067, "CKR_KEY_INDIGESTIBLE"},
    {0x068, "CKR_KEY_FUNCTION_NOT_PERMITTED"},
    {0x069, "CKR_KEY_NOT_WRAPPABLE"},
    {0x06A, "CKR_KEY_UNEXTRACTABLE"},
    {0x070, "CKR_MECHANISM_INVALID"},
    {0x071, "CKR_MECHANISM_PARAM_INVALID"},
    {0x082, "CKR_OBJECT_HANDLE_INVALID"},
    {0x090, "CKR_OPERATION_ACTIVE"},
    {0x091, "CKR_OPERATION_NOT_INITIALIZED"},
    {0x0A0, "CKR_PIN_INCORRECT"},
    {0x0A1, "CKR_PIN_INVALID"},
    {0x0A2, "CKR_PIN_LEN_RANGE"},
    {0x0A3, "CKR_PIN_EXPIRED"},
    {0x0A4, "CKR_PIN_LOCKED"},
    {0x0B0, "CKR_SESSION_CLOSED"},
    {0x0B1, "CKR_SESSION_COUNT"},
    {0x0B3, "CKR_SESSION_HANDLE_INVALID"},
    {0x0B4, "CKR_SESSION_PARALLEL_NOT_SUPPORTED"},
    {0x0B5, "CKR_SESSION_READ_ONLY"},
    {0x0B6, "CKR_SESSION_EXISTS"},
    {0x0B7, "CKR_SESSION_READ_ONLY_EXISTS"},
    {0x0B8, "CKR_SESSION_READ_WRITE_SO_EXISTS"},
    {0x0C0, "CKR_SIGNATURE_INVALID"},
    {0x0C1, "CKR_SIGNATURE_LEN_RANGE"},
    {0x0D0, "CKR_TEMPLATE_INCOMPLETE"},
    {0x0D1, "CKR_TEMPLATE_INCONSISTENT"},
    {0x0E0, "CKR_TOKEN_NOT_PRESENT"},
    {0x0E1, "CKR_TOKEN_NOT_RECOGNIZED"},
    {0x0E2, "CKR_TOKEN_WRITE_PROTECTED"},
    {0x0F0, "CKR_UNWRAPPING_KEY_HANDLE_INVALID"},
    {0x0F1, "CKR_UNWRAPPING_KEY_SIZE_RANGE"},
    {0x0F2, "CKR_UNWRAPPING_KEY_TYPE_INCONSISTENT"},
    {0x100, "CKR_USER_ALREADY_LOGGED_IN"},
    {0x101, "CKR_USER_NOT_LOGGED_IN"},
    {0x102, "CKR_USER_PIN_NOT_INITIALIZED"},
    {0x103, "CKR_USER_TYPE_INVALID"},
    {0x104, "CKR_USER_ANOTHER_ALREADY_LOGGED_IN"},
    {0x105, "CKR_USER_TOO_MANY_TYPES"},
    {0x110, "CKR_WRAPPED_KEY_INVALID"},
    {0x112, "CKR_WRAPPED_KEY_LEN_RANGE"},
    {0x113, "CKR_WRAPPING_KEY_HANDLE_INVALID"},
    {0x114, "CKR_WRAPPING_KEY_SIZE_RANGE"},
    {0x115, "CKR_WRAPPING_KEY_TYPE_INCONSISTENT"},
    {0x120, "CKR_RANDOM_SEED_NOT_SUPPORTED"},
    {0x121, "CKR_RANDOM_NO_RNG"},
    {0x130, "CKR_DOMAIN_PARAMS_INVALID"},
    {0x150, "CKR_BUFFER_TOO_SMALL"},
    {0x160, "CKR_SAVED_STATE_INVALID"},
    {0x170, "CKR_INFORMATION_SENSITIVE"},
    {0x180, "CKR_STATE_UNSAVEABLE"},
    {0x190, "CKR_CRYPTOKI_NOT_INITIALIZED"},
    {0x191, "CKR_CRYPTOKI_ALREADY_INITIALIZED"},
    {0x1A0, "CKR_MUTEX_BAD"},
    {0x1A1, "CKR_MUTEX_NOT_LOCKED"},
    {0x80000000UL, "CKR_VENDOR_DEFINED"},
};

}  // namespace

int check_format(const char* name, int32_t len) {
  for (const auto& f : kFormats)
    if (same_name(f.name, name, len)) return 1;
  return 0;
}

int check_hash_alg(const char* name, int32_t len) {
  for (const auto& h : kHashAlgs)
    if (same_name(h.name, name, len)) return h.value;
  return 0;
}

int check_encr_alg(const char* name, int32_t len) {
  return same_name("GOST-28147-89", name, len) ? 1 : 0;
}

int get_signature_type(const char* name, int32_t len) {
  if (name == nullptr || len <= 0) return SIG_TYPE_NONE;
  for (const auto& f : kFormats)
    if (same_name(f.name, name, len)) return f.value;
  return SIG_TYPE_NONE;
}

const char* GetSignerErrorMessage(int code) {
  for (const auto& t : kSignerTexts)
    if (t.code == code) return t.text;
  return "<Unknown error code>";
}

const char* pk11errorString(unsigned long rv) {
  for (const auto& p : kPk11Names)
    if (p.rv == rv) return p.name;
  return "unknown PKCS11 error";
}

void set_sig_rcp_res_code(SigRcpSsfInformationList list, int code) {
  for (SigRcpSsfInformationListElement* e = list; e != nullptr; e = e->next)
    if (e->ptrSigRcp != nullptr) e->ptrSigRcp->uResult = code;
}
