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

void set_sig_rcp_res_code(SigRcpSsfInformationList list, int code) {
  for (SigRcpSsfInformationListElement* e = list; e != nullptr; e = e->next)
    if (e->ptrSigRcp != nullptr) e->ptrSigRcp->uResult = code;
}
