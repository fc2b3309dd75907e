#include "ssf_api.h"

#include <dlfcn.h>

namespace {

template <typename F>
bool bind(void* lib, const char* name, F* fn, std::string* error) {
  *fn = reinterpret_cast<F>(dlsym(lib, name));
  if (*fn == nullptr) {
    *error = std::string("missing symbol ") + name;
    return false;
  }
  return true;
}

struct CodeName {
  SsfInt code;
  const char* name;
};

// The names as orvel_ssf.h spells them.
constexpr CodeName kReturnCodeNames[] = {
    {SSF_API_OK, "SSF_API_OK"},
    {SSF_API_UNKNOWN_FORMAT, "SSF_API_UNKNOWN_FORMAT"},
    {SSF_API_NOINPUT, "SSF_API_NOINPUT"},
    {SSF_API_NOMEMORY, "SSF_API_NOMEMORY"},
    {SSF_API_SIGNER_FAILED, "SSF_API_SIGNER_FAILED"},
    {SSF_API_RESULT_RECORD_FAILED, "SSF_API_RESULT_RECORD_FAILED"},
    {SSF_API_PAB_FAILED, "SSF_API_PAB_FAILED"},
    {SSF_API_RECIPIENT_FAILED, "SSF_API_RECIPIENT_FAILED"},
    {SSF_API_UNKNOWN_HASH, "SSF_API_UNKNOWN_HASH"},
    {SSF_API_ENCODE_FAILED, "SSF_API_ENCODE_FAILED"},
    {SSF_API_DECODE_FAILED, "SSF_API_DECODE_FAILED"},
    {SSF_API_CRYPTO_FAILED, "SSF_API_CRYPTO_FAILED"},
    {SSF_API_UNKNOWN_CIPHER, "SSF_API_UNKNOWN_CIPHER"},
    {SSF_API_REC_NOMEMORY, "SSF_API_REC_NOMEMORY"},
    {SSF_API_REC_NO_ID, "SSF_API_REC_NO_ID"},
    {SSF_API_REC_NO_RECORD, "SSF_API_REC_NO_RECORD"},
    {SSF_API_REC_NO_LIST, "SSF_API_REC_NO_LIST"},
};

}  // namespace

bool SsfApi::load(const std::string& path, std::string* error) {
  void* lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (lib == nullptr) {
    const char* msg = dlerror();
    *error = msg ? msg : "dlopen failed";
    return false;
  }
  library = lib;
  return bind(lib, "SsfSign", &Sign, error) && bind(lib, "SsfVerify", &Verify, error) &&
         bind(lib, "SsfEnvelope", &Envelope, error) && bind(lib, "SsfDevelope", &Develope, error) &&
         bind(lib, "SsfAddSign", &AddSign, error) && bind(lib, "SsfDigest", &Digest, error) &&
         bind(lib, "SsfEncode", &Encode, error) && bind(lib, "SsfDecode", &Decode, error) &&
         bind(lib, "SsfQueryProperties", &QueryProperties, error) &&
         bind(lib, "SsfVersion", &Version, error) &&
         bind(lib, "SsfEnhanceSignatures", &EnhanceSignatures, error) &&
         bind(lib, "SsfNEWSigRcpSsfInfo", &NEWSigRcpSsfInfo, error) &&
         bind(lib, "SsfINSSigRcpSsfInfo", &INSSigRcpSsfInfo, error) &&
         bind(lib, "SsfDELSigRcpSsfInfo", &DELSigRcpSsfInfo, error) &&
         bind(lib, "SsfDELSigRcpSsfInfoList", &DELSigRcpSsfInfoList, error) &&
         bind(lib, "SsfDELSsfOctetstring", &DELSsfOctetstring, error);
}

RecordList::~RecordList() {
  if (head_ != nullptr) api_.DELSigRcpSsfInfoList(&head_);
}

SsfInt RecordList::add(const std::string& id, const std::string& profile,
                       const std::string& password) {
  SigRcpSsfInfo* rec = nullptr;
  SsfInt rc =
      api_.NEWSigRcpSsfInfo(id.data(), static_cast<SsfInt>(id.size()), nullptr, 0, profile.data(),
                            static_cast<SsfInt>(profile.size()), password.data(),
                            static_cast<SsfInt>(password.size()), SSF_INITIAL_VALUE, &rec);
  if (rc != 0) return rc;
  rc = api_.INSSigRcpSsfInfo(rec, &head_);
  if (rc != 0) api_.DELSigRcpSsfInfo(&rec);
  return rc;
}

const char* result_text(SsfInt code) {
  switch (code) {
    case 0:
      return "Signature is valid";
    case 22:
      return "Unknown signer";
    case 23:
      return "Security profile not found";
    case 24:
      return "Security profile not usable";
    case 25:
      return "Invalid password";
    case 26:
      return "Certificate not found";
    case 27:
      return "Signature is invalid";
    case 28:
      return "Initial value on input";
    case 100:
      return "Signer's certificate expired";
    case 101:
      return "Signature already enhanced";
    case 102:
      return "OCSP service URL not specified";
    case 103:
      return "Invalid OCSP service URL";
    case 104:
      return "OCSP service unreachable";
    case 105:
      return "Bad OCSP response";
    case 106:
      return "Signer's certificate revoked";
    case 107:
      return "Signer's certificate unknown";
    case 108:
      return "OCSP service certificate untrusted";
    case 109:
      return "Too big difference between TSP and OCSP clocks";
    case 110:
      return "Enhanced signature signer's certificate invalid";
    case 111:
      return "TSP service URL not specified";
    case 112:
      return "Invalid TSP service URL";
    case 113:
      return "TSP service unreachable";
    case 114:
      return "Bad TSP response";
    case 115:
      return "TSP service certificate untrusted";
    case 116:
      return "Invalid ES references and values";
    case 117:
      return "ES signer's certificate not found";
    case 118:
      return "No valid signature timestamp found";
    case 119:
      return "ES references and values don't match";
    case 120:
      return "Failed to build certificate chain";
    case 121:
      return "Signer's certificate revocation error";
    case 122:
      return "Certificate chain revocation error";
    case 123:
      return "No valid ES-C timestamp found";
    case 124:
      return "Cancelled by user";
    case 125:
      return "No valid archival timestamp found";
    case 126:
      return "An archival timestamp to be added is older than one of existing archival "
             "timestamps";
    default:
      return "<Unknown error code>";
  }
}

const char* return_code_name(SsfInt code) {
  for (const auto& c : kReturnCodeNames)
    if (c.code == code) return c.name;
  return "unknown return code";
}
